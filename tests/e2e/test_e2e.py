"""End-to-end scenarios: the real Velmora.exe under Wine, its console read back row
by row by VelmoraHarness.exe, which answers the prompt (or the error message box)
and records the exit code.

    python3 tests/e2e/test_e2e.py [--build DIR] [--x86 DIR32] [--side-by-side]
                                  [unittest options, e.g. -k missing]

DIR (default build/win64) holds the x86-64 Velmora.exe, VelmoraHarness.exe, the
control files (controlfiles/) and velmora-version.txt; DIR32, when given, the same
of the x86 build, which then also runs, on a 64-bit and on a 32-bit Windows (this
needs 32-bit Wine). Each scenario is one row of a table: the Windows the prefix
simulates, the control file placed, the exit code; the rows the screen must show
follow from them and from the simulated Windows. The run ends with
"N passed, M failed, K skipped".

The tests fall into groups, each with a simulated Windows of its own: "x64",
"unattended" (the JSON runs, and the x86 scenario on a 64-bit Windows) and
"x86-on-32". Most of a scenario's time is its progress bars, so --side-by-side
runs the groups at once, each in a process of its own; their output is shown group
by group when they have ended, each scenario's bar and Enter-to-exit times with it.

Each group's simulated Windows is build/wineprefix-e2e-<group>, made once: as a
copy of VELMORA_E2E_TEMPLATE64 or VELMORA_E2E_TEMPLATE32 (a 64-bit and a 32-bit
prefix that no Wine server runs) where given, else anew. VELMORA_E2E_GROUP runs
one group alone; VELMORA_E2E_DISPLAY=1 shows the consoles on $DISPLAY instead of a
virtual display of their own.
"""

import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import unittest
from dataclasses import dataclass, field as dataclass_field
from pathlib import Path
from typing import Callable, List, Optional

HERE = Path(__file__).resolve().parent
sys.path[:0] = [str(HERE), str(HERE.parents[1] / "tools"), str(HERE.parent / "controlfiles")]
import screen  # noqa: E402
import stand_in_library  # noqa: E402
import wine  # noqa: E402

ROOT = Path(__file__).resolve().parents[2]
REQUIRED_VERSION = "6.1.98.46"
REQUIRED_CRC = "B97FD45E"


# --- The simulated Windows versions ------------------------------------------------

@dataclass(frozen=True)
class Windows:
    version: str          # major.minor, as the registry names it
    build: str
    service_pack: int     # 0: none
    product_type: str     # WinNT or ServerNT
    wmi_name: str         # what WMI's Caption holds

    @property
    def major(self):
        return int(self.version.split(".")[0])

    @property
    def minor(self):
        return int(self.version.split(".")[1])

    @property
    def version_text(self):
        return f"{self.version}.{self.build}"

    @property
    def enumeration(self):
        return {(5, 1): 7, (6, 1): 10}[(self.major, self.minor)]

    def common_rows(self):
        return screen.common_rows(self.version_text, self.build, self.major, self.minor, self.enumeration)

    def report(self, bits):
        # Later Windows, which the kernel's record names, are the unit tables'.
        return screen.report_wmi_branch(self, bits)


WINDOWS_XP = Windows("5.1", "2600", 3, "WinNT", "Windows XP")
WINDOWS_7 = Windows("6.1", "7601", 1, "WinNT", "Windows 7")


# --- Where it runs ----------------------------------------------------------------

@dataclass
class Target:
    """One executable on one simulated Windows."""
    build: Path            # holds Velmora.exe, VelmoraHarness.exe and the control files
    prefix: wine.Prefix
    windows_bits: int      # what the simulated Windows is
    exe_bits: int = 64     # what the build is

    @property
    def loader(self):
        return wine.loader_for(self.exe_bits)

    @property
    def exe(self):
        return self.build / "Velmora.exe"

    @property
    def harness(self):
        return self.build / "VelmoraHarness.exe"

    @property
    def version(self):
        return (self.build / "velmora-version.txt").read_text().strip()

    @property
    def control_path(self):
        folder = "SysWoW64" if self.windows_bits == 64 else "System32"
        return f"C:\\windows\\{folder}\\MsComCtl.OCX"

    def control_variants(self):
        """The stand-in control files: variant -> (version text, CRC-32 text)."""
        variants = {}
        for line in (self.build / "controlfiles" / "expected.txt").read_text().splitlines():
            if line.startswith("#") or not line.strip():
                continue
            name, _file, _exists, version, crc, _size, _valid, _typelib = line.split("\t")
            variants[name] = (version, crc)
        return variants


