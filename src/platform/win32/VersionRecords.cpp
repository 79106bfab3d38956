#include "platform/VersionRecords.h"

#include <windows.h>

#include "platform/win32/SystemLibrary.h"

namespace platform::versionrecords {

std::int32_t GetVersionExA(OsVersionInfoA& record) {
    return ::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(record.data()));
}

std::int32_t RtlGetVersion(OsVersionInfoExW& record) {
    // Looked up at run time: the kernel's record is not behind the compatibility shims.
    using RtlGetVersionFn = LONG(WINAPI*)(void*);
    static const auto function = win32::SystemFunction<RtlGetVersionFn>(L"ntdll.dll", "RtlGetVersion");
    if (!function) return static_cast<std::int32_t>(0xC0000139L);  // STATUS_ENTRYPOINT_NOT_FOUND
    return function(record.data());
}

}  // namespace platform::versionrecords
