#include "effect/Parameters.h"

#include "effect/TextConvert.h"

#include <cmath>
#include <cstring>

namespace {

// Capacities, terminator included, of the texts the host's buffers take.
constexpr size_t kNameCapacity = 13;
constexpr size_t kLabelCapacity = 10;
constexpr size_t kDisplayCapacity = 12;

struct Entry {
    const char* name;
    const char* label;
    float defaultValue;
};

// Indexed by ParamId.
constexpr Entry kEntries[kParamIdCount] = {
    {" Process ", "", 1.0f},
    {" Mode", "", 0.0f},
    {" Mono Stereo", "", 1.0f},
    {" Link", "", 1.0f},
    {" Drive ", " dB ", 0.5f},
    {" Knee ", " % ", 0.0f},
    {" Speed ", " % ", 1.0f},
    {" Release ", " * ", 0.5f},
    {" HighAdjust ", " dB ", 0.5f},
    {" LowAdjust ", " dB ", 0.5f},
    {" HighFreq ", " Hz ", 1.0f},
    {" LowFreq ", " Hz ", 0.5f},
    {" Mix ", " % ", 1.0f},
    {" Ceiling ", " dB ", 0.5f},
    {" Output ", " dB ", 0.5f},
    {" LowSat", " dB ", 0.5f},
    {" MidSat ", " dB ", 0.5f},
    {" HighSat ", " dB ", 0.5f},
    {" LowRel ", " * ", 0.5f},
    {" MidRel ", " * ", 0.5f},
    {" HighRel ", " * ", 0.5f},
    {" Meters ", "", 0.5f},
    {" MeterType ", "", 0.0f},
    {"-", " ms ", 0.0f},
    {" FineTune ", " % ", 1.0f},
    {" MeterScale ", " dB ", 0.0f},
    {" FAT ", "", 0.0f},
    {" Long ", "", 0.0f},
    {" Auto ", "", 0.0f},
    {" Brickwall ", "", 1.0f},
    {" L R ", "", 0.0f},
    {" VU Integr ", " ms ", 0.5f},
    {" VU Refer ", " dBFS ", 0.5f},
    {" PPM Integr ", " ms ", 0.5f},
    {" PPM Return ", " ms ", 0.5f},
    {" OverIndic ", " samples ", 0.5f},
    {" Knob Mode ", " ", 0.5f},
    {"-", "-", 0.0f},
};

// Copies at most capacity - 1 characters and a terminator.
void put(char* out, size_t capacity, const char* text)
{
    if (!out)
        return;
    const size_t n = strnlen(text, capacity - 1);
    std::memcpy(out, text, n);
    out[n] = 0;
}

void putFixed(char* out, double x, int decimals)
{
    if (!out)
        return;
    char buffer[kTextConvertMax];
    formatFixed(x, decimals, buffer);
    put(out, kDisplayCapacity, buffer);
}

bool on(float v)
{
    return v >= 0.5f;
}

int switchValue(float v)
{
    return static_cast<int>(v + 0.5);
}

// Meter latency compensation below this is off.
constexpr float kMeterLatencyOff = 0.06125f;
constexpr float kMeterLatencyMin = 0.125f;

} // namespace

ParameterStore::ParameterStore(const Variant& variant) : variant_(variant)
{
    for (int i = 0; i < kParamIdCount; ++i)
        values_[i].store(kEntries[i].defaultValue, std::memory_order_relaxed);
    store(ParamId::FineTune, defaultValue(ParamId::FineTune));
    store(ParamId::MeterLatency, defaultValue(ParamId::MeterLatency));
}

float ParameterStore::defaultValue(ParamId id)
{
    const int i = static_cast<int>(id);
    return i < kParamIdCount ? kEntries[i].defaultValue : 0.0f;
}

float ParameterStore::store(ParamId id, float v)
{
    const int i = static_cast<int>(id);
    if (i >= kParamIdCount)
        return 0.0f;
    switch (id) {
    case ParamId::FineTune: {
        const double c = static_cast<int>(v * 3.0 + 0.5) / 3.0;
        fineScale_.store(std::pow(0.125, 1.0 - c), std::memory_order_relaxed);
        v = static_cast<float>(c);
        break;
    }
    case ParamId::MeterLatency:
        if (v < kMeterLatencyOff) {
            v = 0.0f;
            meterLatencyMs_.store(-1.0, std::memory_order_relaxed);
        } else {
            if (v < kMeterLatencyMin)
                v = kMeterLatencyMin;
            meterLatencyMs_.store((v - 0.125) * 1000.0 / 0.875, std::memory_order_relaxed);
        }
        break;
    case ParamId::OverIndic:
        v = static_cast<float>(std::round(v * 9.0) / 9.0);
        break;
    case ParamId::Fat:
        if (!variant_.hasFat)
            v = 0.0f;
        break;
    default:
        break;
    }
    values_[i].store(v, std::memory_order_relaxed);
    return v;
}

