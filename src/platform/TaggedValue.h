#pragma once
// A tagged value as automation delivers it: what WMI property reads return.
#include <cstdint>
#include <string>
#include <variant>

namespace platform {

struct EmptyValue {
    bool operator==(const EmptyValue&) const { return true; }
};
struct NullValue {
    bool operator==(const NullValue&) const { return true; }
};
// An automation date: days since 1899-12-30, the fraction the time of day.
struct DateTime {
    double oleDate = 0.0;
    bool operator==(const DateTime& other) const { return oleDate == other.oleDate; }
};

using TaggedValue =
    std::variant<EmptyValue, NullValue, std::wstring, std::int16_t, std::int32_t, bool, DateTime, std::int64_t, double>;

}  // namespace platform
