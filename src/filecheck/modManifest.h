#pragma once
// A side-by-side manifest: the assemblies a DLL depends on, or what an assembly is
// and which files it holds. Read from its bytes by a small XML reader of our own,
// bounded in size and nesting: a manifest Windows cannot read makes the DLL that
// carries it fail to load, so one we cannot read is damage, never "no dependencies".
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace modManifest {

struct AssemblyIdentity {
    std::wstring name;
    std::wstring version;
    std::wstring processorArchitecture;
    std::wstring publicKeyToken;
    std::wstring language;
};

struct Dependency {
    AssemblyIdentity identity;
    bool optional = false;  // <dependency optional="yes">: the loader goes on without it
};

struct Manifest {
    std::optional<AssemblyIdentity> identity;  // the assembly's own
    std::vector<Dependency> dependencies;
    std::vector<std::wstring> files;  // <file name="...">: the DLLs of the assembly
    std::wstring damage;              // why it could not be read; empty when it was
};

constexpr std::size_t MaxManifestSize = 1u << 20;  // bytes: real ones are a few thousand
constexpr std::size_t MaxDepth = 64;
constexpr std::size_t MaxElements = 65536;
constexpr std::size_t MaxAttributes = 256;  // of one element

Manifest ReadManifest(const std::vector<std::uint8_t>& bytes);

}  // namespace modManifest
