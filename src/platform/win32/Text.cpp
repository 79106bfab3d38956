#include "platform/Text.h"

#include <windows.h>

namespace platform::text {

namespace {

std::wstring Upper(const std::wstring& text) {
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

}  // namespace platform::text
