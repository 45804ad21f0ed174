// `ambrel info`: everything a host can learn about a plug-in through the
// effect record, gathered once and printed as a table or as JSON.
#pragma once

#include "tools/ambrel/PluginHost.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace ambrel {

struct PinInfo {
    VstInt32 index = 0;
    VstIntPtr answer = 0;
    std::string label;
    std::string shortLabel;
    VstInt32 flags = 0;
    VstInt32 arrangementType = 0;
    bool untouched = true; // the record was left exactly as the host filled it
};

struct ParameterPropertiesInfo {
    VstInt32 flags = 0;
    VstInt32 minInteger = 0;
    VstInt32 maxInteger = 0;
    VstInt32 stepInteger = 0;
    VstInt32 largeStepInteger = 0;
};

struct ParameterInfo {
    VstInt32 index = 0;
    std::string name;
    std::string label;
    std::string display;
    float value = 0.0f;
    VstIntPtr canBeAutomated = 0;
    std::optional<ParameterPropertiesInfo> properties; // absent when the effect answers 0
};

struct TextItem {
    std::string key; // "effGetEffectName", ...
    TextAnswer answer;
};

struct NumberItem {
    std::string key;
    VstIntPtr answer = 0;
};

struct CanDoItem {
    std::string what;
    VstIntPtr answer = 0;
};

// A string that an effect wrote past the length a host may rely on.
struct TextWarning {
    std::string request;
    std::string detail;
};

struct PluginInfo {
    // The effect record after effSetSampleRate and effMainsChanged 1.
    std::string entryName;
    bool entriesShareAddress = false;
    float sampleRate = 44100.0f;
    VstInt32 magic = 0;
    VstInt32 numPrograms = 0;
    VstInt32 numParams = 0;
    VstInt32 numInputs = 0;
    VstInt32 numOutputs = 0;
    VstInt32 flags = 0;
    VstInt32 initialDelay = 0;
    VstInt32 realQualities = 0;
    VstInt32 offQualities = 0;
    float ioRatio = 0.0f;
    VstInt32 uniqueID = 0;
    VstInt32 version = 0;
    bool hasProcessReplacing = false;
    bool hasProcessDoubleReplacing = false;

    std::vector<TextItem> texts;     // effect name, vendor, product, program name
    std::vector<NumberItem> numbers; // vendor version, category, VST version, identify, ...
    std::vector<CanDoItem> canDo;
    std::vector<TextItem> programNamesIndexed;
    std::vector<PinInfo> inputs;
    std::vector<PinInfo> outputs;
    std::vector<ParameterInfo> parameters;
    VstIntPtr chunkAnswer = 0;
    VstIntPtr speakerArrangementAnswer = 0;
    bool speakerArrangementsCleared = false;
    VstIntPtr editGetRectAnswer = 0;
    std::vector<HostCall> hostCalls; // every callback from loading to the last request
    VstIntPtr closeAnswer = 0;
    std::vector<TextWarning> warnings;
};

// Sets the rate, resumes, asks every question, suspends and closes the effect.
PluginInfo collectInfo(PluginHost& host, float sampleRate);

void printInfoText(std::FILE* out, const PluginInfo& info);
void printInfoJson(std::FILE* out, const PluginInfo& info);

// "NRAB" for 0x4E524142; non-printable bytes as '?'.
std::string fourCharText(VstInt32 code);
// Shortest text that reads back as the same float ("0.5", "1e-05").
std::string floatText(float value);
std::string hexText(VstInt32 value);

} // namespace ambrel
