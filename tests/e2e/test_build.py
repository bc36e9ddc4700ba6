"""The version resource and the manifest inside the build under test, the banner that shows the version, and real
crashes through the test-only entries of unit_crashdump.exe, which zav.exe has no command line for."""
import re
import struct
import subprocess

import pytest

from conftest import BUILD, BUILD_DIR, EXE, PLATFORM_WORD, REPO, make_tree, run_exe, tree, win


def test_build_carries_version_and_manifest():
    arch = {"win32": "i686", "win64": "x86_64"}[BUILD]
    rc = subprocess.run([f"{arch}-w64-mingw32-windres", "-i", str(EXE), "-O", "rc"], check=True, capture_output=True,
                        text=True).stdout
    version = re.search(r"project\(zav VERSION ([\d.]+)", (REPO / "CMakeLists.txt").read_text()).group(1)
    assert f"FILEVERSION {', '.join((version.split('.') + ['0'] * 3)[:4])}\n" in rc
    manifest = "".join(re.findall(r'^\s*"(.*)\\n"$', rc, re.MULTILINE)).replace('""', '"')
    source = (REPO / "src" / "zav.manifest").read_text()
    assert "asInvoker" in manifest and "".join(manifest.split()) == "".join(source.split())  # the file as written


@pytest.mark.parametrize("parts, text", [((1, 2, 3, 0), "1.2.3"), ((1, 2, 3, 4), "1.2.3.4"),
                                         ((256, 258, 511, 65535), "0.2.255.255"), ((1, 2, 3, 256), "1.2.3")])
def test_banner_shows_the_version_of_the_resource(tmp_path, parts, text):
    # A copy of zav.exe with its fixed file version patched to four 16-bit parts.
    data = bytearray(EXE.read_bytes())
    signature = struct.pack("<I", 0xFEEF04BD)
    at = data.find(signature)
    assert at > 0 and data.find(signature, at + 1) < 0
    data[at + 8:at + 16] = struct.pack("<4H", parts[1], parts[0], parts[3], parts[2])
    (tmp_path / "zav.exe").write_bytes(bytes(data))
    banner = run_exe(tmp_path / "zav.exe").out.split(b"\r\n", 1)[0]
    assert banner == f"ZAV V{text} {PLATFORM_WORD} - finds files with identical content".encode()


DUMP_NAME = f"ZAV_1.2.3.4_{PLATFORM_WORD}.dmp"
ADDRESS_DIGITS = {"Win32": 8, "Win64": 16}[PLATFORM_WORD]  # an exception address is as wide as a pointer


# Its copy in a folder of its own leaves the dump there: version 1.2.259.4 names it ZAV_1.2.3.4_<platform>.dmp.
@pytest.mark.parametrize("entry, code", [
    ("--raise-on-thread", 0xC0000005),  # an access violation on the checksum thread reading one.bin
    ("--out-of-memory", 0x80000003),    # MemAlloc's breakpoint after a failed allocation
])
def test_crash_writes_dump_beside_program_and_ends_process(tmp_path, entry, code):
    folder = make_tree(tmp_path / "program", {"unit_crashdump.exe": (BUILD_DIR / "unit_crashdump.exe").read_bytes()})
    data = make_tree(tmp_path / "data", {"one.bin": b"x" * 5000, "sub/one.bin": b"x" * 5000})
    run = run_exe(folder / "unit_crashdump.exe", entry, cwd=data)
    assert re.fullmatch(rb"Exception 0x%08X at 0x[0-9A-F]{%d}!\r\n" % (code, ADDRESS_DIGITS) + b"MiniDump written to "
                        + re.escape(win(folder / DUMP_NAME).encode()) + rb"\r\n", run.out), run.out
    assert run.returncode == code & 0xFF  # Wine hands on the exception code's low byte
    assert sorted(p.name for p in folder.iterdir()) == [DUMP_NAME, "unit_crashdump.exe"]
    assert tree(data) == {"one.bin": b"x" * 5000, "sub/one.bin": b"x" * 5000}
