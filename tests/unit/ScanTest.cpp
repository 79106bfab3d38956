// The scan of the machine over fakes of the registry and the file system: which
// registrations are read, how each value names a file, how files are grouped and
// judged, and the counts, the order and the exit code's question.
#include <map>

#include "ControlImage.h"
#include "TestSupport.h"
#include "loadcheck/modRegisteredFiles.h"
#include "loadcheck/modScan.h"
#include "platform/LittleEndian.h"

namespace {

using fake::S;
using modRegisteredFiles::Kind;
using modScan::Status;
using platform::registry::Hive;
using platform::registry::ValueKind;
using test::BuildPe;

constexpr std::uint16_t X86 = 0x14C, X64 = 0x8664;
const modProgramView::WindowsVersion Windows10{10, 0, 19045}, Vista{6, 0, 6002};
const std::wstring Classes = L"Software\\Classes\\";

// A registry value in a hive's classes, in the 32-bit view or (`bits64`) the 64-bit one.
void Set(Hive hive, bool bits64, const std::wstring& key, ValueKind kind, const std::wstring& text) {
    (bits64 ? S().registry.values64 : S().registry.values)[hive][Classes + key][L""] = {kind, text};
}
void Class(const std::wstring& id, const std::wstring& path, bool bits64 = true, Hive hive = Hive::LocalMachine,
           ValueKind kind = ValueKind::Text) {
    Set(hive, bits64, L"CLSID\\{" + id + L"}\\InprocServer32", kind, path);
}

std::vector<std::uint8_t> Library(modTypeLibrary::SysKind sysKind) {
    auto library = test::StandInLibrary();
    const auto flags = platform::ReadLittleEndian<std::uint32_t>(&library[0x14]);
    test::Put32(library, 0x14, (flags & ~0xFu) | static_cast<std::uint32_t>(sysKind));
    return library;
}

class Scan : public test::VelmoraTest {
protected:
    void SetUp() override {
        VelmoraTest::SetUp();
        S().registry.values[Hive::LocalMachine][L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\KnownDLLs"]
                           [L"kernel32"] = {ValueKind::Text, L"kernel32.dll"};
        fake::AddFile(L"C:\\Windows\\System32\\kernel32.dll", BuildPe({X64, {}, {"CreateFileW"}}));
        fake::AddFile(L"C:\\Windows\\SysWOW64\\kernel32.dll", BuildPe({X86, {}, {"CreateFileW"}}));
    }

    static modScan::Machine ThisMachine(const modProgramView::WindowsVersion& version = Windows10) {
        return {true, X64, version, L"C:\\Windows", L"TESTPC\\tester"};
    }

    // The loader's searches of a 32-bit and a 64-bit program on this Windows.
    struct Searches {
        modProgramView::ProgramView view32 = modProgramView::ViewFor(X86, true, X64, Windows10, L"C:\\Windows");
        modProgramView::ProgramView view64 = modProgramView::ViewFor(X64, true, X64, Windows10, L"C:\\Windows");
        modDllSearch::Search search32{modDllSearch::MachineOrder(view32), view32};
        modDllSearch::Search search64{modDllSearch::MachineOrder(view64), view64};
        modRegisteredFiles::Searches Get() { return {search32, search64, view32, view64}; }
    };

    static std::vector<modScan::ScannedFile> ScanAll() {
        const auto machine = ThisMachine();
        modScan::Scanner scanner(machine, modRegisteredFiles::ReadRegistrations(true, machine.version));
        std::vector<modScan::ScannedFile> files;
        for (std::size_t at = 0; at < scanner.Size(); ++at) files.push_back(scanner.Judge(at));
        return files;
    }
};

TEST_F(Scan, EveryClassAndTypeLibraryOfBothViewsAndBothHivesIsRead) {
    Class(L"1", L"C:\\A\\machine64.dll");
    Class(L"2", L"C:\\A\\machine32.dll", false);
    Class(L"3", L"C:\\A\\user64.dll", true, Hive::CurrentUser);
    Class(L"4", L"C:\\A\\user32.dll", false, Hive::CurrentUser);
    Set(Hive::LocalMachine, true, L"CLSID\\{5}\\TreatAs", ValueKind::Text, L"{6}");  // a loop of TreatAs: not followed
    Set(Hive::LocalMachine, true, L"CLSID\\{6}\\TreatAs", ValueKind::Text, L"{5}");
    Set(Hive::LocalMachine, true, L"CLSID\\{7}\\InprocServer32", ValueKind::Missing, L"");  // no default value
    for (const auto* key : {L"0\\win32", L"409\\win64", L"FLAGS", L"HELPDIR"}) {
        Set(Hive::LocalMachine, true, L"TypeLib\\{L}\\1.0\\" + std::wstring(key), ValueKind::Text, L"C:\\A\\l.tlb");
    }
    const auto registrations = modRegisteredFiles::ReadRegistrations(true, Windows10);
    std::vector<std::wstring> read;
    for (const auto& r : registrations) {
        read.push_back(std::wstring(r.kind == Kind::Class ? L"class " : L"library ") +
                       (r.hive == Hive::CurrentUser ? L"user " : L"machine ") + (r.bits64 ? L"64 " : L"32 ") + r.key +
                       L" " + r.value.text);
    }
    EXPECT_EQ(read, (std::vector<std::wstring>{
                        L"class machine 32 CLSID\\{2} C:\\A\\machine32.dll",
                        L"class machine 64 CLSID\\{1} C:\\A\\machine64.dll",
                        L"library machine 32 TypeLib\\{L}\\1.0 C:\\A\\l.tlb",
                        L"library machine 64 TypeLib\\{L}\\1.0 C:\\A\\l.tlb",
                        L"class user 32 CLSID\\{4} C:\\A\\user32.dll",
                        L"class user 64 CLSID\\{3} C:\\A\\user64.dll",
                    }));
    // Type libraries are one key for both views from Windows 7 on: enumerated once; before it, in each view.
    const auto typeLibraryWalks = [] {
        return std::count(S().registry.reads.begin(), S().registry.reads.end(), Classes + L"TypeLib");
    };
    EXPECT_EQ(typeLibraryWalks(), 2);  // one a hive
    S().registry.reads.clear();
    modRegisteredFiles::ReadRegistrations(true, Vista);
    EXPECT_EQ(typeLibraryWalks(), 4);
}

TEST_F(Scan, EachValueNamesItsFileAsAProgramOfItsBitnessFindsIt) {
    S().environment = {{L"ProgramFiles", L"C:\\Program Files"}, {L"ProgramFiles(x86)", L"C:\\Program Files (x86)"}};
    fake::AddFile(L"C:\\Windows\\SysWOW64\\ole32.dll", BuildPe({X86}));
    Searches searches;
    const std::wstring tooLong(32768, L'a');
    const struct {
        Kind kind;
        bool bits64;
        ValueKind valueKind;
        std::wstring text, path, fault;
        std::uint16_t resource;
    } cases[] = {
        {Kind::Class, false, ValueKind::Text, L"C:\\Windows\\system32\\x.dll", L"C:\\Windows\\SysWOW64\\x.dll", L"", 0},
        {Kind::Class, true, ValueKind::Text, L"C:\\Windows\\system32\\x.dll", L"C:\\Windows\\system32\\x.dll", L"", 0},
        {Kind::Class, false, ValueKind::ExpandableText, L"%ProgramFiles%\\A\\x.dll",
         L"C:\\Program Files (x86)\\A\\x.dll", L"", 0},
        {Kind::Class, false, ValueKind::Text, L"%ProgramFiles%\\A\\x.dll", L"%ProgramFiles%\\A\\x.dll",
         L"it is not a full path", 0},  // REG_SZ is not expanded
        {Kind::Class, false, ValueKind::Text, L" \"C:\\A\\x.dll\" ", L"C:\\A\\x.dll", L"", 0},
        {Kind::Class, false, ValueKind::Text, L"C:/A/x.dll", L"C:\\A\\x.dll", L"", 0},
        {Kind::Class, false, ValueKind::Text, L"\\\\?\\C:\\A\\x.dll", L"C:\\A\\x.dll", L"", 0},
        {Kind::Class, false, ValueKind::Text, L"\\\\?\\UNC\\server\\share\\x.dll", L"\\\\server\\share\\x.dll", L"", 0},
        {Kind::Class, false, ValueKind::Text, L"OLE32", L"C:\\Windows\\SysWoW64\\OLE32.dll", L"", 0},  // as the loader
        {Kind::Class, false, ValueKind::Text, L"kernel32.dll", L"C:\\Windows\\SysWoW64\\kernel32.dll", L"", 0},
        {Kind::Class, true, ValueKind::Text, L"nowhere.dll", L"nowhere.dll", L"", 0},
        {Kind::TypeLibrary, false, ValueKind::Text, L"C:\\A\\x.dll\\2", L"C:\\A\\x.dll", L"", 2},
        {Kind::Class, false, ValueKind::Text, L"C:\\A\\2", L"C:\\A\\2", L"", 0},  // a class's file named "2"
        {Kind::TypeLibrary, false, ValueKind::Text, L"C:\\A\\x.dll\\99999", L"C:\\A\\x.dll\\99999",
         L"its resource number is past any resource's", 0},
        {Kind::Class, false, ValueKind::Other, L"", L"", L"its value is not text", 0},
        {Kind::Class, false, ValueKind::Text, L"  ", L"  ", L"it names no file", 0},
        {Kind::Class, false, ValueKind::Text, L"\\\\?\\", L"\\\\?\\", L"it names no file", 0},  // a prefix alone
        {Kind::Class, false, ValueKind::Text, L"C:\\A\\CON.dll", L"C:\\A\\CON.dll", L"it names a device", 0},
        {Kind::Class, false, ValueKind::Text, L"\\\\.\\PhysicalDrive0", L"\\\\.\\PhysicalDrive0", L"it names a device",
         0},
        {Kind::Class, false, ValueKind::Text, L"A\\x.dll", L"A\\x.dll", L"it is not a full path", 0},
        {Kind::Class, false, ValueKind::Text, tooLong, tooLong.substr(0, 260), L"it is longer than any path", 0},
    };
    for (const auto& c : cases) {
        const modRegisteredFiles::Registration registration{
            c.kind, Hive::LocalMachine, c.bits64, L"CLSID\\{1}", {c.valueKind, c.text}};
        const auto named = modRegisteredFiles::Resolve(registration, searches.Get());
        EXPECT_EQ(std::make_tuple(named.path, named.fault, named.resource),
                  std::make_tuple(c.path, c.fault, c.resource))
            << testing::PrintToString(c.text.substr(0, 60));
    }
}

TEST_F(Scan, EachFileJudgedAsOneControlIs) {
    fake::AddFile(L"C:\\App\\Good64.dll", BuildPe({X64, {{"kernel32.dll", {"CreateFileW"}}}}));
    Class(L"01", L"C:\\App\\Good64.dll");
    Class(L"02", L"C:\\APP\\good64.dll");
    fake::AddFile(L"C:\\Windows\\SysWOW64\\Old.dll", BuildPe({X86}));
    Class(L"03", L"C:\\Windows\\System32\\Old.dll", false);
    Class(L"05", L"C:\\Gone\\x.dll");
    Class(L"06", L"C:\\App\\Lost.dll");
    Class(L"07", L"C:\\App");
    fake::AddFile(L"C:\\App\\Wide.dll", BuildPe({X64}));
    Class(L"08", L"C:\\App\\Wide.dll", false);
    fake::AddFile(L"C:\\App\\Needs.dll", BuildPe({X64, {{"missing.dll", {"F"}}}}));
    Class(L"09", L"C:\\App\\Needs.dll");
    fake::AddFile(L"C:\\App\\Junk.dll", {'h', 'e', 'l', 'l', 'o'});
    Class(L"0A", L"C:\\App\\Junk.dll");
    fake::AddFile(L"C:\\User\\Mine.dll", BuildPe({X64}));
    Class(L"0B", L"C:\\User\\Mine.dll", true, Hive::CurrentUser);
    fake::AddFile(L"C:\\App\\Lib.tlb", Library(modTypeLibrary::SysKind::Win32));
    Set(Hive::LocalMachine, true, L"TypeLib\\{L1}\\1.0\\0\\win32", ValueKind::Text, L"C:\\App\\Lib.tlb");
    fake::AddFile(L"C:\\App\\Lib32.tlb", Library(modTypeLibrary::SysKind::Win32));
    Set(Hive::LocalMachine, true, L"TypeLib\\{L2}\\1.0\\0\\win64", ValueKind::Text, L"C:\\App\\Lib32.tlb");
    fake::AddFile(L"C:\\App\\WithLib.dll", test::ImageWith(test::StandInLibrary()));
    Set(Hive::LocalMachine, true, L"TypeLib\\{L3}\\2.0\\0\\win32", ValueKind::Text, L"C:\\App\\WithLib.dll\\1");
    Class(L"0E", L"c:\\app\\WITHLIB.dll", false);  // one file, as a class and a type library
    Class(L"0C", L"", true, Hive::LocalMachine, ValueKind::Other);
    Class(L"0F", L"", true, Hive::LocalMachine, ValueKind::Other);  // each faulty value its own
    // A network folder whose first read fails is not read again; its files come last.
    S().networkDrives = L"N";
    S().fileFailure = static_cast<std::int32_t>(0x80070035u);  // ERROR_BAD_NETPATH
    for (const auto* name : {L"N:\\Share\\a.dll", L"N:\\Share\\b.dll"}) {
        fake::AddFile(name, BuildPe({X64}));
        S().files[name].openable = false;
    }
    Class(L"00", L"N:\\Share\\a.dll");
    Class(L"0D", L"N:\\Share\\b.dll");

    const struct {
        const wchar_t* path;
        Status status;
        const wchar_t *cause, *bitness, *views;
        std::size_t classes, typeLibraries;
    } expected[] = {
        {L"C:\\Windows\\SysWOW64\\Old.dll", Status::Loads, L"", L"32", L"32", 1, 0},
        {L"C:\\App\\Wide.dll", Status::OtherProcessor,
         L"it is built for 64-bit programs, and registered for 32-bit programs", L"64", L"32", 1, 0},
        {L"c:\\app\\WITHLIB.dll", Status::Loads, L"", L"32", L"32", 1, 1},
        {L"C:\\App\\Good64.dll", Status::Loads, L"", L"64", L"64", 2, 0},
        {L"C:\\Gone\\x.dll", Status::Missing, L"it is not there, nor its folder", L"", L"64", 1, 0},
        {L"C:\\App\\Lost.dll", Status::WillNotLoad, L"it is not there, though its folder is", L"", L"64", 1, 0},
        {L"C:\\App", Status::WillNotLoad, L"its registered path names a folder", L"", L"64", 1, 0},
        {L"C:\\App\\Needs.dll", Status::WillNotLoad, L"missing.dll is not found", L"64", L"64", 1, 0},
        {L"C:\\App\\Junk.dll", Status::Damaged, L"it is not a Windows program file", L"", L"64", 1, 0},
        {L"", Status::WillNotLoad, L"its registry entry is wrong: its value is not text", L"", L"64", 1, 0},
        {L"", Status::WillNotLoad, L"its registry entry is wrong: its value is not text", L"", L"64", 1, 0},
        {L"C:\\App\\Lib.tlb", Status::Loads, L"", L"32", L"32", 0, 1},
        {L"C:\\App\\Lib32.tlb", Status::OtherProcessor,
         L"its type library is not built for win64, where it is registered", L"", L"64", 0, 1},
        {L"C:\\User\\Mine.dll", Status::Loads, L"", L"64", L"64", 1, 0},
        {L"N:\\Share\\a.dll", Status::NotRead, L"its network folder did not answer", L"", L"64", 1, 0},
        {L"N:\\Share\\b.dll", Status::NotRead, L"its network folder did not answer before", L"", L"64", 1, 0},
    };
    const auto files = ScanAll();
    ASSERT_EQ(files.size(), std::size(expected));
    for (std::size_t i = 0; i < files.size(); ++i) {
        const auto& file = files[i];
        std::wstring views;
        for (const auto& view : file.views) views += view;
        const auto& e = expected[i];
        EXPECT_EQ(std::make_tuple(file.path, modScan::StatusText(file.status), file.cause, file.bitness, views,
                                  file.classes, file.typeLibraries),
                  std::make_tuple(std::wstring(e.path), modScan::StatusText(e.status), std::wstring(e.cause),
                                  std::wstring(e.bitness), std::wstring(e.views), e.classes, e.typeLibraries))
            << i;
        // Every file that needs attention has a next step; a file that loads, whole, none.
        EXPECT_EQ(file.hint.has_value(), file.status != Status::Loads) << i;
        EXPECT_EQ(file.loads,
                  file.status == Status::NotRead ? std::nullopt : std::optional<bool>(file.status == Status::Loads))
            << i;
    }
}

TEST_F(Scan, TheRemovalsReachEachEntryInItsViewAndHive) {
    Class(L"1", L"C:\\Gone\\x.dll");
    Class(L"2", L"C:\\Gone\\x.dll", false);
    Class(L"3", L"C:\\Gone\\x.dll", true, Hive::CurrentUser);
    Set(Hive::LocalMachine, true, L"TypeLib\\{L}\\1.0\\0\\win64", ValueKind::Text, L"C:\\Gone\\x.dll");
    Set(Hive::LocalMachine, true, L"TypeLib\\{L}\\1.0\\409\\win64", ValueKind::Text, L"C:\\Gone\\x.dll");
    fake::AddFile(L"C:\\App\\Wide.dll", BuildPe({X64}));
    Class(L"4", L"C:\\App\\Wide.dll", false);
    Class(L"5", L"C:\\App\\Wide.dll");
    const auto files = ScanAll();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(*files[0].hint,
              L"A program that is gone left this: if no program needs it, as an administrator, run "
              L"reg delete \"HKLM\\Software\\Classes\\CLSID\\{2}\" /f /reg:32 & "
              L"reg delete \"HKLM\\Software\\Classes\\CLSID\\{1}\" /f /reg:64 & "
              L"reg delete \"HKLM\\Software\\Classes\\TypeLib\\{L}\\1.0\" /f; "
              L"as TESTPC\\tester, run reg delete \"HKCU\\Software\\Classes\\CLSID\\{3}\" /f /reg:64");
    // Only the entry of the view that cannot load it goes.
    EXPECT_EQ(*files[1].hint,
              L"It is built for 64-bit programs, and 32-bit programs cannot load it: as an administrator, run "
              L"reg delete \"HKLM\\Software\\Classes\\CLSID\\{4}\" /f /reg:32; then, if 32-bit programs need it, "
              L"install its build for them");
}

// A control against its own type library: each entry the registry sends elsewhere (the
// user's own winning over the machine's) makes it partly registered; a fact, no step.
TEST_F(Scan, ItsRegistrationAgainstItsOwnTypeLibrary) {
    const std::wstring library = L"TypeLib\\" + test::ControlLibrary + L"\\2.2\\0\\win32";
    const std::wstring otherClass = L"CLSID\\" + test::ControlClasses[1] + L"\\InprocServer32";
    const struct {
        Hive hive;
        std::wstring key;  // sent to C:\Old\Ctl.ocx
        const wchar_t* registration;
    } cases[] = {{Hive::CurrentUser, L"CLSID\\{00000000-0000-0000-0000-0000000000AA}\\InprocServer32", L"registered"},
                 {Hive::CurrentUser, otherClass, L"partly registered"},
                 {Hive::CurrentUser, library, L"partly registered"}};
    for (const auto& c : cases) {
        SetUp();
        fake::AddFile(L"C:\\App\\Ctl.ocx", test::ImageWith(test::StandInLibrary()));
        for (const auto& id : test::ControlClasses) {
            Set(Hive::LocalMachine, false, L"CLSID\\" + id + L"\\InprocServer32", ValueKind::Text, L"C:\\App\\Ctl.ocx");
        }
        Set(Hive::LocalMachine, true, library, ValueKind::Text, L"C:\\App\\Ctl.ocx");
        Set(c.hive, c.key == library, c.key, ValueKind::Text, L"C:\\Old\\Ctl.ocx");
        const auto files = ScanAll();
        const auto control = std::find_if(files.begin(), files.end(), [](const auto& f) { return f.classes == 2; });
        ASSERT_NE(control, files.end());
        EXPECT_EQ(std::make_tuple(control->registration, control->status, control->hint.has_value()),
                  std::make_tuple(std::optional<std::wstring>(c.registration), Status::Loads, false))
            << testing::PrintToString(c.key);
    }
}

modScan::ScannedFile File(const wchar_t* path, Status status) {
    modScan::ScannedFile file;
    file.path = path;
    file.status = status;
    return file;
}

TEST(ScanResult, CountsOrderAndTheExitCodesQuestion) {
    modScan::Scan scan;
    scan.complete = true;
    scan.files = {File(L"C:\\b.dll", Status::Loads),       File(L"C:\\z.dll", Status::Missing),
                  File(L"C:\\y.dll", Status::Damaged),     File(L"C:\\x.dll", Status::WillNotLoad),
                  File(L"C:\\a.dll", Status::WillNotLoad), File(L"C:\\w.dll", Status::OtherProcessor),
                  File(L"C:\\v.dll", Status::NotRead)};
    std::vector<std::wstring> order;
    for (const auto* file : modScan::NeedingAttention(scan)) order.push_back(file->path);
    EXPECT_EQ(order, (std::vector<std::wstring>{L"C:\\a.dll", L"C:\\x.dll", L"C:\\z.dll", L"C:\\w.dll", L"C:\\y.dll",
                                                L"C:\\v.dll"}));
    EXPECT_EQ(modScan::CountsText(modScan::CountsOf(scan)),
              L"7 registered files: 1 load, 1 missing, 2 will not load, 3 other");
    modScan::Counts many;
    many = {1873, 1812, 41, 12, 8};
    EXPECT_EQ(modScan::CountsText(many), L"1,873 registered files: 1,812 load, 41 missing, 12 will not load, 8 other");
    EXPECT_EQ(modScan::CountsText({1, 1, 0, 0, 0}), L"1 registered file: 1 load, 0 missing, 0 will not load, 0 other");

    const struct {
        std::vector<Status> statuses;
        bool complete, allLoad;
    } answers[] = {
        {{Status::Loads, Status::Missing}, true, true},  // a leftover is no file that is there
        {{}, true, true},
        {{Status::Loads}, false, false},  // ended early: not known
        {{Status::Loads, Status::NotRead}, true, false},
        {{Status::Loads, Status::OtherProcessor}, true, false},
        {{Status::Damaged}, true, false},
        {{Status::WillNotLoad}, true, false},
    };
    for (const auto& a : answers) {
        modScan::Scan each;
        each.complete = a.complete;
        for (const auto status : a.statuses) each.files.push_back(File(L"C:\\x.dll", status));
        EXPECT_EQ(modScan::AllLoad(each), a.allLoad) << each.files.size() << " " << a.complete;
    }
}

}  // namespace
