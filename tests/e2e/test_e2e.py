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

The tests fall into groups, each with a simulated Windows of its own: "x64" and
"x64-more" (the x86-64 scenarios, dealt between them), "unattended" (the JSON
runs and the registration, and the x86 scenarios on a 64-bit Windows) and
"x86-on-32". Most of a scenario's time is its progress bars, so --side-by-side
runs the groups at once, each in a process of its own; their output is shown group
by group when they have ended.

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
import tempfile
import unittest
from dataclasses import dataclass, field as dataclass_field
from pathlib import Path
from typing import Callable, List, Optional

HERE = Path(__file__).resolve().parent
sys.path[:0] = [str(HERE), str(HERE.parents[1] / "tools"), str(HERE.parent / "controlfiles")]
import screen  # noqa: E402
import stand_in_library  # noqa: E402
import wine  # noqa: E402
from screen import ANY_ROWS, BAR_ROW  # noqa: E402

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
    wmi_name: str         # what WMI's Caption holds (the WMI branch shows it)
    kernel_name: str      # the kernel record's name (the other branch shows it)

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
    def service_pack_text(self):
        return f"SP{self.service_pack}" if self.service_pack else ""

    @property
    def enumeration(self):
        known = {(5, 0): 6, (5, 1): 7, (5, 2): 8, (6, 0): 9, (6, 1): 10}
        return known.get((self.major, self.minor), 0)

    def common_rows(self):
        return screen.common_rows(self.version_text, self.build, self.major, self.minor, self.enumeration)

    def report(self, bits):
        branch = screen.report_wmi_branch if self.enumeration else screen.report_kernel_branch
        return branch(self, bits)


WINDOWS_XP = Windows("5.1", "2600", 3, "WinNT", "Windows XP", "Windows XP Professional")
WINDOWS_7 = Windows("6.1", "7601", 1, "WinNT", "Windows 7", "Windows 7")
WINDOWS_81 = Windows("6.3", "9600", 0, "WinNT", "Windows 8.1", "Windows 8.1")
WINDOWS_10 = Windows("10.0", "19045", 0, "WinNT", "Windows 10", "Windows 10")
WINDOWS_11 = Windows("10.0", "22631", 0, "WinNT", "Windows 11", "Windows 11")
SERVER_2022 = Windows("10.0", "20348", 0, "ServerNT", "Windows Server 2022", "Windows Server 2022")


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
FOLDER = "folder"
WMI_UNREACHABLE = "wbemprox=d"


@dataclass(frozen=True)
class Scenario:
    name: str
    windows: Windows
    control: Optional[str]          # a control-file variant, FOLDER, or MISSING
    exit_code: int
    dll_overrides: str = ""
    animated_bars: int = 0          # progress bars that must be seen filling
    checks: List[Callable] = dataclass_field(default_factory=list)  # each (report) -> problem or None
    locked: bool = False            # another process holds the control file open, sharing nothing
    unreadable: bool = False        # the control file has no read permission
    registration: Optional[tuple] = None  # the stand-ins' registry entries (Entry...); None: as they are
    arguments: tuple = ()                 # Velmora's command line
    after_verdict: Optional[Callable] = None  # (target) -> the rows between the verdict's bar and the prompt


# --- Registration: the stand-ins' type library, and its entries in the registry ---------

LIBRARY = stand_in_library.read()  # what tests/controlfiles/ControlTypeLib.idl declares

# Where an entry points: the control file itself, written two ways, or another file.
HERE = "<the control file>"
SYSTEM32 = "%SystemRoot%\\System32\\MsComCtl.OCX"  # expandable; System32 is SysWOW64 to a 32-bit program
ELSEWHERE = "C:\\App\\MSCOMCTL.OCX"                  # an application's copy, there
GONE = "C:\\Old\\MSCOMCTL.OCX"                       # an old installer's path, no file


