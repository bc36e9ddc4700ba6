"""zav.exe in Wine's console inside a tmux pane: typed at with send-keys, read with capture-pane. Every wait
polls the screen against a deadline; nothing depends on how fast the machine is."""
import re
import shlex
import shutil
import subprocess
import time

import pytest

from conftest import EXE, make_tree, run_zav, win, wine_env

pytestmark = pytest.mark.skipif(shutil.which("tmux") is None, reason="tmux is missing: scripts/bootstrap installs it")
DEADLINE = 120  # seconds; only ever reached when something hangs
ABORT = "Ctrl+C pressed -> abort"


class Terminal:
    """One zav.exe run in a tmux server of its own. The pane outlives the program, so its final screen can be
    read; the exit code goes to a file."""

    def __init__(self, folder, *args):
        self.socket, self.exit_file = folder / "tmux", folder / "exit"
        command = " ".join(shlex.quote(str(a)) for a in ["wine", EXE, *args])
        self.tmux("new-session", "-d", "-x", "100", "-y", "50",
                  f"{command}; echo $? > {shlex.quote(str(self.exit_file))}; exec sleep {DEADLINE * 2}")

    def tmux(self, *args):
        return subprocess.run(["tmux", "-S", str(self.socket), *args], env=wine_env(), check=True,
                              capture_output=True, timeout=30).stdout.decode()

    def screen(self):
        """The pane with its history, lines joined and stripped on the right, blank lines at the end dropped."""
        return [line.rstrip() for line in self.tmux("capture-pane", "-p", "-J", "-S", "-", "-E", "-").rstrip().split("\n")]

    def wait_for(self, found, what):
        """Polls until found(screen) holds, failing if zav ends first or at the deadline."""
        end = time.monotonic() + DEADLINE
        while time.monotonic() < end:
            ended = self.exit_file.exists() and self.exit_file.read_text().strip()
            result = found(self.screen())
            if result or ended:
                assert result, f"zav ended before {what}; screen:\n" + "\n".join(self.screen())
                return result
            time.sleep(0.05)
        pytest.fail(f"no {what} within {DEADLINE} s; screen:\n" + "\n".join(self.screen()))

    def exit_code(self):
        return int(self.wait_for(lambda _: self.exit_file.exists() and self.exit_file.read_text().strip(), "the end"))

    def cursor_visible(self):
        return self.tmux("display-message", "-p", "#{cursor_flag}").strip() == "1"


@pytest.fixture
def terminal(tmp_path):
    yield lambda *args: Terminal(tmp_path, *args)
    subprocess.run(["tmux", "-S", str(tmp_path / "tmux"), "kill-server"], capture_output=True, timeout=30)


def make_many(root, count, per_folder=100, size=64):
    """count files of one size with distinct contents, per_folder to a folder."""
    for i in range(count):
        path = root / f"d{i // per_folder:04}" / f"f{i:06}.bin"
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(f"{i:0{size}}".encode())
    return root


def test_progress_leaves_the_final_screen_as_redirected_output(tmp_path, terminal):
    one, two = make_many(tmp_path / "one", 3000, size=200), make_many(tmp_path / "two", 300, size=200)
    for i in (5, 250, 2999):
        (two / f"copy{i}.bin").write_bytes(f"{i:0200}".encode())
    redirected = run_zav(win(one), win(two))
    expected = redirected.text.rstrip("\r\n").split("\r\n")
    assert not any("\r" in line or "checking file" in line for line in expected)

    t = terminal(win(one), win(two))
    assert t.exit_code() == redirected.returncode
    screen = t.screen()
    assert [line for line in screen if line.startswith("scanning")] == ["scanning file pool 1: 3000",
                                                                        "scanning file pool 2: 303"]
    # On screen the final counts stay behind the pool labels; only the run's duration differs.
    unvaried = re.compile(r"(?<=^scanning file pool \d:) \d+$|(?<= of redundant data found in ).*$")
    assert [unvaried.sub("", line) for line in screen] == [unvaried.sub("", line.rstrip()) for line in expected]
    assert t.cursor_visible()


def test_ctrl_c_while_pool_1_is_scanned(tmp_path, terminal):
    one = make_many(tmp_path / "one", 60000, per_folder=20, size=1)
    two = make_tree(tmp_path / "two", {"x.bin": b"x"})
    t = terminal(win(one), win(two))
    t.wait_for(lambda s: any(re.match(r"scanning file pool 1: \d+", line) for line in s), "a running count")
    t.tmux("send-keys", "C-c")
    assert t.exit_code() == 1
    screen = t.screen()
    assert ABORT in screen and not any("pool 2" in line for line in screen), "\n".join(screen)
    assert t.cursor_visible()


def test_ctrl_c_while_matching_still_prints_the_summary(tmp_path, terminal):
    t = terminal(win(make_many(tmp_path / "one", 4000, size=4096)))
    t.wait_for(lambda s: any(line.startswith("checking file ") for line in s), "matching progress")
    t.tmux("send-keys", "C-c")
    assert t.exit_code() in (0, 2)
    screen = t.screen()
    # The handler prints its line after a short pause, so it may follow the summary.
    assert ABORT in screen and any(re.fullmatch(r"[\d.,]+ pairs tested", line) for line in screen), "\n".join(screen)
    assert not any("checking file" in line for line in screen)
    assert t.cursor_visible()
