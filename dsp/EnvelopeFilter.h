#pragma once

// Second-order low-pass that smooths detector values (automatic release) and
// meter levels (VU ballistics). One object per use; owned and ticked by the
// audio side only, so it carries no synchronisation of its own.

#include "dsp/Lanes.h"

// Coefficients, memory and bias phase of a section. The kernels run several
// sections side by side, one per vector lane, with the tick below. A
// low-pass section's b2 equals its b0, so only b0 is kept.
template <class V = double> struct EnvelopeSection {
    V b0, b1, a1, a2;
    V x1, x2, y1, y2;
    V offset;
};

class EnvelopeFilter {
public:
    EnvelopeFilter(double sampleRate, double cutoffHz, double q);

    // Stores the rate and recomputes (which limits the cutoff to 0.499
    // times the rate).
    void setSampleRate(double rate);
    // Stores the cutoff and recomputes.
    void setCutoff(double hz);
    // Coefficients from the current rate, cutoff and q. A cutoff above
    // 0.499 times the rate is lowered to that and the lowered value kept.
    void recompute();
    // Zeroes the filter memory (not the bias phase).
    void clear() { section.x1 = section.x2 = section.y1 = section.y2 = 0.0; }
    // One sample in, one out.
    double tick(double x);

    double sampleRate() const { return sampleRate_; }
    double cutoff() const { return cutoffHz_; }
    double q() const { return q_; }

    // Coefficients and memory. The bias starts at 1e-13.
    EnvelopeSection<double> section{};

private:
    double sampleRate_;
    double cutoffHz_;
    double q_;
};

namespace {

// One sample in, one out. A bias of 1e-13 with alternating sign rides on the
// input and on the stored output so that the recursion never decays into
// denormal numbers; at the Nyquist frequency it is far below any audible or
// metered level.
template <class V> inline V envelopeTick(EnvelopeSection<V>& s, V x)
{
    s.offset = -s.offset;
    const V xb = x + s.offset;
    const V y = s.b0 * xb + s.b1 * s.x1 + s.b0 * s.x2 - s.a1 * s.y1 - s.a2 * s.y2;
    s.y2 = s.y1;
    s.y1 = y + s.offset;
    s.x2 = s.x1;
    s.x1 = xb;
    return y;
}

} // namespace
