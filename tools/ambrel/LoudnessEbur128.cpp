#include "tools/ambrel/Loudness.h"
#include "tools/ambrel/Render.h"

#include <algorithm>
#include <cmath>
#include <ebur128.h>

namespace ambrel {

namespace {

double toDb(double linear)
{
    return linear > 0.0 ? 20.0 * std::log10(linear) : -HUGE_VAL;
}

} // namespace

LevelReport measureLevels(const AudioData& data)
{
    LevelReport report;
    report.samplePeakDb = toDb(peakOf(data));
    if (data.channels < 1 || data.frames() == 0)
        return report;
    ebur128_state* state = ebur128_init(static_cast<unsigned>(data.channels),
                                        static_cast<unsigned long>(std::lround(data.sampleRate)),
                                        EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
    if (!state)
        return report;
    if (ebur128_add_frames_double(state, data.samples.data(), data.frames()) == EBUR128_SUCCESS) {
        double lufs = 0.0;
        double truePeak = 0.0;
        bool ok = ebur128_loudness_global(state, &lufs) == EBUR128_SUCCESS;
        for (unsigned c = 0; ok && c < static_cast<unsigned>(data.channels); ++c) {
            double channelPeak = 0.0;
            ok = ebur128_true_peak(state, c, &channelPeak) == EBUR128_SUCCESS;
            truePeak = std::max(truePeak, channelPeak);
        }
        if (ok) {
            report.hasLoudness = true;
            report.integratedLufs = lufs;
            report.truePeakDb = toDb(truePeak);
        }
    }
    ebur128_destroy(&state);
    return report;
}

} // namespace ambrel
