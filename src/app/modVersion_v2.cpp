#include "app/modVersion_v2.h"

#include "platform/AppInfo.h"

namespace modVersion_v2 {

std::wstring GetAppVersion() {
    const auto& app = platform::App();
    // The third number is always 0: the resource's build number is not shown.
    return std::to_wstring(app.Major) + L"." + std::to_wstring(app.Minor) + L".0." + std::to_wstring(app.Revision);
}

}  // namespace modVersion_v2
