// Whether a control loads, held against a loader: control layouts the MinGW linker
// made (layouts/make_layouts.py), each laid out in a folder of its own and loaded as
// COM loads a control, with LoadLibraryExW and LOAD_WITH_ALTERED_SEARCH_PATH, in this
// process, whose bitness is theirs. Where Wine's loader differs from Windows', the
// layout says so in one line, and our answer is held to Windows' documented rule.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "Win32TestSupport.h"
#include "filecheck/modPeFile.h"
#include "loadcheck/modDependencies.h"
#include "osinfo/modVersionOS_v4.h"
#include "platform/SystemInfo.h"

namespace {

using velmora_test::TempFolder;

std::wstring Layouts() {
    const auto own = velmora_test::OwnPath();
    return own.substr(0, own.find_last_of(L'\\')) + L"\\layouts\\";
}

// A file of the layouts put at a place of the layout's folder.
struct Placed {
    const wchar_t* file;  // under layouts\ (foreign\ for the other processor's)
    const wchar_t* at;    // under the layout's folder
};

struct Layout {
    const char* name;
    const wchar_t* control;  // in App\, the folder the control is loaded from
    std::vector<Placed> files;
    const wchar_t* pathFolder = nullptr;  // a folder of the layout's put first on PATH
    // Where Wine's loader differs from Windows': why, and Windows' documented answer
    // on this Windows (its version given).
    const char* wineDiffers = nullptr;
    std::function<bool(std::uint32_t major)> windows = nullptr;
};

modProgramView::WindowsVersion ThisWindows() {
    const auto kernel = modVersionOS_v4::GetKernelVersion();
    return {kernel.major, kernel.minor, kernel.build};
}

bool Windows64() {
    BOOL wow64 = FALSE;
    return sizeof(void*) == 8 || (IsWow64Process(GetCurrentProcess(), &wow64) && wow64);
}

// Our answer: no problem keeps it from loading, and the whole graph was read.
bool OursLoads(const modDependencies::Dependencies& found) {
    return !found.cut && !modDependencies::FirstProblem(found.list, true);
}

// The DLL's export as GetProcAddress finds it in the image, no import of it resolved:
// the second reader of export tables, where Wine stubs an import it lacks.
bool Exports(const std::wstring& dll, const char* name) {
    const HMODULE module = LoadLibraryExW(dll.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (!module) return false;
    const bool found = GetProcAddress(module, name) != nullptr;
    FreeLibrary(module);
    return found;
}

const char* Nine = reinterpret_cast<const char*>(static_cast<ULONG_PTR>(9));

TEST(Loading, OurAnswerIsTheLoaders) {
    const char* const stubsExports = "Wine stubs an export a DLL lacks";
    const auto neverLoads = [](std::uint32_t) { return false; };
    const std::vector<Layout> layouts = {
        {"a DLL missing", L"ctl_missing.dll", {}},
        {"a DLL beside the control", L"ctl_beside.dll", {{L"dep.dll", L"App\\dep.dll"}}},
        {"a DLL missing at the second level", L"ctl_second.dll", {{L"helper.dll", L"App\\helper.dll"}}},
        {"the second level there",
         L"ctl_second.dll",
         {{L"helper.dll", L"App\\helper.dll"}, {L"deep.dll", L"App\\deep.dll"}}},
        {"a DLL of the other processor", L"ctl_other.dll", {{L"foreign\\other.dll", L"App\\other.dll"}}},
        {"the other processor's first, this one's on PATH",
         L"ctl_other.dll",
         {{L"foreign\\other.dll", L"App\\other.dll"}, {L"other.dll", L"Path\\other.dll"}},
         L"Path",
         "Wine passes over a DLL of the other processor on every Windows",
         [](std::uint32_t major) { return major >= 10; }},
        {"an export missing by name",
         L"ctl_export_name.dll",
         {{L"dep.dll", L"App\\dep.dll"}},
         nullptr,
         stubsExports,
         neverLoads},
        {"an export missing by ordinal",
         L"ctl_export_ordinal.dll",
         {{L"dep.dll", L"App\\dep.dll"}},
         nullptr,
         stubsExports,
         neverLoads},
        {"delay-loaded only", L"ctl_delay.dll", {}},
        {"delay-loaded by one importer, needed at load by another",
         L"ctl_merge.dll",
         {{L"helper.dll", L"App\\helper.dll"}}},
        {"a cycle", L"ctl_cycle.dll", {{L"cyca.dll", L"App\\cyca.dll"}, {L"cycb.dll", L"App\\cycb.dll"}}},
        {"a private side-by-side assembly",
         L"ctl_private.dll",
         {{L"Velmora.Private.manifest", L"App\\Velmora.Private\\Velmora.Private.manifest"},
          {L"priv.dll", L"App\\Velmora.Private\\priv.dll"}}},
        {"a side-by-side assembly missing",
         L"ctl_noassembly.dll",
         {{L"dep.dll", L"App\\dep.dll"}},
         nullptr,
         "Wine ignores a manifest that names an assembly it lacks; Windows refuses the DLL (ERROR_SXS_CANT_GEN_ACTCTX)",
         neverLoads},
    };
    // The second reader agrees that dep.dll lacks what the two export layouts ask of it.
    EXPECT_TRUE(Exports(Layouts() + L"dep.dll", "DepAlpha"));
    EXPECT_FALSE(Exports(Layouts() + L"dep.dll", "DepGamma"));
    EXPECT_FALSE(Exports(Layouts() + L"dep.dll", Nine));

    const auto version = ThisWindows();
    const bool wine = velmora_test::RunningUnderWine();
    const std::wstring path = [] {
        wchar_t text[32767] = {};
        GetEnvironmentVariableW(L"PATH", text, 32767);
        return std::wstring(text);
    }();
    for (const auto& layout : layouts) {
        SCOPED_TRACE(layout.name);
        const TempFolder root;
        ASSERT_TRUE(root.ok());
        ASSERT_TRUE(CreateDirectoryW((root / L"App").c_str(), nullptr));
        const std::wstring control = root / (L"App\\" + std::wstring(layout.control));
        ASSERT_TRUE(CopyFileW((Layouts() + layout.control).c_str(), control.c_str(), TRUE));
        for (const auto& file : layout.files) {
            const std::wstring to = root / file.at;
            CreateDirectoryW(to.substr(0, to.find_last_of(L'\\')).c_str(), nullptr);
            ASSERT_TRUE(CopyFileW((Layouts() + file.file).c_str(), to.c_str(), TRUE));
        }
        SetEnvironmentVariableW(L"PATH", ((layout.pathFolder ? root / layout.pathFolder + L";" : L"") + path).c_str());

        const modPeFile::OpenImage image(control);
        ASSERT_NE(image.Get(), nullptr);
        const auto view =
            modProgramView::ViewFor(image.Get()->Machine(), Windows64(), platform::systeminfo::NativeMachine(), version,
                                    velmora_test::WindowsFolder());
        const auto found = modDependencies::FindDependencies(control, *image.Get(), view);

        const HMODULE loaded = LoadLibraryExW(control.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        const bool loaderLoads = loaded != nullptr;
        if (loaded) FreeLibrary(loaded);
        SetEnvironmentVariableW(L"PATH", path.c_str());
        EXPECT_EQ(GetModuleHandleW(L"dep.dll"), nullptr) << "a DLL of the layout stayed loaded";

        const bool windowsLoads = wine && layout.wineDiffers ? layout.windows(version.major) : loaderLoads;
        EXPECT_EQ(OursLoads(found), windowsLoads)
            << (wine && layout.wineDiffers ? layout.wineDiffers : "the loader's answer") << "; the loader "
            << (loaderLoads ? "loaded it" : "did not load it");
    }
}

}  // namespace
