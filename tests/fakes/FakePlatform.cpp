#include "FakePlatform.h"

#include <algorithm>
#include <cmath>
#include <cwctype>

namespace fake {

bool NoCaseLess::operator()(const std::wstring& a, const std::wstring& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](wchar_t x, wchar_t y) {
        return std::towlower(static_cast<wint_t>(x)) < std::towlower(static_cast<wint_t>(y));
    });
}

std::wstring Folded(std::wstring text) {
    for (auto& ch : text) ch = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(ch)));
    return text;
}

namespace {
bool SameNoCase(const std::wstring& a, const std::wstring& b) { return Folded(a) == Folded(b); }
}  // namespace

std::vector<std::wstring> ConsoleState::Texts() const {
    std::vector<std::wstring> texts;
    for (const auto& write : writes) texts.push_back(write.text);
    return texts;
}

std::wstring ConsoleState::Output() const {
    std::wstring all;
    for (const auto& write : writes) all += write.text;
    return all;
}

std::wstring ReadLeaves(const std::wstring& typed, std::size_t size) {
    std::wstring buffer = typed.substr(0, size);
    buffer.resize(size, L'\0');
    return buffer;
}

void WmiState::Answer(const std::wstring& method, const std::wstring& argument, WmiCollection instances) {
    answers[{Folded(method), Folded(argument)}] = std::move(instances);
}

int WmiState::Connections(const std::wstring& moniker) const {
    return static_cast<int>(std::count(connections.begin(), connections.end(), moniker));
}

int WmiState::Calls(const std::wstring& method, const std::wstring& argument) const {
    return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const WmiCall& call) {
        return SameNoCase(call.method, method) && SameNoCase(call.argument, argument);
    }));
}

State& S() {
    static State* state = new State;  // never destroyed: static objects of the program use it at exit
    return *state;
}

void Reset() {
    S() = State{};
    S().app.Title = L"Velmora";
    S().app.CompanyName = L"Velmora Tools Corporation";  // 25 characters
    S().app.Major = 1;                                   // shown as 1.4.0.7: the build number is never shown
    S().app.Minor = 4;
    S().app.Revision = 7;
}

std::vector<HiddenWindowRequest>& HiddenWindows() {
    static auto* requests = new std::vector<HiddenWindowRequest>;
    return *requests;
}

void AddFile(const std::wstring& path, std::vector<std::uint8_t> bytes) {
    S().files[path] = FakeFile{std::move(bytes), true, std::nullopt, std::nullopt};
}

platform::versionrecords::OsVersionInfoA VersionExRecord(std::uint32_t major, std::uint32_t minor, std::uint32_t build,
                                                         std::uint32_t platformId) {
    namespace records = platform::versionrecords;
    auto record = records::EmptyRecord<records::OsVersionInfoA>();
    records::Write(record, records::field::MajorVersion, static_cast<std::int32_t>(major));
    records::Write(record, records::field::MinorVersion, static_cast<std::int32_t>(minor));
    records::Write(record, records::field::BuildNumber, static_cast<std::int32_t>(build));
    records::Write(record, records::field::PlatformId, platformId);
    return record;
}

platform::versionrecords::OsVersionInfoExW KernelRecord(std::uint32_t major, std::uint32_t minor, std::uint32_t build,
                                                        std::uint16_t spMajor, std::uint16_t spMinor,
                                                        std::uint16_t suiteMask, std::uint8_t productType) {
    namespace records = platform::versionrecords;
    auto record = records::EmptyRecord<records::OsVersionInfoExW>();
    records::Write(record, records::field::MajorVersion, static_cast<std::int32_t>(major));
    records::Write(record, records::field::MinorVersion, static_cast<std::int32_t>(minor));
    records::Write(record, records::field::BuildNumber, static_cast<std::int32_t>(build));
    records::Write(record, records::field::PlatformId, std::uint32_t{2});  // VER_PLATFORM_WIN32_NT
    records::Write(record, records::field::ServicePackMajor, static_cast<std::int16_t>(spMajor));
    records::Write(record, records::field::ServicePackMinor, static_cast<std::int16_t>(spMinor));
    records::Write(record, records::field::SuiteMask, suiteMask);
    records::Write(record, records::field::ProductType, productType);
    return record;
}

std::wstring FormatDate(platform::DateTime value) {
    // Like the system's formatting: dates outside years 100 to 9999 are refused.
    constexpr double FirstDay = -657434.0, LastDay = 2958466.0;
    if (!(value.oleDate >= FirstDay && value.oleDate < LastDay)) {
        throw platform::RunError(platform::errors::Overflow, L"Formatting a date-time");
    }
    const auto seconds = static_cast<long long>(std::llround(value.oleDate * 86400.0));
    const long long dayNumber = (seconds >= 0 ? seconds : seconds - 86399) / 86400;
    const long long timeOfDay = seconds - dayNumber * 86400;
    // Civil date of a day count from 1970-01-01 (days 1899-12-30 = -25569).
    long long z = dayNumber - 25569 + 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const long long day = doy - (153 * mp + 2) / 5 + 1;
    const long long month = mp < 10 ? mp + 3 : mp - 9;
    const long long year = yoe + era * 400 + (month <= 2 ? 1 : 0);

    std::wstring text = std::to_wstring(month) + L"/" + std::to_wstring(day) + L"/" + std::to_wstring(year);
    if (timeOfDay != 0) {
        auto two = [](long long n) { return (n < 10 ? L"0" : L"") + std::to_wstring(n); };
        text += L" " + std::to_wstring(timeOfDay / 3600) + L":" + two(timeOfDay / 60 % 60) + L":" + two(timeOfDay % 60);
    }
    return text;
}

}  // namespace fake
