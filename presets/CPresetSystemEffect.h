// The program store under the effect: 31 program slots, of which slot 0 is
// the working program the host sees and one slot is the current preset that
// follows the user's edits; the A/B memories and the per-machine editor
// settings kept in the settings store.
#pragma once

#include "host/AudioEffect.h"
#include "platform/SettingsStore.h"
#include "presets/CProgram.h"
#include "presets/PresetDisplay.h"
#include "variants/Variant.h"

#include <memory>
#include <string>
#include <vector>

class CPresetSystemEffect : public AudioEffectX {
public:
    static constexpr int kNumSlots = 31;
    // Sub-keys of the two memories in the settings store.
    static constexpr const char* kMemoA = "MemoA";
    static constexpr const char* kMemoB = "MemoB";

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
    // Renames the current preset and the working program and shows the name.
    virtual void setPresetName(const char* name);
    // Renames them from the editor's name field, which shows it already.
    virtual void editPresetName(const char* name);
    // Makes a slot the current preset and applies it to the engine, the
    // editor and the host. Indices outside the slots are ignored.
    virtual void selectPreset(int index);
    // Memories: 0 on success, else the settings store's error code.
    virtual long storeMemoA();
    virtual long storeMemoB();
    virtual long recallMemoA();
    virtual long recallMemoB();
    // Sets a parameter and tells the host: begin-edit, automate with the
    // value read back, automate with the value given, end-edit.
    virtual void setParameterNotified(VstInt32 index, float value);
    virtual void loadFactoryPresets();

    const Variant& variant() const { return variant_; }
    // Program slots (null when they could not be allocated).
    CProgram* programs() { return programs_.get(); }
    const CProgram* programs() const { return programs_.get(); }
    bool isSelecting() const { return selecting_; }

    // The editor registers what shows the preset name (null to detach).
    void setPresetDisplay(PresetDisplay* display) { presetDisplay_ = display; }
    PresetDisplay* presetDisplay() const { return presetDisplay_; }

    // The store of the memories and editor settings; the platform's store
    // unless one was set.
    SettingsStore& settingsStore();
    void setSettingsStore(std::unique_ptr<SettingsStore> store) { settings_ = std::move(store); }

    // An editor setting (VuIntegr .. KnobMode) from the settings store, 0.5
    // when it is missing or unreadable.
    float readEditorSetting(ParamId id);
    // The six editor settings in one read of the store, in the order of
    // `ids`; each 0.5 when missing or unreadable.
    std::vector<float> readEditorSettings(const std::vector<ParamId>& ids);
    // Saves the six editor settings as getParameter answers them, in the
    // order VU Integr, VU Refer, PPM Integr, PPM Return, Knob Mode,
    // OverIndic. Call it from the most derived destructor, while
    // getParameter still reaches the effect's values.
    long saveEditorSettings();
    // Value name of an editor setting in the store, or null.
    static const char* editorSettingName(ParamId id);
    // Value name of a memory's parameter: "param" and the index right-aligned
    // in three characters, padded with spaces.
    static std::string memoValueName(int index);

protected:
    // Writes a global parameter's value into every slot.
    void storeInAllSlots(VstInt32 index, float value);
    long storeMemo(const char* subkey);
    long recallMemo(const char* subkey);

    const Variant& variant_;
    std::unique_ptr<CProgram[]> programs_;
    int currentPreset_ = 0;
    bool selecting_ = false;

private:
    PresetDisplay* presetDisplay_ = nullptr;
    std::unique_ptr<SettingsStore> settings_;
};
