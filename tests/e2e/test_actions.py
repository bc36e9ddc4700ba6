"""Duplicate actions on real trees: what each action prints and leaves on disk."""
import os
import re
import stat

import pytest

from conftest import make_tree, run_zav, win



OLD, NEW = 1_300_000_000, 1_400_000_000  # write times, seconds since 1970


def report(run):
    """The lines after "Matching ...", with the run's duration replaced by T."""
    lines = run.lines
    start = next(i for i, line in enumerate(lines) if line.startswith("Matching "))
    body = [re.sub(r" in \d+(\.\d)? (ms|Seconds|Minutes|Hours)$", " in T", line) for line in lines[start + 1:]]
    assert body[-1] == ""  # the output ends with a line end
    return body[:-1]


def two_pools(tmp_path, file1, file2, content=b"same content", extra=None):
    """Pool 1 under p1 and pool 2 under p2, file1 older than file2; each pool keeps one other file."""
    files = {f"p1/{file1}": content, f"p2/{file2}": content, "p1/keep1.bin": b"1", "p2/keep2.bin": b"22"}
    files.update(extra or {})
    make_tree(tmp_path, files)
    os.utime(tmp_path / "p1" / file1, (OLD, OLD))
    os.utime(tmp_path / "p2" / file2, (NEW, NEW))
    return tmp_path / "p1", tmp_path / "p2"


# file1 a\x.txt is older and has the shorter name and folder; file2 bbb\yyyy.txt the longer ones.
@pytest.mark.parametrize("option, deleted", [
    ("-d1", 1), ("-d2", 2), ("-d", 2), ("-dsn", 1), ("-dln", 2), ("-dsp", 1), ("-dlp", 2), ("-do", 1), ("-dn", 2),
])
def test_each_delete_rule_deletes_its_file(tmp_path, option, deleted):
    p1, p2 = two_pools(tmp_path, "a/x.txt", "bbb/yyyy.txt")
    run = run_zav(win(p1), win(p2), option)
    assert run.returncode == 0
    assert report(run) == [
        "a\\x.txt == bbb\\yyyy.txt",
        f" file{deleted} deleted",
        "1 pairs tested",
        "0 Bytes of redundant data found in 1 file in T",
        "1 file deleted saving 12 Bytes",
    ]
    assert (p1 / "a/x.txt").exists() == (deleted == 2)
    assert (p2 / "bbb/yyyy.txt").exists() == (deleted == 1)
    # Without -ded the emptied folder stays.
    assert (p1 / "a").is_dir() and (p2 / "bbb").is_dir()


@pytest.mark.parametrize("option", ["-d", "-dsn", "-dln", "-dsp", "-dlp", "-do", "-dn"])
def test_a_tie_deletes_file2(tmp_path, option):
    p1, p2 = two_pools(tmp_path, "a/x.txt", "b/y.txt")
    os.utime(p2 / "b/y.txt", (OLD, OLD))
    run = run_zav(win(p1), win(p2), option)
    assert report(run)[:2] == ["a\\x.txt == b\\y.txt", " file2 deleted"]
    assert (p1 / "a/x.txt").exists() and not (p2 / "b/y.txt").exists()


def test_a_read_only_duplicate_is_deleted(tmp_path):
    p1, p2 = two_pools(tmp_path, "x.txt", "y.txt")
    os.chmod(p2 / "y.txt", stat.S_IRUSR | stat.S_IRGRP | stat.S_IROTH)
    run = run_zav(win(p1), win(p2), "-d2")
    assert report(run)[:2] == ["x.txt == y.txt", " file2 deleted"]
    assert not (p2 / "y.txt").exists()


@pytest.mark.parametrize("option, replaced", [("-h", 2), ("-h1", 1), ("-h2", 2)])
def test_hard_link_actions_leave_two_names_of_one_file(tmp_path, option, replaced):
    p1, p2 = two_pools(tmp_path, "a/x.txt", "b/y.txt")
    target, kept = (p1 / "a/x.txt", p2 / "b/y.txt") if replaced == 1 else (p2 / "b/y.txt", p1 / "a/x.txt")
    os.chmod(target, stat.S_IRUSR)  # a read-only duplicate is replaced too
    run = run_zav(win(p1), win(p2), option)
    assert run.returncode == 0
    assert report(run) == [
        "a\\x.txt == b\\y.txt",
        f" file{replaced} replaced by hardlink",
        "1 pairs tested",
        "4096 Bytes of redundant data found in 1 file in T",
        "1 file replaced by hardlink saving 4096 Bytes",
    ]
    assert os.stat(target).st_ino == os.stat(kept).st_ino
    assert os.stat(kept).st_nlink == 2
    assert target.read_bytes() == b"same content"
    # The two names share the kept file's attributes: it was writable.
    assert os.stat(target).st_mode & stat.S_IWUSR


