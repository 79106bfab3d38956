#pragma once
// Text conversion at the Windows boundary: the program's wide strings to and from
// the bytes of a code page.
#include <windows.h>

#include <string>

namespace platform::win32 {

std::string ToCodePage(const std::wstring& text, UINT codePage);
std::wstring FromCodePage(const std::string& bytes, UINT codePage);

inline std::string ToAnsi(const std::wstring& text) { return ToCodePage(text, CP_ACP); }
inline std::wstring FromAnsi(const std::string& bytes) { return FromCodePage(bytes, CP_ACP); }

}  // namespace platform::win32
