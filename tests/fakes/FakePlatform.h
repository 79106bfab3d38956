#pragma once
// Fakes of the platform ports for the native tests. One global state holds what the
// tests set up (files, folders, WMI answers, version records) and what the program
// did with it (console writes, pauses, reads, connections); fake::Reset() clears it.
#include <cstdint>
#include <deque>
#include <map>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/AppInfo.h"
#include "platform/FileNames.h"
#include "platform/Console.h"
#include "platform/Registry.h"
#include "platform/RunError.h"
#include "platform/ShellFolders.h"
#include "platform/TaggedValue.h"
#include "platform/VersionRecords.h"

namespace fake {

// process::EndNow throws this in place of ending the process.
struct FakeProcessEnd {
    std::uint32_t exitCode;
};
// process::WaitToBeEnded throws this in place of waiting for ever.
struct FakeWaitToBeEnded {};

// Text in lower case: the fakes compare names as Windows does, whatever their case.
std::wstring Folded(std::wstring text);
struct NoCaseLess {
    bool operator()(const std::wstring& a, const std::wstring& b) const;
};

// --- Console and process -------------------------------------------------------------

struct ConsoleWrite {
    platform::console::Handle handle;
    std::wstring text;
};

struct ConsoleState {
    int opens = 0;
    int letGos = 0;
    platform::console::Handle input{101}, output{102}, error{103};  // what GetStd answers
    std::vector<ConsoleWrite> writes;
    std::deque<std::wstring> reads;  // each a whole buffer as a read leaves it; then all NULs
    std::vector<platform::console::Handle> readHandles;
    std::vector<std::size_t> readSizes;

    std::vector<std::wstring> Texts() const;  // each write's text, in order
    std::wstring Output() const;              // every write joined
};

// The 256-character buffer a console read leaves: the typed bytes, cut to the
// buffer, then NULs.
std::wstring ReadLeaves(const std::wstring& typed, std::size_t size = 256);

// --- Files, shell -----------------------------------------------------

struct FakeFile {
    std::vector<std::uint8_t> bytes;
    bool openable = true;
    std::optional<std::size_t> failingRead;     // the read (0-based) that fails, if any
    std::optional<std::uint64_t> reportedSize;  // the size the size query answers, when not the bytes'
};

struct FileRead {
    std::uint32_t capacity;
    std::uint32_t delivered;
    bool ok;
};

struct FolderRequest {
    platform::shell::WindowHandle owner;
    std::int32_t csidl;
    std::uint32_t flags;
    std::wstring buffer;
};

// --- WMI ---------------------------------------------------------------------------------

// An instance: property name -> value; a name it lacks is an unknown name.
using WmiInstance = std::map<std::wstring, platform::TaggedValue, NoCaseLess>;
using WmiCollection = std::vector<WmiInstance>;
// Win32_OperatingSystem of a Windows 7 SP1 machine, every property the report reads.
WmiInstance Windows7Instance(const wchar_t* architecture = L"64-bit");

struct WmiCall {
    std::wstring moniker;  // of the service called
    std::wstring method;
    std::wstring argument;
};

struct WmiState {
    // Answers of ExecQuery / InstancesOf by method and argument (both case-insensitive).
    std::map<std::pair<std::wstring, std::wstring>, WmiCollection> answers;
    // A moniker or call argument -> the error number the call raises.
    std::map<std::wstring, std::int32_t, NoCaseLess> failures;
    std::vector<std::wstring> connections;  // monikers, in order
    std::vector<WmiCall> calls;
    // The SWbemDateTime object: absent unless `converter` is set; GetVarDate answers it.
    std::optional<platform::TaggedValue> converter;
    std::vector<std::wstring> createdProgIds;  // every TryCreateObject request
    std::vector<std::wstring> converterTrace;  // "Value=<text>", "GetVarDate"
    std::vector<std::wstring> propertyReads;   // every property read, by name, in order
    int liveObjects = 0;                       // objects handed out and not yet released
    std::vector<int> liveObjectsAtEndCom;      // one entry per EndCom call

    void Answer(const std::wstring& method, const std::wstring& argument, WmiCollection instances);
    int Connections(const std::wstring& moniker) const;
    int Calls(const std::wstring& method, const std::wstring& argument) const;
};

// --- Registration: the registry's 32-bit view, type libraries, file names ---------------

struct RegistryState {
    // hive -> key path -> value name ("" for the default value) -> value. A key is
    // there when it has a value or a key below it.
    using Values = std::map<std::wstring, platform::registry::Value, NoCaseLess>;
    std::map<platform::registry::Hive, std::map<std::wstring, Values, NoCaseLess>> values;  // the 32-bit view
    std::map<platform::registry::Hive, std::map<std::wstring, Values, NoCaseLess>> values64;
    std::vector<std::wstring> reads;   // every key read or listed, in order
    std::function<void()> duringRead;  // what happens meanwhile, at each value read