@dataclass(frozen=True)
class Entry:
    which: str               # "typelib" (its own version), "typelib 1.0" (another), "class 0", "class 1"
    path: str
    scope: str = "machine"   # or "user"

    def key(self):
        if self.which.startswith("typelib"):
            version = self.which.split(" ")[1] if " " in self.which else LIBRARY.version
            return f"Software\\Classes\\TypeLib\\{LIBRARY.id}\\{version}\\0\\win32"
        return f"Software\\Classes\\CLSID\\{LIBRARY.classes[int(self.which.split(' ')[1])]}\\InprocServer32"

    def written(self, target):
        """The text the registry holds for it."""
        return target.control_path if self.path == HERE else self.path

    def value(self, target):
        """As a .reg file line states it."""
        if self.path == SYSTEM32:
            return "hex(2):" + ",".join(f"{b:02x}" for b in (SYSTEM32 + "\0").encode("utf-16-le"))
        return '"' + self.written(target).replace("\\", "\\\\") + '"'


def all_entries(path, scope="machine"):
    return (Entry("typelib", path, scope), Entry("class 0", path, scope), Entry("class 1", path, scope))


HIVES = {"machine": "HKEY_LOCAL_MACHINE", "user": "HKEY_CURRENT_USER"}


def register(target, entries, scratch):
    """The stand-ins' registration as `entries` say and nothing else: their keys are
    first removed from both hives, as stored in either view, then the entries are
    written as a 32-bit regsvr32 writes them. The files they name are made to match."""
    prefix = target.prefix
    doomed = []
    for hive in HIVES.values():
        for classes in ("Software\\Classes", "Software\\Classes\\Wow6432Node"):
            doomed.append(f"[-{hive}\\{classes}\\TypeLib\\{LIBRARY.id}]\n")
            doomed += [f"[-{hive}\\{classes}\\CLSID\\{c}]\n" for c in LIBRARY.classes]
    prefix.import_registry(doomed, scratch, "the stand-ins' keys removed")
    if entries:
        prefix.import_registry([f"[{HIVES[e.scope]}\\{e.key()}]\n@={e.value(target)}\n" for e in entries], scratch,
                               "the stand-ins' registration", as_32_bit_program=True)
    copy = prefix.path / "drive_c" / "App" / "MSCOMCTL.OCX"
    copy.parent.mkdir(exist_ok=True)
    shutil.copyfile(target.build / "controlfiles" / "valid" / "MsComCtl.OCX", copy)
    shutil.rmtree(prefix.path / "drive_c" / "Old", ignore_errors=True)


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


