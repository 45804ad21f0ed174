// ambrel: a command-line VST 2.4 host for inspecting plug-ins and rendering
// sound files through them.
#include "tools/ambrel/AudioFile.h"
#include "tools/ambrel/Demo.h"
#include "tools/ambrel/Edit.h"
#include "tools/ambrel/Info.h"
#include "tools/ambrel/Presets.h"
#include "tools/ambrel/Render.h"
#include "tools/ambrel/Validate.h"
#include "platform/ToolPlatform.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

using namespace ambrel;

namespace {

void usage(std::FILE* out)
{
    std::fprintf(out,
                 "usage: ambrel info PLUGIN [--json] [--rate R] [PRESET OPTIONS] [--param ...]\n"
                 "       ambrel render PLUGIN IN.wav OUT.wav [--param NAME_OR_INDEX=VALUE ...]\n"
                 "                     [--preset NAME | --preset-file X.nur | --bank X.nub [--program K]]\n"
                 "                     [--block N] [--double] [--compensate]\n"
                 "       ambrel presets PLUGIN\n"
                 "       ambrel demo PLUGIN OUTDIR\n"
                 "       ambrel edit PLUGIN [--idle-ms N] [--signal none|sine|noise|music] [--rate R]\n"
                 "                   [--seconds S] [--scale 1|2] [--verbose] [--preset NAME] [--param ...]\n"
                 "                   [--after-open INDEX=VALUE ...] [--trace-idles]\n"
                 "       ambrel snapshot PLUGIN OUT.png [--idles N] [--idle-ms N] [--scale 1|2]\n"
                 "                   [--signal ...] [--rate R] [--preset NAME] [--param ...]\n"
                 "                   [--after-open INDEX=VALUE ...]\n"
                 "       ambrel validate PLUGIN [--no-editor] [--cycles N] [--seed N]\n"
                 "\n"
                 "  info     print the effect record, the dispatcher's answers and the parameters\n"
                 "           (at R Hz, default 44100) as a table, or as JSON with --json; the preset\n"
                 "           and --param options of render apply before the parameters are read\n"
                 "  render   process IN through the plug-in at IN's sample rate and write OUT as\n"
                 "           32-bit float WAV; IN is %s,\n"
                 "           mono input feeds both channels. VALUE is normalized (0 to 1), NAME is the\n"
                 "           parameter's name without its spaces, in any case. --block N sets the host\n"
                 "           block size (default 512), --double processes in double precision,\n"
                 "           --compensate removes the reported latency so OUT lines up with IN.\n"
                 "           A factory preset (--preset), a preset file or a program K of a bank file\n"
                 "           is applied first, leaving the global settings (Process, Mono Stereo,\n"
                 "           meters, FAT) as they are; --param values are applied after it.\n"
                 "  presets  list the plug-in's factory presets\n"
                 "  demo     render a built-in demo through a few settings into OUTDIR and print the\n"
                 "           latency and the level of each file\n"
                 "  edit     open the plug-in's editor in a window, idled every N ms (default 40)\n"
                 "           while a test signal (default music, looped) is processed; runs until the\n"
                 "           window is closed or S seconds have passed; --verbose prints the\n"
                 "           callbacks the plug-in makes (automation, edits, display updates);\n"
                 "           --trace-idles prints \"editor idle N\" before the N-th idle request\n"
                 "  snapshot open the editor the same way, idle it N times (default 10) and write\n"
                 "           the window's pixels to OUT.png; --scale sets AMBREL_UI_SCALE for the\n"
                 "           plug-in. --after-open sets a value by index once the editor is open\n"
                 "           (any index: values only the editor acts on, such as a page switch)\n"
                 "  validate run the checks of a strict host on any VST 2.4 plug-in: one PASS, FAIL or\n"
                 "           SKIP line per check, exit code 1 when one fails; --no-editor leaves the\n"
                 "           editor closed, --cycles sets the load/unload cycles (default 100)\n",
                 audioReaderDescription());
}

// Either "--name VALUE" or "--name=VALUE"; advances `i` past what it used.
bool optionValue(const std::vector<std::string>& args, size_t& i, const std::string& name, std::string& value)
{
    const std::string& a = args[i];
    if (a == name) {
        if (i + 1 >= args.size()) {
            std::fprintf(stderr, "ambrel: %s needs a value\n", name.c_str());
            std::exit(2);
        }
        value = args[++i];
        return true;
    }
    if (a.compare(0, name.size() + 1, name + "=") == 0) {
        value = a.substr(name.size() + 1);
        return true;
    }
    return false;
}

bool parseInt(const std::string& text, long minValue, long maxValue, long& out)
{
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != 0 || v < minValue || v > maxValue)
        return false;
    out = v;
    return true;
}

