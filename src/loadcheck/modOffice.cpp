#include "loadcheck/modOffice.h"

#include <algorithm>
#include <iterator>
#include <numeric>

#include "platform/Registry.h"

namespace modOffice {

namespace {

namespace registry = platform::registry;
using registry::Hive;
using registry::View;

const std::wstring OfficeKey = L"SOFTWARE\\Microsoft\\Office";
const wchar_t* const Applications[] = {L"Excel", L"Word", L"PowerPoint", L"Access", L"Outlook"};

std::wstring Text(const std::wstring& key, const wchar_t* name, View view) {
    const auto value = registry::Read(Hive::LocalMachine, key, name, view);
    return value.kind == registry::ValueKind::Text ? value.text : std::wstring();
}

// "x86" or "x64", however the value spells it; empty for anything else.
std::wstring Bitness(const std::wstring& text) {
    const wchar_t* const bitnesses[] = {L"x86", L"x64"};
    const auto found = std::find_if(std::begin(bitnesses), std::end(bitnesses), [&text](const wchar_t* bitness) {
        return registry::SameRegistryName(text, bitness);
    });
    return found == std::end(bitnesses) ? std::wstring() : std::wstring(*found);
}

// "<digits>.0", as Office names its versions' keys; no more digits than a version has.
constexpr std::size_t MaxVersionDigits = 4;
bool IsVersionKey(const std::wstring& name) {
    const auto dot = name.find(L'.');
    return dot > 0 && dot != std::wstring::npos && dot <= MaxVersionDigits && name.substr(dot) == L".0" &&
           std::all_of(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(dot),
                       [](wchar_t ch) { return ch >= L'0' && ch <= L'9'; });
}

// A version key's major number; the key is one.
unsigned MajorNumber(const std::wstring& version) {
    const std::wstring digits = version.substr(0, version.find(L'.'));
    return std::accumulate(digits.begin(), digits.end(), 0u,
                           [](unsigned major, wchar_t ch) { return major * 10 + static_cast<unsigned>(ch - L'0'); });
}

// The major version of Click-to-Run's "16.0.17328.20162", as "16.0".
std::wstring MajorVersion(const std::wstring& full) {
    const std::wstring major = full.substr(0, full.find(L'.')) + L".0";
    return IsVersionKey(major) ? major : L"16.0";
}

}  // namespace

std::vector<Installation> FindOffice(bool windows64) {
    const std::vector<View> views =
        windows64 ? std::vector<View>{View::Bits64, View::Bits32} : std::vector<View>{View::Bits32};
    std::vector<Installation> found;
    const auto known = [&found](const std::wstring& version) {
        return std::any_of(found.begin(), found.end(), [&](const Installation& i) { return i.version == version; });
    };
    for (const auto view : views) {
        const std::wstring configuration = OfficeKey + L"\\ClickToRun\\Configuration";
        const auto platform = Bitness(Text(configuration, L"Platform", view));
        const auto version = MajorVersion(Text(configuration, L"VersionToReport", view));
        if (!platform.empty() && !known(version)) found.push_back({version, platform, L"Click-to-Run"});
    }
    std::vector<std::wstring> versions;
    for (const auto view : views) {
        for (auto& name : registry::SubkeyNames(Hive::LocalMachine, OfficeKey, view)) {
            if (IsVersionKey(name) && std::find(versions.begin(), versions.end(), name) == versions.end()) {
                versions.push_back(std::move(name));
            }
        }
    }
    for (const auto& version : versions) {
        std::wstring versionKey = OfficeKey;
        versionKey.append(L"\\").append(version).append(L"\\");
        for (const auto view : views) {
            const auto bitness = Bitness(Text(versionKey + L"Outlook", L"Bitness", view));
            if (!bitness.empty() && !known(version)) found.push_back({version, bitness, L"Outlook"});
        }
        for (const auto view : views) {
            for (const wchar_t* application : Applications) {
                std::wstring root = versionKey;
                root.append(application).append(L"\\InstallRoot");
                const bool installed =
                    registry::Read(Hive::LocalMachine, root, L"Path", view).kind != registry::ValueKind::Missing;
                if (installed && !known(version)) {
                    found.push_back({version, view == View::Bits64 ? L"x64" : L"x86", L"InstallRoot"});
                }
            }
        }
    }
    std::sort(found.begin(), found.end(), [](const Installation& a, const Installation& b) {
        return MajorNumber(a.version) < MajorNumber(b.version);
    });
    return found;
}

}  // namespace modOffice
