// Tagged values as WMI delivers them, and the "About OS Windows" report built from them.
//
// The input, read from its front:
//   1. One tagged value (see TakeValue). The conversions must hold:
//      - ToReportText never raises; Null and Empty give the empty text;
//      - ToText raises a RunError for Null only, and otherwise gives ToReportText's text;
//      - ToInt16 of any text either gives a number whose decimal text converts back to
//        it, or raises a RunError (a type mismatch or an overflow);
//      - ToBool of any value either gives a flag or raises a RunError; for a text it
//        reads True/False (any case) or else the text's ToInt16; for Null it raises.
//   2. What the fake WMI and the version records answer (see SetUpMachine); then
//      modVelmora::GetAboutOS either raises a RunError or gives a report of 26 or 27
//      lines that starts with "About OS Windows" CR LF and has no final CR LF.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwctype>
#include <string>
#include <variant>

#include "FakePlatform.h"
#include "FuzzCheck.h"
#include "app/modVelmora.h"
#include "osinfo/modTaggedValue.h"
#include "osinfo/modVersionOS_v4.h"
#include "platform/RunError.h"

using fuzzcheck::Check;
using fuzzcheck::Fail;
using platform::RunError;
using platform::TaggedValue;

namespace {

// --- Values from the input -----------------------------------------------------------

// A text: a length byte, a width byte (1: bytes, 2: UTF-16 units, surrogates included,
// 4: any 32-bit value), then its characters. `lineBreaks` false turns LF into spaces.
std::wstring TakeText(fuzzcheck::Reader& input, bool lineBreaks) {
    const std::size_t length = input.Byte();
    const std::uint8_t width = input.Byte() % 3;
    std::wstring text;
    for (std::size_t i = 0; i < length && !input.Empty(); ++i) {
        wchar_t ch = 0;
        switch (width) {
        case 0: ch = static_cast<wchar_t>(input.Byte()); break;
        case 1: ch = static_cast<wchar_t>(input.Take<std::uint16_t>()); break;
        default: ch = static_cast<wchar_t>(input.Take<std::uint32_t>()); break;
        }
        if (!lineBreaks && ch == L'\n') ch = L' ';
        text += ch;
    }
    return text;
}

double TakeDouble(fuzzcheck::Reader& input) {
    const auto bits = input.Take<std::uint64_t>();
    double number = 0;
    std::memcpy(&number, &bits, sizeof number);
    return number;
}

// An automation date inside the range a DATE can hold (years 100 to 9999): the input's
// double where it lies there, else one made from its bits. Outside that range the
// system's formatting fails (and the fakes' formatting does not model it).
platform::DateTime TakeDate(fuzzcheck::Reader& input) {
    constexpr double First = -657434.0;  // 1 January 100
    constexpr double Last = 2958465.0;   // 31 December 9999
    const auto bits = input.Take<std::uint64_t>();
    double date = 0;
    std::memcpy(&date, &bits, sizeof date);
    if (!(date >= First && date < Last + 1.0)) {
        date = First + static_cast<double>(bits % (static_cast<std::uint64_t>(Last - First + 1.0) * 86400)) / 86400.0;
    }
    return {date};
}

// A kind byte, then the value:
// 0 Empty, 1 Null, 2 text, 3 int16, 4 int32, 5 bool, 6 DateTime, 7 int64, 8 double (any bits).
TaggedValue TakeValue(fuzzcheck::Reader& input, bool lineBreaks) {
    switch (input.Byte() % 9) {
    case 0: return platform::EmptyValue{};
    case 1: return platform::NullValue{};
    case 2: return TakeText(input, lineBreaks);
    case 3: return input.Take<std::int16_t>();
    case 4: return input.Take<std::int32_t>();
    case 5: return (input.Byte() & 1) != 0;
    case 6: return TakeDate(input);
    case 7: return input.Take<std::int64_t>();
    default: return TakeDouble(input);
    }
}

// --- The conversions -------------------------------------------------------------------

// The error a text that is no 16-bit number raises: an overflow for plain decimal
// digits (with a sign, spaces around them) that do not fit, a type mismatch otherwise.
std::int32_t Int16ErrorFor(const std::wstring& text) {
    const auto first = text.find_first_not_of(L' ');
    const auto last = text.find_last_not_of(L' ');
    if (first == std::wstring::npos) return platform::errors::TypeMismatch;
    std::size_t at = first;
    if (text[at] == L'-' || text[at] == L'+') ++at;
    if (at > last) return platform::errors::TypeMismatch;
    for (; at <= last; ++at)
        if (text[at] < L'0' || text[at] > L'9') return platform::errors::TypeMismatch;
    return platform::errors::Overflow;
}

// The numbers a report may end the run with: a conversion, a missing version part, or
// what WMI (here: the fake's unanswered query and the injected failure) said.
bool IsReportErrorNumber(std::int32_t number) {
    return number == platform::errors::TypeMismatch || number == platform::errors::Overflow ||
           number == platform::errors::BadIndex || number == static_cast<std::int32_t>(0x80041017u) ||
           number == static_cast<std::int32_t>(0x80041003u);
}

bool SameNoCase(const std::wstring& text, const std::wstring& word) {
    if (text.size() != word.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (std::towlower(static_cast<wint_t>(text[i])) != std::towlower(static_cast<wint_t>(word[i]))) return false;
    }
    return true;
}

// ToInt16 of a text: the number, or nothing where it raised (a mismatch or an overflow).
std::optional<std::int16_t> Int16Of(const std::wstring& text) {
    try {
        const auto number = modTaggedValue::ToInt16(text, L"fuzz");
        // The number's decimal text converts back to it.
        const auto back = std::to_wstring(number);
        try {
            Check(modTaggedValue::ToInt16(back, L"fuzz") == number, "ToInt16 of a number's text differs", back);
        } catch (const RunError& error) {
            Fail("ToInt16 raised for the text of a number it gave", back + L": " + error.Description());
        }
        return number;
    } catch (const RunError& error) {
        Check(error.Number() == Int16ErrorFor(text), "ToInt16 raised the wrong error for its text",
              text + L": " + error.Description());
        return std::nullopt;
    }
}

void CheckTrim(const std::wstring& text) {
    const auto trimmed = modTaggedValue::TrimSpaces(text);
    Check(trimmed.empty() || (trimmed.front() != L' ' && trimmed.back() != L' '), "TrimSpaces left a space", trimmed);
    Check(text.find(trimmed) != std::wstring::npos, "TrimSpaces gave no part of its text", trimmed);
}

void CheckText(const std::wstring& text) {
    CheckTrim(text);
    const auto number = Int16Of(text);

    const auto word = modTaggedValue::TrimSpaces(text);
    try {
        const bool flag = modTaggedValue::ToBool(text, L"fuzz");
        if (SameNoCase(word, L"True")) {
            Check(flag, "ToBool of \"True\" is false", text);
        } else if (SameNoCase(word, L"False")) {
            Check(!flag, "ToBool of \"False\" is true", text);
        } else {
            Check(number.has_value(), "ToBool read a text that ToInt16 does not", text);
            Check(flag == (*number != 0), "ToBool of a number's text is not number <> 0", text);
        }
    } catch (const RunError& error) {
        Check(error.Number() == Int16ErrorFor(word), "ToBool raised the wrong error for its text",
              text + L": " + error.Description());
        Check(!SameNoCase(word, L"True") && !SameNoCase(word, L"False") && !number.has_value(),
              "ToBool raised for a text it reads", text);
    }
}

void CheckValue(const TaggedValue& value) {
    const bool null = std::holds_alternative<platform::NullValue>(value);

    std::wstring report;
    try {
        report = modTaggedValue::ToReportText(value);
    } catch (const RunError& error) {
        Fail("ToReportText raised", error.Description());
    }
    if (null || std::holds_alternative<platform::EmptyValue>(value)) {
        Check(report.empty(), "ToReportText of Null or Empty is not empty", report);
    }

    try {
        const auto text = modTaggedValue::ToText(value, L"fuzz");
        Check(!null, "ToText of Null did not raise", text);
        if (text != report) Fail("ToText and ToReportText differ", text + L" / " + report);
        // A whole number's text converts back to it where it fits 16 bits.
        std::optional<std::int64_t> whole;
        if (const auto* n16 = std::get_if<std::int16_t>(&value)) whole = *n16;
        if (const auto* n32 = std::get_if<std::int32_t>(&value)) whole = *n32;
        if (const auto* n64 = std::get_if<std::int64_t>(&value)) whole = *n64;
        if (whole) {
            const auto number = Int16Of(text);
            const bool fits = *whole >= -32768 && *whole <= 32767;
            Check(number.has_value() == fits, "ToInt16 of a whole number's text fits or not wrongly", text);
            if (fits) Check(*number == *whole, "ToInt16 of a whole number's text differs", text);
        }
    } catch (const RunError& error) {
        Check(null, "ToText raised for a value other than Null", error.Description());
        Check(error.Number() == platform::errors::TypeMismatch, "ToText of Null raised no type mismatch");
    }

    try {
        (void)modTaggedValue::ToBool(value, L"fuzz");
        Check(!null, "ToBool of Null did not raise");
    } catch (const RunError& error) {
        Check(null || std::holds_alternative<std::wstring>(value), "ToBool raised for a value other than Null or text",
              error.Description());
        const auto* text = std::get_if<std::wstring>(&value);
        const auto expected = text ? Int16ErrorFor(modTaggedValue::TrimSpaces(*text)) : platform::errors::TypeMismatch;
        Check(error.Number() == expected, "ToBool raised the wrong error", error.Description());
    }

    try {
        const auto date = modTaggedValue::ToDateTime(value, L"fuzz");
        const auto* held = std::get_if<platform::DateTime>(&value);
        Check(held != nullptr, "ToDateTime converted a value that is no date-time");
        Check(std::memcmp(&held->oleDate, &date.oleDate, sizeof date.oleDate) == 0, "ToDateTime changed the date");
    } catch (const RunError& error) {
        Check(!std::holds_alternative<platform::DateTime>(value), "ToDateTime raised for a date-time");
        Check(error.Number() == platform::errors::TypeMismatch, "ToDateTime raised no type mismatch",
              error.Description());
    }

    if (const auto* text = std::get_if<std::wstring>(&value)) CheckText(*text);
}

// --- The report over the fake machine ---------------------------------------------------

const wchar_t* const PropertyNames[] = {
    L"Version",
    L"BootDevice",
    L"BuildNumber",
    L"BuildType",
    L"Caption",
    L"CodeSet",
    L"CountryCode",
    L"Debug",
    L"EncryptionLevel",
    L"InstallDate",
    L"Organization",
    L"OSLanguage",
    L"OSProductSuite",
    L"ServicePackMajorVersion",
    L"ServicePackMinorVersion",
    L"OSType",
    L"Primary",
    L"NumberOfLicensedUsers",
    L"RegisteredUser",
    L"SerialNumber",
    L"OSArchitecture",
    L"SystemType",
};
constexpr std::size_t PropertyNameCount = sizeof PropertyNames / sizeof PropertyNames[0];

// Up to 3 instances: a flags byte (1: start from a working instance), a count byte,
// then that many (name index, value) pairs.
fake::WmiCollection TakeInstances(fuzzcheck::Reader& input) {
    fake::WmiCollection instances;
    const std::size_t count = input.Byte() % 4;
    for (std::size_t i = 0; i < count; ++i) {
        fake::WmiInstance instance;
        if ((input.Byte() & 1) != 0) instance = fake::Windows7Instance();
        const std::size_t changes = input.Byte() % 8;
        for (std::size_t c = 0; c < changes && !input.Empty(); ++c) {
            const std::wstring name = PropertyNames[input.Byte() % PropertyNameCount];
            if ((input.Byte() & 3) == 3) {
                instance.erase(name);
            } else {
                instance[name] = TakeValue(input, false);
            }
        }
        instances.push_back(std::move(instance));
    }
    return instances;
}

void SetUpMachine(fuzzcheck::Reader& input) {
    fake::Reset();
    modVersionOS_v4::ResetOSPropertySource();
    auto& state = fake::S();

    const auto major = input.Byte(), minor = input.Byte();
    const auto build = input.Take<std::uint16_t>();
    state.versionEx = fake::VersionExRecord(major, minor, build, input.Byte() % 3);
    state.versionExResult = (input.Byte() & 7) == 7 ? 0 : 1;

    const auto record = input.Bytes(state.rtlRecord.size());
    std::copy(record.begin(), record.end(), state.rtlRecord.begin());
    state.rtlStatus = (input.Byte() & 7) == 7 ? static_cast<std::int32_t>(0xC0000001u) : 0;

    if ((input.Byte() & 1) != 0) state.wmi.converter = TakeValue(input, false);

    auto systems = TakeInstances(input);
    const auto flags = input.Byte();
    if ((flags & 1) == 0) state.wmi.Answer(L"ExecQuery", L"SELECT * FROM Win32_OperatingSystem", systems);
    if ((flags & 2) == 0) state.wmi.Answer(L"InstancesOf", L"Win32_OperatingSystem", systems);
    if ((flags & 4) == 0) state.wmi.Answer(L"ExecQuery", L"SELECT * FROM Win32_ComputerSystem", TakeInstances(input));
    if ((flags & 8) != 0) state.wmi.failures[L"winmgmts:{impersonationLevel=impersonate}"] = -2147217405;
}

std::size_t CountLines(const std::wstring& report) {
    std::size_t lines = 1;
    for (auto at = report.find(L"\r\n"); at != std::wstring::npos; at = report.find(L"\r\n", at + 2)) ++lines;
    return lines;
}

void CheckReport(fuzzcheck::Reader& input) {
    SetUpMachine(input);
    std::wstring report;
    try {
        report = modVelmora::GetAboutOS();
    } catch (const RunError& error) {
        // A value the report cannot take ends the run with the error report, which names it.
        Check(IsReportErrorNumber(error.Number()), "the report raised an unexpected error number", error.Description());
        Check(!error.Description().empty(), "the report raised an error that says nothing");
        return;
    }
    const std::wstring start = L"About OS Windows\r\n";
    Check(report.compare(0, start.size(), start) == 0, "the report does not start with its title line", report);
    Check(report.size() < 2 || report.compare(report.size() - 2, 2, L"\r\n") != 0, "the report ends with CR LF",
          report);
    const auto lines = CountLines(report);
    Check(lines == 26 || lines == 27, "the report has neither 26 nor 27 lines", report);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzcheck::Reader input(data, size);
    CheckValue(TakeValue(input, true));
    if (!input.Empty()) CheckReport(input);
    return 0;
}
