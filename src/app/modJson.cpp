#include "app/modJson.h"

#include "platform/Text.h"

namespace modJson {

namespace {

constexpr wchar_t ReplacementCharacter = 0xFFFD;

bool IsHighSurrogate(wchar_t ch) { return ch >= 0xD800 && ch <= 0xDBFF; }
bool IsLowSurrogate(wchar_t ch) { return ch >= 0xDC00 && ch <= 0xDFFF; }

std::wstring Escaped(wchar_t ch) {
    switch (ch) {
    case L'"': return L"\\\"";
    case L'\\': return L"\\\\";
    case L'\b': return L"\\b";
    case L'\f': return L"\\f";
    case L'\n': return L"\\n";
    case L'\r': return L"\\r";
    case L'\t': return L"\\t";
    default: break;
    }
    return L"\\u" + platform::text::Hex(static_cast<std::uint32_t>(ch), 4, platform::text::Digits::Lower);
}

}  // namespace

std::wstring Quote(const std::wstring& text) {
    std::wstring quoted = L"\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t ch = text[i];
        if (IsHighSurrogate(ch) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            quoted += ch;
            quoted += text[++i];
        } else if (IsHighSurrogate(ch) || IsLowSurrogate(ch)) {
            quoted += ReplacementCharacter;
        } else if (ch < 0x20 || ch == L'"' || ch == L'\\') {
            quoted += Escaped(ch);
        } else {
            quoted += ch;
        }
    }
    return quoted + L"\"";
}

}  // namespace modJson
