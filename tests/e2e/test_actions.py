"""Duplicate actions on real trees: what each action prints and leaves on disk."""
import os
import stat

import pytest

from conftest import make_tree, run_zav, tree, win

OLD, NEW = 1_300_000_000, 1_400_000_000  # write times, seconds since 1970
SAME = b"same content"


# file1 in pool p1, file2 in p2. Apart: file1 a\x.txt is older and has the shorter name and folder. On a tie
# everything is equal and the fallback choice takes file2. The target is read-only: it is acted on all the same.
@pytest.mark.parametrize("tie", [False, True])
@pytest.mark.parametrize("option, target", [("-d1", 1), ("-d2", 2), ("-d", 2), ("-dsn", 1), ("-dln", 2),
    ("-dsp", 1), ("-dlp", 2), ("-do", 1), ("-dn", 2), ("-h", 2), ("-h1", 1), ("-h2", 2)])
def test_each_action_acts_on_the_file_its_rule_picks(tmp_path, option, target, tie):
    names = ("a/x.txt", "b/y.txt") if tie else ("a/x.txt", "bbb/yyyy.txt")
    target = target if option[-1] in "12" or not tie else 2
    make_tree(tmp_path, {f"p1/{names[0]}": SAME, f"p2/{names[1]}": SAME, "p1/other": b"1", "p2/other": b"22"})
    files = tmp_path / "p1" / names[0], tmp_path / "p2" / names[1]
    for path, time in zip(files, (OLD, OLD if tie else NEW)):
        os.utime(path, (time, time))
    os.chmod(files[target - 1], stat.S_IRUSR)
    run = run_zav(win(tmp_path / "p1"), win(tmp_path / "p2"), option)
    link = option.startswith("-h")
    action, saved = ("replaced by hardlink", 4096) if link else ("deleted", 12)
    assert run.returncode == 0 and run.report() == [
        " == ".join(name.replace("/", "\\") for name in names), f" file{target} {action}", "1 pairs tested",
        f"{4096 * link} Bytes of redundant data found in 1 file in T", f"1 file {action} saving {saved} Bytes"]
    gone, kept = files[target - 1], files[2 - target]
    assert kept.read_bytes() == SAME and gone.exists() == link
    if link:  # two names of one file with the kept file's attributes: it was writable
        assert os.stat(gone).st_ino == os.stat(kept).st_ino and os.stat(kept).st_nlink == 2
        assert os.stat(gone).st_mode & stat.S_IWUSR


def test_hard_links_count_only_when_asked_for(tmp_path):
    make_tree(tmp_path, {"p1/x.txt": SAME, "p1/keep1.bin": b"1", "p2/keep2.bin": b"22"})
    os.link(tmp_path / "p1/x.txt", tmp_path / "p2/y.txt")
    plain, found = (run_zav(win(tmp_path / "p1"), win(tmp_path / "p2"), *fh, "-d1") for fh in ([], ["-fh2"]))
    assert plain.returncode == 2 and plain.report()[0] == "0 pairs tested"
    assert found.returncode == 0 and found.report() == [
        "x.txt =hardlink= y.txt", " file1 deleted", "1 pairs tested",
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
    expected = [line.format(root=win(tmp_path)) for line in lines] + ["1 pairs tested"]
    assert run.returncode == 0 and run.report()[:len(lines) + 1] == expected
    assert tree(tmp_path) == {name: b"" if name.endswith("/") else files.get(name, SAME) for name in after}
