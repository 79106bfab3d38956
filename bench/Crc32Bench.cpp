// Throughput of each CRC-32 kernel and of zlib's crc32 over the same random buffers of 4 KiB,
// 1 MiB and 64 MiB. After the table, one line compares the fastest kernel with zlib:
//     crc32 vs zlib: R1x at 1 MiB, R2x at 64 MiB
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "filecheck/Crc32Kernels.h"

namespace {

using crc32kernels::Kernel;

constexpr std::int64_t KiB = 1024;
constexpr std::int64_t MiB = 1024 * KiB;
constexpr std::int64_t Sizes[] = {4 * KiB, 1 * MiB, 64 * MiB};

const std::vector<std::uint8_t>& Buffer() {
    static const std::vector<std::uint8_t> buffer = [] {
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(64 * MiB));
        std::mt19937 random(20240601);
        for (std::size_t i = 0; i < bytes.size(); i += 4) {
            const auto word = static_cast<std::uint32_t>(random());
            for (std::size_t k = 0; k < 4; ++k) bytes[i + k] = static_cast<std::uint8_t>(word >> (8 * k));
        }
        return bytes;
    }();
    return buffer;
}

void KernelRun(benchmark::State& state, Kernel kernel) {
    const std::uint8_t* data = Buffer().data();
    const auto size = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        std::uint32_t reg = crc32kernels::UpdateWith(kernel, 0xFFFFFFFFu, data, size);
        benchmark::DoNotOptimize(reg);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void ZlibRun(benchmark::State& state) {
    const std::uint8_t* data = Buffer().data();
    const auto size = static_cast<uInt>(state.range(0));
    for (auto _ : state) {
        uLong crc = crc32(0, data, size);
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

std::string RunName(const std::string& family, std::int64_t size) { return family + "/" + std::to_string(size); }

// The console table as usual, and each run's bytes per second kept by name ("Pclmul/1048576").
class RateCollector : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> rates;

    // Colours only on a terminal.
    RateCollector() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs) {
            const auto rate = run.counters.find("bytes_per_second");
            if (rate != run.counters.end() && rate->second.value > 0) rates[run.benchmark_name()] = rate->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

// The fastest kernel's throughput over zlib's at one size, as "3.21x"; "n/a" when not measured.
std::string Ratio(const RateCollector& collector, std::int64_t size) {
    const auto zlib = collector.rates.find(RunName("zlib", size));
    double best = 0;
    for (Kernel kernel : crc32kernels::AllKernels) {
        const auto rate = collector.rates.find(RunName(crc32kernels::Name(kernel), size));
        if (rate != collector.rates.end() && rate->second > best) best = rate->second;
    }
    if (zlib == collector.rates.end() || best <= 0) return "n/a";
    char text[32];
    std::snprintf(text, sizeof text, "%.2fx", best / zlib->second);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    Buffer();  // filled before any timing

    for (std::int64_t size : Sizes) benchmark::RegisterBenchmark("zlib", ZlibRun)->Arg(size);
    for (Kernel kernel : crc32kernels::AllKernels) {
        if (!crc32kernels::Available(kernel)) continue;
        for (std::int64_t size : Sizes) {
            benchmark::RegisterBenchmark(crc32kernels::Name(kernel), [kernel](benchmark::State& state) {
                KernelRun(state, kernel);
            })->Arg(size);
        }
    }

    benchmark::AddCustomContext("Update's kernel", crc32kernels::Name(crc32kernels::Selected()));
    RateCollector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    benchmark::Shutdown();
    std::fflush(stdout);
    std::printf("crc32 vs zlib: %s at 1 MiB, %s at 64 MiB\n", Ratio(collector, 1 * MiB).c_str(),
                Ratio(collector, 64 * MiB).c_str());
    return 0;
}