# --- The scenarios ----------------------------------------------------------------

MISSING = None
WMI_UNREACHABLE = "wbemprox=d"


@dataclass(frozen=True)
class Scenario:
    name: str
    windows: Windows
    control: Optional[str]          # a control-file variant, or MISSING
    exit_code: int
    dll_overrides: str = ""
    animated_bars: int = 0          # progress bars that must be seen filling
    checks: List[Callable] = dataclass_field(default_factory=list)  # each (report) -> problem or None
    registered: bool = False        # the stand-ins registered as regsvr32 registers them
    arguments: tuple = ()                 # Velmora's command line
    after_verdict: Optional[Callable] = None  # (target) -> the rows between the verdict's bar and the prompt


# --- Registration: the stand-ins' type library, and its entries in the registry ---------

LIBRARY = stand_in_library.read()  # what tests/controlfiles/ControlTypeLib.idl declares

# What regsvr32 writes: expandable text, in which System32 is SysWOW64 to a 32-bit program
# on a 64-bit Windows and the file's own folder on a 32-bit one.
SYSTEM32 = "%SystemRoot%\\System32\\MsComCtl.OCX"
SYSTEM32_VALUE = "hex(2):" + ",".join(f"{b:02x}" for b in (SYSTEM32 + "\0").encode("utf-16-le"))
REGISTERED_KEYS = [f"Software\\Classes\\TypeLib\\{LIBRARY.id}\\{LIBRARY.version}\\0\\win32"] + [
    f"Software\\Classes\\CLSID\\{c}\\InprocServer32" for c in LIBRARY.classes]


def register(target, scratch):
    """The stand-ins registered as a 32-bit regsvr32 registers them, and nothing else:
    their keys are first removed from both hives, as stored in either view."""
    doomed = []
    for hive in ("HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER"):
        for classes in ("Software\\Classes", "Software\\Classes\\Wow6432Node"):
            doomed.append(f"[-{hive}\\{classes}\\TypeLib\\{LIBRARY.id}]\n")
            doomed += [f"[-{hive}\\{classes}\\CLSID\\{c}]\n" for c in LIBRARY.classes]
    target.prefix.import_registry(doomed, scratch, "the stand-ins' keys removed")
    target.prefix.import_registry([f"[HKEY_LOCAL_MACHINE\\{key}]\n@={SYSTEM32_VALUE}\n" for key in REGISTERED_KEYS],
                                  scratch, "the stand-ins' registration", as_32_bit_program=True)


def registration_rows(*rows):
    """The rows after the verdict's bar: (target) -> rows, each wrapped at the console's
    80 columns. "<run>" stands for the command that registers the target's file."""
    def rows_for(target):
        folder = target.control_path.rsplit("\\", 1)[0]
        run = f'run as an administrator: "{folder}\\regsvr32.exe" "{target.control_path}"'
        texts = ["", "Test registration MsComCtl.OCX"] + [row.replace("<run>", run) for row in rows]
        wrapped = [text[i:i + 80] for text in texts for i in range(0, max(len(text), 1), 80)]
        # The account's row follows the state's; the name is the simulated Windows' own.
        return wrapped[:3] + [screen.Like(r"Per-user entries and caches of: \S+\\\S+")] + wrapped[3:]
    return rows_for


def names_wmi(report):
    boxes = report.all("msgbox")
    if not any("winmgmts:" in line for line in boxes):
        return "the message box does not name the WMI connection"
    if not any(re.search(r"0x[0-9A-F]{8}", line) for line in boxes):
        return "the message box gives no error number"
    return None


