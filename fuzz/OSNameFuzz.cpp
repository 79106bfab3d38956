// The naming of the running Windows from any kernel version record: the input's first
// 284 bytes (zeros past its end) are the RTL_OSVERSIONINFOEXW that RtlGetVersion fills.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "osinfo/modVersionOS_v4.h"

using fuzzcheck::Check;
using modVersionOS_v4::KernelRecord;

namespace {

// Every name the naming gives.
const std::wstring Names[] = {
    L"Windows NT 3.5 Server",
    L"Windows NT 3.5 Workstation",
    L"Windows NT 4.0 Server",
    L"Windows NT 4.0 Workstation",
    L"Windows 2000 Server",
    L"Windows 2000 Workstation",
    L"Windows XP Home Edition",
    L"Windows XP Professional",
    L"Windows Server 2003",
    L"Windows XP 64-bit Edition",
    L"Windows Server 2008",
    L"Windows Vista",
    L"Windows Server 2008 R2",
    L"Windows 7",
    L"Windows Server 2012",
    L"Windows 8",
    L"Windows Server 2012 R2",
    L"Windows 8.1",
    L"Windows Server 2016",
    L"Windows Server 2019",
    L"Windows Server 2022",
    L"Windows Server 2025",
    L"Windows 10",
    modVersionOS_v4::UnknownVersionName,
};
const std::wstring Windows11 = L"Windows 11";

bool KnownName(const std::wstring& name) {
    return std::find(std::begin(Names), std::end(Names), name) != std::end(Names);
}

bool IsDigit(wchar_t ch) { return ch >= L'0' && ch <= L'9'; }

// Digits from `at`; false when there is none. Leaves `at` after them.
bool Digits(const std::wstring& text, std::size_t& at) {
    const std::size_t first = at;
    while (at < text.size() && IsDigit(text[at])) ++at;
    return at > first;
}

// SP<digits>(.<digits>)?
bool IsServicePackText(const std::wstring& text) {
    if (text.compare(0, 2, L"SP") != 0) return false;
    std::size_t at = 2;
    if (!Digits(text, at)) return false;
    if (at == text.size()) return true;
    if (text[at] != L'.') return false;
    ++at;
    return Digits(text, at) && at == text.size();
}

// -?\d+\.-?\d+\.-?\d+
bool IsVersionText(const std::wstring& text) {
    std::size_t at = 0;
    for (int part = 0; part < 3; ++part) {
        if (part > 0) {
            if (at >= text.size() || text[at] != L'.') return false;
            ++at;
        }
        if (at < text.size() && text[at] == L'-') ++at;
        if (!Digits(text, at)) return false;
    }
    return at == text.size();
}

namespace records = platform::versionrecords;
namespace field = records::field;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    KernelRecord record{};
    std::copy(data, data + std::min(size, record.size()), record.begin());

    const auto name = modVersionOS_v4::GetOSName(record);
    const auto displayName = modVersionOS_v4::GetOSDisplayName(record);
    const auto servicePack = modVersionOS_v4::GetServicePackString(record);
    const auto version = modVersionOS_v4::GetOSVersionString(record);
    const bool server = modVersionOS_v4::IsServer(record);

    Check(KnownName(name), "GetOSName gave a name outside its set", name);
    // The display name is the name, but Windows 11 for a Windows 10 of build 22000 on.
    const bool eleven = name == L"Windows 10" && records::Read(record, field::BuildNumber) >= 22000;
    Check(displayName == (eleven ? Windows11 : name), "GetOSDisplayName differs from GetOSName", displayName);

    Check(servicePack.empty() || IsServicePackText(servicePack), "the service pack text is malformed", servicePack);
    Check(servicePack.empty() == (records::Read(record, field::ServicePackMajor) <= 0),
          "the service pack text is empty for SP > 0 or the reverse", servicePack);

    Check(IsVersionText(version), "the version text is malformed", version);
    const std::wstring expected = std::to_wstring(records::Read(record, field::MajorVersion)) + L"." +
                                  std::to_wstring(records::Read(record, field::MinorVersion)) + L"." +
                                  std::to_wstring(records::Read(record, field::BuildNumber));
    Check(version == expected, "the version text is not major.minor.build of the record", version);

    Check(server == (records::Read(record, field::ProductType) != 1),
          "IsServer is not wProductType != VER_NT_WORKSTATION");
    return 0;
}
