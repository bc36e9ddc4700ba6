"""Scanning real trees: which files a specification takes, and how missing or odd sources end."""
import os
import pathlib

import pytest

from conftest import make_tree, run_zav, win

TREE = {
    "a.txt": b"a",
    "b.dat": b"bb",
    "sub/c.txt": b"ccc",
    "sub/deeper/d.TXT": b"dddd",
    "sub/deeper/e.bin": b"",
    "empty/": b"",
    "empty/inner/": b"",
}


def one_pool(count):
    return ["scanning file pool: ", f"Matching {count} files..."]


def scan_part(run):
    """The lines up to the file count: what the scans took. Pairs and the summary follow them."""
    lines = run.lines
    for i, line in enumerate(lines):
        if line.startswith("Matching "):
            return lines[:i + 1]
    return lines


@pytest.fixture
def tree(tmp_path):
    return make_tree(tmp_path / "t", TREE)


@pytest.mark.parametrize("spec, options, count", [
    ("", [], 5),                    # a folder always takes its subfolders
    ("\\", [], 5),
    ("\\*.txt", [], 1),             # a pattern takes the one folder only...
    ("\\*.txt", ["-s"], 3),         # ...unless asked for the subfolders
    ("\\*.txt", ["-s1"], 3),
    ("\\*.*", ["-s"], 5),
    ("\\sub\\deeper\\d.txt", [], 1),
    ("\\*", ["-s", "-m:2", "-x:3"], 2),   # both bounds are inclusive: b.dat and sub\c.txt
    ("\\*", ["-s", "-m:1", "-x:1"], 1),
])
def test_specifications_take_the_expected_files(tree, spec, options, count):
    run = run_zav(win(tree) + spec, *options)
    assert run.returncode == 2
    assert scan_part(run)[-1] == f"Matching {count} files..."
    assert "scanning file pool: " in run.lines


def test_a_folder_with_only_empty_folders_gives_an_empty_pool(tmp_path):
    root = make_tree(tmp_path / "e", {"x/": b"", "x/y/": b"", "z/": b""})
    run = run_zav(win(root))
    assert (run.returncode, scan_part(run)) == (2, one_pool(0))


def test_missing_single_file_aborts_unless_subfolders_are_searched(tree):
    run = run_zav(win(tree / "missing.txt"))
    assert run.returncode == 9
    assert run.out.split(b"\r\n", 1)[1] == b"File not found -> abort\r\n\r\n"
    run = run_zav(win(tree / "c.txt"), "-s")
    assert (run.returncode, scan_part(run)) == (2, one_pool(1)), "found in a subfolder"
    run = run_zav(win(tree / "missing.txt"), "-s")
    assert (run.returncode, scan_part(run)) == (2, one_pool(0))


def test_missing_search_folder_is_named_without_prefix(tree):
    run = run_zav(win(tree / "nowhere" / "x.txt"), win(tree))
    assert run.returncode in (7, 9)
    if run.returncode == 9:
        assert run.lines[0] == f"{win(tree / 'nowhere')}\\ not found -> abort"


def test_bare_names_and_patterns_are_taken_from_the_current_folder(tree):
    assert run_zav("a.txt", cwd=tree).lines[:2] == one_pool(1)
    assert run_zav("*.txt", "-s", cwd=tree).lines[:2] == one_pool(3)
    assert run_zav("sub", cwd=tree).lines[:2] == one_pool(3)


def test_two_folders_on_one_volume_scan_one_after_the_other(tree):
    run = run_zav(win(tree), win(tree / "sub"))
    assert run.returncode == 2
    # Same volume: no drive line, two pools.
    assert scan_part(run) == ["scanning file pool 1: ", "scanning file pool 2: ", "Matching 5 with 3 files..."]
    run = run_zav(win(tree), win(tree / "sub" / "c.txt"))
    assert scan_part(run)[-1] == "Matching 5 with 1 file..."


def test_the_same_folder_twice_is_one_pool(tree):
    run = run_zav(win(tree), win(tree) + "\\")
    assert (run.returncode, scan_part(run)) == (2, one_pool(5))


