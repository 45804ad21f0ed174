#include "presets/FactoryPresets.h"

#include <cctype>
#include <cmath>

namespace {

// The columns in which the presets differ. The band release columns hold the
// release factor the preset means (x4, x1, x0.25); each build turns it into
// its own normalized value through its release range, which is why the same
// preset reads LowRel 0.75 in one build and 1 in the other.
struct Row {
    const char* name;
    double mode, link, drive, knee, speed, release, highAdjust, lowAdjust, highFreq, lowFreq, ceiling, output;
    double lowRelFactor, highRelFactor;
};

constexpr Row kRows[kFactoryPresetCount] = {
    // name                      Mode Link Drive  Knee   Speed  Rel   HiAdj  LoAdj  HiFrq  LoFrq  Ceil   Output  LoRel HiRel
    {"Current",                  0, 1, 0.5,   0,     1,     0.5,  0.5,   0.5,   1,     0.5,   0.5,   0.5,    1, 1},
    {"Default",                  0, 1, 0.5,   0,     1,     0.5,  0.5,   0.5,   1,     0.5,   0.5,   0.5,    1, 1},
    {"Mastering First Aid",      1, 1, 0.535, 0,     1,     0.5,  0.54,  0.55,  1,     0.57,  0.5,   0.4984, 1, 1},
    {"Mix First Aid 1",          1, 1, 0.55,  0,     0.5,   0.5,  0.75,  0.75,  0.65,  0.65,  0.5,   0.4984, 1, 1},
    {"Mix First Aid 2",          1, 1, 0.5,   0.1,   0.5,   0.5,  0.65,  0.57,  0.7,   0.65,  0.5,   0.4984, 1, 1},
    {"Mix First Aid 3",          1, 1, 0.6,   0,     1,     0.5,  0.56,  0.57,  1,     0.57,  0.5,   0.4984, 1, 1},
    {"Mix First Aid 4",          1, 1, 0.58,  0,     0.65,  0.5,  0.71,  0.71,  0.65,  0.75,  0.5,   0.4984, 1, 1},
    {"Mix Extra Pressure",       1, 1, 0.6,   0.2,   0.6,   0.75, 0.5,   0.5,   0.5,   0.5,   0.48,  0.4984, 1, 1},
    {"Mix Finalize 1",           1, 1, 0.65,  0,     0.4,   0.75, 0.5,   0.5,   0.5,   0.5,   0.5,   0.4984, 4, 0.25},
    {"Mix Finalize 2",           1, 1, 0.6,   0.1,   0.25,  0.75, 0.5,   0.5,   0.5,   0.5,   0.5,   0.4984, 4, 0.25},
    {"Mix Finalize 3",           1, 1, 0.55,  0.2,   0,     1,    0.5,   0.5,   0.5,   0.5,   0.5,   0.4984, 4, 0.25},
    {"Mix liteDriven Tape",      1, 1, 0.5,   0.15,  0,     0,    0.485, 0.54,  1,     0.4,   0.5,   0.4984, 4, 0.25},
    {"Mix semiDriven Tape",      1, 1, 0.5,   0.25,  0,     0,    0.485, 0.54,  1,     0.4,   0.5,   0.4984, 4, 0.25},
    {"Mix heavyDriven Tape",     1, 1, 0.5,   0.4,   0,     0,    0.485, 0.54,  1,     0.4,   0.5,   0.4984, 4, 0.25},
    {"MultiBandLimiter Slow",    1, 1, 0.5,   0,     1,     0.5,  0.5,   0.5,   0.5,   0.5,   0.5,   0.4984, 1, 1},
    {"MultiBandLimiter Fast",    1, 1, 0.5,   0,     0.65,  0.5,  0.5,   0.5,   0.5,   0.5,   0.5,   0.4984, 1, 1},
    {"MultiBandCompLim Light",   1, 1, 0.5,   0.3,   1,     1,    0.5,   0.5,   0.5,   0.5,   0.5,   0.4984, 1, 1},
    {"MultiBandCompLim Med",     1, 1, 0.5,   0.5,   1,     1,    0.5,   0.5,   0.5,   0.5,   0.5,   0.4984, 1, 1},
    {"MultiBandCompLim Heavy",   1, 1, 0.5,   0.75,  1,     1,    0.5,   0.5,   0.5,   0.5,   0.5,   0.4984, 1, 1},
    {"Guitar Track",             0, 0, 0.8,   0.75,  0.472, 0.35, 0.75,  0.5,   0.3,   0.5,   0.3,   0.4984, 1, 1},
    {"Clean Guitar Track",       0, 0, 0.625, 0.155, 1,     0.31, 0.58,  0.35,  0.825, 0.575, 0.5,   0.4984, 1, 1},
    {"HeavyRythmGuitar Trk",     0, 0, 0.54,  0.18,  0.7,   1,    0.65,  0.35,  0.67,  0.5,   0.5,   0.4984, 1, 1},
    {"Lead Guitar 1 Track",      0, 0, 0.58,  0.09,  1,     0.31, 0.52,  0.35,  0.825, 0.575, 0.5,   0.4984, 1, 1},
    {"Lead Guitar 2 Track",      0, 0, 0.58,  0.09,  1,     0.22, 0.52,  0.475, 0.825, 0.575, 0.5,   0.4984, 1, 1},
    {"Vintage Guitar Trk",       0, 0, 0.75,  0.125, 0.145, 0.35, 0.25,  0.75,  0.75,  0.85,  0.375, 0.4984, 1, 1},
    {"Bass Line Track",          0, 0, 0.72,  0.45,  0.28,  0.45, 0.5,   0.665, 0.5,   0.6,   0.5,   0.4984, 1, 1},
    {"Funky Bass Drum Trk",      0, 0, 0.72,  0.082, 0.682, 0.82, 0.5,   0.665, 0.5,   0.5,   0.28,  0.4984, 1, 1},
    {"Snare Drum Track",         0, 0, 0.675, 0.3,   0,     0.5,  0.5,   0.5,   0.5,   0.5,   0.5,   0.4984, 1, 1},
    {"Track Tape Slow",          0, 0, 0.5,   0.2,   0.25,  0.5,  0.42,  0.4,   0.8,   0.1,   0.5,   0.4984, 1, 1},
    {"Track Tape Normal",        0, 1, 0.5,   0.25,  0.5,   0.5,  0.42,  0.42,  0.9,   0.15,  0.5,   0.4984, 1, 1},
    {"Track Tape Fast",          0, 0, 0.5,   0.25,  0.75,  0.5,  0.45,  0.42,  1,     0.2,   0.5,   0.4984, 1, 1},
};

struct Common {
    ParamId id;
    double value;
};

// Values every preset shares. MidRel is a release factor like the other two
// bands (x1). Parameters not named here or in the rows are 0.
constexpr Common kCommon[] = {
    {ParamId::Process, 1},   {ParamId::MonoStereo, 1},  {ParamId::Mix, 1},    {ParamId::LowSat, 0.5},
    {ParamId::MidSat, 0.5},  {ParamId::HighSat, 0.5},   {ParamId::Meters, 0.5}, {ParamId::MeterType, 0},
    {ParamId::MeterLatency, 0}, {ParamId::FineTune, 1}, {ParamId::MeterScale, 0}, {ParamId::Fat, 0},
    {ParamId::Long, 0},      {ParamId::Auto, 0},        {ParamId::Brickwall, 1}, {ParamId::LR, 0},
};

constexpr double kMidRelFactor = 1.0;

// Normalized value at which the build's band release reaches `factor`
// (factor = a b^v, from the parameter table).
double releaseValue(const Variant& variant, double factor)
{
    const ValueMap& release = variant.desc(ParamId::LowRel).user;
    return std::log(factor / release.a) / std::log(release.b);
}

void put(const Variant& variant, FactoryPreset& preset, ParamId id, double value)
{
    const int index = variant.index(id);
    if (index < 0 || index >= variant.numParams)
        return;
    // The release conversion can land a rounding step outside [0, 1].
    if (value < 0.0)
        value = 0.0;
    else if (value > 1.0)
        value = 1.0;
    preset.values[static_cast<size_t>(index)] = static_cast<float>(value);
}

bool equalIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

} // namespace

