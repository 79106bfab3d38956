#pragma once
// A resource of a program file: found in its resource directory, which is walked
// exactly three levels down (type, name, language), so that a directory that points
// back at itself is never followed round.
#include <cstdint>
#include <vector>

#include "filecheck/modPeFile.h"

namespace modPeResources {

// Which resource: a type by name ("TYPELIB") or by number (16, the version), and a
// name by number or, when `nameId` is 0, the type's first name. Its first language.
struct ResourceKey {
    const wchar_t* typeName = nullptr;
    std::uint16_t typeId = 0;
    std::uint16_t nameId = 0;
};
inline constexpr ResourceKey TypeLibraryResource{L"TYPELIB", 0, 0};
inline constexpr ResourceKey VersionResource{nullptr, 16, 1};  // RT_VERSION, VS_VERSION_INFO
// RT_MANIFEST, ISOLATIONAWARE_MANIFEST_RESOURCE_ID: the manifest the loader applies
// to a DLL's own imports.
inline constexpr ResourceKey DllManifestResource{nullptr, 24, 2};

struct Resource {
    modPeFile::Damage damage = modPeFile::Damage::None;
    std::vector<std::uint8_t> bytes;
};

// The resource `key`, no larger than `maxSize` bytes.
Resource Find(const modPeFile::Image& image, const ResourceKey& key, std::uint32_t maxSize);

}  // namespace modPeResources
