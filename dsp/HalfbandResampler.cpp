#include "dsp/HalfbandResampler.h"
#define AMBREL_ISA sse2
#include "dsp/HalfbandSums.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

namespace {

constexpr double kPi = 3.141592653589793;

// Fills up[255] and down[255], indexed i + 127 for i in -127..127.
// Half-band kernel k(i) = sin(i pi / 2) / (256 sin(i pi / 255)), k(0) = 0.5;
// it vanishes for even i. The divisor 256 (rather than 255) leaves each
// filter slightly below unity at DC, about -0.034 dB for up and down together.
// The upsampling filter is Blackman-windowed and doubled (it must restore the
// level lost to zero stuffing), the downsampling filter Hann-windowed.
void buildTables(double* up, double* down)
{
    for (int i = 0; i <= 127; ++i) {
        double k;
        if (i == 0)
            k = 0.5;
        else if (i % 2 == 0)
            k = 0.0;
        else
            k = std::sin(i * kPi / 2.0) / (256.0 * std::sin(i * kPi / 255.0));

        const double wA = 0.42 + 0.5 * std::cos(2.0 * kPi * i / 255.0)
                          + 0.08 * std::cos(4.0 * kPi * i / 255.0);
        double v = k * wA;
        if (std::fabs(v) < 1e-16)
            v = 0.0;
        up[127 + i] = up[127 - i] = 2.0 * v;

        const double wB = 0.5 + 0.5 * std::cos(2.0 * kPi * i / 255.0);
        v = k * wB;
        if (std::fabs(v) < 1e-16)
            v = 0.0;
        down[127 + i] = down[127 - i] = v;
    }
    // Both windows are exactly 1 at the centre, but 0.42 + 0.5 + 0.08 rounds
    // to 1 - 2^-53. The centre taps are set exactly, so that the zero-stuffed
    // phase of the upsampler passes its input through unchanged.
    up[127] = 1.0;
    down[127] = 0.5;
}

} // namespace

void sse2::halfbandSumsOneLane(const double* h, const double* weights, int n, double* out)
{
    blockSums<double>(h, weights, n, out);
}

void sse2::halfbandSums(const double* h, const double* weights, int n, double* out)
{
    blockSums<V2>(h, weights, n, out);
}

// ---------------------------------------------------------------------------
// Fast path
//
// Up side. The stuffed zeros of the doubled-rate stream never meet a non-zero
// tap, so only the real input samples are stored. Each input gives the
// filtered sum over the inputs around it, then the stuffed phase, which
// reduces to the centre tap hA(0) = 1 times the input 64 samples back.
//
// Down side. The filtered sum of output i reads only samples of the same
// parity as input 2i; the other parity meets only the centre tap
// hB(0) = 0.5, 129 samples back. Keeping the two parities in separate rings
// turns the down side into the same sums as the up side.

namespace {

inline void putTwice(double* ring, unsigned q, double x)
{
    q &= 255;
    ring[q] = x;
    ring[q + 256] = x;
}

} // namespace

HalfbandResampler::HalfbandResampler(SimdLevel level)
    : sums_(level == SimdLevel::Avx2 ? avx2::halfbandSums
                                     : (level == SimdLevel::Sse2 ? sse2::halfbandSums : sse2::halfbandSumsOneLane))
{
    buildTables(upTaps_, downTaps_);
    for (int k = 0; k < 64; ++k)
        for (int l = 0; l < 4; ++l) {
            upWeights_[4 * k + l] = upTaps_[127 + 127 - 2 * k];
            downWeights_[4 * k + l] = downTaps_[127 + 127 - 2 * k];
        }
    reset();
}

void HalfbandResampler::reset()
{
    std::fill(std::begin(upRing_), std::end(upRing_), 0.0);
    std::fill(&downRing_[0][0], &downRing_[0][0] + 2 * 512, 0.0);
    std::fill(std::begin(chunkSums_), std::end(chunkSums_), 0.0);
    upHead_ = 0;
    downCount_ = 0;
}

void HalfbandResampler::upsampleChunk(const double* in, double* out, int n)
{
    for (int j = 0; j < n; ++j)
        putTwice(upRing_, upHead_ + j, in[j]);
    // h[128 + j] is input j of the chunk, h[0..127] the 128 before it.
    const double* h = upRing_ + ((upHead_ - 128) & 255);
    sums_(h, upWeights_, n, chunkSums_);
    const double centre = upTaps_[127];
    for (int j = 0; j < n; ++j) {
        out[2 * j] = chunkSums_[j];
        out[2 * j + 1] = centre * h[128 + j - 64];
    }
    upHead_ = (upHead_ + n) & 255;
}

void HalfbandResampler::upsample(double* buffer, int n)
{
    if (n <= 0)
        return;
    // Outputs are written in place over the inputs. Within a chunk all inputs
    // are stored before any output is written. For longer blocks the inputs
    // are first moved to the upper half of the buffer, so that the outputs of
    // every chunk land only on inputs already consumed.
    const double* in = buffer;
    if (n > kChunk) {
        std::memmove(buffer + n, buffer, sizeof(double) * n);
        in = buffer + n;
    }
    for (int done = 0; done < n; done += kChunk) {
        const int m = std::min(kChunk, n - done);
        upsampleChunk(in + done, buffer + 2 * done, m);
    }
}

