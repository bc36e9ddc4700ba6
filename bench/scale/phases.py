"""One run of zav.exe on the two folders of the scale corpus: the time at which each phase's text reaches the
pipe, the run's own figures, and the peak resident memory of the process (Wine's loader included).

    phases.py EXE CORPUS
"""
import os
import re
import subprocess
import sys
import time

WINE_RUN = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "wine-run")

# What the output shows, in order; each text ends the phase named beside it.
MARKS = [(b"scanning file pool 1: ", "start-up (Wine and set-up)"),
         (b"scanning file pool 2: ", "scan of pool 1"),
         (b"sorting files by size...", "scan of pool 2"),
         (b"\r\nMatching ", "sort and renumbering"),
         (b" pairs tested\r\n", "matching walk"),
         (None, "clean-up and exit")]


def main(exe, corpus):
    win = lambda side: "Z:" + os.path.join(corpus, side).replace("/", "\\")
    proc = subprocess.Popen([WINE_RUN, exe, win("a"), win("b"), "-n"], stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    start = time.monotonic()
    out, seen = b"", []
    while chunk := os.read(proc.stdout.fileno(), 65536):
        out += chunk
        while len(seen) < len(MARKS) - 1 and MARKS[len(seen)][0] in out:
            seen.append(time.monotonic())
    _, status, usage = os.wait4(proc.pid, 0)
    seen.append(time.monotonic())
    text = out.decode("cp437").replace("\r\n", "\n")
    code = os.waitstatus_to_exitcode(status)
    print(f"zav.exe (32-bit) {win('a')} {win('b')} -n: exit {code}, {time.monotonic() - start:.1f} s wall")
    before = start
    for (_, phase), at in zip(MARKS, seen):
        print(f"  {phase:28} {at - before:7.1f} s")
        before = at
    for pattern in (r"Matching .*", r"sorted in \d+ ms", r"\S+ pairs tested", r".* redundant data .*"):
        print("  output: " + "; ".join(re.findall(pattern, text)))
    print(f"  peak resident memory: {usage.ru_maxrss / 1024:.0f} MiB")


if __name__ == "__main__":
    main(*sys.argv[1:3])
