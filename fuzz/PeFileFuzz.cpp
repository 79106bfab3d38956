// The shared PE walk over any file, through both of its readers: every read lies
// inside the file; the version is empty or four dotted numbers; the type library
// reading ends with a library or a reason (never both, never neither), whose LIBID
// is a GUID text other than the null GUID and whose classes are GUID texts, each once.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "filecheck/modFileVersion.h"
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

bool IsVersionText(const std::wstring& text) {
    std::size_t dots = 0, digits = 0;
    for (const wchar_t ch : text) {
        if (ch == L'.') {
            if (digits == 0) return false;
            ++dots;
            digits = 0;
        } else if (ch >= L'0' && ch <= L'9' && ++digits <= 5) {
            continue;
        } else {
            return false;
        }
    }
    return dots == 3 && digits > 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Exactly the input's bytes, so that AddressSanitizer sees a read past them.
    const std::vector<std::uint8_t> bytes(data, data + size);
    const modPeFile::File file{bytes.size(), [&bytes](std::uint64_t offset, std::uint8_t* into, std::size_t count) {
                                   Check(offset <= bytes.size() && count <= bytes.size() - offset,
                                         "a read outside the file", L"");
                                   std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), count, into);
                                   return true;
                               }};

    const auto version = modFileVersion::ReadFileVersion(file);
    Check(version.empty() || IsVersionText(version), "a version that is no a.b.c.d text", version);

    const auto reading = modTypeLibrary::ReadTypeLibrary(file);
    Check(reading.library.has_value() == reading.reason.empty(), "a library and a reason, or neither", reading.reason);
    if (!reading.library) return 0;
    const auto& library = *reading.library;
    Check(IsGuidText(library.id) && library.id != L"{00000000-0000-0000-0000-000000000000}", "a LIBID that is no GUID",
          library.id);
    Check(!library.name.empty(), "a library without a name", library.id);
    const std::set<std::wstring> distinct(library.creatableClasses.begin(), library.creatableClasses.end());
    Check(distinct.size() == library.creatableClasses.size(), "a class listed twice", library.id);
    for (const auto& id : library.creatableClasses) Check(IsGuidText(id), "a CLSID that is no GUID text", id);
    return 0;
}
