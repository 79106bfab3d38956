// The registration check's platform calls against the real registry, file system
// and type-library loader: the 32-bit view of the registry, stored text in every
// shape, file names as Windows treats them, and our reading of a file's type library
// held against the system loader's.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <list>
#include <optional>
#include <string>
#include <vector>

#include "VelmoraControlFiles.h"
#include "filecheck/modPeFile.h"
#include "filecheck/modTypeLibrary.h"
#include "loadcheck/modDiagnosis.h"
#include "loadcheck/modRegisteredFiles.h"
#include "osinfo/modVersionOS_v4.h"
#include "Win32TestSupport.h"
#include "platform/Account.h"
#include "platform/FileNames.h"
#include "platform/Registry.h"
#include "platform/SystemInfo.h"
#include "platform/win32/Ownership.h"

namespace {

namespace registry = platform::registry;
namespace filenames = platform::filenames;
using registry::Hive;
using registry::ValueKind;

// A key of the test's own under Software\Classes of a hive (the machine's where not
// named), in one registry view, deleted again when the test ends.
class TestKey {
public:
    TestKey(const std::wstring& path, REGSAM view, HKEY root = HKEY_LOCAL_MACHINE)
        : path_(L"Software\\Classes\\" + path), view_(view), root_(root) {
        RegCreateKeyExW(root_, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view_, nullptr, &key_, nullptr);
    }
    ~TestKey() {
        RegCloseKey(key_);
        // The leaf only: its parents may be shared.
        using DeleteKeyExFn = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);
        const auto deleteKeyEx = reinterpret_cast<DeleteKeyExFn>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"advapi32.dll"), "RegDeleteKeyExW")));
        if (deleteKeyEx) deleteKeyEx(root_, path_.c_str(), view_, 0);
    }
    TestKey(const TestKey&) = delete;
    TestKey& operator=(const TestKey&) = delete;
    TestKey(TestKey&&) = delete;
    TestKey& operator=(TestKey&&) = delete;

    // Stores raw bytes, so that any shape of stored text can be made.
    void Set(const wchar_t* name, DWORD type, const void* bytes, DWORD size) {
        ASSERT_EQ(RegSetValueExW(key_, name, 0, type, static_cast<const BYTE*>(bytes), size), ERROR_SUCCESS);
    }
    void SetText(const wchar_t* name, DWORD type, const std::wstring& text) {
        Set(name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
    std::wstring Path() const { return path_; }

private:
    std::wstring path_;
    REGSAM view_;
    HKEY root_;
    HKEY key_ = nullptr;
};

bool Windows64() {
    if (sizeof(void*) == 8) return true;
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

TEST(Registry, ValuesInEveryShape) {
    TestKey key(L"VelmoraTest\\Shapes", KEY_WOW64_32KEY);
    key.SetText(nullptr, REG_SZ, L"C:\\Windows\\SysWOW64\\x.ocx");
    key.SetText(L"Expandable", REG_EXPAND_SZ, L"%SystemRoot%\\x.ocx");
    const DWORD number = 7;
    key.Set(L"Number", REG_DWORD, &number, sizeof number);
    key.Set(L"Unended", REG_SZ, L"abc", 3 * sizeof(wchar_t));      // no NUL stored
    key.Set(L"OddSize", REG_SZ, L"abc", 3 * sizeof(wchar_t) + 1);  // half a character more
    key.Set(L"Inner", REG_SZ, L"ab\0cd", 6 * sizeof(wchar_t));     // text after a NUL
    key.SetText(L"Empty", REG_SZ, L"");
    key.SetText(L"Long", REG_SZ, std::wstring(40000, L'x'));

    struct Case {
        const wchar_t* name;
        ValueKind kind;
        std::wstring text;
    };
    const Case cases[] = {
        {L"", ValueKind::Text, L"C:\\Windows\\SysWOW64\\x.ocx"},
        {L"Expandable", ValueKind::ExpandableText, L"%SystemRoot%\\x.ocx"},
        {L"Number", ValueKind::Other, L""},
        {L"Unended", ValueKind::Text, L"abc"},
        {L"OddSize", ValueKind::Text, L"abc"},
        {L"Inner", ValueKind::Text, L"ab"},
        {L"Empty", ValueKind::Text, L""},
        {L"Long", ValueKind::Text, std::wstring(40000, L'x')},
        {L"Missing", ValueKind::Missing, L""},
    };
    for (const Case& c : cases) {
        const auto value = registry::Read(Hive::LocalMachine, key.Path(), c.name);
        EXPECT_EQ(value.kind, c.kind) << testing::PrintToString(std::wstring(c.name));
        EXPECT_EQ(value.text, c.text) << testing::PrintToString(std::wstring(c.name));
    }
    EXPECT_EQ(registry::Read(Hive::LocalMachine, key.Path() + L"\\NoSuchKey").kind, ValueKind::Missing);
}

TEST(Registry, TheThirtyTwoBitViewAlone) {
    TestKey seen(L"CLSID\\{5E1F0C3A-7A1B-4C55-8D3E-0A9B1C2D3E41}\\InprocServer32", KEY_WOW64_32KEY);
    seen.SetText(nullptr, REG_SZ, L"32-bit");
    EXPECT_EQ(registry::Read(Hive::LocalMachine, seen.Path()).text, L"32-bit");
    if (!Windows64()) GTEST_SKIP() << "a 32-bit Windows has one view";
    TestKey unseen(L"CLSID\\{5E1F0C3A-7A1B-4C55-8D3E-0A9B1C2D3E42}\\InprocServer32", KEY_WOW64_64KEY);
    unseen.SetText(nullptr, REG_SZ, L"64-bit");
    EXPECT_EQ(registry::Read(Hive::LocalMachine, unseen.Path()).kind, ValueKind::Missing);
    // The 64-bit view is read only when asked for, as for a 64-bit Office's keys.
    EXPECT_EQ(registry::Read(Hive::LocalMachine, unseen.Path(), {}, registry::View::Bits64).text, L"64-bit");
}

// Wine does not merge the user's classes into HKCR: the user's own entries, which win
// over the machine's, are read from HKCU itself.
TEST(Registry, TheUsersClassesBesideTheMachines) {
    const std::wstring path = L"CLSID\\{5E1F0C3A-7A1B-4C55-8D3E-0A9B1C2D3E43}\\InprocServer32";
    TestKey machine(path, KEY_WOW64_32KEY);
    machine.SetText(nullptr, REG_SZ, L"C:\\Windows\\SysWOW64\\x.ocx");
    TestKey user(path, KEY_WOW64_32KEY, HKEY_CURRENT_USER);
    user.SetText(nullptr, REG_SZ, L"C:\\App\\x.ocx");
    EXPECT_EQ(registry::Read(Hive::CurrentUser, user.Path()).text, L"C:\\App\\x.ocx");
    EXPECT_EQ(registry::Read(Hive::LocalMachine, machine.Path()).text, L"C:\\Windows\\SysWOW64\\x.ocx");
}

// The per-user hint's commands, run as written, remove the override it found and leave
// the machine's entry. Wine keeps one HKCU\Software\Classes for both views, where
// 64-bit Windows keeps a class's key of each apart: there /reg:32 is what reaches it.
TEST(Registration, ThePerUserHintsCommandsRemoveTheOverride) {
    const std::wstring library = L"{5E1F0C3A-7A1B-4C55-8D3E-0A9B1C2D3E51}";
    const std::wstring grid = L"{5E1F0C3A-7A1B-4C55-8D3E-0A9B1C2D3E52}";
    const velmora_test::TempFolder folder;
    ASSERT_TRUE(folder.ok());
    const std::wstring control = folder / L"Grid.ocx";
    ASSERT_TRUE(velmora_test::WriteText(control, "MZ"));
    TestKey machineLibrary(L"TypeLib\\" + library + L"\\1.0\\0\\win32", KEY_WOW64_32KEY);
    machineLibrary.SetText(nullptr, REG_SZ, control);
    TestKey machineClass(L"CLSID\\" + grid + L"\\InprocServer32", KEY_WOW64_32KEY);
    machineClass.SetText(nullptr, REG_SZ, control);
    TestKey userClass(L"CLSID\\" + grid + L"\\InprocServer32", KEY_WOW64_32KEY, HKEY_CURRENT_USER);
    userClass.SetText(nullptr, REG_SZ, L"C:\\Elsewhere\\Grid.ocx");

    const modTypeLibrary::Reading reading{
        modTypeLibrary::TypeLibrary{library, 1, 0, modTypeLibrary::SysKind::Win32, L"Grid", {grid}}, L""};
    const auto kernel = modVersionOS_v4::GetKernelVersion();
    const auto view =
        modProgramView::ViewFor(modPeFile::MachineX86, Windows64(), platform::systeminfo::NativeMachine(),
                                {kernel.major, kernel.minor, kernel.build}, velmora_test::WindowsFolder());
    const auto hint = modDiagnosis::ReadRegistry(reading, {control, view.systemFolder, view.Bits(), false}, view).hint;
    ASSERT_TRUE(hint.has_value());
    const auto from = hint->find(L", run reg delete "), to = hint->find(L", then run Velmora again");
    ASSERT_NE(from, std::wstring::npos) << testing::PrintToString(*hint);
    ASSERT_NE(to, std::wstring::npos);
    std::wstring command = L"cmd.exe /c " + hint->substr(from + 6, to - from - 6);
    if (Windows64()) {
        EXPECT_NE(command.find(L" /reg:32"), std::wstring::npos) << testing::PrintToString(command);
    }

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                               &startup, &process));
    const platform::win32::UniqueKernelHandle owned(process.hProcess), thread(process.hThread);
    ASSERT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    EXPECT_EQ(exitCode, 0u);
    const auto exists = [](HKEY root, const std::wstring& path) {
        HKEY key = nullptr;
        const bool there = RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &key) == ERROR_SUCCESS;
        if (there) RegCloseKey(key);
        return there;
    };
    EXPECT_FALSE(exists(HKEY_CURRENT_USER, userClass.Path())) << "the override is gone";
    EXPECT_TRUE(exists(HKEY_LOCAL_MACHINE, machineClass.Path())) << "the machine's entry stays";
}

