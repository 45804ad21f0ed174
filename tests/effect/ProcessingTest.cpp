// The plug-in's signal path as a host drives it: latency, the quiet-signal
// identities of every kernel, the limits, routing, precision and bad input.
#include "tests/effect/ProcessingRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <tuple>

namespace
{

constexpr int kKernels = 7;
const char* const kKernelNames[kKernels] = {"bypass",       "one-channel single", "one-channel multi", "linked single",
                                            "linked multi", "unlinked single",    "unlinked multi"};

size_t argmaxAbs(const std::vector<double>& v)
{
    size_t best = 0;
    for (size_t i = 1; i < v.size(); ++i)
        if (std::fabs(v[i]) > std::fabs(v[best]))
            best = i;
    return best;
}

double maxAbs(const std::vector<double>& v, size_t from = 0)
{
    double m = 0.0;
    for (size_t i = from; i < v.size(); ++i)
        m = std::max(m, std::fabs(v[i]));
    return m;
}

// The 15 Hz subsonic high-pass at the engine's rate, with the kernels'
// alternating 1e-16 bias on its input and its output, as a reference for the
// dry path of the one-channel single-band kernel. In the build with FAT the
// kernel first sees the 64 silent samples of the input alignment.
std::vector<double> subsonicReference(const std::vector<double>& x, const Variant& variant, double rate = 44100.0)
{
    const SubsonicCoefs c = designSubsonic(rate);
    SubsonicState st{};
    double d = 1e-16;
    for (int i = 0; i < (variant.hasFat ? 64 : 0); ++i) {
        d = -d;
        subsonicTick(c, st, d, d);
    }
    std::vector<double> y(x.size());
    for (size_t i = 0; i < x.size(); ++i) {
        d = -d;
        y[i] = subsonicTick(c, st, x[i] + d, d);
    }
    return y;
}

// ------------------------------------------------------------------ latency

using LatencyCase = std::tuple<const Variant*, float, bool>;

class Latency : public ::testing::TestWithParam<LatencyCase>
{
};

// An impulse comes out of every kernel exactly as many samples later as the
// plug-in reports to the host.
TEST_P(Latency, ImpulseArrivesAtTheReportedDelayInEveryKernel)
{
    const auto [variant, rate, fat] = GetParam();
    for (int kernel = 0; kernel < kKernels; ++kernel) {
        ProcessingRig rig(*variant, rate);
        rig.neutral();
        rig.set(ParamId::Fat, fat ? 1.0f : 0.0f);
        rig.selectKernel(kernel);
        const int latency = rig.fx().getAeffect()->initialDelay;
        ASSERT_EQ(latency, variant->latencySamples(rate));

        const size_t at = 300;
        Stereo in(at + static_cast<size_t>(latency) + 700);
        in.l[at] = 0.25;
        in.r[at] = 0.25;
        const Stereo out = rig.run(in, 100);
        SCOPED_TRACE(kKernelNames[kernel]);
        EXPECT_EQ(argmaxAbs(out.l), at + static_cast<size_t>(latency));
        EXPECT_EQ(argmaxAbs(out.r), at + static_cast<size_t>(latency));
        EXPECT_NEAR(out.l[at + static_cast<size_t>(latency)], 0.25, 0.01);
    }
}

INSTANTIATE_TEST_SUITE_P(AllBands, Latency,
                         ::testing::Combine(::testing::Values(&variants::kAmbrel2, &variants::kAmbrel),
                                            ::testing::Values(44100.0f, 96000.0f, 192000.0f), ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param)->hasFat ? "Ambrel2_" : "Ambrel_") +
                                    std::to_string(static_cast<int>(std::get<1>(info.param))) +
                                    (std::get<2>(info.param) ? "_Fat" : "");
                         });

// ------------------------------------------------------ quiet-signal identities

class Builds : public ::testing::TestWithParam<const Variant*>
{
};
INSTANTIATE_TEST_SUITE_P(Both, Builds, ::testing::Values(&variants::kAmbrel2, &variants::kAmbrel),
                         [](const auto& info) { return info.param->hasFat ? "Ambrel2" : "Ambrel"; });

