"""The version resource and the manifest inside the build under test, and the banner that shows the version."""
import re
import struct
import subprocess

import pytest

from conftest import BUILD, EXE, PLATFORM_WORD, REPO, run_exe


def tool(arch, name, *args):
    return subprocess.run([f"{arch}-w64-mingw32-{name}", *args], check=True, capture_output=True, text=True).stdout


def test_build_carries_version_manifest_and_platform_word():
    arch = {"win32": "i686", "win64": "x86_64"}[BUILD]
    word, other = PLATFORM_WORD, {"Win32": "Win64", "Win64": "Win32"}[PLATFORM_WORD]
    exe = EXE
    rc = tool(arch, "windres", "-i", str(exe), "-O", "rc")
    version = re.search(r"project\(zav VERSION ([\d.]+)", (REPO / "CMakeLists.txt").read_text()).group(1)
    assert f"FILEVERSION {', '.join((version.split('.') + ['0'] * 3)[:4])}\n" in rc
    manifest = "".join(re.findall(r'^\s*"(.*)\\n"$', rc, re.MULTILINE)).replace('""', '"')
    source = (REPO / "src" / "zav.manifest").read_text()
    assert "asInvoker" in manifest and "".join(manifest.split()) == "".join(source.split())  # the file as written
    # The banner and the crash dump name take the platform word.
    wide = tool(arch, "strings", "-el", str(exe)).split("\n")
    assert word in wide and other not in wide


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