// The options that choose parameter values: a preset of some kind, then
// single parameters. Returns false for an option that is not one of them.
struct ValueOptions {
    PresetChoice preset;
    std::vector<std::string> assignments;
};

bool valueOption(const std::vector<std::string>& args, size_t& i, ValueOptions& values, const char* command)
{
    std::string value;
    long number = 0;
    if (optionValue(args, i, "--param", value)) {
        values.assignments.push_back(value);
    } else if (optionValue(args, i, "--preset", value)) {
        values.preset.factoryName = value;
    } else if (optionValue(args, i, "--preset-file", value)) {
        values.preset.presetFile = value;
    } else if (optionValue(args, i, "--bank", value)) {
        values.preset.bankFile = value;
    } else if (optionValue(args, i, "--program", value)) {
        if (!parseInt(value, 0, 1000, number)) {
            std::fprintf(stderr, "ambrel %s: bad program number '%s'\n", command, value.c_str());
            std::exit(2);
        }
        values.preset.program = static_cast<int>(number);
        values.preset.programGiven = true;
    } else {
        return false;
    }
    return true;
}

// Resolves the value options against the loaded effect; on failure prints
// the reason and returns false.
bool resolveValues(PluginHost& host, const ValueOptions& values, std::vector<std::pair<VstInt32, float>>& out,
                   std::string& presetTitle, const char* command)
{
    std::string error;
    if (values.preset.any() || values.preset.programGiven) {
        std::string warning;
        if (!presetAssignments(host, values.preset, out, presetTitle, error, &warning)) {
            std::fprintf(stderr, "ambrel %s: %s\n", command, error.c_str());
            return false;
        }
        if (!warning.empty())
            std::fprintf(stderr, "ambrel %s: warning: %s\n", command, warning.c_str());
    }
    for (const std::string& text : values.assignments) {
        std::pair<VstInt32, float> assignment;
        if (!parseParameterAssignment(host, text, assignment, error)) {
            std::fprintf(stderr, "ambrel %s: %s\n", command, error.c_str());
            return false;
        }
        out.push_back(assignment);
    }
    return true;
}

int commandInfo(const std::vector<std::string>& args)
{
    std::string plugin;
    bool json = false;
    double rate = 44100.0;
    ValueOptions values;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string value;
        if (valueOption(args, i, values, "info")) {
            continue;
        } else if (args[i] == "--json") {
            json = true;
        } else if (optionValue(args, i, "--rate", value)) {
            char* end = nullptr;
            rate = std::strtod(value.c_str(), &end);
            if (value.empty() || *end != 0 || !(rate >= 1000.0 && rate <= 768000.0)) {
                std::fprintf(stderr, "ambrel info: bad sample rate '%s' (1000 to 768000)\n", value.c_str());
                return 2;
            }
        } else if (plugin.empty() && args[i].compare(0, 2, "--") != 0) {
            plugin = args[i];
        } else {
            std::fprintf(stderr, "ambrel info: unexpected argument '%s'\n", args[i].c_str());
            return 2;
        }
    }
    if (plugin.empty()) {
        usage(stderr);
        return 2;
    }
    std::string error;
    std::unique_ptr<PluginHost> host = PluginHost::load(plugin, error);
    if (!host) {
        std::fprintf(stderr, "ambrel info: %s\n", error.c_str());
        return 1;
    }
    std::vector<std::pair<VstInt32, float>> assignments;
    std::string presetTitle;
    if (!resolveValues(*host, values, assignments, presetTitle, "info"))
        return 2;
    for (const auto& [index, value] : assignments)
        host->setParameter(index, value);
    const PluginInfo info = collectInfo(*host, static_cast<float>(rate));
    if (json)
        printInfoJson(stdout, info);
    else
        printInfoText(stdout, info);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

