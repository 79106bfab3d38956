#pragma once
// The user's regional forms and local time.
#include <cstdint>
#include <string>

#include "platform/TaggedValue.h"

namespace platform::locale {

// The date in the user's short-date form, then a space and the time in the user's
// time form unless the time of day is midnight.
std::wstring FormatDateTime(DateTime value);
// A universal (UTC) date-time turned into the computer's local time.
DateTime UtcToLocal(DateTime utc);

// A count as the user's numbers show it: digits grouped by the user's separator
// ("1,873"), no decimals. Plain digits where the user's forms cannot be read.
std::wstring FormatCount(std::uint64_t count);
}  // namespace platform::locale
