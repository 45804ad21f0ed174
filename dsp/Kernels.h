#pragma once

// The processing kernels: one body, instantiated for one or two processed
// channels, linked or unlinked detection, and one band or three bands plus a
// look-ahead limiter; and the bypass kernel. They share the pieces of
// dsp/BiquadSections.h, dsp/EnvelopeFilter.h, dsp/KernelsShared.h and
// dsp/SaturationCurve.h: the anti-denormal bias, entry filters, tone stage,
// look-ahead maximum, envelope step, saturation curve, wet/dry alignment and
// output stage.
//
// Each kernel exists twice: the scalar reference, which follows the signal
// path one sample at a time, and the block form, which runs it a block at a
// time in vector lanes (two or four doubles) and gives the same results to
// the bit. The engine picks the block form for the widest instruction set
// the processor has (dsp/SimdLevel.h).
//
// Every path through a kernel delays the signal by N - 1 samples of the
// engine rate: the dry signal sits in the dry ring, the wet signal spends
// g + 1 samples in the detector-indexed rings (plus h + 1 for the limiter in
// multi band) and the rest in the wet ring.

#include "dsp/BiquadSections.h"
#include "dsp/EnvelopeFilter.h"
#include "dsp/LookaheadMax.h"
#include "dsp/Meter.h"
#include "dsp/SaturationCurve.h"
#include "dsp/SimdLevel.h"

#include <array>

constexpr int kMaxDelayRing = 2048;
constexpr int kMaxDetectorRing = 1024;
// Longest block a kernel is given: 64 host frames at twice the rate.
constexpr int kMaxBlock = 128;
constexpr double kRestingEnvelope = 0.0001;
constexpr double kEnvelopeFloor = 1e-6;
// Lowest detector value, about 2^-10 (-60 dBFS): keeps the gain F(X) / env
// finite in silence.
constexpr double kDetectorFloor = 0.0009766;
// The single-band and limiter detectors read the peak this much high
// (+0.1 dB), so that a signal held at the curve's ceiling peaks at
// 1 / 1.0115795, -0.1 dBFS, leaving headroom for what the output stage adds.
constexpr double kDetectorScale = 1.0115795;

// Filter memory of one physical channel.
struct ChannelFilters {
    SubsonicState<> subsonic{};
    ToneState<> lowTone{};
    ToneState<> highTone{};
};

// Envelopes and look-ahead detectors of one processing channel. The
// one-channel kernels and the linked detectors use those of the left channel.
struct ChannelDetectors {
    double env = kRestingEnvelope;
    double bandEnv[3] = {kRestingEnvelope, kRestingEnvelope, kRestingEnvelope};
    double limiterEnv = kRestingEnvelope;
    // Single-band detector, or the limiter's in multi band.
    LookaheadMax detector;
    LookaheadMax bandDetector[3];
};

// Work arrays of the block kernels for one block. An entry holds one value
// per lane: per channel (C of them) for signals, per detector channel (D)
// for detector values, envelopes and gains, so sample i of an array with L
// lanes starts at index i * L.
struct alignas(32) KernelScratch {
    double dryIn[2 * kMaxBlock];     // dry ring entries (main, other)
    double pre[2 * kMaxBlock];       // meter inputs, left and right
    double post[2 * kMaxBlock];      // meter outputs
    double meterGain[2 * kMaxBlock]; // gains shown by the meters
    double signal[3][2 * kMaxBlock]; // t' (single band) or the three bands
    double level[2][4][kMaxBlock];   // detector inputs per detector channel: bands, then limiter
    double peak[2][4][kMaxBlock];
    double det[4][2 * kMaxBlock];    // detector values with floor and bias
    double fast[4][2 * kMaxBlock];   // smoothed detector values, then release multipliers
    double slow[4][2 * kMaxBlock];
    double env[4][2 * kMaxBlock];    // envelopes, then gains
    double sum[2 * kMaxBlock];       // band sums
    double bandGain[2 * kMaxBlock];  // smallest band gain
};