void drawProgress(double fraction)
{
    constexpr int kWidth = 40;
    const int filled = static_cast<int>(fraction * kWidth + 0.5);
    std::string bar(static_cast<size_t>(filled), '#');
    bar.resize(kWidth, '.');
    std::fprintf(stderr, "\rrendering [%s] %3d%%", bar.c_str(), static_cast<int>(fraction * 100.0 + 0.5));
    std::fflush(stderr);
}

int commandRender(const std::vector<std::string>& args)
{
    std::vector<std::string> positional;
    RenderOptions options;
    ValueOptions values;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string value;
        long number = 0;
        if (valueOption(args, i, values, "render")) {
            continue;
        } else if (optionValue(args, i, "--block", value)) {
            if (!parseInt(value, 1, kMaxBlockSize, number)) {
                std::fprintf(stderr, "ambrel render: bad block size '%s' (1 to %d)\n", value.c_str(), kMaxBlockSize);
                return 2;
            }
            options.blockSize = static_cast<int>(number);
        } else if (args[i] == "--double") {
            options.useDouble = true;
        } else if (args[i] == "--compensate") {
            options.compensate = true;
        } else if (args[i].compare(0, 2, "--") == 0) {
            std::fprintf(stderr, "ambrel render: unknown option '%s'\n", args[i].c_str());
            return 2;
        } else {
            positional.push_back(args[i]);
        }
    }
    if (positional.size() != 3) {
        usage(stderr);
        return 2;
    }
    const std::string& plugin = positional[0];
    const std::string& inPath = positional[1];
    const std::string& outPath = positional[2];

    std::string error;
    AudioData input;
    if (!readAudioFile(inPath, input, error)) {
        std::fprintf(stderr, "ambrel render: %s\n", error.c_str());
        return 1;
    }
    std::unique_ptr<PluginHost> host = PluginHost::load(plugin, error);
    if (!host) {
        std::fprintf(stderr, "ambrel render: %s\n", error.c_str());
        return 1;
    }
    std::string presetTitle;
    if (!resolveValues(*host, values, options.parameters, presetTitle, "render"))
        return 2;
    const bool showProgress = toolplatform::isTerminal(stderr);
    if (showProgress)
        options.progress = drawProgress;

    AudioData output;
    RenderReport report;
    if (!render(*host, input, output, options, report, error)) {
        std::fprintf(stderr, "ambrel render: %s\n", error.c_str());
        return 1;
    }
    if (showProgress)
        std::fputc('\n', stderr);
    const std::string effectName = host->readText(effGetEffectName).text;
    const VstIntPtr closed = host->close();
    if (!writeAudioFile(outPath, output, error)) {
        std::fprintf(stderr, "ambrel render: %s\n", error.c_str());
        return 1;
    }
    const double peakIn = peakOf(input);
    const double peakOut = peakOf(output);
    auto db = [](double x) { return x > 0.0 ? 20.0 * std::log10(x) : -HUGE_VAL; };
    std::printf("%s: %zu frames at %.0f Hz in blocks of %d (%s), latency %d samples%s\n", effectName.c_str(),
                input.frames(), input.sampleRate, options.blockSize, options.useDouble ? "double" : "float",
                report.latency, options.compensate ? " (compensated)" : "");
    if (!presetTitle.empty())
        std::printf("program \"%s\"\n", presetTitle.c_str());
    std::printf("peak in %.2f dBFS, out %.2f dBFS -> %s\n", db(peakIn), db(peakOut), outPath.c_str());
    if (closed != 1)
        std::fprintf(stderr, "ambrel render: warning: effClose answered %ld, expected 1\n", static_cast<long>(closed));
    if (report.nonFinite) {
        std::fprintf(stderr, "ambrel render: %zu output samples are not finite (NaN or infinity)\n",
                     report.nonFinite);
        return 3;
    }
    return 0;
}

