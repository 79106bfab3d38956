#pragma once
// Console port: the few console operations the console window class needs.
// Text crosses as std::wstring; the Windows side converts with the console's own
// code pages (output code page for writes, input code page for reads).
#include <cstddef>
#include <string>

#include "platform/UniqueAny.h"

namespace platform::console {

struct ConsoleKind;
// A console handle as GetStdHandle gives it; the console owns it, not the program.
using Handle = platform::Handle<ConsoleKind>;

enum class StdHandle { Input, Output, Error };

void Open();                                          // AllocConsole; result not examined
void LetGo();                                         // FreeConsole; result not examined
void SetTitle(const std::wstring& title);             // SetConsoleTitleA
Handle GetStd(StdHandle which);                       // GetStdHandle, value as returned
void Write(Handle output, const std::wstring& text);  // WriteConsoleA, all bytes

// ReadConsoleA into a zero-filled buffer of `byteCount` bytes; returns the whole
// buffer converted back to characters, the zeros behind the line included.
std::wstring ReadBuffer(Handle input, std::size_t byteCount);

}  // namespace platform::console
