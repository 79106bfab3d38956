// The file version our reader takes from a file's bytes, held against what Windows'
// own version functions read from the same file: the stand-in controls, this test
// program and system libraries.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "VelmoraControlFiles.h"
#include "Win32TestSupport.h"
#include "filecheck/modFileVersion.h"
#include "filecheck/modPeImports.h"

namespace {

// The file version a.b.c.d as version.dll reads it, empty when none.
std::wstring SystemsReading(const std::wstring& path) {
    DWORD unused = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &unused);
    if (size == 0) return {};
    std::vector<std::uint8_t> block(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return {};
    void* root = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\", &root, &length) || length < sizeof(VS_FIXEDFILEINFO)) return {};
    VS_FIXEDFILEINFO fixed;
    std::memcpy(&fixed, root, sizeof fixed);
    return std::to_wstring(HIWORD(fixed.dwFileVersionMS)) + L"." + std::to_wstring(LOWORD(fixed.dwFileVersionMS)) +
           L"." + std::to_wstring(HIWORD(fixed.dwFileVersionLS)) + L"." +
           std::to_wstring(LOWORD(fixed.dwFileVersionLS));
}

TEST(FileVersion, OurReaderReadsWhatWindowsReads) {
    std::vector<std::wstring> paths = {velmora_test::OwnPath()};
    for (const wchar_t* name : {L"kernel32.dll", L"ole32.dll", L"shell32.dll", L"comctl32.dll"}) {
        paths.push_back(velmora_test::SystemFolder() + L"\\" + name);
    }
    for (const auto& v : velmora_controlfiles::Variants) paths.push_back(v.winePath);
    for (const auto& path : paths) {
        EXPECT_EQ(modFileVersion::GetFileVersion(path), SystemsReading(path)) << testing::PrintToString(path);
    }
    EXPECT_EQ(modFileVersion::GetFileVersion(velmora_test::OwnPath()), VELMORA_VERSION);
}

TEST(PeFile, EveryDllOurReaderFindsImportedTheLoaderLoaded) {
    // This test program imports version.dll for the comparison above, and the C runtime.
    const modPeFile::OpenImage own(velmora_test::OwnPath());
    ASSERT_NE(own.Get(), nullptr);
    const auto imports = modPeImports::ReadImports(*own.Get());
    EXPECT_EQ(own.Get()->Machine(), sizeof(void*) == 8 ? modPeFile::MachineX64 : modPeFile::MachineX86);
    ASSERT_GE(imports.dlls.size(), 3u);
    for (const auto& dll : imports.dlls) {
        EXPECT_NE(GetModuleHandleW(dll.name.c_str()), nullptr) << testing::PrintToString(dll.name);
    }
}

}  // namespace
