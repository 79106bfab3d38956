// The locale port: date-times in the user's forms, and universal time made local.
// ctest runs this program with TZ=Europe/Prague (when the host has that zone), so
// that under Wine the local time differs from the universal one, by one hour in
// winter and two in summer.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "osinfo/modWmiDateTime.h"
#include "platform/Locale.h"

namespace {

namespace locale = platform::locale;

SYSTEMTIME Civil(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
    SYSTEMTIME time = {};
    time.wYear = year;
    time.wMonth = month;
    time.wDay = day;
    time.wHour = hour;
    time.wMinute = minute;
    time.wSecond = second;
    return time;
}

std::wstring ShortDate(const SYSTEMTIME& time) {
    wchar_t text[128] = {};
    const int length = GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, text, 128);
    return std::wstring(text, length > 0 ? static_cast<std::size_t>(length - 1) : 0);
}

std::wstring TimeOfDay(const SYSTEMTIME& time) {
    wchar_t text[128] = {};
    const int length = GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &time, nullptr, text, 128);
    return std::wstring(text, length > 0 ? static_cast<std::size_t>(length - 1) : 0);
}

// Hours between two automation dates, to the nearest second.
double HoursBetween(platform::DateTime later, platform::DateTime earlier) {
    return std::round((later.oleDate - earlier.oleDate) * 24.0 * 3600.0) / 3600.0;
}

// Counts in the user's grouping, without the decimals the system's number form adds.
TEST(LocalePort, CountsAreGroupedAsTheUsersNumbers) {
    wchar_t separator[8] = {};
    ASSERT_GT(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, separator, 8), 0);
    EXPECT_EQ(locale::FormatCount(1873), L"1" + std::wstring(separator) + L"873");
    EXPECT_EQ(locale::FormatCount(0), L"0");
    EXPECT_EQ(locale::FormatCount(812), L"812");
}

TEST(LocalePort, MidnightShowsTheShortDateAlone) {
    const auto value = modWmiDateTime::MakeDateTime(2024, 3, 5, 0, 0, 0);
    EXPECT_EQ(locale::FormatDateTime(value), ShortDate(Civil(2024, 3, 5, 0, 0, 0)));
}

TEST(LocalePort, OtherTimesFollowTheDateWithTheTime) {
    const auto value = modWmiDateTime::MakeDateTime(2024, 3, 5, 13, 45, 30);
    const auto civil = Civil(2024, 3, 5, 13, 45, 30);
    EXPECT_EQ(locale::FormatDateTime(value), ShortDate(civil) + L" " + TimeOfDay(civil));
}

TEST(LocalePort, UniversalTimeBecomesLocalTime) {
    for (const WORD month : {WORD{1}, WORD{7}}) {
        const auto utc = modWmiDateTime::MakeDateTime(2024, month, 15, 12, 0, 0);
        SYSTEMTIME universal = Civil(2024, month, 15, 12, 0, 0);
        SYSTEMTIME local = {};
        ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local));
        platform::DateTime expected;
        ASSERT_TRUE(SystemTimeToVariantTime(&local, &expected.oleDate));
        EXPECT_DOUBLE_EQ(locale::UtcToLocal(utc).oleDate, expected.oleDate) << "month " << month;
    }
}

TEST(LocalePort, CentralEuropeanOffsetsWinterAndSummer) {
    TIME_ZONE_INFORMATION zone = {};
    GetTimeZoneInformation(&zone);
    if (zone.Bias != -60 || zone.DaylightBias != -60 || zone.DaylightDate.wMonth == 0) {
        GTEST_SKIP() << "not a central European time zone (bias " << zone.Bias << "); ctest sets TZ=Europe/Prague";
    }
    const auto winter = modWmiDateTime::MakeDateTime(2024, 1, 15, 12, 0, 0);
    const auto summer = modWmiDateTime::MakeDateTime(2024, 7, 15, 12, 0, 0);
    EXPECT_DOUBLE_EQ(HoursBetween(locale::UtcToLocal(winter), winter), 1.0);
    EXPECT_DOUBLE_EQ(HoursBetween(locale::UtcToLocal(summer), summer), 2.0);
    // A WMI install date in universal time with its offset, made local.
    const auto installed = modWmiDateTime::DmtfToLocal(L"20240715120000.000000+000");
    EXPECT_DOUBLE_EQ(HoursBetween(installed, summer), 2.0);
}

}  // namespace
