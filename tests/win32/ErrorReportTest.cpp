// The error report: the message box that tells what ended the run. Each report is
// made on a thread of its own; the test finds the box among the process's windows,
// reads its title and text, and presses OK.
#include <windows.h>

#include <gtest/gtest.h>

#include "MessageBoxes.h"
#include "app/modRunResult.h"
#include "platform/RunError.h"

namespace {

constexpr wchar_t NoDescription[] = L"The system has no description of this error.";

struct Shown {
    bool found = false;
    bool closed = false;
    std::wstring title;
    std::wstring text;
};

DWORD WINAPI Report(LPVOID error) {
    const auto& failure = *static_cast<const platform::RunError*>(error);
    modRunResult::ShowRunError(failure.Number(), failure.Description());
    return 0;
}

Shown ReportAndRead(const platform::RunError& error) {
    HANDLE thread = CreateThread(nullptr, 0, Report, const_cast<platform::RunError*>(&error), 0, nullptr);
    Shown shown;
    if (!thread) return shown;
    // Looks for the box for up to a minute: a bound against a hang, not a timing check.
    HWND box = nullptr;
    for (int attempt = 0; attempt < 600 && !box; ++attempt) {
        box = velmora_test::FindMessageBox(GetCurrentProcessId());
        if (!box) Sleep(100);
    }
    if (box) {
        shown.found = true;
        shown.title = velmora_test::WindowText(box);
        shown.text = velmora_test::MessageBoxText(box);
        velmora_test::PressOk(box);
    }
    shown.closed = WaitForSingleObject(thread, 60000) == WAIT_OBJECT_0;
    if (!shown.closed) TerminateThread(thread, 1);
    CloseHandle(thread);
    return shown;
}

// What FormatMessage says of a system error number, without the closing line end.
std::wstring SystemWords(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring words = length ? std::wstring(text, length) : std::wstring();
    LocalFree(text);
    while (!words.empty() && (words.back() == L'\n' || words.back() == L'\r')) words.pop_back();
    return words;
}

constexpr wchar_t Opening[] = L"The check could not be finished.\n\nWhat failed: ";

TEST(ErrorReport, TellsWhatFailedAndTheErrorNumber) {
    const auto code = static_cast<std::int32_t>(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    const auto shown = ReportAndRead(platform::RunError(code, L"Reading the control file"));
    ASSERT_TRUE(shown.found) << "no message box appeared";
    EXPECT_TRUE(shown.closed) << "the message box did not close on OK";
    EXPECT_EQ(shown.title, L"Velmora");

    const std::wstring head = std::wstring(Opening) + L"Reading the control file\nError 0x80070002: ";
    ASSERT_EQ(shown.text.substr(0, head.size()), head) << testing::PrintToString(shown.text);
    const auto description = shown.text.substr(head.size());
    const auto words = SystemWords(static_cast<DWORD>(code));
    EXPECT_EQ(description, words.empty() ? std::wstring(NoDescription) : words);
    ASSERT_FALSE(description.empty());
    EXPECT_NE(description.back(), L'\n');
    EXPECT_NE(description.back(), L'\r');
}

TEST(ErrorReport, NumberWithoutDescription) {
    const auto code = static_cast<std::int32_t>(0x8FFF1234u);
    const auto shown = ReportAndRead(platform::RunError(code, L"Something else"));
    ASSERT_TRUE(shown.found) << "no message box appeared";
    EXPECT_TRUE(shown.closed);
    EXPECT_EQ(shown.text, std::wstring(Opening) + L"Something else\nError 0x8FFF1234: " + NoDescription);
}

TEST(ErrorReport, WmiErrorNumber) {
    const auto code = static_cast<std::int32_t>(0x80041010u);  // WBEM_E_INVALID_CLASS
    const auto shown = ReportAndRead(platform::RunError(code, L"Getting the object \"winmgmts:\""));
    ASSERT_TRUE(shown.found) << "no message box appeared";
    EXPECT_TRUE(shown.closed);
    const std::wstring head = std::wstring(Opening) + L"Getting the object \"winmgmts:\"\nError 0x80041010: ";
    ASSERT_EQ(shown.text.substr(0, head.size()), head) << testing::PrintToString(shown.text);
    EXPECT_FALSE(shown.text.substr(head.size()).empty());
}

}  // namespace
