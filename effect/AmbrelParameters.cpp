// Parameter requests of the effect: storing, converting and routing a value
// to the engine, the program store and the editor, and the texts the host
// shows for each index.
#include "effect/Ambrel.h"

#include <cmath>

void Ambrel::setParameter(VstInt32 index, float value)
{
    const ParamId id = variant_.paramAt(index);
    // A NaN from a host or a file would poison every gain derived from it;
    // it changes nothing. Values outside the normalized range are limited to it.
    if (std::isnan(value))
        return;
    value = value < 0.0f ? 0.0f : (value > 1.0f ? 1.0f : value);

    if (id == ParamId::StereoSelector) {
        setStereoSelector(value);
        return;
    }
    if (id != ParamId::None) {
        const float kept = params_.store(id, value);
        // The FAT position of a build without FAT holds 0 whatever it is sent,
        // and the programs keep what the parameter holds.
        if (id == ParamId::Fat)
            value = kept;
        applyToEngine(id, value);
        if (id == ParamId::KnobMode)
            knobModeChanged_.store(true, std::memory_order_relaxed);
        if (id == ParamId::FineTune) {
            // The dB ranges follow the new scale: re-apply what depends on it.
            for (ParamId dependent :
                 {ParamId::Ceiling, ParamId::Drive, ParamId::HighAdjust, ParamId::LowAdjust, ParamId::Output}) {
                const VstInt32 i = variant_.index(dependent);
                setParameter(i, params_.stored(dependent));
            }
        }
    }

    CPresetSystemEffect::setParameter(index, value);
    if (id != ParamId::None && variant_.isGlobal(id))
        storeInAllSlots(index, value);
    if (editor)
        editor->setParameter(index, value);
}

void Ambrel::applyToEngine(ParamId id, float v)
{
    Engine& e = *engine_;
    switch (id) {
    case ParamId::Process: e.setProcess(v); break;
    case ParamId::Mode: e.setMode(v); break;
    case ParamId::MonoStereo: e.setMonoStereo(v); break;
    case ParamId::Link: e.setLink(v); break;
    case ParamId::Drive: e.setDrive(v); break;
    case ParamId::Knee: e.setKnee(v); break;
    case ParamId::Speed: e.setSpeed(v); break;
    case ParamId::Release: e.setRelease(v); break;
    case ParamId::HighAdjust: e.setHighAdjust(v); break;
    case ParamId::LowAdjust: e.setLowAdjust(v); break;
    case ParamId::HighFreq: e.setHighFreq(v); break;
    case ParamId::LowFreq: e.setLowFreq(v); break;
    case ParamId::Mix: e.setMix(v); break;
    case ParamId::Ceiling: e.setCeiling(v); break;
    case ParamId::Output: e.setOutput(v); break;
    case ParamId::LowSat: e.setBandSaturation(0, v); break;
    case ParamId::MidSat: e.setBandSaturation(1, v); break;
    case ParamId::HighSat: e.setBandSaturation(2, v); break;
    case ParamId::LowRel: e.setBandRelease(0, v); break;
    case ParamId::MidRel: e.setBandRelease(1, v); break;
    case ParamId::HighRel: e.setBandRelease(2, v); break;
    case ParamId::Meters: e.setMeters(v); break;
    case ParamId::MeterType: e.setMeterType(v); break;
    case ParamId::FineTune: e.setFineScale(params_.fineScale()); break;
    case ParamId::Fat: e.setFat(v); break;
    case ParamId::Long: e.setLong(v); break;
    case ParamId::Auto: e.setAuto(v); break;
    case ParamId::Brickwall: e.setBrickwall(v); break;
    case ParamId::LR: e.setLR(v); break;
    case ParamId::VuIntegr: e.setVuIntegration(v); break;
    case ParamId::VuRefer: e.setVuReference(v); break;
    case ParamId::PpmIntegr: e.setPpmIntegration(v); break;
    case ParamId::PpmReturn: e.setPpmReturn(v); break;
    case ParamId::OverIndic: e.setOverIndic(v); break;
    default: break; // editor-only values
    }
}

void Ambrel::setStereoSelector(float value)
{
    float monoStereo = 1.0f;
    float lr = 0.0f;
    if (value < 0.25f) {
        monoStereo = 0.0f;
    } else if (value < 0.5f) {
        monoStereo = 0.0f;
        lr = 0.5f;
    } else if (value < 0.75f) {
        monoStereo = 0.0f;
        lr = 1.0f;
    }
    // A change of the channel layout must not let samples of the old one
    // through: rings, filter states and resamplers start afresh.
    const float previous = stereoSelectorValue_.exchange(value, std::memory_order_relaxed);
    if (static_cast<int>(value * 100.0) != static_cast<int>(previous * 100.0))
        engine_->resetChannels();
    // Both parameters go through the full path so the host-visible values,
    // the programs and the editor follow the selector.
    setParameter(variant_.index(ParamId::MonoStereo), monoStereo);
    setParameter(variant_.index(ParamId::LR), lr);
}

float Ambrel::getParameter(VstInt32 index)
{
    const ParamId id = variant_.paramAt(index);
    return id == ParamId::None ? 0.0f : params_.stored(id);
}

void Ambrel::getParameterName(VstInt32 index, char* text)
{
    params_.name(variant_.paramAt(index), text);
}

void Ambrel::getParameterLabel(VstInt32 index, char* text)
{
    params_.label(variant_.paramAt(index), text);
}

void Ambrel::getParameterDisplay(VstInt32 index, char* text)
{
    params_.display(variant_.paramAt(index), text);
}

bool Ambrel::getParameterProperties(VstInt32 index, VstParameterProperties* props)
{
    return params_.properties(variant_.paramAt(index), props);
}

double Ambrel::getEngineValue(VstInt32 index)
{
    const ParamId id = variant_.paramAt(index);
    // FAT answers the switch in force, which a high sample rate holds off.
    if (id == ParamId::Fat)
        return engine_->controls().fat.load(std::memory_order_relaxed);
    return params_.engineValue(id);
}
