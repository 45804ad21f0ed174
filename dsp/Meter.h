#pragma once

// Meter feed: per sample and channel, the over counter and the meter value
// (VU or PPM ballistics of the input, the output or the gain reduction).
// Owned and stepped by the audio side; the editor reads the published values
// through the engine.

#include "dsp/EnvelopeFilter.h"

enum class MeterSource { Pre = 0, GainReduction = 1, Post = 2 };

// Samples whose magnitude reaches this count as over. It is full scale less
// ten times the kernels' 1e-16 anti-denormal bias, so that a sample at
// exactly +-1.0 counts whichever sign the bias has at that moment.
constexpr double kOverLevel = 1.0 - 1e-15;

// Everything the meter step needs, fixed for one block.
struct MeterBlock {
    bool active = false; // editor open: no metering at all otherwise
    bool ppm = false;
    MeterSource source = MeterSource::GainReduction;
    double attack = 1.0;  // PPM rise coefficient per sample
    double release = 0.0; // PPM return coefficient per sample
    double reading = 1.0; // PPM reading compensation k
    double vuReferenceGain = 1.0;
    double ceilingGain = 1.0;
    double smallSignalGain = 1.0;
    double overThreshold = 3.0;
};

struct MeterChannel {
    float value = 0.0f;
    float overCount = 0.0f;
};

// One metering step for one channel. pre and post are the channel's input
// (with bias) and output samples, gain the gain the kernel applied to it.
void meterStep(const MeterBlock& mb, MeterChannel& ch, EnvelopeFilter& vu, double pre, double post, double gain);

// n steps for one channel, from values `stride` doubles apart.
void meterRun(const MeterBlock& mb, MeterChannel& ch, EnvelopeFilter& vu, const double* pre, const double* post,
              const double* gain, int stride, int n);
