"""The scale corpus: two folders a and b of FILES files each (1000 per subfolder), made once and reused.

Every file of a has a size of its own (2n + 2 bytes) and so has every file of b (2n + 3), except the first 1000
of b, which share their size with the first 1000 of a: 1000 pairs to test, a quarter of them duplicates. Only
those 2000 files hold data; the rest are sparse (truncated to their size), so the corpus takes inodes, not disk,
and a run measures the pools, the scan, the sort and the walk rather than reading.

    corpus.py ROOT [FILES]
"""
import os
import random
import sys

SHARED = 1000  # files of b whose size also occurs in a


def make(root, files):
    for side in ("a", "b"):
        for n in range(files):
            folder = os.path.join(root, side, f"d{n // 1000:04}")
            if n % 1000 == 0:
                os.makedirs(folder, exist_ok=True)
            size = 2 * n + 2 if side == "a" or n < SHARED else 2 * n + 3
            with open(os.path.join(folder, f"f{n:07}.dat"), "wb") as out:
                if n < SHARED:
                    data = bytearray(random.Random(n).randbytes(size))
                    if side == "b" and n % 4:
                        data[-1] ^= 1  # same size, different content
                    out.write(data)
                else:
                    out.truncate(size)
    open(os.path.join(root, "complete"), "w").close()


if __name__ == "__main__":
    make(sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 1000000)
