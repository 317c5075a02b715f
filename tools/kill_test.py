#!/usr/bin/env python3
"""Kills Copperfold.exe /run at random moments and checks that a kill never leaves a wrong file.

usage: kill_test.py [--versions] [--targets FOLDER DRIVE] WINE_EXEC STATE_DIR PROGRAM_DIR WORK_DIR KILLS [SEED]

WINE_EXEC STATE_DIR PROGRAM ARGS... runs a Windows program in a running Wine session
(tools/wine-exec.sh). PROGRAM_DIR holds Copperfold.exe and a Copperfold.ini whose job section
this script writes. WORK_DIR is emptied and receives the trees. --targets puts the jobs'
targets TA and TB into FOLDER instead, which the Wine session sees as the root of DRIVE (X:, a
FUSE FAT32 or exFAT volume, say); the sources stay in WORK_DIR.

The batch has two jobs over a tree of large and small files:
  Backup  A -> TA    TA\\A already holds an older version of some of A's files;
  Sync    B <-> TB   TB holds older versions of some of B's files and files of its own.
Each round sets the target side back to its old state, starts /run, kills the process (SIGKILL
to its whole process group) after a random delay within the time a whole run takes, and
checks: every file at a target equals either its old or its new content (nothing truncated or
mixed), the sources are untouched, no copied file is hidden. Every other round, and after the
last, the batch then runs again to its end and the script checks that no temporary file is
left anywhere and that each target equals its source. Prints the figures; exits 1 on any loss
or leftover.

With --versions both jobs keep the files they replace for 30 days (and the Backup copies only
new and changed files): a replaced file goes into the version store at the top of its job's
folder, and the checks become that every old version is in its place or in the store (a target
file that holds its new content has its old one in the store), that the stores are no files of
the jobs' (the two sides of the Sync are equal besides them), and that nothing else changes.
"""

from __future__ import annotations

import hashlib
import os
import random
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

LARGE_SIZES = [32 << 20, 16 << 20, 8 << 20]
SMALL_FOLDERS = 10
SMALL_PER_FOLDER = 20
PARTIAL_SUFFIX = ".~cfpart"
HIDDEN = 0x2
OLD_TIME = 1_500_000_000  # the old versions' last-write time, older than every new one
STORE = ".copperfold-versions"  # the version store at the top of a job's folder


def digest(path: Path) -> str:
    h = hashlib.blake2b(digest_size=16)
    with open(path, "rb") as f:
        while chunk := f.read(1 << 20):
            h.update(chunk)
    return h.hexdigest()


def snapshot(root: Path) -> dict[str, str]:
    """Relative path -> content digest of every file below root, its version store left out."""
    return {str(p.relative_to(root)): digest(p) for p in sorted(root.rglob("*"))
            if p.is_file() and p.relative_to(root).parts[0] != STORE}


def kept_versions(root: Path, rel: str) -> set[str]:
    """The digests of the versions of root/rel kept in root's version store (any run's folder)."""
    store = root / STORE
    if not store.is_dir():
        return set()
    return {digest(run / rel) for run in store.iterdir() if (run / rel).is_file()}


def dos_attributes(path: Path) -> int:
    """The attributes Wine keeps in an extended attribute (hidden, system); 0 without one."""
    try:
        return int(os.getxattr(path, "user.DOSATTRIB").split(b"\0")[0].decode(), 16)
    except (OSError, ValueError):
        return 0


def write_random(path: Path, size: int, rng: random.Random) -> None:
    path.parent.mkdir(parents=True, exist_ok=True)
    with open(path, "wb") as f:
        left = size
        while left:
            n = min(left, 1 << 20)
            f.write(rng.randbytes(n))
            left -= n