FactoryPresetTable factoryPresets(const Variant& variant)
{
    FactoryPresetTable table{};
    for (int r = 0; r < kFactoryPresetCount; ++r) {
        const Row& row = kRows[r];
        FactoryPreset& preset = table[static_cast<size_t>(r)];
        preset.name = row.name;
        preset.values.fill(0.0f);
        for (const Common& c : kCommon)
            put(variant, preset, c.id, c.value);
        put(variant, preset, ParamId::Mode, row.mode);
        put(variant, preset, ParamId::Link, row.link);
        put(variant, preset, ParamId::Drive, row.drive);
        put(variant, preset, ParamId::Knee, row.knee);
        put(variant, preset, ParamId::Speed, row.speed);
        put(variant, preset, ParamId::Release, row.release);
        put(variant, preset, ParamId::HighAdjust, row.highAdjust);
        put(variant, preset, ParamId::LowAdjust, row.lowAdjust);
        put(variant, preset, ParamId::HighFreq, row.highFreq);
        put(variant, preset, ParamId::LowFreq, row.lowFreq);
        put(variant, preset, ParamId::Ceiling, row.ceiling);
        put(variant, preset, ParamId::Output, row.output);
        put(variant, preset, ParamId::LowRel, releaseValue(variant, row.lowRelFactor));
        put(variant, preset, ParamId::MidRel, releaseValue(variant, kMidRelFactor));
        put(variant, preset, ParamId::HighRel, releaseValue(variant, row.highRelFactor));
    }
    return table;
}

int findFactoryPreset(std::string_view name)
{
    for (int r = 0; r < kFactoryPresetCount; ++r)
        if (name == kRows[r].name)
            return r;
    for (int r = 0; r < kFactoryPresetCount; ++r)
        if (equalIgnoringCase(name, kRows[r].name))
            return r;
    return -1;
}
