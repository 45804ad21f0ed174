// Presets for `ambrel render`, `ambrel presets` and the demo: the factory
// presets built into the plug-in, and preset (".nur") and bank (".nub")
// files. The tool applies a preset the way a host does, by setting the
// plug-in's parameters through the effect record.
#pragma once

#include "tools/ambrel/PluginHost.h"
#include "variants/Variant.h"

#include <string>
#include <utility>
#include <vector>

namespace ambrel {

// The build a loaded plug-in is, recognised by its unique id; null when it is
// not one of ours.
const Variant* variantOf(const PluginHost& host);

struct PresetChoice {
    std::string factoryName; // --preset NAME
    std::string presetFile;  // --preset-file X.nur
    std::string bankFile;    // --bank X.nub
    int program = 0;         // --program K, a slot of the bank (0 .. 30)
    bool programGiven = false;

    bool any() const { return !factoryName.empty() || !presetFile.empty() || !bankFile.empty(); }
};

// The parameter values the choice stands for, by the plug-in's index. As when
// a preset is selected inside the plug-in, the global settings (Process, Mono
// Stereo, the meter settings and FAT) are left as they are, and values
// outside 0..1 are clamped (NaN to 0). `title` gets the program's name;
// `warning`, when given, says how many values of a file were clamped or
// ignored for lying outside 0..1 (empty when none were).
bool presetAssignments(const PluginHost& host, const PresetChoice& choice,
                       std::vector<std::pair<VstInt32, float>>& assignments, std::string& title, std::string& error,
                       std::string* warning = nullptr);

// Names of the factory presets in slot order (slot 0 is the working program).
std::vector<std::string> factoryPresetNames(const Variant& variant);

} // namespace ambrel
