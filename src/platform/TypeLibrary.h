#pragma once
// A file's own type library, read as it is: nothing is registered, nothing in the
// file runs.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform::typelib {

struct TypeLibrary {
    std::wstring id;  // the LIBID, "{...}" in upper case
    std::uint16_t major = 0;
    std::uint16_t minor = 0;
    // The CLSIDs of the classes it declares creatable, in its own order.
    std::vector<std::wstring> creatableClasses;
};

// LoadTypeLibEx(path, REGKIND_NONE); nothing when no type library loads from the
// file or it cannot be read whole.
std::optional<TypeLibrary> Read(const std::wstring& path);

}  // namespace platform::typelib
