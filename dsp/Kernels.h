#pragma once

// The processing kernels: one body, instantiated for one or two processed
// channels, linked or unlinked detection, and one band or three bands plus a
// look-ahead limiter; and the bypass kernel. They share the pieces below:
// the anti-denormal bias, entry filters, tone stage, look-ahead maximum,
// envelope step, saturation curve, wet/dry alignment and output stage.
//
// Every path through a kernel delays the signal by N - 1 samples of the
// engine rate: the dry signal sits in the main (or other) ring, the wet
// signal spends g + 1 samples in the detector-indexed rings (plus h + 1 for
// the limiter in multi band) and the rest in the wet ring.

#include "dsp/BiquadSections.h"
#include "dsp/EnvelopeFilter.h"
#include "dsp/LookaheadMax.h"
#include "dsp/Meter.h"
#include "dsp/SaturationCurve.h"

#include <algorithm>
#include <array>
#include <cmath>

constexpr int kMaxDelayRing = 2048;
constexpr int kMaxDetectorRing = 1024;
constexpr double kRestingEnvelope = 0.0001;
constexpr double kEnvelopeFloor = 1e-6;
// Lowest detector value: keeps the gain F(X) / env finite in silence.
constexpr double kDetectorFloor = 0.0009766;
// Peak scaling of the single-band and limiter detectors.
constexpr double kDetectorScale = 1.0115795;

// Filter memory of one physical channel.
struct ChannelFilters {
    SubsonicState subsonic;
    ToneState lowTone;
    ToneState highTone;
};

// Rings and envelopes of one processing channel. The one-channel kernels and
// the linked detectors use those of the left channel.
struct ChannelRings {
    double env = kRestingEnvelope;
    double bandEnv[3] = {kRestingEnvelope, kRestingEnvelope, kRestingEnvelope};
    double limiterEnv = kRestingEnvelope;
    // Indexed by the detector positions (mask H - 1).
    double tone[kMaxDetectorRing];
    double band[3][kMaxDetectorRing];
    // Single-band detector, or the limiter's in multi band.
    LookaheadMax detector;
    LookaheadMax bandDetector[3];
    // Indexed by the delay position s (mask N - 1).
    double wet[kMaxDelayRing];
};

// Everything the kernels keep from sample to sample. Audio side only.
struct KernelState {
    double bias = 1e-16; // sign flips every sample
    int s = 0;           // delay-ring write position
    int wpos = 0;        // detector-ring write position
    double mainRing[kMaxDelayRing];
    double otherRing[kMaxDelayRing];
    ChannelFilters filters[2];
    ChannelRings ch[2];
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

    void clearRings();
    void resetEnvelopes();
};

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

using KernelFn = void (*)(KernelState&, const KernelParams&, const MeterBlock&, const double* const* in,
                          double* const* out, int n);

template <Layout L, bool MultiBand>
void runKernel(KernelState& st, const KernelParams& kp, const MeterBlock& mb, const double* const* in,
               double* const* out, int n);

// The unlinked stereo kernels with both channels in vector lanes; identical
// results to runKernel<Layout::StereoUnlinked, MultiBand>.
template <bool MultiBand>
void runUnlinkedPairs(KernelState& st, const KernelParams& kp, const MeterBlock& mb, const double* const* in,
                      double* const* out, int n);

void runBypass(KernelState& st, const KernelParams& kp, const MeterBlock& mb, const double* const* in,
               double* const* out, int n);
