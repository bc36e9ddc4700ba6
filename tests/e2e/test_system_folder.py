"""The real C:\\windows\\system32 as both exes see it. A 32-bit program on 64-bit Windows has system32 redirected
to syswow64, per thread, unless it switches that off: these tests fail on the 32-bit exe when any thread that
scans or reads sees the redirected folder. The 64-bit exe is never redirected and must agree."""
import os
import pathlib
import shutil

import pytest

from conftest import REPO, run_zav, win

WINDOWS = pathlib.Path(os.environ.get("WINEPREFIX", REPO / "build" / "wineprefix")) / "drive_c" / "windows"
SYSTEM32 = "C:\\windows\\system32"


def copy_of(tmp_path, folder):
    """A folder holding a copy of the prefix's notepad.exe from system32 (64-bit) or syswow64 (32-bit)."""
    (tmp_path / folder).mkdir()
    shutil.copy(WINDOWS / folder / "notepad.exe", tmp_path / folder)
    return win(tmp_path / folder)


@pytest.mark.parametrize("spec, copy, code, pair", [
    (SYSTEM32 + "\\notepad.exe", "system32", 0, ["notepad.exe == notepad.exe", "1 pairs tested"]),
    (SYSTEM32 + "\\notepad.exe", "syswow64", 2, ["0 pairs tested"]),  # sizes differ: nothing to read
    ("C:\\windows\\syswow64\\notepad.exe", "syswow64", 0, ["notepad.exe == notepad.exe", "1 pairs tested"]),
])
def test_a_file_named_in_system32_is_read_as_scanned(tmp_path, spec, copy, code, pair):
    run = run_zav(spec, copy_of(tmp_path, copy))
    assert (run.returncode, run.report()[:-1]) == (code, pair)


def test_system32_is_scanned_unredirected(tmp_path):
    files = sum(len(names) for _, _, names in os.walk(WINDOWS / "system32"))
    run = run_zav(SYSTEM32, copy_of(tmp_path, "syswow64"), timeout=300)
    assert run.returncode == 2 and f"Matching {files} with 1 file..." in run.lines and "0 pairs tested" in run.lines