SCENARIOS = [
    # The control-file check, on Windows 7.
    Scenario("valid", WINDOWS_7, "valid", 0, animated_bars=4),
    Scenario("product-version-differs", WINDOWS_7, "product-differs", 0),
    Scenario("larger-than-two-reads", WINDOWS_7, "large", 0),
    Scenario("version-and-crc-differ", WINDOWS_7, "other-version", 1),
    Scenario("version-differs", WINDOWS_7, "other-version-crc-ok", 1),
    Scenario("crc-differs", WINDOWS_7, "other-crc", 1),
    Scenario("no-version-resource", WINDOWS_7, "no-version", 1),
    Scenario("empty-file", WINDOWS_7, "empty", 1),
    Scenario("missing", WINDOWS_7, MISSING, 2, animated_bars=1),
    Scenario("folder-in-its-place", WINDOWS_7, FOLDER, 2),
    # The report on later Windows: the kernel record names them.
    Scenario("windows-10", WINDOWS_10, MISSING, 2),
    Scenario("windows-11", WINDOWS_11, MISSING, 2),
    Scenario("windows-server-2022", SERVER_2022, MISSING, 2),
    Scenario("windows-8.1", WINDOWS_81, MISSING, 2),
    # WMI unreachable: the error ends the run before anything of the report shows.
    Scenario("wmi-unreachable", WINDOWS_7, MISSING, 3, dll_overrides=WMI_UNREACHABLE, checks=[names_wmi]),
    # Held open by another process, or unreadable: neither read gets through, the verdict follows.
    Scenario("locked-by-another-process", WINDOWS_7, "valid", 1, locked=True, arguments=("/registration",),
             after_verdict=lambda target: ["", "Test registration MsComCtl.OCX", screen.ANY_ROWS,
                                           "Another program holds the file (an installer, an antivirus scanner): close it, t",
                                           "hen run Velmora again."]),
    Scenario("no-read-permission", WINDOWS_7, "valid", 1, unreadable=True),
    # The registration: a plain run's screen is what it always was, registered or not;
    # /registration adds its rows after the verdict.
    Scenario("plain-run-of-a-registered-file", WINDOWS_7, "valid", 0, registration=all_entries(HERE)),
    Scenario("registration-shown", WINDOWS_7, "valid", 0, arguments=("/registration",),
             registration=(Entry("typelib", HERE), Entry("class 0", ELSEWHERE, "user"), Entry("typelib 1.0", GONE)),
             after_verdict=registration_rows(
                 "Registration: partly registered",
                 f"Class {LIBRARY.classes[0]} points to {ELSEWHERE} (per user)",
                 f"Class {LIBRARY.classes[1]} is not registered",
                 f"Type library {LIBRARY.id} 1.0 (another version) points to {GONE} (per machine), which is not there",
                 "Entries of this account's own win over the machine's, and regsvr32 does not change them: as this "
                 f'user, not as an administrator, run reg delete "HKCU\\Software\\Classes\\CLSID\\{LIBRARY.classes[0]}" /f, '
                 "then run Velmora again; if it is still not registered, <run>")),
]
REGISTERED_SHOWN = Scenario("registered-shown", WINDOWS_7, "valid", 0, arguments=("/registration",),
                            registration=all_entries(SYSTEM32),
                            after_verdict=registration_rows("Registration: registered"))

# The x86 build, as a 32-bit program on a 64-bit Windows and on a 32-bit Windows:
# the control-file outcomes, one Windows of each report branch, WMI unreachable.
X86_COMMON = [s for s in SCENARIOS if s.name in (
    "valid", "version-differs", "crc-differs", "missing", "folder-in-its-place", "windows-10", "wmi-unreachable")]
X86_ON_WINDOWS_64 = X86_COMMON
X86_ON_WINDOWS_32 = X86_COMMON + [Scenario("windows-xp", WINDOWS_XP, MISSING, 2), REGISTERED_SHOWN]


def expected_rows(target, scenario):
    """What the screen must show: follows from the Windows, the file and the exit code."""
    rows = screen.header(target.version)
    if scenario.exit_code == 3:
        return rows[:6]  # the error ends the run before the report is written
    rows += scenario.windows.report(target.windows_bits)
    if scenario.control in (MISSING, FOLDER):
        return rows + screen.not_found(target.control_path)
    version, crc = target.control_variants()[scenario.control]
    if scenario.locked or scenario.unreadable:
        version, crc = "", "00000000"  # what the reads give for a file they cannot open
    verdict = (["Version fail"] if version != REQUIRED_VERSION else []) + (["CRC32 fail"] if crc != REQUIRED_CRC else [])
    verdict.append("Supplement is valid" if not verdict else "Supplement is fail")
    after = scenario.after_verdict(target) if scenario.after_verdict else ()
    return rows + screen.checked(target.control_path, version, crc, verdict, after)


# --- Running one scenario ---------------------------------------------------------

def set_up_machine(target, scenario, scratch):
    """The simulated Windows as the scenario wants it; the control file's host path."""
    prefix = target.prefix
    w = scenario.windows
    prefix.set_windows_version(w.version, w.build, w.service_pack, w.product_type, scratch)
    if scenario.registration is not None:
        register(target, scenario.registration, scratch)
    if scenario.control is MISSING:
        prefix.remove_control_file()
    elif scenario.control == FOLDER:
        prefix.place_control_folder(target.windows_bits)
    else:
        source = target.build / "controlfiles" / scenario.control / "MsComCtl.OCX"
        return prefix.place_control_file(source, target.windows_bits)
    return None


