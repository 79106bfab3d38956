#include "filecheck/modFileVersion.h"

#include <array>
#include <cstring>

#include "platform/LittleEndian.h"
#include "platform/VersionResource.h"

namespace modFileVersion {

namespace {
constexpr std::size_t FileVersionMSOffset = 8;  // dwFileVersionMS, after dwSignature and dwStrucVersion
constexpr std::size_t FileVersionLSOffset = 12;

std::uint16_t High(std::uint32_t value) { return static_cast<std::uint16_t>(value >> 16); }
std::uint16_t Low(std::uint32_t value) { return static_cast<std::uint16_t>(value & 0xFFFFu); }
}  // namespace

std::wstring FormatFileVersion(std::uint16_t major, std::uint16_t minor, std::uint16_t build, std::uint16_t revision) {
    return std::to_wstring(major) + L"." + std::to_wstring(minor) + L"." + std::to_wstring(build) + L"." +
           std::to_wstring(revision);
}

std::wstring FileVersionFromBlock(const std::vector<std::uint8_t>& block, std::ptrdiff_t offset, std::uint32_t length) {
    // Nothing is read unless the whole 52-byte record lies inside the block.
    if (length < FixedFileInfoSize || offset < 0 || static_cast<std::size_t>(offset) > block.size() ||
        block.size() - static_cast<std::size_t>(offset) < FixedFileInfoSize) {
        return {};
    }
    std::array<std::uint8_t, FixedFileInfoSize> record{};
    std::memcpy(record.data(), block.data() + offset, FixedFileInfoSize);
    const auto ms = platform::ReadLittleEndian<std::uint32_t>(record.data() + FileVersionMSOffset);
    const auto ls = platform::ReadLittleEndian<std::uint32_t>(record.data() + FileVersionLSOffset);
    return FormatFileVersion(High(ms), Low(ms), High(ls), Low(ls));
}

std::wstring GetFileVersion(const std::wstring& path) {
    const auto size = platform::versionresource::InfoSize(path);
    if (size == 0) return {};
    std::vector<std::uint8_t> block(size, 0);
    platform::versionresource::ReadInfo(path, block);
    const auto root = platform::versionresource::QueryRoot(block);
    if (!root.found) return {};
    return FileVersionFromBlock(block, root.offset, root.length);
}

}  // namespace modFileVersion
