"""Trees with folder links: a pair of two files is reported and counted once whatever names reach them, and a
link back to a parent is entered once."""
import pytest

from conftest import make_tree, run_zav

SAME = b"same content"
REPORT_ONE = ["1 pairs tested", "4096 Bytes of redundant data found in 1 file in T"]
# Each tree: its files and links (a link's target as text), its pools and its one pair line.
TREES = {
    "aliases": ({"r/a/x": SAME, "r/b/x": SAME, "r/a1": "a", "r/b1": "b"}, ["r"], "a\\x == b\\x"),
    "loop": ({"a/f": SAME, "a/g": SAME, "a/loop": ".."}, ["a"], "f == g"),
    # a link to the root two levels down, beside more links that lead into the tree
    "deep loop": ({"a/f": SAME, "a/s/t/g": SAME, "a/s/other": b"other", "a/s/t/top": "../..", "a/s/t2": "t",
                   "a/t3": "s/t"}, ["a"], "f == s\\t\\g"),
    "crossed pools": ({"p/a/x": SAME, "q/b/x": SAME, "p/b1": "../q/b", "q/a1": "../p/a"}, ["p", "q"], "a\\x == b\\x"),
    "overlapping pools": ({"r/s/x": SAME, "r/s/y": SAME}, ["r", "r/s"], "s\\x == y"),
    "file links": ({"r/x": SAME, "r/z": SAME, "r/y": "x", "r/w": "z"}, ["r"], "w == x"),
    # a link out of the tree is listed under its own name; a link to the tree's own root is not
    "outside": ({"r/x": SAME, "elsewhere/y": SAME, "r/e1": "../elsewhere", "r/self": "."}, ["r"], "x == e1\\y"),
}


# Under Wine a folder link shows no link tag and is entered anyway; -r still makes each file's volume be read.
@pytest.mark.parametrize("options", [["-n"], ["-n", "-r", "-fh"]])
@pytest.mark.parametrize("name", TREES)
def test_each_pair_of_two_files_is_reported_once(tmp_path, name, options):
    files, pools, pair = TREES[name]
    make_tree(tmp_path, files)
    run = run_zav(*(tmp_path / pool for pool in pools), *options)
    report = run.report()
    if "-fh" in options:  # two names of one file in two pools are a pair tested then, as they always were
        report = [line for line in report if not line.endswith(" pairs tested")]
    assert run.returncode == 0 and report == [pair, *REPORT_ONE["-fh" in options:]], run
