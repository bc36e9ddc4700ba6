"""Nothing is destroyed unless proven: one file reached twice, checksum collisions, a report that cannot be
written, and every action on random trees of copies, hard links and links."""
import os
import pathlib
import random
import re
import subprocess

import pytest

from conftest import BUILD_DIR, WINE_RUN, make_tree, run_exe, run_zav, tree, win, wine_env

# The CRC-64 polynomial with its top bit, as bytes: XORed into a file it leaves the checksum as it was.
COLLIDER = bytes([0x01, 0x42, 0xF0, 0xE1, 0xEB, 0xA9, 0xEA, 0x36, 0x93])
FILES = {"a.txt": b"only copy", "sub/b.txt": b"only copy too", "sub/deeper/c.bin": b"x" * 5000, "a link.txt": "a.txt"}


def contents(root):
    """The content of every file under root that is not a symbolic link, as a set."""
    return {pathlib.Path(d, n).read_bytes() for d, _, names in os.walk(root) for n in names
            if not os.path.islink(os.path.join(d, n))}


@pytest.fixture
def drive_y(tmp_path):
    """Drive Y: mapped to tmp_path/A, as subst or a share of a local folder maps a second letter."""
    link = pathlib.Path(wine_env()["WINEPREFIX"]) / "dosdevices" / "y:"
    link.unlink(missing_ok=True)
    link.symlink_to(tmp_path / "A")
    yield "Y:\\"
    link.unlink()


# Each spelling of the second folder comes with a file link to a file of the tree; the folder link also with a
# subfolder met again inside the tree, as -r follows a link. -d1 and -d2 also differ in which side counts links.
@pytest.mark.parametrize("spelling", ["drive letter", "folder link", "short name"])
@pytest.mark.parametrize("options", [["-d2"], ["-d1"], ["-fh", "-d1"], ["-h"]])
def test_one_folder_reached_twice_is_never_a_pair(tmp_path, drive_y, spelling, options):
    folder = make_tree(tmp_path / ("A long folder name" if spelling == "short name" else "A"), FILES)
    args = [folder, drive_y] if spelling == "drive letter" else [folder, tmp_path / "L", "-r"]
    if spelling == "folder link":
        make_tree(tmp_path, {"L": str(folder), "A/again": "sub"})
    if spelling == "short name":  # the 8.3 name Wine gives the folder, read from `dir /x` of its parent
        listing = run_exe("cmd", "/c", "dir", "/x", win(tmp_path)).text.splitlines()
        short = next(line[:-len(folder.name)].split()[-1] for line in listing if line.endswith(" " + folder.name))
        args = [folder, tmp_path / short]
    before = tree(folder)
    run = run_zav(*args, *options, "-n")
    assert not [line for line in run.lines if re.search(r" (==|=hardlink=|\+=|=\+|\+\+) ", line)]
    refused = spelling == "drive letter" and "-h" in options  # hard links need one drive letter
    assert run.returncode == (4 if refused else 2) and tree(folder) == before


# Whole files, reported and acted on (the unit test of the pair comparison takes test blocks and both read modes),
# and a report that cannot be written: either way no file is touched.
@pytest.mark.parametrize("collide, options, code", [(True, [], 2), (True, ["-d2"], 2), (False, ["-d2"], 1)])
def test_no_action_on_a_checksum_collision_or_a_report_that_cannot_be_written(tmp_path, collide, options, code):
    first = random.Random(100).randbytes(300_000)
    second = bytearray(first)
    for i, byte in enumerate(COLLIDER * collide):  # nine bytes at 100 differ, the checksum does not
        second[100 + i] ^= byte
    files = {"first.bin": first, "second.bin": bytes(second)}
    with open("/dev/full", "wb") as full:
        run = run_zav(make_tree(tmp_path, files), *options, "-n", stdout=subprocess.PIPE if collide else full)
    assert run.returncode == code and (not collide or run.report()[0] == "2 pairs tested")
    assert tree(tmp_path) == files


# A file link is listed as a file, but a delete, link or rename through it would act on the file it leads to,
# under that file's name, and leave the link: such a pair is reported, and nothing is done.
@pytest.mark.parametrize("option", ["-d1", "-d2", "-h1", "-e1"])
def test_no_action_through_a_file_link(tmp_path, option):
    make_tree(tmp_path, {"f5.bin": b"same bytes", "copy.bin": b"same bytes", "a link": "f5.bin"})
    run = run_zav(tmp_path, option, "-n")
    summary = [] if option == "-e1" else ["0 Bytes of redundant data found in 1 file in T"]
    assert (run.returncode, run.report()) == (
        0, ["a link == copy.bin", " error CANT_ACCESS_FILE locking file1", "1 pairs tested", *summary])
    assert tree(tmp_path) == {"a link": "f5.bin", "f5.bin": b"same bytes", "copy.bin": b"same bytes"}


