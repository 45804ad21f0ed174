#include "dsp/HalfbandResampler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

std::vector<double> noise(std::mt19937_64& rng, int n)
{
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::vector<double> v(n);
    for (double& x : v)
        x = dist(rng);
    return v;
}

// Feeds `in` to both objects through op; the first outLength results must
// agree to the bit.
template <typename Op>
void expectSameBits(HalfbandResampler& fast, HalfbandResamplerReference& ref, std::vector<double> a,
                    int outLength, Op op)
{
    a.resize(std::max<std::size_t>(a.size(), outLength));
    std::vector<double> b = a;
    op(fast, a.data());
    op(ref, b.data());
    ASSERT_EQ(std::memcmp(a.data(), b.data(), sizeof(double) * outLength), 0);
}

} // namespace

// An impulse at input 0 comes out unchanged at output 129 (second output of
// input 64), with the odd taps at the even outputs around it. The outermost
// tap wraps onto the newest sample: output 0 rather than output 256.
TEST(HalfbandResampler, UpsampledImpulseHasCentreTapAtOutput129)
{
    HalfbandResampler r;
    std::vector<double> out;
    for (int block = 0; block < 4; ++block) {
        double buf[128] = {};
        buf[0] = block == 0 ? 1.0 : 0.0;
        r.upsample(buf, 64);
        out.insert(out.end(), buf, buf + 128);
    }
    for (int o = 0; o < static_cast<int>(out.size()); ++o) {
        double expected = 0.0;
        if (o == 129)
            expected = 1.0;
        else if (o % 2 == 0 && o >= 2 && o <= 254)
            expected = r.upTap(129 - o);
        else if (o == 0)
            expected = r.upTap(127);
        EXPECT_EQ(out[o], expected) << "output " << o;
    }
}

// Up then down delays by 129 host-rate samples and leaves DC about 0.034 dB
// low.
TEST(HalfbandResampler, UpThenDownDelaysBy129AndKeepsDcNearUnity)
{
    HalfbandResampler r;
    std::vector<double> impulse;
    for (int block = 0; block < 4; ++block) {
        double buf[128] = {};
        buf[0] = block == 0 ? 1.0 : 0.0;
        r.upsample(buf, 64);
        r.downsample(buf, 128);
        impulse.insert(impulse.end(), buf, buf + 64);
    }
    const auto peak = std::max_element(impulse.begin(), impulse.end(),
                                       [](double a, double b) { return std::fabs(a) < std::fabs(b); });
    EXPECT_EQ(peak - impulse.begin(), 129);

    r.reset();
    double buf[128];
    for (int block = 0; block < 10; ++block) {
        std::fill(buf, buf + 64, 1.0);
        r.upsample(buf, 64);
        r.downsample(buf, 128);
    }
    EXPECT_EQ(*std::min_element(buf, buf + 64), *std::max_element(buf, buf + 64));
    EXPECT_NEAR(20.0 * std::log10(buf[0]), -0.034, 0.001);
}

// Each alignment delays by 64 samples across block boundaries; after a reset
// the delay lines hold silence.
TEST(HalfbandResampler, AlignmentDelaysBy128InTotal)
{
    std::mt19937_64 rng(7);
    HalfbandResampler r;
    const std::vector<double> signal = noise(rng, 37 * 9);
    std::vector<double> afterInput, afterBoth;
    for (std::size_t pos = 0; pos < signal.size(); pos += 37) {
        std::vector<double> buf(signal.begin() + pos, signal.begin() + pos + 37);
        r.alignInput(buf.data(), 37);
        afterInput.insert(afterInput.end(), buf.begin(), buf.end());
        r.alignOutput(buf.data(), 37);
        afterBoth.insert(afterBoth.end(), buf.begin(), buf.end());
    }
    for (std::size_t i = 0; i < signal.size(); ++i) {
        ASSERT_EQ(afterInput[i], i < 64 ? 0.0 : signal[i - 64]) << i;
        ASSERT_EQ(afterBoth[i], i < 128 ? 0.0 : signal[i - 128]) << i;
    }
}

