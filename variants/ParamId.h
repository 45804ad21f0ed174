// Identity of every parameter, independent of the index a build gives it.
#pragma once

#include <cstdint>

enum class ParamId : uint8_t {
    Process,
    Mode,
    MonoStereo,
    Link,
    Drive,
    Knee,
    Speed,
    Release,
    HighAdjust,
    LowAdjust,
    HighFreq,
    LowFreq,
    Mix,
    Ceiling,
    Output,
    LowSat,
    MidSat,
    HighSat,
    LowRel,
    MidRel,
    HighRel,
    Meters,
    MeterType,
    MeterLatency, // meter latency compensation, shown unnamed with the label " ms "
    FineTune,
    MeterScale,
    Fat,
    Long,
    Auto,
    Brickwall,
    LR,
    VuIntegr,
    VuRefer,
    PpmIntegr,
    PpmReturn,
    OverIndic,
    KnobMode,
    StereoSelector, // combined Mono Stereo / L R selector used by the editor
    Count,
    None = 0xFF, // an index without a parameter ("-")
};

constexpr int kParamIdCount = static_cast<int>(ParamId::Count);