def test_single_link_relinking_leaves_a_file_with_other_names_alone(tmp_path):
    p1, p2 = two_pools(tmp_path, "a/x.txt", "b/y.txt")
    os.link(p1 / "a/x.txt", tmp_path / "outside.txt")
    run = run_zav(win(p1), win(p2), "-h1")
    assert report(run)[:2] == ["a\\x.txt == b\\y.txt", "1 pairs tested"]
    assert os.stat(p1 / "a/x.txt").st_ino != os.stat(p2 / "b/y.txt").st_ino


def test_hard_links_count_only_when_asked_for(tmp_path):
    make_tree(tmp_path, {"p1/x.txt": b"same content", "p1/keep1.bin": b"1", "p2/keep2.bin": b"22"})
    os.link(tmp_path / "p1/x.txt", tmp_path / "p2/y.txt")
    plain = run_zav(win(tmp_path / "p1"), win(tmp_path / "p2"))
    assert plain.returncode == 2
    assert report(plain)[0] == "0 pairs tested"
    found = run_zav(win(tmp_path / "p1"), win(tmp_path / "p2"), "-fh2")
    assert found.returncode == 0
    assert report(found)[:2] == ["x.txt =hardlink= y.txt", "1 pairs tested"]
    assert os.stat(tmp_path / "p1/x.txt").st_nlink == 2


def test_emptied_folders_are_removed_up_to_the_first_that_holds_an_entry(tmp_path):
    p1, p2 = two_pools(tmp_path, "x.txt", "deep/er/y.txt", extra={"p2/deep2/keep.txt": b"333"})
    run = run_zav(win(p1), win(p2), "-d2", "-ded")
    assert report(run)[:4] == [
        "x.txt == deep\\er\\y.txt",
        " file2 deleted",
        f"dir removed: {win(p2)}\\deep\\er",
        f"dir removed: {win(p2)}\\deep",
    ]
    assert not (p2 / "deep").exists()
    assert (p2 / "deep2/keep.txt").exists()


def test_a_folder_that_keeps_an_empty_subfolder_stays(tmp_path):
    p1, p2 = two_pools(tmp_path, "x.txt", "d/y.txt", extra={"p2/d/sub/": b""})
    run = run_zav(win(p1), win(p2), "-d2", "-ded")
    assert report(run)[:3] == ["x.txt == d\\y.txt", " file2 deleted", "1 pairs tested"]
    assert (p2 / "d/sub").is_dir()


@pytest.mark.parametrize("option, renamed, new_name", [("-e1", 1, "p1/a/y.txt"), ("-e2", 2, "p2/b/x.txt")])
def test_rename_gives_a_file_the_other_name(tmp_path, option, renamed, new_name):
    p1, p2 = two_pools(tmp_path, "a/x.txt", "b/y.txt")
    run = run_zav(win(p1), win(p2), option)
    assert run.returncode == 0
    assert report(run) == ["a\\x.txt == b\\y.txt", f" file{renamed} renamed", "1 pairs tested", "1 file renamed"]
    assert (tmp_path / new_name).read_bytes() == b"same content"
    assert (p1 / "a/x.txt").exists() == (renamed == 2)
    assert (p2 / "b/y.txt").exists() == (renamed == 1)


def test_rename_leaves_equal_names_alone(tmp_path):
    p1, p2 = two_pools(tmp_path, "a/x.txt", "b/x.txt")
    run = run_zav(win(p1), win(p2), "-e1")
    assert report(run) == ["a\\x.txt == b\\x.txt", "1 pairs tested"]
    assert (p1 / "a/x.txt").exists() and (p2 / "b/x.txt").exists()


def test_a_rename_onto_an_existing_name_is_refused(tmp_path):
    p1, p2 = two_pools(tmp_path, "a/x.txt", "b/y.txt", extra={"p1/a/y.txt": b"other, longer content"})
    run = run_zav(win(p1), win(p2), "-e1")
    assert report(run) == ["a\\x.txt == b\\y.txt", " error ERROR_ALREADY_EXISTS renaming file1", "1 pairs tested"]
    assert (p1 / "a/y.txt").read_bytes() == b"other, longer content"
    assert (p1 / "a/x.txt").read_bytes() == b"same content"


def test_different_content_is_never_acted_on(tmp_path):
    p1, p2 = two_pools(tmp_path, "x.txt", "y.txt")
    (p2 / "y.txt").write_bytes(b"SAME CONTENT")
    run = run_zav(win(p1), win(p2), "-d2")
    assert run.returncode == 2
    assert report(run)[:2] == ["1 pairs tested", "0 Bytes of redundant data found in 0 files in T"]
    assert (p2 / "y.txt").exists()
