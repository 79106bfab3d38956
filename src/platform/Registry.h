#pragma once
// Registry reads, in the 32-bit view (the one a 32-bit program sees on any Windows)
// or the 64-bit view (a 64-bit program's; on 32-bit Windows the same as the 32-bit
// one). Nothing is ever written.
#include <string>
#include <vector>

#include "platform/Text.h"

namespace platform::registry {

enum class Hive { CurrentUser, LocalMachine };
enum class View { Bits32, Bits64 };

enum class ValueKind {
    Missing,         // no such key or value
    Text,            // REG_SZ
    ExpandableText,  // REG_EXPAND_SZ, not expanded
    Other,           // any other type, or text too long to be read (a million characters)
};

struct Value {
    ValueKind kind = ValueKind::Missing;
    std::wstring text;  // up to its first NUL; empty unless Text or ExpandableText
};

// A value of `key`; the key's default value when `name` is empty.
Value Read(Hive hive, const std::wstring& key, const std::wstring& name = {}, View view = View::Bits32);

// The two key or value names are one to the registry: equal but for case.
inline bool SameRegistryName(const std::wstring& a, const std::wstring& b) { return text::SameIgnoringCase(a, b); }

// The texts of the values of `key` that are text; none when it is missing.
std::vector<std::wstring> ValueTexts(Hive hive, const std::wstring& key, View view = View::Bits32);

// The names of the subkeys of `key`; none when it is missing.
std::vector<std::wstring> SubkeyNames(Hive hive, const std::wstring& key, View view = View::Bits32);

}  // namespace platform::registry