def run_harness(target, report_path, dll_overrides="", lock=None, arguments=()):
    """Velmora.exe through the harness, with `arguments`; the harness's report, as text."""
    report_path.unlink(missing_ok=True)
    args = [target.harness, "--timeout", "60", "--out", wine.winpath(report_path)]
    if lock:
        args += ["--lock", wine.winpath(lock)]
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
        enter = report.get("enter_to_exit_ms")
        if enter is None or int(enter) >= 1000:
            problems.append(f"from Enter to exit: {enter or 'never'} ms, expected under 1000")
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
    """At least `minimum` bars were seen at 3 lengths or more before they were whole;
    each took about the 2.1 s of its 70 pauses of 30 ms, checked loosely."""
    if not minimum:
        return []
    animated = [ms for partial, ms in report.bars() if partial >= 3]
    problems = []
    if len(animated) < minimum:
        problems.append(f"expected {minimum} animated progress bar(s), saw {len(animated)}")
    problems += [f"a progress bar took {ms} ms to fill, expected about 2100" for ms in animated
                 if ms < 1500 or ms > 10000]
    return problems


# --- Unattended runs: the JSON result --------------------------------------------------

QUIET_SCENARIOS = [s for s in SCENARIOS if s.name in (
    "valid", "crc-differs", "missing", "folder-in-its-place", "wmi-unreachable", "locked-by-another-process")]
RESULT_NAMES = {0: "valid", 1: "fail", 2: "missing", 3: "error"}


