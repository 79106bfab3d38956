"""What the stand-in control files' type library declares (ControlTypeLib.idl): the
library's uuid and version come first, then one uuid per class; the classes that
can't be created are left out. The one reader of the IDL: the build's configuration
(ControlFiles.cmake) runs it, the end-to-end runner imports it. Standard library only.

    python3 stand_in_library.py    prints LIBID;MAJOR.MINOR;CLSID;... (a CMake list)
"""

import re
from pathlib import Path
from typing import NamedTuple

IDL = Path(__file__).resolve().with_name("ControlTypeLib.idl")


class Library(NamedTuple):
    id: str          # the LIBID; every GUID as "{...}" in upper case
    major: int
    minor: int
    classes: tuple   # the creatable classes' CLSIDs, in the library's order

    @property
    def version(self):
        """As the registry names its key: major.minor in hexadecimal."""
        return f"{self.major:x}.{self.minor:x}"


def read(idl=IDL):
    declared = re.findall(r"\[uuid\(([0-9A-Fa-f-]+)\)([^\]]*)\]", Path(idl).read_text())
    major, minor = (int(number) for number in re.search(r"version\((\d+)\.(\d+)\)", declared[0][1]).groups())
    return Library("{%s}" % declared[0][0].upper(), major, minor,
                   tuple("{%s}" % uuid.upper() for uuid, rest in declared[1:] if "noncreatable" not in rest))


if __name__ == "__main__":
    library = read()
    print(";".join([library.id, f"{library.major}.{library.minor}", *library.classes]), end="")
