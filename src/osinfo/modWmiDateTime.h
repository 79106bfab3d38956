#pragma once
// WMI date-times (DMTF text yyyymmddHHMMSS.ffffff+UUU) turned into local date-times,
// for systems without the scripting date-time object.
#include <optional>
#include <string>

#include "platform/TaggedValue.h"

namespace modWmiDateTime {

// The universal time the text stands for; nothing when it is no DMTF date-time.
std::optional<platform::DateTime> DmtfToUtc(const std::wstring& dmtf);
// The computer's local date-time of a DMTF text; raises a RunError for any other text.
platform::DateTime DmtfToLocal(const std::wstring& dmtf);

// An automation date of a civil date and time of day.
platform::DateTime MakeDateTime(int year, int month, int day, int hour, int minute, double second);

}  // namespace modWmiDateTime
