#include "filecheck/Crc32Kernels.h"

#include "filecheck/Crc32Table.h"

// The x86 kernels need GCC or Clang: per-function target attributes, <cpuid.h> and inline assembly.
// Anywhere else (another CPU, another compiler) only the portable kernels are built.
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define CRC32KERNELS_X86 1  // NOLINT(cppcoreguidelines-macro-usage): chooses code at compile time
#include <cpuid.h>
#include <immintrin.h>
#else
#define CRC32KERNELS_X86 0  // NOLINT(cppcoreguidelines-macro-usage)
#endif

namespace crc32kernels {

namespace {

using KernelFn = std::uint32_t (*)(std::uint32_t, const std::uint8_t*, std::size_t);

// ---------------------------------------------------------------------------------------------
// Bytewise and slicing-by-16

constexpr std::size_t SliceCount = 16;

struct SlicingTables {
    // t[0] is the byte table; t[k][i] is the register change of byte i followed by k zero bytes.
    std::uint32_t t[SliceCount][256];
};

SlicingTables BuildSlicingTables() {
    SlicingTables tables{};
    for (std::size_t i = 0; i < 256; ++i) tables.t[0][i] = crc32table::Table[i];
    for (std::size_t k = 1; k < SliceCount; ++k) {
        for (std::size_t i = 0; i < 256; ++i) {
            const std::uint32_t previous = tables.t[k - 1][i];
            tables.t[k][i] = (previous >> 8) ^ tables.t[0][previous & 0xFFu];
        }
    }
    return tables;
}

// Built on first use; a function-local static is initialised once even with several threads.
const SlicingTables& Tables() {
    static const SlicingTables tables = BuildSlicingTables();
    return tables;
}

// Four bytes as a little-endian number on any host (one plain load on x86).
inline std::uint32_t LoadLittle32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint32_t SlicingUpdate(std::uint32_t reg, const std::uint8_t* data, std::size_t size) {
    const auto& t = Tables().t;
    while (size >= 16) {
        const std::uint32_t w0 = LoadLittle32(data) ^ reg;
        const std::uint32_t w1 = LoadLittle32(data + 4);
        const std::uint32_t w2 = LoadLittle32(data + 8);
        const std::uint32_t w3 = LoadLittle32(data + 12);
        reg = t[15][w0 & 0xFFu] ^ t[14][(w0 >> 8) & 0xFFu] ^ t[13][(w0 >> 16) & 0xFFu] ^ t[12][w0 >> 24] ^
              t[11][w1 & 0xFFu] ^ t[10][(w1 >> 8) & 0xFFu] ^ t[9][(w1 >> 16) & 0xFFu] ^ t[8][w1 >> 24] ^
              t[7][w2 & 0xFFu] ^ t[6][(w2 >> 8) & 0xFFu] ^ t[5][(w2 >> 16) & 0xFFu] ^ t[4][w2 >> 24] ^
              t[3][w3 & 0xFFu] ^ t[2][(w3 >> 8) & 0xFFu] ^ t[1][(w3 >> 16) & 0xFFu] ^ t[0][w3 >> 24];
        data += 16;
        size -= 16;
    }
    return crc32table::ByteStep(reg, data, size);
}

#if CRC32KERNELS_X86

// ---------------------------------------------------------------------------------------------
// Folding constants, computed from the polynomial at compile time.
//
// A 16-byte block loaded little-endian holds its first byte's lowest bit in bit 0, the highest
// power of x. Folding a block forward by D bits multiplies its low half (the earlier 8 bytes) by
// x^(D+32) mod P and its high half by x^(D-32) mod P; each factor is kept bit-reversed in 32 bits
// and shifted left by one, which makes up for the carry-less product of two bit-reversed numbers
// landing one bit low.

constexpr std::uint32_t ReflectedPoly = crc32table::ReflectedPolynomial;

// x^n mod P, bit-reversed (bit 31 holds x^0).
constexpr std::uint32_t XPowModP(unsigned n) {
    std::uint32_t r = 0x80000000u;
    for (unsigned i = 0; i < n; ++i) r = (r >> 1) ^ ((r & 1u) ? ReflectedPoly : 0u);
    return r;
}

constexpr std::uint64_t FoldFactor(unsigned n) { return static_cast<std::uint64_t>(XPowModP(n)) << 1; }

// floor(x^64 / P) for the Barrett reduction, bit-reversed over its 33 bits.
constexpr std::uint64_t BarrettQuotient() {
    constexpr std::uint64_t Poly = 0x104C11DB7u;  // P with its x^32 term, highest power in bit 32
    std::uint64_t remainder = 0;
    std::uint64_t quotient = 0;
    for (int bit = 64; bit >= 0; --bit) {
        remainder = (remainder << 1) | (bit == 64 ? 1u : 0u);
        quotient <<= 1;
        if (remainder & (std::uint64_t{1} << 32)) {
            remainder ^= Poly;
            quotient |= 1u;
        }
    }
    std::uint64_t reflected = 0;
    for (int bit = 0; bit <= 32; ++bit)
        if (quotient & (std::uint64_t{1} << bit)) reflected |= std::uint64_t{1} << (32 - bit);
    return reflected;
}

constexpr std::uint64_t Fold512Low = FoldFactor(512 + 32);  // 4 blocks of 16 bytes
constexpr std::uint64_t Fold512High = FoldFactor(512 - 32);
constexpr std::uint64_t Fold128Low = FoldFactor(128 + 32);  // 1 block of 16 bytes
constexpr std::uint64_t Fold128High = FoldFactor(128 - 32);
constexpr std::uint64_t Fold256Low = FoldFactor(256 + 32);  // 1 block of 32 bytes
constexpr std::uint64_t Fold256High = FoldFactor(256 - 32);
constexpr std::uint64_t Fold1024Low = FoldFactor(1024 + 32);  // 4 blocks of 32 bytes
constexpr std::uint64_t Fold1024High = FoldFactor(1024 - 32);
constexpr std::uint64_t Reduce64 = FoldFactor(64);
constexpr std::uint64_t BarrettPoly = (std::uint64_t{ReflectedPoly} << 1) | 1u;  // P bit-reversed, 33 bits
constexpr std::uint64_t BarrettMu = BarrettQuotient();

// The same numbers as the published PCLMULQDQ CRC-32 constants.
static_assert(Fold512Low == 0x154442BD4u && Fold512High == 0x1C6E41596u, "fold-by-4 constants");
static_assert(Fold128Low == 0x1751997D0u && Fold128High == 0x0CCAA009Eu, "fold-by-1 constants");
static_assert(Reduce64 == 0x163CD6124u, "64-bit reduction constant");
static_assert(BarrettPoly == 0x1DB710641u && BarrettMu == 0x1F7011641u, "Barrett constants");

// ---------------------------------------------------------------------------------------------
// CPU support

// 32-bit Windows promises only a 4-byte aligned stack; the vector kernels realign it on entry so
// that spilled vector registers stay aligned.
#if defined(__i386__)
#define CRC32KERNELS_ALIGN_STACK __attribute__((force_align_arg_pointer))
#else
#define CRC32KERNELS_ALIGN_STACK
#endif

#define CRC32KERNELS_PCLMUL __attribute__((target("sse2,pclmul")))
#define CRC32KERNELS_VPCLMUL __attribute__((target("avx2,vpclmulqdq,pclmul")))
#define CRC32KERNELS_INLINE inline __attribute__((always_inline))

struct CpuSupport {
    bool pclmul = false;
    bool vpclmul = false;
};

// The OS's XCR0: which register states it saves on a thread switch. Only with OSXSAVE set.
std::uint64_t ReadXcr0() {
    std::uint32_t low = 0;
    std::uint32_t high = 0;
    __asm__ volatile(".byte 0x0f, 0x01, 0xd0" : "=a"(low), "=d"(high) : "c"(0u));  // xgetbv
    return (static_cast<std::uint64_t>(high) << 32) | low;
}

CpuSupport DetectCpu() {
    CpuSupport support;
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return support;  // also false when there is no CPUID
    const bool sse2 = (edx & (1u << 26)) != 0;
    const bool pclmul = (ecx & (1u << 1)) != 0;
    const bool osxsave = (ecx & (1u << 27)) != 0;
    const bool avx = (ecx & (1u << 28)) != 0;
    support.pclmul = sse2 && pclmul;
    if (!support.pclmul || !osxsave || !avx) return support;
    if ((ReadXcr0() & 0x6u) != 0x6u) return support;  // the OS does not save the XMM and YMM registers
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return support;
    const bool avx2 = (ebx & (1u << 5)) != 0;
    const bool vpclmulqdq = (ecx & (1u << 10)) != 0;
    support.vpclmul = avx2 && vpclmulqdq;
    return support;
}

const CpuSupport& Cpu() {
    static const CpuSupport support = DetectCpu();
    return support;
}

// ---------------------------------------------------------------------------------------------
// 128-bit folding (PCLMULQDQ, SSE2)

CRC32KERNELS_PCLMUL CRC32KERNELS_INLINE __m128i Set64(std::uint64_t high, std::uint64_t low) {
    return _mm_set_epi64x(static_cast<long long>(high), static_cast<long long>(low));
}

// `block` carried forward by the distance the factors stand for, added to `next`.
CRC32KERNELS_PCLMUL CRC32KERNELS_INLINE __m128i Fold(__m128i block, __m128i factors, __m128i next) {
    const __m128i low = _mm_clmulepi64_si128(block, factors, 0x00);
    const __m128i high = _mm_clmulepi64_si128(block, factors, 0x11);
    return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

CRC32KERNELS_PCLMUL CRC32KERNELS_INLINE __m128i Load128(const std::uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// The register after the last 16 bytes, held in `block` (with everything before folded into it).
CRC32KERNELS_PCLMUL CRC32KERNELS_INLINE std::uint32_t Reduce(__m128i block) {
    const __m128i low32 = _mm_setr_epi32(-1, 0, -1, 0);
    // 128 -> 96 bits: the earlier 8 bytes times x^96, added to the later 8.
    __m128i x = _mm_clmulepi64_si128(block, Set64(Fold128High, Fold128Low), 0x10);
    x = _mm_xor_si128(_mm_srli_si128(block, 8), x);
    // 96 -> 64 bits: the lowest 32 bits times x^64, added to the rest.
    __m128i rest = _mm_srli_si128(x, 4);
    x = _mm_clmulepi64_si128(_mm_and_si128(x, low32), Set64(0, Reduce64), 0x00);
    x = _mm_xor_si128(x, rest);
    // Barrett: 64 -> 32 bits.
    const __m128i barrett = Set64(BarrettMu, BarrettPoly);
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x, low32), barrett, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), barrett, 0x00);
    x = _mm_xor_si128(x, t);
    return static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(x, 4)));
}