def make_chain(root, levels, files_from):
    """A chain of folders root/d/d/... levels deep, a file "f" in each from level files_from on; returns the
    descriptors of the folders (the caller closes them). Built by descriptor: the path outgrows Linux's limit."""
    root.mkdir()
    fds = [os.open(root, os.O_RDONLY)]
    for level in range(1, levels + 1):
        os.mkdir("d", dir_fd=fds[-1])
        fds.append(os.open("d", os.O_RDONLY, dir_fd=fds[-1]))
        if level >= files_from:
            os.close(os.open("f", os.O_CREAT | os.O_WRONLY, dir_fd=fds[-1]))
    return fds


def remove_chain(fds):
    """Empties and removes the chain bottom-up (pytest's own clean-up recurses too deep for it)."""
    for level in range(len(fds) - 1, -1, -1):
        for entry in os.scandir(fds[level]):
            if entry.is_dir(follow_symlinks=False):
                os.rmdir(entry.name, dir_fd=fds[level])
            else:
                os.unlink(entry.name, dir_fd=fds[level])
        os.close(fds[level])


def test_a_folder_1024_levels_below_the_root_is_refused_and_its_siblings_are_scanned(tmp_path):
    root = tmp_path / "deep"
    fds = make_chain(root, 1025, 1021)
    try:
        # A folder at level 1023 beside the chain: listed, while the chain's folder at level 1024 is refused.
        os.mkdir("s", dir_fd=fds[1022])
        sibling = os.open("s", os.O_RDONLY, dir_fd=fds[1022])
        os.close(os.open("g", os.O_CREAT | os.O_WRONLY, dir_fd=sibling))
        (root / "top").write_bytes(b"x")
        run = run_zav(win(root), timeout=300)
        # top, f at levels 1021 to 1023 and s/g; f at levels 1024 and 1025 lie in the refused subtree.
        assert (run.returncode, scan_part(run)) == (2, one_pool(5))
    finally:
        os.unlink("g", dir_fd=sibling)
        os.close(sibling)
        remove_chain(fds)


def test_a_source_folder_of_300_characters_is_scanned_whole(tmp_path):
    deep = tmp_path / ("a" * 100) / ("b" * 100) / ("c" * 100)
    make_tree(deep, {"x.txt": b"1", "y.txt": b"22", "z/w.bin": b"333"})
    assert len(win(deep)) > 300
    run = run_zav(win(deep))
    assert (run.returncode, scan_part(run)) == (2, one_pool(3))
    run = run_zav(win(deep) + "\\*.txt")
    assert (run.returncode, scan_part(run)) == (2, one_pool(2))
    run = run_zav(win(deep), win(deep / "z"))
    assert scan_part(run)[-1] == "Matching 3 with 1 file..."


def test_names_in_any_plane_are_scanned(tmp_path):
    names = ["café.txt", "日本語", "smile😀", "plane16\U0010FFFD", "Ångström.TXT"]
    root = make_tree(tmp_path / "ü😀", {f"n/{name}": name.encode() for name in names})
    run = run_zav(win(root))
    assert (run.returncode, scan_part(run)) == (2, one_pool(len(names)))


def test_a_folder_link_back_to_its_parent_ends(tmp_path):
    root = make_tree(tmp_path / "loop", {"a": b"1", "sub/b": b"2"})
    os.symlink("..", root / "sub" / "up")
    for options in ([], ["-r"]):
        run = run_zav(win(root), *options, timeout=300)
        assert run.returncode == 2
        assert run.lines[0] == "scanning file pool: " and run.lines[1].startswith("Matching ")


@pytest.mark.parametrize("suffix", [
    "\\a.txt:s", "\\a.txt::$DATA", "\\sub.", "\\sub. .", "\\a.txt ", "\\*.txt.", "\\?", "\\" + "x" * 32000,
    "\\" + "\\".join(["y" * 200] * 160), ":", "\\\\\\", "\\sub\\..\\a.txt",
])
def test_odd_specifications_never_crash(tree, suffix):
    run = run_zav(win(tree) + suffix, "-s")
    # A crash would end with an exception code, never one of the program's own exit codes.
    assert run.returncode in (0, 2, 7, 8, 9)
    assert run.out.endswith(b"\r\n")


def test_a_32000_character_second_specification(tree):
    run = run_zav(win(tree), "Z:\\" + "q" * 32000)
    assert run.returncode in (7, 8, 9)