// At neutral settings a quiet signal passes the one-channel single-band
// kernel as its subsonic-filtered self, to the bit, delayed by the latency.
TEST_P(Builds, OneChannelSingleBandPassesTheFilteredInputExactly)
{
    ProcessingRig rig(*GetParam());
    rig.neutral();
    rig.selectKernel(1);
    const Stereo in = programSignal(6000, 0.3);
    const Stereo out = rig.run(in);
    const std::vector<double> ref = subsonicReference(in.l, *GetParam());
    const size_t lat = static_cast<size_t>(rig.fx().getAeffect()->initialDelay);
    for (size_t i = lat; i < in.size(); ++i) {
        ASSERT_EQ(out.l[i], ref[i - lat]) << i;
        ASSERT_EQ(out.r[i], ref[i - lat]) << i; // mono: both outputs carry the left input
    }
}

// The other kernels carry the raw input on the dry path and the filtered one
// (split into bands and summed again in multi band) on the wet path; at Mix
// 1 and a quiet level the output is the filtered input within rounding.
TEST_P(Builds, EveryProcessingKernelPassesAQuietSignalUnchanged)
{
    const Stereo in = programSignal(6000, 0.3);
    const std::vector<double> refL = subsonicReference(in.l, *GetParam());
    const std::vector<double> refR = subsonicReference(in.r, *GetParam());
    for (int kernel = 2; kernel < kKernels; ++kernel) {
        ProcessingRig rig(*GetParam());
        rig.neutral();
        rig.set(ParamId::Brickwall, 1.0f); // the limiter stays out below full scale
        rig.selectKernel(kernel);
        const Stereo out = rig.run(in);
        const size_t lat = static_cast<size_t>(rig.fx().getAeffect()->initialDelay);
        SCOPED_TRACE(kKernelNames[kernel]);
        for (size_t i = lat; i < in.size(); ++i) {
            ASSERT_NEAR(out.l[i], refL[i - lat], 1e-13) << i;
            ASSERT_NEAR(out.r[i], kernel == 2 ? refL[i - lat] : refR[i - lat], 1e-13) << i;
        }
    }
}

// Mix 0 leaves the dry path alone: the raw input (the filtered one in the
// one-channel single-band kernel) times the Output gain.
TEST_P(Builds, MixZeroGivesTheDryPathTimesOutput)
{
    const Stereo in = programSignal(5000, 0.9);
    for (int kernel = 1; kernel < kKernels; ++kernel) {
        ProcessingRig rig(*GetParam());
        rig.neutral();
        rig.set(ParamId::Drive, 1.0f); // the wet path is heavily compressed
        rig.set(ParamId::Mix, 0.0f);
        rig.set(ParamId::Output, 0.25f);
        rig.selectKernel(kernel);
        const double gain = rig.engine().controls().outputGain.load();
        EXPECT_EQ(gain, 0.5); // -6.02 dB
        const Stereo out = rig.run(in);
        const std::vector<double> filtered = subsonicReference(in.l, *GetParam());
        const size_t lat = static_cast<size_t>(rig.fx().getAeffect()->initialDelay);
        SCOPED_TRACE(kKernelNames[kernel]);
        for (size_t i = lat; i < in.size(); i += 7) {
            const double dry = kernel == 1 ? filtered[i - lat] : in.l[i - lat];
            ASSERT_NEAR(out.l[i], dry * gain, 1e-15) << i;
        }
    }
}

// ----------------------------------------------------------------- routing

// L R selects the processed channel; the other one passes delayed, scaled by
// Output in the build that has FAT and at its own level in the other.
TEST_P(Builds, PassedChannelOfTheOneChannelKernels)
{
    for (const bool multi : {false, true}) {
        ProcessingRig rig(*GetParam());
        rig.neutral();
        rig.selectKernel(multi ? 2 : 1);
        rig.set(ParamId::LR, 0.5f); // left processed, right passed
        rig.set(ParamId::Output, 0.75f);
        rig.set(ParamId::Drive, 1.0f);
        const Stereo in = programSignal(4000, 0.8, 5);
        const Stereo out = rig.run(in);
        const size_t lat = static_cast<size_t>(rig.fx().getAeffect()->initialDelay);
        const double gain = GetParam()->passedChannelGain ? rig.engine().controls().outputGain.load() : 1.0;
        for (size_t i = lat; i < in.size(); ++i)
            ASSERT_NEAR(out.r[i], in.r[i - lat] * gain, 1e-15) << i;
        // The processed channel is compressed, not passed.
        EXPECT_GT(std::fabs(out.l[3000] - in.l[3000 - lat] * rig.engine().controls().outputGain.load()), 1e-3);
    }
}