// The scan's enumeration: every class's InprocServer32 and every type library's
// win32 and win64 path, in both views of the machine's classes and the user's.
TEST(Scan, EveryRegistrationOfBothViewsAndBothHives) {
    const std::wstring id = L"{5E1F0C3A-7A1B-4C55-8D3E-0A9B1C2D3E6";  // and a last digit
    struct Made {
        HKEY root;
        REGSAM view;
        wchar_t last;
    };
    const Made made[] = {{HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, L'1'},
                         {HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, L'2'},
                         {HKEY_CURRENT_USER, KEY_WOW64_32KEY, L'3'},
                         {HKEY_CURRENT_USER, KEY_WOW64_64KEY, L'4'}};
    std::list<TestKey> keys;  // the newest first: a child is deleted before its parent
    for (const auto& m : made) {
        keys.emplace_front(L"CLSID\\" + id + m.last + L"}", m.view, m.root);
        keys.emplace_front(L"CLSID\\" + id + m.last + L"}\\InprocServer32", m.view, m.root);
        keys.front().SetText(nullptr, REG_SZ, std::wstring(L"C:\\Scan\\") + m.last + L".dll");
    }
    const std::wstring library = L"TypeLib\\" + id + L"9}";
    for (const auto* key : {L"", L"\\1.0", L"\\1.0\\0", L"\\1.0\\FLAGS"}) {
        keys.emplace_front(library + key, KEY_WOW64_64KEY);
    }
    for (const std::wstring bits : {L"32", L"64"}) {
        keys.emplace_front(library + L"\\1.0\\0\\win" + bits, KEY_WOW64_64KEY);
        keys.front().SetText(nullptr, REG_SZ, L"C:\\Scan\\lib" + bits + L".tlb");
    }
    const auto kernel = modVersionOS_v4::GetKernelVersion();
    const auto found = modRegisteredFiles::ReadRegistrations(Windows64(), {kernel.major, kernel.minor, kernel.build});
    std::vector<std::wstring> ours;
    for (const auto& r : found) {
        if (r.key.find(id) == std::wstring::npos) continue;
        ours.push_back((r.hive == Hive::CurrentUser ? L"user " : L"machine ") +
                       std::wstring(r.bits64 ? L"64 " : L"32 ") + r.key.substr(0, 5) + L" " + r.value.text);
    }
    std::sort(ours.begin(), ours.end());
    std::vector<std::wstring> expected = {L"machine 32 CLSID C:\\Scan\\1.dll", L"machine 32 TypeL C:\\Scan\\lib32.tlb",
                                          L"machine 64 CLSID C:\\Scan\\2.dll", L"machine 64 TypeL C:\\Scan\\lib64.tlb",
                                          L"user 32 CLSID C:\\Scan\\3.dll",    L"user 64 CLSID C:\\Scan\\4.dll"};
    if (!Windows64()) GTEST_SKIP() << "a 32-bit Windows has one view";
    // Wine keeps one HKCU\Software\Classes for both views: each user class is in both.
    if (velmora_test::RunningUnderWine()) {
        expected.insert(expected.end(), {L"user 32 CLSID C:\\Scan\\4.dll", L"user 64 CLSID C:\\Scan\\3.dll"});
        std::sort(expected.begin(), expected.end());
    }
    EXPECT_EQ(ours, expected);
}

