#include "dsp/Meter.h"

#include <cmath>

namespace {

inline void step(const MeterBlock& mb, MeterChannel& ch, EnvelopeSection<>& vu, double pre, double post, double gain)
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
            ch.value = static_cast<float>(envelopeTick(vu, std::fabs(s) * 1.4142136 * 1.096 / mb.vuReferenceGain));
        } else {
            const double gv = std::fabs(gain) * mb.ceilingGain;
            if (gv < 0.01)
                ch.value = 1.0f;
            else
                ch.value = static_cast<float>(envelopeTick(vu, gv / mb.smallSignalGain));
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

} // namespace

void meterStep(const MeterBlock& mb, MeterChannel& ch, EnvelopeFilter& vu, double pre, double post, double gain)
{
    step(mb, ch, vu.section, pre, post, gain);
}

void meterRun(const MeterBlock& mb, MeterChannel& ch, EnvelopeFilter& vu, const double* pre, const double* post,
              const double* gain, int stride, int n)
{
    MeterChannel c = ch;
    EnvelopeSection<> s = vu.section;
    for (int i = 0; i < n; ++i)
        step(mb, c, s, pre[i * stride], post[i * stride], gain[i * stride]);
    ch = c;
    vu.section = s;
}
