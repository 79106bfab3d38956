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

bool clsWinConsole::IsActive() const { return hStdErr.value != 0 || hStdOut.value != 0 || hStdIn.value != 0; }

void clsWinConsole::WriteText(const std::wstring& Text, bool NoAddVbCrLf) {
    // True appends the line end, whatever the parameter's name suggests.
    console::Write(hStdOut, NoAddVbCrLf ? Text + CrLf : Text);
}

void clsWinConsole::WriteTextLine(const std::wstring& Text) { console::Write(hStdOut, Text + CrLf); }

std::wstring clsWinConsole::ReadText() { return CutReadLine(console::ReadBuffer(hStdIn, ReadBufferSize)); }

std::wstring clsWinConsole::CutReadLine(const std::wstring& buffer) {
    // The typed line ends at the first NUL (or fills the buffer); its line end goes.
    // A read that failed, returned less than a line end or overran the buffer keeps
    // what it read: no cut ever reaches past the text.
    std::wstring text = buffer.substr(0, buffer.find(L'\0'));
    if (text.size() >= CrLf.size() && text.compare(text.size() - CrLf.size(), CrLf.size(), CrLf) == 0) {
        text.resize(text.size() - CrLf.size());
    } else if (!text.empty() && text.back() == L'\r') {
        text.pop_back();  // a line cut after its CR by the full buffer
    }
    return text;
}
