#pragma once

// The static saturation curve that turns a drive level X >= 0 into an output
// level F(X) <= 1, and the quantities derived from it for a whole setting.
//
// Two families, chosen by the Knee control:
//   shape 0: a blend of the straight line X and the parabola 2X - X^2, both
//            reaching 1 at X = 1; amount a moves from the hard corner (a = 0)
//            to the soft parabola (a = 1).
//   shape 1: X is first bent by X' = I X / (X + I - 1), which maps 0 to 0 and
//            1 to 1 with slope I / (I - 1) at 0, then the parabola is taken.
//            I = 1.4 * 30^(1 - a^(1/8)) runs from 42 (a = 0, nearly the plain
//            parabola) down to 1.4 (a = 1, a very soft knee).

#include "dsp/Lanes.h"

#include <cmath>

struct SaturationCurve {
    int shape = 0;
    double amount = 0.0;
    double inflection = 42.0; // I of shape 1

    // I for a knee amount; the eighth root as three square roots.
    static double inflectionFor(double amount)
    {
        return 1.4 * std::pow(30.0, 1.0 - std::sqrt(std::sqrt(std::sqrt(amount))));
    }

    static SaturationCurve fromKnee(int shape, double amount)
    {
        SaturationCurve c;
        c.shape = shape;
        c.amount = amount;
        c.inflection = inflectionFor(amount);
        return c;
    }

    // The drive level at which the curve reaches y, in single precision.
    float inverse(float y) const
    {
        const float a = static_cast<float>(amount);
        if (shape == 1 && y < 1.0f) {
            const float i = static_cast<float>(inflection);
            const float b = 1.0f - std::sqrt(1.0f - y);
            return (i - 1.0f) * b / (i - b);
        }
        if (shape == 0 && y < 1.0f && a > 0.0f)
            return ((1.0f + a) - std::sqrt((1.0f + a) * (1.0f + a) - 4.0f * a * y)) / (2.0f * a);
        return y;
    }
};

namespace {

// F(X) for drive levels X >= 0, lane by lane.
template <class V> inline V saturate(const SaturationCurve& c, V x)
{
    if (c.shape == 0) {
        const V bent = (1.0 - c.amount) * x + c.amount * (2.0 * x - x * x);
        return select(x < 1.0, bent, splat<V>(1.0));
    }
    const double i = c.inflection;
    const V xb = i * x / (x + i - 1.0);
    const V bent = 2.0 * xb - xb * xb;
    return select(xb < 1.0, bent, splat<V>(1.0));
}

// Gain of a vanishing signal through drive, curve and ceiling: the slope of
// F at 0 (taken at a level of 1e-6) times the three gains.
inline float smallSignalGain(const SaturationCurve& c, float ceilingDrive, double driveGain, double ceilingGain)
{
    const double v = ceilingDrive * 1e-6;
    return static_cast<float>(saturate(c, v) / 1e-6 * driveGain * ceilingGain);
}

} // namespace
