#include "presets/PresetFiles.h"

#include "platform/ErrorMessages.h"
#include "platform/FileAccess.h"
#include "presets/BuildMapping.h"
#include "presets/CPresetSystemEffect.h"

#include <cstring>

namespace {

constexpr uint8_t kMagic[4] = {'B', 'A', 'R', 'N'};
constexpr uint8_t kMagicSwapped[4] = {'N', 'R', 'A', 'B'};
constexpr uint8_t kBankKind = '7';
constexpr uint8_t kPresetKind = '!';

// Largest file any layout has, plus one so that a longer file is noticed.
constexpr size_t kReadLimit = bankFileSize(kMaxParams) + 1;

bool hasMagic(const std::vector<uint8_t>& bytes)
{
    if (bytes.size() < 4)
        return false;
    return std::memcmp(bytes.data(), kMagic, 4) == 0 || std::memcmp(bytes.data(), kMagicSwapped, 4) == 0;
}

float readFloat(const uint8_t* p)
{
    const uint32_t bits = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                          (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
    float f = 0.0f;
    std::memcpy(&f, &bits, sizeof(f));
    return f;
}

void appendFloat(std::vector<uint8_t>& out, float value)
{
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof(bits));
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(bits >> (8 * i)));
}

void appendRecord(std::vector<uint8_t>& out, const CProgram& program, int count)
{
    char name[CProgram::kNameSize] = {};
    program.getName(name);
    out.insert(out.end(), name, name + kPresetNameField);
    for (int i = 0; i < count; ++i)
        appendFloat(out, program.getParameter(i));
}

std::vector<uint8_t> header(uint8_t kind)
{
    return {kMagic[0], kMagic[1], kMagic[2], kMagic[3], kind};
}

// The layouts a file of one kind may have, by length.
struct Layout {
    FileLayout layout;
    const Variant* writer;
    int values;
    int records;
};

bool findLayout(size_t length, PresetFileKind kind, const Variant& reader, Layout& found)
{
    const int records = kind == PresetFileKind::Bank ? kBankRecords : 1;
    for (const Variant* build : knownBuilds()) {
        const size_t size =
            kind == PresetFileKind::Bank ? bankFileSize(build->numParams) : presetFileSize(build->numParams);
        if (length == size) {
            found = {sameBuild(*build, reader) ? FileLayout::ThisBuild : FileLayout::OtherBuild, build,
                     build->numParams, records};
            return true;
        }
    }
    // The old layouts hold the first 30 values in the order of the build with FAT.
    const size_t legacy = kind == PresetFileKind::Bank ? bankFileSize(kLegacyValues, kLegacyBankRecords)
                                                       : presetFileSize(kLegacyValues);
    if (length == legacy) {
        found = {FileLayout::Legacy, &variants::kAmbrel2, kLegacyValues,
                 kind == PresetFileKind::Bank ? kLegacyBankRecords : 1};
        return true;
    }
    return false;
}

PresetRecord readRecord(const uint8_t* p, const Layout& layout, const Variant& reader)
{
    PresetRecord record;
    record.name.assign(reinterpret_cast<const char*>(p), strnlen(reinterpret_cast<const char*>(p), kPresetNameField));
    const uint8_t* values = p + kPresetNameField;
    for (int i = 0; i < reader.numParams; ++i) {
        const int source = sourceIndexOf(*layout.writer, layout.values, reader, i);
        if (source < 0)
            continue;
        record.values[static_cast<size_t>(i)] = readFloat(values + 4 * source);
        record.present[static_cast<size_t>(i)] = true;
    }
    return record;
}

ParsedPresetFile parse(const std::vector<uint8_t>& bytes, const Variant& reader, const PresetFileKind* expected)
{
    ParsedPresetFile result;
    if (bytes.size() < kPresetHeaderSize || !hasMagic(bytes))
        return result; // InvalidFile
    const uint8_t kindByte = bytes[4];
    const bool isBank = kindByte == kBankKind;
    const bool isPreset = kindByte == kPresetKind;
    if (expected && *expected == PresetFileKind::Bank && !isBank) {
        result.status = FileStatus::NotABank;
        return result;
    }
    if (expected && *expected == PresetFileKind::Preset && !isPreset) {
        result.status = FileStatus::NotAPreset;
        return result;
    }
    if (!isBank && !isPreset)
        return result; // InvalidFile
    result.kind = isBank ? PresetFileKind::Bank : PresetFileKind::Preset;

    Layout layout{};
    if (!findLayout(bytes.size(), result.kind, reader, layout))
        return result; // InvalidFile: never read past the end of a short file
    result.layout = layout.layout;
    const size_t recordSize = presetRecordSize(layout.values);
    for (int r = 0; r < layout.records; ++r)
        result.records.push_back(readRecord(bytes.data() + kPresetHeaderSize + r * recordSize, layout, reader));
    result.status = FileStatus::Ok;
    return result;
}

