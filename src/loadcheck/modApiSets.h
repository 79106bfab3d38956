#pragma once
// API sets: names such as api-ms-win-core-file-l1-1-0.dll that the loader maps to a
// DLL of Windows' own, by a schema that came with Windows 7. Which names a Windows
// provides depends on its version: from Windows 10 every such name is Windows' own;
// Windows 7 to 8.1 provide only those of their schema, and any other (the Universal
// C Runtime's api-ms-win-crt-* among them) is a file like any other, which an update
// installs or not; XP and Vista have no schema at all.
#include <string>

#include "loadcheck/modProgramView.h"

namespace modApiSets {

// The name has an API set's form: "api-" or "ext-" before the rest.
bool IsApiSetName(const std::wstring& name);

// This Windows maps `name` (with or without ".dll", in any case) itself, with no file.
bool Provided(const std::wstring& name, const modProgramView::WindowsVersion& version);

}  // namespace modApiSets
