// The vector form of the unlinked stereo kernels against the scalar kernel
// body: identical outputs, envelopes and meters, to the bit.
#include "dsp/Kernels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace
{

std::unique_ptr<KernelState> freshState()
{
    auto st = std::make_unique<KernelState>();
    for (EnvelopeFilter& f : st->envFilters)
        f.setSampleRate(88200.0);
    for (EnvelopeFilter& f : st->vu) {
        f.setSampleRate(88200.0);
        f.setCutoff(5.0);
    }
    st->clearRings();
    st->resetEnvelopes();
    st->s = 1023;
    st->wpos = 511;
    return st;
}

KernelParams params(int shape, bool autoRelease, bool brickwall)
{
    KernelParams kp;
    kp.delayMask = 1023;
    kp.detectorMask = 511;
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
    kp.autoRelease = autoRelease;
    kp.brickwall = brickwall;
    kp.driveGain = 5.0;
    kp.ceilingDrive = static_cast<double>(0.83f);
    kp.ceilingGain = 1.2;
    kp.mixAmount = 0.8;
    kp.outputGain = 0.9;
    kp.satGain[0] = 0.5;
    kp.satGain[2] = 2.0;
    kp.curve = SaturationCurve::fromKnee(shape, shape ? 0.35 : 0.6);
    kp.smallSignalGain = 3.0;
    kp.subsonic = designSubsonic(88200.0);
    kp.lowTone = designToneHighPass(150.0, 88200.0);
    kp.highTone = designToneLowPass(3500.0, 88200.0);
    return kp;
}

TEST(UnlinkedPairs, MatchTheScalarKernelToTheBit)
{
    std::mt19937 rng(5);
    std::normal_distribution<double> noise(0.0, 1.0);
    const int total = 6000;
    std::vector<double> l(total), r(total);
    double a = 0.0, b = 0.0;
    for (int i = 0; i < total; ++i) {
        a = 0.97 * a + 0.1 * noise(rng);
        b = 0.9 * b + 0.2 * noise(rng);
        const double burst = (i / 700) % 2 ? 2.5 : 0.2;
        l[i] = a * burst;
        r[i] = b * burst * 0.5 + 0.3 * std::sin(0.01 * i);
    }
    for (const bool multi : {false, true})
        for (int shape = 0; shape < 2; ++shape)
            for (const bool autoRelease : {false, true})
                for (const bool brickwall : {false, true})
                    for (const bool ppm : {false, true}) {
                        auto scalar = freshState();
                        auto pairs = freshState();
                        KernelParams kp = params(shape, autoRelease, brickwall);
                        MeterBlock mb;
                        mb.active = true;
                        mb.ppm = ppm;
                        mb.source = ppm ? MeterSource::GainReduction : MeterSource::Post;
                        mb.attack = 0.2;
                        mb.release = 0.001;
                        mb.reading = 1.3;
                        mb.ceilingGain = kp.ceilingGain;
                        mb.smallSignalGain = 3.0;
                        std::vector<double> o1l(128), o1r(128), o2l(128), o2r(128);
                        for (int pos = 0; pos + 128 <= total; pos += 128) {
                            if (pos == 2560)
                                kp.lookahead = 31; // Speed moved
                            const double* in[2] = {l.data() + pos, r.data() + pos};
                            double* out1[2] = {o1l.data(), o1r.data()};
                            double* out2[2] = {o2l.data(), o2r.data()};
                            if (multi) {
                                runKernel<Layout::StereoUnlinked, true>(*scalar, kp, mb, in, out1, 128);
                                runUnlinkedPairs<true>(*pairs, kp, mb, in, out2, 128);
                            } else {
                                runKernel<Layout::StereoUnlinked, false>(*scalar, kp, mb, in, out1, 128);
                                runUnlinkedPairs<false>(*pairs, kp, mb, in, out2, 128);
                            }
                            ASSERT_EQ(0, std::memcmp(o1l.data(), o2l.data(), 128 * sizeof(double)))
                                << multi << shape << autoRelease << brickwall << ppm << " at " << pos;
                            ASSERT_EQ(0, std::memcmp(o1r.data(), o2r.data(), 128 * sizeof(double)));
                        }
                        for (int c = 0; c < 2; ++c) {
                            EXPECT_EQ(scalar->ch[c].env, pairs->ch[c].env);
                            EXPECT_EQ(scalar->ch[c].limiterEnv, pairs->ch[c].limiterEnv);
                            EXPECT_EQ(scalar->ch[c].bandEnv[1], pairs->ch[c].bandEnv[1]);
                            EXPECT_EQ(scalar->meter[c].value, pairs->meter[c].value);
                            EXPECT_EQ(scalar->meter[c].overCount, pairs->meter[c].overCount);
                        }
                        EXPECT_EQ(scalar->envFilters[12].tick(0.5), pairs->envFilters[12].tick(0.5));
                    }
}

} // namespace
