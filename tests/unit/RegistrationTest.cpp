// The registration check over fakes of the registry, the type library and file
// names: the state each combination of entries makes, the rules by which a registry
// text names this file, the other versions, Office, and the hint.
#include <tuple>

#include "TestSupport.h"
#include "loadcheck/modDiagnosis.h"

namespace {

using fake::S;
using modRegistration::Scope;
using modRegistration::State;
using platform::registry::Hive;
using platform::registry::ValueKind;

using test::ClassKey;
using test::LibraryKey;
using test::Register;
using test::RegisterAll;
const std::wstring& Library = test::ControlLibrary;
const std::wstring& SliderClass = test::ControlClasses[0];
const std::wstring& TreeClass = test::ControlClasses[1];
const std::wstring Windows = L"C:\\Windows";
const std::wstring Control64 = L"C:\\Windows\\SysWoW64\\MsComCtl.OCX";
const std::wstring Control32 = L"C:\\Windows\\System32\\MsComCtl.OCX";
const std::wstring AppCopy = L"C:\\App\\MSCOMCTL.OCX";

// A 32-bit program on 64-bit Windows 7, and on 32-bit Windows 7.
const auto View64 = modProgramView::ViewFor(0x14C, true, 0x8664, {6, 1, 7601}, Windows);
const auto View32 = modProgramView::ViewFor(0x14C, false, 0x14C, {6, 1, 7601}, Windows);

class Registration : public test::VelmoraTest {
protected:
    void SetUp() override {
        VelmoraTest::SetUp();
        for (const auto& path : {Control64, Control32, AppCopy}) fake::AddFile(path, test::ControlBytes());
        S().folderPaths = {L"C:\\Windows\\SysWoW64"};
    }

    // The control file's type library, as read from it.
    static inline const modTypeLibrary::Reading Readable{
        modTypeLibrary::TypeLibrary{
            Library, 2, 2, modTypeLibrary::SysKind::Win32, L"StandIn", {SliderClass, TreeClass}},
        L""};
    static inline const modTypeLibrary::Reading NoLibrary{std::nullopt, L"it has no type library resource"};