def make_trees(work: Path, rng: random.Random) -> dict[str, Path]:
    """Sources and the pristine old state of the targets."""
    d = {name: work / name for name in ("A", "B", "oldTA", "oldTB")}
    for path in d.values():
        path.mkdir(parents=True)
    for source in ("A", "B"):
        root = d[source]
        for i, size in enumerate(LARGE_SIZES):
            write_random(root / f"large{i}.bin", size if source == "A" else size // 4, rng)
        for folder in range(SMALL_FOLDERS):
            for i in range(SMALL_PER_FOLDER):
                write_random(root / f"dir{folder:02d}" / f"small{i:03d}.dat", rng.randint(1, 64 << 10), rng)
    # Older versions of about half of each source's files at the target, a few target-only files.
    for source, old in (("A", d["oldTA"] / "A"), ("B", d["oldTB"])):
        for path in sorted(d[source].rglob("*")):
            if path.is_file() and rng.random() < 0.5:
                rel = path.relative_to(d[source])
                size = path.stat().st_size
                write_random(old / rel, max(1, size // 2 if rng.random() < 0.5 else size + 1000), rng)
                os.utime(old / rel, (OLD_TIME, OLD_TIME))
    for i in range(20):
        write_random(d["oldTB"] / f"dir{i % SMALL_FOLDERS:02d}" / f"target_only{i}.dat", rng.randint(1, 32 << 10), rng)
        write_random(d["oldTB"] / "only_in_target" / f"t{i}.dat", rng.randint(1, 32 << 10), rng)
    return d


def windows_path(path: Path) -> str:
    return "Z:" + str(path).replace("/", "\\")


def copy_tree(source: Path, target: Path) -> None:
    """The files of source at target with their last-write times (FAT drivers keep no modes)."""
    for path in sorted(source.rglob("*")):
        there = target / path.relative_to(source)
        if path.is_dir():
            there.mkdir(parents=True, exist_ok=True)
        else:
            there.parent.mkdir(parents=True, exist_ok=True)
            shutil.copyfile(path, there)
            stamp = path.stat().st_mtime
            os.utime(there, (stamp, stamp))


class Batch:
    def __init__(self, wine_exec: str, state: str, program: Path, work: Path, rng: random.Random,
                 versions: bool = False, targets: Path | None = None, targets_drive: str = ""):
        self.versions = versions
        self.wine = [wine_exec, state, str(program / "Copperfold.exe"), "/run"]
        self.work = work
        self.rng = rng
        self.trees = make_trees(work, rng)
        self.targets = targets or work
        self.ta, self.tb = self.targets / "TA", self.targets / "TB"
        self.targets_drive = targets_drive  # empty: the targets are on Z: with the rest
        self.source_a = snapshot(self.trees["A"])
        self.source_b = snapshot(self.trees["B"])
        self.old_ta = snapshot(self.trees["oldTA"])
        self.old_tb = snapshot(self.trees["oldTB"])

    def reset_targets(self) -> None:
        for target, old in ((self.ta, "oldTA"), (self.tb, "oldTB")):
            shutil.rmtree(target, ignore_errors=True)
            copy_tree(self.trees[old], target)
        # The Sync job writes target-only files into B: take them away again.
        source_b = self.trees["B"]
        for path in sorted(source_b.rglob("*"), reverse=True):
            rel = str(path.relative_to(source_b))
            if path.is_file() and rel not in self.source_b:
                path.unlink()
            elif path.is_dir() and not any(path.iterdir()):
                path.rmdir()

    def start(self) -> subprocess.Popen:
        return subprocess.Popen(self.wine, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.PIPE, start_new_session=True)

    def run_to_end(self) -> tuple[int, str]:
        process = self.start()
        _, errors = process.communicate(timeout=600)
        return process.returncode, errors.decode(errors="replace")

    def kill_after(self, delay: float) -> None:
        process = self.start()
        try:
            process.wait(timeout=delay)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)  # the process group this script started
        process.wait()
        process.stderr.close()

    # --- checks ---------------------------------------------------------------------------

    def check_after_kill(self) -> tuple[int, list[str], bool]:
        """(files checked, problems, whether the kill left the targets part old, part new)."""
        problems: list[str] = []
        checked = 0
        moved = unmoved = 0
        # Backup target: each file old, new or (if it had no old version) absent.
        expected = [(self.ta, "A", self.old_ta, self.source_a), (self.tb, "", self.old_tb, self.source_b)]
        for root, prefix, old, new in expected:
            for rel, old_or_missing, new_digest in self.candidates(prefix, old, new):
                path = root / rel
                # With versions, a replaced file may be (and once replaced, must be) in the store.
                job_root, rel_in_job = (root / prefix, str(Path(rel).relative_to(prefix))) if prefix else (root, rel)
                kept = self.versions and old_or_missing in kept_versions(job_root, rel_in_job)
                if not path.exists():
                    if old_or_missing is not None and not kept:
                        problems.append(f"lost: {path}")
                    continue
                checked += 1
                got = digest(path)
                if got == new_digest and got != old_or_missing:
                    moved += 1
                    if self.versions and old_or_missing is not None and not kept:
                        problems.append(f"replaced but not kept: {path}")
                elif got == old_or_missing:
                    unmoved += 1
                else:
                    problems.append(f"neither old nor new: {path}")
                if dos_attributes(path) & HIDDEN:
                    problems.append(f"hidden: {path}")
        # Sync source: its own files untouched; target-only files absent or complete.
        now_b = self.trees["B"]
        for rel, want in self.source_b.items():
            checked += 1
            if digest(now_b / rel) != want:
                problems.append(f"source changed: {now_b / rel}")
        for rel, want in self.old_tb.items():
            if rel in self.source_b or not (now_b / rel).exists():
                continue
            checked += 1
            if digest(now_b / rel) != want:
                problems.append(f"neither absent nor new: {now_b / rel}")
            if dos_attributes(now_b / rel) & HIDDEN:
                problems.append(f"hidden: {now_b / rel}")
        if snapshot(self.trees["A"]) != self.source_a:
            problems.append("the Backup's source changed")
        return checked, problems, moved > 0 and unmoved > 0

    @staticmethod
    def candidates(prefix: str, old: dict[str, str], new: dict[str, str]):
        """(path below the target, old digest or None, new digest) of every file a run copies."""
        for rel, new_digest in new.items():
            target_rel = str(Path(prefix) / rel) if prefix else rel
            yield target_rel, old.get(target_rel), new_digest
        if not prefix:  # Sync: target-only files stay as they are
            for rel, old_digest in old.items():
                if rel not in new:
                    yield rel, old_digest, old_digest

    def target_path(self, target: Path) -> str:
        if not self.targets_drive:
            return windows_path(target)
        return self.targets_drive + "\\" + str(target.relative_to(self.targets)).replace("/", "\\")

    def leftovers(self) -> list[Path]:
        folders = {self.work, self.targets}
        return [p for folder in folders for p in folder.rglob(f"*{PARTIAL_SUFFIX}")]

    def check_final(self) -> list[str]:
        problems = []
        if snapshot(self.ta / "A") != self.source_a:
            problems.append("the Backup's target differs from its source")
        now_b, now_tb = snapshot(self.trees["B"]), snapshot(self.tb)
        if now_b != now_tb:
            problems.append("the Sync's two sides differ")
        union = dict(self.old_tb)
        union.update(self.source_b)
        if now_tb != union:
            problems.append("the Sync's target is not the union of both sides")
        if self.versions:
            for root, prefix, old in ((self.ta / "A", "A", self.old_ta), (self.tb, "", self.old_tb)):
                for rel, old_digest in old.items():
                    rel_in_job = str(Path(rel).relative_to(prefix)) if prefix else rel
                    replaced = prefix or rel in self.source_b
                    if replaced and old_digest not in kept_versions(root, rel_in_job):
                        problems.append(f"an old version is not kept: {root / rel_in_job}")
            if (self.trees["B"] / STORE).exists():
                problems.append("the Sync's source kept versions, though none of its files was replaced")
        return problems


def main() -> int:
    arguments = sys.argv[1:]
    versions = bool(arguments) and arguments[0] == "--versions"
    if versions:
        arguments = arguments[1:]
    targets, targets_drive = None, ""
    if arguments[:1] == ["--targets"] and len(arguments) >= 3:
        targets, targets_drive = Path(arguments[1]).resolve(), arguments[2]
        arguments = arguments[3:]
    if len(arguments) not in (5, 6):
        print(__doc__, file=sys.stderr)
        return 2
    wine_exec, state, program, work, kills = arguments[:5]
    seed = int(arguments[5]) if len(arguments) == 6 else int(time.time())
    kills = int(kills)
    rng = random.Random(seed)
    program, work = Path(program).resolve(), Path(work).resolve()
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)

    if targets:
        for name in ("TA", "TB"):
            shutil.rmtree(targets / name, ignore_errors=True)
    batch = Batch(wine_exec, state, program, work, rng, versions, targets, targets_drive)
    section = subprocess.run([wine_exec, state, "cmd", "/c", "echo %COMPUTERNAME%-%USERNAME%"],
                             capture_output=True, text=True, check=True).stdout.strip()
    ini = program / "Copperfold.ini"
    shipped = Path(__file__).resolve().parent.parent / "data" / "Copperfold.ini"
    options = ("|SkipSame=0x0001|KeepDays=0x001E", "|KeepDays=0x001E") if versions else ("", "")
    subprocess.run([sys.executable, str(Path(__file__).with_name("make_demo_ini.py")), str(shipped), str(ini),
                    section, f"Backup|{windows_path(batch.trees['A'])}|{batch.target_path(batch.ta)}{options[0]}",
                    f"Sync|{windows_path(batch.trees['B'])}|{batch.target_path(batch.tb)}{options[1]}"], check=True)

    # How long a whole run takes: the kills fall within that time.
    batch.reset_targets()
    started = time.monotonic()
    code, errors = batch.run_to_end()
    full = time.monotonic() - started
    if code != 0 or batch.check_final():
        print(f"the uninterrupted run failed (exit {code}): {errors.strip()} {batch.check_final()[:10]}")
        return 1
    print(f"kill test{' with versions' if versions else ''}{' on ' + targets_drive if targets else ''}: seed {seed}, "
          f"{len(batch.source_a) + len(batch.source_b)} source files, "
          f"a whole run takes {full:.1f} s", flush=True)

    checked_total = losses = leftovers = mid_copy = completed_runs = 0
    problems_seen: list[str] = []
    batch.reset_targets()
    for k in range(1, kills + 1):
        batch.kill_after(rng.uniform(0.0, full))
        checked, problems, partial = batch.check_after_kill()
        checked_total += checked
        losses += len(problems)
        mid_copy += partial
        problems_seen += [f"kill {k}: {p}" for p in problems]
        if k % 2 == 0 or k == kills:
            code, errors = batch.run_to_end()
            completed_runs += 1
            left = batch.leftovers()
            leftovers += len(left)
            problems_seen += [f"kill {k}: left behind: {p}" for p in left]
            final = batch.check_final()
            losses += len(final)
            problems_seen += [f"kill {k}: {p}" for p in final]
            if code != 0:
                losses += 1
                problems_seen.append(f"kill {k}: the next run exited with {code}: {errors.strip()}")
            batch.reset_targets()
        if k % 10 == 0 and k < kills:
            print(f"  {k} kills, {losses} losses, {leftovers} leftovers so far", flush=True)

    for line in problems_seen[:40]:
        print("  " + line)
    print(f"kills: {kills} ({mid_copy} mid-copy), runs to the end after a kill: {completed_runs}, "
          f"files checked: {checked_total}, losses: {losses}, leftovers: {leftovers}")
    return 0 if losses == 0 and leftovers == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
