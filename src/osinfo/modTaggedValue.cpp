#include "osinfo/modTaggedValue.h"

#include <cwchar>
#include <cwctype>
#include <limits>

#include "platform/Locale.h"
#include "platform/RunError.h"
#include "platform/Text.h"

namespace modTaggedValue {

namespace {
using platform::Fail;
namespace errors = platform::errors;

template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

[[noreturn]] void Mismatch(const std::wstring& what, const std::wstring& why) {
    Fail(errors::TypeMismatch, what + L": " + why);
}

[[noreturn]] void NotANumber(const std::wstring& what, const std::wstring& text) {
    Mismatch(what, L"\"" + text + L"\" is not a number");
}

[[noreturn]] void DoesNotFit(const std::wstring& what, const std::wstring& text) {
    Fail(errors::Overflow, what + L": \"" + text + L"\" does not fit in 16 bits");
}

std::wstring NumberText(double number) {
    wchar_t text[32] = {};
    std::swprintf(text, sizeof text / sizeof text[0], L"%.15g", number);
    return text;
}

}  // namespace

std::wstring TrimSpaces(const std::wstring& text) {
    const auto first = text.find_first_not_of(L' ');
    if (first == std::wstring::npos) return {};
    return text.substr(first, text.find_last_not_of(L' ') - first + 1);
}

std::wstring ToText(const platform::TaggedValue& value, const std::wstring& what) {
    return std::visit(Overloaded{
                          [](const platform::EmptyValue&) { return std::wstring(); },
                          [&](const platform::NullValue&) -> std::wstring { Mismatch(what, L"invalid use of Null"); },
                          [](const std::wstring& text) { return text; },
                          [](std::int16_t number) { return std::to_wstring(number); },
                          [](std::int32_t number) { return std::to_wstring(number); },
                          [](std::int64_t number) { return std::to_wstring(number); },
                          [](bool flag) { return std::wstring(flag ? L"True" : L"False"); },
                          [](platform::DateTime date) { return platform::locale::FormatDateTime(date); },
                          [](double number) { return NumberText(number); },
                      },
                      value);
}

std::wstring ToReportText(const platform::TaggedValue& value) {
    if (std::holds_alternative<platform::NullValue>(value)) return {};
    return ToText(value, L"report value");
}

std::int16_t ToInt16(const std::wstring& text, const std::wstring& what) {
    // Plain decimal digits with an optional sign; spaces around them are allowed.
    const auto digits = TrimSpaces(text);
    const bool hasSign = !digits.empty() && (digits[0] == L'-' || digits[0] == L'+');
    const bool negative = hasSign && digits[0] == L'-';
    const std::size_t first = hasSign ? 1 : 0;
    if (first == digits.size() || digits.find_first_not_of(L"0123456789", first) != std::wstring::npos) {
        NotANumber(what, text);
    }
    constexpr std::int32_t Limit = std::numeric_limits<std::int16_t>::max() + 1;  // -32768 still fits
    std::int32_t magnitude = 0;
    for (std::size_t pos = first; pos < digits.size() && magnitude <= Limit; ++pos) {
        magnitude = magnitude * 10 + (digits[pos] - L'0');
    }
    if (magnitude > (negative ? Limit : Limit - 1)) DoesNotFit(what, text);
    return static_cast<std::int16_t>(negative ? -magnitude : magnitude);
}

bool ToBool(const platform::TaggedValue& value, const std::wstring& what) {
    return std::visit(Overloaded{
                          [](const platform::EmptyValue&) { return false; },
                          [&](const platform::NullValue&) -> bool { Mismatch(what, L"invalid use of Null"); },
                          [&](const std::wstring& text) -> bool {
                              const auto word = TrimSpaces(text);
                              if (platform::text::SameIgnoringCase(word, L"True")) return true;
                              if (platform::text::SameIgnoringCase(word, L"False")) return false;
                              return ToInt16(word, what) != 0;
                          },
                          [](std::int16_t number) { return number != 0; },
                          [](std::int32_t number) { return number != 0; },
                          [](std::int64_t number) { return number != 0; },
                          [](bool flag) { return flag; },
                          [](platform::DateTime date) { return date.oleDate != 0.0; },
                          [](double number) { return number != 0.0; },
                      },
                      value);
}

platform::DateTime ToDateTime(const platform::TaggedValue& value, const std::wstring& what) {
    if (const auto* date = std::get_if<platform::DateTime>(&value)) return *date;
    Mismatch(what, L"not a date-time");
}

}  // namespace modTaggedValue
