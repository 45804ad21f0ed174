#include "dsp/EnvelopeFilter.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(EnvelopeFilter, LowPassSettlesToDcAndHalvesAtCutoff)
{
    EnvelopeFilter dc(44100.0, 200.0, 0.5), sine(44100.0, 200.0, 0.5);
    double y = 0.0, power = 0.0;
    for (int i = 0; i < 88200; ++i) {
        y = dc.tick(1.0);
        const double s = sine.tick(std::sin(6.283185307179586 * 200.0 * i / 44100.0));
        power += i >= 44100 ? s * s : 0.0;
    }
    EXPECT_NEAR(y, 1.0, 1e-9);
    EXPECT_NEAR(std::sqrt(2.0 * power / 44100.0), 0.5, 0.005); // Q 0.5: -6 dB
}

TEST(EnvelopeFilter, CutoffIsKeptBelowNyquist)
{
    EnvelopeFilter slow(10000.0, 20000.0, 0.5);
    EXPECT_DOUBLE_EQ(slow.cutoff(), 4990.0);
    double y = 0.0;
    for (int i = 0; i < 1000; ++i)
        y = slow.tick(1.0);
    EXPECT_NEAR(y, 1.0, 1e-6);

    EnvelopeFilter f(44100.0, 20000.0, 0.5);
    f.setSampleRate(10000.0);
    EXPECT_DOUBLE_EQ(f.cutoff(), 4990.0);
    f.setSampleRate(96000.0); // a lowered cutoff stays lowered
    EXPECT_DOUBLE_EQ(f.cutoff(), 4990.0);
}

TEST(EnvelopeFilter, AlternatingBiasStartsNegative)
{
    // Tick 1 biases its input by -1e-13 and cancels an input of +1e-13;
    // clear() keeps the bias phase, so tick 1002 cancels -1e-13.
    EnvelopeFilter f(44100.0, 200.0, 0.5);
    EXPECT_EQ(f.tick(1e-13), 0.0);
    for (int i = 0; i < 1000; ++i)
        f.tick(1.0);
    f.clear();
    EXPECT_EQ(f.tick(-1e-13), 0.0);

    // Settled on silence the output is the bias with opposite sign and never
    // accumulates.
    EnvelopeFilter g(44100.0, 200.0, 0.5);
    double odd = 0.0, even = 0.0;
    for (int i = 0; i < 100000; ++i) {
        odd = g.tick(0.0);
        even = g.tick(0.0);
    }
    EXPECT_TRUE(odd > 0.0 && even < 0.0);
    EXPECT_LT(std::fabs(odd) + std::fabs(even), 2e-13);
}
