"""Real crashes through the test-only entries of unit_crashdump.exe, which zav.exe has no command line for. Its
copy in a folder of the test's own must leave its dump there: version 1.2.259.4 names it ZAV_1.2.3.4_Win64.dmp."""
import re
import subprocess

import pytest

from conftest import REPO, make_tree, win, wine_env

CRASH_EXE = REPO / "build" / "win64" / "unit_crashdump.exe"
DUMP_NAME = "ZAV_1.2.3.4_Win64.dmp"


def snapshot(root):
    return {p.relative_to(root): p.is_file() and p.read_bytes() for p in root.rglob("*")}


@pytest.mark.parametrize("entry, code", [
    ("--raise-on-thread", 0xC0000005),  # an access violation on the checksum thread reading one.bin
    ("--out-of-memory", 0x80000003),    # MemAlloc's breakpoint after a failed allocation
])
def test_crash_writes_dump_beside_program_and_ends_process(tmp_path, entry, code):
    folder = make_tree(tmp_path / "program", {"unit_crashdump.exe": CRASH_EXE.read_bytes()})
    data = make_tree(tmp_path / "data", {"one.bin": b"x" * 5000, "sub/one.bin": b"x" * 5000})
    before = snapshot(data)
    proc = subprocess.run(["wine", folder / "unit_crashdump.exe", entry], cwd=data, env=wine_env(),
                          stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=120)

    assert re.fullmatch(rb"Exception 0x%08X at 0x[0-9A-F]{16}!\r\n" % code + b"MiniDump written to "
                        + re.escape(win(folder / DUMP_NAME).encode()) + rb"\r\n", proc.stdout), proc.stdout
    assert proc.returncode == code & 0xFF  # Wine hands on the exception code's low byte
    assert sorted(p.name for p in folder.iterdir()) == [DUMP_NAME, "unit_crashdump.exe"]
    assert snapshot(data) == before