# Only what the program, the console and Windows show together: the verdicts, the
# report's rows and the registration's states are the unit tables', and what Windows
# answers for each stand-in file is the Windows tests'.
SCENARIOS = [
    Scenario("valid", WINDOWS_7, "valid", 0, animated_bars=4),
    Scenario("crc-differs", WINDOWS_7, "other-crc", 1),
    Scenario("missing", WINDOWS_7, MISSING, 2, animated_bars=1),
    # WMI unreachable: the error ends the run before anything of the report shows.
    Scenario("wmi-unreachable", WINDOWS_7, MISSING, 3, dll_overrides=WMI_UNREACHABLE, checks=[names_wmi]),
    # The regsvr32 entries' System32 is SysWOW64 to the x86-64 build on a 64-bit Windows,
    # and the file's own folder to the x86 build on a 32-bit one (the pair below).
    Scenario("registered-shown", WINDOWS_7, "valid", 0, arguments=("/registration",),
             registered=True, after_verdict=registration_rows("Registration: registered")),
]

# The x86 build: valid on a 64-bit and on a 32-bit Windows; on the 32-bit one also
# Windows XP, and the registration.
X86_ON_WINDOWS_64 = [SCENARIOS[0]]
X86_ON_WINDOWS_32 = [SCENARIOS[0], Scenario("windows-xp", WINDOWS_XP, MISSING, 2), SCENARIOS[-1]]


def expected_rows(target, scenario):
    """What the screen must show: follows from the Windows, the file and the exit code."""
    rows = screen.header(target.version)
    if scenario.exit_code == 3:
        return rows[:6]  # the error ends the run before the report is written
    rows += scenario.windows.report(target.windows_bits)
    if scenario.control is MISSING:
        return rows + screen.not_found(target.control_path)
    version, crc = target.control_variants()[scenario.control]
    verdict = (["Version fail"] if version != REQUIRED_VERSION else []) + (["CRC32 fail"] if crc != REQUIRED_CRC else [])
    verdict.append("Supplement is valid" if not verdict else "Supplement is fail")
    after = scenario.after_verdict(target) if scenario.after_verdict else ()
    return rows + screen.checked(target.control_path, version, crc, verdict, after)


# --- Running one scenario ---------------------------------------------------------

def set_up_machine(target, scenario, scratch):
    """The simulated Windows as the scenario wants it."""
    prefix = target.prefix
    w = scenario.windows
    prefix.set_windows_version(w.version, w.build, w.service_pack, w.product_type, scratch)
    if scenario.registered:
        register(target, scratch)
    if scenario.control is MISSING:
        prefix.remove_control_file()
    else:
        prefix.place_control_file(target.build / "controlfiles" / scenario.control / "MsComCtl.OCX", target.windows_bits)


def run_harness(target, report_path, dll_overrides="", arguments=()):
    """Velmora.exe through the harness, with `arguments`; the harness's report, as text."""
    report_path.unlink(missing_ok=True)
    args = [target.harness, "--timeout", "60", "--out", wine.winpath(report_path)]
    try:
        target.prefix.run(args + [wine.winpath(target.exe)] + list(arguments), timeout=120,
                          dll_overrides=dll_overrides, log=str(report_path) + ".log", loader=target.loader)
    except Exception as error:  # a hung Wine: the report says what there is
        return f"result|harness did not end: {error}\n"
    return report_path.read_text(encoding="utf-8") if report_path.exists() else ""


def problems_with(report, target, scenario):
    problems = []
    if not report.lines:
        return ["no report"]
    if report.get("result") != "ok":
        problems.append(f"harness result: {report.get('result')}")
    if report.get("title") != "Velmora":
        problems.append(f"console title: '{report.get('title')}', expected 'Velmora'")
    if report.get("columns") != "80":
        problems.append(f"console columns: {report.get('columns')}, expected 80")
    difference = screen.compare_rows(expected_rows(target, scenario), report.all("row"))
    if difference:
        problems.append(difference)
    if scenario.exit_code == 3:
        if report.get("msgbox_title") is None:
            problems.append("no message box titled Velmora")
        if report.get("prompt") != "none":
            problems.append(f"prompt: {report.get('prompt')}, expected none after the message box")
    else:
        if report.get("prompt") != "waiting":
            problems.append(f"prompt: {report.get('prompt')}, expected the program waiting at it")
        if report.get("enter_to_exit_ms") is None:
            problems.append("the program did not end after Enter")
        if report.get("msgbox_title") is not None:
            problems.append("unexpected message box: " + " ".join(report.all("msgbox")))
    if report.get("exit") != str(scenario.exit_code):
        problems.append(f"exit code: {report.get('exit')}, expected {scenario.exit_code}")
    problems += bar_problems(report, scenario.animated_bars)
    for check in scenario.checks:
        problem = check(report)
        if problem:
            problems.append(problem)
    return problems