void storeRecord(CProgram& program, const PresetRecord& record, int count)
{
    program.setName(record.name.c_str());
    for (int i = 0; i < count; ++i)
        if (record.present[static_cast<size_t>(i)])
            program.setParameter(i, record.values[static_cast<size_t>(i)]);
}

FileStatus report(FileStatus status, ErrorMessages* messages)
{
    if (const char* text = fileStatusMessage(status); text && messages)
        messages->showError(text);
    return status;
}

} // namespace

const char* fileStatusMessage(FileStatus status)
{
    switch (status) {
    case FileStatus::InvalidFile:
        return "Error #01: Invalid preset file!";
    case FileStatus::NotABank:
        return "Not a bank file!";
    case FileStatus::NotAPreset:
        return "Error #02: Not a preset file!";
    default:
        return nullptr;
    }
}

ParsedPresetFile parsePresetFile(const std::vector<uint8_t>& bytes, const Variant& variant)
{
    const PresetFileKind kind = PresetFileKind::Preset;
    return parse(bytes, variant, &kind);
}

ParsedPresetFile parseBankFile(const std::vector<uint8_t>& bytes, const Variant& variant)
{
    const PresetFileKind kind = PresetFileKind::Bank;
    return parse(bytes, variant, &kind);
}

ParsedPresetFile parseProgramFile(const std::vector<uint8_t>& bytes, const Variant& variant)
{
    return parse(bytes, variant, nullptr);
}

std::vector<uint8_t> serialiseBank(std::span<const CProgram> slots, const Variant& variant)
{
    std::vector<uint8_t> out = header(kBankKind);
    out.reserve(bankFileSize(variant.numParams));
    for (const CProgram& program : slots.first(std::min<size_t>(slots.size(), kBankRecords)))
        appendRecord(out, program, variant.numParams);
    return out;
}

std::vector<uint8_t> serialisePreset(const CProgram& program, const Variant& variant)
{
    std::vector<uint8_t> out = header(kPresetKind);
    out.reserve(presetFileSize(variant.numParams));
    appendRecord(out, program, variant.numParams);
    return out;
}

FileStatus saveBank(CPresetSystemEffect& effect, const std::string& path)
{
    const CProgram* programs = effect.programs();
    if (!programs)
        return FileStatus::CannotOpen;
    const std::vector<uint8_t> bytes =
        serialiseBank(std::span<const CProgram>(programs, CPresetSystemEffect::kNumSlots), effect.variant());
    return writeFileAtomically(path, bytes) ? FileStatus::Ok : FileStatus::WriteFailed;
}

FileStatus savePreset(CPresetSystemEffect& effect, const std::string& path)
{
    const CProgram* programs = effect.programs();
    if (!programs)
        return FileStatus::CannotOpen;
    const int slot = effect.getPresetIndex();
    const std::vector<uint8_t> bytes = serialisePreset(programs[slot], effect.variant());
    return writeFileAtomically(path, bytes) ? FileStatus::Ok : FileStatus::WriteFailed;
}

FileStatus loadBank(CPresetSystemEffect& effect, const std::string& path, ErrorMessages* messages)
{
    CProgram* programs = effect.programs();
    if (!programs)
        return FileStatus::CannotOpen;
    const std::optional<std::vector<uint8_t>> bytes = readFileBytes(path, kReadLimit);
    if (!bytes)
        return FileStatus::CannotOpen;
    const ParsedPresetFile file = parseBankFile(*bytes, effect.variant());
    if (file.status != FileStatus::Ok)
        return report(file.status, messages);

    const int count = effect.variant().numParams;
    for (size_t j = 0; j < file.records.size(); ++j)
        storeRecord(programs[j], file.records[j], count);
    if (PresetDisplay* display = effect.presetDisplay()) {
        display->presetNamesChanged();
        display->showPresetName(programs[0].name());
    }
    effect.selectPreset(0);
    return FileStatus::Ok;
}

FileStatus loadPreset(CPresetSystemEffect& effect, const std::string& path, ErrorMessages* messages)
{
    CProgram* programs = effect.programs();
    if (!programs)
        return FileStatus::CannotOpen;
    const int slot = effect.getPresetIndex();
    const std::optional<std::vector<uint8_t>> bytes = readFileBytes(path, kReadLimit);
    if (!bytes)
        return FileStatus::CannotOpen;
    const ParsedPresetFile file = parsePresetFile(*bytes, effect.variant());
    if (file.status != FileStatus::Ok)
        return report(file.status, messages);

    storeRecord(programs[slot], file.records[0], effect.variant().numParams);
    if (PresetDisplay* display = effect.presetDisplay())
        display->showPresetName(programs[slot].name());
    effect.selectPreset(slot);
    return FileStatus::Ok;
}