def json_problems(result, target, scenario):
    """The JSON result against the expectations the screen scenarios use."""
    problems = []

    def expect(what, actual, wanted):
        if actual != wanted:
            problems.append(f"{what}: {actual!r}, expected {wanted!r}")

    expect("schema", result.get("schema"), 1)
    expect("tool", result.get("tool"), "Velmora")
    expect("version", result.get("version"), target.version)
    expect("result", result.get("result"), RESULT_NAMES[scenario.exit_code])
    expect("exitCode", result.get("exitCode"), scenario.exit_code)
    if scenario.exit_code == 3:
        for name in ("windowsFolder", "controlFile", "report"):
            expect(name, result.get(name), None)
        error = result.get("error") or {}
        if not re.fullmatch(r"0x[0-9A-F]{8}", str(error.get("number"))):
            problems.append(f"error number: {error.get('number')!r}")
        if "winmgmts:" not in str(error.get("description")):
            problems.append(f"error description: {error.get('description')!r}")
        return problems
    expect("error", result.get("error"), None)
    expect("windowsFolder", result.get("windowsFolder"), "C:\\windows")
    control = result.get("controlFile") or {}
    found = scenario.control not in (MISSING, FOLDER)
    version, crc = target.control_variants()[scenario.control] if found else (None, None)
    read_error = None
    if scenario.locked:  # the file is there, but no read gets through: a sharing violation
        version, crc = "", "00000000"
        read_error = {"number": "0x80070020", "description": (control.get("readError") or {}).get("description")}
    expect("controlFile", control, {"path": target.control_path, "found": found, "version": version, "crc32": crc,
                                    "readError": read_error, "expectedVersion": REQUIRED_VERSION,
                                    "expectedCrc32": REQUIRED_CRC})
    rows = [screen.field(row["label"] + ": ", row["value"]) for row in result.get("report") or []]
    difference = screen.compare_rows(scenario.windows.report(target.windows_bits)[2:], rows, "report row")
    if difference:
        problems.append(difference)
    return problems


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

    def run_direct(self, arguments, pipe_output=False, dll_overrides=""):
        """Velmora.exe without the harness; its exit code, its standard output and error."""
        return self.target.prefix.run_captured([self.target.exe] + list(arguments), self.scratch, pipe_output,
                                               dll_overrides=dll_overrides, loader=self.target.loader)

    def test_quiet_runs_write_the_result_and_open_nothing(self):
        for scenario in QUIET_SCENARIOS:
            with self.subTest(scenario.name):
                control = set_up_machine(self.target, scenario, self.scratch)
                result_path = self.result_path("quiet-" + scenario.name)
                report = screen.Report(run_harness(
                    self.target, self.scratch / f"quiet-{scenario.name}.txt", scenario.dll_overrides,
                    control if scenario.locked else None, ["/quiet", "/json", wine.winpath(result_path)]))
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

    def test_interactive_run_with_json_shows_the_screen_and_writes_the_same_result(self):
        valid = SCENARIOS[0]
        set_up_machine(self.target, valid, self.scratch)
        interactive = self.result_path("interactive")
        report = screen.Report(run_harness(self.target, self.scratch / "interactive.txt",
                                           arguments=["/json", wine.winpath(interactive)]))
        self.assertFalse(problems_with(report, self.target, valid))
        quiet = self.result_path("quiet-to-compare")
        code, _, _ = self.run_direct(["/quiet", "/json", wine.winpath(quiet)])
        self.assertEqual(code, 0)
        self.assertEqual(json.loads(interactive.read_bytes()), json.loads(quiet.read_bytes()))

    def test_a_wrong_switch_checks_nothing(self):
        result_path = self.result_path("wrong-switch")
        code, _, err = self.run_direct(["/quiet", "/json", wine.winpath(result_path), "/bogus"])
        self.assertEqual(code, 4)
        self.assertIn('unknown switch "/bogus"', err)
        self.assertIn("Velmora.exe /quiet", err)
        self.assertFalse(result_path.exists())

    def test_a_result_in_a_missing_folder_is_an_error(self):
        folder = self.scratch / "no-such-folder"
        code, _, err = self.run_direct(["/quiet", "/json", wine.winpath(folder / "out.json")])
        self.assertEqual(code, 3)
        self.assertIn("Writing the result to", err)
        self.assertFalse(folder.exists())
        self.assertFalse([p for p in self.scratch.iterdir() if p.name.lower().startswith("vel")], "a temporary file")

    def test_a_damaged_version_resource_keeps_its_verdict(self):
        # The version resource's root marked as text (its wType): once a crash in the
        # system's reader, now the verdict's exit code and a result that parses.
        damaged = bytearray((self.target.build / "controlfiles" / "valid" / "MsComCtl.OCX").read_bytes())
        damaged[damaged.index("VS_VERSION_INFO".encode("utf-16-le")) - 2] = 1
        (control := self.scratch / "root-as-text.ocx").write_bytes(bytes(damaged))
        self.target.prefix.place_control_file(control, self.target.windows_bits)
        result_path = self.result_path("root-as-text")
        code, _, err = self.run_direct(["/quiet", "/json", wine.winpath(result_path), "/timeout", "60"])
        result = json.loads(result_path.read_bytes().decode("utf-8"))
        self.assertEqual((code, result["exitCode"], result["controlFile"]["version"]), (1, 1, ""), err)

    def test_a_result_path_past_max_path(self):
        folder = Path(self.scratch, *["d" * 40] * 8)  # over 300 characters
        folder.mkdir(parents=True, exist_ok=True)
        set_up_machine(self.target, SCENARIOS[0], self.scratch)
        code, _, err = self.run_direct(["/quiet", "/json", wine.winpath(folder / "result.json")])
        self.assertEqual((code, json.loads((folder / "result.json").read_bytes())["exitCode"]), (0, 0), err)
        self.assertEqual([p.name for p in folder.iterdir()], ["result.json"], "a temporary file left behind")

    def test_another_control_whose_dependency_is_missing(self):
        set_up_machine(self.target, SCENARIOS[0], self.scratch)
        (self.target.prefix.path / "drive_c" / "App").mkdir(exist_ok=True)  # the copy of register() is there
        shutil.copy(self.target.build / "controlfiles" / "grid" / "VelmoraGrid.ocx", self.target.prefix.path / "drive_c" / "App")
        result_path = self.result_path("grid")
        code, _, err = self.run_direct(["/quiet", "/control", "C:\\App\\VelmoraGrid.ocx", "/json", wine.winpath(result_path)])
        result = json.loads(result_path.read_bytes())
        self.assertEqual((code, result["result"], [d["name"] for d in result["registration"]["dependencies"]]),
                         (1, "will not load", ["VelmoraMissingHelper.dll"]), err)

    def test_a_64_bit_office_is_named(self):
        key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Office\\ClickToRun\\Configuration"
        set_up_machine(self.target, SCENARIOS[0], self.scratch)
        self.target.prefix.import_registry([f'[{key}]\n"Platform"="x64"\n'], self.scratch, "a 64-bit Office")
        self.addCleanup(self.target.prefix.import_registry, [f"[-{key}]\n"], self.scratch, "no Office")
        result_path = self.result_path("office-64")
        code, _, err = self.run_direct(["/quiet", "/json", wine.winpath(result_path)])
        office = json.loads(result_path.read_bytes())["registration"]["office"]
        self.assertEqual((code, office), (0, [{"version": "16.0", "bitness": "x64", "source": "Click-to-Run"}]), err)

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


