// Preset files (".nur", one program) and bank files (".nub", all 31 slots).
//
// Layout, little-endian: the magic "BARN" (either byte order is read, "BARN"
// is written), a kind byte ('7' bank, '!' preset), then program records: a
// 24-byte name field (zero-padded, no terminator at 24 characters) and one
// 32-bit float per parameter of the build that wrote the file. Sizes: bank
// 5957 / preset 197 bytes from the build with FAT (42 values), 6701 / 221
// from the build without it (48 values), and the old 30-value layouts
// 4325 / 149 (30 records in a bank), whose values are in the order of the
// build with FAT.
//
// The parse and serialise functions are pure (bytes <-> records); the four
// operations below do the file access for the effect's program store.
#pragma once

#include "presets/CProgram.h"
#include "variants/Variant.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

class CPresetSystemEffect;
class ErrorMessages;

enum class PresetFileKind : uint8_t { Bank, Preset };

enum class FileStatus : uint8_t {
    Ok,
    CannotOpen,  // missing or unreadable file, or nothing to load into: silent
    InvalidFile, // wrong magic, or a length that matches no layout
    NotABank,    // a bank was expected, the kind byte says otherwise
    NotAPreset,  // a preset was expected, the kind byte says otherwise
    WriteFailed, // the file could not be written; an old file is kept whole
};

// Message shown for a status, or null for those that show none.
const char* fileStatusMessage(FileStatus status);

enum class FileLayout : uint8_t {
    ThisBuild,  // the reading build's own layout
    OtherBuild, // the other build's layout: values carried by parameter
    Legacy,     // the old 30-value layout: values carried by parameter
};

// One program read from a file, numbered for the reading build.
struct PresetRecord {
    std::string name; // at most 24 characters
    std::array<float, kMaxParams> values{};
    // Which values the file carries; the others are to be left as they are.
    std::array<bool, kMaxParams> present{};
};

struct ParsedPresetFile {
    FileStatus status = FileStatus::InvalidFile;
    PresetFileKind kind = PresetFileKind::Preset;
    FileLayout layout = FileLayout::ThisBuild;
    // Bank: the records for slots 0 .. 30 (0 .. 29 in the old layout);
    // preset: one record.
    std::vector<PresetRecord> records;
};

constexpr size_t kPresetHeaderSize = 5;
constexpr size_t kPresetNameField = 24;
constexpr int kBankRecords = 31;
constexpr int kLegacyBankRecords = 30;
constexpr int kLegacyValues = 30;

constexpr size_t presetRecordSize(int values)
{
    return kPresetNameField + 4 * static_cast<size_t>(values);
}
constexpr size_t bankFileSize(int values, int records = kBankRecords)
{
    return kPresetHeaderSize + static_cast<size_t>(records) * presetRecordSize(values);
}
constexpr size_t presetFileSize(int values)
{
    return kPresetHeaderSize + presetRecordSize(values);
}

// Parses a file expected to be of `kind` for the reading build. Checks, in
// order: the magic (InvalidFile), the kind byte (NotABank / NotAPreset), the
// length (InvalidFile unless it is one of the kind's layouts).
ParsedPresetFile parsePresetFile(const std::vector<uint8_t>& bytes, const Variant& variant);
ParsedPresetFile parseBankFile(const std::vector<uint8_t>& bytes, const Variant& variant);
// Either kind, as the kind byte says.
ParsedPresetFile parseProgramFile(const std::vector<uint8_t>& bytes, const Variant& variant);

// Writes programs in the build's own layout; `slots` must hold 31 programs.
std::vector<uint8_t> serialiseBank(std::span<const CProgram> slots, const Variant& variant);
std::vector<uint8_t> serialisePreset(const CProgram& program, const Variant& variant);

// The four file operations on the program store, each by full path; the
// process's working directory is never changed. The loads open the file
// read-only, change nothing unless the whole file is valid, show the
// status's message through `messages` (when given) and then apply the
// programs: a bank selects slot 0, a preset
// replaces the current preset and selects it again. The saves replace the
// file atomically.
FileStatus saveBank(CPresetSystemEffect& effect, const std::string& path);
FileStatus savePreset(CPresetSystemEffect& effect, const std::string& path);
FileStatus loadBank(CPresetSystemEffect& effect, const std::string& path, ErrorMessages* messages);
FileStatus loadPreset(CPresetSystemEffect& effect, const std::string& path, ErrorMessages* messages);