def bar_problems(report, minimum):
    """At least `minimum` bars were seen at 3 lengths or more before they were whole.
    How long they took is measured (timings()), not tested: the other steps of a test
    run load the processors."""
    animated = [ms for partial, ms in report.bars() if partial >= 3]
    if len(animated) < minimum:
        return [f"expected {minimum} animated progress bar(s), saw {len(animated)}"]
    return []


def timings(report):
    """The times a run shows: from Enter to the end, and each bar's fill (about the 2.1 s
    of its 70 pauses of 30 ms)."""
    bars = ", ".join(f"{ms} ms" for partial, ms in report.bars() if partial >= 3)
    return f"Enter to exit {report.get('enter_to_exit_ms')} ms; bars filled in {bars}"


# --- Unattended runs: the JSON result --------------------------------------------------

# A result on the disk for a verdict and for an error; the fields of each outcome are
# the unit tables'.
QUIET_SCENARIOS = [s for s in SCENARIOS if s.name in ("valid", "wmi-unreachable")]
RESULT_NAMES = {0: "valid", 1: "fail", 2: "missing", 3: "error"}


def json_problems(result, target, scenario):
    """What only a real run tells of the result: it agrees with the exit code, and names
    the build's version and the control file where this Windows keeps it."""
    found = (result.get("result"), result.get("exitCode"), result.get("version"),
             (result.get("controlFile") or {}).get("path"))
    wanted = (RESULT_NAMES[scenario.exit_code], scenario.exit_code, target.version,
              None if scenario.exit_code == 3 else target.control_path)
    return [] if found == wanted else [f"result, exit code, version, path: {found!r}, expected {wanted!r}"]


class OnTarget(unittest.TestCase):
    """Tests of one executable on one simulated Windows: `on`, set by groups(), makes
    the target once for the class; its files go to a scratch folder of the class's."""

    on = None
    target: Target = None
    scratch: Path = None

    @classmethod
    def setUpClass(cls):
        cls.target = cls.on()
        cls.scratch = cls.target.build / "e2e" / cls.__name__
        cls.scratch.mkdir(parents=True, exist_ok=True)


def make_class(name, base, on, cases):
    """A class of `base` on the target `on` makes, with a test_<case> method per case."""
    namespace = {"test_" + re.sub(r"[^0-9a-zA-Z]+", "_", case.name): (lambda self, c=case: self.run_case(c))
                 for case in cases}
    return type(name, (base,), dict(namespace, on=staticmethod(on)))


