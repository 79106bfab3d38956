#include "loadcheck/modRegisteredFiles.h"

#include <algorithm>
#include <map>

#include "platform/FileNames.h"
#include "platform/Text.h"

namespace modRegisteredFiles {

namespace {

namespace filenames = platform::filenames;
namespace registry = platform::registry;
using registry::Hive;
using registry::ValueKind;
using registry::View;

const std::wstring ClassesKey = L"Software\\Classes\\";
constexpr std::size_t MaxPathCharacters = 32767;  // the longest path Windows opens

bool AllDigits(const std::wstring& text) {
    return !text.empty() && text.size() <= 5 && text.find_first_not_of(L"0123456789") == std::wstring::npos;
}

// A type library's LCID key is a hexadecimal number; FLAGS and HELPDIR sit beside them.
bool IsLcid(const std::wstring& name) {
    return !name.empty() && name.size() <= 8 && name.find_first_not_of(L"0123456789abcdefABCDEF") == std::wstring::npos;
}

// `key`\`name`: a key's path below another.
std::wstring Below(const std::wstring& key, const std::wstring& name) { return key + L"\\" + name; }

class Reader {
public:
    explicit Reader(std::vector<Registration>& found) : found_(found) {}

    void Classes(Hive hive, View view) {
        const std::wstring key = ClassesKey + L"CLSID";
        for (const auto& id : registry::SubkeyNames(hive, key, view)) {
            auto value = registry::Read(hive, Below(Below(key, id), L"InprocServer32"), {}, view);
            if (value.kind != ValueKind::Missing) {
                Add({Kind::Class, hive, view == View::Bits64, Below(L"CLSID", id), std::move(value)});
            }
        }
    }

    void TypeLibraries(Hive hive, View view) {
        const std::wstring key = ClassesKey + L"TypeLib";
        for (const auto& id : registry::SubkeyNames(hive, key, view)) {
            for (const auto& version : registry::SubkeyNames(hive, Below(key, id), view)) {
                Version(hive, view, Below(Below(L"TypeLib", id), version));
            }
        }
    }

private:
    // A type library version's paths: each LCID's win32 and win64.
    void Version(Hive hive, View view, const std::wstring& versionKey) {
        const std::wstring key = ClassesKey + versionKey;
        for (const auto& lcid : registry::SubkeyNames(hive, key, view)) {
            if (!IsLcid(lcid)) continue;
            for (const bool bits64 : {false, true}) {
                auto value = registry::Read(hive, Below(Below(key, lcid), bits64 ? L"win64" : L"win32"), {}, view);
                if (value.kind != ValueKind::Missing)
                    Add({Kind::TypeLibrary, hive, bits64, versionKey, std::move(value)});
            }
        }
    }

