#include "tools/ambrel/Info.h"

#include "tools/ambrel/Json.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace ambrel {

namespace {

// The most a host can count on for each kind of text. Parameter strings are
// officially 8 characters, but hosts give 24 or more and effects use it.
constexpr size_t kParamTextLimit = 24;
constexpr size_t kProgramNameLimit = kVstMaxProgNameLen;

const char* const kCanDoQuestions[] = {"receiveVstTimeInfo", "bypass", "offline", "sendVstEvents",
                                       "receiveVstEvents", "midiProgramNames", "2in2out", "plugAsChannelInsert",
                                       "mixDryWet", "noRealTime"};

std::string categoryName(VstIntPtr category)
{
    static const char* const names[] = {"Unknown", "Effect", "Synth", "Analysis", "Mastering", "Spacializer",
                                        "RoomFx", "SurroundFx", "Restoration", "OfflineProcess", "Shell",
                                        "Generator"};
    if (category >= 0 && category < static_cast<VstIntPtr>(std::size(names)))
        return names[category];
    return "?";
}

std::string flagNames(VstInt32 flags)
{
    static const std::pair<VstInt32, const char*> known[] = {
        {effFlagsHasEditor, "HasEditor"},         {effFlagsCanReplacing, "CanReplacing"},
        {effFlagsProgramChunks, "ProgramChunks"}, {effFlagsIsSynth, "IsSynth"},
        {effFlagsNoSoundInStop, "NoSoundInStop"}, {effFlagsCanDoubleReplacing, "CanDoubleReplacing"},
    };
    std::string text;
    VstInt32 rest = flags;
    for (const auto& [bit, name] : known) {
        if (flags & bit) {
            text += text.empty() ? "" : " | ";
            text += name;
            rest &= ~bit;
        }
    }
    if (rest)
        text += (text.empty() ? "" : " | ") + hexText(rest);
    return text.empty() ? "none" : text;
}

std::string pinFlagNames(VstInt32 flags)
{
    std::string text;
    if (flags & kVstPinIsActive)
        text += "Active";
    if (flags & kVstPinIsStereo)
        text += text.empty() ? "Stereo" : " | Stereo";
    if (flags & kVstPinUseSpeaker)
        text += text.empty() ? "UseSpeaker" : " | UseSpeaker";
    return text.empty() ? "none" : text;
}

void checkText(PluginInfo& info, const std::string& request, const TextAnswer& answer, size_t limit)
{
    if (!answer.terminated)
        info.warnings.push_back({request, "no terminator within " + std::to_string(answer.bytesWritten) + " bytes"});
    else if (answer.bytesWritten > limit + 1)
        info.warnings.push_back({request, "wrote " + std::to_string(answer.bytesWritten) + " bytes; hosts give " +
                                              std::to_string(limit + 1)});
}

PinInfo readPin(PluginHost& host, VstInt32 opcode, VstInt32 index, PluginInfo& info)
{
    VstPinProperties props;
    std::memset(&props, 0xA5, sizeof(props));
    VstPinProperties guard = props;
    PinInfo pin;
    pin.index = index;
    pin.answer = host.dispatch(opcode, index, 0, &props);
    pin.untouched = std::memcmp(&props, &guard, sizeof(props)) == 0;
    if (!pin.untouched) {
        const char* label = props.label;
        const char* end = static_cast<const char*>(std::memchr(label, 0, sizeof(props.label)));
        pin.label.assign(label, end ? end : label + sizeof(props.label));
        if (!end)
            info.warnings.push_back({(opcode == effGetInputProperties ? "effGetInputProperties " :
                                                                        "effGetOutputProperties ") +
                                         std::to_string(index),
                                     "label without terminator"});
        const char* shortLabel = props.shortLabel;
        const char* shortEnd = static_cast<const char*>(std::memchr(shortLabel, 0, sizeof(props.shortLabel)));
        if (shortEnd)
            pin.shortLabel.assign(shortLabel, shortEnd);
        pin.flags = props.flags;
        pin.arrangementType = props.arrangementType;
    }
    return pin;
}

std::string requestAt(const char* request, VstInt32 index)
{
    char buffer[64];
    std::snprintf(buffer, sizeof(buffer), "%s %d", request, index);
    return buffer;
}

} // namespace