    static modRegistration::Registration Check64() {
        return modRegistration::CheckRegistration(Readable, Control64, View64);
    }
};

// The whole diagnosis of the file at `path`, its dependencies read from its fake bytes.
modDiagnosis::Diagnosis Diagnose(const modTypeLibrary::Reading& reading, const std::wstring& path,
                                 const modProgramView::ProgramView& view, bool pinned = true) {
    auto found = modDiagnosis::ReadRegistry(reading, {path, view.systemFolder, view.Bits(), pinned}, view);
    const auto& bytes = S().files.at(path).bytes;
    const auto file = modPeFile::InMemory(bytes.data(), bytes.size());
    const modPeFile::Image image(file);
    modDiagnosis::AddDependencies(found, modDependencies::FindDependencies(path, image, view));
    return found;
}

TEST_F(Registration, EachPathIsProbedOnce) {
    // A path on a server that is gone stalls every probe of it.
    RegisterAll(L"\\\\gone\\share\\MSCOMCTL.OCX");
    (void)Check64();
    EXPECT_EQ(std::count(S().longFormProbes.begin(), S().longFormProbes.end(), L"\\\\gone\\share\\MSCOMCTL.OCX"), 1);
}

// --- The state ---------------------------------------------------------------------------

// What one entry holds.
enum class Holds { Here, Elsewhere, Nothing, NotText, EmptyText, Folder, LongerThanAnyPath };

void Hold(const std::wstring& key, Holds holds) {
    const auto set = [&key](ValueKind kind, const std::wstring& text) {
        test::Register(key, text, Hive::LocalMachine, kind);
    };
    switch (holds) {
    case Holds::Here: set(ValueKind::Text, Control64); break;
    case Holds::Elsewhere: set(ValueKind::Text, AppCopy); break;
    case Holds::Nothing: break;
    case Holds::NotText: set(ValueKind::Other, L""); break;
    case Holds::EmptyText: set(ValueKind::Text, L""); break;
    case Holds::Folder: set(ValueKind::Text, L"C:\\Windows\\SysWoW64"); break;
    case Holds::LongerThanAnyPath: set(ValueKind::Text, std::wstring(32768, L'x')); break;
    }
}

TEST_F(Registration, EachCombinationOfEntriesHasItsState) {
    struct Case {
        Holds library, slider, tree;
        State state;
    };
    using H = Holds;
    const Case cases[] = {
        {H::Here, H::Here, H::Here, State::Registered},
        {H::Nothing, H::Nothing, H::Nothing, State::NotRegistered},
        {H::NotText, H::EmptyText, H::Nothing, State::NotRegistered},
        {H::LongerThanAnyPath, H::Nothing, H::Nothing, State::NotRegistered},
        {H::Elsewhere, H::Elsewhere, H::Elsewhere, State::RegisteredElsewhere},
        {H::Nothing, H::Elsewhere, H::Nothing, State::RegisteredElsewhere},
        {H::Folder, H::Folder, H::Folder, State::RegisteredElsewhere},  // a folder is not this file
        {H::Here, H::Nothing, H::Nothing, State::PartlyRegistered},     // an old build's type library
        {H::Here, H::Elsewhere, H::Here, State::PartlyRegistered},
        {H::EmptyText, H::Here, H::Here, State::PartlyRegistered},
    };
    for (const Case& c : cases) {
        S().registry = {};
        Hold(LibraryKey(L"2.2"), c.library);
        Hold(ClassKey(SliderClass), c.slider);
        Hold(ClassKey(TreeClass), c.tree);
        const auto found = Diagnose(Readable, Control64, View64);
        EXPECT_EQ(found.registration.state, c.state)
            << static_cast<int>(c.library) << static_cast<int>(c.slider) << static_cast<int>(c.tree);
        EXPECT_EQ(found.hint.has_value(), c.state != State::Registered);
    }
}

TEST_F(Registration, APerUserEntryOverridesThePerMachineOne) {
    RegisterAll(Control64);
    Register(ClassKey(TreeClass), AppCopy, Hive::CurrentUser);
    const auto found = Check64();
    EXPECT_EQ(found.classes[1].scope, Scope::User);
    EXPECT_EQ(found.classes[1].path, AppCopy);
    EXPECT_FALSE(found.classes[1].here);
    EXPECT_EQ(found.classes[0].scope, Scope::Machine);
    EXPECT_EQ(found.state, State::PartlyRegistered);

    // An entry the user has, but holding no path, hides the machine's too.
    Register(ClassKey(TreeClass), L"", Hive::CurrentUser);
    EXPECT_FALSE(Check64().classes[1].Registered());
}

TEST_F(Registration, ThePerUserRemovalsReachTheViewOfTheControlsBitness) {
    // Machine entries for the control, the account's own elsewhere: the commands that
    // remove them. A class's key is in its bitness's view; TypeLib is shared by both.
    const auto view64 = modProgramView::ViewFor(0x8664, true, 0x8664, {6, 1, 7601}, Windows);
    const struct {
        const modProgramView::ProgramView& view;
        const wchar_t* classView;
    } cases[] = {{View64, L" /reg:32"}, {View32, L""}, {view64, L" /reg:64"}};
    for (const auto& c : cases) {
        S().registry = {};
        const bool wide = c.view.Program64();
        const std::wstring control = c.view.systemFolder + L"\\MsComCtl.OCX";
        fake::AddFile(control, test::ControlBytes());
        auto reading = Readable;
        std::wstring library = LibraryKey();
        if (wide) {
            reading.library->sysKind = modTypeLibrary::SysKind::Win64;
            library.replace(library.size() - 2, 2, L"64");
        }
        for (const auto& key : {library, ClassKey(SliderClass), ClassKey(TreeClass)}) {
            (wide ? S().registry.values64 : S().registry.values)[Hive::LocalMachine][key][L""] = {ValueKind::Text,
                                                                                                  control};
            (wide ? S().registry.values64 : S().registry.values)[Hive::CurrentUser][key][L""] = {ValueKind::Text,
                                                                                                 AppCopy};
        }
        const auto hint = Diagnose(reading, control, c.view).hint.value_or(L"");
        const std::wstring removals = L"run reg delete \"HKCU\\Software\\Classes\\TypeLib\\" + Library +
                                      L"\\2.2\" /f & reg delete \"HKCU\\Software\\Classes\\CLSID\\" + SliderClass +
                                      L"\" /f" + c.classView + L" & reg delete \"HKCU\\Software\\Classes\\CLSID\\" +
                                      TreeClass + L"\" /f" + c.classView + L", then";
        EXPECT_NE(hint.find(L"as TESTPC\\tester, " + removals), std::wstring::npos) << testing::PrintToString(hint);
    }
}

TEST_F(Registration, AFileWithoutATypeLibraryReadsNoRegistry) {
    RegisterAll(Control64);
    const auto found = modRegistration::CheckRegistration(NoLibrary, Control64, View64);
    EXPECT_EQ(found.state, State::NoTypeLibrary);
    EXPECT_EQ(found.reason, NoLibrary.reason);
    EXPECT_FALSE(found.typeLibrary.has_value());
    EXPECT_TRUE(found.classes.empty());
    EXPECT_TRUE(found.otherVersions.empty());
    EXPECT_TRUE(S().registry.reads.empty());
}

// --- When a registry text names this file -----------------------------------------------------

TEST_F(Registration, PathRules) {
    S().environment[L"SystemRoot"] = Windows;
    S().longForms[L"C:\\WINDOW~1\\SysWoW64\\MSCOMC~1.OCX"] = Control64;
    struct Case {
        const wchar_t* text;
        ValueKind kind;
        bool windows64;
        const wchar_t* loads;
        bool here, exists;
    };
    const Case cases[] = {
        // Expanded only when the value says so.
        {L"%SystemRoot%\\SysWOW64\\MsComCtl.OCX", ValueKind::ExpandableText, true,
         L"C:\\Windows\\SysWOW64\\MsComCtl.OCX", true, true},
        {L"%SystemRoot%\\SysWOW64\\MsComCtl.OCX", ValueKind::Text, true, L"%SystemRoot%\\SysWOW64\\MsComCtl.OCX", false,
         false},
        // Quotes around it are no part of the name.
        {L"\"C:\\Windows\\SysWoW64\\MsComCtl.OCX\"", ValueKind::Text, true, L"C:\\Windows\\SysWoW64\\MsComCtl.OCX",
         true, true},
        // System32 is SysWOW64 to a 32-bit program on a 64-bit Windows, in any case.
        {L"C:\\WINDOWS\\SYSTEM32\\MSCOMCTL.OCX", ValueKind::Text, true, L"C:\\Windows\\SysWOW64\\MSCOMCTL.OCX", true,
         true},
        {L"%SystemRoot%\\System32\\MsComCtl.OCX", ValueKind::ExpandableText, true,
         L"C:\\Windows\\SysWOW64\\MsComCtl.OCX", true, true},
        {L"C:\\Windows\\System32Old\\MsComCtl.OCX", ValueKind::Text, true, L"C:\\Windows\\System32Old\\MsComCtl.OCX",
         false, false},
        {L"D:\\Windows\\System32\\MsComCtl.OCX", ValueKind::Text, true, L"D:\\Windows\\System32\\MsComCtl.OCX", false,
         false},
        // ... and only there.
        {L"C:\\Windows\\System32\\MsComCtl.OCX", ValueKind::Text, false, L"C:\\Windows\\System32\\MsComCtl.OCX", true,
         true},
        {L"C:\\Windows\\SysWOW64\\MsComCtl.OCX", ValueKind::Text, false, L"C:\\Windows\\SysWOW64\\MsComCtl.OCX", false,
         true},  // a file, but not the one a 32-bit Windows loads
        // A bare name is looked for in the system folder.
        {L"mscomctl.ocx", ValueKind::Text, true, L"C:\\Windows\\SysWoW64\\mscomctl.ocx", true, true},
        // Short names are compared in their long form.
        {L"C:\\WINDOW~1\\SysWoW64\\MSCOMC~1.OCX", ValueKind::Text, true, L"C:\\WINDOW~1\\SysWoW64\\MSCOMC~1.OCX", true,
         true},
        // Named, but not this file: another copy, one that is gone, a folder.
        {L"C:\\App\\MSCOMCTL.OCX", ValueKind::Text, true, L"C:\\App\\MSCOMCTL.OCX", false, true},
        {L"C:\\Gone\\MSCOMCTL.OCX", ValueKind::Text, true, L"C:\\Gone\\MSCOMCTL.OCX", false, false},
        {L"C:\\Windows\\SysWoW64", ValueKind::Text, true, L"C:\\Windows\\SysWoW64", false, false},
        // Nothing named at all.
        {L"", ValueKind::Text, true, L"", false, false},
        {L"\"\"", ValueKind::Text, true, L"", false, false},
    };
    for (const Case& c : cases) {
        S().registry = {};
        const auto control = c.windows64 ? Control64 : Control32;
        Register(LibraryKey(L"2.2"), c.text, Hive::LocalMachine, c.kind);
        const auto library =
            *modRegistration::CheckRegistration(Readable, control, c.windows64 ? View64 : View32).typeLibrary;
        const auto shown = testing::PrintToString(std::wstring(c.text)) + (c.windows64 ? " on 64-bit" : " on 32-bit");
        EXPECT_EQ(library.loads, c.loads) << shown;
        EXPECT_EQ(library.here, c.here) << shown;
        EXPECT_EQ(library.exists, c.exists) << shown;
        EXPECT_EQ(library.Registered(), *c.loads != L'\0') << shown;
        EXPECT_EQ(library.path, std::wstring(c.text)) << shown;  // as written
    }
}

// --- Other versions ---------------------------------------------------------------------------

TEST_F(Registration, EveryOtherVersionInVersionOrderItsOwnUnderAnySpelling) {
    Register(LibraryKey(L"2.02"), Control64);  // its own version, spelt otherwise
    Register(LibraryKey(L"10.0"), AppCopy, Hive::CurrentUser);
    Register(LibraryKey(L"1.0"), L"C:\\Gone\\MSCOMCTL.OCX");
    Register(LibraryKey(L"9.a"), Control64);
    Register(LibraryKey(L"flags"), AppCopy, Hive::CurrentUser);  // listed first, sorted last
    const auto found = Check64();
    EXPECT_EQ(found.typeLibrary->version, L"2.02");
    EXPECT_TRUE(found.typeLibrary->here);
    std::vector<std::wstring> versions;
    for (const auto& other : found.otherVersions) versions.push_back(other.version);
    EXPECT_EQ(versions, (std::vector<std::wstring>{L"1.0", L"9.a", L"10.0", L"flags"}));
    EXPECT_FALSE(found.otherVersions[0].exists);
    EXPECT_TRUE(found.otherVersions[1].here);
    EXPECT_EQ(found.otherVersions[2].scope, Scope::User);
    EXPECT_EQ(found.otherVersions[0].id, Library);
}

// --- The hint -----------------------------------------------------------------------------------

TEST_F(Registration, TheHintNamesTheCommandWithThisWindowsPaths) {
    const std::wstring run64 =
        L"run as an administrator: \"C:\\Windows\\SysWoW64\\regsvr32.exe\" "
        L"\"C:\\Windows\\SysWoW64\\MsComCtl.OCX\"";
    const auto hint = [](const modTypeLibrary::Reading& reading, const std::wstring& path,
                         const modProgramView::ProgramView& view,
                         bool pinned = true) { return Diagnose(reading, path, view, pinned).hint; };
    EXPECT_EQ(hint(Readable, Control64, View64), L"To register it, " + run64);

    EXPECT_EQ(hint(Readable, Control32, View32),
              L"To register it, run as an administrator: \"C:\\Windows\\System32\\regsvr32.exe\" "
              L"\"C:\\Windows\\System32\\MsComCtl.OCX\"");

    Register(LibraryKey(L"2.2"), Control64);
    EXPECT_EQ(hint(Readable, Control64, View64), L"To register it whole, " + run64);

    Register(LibraryKey(L"2.2"), AppCopy);
    Register(ClassKey(TreeClass), L"C:\\Gone\\MSCOMCTL.OCX");
    EXPECT_EQ(hint(Readable, Control64, View64),
              L"Programs look for C:\\Gone\\MSCOMCTL.OCX instead, which is not there; to register this file, " + run64);
    Register(ClassKey(SliderClass), L"\"C:\\App\\MSCOMCTL.OCX\"");
    EXPECT_EQ(hint(Readable, Control64, View64),
              L"Programs load C:\\App\\MSCOMCTL.OCX instead; to register this file, " + run64);

    EXPECT_EQ(hint(NoLibrary, Control64, View64),
              L"This file holds no type library (it has no type library resource), so it is no build of the "
              L"control: put build 6.1.98.46 in its place, then " +
                  run64);
    // Another control without a type library: nothing of a build, its classes not known.
    EXPECT_EQ(hint(NoLibrary, AppCopy, View64, false),
              L"This file holds no type library Velmora reads (it has no type library resource), so whether its "
              L"classes are registered is not known: if a program still cannot create it, run as an administrator: "
              L"\"C:\\Windows\\SysWoW64\\regsvr32.exe\" \"C:\\App\\MSCOMCTL.OCX\"");
}

TEST_F(Registration, ALibraryIsLookedUpUnderItsPlatformsKey) {
    // A 64-bit control's library, as a 64-bit regsvr32 registers it.
    auto reading = Readable;
    reading.library->sysKind = modTypeLibrary::SysKind::Win64;
    const auto view = modProgramView::ViewFor(0x8664, true, 0x8664, {6, 1, 7601}, Windows);
    const std::wstring control = L"C:\\Program Files\\App\\Grid.ocx";
    S().registry.values64[Hive::LocalMachine][L"Software\\Classes\\TypeLib\\" + Library + L"\\2.2\\0\\win64"][L""] = {
        ValueKind::Text, control};
    fake::AddFile(control, test::ControlBytes());
    const auto found = modRegistration::CheckRegistration(reading, control, view);
    EXPECT_TRUE(found.typeLibrary->here);
}

// --- Office's caches of the control ------------------------------------------------------------

TEST_F(Registration, OfficeCachesAreFoundInTheirFoldersAndHeldAgainstTheFilesArrival) {
    const std::wstring temp = L"C:\\Temp", forms = L"C:\\Roaming\\Microsoft\\Forms";
    S().environment = {{L"TEMP", temp}, {L"APPDATA", L"C:\\Roaming"}};
    // Copied in on 2024-03-01 from a file last written in 2020: it arrived in 2024.
    S().fileTimes[Control64] = {test::FileTime(2024, 3, 1), test::FileTime(2020, 1, 1)};
    const auto before = test::FileTime(2023, 6, 1), after = test::FileTime(2024, 4, 1);
    const struct {
        const wchar_t* folder;  // under TEMP, or the Forms folder
        const wchar_t* name;
        std::uint64_t written;
        bool found, older;
    } cases[] = {
        {L"Excel8.0", L"StandIn.exd", before, true, true},      {L"Excel12.0", L"standin.EXD", after, true, false},
        {L"word16.0", L"StandIn.exd", before, true, true},      {L"PPT11.0", L"StandIn.exd", before, true, true},
        {L"VBE", L"StandIn.exd", before, true, true},           {L"vbe", L"StandIn.exd", before, true, true},
        {L"Excel.0", L"StandIn.exd", before, false, false},     {L"Excel8.1", L"StandIn.exd", before, false, false},
        {L"Outlook16.0", L"StandIn.exd", before, false, false}, {L"ExcelX.0", L"StandIn.exd", before, false, false},
        {L"Excel8.0", L"Other.exd", before, false, false},      {L"Excel8.0", L"StandIn.tlb", before, false, false},
        {nullptr, L"StandIn.exd", before, true, true},
    };
    for (const auto& c : cases) {
        const std::wstring folder = c.folder ? temp + L"\\" + c.folder : forms;
        SCOPED_TRACE(testing::PrintToString(folder + L"\\" + c.name));
        S().listings.clear();
        if (c.folder) S().listings[temp] = {{c.folder, true, {}}, {L"Excel9.0", false, {}}};  // a file, not a folder
        S().listings[temp + L"\\Excel9.0"] = {{L"StandIn.exd", false, {0, before}}};
        S().listings[folder] = {{c.name, false, {0, c.written}}};
        const auto caches = *Diagnose(Readable, Control64, View64).officeCache;
        ASSERT_EQ(caches.size(), c.found ? 1u : 0u);
        if (!c.found) continue;
        EXPECT_EQ(caches[0].path, folder + L"\\" + c.name);
        EXPECT_EQ(caches[0].older, c.older);
    }
    EXPECT_FALSE(Diagnose(NoLibrary, Control64, View64).officeCache.has_value());
    EXPECT_EQ(Diagnose(Readable, Control64, View64).account, L"TESTPC\\tester");
}

TEST_F(Registration, OfficeIsFoundWithItsBitnessAndTheOtherBitnessNamed) {
    using View = platform::registry::View;
    const struct {
        View view;
        const wchar_t *key, *name, *value;  // under HKLM\SOFTWARE\Microsoft\Office
        std::vector<std::wstring> found;    // version, bitness, source
        bool windows64 = true;
    } cases[] = {
        {View::Bits64, L"ClickToRun\\Configuration", L"Platform", L"x64", {L"16.0", L"x64", L"Click-to-Run"}},
        {View::Bits64, L"ClickToRun\\Configuration", L"Platform", L"X64", {L"16.0", L"x64", L"Click-to-Run"}},
        {View::Bits32, L"14.0\\Outlook", L"Bitness", L"x86", {L"14.0", L"x86", L"Outlook"}},
        {View::Bits64, L"15.0\\Excel\\InstallRoot", L"Path", L"C:\\Office", {L"15.0", L"x64", L"InstallRoot"}},
        {View::Bits32, L"12.0\\Word\\InstallRoot", L"Path", L"C:\\Office", {L"12.0", L"x86", L"InstallRoot"}, false},
        // No version of Office has such a number: no key of one.
        {View::Bits64, L"99999999999.0\\Excel\\InstallRoot", L"Path", L"C:\\Office", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.key)));
        S().registry = {};
        (c.view == View::Bits64
             ? S().registry.values64
             : S().registry.values)[Hive::LocalMachine][L"SOFTWARE\\Microsoft\\Office\\" + std::wstring(c.key)]
                                   [c.name] = {ValueKind::Text, c.value};
        const auto view = c.windows64 ? View64 : View32;
        const auto found = modDiagnosis::ReadRegistry(Readable, {Control64, view.systemFolder, L"32", true}, view);
        std::vector<std::wstring> installed;
        for (const auto& o : found.office) installed.insert(installed.end(), {o.version, o.bitness, o.source});
        EXPECT_EQ(installed, c.found);
        EXPECT_EQ(found.officeOfOtherBitness.size(), !c.found.empty() && c.found[1] == L"x64" ? 1u : 0u);
    }
}

