#include "dsp/BiquadSections.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

// Settled amplitude (RMS over the second half-second) of a sine through a
// tone section.
double toneGain(const ToneCoefs& c, double hz, double fs)
{
    ToneState s{};
    double power = 0.0;
    for (int i = 0; i < static_cast<int>(fs); ++i) {
        const double y = toneTick(c, s, std::sin(6.283185307179586 * hz * i / fs), 0.0);
        power += i >= static_cast<int>(fs / 2) ? y * y : 0.0;
    }
    return std::sqrt(4.0 * power / fs);
}

} // namespace

TEST(BiquadSections, SubsonicRemovesDcAndPassesAudio)
{
    for (double fs : {44100.0, 88200.0, 192000.0}) {
        const SubsonicCoefs c = designSubsonic(fs);
        SubsonicState dc{}, tone{};
        double y = 1.0, peak = 0.0, d = 1e-16;
        for (int i = 0; i < static_cast<int>(fs); ++i) {
            d = -d;
            y = subsonicTick(c, dc, 1.0, d);
            const double t = subsonicTick(c, tone, std::sin(6.283185307179586 * 1000.0 * i / fs), d);
            peak = i > fs / 2 ? std::max(peak, std::fabs(t)) : 0.0;
        }
        EXPECT_LT(std::fabs(y), 1e-6) << fs;
        EXPECT_NEAR(peak, 1.0, 1e-3) << fs;
    }
}

// Q 0.5 sections: -6 dB at the corner, unity in the pass band.
TEST(BiquadSections, ToneSectionsHaveTheirResponse)
{
    const ToneCoefs lp = designToneLowPass(2000.0, 44100.0);
    const ToneCoefs hp = designToneHighPass(100.0, 44100.0);
    EXPECT_NEAR(toneGain(lp, 2000.0, 44100.0), 0.5, 0.005);
    EXPECT_NEAR(toneGain(hp, 100.0, 44100.0), 0.5, 0.005);
    EXPECT_NEAR(toneGain(lp, 20.0, 44100.0), 1.0, 0.001);
    EXPECT_NEAR(toneGain(hp, 5000.0, 44100.0), 1.0, 0.001);
}

// HighFreq reaches 16 kHz: beyond Nyquist at 22050 Hz (an unlimited low-pass
// diverges) and exactly on it at 32 kHz (it rings for ever). One second of
// noise stays bounded and dies away afterwards.
TEST(BiquadSections, ToneCornerIsKeptBelowNyquist)
{
    for (double fs : {22050.0, 32000.0}) {
        const ToneCoefs lp = designToneLowPass(16000.0, fs);
        std::mt19937 rng(3);
        std::uniform_real_distribution<double> noise(-1.0, 1.0);
        ToneState s{};
        double y = 0.0, d = 1e-16;
        bool bounded = true;
        for (int i = 0; i < static_cast<int>(fs) + 5000; ++i) {
            d = -d;
            y = toneTick(lp, s, i < fs ? noise(rng) : 0.0, d);
            bounded = bounded && std::fabs(y) < 4.0; // false for NaN
        }
        EXPECT_TRUE(bounded) << fs;
        EXPECT_LT(std::fabs(y), 1e-9) << fs;
    }
    // Corners below the limit are left alone.
    const double w = 6.283185307179586 * 16000.0 / 44100.0;
    EXPECT_EQ(designToneLowPass(16000.0, 44100.0).a2, (1.0 - std::sin(w)) / (1.0 + std::sin(w)));
}