TEST(Registry, SubkeyNames) {
    TestKey a(L"VelmoraTest\\Versions\\1.0", KEY_WOW64_32KEY);
    TestKey b(L"VelmoraTest\\Versions\\2.2", KEY_WOW64_32KEY);
    auto names = registry::SubkeyNames(Hive::LocalMachine, L"Software\\Classes\\VelmoraTest\\Versions");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"1.0", L"2.2"}));
    EXPECT_TRUE(registry::SubkeyNames(Hive::LocalMachine, L"Software\\Classes\\VelmoraTest\\None").empty());
}

TEST(FileNames, AsWindowsTreatsThem) {
    const std::wstring windows = velmora_test::WindowsFolder();
    EXPECT_EQ(filenames::ExpandEnvironment(L"%SystemRoot%\\x.ocx"), windows + L"\\x.ocx");
    EXPECT_EQ(filenames::ExpandEnvironment(L"%VelmoraNoSuchName%\\x"), L"%VelmoraNoSuchName%\\x");

    const std::wstring program = velmora_test::OwnPath();
    EXPECT_TRUE(filenames::IsFile(program));
    EXPECT_FALSE(filenames::IsFile(windows));
    EXPECT_FALSE(filenames::IsFile(windows + L"\\VelmoraNoSuchFile.ocx"));
    EXPECT_TRUE(filenames::IsFolder(windows));
    EXPECT_FALSE(filenames::IsFolder(program));
    EXPECT_TRUE(filenames::OnNetwork(L"\\\\server\\share\\x.dll"));
    EXPECT_FALSE(filenames::OnNetwork(program));
    EXPECT_FALSE(filenames::OnNetwork(L"\\\\?\\" + program));

    wchar_t shortName[MAX_PATH] = {};
    ASSERT_GT(GetShortPathNameW(program.c_str(), shortName, MAX_PATH), 0u);
    const auto longForm = filenames::LongForm(shortName);
    ASSERT_TRUE(longForm.has_value());
    EXPECT_TRUE(filenames::SameFileName(*longForm, program)) << testing::PrintToString(*longForm);
    EXPECT_FALSE(filenames::LongForm(windows + L"\\VelmoraNoSuchFile.ocx").has_value());

    EXPECT_TRUE(
        filenames::SameFileName(L"C:\\Windows\\SysWOW64\\MsComCtl.OCX", L"c:\\WINDOWS\\syswow64\\mscomctl.ocx"));
    EXPECT_FALSE(
        filenames::SameFileName(L"C:\\Windows\\SysWOW64\\MsComCtl.OCX", L"C:\\Windows\\System32\\MsComCtl.OCX"));
    EXPECT_FALSE(filenames::SameFileName(L"a", L"a "));
}

