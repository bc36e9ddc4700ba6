"""The program's first contact with a user: banner, usage, bad command lines, exit codes."""
import pytest

from conftest import make_tree, run_zav, win

USAGE = (
    "Usage:\r\n"
    "ZAV FileSpec1 [FileSpec2] [-t:testsize][-m:minfilesize][-x:maxfilesize]\r\n"
    "    [-i][-s][-n][-d][-h]\r\n"
    "-t:size  test 3 blocks of this size only instead of the whole file\r\n"
    "         e.g. -t:1M for testing 1 MB at file start, mid and end\r\n"
    "-m:size  minimum file size to test, smaller files are skipped\r\n"
    "         e.g. -m:1K for testing files > 1KB\r\n"
    "-x:size  maximum file size to test, larger files are skipped\r\n"
    "         e.g. -x:1M for testing < 1MB\r\n"
    "-i   identical file names only\r\n"
    "-s   scan subdirs 1+2\r\n"
    "-s1  scan subdirs 1 (default if FileSpec1 is a folder)\r\n"
    "-s2  scan subdirs 2 (default if FileSpec2 is a folder)\r\n"
    "-r   scan reparse points 1+2\r\n"
    "-r1  scan reparse points 1\r\n"
    "-r2  scan reparse points 2\r\n"
    "-r   scan reparse points\r\n"
    "-fh  find hardlinks (by default hardlinks are not handled as identical files)\r\n"
    "-ded delete emptied directories\r\n"
    "-n   no wait for key on finish if started standalone\r\n"
    "if duplicate found:\r\n"
    "-d1  delete file1\r\n"
    "-d2  delete file2\r\n"
    "-d   delete the file which is more fragmented\r\n"
    "-h   replace the file which is more fragmented by hardlink\r\n"
    "-dsn delete the file with the shorter file name\r\n"
    "-dln delete the file with the longer file name\r\n"
    "-dsp delete the file with the shorter path name\r\n"
    "-dlp delete the file with the longer path name\r\n"
    "-do  delete the file with the older write date\r\n"
    "-dn  delete the file with the newer write date\r\n"
    "-e1  rename file1\r\n"
    "-e2  rename file2\r\n"
    "\r\n"
)


def banner_and_rest(run):
    banner, rest = run.out.split(b"\r\n", 1)
    return banner.decode("ascii"), rest


def test_no_argument_prints_banner_and_usage_and_exits_3():
    run = run_zav()
    banner, rest = banner_and_rest(run)
    assert run.returncode == 3
    assert banner.startswith("ZAV V") and banner.split()[2] == "Win64"
    assert rest == USAGE.encode("ascii")


@pytest.mark.parametrize("args, message", [
    (["-d", "-h", "X"], "only one action makes sense -> abort\r\n"),
    (["/d", "-D", "X"], "only one action makes sense -> abort\r\n"),
    (["a", "b", "third", "-d"], "invalid parameter third\r\n"),
    (["a", "b", "c", "d"], "invalid parameter c\r\n"),
    ([""], "no source file or folder -> abort\r\n"),
    (["-n"], "no source file or folder -> abort\r\n"),
])
def test_command_line_errors_exit_4(args, message):
    run = run_zav(*args)
    assert run.returncode == 4
    assert banner_and_rest(run)[1] == message.encode("ascii")


def test_missing_folder_is_an_invalid_source_volume(tmp_path):
    make_tree(tmp_path, {"there/": b""})
    run = run_zav(win(tmp_path / "nothing" / "*.txt"))
    assert (run.returncode, run.lines) == (7, ["source volume is invalid", ""])
    run = run_zav(win(tmp_path / "there"), win(tmp_path / "nothing" / "*"))
    assert (run.returncode, run.lines) == (8, ["source volume is invalid", ""])


def test_missing_single_file(tmp_path):
    make_tree(tmp_path, {"a/": b""})
    run = run_zav(win(tmp_path / "a" / "x.txt"))
    assert run.returncode == 9
    assert banner_and_rest(run)[1] == b"File not found -> abort\r\n\r\n"


@pytest.mark.parametrize("line", [
    ["x" * 4000],
    ['"' * 300],
    [" \t " * 500],
    [f"-t:{'9' * 70}", "-m:" + "k" * 100, "-x:-" + "1" * 62 + "T"],
    [f"arg{i}" for i in range(40)],
    ["-" + "é" * 2000, "/" * 3000],
])
def test_long_and_odd_command_lines_never_crash(line):
    run = run_zav(*line)
    # A crash would end with an exception code, never one of the program's own exit codes.
    assert run.returncode in (3, 4, 7, 8, 9)
