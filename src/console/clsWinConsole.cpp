#include "console/clsWinConsole.h"

#include "platform/AppInfo.h"

namespace console = platform::console;

namespace {
const std::wstring CrLf = L"\r\n";
}

clsWinConsole::~clsWinConsole() { Hide(); }

void clsWinConsole::Show() {
    console::Open();
    console::SetTitle(platform::App().Title);
    hStdIn = console::GetStd(console::StdHandle::Input);
    hStdOut = console::GetStd(console::StdHandle::Output);
    hStdErr = console::GetStd(console::StdHandle::Error);
}

void clsWinConsole::Hide() {
    // The handles stay as they are: IsActive tells whether Show ever ran.
    if (IsActive()) console::LetGo();
}

bool clsWinConsole::IsActive() const { return hStdErr != 0 || hStdOut != 0 || hStdIn != 0; }

void clsWinConsole::WriteText(const std::wstring& Text, bool NoAddVbCrLf) {
    // True appends the line end, whatever the parameter's name suggests.
    console::Write(hStdOut, NoAddVbCrLf ? Text + CrLf : Text);
}

void clsWinConsole::WriteTextLine(const std::wstring& Text) { console::Write(hStdOut, Text + CrLf); }

std::wstring clsWinConsole::ReadText() { return CutReadLine(console::ReadBuffer(hStdIn, ReadBufferSize)); }

std::wstring clsWinConsole::CutReadLine(const std::wstring& buffer) {
    const auto nul = buffer.find(L'\0');
    if (nul != std::wstring::npos && nul >= CrLf.size()) {
        // A complete line: everything before the NUL but its closing CR LF.
        return buffer.substr(0, nul - CrLf.size());
    }
    // A read that left fewer than two bytes, or a line too long for the buffer:
    // what was read, without a line end of its own.
    std::wstring text = buffer.substr(0, nul);
    if (text.size() >= 2 && text.compare(text.size() - 2, 2, CrLf) == 0) {
        text.resize(text.size() - 2);
    } else if (!text.empty() && text.back() == L'\r') {
        text.pop_back();
    }
    return text;
}
