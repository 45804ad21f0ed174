#include "tools/ambrel/Presets.h"

#include "platform/FileAccess.h"
#include "presets/FactoryPresets.h"
#include "presets/PresetFiles.h"

#include <cmath>
#include <cstring>
#include <optional>
#include <utility>

namespace ambrel {

namespace {

// Preset and bank files are a few kilobytes; a longer file is read only so
// far, which is enough to refuse it.
constexpr size_t kMaxPresetFileSize = 1 << 20;

bool readBytes(const std::string& path, std::vector<uint8_t>& bytes, std::string& error)
{
    FileRead read = readRegularFile(path, kMaxPresetFileSize);
    switch (read.status) {
    case FileReadStatus::Ok:
        bytes = std::move(read.bytes);
        return true;
    case FileReadStatus::NotRegular:
        error = "cannot open " + path + ": not a regular file";
        return false;
    default:
        error = "cannot open " + path + (read.error ? std::string(": ") + std::strerror(read.error) : std::string());
        return false;
    }
}

std::string statusText(FileStatus status)
{
    const char* message = fileStatusMessage(status);
    return message ? message : "cannot read the file";
}

// Values a file holds outside 0..1: those applied are clamped as the
// plug-in clamps them when it loads the file (a NaN becomes 0); those of
// parameters a preset leaves alone are ignored with them.
struct OutOfRange {
    int clamped = 0;
    int notNumbers = 0;
    int ignored = 0;
};

void appendRecord(const Variant& variant, const PresetRecord& record,
                  std::vector<std::pair<VstInt32, float>>& assignments, OutOfRange& outOfRange)
{
    for (int i = 0; i < variant.numParams; ++i) {
        if (!record.present[static_cast<size_t>(i)])
            continue;
        float value = record.values[static_cast<size_t>(i)];
        const bool outside = !(value >= 0.0f && value <= 1.0f);
        const ParamId id = variant.paramAt(i);
        if (id == ParamId::None || variant.isGlobal(id)) {
            outOfRange.ignored += outside;
            continue;
        }
        if (outside) {
            ++outOfRange.clamped;
            outOfRange.notNumbers += std::isnan(value);
            value = value > 1.0f ? 1.0f : value >= 0.0f ? value : 0.0f;
        }
        assignments.emplace_back(i, value);
    }
}

std::string outOfRangeText(const std::string& path, const OutOfRange& counts)
{
    std::string text;
    const auto values = [](int n) { return std::to_string(n) + (n == 1 ? " value" : " values"); };
    if (counts.clamped) {
        text = values(counts.clamped) + " outside 0 to 1 clamped";
        if (counts.notNumbers)
            text += " (" + std::to_string(counts.notNumbers) + " not a number, taken as 0)";
    }
    if (counts.ignored)
        text += (text.empty() ? "" : ", ") + values(counts.ignored) +
                " outside 0 to 1 ignored with the global settings";
    return text.empty() ? text : path + ": " + text;
}

} // namespace

const Variant* variantOf(const PluginHost& host)
{
    const AEffect* effect = host.effect();
    if (!effect)
        return nullptr;
    if (effect->uniqueID == variants::kAmbrel2.uniqueId)
        return &variants::kAmbrel2;
    if (effect->uniqueID == variants::kAmbrel.uniqueId)
        return &variants::kAmbrel;
    return nullptr;
}

std::vector<std::string> factoryPresetNames(const Variant& variant)
{
    std::vector<std::string> names;
    for (const FactoryPreset& preset : factoryPresets(variant))
        names.emplace_back(preset.name);
    return names;
}

bool presetAssignments(const PluginHost& host, const PresetChoice& choice,
                       std::vector<std::pair<VstInt32, float>>& assignments, std::string& title, std::string& error,
                       std::string* warning)
{
    OutOfRange outOfRange;
    const int sources = !choice.factoryName.empty() + !choice.presetFile.empty() + !choice.bankFile.empty();
    if (sources > 1) {
        error = "give only one of --preset, --preset-file and --bank";
        return false;
    }
    if (choice.programGiven && choice.bankFile.empty()) {
        error = "--program selects a program of a bank; give the bank with --bank";
        return false;
    }
    const Variant* variant = variantOf(host);
    if (!variant) {
        error = "presets need a Nur Ambrel plug-in (unique id 'NRAB' or 'NrAB')";
        return false;
    }

    if (!choice.factoryName.empty()) {
        const int slot = findFactoryPreset(choice.factoryName);
        if (slot < 0) {
            error = "no factory preset named '" + choice.factoryName + "' (see `ambrel presets`)";
            return false;
        }
        const FactoryPresetTable table = factoryPresets(*variant);
        const FactoryPreset& preset = table[static_cast<size_t>(slot)];
        PresetRecord record;
        record.values = preset.values;
        record.present.fill(true);
        appendRecord(*variant, record, assignments, outOfRange);
        title = preset.name;
        return true;
    }

    const bool bank = !choice.bankFile.empty();
    const std::string& path = bank ? choice.bankFile : choice.presetFile;
    std::vector<uint8_t> bytes;
    if (!readBytes(path, bytes, error))
        return false;
    const ParsedPresetFile parsed = bank ? parseBankFile(bytes, *variant) : parsePresetFile(bytes, *variant);
    if (parsed.status != FileStatus::Ok) {
        error = path + ": " + statusText(parsed.status);
        return false;
    }
    const int program = bank ? choice.program : 0;
    if (parsed.records.empty()) {
        error = path + " holds no program";
        return false;
    }
    if (program < 0 || program >= static_cast<int>(parsed.records.size())) {
        error = path + " holds programs 0 to " + std::to_string(parsed.records.size() - 1) + "; there is no program " +
                std::to_string(program);
        return false;
    }
    const PresetRecord& record = parsed.records[static_cast<size_t>(program)];
    appendRecord(*variant, record, assignments, outOfRange);
    title = record.name;
    if (warning)
        *warning = outOfRangeText(path, outOfRange);
    return true;
}

} // namespace ambrel