TEST(FileNames, AFoldersEntriesAndAFilesTimes) {
    const velmora_test::TempFolder folder;
    ASSERT_TRUE(folder.ok());
    ASSERT_TRUE(CreateDirectoryW((folder / L"Excel8.0").c_str(), nullptr));
    ASSERT_TRUE(velmora_test::WriteText(folder / L"Word8.0", "a file"));
    ASSERT_TRUE(velmora_test::WriteText(folder / L"notes.txt", "a file"));
    FILETIME written = {};  // 2019-03-14, as Windows keeps it
    written.dwHighDateTime = 0x01D4DA3C;
    const HANDLE file = CreateFileW((folder / L"notes.txt").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(SetFileTime(file, &written, nullptr, &written));
    CloseHandle(file);

    auto entries = filenames::ListFolder(folder.path(), L"*.0");
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    ASSERT_EQ(entries.size(), 2u);  // neither "." nor ".." nor notes.txt
    EXPECT_EQ(entries[0].name, L"Excel8.0");
    EXPECT_TRUE(entries[0].folder);
    EXPECT_FALSE(entries[1].folder);
    EXPECT_TRUE(filenames::ListFolder(folder / L"VelmoraNoSuchFolder", L"*").empty());

    const auto times = filenames::TimesOf(folder / L"notes.txt");
    ASSERT_TRUE(times.has_value());
    EXPECT_EQ(times->lastWritten, std::uint64_t{0x01D4DA3C} << 32);
    // Its creation and last write set back, as an update written over the old file keeps
    // them: its change time still moved, to now.
    EXPECT_GT(times->changed, times->lastWritten + (std::uint64_t{1} << 40));
    EXPECT_EQ(filenames::ListFolder(folder.path(), L"NOTES.TXT").at(0).times.lastWritten, times->lastWritten);
    EXPECT_FALSE(filenames::TimesOf(folder / L"VelmoraNoSuchFile").has_value());
}

TEST(FileNames, FullPathsAsWin32MakesThem) {
    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    const std::wstring here = filenames::AddBackslash(current);
    const struct {
        std::wstring path, full;
    } cases[] = {
        {L"Grid.ocx", here + L"Grid.ocx"},
        {L"C:/App/Grid.ocx", L"C:\\App\\Grid.ocx"},
        {L"C:\\App\\Grid.ocx.", L"C:\\App\\Grid.ocx"},  // Win32 drops a name's trailing dots
        {L"C:\\App\\sub\\..\\Grid.ocx", L"C:\\App\\Grid.ocx"},
        {L"\\\\?\\C:\\App\\Grid.ocx", L"C:\\App\\Grid.ocx"},
        {L"\\\\?\\UNC\\server\\share\\Grid.ocx", L"\\\\server\\share\\Grid.ocx"},
    };
    for (const auto& c : cases) EXPECT_EQ(filenames::FullPath(c.path), c.full) << testing::PrintToString(c.path);
}

// The wide calls: a name no ANSI code page holds, and a path past MAX_PATH, are names.
TEST(FileNames, AnyNameAndAnyLength) {
    const velmora_test::TempFolder folder;
    ASSERT_TRUE(folder.ok());
    const std::wstring wide = folder / L"\u63A7\u4EF6-\u0444\u0430\u0439\u043B.ocx";
    ASSERT_TRUE(velmora_test::WriteText(wide, "x"));
    std::wstring deep = L"\\\\?\\" + folder.path();
    for (int i = 0; i < 6; ++i) {
        deep += L"\\" + std::wstring(50, static_cast<wchar_t>(L'a' + i));
        ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    }
    ASSERT_TRUE(velmora_test::WriteText(deep + L"\\long.ocx", "x"));
    const std::wstring longPath = deep.substr(4) + L"\\long.ocx";
    ASSERT_GT(longPath.size(), static_cast<std::size_t>(MAX_PATH));
    for (const auto& path : {wide, longPath}) {
        SCOPED_TRACE(testing::PrintToString(path));
        EXPECT_TRUE(filenames::IsFile(path));
        EXPECT_EQ(filenames::LongForm(path), path);
        EXPECT_TRUE(modPeFile::DiskFile(path).Opened());
        const auto listed = filenames::ListFiles(path.substr(0, path.find_last_of(L'\\')));
        EXPECT_EQ(listed.names, std::vector<std::wstring>{path.substr(path.find_last_of(L'\\') + 1)});
    }
    EXPECT_TRUE(filenames::ListFiles(folder / L"NoSuchFolder").names.empty());
}

// Every program sees the system folders as they are: a 32-bit one's reads are not
// redirected, and the Windows' own processor shows through.
TEST(FileNames, TheRealSystemFolderWhateverTheProgramsBitness) {
    if (!Windows64()) GTEST_SKIP() << "a 32-bit Windows has one system folder";
    const modPeFile::OpenImage kernel(velmora_test::WindowsFolder() + L"\\System32\\kernel32.dll");
    ASSERT_NE(kernel.Get(), nullptr);
    EXPECT_EQ(kernel.Get()->Machine(), modPeFile::MachineX64);
    EXPECT_EQ(platform::systeminfo::NativeMachine(), modPeFile::MachineX64);
}

TEST(Account, TheProcessRunsAsANamedAccount) {
    EXPECT_NE(platform::account::ProcessAccount().find(L'\\'), std::wstring::npos);
}

// --- The stand-in control files' type libraries ---------------------------------------------

using platform::win32::ComPtr;
using velmora_controlfiles::Variant;

std::wstring GuidText(const GUID& guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

// What the system's loader reads from a file: LoadTypeLibEx, nothing registered.
std::optional<modTypeLibrary::TypeLibrary> SystemReading(const std::wstring& path) {
    ComPtr<ITypeLib> library;
    if (FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put()))) return std::nullopt;
    modTypeLibrary::TypeLibrary found;
    TLIBATTR* attributes = nullptr;
    if (FAILED(library->GetLibAttr(&attributes))) return std::nullopt;
    found.id = GuidText(attributes->guid);
    found.major = attributes->wMajorVerNum;
    found.minor = attributes->wMinorVerNum;
    library->ReleaseTLibAttr(attributes);
    BSTR name = nullptr;
    if (SUCCEEDED(library->GetDocumentation(-1, &name, nullptr, nullptr, nullptr)) && name) found.name = name;
    SysFreeString(name);
    for (UINT index = 0; index < library->GetTypeInfoCount(); ++index) {
        ComPtr<ITypeInfo> info;
        TYPEATTR* type = nullptr;
        if (FAILED(library->GetTypeInfo(index, info.put())) || FAILED(info->GetTypeAttr(&type))) return std::nullopt;
        if (type->typekind == TKIND_COCLASS && (type->wTypeFlags & TYPEFLAG_FCANCREATE)) {
            found.creatableClasses.push_back(GuidText(type->guid));
        }
        info->ReleaseTypeAttr(type);
    }
    return found;
}

