#pragma once
// Office's cache of a control: the first time a control is put into a document or a
// form, Office writes "<type library name>.exd" into a folder of the user's own, and
// reads it from then on. One made from an older build of the control makes VBA
// report the library invalid. Office writes them anew when they are gone; this
// module only finds them, and deletes nothing.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/FileNames.h"
#include "platform/TaggedValue.h"

namespace modOfficeCache {

struct CacheFile {
    std::wstring path;
    std::uint64_t modified = 0;  // the last write, in Windows' file time (UTC)
    bool older = false;          // older than the control file's arrival
};

// The folders Office keeps them in, directly under the temporary folder: Excel<n>.0,
// Word<n>.0, PPT<n>.0 and VBE, the case of the name aside.
bool IsCacheFolderName(const std::wstring& name);

// When a file arrived: the latest of its creation, last write and change. A copy
// keeps the last write of its source; an update written over the old file, or a new
// file given the old one's name (NTFS tunnelling), keeps the creation time; only the
// change time follows every one of them.
std::uint64_t ArrivalOf(const platform::filenames::FileTimes& times);

// The caches of the library named `libraryName` in the folders of the account that
// runs the program (its temporary folder and %APPDATA%\Microsoft\Forms), each held
// against the control file at `controlPath` and its arrival.
std::vector<CacheFile> FindCaches(const std::wstring& libraryName, const std::wstring& controlPath);

// A file time as "YYYY-MM-DDThh:mm:ssZ", and as an automation date (UTC).
std::wstring UtcText(std::uint64_t fileTime);
platform::DateTime DateTimeOf(std::uint64_t fileTime);

}  // namespace modOfficeCache