// A host that connects only the first pins: both channels process the left
// input, and the right channel's result ends up in the single output.
TEST(Routing, SinglePinHostsProcessTheLeftInput)
{
    ProcessingRig rig;
    rig.neutral();
    rig.selectKernel(5); // unlinked: each channel on its own
    rig.set(ParamId::Drive, 0.9f);
    const Stereo in = programSignal(3000, 0.8);
    std::vector<double> outL(in.size(), 0.0), outR(in.size(), 0.0);
    double* ins[2] = {const_cast<double*>(in.l.data()), nullptr};
    double* outs[2] = {outL.data(), nullptr};
    rig.fx().processDoubleReplacing(ins, outs, static_cast<int>(in.size()));

    ProcessingRig twin;
    twin.neutral();
    twin.selectKernel(5);
    twin.set(ParamId::Drive, 0.9f);
    Stereo both(in.size());
    both.l = in.l;
    both.r = in.l;
    const Stereo ref = twin.run(both, static_cast<int>(in.size()));
    for (size_t i = 0; i < in.size(); ++i)
        ASSERT_EQ(outL[i], ref.r[i]) << i;
}

// A loud left channel pulls the right channel's gain down only when linked.
TEST(Routing, LinkedKernelsShareTheGainUnlinkedDoNot)
{
    Stereo in = programSignal(8000, 0.05, 9);
    for (size_t i = 0; i < in.size(); ++i)
        in.l[i] = 0.95 * std::sin(0.05 * static_cast<double>(i));
    for (const bool multi : {false, true}) {
        double deviation[2] = {0.0, 0.0};
        for (const bool linked : {false, true}) {
            ProcessingRig rig;
            rig.neutral();
            rig.set(ParamId::Drive, 1.0f);
            rig.selectKernel(linked ? (multi ? 4 : 3) : (multi ? 6 : 5));
            const Stereo out = rig.run(in);
            // The right channel alone through the same kernel, for reference.
            ProcessingRig alone;
            alone.neutral();
            alone.set(ParamId::Drive, 1.0f);
            alone.selectKernel(linked ? (multi ? 4 : 3) : (multi ? 6 : 5));
            Stereo quiet = in;
            std::fill(quiet.l.begin(), quiet.l.end(), 0.0);
            const Stereo ref = alone.run(quiet);
            for (size_t i = 4000; i < in.size(); ++i)
                deviation[linked] = std::max(deviation[linked], std::fabs(out.r[i] - ref.r[i]));
        }
        SCOPED_TRACE(multi ? "multi band" : "single band");
        EXPECT_EQ(deviation[0], 0.0);  // unlinked: no cross-talk at all
        EXPECT_GT(deviation[1], 0.01); // linked: the right channel is turned down
    }
}

// ----------------------------------------------------------------- limits

// FAT with Brickwall: whatever the drive, no output sample exceeds the
// Output gain.
TEST(Limits, FatBrickwallBoundsTheOutputByOutputGain)
{
    Stereo in = programSignal(20000, 1.0, 4);
    for (double& x : in.l)
        x *= 3.0; // far over full scale
    for (int kernel = 1; kernel < kKernels; ++kernel) {
        ProcessingRig rig;
        rig.set(ParamId::Fat, 1.0f);
        rig.set(ParamId::Brickwall, 1.0f);
        rig.set(ParamId::Drive, 1.0f);
        rig.set(ParamId::Ceiling, 1.0f);
        rig.set(ParamId::Output, 0.3f);
        rig.selectKernel(kernel);
        const double bound = rig.engine().controls().outputGain.load();
        const Stereo out = rig.run(in);
        SCOPED_TRACE(kKernelNames[kernel]);
        EXPECT_LE(maxAbs(out.l), bound);
        EXPECT_LE(maxAbs(out.r), bound);
        EXPECT_GT(maxAbs(out.l), 0.9 * bound);
    }
}

