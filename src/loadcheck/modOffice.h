#pragma once
// Which Office is installed, and its bitness: a 64-bit Office loads no 32-bit control
// (and a 32-bit Office no 64-bit one), so a VBA form that needs the control fails
// there while every other check says all is well.
#include <string>
#include <vector>

namespace modOffice {

struct Installation {
    std::wstring version;  // "16.0"
    std::wstring bitness;  // "x86" or "x64"
    std::wstring source;   // where it was read: "Click-to-Run", "Outlook", "InstallRoot"
};

// "64" or "32", as its bitness is said.
inline std::wstring Bits(const Installation& office) { return office.bitness == L"x64" ? L"64" : L"32"; }

// Each Office version installed, by the first source that tells its bitness:
// Click-to-Run's Platform, then the MSI install's Outlook\Bitness (in both registry
// views), then which view holds one of its applications' InstallRoot. In version
// order; none when no Office is found. `windows64`: the registry has two views.
std::vector<Installation> FindOffice(bool windows64);

}  // namespace modOffice
