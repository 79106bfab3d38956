#include "loadcheck/modSideBySide.h"

#include <algorithm>
#include <mutex>
#include <array>
#include <cstdint>

#include "filecheck/modPeFile.h"
#include "filecheck/modPeResources.h"
#include "platform/FileNames.h"
#include "platform/Text.h"

namespace modSideBySide {

namespace {

namespace filenames = platform::filenames;
using filenames::AddBackslash;
using filenames::SameFileName;
using modManifest::AssemblyIdentity;
using Version = std::array<std::uint32_t, 4>;

// "a.b.c.d", each number below 65536; nothing otherwise.
std::optional<Version> VersionOf(const std::wstring& text) {
    Version version{};
    std::size_t at = 0;
    for (std::size_t part = 0; part < version.size(); ++part) {
        const auto end = std::min(text.find(L'.', at), text.size());
        const std::wstring digits = text.substr(at, end - at);
        if (digits.empty() || digits.size() > 5 || digits.find_first_not_of(L"0123456789") != std::wstring::npos) {
            return std::nullopt;
        }
        version[part] = static_cast<std::uint32_t>(std::stoul(digits));
        if (version[part] > 0xFFFF || (part < 3) != (end < text.size())) return std::nullopt;
        at = end + 1;
    }
    return version;
}

std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator) {
    std::vector<std::wstring> parts;
    std::size_t at = 0;
    for (;;) {
        const auto end = text.find(separator, at);
        parts.push_back(text.substr(at, end == std::wstring::npos ? std::wstring::npos : end - at));
        if (end == std::wstring::npos) return parts;
        at = end + 1;
    }
}

// The store abbreviates a long name with ".." between its start and its end.
bool SameAssemblyName(const std::wstring& stored, const std::wstring& wanted) {
    const auto dots = stored.find(L"..");
    if (dots == std::wstring::npos) return SameFileName(stored, wanted);
    const std::wstring head = stored.substr(0, dots), tail = stored.substr(dots + 2);
    return wanted.size() > head.size() + tail.size() && SameFileName(wanted.substr(0, head.size()), head) &&
           SameFileName(wanted.substr(wanted.size() - tail.size()), tail);
}

bool Neutral(const std::wstring& language) {
    return language.empty() || language == L"*" || SameFileName(language, L"none") || SameFileName(language, L"x-ww") ||
           SameFileName(language, L"neutral");
}

bool EndsWith(const std::wstring& name, const std::wstring& end) {
    return name.size() >= end.size() && SameFileName(name.substr(name.size() - end.size()), end);
}

std::vector<std::uint8_t> FileBytes(const std::wstring& path) {
    const modPeFile::DiskFile file(path);
    if (!file.Opened() || file.File().size > modManifest::MaxManifestSize) return {};
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(file.File().size));
    if (!bytes.empty() && !file.File().read(0, bytes.data(), bytes.size())) return {};
    return bytes;
}

// RT_MANIFEST 1: the manifest an assembly that is a DLL carries of itself.
constexpr modPeResources::ResourceKey AssemblyManifestResource{nullptr, 24, 1};

}  // namespace

std::wstring Architecture(const AssemblyIdentity& wanted, const modProgramView::ProgramView& view) {
    if (wanted.processorArchitecture.empty() || wanted.processorArchitecture == L"*") {
        return modProgramView::AssemblyArchitecture(view);
    }
    return wanted.processorArchitecture;
}

std::optional<Assembly> Assemblies::Find(const AssemblyIdentity& wanted, const std::wstring& dllFolder) {
    if (!wanted.publicKeyToken.empty()) {
        const std::lock_guard<platform::threads::Lock> held(lock_);
        if (auto found = Shared(wanted)) return found;
    }
    return Private(wanted, dllFolder);
}

