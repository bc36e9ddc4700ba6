"""Real crashes through the test-only entries of unit_crashdump.exe, which zav.exe has no command line for. Its
copy in a folder of the test's own must leave its dump there: version 1.2.259.4 names it ZAV_1.2.3.4_<platform>.dmp."""
import re

import pytest

from conftest import BUILD_DIR, PLATFORM_WORD, make_tree, run_exe, tree, win

DUMP_NAME = f"ZAV_1.2.3.4_{PLATFORM_WORD}.dmp"
ADDRESS_DIGITS = {"Win32": 8, "Win64": 16}[PLATFORM_WORD]  # an exception address is as wide as a pointer


@pytest.mark.parametrize("entry, code", [
    ("--raise-on-thread", 0xC0000005),  # an access violation on the checksum thread reading one.bin
    ("--out-of-memory", 0x80000003),    # MemAlloc's breakpoint after a failed allocation
])
def test_crash_writes_dump_beside_program_and_ends_process(tmp_path, entry, code):
    crash_exe = (BUILD_DIR / "unit_crashdump.exe").read_bytes()
    folder = make_tree(tmp_path / "program", {"unit_crashdump.exe": crash_exe})
    data = make_tree(tmp_path / "data", {"one.bin": b"x" * 5000, "sub/one.bin": b"x" * 5000})
    run = run_exe(folder / "unit_crashdump.exe", entry, cwd=data)
    assert re.fullmatch(rb"Exception 0x%08X at 0x[0-9A-F]{%d}!\r\n" % (code, ADDRESS_DIGITS) + b"MiniDump written to "
                        + re.escape(win(folder / DUMP_NAME).encode()) + rb"\r\n", run.out), run.out
    assert run.returncode == code & 0xFF  # Wine hands on the exception code's low byte
    assert sorted(p.name for p in folder.iterdir()) == [DUMP_NAME, "unit_crashdump.exe"]
    assert tree(data) == {"one.bin": b"x" * 5000, "sub/one.bin": b"x" * 5000}
