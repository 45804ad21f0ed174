// Parameters reaching the engine: derived gains, timing, switches, the
// clearing rules, the meter feed and the over flags.
#include "tests/effect/ProcessingRig.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{

double maxAbs(const std::vector<double>& v, size_t from, size_t to)
{
    double m = 0.0;
    for (size_t i = from; i < to && i < v.size(); ++i)
        m = std::max(m, std::fabs(v[i]));
    return m;
}

Stereo sine(size_t n, double peak, double hz, double rate = 44100.0)
{
    Stereo s(n);
    for (size_t i = 0; i < n; ++i)
        s.l[i] = s.r[i] = peak * std::sin(2.0 * 3.141592653589793 * hz * static_cast<double>(i) / rate);
    return s;
}

// ----------------------------------------------------------- derived values

// Edge values of the derived gains and timing.
TEST(EngineControl, DerivedValues)
{
    ProcessingRig rig;
    const auto& c = rig.engine().controls();
    rig.set(ParamId::Drive, 1.0f);
    EXPECT_DOUBLE_EQ(c.driveGain.load(), 16.0);
    // FineTune 0 re-applies Drive at a scale of 1/8: about +3 dB at the top,
    // and 0 dB stays 0 dB.
    rig.set(ParamId::FineTune, 0.0f);
    EXPECT_NEAR(c.driveGain.load(), std::sqrt(2.0), 1e-12);
    EXPECT_NEAR(c.outputGain.load(), 1.0, 1e-12);
    rig.set(ParamId::Knee, 0.24f);
    EXPECT_EQ(c.kneeShape.load(), 0);
    EXPECT_NEAR(c.kneeAmount.load(), 0.96, 1e-6);
    rig.set(ParamId::Knee, 0.25f);
    EXPECT_EQ(c.kneeShape.load(), 1);
    EXPECT_EQ(c.kneeAmount.load(), 0.0);
    // The ceiling drive is where the curve reaches 1 / ceiling gain.
    rig.set(ParamId::FineTune, 1.0f);
    rig.set(ParamId::Ceiling, 0.75f); // +6 dB
    EXPECT_NEAR(saturate(SaturationCurve::fromKnee(1, 0.0), static_cast<double>(c.ceilingDrive.load())), 0.5, 1e-6);
    rig.set(ParamId::Speed, 0.0f);
    EXPECT_EQ(c.lookaheadSamples.load(), 3); // trunc(3.3075)
    rig.set(ParamId::Fat, 1.0f);
    EXPECT_EQ(c.lookaheadSamples.load(), 6);
}

// FAT is held off above 100 kHz; back below it the stored request applies
// again, as the display has been saying all along.
TEST(EngineControl, FatFollowsTheStoredSwitchAcrossRateChanges)
{
    ProcessingRig rig;
    const int fat = rig.variant().index(ParamId::Fat);
    rig.set(ParamId::Fat, 1.0f);
    EXPECT_EQ(rig.fx().getEngineValue(fat), 1.0);
    rig.fx().setSampleRate(176400.0f);
    rig.fx().resume();
    EXPECT_EQ(rig.fx().getEngineValue(fat), 0.0);
    char text[64];
    rig.fx().getParameterDisplay(fat, text);
    EXPECT_STREQ(text, " FAT ");
    rig.set(ParamId::Fat, 1.0f); // a request at the high rate is refused too
    EXPECT_EQ(rig.fx().getEngineValue(fat), 0.0);
    rig.fx().setSampleRate(44100.0f);
    rig.fx().resume();
    EXPECT_EQ(rig.fx().getEngineValue(fat), 1.0);
    EXPECT_EQ(rig.fx().getAeffect()->initialDelay, 639);
}

