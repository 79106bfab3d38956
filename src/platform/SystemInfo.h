#pragma once
// What Windows itself runs on, which no bitness of the program's own hides.
#include <cstdint>

namespace platform::systeminfo {

// The processor Windows runs on, as a program file's header names it
// (IMAGE_FILE_MACHINE_*): ARM64 also to an x64 or x86 program it emulates.
std::uint16_t NativeMachine();

}  // namespace platform::systeminfo
