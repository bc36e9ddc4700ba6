"""Finding duplicates end to end: which pairs are reported and counted, and the summary."""
import re

import pytest

from conftest import make_tree, run_zav, win

DURATION = r"\d+(\.\d)? (ms|Seconds|Minutes|Hours)"


def body(run):
    """The lines after the banner, with the duration of the summary made neutral."""
    return [re.sub(DURATION + "$", "<time>", line) for line in run.lines]


def test_one_pool_three_identical_files_report_the_first_with_each_other(tmp_path):
    make_tree(tmp_path, {"a.txt": b"same!", "b.txt": b"same!", "c.txt": b"same!", "d.txt": b"other"})
    run = run_zav(win(tmp_path))
    assert body(run) == [
        "scanning file pool: ",
        "Matching 4 files...",
        "a.txt == b.txt",
        "a.txt == c.txt",
        "8 pairs tested",  # a pair found different is met again from the other side
        "8192 Bytes of redundant data found in 2 files in <time>",
        "",
    ]
    assert run.returncode == 0


def test_one_pool_two_different_files_of_one_size(tmp_path):
    make_tree(tmp_path, {"x": b"12345", "y": b"54321"})
    run = run_zav(win(tmp_path))
    assert body(run)[2:] == ["2 pairs tested", "0 Bytes of redundant data found in 0 files in <time>", ""]
    assert run.returncode == 2


def test_two_pools_one_identical_pair_speak_of_one_file(tmp_path):
    make_tree(tmp_path, {"one/photo.jpg": b"jpeg" * 100, "two/deep/copy.jpg": b"jpeg" * 100, "two/other": b"x" * 400})
    run = run_zav(win(tmp_path / "one"), win(tmp_path / "two"))
    assert body(run) == [
        "scanning file pool 1: ",
        "scanning file pool 2: ",
        "Matching 1 with 2 files...",
        "photo.jpg == deep\\copy.jpg",
        "2 pairs tested",
        "4096 Bytes of redundant data found in 1 file in <time>",
        "",
    ]
    assert run.returncode == 0


def test_empty_files_never_take_part(tmp_path):
    make_tree(tmp_path, {"e1": b"", "e2": b"", "sub/e3": b""})
    run = run_zav(win(tmp_path), "-m:0")
    assert body(run)[2:] == ["0 pairs tested", "0 Bytes of redundant data found in 0 files in <time>", ""]
    assert run.returncode == 2


def test_same_name_only_compares_equal_names(tmp_path):
    make_tree(tmp_path, {"a/x.bin": b"data", "b/X.BIN": b"data", "b/y.bin": b"data"})
    run = run_zav(win(tmp_path / "a"), win(tmp_path / "b"), "-i")
    assert body(run)[3:5] == ["x.bin == X.BIN", "1 pairs tested"]


@pytest.mark.parametrize("sort_option", [[], ["-u"]])
def test_sorted_and_unsorted_walks_find_the_same_pairs(tmp_path, sort_option):
    files = {f"d{i % 3}/f{i}": bytes([i % 4]) * (10 + i % 4) for i in range(24)}
    make_tree(tmp_path, files)
    run = run_zav(win(tmp_path), *sort_option)
    pairs = sorted(line for line in run.lines if " == " in line)
    # 4 contents in 4 sizes, 6 files each: every group reports its first file with the five others.
    assert len(pairs) == 20
    assert run.returncode == 0


def test_a_file_reached_through_both_specifications_is_not_paired_with_itself(tmp_path):
    make_tree(tmp_path, {"top/a": b"abc", "top/sub/b": b"xyz"})
    run = run_zav(win(tmp_path / "top"), win(tmp_path / "top" / "sub"))
    assert not any(" == " in line for line in run.lines)
    assert run.returncode == 2