float ParameterStore::stored(ParamId id) const
{
    if (id == ParamId::StereoSelector)
        return stereoSelector();
    const int i = static_cast<int>(id);
    return i < kParamIdCount ? values_[i].load(std::memory_order_relaxed) : 0.0f;
}

int ParameterStore::overCount() const
{
    return static_cast<int>(stored(ParamId::OverIndic) * 9.0 + 0.5) + 1;
}

float ParameterStore::stereoSelector() const
{
    const float monoStereo = stored(ParamId::MonoStereo);
    const float lr = stored(ParamId::LR);
    if (lr < 0.333f)
        return monoStereo < 0.5f ? 0.0f : 1.0f;
    return lr < 0.66f ? 0.333f : 0.667f;
}

void ParameterStore::name(ParamId id, char* text) const
{
    const int i = static_cast<int>(id);
    if (i >= kParamIdCount || (id == ParamId::Fat && !variant_.hasFat))
        put(text, kNameCapacity, "-");
    else
        put(text, kNameCapacity, kEntries[i].name);
}

void ParameterStore::label(ParamId id, char* text) const
{
    const int i = static_cast<int>(id);
    put(text, kLabelCapacity, i < kParamIdCount ? kEntries[i].label : "-");
}

void ParameterStore::display(ParamId id, char* text) const
{
    if (!text)
        return;
    const float v = stored(id);
    const double s = fineScale();
    const double root = std::sqrt(s);
    const char* word = nullptr;
    switch (id) {
    case ParamId::Process:
        word = on(v) ? " On " : " Off ";
        break;
    case ParamId::Mode:
        word = on(v) ? " MultiBand " : " SingleBnd ";
        break;
    case ParamId::MonoStereo: {
        const float lr = stored(ParamId::LR);
        word = lr < 0.333f ? (on(v) ? " Stereo " : " Mono ") : " L-R ";
        break;
    }
    case ParamId::Link:
        word = on(v) ? " Linked " : " Unlinked ";
        break;
    case ParamId::Drive:
        return putFixed(text, (v * 48.0 - 24.0) * s, 2);
    case ParamId::Knee:
    case ParamId::Speed:
    case ParamId::Mix:
        return putFixed(text, v * 100.0, 1);
    case ParamId::Release:
        return putFixed(text, 0.25 * std::pow(16.0, static_cast<double>(v)), 2);
    case ParamId::HighAdjust:
    case ParamId::LowAdjust:
        return putFixed(text, (v * 24.0 - 12.0) * s, 2);
    case ParamId::HighFreq:
        return putFixed(text, 1000.0 * std::pow(16.0, static_cast<double>(v)), 0);
    case ParamId::LowFreq:
        return putFixed(text, 25.0 * std::pow(16.0, static_cast<double>(v)), 1);
    case ParamId::Ceiling:
    case ParamId::Output:
        return putFixed(text, root * (v * 24.0 - 12.0), 2);
    case ParamId::LowSat:
    case ParamId::MidSat:
    case ParamId::HighSat:
        return putFixed(text, v * variant_.satRangeDb - variant_.satRangeDb / 2.0, 2);
    case ParamId::LowRel:
    case ParamId::MidRel:
    case ParamId::HighRel:
        return putFixed(text, variant_.relMin * std::pow(variant_.relBase, static_cast<double>(v)), 2);
    case ParamId::Meters:
        word = v < 0.3333333f ? " Pre " : (v < 0.6666667f ? " GainRed " : " Post ");
        break;
    case ParamId::MeterType:
        word = on(v) ? " PPM " : " VU ";
        break;
    case ParamId::MeterLatency:
        word = "-";
        break;
    case ParamId::FineTune:
        return putFixed(text, s * 100.0, 0);
    case ParamId::MeterScale:
        word = switchValue(v) == 1 ? "-40..+6" : "-20..+3";
        break;
    case ParamId::Fat:
        word = !variant_.hasFat ? "-" : (on(v) ? " FAT " : " Off ");
        break;
    case ParamId::Long:
        word = on(v) ? " Long " : " Off ";
        break;
    case ParamId::Auto:
        word = on(v) ? " Auto " : " Off ";
        break;
    case ParamId::Brickwall:
        word = on(v) ? " BrickWall " : " Off ";
        break;
    case ParamId::LR:
        word = v < 0.333f ? " OO-O" : (v < 0.66f ? " L " : " R ");
        break;
    case ParamId::VuIntegr:
        return putFixed(text, 30.0 * std::pow(100.0, static_cast<double>(v)), 0);
    case ParamId::VuRefer:
        return putFixed(text, std::pow(0.06125, 1.0 - v), 1);
    case ParamId::PpmIntegr:
        return putFixed(text, std::pow(101.0, static_cast<double>(v)) - 1.0, 0);
    case ParamId::PpmReturn:
        return putFixed(text, 100.0 * std::pow(100.0, static_cast<double>(v)), 0);
    case ParamId::OverIndic: {
        char buffer[kTextConvertMax];
        floatToText(overCount(), buffer);
        return put(text, kDisplayCapacity, buffer);
    }
    case ParamId::KnobMode:
        word = on(v) ? " Linear " : " Circular ";
        break;
    default:
        word = "";
        break;
    }
    put(text, kDisplayCapacity, word);
}

