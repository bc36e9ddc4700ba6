"""Duplicate actions on real trees: what each action prints and leaves on disk."""
import os
import re
import stat

import pytest

from conftest import make_tree, run_zav, win

OLD, NEW = 1_300_000_000, 1_400_000_000  # write times, seconds since 1970
SAME = b"same content"


def report(run):
    """The lines after "Matching ...", with the run's duration replaced by T."""
    lines = run.lines
    assert lines[-1] == ""  # the output ends with a line end
    start = next(i for i, line in enumerate(lines) if line.startswith("Matching "))
    return [re.sub(r" in \d+(\.\d)? (ms|Seconds|Minutes|Hours)$", " in T", line) for line in lines[start + 1:-1]]


def two_pools(tmp_path, file1, file2, times=(OLD, NEW)):
    """file1 in pool p1, file2 in pool p2, each pool with one other file; returns the two paths."""
    make_tree(tmp_path, {f"p1/{file1}": SAME, f"p2/{file2}": SAME, "p1/keep1.bin": b"1", "p2/keep2.bin": b"22"})
    paths = tmp_path / "p1" / file1, tmp_path / "p2" / file2
    for path, time in zip(paths, times):
        os.utime(path, (time, time))
    return paths


def zav(tmp_path, *options):
    return run_zav(win(tmp_path / "p1"), win(tmp_path / "p2"), *options)


def tree(root):
    """Every file with its content and every empty folder as "name/"."""
    paths = [p for p in root.rglob("*") if p.is_file() or not any(p.iterdir())]
    return {p.relative_to(root).as_posix() + "/" * p.is_dir(): b"" if p.is_dir() else p.read_bytes() for p in paths}


# Apart: file1 a\x.txt is older and has the shorter name and folder. On a tie everything is equal and the
# fallback choice takes file2.
@pytest.mark.parametrize("tie", [False, True])
@pytest.mark.parametrize("option, deleted", [
    ("-d1", 1), ("-d2", 2), ("-d", 2), ("-dsn", 1), ("-dln", 2), ("-dsp", 1), ("-dlp", 2), ("-do", 1), ("-dn", 2),
])
def test_each_delete_rule_deletes_its_file(tmp_path, option, deleted, tie):
    names = ("a/x.txt", "b/y.txt") if tie else ("a/x.txt", "bbb/yyyy.txt")
    files = two_pools(tmp_path, *names, times=(OLD, OLD) if tie else (OLD, NEW))
    deleted = deleted if option in ("-d1", "-d2") or not tie else 2
    for path in files:
        os.chmod(path, stat.S_IRUSR)  # a read-only duplicate is deleted all the same
    run = zav(tmp_path, option)
    assert run.returncode == 0
    assert report(run) == [
        " == ".join(name.replace("/", "\\") for name in names),
        f" file{deleted} deleted",
        "1 pairs tested",
        "0 Bytes of redundant data found in 1 file in T",
        "1 file deleted saving 12 Bytes",
    ]
    assert [path.exists() for path in files] == [deleted == 2, deleted == 1]


@pytest.mark.parametrize("option, replaced", [("-h", 2), ("-h1", 1), ("-h2", 2)])
def test_hard_link_actions_leave_two_names_of_one_file(tmp_path, option, replaced):
    files = two_pools(tmp_path, "a/x.txt", "b/y.txt")
    target, kept = files if replaced == 1 else files[::-1]
    os.chmod(target, stat.S_IRUSR)  # a read-only duplicate is replaced too
    run = zav(tmp_path, option)
    assert run.returncode == 0
    assert report(run) == [
        "a\\x.txt == b\\y.txt",
        f" file{replaced} replaced by hardlink",
        "1 pairs tested",
        "4096 Bytes of redundant data found in 1 file in T",
        "1 file replaced by hardlink saving 4096 Bytes",
    ]
    assert os.stat(target).st_ino == os.stat(kept).st_ino and os.stat(kept).st_nlink == 2
    assert os.stat(target).st_mode & stat.S_IWUSR  # the kept file's attributes: it was writable


def test_hard_links_count_only_when_asked_for(tmp_path):
    make_tree(tmp_path, {"p1/x.txt": SAME, "p1/keep1.bin": b"1", "p2/keep2.bin": b"22"})
    os.link(tmp_path / "p1/x.txt", tmp_path / "p2/y.txt")
    plain = zav(tmp_path, "-d1")
    assert plain.returncode == 2
    assert report(plain)[0] == "0 pairs tested"
    found = zav(tmp_path, "-fh2", "-d1")
    assert found.returncode == 0
    assert report(found) == ["x.txt =hardlink= y.txt", " file1 deleted", "1 pairs tested",
                             "0 Bytes of redundant data found in 1 file in T", "1 file deleted saving 0 Bytes"]
    assert tree(tmp_path) == {"p1/keep1.bin": b"1", "p2/keep2.bin": b"22", "p2/y.txt": SAME}


# One pool: renames need another folder and another name; the shallower file is file1 whatever the pair order;
# only -ded removes the emptied folders, up to the first that holds an entry.
@pytest.mark.parametrize("option, files, lines, after", [
    ("-e1", {"a/x.txt": SAME, "b/y.txt": SAME}, ["a\\x.txt == b\\y.txt", " file1 renamed"], ["a/y.txt", "b/y.txt"]),
    ("-e2", {"a/x.txt": SAME, "b/y.txt": SAME}, ["a\\x.txt == b\\y.txt", " file2 renamed"], ["a/x.txt", "b/x.txt"]),
    ("-e1", {"a/x.txt": SAME, "b/x.txt": SAME}, ["a\\x.txt == b\\x.txt"], ["a/x.txt", "b/x.txt"]),
    ("-e2", {"a/x.txt": SAME, "a/y.txt": SAME}, ["a\\x.txt == a\\y.txt"], ["a/x.txt", "a/y.txt"]),
    ("-e1", {"a/x.txt": SAME, "b/y.txt": SAME, "a/y.txt": b"other, longer"},
     ["a\\x.txt == b\\y.txt", " error ERROR_ALREADY_EXISTS renaming file1"], ["a/x.txt", "a/y.txt", "b/y.txt"]),
    ("-d2 -u", {"a/b/x": SAME, "c/y": SAME}, ["a\\b\\x == c\\y", " file2 deleted"], ["a/b/", "c/y"]),
    ("-d2 -ded", {"x.txt": SAME, "top/deep/er/y.txt": SAME, "top/sub/": b""},
     ["x.txt == top\\deep\\er\\y.txt", " file2 deleted", "dir removed: {root}\\top\\deep\\er",
      "dir removed: {root}\\top\\deep"], ["x.txt", "top/sub/"]),
])
def test_one_pool_renames_depth_and_emptied_folders(tmp_path, option, files, lines, after):
    make_tree(tmp_path, files)
    run = run_zav(win(tmp_path), *option.split())
    assert run.returncode == 0
    assert report(run)[:len(lines) + 1] == [line.format(root=win(tmp_path)) for line in lines] + ["1 pairs tested"]
    assert tree(tmp_path) == {name: b"" if name.endswith("/") else files.get(name, SAME) for name in after}
