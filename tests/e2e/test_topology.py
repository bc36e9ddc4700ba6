"""Drive verdict and volume check under Wine, where C: (drive_c) and Z: (the Linux root) share one disk."""
import os
import shutil

from conftest import make_tree, run_zav, win, wine_env

LONG = ["d" * 100, "e" * 100, "f" * 100]  # past 260 characters: the volume root decides


def test_long_folders_on_c_and_z_share_a_drive_and_one_drive_letter_prints_no_verdict(tmp_path):
    name = f"zav-e2e-topology-{os.getpid()}"
    drive_c = os.path.join(wine_env()["WINEPREFIX"], "drive_c", name)
    long_z = win(tmp_path.joinpath(*LONG))
    try:
        make_tree(os.path.join(drive_c, *LONG), {"a.txt": b"one"})
        make_tree(tmp_path, {"x/b.txt": b"two", "/".join(LONG + ["c.txt"]): b"three"})
        on_c_and_z = run_zav("\\".join(["C:", name, *LONG]), long_z, "-n")
        on_z = run_zav(win(tmp_path / "x"), long_z, "-n")
    finally:
        shutil.rmtree(drive_c, ignore_errors=True)
    assert on_c_and_z.lines[0] == "Files are located on the same physical drive -> sequential operation"
    assert on_z.lines[0] == "scanning file pool 1: "
