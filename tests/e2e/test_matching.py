"""Finding duplicates end to end: which pairs are reported and counted, and the summary."""
import pytest

from conftest import make_tree, run_zav

SAME, JPEG = b"same!", b"jpeg" * 100


@pytest.mark.parametrize("files, args, code, lines", [
    ({"a.txt": SAME, "b.txt": SAME, "c.txt": SAME, "d.txt": b"other"}, ["."], 0,  # the first with each other;
     ["Matching 4 files...", "a.txt == b.txt", "a.txt == c.txt", "8 pairs tested",  # a pair found different is
      "8192 Bytes of redundant data found in 2 files in T"]),                      # met again from the other side
    ({"x": b"12345", "y": b"54321"}, ["."], 2,
     ["Matching 2 files...", "2 pairs tested", "0 Bytes of redundant data found in 0 files in T"]),
    ({"one/photo.jpg": JPEG, "two/deep/copy.jpg": JPEG, "two/other": b"x" * 400}, ["one", "two"], 0,
     ["scanning file pool 2: ", "Matching 1 with 2 files...", "photo.jpg == deep\\copy.jpg", "2 pairs tested",
      "4096 Bytes of redundant data found in 1 file in T"]),
    ({"e1": b"", "e2": b"", "sub/e3": b""}, [".", "-m:0"], 2,  # empty files never take part
     ["Matching 3 files...", "0 pairs tested", "0 Bytes of redundant data found in 0 files in T"]),
    ({"a/x.bin": b"data", "b/X.BIN": b"data", "b/y.bin": b"data"}, ["a", "b", "-i"], 0,
     ["scanning file pool 2: ", "Matching 1 with 2 files...", "x.bin == X.BIN", "1 pairs tested",
      "4096 Bytes of redundant data found in 1 file in T"]),
    ({"top/a": b"abc", "top/sub/b": b"xyz"}, ["top", "top/sub"], 2,  # one file reached twice is no pair
     ["scanning file pool 2: ", "Matching 2 with 1 file...", "1 pairs tested",
      "0 Bytes of redundant data found in 0 files in T"]),
])
def test_pairs_counts_and_summary(tmp_path, files, args, code, lines):
    make_tree(tmp_path, files)
    run = run_zav(*[arg if arg[0] == "-" else tmp_path / arg for arg in args])
    assert (run.returncode, run.report(after="scanning file pool")) == (code, lines)


def test_sorted_and_unsorted_walks_find_the_same_pairs(tmp_path):
    make_tree(tmp_path, {f"d{i % 3}/f{i}": bytes([i % 4]) * (10 + i % 4) for i in range(24)})
    pairs = [sorted(line for line in run_zav(tmp_path, *sort).lines if " == " in line) for sort in ([], ["-u"])]
    # 4 contents in 4 sizes, 6 files each: every group reports its first file with the five others.
    assert len(pairs[0]) == 20 and pairs[0] == pairs[1]


def test_sizes_above_4_gib_keep_every_bit(tmp_path):
    """Sizes and offsets are 64-bit on both builds: 4 GiB + 7 bytes is no 7 bytes, and the middle test block of
    such a file lies past 2 GiB. The big files are sparse: they take no disk space."""
    make_tree(tmp_path, {"a/seven": b"1234567", "b/seven": b"7654321"})
    for name in ("a/big", "b/big", "b/mid"):
        with open(tmp_path / name, "wb") as out:
            out.truncate((4 << 30) + 7)
    with open(tmp_path / "b/mid", "r+b") as out:  # differs in the middle block only
        out.seek(2 << 30)
        out.write(b"x")
    runs = {options: run_zav(tmp_path / "a", tmp_path / "b", *options.split())
            for options in ("-t:64K", "-t:256M -m:4G -x:5G")}
    pair = ["big == big"]  # never big == mid, nor seven with a big one
    sparse = "0 Bytes of redundant data found in 1 file in T"  # a sparse file allocates nothing
    assert {options: (run.returncode, run.report(after="scanning file pool 2")) for options, run in runs.items()} == {
        "-t:64K": (0, ["Matching 2 with 3 files...", *pair, "3 pairs tested", sparse]),
        "-t:256M -m:4G -x:5G": (0, ["Matching 1 with 2 files...", *pair, "2 pairs tested", sparse])}
    assert runs["-t:256M -m:4G -x:5G"].lines[:3] == [
        "testing max 3x 256 MB per file", "testing files > 4 GB", "testing files < 5 GB"]


def test_a_program_short_of_file_descriptors_finds_the_same_pairs(tmp_path):
    """Under Wine every open the walk keeps for a file's next read holds a Unix file descriptor. A program allowed
    only 150 of them, with 909 files of one size to read, gives back kept opens where it finds none left, and
    reads, reports and counts as one with plenty."""
    make_tree(tmp_path, {f"a/f{i:04}.bin": i.to_bytes(3, "big") for i in range(900)})
    make_tree(tmp_path, {f"b/g{i:04}.bin": i.to_bytes(3, "big") for i in range(0, 900, 100)})
    runs = [run_zav(tmp_path, "-n", descriptors=most) for most in (None, 150)]
    pairs = [f"a\\f{i:04}.bin == b\\g{i:04}.bin" for i in range(0, 900, 100)]
    expected = ["Matching 909 files...", *pairs, "825363 pairs tested",
                "36864 Bytes of redundant data found in 9 files in T"]
    assert [(run.returncode, run.report(after="scanning file pool")) for run in runs] == [(0, expected)] * 2


def test_a_large_run_of_one_size(tmp_path):
    """700 files of 64 bytes, mostly different, with groups of copies, the first 300 files against the others:
    every copy in the second pool goes at its first pair and is in no later one, so 699 goes with 10, and 400,
    401 and 555 with 100."""
    groups = {10: 1, 250: 1, 699: 1, 100: 2, 400: 2, 401: 2, 555: 2}  # file number: content group
    names = [f"f{i:04}.bin" for i in range(700)]
    make_tree(tmp_path, {("a/" if i < 300 else "b/") + name: groups.get(i, 1000 + i).to_bytes(4, "little") * 16
                         for i, name in enumerate(names)})
    run = run_zav(tmp_path / "a", tmp_path / "b", "-d2")
    assert run.returncode == 0 and run.report() == [
        "f0010.bin == f0699.bin", " file2 deleted", "f0100.bin == f0400.bin", " file2 deleted",
        "f0100.bin == f0401.bin", " file2 deleted", "f0100.bin == f0555.bin", " file2 deleted",
        # files 0 to 10 meet all 400, 11 to 100 the 399 left, 101 to 299 the 396 left
        f"{11 * 400 + 90 * 399 + 199 * 396} pairs tested", "0 Bytes of redundant data found in 4 files in T",
        "4 files deleted saving 256 Bytes"]
    assert sorted(p.name for p in (tmp_path / "b").iterdir()) == [
        names[j] for j in range(300, 700) if j not in (699, 400, 401, 555)]
