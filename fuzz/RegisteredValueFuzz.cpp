// A registry value the scan reads as the file it names, over any text.
//
// The input: one byte (bit 0: a type library's path, else a class's; bit 1: for a
// 64-bit program; bit 2: REG_EXPAND_SZ, else REG_SZ; bit 3: not text at all), then the
// value's text in UTF-16LE. Resolve must end without raising, and:
//   - a value that names a file names it in full (a drive or a \\server), or by a
//     name alone where the loader finds none, with "\" alone between its names;
//   - a value that names none says why, and shows at most a path's length of it;
//   - only a type library's path has a resource number.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FakePlatform.h"
#include "FuzzCheck.h"
#include "loadcheck/modRegisteredFiles.h"

using fuzzcheck::Check;

namespace {

constexpr std::uint16_t X86 = 0x14C, X64 = 0x8664;
constexpr std::size_t MaxPath = 32767;

bool FullOrBare(const std::wstring& path) {
    const bool drive = path.size() >= 3 && path[1] == L':' && path[2] == L'\\';
    const bool server = path.rfind(L"\\\\", 0) == 0;
    return drive || server || path.find_first_of(L"\\:") == std::wstring::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    static const bool machine = [] {
        fake::Reset();
        fake::S().environment = {{L"SystemRoot", L"C:\\Windows"}, {L"ProgramFiles", L"C:\\Program Files"}};
        return true;
    }();
    (void)machine;
    static const modProgramView::WindowsVersion windows10{10, 0, 19045};
    static const auto view32 = modProgramView::ViewFor(X86, true, X64, windows10, L"C:\\Windows");
    static const auto view64 = modProgramView::ViewFor(X64, true, X64, windows10, L"C:\\Windows");
    static modDllSearch::Search search32(modDllSearch::MachineOrder(view32), view32);
    static modDllSearch::Search search64(modDllSearch::MachineOrder(view64), view64);

    const std::uint8_t flags = data[0];
    std::wstring text;
    for (std::size_t at = 1; at + 1 < size; at += 2) text += static_cast<wchar_t>(data[at] | data[at + 1] << 8);
    using platform::registry::ValueKind;
    const ValueKind kind = (flags & 8) != 0   ? ValueKind::Other
                           : (flags & 4) != 0 ? ValueKind::ExpandableText
                                              : ValueKind::Text;
    const modRegisteredFiles::Registration registration{
        (flags & 1) != 0 ? modRegisteredFiles::Kind::TypeLibrary : modRegisteredFiles::Kind::Class,
        platform::registry::Hive::LocalMachine,
        (flags & 2) != 0,
        L"CLSID\\{1}",
        {kind, text}};
    const auto named = modRegisteredFiles::Resolve(registration, {search32, search64, view32, view64});

    if (named.fault.empty()) {
        Check(!named.path.empty() && FullOrBare(named.path), "a file named neither in full nor alone", named.path);
        Check(named.path.find(L'/') == std::wstring::npos, "a \"/\" left in a path", named.path);
    }
    Check(named.path.size() <= MaxPath, "a path longer than any", named.fault);
    Check(named.resource == 0 || registration.kind == modRegisteredFiles::Kind::TypeLibrary,
          "a class's file with a resource number", named.path);
    return 0;
}
