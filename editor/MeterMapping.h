// Needle position of the two meters: a linear meter value x (1.0 is the 0 dB
// mark) to a position in [0, 1] and to a frame of the meter's film strip.
// The meter control draws its needle with it, and the skin generator prints
// the dB marks of both scales where it puts the needle, so the faces read
// true.
//
// The arithmetic keeps the precisions the meter has always had: x^1.2 and
// the scale constants are evaluated in double and rounded to float after
// each step; the frame is then taken in double. A float product would round
// 100 * 0.635f up to 63.5 and show frame 64 at 0 dB instead of 63.
#pragma once

#include <cmath>

namespace meter {

inline constexpr int kMeterFrames = 101;

// The two scales of the faces: normal "-20..+3" and alternate "-40..+6".
enum class Scale : int { Normal = 0, Alternate = 1 };

inline constexpr double kNormalScaleLowDb = -20.0;
inline constexpr double kNormalScaleHighDb = 3.0;
inline constexpr double kAlternateScaleLowDb = -40.0;
inline constexpr double kAlternateScaleHighDb = 6.0;

// Position of the needle in [0, 1] for the value x. Negative values (and
// NaN) show as zero; beyond full scale the needle rests at 1.
inline float needlePosition(float x, Scale scale)
{
    if (!(x > 0.0f))
        x = 0.0f;
    float a = static_cast<float>(std::pow(static_cast<double>(x), 1.2));
    if (scale == Scale::Alternate)
        a = std::sqrt(a);
    float m = static_cast<float>(static_cast<double>(a) * 0.617 + 0.018);
    if (m > 1.0f)
        m = 1.0f;
    return m;
}

// Frame of a strip of `frames` frames that shows the needle for x.
inline int needleFrame(float x, Scale scale, int frames = kMeterFrames)
{
    return static_cast<int>(static_cast<double>(frames - 1) * needlePosition(x, scale) + 0.5);
}

// Linear meter value of a level in dB (0 dB = 1.0), in the float the meter
// receives.
inline float levelToValue(double db)
{
    return static_cast<float>(std::pow(10.0, db / 20.0));
}

} // namespace meter