bool ParameterStore::properties(ParamId id, VstParameterProperties* props) const
{
    if (!props)
        return false;
    int maxInteger = 0;
    VstInt32 flags = kVstParameterUsesIntegerMinMax | kVstParameterUsesIntStep;
    switch (id) {
    case ParamId::Process:
    case ParamId::Mode:
    case ParamId::MonoStereo:
    case ParamId::Link:
    case ParamId::MeterType:
    case ParamId::MeterScale:
    case ParamId::Fat:
    case ParamId::Long:
    case ParamId::Auto:
    case ParamId::Brickwall:
        flags |= kVstParameterIsSwitch;
        maxInteger = 1;
        break;
    case ParamId::Meters:
        maxInteger = 2;
        break;
    case ParamId::FineTune:
        maxInteger = 3;
        break;
    default:
        return false;
    }
    props->flags = flags;
    props->minInteger = 0;
    props->maxInteger = maxInteger;
    props->stepInteger = 1;
    props->largeStepInteger = 1;
    return true;
}

double ParameterStore::engineValue(ParamId id) const
{
    const double v = stored(id);
    const double s = fineScale();
    switch (id) {
    case ParamId::Process:
    case ParamId::Mode:
    case ParamId::MonoStereo:
    case ParamId::Link:
    case ParamId::Fat:
    case ParamId::Long:
    case ParamId::Auto:
    case ParamId::Brickwall:
        return switchValue(static_cast<float>(v));
    case ParamId::Drive:
        return (v - 0.5) * 48.0 * s;
    case ParamId::Knee:
    case ParamId::Speed:
    case ParamId::Mix:
        return v * 100.0;
    case ParamId::Release:
        return 0.25 * std::pow(16.0, v);
    case ParamId::HighAdjust:
    case ParamId::LowAdjust:
        return (v - 0.5) * 24.0 * s;
    case ParamId::HighFreq:
        return 1000.0 * std::pow(16.0, v);
    case ParamId::LowFreq:
        return 25.0 * std::pow(16.0, v);
    case ParamId::Ceiling:
    case ParamId::Output:
        return std::sqrt(s) * (v - 0.5) * 24.0;
    case ParamId::LowSat:
    case ParamId::MidSat:
    case ParamId::HighSat:
        return variant_.satMin * std::pow(variant_.satBase, v);
    case ParamId::LowRel:
    case ParamId::MidRel:
    case ParamId::HighRel:
        return variant_.relMin * std::pow(variant_.relBase, v);
    case ParamId::MeterLatency:
        return meterLatencyMs();
    case ParamId::FineTune:
        return s;
    case ParamId::LR:
        return v < 0.333 ? 0.0 : (v < 0.66 ? 0.5 : 1.0);
    case ParamId::VuIntegr:
        return 30.0 * std::pow(100.0, v);
    case ParamId::VuRefer:
        return std::pow(0.06125, 1.0 - v);
    case ParamId::PpmIntegr:
        return std::pow(101.0, v) - 1.0;
    case ParamId::PpmReturn:
        return 100.0 * std::pow(100.0, v);
    case ParamId::OverIndic:
        return overCount();
    case ParamId::KnobMode:
        return v;
    default:
        return 0.0;
    }
}
