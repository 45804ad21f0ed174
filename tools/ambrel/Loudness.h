// Level figures of a stereo sound: sample peak, and where the platform has a
// loudness meter, integrated loudness and true peak (ITU-R BS.1770).
#pragma once

#include "tools/ambrel/AudioFile.h"

namespace ambrel {

struct LevelReport {
    double samplePeakDb = 0.0; // dBFS
    bool hasLoudness = false;
    double integratedLufs = 0.0;
    double truePeakDb = 0.0; // dBTP
};

LevelReport measureLevels(const AudioData& data);

} // namespace ambrel
