"""Runs the real zav.exe under Wine on trees built in temporary folders."""
import os
import pathlib
import subprocess

import pytest

REPO = pathlib.Path(__file__).resolve().parents[2]
EXE = REPO / "build" / "win64" / "zav.exe"
OEM = "cp437"  # the OEM code page of Wine's default (US English) setup


def wine_env():
    env = dict(os.environ)
    env.setdefault("WINEPREFIX", str(REPO / "build" / "wineprefix"))
    env["WINEDEBUG"] = "-all"
    env["WINEDLLOVERRIDES"] = "mscoree=;mshtml="
    return env


def win(path):
    """A Linux path as Wine sees it: Z: is the Linux root."""
    return "Z:" + str(path).replace("/", "\\")


class Run:
    def __init__(self, returncode, out):
        self.returncode = returncode
        self.out = out

    @property
    def text(self):
        return self.out.decode(OEM)

    @property
    def lines(self):
        """The output split at CR LF; the banner line is dropped."""
        return self.text.split("\r\n")[1:]


def run_zav(*args, cwd=None, timeout=120):
    """zav.exe with output to a pipe (the redirected path), never waiting for a key."""
    proc = subprocess.run(["wine", str(EXE), *map(str, args)], cwd=cwd, env=wine_env(),
                          stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                          timeout=timeout)
    return Run(proc.returncode, proc.stdout)


def make_tree(root, files):
    """files maps relative paths to bytes; a path ending in '/' is an empty folder."""
    root = pathlib.Path(root)
    for rel, content in files.items():
        path = root / rel
        if rel.endswith("/"):
            path.mkdir(parents=True, exist_ok=True)
            continue
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(content)
    return root


@pytest.fixture(scope="session", autouse=True)
def _built_exe():
    if not EXE.exists():
        pytest.exit(f"{EXE} is missing: build the win64 preset first (scripts/test does)", returncode=2)


@pytest.fixture
def zav():
    return run_zav
