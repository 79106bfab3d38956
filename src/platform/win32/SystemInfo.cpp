#include "platform/SystemInfo.h"

#include <windows.h>

namespace platform::systeminfo {

std::uint16_t NativeMachine() {
    // Windows 10 1511 on: the only call an emulated program is told the truth by.
    using IsWow64Process2Fn = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
    if (const auto isWow64Process2 = reinterpret_cast<IsWow64Process2Fn>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process2")))) {
        USHORT process = 0, native = 0;
        if (isWow64Process2(GetCurrentProcess(), &process, &native)) return native;
    }
    SYSTEM_INFO info = {};
    GetNativeSystemInfo(&info);
    switch (info.wProcessorArchitecture) {
    case PROCESSOR_ARCHITECTURE_AMD64: return 0x8664;
    case 12: return 0xAA64;  // PROCESSOR_ARCHITECTURE_ARM64, which the headers for XP lack
    default: return 0x14C;
    }
}

}  // namespace platform::systeminfo
