#include "filecheck/modManifest.h"

#include <algorithm>
#include <cwchar>
#include <map>
#include <utility>

namespace modManifest {

namespace {

// Ends the reading with why.
struct Refused {
    const wchar_t* why;
};

void Need(bool holds, const wchar_t* why) {
    if (!holds) throw Refused{why};
}

const wchar_t NotText[] = L"its text is not UTF-8 or UTF-16";
const wchar_t NotXml[] = L"it is not well-formed XML";
const wchar_t TooLarge[] = L"it is larger than any manifest";
const wchar_t TooDeep[] = L"its elements nest deeper than any manifest's";
const wchar_t TooMany[] = L"it has more elements or attributes than any manifest";

// --- The text ------------------------------------------------------------------------

void AppendCodePoint(std::wstring& text, std::uint32_t point) {
    Need(point <= 0x10FFFF && (point < 0xD800 || point > 0xDFFF), NotText);
    if (point >= 0x10000 && sizeof(wchar_t) == 2) {
        point -= 0x10000;
        text += static_cast<wchar_t>(0xD800 + (point >> 10));
        text += static_cast<wchar_t>(0xDC00 + (point & 0x3FF));
    } else {
        text += static_cast<wchar_t>(point);
    }
}

std::wstring FromUtf8(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    std::wstring text;
    while (at < bytes.size()) {
        const std::uint8_t lead = bytes[at++];
        if (lead < 0x80) {
            text += static_cast<wchar_t>(lead);
            continue;
        }
        const std::size_t more = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
        Need(more > 0 && lead < 0xF8 && bytes.size() - at >= more, NotText);
        std::uint32_t point = lead & (0x3Fu >> more);
        for (std::size_t i = 0; i < more; ++i) {
            Need((bytes[at] & 0xC0) == 0x80, NotText);
            point = point << 6 | (bytes[at++] & 0x3Fu);
        }
        const std::uint32_t least[] = {0, 0x80, 0x800, 0x10000};
        Need(point >= least[more], NotText);  // no overlong form
        AppendCodePoint(text, point);
    }
    return text;
}

std::wstring FromUtf16(const std::vector<std::uint8_t>& bytes, std::size_t at, bool bigEndian) {
    Need((bytes.size() - at) % 2 == 0, NotText);
    std::wstring text;
    for (; at < bytes.size(); at += 2) {
        const std::uint32_t unit = bigEndian ? bytes[at] << 8 | bytes[at + 1] : bytes[at + 1] << 8 | bytes[at];
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            Need(bytes.size() - at >= 4, NotText);
            at += 2;
            const std::uint32_t low = bigEndian ? bytes[at] << 8 | bytes[at + 1] : bytes[at + 1] << 8 | bytes[at];
            Need(low >= 0xDC00 && low <= 0xDFFF, NotText);
            AppendCodePoint(text, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        } else {
            AppendCodePoint(text, unit);
        }
    }
    return text;
}

// By its byte-order mark, else by how "<" is written, else UTF-8.
std::wstring Decode(const std::vector<std::uint8_t>& bytes) {
    const auto starts = [&bytes](std::initializer_list<std::uint8_t> mark) {
        return bytes.size() >= mark.size() && std::equal(mark.begin(), mark.end(), bytes.begin());
    };
    if (starts({0xEF, 0xBB, 0xBF})) return FromUtf8(bytes, 3);
    if (starts({0xFF, 0xFE})) return FromUtf16(bytes, 2, false);
    if (starts({0xFE, 0xFF})) return FromUtf16(bytes, 2, true);
    if (starts({'<', 0})) return FromUtf16(bytes, 0, false);
    if (starts({0, '<'})) return FromUtf16(bytes, 0, true);
    return FromUtf8(bytes, 0);
}

// --- The XML -------------------------------------------------------------------------

using Attributes = std::map<std::wstring, std::wstring>;

bool IsSpace(wchar_t ch) { return ch == L' ' || ch == L'\t' || ch == L'\r' || ch == L'\n'; }
bool IsNameCharacter(wchar_t ch) {
    return !IsSpace(ch) && ch != L'<' && ch != L'>' && ch != L'/' && ch != L'=' && ch != L'"' && ch != L'\'' &&
           ch != L'&';
}

// A name without its namespace prefix ("asmv1:assembly" is "assembly").
std::wstring LocalName(const std::wstring& name) { return name.substr(name.find(L':') + 1); }

class Reader {
public:
    explicit Reader(std::wstring text) : text_(std::move(text)) {}

    void Read(Manifest& found) {
        bool rootSeen = false;
        while (Skip(), at_ < text_.size()) {
            Need(text_[at_] == L'<', NotXml);
            if (Starts(L"<?")) {
                Past(L"?>");
            } else if (Starts(L"<!--")) {
                Past(L"-->");
            } else if (Starts(L"<![CDATA[")) {
                Need(!open_.empty(), NotXml);
                Past(L"]]>");
            } else if (Starts(L"<!DOCTYPE")) {
                Need(!rootSeen, NotXml);
                const auto start = at_;
                Past(L">");
                Need(text_.find(L'[', start) >= at_, NotXml);  // no internal subset
            } else if (Starts(L"</")) {
                at_ += 2;
                const auto name = Name();
                Spaces();
                Need(!open_.empty() && open_.back() == name && Take(L'>'), NotXml);
                open_.pop_back();
            } else {
                Need(open_.size() > 0 || !rootSeen, NotXml);  // one root
                rootSeen = true;
                Element(found);
            }
        }
        Need(rootSeen && open_.empty(), NotXml);
    }

private:
    // Whitespace and character data between tags: its text is no part of a manifest's meaning.
    void Skip() {
        if (open_.empty()) {
            while (at_ < text_.size() && IsSpace(text_[at_])) ++at_;
            return;
        }
        while (at_ < text_.size() && text_[at_] != L'<') {
            if (text_[at_] == L'&') {
                Entity();
            } else {
                ++at_;
            }
        }
    }