    void Add(Registration registration) {
        if (found_.size() < MaxRegistrations) found_.push_back(std::move(registration));
    }
    std::vector<Registration>& found_;
};

bool IsDeviceName(const std::wstring& name) {
    const std::wstring stem = platform::text::Folded(name.substr(0, name.find(L'.')));
    static const wchar_t* const Devices[] = {L"con", L"nul", L"prn", L"aux", L"conin$", L"conout$"};
    if (std::any_of(std::begin(Devices), std::end(Devices), [&stem](const wchar_t* d) { return stem == d; })) {
        return true;
    }
    return stem.size() == 4 && (stem.rfind(L"com", 0) == 0 || stem.rfind(L"lpt", 0) == 0) && stem[3] >= L'1' &&
           stem[3] <= L'9';
}

std::wstring Trimmed(std::wstring text) {
    const auto first = text.find_first_not_of(L" \t");
    if (first == std::wstring::npos) return {};
    text = text.substr(first, text.find_last_not_of(L" \t") - first + 1);
    if (text.size() >= 2 && text.front() == L'"' && text.back() == L'"') text = text.substr(1, text.size() - 2);
    return text;
}

Named Fault(const std::wstring& text, const wchar_t* why) { return {text, why, 0}; }

}  // namespace

std::vector<Registration> ReadRegistrations(bool windows64, const modProgramView::WindowsVersion& version) {
    std::vector<Registration> found;
    Reader reader(found);
    const std::vector<View> views =
        windows64 ? std::vector<View>{View::Bits32, View::Bits64} : std::vector<View>{View::Bits32};
    for (const auto hive : {Hive::LocalMachine, Hive::CurrentUser}) {
        for (const auto view : views) reader.Classes(hive, view);
        const bool shared = modProgramView::AtLeast(version, 6, 1);
        for (const auto view : views) {
            if (!shared || view == views.back()) reader.TypeLibraries(hive, view);
        }
    }
    return found;
}

Named Resolve(const Registration& registration, const Searches& searches) {
    const auto& value = registration.value;
    if (value.kind != ValueKind::Text && value.kind != ValueKind::ExpandableText) {
        return Fault(L"", L"its value is not text");
    }
    const auto& view = registration.bits64 ? searches.view64 : searches.view32;
    if (value.text.size() > MaxPathCharacters) return Fault(value.text.substr(0, 260), L"it is longer than any path");
    std::wstring text =
        Trimmed(value.kind == ValueKind::ExpandableText ? modProgramView::Expand(view, value.text) : value.text);
    if (text.empty()) return Fault(value.text, L"it names no file");
    if (text.size() > MaxPathCharacters) return Fault(value.text, L"it is longer than any path");
    Named named;
    if (registration.kind == Kind::TypeLibrary) {
        // "file.dll\2": the type library resource 2 of the file.
        const auto slash = text.find_last_of(L'\\');
        if (slash != std::wstring::npos && AllDigits(text.substr(slash + 1))) {
            const auto index = std::stoul(text.substr(slash + 1));
            if (index > 0xFFFF) return Fault(value.text, L"its resource number is past any resource's");
            named.resource = static_cast<std::uint16_t>(index);
            text.resize(slash);
        }
    }
    if (text.rfind(L"\\\\.\\", 0) == 0 || text.rfind(L"\\\\?\\GLOBALROOT", 0) == 0 ||
        IsDeviceName(filenames::NameOf(text))) {
        return Fault(value.text, L"it names a device");
    }
    if (text.rfind(L"\\\\?\\UNC\\", 0) == 0) {
        text = L"\\\\" + text.substr(8);
    } else if (text.rfind(L"\\\\?\\", 0) == 0) {
        text = text.substr(4);
    }
    std::replace(text.begin(), text.end(), L'/', L'\\');
    if (text.empty()) return Fault(value.text, L"it names no file");
    if (!modDllSearch::NamesPath(text)) {
        // A name alone: where the loader finds it; the name itself when nowhere.
        auto& search = registration.bits64 ? searches.of64 : searches.of32;
        const std::wstring name = modDllSearch::LoaderName(text);
        const auto known = search.KnownDll(name);
        const auto candidates = known ? std::vector<std::wstring>{*known} : search.Candidates(name);
        named.path = candidates.empty() ? text : candidates.front();
        return named;
    }
    if (!filenames::IsFullPath(text)) return Fault(value.text, L"it is not a full path");
    named.path = modProgramView::Map(view, filenames::FullPath(text));
    return named;
}

std::size_t RegisteredFile::Count(Kind kind) const {
    return static_cast<std::size_t>(std::count_if(registrations.begin(), registrations.end(),
                                                  [kind](const Registration& r) { return r.kind == kind; }));
}

bool RegisteredFile::For(bool bits64, Kind kind) const {
    return std::any_of(registrations.begin(), registrations.end(),
                       [bits64, kind](const Registration& r) { return r.kind == kind && r.bits64 == bits64; });
}

std::vector<RegisteredFile> Group(const std::vector<Registration>& registrations, const Searches& searches) {
    std::vector<RegisteredFile> files;
    std::map<std::wstring, std::size_t> byPath;
    for (const auto& registration : registrations) {
        const Named named = Resolve(registration, searches);
        std::size_t at = files.size();
        if (named.fault.empty()) {
            const auto known = byPath.emplace(platform::text::Folded(named.path), files.size());
            at = known.first->second;
        }
        if (at == files.size()) files.push_back({named.path, named.fault, {}, {}});
        auto& file = files[at];
        file.registrations.push_back(registration);
        if (registration.kind == Kind::TypeLibrary &&
            std::find(file.resources.begin(), file.resources.end(), named.resource) == file.resources.end()) {
            file.resources.push_back(named.resource);
        }
    }
    return files;
}

}  // namespace modRegisteredFiles