std::optional<Assembly> Assemblies::Shared(const AssemblyIdentity& wanted) {
    const std::wstring arch = Architecture(wanted, view_);
    const std::wstring key = platform::text::Folded(arch + L"_" + wanted.name + L"_" + wanted.publicKeyToken + L"_" +
                                                    wanted.version + L"_" + wanted.language);
    if (const auto known = shared_.find(key); known != shared_.end()) return known->second;
    const std::wstring store = AddBackslash(view_.windowsFolder) + L"WinSxS";
    const auto least = VersionOf(wanted.version);
    std::optional<Version> best;
    std::wstring bestFolder;
    // arch_name_token_version_language_hash, the name abbreviated where it is long.
    for (const auto& entry : filenames::ListFolder(store, arch + L"_*_" + wanted.publicKeyToken + L"_*")) {
        const auto fields = Split(entry.name, L'_');
        if (!entry.folder || fields.size() < 6) continue;
        const std::size_t n = fields.size();
        std::wstring name = fields[1];
        for (std::size_t i = 2; i + 4 < n; ++i) name += L"_" + fields[i];
        const auto version = VersionOf(fields[n - 3]);
        if (!version || !SameFileName(fields[0], arch) || !SameAssemblyName(name, wanted.name) ||
            !SameFileName(fields[n - 4], wanted.publicKeyToken)) {
            continue;
        }
        const bool language =
            Neutral(wanted.language) ? Neutral(fields[n - 2]) : SameFileName(fields[n - 2], wanted.language);
        // Its version or a later one, as a publisher's policy takes it there.
        if (language && (!least || *version >= *least) && (!best || *version > *best)) {
            best = version;
            bestFolder = AddBackslash(store) + entry.name;
        }
    }
    std::optional<Assembly> found;
    if (best) {
        found = Assembly{bestFolder, {}};
        for (const auto& file : filenames::ListFiles(bestFolder).names) {
            if (EndsWith(file, L".dll")) found->dlls.push_back(file);
        }
    }
    return shared_.emplace(key, found).first->second;
}

std::optional<Assembly> Assemblies::Private(const AssemblyIdentity& wanted, const std::wstring& dllFolder) const {
    // As the loader probes: beside the DLL, then in a folder of the assembly's name;
    // a DLL carrying its manifest before a manifest file.
    const std::wstring folder = AddBackslash(dllFolder);
    for (const std::wstring& base : {folder + wanted.name, folder + wanted.name + L"\\" + wanted.name}) {
        for (const bool dll : {true, false}) {
            const std::wstring path = base + (dll ? L".dll" : L".manifest");
            if (!filenames::IsFile(path)) continue;
            std::vector<std::uint8_t> bytes;
            if (dll) {
                const modPeFile::DiskFile file(path);
                if (!file.Opened()) continue;
                const modPeFile::Image image(file.File());
                bytes = modPeResources::Find(image, AssemblyManifestResource, modManifest::MaxManifestSize).bytes;
            } else {
                bytes = FileBytes(path);
            }
            const auto manifest = modManifest::ReadManifest(bytes);
            if (!manifest.damage.empty() || !manifest.identity || !SameFileName(manifest.identity->name, wanted.name) ||
                VersionOf(manifest.identity->version) != VersionOf(wanted.version)) {
                continue;
            }
            return Assembly{path.substr(0, path.find_last_of(L'\\')), manifest.files};
        }
    }
    return std::nullopt;
}

std::wstring Provider(const AssemblyIdentity& wanted, bool program64) {
    const std::wstring bits = program64 ? L"x64" : L"x86";
    const auto starts = [&wanted](const wchar_t* start) {
        const std::wstring head = start;
        return wanted.name.size() > head.size() && SameFileName(wanted.name.substr(0, head.size()), head);
    };
    if (starts(L"Microsoft.VC80.")) return L"the Visual C++ 2005 Redistributable (" + bits + L")";
    if (starts(L"Microsoft.VC90.")) return L"the Visual C++ 2008 Redistributable (" + bits + L")";
    if (starts(L"Microsoft.Windows.")) return L"Windows itself (as an administrator, run sfc /scannow to repair it)";
    return {};
}

}  // namespace modSideBySide
