#pragma once

// The envelope pieces shared by the scalar kernel body and its block form,
// written for any lane type (dsp/Lanes.h).

#include "dsp/EnvelopeFilter.h"

// Automatic release: the ratio R of the fast to the slow smoothed detector
// is high on transients and near a steady level low, so the release
// speeds up after short peaks and slows down under sustained compression.
struct ReleaseShape {
    double ratio;
    double slope;
    double scale;
};
inline constexpr ReleaseShape kSingleRelease{0.18, 3.0, 1.4};
inline constexpr ReleaseShape kBandRelease{0.15, 2.0, 1.5};
inline constexpr ReleaseShape kLimiterRelease{0.2, 4.0, 1.3};

namespace {

// The automatic release's factor on the release coefficient, from the fast
// (cf) and slow (cs) smoothed detector values: slope R / (R + 1) + 0.1.
template <class V> inline V releaseMultiplier(V cf, V cs, const ReleaseShape& shape)
{
    const V r = shape.ratio * cf / (cs + 1e-6);
    return shape.slope * r / (r + 1.0) + 0.1;
}

// One-pole follower toward the detector value c: attack when rising, release
// when falling. The automatic release scales the release coefficient by its
// multiplier m, the shape's scale and, in the linked single band, by a scale
// that grows with Release and Long (1 elsewhere). Both candidates are formed
// and one is chosen, which keeps the unpredictable attack/release decision
// off the branch predictor.
template <bool Auto, class V>
inline V envelopeFollow(V env, V c, double attackCoef, double releaseCoef, V m, double scale, double autoScale)
{
    const V rise = env + (c - env) * attackCoef;
    V fall;
    if constexpr (Auto)
        fall = env + (c - env) * releaseCoef * m * scale * autoScale;
    else
        fall = env + (c - env) * releaseCoef;
    return select(c > env, rise, fall);
}

// The envelope step of the scalar kernel: both smoothing filters are ticked
// every sample whether or not the automatic release uses them.
template <bool Auto>
inline double envelopeStep(double env, double c, double attackCoef, double releaseCoef, EnvelopeSection<>& fast,
                           EnvelopeSection<>& slow, const ReleaseShape& shape, double autoScale)
{
    const double cf = envelopeTick(fast, c);
    const double cs = envelopeTick(slow, c);
    const double m = Auto ? releaseMultiplier(cf, cs, shape) : 1.0;
    return envelopeFollow<Auto>(env, c, attackCoef, releaseCoef, m, shape.scale, autoScale);
}

template <class V> inline V clampUnit(V w)
{
    const V upper = select(w > 1.0, splat<V>(1.0), w);
    return select(upper < -1.0, splat<V>(-1.0), upper);
}

} // namespace
