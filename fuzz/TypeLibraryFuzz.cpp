// The shared PE walk over any file, through every reader of it (the version, the type
// library, by its first resource or a numbered one, the imports, the exports and the
// DLL manifest), and the file read as a type library itself: every read lies inside the
// file; the version is empty or four numbers; the type library reading ends with a
// library or a reason (never both, never neither), and a library's LIBID and classes
// are GUID texts, each class once; an import that is not damaged has its name; a
// damaged manifest names nothing.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "filecheck/modFileVersion.h"
#include "filecheck/modManifest.h"
#include "filecheck/modPeExports.h"
#include "filecheck/modPeImports.h"
#include "filecheck/modPeResources.h"
#include "filecheck/modTypeLibrary.h"

using fuzzcheck::Check;

namespace {

bool IsGuidText(const std::wstring& text) {
    if (text.size() != 38 || text.front() != L'{' || text.back() != L'}') return false;
    for (std::size_t i = 1; i + 1 < text.size(); ++i) {
        const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        const wchar_t ch = text[i];
        if (dash ? ch != L'-' : !((ch >= L'0' && ch <= L'9') || (ch >= L'A' && ch <= L'F'))) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Exactly the input's bytes, so that AddressSanitizer sees a read past them.
    const std::vector<std::uint8_t> file(data, data + size);
    const modPeFile::File walked{file.size(), [&file](std::uint64_t offset, std::uint8_t* into, std::size_t count) {
                                     Check(offset <= file.size() && count <= file.size() - offset,
                                           "a read outside the file", L"");
                                     std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(offset), count, into);
                                     return true;
                                 }};
    const modPeFile::Image image(walked);
    const auto version = modFileVersion::ReadFileVersion(image);
    Check(version.empty() || std::count(version.begin(), version.end(), L'.') == 3, "no a.b.c.d version", version);
    const auto imports = modPeImports::ReadImports(image);
    Check(imports.dlls.size() <= modPeImports::MaxDllEntries, "more entries than the bound", L"");
    for (const auto& dll : imports.dlls) Check(dll.damaged || !dll.name.empty(), "a DLL without a name", L"");
    // The loader's look-ups end, over any table.
    const auto table = modPeExports::ReadExports(image);
    (void)table.exports.Name("DllGetClassObject", 0);
    (void)table.exports.Ordinal(1);
    const auto resource =
        modPeResources::Find(image, modPeResources::DllManifestResource, modManifest::MaxManifestSize);
    const auto manifest = modManifest::ReadManifest(resource.bytes);
    Check(manifest.damage.empty() || (manifest.dependencies.empty() && manifest.files.empty() && !manifest.identity),
          "a damaged manifest that still names something", manifest.damage);
    const auto reading = modTypeLibrary::ReadTypeLibrary(image);
    Check(reading.library.has_value() == reading.reason.empty(), "a library and a reason, or neither", reading.reason);
    if (reading.library) {
        Check(IsGuidText(reading.library->id), "a LIBID that is no GUID text", reading.library->id);
        const auto& classes = reading.library->creatableClasses;
        for (auto id = classes.begin(); id != classes.end(); ++id) {
            Check(IsGuidText(*id) && std::find(classes.begin(), id, *id) == id, "a CLSID twice or no GUID", *id);
        }
    }
    // A type library registered with its resource number, and a file that is one itself.
    const auto numbered = modTypeLibrary::ReadTypeLibrary(image, 2);
    Check(numbered.library.has_value() == numbered.reason.empty(), "a library and a reason, or neither",
          numbered.reason);
    const auto plain = modTypeLibrary::ReadPlainTypeLibrary(walked);
    Check(plain.library.has_value() == plain.reason.empty(), "a library and a reason, or neither", plain.reason);
    return 0;
}
