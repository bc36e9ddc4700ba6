"""A real crash: the test program's crash entries set the process up as zav.exe does and then fail for real.

They live in unit_crashdump.exe and are reachable from no command line of zav.exe. The program is copied into
a folder of the test's own, where its dump must appear: version 1.2.259.4 names it ZAV_1.2.3.4_Win64.dmp.
"""
import re
import shutil
import struct
import subprocess

import pytest

from conftest import REPO, make_tree, win, wine_env

CRASH_EXE = REPO / "build" / "win64" / "unit_crashdump.exe"
DUMP_NAME = "ZAV_1.2.3.4_Win64.dmp"
EXCEPTION_STREAM = 6


def dumped_exception_code(dump):
    """The exception code recorded in a minidump, or None when it holds none."""
    signature, _, streams, directory = struct.unpack_from("<4sIII", dump)
    assert signature == b"MDMP"
    for i in range(streams):
        kind, _, rva = struct.unpack_from("<III", dump, directory + 12 * i)
        if kind == EXCEPTION_STREAM:
            return struct.unpack_from("<I", dump, rva + 8)[0]  # after ThreadId and alignment
    return None


def snapshot(root):
    return {p.relative_to(root): p.read_bytes() for p in sorted(root.rglob("*")) if p.is_file()}


@pytest.fixture
def crash_program(tmp_path):
    if not CRASH_EXE.exists():
        pytest.skip(f"{CRASH_EXE} is not built")
    folder = tmp_path / "program"
    folder.mkdir()
    return shutil.copy(CRASH_EXE, folder / "unit_crashdump.exe")


@pytest.mark.parametrize("entry, code", [
    ("--raise-on-thread", 0xC0000005),  # an access violation on a worker thread
    ("--out-of-memory", 0x80000003),    # MemAlloc's breakpoint after a failed allocation
])
def test_crash_writes_dump_beside_program_and_ends_process(tmp_path, crash_program, entry, code):
    data = make_tree(tmp_path / "data", {"a/one.bin": b"x" * 5000, "b/one.bin": b"x" * 5000, "c/": b""})
    before = snapshot(data)
    proc = subprocess.run(["wine", str(crash_program), entry], cwd=data, env=wine_env(), stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=120)

    dump_path = crash_program.parent / DUMP_NAME
    expected = (rb"Exception 0x%08X at 0x[0-9A-F]{16}!\r\n" % code
                + b"MiniDump written to " + re.escape(win(dump_path).encode()) + rb"\r\n")
    assert re.fullmatch(expected, proc.stdout), proc.stdout
    # The process ends with the exception code (Wine hands on its low byte).
    assert proc.returncode == code & 0xFF
    assert dumped_exception_code(dump_path.read_bytes()) == code
    assert sorted(p.name for p in crash_program.parent.iterdir()) == [DUMP_NAME, "unit_crashdump.exe"]
    assert snapshot(data) == before
