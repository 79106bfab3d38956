#!/usr/bin/env python3
"""Builds the DLLs of the loader's matrix (tests/win32/LoadingTest.cpp) with the MinGW
compiler and linker, each for this build's processor, and other.dll also for the
other one:

    make_layouts.py OUT_DIR OWN_TRIPLE OTHER_TRIPLE

OWN_TRIPLE and OTHER_TRIPLE name the toolchains (x86_64-w64-mingw32, i686-w64-mingw32).
The import libraries of DLLs no layout holds, or that export less than an importer
asks for, come from .def files through dlltool. A DLL that delay-loads is linked by
LLVM's linker in its MinGW mode (ld.lld, with llvm-dlltool's import libraries): GNU ld
writes a delay-import table without its data directory or its end.
"""
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))

DEFS = {
    "dep": "LIBRARY dep.dll\nEXPORTS\nDepAlpha @1\nDepBeta @2\n",
    # What no dep.dll exports: a name, and an ordinal without one.
    "depextra": "LIBRARY dep.dll\nEXPORTS\nDepGamma\nDepNine @9 NONAME\n",
    "absent": "LIBRARY absent.dll\nEXPORTS\nAbsentFn\n",
    "cyca": "LIBRARY cyca.dll\nEXPORTS\nCycA\n",
    "cycb": "LIBRARY cycb.dll\nEXPORTS\nCycB\n",
}

# name: (exports, imports as (function, import library), the DLL manifest's assembly)
DLLS = [
    ("dep", ("DepAlpha", "DepBeta"), [], None),
    ("deep", ("DeepFn",), [], None),
    ("helper", ("HelperFn",), [("DeepFn", "deep")], None),
    ("other", ("OtherFn",), [], None),
    ("cyca", ("CycA",), [("CycB", "cycb")], None),
    ("cycb", ("CycB",), [("CycA", "cyca")], None),
    ("priv", ("PrivFn",), [], None),
    ("ctl_missing", ("CtlFn",), [("AbsentFn", "absent")], None),
    ("ctl_beside", ("CtlFn",), [("DepAlpha", "dep")], None),
    ("ctl_second", ("CtlFn",), [("HelperFn", "helper")], None),
    ("ctl_other", ("CtlFn",), [("OtherFn", "other")], None),
    ("ctl_export_name", ("CtlFn",), [("DepGamma", "depextra")], None),
    ("ctl_export_ordinal", ("CtlFn",), [("DepNine", "depextra")], None),
    ("ctl_delay", ("CtlFn",), [("AbsentFn", "absent.delay")], None),
    ("ctl_merge", ("CtlFn",), [("DeepFn", "deep.delay"), ("HelperFn", "helper")], None),
    ("ctl_cycle", ("CtlFn",), [("CycA", "cyca")], None),
    ("ctl_private", ("CtlFn",), [("PrivFn", "priv")], "Velmora.Private"),
    ("ctl_noassembly", ("CtlFn",), [("DepAlpha", "dep")], "Velmora.Absent"),
]

MANIFEST = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">
  <dependency><dependentAssembly>
    <assemblyIdentity type="win32" name="{name}" version="1.0.0.0" processorArchitecture="{arch}"/>
  </dependentAssembly></dependency>
</assembly>
"""

PRIVATE_ASSEMBLY = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">
  <assemblyIdentity type="win32" name="Velmora.Private" version="1.0.0.0" processorArchitecture="{arch}"/>
  <file name="priv.dll"/>
</assembly>
"""


def run(*args):
    subprocess.run(args, check=True)


def tool(triple, name):
    for candidate in (f"{triple}-{name}-win32", f"{triple}-{name}"):
        if shutil.which(candidate):
            return candidate
    sys.exit(f"make_layouts.py: no {triple}-{name}")


