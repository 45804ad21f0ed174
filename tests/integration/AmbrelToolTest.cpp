// The `ambrel` command as a user runs it: what it prints, the files it
// writes, and how it refuses bad input.
#include "IntegrationSupport.h"

#include "presets/FactoryPresets.h"
#include "presets/PresetFiles.h"
#include "tools/ambrel/DemoSignal.h"
#include "tools/ambrel/WavFile.h"

#include <cmath>
#include <cstring>

using namespace ambrel;
using namespace ambrel::testing;
namespace fs = std::filesystem;

namespace {

CommandResult ambrel(const std::string& arguments)
{
    return runCommand(shellQuote(AMBREL_TOOL) + " " + arguments);
}

std::string q(const fs::path& path)
{
    return shellQuote(path.string());
}

AudioData testTone(int channels, double seconds = 0.5, double rate = 48000.0)
{
    AudioData data;
    data.sampleRate = rate;
    data.channels = channels;
    const size_t frames = static_cast<size_t>(seconds * rate);
    data.samples.resize(frames * static_cast<size_t>(channels));
    for (size_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            data.samples[i * static_cast<size_t>(channels) + static_cast<size_t>(c)] =
                0.5 * std::sin(0.03 * static_cast<double>(i) * (c + 1));
    return data;
}

fs::path writeInput(const fs::path& dir, const AudioData& data, const std::string& name = "in.wav")
{
    std::string error;
    EXPECT_TRUE(writeWavFile((dir / name).string(), data, error)) << error;
    return dir / name;
}

AudioData readOutput(const fs::path& path)
{
    AudioData data;
    std::string error;
    EXPECT_TRUE(readWavFile(path.string(), data, error)) << error;
    return data;
}

TEST(AmbrelInfo, TableAndJsonForBothBuilds)
{
    for (const BuildExpectation* build : {&kAmbrel2, &kAmbrel1}) {
        const CommandResult table = ambrel("info " + shellQuote(build->pluginPath));
        ASSERT_EQ(table.exitCode, 0) << table.errors;
        EXPECT_NE(table.output.find(build->productString), std::string::npos);
        EXPECT_NE(table.output.find("0x1011"), std::string::npos);
        EXPECT_NE(table.output.find("effClose                     1"), std::string::npos) << table.output;
        EXPECT_EQ(table.output.find("Warnings"), std::string::npos) << table.output;

        const CommandResult json = ambrel("info --json --rate 96000 " + shellQuote(build->pluginPath));
        ASSERT_EQ(json.exitCode, 0) << json.errors;
        EXPECT_NE(json.output.find("\"sampleRate\": 96000"), std::string::npos);
        EXPECT_NE(json.output.find("\"initialDelay\": " + std::to_string(build->latency96k)), std::string::npos);
        EXPECT_NE(json.output.find("\"numParams\": " + std::to_string(build->numParams)), std::string::npos);
        EXPECT_NE(json.output.find("\"uniqueID\": \"" + std::string(build->uniqueId) + "\""), std::string::npos);
        EXPECT_NE(json.output.find("\"effClose\": 1"), std::string::npos);
        EXPECT_NE(json.output.find("\"warnings\": []"), std::string::npos) << json.output;
    }
}

TEST(AmbrelInfo, ShowsWhatAPresetSets)
{
    const CommandResult json = ambrel("info --json " + shellQuote(kAmbrel2.pluginPath) +
                                      " --preset 'mix finalize 1' --param drive=1");
    ASSERT_EQ(json.exitCode, 0) << json.errors;
    // Drive set last, at the top of its +-24 dB range.
    EXPECT_NE(json.output.find("\"display\": \"24.00\""), std::string::npos) << json.output;
}

TEST(AmbrelInfo, RefusesWhatIsNotAPlugin)
{
    const fs::path dir = workDir("not-a-plugin");
    const CommandResult missing = ambrel("info " + q(dir / "missing.so"));
    EXPECT_NE(missing.exitCode, 0);
    EXPECT_NE(missing.errors.find("cannot load"), std::string::npos) << missing.errors;

    writeInput(dir, testTone(2), "sound.so");
    const CommandResult wrong = ambrel("info " + q(dir / "sound.so"));
    EXPECT_NE(wrong.exitCode, 0);
    EXPECT_NE(wrong.errors.find("cannot load"), std::string::npos) << wrong.errors;

    const CommandResult rate = ambrel("info " + shellQuote(kAmbrel2.pluginPath) + " --rate fast");
    EXPECT_EQ(rate.exitCode, 2);
}

TEST(AmbrelRender, MonoInputComesOutStereoAtTheSameRateAndLength)
{
    const fs::path dir = workDir("render-mono");
    const AudioData mono = testTone(1);
    const fs::path in = writeInput(dir, mono);
    for (const char* extra : {"", " --compensate", " --double --block 100"}) {
        const CommandResult r =
            ambrel("render " + shellQuote(kAmbrel2.pluginPath) + " " + q(in) + " " + q(dir / "out.wav") + extra);
        ASSERT_EQ(r.exitCode, 0) << extra << ": " << r.errors;
        const AudioData out = readOutput(dir / "out.wav");
        EXPECT_EQ(out.channels, 2);
        EXPECT_EQ(out.sampleRate, 48000.0);
        EXPECT_EQ(out.frames(), mono.frames()) << extra;
    }
}

TEST(AmbrelRender, ParametersAndPresetsAreApplied)
{
    const fs::path dir = workDir("render-values");
    const fs::path in = writeInput(dir, testTone(2));
    const std::string plugin = shellQuote(kAmbrel2.pluginPath);
    const CommandResult byName = ambrel("render " + plugin + " " + q(in) + " " + q(dir / "a.wav") +
                                        " --param 'mono stereo=1' --param=drive=0.75 --param 12=0.5");
    EXPECT_EQ(byName.exitCode, 0) << byName.errors;
    const CommandResult preset =
        ambrel("render " + plugin + " " + q(in) + " " + q(dir / "b.wav") + " --preset 'Mix First Aid 2'");
    EXPECT_EQ(preset.exitCode, 0) << preset.errors;
    EXPECT_NE(preset.output.find("Mix First Aid 2"), std::string::npos) << preset.output;
}

TEST(AmbrelRender, PresetAndBankFiles)
{
    const fs::path dir = workDir("render-files");
    const fs::path in = writeInput(dir, testTone(2));
    const FactoryPresetTable table = factoryPresets(variants::kAmbrel2);
    std::vector<CProgram> slots(kFactoryPresetCount, CProgram(variants::kAmbrel2));
    for (int s = 0; s < kFactoryPresetCount; ++s) {
        slots[static_cast<size_t>(s)].setName(table[static_cast<size_t>(s)].name);
        for (int i = 0; i < variants::kAmbrel2.numParams; ++i)
            slots[static_cast<size_t>(s)].setParameter(i, table[static_cast<size_t>(s)].values[static_cast<size_t>(i)]);
    }
    slots[7].setName("My Own Program");
    slots[7].setParameter(4, 1.0f);
    const std::vector<uint8_t> bank = serialiseBank(slots, variants::kAmbrel2);
    const std::vector<uint8_t> preset = serialisePreset(slots[7], variants::kAmbrel2);
    auto save = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
        std::ofstream(dir / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                          static_cast<std::streamsize>(bytes.size()));
        return dir / name;
    };
    const fs::path bankFile = save("set.nub", bank);
    const fs::path presetFile = save("one.nur", preset);
    const std::string plugin = shellQuote(kAmbrel2.pluginPath);

    for (const std::string& choice : {"--bank " + q(bankFile) + " --program 7", "--preset-file " + q(presetFile)}) {
        const CommandResult info = ambrel("info --json " + plugin + " " + choice);
        ASSERT_EQ(info.exitCode, 0) << choice << ": " << info.errors;
        EXPECT_NE(info.output.find("\"display\": \"24.00\""), std::string::npos) << choice;
        const CommandResult r = ambrel("render " + plugin + " " + q(in) + " " + q(dir / "out.wav") + " " + choice);
        EXPECT_EQ(r.exitCode, 0) << r.errors;
        EXPECT_NE(r.output.find("My Own Program"), std::string::npos) << r.output;
    }

    // Values outside 0..1 are clamped as the plug-in clamps them (NaN to 0)
    // or ignored with the global settings, and the tool says how many.
    std::vector<uint8_t> odd = preset;
    const auto put = [&](int index, float value) {
        std::memcpy(odd.data() + kPresetHeaderSize + kPresetNameField + 4 * index, &value, 4);
    };
    put(4, 3.0f);
    put(5, std::nanf(""));
    put(0, -2.0f); // Process, a global setting
    const CommandResult clamped = ambrel("info --json " + plugin + " --preset-file " + q(save("odd.nur", odd)));
    ASSERT_EQ(clamped.exitCode, 0) << clamped.errors;
    EXPECT_NE(clamped.output.find("\"display\": \"24.00\""), std::string::npos);
    EXPECT_NE(clamped.errors.find("odd.nur: 2 values outside 0 to 1 clamped (1 not a number, taken as 0), 1 value "
                                  "outside 0 to 1 ignored with the global settings"),
              std::string::npos)
        << clamped.errors;

    // The wrong kind of file, and a file of no known size.
    const CommandResult kind =
        ambrel("render " + plugin + " " + q(in) + " " + q(dir / "x.wav") + " --preset-file " + q(bankFile));
    EXPECT_NE(kind.exitCode, 0);
    EXPECT_NE(kind.errors.find("Not a preset file"), std::string::npos) << kind.errors;
    EXPECT_FALSE(fs::exists(dir / "x.wav"));
    std::vector<uint8_t> cut(preset.begin(), preset.begin() + 100);
    const fs::path cutFile = save("cut.nur", cut);
    const CommandResult invalid =
        ambrel("render " + plugin + " " + q(in) + " " + q(dir / "x.wav") + " --preset-file " + q(cutFile));
    EXPECT_NE(invalid.exitCode, 0);
    EXPECT_NE(invalid.errors.find("Invalid preset file"), std::string::npos) << invalid.errors;
    const CommandResult program =
        ambrel("render " + plugin + " " + q(in) + " " + q(dir / "x.wav") + " --bank " + q(bankFile) + " --program 31");
    EXPECT_NE(program.exitCode, 0);
    EXPECT_FALSE(fs::exists(dir / "x.wav"));
}

// Every refusal exits non-zero, says why, and writes no output file.
TEST(AmbrelRender, RefusesBadInput)
{
    const fs::path dir = workDir("render-errors");
    const fs::path in = writeInput(dir, testTone(2));
    const fs::path three = writeInput(dir, testTone(3), "three.wav");
    const fs::path garbage = dir / "garbage.wav";
    std::ofstream(garbage, std::ios::binary) << "RIFF\x10\0\0\0WAVEfmt nothing that makes sense";
    const std::string plugin = shellQuote(kAmbrel2.pluginPath);
    const fs::path out = dir / "out.wav";
    const std::string base = "render " + plugin + " " + q(in) + " " + q(out);
    struct Case {
        std::string arguments;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"render " + plugin + " " + q(dir / "missing.wav") + " " + q(out), "cannot read"},
        {"render " + plugin + " " + q(three) + " " + q(out), "mono or stereo"},
        {"render " + plugin + " " + q(garbage) + " " + q(out), "cannot read"},
        {base + " --param nosuch=0.5", "unknown parameter"},
        {base + " --param drive=1.5", "outside the normalized range"},
        {base + " --param drive=-0.1", "outside the normalized range"},
        {base + " --param drive=nan", "outside the normalized range"},
        {base + " --param drive=loud", "not a number"},
        {base + " --param drive=", "not a number"},
        {base + " --param drive", "NAME=VALUE"},
        {base + " --param -=0.5", "give the index"},
        {base + " --param 42=0.5", "out of range"},
        {base + " --block 0", "block size"},
        {base + " --block 70000", "block size"},
        {base + " --block 12x", "block size"},
        {base + " --preset 'No Such Preset'", "no factory preset"},
        {base + " --program 3", "--bank"},
        {base + " --preset Default --preset-file x.nur", "only one"},
        {base + " --wet", "unknown option"},
        {"render " + plugin + " " + q(in), "usage"},
    };
    for (const Case& c : cases) {
        const CommandResult r = ambrel(c.arguments);
        EXPECT_NE(r.exitCode, 0) << c.arguments;
        EXPECT_NE(r.errors.find(c.message), std::string::npos) << c.arguments << "\n" << r.errors;
        EXPECT_FALSE(fs::exists(out)) << c.arguments;
    }