# --- Registration, as the JSON result tells it --------------------------------------------

@dataclass(frozen=True)
class RegistrationCase:
    name: str
    entries: tuple   # Entry...
    state: str
    control: str = "valid"


REGISTRATION_CASES = [
    RegistrationCase("registered", all_entries(HERE), "registered"),
    RegistrationCase("not-registered", (), "not registered"),
    RegistrationCase("registered-elsewhere", all_entries(ELSEWHERE), "registered elsewhere"),
    RegistrationCase("type-library-alone", (Entry("typelib", HERE),), "partly registered"),
    RegistrationCase("per-user-over-per-machine", all_entries(HERE) + (Entry("class 1", ELSEWHERE, "user"),),
                     "partly registered"),
    RegistrationCase("system32-path", all_entries(SYSTEM32), "registered"),
    RegistrationCase("stale-other-version", all_entries(HERE) + (Entry("typelib 1.0", GONE),), "registered"),
    RegistrationCase("no-type-library", all_entries(HERE), "no type library", control="no-version"),
    RegistrationCase("damaged-type-library", all_entries(HERE), "no type library", control="damaged-typelib"),
]


def expected_entry(case, which, target):
    """An entry as the result must show it: the user's where there is one."""
    mine = [e for e in case.entries if e.which == which]
    chosen = next((e for e in mine if e.scope == "user"), mine[0] if mine else None)
    if chosen is None:
        return {"path": None, "scope": None, "here": False, "exists": False}
    return {"path": chosen.written(target), "scope": chosen.scope, "here": chosen.path in (HERE, SYSTEM32),
            "exists": chosen.path != GONE}


def registration_problems(result, target, case):
    found = result.get("registration")
    if not isinstance(found, dict):
        return [f"registration: {found!r}"]
    problems = []

    def expect(what, actual, wanted):
        if actual != wanted:
            problems.append(f"{what}: {actual!r}, expected {wanted!r}")

    expect("state", found.get("state"), case.state)
    if case.state == "no type library":
        for name, empty in (("typeLibrary", None), ("classes", []), ("otherVersions", [])):
            expect(name, found.get(name), empty)
    else:
        expect("typeLibrary", found.get("typeLibrary"),
               {"id": LIBRARY.id, "version": LIBRARY.version, **expected_entry(case, "typelib", target)})
        expect("classes", found.get("classes"),
               [{"id": c, **expected_entry(case, f"class {i}", target)} for i, c in enumerate(LIBRARY.classes)])
        others = sorted({e.which.split(" ")[1] for e in case.entries if e.which.startswith("typelib ")})
        expect("otherVersions", found.get("otherVersions"),
               [{"version": v, **expected_entry(case, f"typelib {v}", target)} for v in others])
    hint = found.get("hint")
    if case.state == "registered":
        expect("hint", hint, None)
    elif target.control_path not in str(hint) or "regsvr32.exe" not in str(hint):
        problems.append(f"hint names no command for {target.control_path}: {hint!r}")
    return problems


