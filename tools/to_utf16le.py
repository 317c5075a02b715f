#!/usr/bin/env python3
"""Writes a UTF-8 text file as UTF-16LE with a byte order mark (the shipped settings file).

to_utf16le.py SOURCE OUTPUT -- written through a temporary file, so a failed conversion never
leaves an output that looks up to date."""
import os
import sys


def main() -> int:
    source, output = sys.argv[1:3]
    with open(source, encoding="utf-8-sig", newline="") as f:
        text = f.read()
    temporary = output + ".tmp"
    with open(temporary, "wb") as f:
        f.write(b"\xff\xfe" + text.encode("utf-16-le"))
    os.replace(temporary, output)
    return 0


if __name__ == "__main__":
    sys.exit(main())