// size >= 64 and a multiple of 16.
CRC32KERNELS_PCLMUL CRC32KERNELS_ALIGN_STACK std::uint32_t FoldBy4x128(std::uint32_t reg, const std::uint8_t* data,
                                                                       std::size_t size) {
    __m128i x0 = _mm_xor_si128(Load128(data), _mm_cvtsi32_si128(static_cast<int>(reg)));
    __m128i x1 = Load128(data + 16);
    __m128i x2 = Load128(data + 32);
    __m128i x3 = Load128(data + 48);
    data += 64;
    size -= 64;
    const __m128i by4 = Set64(Fold512High, Fold512Low);
    while (size >= 64) {
        x0 = Fold(x0, by4, Load128(data));
        x1 = Fold(x1, by4, Load128(data + 16));
        x2 = Fold(x2, by4, Load128(data + 32));
        x3 = Fold(x3, by4, Load128(data + 48));
        data += 64;
        size -= 64;
    }
    const __m128i by1 = Set64(Fold128High, Fold128Low);
    x1 = Fold(x0, by1, x1);
    x2 = Fold(x1, by1, x2);
    x3 = Fold(x2, by1, x3);
    while (size >= 16) {
        x3 = Fold(x3, by1, Load128(data));
        data += 16;
        size -= 16;
    }
    return Reduce(x3);
}