    // An output that cannot be created is an error, not a silent success.
    const CommandResult unwritable = ambrel("render " + plugin + " " + q(in) + " " + q(dir / "no" / "out.wav"));
    EXPECT_NE(unwritable.exitCode, 0);
    EXPECT_NE(unwritable.errors.find("cannot create"), std::string::npos) << unwritable.errors;
}

TEST(AmbrelPresets, ListsTheFactoryPresets)
{
    for (const BuildExpectation* build : {&kAmbrel2, &kAmbrel1}) {
        const CommandResult r = ambrel("presets " + shellQuote(build->pluginPath));
        ASSERT_EQ(r.exitCode, 0) << r.errors;
        EXPECT_NE(r.output.find(build->effectName), std::string::npos);
        EXPECT_NE(r.output.find(" 2  Mastering First Aid"), std::string::npos) << r.output;
        EXPECT_NE(r.output.find("30  "), std::string::npos) << r.output;
    }
}

TEST(AmbrelDemo, WritesEveryRenderAndPrintsTheFigures)
{
    const fs::path dir = workDir("demo") / "nested";
    const CommandResult r = ambrel("demo " + shellQuote(kAmbrel2.pluginPath) + " " + q(dir));
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_NE(r.output.find("latency 639 samples"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("LUFS"), std::string::npos) << r.output;
    const AudioData input = readOutput(dir / "demo-input.wav");
    EXPECT_EQ(input.sampleRate, 44100.0);
    EXPECT_EQ(input.channels, 2);
    // Program-like: peaks just below full scale on the demo's own scale.
    double peak = 0.0;
    for (const double s : input.samples)
        peak = std::max(peak, std::fabs(s));
    EXPECT_NEAR(peak, kDemoPeak, 1e-6);
    int outputs = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().filename() == "demo-input.wav")
            continue;
        const AudioData out = readOutput(entry.path());
        EXPECT_EQ(out.frames(), input.frames()) << entry.path();
        ++outputs;
    }
    EXPECT_EQ(outputs, 5);

    // The build without FAT leaves out the FAT setting.
    const fs::path dir1 = workDir("demo1");
    const CommandResult r1 = ambrel("demo " + shellQuote(kAmbrel1.pluginPath) + " " + q(dir1));
    ASSERT_EQ(r1.exitCode, 0) << r1.errors;
    EXPECT_NE(r1.output.find("latency 127 samples"), std::string::npos) << r1.output;
    EXPECT_FALSE(fs::exists(dir1 / "demo-mastering-first-aid-fat.wav"));
}

} // namespace
