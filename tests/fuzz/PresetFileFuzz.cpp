// Fuzz target: preset and bank files, as a user may hand any file to the
// plug-in's load buttons or to ambrel. Each input is parsed by both builds
// as a preset, as a bank and as either kind, then loaded into an effect of
// each build through the file operations. Whatever the bytes: the parses
// agree with each other and with the loads, a file is accepted only at the
// size of one of its layouts, and the effect comes out with every value in
// 0..1 and finite output.
#include "FuzzTarget.h"

#include "effect/Ambrel.h"
#include "presets/PresetFiles.h"

#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

// A folder of this process's own for the input file and the settings store
// the effects read and write, removed at exit.
class Scratch {
public:
    Scratch()
    {
        const char* base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
        std::string pattern = std::string(base) + "/ambrel-fuzz-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            std::abort();
        dir_ = pattern;
        ::setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
    }
    ~Scratch()
    {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    std::string file() const { return dir_ + "/input"; }

private:
    std::string dir_;
};

bool hasLayoutSize(size_t size, PresetFileKind kind)
{
    if (kind == PresetFileKind::Bank)
        return size == bankFileSize(42) || size == bankFileSize(48) ||
               size == bankFileSize(kLegacyValues, kLegacyBankRecords);
    return size == presetFileSize(42) || size == presetFileSize(48) || size == presetFileSize(kLegacyValues);
}

void checkParse(const ParsedPresetFile& file, size_t size)
{
    if (file.status != FileStatus::Ok) {
        FUZZ_CHECK(file.records.empty());
        return;
    }
    FUZZ_CHECK(hasLayoutSize(size, file.kind));
    const size_t records = file.records.size();
    if (file.kind == PresetFileKind::Preset)
        FUZZ_CHECK(records == 1);
    else
        FUZZ_CHECK(records ==
                   static_cast<size_t>(file.layout == FileLayout::Legacy ? kLegacyBankRecords : kBankRecords));
    for (const PresetRecord& record : file.records)
        FUZZ_CHECK(record.name.size() <= kPresetNameField && record.name.find('\0') == std::string::npos);
}

void checkEffect(Ambrel& effect)
{
    const int count = effect.variant().numParams;
    for (int i = 0; i < count; ++i) {
        const float v = effect.getParameter(i);
        FUZZ_CHECK(v >= 0.0f && v <= 1.0f);
    }
    for (int slot = 0; slot < CPresetSystemEffect::kNumSlots; ++slot) {
        const CProgram& program = effect.programs()[slot];
        FUZZ_CHECK(std::strlen(program.name()) <= kPresetNameField);
        for (int i = 0; i < count; ++i) {
            const float v = program.getParameter(i);
            FUZZ_CHECK(v >= 0.0f && v <= 1.0f);
        }
    }
    constexpr int kFrames = 64;
    float in[2][kFrames], out[2][kFrames];
    for (int i = 0; i < kFrames; ++i)
        in[0][i] = in[1][i] = static_cast<float>(0.9 * std::sin(0.3 * i));
    float* inputs[2] = {in[0], in[1]};
    float* outputs[2] = {out[0], out[1]};
    effect.processReplacing(inputs, outputs, kFrames);
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < kFrames; ++i)
            FUZZ_CHECK(std::isfinite(out[c][i]));
}

struct Effects {
    Scratch scratch; // first: the effects read their settings from it
    std::unique_ptr<Ambrel> withFat = std::make_unique<Ambrel>(nullptr, variants::kAmbrel2);
    std::unique_ptr<Ambrel> withoutFat = std::make_unique<Ambrel>(nullptr, variants::kAmbrel);
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Effects effects;
    const std::vector<uint8_t> bytes(data, data + size);
    const std::string path = effects.scratch.file();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(file && (size == 0 || std::fwrite(data, 1, size, file) == size) && std::fclose(file) == 0);

    for (Ambrel* effect : {effects.withFat.get(), effects.withoutFat.get()}) {
        const Variant& variant = effect->variant();
        const ParsedPresetFile preset = parsePresetFile(bytes, variant);
        const ParsedPresetFile bank = parseBankFile(bytes, variant);
        const ParsedPresetFile either = parseProgramFile(bytes, variant);
        checkParse(preset, size);
        checkParse(bank, size);
        checkParse(either, size);
        if (either.status == FileStatus::Ok) {
            const ParsedPresetFile& same = either.kind == PresetFileKind::Bank ? bank : preset;
            FUZZ_CHECK(same.status == FileStatus::Ok && same.records.size() == either.records.size());
        }
        FUZZ_CHECK(loadPreset(*effect, path, nullptr) == preset.status);
        checkEffect(*effect);
        FUZZ_CHECK(loadBank(*effect, path, nullptr) == bank.status);
        checkEffect(*effect);
    }
    return 0;
}
