// Typing into a console as a person does: each character's key pressed and let go,
// then Enter, placed in the console's input buffer. For the Windows tests and the
// end-to-end harness.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace velmora_test {

// Whether every key press of the text and of Enter went into the input buffer.
inline bool TypeLine(HANDLE input, const std::wstring& text) {
    std::vector<INPUT_RECORD> records;
    const auto press = [&records](wchar_t ch, WORD virtualKey) {
        for (const BOOL down : {TRUE, FALSE}) {
            INPUT_RECORD record = {};
            record.EventType = KEY_EVENT;
            record.Event.KeyEvent = {
                down, 1, virtualKey, static_cast<WORD>(MapVirtualKeyW(virtualKey, 0 /* VK to scan */)), {ch}, 0};
            records.push_back(record);
        }
    };
    for (const wchar_t ch : text) {
        const SHORT scan = VkKeyScanW(ch);
        press(ch, scan == -1 ? 0 : static_cast<WORD>(scan & 0xFF));
    }
    press(L'\r', VK_RETURN);
    DWORD written = 0;
    return WriteConsoleInputW(input, records.data(), static_cast<DWORD>(records.size()), &written) &&
           written == records.size();
}

}  // namespace velmora_test
