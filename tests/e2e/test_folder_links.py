"""Trees with folder links: a pair of two files is reported, counted and acted on once whatever names reach
them, and a link back to a parent is entered once."""
import os

import pytest

from conftest import make_tree, run_zav, win

SAME = b"same content"
REPORT_ONE = ["1 pairs tested", "4096 Bytes of redundant data found in 1 file in T"]


def aliases(root):
    """r/a/x and r/b/x equal, each folder reached a second time through a link beside it."""
    make_tree(root, {"r/a/x": SAME, "r/b/x": SAME})
    os.symlink("a", root / "r" / "a1")
    os.symlink("b", root / "r" / "b1")
    return [win(root / "r")]


def loop(root):
    """Two equal files beside a link to their parent."""
    make_tree(root, {"a/f": SAME, "a/g": SAME})
    os.symlink("..", root / "a" / "loop")
    return [win(root / "a")]


def deep_loop(root):
    """A link to the root two levels down, beside more links that lead into the tree."""
    make_tree(root, {"a/f": SAME, "a/s/t/g": SAME, "a/s/other": b"other"})
    os.symlink("../..", root / "a" / "s" / "t" / "top")
    os.symlink("t", root / "a" / "s" / "t2")
    os.symlink("s/t", root / "a" / "t3")
    return [win(root / "a")]


def crossed_pools(root):
    """Two pools, each with a link to the other's folder."""
    make_tree(root, {"p/a/x": SAME, "q/b/x": SAME})
    os.symlink("../q/b", root / "p" / "b1")
    os.symlink("../p/a", root / "q" / "a1")
    return [win(root / "p"), win(root / "q")]


def overlapping_pools(root):
    """The second pool a folder of the first: the pair lies in both."""
    make_tree(root, {"r/s/x": SAME, "r/s/y": SAME})
    return [win(root / "r"), win(root / "r" / "s")]


def file_links(root):
    """Two equal files, each with a file link to it."""
    make_tree(root, {"r/x": SAME, "r/z": SAME})
    os.symlink("x", root / "r" / "y")
    os.symlink("z", root / "r" / "w")
    return [win(root / "r")]


def outside(root):
    """A link to a folder outside the tree is listed under the link's name; a link to the tree's own root is not."""
    make_tree(root, {"r/x": SAME, "elsewhere/y": SAME})
    os.symlink("../elsewhere", root / "r" / "e1")
    os.symlink(".", root / "r" / "self")
    return [win(root / "r")]


# Under Wine a folder link shows no link tag and is entered anyway; -r still makes each file's volume be read.
@pytest.mark.parametrize("options", [["-n"], ["-n", "-r", "-fh"]])
@pytest.mark.parametrize("build, lines", [
    (aliases, ["a\\x == b\\x"]),
    (loop, ["f == g"]),
    (deep_loop, ["f == s\\t\\g"]),
    (crossed_pools, ["a\\x == b\\x"]),
    (overlapping_pools, ["s\\x == y"]),
    (file_links, ["w == x"]),
    (outside, ["x == e1\\y"]),
])
def test_each_pair_of_two_files_is_reported_once(tmp_path, build, lines, options):
    run = run_zav(*build(tmp_path), *options)
    report = run.report()
    if "-fh" in options:  # two names of one file in two pools are a pair tested then, as they always were
        report = [line for line in report if not line.endswith(" pairs tested")]
        lines = lines + REPORT_ONE[1:]
    else:
        lines = lines + REPORT_ONE
    assert run.returncode == 0 and report == lines, run


@pytest.mark.parametrize("action, lines, gone", [
    ("-d2", ["a\\x == b\\x", " file2 deleted"], "b"),
    ("-d1", ["a\\x == b\\x", " file1 deleted"], "a"),
])
def test_an_action_on_aliased_folders_acts_once(tmp_path, action, lines, gone):
    args = aliases(tmp_path)
    run = run_zav(*args, action)
    assert run.returncode == 0 and run.report()[:3] == lines + ["1 pairs tested"], run
    left = {folder for folder in ("a", "a1", "b", "b1") if (tmp_path / "r" / folder / "x").exists()}
    assert left == {folder for folder in ("a", "a1", "b", "b1") if folder[0] != gone}