// Everything the kernels keep from sample to sample. Audio side only.
struct KernelState {
    double bias = 1e-16; // sign flips every sample
    int s = 0;           // delay-ring write position
    int wpos = 0;        // detector-ring write position
    // The rings hold both channels side by side at each position.
    // Dry ring (mask N - 1): main (processed, or left) and other (passed,
    // or right) channel.
    alignas(32) double dry[kMaxDelayRing][2];
    // Indexed by the detector positions (mask H - 1): the tone-shaped signal
    // (the band sum in multi band) and the three bands.
    alignas(32) double tone[kMaxDetectorRing][2];
    alignas(32) double band[3][kMaxDetectorRing][2];
    // Wet ring, indexed by the delay position s (mask N - 1).
    alignas(32) double wet[kMaxDelayRing][2];
    ChannelFilters filters[2];
    ChannelDetectors ch[2];
    // Detector smoothing for the automatic release, by number: bands 0-2
    // fast and 4-6 slow, single band / limiter 3 fast and 7 slow (left or
    // linked); 8-10, 12-14 and 11, 15 the same for the right channel. The
    // right channel's band filters share the left ones' corners (low band
    // slowest, high band fastest), so unlinked stereo treats both channels
    // alike.
    std::array<EnvelopeFilter, 16> envFilters{{
        {44100.0, 50.0, 0.5},
        {44100.0, 200.0, 0.5},
        {44100.0, 1000.0, 0.5},
        {44100.0, 200.0, 0.5},
        {44100.0, 5.0, 0.5},
        {44100.0, 20.0, 0.5},
        {44100.0, 100.0, 0.5},
        {44100.0, 20.0, 0.5},
        {44100.0, 50.0, 0.5},
        {44100.0, 200.0, 0.5},
        {44100.0, 1000.0, 0.5},
        {44100.0, 200.0, 0.5},
        {44100.0, 5.0, 0.5},
        {44100.0, 20.0, 0.5},
        {44100.0, 100.0, 0.5},
        {44100.0, 20.0, 0.5},
    }};
    // VU ballistics, left and right.
    std::array<EnvelopeFilter, 2> vu{{{44100.0, 2.0, 0.583}, {44100.0, 2.0, 0.583}}};
    MeterChannel meter[2];
    KernelScratch scratch;

    void clearRings();
    void resetEnvelopes();
};

// Index of the fast smoothing filter of band b (3 = single band / limiter)
// of detector channel c; the slow one is four above.
constexpr int fastFilter(int c, int b)
{
    return c == 0 ? b : 8 + b;
}

// Which channel a one-channel kernel processes (the L R control).
enum class Route { Mono, Left, Right };

// Parameter-derived values for one block of kernel work.
struct KernelParams {
    int delayMask = 511;      // N - 1
    int detectorMask = 255;   // H - 1
    int lookahead = 1;        // g
    int limiterLookahead = 1; // h
    double lowAdjustGain = 1.0, highAdjustGain = 1.0;
    double attackCoef = 1.0, releaseCoef = 1.0;
    double bandReleaseCoef[3] = {1.0, 1.0, 1.0};
    double limiterAttackCoef = 1.0, limiterReleaseCoef = 1.0;
    double autoReleaseScale = 1.0;
    bool autoRelease = false;
    bool brickwall = false;
    double driveGain = 1.0;
    double ceilingDrive = 1.0;
    double ceilingGain = 1.0;
    double mixAmount = 1.0;
    double outputGain = 1.0;
    double passedGain = 1.0; // outputGain, or 1 where the passed channel keeps its level
    double satGain[3] = {1.0, 1.0, 1.0};
    SaturationCurve curve;
    Route route = Route::Mono;
    double smallSignalGain = 1.0; // gain shown for a passed channel
    SubsonicCoefs subsonic;
    ToneCoefs lowTone;  // high-pass at the low corner
    ToneCoefs highTone; // low-pass at the high corner
};

// Processed-channel layouts of the kernel body.
enum class Layout { OneChannel, StereoLinked, StereoUnlinked };

// in and out hold n samples per channel, n at most kMaxBlock.
using KernelFn = void (*)(KernelState&, const KernelParams&, const MeterBlock&, const double* const* in,
                          double* const* out, int n);

// The seven kernels in the block driver's order of choice.
enum KernelIndex {
    kBypass,
    kOneChannelSingle,
    kOneChannelMulti,
    kLinkedSingle,
    kLinkedMulti,
    kUnlinkedSingle,
    kUnlinkedMulti,
    kKernelCount,
};
using KernelTable = std::array<KernelFn, kKernelCount>;

// The scalar reference kernels, and the kernels of a level: the reference
// ones for SimdLevel::Scalar, else the block kernels built for it.
const KernelTable& referenceKernels();
const KernelTable& kernelsFor(SimdLevel level);
namespace sse2 {
const KernelTable& kernels();
}
namespace avx2 {
const KernelTable& kernels();
}

// Process off: both channels delayed like the processing paths; every
// table holds it.
void runBypass(KernelState& st, const KernelParams& kp, const MeterBlock& mb, const double* const* in,
               double* const* out, int n);
