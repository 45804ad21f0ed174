#pragma once

// Meter feed: per sample and channel, the over counter and the meter value
// (VU or PPM ballistics of the input, the output or the gain reduction).
// Owned and stepped by the audio side; the editor reads the published values
// through the engine.

#include "dsp/EnvelopeFilter.h"

#include <cmath>

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
inline void meterStep(const MeterBlock& mb, MeterChannel& ch, EnvelopeFilter& vu, double pre, double post, double gain)
{
    const double s = mb.source == MeterSource::Pre ? pre : post;
    if (std::fabs(s) >= kOverLevel)
        ch.overCount = ch.overCount + 1.0f;
    else if (ch.overCount < mb.overThreshold)
        ch.overCount = 0.0f;

    const bool gainReduction = mb.source == MeterSource::GainReduction;
    if (!mb.ppm) {
        if (!gainReduction) {
            // Mean magnitude, scaled so that a sine peaking at the reference
            // level reads close to 1: the mean of |sin| is 2 / pi of its peak,
            // and 1.4142136 * 1.096 * 2 / pi = 0.987.
            ch.value = static_cast<float>(vu.tick(std::fabs(s) * 1.4142136 * 1.096 / mb.vuReferenceGain));
        } else {
            const double gv = std::fabs(gain) * mb.ceilingGain;
            if (gv < 0.01)
                ch.value = 1.0f;
            else
                ch.value = static_cast<float>(vu.tick(gv / mb.smallSignalGain));
        }
        return;
    }
    const double meter = ch.value;
    if (!gainReduction) {
        const double target = std::fabs(s) * mb.reading;
        ch.value = static_cast<float>(meter + (target - meter) * (meter < target ? mb.attack : mb.release));
    } else {
        // Gain reduction grows (the value falls) with the attack time and
        // recovers with the return time.
        const double target = std::fabs(gain) * mb.ceilingGain / mb.smallSignalGain;
        ch.value = static_cast<float>(meter + (target - meter) * (meter > target ? mb.attack : mb.release));
    }
}
