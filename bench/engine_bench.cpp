// Processing speed of the plug-in through its host entry points, as a
// multiple of real time on one core (counter "xRT"), for every kernel with
// FAT off and on, at 44.1 and 96 kHz, in both sample precisions, with the
// kernels and resampler of each instruction set the processor has (argument
// simd: 0 scalar reference, 1 SSE2, 2 AVX2); and the cost of small host
// blocks.
//
// Run (the machine should be otherwise idle; interleaving evens out drift):
//   build/linux/bench/engine_bench --benchmark_min_time=0.2 --benchmark_repetitions=3
//       --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true
// The heaviest mode alone: --benchmark_filter='kernel:6/fat:1/rate:44100'
#include "effect/Ambrel.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace
{

const char* const kKernelNames[] = {"bypass",      "oneChSingle",    "oneChMulti",   "linkedSingle",
                                    "linkedMulti", "unlinkedSingle", "unlinkedMulti"};

// Two seconds of stereo program-like material: low-passed noise under a
// slow envelope, peaks near 0 dBFS.
template <typename T> void programSignal(std::vector<T>& l, std::vector<T>& r, double rate)
{
    const size_t n = static_cast<size_t>(2.0 * rate);
    l.resize(n);
    r.resize(n);
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0.0, 1.0);
    const double a = std::exp(-2.0 * 3.141592653589793 * 4000.0 / rate);
    double l1 = 0, l2 = 0, r1 = 0, r2 = 0;
    for (size_t i = 0; i < n; ++i) {
        l1 = a * l1 + (1 - a) * noise(rng);
        l2 = a * l2 + (1 - a) * l1;
        r1 = a * r1 + (1 - a) * noise(rng);
        r2 = a * r2 + (1 - a) * (0.6 * r1 + 0.4 * l1);
        const double env = 0.6 + 0.4 * std::sin(2.0 * 3.141592653589793 * 0.8 * static_cast<double>(i) / rate);
        l[i] = static_cast<T>(std::tanh(3.0 * l2) * env);
        r[i] = static_cast<T>(std::tanh(3.0 * r2) * env);
    }
}

// The engine takes its instruction set from AMBREL_SIMD when it is built.
std::unique_ptr<Ambrel> makeEffect(int kernel, bool fat, float rate, SimdLevel level)
{
    const Variant& v = variants::kAmbrel2;
    ::setenv("AMBREL_SIMD", simdLevelName(level), 1);
    auto fx = std::make_unique<Ambrel>(nullptr, v);
    ::unsetenv("AMBREL_SIMD");
    fx->setSampleRate(rate);
    fx->resume();
    auto set = [&](ParamId id, float x) { fx->setParameter(v.index(id), x); };
    set(ParamId::Fat, fat ? 1.0f : 0.0f);
    set(ParamId::Process, kernel == 0 ? 0.0f : 1.0f);
    set(ParamId::MonoStereo, (kernel == 1 || kernel == 2) ? 0.0f : 1.0f);
    set(ParamId::Link, (kernel == 3 || kernel == 4) ? 1.0f : 0.0f);
    set(ParamId::Mode, (kernel == 2 || kernel == 4 || kernel == 6) ? 1.0f : 0.0f);
    set(ParamId::Drive, 0.7f);
    set(ParamId::Brickwall, 1.0f);
    return fx;
}

template <typename T> void process(Ambrel& fx, T** in, T** out, int n);
template <> void process<float>(Ambrel& fx, float** in, float** out, int n)
{
    fx.processReplacing(in, out, n);
}
template <> void process<double>(Ambrel& fx, double** in, double** out, int n)
{
    fx.processDoubleReplacing(in, out, n);
}

// Args: kernel, FAT, rate in Hz, host block, instruction set.
template <typename T> void BM_Process(benchmark::State& state)
{
    const int kernel = static_cast<int>(state.range(0));
    const bool fat = state.range(1) != 0;
    const float rate = static_cast<float>(state.range(2));
    const int block = static_cast<int>(state.range(3));
    const SimdLevel level = static_cast<SimdLevel>(state.range(4));
    if (!simdLevelSupported(level)) {
        state.SkipWithError("instruction set not supported by this processor");
        return;
    }
    auto fx = makeEffect(kernel, fat, rate, level);
    std::vector<T> l, r;
    programSignal(l, r, rate);
    std::vector<T> ol(l.size()), orr(r.size());
    size_t pos = 0;
    int64_t frames = 0;
    for (auto _ : state) {
        if (pos + static_cast<size_t>(block) > l.size())
            pos = 0;
        T* in[2] = {l.data() + pos, r.data() + pos};
        T* out[2] = {ol.data() + pos, orr.data() + pos};
        process<T>(*fx, in, out, block);
        benchmark::DoNotOptimize(ol[pos]);
        pos += static_cast<size_t>(block);
        frames += block;
    }
    state.SetItemsProcessed(frames);
    state.counters["xRT"] = benchmark::Counter(static_cast<double>(frames) / rate, benchmark::Counter::kIsRate);
    state.counters["nsPerFrame"] =
        benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetLabel(std::string(kKernelNames[kernel]) + (fat ? " FAT " : " ") + simdLevelName(level));
}

constexpr int kLevels[] = {static_cast<int>(SimdLevel::Scalar), static_cast<int>(SimdLevel::Sse2),
                           static_cast<int>(SimdLevel::Avx2)};

void allModes(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"kernel", "fat", "rate", "block", "simd"});
    for (int rate : {44100, 96000})
        for (int fat : {0, 1})
            for (int kernel = 0; kernel < 7; ++kernel)
                for (int level : kLevels)
                    b->Args({kernel, fat, rate, 512, level});
}

// Host block cost: the heaviest mode and the light linked single band.
void blockSizes(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"kernel", "fat", "rate", "block", "simd"});
    for (int block : {32, 512})
        for (int level : kLevels) {
            b->Args({6, 1, 44100, block, level});
            b->Args({3, 0, 44100, block, level});
        }
}

} // namespace

BENCHMARK_TEMPLATE(BM_Process, float)->Apply(allModes);
BENCHMARK_TEMPLATE(BM_Process, double)->Apply(allModes);
BENCHMARK_TEMPLATE(BM_Process, float)->Name("BlockSize")->Apply(blockSizes);
