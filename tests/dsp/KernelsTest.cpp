// The block kernels of every instruction set the processor has against the
// scalar reference kernels: identical outputs, envelopes, filter memories
// and meters, to the bit, for every kernel, switch and route, in blocks of
// 64 samples (host rate) and 128 (FAT).
#include "dsp/Kernels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace
{

std::unique_ptr<KernelState> freshState(double rate, int delayRing)
{
    auto st = std::make_unique<KernelState>();
    for (EnvelopeFilter& f : st->envFilters)
        f.setSampleRate(rate);
    for (EnvelopeFilter& f : st->vu) {
        f.setSampleRate(rate);
        f.setCutoff(5.0);
    }
    st->clearRings();
    st->resetEnvelopes();
    st->s = delayRing - 1;
    st->wpos = (delayRing - 1) & (delayRing / 2 - 1);
    return st;
}

struct Switches {
    int shape;
    bool autoRelease;
    bool brickwall;
    bool ppm;
    Route route;
};

KernelParams params(const Switches& sw, double rate, int delayRing)
{
    KernelParams kp;
    kp.delayMask = delayRing - 1;
    kp.detectorMask = delayRing / 2 - 1;
    kp.lookahead = 20;
    kp.limiterLookahead = 33;
    kp.lowAdjustGain = 1.3;
    kp.highAdjustGain = 0.7;
    kp.attackCoef = 0.14;
    kp.releaseCoef = 0.0021;
    kp.bandReleaseCoef[0] = 0.0013;
    kp.bandReleaseCoef[1] = 0.0021;
    kp.bandReleaseCoef[2] = 0.0042;
    kp.limiterAttackCoef = 0.09;
    kp.limiterReleaseCoef = 0.011;
    kp.autoReleaseScale = 0.83;
    kp.autoRelease = sw.autoRelease;
    kp.brickwall = sw.brickwall;
    kp.driveGain = 5.0;
    kp.ceilingDrive = static_cast<double>(0.83f);
    kp.ceilingGain = 1.2;
    kp.mixAmount = 0.8;
    kp.outputGain = 0.9;
    kp.passedGain = 0.9;
    kp.satGain[0] = 0.5;
    kp.satGain[2] = 2.0;
    kp.curve = SaturationCurve::fromKnee(sw.shape, sw.shape ? 0.35 : 0.6);
    kp.route = sw.route;
    kp.smallSignalGain = 3.0;
    kp.subsonic = designSubsonic(rate);
    kp.lowTone = designToneHighPass(150.0, rate);
    kp.highTone = designToneLowPass(3500.0, rate);
    return kp;
}

// Everything a kernel leaves behind that a later block or the meters read.
void expectSameState(const KernelState& a, const KernelState& b, const std::string& where)
{
    EXPECT_EQ(a.bias, b.bias) << where;
    EXPECT_EQ(a.s, b.s) << where;
    EXPECT_EQ(a.wpos, b.wpos) << where;
    EXPECT_EQ(0, std::memcmp(a.dry, b.dry, sizeof a.dry)) << where;
    EXPECT_EQ(0, std::memcmp(a.tone, b.tone, sizeof a.tone)) << where;
    EXPECT_EQ(0, std::memcmp(a.band, b.band, sizeof a.band)) << where;
    EXPECT_EQ(0, std::memcmp(a.wet, b.wet, sizeof a.wet)) << where;
    for (int c = 0; c < 2; ++c) {
        EXPECT_EQ(0, std::memcmp(&a.filters[c], &b.filters[c], sizeof a.filters[c])) << where;
        EXPECT_EQ(a.ch[c].env, b.ch[c].env) << where;
        EXPECT_EQ(a.ch[c].limiterEnv, b.ch[c].limiterEnv) << where;
        for (int band = 0; band < 3; ++band)
            EXPECT_EQ(a.ch[c].bandEnv[band], b.ch[c].bandEnv[band]) << where;
        EXPECT_EQ(a.meter[c].value, b.meter[c].value) << where;
        EXPECT_EQ(a.meter[c].overCount, b.meter[c].overCount) << where;
        EXPECT_EQ(0, std::memcmp(&a.vu[c].section, &b.vu[c].section, sizeof a.vu[c].section)) << where;
    }
    for (size_t f = 0; f < a.envFilters.size(); ++f)
        EXPECT_EQ(0, std::memcmp(&a.envFilters[f].section, &b.envFilters[f].section, sizeof a.envFilters[f].section))
            << where << " filter " << f;
}

class BlockKernels : public ::testing::TestWithParam<SimdLevel> {};

TEST_P(BlockKernels, MatchTheReferenceToTheBit)
{
    if (!simdLevelSupported(GetParam()))
        GTEST_SKIP() << simdLevelName(GetParam()) << " not supported by this processor";
    const KernelTable& fast = kernelsFor(GetParam());
    const KernelTable& reference = referenceKernels();

    std::mt19937 rng(5);
    std::normal_distribution<double> noise(0.0, 1.0);
    const int total = 3072;
    std::vector<double> l(total), r(total);
    double a = 0.0, b = 0.0;
    for (int i = 0; i < total; ++i) {
        a = 0.97 * a + 0.1 * noise(rng);
        b = 0.9 * b + 0.2 * noise(rng);
        const double burst = (i / 700) % 2 ? 2.5 : 0.2;
        l[i] = a * burst;
        r[i] = b * burst * 0.5 + 0.3 * std::sin(0.01 * i);
    }

    const std::vector<Switches> switches = {
        {0, false, false, false, Route::Mono}, {1, true, true, true, Route::Left},
        {0, true, true, false, Route::Right},  {1, false, true, true, Route::Mono},
        {0, false, true, true, Route::Left},   {1, true, false, false, Route::Right},
    };
    // 64 samples at the host rate with the smallest rings, 128 with FAT.
    for (const int block : {64, 128})
        for (int kernel = kOneChannelSingle; kernel < kKernelCount; ++kernel)
            for (const Switches& sw : switches)
                for (const bool metering : {false, true}) {
                    const double rate = block == 64 ? 44100.0 : 88200.0;
                    const int delayRing = block == 64 ? 128 : 1024;
                    auto scalar = freshState(rate, delayRing);
                    auto blocked = freshState(rate, delayRing);
                    KernelParams kp = params(sw, rate, delayRing);
                    MeterBlock mb;
                    mb.active = metering;
                    mb.ppm = sw.ppm;
                    mb.source = sw.ppm ? MeterSource::GainReduction : MeterSource::Post;
                    mb.attack = 0.2;
                    mb.release = 0.001;
                    mb.reading = 1.3;
                    mb.ceilingGain = kp.ceilingGain;
                    mb.smallSignalGain = 3.0;
                    const std::string where = std::string(simdLevelName(GetParam())) + " kernel " +
                                              std::to_string(kernel) + " block " + std::to_string(block) +
                                              " shape " + std::to_string(sw.shape) + " auto " +
                                              std::to_string(sw.autoRelease) + " brickwall " +
                                              std::to_string(sw.brickwall) + " metering " + std::to_string(metering);
                    std::vector<double> o1l(block), o1r(block), o2l(block), o2r(block);
                    for (int pos = 0; pos + block <= total; pos += block) {
                        if (pos == 1536)
                            kp.lookahead = 31; // Speed moved
                        const double* in[2] = {l.data() + pos, r.data() + pos};
                        double* out1[2] = {o1l.data(), o1r.data()};
                        double* out2[2] = {o2l.data(), o2r.data()};
                        reference[kernel](*scalar, kp, mb, in, out1, block);
                        fast[kernel](*blocked, kp, mb, in, out2, block);
                        ASSERT_EQ(0, std::memcmp(o1l.data(), o2l.data(), block * sizeof(double)))
                            << where << " at " << pos;
                        ASSERT_EQ(0, std::memcmp(o1r.data(), o2r.data(), block * sizeof(double)))
                            << where << " at " << pos;
                    }
                    expectSameState(*scalar, *blocked, where);
                }
}

INSTANTIATE_TEST_SUITE_P(Levels, BlockKernels, ::testing::Values(SimdLevel::Sse2, SimdLevel::Avx2),
                         [](const ::testing::TestParamInfo<SimdLevel>& info) {
                             return std::string(simdLevelName(info.param));
                         });

} // namespace
