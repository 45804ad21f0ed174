// What a user hears and a meter shows, in absolute terms: the static
// curve's gain at known levels, attack and release times against the
// controls' displays, and the inter-sample peaks with Brickwall on.
#include "tests/effect/ProcessingRig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace
{

constexpr double kPi = 3.141592653589793;
// The detector reads 1.0115795 times the peak, so a limited tone peaks at
// its inverse, -0.1 dBFS.
constexpr double kCeilingDb = -0.09998;

double dB(double x)
{
    return 20.0 * std::log10(x);
}

double peakOf(const std::vector<double>& v, size_t from, size_t to)
{
    double m = 0.0;
    for (size_t i = from; i < to && i < v.size(); ++i)
        m = std::max(m, std::fabs(v[i]));
    return m;
}

// A tone of 20 samples per period (2205 Hz), `level` up to sample `change`
// and `after` from there on.
Stereo toneStep(size_t n, double level, size_t change, double after)
{
    Stereo s(n);
    for (size_t i = 0; i < n; ++i)
        s.l[i] = s.r[i] = (i < change ? level : after) * std::sin(2.0 * kPi * static_cast<double>(i) / 20.0 + 0.3);
    return s;
}

// The one-channel single band at neutral settings (hard knee, 0 dB
// ceiling and output) with Drive at `driveDb` (FineTune 1: v = 0.5 + dB / 48).
ProcessingRig hardKnee(double driveDb)
{
    ProcessingRig rig;
    rig.neutral();
    rig.selectKernel(1);
    rig.set(ParamId::Drive, static_cast<float>(0.5 + driveDb / 48.0));
    return rig;
}

// With a hard knee and Drive shown as +12 dB (a factor of 4, 12.04 dB), a
// tone below the knee gains the full 12.04 dB and one above it comes out
// at the ceiling: the gain reduction is the excess over -0.1 dBFS.
TEST(StaticCurve, GainReductionAtKnownLevels)
{
    for (const double levelDb : {-40.0, -20.0, -12.5, -6.0, 0.0, 6.0}) {
        ProcessingRig rig = hardKnee(12.0);
        const Stereo in = toneStep(44100, std::pow(10.0, levelDb / 20.0), 44100, 0.0);
        const Stereo out = rig.run(in);
        const double outDb = dB(peakOf(out.l, 30000, 44100));
        const double expected = std::min(levelDb + dB(4.0), kCeilingDb);
        EXPECT_NEAR(outDb, expected, 0.02) << "tone at " << levelDb << " dBFS";
    }
}

// The samples the envelope takes to cover 95 % of a fall from a tone at 8.0
// to one at 2.0, both above the ceiling at 0 dB Drive so that the gain is
// the envelope's inverse throughout; read from each period's peak.
double releaseSamples(float speed, float release, bool longRelease)
{
    ProcessingRig rig = hardKnee(0.0);
    rig.set(ParamId::Speed, speed);
    rig.set(ParamId::Release, release);
    rig.set(ParamId::Long, longRelease ? 1.0f : 0.0f);
    const size_t loud = 22050;
    const size_t total = loud + 44100 * (longRelease ? 30 : 3);
    const Stereo out = rig.run(toneStep(total, 8.0, loud, 2.0), 4096);
    const size_t lat = static_cast<size_t>(rig.fx().getAeffect()->initialDelay);
    auto envelope = [&](size_t start, double level) { return level / peakOf(out.l, start, start + 20); };
    const double from = envelope(lat + loud - 40, 8.0);
    const double to = envelope(total - 40, 2.0);
    for (size_t start = lat + loud; start + 40 < total; start += 20)
        if ((envelope(start, 2.0) - to) / (from - to) <= 0.05)
            return static_cast<double>(start - lat - loud);
    return -1.0;
}

// The release covers 95 % of a fall in 0.65 ms times 48^Speed times the
// multiplier Release shows, seventeen times that with Long.
TEST(Timing, ReleaseFollowsSpeedAndTheReleaseMultiplier)
{
    struct Case {
        float speed, release;
        bool longRelease;
        const char* shown; // Release's display
    };
    for (const Case c : {Case{1.0f, 0.5f, false, "1.00"}, Case{0.5f, 0.5f, false, "1.00"},
                         Case{1.0f, 1.0f, false, "4.00"}, Case{0.5f, 0.0f, false, "0.25"},
                         Case{1.0f, 0.5f, true, "1.00"}}) {
        ProcessingRig rig;
        rig.set(ParamId::Release, c.release);
        char text[64];
        rig.fx().getParameterDisplay(rig.variant().index(ParamId::Release), text);
        ASSERT_EQ(std::string(text), c.shown);
        const double expected =
            0.65e-3 * 44100.0 * std::pow(48.0, c.speed) * std::stod(c.shown) * (c.longRelease ? 17.0 : 1.0);
        // Read once per 20-sample period.
        EXPECT_NEAR(releaseSamples(c.speed, c.release, c.longRelease), expected, 20.0 + 0.01 * expected)
            << "Speed " << c.speed << ", Release " << c.shown << (c.longRelease ? ", Long" : "");
    }
}

// The attack covers 95 % of a rise within the look-ahead (75 us at Speed 0
// to 1.2 ms at 100 %), and the look-ahead lets it finish before the rise
// reaches the output: the first loud period is within 0.2 dB of the settled
// level. At Speed 100 % the gain already falls during the last quiet period.
TEST(Timing, AttackFinishesWithinTheLookahead)
{
    for (const float speed : {0.0f, 0.5f, 1.0f}) {
        ProcessingRig rig = hardKnee(0.0);
        rig.set(ParamId::Speed, speed);
        const size_t quiet = 22050, total = 44100;
        const Stereo out = rig.run(toneStep(total, 0.5, quiet, 4.0), 4096);
        const size_t lat = static_cast<size_t>(rig.fx().getAeffect()->initialDelay);
        const double first = peakOf(out.l, lat + quiet, lat + quiet + 20);
        const double settled = peakOf(out.l, total - 40, total);
        EXPECT_NEAR(dB(settled), kCeilingDb, 0.01) << speed;
        EXPECT_LT(dB(first / settled), 0.2) << speed;
        const double lastQuiet = peakOf(out.l, lat + quiet - 20, lat + quiet);
        if (speed == 1.0f)
            EXPECT_LT(lastQuiet, 0.4);
        else
            EXPECT_NEAR(lastQuiet, 0.5, 0.01) << speed;
    }
}

// The true peak of x: the signal interpolated at four points per sample by
// a Hann-windowed sinc of 97 taps.
double truePeak(const std::vector<double>& x, size_t from, size_t to)
{
    constexpr int kFactor = 4, kHalf = 48;
    double peak = 0.0;
    for (size_t i = from; i < to; ++i)
        for (int k = 0; k < kFactor; ++k) {
            double sum = 0.0;
            for (int j = -kHalf; j <= kHalf; ++j) {
                const double d = static_cast<double>(k) / kFactor - j;
                const double sinc = d == 0.0 ? 1.0 : std::sin(kPi * d) / (kPi * d);
                sum += x[i + static_cast<size_t>(j)] * sinc * (0.5 + 0.5 * std::cos(kPi * d / (kHalf + 1)));
            }
            peak = std::max(peak, std::fabs(sum));
        }
    return peak;
}

// Brickwall holds the samples below full scale in every build; between the
// samples, the multi-band limiter working at the doubled rate (FAT) keeps
// program material within 0.25 dB of full scale, where at the host rate
// its overs reach about 1.3 dB.
TEST(Brickwall, InterSamplePeaks)
{
    const Stereo in = programSignal(22050, 1.0, 3);
    for (const bool fat : {false, true})
        for (const int kernel : {2, 4, 6}) {
            ProcessingRig rig;
            rig.neutral();
            rig.selectKernel(kernel);
            rig.set(ParamId::Brickwall, 1.0f);
            rig.set(ParamId::Fat, fat ? 1.0f : 0.0f);
            rig.set(ParamId::Drive, 0.9f); // +19 dB into the limiter
            const Stereo out = rig.run(in);
            const std::string where = std::string(fat ? "FAT" : "host rate") + ", kernel " + std::to_string(kernel);
            EXPECT_LT(peakOf(out.l, 4000, 22050), 1.0) << where;
            const double overs = dB(truePeak(out.l, 4000, 22000));
            if (fat)
                EXPECT_LT(overs, 0.25) << where;
            else
                EXPECT_LT(overs, 1.6) << where;
        }
}

} // namespace
