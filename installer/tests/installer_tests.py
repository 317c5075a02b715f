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
import xml.etree.ElementTree as ElementTree
from pathlib import Path

INSTALL_DIR = r"C:\Program Files\Copperfold"
UNICODE_DIR = "C:\\Program Files\\Kopie \u00dcmlaut \u65e5\u672c\\Copperfold"
UNINSTALL_KEY = r"Software\Microsoft\Windows\CurrentVersion\Uninstall\Copperfold"
RUN_KEY = r"Software\Microsoft\Windows\CurrentVersion\Run"
CLASS_KEY = r"Software\Classes\CLSID\{6F3B2A91-4C7E-4D2A-9B15-3E8C71A0D4F2}"
TASK_FOLDER, TASK_NAME = "\\Copperfold", "Dockline"
TASK_NAMESPACE = {"t": "http://schemas.microsoft.com/windows/2004/02/mit/task"}
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
        # As tools/wine-env.sh has it: no menu builder, which would turn setup's Start-menu
        # shortcuts into desktop entries. Should it run all the same, it writes them here, where
        # the first scenario looks, and not into the machine's home folder.
        self.desktop_entries = state / "xdg"
        self.env = dict(os.environ, WINEPREFIX=str(self.prefix), WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d",
                        XDG_DATA_HOME=str(self.desktop_entries / "data"),
                        XDG_CONFIG_HOME=str(self.desktop_entries / "config"))
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


def task_facts(xml_text: str) -> dict:
    """What a task's XML says about how Dockline starts; None for what it leaves out."""
    root = ElementTree.fromstring(re.sub(r"^\s*<\?xml[^>]*\?>", "", xml_text.strip()))

    def text(path):
        element = root.find(path, TASK_NAMESPACE)
        return element.text.strip() if element is not None and element.text else None

    logon = root.find("t:Triggers/t:LogonTrigger", TASK_NAMESPACE)
    return {"trigger": None if logon is None else "logon, enabled " + (text("t:Triggers/t:LogonTrigger/t:Enabled") or "true"),
            "command": text("t:Actions/t:Exec/t:Command"), "arguments": text("t:Actions/t:Exec/t:Arguments"),
            "group": text("t:Principals/t:Principal/t:GroupId"),
            "run level": text("t:Principals/t:Principal/t:RunLevel"),
            "time limit": text("t:Settings/t:ExecutionTimeLimit"),
            "on batteries": (text("t:Settings/t:DisallowStartIfOnBatteries"),
                             text("t:Settings/t:StopIfGoingOnBatteries")),
            "instances": text("t:Settings/t:MultipleInstancesPolicy"),
            "description": text("t:RegistrationInfo/t:Description")}


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
        self.check_logon_task(folder)

    def check_logon_task(self, folder):
        """The scheduler's task that starts Dockline at logon, as the scheduler gives it back."""
        registered = self.wine.tool("task", TASK_FOLDER, TASK_NAME)
        check(registered.returncode == 0, f"no task {TASK_FOLDER}\\{TASK_NAME}: {registered.stderr}")
        kept = task_facts(registered.stdout)
        expected = {"trigger": "logon, enabled true", "command": folder + r"\Dockline.exe", "arguments": "/a",
                    "group": "S-1-5-32-545", "run level": "HighestAvailable", "time limit": "PT0S",
                    "on batteries": ("false", "false"), "instances": "IgnoreNew"}
        # Wine's scheduler keeps a task's settings and description but drops its triggers, actions
        # and principal. What it drops is checked in the definition setup registers for the folder.
        sent = task_facts(self.wine.tool("logon-task-xml", folder).stdout)
        dropped = [name for name in expected if kept[name] is None]
        if dropped:
            print(f"the task scheduler keeps no {', '.join(dropped)}: checked in the definition setup registers")
        for name, value in expected.items():
            found = kept[name] if kept[name] is not None else sent[name]
            check(found == value, f"the logon task's {name} is {found!r}, expected {value!r}")
        check((kept["description"] or "").startswith("Starts Dockline"), f"the task is described as {kept['description']!r}")

    def check_about_box(self, folder):
        shown = self.wine.tool("about", folder, timeout=120)
        check(shown.returncode == 0, f"the About box could not be read: {shown.stderr}")
        expected = "SDK Ver:" + suite_version(self.source)
        check(shown.stdout.strip() == expected, f"the About box says {shown.stdout.strip()!r}, expected {expected!r}")

    def start_dockline_from_run_value(self, folder):
        """Starts the Run value's command line, as a machine without UAC does at logon (Wine
        ignores manifests, so this also starts a program that asks for elevation; on a machine
        with UAC the logon task starts the bar, which no test here can show)."""
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
        check(self.wine.tool("task", TASK_FOLDER, TASK_NAME).returncode != 0, "the logon task is still registered")
        check(not self.wine.unix(r"C:\windows\system32\tasks\Copperfold").exists(),
              "the scheduler's folder of the suite is still there")
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
        self.check_about_box(INSTALL_DIR)
        # Left running for the next scenario, whose setup must close it.
        self.start_dockline_from_run_value(INSTALL_DIR)
        # Where UAC is off, the logon task and the Run value both start the bar: the second start
        # ends by itself, without a message box that would wait for a click.
        second = self.wine.run_command_line(self.wine.value(RUN_KEY, "Dockline"), 30)
        check(second == 0, f"a second start of the bar at logon ended with {second}, not by itself")
        # The menu builder, had it run for setup's shortcuts, has written its entries by now.
        entries = [str(p) for p in self.wine.desktop_entries.rglob("*") if p.is_file()]
        check(not entries, f"Wine's menu builder ran and wrote desktop entries: {entries[:3]}")

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
            self.start_dockline_from_run_value(INSTALL_DIR)
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
        self.start_dockline_from_run_value(INSTALL_DIR)
        self.uninstall(INSTALL_DIR)
        self.check_uninstalled(INSTALL_DIR)
        check(installed.read_bytes() == jobs_before, "the job file was not kept as it was")

    def unicode_folder(self):
        """A folder of its own (spaces, letters of any language) stays the suite's folder: setup
        run again without /D= installs there, and so does one after the suite was removed, when
        the settings file it kept is still there."""
        check(self.install(f"/D={UNICODE_DIR}") == 0, "the silent install into a folder with spaces and "
                                                     "non-ASCII characters failed")
        self.check_installed(UNICODE_DIR)
        self.check_about_box(UNICODE_DIR)
        self.start_dockline_from_run_value(UNICODE_DIR)
        settings = self.wine.unix(UNICODE_DIR + r"\Copperfold.ini")
        write_ini(settings, read_ini(settings) + "[VM-carol]\nTASK=0x0001\nSRC0001=C:\\Notes\nDST0001=E:\\Notes\n"
                                                  "Type0001=Backup\n")

        check(self.install() == 0, "setup run again failed")
        default_program = self.wine.unix(INSTALL_DIR + r"\Copperfold.exe")  # the folder keeps an earlier job file
        check(not default_program.exists(), "setup run again went to the default folder")
        self.check_installed(UNICODE_DIR)

        self.uninstall(UNICODE_DIR)
        self.check_uninstalled(UNICODE_DIR)
        check(self.install() == 0, "setup after the removal failed")
        check(not default_program.exists(), "setup after the removal went to the default folder")
        self.check_installed(UNICODE_DIR)
        check("[VM-carol]" in read_ini(settings), "the kept settings file was not taken up again")

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
