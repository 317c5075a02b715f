#!/usr/bin/env python3
"""The setup program as an administrator and a user meet it, under Wine.

installer_tests.py SCENARIO --state DIR --setup SETUP.EXE --bin BIN_DIR --source SOURCE_DIR

The scenarios run in this order in one Wine prefix that starts empty (see the CMake list):
fresh_install, upgrade_keeps_jobs, waits_for_run, silent_uninstall, unicode_folder. Each one
checks the state it starts from, so a scenario run on its own says what it lacks."""
import argparse
import os
import re
import subprocess
import sys
import tempfile
import time
from pathlib import Path

INSTALL_DIR = r"C:\Program Files\Copperfold"
UNICODE_DIR = "C:\\Program Files\\Kopie \u00dcmlaut \u65e5\u672c\\Copperfold"
UNINSTALL_KEY = r"Software\Microsoft\Windows\CurrentVersion\Uninstall\Copperfold"
RUN_KEY = r"Software\Microsoft\Windows\CurrentVersion\Run"
CLASS_KEY = r"Software\Classes\CLSID\{6F3B2A91-4C7E-4D2A-9B15-3E8C71A0D4F2}"
START_MENU = r"C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Copperfold"
PROGRAM_FILES = ["Copperfold.exe", "Dockline.exe", "Corelink.ax", "Volkern.dll", "SetupHelper.exe",
                 "Dockline.ini", "bar.png", "copperfold.png", "explorer.png", "LICENSE.txt", "Uninstall.exe"]
BUSY_EXIT_CODE = 3


class Failure(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)


class Wine:
    def __init__(self, state: Path, bin_dir: Path):
        self.prefix = state / "prefix"
        self.env = dict(os.environ, WINEPREFIX=str(self.prefix), WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d")
        display = state / "display"
        if display.exists():
            self.env["DISPLAY"] = display.read_text().strip()
        self.check_tool = str(bin_dir / "install_check.exe")

    def unix(self, windows_path: str) -> Path:
        """Where a path on drive C: lies on this machine."""
        check(windows_path[:3].upper() == "C:\\", f"not on drive C: {windows_path}")
        return self.prefix / "drive_c" / windows_path[3:].replace("\\", "/")

    def run(self, *args, timeout=600):
        # Output goes through files, not pipes: a program started here that keeps running (the
        # bar) inherits the output handles, and a pipe would then never reach its end.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            code = subprocess.run(["wine", *args], env=self.env, stdin=subprocess.DEVNULL, stdout=out,
                                  stderr=err, timeout=timeout).returncode
            out.seek(0)
            err.seek(0)
            return subprocess.CompletedProcess(args, code, out.read().decode("utf-8", "replace").replace("\r\n", "\n"),
                                               err.read().decode("utf-8", "replace"))

    def popen(self, *args, log: Path):
        return subprocess.Popen(["wine", *args], env=self.env, stdin=subprocess.DEVNULL,
                                stdout=log.open("wb"), stderr=subprocess.STDOUT)

    def tool(self, *args, timeout=600):
        return self.run(self.check_tool, *args, timeout=timeout)

    def value(self, key, name):
        result = self.tool("reg", key, name)
        return result.stdout.rstrip("\n") if result.returncode == 0 else None

    def key_exists(self, key):
        return self.tool("key", key).returncode == 0

    def run_command_line(self, command_line, seconds=600):
        """Runs a Windows command line exactly as typed; returns its exit code."""
        result = self.tool("run", str(seconds), command_line, timeout=seconds + 60)
        sys.stdout.write(result.stdout)
        sys.stderr.write(result.stderr)
        return result.returncode


def windows_path(path: Path) -> str:
    return "Z:" + str(path).replace("/", "\\")


def read_ini(path: Path) -> str:
    data = path.read_bytes()
    check(data[:2] == b"\xff\xfe", f"{path} is not UTF-16LE with a byte order mark")
    return data[2:].decode("utf-16-le")


def write_ini(path: Path, text: str):
    path.write_bytes(b"\xff\xfe" + text.replace("\r\n", "\n").replace("\n", "\r\n").encode("utf-16-le"))


