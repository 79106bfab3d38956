#include "loadcheck/modOfficeCache.h"

#include <algorithm>
#include <optional>

#include "platform/FileNames.h"

namespace modOfficeCache {

namespace {

namespace filenames = platform::filenames;
using platform::filenames::AddBackslash;

constexpr std::uint64_t TicksPerSecond = 10000000;
constexpr std::int64_t SecondsPerDay = 86400;
constexpr std::int64_t DaysFrom1601To1970 = 134774;

bool StartsWithNoCase(const std::wstring& text, const std::wstring& start) {
    return text.size() >= start.size() && filenames::SameFileName(text.substr(0, start.size()), start);
}

// "<prefix><digits>.0"
bool IsVersionedFolder(const std::wstring& name, const std::wstring& prefix) {
    if (!StartsWithNoCase(name, prefix) || name.size() < prefix.size() + 3) return false;
    const std::wstring digits = name.substr(prefix.size(), name.size() - prefix.size() - 2);
    return name.compare(name.size() - 2, 2, L".0") == 0 &&
           std::all_of(digits.begin(), digits.end(), [](wchar_t ch) { return ch >= L'0' && ch <= L'9'; });
}

// The folder an environment variable names; nothing when it is not set.
std::optional<std::wstring> EnvironmentFolder(const std::wstring& name) {
    const std::wstring reference = L"%" + name + L"%";
    const std::wstring folder = filenames::ExpandEnvironment(reference);
    if (folder.empty() || folder == reference) return std::nullopt;
    return folder;
}

std::vector<std::wstring> CacheFolders() {
    std::vector<std::wstring> folders;
    // Where Office itself finds them: the temporary folder as Windows gives it.
    if (const auto temp = filenames::TemporaryFolder(); !temp.empty()) {
        for (const auto& pattern : {L"*.0", L"VBE"}) {
            for (const auto& entry : filenames::ListFolder(temp, pattern)) {
                if (entry.folder && IsCacheFolderName(entry.name)) folders.push_back(AddBackslash(temp) + entry.name);
            }
        }
    }
    if (const auto roaming = EnvironmentFolder(L"APPDATA"))
        folders.push_back(AddBackslash(*roaming) + L"Microsoft\\Forms");
    return folders;
}

}  // namespace

std::uint64_t ArrivalOf(const platform::filenames::FileTimes& times) {
    return std::max({times.created, times.lastWritten, times.changed});
}

bool IsCacheFolderName(const std::wstring& name) {
    return IsVersionedFolder(name, L"Excel") || IsVersionedFolder(name, L"Word") || IsVersionedFolder(name, L"PPT") ||
           filenames::SameFileName(name, L"VBE");
}

std::vector<CacheFile> FindCaches(const std::wstring& libraryName, const std::wstring& controlPath) {
    std::vector<CacheFile> found;
    if (libraryName.empty()) return found;
    const auto control = filenames::TimesOf(controlPath);
    const std::uint64_t arrived = control ? ArrivalOf(*control) : 0;
    const std::wstring cacheName = libraryName + L".exd";
    for (const auto& folder : CacheFolders()) {
        for (const auto& entry : filenames::ListFolder(folder, L"*.exd")) {
            if (entry.folder || !filenames::SameFileName(entry.name, cacheName)) continue;
            found.push_back(
                {AddBackslash(folder) + entry.name, entry.times.lastWritten, entry.times.lastWritten < arrived});
        }
    }
    return found;
}

platform::DateTime DateTimeOf(std::uint64_t fileTime) {
    constexpr double TicksPerDay = 864e9;
    constexpr double DaysFrom1601To1899 = 109205;  // to 1899-12-30, where automation dates begin
    return {static_cast<double>(fileTime) / TicksPerDay - DaysFrom1601To1899};
}

std::wstring UtcText(std::uint64_t fileTime) {
    const auto seconds = static_cast<std::int64_t>(fileTime / TicksPerSecond);
    const std::int64_t days = seconds / SecondsPerDay - DaysFrom1601To1970;
    std::int64_t secondOfDay = seconds % SecondsPerDay;
    // Days since 1970-01-01 to a civil date (the proleptic Gregorian calendar).
    const std::int64_t shifted = days + 719468;
    const std::int64_t era = (shifted >= 0 ? shifted : shifted - 146096) / 146097;
    const std::int64_t dayOfEra = shifted - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    const std::int64_t month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    const auto two = [](std::int64_t value) { return (value < 10 ? L"0" : L"") + std::to_wstring(value); };
    const std::int64_t hour = secondOfDay / 3600, minute = secondOfDay / 60 % 60;
    secondOfDay %= 60;
    return std::to_wstring(year) + L"-" + two(month) + L"-" + two(day) + L"T" + two(hour) + L":" + two(minute) + L":" +
           two(secondOfDay) + L"Z";
}

}  // namespace modOfficeCache
