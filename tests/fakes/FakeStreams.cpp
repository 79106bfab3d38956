// The caller's standard streams and the result files.
#include "FakePlatform.h"
#include "platform/FileWriting.h"
#include "platform/Streams.h"

using fake::S;

namespace platform::streams {

bool Given(Stream which) { return which == Stream::Output ? S().outputGiven : S().errorGiven; }

void Write(Stream which, const std::wstring& text) {
    if (!Given(which)) return;
    (which == Stream::Output ? S().output : S().error) += text;
}

void WriteFixed(Stream which, const char* line) noexcept {
    if (!Given(which)) return;
    for (const char* ch = line; *ch; ++ch)
        (which == Stream::Output ? S().output : S().error) += static_cast<wchar_t>(*ch);
}

}  // namespace platform::streams

namespace platform::files {

void WriteWholeFile(const std::wstring& path, const std::wstring& text) {
    for (const auto& folder : S().unwritableFolders) {
        if (path.rfind(folder, 0) == 0) Fail(static_cast<std::int32_t>(0x80070003u), L"Writing the result to " + path);
    }
    S().writtenFiles[path] = text;
}

}  // namespace platform::files
