#pragma once
// Faster ways to run the CRC-32/ISO-HDLC register (reflected polynomial 0xEDB88320) over a run of
// bytes, from the table of Crc32Table.h. Every kernel works on the raw register exactly like the
// byte step modCRC32_v2::UpdateCRC32: the register
// goes in and comes out as it is, with no complement on either side, so
//     Update(Update(reg, a, n), a + n, m) == Update(reg, a, n + m)
// and the CRC of a whole message is ~Update(0xFFFFFFFF, data, size).
//
// Kernels:
//   Bytewise - the byte step, one table lookup per byte;
//   Slicing  - slicing-by-16, sixteen bytes per step over sixteen tables derived from
//              crc32table::Table on first use; plain C++, runs on every CPU;
//   Pclmul   - x86 carry-less multiply folding (PCLMULQDQ with SSE2), 64 bytes per step;
//   Vpclmul  - x86 256-bit carry-less multiply folding (VPCLMULQDQ with AVX2), 128 bytes per step.
// The x86 kernels are compiled for their instruction sets per function only and are called only
// after CPUID (and, for the 256-bit one, XGETBV) has shown that the CPU and the OS support them.
#include <cstddef>
#include <cstdint>

namespace crc32kernels {

enum class Kernel { Bytewise, Slicing, Pclmul, Vpclmul };

// Every kernel, in order from the plainest to the fastest.
constexpr Kernel AllKernels[] = {Kernel::Bytewise, Kernel::Slicing, Kernel::Pclmul, Kernel::Vpclmul};

// The register over `size` bytes with the best kernel this computer has (chosen once, on first use).
std::uint32_t Update(std::uint32_t reg, const std::uint8_t* data, std::size_t size);

// Whether this build and this computer can run the kernel.
bool Available(Kernel kernel);
// The kernel Update uses.
Kernel Selected();
// The register over `size` bytes with the named kernel; a kernel that is not available here is
// never executed: the slicing kernel answers in its place.
std::uint32_t UpdateWith(Kernel kernel, std::uint32_t reg, const std::uint8_t* data, std::size_t size);
// "Bytewise", "Slicing", "Pclmul", "Vpclmul".
const char* Name(Kernel kernel);

}  // namespace crc32kernels
