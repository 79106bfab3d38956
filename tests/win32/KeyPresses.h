// Typing into a console as a person does: each character's key pressed and let go,
// then Enter, placed in the console's input buffer. For the Windows tests and the
// end-to-end harness.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace velmora_test {

inline INPUT_RECORD KeyEvent(wchar_t ch, WORD virtualKey, bool down) {
    INPUT_RECORD record = {};
    record.EventType = KEY_EVENT;
    record.Event.KeyEvent.bKeyDown = down ? TRUE : FALSE;
    record.Event.KeyEvent.wRepeatCount = 1;
    record.Event.KeyEvent.wVirtualKeyCode = virtualKey;
    record.Event.KeyEvent.wVirtualScanCode = static_cast<WORD>(MapVirtualKeyW(virtualKey, 0 /* MAPVK_VK_TO_VSC */));
    record.Event.KeyEvent.uChar.UnicodeChar = ch;
    return record;
}

// Whether every key press of the text and of Enter went into the input buffer.
inline bool TypeLine(HANDLE input, const std::wstring& text) {
    std::vector<INPUT_RECORD> records;
    const auto press = [&records](wchar_t ch, WORD virtualKey) {
        records.push_back(KeyEvent(ch, virtualKey, true));
        records.push_back(KeyEvent(ch, virtualKey, false));
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