class UnattendedTests(OnTarget):
    """Velmora.exe /quiet and /json on the x64 target."""

    def result_path(self, name):
        path = self.scratch / f"{name}.json"
        path.unlink(missing_ok=True)
        return path

    def run_direct(self, arguments, pipe_output=False, dll_overrides="", cwd=None):
        """Velmora.exe without the harness; its exit code, its standard output and error."""
        return self.target.prefix.run_captured([self.target.exe] + list(arguments), self.scratch, pipe_output,
                                               dll_overrides=dll_overrides, loader=self.target.loader, cwd=cwd)

    def test_quiet_runs_write_the_result_and_open_nothing(self):
        for scenario in QUIET_SCENARIOS:
            with self.subTest(scenario.name):
                set_up_machine(self.target, scenario, self.scratch)
                result_path = self.result_path("quiet-" + scenario.name)
                report = screen.Report(run_harness(self.target, self.scratch / f"quiet-{scenario.name}.txt",
                                                   scenario.dll_overrides, ["/quiet", "/json", wine.winpath(result_path)]))
                # No console, no message box, no wait for input: the harness sees only the exit.
                self.assertEqual(report.get("result"), "no-console")
                self.assertEqual(report.get("exit"), str(scenario.exit_code))
                self.assertIsNone(report.get("msgbox_title"))
                result = json.loads(result_path.read_bytes().decode("utf-8"))
                self.assertFalse(json_problems(result, self.target, scenario))

    def test_json_to_a_pipe(self):
        set_up_machine(self.target, SCENARIOS[0], self.scratch)
        code, out, _ = self.run_direct(["/quiet", "/json", "-"], pipe_output=True)
        self.assertEqual(code, 0)
        self.assertFalse(out.startswith(b"\xef\xbb\xbf"), "a byte-order mark")
        self.assertFalse(json_problems(json.loads(out.decode("utf-8")), self.target, SCENARIOS[0]))

    def test_a_wrong_switch_checks_nothing(self):
        result_path = self.result_path("wrong-switch")
        code, _, err = self.run_direct(["/quiet", "/json", wine.winpath(result_path), "/bogus"])
        self.assertEqual(code, 4)
        self.assertIn('unknown switch "/bogus"', err)
        self.assertIn("Velmora.exe /quiet", err)
        self.assertFalse(result_path.exists())

    def test_a_result_path_past_max_path(self):
        folder = Path(self.scratch, *["d" * 40] * 8)  # over 300 characters
        folder.mkdir(parents=True, exist_ok=True)
        set_up_machine(self.target, SCENARIOS[0], self.scratch)
        code, _, err = self.run_direct(["/quiet", "/json", wine.winpath(folder / "result.json")])
        self.assertEqual((code, json.loads((folder / "result.json").read_bytes())["exitCode"]), (0, 0), err)
        self.assertEqual([p.name for p in folder.iterdir()], ["result.json"], "a temporary file left behind")

    def test_office_caches_and_the_account(self):
        # Only Windows and the program together show whose %TEMP% and %APPDATA% are read
        # (the cache rules and the time's text are the unit tables').
        set_up_machine(self.target, SCENARIOS[0], self.scratch)
        user = next(p for p in (self.target.prefix.path / "drive_c" / "users").iterdir() if p.name != "Public")
        name = "VelmoraStandInControls.exd"
        caches = {"Temp/Excel8.0": (name, 1577836800), "AppData/Roaming/Microsoft/Forms": (name.lower(), None),
                  "Temp/Outlook16.0": (name, 1577836800)}  # the last one a decoy
        for folder, (file, written) in caches.items():
            path = user / folder / file
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(b"cache")
            if written:
                os.utime(path, (written, written))
        result_path = self.result_path("office-caches")
        code, _, _ = self.run_direct(["/quiet", "/json", wine.winpath(result_path)])
        for folder in caches:
            shutil.rmtree(user / folder)
        found = json.loads(result_path.read_bytes().decode("utf-8"))["registration"]
        self.assertEqual(code, 0)
        self.assertRegex(found["account"], r".+\\.+")
        self.assertEqual([(c["path"].lower().split("\\")[-2:], c["older"]) for c in found["officeCache"]],
                         [(["excel8.0", name.lower()], True), (["forms", name.lower()], False)])

    def test_registry_text_comes_back_intact(self):
        prefix = self.target.prefix
        owner = 'Jan "Q" Nov\u00e1k \\ \u010cesk\u00fd'
        organization = 'A\\B "C" \u017elu\u0165ou\u010dk\u00fd'
        prefix.set_registry_text("Microsoft\\Windows NT\\CurrentVersion", "RegisteredOwner", owner, self.scratch)
        prefix.set_registry_text("Microsoft\\Windows NT\\CurrentVersion", "RegisteredOrganization", organization,
                                 self.scratch)
        set_up_machine(self.target, SCENARIOS[0], self.scratch)
        result_path = self.result_path("registry-text")
        code, _, _ = self.run_direct(["/quiet", "/json", wine.winpath(result_path)])
        self.assertEqual(code, 0)
        rows = {row["label"]: row["value"] for row in json.loads(result_path.read_bytes().decode("utf-8"))["report"]}
        self.assertEqual(rows["Registered user"], owner)
        self.assertEqual(rows["Organization"], organization)


# --- Another control, where bitness changes the answer -------------------------------

def layouts(build):
    """The loader's layouts a build made (tests/win32/layouts): DLLs of its processor."""
    return Path(build) / "tests" / "win32" / "layouts"


