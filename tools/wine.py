"""The one manager of our simulated Windows: Wine prefixes (made once, a 64-bit one
brought up to date for 32-bit Wine, their servers kept or ended), the settings every
program of ours runs under, a virtual display, and, for the end-to-end tests, the
Windows version a prefix reports and the control file in its system folder.
Standard library only.

The end-to-end runner imports it; the shell scripts call it through
tools/wine-env.sh (`python3 tools/wine.py COMMAND`, see main()).

Every wait is bounded: a Wine that hangs fails the run instead of stopping it.
"""

import os
import shlex
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

# No Mono or Gecko installers: the prefixes never need them. No debugger: a program
# that crashes ends at once, rather than waiting for one.
BASE_DLL_OVERRIDES = "mscoree,mshtml,winedbg.exe="


def winpath(path):
    """A host path as a Windows program under Wine sees it (Z: is the host's /)."""
    return "Z:" + str(path).replace("/", "\\")


class Display:
    """A virtual X display of our own (Wine's console window needs one)."""

    def __init__(self):
        self.process = None
        self.name = None

    def start(self):
        with tempfile.TemporaryFile() as number:
            self.process = subprocess.Popen(
                ["Xvfb", "-displayfd", str(number.fileno()), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, pass_fds=(number.fileno(),))
            for _ in range(100):
                number.seek(0)
                text = number.read().decode().strip()
                if text:
                    self.name = ":" + text
                    return self.name
                time.sleep(0.1)
        self.stop()
        raise RuntimeError("Xvfb did not tell its display number")

    def stop(self):
        if self.process:
            self.process.kill()
            self.process.wait(timeout=10)
            self.process = None


def read_what_is_there(pipe):
    """What a pipe holds now, without waiting for its end; the pipe is closed."""
    os.set_blocking(pipe.fileno(), False)
    chunks = []
    try:
        while True:
            chunk = os.read(pipe.fileno(), 65536)
            if not chunk:
                break
            chunks.append(chunk)
    except BlockingIOError:
        pass
    pipe.close()
    return b"".join(chunks)


def loader_for(bits):
    """Wine's loader for programs of this many bits (Debian: wine64, and wine32's wine)."""
    loader = "/usr/lib/wine/wine64" if bits == 64 else "/usr/lib/wine/wine"
    if not os.path.exists(loader):
        loader = shutil.which("wine64" if bits == 64 else "wine") or loader
    return loader


class Prefix:
    """One simulated Windows: a Wine prefix made once, its loader and its folders.

    arch is "win64" (made by the 64-bit loader; with 32-bit Wine present it runs 32-bit
    programs under WoW64) or "win32" (made and run by the 32-bit loader).
    """

    def __init__(self, path, arch, display):
        self.path = Path(path)
        self.arch = arch
        self.display = display
        self.windows_version = None  # as set_windows_version last set it
        self.loader = loader_for(64 if arch == "win64" else 32)
        self.wineserver = os.path.join(os.path.dirname(self.loader), "wineserver")
        if not os.path.exists(self.wineserver):
            self.wineserver = shutil.which("wineserver") or self.wineserver

    def settings(self, dll_overrides="", loader=None):
        """What every program of ours runs in this prefix with: its loader, the prefix,
        Wine's messages off (unless WINEDEBUG says otherwise) and the DLL overrides."""
        return {"WINE": loader or self.loader, "WINEPREFIX": str(self.path), "WINEARCH": self.arch,
                "WINEDEBUG": os.environ.get("WINEDEBUG", "-all"),
                "WINEDLLOVERRIDES": BASE_DLL_OVERRIDES + (";" + dll_overrides if dll_overrides else "")}

    def env(self, dll_overrides=""):
        env = dict(os.environ)
        env.update(self.settings(dll_overrides), DISPLAY=self.display)
        return env

    def run(self, args, timeout=120, dll_overrides="", log=None, loader=None):
        """A Windows program through this prefix's loader (or the one given); its output
        goes to a file, never a pipe (Wine's background processes may keep one open)."""
        out = open(log, "wb") if log else subprocess.DEVNULL
        try:
            return subprocess.run([loader or self.loader] + [str(a) for a in args], env=self.env(dll_overrides),
                                  stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                                  timeout=timeout).returncode
        finally:
            if log:
                out.close()

    def run_captured(self, args, scratch, pipe_output=False, timeout=60, dll_overrides="", loader=None, cwd=None):
        """A Windows program's exit code, standard output and standard error. The error
        goes through a file; the output through a pipe when asked (else nowhere), read
        once the program has ended: a background process of Wine's, started by it,
        may hold the pipe open for as long as the prefix's server runs. `cwd`, a host
        folder, is the program's current folder."""
        error_path = Path(scratch) / "stderr.txt"
        with open(error_path, "wb") as error:
            process = subprocess.Popen([loader or self.loader] + [str(a) for a in args], env=self.env(dll_overrides),
                                       stdin=subprocess.DEVNULL, stderr=error, cwd=cwd,
                                       stdout=subprocess.PIPE if pipe_output else subprocess.DEVNULL)
            try:
                code = process.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
                raise
            finally:
                output = read_what_is_there(process.stdout) if pipe_output else b""
        return code, output, error_path.read_text(encoding="utf-8", errors="replace")

    def make(self, template=None):
        """Makes the prefix once: as a copy of `template`, a prefix of the same
        architecture that no server runs (quicker), or anew."""
        if not (self.path / "system.reg").exists() and template and (Path(template) / "system.reg").exists():
            shutil.rmtree(self.path, ignore_errors=True)
            shutil.copytree(template, self.path, symlinks=True)
        wineboot = "--init"
        if (self.path / "system.reg").exists():
            if not self.lacks_wow64():
                return
            # Made before 32-bit Wine was installed: brought up to date once (Wine
            # skips an update its time stamp says was made).
            (self.path / ".update-timestamp").unlink(missing_ok=True)
            wineboot = "--update"
        self.path.mkdir(parents=True, exist_ok=True)
        self.run(["wineboot", wineboot], timeout=300)
        self.wait_idle(60)
        if not (self.path / "system.reg").exists():
            raise RuntimeError(f"the Wine prefix {self.path} could not be made")

    def lacks_wow64(self):
        """A 64-bit Windows without the 32-bit system files that 32-bit Wine would give it."""
        return (self.arch == "win64" and os.path.exists(loader_for(32))
                and not (self.windows_dir / "syswow64" / "kernel32.dll").exists())

    def wait_idle(self, timeout=30):
        try:
            subprocess.run([self.wineserver, "-w"], env=self.env(), timeout=timeout,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        except subprocess.TimeoutExpired:
            self.kill()

    def keep_server(self):
        """Keeps the prefix's wineserver, and Wine's background processes with it, up
        until kill(): no program then waits for them to start or to end. Safe only
        because every program's output goes to a file: a kept server would hold an
        inherited pipe open."""
        subprocess.run([self.wineserver, "-p"], env=self.env(), timeout=30,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def kill(self):
        subprocess.run([self.wineserver, "-k"], env=self.env(), timeout=30,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    # --- Folders -------------------------------------------------------------------

    @property
    def windows_dir(self):
        return self.path / "drive_c" / "windows"

    @property
    def system_dirs(self):
        return [self.windows_dir / "system32", self.windows_dir / "syswow64"]

    def control_dir(self, bits):
        """Where the program looks for the control file: 64-bit Windows has SysWoW64."""
        return self.windows_dir / ("syswow64" if bits == 64 else "system32")

    def remove_control_file(self):
        for folder in self.system_dirs:
            if folder.is_dir():
                for entry in folder.iterdir():
                    if entry.name.lower() == "mscomctl.ocx":
                        entry.unlink()

    def place_control_file(self, source, bits):
        self.remove_control_file()
        target = self.control_dir(bits)
        target.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(source, target / "MsComCtl.OCX")
        return target / "MsComCtl.OCX"

    # --- The Windows version -------------------------------------------------------

    @property
    def software_views(self):
        """Where HKLM\\Software is: a 32-bit program on a 64-bit Windows reads Wow6432Node."""
        return ["Software"] + (["Software\\Wow6432Node"] if self.arch == "win64" else [])

    def import_registry(self, sections, scratch, what, as_32_bit_program=False):
        """Registry sections ("[key]" and its value lines, or "[-key]" to delete it),
        imported from a Unicode .reg file: by regedit, which names keys as they are
        stored, or as a 32-bit program such as regsvr32 writes them (reg import
        /reg:32, through the registry's 32-bit view)."""
        text = "Windows Registry Editor Version 5.00\n" + "".join("\n" + section for section in sections)
        regfile = Path(scratch) / "import.reg"
        regfile.write_bytes(b"\xff\xfe" + text.replace("\n", "\r\n").encode("utf-16-le"))
        command = ["reg", "import", winpath(regfile), "/reg:32"] if as_32_bit_program else ["regedit", "/S", winpath(regfile)]
        if self.run(command, timeout=60) != 0:
            raise RuntimeError("the registry could not take " + what)

    def set_windows_version(self, version, build, service_pack, product_type, scratch):
        """The version the prefix reports (WMI, GetVersionExA and RtlGetVersion follow
        the registry when HKCU\\Software\\Wine has no Version value), in both views.
        Only a change is imported: each import is a Windows program's start."""
        if self.windows_version == (version, build, service_pack, product_type):
            return
        major, minor = (int(part) for part in version.split("."))
        if service_pack:
            csd_text = f'"CSDVersion"="Service Pack {service_pack}"'
            csd_word = f"dword:{service_pack << 8:08x}"
        else:
            csd_text, csd_word = '"CSDVersion"=-', "dword:00000000"
        numbers = (f'"CurrentMajorVersionNumber"=dword:{major:08x}\n"CurrentMinorVersionNumber"=dword:{minor:08x}'
                   if major >= 10 else '"CurrentMajorVersionNumber"=-\n"CurrentMinorVersionNumber"=-')
        sections = [f"[HKEY_LOCAL_MACHINE\\{view}\\Microsoft\\Windows NT\\CurrentVersion]\n"
                    f'"CurrentVersion"="{version}"\n"CurrentBuild"="{build}"\n"CurrentBuildNumber"="{build}"\n'
                    f"{csd_text}\n{numbers}\n" for view in self.software_views]
        sections += [f'[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\ProductOptions]\n'
                     f'"ProductType"="{product_type}"\n',
                     f"[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Windows]\n"
                     f'"CSDVersion"={csd_word}\n']
        self.import_registry(sections, scratch, "the Windows version")
        self.windows_version = (version, build, service_pack, product_type)

    def set_registry_text(self, key, name, value, scratch):
        """One text value under HKLM\\Software (both views)."""
        escaped = value.replace("\\", "\\\\").replace('"', '\\"')
        self.import_registry([f'[HKEY_LOCAL_MACHINE\\{view}\\{key}]\n"{name}"="{escaped}"\n'
                              for view in self.software_views], scratch, name)


# --- For the shell scripts (tools/wine-env.sh) ----------------------------------------

def main(argv):
    """  winpath PATH | loader ARCH
  display                      starts a virtual display; prints DISPLAY and its pid to set
  use PREFIX [ARCH [LOADER]]   makes the prefix once; prints the settings to export
  keep-server | stop-server    the server of $WINEPREFIX: kept up, or ended and waited for
  end PREFIX...                ends every program and the server of each prefix"""
    command, args = (argv[0], argv[1:]) if argv else ("", [])
    current = Prefix(os.environ.get("WINEPREFIX", ""), os.environ.get("WINEARCH", "win64"),
                     os.environ.get("DISPLAY", ""))
    if command == "winpath" and len(args) == 1:
        print(winpath(args[0]))
    elif command == "loader" and len(args) == 1:
        print(loader_for(64 if args[0] == "win64" else 32))
    elif command == "display" and not args:
        display = Display()  # it outlives this process, which holds none of its output
        print(f"DISPLAY={shlex.quote(display.start())} VELMORA_XVFB_PID={display.process.pid}")
    elif command == "use" and 1 <= len(args) <= 3:
        prefix = Prefix(os.path.realpath(args[0]), (args + ["win64"])[1], current.display)
        prefix.make()
        for name, value in prefix.settings(loader=(args + [None, None])[2]).items():
            print(f"export {name}={shlex.quote(value)}")
    elif command == "keep-server" and not args:
        current.keep_server()
    elif command == "stop-server" and not args:
        current.kill()
        current.wait_idle(20)
    elif command == "end":
        for path in filter(os.path.isdir, args):
            Prefix(path, "win64", "").kill()
    else:
        print("usage: tools/wine.py COMMAND\n" + main.__doc__, file=sys.stderr)
        return 64
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
