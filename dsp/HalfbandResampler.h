#pragma once

// 2x half-band resampler for one channel: upsample() raises a block to twice
// its rate through a 255-tap Blackman-windowed half-band filter, downsample()
// brings it back through a 255-tap Hann-windowed one. Each direction delays
// by 129 samples of the doubled rate. When the engine runs at the host rate,
// alignInput() and alignOutput() instead delay the channel by 64 samples each.
//
// Both half-band filters are symmetric with zero even taps, so every filtered
// output is a sum of 64 symmetric pairs w_k (x_a + x_b), k = 0..63, taken
// from the outer taps inwards. The sums are accumulated in exactly that order
// so that results are reproducible to the bit on every target.
//
// Each filter keeps 128 samples of memory, one short of the full window: the
// outer pair of every sum takes the newest sample where the window would
// reach 128 samples back. That weight is about 1e-7 (-139 dB); it is part of
// the design and kept.
//
// The fast path computes several consecutive outputs at once in vector
// lanes (two with SSE2, four with AVX2, one for the scalar level), each lane
// keeping its own in-order sum, and gives bit-identical results to
// HalfbandResamplerReference, which follows the ring algorithm one sample at
// a time and is kept for tests and benchmarks. One object serves one channel;
// the lanes already run across consecutive outputs of a block, so there is no
// stereo entry point.
//
// Memory is fixed at construction; no call allocates. Blocks of any length
// are accepted; the engine uses at most 64 frames.

#include "dsp/SimdLevel.h"

class HalfbandResampler {
public:
    explicit HalfbandResampler(SimdLevel level = SimdLevel::Sse2);

    // Clears all filter memory.
    void reset();

    // Replaces n samples by 2n samples at twice the rate. The buffer must hold
    // 2n doubles.
    void upsample(double* buffer, int n);
    // Replaces twoN samples by twoN / 2 samples at half the rate (a stray odd
    // last sample is ignored).
    void downsample(double* buffer, int twoN);
    // Delays n samples in place by 64 samples, for running at the host rate.
    // It shares its memory with upsample(), as alignOutput() does with
    // downsample(); the engine resets the object when it switches modes.
    void alignInput(double* buffer, int n);
    // Delays n samples in place by 64 samples.
    void alignOutput(double* buffer, int n);

    // Filter taps hA(i) (upsampling) and hB(i) (downsampling), i in -127..127.
    double upTap(int i) const { return upTaps_[i + 127]; }
    double downTap(int i) const { return downTaps_[i + 127]; }

private:
    static constexpr int kChunk = 64;

    void upsampleChunk(const double* in, double* out, int n);
    void downsampleChunk(const double* in, double* out, int n);

    void (*sums_)(const double* h, const double* weights, int n, double* out);
    double upTaps_[255];
    double downTaps_[255];
    // Pair weights in summation order, w_k = h(127 - 2k), each stored four
    // times so that one load fills every lane.
    double upWeights_[256];
    double downWeights_[256];
    // The rings below hold 256 samples each and store every sample twice, at
    // q and q + 256, so that any 192 consecutive samples (128 of history and
    // a 64-frame chunk) can be read as one contiguous array.
    // Up side: input samples; upHead_ is where the next one goes.
    double upRing_[512];
    int upHead_ = 0;
    // Down side: the samples split by the parity of downCount_, the number of
    // samples taken since reset (modulo 512). A filtered sum reads only
    // samples of one parity, the centre tap one of the other.
    double downRing_[2][512];
    unsigned downCount_ = 0;
    double chunkSums_[kChunk];
};

// Scalar form of the same resampler that follows the ring algorithm literally:
// 256-entry rings whose positions run downward, the upsampling ring holding a
// zero at every other position. Slow; it is the yardstick for the fast path.
// Blocks are limited to 64 frames (longer requests are cut to 64).
class HalfbandResamplerReference {
public:
    HalfbandResamplerReference();

    void reset();
    void upsample(double* buffer, int n);
    void downsample(double* buffer, int twoN);
    void alignInput(double* buffer, int n);
    void alignOutput(double* buffer, int n);

    double upTap(int i) const { return upTaps_[i + 127]; }
    double downTap(int i) const { return downTaps_[i + 127]; }

private:
    double hA(int i) const { return upTaps_[i + 127]; }
    double hB(int i) const { return downTaps_[i + 127]; }

    double upTaps_[255];
    double downTaps_[255];
    double upRing_[256];
    double downRing_[256];
    int upPos_ = 255;
    int downPos_ = 255;
    double scratch_[128];
};