// Without FAT the kernels bound the wet signal themselves: at Mix 1 and
// Output 0 dB nothing exceeds the Ceiling gain.
TEST(Limits, BrickwallBoundsTheWetSignalByCeiling)
{
    Stereo in = programSignal(20000, 1.0, 6);
    for (size_t i = 0; i < in.size(); ++i) {
        in.l[i] *= 4.0;
        in.r[i] *= 2.0;
    }
    for (int kernel = 1; kernel < kKernels; ++kernel) {
        ProcessingRig rig;
        rig.neutral();
        rig.set(ParamId::Brickwall, 1.0f);
        rig.set(ParamId::Ceiling, 0.3f);
        rig.set(ParamId::Drive, 0.8f);
        rig.set(ParamId::Auto, 1.0f);
        rig.selectKernel(kernel);
        const double bound = rig.engine().controls().ceilingGain.load();
        const Stereo out = rig.run(in);
        SCOPED_TRACE(kKernelNames[kernel]);
        EXPECT_LE(maxAbs(out.l), bound * (1.0 + 1e-12));
        EXPECT_LE(maxAbs(out.r), bound * (1.0 + 1e-12));
    }
}

// Process off with FAT and Brickwall on: the bypassed signal is not clipped
// to the Output gain (which does not even apply to it).
TEST(Limits, FatBrickwallClampLeavesTheBypassAlone)
{
    ProcessingRig rig;
    rig.set(ParamId::Fat, 1.0f);
    rig.set(ParamId::Brickwall, 1.0f);
    rig.set(ParamId::Output, 0.0f); // -12 dB
    rig.selectKernel(0);
    const Stereo in = programSignal(6000, 0.9, 8);
    const Stereo out = rig.run(in);
    const size_t lat = static_cast<size_t>(rig.fx().getAeffect()->initialDelay);
    for (size_t i = lat; i < in.size(); ++i)
        ASSERT_NEAR(out.l[i], in.l[i - lat], 0.01) << i;
    EXPECT_GT(maxAbs(out.l), 0.5);
}

// HighFreq at 16 kHz with a host rate of 22050 Hz puts the high tone
// filter's corner above the Nyquist frequency; it is held just below it, so
// the output stays finite and bounded.
TEST(Limits, ToneFiltersStayStableAtLowRates)
{
    for (int kernel = 1; kernel < kKernels; ++kernel) {
        ProcessingRig rig(variants::kAmbrel2, 22050.0f);
        rig.neutral();
        rig.set(ParamId::HighFreq, 1.0f);
        rig.set(ParamId::HighAdjust, 0.8f);
        rig.selectKernel(kernel);
        const Stereo out = rig.run(programSignal(20000, 0.5, 2, 22050.0));
        SCOPED_TRACE(kKernelNames[kernel]);
        for (size_t i = 0; i < out.size(); ++i)
            ASSERT_TRUE(std::isfinite(out.l[i]) && std::fabs(out.l[i]) < 4.0) << i;
    }
}

// --------------------------------------------------------------- bad input

// NaN and infinite samples enter as silence: the output is exactly what the
// same signal with zeros in their place gives, so it is back to normal at
// once instead of staying NaN for ever.
TEST(BadInput, NanAndInfinityAreSilence)
{
    for (int kernel = 0; kernel < kKernels; ++kernel) {
        for (const bool fat : {false, true}) {
            Stereo clean = programSignal(6000, 0.9, 11);
            Stereo dirty = clean;
            for (size_t i : {size_t(1000), size_t(1001), size_t(2500), size_t(4000)}) {
                clean.l[i] = clean.r[i] = 0.0;
                dirty.l[i] = std::numeric_limits<double>::quiet_NaN();
                dirty.r[i] =
                    i == 2500 ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
            }
            dirty.l[3000] = 1e300;
            clean.l[3000] = 0.0;
            Stereo outs[2];
            for (int k = 0; k < 2; ++k) {
                ProcessingRig rig;
                rig.set(ParamId::Auto, 1.0f);
                rig.set(ParamId::Fat, fat ? 1.0f : 0.0f);
                rig.selectKernel(kernel);
                rig.fx().setEditorOpen(true);
                outs[k] = rig.run(k == 0 ? clean : dirty);
                EXPECT_TRUE(std::isfinite(rig.fx().getMeterValue(0)));
            }
            SCOPED_TRACE(kKernelNames[kernel]);
            for (size_t i = 0; i < clean.size(); ++i) {
                ASSERT_EQ(outs[0].l[i], outs[1].l[i]) << i;
                ASSERT_EQ(outs[0].r[i], outs[1].r[i]) << i;
            }
        }
    }
}

