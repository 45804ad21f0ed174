// Cost of the 2x resampling of one 64-frame stereo block (upsample both
// channels to 128 samples, downsample both back): the per-block overhead of
// the doubled-rate mode. Reference is the scalar ring form; the fast form
// runs with the sums of each instruction set the processor has.
#include "dsp/HalfbandResampler.h"

#include <benchmark/benchmark.h>

#include <random>
#include <type_traits>

namespace {

template <typename Resampler> Resampler make(SimdLevel level)
{
    if constexpr (std::is_same_v<Resampler, HalfbandResampler>)
        return Resampler(level);
    else
        return Resampler();
}

template <typename Resampler, SimdLevel Level = SimdLevel::Sse2>
void stereoBlock(benchmark::State& state)
{
    if (!simdLevelSupported(Level)) {
        state.SkipWithError("instruction set not supported by this processor");
        return;
    }
    const int n = static_cast<int>(state.range(0));
    Resampler left = make<Resampler>(Level), right = make<Resampler>(Level);
    std::mt19937 rng(1);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    double source[2][64];
    for (auto& channel : source)
        for (double& x : channel)
            x = dist(rng);
    double l[128], r[128];
    for (auto _ : state) {
        for (int i = 0; i < n; ++i) {
            l[i] = source[0][i];
            r[i] = source[1][i];
        }
        left.upsample(l, n);
        right.upsample(r, n);
        left.downsample(l, 2 * n);
        right.downsample(r, 2 * n);
        benchmark::DoNotOptimize(l);
        benchmark::DoNotOptimize(r);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

template <typename Resampler>
void stereoAlign(benchmark::State& state)
{
    Resampler left, right;
    double l[64] = {}, r[64] = {};
    for (auto _ : state) {
        left.alignInput(l, 64);
        right.alignInput(r, 64);
        left.alignOutput(l, 64);
        right.alignOutput(r, 64);
        benchmark::DoNotOptimize(l);
        benchmark::DoNotOptimize(r);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 64);
}

} // namespace

BENCHMARK(stereoBlock<HalfbandResamplerReference>)->Name("ResampleStereo/Reference")->Arg(64)->Arg(36)->Arg(7)->Arg(1);
BENCHMARK(stereoBlock<HalfbandResampler, SimdLevel::Scalar>)->Name("ResampleStereo/scalar")->Arg(64)->Arg(36)->Arg(7)->Arg(1);
BENCHMARK(stereoBlock<HalfbandResampler, SimdLevel::Sse2>)->Name("ResampleStereo/sse2")->Arg(64)->Arg(36)->Arg(7)->Arg(1);
BENCHMARK(stereoBlock<HalfbandResampler, SimdLevel::Avx2>)->Name("ResampleStereo/avx2")->Arg(64)->Arg(36)->Arg(7)->Arg(1);
BENCHMARK(stereoAlign<HalfbandResamplerReference>)->Name("AlignStereo64/Reference");
BENCHMARK(stereoAlign<HalfbandResampler>)->Name("AlignStereo64/Fast");