class AnotherControlTests(OnTarget):
    """/control through the real executable, where the answer is the bitness's: the
    rules themselves are the unit tables', the loader's the Windows tests'."""

    other_build = None  # the other processor's build, whose layouts give controls of its bitness

    def check(self, arguments, cwd=None):
        result_path = self.scratch / "control.json"
        result_path.unlink(missing_ok=True)
        code, _, err = self.target.prefix.run_captured(
            [self.target.exe, "/quiet", "/json", wine.winpath(result_path)] + arguments, self.scratch,
            loader=self.target.loader, cwd=cwd)
        return code, json.loads(result_path.read_bytes().decode("utf-8")), err

    def fresh(self, name):
        folder = self.scratch / name
        shutil.rmtree(folder, ignore_errors=True)
        folder.mkdir(parents=True)
        return folder


class X64AnotherControl(AnotherControlTests):
    def test_a_relative_path(self):
        app = self.fresh("relative")
        for name in ("ctl_beside.dll", "dep.dll"):
            shutil.copyfile(layouts(self.target.build) / name, app / name)
        code, result, err = self.check(["/control", "ctl_beside.dll"], cwd=app)
        self.assertEqual((code, result["result"]), (0, "loads"), err)
        self.assertEqual(result["controlFile"]["path"].lower(), wine.winpath(app / "ctl_beside.dll").lower())

    def test_a_32_bit_controls_dll_only_in_the_64_bit_system_folder_is_missing(self):
        if not self.other_build or not self.other_build.is_dir():
            self.skipTest("no x86 build")
        app = self.fresh("thirty-two")
        shutil.copyfile(layouts(self.other_build) / "ctl_beside.dll", app / "ctl_beside.dll")
        system32 = self.target.prefix.path / "drive_c" / "windows" / "system32" / "dep.dll"
        shutil.copyfile(layouts(self.target.build) / "dep.dll", system32)
        try:
            code, result, err = self.check(["/control", wine.winpath(app / "ctl_beside.dll")])
        finally:
            system32.unlink()
        self.assertEqual((code, result["result"]), (1, "will not load"), err)
        dependency = result["registration"]["dependencies"][0]
        self.assertEqual((dependency["name"], dependency["path"], dependency["problem"]), ("dep.dll", None, "missing"))


class X86AnotherControl(AnotherControlTests):
    def test_a_64_bit_controls_system_dlls_are_the_64_bit_ones(self):
        app = self.fresh("sixty-four")
        shutil.copyfile(layouts(self.other_build) / "ctl_delay.dll", app / "ctl_delay.dll")
        code, result, err = self.check(["/control", wine.winpath(app / "ctl_delay.dll")])
        self.assertEqual((code, result["result"]), (0, "loads"), err)
        kernel = next(d for d in result["registration"]["dependencies"] if d["name"].lower() == "kernel32.dll")
        self.assertEqual((kernel["path"].lower(), kernel["problem"]), ("c:\\windows\\system32\\kernel32.dll", None))


