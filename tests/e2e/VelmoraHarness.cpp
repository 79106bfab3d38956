// VelmoraHarness: runs Velmora.exe and looks at the console it opens the way a
// person would: it attaches to that console, reads the screen rows as they are
// written, answers the "Press Enter to exit" prompt (or the error message box)
// and tells what it saw.
//
//   VelmoraHarness.exe [--out FILE] [--timeout SECONDS] [--settle MS] TARGET.exe [ARGUMENT...]
//       Report mode: a plain-text report (UTF-8) to FILE, or to standard output.
//       The arguments after TARGET.exe are the target's.
//   VelmoraHarness.exe --mirror TARGET.exe
//       Live mode: the program's rows go to standard output as they appear, each
//       line read from standard input is typed into the console followed by Enter.
//       The harness ends with the program's exit code.
//
// Report lines, one fact each, "key|value":
//   result|ok | timeout | no-console | start-failed <error>
//   title|<console title>       columns|<buffer width>    buffer_rows|<buffer height>
//   row|<text>                  every row up to the last non-empty one, trailing spaces cut
//   prompt|waiting | gone | none    whether the program was alive at its prompt
//   enter_to_exit_ms|<ms>       from typing Enter to the end of the process
//   console_to_prompt_ms|<ms>   from the console's first showing to the prompt's
//   msgbox|<line>               the error message box's text, one line each
//   exit|<code>                 the program's exit code
//   bar|<row>|<partial lengths seen>|<ms from first "|" to full length, or -1>
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "KeyPresses.h"
#include "MessageBoxes.h"
#include "platform/win32/Ownership.h"

namespace {

constexpr wchar_t PromptText[] = L"Press Enter to exit";
constexpr wchar_t BoxTitle[] = L"Velmora";
constexpr std::size_t BarLength = 71;
constexpr DWORD PollMs = 20;
constexpr DWORD ExitWaitMs = 10000;

// --- Small helpers -------------------------------------------------------------------

using UniqueHandle = platform::win32::UniqueKernelHandle;

double NowMs() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
    return bytes;
}

std::wstring FromUtf8(const std::string& bytes) {
    if (bytes.empty()) return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), size);
    return text;
}

std::wstring TrimRight(std::wstring text) {
    while (!text.empty() && (text.back() == L' ' || text.back() == L'\0')) text.pop_back();
    return text;
}