    bool Starts(const wchar_t* start) const { return text_.compare(at_, std::wcslen(start), start) == 0; }
    void Past(const wchar_t* end) {
        const auto found = text_.find(end, at_ + 2);
        Need(found != std::wstring::npos, NotXml);
        at_ = found + std::wcslen(end);
    }
    bool Take(wchar_t ch) {
        if (at_ >= text_.size() || text_[at_] != ch) return false;
        ++at_;
        return true;
    }
    std::wstring Name() {
        const auto start = at_;
        while (at_ < text_.size() && IsNameCharacter(text_[at_])) ++at_;
        Need(at_ > start, NotXml);
        return text_.substr(start, at_ - start);
    }
    void Spaces() {
        while (at_ < text_.size() && IsSpace(text_[at_])) ++at_;
    }

    // "&...;" at the reading place, as the character it stands for.
    wchar_t Entity() {
        const auto end = text_.find(L';', at_);
        Need(end != std::wstring::npos && end - at_ <= 10, NotXml);
        const std::wstring name = text_.substr(at_ + 1, end - at_ - 1);
        at_ = end + 1;
        static const std::map<std::wstring, wchar_t> named = {
            {L"lt", L'<'}, {L"gt", L'>'}, {L"amp", L'&'}, {L"quot", L'"'}, {L"apos", L'\''}};
        if (const auto known = named.find(name); known != named.end()) return known->second;
        Need(name.size() >= 2 && name[0] == L'#', NotXml);
        const bool hex = name[1] == L'x';
        const std::wstring digits = name.substr(hex ? 2 : 1);
        Need(!digits.empty() &&
                 digits.find_first_not_of(hex ? L"0123456789abcdefABCDEF" : L"0123456789") == std::wstring::npos,
             NotXml);
        const unsigned long point = std::stoul(digits, nullptr, hex ? 16 : 10);
        Need(point > 0 && point <= 0xFFFF && (point < 0xD800 || point > 0xDFFF), NotXml);
        return static_cast<wchar_t>(point);
    }

    std::wstring Value() {
        Need(at_ < text_.size() && (text_[at_] == L'"' || text_[at_] == L'\''), NotXml);
        const wchar_t quote = text_[at_++];
        std::wstring value;
        while (at_ < text_.size() && text_[at_] != quote) {
            Need(text_[at_] != L'<', NotXml);
            value += text_[at_] == L'&' ? Entity() : text_[at_++];
        }
        Need(Take(quote), NotXml);
        return value;
    }

    void Element(Manifest& found) {
        ++at_;
        const auto name = Name();
        Need(++elements_ <= MaxElements, TooMany);
        Attributes attributes;
        for (;;) {
            const auto before = at_;
            Spaces();
            if (Take(L'>')) {
                Need(open_.size() < MaxDepth, TooDeep);
                open_.push_back(name);
                Meaning(found, attributes);
                return;
            }
            if (Starts(L"/>")) {
                at_ += 2;
                open_.push_back(name);
                Meaning(found, attributes);
                open_.pop_back();
                return;
            }
            Need(at_ > before, NotXml);  // attributes are set apart by spaces
            const auto attribute = Name();
            Spaces();
            Need(Take(L'='), NotXml);
            Spaces();
            Need(attributes.size() < MaxAttributes, TooMany);
            Need(attributes.emplace(LocalName(attribute), Value()).second, NotXml);
        }
    }

    // What an element just opened means to a manifest, by where it stands.
    void Meaning(Manifest& found, const Attributes& attributes) {
        std::vector<std::wstring> path(open_.size());
        std::transform(open_.begin(), open_.end(), path.begin(), LocalName);
        const auto at = [&path](std::initializer_list<const wchar_t*> names) {
            return path.size() == names.size() && std::equal(names.begin(), names.end(), path.begin());
        };
        const auto value = [&attributes](const wchar_t* attribute) {
            const auto given = attributes.find(attribute);
            return given == attributes.end() ? std::wstring() : given->second;
        };
        const auto identity = [&value] {
            return AssemblyIdentity{value(L"name"), value(L"version"), value(L"processorArchitecture"),
                                    value(L"publicKeyToken"), value(L"language")};
        };
        if (at({L"assembly", L"assemblyIdentity"})) {
            found.identity = identity();
        } else if (at({L"assembly", L"dependency"})) {
            dependencyOptional_ = value(L"optional") == L"yes";
        } else if (at({L"assembly", L"dependency", L"dependentAssembly", L"assemblyIdentity"})) {
            found.dependencies.push_back({identity(), dependencyOptional_});
        } else if (at({L"assembly", L"file"})) {
            found.files.push_back(value(L"name"));
        }
    }

    std::wstring text_;
    std::size_t at_ = 0;
    std::vector<std::wstring> open_;
    std::size_t elements_ = 0;
    bool dependencyOptional_ = false;
};

}  // namespace

Manifest ReadManifest(const std::vector<std::uint8_t>& bytes) {
    Manifest found;
    try {
        Need(bytes.size() <= MaxManifestSize, TooLarge);
        Reader(Decode(bytes)).Read(found);
    } catch (const Refused& refused) {
        found = Manifest{};
        found.damage = refused.why;
    }
    return found;
}

}  // namespace modManifest
