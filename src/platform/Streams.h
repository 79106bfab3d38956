#pragma once
// The standard output and error the caller gave the program: a file, a pipe or a
// console of the caller's. A window-subsystem program has them only when its caller
// passed them (a redirection, a pipe); they are taken at the first call, before the
// program opens a console of its own.
#include <string>

namespace platform::streams {

enum class Stream { Output, Error };

bool Given(Stream which);
// The text as UTF-8, without a byte-order mark; nothing where the stream is not given.
void Write(Stream which, const std::wstring& text);
// A line made beforehand, its bytes as they are, written with no heap work: the last
// word of a run whose heap may be gone.
void WriteFixed(Stream which, const char* line) noexcept;

}  // namespace platform::streams