def build(out, triple, arch):
    cc, dlltool, windres = tool(triple, "gcc"), tool(triple, "dlltool"), tool(triple, "windres")
    wide = triple.startswith("x86_64")
    entry = "DllMain" if wide else "_DllMain@12"
    work = os.path.join(out, "work")
    os.makedirs(work, exist_ok=True)
    for name, text in DEFS.items():
        definition = os.path.join(work, name + ".def")
        open(definition, "w").write(text)
        if name in ("depextra", "absent", "cyca", "cycb"):
            run(dlltool, "-d", definition, "-l", os.path.join(work, f"lib{name}.a"))
    for name, exports, imports, assembly in DLLS:
        source = ["-DEXPORT_A=" + exports[0]] + (["-DEXPORT_B=" + exports[1]] if len(exports) > 1 else [])
        for (function, _), macro in zip(imports, ("USE_A", "USE_B")):
            source.append("-D" + macro + "=" + function)
        extra = []
        if assembly:
            manifest = os.path.join(work, name + ".manifest")
            open(manifest, "w").write(MANIFEST.format(name=assembly, arch=arch))
            script = os.path.join(work, name + ".rc")
            open(script, "w").write(f'2 24 "{manifest}"\n')
            run(windres, script, "-o", os.path.join(work, name + ".res.o"))
            extra.append(os.path.join(work, name + ".res.o"))
        target = os.path.join(out, name + ".dll")
        delayed = [library[:-len(".delay")] for _, library in imports if library.endswith(".delay")]
        if not delayed:
            libraries = [os.path.join(work, f"lib{library}.a") for _, library in imports]
            definition = [os.path.join(work, name + ".def")] if name in DEFS else []
            run(cc, "-shared", "-nostdlib", "-O2", "-s", "-o", target, os.path.join(HERE, "Layout.c"), *source,
                *definition, *libraries, *extra, "-Wl,-e," + entry, "-Wl,--no-insert-timestamp",
                "-Wl,--out-implib," + os.path.join(work, f"lib{name}.a"))
            continue
        obj = os.path.join(work, name + ".o")
        run(cc, "-c", "-O2", "-o", obj, os.path.join(HERE, "Layout.c"), *source)
        libraries = []
        for _, library in imports:
            dll = library.split(".")[0]
            short = os.path.join(work, f"lib{dll}.llvm.a")
            definition = os.path.join(work, dll + ".def")
            if not os.path.exists(definition):
                write_def(work, dll)
            run("llvm-dlltool", "-m", "i386:x86-64" if wide else "i386", "-d", definition, "-l", short)
            libraries.append(short)
        run("ld.lld", "-m", "i386pep" if wide else "i386pe", "-shared", "-s", "--no-insert-timestamp", "-o", target,
            obj, *libraries, *extra, *[f"--delayload={dll}.dll" for dll in delayed], "-e", entry,
            f"-L/usr/{triple}/lib", "-lmingwex", "-lkernel32")
    open(os.path.join(out, "Velmora.Private.manifest"), "w").write(PRIVATE_ASSEMBLY.format(arch=arch))


def write_def(work, name):
    """A .def file of a DLL the layouts build, for its delay-import library."""
    exports = next(exports for dll, exports, _, _ in DLLS if dll == name)
    path = os.path.join(work, name + ".def")
    open(path, "w").write(f"LIBRARY {name}.dll\nEXPORTS\n" + "".join(f"{e}\n" for e in exports))
    return path


def arch_of(triple):
    return "amd64" if triple.startswith("x86_64") else "x86"


def main():
    out, own, other = sys.argv[1:4]
    os.makedirs(out, exist_ok=True)
    build(out, own, arch_of(own))
    # other.dll for the other processor, in a folder of its own.
    foreign = os.path.join(out, "foreign")
    cc = tool(other, "gcc")
    os.makedirs(foreign, exist_ok=True)
    entry = "DllMain" if other.startswith("x86_64") else "_DllMain@12"
    run(cc, "-shared", "-nostdlib", "-O2", "-s", "-o", os.path.join(foreign, "other.dll"), os.path.join(HERE, "Layout.c"),
        "-DEXPORT_A=OtherFn", "-Wl,-e," + entry, "-Wl,--no-insert-timestamp")
    shutil.rmtree(os.path.join(out, "work"))


if __name__ == "__main__":
    main()
