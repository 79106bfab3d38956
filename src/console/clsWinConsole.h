#pragma once
// The program's console window: opens it, writes to it, reads one line, lets it go.
#include <string>

#include "platform/Console.h"

class clsWinConsole {
public:
    clsWinConsole() = default;
    ~clsWinConsole();  // the termination routine: Hide
    clsWinConsole(const clsWinConsole&) = delete;
    clsWinConsole& operator=(const clsWinConsole&) = delete;
    clsWinConsole(clsWinConsole&&) = delete;
    clsWinConsole& operator=(clsWinConsole&&) = delete;

    void Show();
    void Hide();
    bool IsActive() const;
    void WriteText(const std::wstring& Text, bool NoAddVbCrLf);
    void WriteTextLine(const std::wstring& Text);
    std::wstring ReadText();

    // The bytes ReadConsoleA leaves in the buffer, cut to the typed line.
    static std::wstring CutReadLine(const std::wstring& buffer);

    static constexpr std::size_t ReadBufferSize = 256;

private:
    platform::console::Handle hStdIn{};
    platform::console::Handle hStdOut{};
    platform::console::Handle hStdErr{};
};
