// The stand-in MsComCtl.OCX files of tests/controlfiles, read through the real
// platform layer as the program reads the installed control: existence, file version
// and CRC-32, and the verdict those make. The generated header lists each file as
// Wine names it (Z: is the host's root) and what must be reported for it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "VelmoraControlFiles.h"
#include "filecheck/modCRC32_v2.h"
#include "filecheck/modFileDirExists_v2.h"
#include "filecheck/modFileVersion.h"

// Failure messages name a file by its variant.
namespace velmora_controlfiles {
inline void PrintTo(const Variant& v, std::ostream* out) { *out << testing::PrintToString(std::wstring(v.name)); }
}  // namespace velmora_controlfiles

namespace {

using velmora_controlfiles::Variant;

class ControlFile : public ::testing::TestWithParam<Variant> {};

TEST_P(ControlFile, ExistenceVersionCrcAndSize) {
    const Variant& v = GetParam();
    const std::wstring path = v.winePath;

    EXPECT_EQ(modFileDirExists_v2::FileExists(path), v.exists);
    const auto version = modFileVersion::GetFileVersion(path);
    EXPECT_EQ(version, v.version);
    const auto crc = modCRC32_v2::GetFileCRC32Hex(path);
    EXPECT_EQ(crc, v.crc32);

    if (v.exists && v.size >= 0) {
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        ASSERT_TRUE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data));
        const unsigned long long size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        EXPECT_EQ(size, static_cast<unsigned long long>(v.size));
    }
}

std::string VariantName(const ::testing::TestParamInfo<Variant>& info) {
    std::string name;
    for (const wchar_t* ch = info.param.name; *ch; ++ch) {
        const wchar_t c = *ch;
        const bool plain = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9');
        name += plain ? static_cast<char>(c) : '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(StandIns, ControlFile, ::testing::ValuesIn(velmora_controlfiles::Variants), VariantName);

}  // namespace
