#include "platform/Registry.h"

#include <windows.h>

#include "platform/win32/Ownership.h"

namespace platform::registry {

namespace {

using win32::UniqueRegistryKey;

// A view's flag: 32-bit Windows ignores both, a process of either bitness gets the one asked for.
REGSAM ViewFlag(View view) { return view == View::Bits64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY; }

// Text longer than this is not read: no registry text the program reads comes near it.
constexpr DWORD MaxTextCharacters = 1u << 20;
// No key has more subkeys than this (a machine's CLSID key holds some thousands); a walk stops here.
constexpr DWORD MaxSubkeys = 1u << 18;
// Most texts fit here, and are read in one call: each call is a round trip to the registry.
constexpr DWORD QuickTextCharacters = 520;

HKEY Root(Hive hive) { return hive == Hive::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE; }

UniqueRegistryKey Open(Hive hive, const std::wstring& key, REGSAM access, View view) {
    UniqueRegistryKey opened;
    if (RegOpenKeyExW(Root(hive), key.c_str(), 0, access | ViewFlag(view), opened.put()) != ERROR_SUCCESS) {
        opened.reset();
    }
    return opened;
}

}  // namespace

Value Read(Hive hive, const std::wstring& key, const std::wstring& name, View view) {
    const auto opened = Open(hive, key, KEY_QUERY_VALUE, view);
    if (!opened) return {};
    const wchar_t* valueName = name.empty() ? nullptr : name.c_str();
    DWORD type = REG_NONE;
    wchar_t quick[QuickTextCharacters + 1];
    DWORD size = QuickTextCharacters * sizeof(wchar_t);
    const LONG status =
        RegQueryValueExW(opened.get(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(quick), &size);
    if (status == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ)) {
        std::wstring text(quick, size / sizeof(wchar_t));
        if (const auto nul = text.find(L'\0'); nul != std::wstring::npos) text.resize(nul);
        return {type == REG_EXPAND_SZ ? ValueKind::ExpandableText : ValueKind::Text, text};
    }
    if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) return {};
    if (type != REG_SZ && type != REG_EXPAND_SZ) return {ValueKind::Other, {}};
    if (size / sizeof(wchar_t) > MaxTextCharacters + 1) return {ValueKind::Other, {}};

    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    DWORD read = size;
    // A value that changed size since it was measured is read as no path.
    if (RegQueryValueExW(opened.get(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &read) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return {ValueKind::Other, {}};
    }
    // Stored text need not end in a NUL, nor have an even size: cut at what was read.
    text.resize(read / sizeof(wchar_t));
    if (const auto nul = text.find(L'\0'); nul != std::wstring::npos) text.resize(nul);
    return {type == REG_EXPAND_SZ ? ValueKind::ExpandableText : ValueKind::Text, text};
}

std::vector<std::wstring> ValueTexts(Hive hive, const std::wstring& key, View view) {
    std::vector<std::wstring> texts;
    const auto opened = Open(hive, key, KEY_QUERY_VALUE, view);
    if (!opened) return texts;
    for (DWORD index = 0; index < MaxSubkeys; ++index) {
        wchar_t name[16384];  // a value name has at most 16383 characters
        wchar_t data[1024];   // longer texts are no file names
        DWORD nameLength = 16384, type = REG_NONE, size = sizeof data - sizeof(wchar_t);
        const LONG status =
            RegEnumValueW(opened.get(), index, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS || type != REG_SZ) continue;
        data[size / sizeof(wchar_t)] = L'\0';
        texts.emplace_back(data);
    }
    return texts;
}

std::vector<std::wstring> SubkeyNames(Hive hive, const std::wstring& key, View view) {
    std::vector<std::wstring> names;
    const auto opened = Open(hive, key, KEY_ENUMERATE_SUB_KEYS, view);
    if (!opened) return names;
    for (DWORD index = 0; index < MaxSubkeys; ++index) {
        wchar_t name[256];  // a key name has at most 255 characters
        DWORD length = 256;
        if (RegEnumKeyExW(opened.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    return names;
}

}  // namespace platform::registry
