#include "platform/Text.h"

#include <windows.h>

#include "platform/win32/WinText.h"

namespace platform::text {

namespace {

std::wstring Upper(const std::wstring& text) {  // LCMapStringW keeps the length it is given
    if (text.empty()) return text;
    std::wstring upper(text.size(), L'\0');
    const int length = static_cast<int>(text.size());
    if (LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, text.data(), length, upper.data(), length) != length)
        return text;
    return upper;
}

}  // namespace

bool SameIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() && Upper(a) == Upper(b);
}

std::wstring Folded(const std::wstring& text) { return Upper(text); }

std::wstring FromAnsi(const std::string& bytes) { return win32::FromAnsi(bytes); }

}  // namespace platform::text
