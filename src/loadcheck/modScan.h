#pragma once
// The machine's registered files, each judged as one control is: is it there, is it
// built for the programs that register it, does its type library read, and will a
// program of its bitness load it. Each file is read once; Windows' own DLLs are read
// once for the whole scan. Nothing is loaded, registered or written. Files on a
// network come last, so that a share that stalls costs only its own files, and a
// network folder whose reads fail is not read again.
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "filecheck/modPeFile.h"
#include "filecheck/modTypeLibrary.h"
#include "loadcheck/modDependencies.h"
#include "loadcheck/modProgramView.h"
#include "loadcheck/modRegisteredFiles.h"
#include "platform/Threads.h"

namespace modScan {

// What a file needs, in the order the screen groups them; Loads needs nothing.
enum class Status { WillNotLoad, Missing, OtherProcessor, Damaged, NotRead, Loads };

struct ReadError {
    std::int32_t number = 0;  // an HRESULT
    std::wstring description;
};

struct ScannedFile {
    std::wstring path;                // as registered, where it really is; the value's text when it names no file
    std::wstring bitness;             // "32" or "64", as its headers or its type library say; empty when not known
    std::vector<std::wstring> views;  // the bitness of the programs it is registered for: "32", "64"
    std::size_t classes = 0;
    std::size_t typeLibraries = 0;
    bool found = false;
    std::optional<ReadError> readError;
    std::optional<bool> loads;  // nothing when it was not read, or not whole
    // A file whose classes are registered, against its own type library: "registered"
    // when the registry sends programs here for each of its classes and its library
    // version that it registers at all, "partly registered" when some go to another
    // file; nothing without a type library, or when not read.
    std::optional<std::wstring> registration;
    // Its DLLs' problems only; nothing when they were not read.
    std::optional<std::vector<modDependencies::Dependency>> dependencies;
    Status status = Status::Loads;
    std::wstring cause;  // why it needs attention: "b.dll is not found"; empty when it loads
    std::optional<std::wstring> hint;
};

struct Counts {
    std::size_t files = 0, load = 0, missing = 0, willNotLoad = 0, other = 0;
};

struct Scan {
    bool complete = false;  // every registered file was judged
    std::vector<ScannedFile> files;
};

// What a scan knows of this Windows.
struct Machine {
    bool windows64 = false;
    std::uint16_t nativeMachine = 0;
    modProgramView::WindowsVersion version;
    std::wstring windowsFolder;
    std::wstring account;  // whose per-user classes these are
};

class Scanner {
public:
    Scanner(const Machine& machine, const std::vector<modRegisteredFiles::Registration>& registrations);
    Scanner(const Scanner&) = delete;
    Scanner& operator=(const Scanner&) = delete;
    Scanner(Scanner&&) = delete;
    Scanner& operator=(Scanner&&) = delete;
    ~Scanner();

    std::size_t Size() const { return files_.size(); }
    // File `index`, judged; network files come last. Threads may judge files together.
    ScannedFile Judge(std::size_t index);

private:
    ScannedFile JudgeFile(const modRegisteredFiles::RegisteredFile& file, ScannedFile scanned);
    ScannedFile NotOpened(const modRegisteredFiles::RegisteredFile& file, std::int32_t failure, ScannedFile scanned);
    ScannedFile OtherProcessor(const modRegisteredFiles::RegisteredFile& file, bool bits64, ScannedFile scanned) const;
    ScannedFile JudgePlainLibrary(const modRegisteredFiles::RegisteredFile& file, const modPeFile::File& bytes,
                                  ScannedFile scanned);
    // False when the type library makes the file need attention (`scanned` then says why).
    bool JudgeLibrary(const modRegisteredFiles::RegisteredFile& file, const modTypeLibrary::Reading& reading,
                      ScannedFile& scanned);
    ScannedFile JudgeDependencies(const modPeFile::Image& image, ScannedFile scanned);
    void JudgeRegistration(const modPeFile::Image& image, ScannedFile& scanned) const;
    const modProgramView::ProgramView& ViewOf(std::uint16_t machine);
    bool DeadFolder(const std::wstring& folder);
    void KeepDeadFolder(const std::wstring& folder);

    const Machine machine_;
    modProgramView::ProgramView view32_, view64_;
    platform::threads::Lock lock_;                                // for the two below
    std::map<std::uint16_t, modProgramView::ProgramView> views_;  // a file's own, by its processor
    modDllSearch::SearchOrder order32_, order64_;
    modDependencies::SharedReads shared_;
    std::vector<modRegisteredFiles::RegisteredFile> files_;
    // Where the registry sends a program of each bitness for each class and type library
    // version: the user's entry over the machine's, as Windows merges them.
    struct Sent {
        std::wstring path;
        bool user = false;
    };
    std::map<std::wstring, Sent> sent_;   // by bitness and folded key
    std::set<std::wstring> deadFolders_;  // folded: network folders whose reads failed
};

Counts CountsOf(const Scan& scan);
// The file makes the scan's answer "will not load": it is there and does not load, or
// was not read. A leftover does not.
bool Fails(const ScannedFile& file);
// The exit code's question: every file that is there was read and loads.
bool AllLoad(const Scan& scan);
// The files that need attention, grouped in Status order, each group by path.
std::vector<const ScannedFile*> NeedingAttention(const Scan& scan);
// "1,873 registered files: 1,812 load, 41 missing, 12 will not load, 8 other", with
// the counts in the user's forms.
std::wstring CountsText(const Counts& counts);
// The heading of a group of rows: "Will not load", "Registered but missing", ...
std::wstring StatusHeading(Status status);
// "loads", "will not load", "missing", "other processor", "damaged", "not read".
std::wstring StatusText(Status status);

}  // namespace modScan
