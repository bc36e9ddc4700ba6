"""zav.exe on a real terminal: Wine's console inside a tmux pane, typed at with send-keys and read with
capture-pane. Every wait polls the screen against a deadline; nothing depends on how fast the machine is."""
import pathlib
import re
import shlex
import shutil
import subprocess
import time

import pytest

from conftest import EXE, make_tree, run_zav, win, wine_env

pytestmark = pytest.mark.skipif(shutil.which("tmux") is None,
                                reason="tmux is missing: scripts/bootstrap installs it")

DEADLINE = 120  # seconds; only ever reached when something hangs
PROMPT = "Press any key to close"


class Terminal:
    """One zav.exe run in a detached tmux session of its own. The pane stays open after the program ends, so
    its final screen can be read; the exit code goes to a file."""

    def __init__(self, tmp_path, *args, redirect_to=None, width=100, height=50):
        # The server's socket lives in the test's folder, so nothing is left behind in /tmp.
        self.socket = str(pathlib.Path(tmp_path) / f"tmux-{id(self) % 100000}")
        self.exit_file = pathlib.Path(tmp_path) / f"exit-{id(self)}"
        command = "wine " + " ".join(shlex.quote(str(a)) for a in [EXE, *args])
        if redirect_to:
            command += " > " + shlex.quote(str(redirect_to))
        script = f"{command}; echo $? > {shlex.quote(str(self.exit_file))}; exec sleep {DEADLINE * 2}"
        self._tmux("new-session", "-d", "-x", str(width), "-y", str(height), script)

    def _tmux(self, *args):
        return subprocess.run(["tmux", "-S", self.socket, *args], env=wine_env(), check=True,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=30).stdout.decode()

    def screen(self):
        """The pane with its history, lines joined and stripped on the right, blank lines at the end dropped."""
        lines = [line.rstrip() for line in self._tmux("capture-pane", "-p", "-J", "-S", "-", "-E", "-").split("\n")]
        while lines and not lines[-1]:
            lines.pop()
        return lines

    def wait_for(self, predicate, what):
        end = time.monotonic() + DEADLINE
        while time.monotonic() < end:
            lines = self.screen()
            if predicate(lines):
                return lines
            if self.exit_file.exists() and self.exit_file.read_text().strip():
                lines = self.screen()
                if predicate(lines):
                    return lines
                pytest.fail(f"zav ended before {what}; screen:\n" + "\n".join(lines))
            time.sleep(0.05)
        pytest.fail(f"no {what} within {DEADLINE} s; screen:\n" + "\n".join(self.screen()))

    def exit_code(self):
        end = time.monotonic() + DEADLINE
        while time.monotonic() < end:
            if self.exit_file.exists():
                text = self.exit_file.read_text().strip()
                if text:
                    return int(text)
            time.sleep(0.05)
        pytest.fail(f"zav did not end within {DEADLINE} s; screen:\n" + "\n".join(self.screen()))

    def send(self, *keys):
        self._tmux("send-keys", *keys)

    def cursor_visible(self):
        return self._tmux("display-message", "-p", "#{cursor_flag}").strip() == "1"

    def close(self):
        subprocess.run(["tmux", "-S", self.socket, "kill-server"], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=30)


@pytest.fixture
def terminal(tmp_path):
    opened = []

    def start(*args, **kwargs):
        opened.append(Terminal(tmp_path, *args, **kwargs))
        return opened[-1]

    yield start
    for t in opened:
        t.close()


@pytest.fixture(scope="module")
def stages(tmp_path_factory):
    """What the build can do yet: scan folders, and find a duplicate pair."""
    root = make_tree(tmp_path_factory.mktemp("probe"), {"a.bin": b"same", "b.bin": b"same"})
    result = run_zav(win(root), "-n")
    return {"scan": "Matching 2 files" in result.text, "match": result.returncode == 0}


def needs(stages, *names):
    missing = [n for n in names if not stages[n]]
    if missing:
        pytest.skip("this build cannot " + " and ".join(missing) + " yet (pools come out empty or no pair is found)")


