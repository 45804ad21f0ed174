// The program store under the effect: 31 program slots, of which slot 0 is
// the working program the host sees and one slot is the current preset that
// follows the user's edits.
#pragma once

#include "host/AudioEffect.h"
#include "host/Variant.h"
#include "presets/CProgram.h"

#include <memory>

class CPresetSystemEffect : public AudioEffectX {
public:
    static constexpr int kNumSlots = 31;

    CPresetSystemEffect(audioMasterCallback audioMaster, const Variant& variant);
    ~CPresetSystemEffect() override;

    // Host-facing program requests: the host sees one program, slot 0.
    void setParameter(VstInt32 index, float value) override;
    VstInt32 getProgram() override { return 0; }
    void setProgram(VstInt32 /*program*/) override {}
    void setProgramName(char* name) override { setPresetName(name); }
    void getProgramName(char* name) override;
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;

    virtual int getPresetIndex() { return currentPreset_; }
    virtual void setPresetName(const char* name);
    virtual void editPresetName(const char* name);
    virtual void selectPreset(int index);
    virtual long storeMemoA();
    virtual long storeMemoB();
    virtual long recallMemoA();
    virtual long recallMemoB();
    virtual void setParameterNotified(VstInt32 index, float value);
    virtual void loadFactoryPresets();

    const Variant& variant() const { return variant_; }
    // Program slots (null when they could not be allocated).
    CProgram* programs() { return programs_.get(); }
    const CProgram* programs() const { return programs_.get(); }
    bool isSelecting() const { return selecting_; }

protected:
    // Writes a global parameter's value into every slot.
    void storeInAllSlots(VstInt32 index, float value);

    const Variant& variant_;
    std::unique_ptr<CProgram[]> programs_;
    int currentPreset_ = 0;
    bool selecting_ = false;
};