void HalfbandResampler::downsampleChunk(const double* in, double* out, int n)
{
    // Input 2i is sample downCount_ + 2i: ring `same`, index e + i. Input
    // 2i + 1 goes to the other ring at index e + i + parity.
    const unsigned parity = downCount_ & 1;
    const unsigned e = downCount_ >> 1;
    double* same = downRing_[parity];
    double* other = downRing_[parity ^ 1];
    for (int i = 0; i < n; ++i) {
        putTwice(same, e + i, in[2 * i]);
        putTwice(other, e + i + parity, in[2 * i + 1]);
    }
    // hs[128 + i] is input 2i; ho[128 + i - 65 + parity] is the sample 129
    // before it.
    const unsigned window = (e - 128) & 255;
    const double* hs = same + window;
    const double* ho = other + window;
    sums_(hs, downWeights_, n, chunkSums_);
    const double centre = downTaps_[127];
    for (int i = 0; i < n; ++i)
        out[i] = chunkSums_[i] + centre * ho[63 + parity + i];
    downCount_ = (downCount_ + 2 * n) & 511;
}

void HalfbandResampler::downsample(double* buffer, int twoN)
{
    const int n = twoN / 2;
    // Output chunk c lands on inputs of chunks up to c, all already stored.
    for (int done = 0; done < n; done += kChunk) {
        const int m = std::min(kChunk, n - done);
        downsampleChunk(buffer + 2 * done, buffer + done, m);
    }
}

void HalfbandResampler::alignInput(double* buffer, int n)
{
    for (int m = 0; m < n; ++m) {
        putTwice(upRing_, upHead_, buffer[m]);
        buffer[m] = upRing_[(upHead_ - 64) & 255];
        upHead_ = (upHead_ + 1) & 255;
    }
}

void HalfbandResampler::alignOutput(double* buffer, int n)
{
    for (int m = 0; m < n; ++m) {
        // 64 samples back has the same parity, 32 entries back in its ring.
        double* ring = downRing_[downCount_ & 1];
        const unsigned e = downCount_ >> 1;
        putTwice(ring, e, buffer[m]);
        buffer[m] = ring[(e - 32) & 255];
        downCount_ = (downCount_ + 1) & 511;
    }
}

// ---------------------------------------------------------------------------
// Scalar ring form. Ring positions run downward; index arithmetic is modulo
// 256.

HalfbandResamplerReference::HalfbandResamplerReference()
{
    buildTables(upTaps_, downTaps_);
    reset();
}

void HalfbandResamplerReference::reset()
{
    std::fill(std::begin(upRing_), std::end(upRing_), 0.0);
    std::fill(std::begin(downRing_), std::end(downRing_), 0.0);
    std::fill(std::begin(scratch_), std::end(scratch_), 0.0);
    upPos_ = 255;
    downPos_ = 255;
}

void HalfbandResamplerReference::upsample(double* buffer, int n)
{
    n = std::clamp(n, 0, 64);
    double* R = upRing_;
    int p = upPos_;
    for (int m = 0; m < n; ++m) {
        R[p & 255] = buffer[m];
        double a = 0.0;
        for (int k = 0; k < 64; ++k)
            a += hA(127 - 2 * k) * (R[(p + 2 + 2 * k) & 255] + R[(p - 2 * k) & 255]);
        scratch_[2 * m] = a;
        p = (p - 1) & 255;
        R[p] = 0.0;
        scratch_[2 * m + 1] = hA(0) * R[(p - 127) & 255];
        p = (p - 1) & 255;
    }
    upPos_ = p;
    std::memcpy(buffer, scratch_, sizeof(double) * 2 * n);
}

void HalfbandResamplerReference::downsample(double* buffer, int twoN)
{
    const int n = std::clamp(twoN / 2, 0, 64);
    double* S = downRing_;
    int p = downPos_;
    for (int i = 0; i < n; ++i) {
        S[p & 255] = buffer[2 * i];
        double a = 0.0;
        for (int k = 0; k < 64; ++k)
            a += hB(127 - 2 * k) * (S[(p + 2 + 2 * k) & 255] + S[(p - 2 * k) & 255]);
        const double z = hB(0) * S[(p - 127) & 255];
        p = (p - 1) & 255;
        S[p] = buffer[2 * i + 1];
        p = (p - 1) & 255;
        buffer[i] = a + z;
    }
    downPos_ = p;
}

void HalfbandResamplerReference::alignInput(double* buffer, int n)
{
    n = std::clamp(n, 0, 64);
    double* R = upRing_;
    int p = upPos_;
    for (int m = 0; m < n; ++m) {
        const double x = buffer[m];
        R[p & 255] = x;
        p = (p - 1) & 255;
        R[p] = x;
        buffer[m] = R[(p + 129) & 255];
        p = (p - 1) & 255;
    }
    upPos_ = p;
}

void HalfbandResamplerReference::alignOutput(double* buffer, int n)
{
    n = std::clamp(n, 0, 64);
    double* S = downRing_;
    int p = downPos_;
    for (int m = 0; m < n; ++m) {
        S[p & 255] = buffer[m];
        buffer[m] = S[(p + 64) & 255];
        p = (p - 1) & 255;
    }
    downPos_ = p;
}