std::string fourCharText(VstInt32 code)
{
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((static_cast<uint32_t>(code) >> shift) & 0xFF);
        text += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return text;
}

std::string floatText(float value)
{
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value > 0 ? "inf" : "-inf";
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
    return std::string(buffer, result.ptr);
}

std::string hexText(VstInt32 value)
{
    char buffer[16];
    std::snprintf(buffer, sizeof(buffer), "0x%X", static_cast<unsigned>(value));
    return buffer;
}

PluginInfo collectInfo(PluginHost& host, float sampleRate)
{
    PluginInfo info;
    host.setSampleRate(sampleRate);
    host.setBlockSize(512);
    host.resume();

    const AEffect* e = host.effect();
    info.entryName = host.entryName();
    info.entriesShareAddress = host.entriesShareAddress();
    info.sampleRate = sampleRate;
    info.magic = e->magic;
    info.numPrograms = e->numPrograms;
    info.numParams = e->numParams;
    info.numInputs = e->numInputs;
    info.numOutputs = e->numOutputs;
    info.flags = e->flags;
    info.initialDelay = e->initialDelay;
    info.realQualities = e->realQualities;
    info.offQualities = e->offQualities;
    info.ioRatio = e->ioRatio;
    info.uniqueID = e->uniqueID;
    info.version = e->version;
    info.hasProcessReplacing = e->processReplacing != nullptr;
    info.hasProcessDoubleReplacing = e->processDoubleReplacing != nullptr;

    const std::pair<VstInt32, size_t> texts[] = {{effGetEffectName, kVstMaxEffectNameLen},
                                                 {effGetVendorString, kVstMaxVendorStrLen},
                                                 {effGetProductString, kVstMaxProductStrLen},
                                                 {effGetProgramName, kProgramNameLimit}};
    const char* const textKeys[] = {"effGetEffectName", "effGetVendorString", "effGetProductString",
                                    "effGetProgramName"};
    for (size_t i = 0; i < std::size(texts); ++i) {
        TextItem item{textKeys[i], host.readText(texts[i].first)};
        checkText(info, item.key, item.answer, texts[i].second);
        info.texts.push_back(std::move(item));
    }

    info.numbers.push_back({"effGetVendorVersion", host.dispatch(effGetVendorVersion)});
    info.numbers.push_back({"effGetPlugCategory", host.dispatch(effGetPlugCategory)});
    info.numbers.push_back({"effGetVstVersion", host.dispatch(effGetVstVersion)});
    info.numbers.push_back({"effIdentify", host.dispatch(effIdentify)});
    info.numbers.push_back({"effGetTailSize", host.dispatch(effGetTailSize)});
    info.numbers.push_back({"effGetProgram", host.dispatch(effGetProgram)});
    info.numbers.push_back({"effGetCurrentMidiProgram", host.dispatch(effGetCurrentMidiProgram)});
    info.numbers.push_back({"effGetNumMidiInputChannels", host.dispatch(effGetNumMidiInputChannels)});
    info.numbers.push_back({"effGetNumMidiOutputChannels", host.dispatch(effGetNumMidiOutputChannels)});
    info.numbers.push_back({"effString2Parameter", host.dispatch(effString2Parameter, 0, 0, nullptr)});

    for (const char* what : kCanDoQuestions) {
        std::string question = what;
        info.canDo.push_back({what, host.dispatch(effCanDo, 0, 0, question.data())});
    }

    // One index past the last program, to see that it is refused.
    for (VstInt32 p = 0; p <= info.numPrograms; ++p) {
        TextItem item{std::to_string(p), host.readText(effGetProgramNameIndexed, p)};
        checkText(info, "effGetProgramNameIndexed " + item.key, item.answer, kProgramNameLimit);
        info.programNamesIndexed.push_back(std::move(item));
    }
    for (VstInt32 i = 0; i <= info.numInputs; ++i)
        info.inputs.push_back(readPin(host, effGetInputProperties, i, info));
    for (VstInt32 i = 0; i <= info.numOutputs; ++i)
        info.outputs.push_back(readPin(host, effGetOutputProperties, i, info));

    void* chunk = nullptr;
    info.chunkAnswer = host.dispatch(effGetChunk, 0, 0, &chunk);

    // Both arrangement pointers start out as something the effect must overwrite.
    static int sentinel = 0;
    void* inputArrangement = &sentinel;
    void* outputArrangement = &sentinel;
    info.speakerArrangementAnswer = host.dispatch(effGetSpeakerArrangement, 0,
                                                  reinterpret_cast<VstIntPtr>(&inputArrangement), &outputArrangement);
    info.speakerArrangementsCleared = inputArrangement == nullptr && outputArrangement == nullptr;

    ERect* rect = nullptr;
    info.editGetRectAnswer = host.dispatch(effEditGetRect, 0, 0, &rect);

    for (VstInt32 i = 0; i < info.numParams; ++i) {
        ParameterInfo p;
        p.index = i;
        const TextAnswer name = host.readText(effGetParamName, i);
        const TextAnswer label = host.readText(effGetParamLabel, i);
        const TextAnswer display = host.readText(effGetParamDisplay, i);
        checkText(info, requestAt("effGetParamName", i), name, kParamTextLimit);
        checkText(info, requestAt("effGetParamLabel", i), label, kParamTextLimit);
        checkText(info, requestAt("effGetParamDisplay", i), display, kParamTextLimit);
        p.name = name.text;
        p.label = label.text;
        p.display = display.text;
        p.value = host.getParameter(i);
        p.canBeAutomated = host.dispatch(effCanBeAutomated, i);
        VstParameterProperties props;
        std::memset(&props, 0, sizeof(props));
        if (host.dispatch(effGetParameterProperties, i, 0, &props)) {
            p.properties = ParameterPropertiesInfo{props.flags, props.minInteger, props.maxInteger,
                                                   props.stepInteger, props.largeStepInteger};
        }
        info.parameters.push_back(std::move(p));
    }

    host.suspend();
    info.hostCalls = host.calls();
    info.closeAnswer = host.close();
    if (info.closeAnswer != 1)
        info.warnings.push_back({"effClose", "answered " + std::to_string(info.closeAnswer) + ", expected 1"});
    return info;
}

