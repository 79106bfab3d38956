#pragma once
// JSON text, as the program writes its result: strings quoted and escaped so that
// any text becomes valid JSON. The text stays wide; the platform writes it as UTF-8.
#include <string>

namespace modJson {

// The text as a JSON string: quotes, backslashes and control characters escaped,
// and a UTF-16 surrogate without its partner replaced by U+FFFD.
std::wstring Quote(const std::wstring& text);

inline constexpr wchar_t Null[] = L"null";

}  // namespace modJson
