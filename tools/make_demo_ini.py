#!/usr/bin/env python3
"""Writes the demo's Copperfold.ini: the shipped file plus a job section for the demo user.

make_demo_ini.py SHIPPED_INI OUTPUT_INI SECTION TYPE|SOURCE|TARGET[|DRIVE_SERIAL][|KEY=VALUE]...
A job with DRIVE_SERIAL ("0x1A2B3C4D") is bound to that drive (DstVol), as Copperfold binds a job
whose target is on a removable or USB drive. KEY=VALUE adds a key of the job, numbered as the others
("KeepDays=0x001E" becomes KeepDays0001=0x001E). The output is UTF-16LE with a byte order mark, as the
program writes new files."""
import sys


def main() -> int:
    shipped, output, section, *jobs = sys.argv[1:]
    with open(shipped, encoding="utf-8") as f:
        text = f.read().replace("\r\n", "\n")
    lines = [f"[{section}]", f"TASK=0x{len(jobs):04X}"]
    for n, job in enumerate(jobs, start=1):
        job_type, source, target, *extra = job.split("|")
        lines += [f"SRC{n:04d}={source}", f"DST{n:04d}={target}", f"Type{n:04d}={job_type}"]
        for value in extra:
            key, equals, setting = value.partition("=")
            lines.append(f"{key}{n:04d}={setting}" if equals else f"DstVol{n:04d}={value}")
    text = text.rstrip("\n") + "\n" + "\n".join(lines) + "\n"
    with open(output, "wb") as f:
        f.write(b"\xff\xfe" + text.replace("\n", "\r\n").encode("utf-16-le"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
