// Whether the control's DLLs load, over fakes of the file system and the registry:
// the view of a program of its bitness, the API sets by Windows version, the search
// order, exports, side-by-side assemblies, damage, and the walk's bounds.
#include <sstream>

#include "TestSupport.h"
#include "loadcheck/modApiSets.h"
#include "loadcheck/modDependencies.h"

namespace {

using fake::S;
using modDependencies::Problem;
using modProgramView::ProgramView;
using modProgramView::ViewFor;
using test::BuildPe;
using test::PeSpec;

constexpr std::uint16_t X86 = 0x14C, X64 = 0x8664, Arm64 = 0xAA64;
const std::wstring WindowsFolder = L"C:\\Windows";
const std::wstring Wow = L"C:\\Windows\\SysWoW64\\", System32 = L"C:\\Windows\\System32\\";
const std::wstring App = L"C:\\App\\", Grid = L"C:\\App\\Grid.ocx";
const modProgramView::WindowsVersion Windows7{6, 1, 7601}, Windows10{10, 0, 19045};

TEST(ProgramView, PathsAndEnvironmentAsTheProgramSeesThem) {
    fake::Reset();
    S().environment = {{L"ProgramFiles", L"C:\\Program Files"},
                       {L"ProgramFiles(x86)", L"C:\\Program Files (x86)"},
                       {L"ProgramW6432", L"C:\\Program Files"},
                       {L"SystemRoot", WindowsFolder}};
    const auto on64 = ViewFor(X86, true, X64, Windows7, WindowsFolder),
               wide = ViewFor(X64, true, X64, Windows7, WindowsFolder),
               on32 = ViewFor(X86, false, X86, Windows7, WindowsFolder);
    EXPECT_EQ(on64.systemFolder, L"C:\\Windows\\SysWoW64");
    EXPECT_EQ(wide.systemFolder, L"C:\\Windows\\System32");
    EXPECT_EQ(wide.registryView, platform::registry::View::Bits64);
    const struct {
        const ProgramView& view;
        const wchar_t *path, *mapped;
    } maps[] = {
        {on64, L"c:\\windows\\system32\\x.dll", L"C:\\Windows\\SysWOW64\\x.dll"},
        {on64, L"C:\\Windows\\system32", L"C:\\Windows\\SysWOW64"},  // a folder on PATH
        {on64, L"C:\\Windows\\System32\\drivers\\etc\\hosts", L"C:\\Windows\\System32\\drivers\\etc\\hosts"},
        {on64, L"C:\\Windows\\Sysnative\\x.dll", L"C:\\Windows\\System32\\x.dll"},
        {on64, L"C:\\Windows\\System32Old\\x.dll", L"C:\\Windows\\System32Old\\x.dll"},
        {wide, L"C:\\Windows\\System32\\x.dll", L"C:\\Windows\\System32\\x.dll"},
        {on32, L"C:\\Windows\\System32\\x.dll", L"C:\\Windows\\System32\\x.dll"},
    };
    for (const auto& m : maps)
        EXPECT_EQ(modProgramView::Map(m.view, m.path), m.mapped) << testing::PrintToString(std::wstring(m.path));
    const struct {
        const ProgramView& view;
        const wchar_t *text, *expanded;
    } expansions[] = {
        {on64, L"%ProgramFiles%\\A\\x.ocx", L"C:\\Program Files (x86)\\A\\x.ocx"},
        {wide, L"%PROGRAMFILES%\\A\\x.ocx", L"C:\\Program Files\\A\\x.ocx"},
        {on32, L"%ProgramFiles%\\A\\x.ocx", L"C:\\Program Files\\A\\x.ocx"},
        {on64, L"%SystemRoot%\\x.ocx", L"C:\\Windows\\x.ocx"},
        {on64, L"%NoSuchName%SystemRoot%", L"%NoSuchNameC:\\Windows"},  // as Windows pairs the signs
        {on64, L"50%", L"50%"},
    };
    for (const auto& e : expansions) EXPECT_EQ(modProgramView::Expand(e.view, e.text), e.expanded);
    // ARM64 Windows: its system folder's ARM64X DLLs serve x64 programs, no other ARM64 DLL does.
    const auto onArm = ViewFor(X64, true, Arm64, Windows10, WindowsFolder);
    EXPECT_TRUE(modProgramView::Serves(onArm, Arm64, System32 + L"kernel32.dll"));
    EXPECT_FALSE(modProgramView::Serves(onArm, Arm64, App + L"x.dll"));
    EXPECT_FALSE(modProgramView::Serves(wide, Arm64, System32 + L"kernel32.dll"));
    EXPECT_FALSE(modProgramView::Serves(on64, X64, App + L"x.dll"));
}

TEST(ApiSets, EachWindowsProvidesItsOwn) {
    const modProgramView::WindowsVersion xp{5, 1, 2600}, vista{6, 0, 6002}, eight{6, 2, 9200}, eightOne{6, 3, 9600};
    const struct {
        const wchar_t* name;
        modProgramView::WindowsVersion version;
        bool provided;
    } cases[] = {
        {L"api-ms-win-crt-runtime-l1-1-0.dll", Windows7, false},  // the Universal CRT's: a file before Windows 10
        {L"api-ms-win-crt-runtime-l1-1-0.dll", eightOne, false},
        {L"api-ms-win-crt-runtime-l1-1-0.dll", Windows10, true},
        {L"API-MS-Win-Core-File-L1-1-0.DLL", Windows7, true},
        {L"api-ms-win-core-file-l1-1-0", vista, false},
        {L"api-ms-win-core-file-l1-1-0.dll", xp, false},
        {L"api-ms-win-core-synch-l1-2-0.dll", Windows7, false},
        {L"api-ms-win-core-synch-l1-2-0.dll", eight, true},
        {L"api-ms-win-ntuser-ie-caret-l1-1-0.dll", eight, true},
        {L"api-ms-win-ntuser-ie-caret-l1-1-0.dll", eightOne, false},
        {L"api-ms-win-core-calendar-l1-1-0.dll", eight, false},
        {L"api-ms-win-core-calendar-l1-1-0.dll", eightOne, true},
        {L"ext-ms-win-ntuser-window-l1-1-0.dll", Windows7, false},
        {L"ext-ms-win-ntuser-window-l1-1-0.dll", eight, true},
        {L"kernel32.dll", Windows10, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(modApiSets::Provided(c.name, c.version), c.provided)
            << testing::PrintToString(std::wstring(c.name)) << " on " << c.version.major << "." << c.version.minor;
    }
}

// --- The walk ------------------------------------------------------------------------------

class Dependencies : public test::VelmoraTest {
protected:
    void SetUp() override {
        VelmoraTest::SetUp();
        Add(Wow + L"KERNEL32.dll", {X86, {}, {"CreateFileW", "ReadFile"}});
        Known(L"kernel32.dll");
    }

    static void Add(const std::wstring& path, PeSpec spec) { fake::AddFile(path, BuildPe(spec)); }
    static void Known(const std::wstring& name) {
        S().registry.values[platform::registry::Hive::LocalMachine]
                           [L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\KnownDLLs"][name] = {
            platform::registry::ValueKind::Text, name};
    }

    // The walk from the control, each dependency as "name|path|needed by|delay|problem|export".
    static std::vector<std::string> Walk(const ProgramView& view, std::optional<std::wstring>* cut = nullptr) {
        const auto& bytes = S().files.at(Grid).bytes;
        const auto file = modPeFile::InMemory(bytes.data(), bytes.size());
        const modPeFile::Image image(file);
        const auto found = modDependencies::FindDependencies(Grid, image, view);
        if (cut) *cut = found.cut;
        std::vector<std::string> rows;
        for (const auto& d : found.list) {
            std::wostringstream row;
            row << d.name << L"|" << d.path.value_or(L"-") << L"|" << d.neededBy << L"|"
                << (d.delayLoaded ? L"delay" : L"load") << L"|" << modDependencies::ProblemText(d.problem) << L"|"
                << d.exportName;
            const auto text = row.str();
            rows.emplace_back(text.begin(), text.end());
        }
        return rows;
    }
    static const inline ProgramView On64 = ViewFor(X86, true, X64, Windows7, WindowsFolder);
};

TEST_F(Dependencies, FoundInTheLoadersOrderAsTheProgramSeesTheFolders) {
    S().environment[L"PATH"] = L"C:\\Tools;\"C:\\Quoted\";C:\\Windows\\system32;relative";
    Add(Grid, {X86,
               {{"KERNEL32.dll", {"CreateFileW"}},
                {"helper.dll", {}},
                {"onpath.dll", {}},
                {"quoted.dll", {}},
                {"only64.dll", {}},
                {"gone.dll", {}},
                {"helper", {}}}});
    Add(App + L"helper.dll", {});  // before the system folder's
    Add(Wow + L"helper.dll", {});
    Add(L"C:\\Tools\\onpath.dll", {});
    Add(L"C:\\Quoted\\quoted.dll", {});        // PATH's quotes are no part of the folder
    Add(System32 + L"only64.dll", {X64});      // PATH's System32 is SysWOW64 to a 32-bit program
    Add(L"C:\\Work\\relative\\gone.dll", {});  // a relative entry names no folder a check knows
    EXPECT_EQ(Walk(On64), (std::vector<std::string>{
                              "KERNEL32.dll|C:\\Windows\\SysWoW64\\KERNEL32.dll|Grid.ocx|load||",
                              "helper.dll|C:\\App\\helper.dll|Grid.ocx|load||",
                              "onpath.dll|C:\\Tools\\onpath.dll|Grid.ocx|load||",
                              "quoted.dll|-|Grid.ocx|load|missing|",
                              "only64.dll|-|Grid.ocx|load|missing|",
                              "gone.dll|-|Grid.ocx|load|missing|",
                          }));  // "helper" is helper.dll, met before
}

TEST_F(Dependencies, AKnownDllMustBeThereAndANamedPathIsTakenAsThePath) {
    Known(L"ole32.dll");
    Add(Grid, {X86, {{"ole32.dll", {}}, {"C:\\Libs\\full.dll", {}}, {"sub\\part.dll", {}}, {"D:\\none.dll", {}}}});
    Add(L"C:\\Libs\\full.dll", {});
    Add(App + L"sub\\part.dll", {});
    EXPECT_EQ(Walk(On64), (std::vector<std::string>{
                              "ole32.dll|-|Grid.ocx|load|missing|",
                              "C:\\Libs\\full.dll|C:\\Libs\\full.dll|Grid.ocx|load||",
                              "sub\\part.dll|C:\\App\\sub\\part.dll|Grid.ocx|load||",
                              "D:\\none.dll|-|Grid.ocx|load|missing|",
                          }));
}

TEST_F(Dependencies, ADllOfTheOtherProcessorFirstOnThePathFailsBeforeWindows10) {
    S().environment[L"PATH"] = L"C:\\Tools";
    Add(Grid, {X86, {{"wide.dll", {}}}});
    Add(App + L"wide.dll", {X64});
    Add(L"C:\\Tools\\wide.dll", {});
    EXPECT_EQ(Walk(On64), std::vector<std::string>{"wide.dll|C:\\App\\wide.dll|Grid.ocx|load|other processor|"});
    // Windows 10 passes over it, and fails only when no DLL of the right one is there.
    const auto on10 = ViewFor(X86, true, X64, Windows10, WindowsFolder);
    EXPECT_EQ(Walk(on10), std::vector<std::string>{"wide.dll|C:\\Tools\\wide.dll|Grid.ocx|load||"});
    S().files.erase(L"C:\\Tools\\wide.dll");
    EXPECT_EQ(Walk(on10), std::vector<std::string>{"wide.dll|C:\\App\\wide.dll|Grid.ocx|load|other processor|"});
}

TEST_F(Dependencies, EachFunctionMustBeExported) {
    // Exports in a table the loader cannot binary-search: "Zeta" hides but for its hint.
    Add(App + L"lib.dll", {X86, {}, {"Alpha", "Zeta", "Beta", "Gamma", "Delta", "#7"}});
    const struct {
        std::vector<std::string> functions;
        const char* missing;  // empty: all there
    } cases[] = {
        {{"Alpha", "Beta", "#7", "#1"}, ""},
        {{"Alpha", "Omega", "Psi"}, "Omega"},  // the first the loader fails on
        {{"#8"}, "#8"},
        {{"alpha"}, "alpha"},  // names are compared byte for byte
        {{"Zeta"}, "Zeta"},
    };
    for (const auto& c : cases) {
        Add(Grid, {X86, {{"lib.dll", c.functions}}});
        const auto rows = Walk(On64);
        EXPECT_EQ(rows.size(), *c.missing ? 2u : 1u);
        if (*c.missing) {
            EXPECT_EQ(rows.back(), "lib.dll|C:\\App\\lib.dll|Grid.ocx|load|missing export|" + std::string(c.missing));
        }
    }
    // Its hint puts the loader on it.
    Add(Grid, {X86, {{"lib.dll", {"Zeta"}}}});
    auto& bytes = S().files[Grid].bytes;
    const auto hint = std::search(bytes.begin(), bytes.end(), std::begin("Zeta"), std::end("Zeta") - 1) - 2;
    hint[0] = 1;  // "Zeta" is the table's second name
    EXPECT_EQ(Walk(On64).size(), 1u);
}

TEST_F(Dependencies, OneLoadTimeImporterMakesADllLoadTime) {
    Add(Grid, {X86, {{"late.dll", {}, true}, {"helper.dll", {}}}});
    Add(App + L"helper.dll", {X86, {{"late.dll", {}}, {"later.dll", {}, true}}});
    EXPECT_EQ(Walk(On64), (std::vector<std::string>{
                              "helper.dll|C:\\App\\helper.dll|Grid.ocx|load||",
                              "late.dll|-|helper.dll|load|missing|",
                              "later.dll|-|helper.dll|delay|missing|",
                          }));
}

TEST_F(Dependencies, ADamagedEntryHidesNoMissingDllBesideIt) {
    Add(Grid, {X86, {{"first.dll", {}}, {"gone.dll", {}}, {"nope.dll", {}, true}}});
    test::Put32(S().files[Grid].bytes, 0x200 + 12, 0x7FFFFFF0);  // the first entry's name lies outside the image
    EXPECT_EQ(Walk(On64), (std::vector<std::string>{
                              "Grid.ocx|C:\\App\\Grid.ocx||load|damaged|",
                              "gone.dll|-|Grid.ocx|load|missing|",
                              "nope.dll|-|Grid.ocx|delay|missing|",
                          }));
}

TEST_F(Dependencies, ACycleIsReadOnce) {
    Add(Grid, {X86, {{"a.dll", {"FromB"}}}});
    Add(App + L"a.dll", {X86, {{"b.dll", {"FromA"}}}, {"FromB"}});
    Add(App + L"b.dll", {X86, {{"a.dll", {"FromB"}}}, {"FromA"}});
    EXPECT_EQ(Walk(On64),
              (std::vector<std::string>{"a.dll|C:\\App\\a.dll|Grid.ocx|load||", "b.dll|C:\\App\\b.dll|a.dll|load||"}));
}

TEST_F(Dependencies, APathFolderIsListedOnceAndOneThatCannotBeIsSkipped) {
    S().environment[L"PATH"] = L"C:\\Dead;C:\\Dead\\;C:\\Tools";
    S().unlistableFolders = {L"C:\\Dead"};
    Add(Grid, {X86, {{"one.dll", {}}, {"two.dll", {}}, {"three.dll", {}}}});
    Add(L"C:\\Dead\\two.dll", {});
    Add(L"C:\\Tools\\three.dll", {});
    EXPECT_EQ(Walk(On64),
              (std::vector<std::string>{"one.dll|-|Grid.ocx|load|missing|", "two.dll|-|Grid.ocx|load|missing|",
                                        "three.dll|C:\\Tools\\three.dll|Grid.ocx|load||"}));
    EXPECT_EQ(std::count(S().folderListings.begin(), S().folderListings.end(), L"C:\\Dead"), 1);
}

const char VC90[] =
    "<assembly xmlns='urn:schemas-microsoft-com:asm.v1' manifestVersion='1.0'><dependency><dependentAssembly>"
    "<assemblyIdentity type='win32' name='Microsoft.VC90.CRT' version='9.0.21022.8' processorArchitecture='x86' "
    "publicKeyToken='1fc8b3b9a1e18e3b'/></dependentAssembly></dependency></assembly>";

TEST_F(Dependencies, SideBySideAssembliesAtTheirVersionOrALaterOne) {
    const std::wstring store = L"C:\\Windows\\WinSxS";
    const std::wstring later = L"x86_microsoft.vc90.crt_1fc8b3b9a1e18e3b_9.0.30729.9625_none_508ef7e4bcbbe589";
    S().listings[store] = {{L"x86_microsoft.vc90.crt_1fc8b3b9a1e18e3b_9.0.20000.1_none_0", true, {}},  // earlier
                           {later, true, {}},
                           {L"amd64_microsoft.vc90.crt_1fc8b3b9a1e18e3b_9.0.30729.9999_none_0", true, {}}};
    Add(store + L"\\" + later + L"\\msvcr90.dll", {X86, {}, {"malloc"}});
    Add(Grid, {X86, {{"MSVCR90.dll", {"malloc"}}}, {}, VC90});
    EXPECT_EQ(Walk(On64),
              std::vector<std::string>{"MSVCR90.dll|" + std::string(store.begin(), store.end()) + "\\" +
                                       std::string(later.begin(), later.end()) + "\\msvcr90.dll|Grid.ocx|load||"});
    S().listings[store].erase(S().listings[store].begin() + 1);
    EXPECT_EQ(Walk(On64), (std::vector<std::string>{"Microsoft.VC90.CRT|-|Grid.ocx|load|missing assembly|",
                                                    "MSVCR90.dll|-|Grid.ocx|load|missing|"}));
}

TEST_F(Dependencies, APrivateAssemblyInTheControlsFolder) {
    Add(Grid, {X86,
               {{"priv.dll", {}}},
               {},
               "<assembly><dependency><dependentAssembly><assemblyIdentity name='Velmora.Private' version='1.0.0.0'/>"
               "</dependentAssembly></dependency></assembly>"});
    const std::string manifest =
        "<?xml version='1.0'?><assembly xmlns='urn:schemas-microsoft-com:asm.v1'><assemblyIdentity "
        "name='Velmora.Private' version='1.0.0.0'/><file name='priv.dll'/></assembly>";
    fake::AddFile(App + L"Velmora.Private\\Velmora.Private.manifest", {manifest.begin(), manifest.end()});
    Add(App + L"Velmora.Private\\priv.dll", {});
    EXPECT_EQ(Walk(On64), std::vector<std::string>{"priv.dll|C:\\App\\Velmora.Private\\priv.dll|Grid.ocx|load||"});
}

TEST_F(Dependencies, ApiSetsWindowsProvidesAreNoFilesAndOthersAre) {
    Add(Grid, {X86, {{"api-ms-win-core-file-l1-1-0.dll", {}}, {"api-ms-win-crt-runtime-l1-1-0.dll", {}}}});
    EXPECT_EQ(Walk(On64), std::vector<std::string>{"api-ms-win-crt-runtime-l1-1-0.dll|-|Grid.ocx|load|missing|"});
    Add(Wow + L"api-ms-win-crt-runtime-l1-1-0.dll", {});  // the Universal CRT's update
    EXPECT_EQ(Walk(On64),
              std::vector<std::string>{"api-ms-win-crt-runtime-l1-1-0.dll|C:\\Windows\\SysWoW64\\api-ms-win-crt-"
                                       "runtime-l1-1-0.dll|Grid.ocx|load||"});
}

TEST_F(Dependencies, AGraphPastTheBoundIsNotCalledWhole) {
    // A chain longer than the walk reads: what it read is judged, whether it loads is not known.
    for (std::size_t i = 0; i <= modDependencies::MaxFiles; ++i) {
        Add(App + L"chain" + std::to_wstring(i) + L".dll", {X86, {{"chain" + std::to_string(i + 1) + ".dll", {}}}});
    }
    Add(Grid, {X86, {{"chain0.dll", {}}}});
    std::optional<std::wstring> cut;
    const auto rows = Walk(On64, &cut);
    EXPECT_EQ(rows.size(), modDependencies::MaxFiles);
    EXPECT_EQ(cut, L"the walk stopped at its bound of 512 files");
}

}  // namespace