class ScanTests(AnotherControlTests):
    """/scan through the real executable and its console, on a simulated Windows whose
    registry holds four of our controls besides Wine's own (which all load): the rows,
    the counts and the exit code. Why each file needs what is the unit tables'."""

    def test_the_files_that_need_attention_and_the_counts(self):
        if not self.other_build or not layouts(self.other_build).is_dir():
            self.skipTest("no x86 build")
        root = self.fresh("scan")
        placed = {"loads": (self.target.build, ["ctl_beside.dll", "dep.dll"]),
                  "alone": (self.target.build, ["ctl_beside.dll"]),
                  "x86": (self.other_build, ["ctl_beside.dll"])}
        for folder, (build, names) in placed.items():
            (root / folder).mkdir()
            for name in names:
                shutil.copyfile(layouts(build) / name, root / folder / name)
        path = {folder: wine.winpath(root / folder / "ctl_beside.dll") for folder in placed}
        path["gone"] = wine.winpath(root / "gone" / "ctl_beside.dll")
        keys = {folder: f"HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\{{5CA0E2E0-0000-0000-0000-00000000000{i}}}"
                for i, folder in enumerate(path)}
        self.target.prefix.import_registry(
            [f'[{keys[f]}\\InprocServer32]\n@="{path[f].replace(chr(92), chr(92) * 2)}"\n' for f in path],
            self.scratch, "the scanned controls")
        try:
            report = screen.Report(run_harness(self.target, self.scratch / "scan.txt", arguments=("/scan",)))
        finally:
            self.target.prefix.import_registry([f"[-{key}]\n" for key in keys.values()], self.scratch, "their removal")

        def rows(text):
            return [text[i:i + 80] for i in range(0, len(text), 80)]
        expected = screen.header(self.target.version) + [
            "Scanning registered controls", screen.Like(r"\|-{69}\|"), "", "Will not load:",
            *rows(path["alone"] + ": dep.dll is not found"), screen.ANY_ROWS, "Registered but missing:",
            *rows(path["gone"] + ": it is not there, nor its folder"), screen.ANY_ROWS, "Built for the other processor:",
            *rows(path["x86"] + ": it is built for 32-bit programs, and registered for 64-bit programs"),
            screen.ANY_ROWS, screen.Like(r"\d{3} registered files: \d{3} load, 1 missing, 1 will not load, 1 other"),
            "", "", "Press Enter to exit"]
        self.assertIsNone(screen.compare_rows(expected, report.all("row")), self.scratch / "scan.txt")
        self.assertEqual((report.get("prompt"), report.get("exit")), ("waiting", "1"))


# --- The test cases ---------------------------------------------------------------

class ScenarioTests(OnTarget):
    """One test per scenario."""

    def run_case(self, scenario):
        set_up_machine(self.target, scenario, self.scratch)
        report_path = self.scratch / f"{scenario.name}.txt"
        report = screen.Report(run_harness(self.target, report_path, scenario.dll_overrides, scenario.arguments))
        if report.get("result") == "no-console":
            # Seen once in many runs under Wine: the console was never made, and the
            # program ran on without one. A program that cannot open one fails twice.
            print(f"\n{scenario.name}: no console came up; run once more", file=sys.stderr)
            report = screen.Report(run_harness(self.target, report_path, scenario.dll_overrides, scenario.arguments))
        problems = problems_with(report, self.target, scenario)
        self.assertFalse(problems, "\n".join(problems) + f"\n(report: {report_path})")
        if scenario.exit_code != 3:  # an error ends at its message box, with no bar
            print(f"\n{type(self).__name__} {scenario.name}: {timings(report)}", file=sys.stderr)


# --- The simulated Windows of this run ------------------------------------------------


class Machines:
    """The display and the prefixes, each made once per run and shared by its classes."""

    display = None
    prefixes = {}

    @classmethod
    def display_name(cls):
        if os.environ.get("VELMORA_E2E_DISPLAY") == "1" and os.environ.get("DISPLAY"):
            return os.environ["DISPLAY"]
        if cls.display is None:
            cls.display = wine.Display()
            cls.display.start()
        return cls.display.name

    @classmethod
    def prefix(cls, arch, group):
        """The simulated Windows of a group: build/wineprefix-e2e-<group>, made from
        VELMORA_E2E_TEMPLATE64 or VELMORA_E2E_TEMPLATE32 when given."""
        path = ROOT / "build" / f"wineprefix-e2e-{group}"
        if path not in cls.prefixes:
            prefix = wine.Prefix(path, arch, cls.display_name())
            prefix.make(os.environ.get("VELMORA_E2E_TEMPLATE64" if arch == "win64" else "VELMORA_E2E_TEMPLATE32"))
            prefix.keep_server()
            cls.prefixes[path] = prefix
        return cls.prefixes[path]

    @classmethod
    def close(cls):
        for prefix in cls.prefixes.values():
            prefix.kill()
        if cls.display:
            cls.display.stop()


