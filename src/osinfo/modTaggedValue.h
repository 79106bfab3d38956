#pragma once
// Conversions of tagged values, as the automation layer makes them. A value that
// does not convert raises a RunError.
#include <cstdint>
#include <string>

#include "platform/TaggedValue.h"

namespace modTaggedValue {

// Text of a value; Null does not convert. `what` names the value in the error.
std::wstring ToText(const platform::TaggedValue& value, const std::wstring& what);
// Text of a value for the report: Empty and Null give the empty text.
std::wstring ToReportText(const platform::TaggedValue& value);
std::int16_t ToInt16(const std::wstring& text, const std::wstring& what);
bool ToBool(const platform::TaggedValue& value, const std::wstring& what);
platform::DateTime ToDateTime(const platform::TaggedValue& value, const std::wstring& what);

// The text without leading and trailing spaces (U+0020 only).
std::wstring TrimSpaces(const std::wstring& text);

}  // namespace modTaggedValue
