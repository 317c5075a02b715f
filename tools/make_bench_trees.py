#!/usr/bin/env python3
"""Builds the copy benchmark's source trees (once; kept between runs):
  large/  four files of 256 MiB (1 GiB)
  small/  20,000 files of 1 to 64 KiB in 400 nested folders (20 folders of 20 subfolders)
  fat/    the enclosure drives' tree: fat/small, 2,000 files of 4 to 64 KiB in 40 folders, and
          fat/large, two files of 128 MiB"""
import os
import random
import sys
from pathlib import Path


def main() -> int:
    root = Path(sys.argv[1])
    large = root / "large"
    if not (large / "done").exists():
        large.mkdir(parents=True, exist_ok=True)
        block = os.urandom(1 << 20)
        for n in range(4):
            with open(large / f"file{n}.bin", "wb") as f:
                for k in range(256):
                    f.write(block[k:] + block[:k])
        (large / "done").touch()
    small = root / "small"
    if not (small / "done").exists():
        rng = random.Random(7)
        data = os.urandom(64 << 10)
        for top in range(20):
            for sub in range(20):
                folder = small / f"dir{top:02d}" / f"sub{sub:02d}"
                folder.mkdir(parents=True, exist_ok=True)
                for n in range(50):
                    size = rng.randint(1, 64) << 10
                    (folder / f"f{n:02d}.dat").write_bytes(data[:size])
        (small / "done").touch()
    fat = root / "fat"
    if not (root / "fat-done").exists():
        rng = random.Random(32)
        data = os.urandom(64 << 10)
        for folder in range(40):
            path = fat / "small" / f"dir{folder:02d}"
            path.mkdir(parents=True, exist_ok=True)
            for n in range(50):
                (path / f"f{n:02d}.dat").write_bytes(data[:rng.randint(4, 64) << 10])
        (fat / "large").mkdir(parents=True, exist_ok=True)
        block = os.urandom(1 << 20)
        for n in range(2):
            with open(fat / "large" / f"file{n}.bin", "wb") as f:
                for k in range(128):
                    f.write(block[k:] + block[:k])
        (root / "fat-done").touch()  # beside the tree: every file of fat/ is the tree's
    # The marker files would be copied too; they are tiny and the same for every tool.
    return 0


if __name__ == "__main__":
    sys.exit(main())
