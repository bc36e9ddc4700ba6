"""zav.exe in Wine's console in tmux: send-keys types, capture-pane reads, every wait polls a deadline."""
import re
import shlex
import subprocess
import time

import pytest

from conftest import EXE, WINE_RUN, make_tree, run_zav, win, wine_env

DEADLINE = 120  # seconds; only ever reached when something hangs


class Terminal:
    def __init__(self, folder, *args):
        self.socket, self.exit = folder / "tmux", folder / "exit"
        command = " ".join(shlex.quote(str(a)) for a in [WINE_RUN, EXE, *args])
        self.tmux("new-session", "-d", "-x", "100", "-y", "50",
                  f"{command}; echo $? > {shlex.quote(str(self.exit))}; exec sleep {DEADLINE * 2}")

    def tmux(self, *args):
        return subprocess.run(["tmux", "-S", str(self.socket), *args], env=wine_env(), check=True,
                              capture_output=True, timeout=30).stdout.decode()

    def screen(self):  # with the history, lines stripped on the right, blank lines at the end dropped
        text = self.tmux("capture-pane", "-p", "-J", "-S", "-")
        return [line.rstrip() for line in text.rstrip().splitlines()]

    def wait_for(self, found, what):
        end = time.monotonic() + DEADLINE
        while time.monotonic() < end:
            if result := found(self.screen()):
                return result
            time.sleep(0.05)
        pytest.fail(f"no {what} within {DEADLINE} s; screen:\n" + "\n".join(self.screen()))

    def finish(self):  # the exit code and the final screen, with the cursor shown again
        code = int(self.wait_for(lambda _: self.exit.exists() and self.exit.read_text().strip(), "end"))
        assert self.tmux("display-message", "-p", "#{cursor_flag}").strip() == "1"
        return code, self.screen()


@pytest.fixture
def terminal(tmp_path):
    yield lambda *args: Terminal(tmp_path, *args)
    subprocess.run(["tmux", "-S", str(tmp_path / "tmux"), "kill-server"], capture_output=True, timeout=30)


def make_many(root, count, per_folder=100, size=64):  # files of one size with distinct contents
    return make_tree(root, {f"d{i // per_folder:04}/f{i:06}.bin": f"{i:0{size}}".encode()
                            for i in range(count)})


def test_progress_leaves_the_final_screen_as_redirected_output(tmp_path, terminal):
    one, two = make_many(tmp_path / "one", 3000, size=200), make_many(tmp_path / "two", 300, size=200)
    redirected = run_zav(win(one), win(two))
    expected = [line.rstrip(" ") for line in redirected.text.rstrip("\r\n").split("\r\n")]
    assert not any("\r" in line or "checking file" in line for line in expected)
    code, screen = terminal(win(one), win(two)).finish()
    assert code == redirected.returncode
    assert [line for line in screen if line.startswith("scanning")] == ["scanning file pool 1: 3000",
                                                                        "scanning file pool 2: 300"]
    # On screen the final counts stay behind the pool labels; only the run's duration differs.
    unvaried = re.compile(r"(?<=^scanning file pool \d:) \d+$|(?<= of redundant data found in ).*$")
    assert [unvaried.sub("", line) for line in screen] == [unvaried.sub("", line) for line in expected]


@pytest.mark.parametrize("count, per_folder, size, two, shows", [
    (60000, 20, 1, True, r"scanning file pool 1: \d+"), (4000, 100, 4096, False, r"checking file ")])
def test_ctrl_c_while_scanning_or_matching(tmp_path, terminal, count, per_folder, size, two, shows):
    pools = [make_many(tmp_path / "one", count, per_folder, size)] + [make_tree(tmp_path / "two", {"x": b"x"})] * two
    term = terminal(*map(win, pools))
    term.wait_for(lambda screen: any(re.match(shows, line) for line in screen), shows)
    term.tmux("send-keys", "C-c")
    code, screen = term.finish()
    assert "Ctrl+C pressed -> abort" in screen, screen
    if two:  # while pool 1 is scanned: pool 2 is never started
        assert code == 1 and not any("pool 2" in line for line in screen), screen
    else:  # matching still prints the summary; the handler's line comes after a short pause, maybe after it
        assert code in (0, 2) and any(re.fullmatch(r"[\d.,]+ pairs tested", line) for line in screen), screen
        assert not any("checking file" in line for line in screen)
