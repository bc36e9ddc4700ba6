"""The version resource and the manifest inside zav.exe, and the banner that shows the version."""
import re
import struct
import subprocess

import pytest

from conftest import EXE, REPO, run_zav, wine_env

FIXED_FILE_INFO_SIGNATURE = struct.pack("<I", 0xFEEF04BD)
SUPPORTED_OS = {
    "Vista": "{e2011457-1546-43c5-a5fe-008deee3d3f0}",
    "7": "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
    "8": "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
    "8.1": "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
    "10": "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
}
PRESETS = {"win64": ("x86_64", "Win64"), "win32": ("i686", "Win32")}


def project_version():
    """The version that CMakeLists.txt sets: the one place it is defined."""
    match = re.search(r"project\(zav VERSION (\d+)\.(\d+)\.(\d+)(?:\.(\d+))?", (REPO / "CMakeLists.txt").read_text())
    return tuple(int(part or 0) for part in match.groups())


def built_exe(preset):
    exe = REPO / "build" / preset / "zav.exe"
    if not exe.exists():
        pytest.skip(f"{exe} is not built (scripts/test builds both presets)")
    return exe


def resources_as_rc(preset):
    arch, _ = PRESETS[preset]
    return subprocess.run([f"{arch}-w64-mingw32-windres", "-i", str(built_exe(preset)), "-O", "rc"],
                          check=True, capture_output=True, text=True).stdout


def with_file_version(tmp_path, parts):
    """A copy of zav.exe whose fixed file version reads as the given four 16-bit parts."""
    data = bytearray(EXE.read_bytes())
    at = data.find(FIXED_FILE_INFO_SIGNATURE)
    assert at > 0 and data.find(FIXED_FILE_INFO_SIGNATURE, at + 1) < 0
    major, minor, build, revision = parts
    data[at + 8:at + 16] = struct.pack("<II", major << 16 | minor, build << 16 | revision)
    copy = tmp_path / "zav.exe"
    copy.write_bytes(bytes(data))
    return copy


def banner(exe):
    proc = subprocess.run(["wine", str(exe)], env=wine_env(), stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=60)
    return proc.stdout.split(b"\r\n", 1)[0].decode("ascii")


@pytest.mark.parametrize("preset", PRESETS)
def test_both_builds_carry_version_and_manifest(preset):
    rc = resources_as_rc(preset)
    version = ", ".join(map(str, project_version()))
    assert f"FILEVERSION {version}\n" in rc
    manifest = "".join(re.findall(r'^\s*"(.*)\\n"$', rc, re.MULTILINE)).replace('""', '"')
    for name, guid in SUPPORTED_OS.items():
        assert f'<supportedOS Id="{guid}"/>' in manifest, name
    assert re.search(r"<longPathAware[^>]*>true</longPathAware>", manifest)
    assert "RT_MANIFEST" in rc


@pytest.mark.parametrize("preset", PRESETS)
def test_platform_word_of_each_build(preset):
    _, word = PRESETS[preset]
    other = "Win64" if word == "Win32" else "Win32"
    exe = str(built_exe(preset))
    wide = subprocess.run(["x86_64-w64-mingw32-strings", "-el", exe], check=True, capture_output=True,
                          text=True).stdout.split("\n")
    narrow = subprocess.run(["x86_64-w64-mingw32-strings", "-a", exe], check=True, capture_output=True,
                            text=True).stdout.split("\n")
    # The banner and the dump name take the same word; the dump name is built from this format.
    assert word in wide and other not in wide
    assert "ZAV_%u.%u.%u.%u_%s.dmp" in narrow


def test_banner_shows_the_project_version():
    major, minor, build, revision = project_version()
    text = f"{major}.{minor}.{build}" + (f".{revision}" if revision else "")
    run = run_zav()
    assert run.out.split(b"\r\n", 1)[0] == f"ZAV V{text} Win64 - finds files with identical content".encode()


@pytest.mark.parametrize("parts, text", [
    ((1, 2, 3, 0), "1.2.3"),
    ((1, 2, 3, 4), "1.2.3.4"),
    ((256, 2, 3, 4), "0.2.3.4"),
    ((1, 258, 511, 65535), "1.2.255.255"),
    ((0, 0, 0, 256), "0.0.0"),
])
def test_banner_shows_the_file_version(tmp_path, parts, text):
    assert banner(with_file_version(tmp_path, parts)) == f"ZAV V{text} Win64 - finds files with identical content"
