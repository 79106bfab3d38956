#include "osinfo/modWmiDateTime.h"

#include "platform/Locale.h"
#include "platform/RunError.h"

namespace modWmiDateTime {

namespace {
constexpr double SecondsPerDay = 86400.0;
constexpr long long OleEpochDays = -25569;  // 1899-12-30, counted from 1970-01-01

// Days since 1970-01-01 of a proleptic Gregorian date.
long long DaysFromCivil(long long year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<long long>(dayOfEra) - 719468;
}

bool ReadDigits(const std::wstring& text, std::size_t at, std::size_t count, int& number) {
    number = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < L'0' || text[i] > L'9') return false;
        number = number * 10 + (text[i] - L'0');
    }
    return true;
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
    static constexpr int Days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : Days[month - 1];
}
}  // namespace

platform::DateTime MakeDateTime(int year, int month, int day, int hour, int minute, double second) {
    const auto days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - OleEpochDays;
    return {static_cast<double>(days) + (hour * 3600.0 + minute * 60.0 + second) / SecondsPerDay};
}

std::optional<platform::DateTime> DmtfToUtc(const std::wstring& dmtf) {
    // yyyymmddHHMMSS.ffffff then a sign and the offset from UTC in minutes.
    if (dmtf.size() != 25 || dmtf[14] != L'.' || (dmtf[21] != L'+' && dmtf[21] != L'-')) return std::nullopt;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, micro = 0, offset = 0;
    if (!ReadDigits(dmtf, 0, 4, year) || !ReadDigits(dmtf, 4, 2, month) || !ReadDigits(dmtf, 6, 2, day) ||
        !ReadDigits(dmtf, 8, 2, hour) || !ReadDigits(dmtf, 10, 2, minute) || !ReadDigits(dmtf, 12, 2, second) ||
        !ReadDigits(dmtf, 15, 6, micro) || !ReadDigits(dmtf, 22, 3, offset)) {
        return std::nullopt;
    }
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 || minute > 59 ||
        second > 59) {
        return std::nullopt;
    }
    const int offsetMinutes = dmtf[21] == L'-' ? -offset : offset;
    auto local = MakeDateTime(year, month, day, hour, minute, second + micro / 1e6);
    local.oleDate -= offsetMinutes * 60.0 / SecondsPerDay;
    return local;
}

platform::DateTime DmtfToLocal(const std::wstring& dmtf) {
    const auto utc = DmtfToUtc(dmtf);
    if (!utc) platform::Fail(platform::errors::TypeMismatch, L"InstallDate \"" + dmtf + L"\" is no WMI date-time");
    return platform::locale::UtcToLocal(*utc);
}

}  // namespace modWmiDateTime
