// clsWinConsole::CutReadLine over any buffer a console read could leave: the input's
// bytes, each one character as a read in a single-byte code page gives it, cut to the
// 256-character buffer and padded with NULs. The same bytes unpadded, of any length,
// stand for a read in a multi-byte code page, whose conversion gives fewer characters.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "console/clsWinConsole.h"

using fuzzcheck::Check;

namespace {
const std::wstring CrLf = L"\r\n";

bool EndsWithCrLf(const std::wstring& text) { return text.size() >= 2 && text.compare(text.size() - 2, 2, CrLf) == 0; }

void CheckCut(const std::wstring& buffer) {
    const std::wstring line = clsWinConsole::CutReadLine(buffer);

    Check(line.size() <= buffer.size(), "the line is longer than the buffer", line);
    Check(buffer.compare(0, line.size(), line) == 0, "the line is no prefix of the buffer", line);

    // The read: the text before the first NUL, or the whole buffer where it is full.
    const auto nul = buffer.find(L'\0');
    const std::wstring read = buffer.substr(0, nul);
    Check(line.size() <= read.size(), "the line reaches past the first NUL", line);
    if (EndsWithCrLf(read)) {
        // A NUL at n >= 2 behind CR LF: the line is the first n-2 characters.
        Check(line.size() == read.size() - 2, "a read ending in CR LF does not lose exactly its CR LF", line);
    } else if (!read.empty() && read.back() == L'\r') {
        // The full buffer cut the line after its CR.
        Check(line.size() == read.size() - 1, "a read ending in CR does not lose exactly its CR", line);
    } else {
        // No line end (a closed input, a line longer than the buffer): nothing is lost.
        Check(line.size() == read.size(), "a read without a line end lost characters", line);
    }

    // A console read in line mode ends at the first Enter, so the text it leaves holds
    // CR LF at most once, as its end. For such a buffer the line has no line end left.
    // (With an earlier CR LF the rule above keeps one: "a\r\n\r\n" gives "a\r\n".)
    const auto firstCrLf = read.find(CrLf);
    const bool oneLine = firstCrLf == std::wstring::npos || firstCrLf + 2 == read.size();
    if (oneLine) Check(!EndsWithCrLf(line), "the line ends with CR LF", line);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t BufferSize = clsWinConsole::ReadBufferSize;
    static_assert(BufferSize == 256);

    std::wstring buffer(BufferSize, L'\0');
    for (std::size_t i = 0; i < size && i < BufferSize; ++i) buffer[i] = static_cast<wchar_t>(data[i]);
    CheckCut(buffer);

    CheckCut(std::wstring(data, data + size));
    return 0;
}
