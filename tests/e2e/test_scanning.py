"""Scanning real trees: which files a specification takes, how missing or odd sources end, and the drive verdict
under Wine, where C: (drive_c) and Z: (the Linux root) share one disk."""
import os
import shutil

import pytest

from conftest import make_tree, run_zav, win, wine_env

TREE = {"a.txt": b"a", "b.dat": b"bb", "sub/c.txt": b"ccc", "sub/deeper/d\U0001F600\U0010FFFD.TXT": b"dddd",
        "sub/deeper/e": b"", "empty/inner/": b""}


@pytest.fixture
def tree(tmp_path):
    return make_tree(tmp_path / "ü😀", TREE)


@pytest.mark.parametrize("args, code, line", [
    (["{t}"], 2, "Matching 5 files..."),                 # a folder takes its subfolders; empty ones add nothing
    (["{t}", "{t}\\"], 2, "Matching 5 files..."),        # the same folder twice is one pool
    (["{t}\\*.txt"], 2, "Matching 1 files..."),          # a pattern takes its one folder...
    (["{t}\\*.txt", "-s"], 2, "Matching 3 files..."),    # ...unless asked for the subfolders
    (["{t}\\*", "-s", "-m:2", "-x:3"], 2, "Matching 2 files..."),  # both bounds inclusive: b.dat and sub\c.txt
    (["{t}\\c.txt", "-s"], 2, "Matching 1 files..."),    # with -s a single file is looked for in the subfolders
    (["{t}\\missing.txt", "-s"], 2, "Matching 0 files..."),
    (["a.txt"], 2, "Matching 1 files..."),               # bare names and patterns are taken from the current folder
    (["{t}", "C:\\windows", "-h"], 4, "hardlinks work on the same drive only -> abort"),
])
def test_specifications_take_the_expected_files(tree, args, code, line):
    run = run_zav(*args, cwd=tree, root=tree)
    assert run.returncode == code and line in run.lines


@pytest.mark.parametrize("args", [
    ["{t}\\a.txt:s"], ["{t}\\a.txt::$DATA"], ["{t}\\sub."], ["{t}\\sub. ."], ["{t}\\a.txt "], ["{t}\\*.txt."],
    ["{t}\\" + "x" * 32000], ["{t}\\" + "\\".join(["y" * 200] * 159)], ["{t}", "{t}\\" + "q" * 32000],
    ["x" * 4000], ['"' * 300], [" \t " * 500], [f"arg{i}" for i in range(40)], ["-" + "é" * 2000, "/" * 3000],
    [f"-t:{'9' * 70}", "-m:" + "k" * 100, "-x:-" + "1" * 62 + "T"],
])
def test_odd_specifications_and_command_lines_never_crash(tree, args):
    run = run_zav(*args, "-s", cwd=tree, root=tree)
    # A crash ends with an exception code, never with one of the program's own exit codes.
    assert run.returncode in (0, 2, 3, 4, 7, 8, 9) and run.out.endswith(b"\r\n")


LONG = ["d" * 100, "e" * 100, "f" * 100]  # past 260 characters: the volume root decides


def test_source_folders_of_300_characters(tmp_path):
    """Scanned whole; on C: and Z: they share a drive, and one drive letter prints no verdict."""
    name = f"zav-e2e-topology-{os.getpid()}"
    drive_c = os.path.join(wine_env()["WINEPREFIX"], "drive_c", name)
    long_z = win(make_tree(tmp_path.joinpath(*LONG), {"x": b"1", "y.txt": b"2", "z/w": b"3"}))
    try:
        make_tree(os.path.join(drive_c, *LONG), {"a.txt": b"one"})
        on_c_and_z = run_zav("\\".join(["C:", name, *LONG]), long_z, "-n")
    finally:
        shutil.rmtree(drive_c, ignore_errors=True)
    assert on_c_and_z.lines[0] == "Files are located on the same physical drive -> sequential operation"
    assert run_zav(make_tree(tmp_path / "x", {"b.txt": b"two"}), long_z, "-n").lines[0] == "scanning file pool 1: "
    assert [run_zav(long_z + end).lines[1] for end in ("", "\\*.txt")] == ["Matching 3 files...", "Matching 1 files..."]
