#include "platform/VersionRecords.h"

#include <windows.h>

#include <cstring>

#include "platform/win32/SystemLibrary.h"

namespace platform::versionrecords {

static_assert(sizeof(OSVERSIONINFOA) == OsVersionInfoASize, "OSVERSIONINFOA");
static_assert(sizeof(OSVERSIONINFOEXW) == OsVersionInfoExWSize, "RTL_OSVERSIONINFOEXW");

namespace {

// The calls fill a properly aligned record; the bytes are copied in and out, never cast.
template <class Native, class Bytes, class Call>
auto CallWithRecord(Bytes& bytes, Call call) {
    Native native{};
    std::memcpy(&native, bytes.data(), sizeof native);
    const auto result = call(&native);
    std::memcpy(bytes.data(), &native, sizeof native);
    return result;
}

}  // namespace

std::int32_t GetVersionExA(OsVersionInfoA& record) {
    return CallWithRecord<OSVERSIONINFOA>(record, [](OSVERSIONINFOA* native) { return ::GetVersionExA(native); });
}

std::int32_t RtlGetVersion(OsVersionInfoExW& record) {
    // Looked up at run time: the kernel's record is not behind the compatibility shims.
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    static const auto function = win32::SystemFunction<RtlGetVersionFn>(L"ntdll.dll", "RtlGetVersion");
    if (!function) return static_cast<std::int32_t>(0xC0000139L);  // STATUS_ENTRYPOINT_NOT_FOUND
    return CallWithRecord<OSVERSIONINFOEXW>(record, function);
}

}  // namespace platform::versionrecords
