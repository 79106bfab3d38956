// The console port in a window-subsystem process, which starts without a console as
// the program does. Text written through the port is read back from the screen
// buffer; typed input is placed in the input buffer with WriteConsoleInputW.
//
// Under Wine the console is a window: DISPLAY must name an X display (source
// tools/wine-env.sh, which starts Xvfb when there is none).
#include <windows.h>

#include <gtest/gtest.h>

#include "KeyPresses.h"
#include "Win32TestSupport.h"
#include "console/clsWinConsole.h"
#include "platform/AppInfo.h"
#include "platform/Console.h"

namespace {

namespace console = platform::console;
using console::StdHandle;

HANDLE AsHandle(console::Handle handle) { return reinterpret_cast<HANDLE>(handle.value); }

// Opens the console through the port and lets it go at the end of the test.
class ConsoleSession {
public:
    ConsoleSession() { console::Open(); }
    ~ConsoleSession() { console::LetGo(); }
    ConsoleSession(const ConsoleSession&) = delete;
    ConsoleSession& operator=(const ConsoleSession&) = delete;
};

std::wstring ScreenText(HANDLE output, COORD from, std::size_t count) {
    std::wstring text(count, L'\0');
    DWORD read = 0;
    if (!ReadConsoleOutputCharacterW(output, text.data(), static_cast<DWORD>(count), from, &read))
        return L"<unreadable>";
    text.resize(read);
    return text;
}

COORD Cursor(HANDLE output) {
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    GetConsoleScreenBufferInfo(output, &info);
    return info.dwCursorPosition;
}

std::wstring ConsoleTitle() {
    wchar_t title[512] = {};
    const DWORD length = GetConsoleTitleW(title, 512);
    return std::wstring(title, length);
}

bool OnlyNulsFrom(const std::wstring& text, std::size_t from) {
    return text.find_first_not_of(L'\0', from) == std::wstring::npos;
}

// Runs before the others: the program's situation is a process without a console.
TEST(ConsolePort, AProcessWithoutConsoleGetsOneFromOpen) {
    ASSERT_EQ(GetConsoleWindow(), nullptr) << "the test process already has a console";
    ConsoleSession session;
    const auto input = console::GetStd(StdHandle::Input);
    const auto output = console::GetStd(StdHandle::Output);
    const auto error = console::GetStd(StdHandle::Error);
    for (const auto handle : {input, output, error}) {
        EXPECT_NE(handle.value, 0);
        EXPECT_NE(AsHandle(handle), INVALID_HANDLE_VALUE);
    }
    // They are the console's own handles: console functions accept them.
    DWORD mode = 0;
    EXPECT_TRUE(GetConsoleMode(AsHandle(input), &mode));
    EXPECT_NE(mode & ENABLE_LINE_INPUT, 0u);
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    EXPECT_TRUE(GetConsoleScreenBufferInfo(AsHandle(output), &info));
    EXPECT_TRUE(GetConsoleScreenBufferInfo(AsHandle(error), &info));
}

TEST(ConsolePort, LetGoReleasesTheConsole) {
    console::Open();
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    ASSERT_TRUE(GetConsoleScreenBufferInfo(AsHandle(console::GetStd(StdHandle::Output)), &info));
    console::LetGo();
    // Only a process without a console may make a new one.
    EXPECT_TRUE(AllocConsole()) << "the console was not let go (error " << GetLastError() << ")";
    FreeConsole();
}

TEST(ConsolePort, OpenTwiceKeepsOneWorkingConsole) {
    ConsoleSession session;
    const auto output = console::GetStd(StdHandle::Output);
    console::Open();  // fails quietly: the process already has one
    EXPECT_EQ(console::GetStd(StdHandle::Output), output);
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    EXPECT_TRUE(GetConsoleScreenBufferInfo(AsHandle(output), &info));
}

TEST(ConsolePort, WriteShowsAccentedLettersAsWritten) {
    ConsoleSession session;
    const auto output = console::GetStd(StdHandle::Output);
    const HANDLE screen = AsHandle(output);
    const COORD start = Cursor(screen);
    const std::wstring text = L"Nerozpoznan\u00E1 verze";  // "Nerozpoznaná verze"
    console::Write(output, text);
    EXPECT_EQ(ScreenText(screen, start, text.size()), text);
    // Every byte, and nothing more: the cursor stands right behind the text.
    const COORD end = Cursor(screen);
    EXPECT_EQ(end.Y, start.Y);
    EXPECT_EQ(end.X, start.X + static_cast<SHORT>(text.size()));
    EXPECT_EQ(ScreenText(screen, end, 1), L" ");
}

TEST(ConsolePort, WriteFollowsTheConsoleOutputCodePage) {
    ConsoleSession session;
    const auto output = console::GetStd(StdHandle::Output);
    const HANDLE screen = AsHandle(output);
    const UINT original = GetConsoleOutputCP();
    // "Nepodařilo se načíst verzi systému Windows", "Nerozpoznaná verze"
    const std::wstring text =
        L"Nepoda\u0159ilo se na\u010D\u00EDst verzi syst\u00E9mu Windows; Nerozpoznan\u00E1 verze";
    for (const UINT codePage : {852u, 1250u, 65001u}) {
        if (!IsValidCodePage(codePage) || !SetConsoleOutputCP(codePage)) {
            ADD_FAILURE() << "the console cannot take code page " << codePage;
            continue;
        }
        ASSERT_EQ(GetConsoleOutputCP(), codePage);
        console::Write(output, L"\r\n");
        const COORD start = Cursor(screen);
        console::Write(output, text);
        EXPECT_EQ(ScreenText(screen, start, text.size()), text) << "output code page " << codePage;
    }
    SetConsoleOutputCP(original);
}

TEST(ConsolePort, SetTitleShowsInTheTitleBar) {
    ConsoleSession session;
    console::SetTitle(L"Velmora");
    EXPECT_EQ(ConsoleTitle(), L"Velmora");
    console::SetTitle(L"Velmora - MsComCtl.OCX checker");
    EXPECT_EQ(ConsoleTitle(), L"Velmora - MsComCtl.OCX checker");
}

TEST(ConsolePort, SetTitleKeepsAccentedLetters) {
    ConsoleSession session;
    // As the console starts: one code page for input and output (the OEM one), in
    // which the console reads a title given to the ANSI function.
    ASSERT_EQ(GetConsoleCP(), GetConsoleOutputCP());
    const std::wstring title = L"Nerozpoznan\u00E1 verze";  // "Nerozpoznaná verze"
    console::SetTitle(title);
    EXPECT_EQ(ConsoleTitle(), title) << "console code page " << GetConsoleCP() << ", ANSI code page " << GetACP();
}

TEST(ConsolePort, ReadBufferGivesTheLineThenZeros) {
    ConsoleSession session;
    const auto input = console::GetStd(StdHandle::Input);
    ASSERT_TRUE(velmora_test::TypeLine(AsHandle(input), L"abc"));
    const auto buffer = console::ReadBuffer(input, 256);
    ASSERT_EQ(buffer.size(), 256u);
    EXPECT_EQ(buffer.substr(0, 5), L"abc\r\n");
    EXPECT_TRUE(OnlyNulsFrom(buffer, 5));
}

TEST(ConsolePort, ReadBufferOfAnEmptyLine) {
    ConsoleSession session;
    const auto input = console::GetStd(StdHandle::Input);
    ASSERT_TRUE(velmora_test::TypeLine(AsHandle(input), L""));
    const auto buffer = console::ReadBuffer(input, 256);
    ASSERT_EQ(buffer.size(), 256u);
    EXPECT_EQ(buffer.substr(0, 2), L"\r\n");
    EXPECT_TRUE(OnlyNulsFrom(buffer, 2));
}

TEST(ConsolePort, ReadBufferFollowsTheConsoleInputCodePage) {
    ConsoleSession session;
    const auto input = console::GetStd(StdHandle::Input);
    const UINT original = GetConsoleCP();
    const std::wstring typed = L"Ji\u0159\u00ED Nov\u00E1\u010Dek";  // "Jiří Nováček"
    for (const UINT codePage : {852u, 1250u}) {
        if (!IsValidCodePage(codePage) || !SetConsoleCP(codePage)) {
            ADD_FAILURE() << "the console cannot take input code page " << codePage;
            continue;
        }
        ASSERT_TRUE(velmora_test::TypeLine(AsHandle(input), typed));
        const auto buffer = console::ReadBuffer(input, 256);
        ASSERT_EQ(buffer.size(), 256u) << "input code page " << codePage;
        EXPECT_EQ(buffer.substr(0, typed.size() + 2), typed + L"\r\n") << "input code page " << codePage;
        EXPECT_TRUE(OnlyNulsFrom(buffer, typed.size() + 2)) << "input code page " << codePage;
    }
    SetConsoleCP(original);
}

// The console window class over the port, as the program runs it.
TEST(WinConsole, ShowWriteReadHide) {
    {
        clsWinConsole window;
        EXPECT_FALSE(window.IsActive());
        window.Show();
        EXPECT_TRUE(window.IsActive());
        EXPECT_EQ(ConsoleTitle(), platform::App().Title);
        EXPECT_EQ(ConsoleTitle(), L"Velmora");

        const HANDLE screen = GetStdHandle(STD_OUTPUT_HANDLE);
        const COORD start = Cursor(screen);
        window.WriteTextLine(L"Nerozpoznan\u00E1 verze");
        EXPECT_EQ(ScreenText(screen, start, 18), L"Nerozpoznan\u00E1 verze");
        const COORD next = Cursor(screen);
        EXPECT_EQ(next.Y, start.Y + 1);
        EXPECT_EQ(next.X, 0);

        ASSERT_TRUE(velmora_test::TypeLine(GetStdHandle(STD_INPUT_HANDLE), L"abc"));
        EXPECT_EQ(window.ReadText(), L"abc");

        window.Hide();
        EXPECT_TRUE(AllocConsole()) << "Hide did not let the console go";
        FreeConsole();
    }
    // The destructor hid it once more; the process still has no console.
    EXPECT_EQ(GetConsoleWindow(), nullptr);
}

}  // namespace