std::vector<std::wstring> SplitLines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    std::wstring line;
    for (wchar_t ch : text) {
        if (ch == L'\r') continue;
        if (ch == L'\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += ch;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

// Plain bytes to a file or pipe handle, taken before the console is let go.
class Sink {
public:
    explicit Sink(HANDLE handle) : handle_(handle) {}
    void Write(const std::string& bytes) const {
        DWORD written = 0;
        if (handle_ && !bytes.empty())
            WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
    void Write(const std::wstring& text) const { Write(ToUtf8(text)); }
    void Line(const std::wstring& key, const std::wstring& value) const { Write(key + L"|" + value + L"\n"); }

private:
    HANDLE handle_;
};

// --- The target's console ------------------------------------------------------------

struct Screen {
    std::wstring title;
    int columns = 0;
    int bufferRows = 0;
    int cursorRow = 0;
    std::vector<std::wstring> rows;  // rows 0..cursorRow, trailing spaces cut

    std::size_t LastNonEmpty() const {
        std::size_t count = rows.size();
        while (count > 0 && rows[count - 1].empty()) --count;
        return count;
    }
    bool HasPrompt() const {
        for (const auto& row : rows)
            if (row == PromptText) return true;
        return false;
    }
};

class Console {
public:
    // Tries once to attach to the console of process `pid`.
    bool Attach(DWORD pid) {
        if (!AttachConsole(pid)) return false;
        output_.reset(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
        input_.reset(CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
        if (!output_ || !input_) {
            Detach();
            return false;
        }
        return true;
    }

    void Detach() {
        output_.reset();
        input_.reset();
        FreeConsole();
    }

    bool Attached() const { return static_cast<bool>(output_); }

    bool Read(Screen& screen) const {
        CONSOLE_SCREEN_BUFFER_INFO info;
        if (!output_ || !GetConsoleScreenBufferInfo(output_.get(), &info)) return false;
        screen.columns = info.dwSize.X;
        screen.bufferRows = info.dwSize.Y;
        screen.cursorRow = info.dwCursorPosition.Y;
        const int rowCount = info.dwCursorPosition.Y + 1;
        // One read across the rows: the console continues a read on the next row.
        std::wstring cells(static_cast<std::size_t>(screen.columns) * static_cast<std::size_t>(rowCount), L' ');
        DWORD read = 0;
        if (!ReadConsoleOutputCharacterW(output_.get(), cells.data(), static_cast<DWORD>(cells.size()), COORD{0, 0},
                                         &read))
            return false;
        screen.rows.clear();
        for (int row = 0; row < rowCount; ++row)
            screen.rows.push_back(
                TrimRight(cells.substr(static_cast<std::size_t>(row) * static_cast<std::size_t>(screen.columns),
                                       static_cast<std::size_t>(screen.columns))));
        wchar_t title[1024] = {};
        if (GetConsoleTitleW(title, 1024)) screen.title = title;
        return true;
    }

    // Types the characters, then Enter, as key presses.
    void Type(const std::wstring& text) const { velmora_test::TypeLine(input_.get(), text); }

private:
    UniqueHandle output_;
    UniqueHandle input_;
};

// --- The error message box: found, read and closed as the Windows tests do ----------

using velmora_test::MessageBoxText;

HWND FindMessageBox(DWORD pid) { return velmora_test::FindMessageBox(pid, BoxTitle); }

// --- Starting the target -------------------------------------------------------------

struct Target {
    UniqueHandle process;
    UniqueHandle job;
    DWORD pid = 0;
    DWORD startError = 0;

    bool Exited() const { return WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0; }
    DWORD ExitCode() const {
        DWORD code = 0;
        GetExitCodeProcess(process.get(), &code);
        return code;
    }
};

// An argument as the target's command line carries it (CommandLineToArgvW's rules).
std::wstring Quoted(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t ch : argument) {
        if (ch == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(ch == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += ch;
    }
    return quoted + std::wstring(backslashes * 2, L'\\') + L"\"";
}

Target Start(const std::wstring& path, const std::vector<std::wstring>& arguments) {
    Target target;
    std::wstring commandLine = L"\"" + path + L"\"";
    for (const auto& argument : arguments) commandLine += L" " + Quoted(argument);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    // Detached: the program opens a console of its own with AllocConsole.
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS | CREATE_SUSPENDED,
                        nullptr, nullptr, &startup, &info)) {
        target.startError = GetLastError();
        return target;
    }
    target.process.reset(info.hProcess);
    target.pid = info.dwProcessId;
    // The program goes when the harness goes, however the harness ends.
    target.job.reset(CreateJobObjectW(nullptr, nullptr));
    if (target.job) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(target.job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
        AssignProcessToJobObject(target.job.get(), info.hProcess);
    }
    ResumeThread(info.hThread);
    CloseHandle(info.hThread);
    return target;
}

// --- Report mode ---------------------------------------------------------------------

struct BarTrack {
    double firstMs = 0;
    double fullMs = -1;
    std::set<std::size_t> partialLengths;
};

struct Observation {
    std::wstring result = L"ok";
    Screen screen;
    bool sawConsole = false;
    std::wstring prompt = L"none";
    double enterToExitMs = -1;
    double consoleMs = -1;  // when the console was first read
    double promptMs = -1;   // when the prompt first showed
    std::wstring boxText;
    bool sawBox = false;
    bool exited = false;
    DWORD exitCode = 0;
    std::map<std::size_t, BarTrack> bars;
};

void TrackBars(const Screen& screen, double now, std::map<std::size_t, BarTrack>& bars) {
    for (std::size_t row = 0; row < screen.rows.size(); ++row) {
        const std::wstring& text = screen.rows[row];
        if (text.empty() || text[0] != L'|') continue;
        auto inserted = bars.emplace(row, BarTrack{});
        BarTrack& bar = inserted.first->second;
        if (inserted.second) bar.firstMs = now;
        if (text.size() < BarLength)
            bar.partialLengths.insert(text.size());
        else if (bar.fullMs < 0)
            bar.fullMs = now;
    }
}

// Waits a bounded time for the process to end; true when it did.
bool WaitExit(Observation& seen, const Target& target, DWORD ms) {
    if (WaitForSingleObject(target.process.get(), ms) != WAIT_OBJECT_0) return false;
    seen.exited = true;
    seen.exitCode = target.ExitCode();
    return true;
}

Observation Observe(const Target& target, double timeoutMs, DWORD settleMs) {
    Observation seen;
    Console console;
    const double deadline = NowMs() + timeoutMs;
    while (NowMs() < deadline) {
        const bool gone = target.Exited();
        if (!console.Attached() && !gone) console.Attach(target.pid);
        if (console.Attached()) {
            Screen screen;
            if (console.Read(screen)) {
                if (!seen.sawConsole) seen.consoleMs = NowMs();
                seen.sawConsole = true;
                seen.screen = screen;
                TrackBars(screen, NowMs(), seen.bars);
            }
        }
        if (gone) {
            WaitExit(seen, target, 0);
            break;
        }
        if (HWND box = FindMessageBox(target.pid)) {
            Sleep(settleMs);  // the box is up; let it settle before it is read
            seen.sawBox = true;
            seen.boxText = MessageBoxText(box);
            velmora_test::PressOk(box);
            if (!WaitExit(seen, target, ExitWaitMs)) {
                PostMessageW(box, WM_CLOSE, 0, 0);
                WaitExit(seen, target, ExitWaitMs);
            }
            break;
        }
        if (seen.screen.HasPrompt()) {
            seen.promptMs = NowMs();
            Sleep(settleMs);
            seen.prompt = target.Exited() ? L"gone" : L"waiting";
            if (seen.prompt == L"waiting") {
                Screen atPrompt;
                if (console.Read(atPrompt)) seen.screen = atPrompt;
                const double typed = NowMs();
                console.Type(L"");
                if (WaitExit(seen, target, ExitWaitMs)) seen.enterToExitMs = NowMs() - typed;
            } else {
                WaitExit(seen, target, 0);
            }
            break;
        }
        Sleep(PollMs);
    }
    if (!seen.exited) {
        seen.result = L"timeout";
        TerminateProcess(target.process.get(), 259);
        WaitForSingleObject(target.process.get(), 2000);
    } else if (!seen.sawConsole && !seen.sawBox) {
        seen.result = L"no-console";
    }
    console.Detach();
    return seen;
}

void WriteReport(const Sink& out, const Observation& seen) {
    out.Line(L"result", seen.result);
    out.Line(L"title", seen.screen.title);
    out.Line(L"columns", std::to_wstring(seen.screen.columns));
    out.Line(L"buffer_rows", std::to_wstring(seen.screen.bufferRows));
    const std::size_t rowCount = seen.screen.LastNonEmpty();
    for (std::size_t row = 0; row < rowCount; ++row) out.Line(L"row", seen.screen.rows[row]);
    out.Line(L"prompt", seen.prompt);
    if (seen.enterToExitMs >= 0)
        out.Line(L"enter_to_exit_ms", std::to_wstring(static_cast<long long>(seen.enterToExitMs + 0.5)));
    if (seen.consoleMs >= 0 && seen.promptMs >= 0)
        out.Line(L"console_to_prompt_ms",
                 std::to_wstring(static_cast<long long>(seen.promptMs - seen.consoleMs + 0.5)));
    if (seen.sawBox) {
        out.Line(L"msgbox_title", BoxTitle);
        for (const auto& line : SplitLines(seen.boxText)) out.Line(L"msgbox", line);
    }
    out.Line(L"exit", seen.exited ? std::to_wstring(seen.exitCode) : L"none");
    for (const auto& [row, bar] : seen.bars) {
        const long long ms = bar.fullMs < 0 ? -1 : static_cast<long long>(bar.fullMs - bar.firstMs + 0.5);
        out.Line(L"bar",
                 std::to_wstring(row) + L"|" + std::to_wstring(bar.partialLengths.size()) + L"|" + std::to_wstring(ms));
    }
}

// --- Mirror mode ---------------------------------------------------------------------

// Lines from standard input, read on a thread of their own. It lives as long as
// the process: its thread may still be waiting for input when the run ends.
class InputLines {
public:
    explicit InputLines(HANDLE input) : input_(input) {
        InitializeCriticalSection(&lock_);
        if (input_) thread_.reset(CreateThread(nullptr, 0, &InputLines::Run, this, 0, nullptr));
        if (!thread_) ended_ = true;
    }

    // The next line, if one came.
    bool Next(std::wstring& line) {
        EnterCriticalSection(&lock_);
        const bool got = !lines_.empty();
        if (got) {
            line = lines_.front();
            lines_.pop_front();
        }
        LeaveCriticalSection(&lock_);
        return got;
    }

    // Standard input is over and every line of it was taken.
    bool Ended() {
        EnterCriticalSection(&lock_);
        const bool ended = ended_ && lines_.empty();
        LeaveCriticalSection(&lock_);
        return ended;
    }

private:
    static DWORD WINAPI Run(void* self) {
        static_cast<InputLines*>(self)->Loop();
        return 0;
    }
    void Loop() {
        std::string pending;
        char buffer[512];
        DWORD read = 0;
        while (ReadFile(input_, buffer, sizeof buffer, &read, nullptr) && read > 0) {
            pending.append(buffer, read);
            std::size_t end;
            while ((end = pending.find('\n')) != std::string::npos) {
                std::string line = pending.substr(0, end);
                if (!line.empty() && line.back() == '\r') line.pop_back();
                Push(FromUtf8(line), false);
                pending.erase(0, end + 1);
            }
        }
        Push(FromUtf8(pending), true);
    }
    void Push(const std::wstring& line, bool last) {
        EnterCriticalSection(&lock_);
        if (!last || !line.empty()) lines_.push_back(line);
        if (last) ended_ = true;
        LeaveCriticalSection(&lock_);
    }

    HANDLE input_;
    UniqueHandle thread_;
    CRITICAL_SECTION lock_;
    std::deque<std::wstring> lines_;
    bool ended_ = false;
};

// Sends the rows to the output as a stream: what was added to the current row,
// then a line end when the console moves on to the next one.
class Mirror {
public:
    explicit Mirror(const Sink& out) : out_(out) {}

    void Update(const Screen& screen) {
        if (stopped_) return;
        const std::size_t last = static_cast<std::size_t>(screen.cursorRow);
        while (row_ <= last) {
            const std::wstring current = row_ < screen.rows.size() ? screen.rows[row_] : std::wstring();
            if (current.compare(0, shown_.size(), shown_) == 0)
                out_.Write(current.substr(shown_.size()));
            else
                out_.Write(L"\r" + current + L"\x1b[K");  // rewritten in place
            shown_ = current;
            if (row_ == last) break;
            out_.Write("\n");
            ++row_;
            shown_.clear();
            // What follows the prompt is the echo of the user's own typing: the
            // terminal shows that already.
            if (current == PromptText) {
                stopped_ = true;
                break;
            }
        }
    }

    void Finish() {
        if (!stopped_ && !shown_.empty()) out_.Write("\n");
        stopped_ = true;
    }

private:
    const Sink& out_;
    std::size_t row_ = 0;
    std::wstring shown_;
    bool stopped_ = false;
};

int RunMirror(const Target& target, const Sink& out, HANDLE input) {
    InputLines& lines = *new InputLines(input);
    Console console;
    Mirror mirror(out);
    HWND shownBox = nullptr;
    bool boxDismissed = false, enterAtEnd = false;
    double dismissedMs = 0;
    for (;;) {
        const bool gone = target.Exited();
        if (!console.Attached() && !gone) console.Attach(target.pid);
        Screen screen;
        if (console.Attached() && console.Read(screen)) mirror.Update(screen);
        if (gone) break;
        if (!shownBox && !boxDismissed) {
            if (HWND box = FindMessageBox(target.pid)) {
                Sleep(100);
                mirror.Finish();
                out.Write(L"[" + std::wstring(BoxTitle) + L"]\n" + MessageBoxText(box) + L"\n[OK: press Enter]\n");
                shownBox = box;
            }
        }
        // A line typed before the prompt waits in the console's input, as it would
        // for a person typing ahead; an input that ends counts as Enter at the prompt.
        std::wstring line;
        if (shownBox) {
            if (lines.Next(line) || lines.Ended()) {
                velmora_test::PressOk(shownBox);
                shownBox = nullptr;
                boxDismissed = true;
                dismissedMs = NowMs();
            }
        } else if (boxDismissed) {
            if (HWND box = FindMessageBox(target.pid); box && NowMs() - dismissedMs > 2000) {
                PostMessageW(box, WM_CLOSE, 0, 0);  // still there: close it instead
                dismissedMs = NowMs();
            }
        } else if (console.Attached()) {
            if (lines.Next(line)) {
                console.Type(line);
            } else if (lines.Ended() && !enterAtEnd && screen.HasPrompt()) {
                console.Type(L"");
                enterAtEnd = true;
            }
        }
        Sleep(PollMs);
    }
    mirror.Finish();
    console.Detach();
    return static_cast<int>(target.ExitCode());
}

// --- Entry ---------------------------------------------------------------------------

int Usage() {
    std::fputs(
        "usage: VelmoraHarness [--out FILE] [--timeout SECONDS] [--settle MS] TARGET.exe [ARG...]\n"
        "       VelmoraHarness --mirror TARGET.exe\n",
        stderr);
    return 64;
}

int Run() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    bool mirror = false;
    std::wstring outPath, targetPath;
    std::vector<std::wstring> targetArguments;
    double timeoutMs = 60000;
    DWORD settleMs = 300;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (!targetPath.empty()) {
            targetArguments.push_back(arg);  // everything after the target is its own
        } else if (arg == L"--mirror") {
            mirror = true;
        } else if (arg == L"--out" && i + 1 < argc) {
            outPath = argv[++i];
        } else if (arg == L"--timeout" && i + 1 < argc) {
            timeoutMs = 1000.0 * std::wcstod(argv[++i], nullptr);
        } else if (arg == L"--settle" && i + 1 < argc) {
            settleMs = static_cast<DWORD>(std::wcstoul(argv[++i], nullptr, 10));
        } else if (arg.rfind(L"--", 0) != 0) {
            targetPath = arg;
        } else {
            return Usage();
        }
    }
    LocalFree(argv);
    if (targetPath.empty()) return Usage();

    // The standard handles are taken before the harness lets its own console go.
    UniqueHandle outFile;
    if (!outPath.empty()) {
        outFile.reset(CreateFileW(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!outFile) {
            std::fprintf(stderr, "VelmoraHarness: cannot write %ls\n", outPath.c_str());
            return 64;
        }
    }
    const Sink out(outFile ? outFile.get() : GetStdHandle(STD_OUTPUT_HANDLE));
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    FreeConsole();

    Target target = Start(targetPath, targetArguments);
    if (!target.process) {
        if (mirror) {
            out.Write(L"VelmoraHarness: cannot start " + targetPath + L", error " + std::to_wstring(target.startError) +
                      L"\n");
            return 64;
        }
        out.Line(L"result", L"start-failed " + std::to_wstring(target.startError));
        return 1;
    }
    if (mirror) return RunMirror(target, out, input);

    const Observation seen = Observe(target, timeoutMs, settleMs);
    WriteReport(out, seen);
    return seen.result == L"ok" ? 0 : 1;
}

}  // namespace

int main() { ExitProcess(static_cast<UINT>(Run())); }