int commandPresets(const std::vector<std::string>& args)
{
    if (args.size() != 1) {
        usage(stderr);
        return 2;
    }
    std::string error;
    std::unique_ptr<PluginHost> host = PluginHost::load(args[0], error);
    if (!host) {
        std::fprintf(stderr, "ambrel presets: %s\n", error.c_str());
        return 1;
    }
    const Variant* variant = variantOf(*host);
    if (!variant) {
        std::fprintf(stderr, "ambrel presets: not a Nur Ambrel plug-in (unique id '%s')\n",
                     fourCharText(host->effect()->uniqueID).c_str());
        return 1;
    }
    std::printf("Factory presets of %s (use the name with render --preset):\n", variant->effectName);
    const std::vector<std::string> names = factoryPresetNames(*variant);
    for (size_t slot = 0; slot < names.size(); ++slot)
        std::printf("  %2zu  %s\n", slot, names[slot].c_str());
    return 0;
}

int commandDemo(const std::vector<std::string>& args)
{
    if (args.size() != 2) {
        usage(stderr);
        return 2;
    }
    return runDemo(args[0], args[1], stdout);
}

// The options of edit and snapshot. Returns an exit code, or -1 to go on.
int parseEditOptions(const std::vector<std::string>& args, const char* command, bool snapshot,
                     std::vector<std::string>& positional, EditOptions& options, ValueOptions& values, int& scale)
{
    for (size_t i = 0; i < args.size(); ++i) {
        std::string value;
        long number = 0;
        if (valueOption(args, i, values, command)) {
            continue;
        } else if (optionValue(args, i, "--idle-ms", value)) {
            if (!parseInt(value, 1, 1000, number)) {
                std::fprintf(stderr, "ambrel %s: bad idle interval '%s' (1 to 1000 ms)\n", command, value.c_str());
                return 2;
            }
            options.idleMs = static_cast<double>(number);
        } else if (optionValue(args, i, "--signal", value)) {
            if (!parseTestSignal(value, options.signal)) {
                std::fprintf(stderr, "ambrel %s: unknown signal '%s' (none, sine, noise or music)\n", command,
                             value.c_str());
                return 2;
            }
        } else if (optionValue(args, i, "--rate", value)) {
            char* end = nullptr;
            options.sampleRate = std::strtod(value.c_str(), &end);
            if (value.empty() || *end != 0 || !(options.sampleRate >= 1000.0 && options.sampleRate <= 768000.0)) {
                std::fprintf(stderr, "ambrel %s: bad sample rate '%s' (1000 to 768000)\n", command, value.c_str());
                return 2;
            }
        } else if (optionValue(args, i, "--scale", value)) {
            if (!parseInt(value, 1, 2, number)) {
                std::fprintf(stderr, "ambrel %s: bad scale '%s' (1 or 2)\n", command, value.c_str());
                return 2;
            }
            scale = static_cast<int>(number);
        } else if (optionValue(args, i, "--after-open", value)) {
            const size_t equals = value.find('=');
            char* end = nullptr;
            const double v = equals == std::string::npos ? -1.0 : std::strtod(value.c_str() + equals + 1, &end);
            if (equals == std::string::npos || !parseInt(value.substr(0, equals), 0, 100000, number) ||
                *end != 0 || !(v >= 0.0 && v <= 1.0)) {
                std::fprintf(stderr, "ambrel %s: bad --after-open '%s' (INDEX=VALUE, VALUE 0 to 1)\n", command,
                             value.c_str());
                return 2;
            }
            options.afterOpen.emplace_back(static_cast<VstInt32>(number), static_cast<float>(v));
        } else if (args[i] == "--verbose") {
            options.verbose = true;
        } else if (!snapshot && args[i] == "--trace-idles") {
            options.traceIdles = true;
        } else if (!snapshot && optionValue(args, i, "--seconds", value)) {
            char* end = nullptr;
            options.seconds = std::strtod(value.c_str(), &end);
            if (value.empty() || *end != 0 || !(options.seconds >= 0.0 && options.seconds <= 1e6)) {
                std::fprintf(stderr, "ambrel %s: bad duration '%s' (seconds, 0 for no limit)\n", command,
                             value.c_str());
                return 2;
            }
        } else if (snapshot && optionValue(args, i, "--idles", value)) {
            if (!parseInt(value, 0, 100000, number)) {
                std::fprintf(stderr, "ambrel %s: bad idle count '%s'\n", command, value.c_str());
                return 2;
            }
            options.idles = static_cast<int>(number);
        } else if (args[i].compare(0, 2, "--") == 0) {
            std::fprintf(stderr, "ambrel %s: unknown option '%s'\n", command, args[i].c_str());
            return 2;
        } else {
            positional.push_back(args[i]);
        }
    }
    if (positional.size() != (snapshot ? 2u : 1u)) {
        usage(stderr);
        return 2;
    }
    return -1;
}