bool Registered(const std::wstring& libraryId) {
    for (const HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        for (const REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
            HKEY key = nullptr;
            const std::wstring path = L"Software\\Classes\\TypeLib\\" + libraryId;
            if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) == ERROR_SUCCESS) {
                RegCloseKey(key);
                return true;
            }
        }
    }
    return false;
}

// Only this layer sees the system's own loader: ours reads each stand-in as it does.
TEST(TypeLibrary, OursReadsEachStandInAsTheSystemLoaderDoes) {
    for (const Variant& v : velmora_controlfiles::Variants) {
        if (!v.exists) continue;
        SCOPED_TRACE(testing::PrintToString(std::wstring(v.name)));
        const auto ours = modTypeLibrary::ReadFileTypeLibrary(v.winePath).library;
        const auto system = SystemReading(v.winePath);
        ASSERT_EQ(ours.has_value(), system.has_value());
        EXPECT_EQ(ours.has_value(), v.ownTypeLibrary);
        if (!ours) continue;
        EXPECT_EQ(ours->id, system->id);
        EXPECT_EQ(ours->major, system->major);
        EXPECT_EQ(ours->minor, system->minor);
        EXPECT_EQ(ours->name, system->name);
        EXPECT_EQ(ours->creatableClasses, system->creatableClasses);
    }
    EXPECT_FALSE(Registered(velmora_controlfiles::LibraryId)) << "reading a type library registered it";
}

}  // namespace
