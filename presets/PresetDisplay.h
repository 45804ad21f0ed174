// What the editor shows of the program store. The editor registers itself
// with the effect (CPresetSystemEffect::setPresetDisplay) while it exists.
#pragma once

class PresetDisplay {
public:
    virtual ~PresetDisplay() = default;
    // The current preset's name changed (rename, memory recall, preset file).
    virtual void showPresetName(const char* name) = 0;
    // Several slot names changed at once (bank file): re-read the names.
    virtual void presetNamesChanged() {}
};
