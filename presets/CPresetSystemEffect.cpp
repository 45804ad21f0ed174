#include "presets/CPresetSystemEffect.h"

#include "effect/Parameters.h"

#include <cstring>
#include <new>

CPresetSystemEffect::CPresetSystemEffect(audioMasterCallback audioMaster, const Variant& variant)
    : AudioEffectX(audioMaster, 1, variant.numParams), variant_(variant)
{
    curProgram = 0;
    programs_.reset(new (std::nothrow) CProgram[kNumSlots]);
    if (programs_) {
        for (int i = 0; i < kNumSlots; ++i)
            programs_[i].setCount(variant.numParams);
        loadFactoryPresets();
    }
}

CPresetSystemEffect::~CPresetSystemEffect() = default;

void CPresetSystemEffect::setParameter(VstInt32 index, float value)
{
    if (!programs_ || index < 0 || index >= variant_.numParams || selecting_)
        return;
    programs_[currentPreset_].setParameter(index, value);
    programs_[0].setParameter(index, value);
}

void CPresetSystemEffect::storeInAllSlots(VstInt32 index, float value)
{
    if (!programs_)
        return;
    for (int i = 0; i < kNumSlots; ++i)
        programs_[i].setParameter(index, value);
}

void CPresetSystemEffect::getProgramName(char* name)
{
    if (!name)
        return;
    if (programs_)
        programs_[0].getName(name);
    else
        *name = 0;
}

bool CPresetSystemEffect::getProgramNameIndexed(VstInt32 /*category*/, VstInt32 index, char* text)
{
    if (index != 0 || !text || !programs_)
        return false;
    programs_[0].getName(text);
    return true;
}

void CPresetSystemEffect::setPresetName(const char* name)
{
    if (!programs_)
        return;
    char cut[CProgram::kNameSize] = {};
    if (name)
        std::memcpy(cut, name, strnlen(name, CProgram::kNameSize - 1));
    programs_[currentPreset_].setName(cut);
    programs_[0].setName(cut);
}

void CPresetSystemEffect::editPresetName(const char* name)
{
    if (!programs_)
        return;
    programs_[currentPreset_].setName(name);
    programs_[0].setName(name);
    updateDisplay();
}

void CPresetSystemEffect::selectPreset(int index)
{
    if (!programs_ || index < 0 || index >= kNumSlots)
        return;
    selecting_ = true;
    currentPreset_ = index;
    for (int i = 0; i < variant_.numParams; ++i) {
        setParameterNotified(i, programs_[index].getParameter(i));
        programs_[0].setParameter(i, programs_[index].getParameter(i));
    }
    programs_[0].setName(programs_[index].name());
    selecting_ = false;
    updateDisplay();
}

void CPresetSystemEffect::setParameterNotified(VstInt32 index, float value)
{
    setParameter(index, value);
    if (audioMaster) {
        beginEdit(index);
        callHost(audioMasterAutomate, index, 0, nullptr, getParameter(index));
        callHost(audioMasterAutomate, index, 0, nullptr, value);
        endEdit(index);
    }
}

void CPresetSystemEffect::loadFactoryPresets()
{
    // Placeholder until the factory table lands: every slot holds the defaults.
    if (!programs_)
        return;
    for (int i = 0; i < kNumSlots; ++i) {
        programs_[i].setName(i == 0 ? "Current" : "Default");
        for (int k = 0; k < variant_.numParams; ++k)
            programs_[i].setParameter(k, ParameterStore::defaultValue(variant_.paramAt(k)));
    }
}

long CPresetSystemEffect::storeMemoA()
{
    return 0;
}
long CPresetSystemEffect::storeMemoB()
{
    return 0;
}
long CPresetSystemEffect::recallMemoA()
{
    return 0;
}
long CPresetSystemEffect::recallMemoB()
{
    return 0;
}