// The over threshold comes from OverIndic as the settings applied it during
// construction; no later initial value overrides it.
TEST(EngineControl, OverThresholdFollowsOverIndicFromConstruction)
{
    for (const Variant* v : {&variants::kAmbrel2, &variants::kAmbrel}) {
        ProcessingRig rig(*v);
        EXPECT_EQ(rig.engine().controls().overThreshold.load(), rig.fx().parameters().overCount());
        rig.set(ParamId::OverIndic, 1.0f);
        EXPECT_EQ(rig.engine().controls().overThreshold.load(), 10.0);
    }
}

// ------------------------------------------------------------ kernel choice

// Mono Stereo at exactly 0.5 shows " Stereo " and runs a stereo kernel.
TEST(KernelChoice, MonoStereoAtHalfIsStereo)
{
    Stereo in = programSignal(5000, 0.5, 21);
    Stereo outs[2];
    const float settings[2] = {0.5f, 1.0f};
    for (int k = 0; k < 2; ++k) {
        ProcessingRig rig;
        rig.selectKernel(5);
        rig.set(ParamId::MonoStereo, settings[k]);
        outs[k] = rig.run(in);
    }
    char text[64];
    ProcessingRig rig;
    rig.set(ParamId::MonoStereo, 0.5f);
    rig.fx().getParameterDisplay(rig.variant().index(ParamId::MonoStereo), text);
    EXPECT_STREQ(text, " Stereo ");
    EXPECT_EQ(outs[0].l, outs[1].l);
    EXPECT_EQ(outs[0].r, outs[1].r);
}

// Unlinked stereo treats both channels alike: identical inputs give
// identical outputs with the automatic release, in single band and in multi
// band, where the right bands' smoothing filters have the left ones' corners
// (50/5, 200/20 and 1000/100 Hz).
TEST(KernelChoice, UnlinkedChannelsAreSymmetric)
{
    for (const bool multi : {false, true}) {
        ProcessingRig rig;
        rig.selectKernel(multi ? 6 : 5);
        rig.set(ParamId::Auto, 1.0f);
        rig.set(ParamId::Drive, 0.9f);
        Stereo in = programSignal(20000, 0.9, 23);
        in.r = in.l;
        const Stereo out = rig.run(in);
        EXPECT_EQ(out.l, out.r) << (multi ? "multi band" : "single band");
    }
}

// The combined stereo selector clears the engine only when its value moves
// to another hundredth; within the same one the delayed signal continues.
TEST(KernelChoice, StereoSelectorClearsOnlyOnAChange)
{
    const int selector = variants::kAmbrel2.index(ParamId::StereoSelector);
    const Stereo loud = programSignal(3000, 0.8, 25);
    const Stereo silence(400);
    double tails[2];
    const float second[2] = {0.605f, 0.615f};
    for (int k = 0; k < 2; ++k) {
        ProcessingRig rig;
        rig.fx().setParameter(selector, 0.6f);
        EXPECT_EQ(rig.fx().getParameter(selector), 0.667f);
        rig.run(loud);
        rig.fx().setParameter(selector, second[k]);
        const Stereo out = rig.run(silence);
        tails[k] = maxAbs(out.r, 0, out.size());
    }
    EXPECT_GT(tails[0], 0.01);
    EXPECT_LT(tails[1], 1e-12);
}

// ------------------------------------------------------------- meter feed

TEST(Meters, OnlyWhileTheEditorIsOpen)
{
    ProcessingRig rig;
    rig.set(ParamId::Meters, 1.0f); // Post
    const Stereo in = programSignal(3000, 0.9, 27);
    rig.run(in);
    EXPECT_EQ(rig.fx().getMeterValue(0), 0.0f);
    rig.fx().setEditorOpen(true);
    rig.run(in);
    EXPECT_GT(rig.fx().getMeterValue(0), 0.01f);
    EXPECT_GT(rig.fx().getMeterValue(1), 0.01f);
}

