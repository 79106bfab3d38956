#pragma once
// Version-resource port (version.dll, loaded from the system folder at run time).
#include <cstdint>
#include <string>
#include <vector>

namespace platform::versionresource {

std::uint32_t InfoSize(const std::wstring& path);                           // GetFileVersionInfoSizeA
void ReadInfo(const std::wstring& path, std::vector<std::uint8_t>& block);  // GetFileVersionInfoA into block

// VerQueryValueA(block, "\"): where the fixed file information lies, as an offset
// into the block and the length the query reports. False when the query finds none.
struct RootQuery {
    bool found = false;
    std::ptrdiff_t offset = 0;
    std::uint32_t length = 0;
};
RootQuery QueryRoot(std::vector<std::uint8_t>& block);

}  // namespace platform::versionresource
