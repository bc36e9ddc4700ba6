"""Duplicate actions on real trees: what each action prints and leaves on disk."""
import os
import stat

import pytest

from conftest import make_tree, run_zav, tree, win

OLD, NEW = 1_300_000_000, 1_400_000_000  # write times, seconds since 1970
SAME = b"same content"
# Two pairs in pools p1 and p2, file1 first. Apart: file1 is older and has the shorter name and folder. Tied:
# everything is equal and the fallback choice takes file2.
APART = ("p1/a/x.txt", OLD, "p2/bbb/yyyy.txt", NEW, SAME)
TIED = ("p1/c/x.txt", OLD, "p2/d/y.txt", OLD, b"tied, and a size of its own")
ALIASED = {"a/x": SAME, "b/x": SAME, "a1": "a", "b1": "b"}  # one pair, each file reached again through a link


# The target is read-only: it is acted on all the same.
@pytest.mark.parametrize("option, target", [("-d1", 1), ("-d2", 2), ("-d", 2), ("-dsn", 1), ("-dln", 2),
    ("-dsp", 1), ("-dlp", 2), ("-do", 1), ("-dn", 2), ("-h", 2), ("-h1", 1), ("-h2", 2)])
def test_each_action_acts_on_the_file_its_rule_picks(tmp_path, option, target):
    link = option.startswith("-h")
    action, saved = ("replaced by hardlink", 2 * 4096) if link else ("deleted", len(SAME) + len(TIED[4]))
    lines, acted = [], []
    for pair, pick in ((APART, target), (TIED, target if option[-1] in "12" else 2)):
        files = tmp_path / pair[0], tmp_path / pair[2]
        make_tree(tmp_path, {pair[0]: pair[4], pair[2]: pair[4]})
        for path, time in zip(files, pair[1::2]):
            os.utime(path, (time, time))
        os.chmod(files[pick - 1], stat.S_IRUSR)
        lines += [f"{pair[0][3:]} == {pair[2][3:]}".replace("/", "\\"), f" file{pick} {action}"]
        acted.append((files[pick - 1], files[2 - pick], pair[4]))
    run = run_zav(tmp_path / "p1", tmp_path / "p2", option)
    assert run.returncode == 0 and run.report() == lines + [
        "2 pairs tested", f"{2 * 4096 * link} Bytes of redundant data found in 2 files in T",
        f"2 files {action} saving {saved} Bytes"]
    for gone, kept, content in acted:
        assert kept.read_bytes() == content and gone.exists() == link
        if link:  # two names of one file with the kept file's attributes: it was writable
            assert os.stat(gone).st_ino == os.stat(kept).st_ino and os.stat(kept).st_nlink == 2
            assert os.stat(gone).st_mode & stat.S_IWUSR


def test_hard_links_count_only_when_asked_for(tmp_path):
    make_tree(tmp_path, {"p1/x.txt": SAME, "p1/keep1.bin": b"1", "p2/keep2.bin": b"22"})
    os.link(tmp_path / "p1/x.txt", tmp_path / "p2/y.txt")
    plain, found = (run_zav(tmp_path / "p1", tmp_path / "p2", *fh, "-d1") for fh in ([], ["-fh2"]))
    assert plain.returncode == 2 and plain.report()[0] == "0 pairs tested"
    assert found.returncode == 0 and found.report() == [
        "x.txt =hardlink= y.txt", " file1 deleted", "1 pairs tested",
        "0 Bytes of redundant data found in 1 file in T", "1 file deleted saving 0 Bytes"]
    assert tree(tmp_path) == {"p1/keep1.bin": b"1", "p2/keep2.bin": b"22", "p2/y.txt": SAME}


# One pool, a pair per size: renames need another folder and another name; the shallower file is file1 whatever
# the pair order; only -ded removes the emptied folders, up to the first that holds an entry; a pair met again
# through folder links is acted on once.
@pytest.mark.parametrize("option, files, lines, after", [
    ("-e1", {"a/x.txt": b"1", "b/y.txt": b"1", "c/x.txt": b"22", "d/x.txt": b"22", "e/x.txt": b"333",
             "f/y.txt": b"333", "e/y.txt": b"4444"},
     ["a\\x.txt == b\\y.txt", " file1 renamed", "c\\x.txt == d\\x.txt",
      "e\\x.txt == f\\y.txt", " error ERROR_ALREADY_EXISTS renaming file1"],
     {"a/y.txt": b"1", "b/y.txt": b"1", "c/x.txt": b"22", "d/x.txt": b"22", "e/x.txt": b"333", "f/y.txt": b"333",
      "e/y.txt": b"4444"}),
    ("-e2", {"a/x.txt": b"1", "b/y.txt": b"1", "c/x.txt": b"22", "c/y.txt": b"22"},
     ["a\\x.txt == b\\y.txt", " file2 renamed", "c\\x.txt == c\\y.txt"],
     {"a/x.txt": b"1", "b/x.txt": b"1", "c/x.txt": b"22", "c/y.txt": b"22"}),
    ("-d2 -u", {"a/b/x": SAME, "c/y": SAME}, ["a\\b\\x == c\\y", " file2 deleted"], {"a/b/": b"", "c/y": SAME}),
    ("-d2 -ded", {"x.txt": SAME, "top/deep/er/y.txt": SAME, "top/sub/": b""},
     ["x.txt == top\\deep\\er\\y.txt", " file2 deleted", "dir removed: {root}\\top\\deep\\er",
      "dir removed: {root}\\top\\deep"], {"x.txt": SAME, "top/sub/": b""}),
    ("-d1", ALIASED, ["a\\x == b\\x", " file1 deleted"], {"a/": b"", "a1": "a", "b/x": SAME, "b1": "b"}),
    ("-d2", ALIASED, ["a\\x == b\\x", " file2 deleted"], {"a/x": SAME, "a1": "a", "b/": b"", "b1": "b"}),
])
def test_one_pool_renames_depth_emptied_and_aliased_folders(tmp_path, option, files, lines, after):
    make_tree(tmp_path, files)
    run = run_zav(tmp_path, *option.split())
    pairs = sum(" == " in line for line in lines)
    expected = [line.format(root=win(tmp_path)) for line in lines] + [f"{pairs} pairs tested"]
    assert run.returncode == 0 and run.report()[:len(expected)] == expected
    assert tree(tmp_path) == after
