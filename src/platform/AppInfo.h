#pragma once
// Program information, read from the executable's own version resource.
#include <cstdint>
#include <string>

namespace platform {

struct AppInfo {
    std::wstring Title;        // ProductName
    std::wstring CompanyName;  // CompanyName
    std::int16_t Major = 0;
    std::int16_t Minor = 0;
    std::int16_t Revision = 0;
};

const AppInfo& App();  // read once, on first use

}  // namespace platform