TEST_F(Registration, ItLoadsOnlyRegisteredWithItsDependenciesAndOfficeIsAWarningBeside) {
    // The file's imports and delay-loaded DLLs, the Office installed, and what follows.
    const struct {
        std::vector<std::string> dlls, delayed;
        const wchar_t* office;  // Click-to-Run's platform; empty: none
        bool loads;
        const wchar_t* hintStart;  // empty: none
    } cases[] = {
        {{}, {}, L"", true, L""},
        {{"gone.dll"}, {}, L"", false, L"gone.dll, which MsComCtl.OCX needs, is not found"},
        {{}, {"late.dll"}, L"", true, L"late.dll, which MsComCtl.OCX needs"},
        {{}, {}, L"x86", true, L""},
        // A program of its bitness loads it; 64-bit Office's VBA cannot.
        {{}, {}, L"x64", true, L"64-bit Office 16.0 cannot load this 32-bit control: forms that use it need 32-bit Office."},
        {{}, {"late.dll"}, L"x64", true, L"late.dll, which MsComCtl.OCX needs"},
        {{"gone.dll"}, {}, L"x64", false, L"gone.dll, which MsComCtl.OCX needs, is not found"},
    };
    for (const auto& c : cases) {
        S().registry = {};
        RegisterAll(Control64);
        S().files[Control64].bytes = test::ImageImporting(c.dlls, c.delayed);
        if (*c.office) {
            S().registry.values64[Hive::LocalMachine][L"SOFTWARE\\Microsoft\\Office\\ClickToRun\\Configuration"]
                                 [L"Platform"] = {ValueKind::Text, c.office};
        }
        const auto found = Diagnose(Readable, Control64, View64);
        EXPECT_EQ(found.loads, c.loads) << testing::PrintToString(found.hint);
        EXPECT_EQ(found.hint.value_or(L"").rfind(c.hintStart, 0), 0u) << testing::PrintToString(found.hint);
        EXPECT_EQ(found.hint.has_value(), *c.hintStart != L'\0') << testing::PrintToString(found.hint);
        ASSERT_EQ(found.office.size(), *c.office ? 1u : 0u);
        if (*c.office) {
            EXPECT_EQ(modDiagnosis::OfficeLoads(found.office[0], found.subject), c.office == std::wstring(L"x86"));
        }
    }
}

