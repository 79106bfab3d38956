// Console, process, program information and the error report.
#include "FakePlatform.h"
#include "platform/AppInfo.h"
#include "platform/Console.h"
#include "platform/ErrorReport.h"
#include "platform/Process.h"

using fake::S;

namespace platform::console {

void Open() {
    ++S().console.opens;
    S().trace.push_back(L"open");
}

void LetGo() {
    ++S().console.letGos;
    S().trace.push_back(L"letgo");
}

void SetTitle(const std::wstring& title) { S().trace.push_back(L"title:" + title); }

Handle GetStd(StdHandle which) {
    const auto& console = S().console;
    return which == StdHandle::Input ? console.input : which == StdHandle::Output ? console.output : console.error;
}

void Write(Handle output, const std::wstring& text) {
    S().console.writes.push_back({output, text});
    S().trace.push_back(L"write:" + text);
}

std::wstring ReadBuffer(Handle input, std::size_t byteCount) {
    auto& console = S().console;
    console.readHandles.push_back(input);
    console.readSizes.push_back(byteCount);
    S().trace.push_back(L"read");
    std::wstring buffer;  // an input with nothing left: the buffer stays all NULs
    if (!console.reads.empty()) {
        buffer = console.reads.front();
        console.reads.pop_front();
    }
    return fake::ReadLeaves(buffer, byteCount);
}

}  // namespace platform::console

namespace platform::process {

void Pause(std::uint32_t milliseconds) {
    S().pauses.push_back(milliseconds);
    S().trace.push_back(L"pause:" + std::to_wstring(milliseconds));
    if (S().duringPause) S().duringPause();
}

void EndNow(std::uint32_t exitCode) {
    S().trace.push_back(L"end:" + std::to_wstring(exitCode));
    throw fake::FakeProcessEnd{exitCode};
}

void EndAtOnce(std::uint32_t exitCode) {
    S().trace.push_back(L"end at once:" + std::to_wstring(exitCode));
    throw fake::FakeProcessEnd{exitCode};
}

std::uint32_t CurrentThread() noexcept { return S().thread; }
// A second passes between two looks at the clock.
std::uint32_t Milliseconds() noexcept { return S().milliseconds += 1000; }

void WaitToBeEnded() {
    S().trace.push_back(L"wait to be ended");
    throw fake::FakeWaitToBeEnded{};
}

void StartWatchdog(std::uint32_t seconds, void (*onTimeout)()) {
    S().watchdogStarts.push_back(seconds);
    S().watchdogSeconds = seconds;
    S().watchdogCallback = onTimeout;
}

void StopWatchdog() noexcept { S().watchdogStopped = true; }

}  // namespace platform::process

namespace platform {

const AppInfo& App() {
    ++S().appReads;
    return S().app;
}

std::wstring SystemDescription(std::int32_t) { return {}; }
void PrepareSystemDescriptions() { S().descriptionsPrepared = true; }

void ShowMessage(const std::wstring&, const std::wstring& text, bool isError) {
    S().messages.push_back((isError ? L"error:" : L"info:") + text);
}

}  // namespace platform
