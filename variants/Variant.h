// The two deliverables built from this tree, each described once as data:
// identity, parameter numbering, the parameter table, ring sizes and
// latency. The plug-in entry point picks one of them; nothing else in the
// code asks which build it is.
#pragma once

#include "dsp/RingSize.h"
#include "host/vst2abi.h"
#include "variants/ParamId.h"
#include "variants/ParameterTable.h"

#include <array>

// Highest parameter index either build uses (the combined stereo selector of
// the build without FAT), plus one.
constexpr int kParamIndexLimit = 66;
// Largest number of host parameters and program values of either build.
constexpr int kMaxParams = 48;

struct Variant {
    const char* effectName;
    const char* productString;
    VstInt32 uniqueId;
    int numParams; // host parameters, values per program and per file record

    // Index of each parameter in this build.
    std::array<int, kParamIdCount> indexOf;

    // FAT oversampling available; builds with it also carry the resamplers
    // and the two 64-frame alignments in the signal path.
    bool hasFat;
    int ringDivisor; // delay and detector rings are this many times smaller
    bool passedChannelGain; // the passed channel of the one-channel kernels gets Output gain

    // Every parameter's description, indexed by ParamId.
    ParameterTable parameters;

    // Parameter at a host or editor index, or ParamId::None.
    constexpr ParamId paramAt(int index) const
    {
        if (index < 0 || index >= kParamIndexLimit)
            return ParamId::None;
        for (int i = 0; i < kParamIdCount; ++i)
            if (indexOf[static_cast<size_t>(i)] == index)
                return static_cast<ParamId>(i);
        return ParamId::None;
    }

    constexpr int index(ParamId id) const { return indexOf[static_cast<size_t>(id)]; }

    // Delay-ring size N for a host sample rate (512/1024/2048 divided by ringDivisor).
    constexpr int delayRingSize(double sampleRate) const
    {
        return delayRingSizeFor(sampleRate, ringDivisor);
    }
    constexpr int detectorRingSize(double sampleRate) const { return delayRingSize(sampleRate) / 2; }

    // Processing latency in samples at the host rate: the kernel's N - 1, plus
    // the two 64-frame alignments where the build has them (N + 127 in all,
    // which is also what the FAT path delays by).
    constexpr int latencySamples(double sampleRate) const
    {
        return delayRingSize(sampleRate) + (hasFat ? 127 : -1);
    }

    constexpr const ParameterSpec& desc(ParamId id) const { return parameters[static_cast<size_t>(id)]; }

    // Global parameters are written into every program slot when set.
    constexpr bool isGlobal(ParamId id) const { return id != ParamId::None && id < ParamId::Count && desc(id).global; }
};

namespace variants {

inline constexpr Variant kAmbrel2{
    .effectName = "Nur Ambrel2",
    .productString = "Nur Ambrel2 - analog saturation & compression emulator",
    .uniqueId = fourCharCode('N', 'R', 'A', 'B'),
    .numParams = 42,
    .indexOf = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18,
                19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 43, 44, 45, 46, 47, 48, 57},
    .hasFat = true,
    .ringDivisor = 1,
    .passedChannelGain = true,
    .parameters = parameters::table({
        .fat = true,
        .satMin = 0.25,
        .satBase = 16.0,
        .satRangeDb = 24.0,
        .relMin = 0.0625,
        .relBase = 256.0,
    }),
};

inline constexpr Variant kAmbrel{
    .effectName = "Nur Ambrel",
    .productString = "Nur Ambrel - analog saturation & compression emulator",
    .uniqueId = fourCharCode('N', 'r', 'A', 'B'),
    .numParams = 48,
    .indexOf = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18,
                19, 20, 21, 22, 27, 28, 35, 31, 32, 33, 34, 36, 49, 50, 51, 52, 53, 54, 65},
    .hasFat = false,
    .ringDivisor = 4,
    .passedChannelGain = false,
    .parameters = parameters::table({
        .fat = false,
        .satMin = 0.5,
        .satBase = 4.0,
        .satRangeDb = 12.0,
        .relMin = 0.25,
        .relBase = 16.0,
    }),
};

} // namespace variants

// The two descriptions must number their parameters without collisions.
constexpr bool variantIndicesDistinct(const Variant& v)
{
    for (int a = 0; a < kParamIdCount; ++a)
        for (int b = a + 1; b < kParamIdCount; ++b)
            if (v.indexOf[static_cast<size_t>(a)] == v.indexOf[static_cast<size_t>(b)])
                return false;
    return true;
}
static_assert(variantIndicesDistinct(variants::kAmbrel2));
static_assert(variantIndicesDistinct(variants::kAmbrel));
// The FAT switch keeps what it is set to exactly where the build has FAT.
constexpr bool variantFatAgrees(const Variant& v)
{
    return v.hasFat == (v.desc(ParamId::Fat).keep != ParameterSpec::AlwaysZero);
}
static_assert(variantFatAgrees(variants::kAmbrel2));
static_assert(variantFatAgrees(variants::kAmbrel));
static_assert(variants::kAmbrel2.latencySamples(44100.0) == 639);
static_assert(variants::kAmbrel2.latencySamples(96000.0) == 1151);
static_assert(variants::kAmbrel2.latencySamples(192000.0) == 2175);
static_assert(variants::kAmbrel.latencySamples(44100.0) == 127);
static_assert(variants::kAmbrel.latencySamples(96000.0) == 255);
static_assert(variants::kAmbrel.latencySamples(192000.0) == 511);