def make_many(root, count, per_folder=100, size=64, duplicates_of=None):
    """count files of one size with distinct contents, per_folder to a folder."""
    root = pathlib.Path(root)
    for i in range(count):
        folder = root / f"d{i // per_folder:04}"
        if i % per_folder == 0:
            folder.mkdir(parents=True, exist_ok=True)
        (folder / f"f{i:06}.bin").write_bytes(f"{i:0{size}}".encode())
    return root


def normalised(lines):
    # Only the run's duration may differ between two runs.
    return [re.sub(r"( of redundant data found in .* in ).*$", r"\1<time>", line) for line in lines]


def test_final_screen_holds_what_redirected_output_holds(tmp_path, terminal):
    one = make_many(tmp_path / "one", 3000, size=200)
    two = make_many(tmp_path / "two", 300, size=200)
    (two / "extra").mkdir()
    for i in (5, 250, 2999):
        (two / "extra" / f"copy{i}.bin").write_bytes(f"{i:0200}".encode())

    redirected = run_zav(win(one), win(two))
    expected = [line.rstrip() for line in redirected.text.split("\r\n")]
    while expected and not expected[-1]:
        expected.pop()
    assert "\r" not in "".join(expected) and "checking file" not in redirected.text

    t = terminal(win(one), win(two))
    code = t.exit_code()
    screen = t.screen()
    assert code == redirected.returncode
    # The scan leaves its final count behind the pool label; everything else is what the file holds.
    labels = {}
    for i, line in enumerate(screen):
        m = re.fullmatch(r"(scanning file pool(?: \d)?: ?)(\d*)", line)
        if m:
            labels[i] = m.group(2)
            screen[i] = m.group(1).rstrip()
    assert normalised(screen) == normalised(expected)
    assert not any("checking file" in line or PROMPT in line for line in screen)
    if labels and all(labels.values()):
        assert sorted(labels.values()) == ["3000", "303"]
    assert t.cursor_visible()


def test_ctrl_c_while_pool_1_is_scanned(tmp_path, terminal, stages):
    needs(stages, "scan")
    one = make_many(tmp_path / "one", 60000, per_folder=20, size=1)
    two = make_tree(tmp_path / "two", {"x.bin": b"x"})

    t = terminal(win(one), win(two))
    t.wait_for(lambda s: any(re.match(r"scanning file pool 1: \d+", line) for line in s), "running count")
    t.send("C-c")
    code = t.exit_code()
    screen = t.screen()
    assert "Ctrl+C pressed -> abort" in screen, "\n".join(screen)
    assert not any("scanning file pool 2" in line for line in screen), "pool 2 was scanned"
    assert code == 1
    assert not any(PROMPT in line for line in screen)
    assert t.cursor_visible()


def test_ctrl_c_while_matching_still_prints_the_summary(tmp_path, terminal, stages):
    needs(stages, "scan", "match")
    root = make_many(tmp_path / "one", 4000, size=4096)

    t = terminal(win(root))
    t.wait_for(lambda s: any(line.startswith("checking file ") for line in s), "matching progress")
    t.send("C-c")
    code = t.exit_code()
    screen = t.screen()
    # The handler prints its line after a short pause, so it may follow the summary.
    assert "Ctrl+C pressed -> abort" in screen, "\n".join(screen)
    assert any(re.fullmatch(r"[\d.,]+ pairs tested", line) for line in screen), "\n".join(screen)
    assert not any("checking file" in line for line in screen)
    assert code in (0, 2)
    assert t.cursor_visible()


def test_no_key_wait_in_a_console_wine_owns(tmp_path, terminal):
    # Under Wine the console window belongs to conhost, never to zav: it is not standalone, so it must end
    # by itself, on the terminal and with its output redirected to a file.
    on_screen = terminal()
    out = tmp_path / "usage.txt"
    to_file = terminal(redirect_to=out)
    assert on_screen.exit_code() == 3
    assert to_file.exit_code() == 3
    assert not any(PROMPT in line for line in on_screen.screen())
    assert on_screen.screen()[1] == "Usage:"
    assert PROMPT.encode() not in out.read_bytes() and b"Usage:\r\n" in out.read_bytes()