def groups():
    """The runner's groups, by name: each is a list of test classes that share one
    simulated Windows of their own, so that groups can run side by side. The x86-64
    scenarios, the longest, are dealt between two."""
    build = Path(os.environ.get("VELMORA_E2E_BUILD", ROOT / "build" / "win64")).resolve()
    build32 = os.environ.get("VELMORA_E2E_BUILD32")

    def on(group, arch="win64", bits=64, exe=build, exe_bits=64):
        return lambda: Target(exe, Machines.prefix(arch, group), bits, exe_bits)

    UnattendedTests.on = staticmethod(on("unattended"))
    X64AnotherControl.on = staticmethod(on("unattended"))
    X64AnotherControl.other_build = ROOT / "build" / "win32"
    ScanTests.on = staticmethod(on("unattended"))
    ScanTests.other_build = ROOT / "build" / "win32"
    found = {
        "x64": [make_class("X64OnWindows64", ScenarioTests, on("x64"), SCENARIOS)],
        "unattended": [UnattendedTests, X64AnotherControl, ScanTests],
    }
    if build32:
        build32 = Path(build32).resolve()
        x86_on_32 = on("x86-on-32", "win32", 32, build32, 32)
        found["unattended"].append(
            make_class("X86OnWindows64", ScenarioTests, on("unattended", exe=build32, exe_bits=32), X86_ON_WINDOWS_64))
        X86AnotherControl.on = staticmethod(on("unattended", exe=build32, exe_bits=32))
        X86AnotherControl.other_build = build
        found["unattended"].append(X86AnotherControl)
        found["x86-on-32"] = [make_class("X86OnWindows32", ScenarioTests, x86_on_32, X86_ON_WINDOWS_32)]
    return found


def load_tests(loader, tests, pattern):
    chosen = os.environ.get("VELMORA_E2E_GROUP")
    suite = unittest.TestSuite()
    for name, test_classes in groups().items():
        if chosen in (None, name):
            for test_class in test_classes:
                suite.addTests(loader.loadTestsFromTestCase(test_class))
    return suite


SUMMARY = re.compile(r"^(\d+) passed, (\d+) failed, (\d+) skipped$", re.M)
GROUP_SECONDS = 1800  # a group that runs longer has hung


def run_groups_side_by_side(rest):
    """Each group in a process of its own, all at once; their output, group by group,
    once they have ended; the sum of their results."""
    logs = ROOT / "build" / "e2e-logs"
    logs.mkdir(parents=True, exist_ok=True)
    running = []
    for name in groups():
        log = open(logs / f"{name}.txt", "wb")
        env = dict(os.environ, VELMORA_E2E_GROUP=name)
        running.append((name, log, subprocess.Popen([sys.executable, __file__] + rest, env=env, stdin=subprocess.DEVNULL,
                                                    stdout=log, stderr=subprocess.STDOUT)))
    totals = [0, 0, 0]
    try:
        for name, log, process in running:
            try:
                process.wait(timeout=GROUP_SECONDS)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
            log.close()
            text = (logs / f"{name}.txt").read_text(errors="replace")
            print(f"--- {name}\n{text}", flush=True)
            counts = SUMMARY.findall(text)
            if process.returncode != 0 and not counts:
                counts = [("0", "1", "0")]  # it ended before it could count
            for i, count in enumerate(counts[-1] if counts else ("0", "0", "0")):
                totals[i] += int(count)
    finally:
        for _, _, process in running:
            if process.poll() is None:
                process.kill()
    print(f"{totals[0]} passed, {totals[1]} failed, {totals[2]} skipped")
    return 0 if totals[1] == 0 and all(process.returncode == 0 for _, _, process in running) else 1


def main():
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument("--build")
    parser.add_argument("--x86")
    parser.add_argument("--side-by-side", action="store_true")
    known, rest = parser.parse_known_args()
    if known.build:
        os.environ["VELMORA_E2E_BUILD"] = known.build
    if known.x86:
        os.environ["VELMORA_E2E_BUILD32"] = known.x86
    if known.side_by_side and "VELMORA_E2E_GROUP" not in os.environ:
        return run_groups_side_by_side(rest)
    try:
        program = unittest.main(module=__name__, argv=[sys.argv[0]] + rest, exit=False, verbosity=2)
    finally:
        Machines.close()
    result = program.result
    failed = len(result.failures) + len(result.errors)
    passed = max(result.testsRun - failed - len(result.skipped), 0)
    print(f"{passed} passed, {failed} failed, {len(result.skipped)} skipped")
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
