// Block checksum throughput: the production path over 4096-byte blocks
// against the portable and one-lookup-per-byte variants.

#include "descriptor/Crc32.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

constexpr std::size_t BlockSize = 4096;
constexpr std::size_t Blocks = 256;  // 1 MiB, like one read piece

const std::vector<unsigned char> &data()
{
    static const std::vector<unsigned char> bytes = [] {
        std::vector<unsigned char> v(BlockSize * Blocks);
        std::mt19937 gen(42);
        for (auto &b : v)
            b = static_cast<unsigned char>(gen());
        return v;
    }();
    return bytes;
}

template <quint32 (*Crc)(const void *, std::size_t)>
void blocks(benchmark::State &state)
{
    const auto &bytes = data();
    for (auto _ : state) {
        quint32 acc = 0;
        for (std::size_t k = 0; k < Blocks; ++k)
            acc ^= Crc(bytes.data() + k * BlockSize, BlockSize);
        benchmark::DoNotOptimize(acc);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(bytes.size()));
}

void computeCRC32(benchmark::State &state)
{
    const auto &bytes = data();
    for (auto _ : state) {
        qint32 acc = 0;
        for (std::size_t k = 0; k < Blocks; ++k)
            acc ^= blockCrc32(QByteArrayView(bytes.data() + k * BlockSize, BlockSize), 1.2f);
        benchmark::DoNotOptimize(acc);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(bytes.size()));
}

}  // namespace

BENCHMARK(computeCRC32);
BENCHMARK(blocks<crc32>)->Name("crc32/4096");
BENCHMARK(blocks<crc32Portable>)->Name("crc32Portable/4096");
BENCHMARK(blocks<crc32Reference>)->Name("crc32Reference/4096");

BENCHMARK_MAIN();