# The action tests show which file each rule picks; here every kind of action meets files reached by several names.
ACTIONS = ["-d1", "-d2", "-d", "-h1", "-h2", "-h", "-dlp", "-e1"]


def random_tree(root, rng):
    """Copies and hard-link groups with random write times, a file link, and folder links that reach the tree again
    from beside, below and above."""
    blobs = [rng.randbytes(rng.choice([1, 7, 4096, 5000])) for _ in range(6)]
    folders = [root / name for name in ("", "a", "a/b", "c", "c/d", "e")]
    for folder in folders:
        folder.mkdir(parents=True, exist_ok=True)
    files = []
    for i in range(24):
        path = rng.choice(folders) / f"f{i}{rng.choice(['.txt', '.bin', ''])}"
        if files and rng.random() < 0.25:
            os.link(rng.choice(files), path)
        else:
            path.write_bytes(rng.choice(blobs))
            os.utime(path, (rng.randrange(10**9, 2 * 10**9),) * 2)
        files.append(path)
    os.symlink(rng.choice(files), rng.choice(folders) / "file link")
    for i in range(5):
        target, place = rng.choice(folders), rng.choice(folders)
        os.symlink(os.path.relpath(target, place), place / f"link{i}")


@pytest.mark.parametrize("seed", range(len(ACTIONS)))
def test_every_action_on_random_trees_keeps_every_content(tmp_path, seed):
    rng = random.Random(seed)
    root = tmp_path / "t"
    random_tree(root, rng)
    before = contents(root)
    second = [] if seed % 2 else [root / rng.choice(["a", "c", "e", "link0"])]
    extra = rng.sample(["-r", "-fh", "-fh1", "-fh2", "-u", "-i"], 2)
    run = run_zav(root, *second, ACTIONS[seed], *extra, "-n")
    assert run.returncode in (0, 2) and contents(root) == before, run
    # A name met again through a link is never opened after its file went; a rename may meet a name in use, and
    # nothing is done through a file link.
    assert not [line for line in run.lines if ("error" in line and "renaming" not in line and
                                               "CANT_ACCESS_FILE locking" not in line) or "cannot" in line], run


RACE_SIZE, POKED_AT = 8 << 20, 4 << 20
# How long the writer waits once it may write: from at once to well past the action.
RACE_TRIES = [0, 1, 2, 3, 5, 8, 14, 24, 40, 70, 150, 300]


# Another program writes to c3.bin while the action runs on copies of it: it appends a byte once c3.bin's
# checksum has held it (before its pair is held), or overwrites one once its pair's hold has ended too. Whenever
# the write lands, its byte is found in a file afterwards: a file that changed is not acted on, and a replaced
# file is never written through its old name.
@pytest.mark.parametrize("option, holds, offset", [("-d2", 1, -1), ("-h", 1, -1), ("-h", 2, POKED_AT)])
def test_a_writer_racing_an_action_finds_its_bytes_afterwards(tmp_path, option, holds, offset):
    content = bytearray(random.Random(7).randbytes(RACE_SIZE))
    content[POKED_AT] = 0x00
    lost = []
    for tries in RACE_TRIES:
        root = make_tree(tmp_path / str(tries), {name: bytes(content) for name in ("a1.bin", "b2.bin", "c3.bin")})
        stop = root.parent / f"stop{tries}"
        writer = subprocess.Popen([WINE_RUN, str(BUILD_DIR / "race_writer.exe"), win(root / "c3.bin"),
                                   *map(str, (holds, tries, offset)), win(stop)],
                                  env=wine_env(), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        assert writer.stdout.readline() == "watching\n"
        run = run_zav(root, option, "-n")
        stop.touch()
        said = writer.communicate(timeout=60)[0].split()
        if said[0] == "wrote":
            at = int(said[1])
            found = [path for path in root.iterdir() if path.read_bytes()[at:at + 1] == b"\xff"]
        else:  # the writer never got to write: what was there is still there
            found = [path for path in root.iterdir() if path.read_bytes() == content]
        if not found:
            lost.append((tries, said, run.lines))
    assert lost == []
