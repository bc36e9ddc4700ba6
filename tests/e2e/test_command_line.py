"""The program's first contact with a user: banner, usage, bad command lines, exit codes."""
import pytest

from conftest import run_zav

USAGE = """Usage:
ZAV FileSpec1 [FileSpec2] [-t:testsize][-m:minfilesize][-x:maxfilesize]
    [-i][-s][-n][-d][-h]
-t:size  test 3 blocks of this size only instead of the whole file
         e.g. -t:1M for testing 1 MB at file start, mid and end
-m:size  minimum file size to test, smaller files are skipped
         e.g. -m:1K for testing files > 1KB
-x:size  maximum file size to test, larger files are skipped
         e.g. -x:1M for testing < 1MB
-i   identical file names only
-s   scan subdirs 1+2
-s1  scan subdirs 1 (default if FileSpec1 is a folder)
-s2  scan subdirs 2 (default if FileSpec2 is a folder)
-r   scan reparse points 1+2
-r1  scan reparse points 1
-r2  scan reparse points 2
-r   scan reparse points
-fh  find hardlinks (by default hardlinks are not handled as identical files)
-ded delete emptied directories
-n   no wait for key on finish if started standalone
if duplicate found:
-d1  delete file1
-d2  delete file2
-d   delete the file which is more fragmented
-h   replace the file which is more fragmented by hardlink
-dsn delete the file with the shorter file name
-dln delete the file with the longer file name
-dsp delete the file with the shorter path name
-dlp delete the file with the longer path name
-do  delete the file with the older write date
-dn  delete the file with the newer write date
-e1  rename file1
-e2  rename file2

""".replace("\n", "\r\n").encode("ascii")


@pytest.mark.parametrize("args, code, rest", [
    ([], 3, USAGE),
    (["-d", "-h", "X"], 4, b"only one action makes sense -> abort\r\n"),
    (["a", "b", "third", "-d"], 4, b"invalid parameter third\r\n"),
    (["-n"], 4, b"no source file or folder -> abort\r\n"),
    (["{t}\\nothing\\*.txt"], 7, b"source volume is invalid\r\n"),
    (["{t}", "{t}\\nothing\\*"], 8, b"source volume is invalid\r\n"),
    (["\\\\no-such-server\\share\\dir", "-n"], 7, b"source volume is invalid\r\n"),
    (["{t}\\x.txt"], 9, b"File not found -> abort\r\n\r\n"),
])
def test_usage_and_command_line_errors_print_their_text_and_exit_code(tmp_path, args, code, rest):
    run = run_zav(*args, root=tmp_path)
    banner, after = run.out.split(b"\r\n", 1)
    assert (run.returncode, after) == (code, rest) and banner.startswith(b"ZAV V")

