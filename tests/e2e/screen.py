"""What Velmora must show, row by row, and how a harness report is read and compared.

Expected rows are a list whose items are:
  a str          the row is exactly this (trailing spaces cut)
  Like(regex)    the row matches the regular expression, whole (system-dependent rows)
  ANY_ROWS       any number of rows, up to the first that matches the next item;
                 as the last item: whatever rows follow
Without a closing ANY_ROWS the screen must have no further non-empty rows.
"""

import re
from dataclasses import dataclass

VALUE_COLUMN = 32  # the report's TABs bring every value here


@dataclass(frozen=True)
class Like:
    pattern: str

    def matches(self, row):
        return re.fullmatch(self.pattern, row) is not None

    def __str__(self):
        return "~" + self.pattern


ANY_ROWS = object()


def row_matches(expected, row):
    return expected.matches(row) if isinstance(expected, Like) else row == expected.rstrip(" ")


def compare_rows(expected, actual, what="row"):
    """The first difference, as text; None when the rows match."""
    actual = list(actual)
    while actual and not actual[-1]:
        actual.pop()  # trailing empty rows are not rows the program wrote
    i = j = 0
    while i < len(expected):
        item = expected[i]
        if item is ANY_ROWS:
            i += 1
            if i == len(expected):
                return None
            while j < len(actual) and not row_matches(expected[i], actual[j]):
                j += 1
            if j == len(actual):
                return f"no {what} after {what} {j} is '{expected[i]}'"
            continue
        if j >= len(actual):
            return f"{what} {j + 1} missing, expected '{item}'"
        if not row_matches(item, actual[j]):
            return f"{what} {j + 1} differs\n  expected '{item}'\n  actual   '{actual[j]}'"
        i += 1
        j += 1
    if j < len(actual):
        return f"{what} {j + 1} not expected: '{actual[j]}'"
    return None


class Report:
    """The harness's report: one fact a line, "key|value"."""

    def __init__(self, text):
        self.lines = [line.split("|", 1) for line in text.splitlines() if "|" in line]

    def all(self, key):
        return [value for k, value in self.lines if k == key]

    def get(self, key, default=None):
        values = self.all(key)
        return values[0] if values else default

    def bars(self):
        """(partial lengths seen, ms to fill) of each progress bar."""
        return [(int(bar.split("|")[1]), int(bar.split("|")[2])) for bar in self.all("bar")]


# --- Rows --------------------------------------------------------------------------

def field(label, value):
    """A report row: the label's TABs bring the value to column 32."""
    return (label.ljust(VALUE_COLUMN) + value).rstrip(" ")


def field_like(label, pattern):
    """A report row whose value is the system's own."""
    return Like(re.escape(label.rstrip(" ")) + " {%d}" % (VALUE_COLUMN + 1 - len(label)) + "(?:" + pattern + ")")


def field_any(label):
    """A report row whose value, maybe empty, is the system's own."""
    return Like(re.escape(label.rstrip(" ")) + "(?: {%d}.*)?" % (VALUE_COLUMN + 1 - len(label)))


FRAME_ROW = "-" * 80
BAR_ROW = "|" + "-" * 69 + "|"


def header(version):
    return [
        FRAME_ROW,
        "-----                  Velmora Software Workshop ver. " + version + "              -----",
        "-----                         www.velmora-tool.org                         -----",
        "-----               ActiveX add-in checker, MsComCtl.OCX file              -----",
        FRAME_ROW,
        "The program tests the version of installed ActiveX add-on, MsComCtl.OCX file",
        "",
    ]


def common_rows(version, build, major, minor, enumeration):
    """The rows every report variant ends with."""
    return [
        field("GetOSVerEnum(): ", str(enumeration)),
        field_like("Install date: ", r"[0-9]{1,2}/[0-9]{1,2}/[0-9]{4}( [0-9]{1,2}:[0-9]{2}:[0-9]{2}( [AP]M)?)?"),
        field_any("Licenced user: "),
        field_any("Registered user: "),
        field_any("Serial number: "),
        field_any("Organization: "),
        field_like("Product set: ", "[0-9]+"),
        field("Platform ID: ", "2"),
        field("Main version: ", str(major)),
        field("Second version: ", str(minor)),
        field_like("ServicePack main version: ", "[0-9]+"),
        field_like("ServicePack second version: ", "[0-9]+"),
        field("Version OS: ", version),
        field("Build OS: ", build),
        field_like("Language version: ", "[0-9]+"),
        field_like("Type OS: ", "[0-9]+"),
        field_like("Set code: ", "[0-9]+"),
        field_like("Country code: ", "[0-9]+"),
        field_any("Encryption level: "),
        field_any("Build type: "),
        field_any("Boot drive: "),
    ]


def report_wmi_branch(windows, bits):
    """Systems the version enumeration knows (XP to 7): name and version from WMI."""
    return ["About OS Windows", BAR_ROW,
            field_like("OS: ", ".*" + re.escape(windows.wmi_name) + ".*"),
            field("Version OS: ", windows.version_text),
            field("Bit version: ", f"{bits}bit")] + windows.common_rows()


def not_found(path):
    return [field("Windows folder: ", "C:\\windows"), "", "Test ActiveX file .OCX", BAR_ROW,
            f"File {path} not found", "", "", "Press Enter to exit"]


def checked(path, version, crc, verdict_lines, after_verdict=()):
    """A run that reached the verdict; `after_verdict`, the rows between its bar and the prompt."""
    return [field("Windows folder: ", "C:\\windows"), "", "Test ActiveX file .OCX", BAR_ROW, f"File {path} found",
            "", "Test version MsComCtl.OCX", BAR_ROW, ("Version is " + version).rstrip(" "),
            "", "Test CRC32 MsComCtl.OCX", BAR_ROW, "CRC32 is " + crc, ""] + list(verdict_lines) + [
            BAR_ROW] + list(after_verdict) + ["", "", "Press Enter to exit"]
