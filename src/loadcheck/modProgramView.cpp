#include "loadcheck/modProgramView.h"

#include <algorithm>
#include <iterator>
#include <optional>

#include "filecheck/modPeFile.h"
#include "platform/FileNames.h"

namespace modProgramView {

namespace {

namespace filenames = platform::filenames;
using filenames::AddBackslash;
using filenames::SameFileName;

// The path's start is `folder` (a whole name of it): what follows, from its "\" on;
// nothing when it does not start so.
std::optional<std::wstring> Below(const std::wstring& path, const std::wstring& folder) {
    if (path.size() < folder.size() || !SameFileName(path.substr(0, folder.size()), folder)) return std::nullopt;
    if (path.size() > folder.size() && path[folder.size()] != L'\\') return std::nullopt;
    return path.substr(folder.size());
}

// The folders of System32 a 32-bit program sees as they are.
const wchar_t* const NotRedirected[] = {L"\\catroot",     L"\\catroot2", L"\\drivers\\etc",
                                        L"\\driverstore", L"\\logfiles", L"\\spool"};

// The environment names a program of the other bitness reads in place of these.
struct ProgramFilesName {
    const wchar_t* name;
    const wchar_t* of32;  // a 32-bit program's, on 64-bit Windows
    const wchar_t* of64;  // a 64-bit program's
};
const ProgramFilesName ProgramFilesNames[] = {
    {L"ProgramFiles", L"ProgramFiles(x86)", L"ProgramW6432"},
    {L"CommonProgramFiles", L"CommonProgramFiles(x86)", L"CommonProgramW6432"},
};

}  // namespace

bool AtLeast(const WindowsVersion& version, std::uint32_t major, std::uint32_t minor) {
    return version.major > major || (version.major == major && version.minor >= minor);
}

bool ProgramView::Program64() const { return machine == modPeFile::MachineX64 || machine == modPeFile::MachineArm64; }

bool ProgramView::Redirected() const { return windows64 && !Program64(); }

std::wstring ProgramView::Bits() const { return Program64() ? L"64" : L"32"; }

ProgramView ViewFor(std::uint16_t machine, bool windows64, std::uint16_t nativeMachine, const WindowsVersion& version,
                    const std::wstring& windowsFolder) {
    ProgramView view;
    view.machine = machine;
    view.windows64 = windows64;
    view.nativeMachine = nativeMachine;
    view.version = version;
    view.windowsFolder = windowsFolder;
    // As the check spells the 32-bit one.
    view.systemFolder = AddBackslash(windowsFolder) + (view.Redirected() ? L"SysWoW64" : L"System32");
    view.registryView = view.Program64() ? platform::registry::View::Bits64 : platform::registry::View::Bits32;
    return view;
}

std::wstring Map(const ProgramView& view, const std::wstring& path) {
    if (!view.Redirected()) return path;
    const std::wstring windows = AddBackslash(view.windowsFolder);
    if (const auto rest = Below(path, windows + L"Sysnative")) return windows + L"System32" + *rest;
    const auto rest = Below(path, windows + L"System32");
    if (!rest) return path;
    const bool notRedirected = std::any_of(std::begin(NotRedirected), std::end(NotRedirected),
                                           [&rest](const wchar_t* folder) { return Below(*rest, folder).has_value(); });
    return notRedirected ? path : windows + L"SysWOW64" + *rest;
}

std::wstring Expand(const ProgramView& view, const std::wstring& text) {
    std::wstring expanded;
    std::size_t at = 0;
    while (at < text.size()) {
        const auto start = text.find(L'%', at);
        const auto end = start == std::wstring::npos ? start : text.find(L'%', start + 1);
        if (end == std::wstring::npos) {
            expanded += text.substr(at);
            break;
        }
        expanded += text.substr(at, start - at);
        const std::wstring reference = text.substr(start, end - start + 1);
        std::wstring value = filenames::ExpandEnvironment(reference);
        for (const auto& names : ProgramFilesNames) {
            if (!view.windows64 || !SameFileName(reference, L"%" + std::wstring(names.name) + L"%")) continue;
            const std::wstring own = L"%" + std::wstring(view.Program64() ? names.of64 : names.of32) + L"%";
            if (const auto ownValue = filenames::ExpandEnvironment(own); ownValue != own) value = ownValue;
        }
        if (value == reference) {
            // As Windows reads an undefined name: its closing "%" may open the next one.
            expanded += reference.substr(0, reference.size() - 1);
            at = end;
        } else {
            expanded += value;
            at = end + 1;
        }
    }
    return expanded;
}

bool Serves(const ProgramView& view, std::uint16_t dllMachine, const std::wstring& path) {
    if (dllMachine == view.machine) return true;
    const auto folder = path.substr(0, path.find_last_of(L'\\'));
    return view.nativeMachine == modPeFile::MachineArm64 && view.machine == modPeFile::MachineX64 &&
           dllMachine == modPeFile::MachineArm64 && SameFileName(folder, view.systemFolder);
}

std::wstring AssemblyArchitecture(const ProgramView& view) {
    switch (view.machine) {
    case modPeFile::MachineX64: return L"amd64";
    case modPeFile::MachineArm64: return L"arm64";
    default: return L"x86";
    }
}

}  // namespace modProgramView
