// The least a scan of the machine has to do, as one Windows process: list the same
// registrations as Velmora.exe /scan (the same registry reads) and read the first
// 64 KiB of each file they name. bench/scan.sh times the scan beside it.
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "loadcheck/modRegisteredFiles.h"
#include "platform/FileReading.h"
#include "platform/Text.h"

int main() {
    const auto registrations = modRegisteredFiles::ReadRegistrations(true, {10, 0, 19045});
    std::set<std::wstring> paths;
    for (const auto& registration : registrations) paths.insert(platform::text::Folded(registration.value.text));
    std::vector<std::uint8_t> head(64 * 1024);
    std::uint64_t bytes = 0;
    for (const auto& path : paths) {
        const auto file = platform::file::Open(path);
        std::uint32_t read = 0;
        if (file && platform::file::Read(file.get(), head.data(), static_cast<std::uint32_t>(head.size()), read)) {
            bytes += read;
        }
    }
    return bytes > 0 ? 0 : 1;
}
