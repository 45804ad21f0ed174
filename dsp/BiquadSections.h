#pragma once

// The fixed second-order sections at the entry of every kernel: the subsonic
// high-pass and the two tone filters that split a signal into low and high
// regions. Coefficients are computed where the corner or the engine rate
// changes; the tick functions run per sample and take the kernel's
// alternating bias d, which keeps the recursive state away from denormals.
// The ticks are written for any lane type (dsp/Lanes.h): one channel per
// lane, all with the same coefficients.

#include "dsp/Lanes.h"

#include <algorithm>
#include <cmath>

// Direct form I high-pass at 15 Hz, Q 0.7071.
struct SubsonicCoefs {
    double b0 = 0.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;
};

// No member initializers: value-initialize ({}) for a cleared state. (A
// constructor would be code of its own, which a translation unit built for
// AVX2 must not emit for lane types the baseline code shares.)
template <class V = double> struct SubsonicState {
    V x1, x2, y1, y2;
};

// Direct form II section. Both tone responses have b2 == b0, so only b0 and
// b1 are kept.
struct ToneCoefs {
    double b0 = 0.0, b1 = 0.0, a1 = 0.0, a2 = 0.0;
};

template <class V = double> struct ToneState {
    V w1, w2;
};

// 15 Hz at the engine rate: w = 2 pi 15 / rate, alpha = sin(w) / (2 Q).
inline SubsonicCoefs designSubsonic(double engineRate)
{
    const double w = 94.24777960769379 / engineRate;
    const double cs = std::cos(w);
    const double alpha = std::sin(w) / 1.4142;
    const double a0 = 1.0 + alpha;
    SubsonicCoefs c;
    c.b0 = (1.0 + cs) / 2.0 / a0;
    c.b1 = -(1.0 + cs) / a0;
    c.b2 = c.b0;
    c.a1 = -2.0 * cs / a0;
    c.a2 = (1.0 - alpha) / a0;
    return c;
}

// The tone corners come from the HighFreq and LowFreq controls (up to 16 kHz)
// and can reach the Nyquist frequency of a low engine rate. There sin(w) is 0
// (the section rings for ever) and beyond it negative (the section diverges).
// The corner is therefore held at 0.499 times the rate, the same limit the
// envelope filters use.
inline double toneCorner(double hz, double engineRate)
{
    return std::min(hz, 0.499 * engineRate);
}

// Q 0.5 (alpha = sin w): a critically damped pair of real poles.
inline ToneCoefs designToneHighPass(double hz, double engineRate)
{
    const double w = 6.283185307179586 * toneCorner(hz, engineRate) / engineRate;
    const double cs = std::cos(w);
    const double sn = std::sin(w);
    const double a0 = 1.0 + sn;
    ToneCoefs c;
    c.b0 = (1.0 + cs) / 2.0 / a0;
    c.b1 = -(1.0 + cs) / a0;
    c.a1 = -2.0 * cs / a0;
    c.a2 = (1.0 - sn) / a0;
    return c;
}

inline ToneCoefs designToneLowPass(double hz, double engineRate)
{
    const double w = 6.283185307179586 * toneCorner(hz, engineRate) / engineRate;
    const double cs = std::cos(w);
    const double sn = std::sin(w);
    const double a0 = 1.0 + sn;
    ToneCoefs c;
    c.b0 = (1.0 - cs) / 2.0 / a0;
    c.b1 = (1.0 - cs) / a0;
    c.a1 = -2.0 * cs / a0;
    c.a2 = (1.0 - sn) / a0;
    return c;
}

namespace {

template <class V> inline V subsonicTick(const SubsonicCoefs& c, SubsonicState<V>& s, V x, V d)
{
    const V y = c.b0 * x + c.b1 * s.x1 + c.b2 * s.x2 - c.a1 * s.y1 - c.a2 * s.y2 + d;
    s.y2 = s.y1;
    s.y1 = y;
    s.x2 = s.x1;
    s.x1 = x;
    return y;
}

template <class V> inline V toneTick(const ToneCoefs& c, ToneState<V>& s, V x, V d)
{
    const V w = x - c.a1 * s.w1 - c.a2 * s.w2 + d;
    const V y = c.b0 * (w + s.w2) + c.b1 * s.w1;
    s.w2 = s.w1;
    s.w1 = w;
    return y;
}

} // namespace
