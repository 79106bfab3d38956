#pragma once
// Writing the program's result to a file of the caller's choice.
#include <string>

namespace platform::files {

// The text as UTF-8 without a byte-order mark, written whole or not at all: into a
// temporary file in the same folder, then renamed over `path`. Raises a RunError,
// and leaves no file behind, when that cannot be done.
void WriteWholeFile(const std::wstring& path, const std::wstring& text);

}  // namespace platform::files