    void Set(platform::registry::Hive hive, const std::wstring& key, platform::registry::ValueKind kind,
             const std::wstring& text = {});
};

// --- Everything -------------------------------------------------------------------------

struct State {
    // Console and process; `trace` orders the console and process events:
    // "open", "title:<t>", "write:<text>", "read", "letgo", "pause:<ms>", "end:<code>", "endcom".
    ConsoleState console;
    std::vector<std::wstring> trace;
    std::vector<std::uint32_t> pauses;
    std::function<void()> duringPause;  // what happens meanwhile, at each pause
    std::uint32_t milliseconds = 0;     // the clock

    platform::AppInfo app;
    int appReads = 0;                   // of the program's own information
    bool descriptionsPrepared = false;  // the system's words for errors, loaded ahead

    std::map<std::wstring, FakeFile, NoCaseLess> files;
    std::vector<std::wstring> opened;  // paths of successful opens
    int closes = 0;
    std::vector<FileRead> reads;
    std::function<void()> duringRead;                                   // what happens meanwhile, at each Read
    std::int32_t fileFailure = static_cast<std::int32_t>(0x80070020u);  // a failed open or read: a sharing violation
    std::optional<std::int32_t> lastFileFailure;                        // the last open's or read's, once one failed

    std::map<std::wstring, int, NoCaseLess> pathExists;              // default 0
    std::map<std::wstring, std::uint32_t, NoCaseLess> pathIsFolder;  // default 0
    std::vector<std::wstring> folderTests;                           // PathIsFolder calls
    std::map<std::int32_t, std::wstring> folders;                    // CSIDL -> path; others fail
    std::vector<FolderRequest> folderRequests;

    WmiState wmi;

    RegistryState registry;
    std::map<std::wstring, std::wstring, NoCaseLess> environment;  // NAME -> value, for %NAME%
    std::map<std::wstring, std::wstring, NoCaseLess> longForms;    // a short path -> its long form
    std::vector<std::wstring> folderPaths;                         // paths that name a folder
    std::wstring networkDrives;                                    // drive letters Windows maps to a network
    std::wstring currentFolder = L"C:\\Work";                      // what a relative path is relative to
    std::vector<std::wstring> folderListings;                      // every folder whose files were listed
    std::vector<std::wstring> unlistableFolders;                   // a listing of these fails
    std::function<void()> duringListing;                           // what happens meanwhile, at each listing
    std::vector<std::wstring> longFormProbes;                      // every path whose long form was asked
    std::map<std::wstring, platform::filenames::FileTimes, NoCaseLess> fileTimes;
    // A folder -> its entries, as a listing finds them.
    std::map<std::wstring, std::vector<platform::filenames::FolderEntry>, NoCaseLess> listings;
    std::wstring account = L"TESTPC\\tester";

    std::int32_t versionExResult = 1;
    platform::versionrecords::OsVersionInfoA versionEx{};
    std::int32_t rtlStatus = 0;
    platform::versionrecords::OsVersionInfoExW rtlRecord{};

    std::uint16_t nativeMachine = 0x8664;  // x64 Windows

    int utcOffsetMinutes = 0;            // local time = UTC + this
    std::vector<std::wstring> messages;  // message boxes: "error:" or "info:", then the text

    // Unattended runs: the caller's streams, the result files, the watchdog.
    bool outputGiven = false, errorGiven = false;
    std::wstring output, error;                         // what was written to them
    std::map<std::wstring, std::wstring> writtenFiles;  // path -> text, written whole
    std::vector<std::wstring> unwritableFolders;        // a path in one of these fails
    std::optional<std::uint32_t> watchdogSeconds;       // started with, last
    std::vector<std::uint32_t> watchdogStarts;          // every start, and every new count
    std::uint32_t thread = 1;                           // the thread the program runs on
    void (*watchdogCallback)() = nullptr;
    bool watchdogStopped = false;
};

State& S();
void Reset();

// The hidden window lives as long as the process, and so does its record.
struct HiddenWindowRequest {
    std::wstring caption;
    int iconId;
};
std::vector<HiddenWindowRequest>& HiddenWindows();
constexpr platform::shell::WindowHandle HiddenWindow{0x5150};

// A file whose bytes are `bytes`, present and openable.
void AddFile(const std::wstring& path, std::vector<std::uint8_t> bytes);

// OSVERSIONINFOA as GetVersionExA fills it.
platform::versionrecords::OsVersionInfoA VersionExRecord(std::uint32_t major, std::uint32_t minor, std::uint32_t build,
                                                         std::uint32_t platformId);
// RTL_OSVERSIONINFOEXW as RtlGetVersion fills it (the size field set to 284).
platform::versionrecords::OsVersionInfoExW KernelRecord(std::uint32_t major, std::uint32_t minor, std::uint32_t build,
                                                        std::uint16_t spMajor = 0, std::uint16_t spMinor = 0,
                                                        std::uint16_t suiteMask = 0, std::uint8_t productType = 1);

// "M/D/YYYY", then " H:MM:SS" unless the time is midnight (rounded to the second).
std::wstring FormatDate(platform::DateTime value);

}  // namespace fake
