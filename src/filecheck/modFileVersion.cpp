#include "filecheck/modFileVersion.h"

#include <algorithm>
#include <array>

#include "filecheck/modPeResources.h"
#include "platform/LittleEndian.h"

namespace modFileVersion {

namespace {

// The root block: wLength, wValueLength, wType, the key "VS_VERSION_INFO" and its NUL
// in UTF-16, padding to a 32-bit boundary, then the fixed file information.
constexpr char16_t RootKey[] = u"VS_VERSION_INFO";
constexpr std::size_t KeyAt = 6;
constexpr std::size_t RecordAt = (KeyAt + sizeof(RootKey) + 3) / 4 * 4;
constexpr std::size_t RootHeadSize = RecordAt + FixedFileInfoSize;
constexpr std::uint16_t BinaryValue = 0;  // wType: the root's value is the record, not text
constexpr std::uint32_t Signature = 0xFEEF04BDu;
constexpr std::size_t FileVersionMSAt = RecordAt + 8;  // dwFileVersionMS, after dwSignature and dwStrucVersion
constexpr std::size_t FileVersionLSAt = RecordAt + 12;
constexpr std::uint32_t MaxVersionResource = 0xFFFF;  // the root's length is a 16-bit number

using Head = std::array<std::uint8_t, RootHeadSize>;

std::uint16_t Word(const Head& head, std::size_t at) { return platform::ReadLittleEndian<std::uint16_t>(&head[at]); }
std::uint32_t Dword(const Head& head, std::size_t at) { return platform::ReadLittleEndian<std::uint32_t>(&head[at]); }
std::uint16_t High(std::uint32_t value) { return static_cast<std::uint16_t>(value >> 16); }
std::uint16_t Low(std::uint32_t value) { return static_cast<std::uint16_t>(value & 0xFFFFu); }

bool IsRoot(const Head& head, std::uint32_t resourceSize) {
    const auto length = Word(head, 0), valueLength = Word(head, 2), type = Word(head, 4);
    if (length < RootHeadSize || length > resourceSize || valueLength < FixedFileInfoSize || type != BinaryValue) {
        return false;
    }
    for (std::size_t i = 0; i < std::size(RootKey); ++i) {
        if (Word(head, KeyAt + 2 * i) != RootKey[i]) return false;
    }
    return Dword(head, RecordAt) == Signature;
}

}  // namespace

std::wstring FormatFileVersion(std::uint16_t major, std::uint16_t minor, std::uint16_t build, std::uint16_t revision) {
    return std::to_wstring(major) + L"." + std::to_wstring(minor) + L"." + std::to_wstring(build) + L"." +
           std::to_wstring(revision);
}

std::wstring ReadFileVersion(const modPeFile::Image& image) {
    const auto found = modPeResources::Find(image, modPeResources::VersionResource, MaxVersionResource);
    Head head{};
    if (found.damage != modPeFile::Damage::None || found.bytes.size() < head.size()) return {};
    std::copy_n(found.bytes.begin(), head.size(), head.begin());
    if (!IsRoot(head, static_cast<std::uint32_t>(found.bytes.size()))) return {};
    const auto ms = Dword(head, FileVersionMSAt), ls = Dword(head, FileVersionLSAt);
    return FormatFileVersion(High(ms), Low(ms), High(ls), Low(ls));
}

std::wstring GetFileVersion(const std::wstring& path) {
    const modPeFile::DiskFile file(path);
    if (!file.Opened()) return {};
    const modPeFile::Image image(file.File());
    return ReadFileVersion(image);
}

}  // namespace modFileVersion
