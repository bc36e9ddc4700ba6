"""Runs the real zav.exe under Wine on trees built in temporary folders."""
import os
import pathlib
import re
import resource
import subprocess
import tempfile

REPO = pathlib.Path(__file__).resolve().parents[2]
# The build under test: scripts/test runs the suite once per build, the shipped win32 one first.
BUILD = os.environ.get("ZAV_BUILD", "win64")
BUILD_DIR = REPO / "build" / BUILD
EXE = BUILD_DIR / "zav.exe"
PLATFORM_WORD = {"win32": "Win32", "win64": "Win64"}[BUILD]
WINE_RUN = str(REPO / "scripts" / "wine-run")  # starts each exe with the Wine loader its build needs
OEM = "cp437"  # the OEM code page of Wine's default (US English) setup


def wine_env():
    env = dict(os.environ, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree=;mshtml=")
    env.setdefault("WINEPREFIX", str(REPO / "build" / "wineprefix"))
    return env


def win(path):
    """A Linux path as Wine sees it: Z: is the Linux root."""
    return "Z:" + str(path).replace("/", "\\")


class Run:
    def __init__(self, returncode, out, err=b""):
        self.returncode, self.out, self.err = returncode, out, err
        self.text = out.decode(OEM)
        self.lines = self.text.split("\r\n")[1:]  # split at CR LF, the banner line dropped

    def __repr__(self):  # what a failed assertion shows: enough to tell ZAV's exit from Wine's
        return f"Run(exit {self.returncode}, output ends {self.text[-300:]!r}, Wine said {self.err[-300:]!r})"

    def report(self, after="Matching "):
        """The lines after the first one starting with `after`, the run's duration replaced by T."""
        assert self.lines[-1] == ""  # the output ends with a line end
        start = next(i for i, line in enumerate(self.lines) if line.startswith(after))
        return [re.sub(r" in \d+(\.\d)? (ms|Seconds|Minutes|Hours)$", " in T", s) for s in self.lines[start + 1:-1]]


def run_exe(exe, *args, cwd=None, timeout=120, stdout=subprocess.PIPE, descriptors=None):
    """A program under Wine with output to a pipe (the redirected path) or to the given file, never waiting for a
    key; with descriptors, the program may hold no more Unix file descriptors than that (the Wine server, shared
    with the other runs, is not limited)."""
    def limit():
        resource.setrlimit(resource.RLIMIT_NOFILE, (descriptors, descriptors))
    # Wine's words go to a file, not a pipe: a Wine server started by this run inherits stderr and outlives it,
    # and a pipe would keep the run waiting until the server ends.
    with tempfile.TemporaryFile() as err:
        proc = subprocess.run([WINE_RUN, str(exe), *map(str, args)], cwd=cwd, env=wine_env(),
                              stdin=subprocess.DEVNULL, stdout=stdout, stderr=err, timeout=timeout,
                              preexec_fn=limit if descriptors else None)
        err.seek(0)
        return Run(proc.returncode, proc.stdout or b"\r\n", err.read())


def run_zav(*args, cwd=None, timeout=120, root=None, stdout=subprocess.PIPE, descriptors=None):
    """zav.exe; a path argument goes as Wine sees it, and with a root, "{t}" in the arguments stands for it."""
    assert EXE.exists(), f"{EXE} is missing: build the {BUILD} preset first (scripts/test does)"
    args = [win(a) if isinstance(a, os.PathLike) else str(a).replace("{t}", win(root)) if root else a for a in args]
    return run_exe(EXE, *args, cwd=cwd, timeout=timeout, stdout=stdout, descriptors=descriptors)


def make_tree(root, files):
    """files maps relative paths to bytes, or to a link's target as text; a path ending in '/' is an empty folder."""
    root = pathlib.Path(root)
    for rel, content in files.items():
        (root / rel).parent.mkdir(parents=True, exist_ok=True)
        if rel.endswith("/"):
            (root / rel).mkdir(exist_ok=True)
        elif isinstance(content, str):
            os.symlink(content, root / rel)
        else:
            (root / rel).write_bytes(content)
    return root


def tree(root):
    """What make_tree makes: every file with its content, every link with its target as text, every empty folder."""
    paths = [p for p in root.rglob("*") if p.is_symlink() or p.is_file() or not any(p.iterdir())]
    return {p.relative_to(root).as_posix() + "/" * (p.is_dir() and not p.is_symlink()):
            os.readlink(p) if p.is_symlink() else b"" if p.is_dir() else p.read_bytes() for p in paths}


def pytest_report_header(config):
    return f"zav.exe under test: {EXE}"
