#pragma once
// This Windows as a program of the control's bitness sees it: its system folder, its
// registry view, its environment's Program Files, and the file-system redirector,
// which shows a 32-bit program SysWOW64 where it names System32. Made once for a
// run from the platform's facts and the control's processor. Every path the load
// diagnosis reads or shows goes through it, so that a path names the file where it
// really is, as a 64-bit Explorer finds it; the platform's file reads see the real
// file system whatever the program's own bitness.
#include <cstdint>
#include <string>

#include "platform/Registry.h"

namespace modProgramView {

struct WindowsVersion {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t build = 0;
};
bool AtLeast(const WindowsVersion& version, std::uint32_t major, std::uint32_t minor);

struct ProgramView {
    std::uint16_t machine = 0;        // the program's processor: the control's
    bool windows64 = false;           // the Windows is 64-bit
    std::uint16_t nativeMachine = 0;  // the Windows' own processor
    WindowsVersion version;
    std::wstring windowsFolder;
    std::wstring systemFolder;  // the program's, where it really is: SysWoW64 for a 32-bit one on 64-bit Windows
    platform::registry::View registryView = platform::registry::View::Bits32;

    bool Program64() const;
    // A 32-bit program on 64-bit Windows: the redirector stands between it and System32.
    bool Redirected() const;
    std::wstring Bits() const;  // "32" or "64"
};

// The view of a program built for `machine` on this Windows.
ProgramView ViewFor(std::uint16_t machine, bool windows64, std::uint16_t nativeMachine, const WindowsVersion& version,
                    const std::wstring& windowsFolder);

// A path as the program names it, turned into where the file really is: to a 32-bit
// program on 64-bit Windows, System32 is SysWOW64 (but for the folders the redirector
// leaves alone) and Sysnative is System32.
std::wstring Map(const ProgramView& view, const std::wstring& path);

// %NAME% references expanded as the program's own environment holds them: Program
// Files and Common Files are its bitness's. A reference to nothing stays as it is.
std::wstring Expand(const ProgramView& view, const std::wstring& text);

// A DLL built for `dllMachine`, found at `path`, loads into the program. On ARM64
// Windows the system folder's DLLs are ARM64X: their headers name ARM64, and they
// serve x64 programs too.
bool Serves(const ProgramView& view, std::uint16_t dllMachine, const std::wstring& path);

// "x86", "amd64", "arm64": the program's processor as side-by-side assemblies name it.
std::wstring AssemblyArchitecture(const ProgramView& view);

}  // namespace modProgramView