def suite_version(source: Path) -> str:
    header = (source / "common" / "version.h").read_text()
    parts = [re.search(rf"#define SUITE_VERSION_{p} (\d+)", header).group(1)
             for p in ("MAJOR", "MINOR", "PATCH", "BUILD")]
    return ".".join(parts)


class Scenarios:
    def __init__(self, options):
        self.wine = Wine(Path(options.state), Path(options.bin))
        self.setup = windows_path(Path(options.setup))
        self.bin = Path(options.bin)
        self.source = Path(options.source)

    def install(self, *switches, seconds=600):
        command_line = f'"{self.setup}" /S' + "".join(f" {s}" for s in switches)
        print(f"running: {command_line}")
        return self.wine.run_command_line(command_line, seconds)

    def check_installed(self, folder):
        for name in PROGRAM_FILES + ["Copperfold.ini"]:
            check(self.wine.unix(folder + "\\" + name).is_file(), f"{name} is not installed in {folder}")
        loaded = self.wine.tool("com")
        check(loaded.returncode == 0, f"the component could not be created through COM: {loaded.stderr}")
        check(loaded.stdout.strip().lower() == (folder + r"\Corelink.ax").lower(),
              f"COM loaded the component from {loaded.stdout.strip()}")
        autostart = self.wine.value(RUN_KEY, "Dockline")
        check(autostart == f'"{folder}\\Dockline.exe" /a', f"the autostart value is {autostart!r}")
        expected = {"DisplayName": "Copperfold", "DisplayVersion": suite_version(self.source),
                    "Publisher": "Norvane Labs, Inc.", "DisplayIcon": folder + r"\Copperfold.exe,0",
                    "InstallLocation": folder, "UninstallString": f'"{folder}\\Uninstall.exe"',
                    "QuietUninstallString": f'"{folder}\\Uninstall.exe" /S', "NoModify": "1"}
        for name, value in expected.items():
            found = self.wine.value(UNINSTALL_KEY, name)
            check(found == value, f"uninstall entry {name} is {found!r}, expected {value!r}")
        size = int(self.wine.value(UNINSTALL_KEY, "EstimatedSize") or 0)
        check(size > 1000, f"the uninstall entry's size is {size} KiB")
        for binary in ("Copperfold.exe", "Dockline.exe", "Corelink.ax", "Volkern.dll", "SetupHelper.exe"):
            version = self.wine.tool("version", folder + "\\" + binary).stdout.strip()
            check(version == suite_version(self.source), f"{binary} has the version {version!r}")
        for program in ("Copperfold.exe", "Dockline.exe", "SetupHelper.exe"):
            manifest = self.wine.tool("manifest", folder + "\\" + program).stdout
            for needed in ("Microsoft.Windows.Common-Controls", "PerMonitorV2", "supportedOS"):
                check(needed in manifest, f"the manifest of {program} lacks {needed}")
            level = "requireAdministrator" if program == "Dockline.exe" else "asInvoker"
            check(f'level="{level}"' in manifest, f"{program} should ask for {level}")
        for shortcut in ("Copperfold.lnk", "Dockline.lnk"):
            check(self.wine.unix(START_MENU + "\\" + shortcut).is_file(), f"no Start-menu shortcut {shortcut}")

    def start_dockline_as_at_logon(self, folder):
        autostart = self.wine.value(RUN_KEY, "Dockline")
        check(self.wine.tool("start", autostart).returncode == 0, f"could not start {autostart}")
        found = self.wine.tool("window", "Dockline", "30")
        check(found.returncode == 0, "Dockline's bar did not appear after the autostart command")
        image, visibility = found.stdout.split("\n")[:2]
        check(image.lower() == (folder + r"\Dockline.exe").lower(), f"the bar belongs to {image}")
        # The bar shows itself, then hides in the notification area at once.
        deadline = time.monotonic() + 15
        while visibility != "hidden" and time.monotonic() < deadline:
            time.sleep(0.2)
            visibility = self.wine.tool("window", "Dockline", "0").stdout.split("\n")[1]
        check(visibility == "hidden", "with /a the bar should hide in the notification area")

    def uninstall(self, folder):
        """Runs the uninstaller silently and waits until it has finished its work."""
        code = self.wine.run_command_line(f'"{folder}\\Uninstall.exe" /S', 120)
        check(code == 0, f"the uninstaller exited with {code}")
        # The uninstaller copies itself away and goes on from there; wait for its last steps.
        deadline = time.monotonic() + 120
        while self.wine.key_exists(UNINSTALL_KEY) or self.wine.unix(folder + r"\Uninstall.exe").exists():
            check(time.monotonic() < deadline, "the uninstaller did not finish within two minutes")
            time.sleep(0.5)
        time.sleep(2)

    def check_uninstalled(self, folder):
        for name in PROGRAM_FILES:
            check(not self.wine.unix(folder + "\\" + name).exists(), f"{name} is still in {folder}")
        check(self.wine.value(RUN_KEY, "Dockline") is None, "the autostart value is still there")
        check(not self.wine.key_exists(UNINSTALL_KEY), "the uninstall entry is still there")
        check(not self.wine.key_exists(CLASS_KEY), "the component is still registered")
        check(self.wine.tool("com").returncode != 0, "the component can still be created")
        check(not self.wine.unix(START_MENU).exists(), "the Start-menu folder is still there")
        check(self.wine.tool("no-window", "Dockline", "20").returncode == 0, "Dockline still runs")

    # --- scenarios -----------------------------------------------------------------------

    def fresh_install(self):
        check(not self.wine.unix(INSTALL_DIR).exists(), "the prefix is not fresh")
        check(self.install() == 0, "the silent install failed")
        self.check_installed(INSTALL_DIR)
        shipped = (self.bin / "Copperfold.ini").read_bytes()
        check(self.wine.unix(INSTALL_DIR + r"\Copperfold.ini").read_bytes() == shipped,
              "a first install should place the shipped settings file as it is")
        # Left running for the next scenario, whose setup must close it.
        self.start_dockline_as_at_logon(INSTALL_DIR)

    def upgrade_keeps_jobs(self):
        installed = self.wine.unix(INSTALL_DIR + r"\Copperfold.ini")
        check(installed.is_file(), "nothing is installed to upgrade")
        # The file an earlier version left: the German section lacks a text added since and has
        # an old wording, the user chose German, and two users keep jobs, one with a comment.
        shipped = (self.source / "data" / "Copperfold.ini").read_text(encoding="utf-8")
        old = shipped.replace("LANG=ENG", "LANG=DEU", 1)
        deu_start = old.index("[DEU]")
        deu_end = old.index("[", deu_start + 1)
        deu = old[deu_start:deu_end].split("\n")
        dropped_key = deu[-3].split("=", 1)[0]
        old_line = next(line for line in deu if line.startswith("OK="))
        deu = [line for line in deu if not line.startswith(dropped_key + "=")]
        deu = [("OK=Alt" if line == old_line else line) for line in deu]
        old = old[:deu_start] + "\n".join(deu) + old[deu_end:]
        jobs = ("[VM-alice]\n; hand comment: the letters go to the enclosure every night\nTASK=0x0001\n"
                "SRC0001=C:\\Letters\nDST0001=E:\\Letters\nType0001=Backup\n"
                "[VM-bob]\nTASK=0x0002\nSRC0001=C:\\Photos\nDST0001=E:\\Photos\nType0001=Sync\n"
                "SRC0002=C:\\Music\nDST0002=E:\\Music\nType0002=Backup\n")
        write_ini(installed, old.rstrip("\n") + "\n" + jobs)
        dockline_ran = self.wine.tool("window", "Dockline", "0").returncode == 0

        check(self.install() == 0, "the silent upgrade failed")
        if dockline_ran:
            check(self.wine.tool("no-window", "Dockline", "20").returncode == 0,
                  "setup left the running Dockline open")
        merged = read_ini(installed).replace("\r\n", "\n")
        check(jobs in merged, "the users' job sections or the hand comment changed")
        check("LANG=DEU\n" in merged, "the user's language choice was lost")
        expected_line = next(line for line in shipped[shipped.index("[DEU]"):].split("\n")
                             if line.startswith(dropped_key + "="))
        deu_merged = merged[merged.index("[DEU]"):merged.index("[", merged.index("[DEU]") + 1)]
        check(expected_line in deu_merged.split("\n"), f"the new text {dropped_key!r} did not arrive in [DEU]")
        check(old_line in deu_merged.split("\n"), "the updated translation did not replace the old one")
        check(not list(installed.parent.glob("*.tmp")), "a temporary file was left beside the settings file")
        self.check_installed(INSTALL_DIR)

    def waits_for_run(self):
        check(self.wine.unix(INSTALL_DIR + r"\Copperfold.exe").is_file(), "nothing is installed")
        section = self.wine.tool("job-section").stdout.strip()
        source = self.wine.unix(r"C:\run-source")
        target = self.wine.unix(r"C:\run-target")
        source.mkdir(exist_ok=True)
        for n in range(6000):
            (source / f"file{n:05d}.txt").write_bytes(bytes([n % 251]) * (2048 + n))
        installed = self.wine.unix(INSTALL_DIR + r"\Copperfold.ini")
        text = read_ini(installed).replace("\r\n", "\n")
        text += f"[{section}]\nTASK=0x0001\nSRC0001=C:\\run-source\nDST0001=C:\\run-target\nType0001=Backup\n"
        write_ini(installed, text)

        if self.wine.tool("window", "Dockline", "0").returncode != 0:
            self.start_dockline_as_at_logon(INSTALL_DIR)
        run_log = self.wine.prefix.parent / "run-output.txt"
        run = self.wine.popen(INSTALL_DIR + r"\Copperfold.exe", "/run", log=run_log)
        deadline = time.monotonic() + 60
        while not (target.exists() and any(target.iterdir())):
            check(run.poll() is None, f"the run ended before it copied anything: {run_log.read_text()}")
            check(time.monotonic() < deadline, "the run did not start copying within a minute")
            time.sleep(0.1)
        # A silent setup that may not wait gives up with its own exit code and changes nothing.
        code = self.install("/CLOSEWAIT=0")
        check(code == BUSY_EXIT_CODE, f"setup during a run exited with {code}, expected {BUSY_EXIT_CODE}")
        check(run.poll() is None, "the run did not outlast the first setup: make it longer")
        check(self.wine.tool("window", "Dockline", "0").returncode == 0,
              "a setup that gave up closed Dockline all the same")
        # One that may wait does so until the run is over.
        check(self.install() == 0, "the silent install that waits for the run failed")
        check(run.poll() is not None, "setup finished while the run was still going")
        check(run.returncode == 0, f"the run exited with {run.returncode}: {run_log.read_text()}")
        check(self.wine.tool("no-window", "Dockline", "20").returncode == 0, "setup left Dockline open")
        target = target / "run-source"  # a Backup copies the source folder into the target
        copied = sorted(p.name for p in target.iterdir())
        check(copied == sorted(p.name for p in source.iterdir()), f"the run copied {len(copied)} of 6000 files")
        check(all((target / p.name).read_bytes() == p.read_bytes() for p in source.iterdir()),
              "a copied file differs from its source")
        self.check_installed(INSTALL_DIR)

    def silent_uninstall(self):
        installed = self.wine.unix(INSTALL_DIR + r"\Copperfold.ini")
        check(installed.is_file(), "nothing is installed")
        jobs_before = installed.read_bytes()
        self.start_dockline_as_at_logon(INSTALL_DIR)
        self.uninstall(INSTALL_DIR)
        self.check_uninstalled(INSTALL_DIR)
        check(installed.read_bytes() == jobs_before, "the job file was not kept as it was")

    def unicode_folder(self):
        check(self.install(f"/D={UNICODE_DIR}") == 0, "the silent install into a folder with spaces and "
                                                     "non-ASCII characters failed")
        self.check_installed(UNICODE_DIR)
        self.start_dockline_as_at_logon(UNICODE_DIR)
        self.uninstall(UNICODE_DIR)
        self.check_uninstalled(UNICODE_DIR)
        left = sorted(p.name for p in self.wine.unix(UNICODE_DIR).iterdir())
        check(left == ["Copperfold.ini"], f"the uninstaller left {left}")


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("scenario")
    for name in ("state", "setup", "bin", "source"):
        parser.add_argument(f"--{name}", required=True)
    options = parser.parse_args()
    scenarios = Scenarios(options)
    try:
        getattr(scenarios, options.scenario)()
    except Failure as failure:
        print(f"FAILED: {failure}")
        return 1
    print("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
