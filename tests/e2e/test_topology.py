"""Drive topology seen from the command line: volume checks and the physical-drive verdict under Wine,
where C: (the prefix's drive_c) and Z: (the Linux root) are two volumes of one disk."""
import os
import shutil

import pytest

from conftest import REPO, make_tree, run_zav, win, wine_env

SAME_DRIVE = "Files are located on the same physical drive -> sequential operation"
INVALID_VOLUME = "source volume is invalid"


@pytest.fixture
def drive_c_folder():
    """A folder on C:, as a (Linux path, Windows path) pair; removed afterwards."""
    drive_c = os.path.join(wine_env()["WINEPREFIX"], "drive_c")
    name = f"zav-e2e-topology-{os.getpid()}"
    path = os.path.join(drive_c, name)
    os.makedirs(path)
    yield path, "C:\\" + name
    shutil.rmtree(path, ignore_errors=True)


def test_folders_on_c_and_z_are_on_one_physical_drive(tmp_path, drive_c_folder):
    c_linux, c_windows = drive_c_folder
    make_tree(c_linux, {"a.txt": b"one"})
    make_tree(tmp_path, {"b.txt": b"two"})
    run = run_zav(c_windows, win(tmp_path), "-n")
    assert run.lines[0] == SAME_DRIVE
    assert run.lines[1].startswith("scanning file pool 1: ")
    assert run.returncode not in (7, 8)


def test_long_folders_keep_their_volume_and_drive(tmp_path, drive_c_folder):
    c_linux, c_windows = drive_c_folder
    parts = ["d" * 100, "e" * 100, "f" * 100]
    make_tree(os.path.join(c_linux, *parts), {"a.txt": b"one"})
    make_tree(os.path.join(tmp_path, *parts), {"b.txt": b"two"})
    run = run_zav(c_windows + "\\" + "\\".join(parts), win(tmp_path.joinpath(*parts)), "-n")
    assert INVALID_VOLUME not in run.text
    assert run.lines[0] == SAME_DRIVE
    assert run.returncode not in (7, 8)


def test_two_folders_on_one_drive_letter_print_no_drive_line(tmp_path):
    make_tree(tmp_path, {"x/a.txt": b"one", "y/b.txt": b"two"})
    run = run_zav(win(tmp_path / "x"), win(tmp_path / "y"), "-n")
    assert "Files are located on " not in run.text
    assert run.lines[0].startswith("scanning file pool 1: ")


@pytest.mark.parametrize("first, second, code", [
    ("Q:\\nowhere", None, 7),
    ("\\\\no-such-server\\share\\dir", None, 7),
    ("{tmp}", "Q:\\nowhere", 8),
    ("{tmp}", "{tmp}\\missing\\deeper\\x.txt", 8),
])
def test_a_source_without_a_volume_ends_the_run(tmp_path, first, second, code):
    args = [a.replace("{tmp}", win(tmp_path)) for a in (first, second) if a]
    run = run_zav(*args, "-n")
    assert run.lines == [INVALID_VOLUME, ""]
    assert run.returncode == code