void printInfoText(std::FILE* out, const PluginInfo& info)
{
    auto text = [&](const std::string& key) -> const TextAnswer* {
        for (const auto& item : info.texts)
            if (item.key == key)
                return &item.answer;
        return nullptr;
    };
    const TextAnswer* name = text("effGetEffectName");
    std::fprintf(out, "%s\n\n", name ? name->text.c_str() : "(no name)");

    std::fprintf(out, "Effect record (after effSetSampleRate %s and effMainsChanged 1)\n",
                 floatText(info.sampleRate).c_str());
    std::fprintf(out, "  entry point       %s%s\n", info.entryName.c_str(),
                 info.entriesShareAddress ? " (main at the same address)" : "");
    std::fprintf(out, "  magic             %s%s\n", fourCharText(info.magic).c_str(),
                 info.magic == kEffectMagic ? "" : " (wrong)");
    std::fprintf(out, "  uniqueID          %s (%s)\n", fourCharText(info.uniqueID).c_str(),
                 hexText(info.uniqueID).c_str());
    std::fprintf(out, "  version           %d\n", info.version);
    std::fprintf(out, "  numPrograms       %d\n", info.numPrograms);
    std::fprintf(out, "  numParams         %d\n", info.numParams);
    std::fprintf(out, "  numInputs/Outputs %d / %d\n", info.numInputs, info.numOutputs);
    std::fprintf(out, "  flags             %s (%s)\n", hexText(info.flags).c_str(), flagNames(info.flags).c_str());
    std::fprintf(out, "  initialDelay      %d samples\n", info.initialDelay);
    std::fprintf(out, "  ioRatio           %s\n", floatText(info.ioRatio).c_str());
    std::fprintf(out, "  real/offQualities %d / %d\n", info.realQualities, info.offQualities);
    std::fprintf(out, "  processReplacing  %s, processDoubleReplacing %s\n", info.hasProcessReplacing ? "yes" : "no",
                 info.hasProcessDoubleReplacing ? "yes" : "no");

    std::fprintf(out, "\nDispatcher answers\n");
    for (const auto& item : info.texts)
        std::fprintf(out, "  %-28s %ld \"%s\"\n", item.key.c_str(), static_cast<long>(item.answer.answer),
                     item.answer.text.c_str());
    for (const auto& item : info.numbers) {
        std::string note;
        if (item.key == "effGetPlugCategory")
            note = " (" + categoryName(item.answer) + ")";
        else if (item.key == "effIdentify")
            note = " ('" + fourCharText(static_cast<VstInt32>(item.answer)) + "')";
        std::fprintf(out, "  %-28s %ld%s\n", item.key.c_str(), static_cast<long>(item.answer), note.c_str());
    }
    for (const auto& item : info.programNamesIndexed)
        std::fprintf(out, "  effGetProgramNameIndexed %-3s %ld \"%s\"\n", item.key.c_str(),
                     static_cast<long>(item.answer.answer), item.answer.text.c_str());
    for (const auto& item : info.canDo)
        std::fprintf(out, "  effCanDo %-19s %ld\n", ("\"" + item.what + "\"").c_str(),
                     static_cast<long>(item.answer));
    for (int dir = 0; dir < 2; ++dir) {
        for (const auto& pin : dir == 0 ? info.inputs : info.outputs) {
            std::fprintf(out, "  %s %d %ld", dir == 0 ? "effGetInputProperties " : "effGetOutputProperties", pin.index,
                         static_cast<long>(pin.answer));
            if (pin.untouched)
                std::fprintf(out, " (record untouched)\n");
            else
                std::fprintf(out, " \"%s\" flags %d (%s) short \"%s\"\n", pin.label.c_str(), pin.flags,
                             pinFlagNames(pin.flags).c_str(), pin.shortLabel.c_str());
        }
    }
    std::fprintf(out, "  %-28s %ld\n", "effGetChunk", static_cast<long>(info.chunkAnswer));
    std::fprintf(out, "  %-28s %ld%s\n", "effGetSpeakerArrangement", static_cast<long>(info.speakerArrangementAnswer),
                 info.speakerArrangementsCleared ? " (both set to null)" : "");
    std::fprintf(out, "  %-28s %ld\n", "effEditGetRect", static_cast<long>(info.editGetRectAnswer));
    std::fprintf(out, "  %-28s %ld\n", "effClose", static_cast<long>(info.closeAnswer));

    std::fprintf(out, "\nParameters\n");
    std::fprintf(out, "  %3s  %-14s %-11s %-13s %-10s %-4s %s\n", "idx", "name", "label", "display", "value", "auto",
                 "properties");
    for (const auto& p : info.parameters) {
        std::string props = "none";
        if (p.properties) {
            props = "flags " + hexText(p.properties->flags) + " min " + std::to_string(p.properties->minInteger) +
                    " max " + std::to_string(p.properties->maxInteger) + " step " +
                    std::to_string(p.properties->stepInteger) + " large " +
                    std::to_string(p.properties->largeStepInteger);
        }
        std::fprintf(out, "  %3d  %-14s %-11s %-13s %-10s %-4ld %s\n", p.index, ("\"" + p.name + "\"").c_str(),
                     ("\"" + p.label + "\"").c_str(), ("\"" + p.display + "\"").c_str(), floatText(p.value).c_str(),
                     static_cast<long>(p.canBeAutomated), props.c_str());
    }

    // The full list is in the JSON; here each kind of callback once, with its count.
    std::vector<std::pair<VstInt32, int>> counts;
    for (const auto& call : info.hostCalls) {
        auto it = std::find_if(counts.begin(), counts.end(), [&](const auto& c) { return c.first == call.opcode; });
        if (it == counts.end())
            counts.emplace_back(call.opcode, 1);
        else
            ++it->second;
    }
    std::fprintf(out, "\nHost callbacks from loading to the last request: %zu\n", info.hostCalls.size());
    for (const auto& [opcode, count] : counts)
        std::fprintf(out, "  %-32s %d\n", hostOpcodeName(opcode).c_str(), count);
    if (!info.warnings.empty()) {
        std::fprintf(out, "\nWarnings\n");
        for (const auto& w : info.warnings)
            std::fprintf(out, "  %s: %s\n", w.request.c_str(), w.detail.c_str());
    }
}