namespace {

void matchReference(SimdLevel level)
{
    std::mt19937_64 rng(2024);
    HalfbandResampler fast(level);
    HalfbandResamplerReference ref;
    auto up = [](int n) { return [n](auto& r, double* b) { r.upsample(b, n); }; };
    auto down = [](int n) { return [n](auto& r, double* b) { r.downsample(b, 2 * n); }; };
    std::uniform_int_distribution<int> length(1, 64);

    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < 264; ++i) {
            const int n = i < 64 ? i + 1 : length(rng);
            expectSameBits(fast, ref, noise(rng, n), 2 * n, up(n));
            expectSameBits(fast, ref, noise(rng, 2 * n), n, down(n));
        }
        fast.reset();
        ref.reset();
    }
    for (int i = 0; i < 40; ++i) {
        const int n = 1 + (i * 37) % 64;
        if (i % 3 == 0) {
            expectSameBits(fast, ref, noise(rng, n), n, [n](auto& r, double* b) { r.alignInput(b, n); });
            expectSameBits(fast, ref, noise(rng, n), n, [n](auto& r, double* b) { r.alignOutput(b, n); });
        }
        expectSameBits(fast, ref, noise(rng, n), 2 * n, up(n));
        expectSameBits(fast, ref, noise(rng, 2 * n), n, down(n));
    }
}

} // namespace

// Bit for bit against the ring algorithm, with the sums of every
// instruction set the processor has: every block length, long runs of
// calls, after a reset, and with alignment and resampling on shared memory
// (including odd alignOutput lengths, which shift the down side's phase).
TEST(HalfbandResampler, FastPathMatchesReferenceBitForBit)
{
    for (const SimdLevel level : {SimdLevel::Scalar, SimdLevel::Sse2, SimdLevel::Avx2}) {
        if (!simdLevelSupported(level))
            continue;
        SCOPED_TRACE(simdLevelName(level));
        matchReference(level);
    }
}

// A block longer than 64 frames gives what 64-frame calls give: the in-place
// outputs must not overwrite inputs not yet read.
TEST(HalfbandResampler, LongBlockEqualsChunkedCalls)
{
    std::mt19937_64 rng(99);
    const std::vector<double> in = noise(rng, 200);
    HalfbandResampler whole, chunked;
    std::vector<double> out(in), chunks;
    out.resize(400);
    whole.upsample(out.data(), 200);
    for (int pos = 0; pos < 200; pos += 64) {
        const int m = std::min(64, 200 - pos);
        double buf[128];
        std::copy(in.begin() + pos, in.begin() + pos + m, buf);
        chunked.upsample(buf, m);
        chunks.insert(chunks.end(), buf, buf + 2 * m);
    }
    EXPECT_EQ(std::memcmp(out.data(), chunks.data(), sizeof(double) * 400), 0);
}

namespace {

constexpr double kPi = 3.141592653589793;

// Amplitude of the component at `cycles` per sample (a Hann-windowed
// correlation over n samples from `from`).
double amplitudeAt(const std::vector<double>& x, size_t from, size_t n, double cycles)
{
    double re = 0.0, im = 0.0, norm = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2.0 * kPi * static_cast<double>(i) / static_cast<double>(n));
        re += w * x[from + i] * std::cos(2.0 * kPi * cycles * static_cast<double>(i));
        im += w * x[from + i] * std::sin(2.0 * kPi * cycles * static_cast<double>(i));
        norm += w;
    }
    return 2.0 * std::sqrt(re * re + im * im) / norm;
}

} // namespace

// The doubled rate's filters at 44.1 kHz: flat to 20 kHz, and whatever lies
// above 24 kHz (the images of upsampling, the products of processing at the
// doubled rate) at least 52 dB down before it could fold into the audio
// band. The designs' stop band is an even -54 dB.
TEST(HalfbandResampler, PassBandIsFlatAndStopBandRejectsImagesAndAliases)
{
    for (const double hz : {1000.0, 10000.0, 16000.0, 20000.0}) {
        HalfbandResampler r;
        std::vector<double> up;
        for (int pos = 0; pos < 8192; pos += 64) {
            double block[128];
            for (int i = 0; i < 64; ++i)
                block[i] = std::sin(2.0 * kPi * hz * (pos + i) / 44100.0);
            r.upsample(block, 64);
            up.insert(up.end(), block, block + 128);
        }
        const double tone = amplitudeAt(up, 1000, 8192, hz / 88200.0);
        const double image = amplitudeAt(up, 1000, 8192, (44100.0 - hz) / 88200.0);
        EXPECT_NEAR(20.0 * std::log10(tone), 0.0, 0.05) << hz;
        EXPECT_LT(20.0 * std::log10(image), -52.0) << hz;
    }
    for (const double hz : {24000.0, 26000.0, 30000.0, 40000.0}) {
        HalfbandResampler r;
        std::vector<double> down;
        for (int pos = 0; pos < 16384; pos += 128) {
            double block[128];
            for (int i = 0; i < 128; ++i)
                block[i] = std::sin(2.0 * kPi * hz * (pos + i) / 88200.0);
            r.downsample(block, 128);
            down.insert(down.end(), block, block + 64);
        }
        const double folded = amplitudeAt(down, 500, 4096, (44100.0 - hz) / 44100.0);
        EXPECT_LT(20.0 * std::log10(folded), -52.0) << hz;
    }
}
