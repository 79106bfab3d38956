#pragma once
// Office's cache of a control: the first time a control is put into a document or a
// form, Office writes "<type library name>.exd" into a folder of the user's own, and
// reads it from then on. One made from an older build of the control makes VBA
// report the library invalid. Office writes them anew when they are gone; this
// module only finds them, and deletes nothing.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/TaggedValue.h"

namespace modOfficeCache {

struct CacheFile {
    std::wstring path;
    std::uint64_t modified = 0;  // the last write, in Windows' file time (UTC)
    bool older = false;          // older than the control file's arrival
};

// The folders Office keeps them in, directly under %TEMP%: Excel<n>.0, Word<n>.0,
// PPT<n>.0 and VBE, the case of the name aside.
bool IsCacheFolderName(const std::wstring& name);

// The caches of the library named `libraryName` in the folders of the account that
// runs the program (its %TEMP% and %APPDATA%\Microsoft\Forms), each held against the
// control file at `controlPath`, which arrived at the later of its creation and its
// last write (a copy keeps the last write of the file it was copied from).
std::vector<CacheFile> FindCaches(const std::wstring& libraryName, const std::wstring& controlPath);

// A file time as "YYYY-MM-DDThh:mm:ssZ", and as an automation date (UTC).
std::wstring UtcText(std::uint64_t fileTime);
platform::DateTime DateTimeOf(std::uint64_t fileTime);

}  // namespace modOfficeCache
