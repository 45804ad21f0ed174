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
        params_.store(id, value);
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
    stereoSelectorValue_ = value;
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
    return params_.engineValue(variant_.paramAt(index));
}