std::uint32_t PclmulUpdate(std::uint32_t reg, const std::uint8_t* data, std::size_t size) {
    if (size < 64) return SlicingUpdate(reg, data, size);
    const std::size_t whole = size & ~std::size_t{15};
    reg = FoldBy4x128(reg, data, whole);
    return SlicingUpdate(reg, data + whole, size - whole);
}

// ---------------------------------------------------------------------------------------------
// 256-bit folding (VPCLMULQDQ, AVX2): two 16-byte blocks per register.

CRC32KERNELS_VPCLMUL CRC32KERNELS_INLINE __m256i Fold256(__m256i block, __m256i factors, __m256i next) {
    const __m256i low = _mm256_clmulepi64_epi128(block, factors, 0x00);
    const __m256i high = _mm256_clmulepi64_epi128(block, factors, 0x11);
    return _mm256_xor_si256(_mm256_xor_si256(low, high), next);
}

CRC32KERNELS_VPCLMUL CRC32KERNELS_INLINE __m256i Load256(const std::uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

CRC32KERNELS_VPCLMUL CRC32KERNELS_INLINE __m256i Factors256(std::uint64_t high, std::uint64_t low) {
    return _mm256_set_epi64x(static_cast<long long>(high), static_cast<long long>(low), static_cast<long long>(high),
                             static_cast<long long>(low));
}

// size >= 128 and a multiple of 16.
CRC32KERNELS_VPCLMUL CRC32KERNELS_ALIGN_STACK std::uint32_t FoldBy4x256(std::uint32_t reg, const std::uint8_t* data,
                                                                        std::size_t size) {
    __m256i y0 = _mm256_xor_si256(Load256(data), _mm256_setr_epi32(static_cast<int>(reg), 0, 0, 0, 0, 0, 0, 0));
    __m256i y1 = Load256(data + 32);
    __m256i y2 = Load256(data + 64);
    __m256i y3 = Load256(data + 96);
    data += 128;
    size -= 128;
    const __m256i by8 = Factors256(Fold1024High, Fold1024Low);
    while (size >= 128) {
        y0 = Fold256(y0, by8, Load256(data));
        y1 = Fold256(y1, by8, Load256(data + 32));
        y2 = Fold256(y2, by8, Load256(data + 64));
        y3 = Fold256(y3, by8, Load256(data + 96));
        data += 128;
        size -= 128;
    }
    const __m256i by2 = Factors256(Fold256High, Fold256Low);
    y1 = Fold256(y0, by2, y1);
    y2 = Fold256(y1, by2, y2);
    y3 = Fold256(y2, by2, y3);
    while (size >= 32) {
        y3 = Fold256(y3, by2, Load256(data));
        data += 32;
        size -= 32;
    }
    const __m128i by1 = Set64(Fold128High, Fold128Low);
    __m128i x = Fold(_mm256_castsi256_si128(y3), by1, _mm256_extracti128_si256(y3, 1));
    if (size >= 16) x = Fold(x, by1, Load128(data));
    return Reduce(x);
}

std::uint32_t VpclmulUpdate(std::uint32_t reg, const std::uint8_t* data, std::size_t size) {
    if (size < 256) return PclmulUpdate(reg, data, size);
    const std::size_t whole = size & ~std::size_t{15};
    reg = FoldBy4x256(reg, data, whole);
    return SlicingUpdate(reg, data + whole, size - whole);
}

#endif  // CRC32KERNELS_X86

KernelFn KernelFunction(Kernel kernel) {
    switch (kernel) {
    case Kernel::Bytewise: return &crc32table::ByteStep;
    case Kernel::Slicing: return &SlicingUpdate;
#if CRC32KERNELS_X86
    case Kernel::Pclmul: return Cpu().pclmul ? &PclmulUpdate : &SlicingUpdate;
    case Kernel::Vpclmul: return Cpu().vpclmul ? &VpclmulUpdate : &SlicingUpdate;
#endif
    default: return &SlicingUpdate;
    }
}

Kernel BestKernel() {
    if (Available(Kernel::Vpclmul)) return Kernel::Vpclmul;
    if (Available(Kernel::Pclmul)) return Kernel::Pclmul;
    return Kernel::Slicing;
}

}  // namespace

std::uint32_t Update(std::uint32_t reg, const std::uint8_t* data, std::size_t size) {
    // Chosen on the first call, once: a function-local static.
    static const KernelFn best = KernelFunction(BestKernel());
    return best(reg, data, size);
}

bool Available(Kernel kernel) {
    switch (kernel) {
    case Kernel::Bytewise:
    case Kernel::Slicing: return true;
#if CRC32KERNELS_X86
    case Kernel::Pclmul: return Cpu().pclmul;
    case Kernel::Vpclmul: return Cpu().vpclmul;
#endif
    default: return false;
    }
}

Kernel Selected() { return BestKernel(); }

std::uint32_t UpdateWith(Kernel kernel, std::uint32_t reg, const std::uint8_t* data, std::size_t size) {
    return KernelFunction(kernel)(reg, data, size);
}

const char* Name(Kernel kernel) {
    switch (kernel) {
    case Kernel::Bytewise: return "Bytewise";
    case Kernel::Slicing: return "Slicing";
    case Kernel::Pclmul: return "Pclmul";
    case Kernel::Vpclmul: return "Vpclmul";
    }
    return "?";
}

}  // namespace crc32kernels
