// Builds without a loudness meter report the sample peak only.
#include "tools/ambrel/Loudness.h"
#include "tools/ambrel/Render.h"

#include <cmath>

namespace ambrel {

LevelReport measureLevels(const AudioData& data)
{
    LevelReport report;
    const double peak = peakOf(data);
    report.samplePeakDb = peak > 0.0 ? 20.0 * std::log10(peak) : -HUGE_VAL;
    return report;
}

} // namespace ambrel
