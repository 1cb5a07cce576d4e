// Block checksum throughput: the production path over 4096-byte blocks
// against the portable variant.

#include "descriptor/Crc32.h"
#include "descriptor/DescriptorHeader.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

constexpr std::size_t Blocks = 256;  // 1 MiB, like one read piece

const std::vector<unsigned char> &data()
{
    static const std::vector<unsigned char> bytes = [] {
        std::vector<unsigned char> v(std::size_t(BlockSize) * Blocks);
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
            acc ^= Crc(bytes.data() + k * BlockSize, std::size_t(BlockSize));
        benchmark::DoNotOptimize(acc);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(bytes.size()));
}

void blockCrc(benchmark::State &state)
{
    const auto &bytes = data();
    for (auto _ : state) {
        quint32 acc = 0;
        for (std::size_t k = 0; k < Blocks; ++k)
            acc ^= blockCrc32(QByteArrayView(bytes.data() + k * BlockSize, BlockSize), 1.2f);
        benchmark::DoNotOptimize(acc);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(bytes.size()));
}

}  // namespace

BENCHMARK(blockCrc);
BENCHMARK(blocks<crc32>)->Name("crc32/4096");
BENCHMARK(blocks<crc32Portable>)->Name("crc32Portable/4096");

BENCHMARK_MAIN();
