#pragma once

// Building blocks shared by the scalar kernel body and its vector form.

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

// One-pole follower toward the detector value c: attack when rising, release
// (fixed or automatic) when falling. Both smoothing filters are ticked every
// sample whether or not the automatic release uses them.
inline double envelopeStep(double env, double c, double attackCoef, double releaseCoef, bool autoRelease,
                           EnvelopeFilter& fast, EnvelopeFilter& slow, ReleaseShape shape, double autoScale)
{
    const double cf = fast.tick(c);
    const double cs = slow.tick(c);
    // Both candidates are formed and one is chosen, which keeps the
    // unpredictable attack/release decision off the branch predictor.
    const double attack = env + (c - env) * attackCoef;
    double release;
    if (autoRelease) {
        const double r = shape.ratio * cf / (cs + 1e-6);
        release = env + (c - env) * releaseCoef * (shape.slope * r / (r + 1.0) + 0.1) * shape.scale * autoScale;
    } else {
        release = env + (c - env) * releaseCoef;
    }
    return c > env ? attack : release;
}

inline double clampUnit(double w)
{
    return w > 1.0 ? 1.0 : (w < -1.0 ? -1.0 : w);
}