// A burst of finite samples far above any real level (+160 dBFS and more)
// enters as silence too: afterwards the output is the output after silence,
// to the last bit, instead of a slow swing left in the filters. A loud but
// real signal (+60 dBFS) is still processed.
TEST(BadInput, AbsurdFiniteLevelsAreSilenceLoudSignalsAreNot)
{
    constexpr size_t kBurstStart = 2000, kBurstLength = 4410; // 0.1 s at 44.1 kHz
    for (int kernel = 0; kernel < kKernels; ++kernel) {
        for (const bool fat : {false, true}) {
            const auto render = [&](double level) {
                Stereo in = programSignal(12000, 0.5, 5);
                for (size_t i = kBurstStart; i < kBurstStart + kBurstLength; ++i) {
                    const double sign = (i / 7) % 2 ? 1.0 : -1.0;
                    in.l[i] = level * sign;
                    in.r[i] = -level * sign * 1.5;
                }
                ProcessingRig rig;
                rig.set(ParamId::Auto, 1.0f);
                rig.set(ParamId::Fat, fat ? 1.0f : 0.0f);
                rig.selectKernel(kernel);
                return rig.run(in);
            };
            SCOPED_TRACE(std::string(kKernelNames[kernel]) + (fat ? " FAT" : ""));
            const Stereo silence = render(0.0);
            for (const double level : {1.01e8, 1e15, 1e30}) {
                const Stereo absurd = render(level);
                for (size_t i = 0; i < silence.size(); ++i) {
                    ASSERT_EQ(absurd.l[i], silence.l[i]) << level << " at " << i;
                    ASSERT_EQ(absurd.r[i], silence.r[i]) << level << " at " << i;
                }
            }
            const Stereo loud = render(1000.0);
            bool differs = false;
            for (size_t i = kBurstStart; i < silence.size() && !differs; ++i)
                differs = loud.l[i] != silence.l[i];
            EXPECT_TRUE(differs);
        }
    }
}

// ---------------------------------------------------------------- precision

// The float entry point runs the same double-precision engine: its output is
// the double entry point's output rounded to float, in every kernel, with
// and without FAT, for host blocks that do not divide into 64 frames.
TEST(Precision, FloatAndDoubleEntryPointsAgree)
{
    const Stereo sig = programSignal(5000, 1.2, 13);
    std::vector<float> fl(sig.size()), fr(sig.size());
    Stereo in(sig.size());
    for (size_t i = 0; i < sig.size(); ++i) {
        fl[i] = static_cast<float>(sig.l[i]);
        fr[i] = static_cast<float>(sig.r[i]);
        in.l[i] = fl[i];
        in.r[i] = fr[i];
    }
    for (int kernel = 0; kernel < kKernels; ++kernel) {
        for (const bool fat : {false, true}) {
            ProcessingRig a, b;
            for (ProcessingRig* rig : {&a, &b}) {
                rig->set(ParamId::Fat, fat ? 1.0f : 0.0f);
                rig->set(ParamId::Drive, 0.8f);
                rig->selectKernel(kernel);
            }
            const Stereo d = a.run(in, 100);
            const auto f = b.runFloat(fl, fr, 100);
            SCOPED_TRACE(kKernelNames[kernel]);
            for (size_t i = 0; i < sig.size(); ++i) {
                ASSERT_EQ(static_cast<float>(d.l[i]), f[0][i]) << i;
                ASSERT_EQ(static_cast<float>(d.r[i]), f[1][i]) << i;
            }
        }
    }
}

} // namespace