TEST_F(Registration, AnotherControlWithoutATypeLibraryLoadsAsItsDependenciesSay) {
    S().files[AppCopy].bytes = test::ImageImporting({"gone.dll"}, {});
    EXPECT_EQ(Diagnose(NoLibrary, AppCopy, View64, false).loads, false);
    S().files[AppCopy].bytes = test::ImageImporting({}, {});
    EXPECT_EQ(Diagnose(NoLibrary, AppCopy, View64, false).loads, true);
    EXPECT_EQ(Diagnose(NoLibrary, Control64, View64, true).loads, false) << "the one build has a type library";
}

TEST_F(Registration, DependenciesNotReadInTimeLeaveTheRegistrationAndWhetherItLoadsUnknown) {
    RegisterAll(Control64);
    auto found = modDiagnosis::ReadRegistry(Readable, {Control64, View64.systemFolder, L"32", true}, View64);
    EXPECT_FALSE(found.loads.has_value()) << "pending";
    modDiagnosis::DependenciesNotReadInTime(found, 30);
    EXPECT_EQ(found.registration.state, State::Registered);
    EXPECT_FALSE(found.dependencies.has_value());
    EXPECT_EQ(found.dependenciesReason, L"reading them did not finish within 30 seconds");
    EXPECT_FALSE(found.loads.has_value());
    EXPECT_EQ(modDiagnosis::NotLoadingCause(found), L"");
}