// A VU meter shows the mean magnitude: a sine of peak 0.5 reads
// 0.5 * 1.4142136 * 1.096 * 2 / pi at a reference of 0 dBFS, with and without
// FAT, since the VU filters are designed for the rate at which they run.
TEST(Meters, VuReadsTheMeanMagnitudeAtEitherRate)
{
    const double expected = 0.5 * 1.4142136 * 1.096 * 2.0 / 3.141592653589793;
    float early[2];
    for (const bool fat : {false, true}) {
        ProcessingRig rig;
        rig.neutral();
        rig.set(ParamId::Fat, fat ? 1.0f : 0.0f);
        rig.set(ParamId::Meters, 1.0f); // Post
        rig.set(ParamId::MeterType, 0.0f);
        rig.set(ParamId::VuRefer, 1.0f);
        rig.fx().setEditorOpen(true);
        // 60 ms into a tone, the needle is still rising.
        rig.run(sine(static_cast<size_t>(0.060 * 44100) + 639, 0.5, 1000.0), 64);
        early[fat] = rig.fx().getMeterValue(0);
        rig.run(sine(44100 * 3, 0.5, 1000.0));
        EXPECT_NEAR(rig.fx().getMeterValue(0), expected, 0.01 * expected) << fat;
    }
    EXPECT_GT(early[0], 0.2 * expected);
    EXPECT_LT(early[0], 0.9 * expected);
    EXPECT_NEAR(early[1], early[0], 0.05 * early[0]);
}

// Gain reduction of a quiet signal reads 1 (none) in every ballistics, and
// the bypass kernel shows no reduction either.
TEST(Meters, QuietSignalShowsNoGainReduction)
{
    for (const float type : {0.0f, 1.0f}) {
        for (int kernel : {0, 1, 3, 5}) {
            ProcessingRig rig;
            rig.neutral();
            rig.selectKernel(kernel);
            rig.set(ParamId::Meters, 0.5f); // GainRed
            rig.set(ParamId::MeterType, type);
            rig.fx().setEditorOpen(true);
            rig.run(programSignal(2 * 44100, 0.05, 29));
            EXPECT_NEAR(rig.fx().getMeterValue(0), 1.0f, 0.01f) << kernel << " " << type;
            EXPECT_NEAR(rig.fx().getMeterValue(1), 1.0f, 0.01f) << kernel << " " << type;
        }
    }
}

// ---------------------------------------------------------------- over flags

// OverIndic 10: ten consecutive full-scale samples light the lamp at the end
// of the call, nine do not, and a sample below full scale restarts the
// count. Samples of exactly +-1.0 count.
TEST(OverFlags, CountConsecutiveFullScaleSamples)
{
    auto runWith = [](std::initializer_list<int> runs) {
        ProcessingRig rig;
        rig.set(ParamId::Meters, 0.0f); // Pre
        rig.set(ParamId::OverIndic, 1.0f);
        rig.fx().setEditorOpen(true);
        Stereo in(1024);
        size_t pos = 10;
        for (int run : runs) {
            for (int i = 0; i < run; ++i, ++pos)
                in.l[pos] = (i % 2) ? 1.0 : -1.0;
            in.l[pos++] = 0.5;
        }
        rig.run(in, 1024);
        return std::make_pair(rig.fx().takeOverFlag(0), rig.fx().takeOverFlag(1));
    };
    EXPECT_TRUE(runWith({10}).first);
    EXPECT_FALSE(runWith({10}).second);
    EXPECT_FALSE(runWith({9}).first);
    EXPECT_FALSE(runWith({9, 9, 5}).first);
    EXPECT_TRUE(runWith({3, 12}).first);

    // The flag is read and cleared; the editor being closed stops counting.
    ProcessingRig rig;
    rig.set(ParamId::Meters, 0.0f);
    rig.set(ParamId::OverIndic, 0.0f); // one sample is enough
    Stereo in(256);
    in.r[5] = 1.0;
    rig.run(in);
    EXPECT_FALSE(rig.fx().takeOverFlag(1));
    rig.fx().setEditorOpen(true);
    rig.run(in);
    EXPECT_TRUE(rig.fx().takeOverFlag(1));
    EXPECT_FALSE(rig.fx().takeOverFlag(1));
}

} // namespace
