#include "platform/Locale.h"

#include <windows.h>
#include <oleauto.h>

#include <numeric>

#include "platform/RunError.h"
#include "platform/win32/Ownership.h"

namespace platform::locale {

std::wstring FormatDateTime(DateTime value) {
    // The automation conversion writes the user's short date, and the time unless it is midnight.
    win32::UniqueBstr text;
    const HRESULT hr = VarBstrFromDate(value.oleDate, LOCALE_USER_DEFAULT, 0, text.put());
    if (FAILED(hr)) Fail(hr, L"Formatting a date-time");
    return text.text();
}

DateTime UtcToLocal(DateTime utc) {
    SYSTEMTIME universal = {};
    SYSTEMTIME local = {};
    if (!VariantTimeToSystemTime(utc.oleDate, &universal) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) {
        Fail(E_INVALIDARG, L"Converting a date-time to local time");
    }
    DateTime result;
    SystemTimeToVariantTime(&local, &result.oleDate);
    return result;
}

namespace {

std::wstring LocaleText(LCTYPE type) {
    wchar_t text[16] = {};
    return GetLocaleInfoW(LOCALE_USER_DEFAULT, type, text, 16) > 0 ? std::wstring(text) : std::wstring();
}

// "3;0" as NUMBERFMT takes it (3), "3;2;0" (32): the group sizes, the final 0 dropped.
UINT Grouping(const std::wstring& text) {
    const UINT grouping = std::accumulate(text.begin(), text.end(), UINT{0}, [](UINT sizes, wchar_t ch) {
        return ch >= L'0' && ch <= L'9' ? sizes * 10 + static_cast<UINT>(ch - L'0') : sizes;
    });
    return text.size() >= 2 && text.compare(text.size() - 2, 2, L";0") == 0 ? grouping / 10 : grouping;
}

}  // namespace

std::wstring FormatCount(std::uint64_t count) {
    std::wstring digits = std::to_wstring(count);
    std::wstring thousands = LocaleText(LOCALE_STHOUSAND);
    std::wstring decimal = LocaleText(LOCALE_SDECIMAL);
    NUMBERFMTW form = {};
    form.NumDigits = 0;
    form.LeadingZero = 1;
    form.Grouping = Grouping(LocaleText(LOCALE_SGROUPING));
    form.lpDecimalSep = decimal.empty() ? const_cast<wchar_t*>(L".") : decimal.data();
    form.lpThousandSep = thousands.data();
    form.NegativeOrder = 1;
    wchar_t text[64] = {};
    if (GetNumberFormatW(LOCALE_USER_DEFAULT, 0, digits.c_str(), &form, text, 64) <= 0) return digits;
    return text;
}

}  // namespace platform::locale
