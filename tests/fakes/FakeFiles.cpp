// Files and the shell's folders.
#include "FakePlatform.h"
#include "platform/FileReading.h"
#include "platform/ShellFolders.h"

#include <algorithm>
#include <stdexcept>

using fake::S;

namespace {
// Open files: handle - 1 indexes this list.
struct OpenFile {
    std::wstring path;
    std::size_t position = 0;
    std::size_t readCount = 0;
    bool closed = false;
};
std::vector<OpenFile>& OpenFiles() {
    static auto* files = new std::vector<OpenFile>;
    return *files;
}

OpenFile& FileOf(platform::file::Handle handle) { return OpenFiles().at(static_cast<std::size_t>(handle.value - 1)); }
}  // namespace

namespace platform::file {

UniqueFile Open(const std::wstring& path) {
    const auto found = S().files.find(path);
    if (found == S().files.end()) {
        S().lastFileFailure = static_cast<std::int32_t>(0x80070002u);  // as Windows: the file is not found
        return UniqueFile();
    }
    if (!found->second.openable) {
        S().lastFileFailure = S().fileFailure;
        return UniqueFile();
    }
    S().opened.push_back(path);
    OpenFiles().push_back({path});
    return UniqueFile(Handle{static_cast<std::intptr_t>(OpenFiles().size())});
}

bool Read(Handle file, std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t& delivered) {
    auto& open = FileOf(file);
    const auto& stored = S().files.at(open.path);
    if (S().duringRead) S().duringRead();
    const bool ok = !stored.failingRead || *stored.failingRead != open.readCount++;
    if (!ok) S().lastFileFailure = S().fileFailure;
    delivered = 0;
    if (ok) {
        delivered = static_cast<std::uint32_t>(std::min<std::size_t>(capacity, stored.bytes.size() - open.position));
        std::copy_n(stored.bytes.begin() + static_cast<std::ptrdiff_t>(open.position), delivered, buffer);
        open.position += delivered;
    }
    S().reads.push_back({capacity, delivered, ok});
    return ok;
}

std::optional<std::uint64_t> WholeSize(Handle file) {
    const auto& stored = S().files.at(FileOf(file).path);
    return stored.reportedSize.value_or(stored.bytes.size());
}

bool ReadAt(Handle file, std::uint64_t offset, std::uint8_t* buffer, std::uint32_t count) {
    const auto& bytes = S().files.at(FileOf(file).path).bytes;
    if (offset > bytes.size() || count > bytes.size() - offset) return false;
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), count, buffer);
    return true;
}

std::int32_t LastFailure() { return S().lastFileFailure.value_or(S().fileFailure); }

void Close(Handle file) {
    auto& open = FileOf(file);  // a handle never handed out fails here
    if (open.closed) throw std::logic_error("file handle closed twice");
    open.closed = true;
    ++S().closes;
}

}  // namespace platform::file

namespace platform::shell {

int PathExists(const std::wstring& path) {
    const auto found = S().pathExists.find(path);
    return found == S().pathExists.end() ? 0 : found->second;
}

std::uint32_t PathIsFolder(const std::wstring& path) {
    S().folderTests.push_back(path);
    const auto found = S().pathIsFolder.find(path);
    return found == S().pathIsFolder.end() ? 0 : found->second;
}

std::wstring GetFolderPath(WindowHandle owner, std::int32_t csidl, std::uint32_t flags, const std::wstring& buffer) {
    S().folderRequests.push_back({owner, csidl, flags, buffer});
    std::wstring answer = buffer;
    const auto found = S().folders.find(csidl);
    // The service writes the path and its NUL over the buffer; on failure an empty path.
    const std::wstring path = (found == S().folders.end() ? std::wstring() : found->second) + L'\0';
    answer.replace(0, std::min(path.size(), answer.size()), path.substr(0, answer.size()));
    return answer;
}

WindowHandle CreateHiddenWindow(const std::wstring& caption, int iconId) {
    fake::HiddenWindows().push_back({caption, iconId});
    return fake::HiddenWindow;
}

}  // namespace platform::shell
