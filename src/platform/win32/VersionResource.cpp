#include "platform/VersionResource.h"

#include "platform/RunError.h"
#include "platform/win32/SystemLibrary.h"
#include "platform/win32/VersionApi.h"
#include "platform/win32/WinText.h"

namespace platform::win32::version {

const Api& Functions() {
    static const Api api = [] {
        constexpr const wchar_t* Dll = L"version.dll";
        Api found;
        found.GetFileVersionInfoSizeA = SystemFunction<GetFileVersionInfoSizeAFn>(Dll, "GetFileVersionInfoSizeA");
        found.GetFileVersionInfoA = SystemFunction<GetFileVersionInfoAFn>(Dll, "GetFileVersionInfoA");
        found.VerQueryValueA = SystemFunction<VerQueryValueAFn>(Dll, "VerQueryValueA");
        found.VerQueryValueW = SystemFunction<VerQueryValueWFn>(Dll, "VerQueryValueW");
        return found;
    }();
    if (!api.GetFileVersionInfoSizeA || !api.GetFileVersionInfoA || !api.VerQueryValueA || !api.VerQueryValueW) {
        Fail(static_cast<std::int32_t>(HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)),
             L"Loading version.dll from the system folder");
    }
    return api;
}

}  // namespace platform::win32::version

namespace platform::versionresource {

namespace version = win32::version;

std::uint32_t InfoSize(const std::wstring& path) {
    DWORD unused = 0;
    return version::Functions().GetFileVersionInfoSizeA(win32::ToAnsi(path).c_str(), &unused);
}

void ReadInfo(const std::wstring& path, std::vector<std::uint8_t>& block) {
    version::Functions().GetFileVersionInfoA(win32::ToAnsi(path).c_str(), 0, static_cast<DWORD>(block.size()),
                                             block.data());
}

RootQuery QueryRoot(std::vector<std::uint8_t>& block) {
    void* data = nullptr;
    UINT length = 0;
    RootQuery query;
    if (version::Functions().VerQueryValueA(block.data(), "\\", &data, &length) && data != nullptr) {
        query.found = true;
        query.offset = static_cast<const std::uint8_t*>(data) - block.data();
        query.length = length;
    }
    return query;
}

}  // namespace platform::versionresource
