// modTypeLibrary over any file: every read it asks for lies inside the file, it ends
// with a library or a reason (never both, never neither), and a library's LIBID and
// classes are GUID texts.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
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
    const auto reading = modTypeLibrary::ReadTypeLibrary(
        file.size(), [&file](std::uint64_t offset, std::uint8_t* into, std::size_t count) {
            Check(offset <= file.size() && count <= file.size() - offset, "a read outside the file", L"");
            std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(offset), count, into);
            return true;
        });
    Check(reading.library.has_value() == reading.reason.empty(), "a library and a reason, or neither", reading.reason);
    if (reading.library) {
        Check(IsGuidText(reading.library->id), "a LIBID that is no GUID text", reading.library->id);
        for (const auto& id : reading.library->creatableClasses)
            Check(IsGuidText(id), "a CLSID that is no GUID text", id);
    }
    return 0;
}
