#!/usr/bin/env python3
"""Copies a tree as a careful native copier does, the durable floor of the copy benchmarks:
each file written under a temporary name beside its destination, flushed (fsync), then renamed
into place; folders made as they come. Times and attributes are not carried over.

usage: durable_copy.py [--threads N] SOURCE TARGET
--threads N: N files at once (default 1); 0: a thread per file."""
import os
import sys
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

CHUNK = 4 << 20


def copy_file(source: Path, target: Path) -> None:
    partial = target.with_name(target.name + ".~partial")
    with open(source, "rb") as read, open(partial, "wb") as write:
        while chunk := read.read(CHUNK):
            write.write(chunk)
        write.flush()
        os.fsync(write.fileno())
    os.rename(partial, target)


def main() -> int:
    arguments = sys.argv[1:]
    threads = 1
    if arguments[:1] == ["--threads"]:
        threads, arguments = int(arguments[1]), arguments[2:]
    if len(arguments) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    source, target = Path(arguments[0]), Path(arguments[1])
    pairs = []
    for folder, _, names in os.walk(source):
        here = target / Path(folder).relative_to(source)
        here.mkdir(parents=True, exist_ok=True)
        pairs += [(Path(folder) / name, here / name) for name in sorted(names)]
    if threads == 1:
        for pair in pairs:
            copy_file(*pair)
    else:
        with ThreadPoolExecutor(max_workers=threads or max(1, len(pairs))) as pool:
            list(pool.map(lambda pair: copy_file(*pair), pairs))
    return 0


if __name__ == "__main__":
    sys.exit(main())