int commandEditor(const std::vector<std::string>& args, bool snapshot)
{
    const char* command = snapshot ? "snapshot" : "edit";
    std::vector<std::string> positional;
    EditOptions options;
    ValueOptions values;
    int scale = 0;
    const int rc = parseEditOptions(args, command, snapshot, positional, options, values, scale);
    if (rc >= 0)
        return rc;
    // The scale is read by the plug-in when its editor is made.
    if (scale != 0)
        toolplatform::setEnvironment("AMBREL_UI_SCALE", std::to_string(scale));
    PluginHost::Options hostOptions;
    hostOptions.editorWindow = true;
    std::string error;
    std::unique_ptr<PluginHost> host = PluginHost::load(positional[0], hostOptions, error);
    if (!host) {
        std::fprintf(stderr, "ambrel %s: %s\n", command, error.c_str());
        return 1;
    }
    std::string presetTitle;
    if (!resolveValues(*host, values, options.parameters, presetTitle, command))
        return 2;
    return snapshot ? runSnapshot(*host, positional[1], options, stdout) : runEdit(*host, options, stdout);
}

int commandValidate(const std::vector<std::string>& args)
{
    std::string plugin;
    ValidateOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string value;
        long number = 0;
        if (args[i] == "--no-editor") {
            options.editor = false;
        } else if (optionValue(args, i, "--cycles", value)) {
            if (!parseInt(value, 1, 100000, number)) {
                std::fprintf(stderr, "ambrel validate: bad cycle count '%s'\n", value.c_str());
                return 2;
            }
            options.loadCycles = static_cast<int>(number);
        } else if (optionValue(args, i, "--seed", value)) {
            if (!parseInt(value, 0, 1000000000, number)) {
                std::fprintf(stderr, "ambrel validate: bad seed '%s'\n", value.c_str());
                return 2;
            }
            options.seed = static_cast<uint32_t>(number);
        } else if (plugin.empty() && args[i].compare(0, 2, "--") != 0) {
            plugin = args[i];
        } else {
            std::fprintf(stderr, "ambrel validate: unexpected argument '%s'\n", args[i].c_str());
            return 2;
        }
    }
    if (plugin.empty()) {
        usage(stderr);
        return 2;
    }
    return runValidate(plugin, options, stdout);
}

} // namespace

int main(int argc, char** argv)
{
    toolplatform::useBinaryOutput(stdout);
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        usage(stderr);
        return 2;
    }
    const std::string command = args.front();
    args.erase(args.begin());
    try {
        if (command == "info")
            return commandInfo(args);
        if (command == "render")
            return commandRender(args);
        if (command == "presets")
            return commandPresets(args);
        if (command == "demo")
            return commandDemo(args);
        if (command == "edit")
            return commandEditor(args, false);
        if (command == "snapshot")
            return commandEditor(args, true);
        if (command == "validate")
            return commandValidate(args);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "ambrel %s: out of memory (is the input file that long?)\n", command.c_str());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ambrel %s: %s\n", command.c_str(), e.what());
        return 1;
    }
    if (command == "help" || command == "--help" || command == "-h") {
        usage(stdout);
        return 0;
    }
    std::fprintf(stderr, "ambrel: unknown command '%s'\n", command.c_str());
    usage(stderr);
    return 2;
}
