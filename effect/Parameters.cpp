#include "effect/Parameters.h"

#include "effect/TextConvert.h"

#include <cmath>
#include <cstring>

namespace {

// Capacities, terminator included, of the texts the host's buffers take.
constexpr size_t kNameCapacity = 13;
constexpr size_t kLabelCapacity = 10;
constexpr size_t kDisplayCapacity = 12;

// Copies at most capacity - 1 characters and a terminator.
void put(char* out, size_t capacity, const char* text)
{
    if (!out)
        return;
    const size_t n = strnlen(text, capacity - 1);
    std::memcpy(out, text, n);
    out[n] = 0;
}

bool known(ParamId id)
{
    return static_cast<int>(id) < kParamIdCount;
}

} // namespace

ParameterStore::ParameterStore(const Variant& variant) : variant_(variant)
{
    for (int i = 0; i < kParamIdCount; ++i)
        values_[i].store(variant.parameters[static_cast<size_t>(i)].defaultValue, std::memory_order_relaxed);
}

float ParameterStore::store(ParamId id, float v)
{
    if (!known(id))
        return 0.0f;
    switch (variant_.desc(id).keep) {
    case ParameterSpec::AsSet:
        break;
    case ParameterSpec::InThirds:
        v = static_cast<float>(static_cast<int>(v * 3.0 + 0.5) / 3.0);
        break;
    case ParameterSpec::InNinths:
        v = static_cast<float>(std::round(v * 9.0) / 9.0);
        break;
    case ParameterSpec::MeterLatency:
        v = v < kMeterLatencyOff ? 0.0f : (v < kMeterLatencyZero ? kMeterLatencyZero : v);
        break;
    case ParameterSpec::AlwaysZero:
        v = 0.0f;
        break;
    }
    values_[static_cast<int>(id)].store(v, std::memory_order_relaxed);
    return v;
}

float ParameterStore::stored(ParamId id) const
{
    if (id == ParamId::StereoSelector)
        return stereoSelector();
    return known(id) ? values_[static_cast<int>(id)].load(std::memory_order_relaxed) : 0.0f;
}

double ParameterStore::fineScale() const
{
    // FineTune's own map needs no scale.
    return variant_.desc(ParamId::FineTune).user(stored(ParamId::FineTune), 1.0);
}

int ParameterStore::overCount() const
{
    return static_cast<int>(engineValue(ParamId::OverIndic));
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
    put(text, kNameCapacity, known(id) ? variant_.desc(id).name : "-");
}

void ParameterStore::label(ParamId id, char* text) const
{
    put(text, kLabelCapacity, known(id) ? variant_.desc(id).label : "-");
}

void ParameterStore::display(ParamId id, char* text) const
{
    if (!text)
        return;
    if (!known(id))
        return put(text, kDisplayCapacity, "");
    const ParameterSpec& p = variant_.desc(id);
    const float v = stored(id);
    char buffer[kTextConvertMax];
    switch (p.shown) {
    case ParameterSpec::Number: {
        const ValueMap& shown = p.number.kind != ValueMap::Zero ? p.number : p.user;
        formatFixed(shown(v, fineScale()), p.decimals, buffer);
        return put(text, kDisplayCapacity, buffer);
    }
    case ParameterSpec::Count:
        floatToText(p.user(v, fineScale()), buffer);
        return put(text, kDisplayCapacity, buffer);
    case ParameterSpec::Words:
        return put(text, kDisplayCapacity, p.words[v >= 0.5f ? 1 : 0]);
    case ParameterSpec::ThreeWays:
        return put(text, kDisplayCapacity, p.words[v < p.thresholds[0] ? 0 : (v < p.thresholds[1] ? 1 : 2)]);
    case ParameterSpec::MonoStereo:
        // L R overrides both when it picks a single channel.
        if (stored(ParamId::LR) >= 0.333f)
            return put(text, kDisplayCapacity, " L-R ");
        return put(text, kDisplayCapacity, p.words[v >= 0.5f ? 1 : 0]);
    case ParameterSpec::Text:
        return put(text, kDisplayCapacity, p.words[0]);
    }
}

bool ParameterStore::properties(ParamId id, VstParameterProperties* props) const
{
    if (!props || !known(id) || variant_.desc(id).stepping == ParameterSpec::Continuous)
        return false;
    const ParameterSpec& p = variant_.desc(id);
    props->flags = kVstParameterUsesIntegerMinMax | kVstParameterUsesIntStep |
                   (p.stepping == ParameterSpec::OnOff ? kVstParameterIsSwitch : 0);
    props->minInteger = 0;
    props->maxInteger = p.positions;
    props->stepInteger = 1;
    props->largeStepInteger = 1;
    return true;
}

double ParameterStore::engineValue(ParamId id) const
{
    if (!known(id))
        return 0.0;
    return variant_.desc(id).user(stored(id), fineScale());
}