void printInfoJson(std::FILE* out, const PluginInfo& info)
{
    JsonWriter json(out);
    json.beginObject();
    json.key("sampleRate").number(info.sampleRate);
    json.key("entryPoint").string(info.entryName);
    json.key("entriesShareAddress").boolean(info.entriesShareAddress);

    json.key("record").beginObject();
    json.key("magic").string(fourCharText(info.magic));
    json.key("uniqueID").string(fourCharText(info.uniqueID));
    json.key("uniqueIDHex").string(hexText(info.uniqueID));
    json.key("version").integer(info.version);
    json.key("numPrograms").integer(info.numPrograms);
    json.key("numParams").integer(info.numParams);
    json.key("numInputs").integer(info.numInputs);
    json.key("numOutputs").integer(info.numOutputs);
    json.key("flags").string(hexText(info.flags));
    json.key("initialDelay").integer(info.initialDelay);
    json.key("ioRatio").number(info.ioRatio);
    json.key("realQualities").integer(info.realQualities);
    json.key("offQualities").integer(info.offQualities);
    json.key("processReplacing").boolean(info.hasProcessReplacing);
    json.key("processDoubleReplacing").boolean(info.hasProcessDoubleReplacing);
    json.endObject();

    json.key("dispatcher").beginObject();
    for (const auto& item : info.texts) {
        json.key(item.key).beginObject();
        json.key("answer").integer(item.answer.answer);
        json.key("text").string(item.answer.text);
        json.endObject();
    }
    for (const auto& item : info.numbers)
        json.key(item.key).integer(item.answer);
    json.key("effGetProgramNameIndexed").beginArray();
    for (const auto& item : info.programNamesIndexed) {
        json.beginObject();
        json.key("index").string(item.key);
        json.key("answer").integer(item.answer.answer);
        json.key("text").string(item.answer.text);
        json.endObject();
    }
    json.endArray();
    json.key("effCanDo").beginObject();
    for (const auto& item : info.canDo)
        json.key(item.what).integer(item.answer);
    json.endObject();
    for (int dir = 0; dir < 2; ++dir) {
        json.key(dir == 0 ? "effGetInputProperties" : "effGetOutputProperties").beginArray();
        for (const auto& pin : dir == 0 ? info.inputs : info.outputs) {
            json.beginObject();
            json.key("index").integer(pin.index);
            json.key("answer").integer(pin.answer);
            json.key("untouched").boolean(pin.untouched);
            if (!pin.untouched) {
                json.key("label").string(pin.label);
                json.key("shortLabel").string(pin.shortLabel);
                json.key("flags").integer(pin.flags);
                json.key("arrangementType").integer(pin.arrangementType);
            }
            json.endObject();
        }
        json.endArray();
    }
    json.key("effGetChunk").integer(info.chunkAnswer);
    json.key("effGetSpeakerArrangement").integer(info.speakerArrangementAnswer);
    json.key("speakerArrangementsCleared").boolean(info.speakerArrangementsCleared);
    json.key("effEditGetRect").integer(info.editGetRectAnswer);
    json.key("effClose").integer(info.closeAnswer);
    json.endObject();

    json.key("parameters").beginArray();
    for (const auto& p : info.parameters) {
        json.beginObject();
        json.key("index").integer(p.index);
        json.key("name").string(p.name);
        json.key("label").string(p.label);
        json.key("display").string(p.display);
        json.key("value").number(p.value);
        json.key("canBeAutomated").integer(p.canBeAutomated);
        json.key("properties");
        if (p.properties) {
            json.beginObject();
            json.key("flags").integer(p.properties->flags);
            json.key("minInteger").integer(p.properties->minInteger);
            json.key("maxInteger").integer(p.properties->maxInteger);
            json.key("stepInteger").integer(p.properties->stepInteger);
            json.key("largeStepInteger").integer(p.properties->largeStepInteger);
            json.endObject();
        } else {
            json.null();
        }
        json.endObject();
    }
    json.endArray();

    json.key("hostCalls").beginArray();
    for (const auto& call : info.hostCalls) {
        json.beginObject();
        json.key("opcode").string(hostOpcodeName(call.opcode));
        json.key("index").integer(call.index);
        json.key("value").integer(call.value);
        json.key("opt").number(call.opt);
        if (!call.text.empty())
            json.key("text").string(call.text);
        json.endObject();
    }
    json.endArray();

    json.key("warnings").beginArray();
    for (const auto& w : info.warnings) {
        json.beginObject();
        json.key("request").string(w.request);
        json.key("detail").string(w.detail);
        json.endObject();
    }
    json.endArray();
    json.endObject();
    std::fputc('\n', out);
}

} // namespace ambrel
