#pragma once
// What the unit tests share: a fixture over freshly reset fakes, machines to run on,
// and the texts the program is expected to write on them.
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "ControlImage.h"
#include "FakePlatform.h"
#include "VelmoraControlFiles.h"

namespace platform {
// Handles print as their value in test messages.
template <class Kind>
void PrintTo(const Handle<Kind>& handle, std::ostream* out) {
    *out << handle.value;
}
}  // namespace platform

namespace test {

class VelmoraTest : public ::testing::Test {
protected:
    void SetUp() override;
};

// Runs `body`; the exit code when it ended the process, nothing when it returned.
template <class Body>
std::optional<std::uint32_t> ExitCodeOf(Body body) {
    try {
        body();
    } catch (const fake::FakeProcessEnd& end) {
        return end.exitCode;
    }
    return std::nullopt;
}

// The fake program's version, as the program shows it.
inline const std::wstring AppVersionText = L"1.4.0.7";

// The monikers the program connects through.
inline const std::wstring VersionMoniker = L"winmgmts:{impersonationLevel=impersonate}";
inline const std::wstring ShortMoniker = L"Winmgmts:";
inline const std::wstring Cimv2Moniker = L"winmgmts:{impersonationLevel=impersonate}!\\\\.\\root\\cimv2";

// Win32_OperatingSystem answers every query and enumeration of that class.
void UseOperatingSystems(fake::WmiCollection instances);
void UseComputerSystems(fake::WmiCollection instances);

using fake::Windows7Instance;
// Windows 7 SP1 with the scripting date-time object; GetVersionExA tells the truth.
void UseWindows7(const wchar_t* architecture = L"64-bit");
// Windows 7 x64 in C:\Windows with a valid control file at Control (the stand-in),
// registered for the machine: its type library and its two classes.
inline const std::wstring Control = L"C:\\Windows\\SysWoW64\\MsComCtl.OCX";
inline const std::wstring ControlLibrary = velmora_controlfiles::LibraryId;
inline const std::wstring ControlClasses[] = {velmora_controlfiles::CreatableClasses[0],
                                              velmora_controlfiles::CreatableClasses[1]};
void UseWindows7WithControlFile();

// The stand-in's registry entries, as keys under HKxx\Software: its type library's
// version `version` and a class.
std::wstring LibraryKey(const std::wstring& version = L"2.2");
std::wstring ClassKey(const std::wstring& classId);
// A text value at `key`, as an installer writes it.
void Register(const std::wstring& key, const std::wstring& text,
              platform::registry::Hive hive = platform::registry::Hive::LocalMachine,
              platform::registry::ValueKind kind = platform::registry::ValueKind::Text);
// The type library and both classes at `path`.
void RegisterAll(const std::wstring& path, platform::registry::Hive hive = platform::registry::Hive::LocalMachine);
// Windows 10 22H2 without it; GetVersionExA answers 6.2 as to any program without a manifest.
void UseWindows10();

// GetAboutOS on those machines.
extern const std::wstring Windows7Report;
extern const std::wstring Windows10Report;

// The writes of one progress bar.
std::vector<std::wstring> Bar();

std::vector<std::uint8_t> Bytes(const std::string& text);
// A control file at `path`: present, its bytes the stand-in's (tests/controlfiles),
// with its type library, CRC B97FD45E unless the variant says otherwise.
std::vector<std::uint8_t> ControlBytes();
void InstallControl(const std::wstring& path, const std::wstring& variant = L"valid");
std::wstring Hex(std::int32_t crc);
// Midnight UTC of a day, as Windows keeps a file's time.
std::uint64_t FileTime(int year, int month, int day);

}  // namespace test
