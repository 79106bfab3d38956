#include "platform/Locale.h"

#include <windows.h>
#include <oleauto.h>

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

}  // namespace platform::locale
