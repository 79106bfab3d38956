#pragma once
// File names as Windows treats them: environment references, long forms, whether a
// name is a file, and when two names are one.
#include <optional>
#include <string>

namespace platform::filenames {

// %NAME% references replaced from this process's environment; the text as it is
// when it cannot be expanded.
std::wstring ExpandEnvironment(const std::wstring& text);

// The long form of an existing file's path (GetLongPathNameW); nothing when the
// path names nothing.
std::optional<std::wstring> LongForm(const std::wstring& path);

// The path names an existing file, not a folder.
bool IsFile(const std::wstring& path);

// The two names are one to Windows: equal but for case.
bool SameName(const std::wstring& a, const std::wstring& b);

}  // namespace platform::filenames
