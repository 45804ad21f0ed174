#include "tools/ambrel/Demo.h"

#include "tools/ambrel/DemoSignal.h"
#include "tools/ambrel/Loudness.h"
#include "tools/ambrel/Presets.h"
#include "tools/ambrel/Render.h"

#include <cmath>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

namespace ambrel {

namespace {

constexpr double kDemoRate = 44100.0;

// A factory preset, optionally with a few parameters changed after it. A
// setting whose preset or parameter the build lacks is left out.
struct DemoSetting {
    std::string title;
    std::string fileName;
    std::string preset;
    std::vector<std::pair<std::string, float>> parameters; // by name, normalized
};

std::vector<DemoSetting> demoSettings()
{
    return {
        {"Default", "default", "Default", {}},
        {"Mastering First Aid", "mastering-first-aid", "Mastering First Aid", {}},
        {"Mix Finalize 1", "mix-finalize-1", "Mix Finalize 1", {}},
        {"MultiBandCompLim Med", "multiband-complim-med", "MultiBandCompLim Med", {}},
        {"Mastering First Aid + FAT", "mastering-first-aid-fat", "Mastering First Aid", {{"FAT", 1.0f}}},
    };
}

std::string dbText(double db)
{
    if (!std::isfinite(db))
        return "-inf";
    char buffer[32];
    std::snprintf(buffer, sizeof(buffer), "%.2f", db);
    return buffer;
}

void printLevels(std::FILE* out, const std::string& title, const std::string& file, const LevelReport& levels)
{
    std::fprintf(out, "  %-28s %9s", title.c_str(), dbText(levels.samplePeakDb).c_str());
    if (levels.hasLoudness)
        std::fprintf(out, " %9s %9s", dbText(levels.truePeakDb).c_str(), dbText(levels.integratedLufs).c_str());
    std::fprintf(out, "  %s\n", file.c_str());
}

std::string joinPath(const std::string& dir, const std::string& name)
{
    return (std::filesystem::path(dir) / name).string();
}

} // namespace

int runDemo(const std::string& pluginPath, const std::string& outDir, std::FILE* out)
{
    std::string error;
    std::error_code ec;
    std::filesystem::create_directories(outDir, ec);
    if (ec) {
        std::fprintf(stderr, "ambrel demo: cannot create %s: %s\n", outDir.c_str(), ec.message().c_str());
        return 1;
    }
    const AudioData input = synthesizeDemo(kDemoRate);
    const std::string inputPath = joinPath(outDir, "demo-input.wav");
    if (!writeAudioFile(inputPath, input, error)) {
        std::fprintf(stderr, "ambrel demo: %s\n", error.c_str());
        return 1;
    }

    std::string effectName;
    VstInt32 latency = 0;
    struct Row {
        std::string title;
        std::string file;
        LevelReport levels;
    };
    std::vector<Row> rows;
    bool failed = false;
    for (const DemoSetting& setting : demoSettings()) {
        std::unique_ptr<PluginHost> host = PluginHost::load(pluginPath, error);
        if (!host) {
            std::fprintf(stderr, "ambrel demo: %s\n", error.c_str());
            return 1;
        }
        if (effectName.empty())
            effectName = host->readText(effGetEffectName).text;
        RenderOptions options;
        options.compensate = true;
        PresetChoice choice;
        choice.factoryName = setting.preset;
        std::string programName;
        if (!presetAssignments(*host, choice, options.parameters, programName, error)) {
            std::fprintf(stderr, "ambrel demo: %s\n", error.c_str());
            return 1;
        }
        bool usable = true;
        for (const auto& [name, value] : setting.parameters) {
            VstInt32 index = 0;
            std::string reason;
            if (!findParameter(*host, name, index, reason)) {
                usable = false;
                break;
            }
            options.parameters.emplace_back(index, value);
        }
        if (!usable)
            continue; // this build has no such parameter
        AudioData output;
        RenderReport report;
        if (!render(*host, input, output, options, report, error)) {
            std::fprintf(stderr, "ambrel demo: %s: %s\n", setting.title.c_str(), error.c_str());
            return 1;
        }
        latency = report.latency;
        const VstIntPtr closed = host->close();
        if (closed != 1)
            std::fprintf(stderr, "ambrel demo: effClose answered %ld, expected 1\n", static_cast<long>(closed));
        if (report.nonFinite) {
            std::fprintf(stderr, "ambrel demo: %s: %zu output samples are not finite\n", setting.title.c_str(),
                         report.nonFinite);
            failed = true;
        }
        const std::string path = joinPath(outDir, "demo-" + setting.fileName + ".wav");
        if (!writeAudioFile(path, output, error)) {
            std::fprintf(stderr, "ambrel demo: %s\n", error.c_str());
            return 1;
        }
        rows.push_back({setting.title, path, measureLevels(output)});
    }

    const LevelReport inputLevels = measureLevels(input);
    std::fprintf(out, "%s at %.0f Hz: latency %d samples (%.2f ms), compensated in every output\n\n",
                 effectName.c_str(), kDemoRate, latency, 1000.0 * latency / kDemoRate);
    std::fprintf(out, "  %-28s %9s", "", "peak dBFS");
    if (inputLevels.hasLoudness)
        std::fprintf(out, " %9s %9s", "TP dBTP", "LUFS-I");
    std::fprintf(out, "  file\n");
    printLevels(out, "Input (built-in demo)", inputPath, inputLevels);
    for (const Row& row : rows)
        printLevels(out, row.title, row.file, row.levels);
    return failed ? 3 : 0;
}

} // namespace ambrel