class RegistrationTests(OnTarget):
    """Quiet runs with /json, one per case, on Windows 7."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        w = WINDOWS_7
        cls.target.prefix.set_windows_version(w.version, w.build, w.service_pack, w.product_type, cls.scratch)

    def run_case(self, case):
        prefix = self.target.prefix
        source = self.target.build / "controlfiles" / case.control / "MsComCtl.OCX"
        prefix.place_control_file(source, self.target.windows_bits)
        register(self.target, case.entries, self.scratch)
        result_path = self.scratch / f"{case.name}.json"
        result_path.unlink(missing_ok=True)
        code, _, error = prefix.run_captured([self.target.exe, "/quiet", "/json", wine.winpath(result_path)],
                                             self.scratch, loader=self.target.loader)
        version, crc = self.target.control_variants()[case.control]
        self.assertEqual(code, 0 if (version, crc) == (REQUIRED_VERSION, REQUIRED_CRC) else 1, error)
        problems = registration_problems(json.loads(result_path.read_bytes().decode("utf-8")), self.target, case)
        self.assertFalse(problems, "\n".join(problems) + f"\n(result: {result_path})")
        if case.state == "not registered":  # reading the file's type library registered nothing
            for hive in HIVES.values():
                self.assertFalse(prefix.has_key(f"{hive}\\Software\\Classes\\TypeLib\\{LIBRARY.id}"), hive)


# --- The test cases ---------------------------------------------------------------

class ScenarioTests(OnTarget):
    """One test per scenario."""

    def run_case(self, scenario):
        if scenario.unreadable and os.geteuid() == 0:
            self.skipTest("run as root, Wine reads a file whatever its permission bits say")
        control = set_up_machine(self.target, scenario, self.scratch)
        if scenario.unreadable:
            control.chmod(0)
            self.addCleanup(control.chmod, 0o644)
        report_path = self.scratch / f"{scenario.name}.txt"
        lock = control if scenario.locked else None
        report = screen.Report(run_harness(self.target, report_path, scenario.dll_overrides, lock, scenario.arguments))
        if report.get("result") == "no-console":
            # Seen once in many runs under Wine: the console was never made, and the
            # program ran on without one. A program that cannot open one fails twice.
            print(f"\n{scenario.name}: no console came up; run once more", file=sys.stderr)
            report = screen.Report(
                run_harness(self.target, report_path, scenario.dll_overrides, lock, scenario.arguments))
        problems = problems_with(report, self.target, scenario)
        self.assertFalse(problems, "\n".join(problems) + f"\n(report: {report_path})")


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
    found = {
        "x64": [make_class("X64OnWindows64", ScenarioTests, on("x64"), SCENARIOS[0::2])],
        "x64-more": [make_class("X64OnWindows64More", ScenarioTests, on("x64-more"), SCENARIOS[1::2])],
        "unattended": [UnattendedTests,
                       make_class("RegistrationX64OnWindows64", RegistrationTests, on("unattended"), REGISTRATION_CASES)],
    }
    if build32:
        build32 = Path(build32).resolve()
        x86_on_64 = on("unattended", exe=build32, exe_bits=32)
        x86_on_32 = on("x86-on-32", "win32", 32, build32, 32)
        found["unattended"] += [make_class("X86OnWindows64", ScenarioTests, x86_on_64, X86_ON_WINDOWS_64),
                                make_class("RegistrationX86OnWindows64", RegistrationTests, x86_on_64,
                                           REGISTRATION_CASES)]
        found["x86-on-32"] = [make_class("X86OnWindows32", ScenarioTests, x86_on_32, X86_ON_WINDOWS_32),
                              make_class("RegistrationX86OnWindows32", RegistrationTests, x86_on_32,
                                         REGISTRATION_CASES)]
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