TEST_F(Registration, TheFirstCauseAndTheStepThatMendsIt) {
    using modDependencies::Problem;
    RegisterAll(Control64);
    const auto dependency = [](const wchar_t* name, Problem problem, const wchar_t* path = nullptr) {
        modDependencies::Dependency d;
        d.name = name;
        d.neededBy = L"MsComCtl.OCX";
        d.problem = problem;
        if (path) d.path = path;
        return d;
    };
    auto missingExport = dependency(L"KERNEL32.dll", Problem::MissingExport, L"C:\\Windows\\SysWoW64\\KERNEL32.dll");
    missingExport.exportName = L"GetTickCount64";
    auto olderBuild = dependency(L"lib.dll", Problem::MissingExport, L"C:\\App\\lib.dll");
    olderBuild.exportName = L"#12";
    auto assembly = dependency(L"Microsoft.VC90.CRT", Problem::MissingAssembly);
    assembly.assembly =
        modManifest::AssemblyIdentity{L"Microsoft.VC90.CRT", L"9.0.21022.8", L"x86", L"1fc8b3b9a1e18e3b", L""};
    auto held = dependency(L"lib.dll", Problem::Unreadable, L"C:\\App\\lib.dll");
    held.error = static_cast<std::int32_t>(0x80070020u);
    auto self = dependency(L"MsComCtl.OCX", Problem::Damaged, Control64.c_str());
    self.neededBy.clear();
    self.damage = L"its import table runs out of the file";
    auto late = dependency(L"late.dll", Problem::Missing);
    late.delayLoaded = true;
    // Each hint of a cause ends "; until then the control does not load".
    const struct {
        modDependencies::Dependency dependency;
        const wchar_t* cause;  // empty: it loads
        const wchar_t* hint;
    } cases[] = {
        {dependency(L"msvcp140.dll", Problem::Missing), L"msvcp140.dll is not found",
         L"msvcp140.dll, which MsComCtl.OCX needs, is not found: install the Visual C++ 2015-2022 Redistributable (x86)"},
        {dependency(L"api-ms-win-crt-runtime-l1-1-0.dll", Problem::Missing),
         L"api-ms-win-crt-runtime-l1-1-0.dll is not found",
         L"api-ms-win-crt-runtime-l1-1-0.dll, which MsComCtl.OCX needs, is not found: install the Universal C Runtime "
         L"(Windows update KB2999226; the Visual C++ 2015-2022 Redistributable brings it too)"},
        {dependency(L"api-ms-win-core-synch-l1-2-0.dll", Problem::Missing),
         L"api-ms-win-core-synch-l1-2-0.dll is not found",
         L"api-ms-win-core-synch-l1-2-0.dll, which MsComCtl.OCX needs, is not found: this Windows does not provide it: "
         L"MsComCtl.OCX needs a later Windows"},
        {dependency(L"x.dll", Problem::OtherProcessor, L"C:\\Windows\\System32\\x.dll"),
         L"x.dll is built for the other processor",
         L"x.dll, which MsComCtl.OCX needs, is built for the other processor (C:\\Windows\\System32\\x.dll): install the "
         L"32-bit build of what provides it"},
        {dependency(L"x.dll", Problem::OtherProcessor, L"C:\\App\\x.dll"), L"x.dll is built for the other processor",
         L"x.dll, which MsComCtl.OCX needs, is built for the other processor (C:\\App\\x.dll): put its 32-bit build in "
         L"its place"},
        {missingExport, L"KERNEL32.dll does not export GetTickCount64",
         L"KERNEL32.dll (C:\\Windows\\SysWoW64\\KERNEL32.dll) does not export GetTickCount64, which MsComCtl.OCX needs: "
         L"MsComCtl.OCX needs a later Windows, or an update of this one"},
        {olderBuild, L"lib.dll does not export #12",
         L"lib.dll (C:\\App\\lib.dll) does not export #12, which MsComCtl.OCX needs: it is another build than "
         L"MsComCtl.OCX was made for; install the one it needs (the program's own installer)"},
        {assembly, L"the side-by-side assembly Microsoft.VC90.CRT 9.0.21022.8 (x86) is not installed",
         L"The side-by-side assembly Microsoft.VC90.CRT 9.0.21022.8 (x86), which MsComCtl.OCX needs, is not installed: "
         L"install the Visual C++ 2008 Redistributable (x86)"},
        {held, L"lib.dll could not be read",
         L"lib.dll (C:\\App\\lib.dll) could not be read (error 0x80070020): close what holds it, or let this account "
         L"read it, then run Velmora again"},
        {self, L"it is damaged",
         L"This file is damaged (its import table runs out of the file): put an intact copy in its place (reinstall "
         L"what provides it)"},
        {late, L"",
         L"late.dll, which MsComCtl.OCX needs, is not found: install what provides it (the program's own installer, or "
         L"the runtime it names); only the parts of the control that use it fail until then"},
    };
    for (const auto& c : cases) {
        auto found = modDiagnosis::ReadRegistry(Readable, {Control64, View64.systemFolder, L"32", true}, View64);
        modDiagnosis::AddDependencies(found, {{c.dependency}, std::nullopt});
        EXPECT_EQ(modDiagnosis::NotLoadingCause(found), c.cause);
        EXPECT_EQ(found.loads, *c.cause == L'\0');
        EXPECT_EQ(found.hint, c.hint + std::wstring(*c.cause ? L"; until then the control does not load" : L""));
    }
}

TEST(OfficeCache, AFileArrivedAtTheLatestOfItsThreeTimes) {
    const auto old = test::FileTime(2019, 3, 14), now = test::FileTime(2024, 3, 1);
    EXPECT_EQ(modOfficeCache::ArrivalOf({old, old, now}), now) << "written over the old file, or tunnelled";
    EXPECT_EQ(modOfficeCache::ArrivalOf({now, old, 0}), now) << "a fresh copy, its change time not read";
}

TEST(OfficeCache, TimesAreWrittenInUniversalTime) {
    EXPECT_EQ(modOfficeCache::UtcText(0), L"1601-01-01T00:00:00Z");
    EXPECT_EQ(modOfficeCache::UtcText(test::FileTime(2024, 2, 29) + 86399ull * 10000000), L"2024-02-29T23:59:59Z");
    EXPECT_EQ(modOfficeCache::UtcText(test::FileTime(2100, 3, 1)), L"2100-03-01T00:00:00Z");
}

}  // namespace
