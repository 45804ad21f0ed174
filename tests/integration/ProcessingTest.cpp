// Audio through the record's process calls, as a host drives them: the
// properties any correct effect has whatever its settings (block size does
// not matter, both precisions agree, instances do not share state, the
// reported latency is the real one, bad samples do not last).
#include "IntegrationSupport.h"

#include "tools/ambrel/DemoSignal.h"
#include "tools/ambrel/Presets.h"
#include "tools/ambrel/Render.h"

#include <cmath>
#include <limits>

using namespace ambrel;
using namespace ambrel::testing;

namespace {

struct Setting {
    const char* preset;
    std::vector<std::pair<const char*, float>> parameters;
};

const AudioData& programSignal()
{
    static const AudioData signal = synthesizeDemo(44100.0, 1.5);
    return signal;
}

AudioData renderWith(const BuildExpectation& build, const Setting& setting, const AudioData& input, int block,
                     bool useDouble, bool compensate = true, RenderReport* reportOut = nullptr)
{
    auto host = loadOrFail(build.pluginPath);
    AudioData output;
    if (!host)
        return output;
    RenderOptions options;
    options.blockSize = block;
    options.useDouble = useDouble;
    options.compensate = compensate;
    std::string error, title;
    if (setting.preset) {
        PresetChoice choice;
        choice.factoryName = setting.preset;
        EXPECT_TRUE(presetAssignments(*host, choice, options.parameters, title, error)) << error;
    }
    for (const auto& [name, value] : setting.parameters) {
        VstInt32 index = 0;
        if (findParameter(*host, name, index, error))
            options.parameters.emplace_back(index, value);
    }
    RenderReport report;
    EXPECT_TRUE(render(*host, input, output, options, report, error)) << error;
    EXPECT_EQ(report.nonFinite, 0u);
    EXPECT_EQ(host->close(), 1);
    if (reportOut)
        *reportOut = report;
    return output;
}

double maxDifference(const AudioData& a, const AudioData& b)
{
    EXPECT_EQ(a.samples.size(), b.samples.size());
    double worst = 0.0;
    for (size_t i = 0; i < std::min(a.samples.size(), b.samples.size()); ++i)
        worst = std::max(worst, std::fabs(a.samples[i] - b.samples[i]));
    return worst;
}

const std::vector<Setting>& settings()
{
    static const std::vector<Setting> all = {
        {"Default", {}},
        {"Mastering First Aid", {{"FAT", 1.0f}}},
        {"MultiBandCompLim Heavy", {{"Link", 0.0f}}},
        {"Guitar Track", {{"Auto", 1.0f}, {"Long", 1.0f}}},
    };
    return all;
}

class ProcessingTest : public ::testing::TestWithParam<const BuildExpectation*> {};

// The engine works in blocks of its own; how the host cuts the stream moves
// no bit of the output.
TEST_P(ProcessingTest, HostBlockSizeDoesNotChangeTheSound)
{
    for (const Setting& setting : settings()) {
        const AudioData reference = renderWith(*GetParam(), setting, programSignal(), 512, false);
        for (const int block : {1, 37, 64, 4096}) {
            const AudioData other = renderWith(*GetParam(), setting, programSignal(), block, false);
            ASSERT_EQ(reference.samples.size(), other.samples.size());
            size_t differing = 0;
            for (size_t i = 0; i < reference.samples.size(); ++i)
                differing += reference.samples[i] != other.samples[i];
            EXPECT_EQ(differing, 0u) << setting.preset << ", block " << block << ", largest difference "
                                     << maxDifference(reference, other);
        }
    }
}

TEST_P(ProcessingTest, SingleAndDoublePrecisionAgree)
{
    for (const Setting& setting : settings()) {
        const AudioData single = renderWith(*GetParam(), setting, programSignal(), 512, false);
        const AudioData twice = renderWith(*GetParam(), setting, programSignal(), 512, true);
        EXPECT_LE(maxDifference(single, twice), 1e-6) << setting.preset;
    }
}

// Two instances with different settings processed in alternation give each
// the same output as when it runs alone.
TEST_P(ProcessingTest, InstancesDoNotShareState)
{
    const AudioData alone = renderWith(*GetParam(), settings()[1], programSignal(), 256, false, false);

    auto a = loadOrFail(GetParam()->pluginPath);
    auto b = loadOrFail(GetParam()->pluginPath);
    ASSERT_TRUE(a && b);
    std::vector<std::pair<VstInt32, float>> values;
    std::string title, error;
    PresetChoice choice;
    choice.factoryName = settings()[1].preset;
    ASSERT_TRUE(presetAssignments(*a, choice, values, title, error)) << error;
    VstInt32 fat = 0;
    if (findParameter(*a, "FAT", fat, error))
        values.emplace_back(fat, 1.0f);
    for (const auto& [index, value] : values)
        a->setParameter(index, value);
    b->setParameter(1, 1.0f); // the other one multiband, driven hard
    b->setParameter(4, 1.0f);
    for (PluginHost* h : {a.get(), b.get()}) {
        h->setSampleRate(44100.0f);
        h->setBlockSize(256);
        h->resume();
    }

    const AudioData& in = programSignal();
    const size_t frames = in.frames();
    std::vector<float> inL(256), inR(256), noiseL(256), noiseR(256), outL(256), outR(256), junkL(256), junkR(256);
    AudioData together;
    together.samples.assign(frames * 2, 0.0);
    uint32_t seed = 1;
    for (size_t start = 0; start < frames; start += 256) {
        const size_t n = std::min<size_t>(256, frames - start);
        for (size_t i = 0; i < n; ++i) {
            inL[i] = static_cast<float>(in.samples[2 * (start + i)]);
            inR[i] = static_cast<float>(in.samples[2 * (start + i) + 1]);
            seed = seed * 1664525u + 1013904223u;
            noiseL[i] = static_cast<float>(seed >> 8) / 16777216.0f - 0.5f;
            noiseR[i] = -noiseL[i];
        }
        float* bIn[2] = {noiseL.data(), noiseR.data()};
        float* bOut[2] = {junkL.data(), junkR.data()};
        b->processReplacing(bIn, bOut, static_cast<VstInt32>(n));
        float* aIn[2] = {inL.data(), inR.data()};
        float* aOut[2] = {outL.data(), outR.data()};
        a->processReplacing(aIn, aOut, static_cast<VstInt32>(n));
        for (size_t i = 0; i < n; ++i) {
            together.samples[2 * (start + i)] = outL[i];
            together.samples[2 * (start + i) + 1] = outR[i];
        }
    }
    EXPECT_EQ(maxDifference(alone, together), 0.0);
}

// With a single connected input the first input feeds both channels (to
// within the effect's tiny anti-denormal offsets).
TEST_P(ProcessingTest, OneConnectedInputFeedsBothChannels)
{
    PluginHost::Options options;
    options.secondInputConnected = false;
    auto host = loadOrFail(GetParam()->pluginPath, options);
    ASSERT_TRUE(host);
    host->setSampleRate(44100.0f);
    host->resume();
    const size_t n = 4096;
    std::vector<float> left(n), right(n, 0.9f), outL(n), outR(n);
    for (size_t i = 0; i < n; ++i)
        left[i] = 0.5f * static_cast<float>(std::sin(0.05 * static_cast<double>(i)));
    float* in[2] = {left.data(), right.data()};
    float* out[2] = {outL.data(), outR.data()};
    for (int pass = 0; pass < 3; ++pass) {
        host->processReplacing(in, out, static_cast<VstInt32>(n));
        for (size_t i = 0; i < n; ++i)
            ASSERT_NEAR(outL[i], outR[i], 1e-9) << "pass " << pass << " frame " << i;
    }
}

// A burst of NaN and infinite input samples leaves no trace: once the burst
// has passed through the effect's delay, every output sample is finite again.
TEST_P(ProcessingTest, BadInputSamplesDoNotLast)
{
    for (const Setting& setting : settings()) {
        auto host = loadOrFail(GetParam()->pluginPath);
        ASSERT_TRUE(host);
        std::string error, title;
        std::vector<std::pair<VstInt32, float>> values;
        PresetChoice choice;
        choice.factoryName = setting.preset;
        ASSERT_TRUE(presetAssignments(*host, choice, values, title, error)) << error;
        for (const auto& [index, value] : values)
            host->setParameter(index, value);
        host->setSampleRate(44100.0f);
        host->resume();
        const VstInt32 latency = host->effect()->initialDelay;

        const size_t n = 64;
        std::vector<double> l(n), r(n), outL(n), outR(n);
        double* in[2] = {l.data(), r.data()};
        double* out[2] = {outL.data(), outR.data()};
        size_t frame = 0;
        const size_t burstAt = 2048;
        size_t lastBad = 0;
        for (int block = 0; block < 200; ++block) {
            for (size_t i = 0; i < n; ++i, ++frame) {
                const double s = 0.5 * std::sin(0.01 * static_cast<double>(frame));
                l[i] = s;
                r[i] = -s;
                if (frame == burstAt)
                    l[i] = std::numeric_limits<double>::quiet_NaN();
                if (frame == burstAt + 1)
                    r[i] = std::numeric_limits<double>::infinity();
            }
            host->processDoubleReplacing(in, out, static_cast<VstInt32>(n));
            for (size_t i = 0; i < n; ++i)
                if (!std::isfinite(outL[i]) || !std::isfinite(outR[i]))
                    lastBad = frame - n + i;
        }
        // Output frames that can carry the burst: its own, delayed by the
        // latency, and a few blocks of the effect's own look-ahead around it.
        EXPECT_LE(lastBad, burstAt + static_cast<size_t>(latency) + 256) << setting.preset;
    }
}

// Quiet clicks, where the effect works at its small-signal gain: after
// compensating the reported latency each click comes out where it went in.
AudioData clicks(double rate, size_t spacing, size_t count)
{
    AudioData data;
    data.sampleRate = rate;
    data.channels = 2;
    data.samples.assign(spacing * count * 2, 0.0);
    for (size_t k = 1; k < count; ++k) {
        data.samples[2 * k * spacing] = 0.01;
        data.samples[2 * k * spacing + 1] = -0.01;
    }
    return data;
}

// Compensating the reported latency lines the output up with the input, in
// every sample-rate band, with FAT on and off, processing on and off.
TEST_P(ProcessingTest, ReportedLatencyIsTheRealDelay)
{
    const bool hasFat = GetParam()->numParams == 42;
    const size_t spacing = 8192;
    for (const double rate : {44100.0, 96000.0, 192000.0}) {
        const AudioData input = clicks(rate, spacing, 6);
        for (const bool fat : {false, true}) {
            if (fat && !hasFat)
                continue;
            for (const bool process : {false, true}) {
                Setting setting{"Default", {{"Process", process ? 1.0f : 0.0f}, {"FAT", fat ? 1.0f : 0.0f}}};
                RenderReport report;
                const AudioData output = renderWith(*GetParam(), setting, input, 512, false, true, &report);
                const std::string where = std::to_string(static_cast<int>(rate)) + " Hz, FAT " +
                                          (fat ? "on" : "off") + ", Process " + (process ? "on" : "off") +
                                          ", latency " + std::to_string(report.latency);
                ASSERT_EQ(output.frames(), input.frames()) << where;
                for (size_t k = 1; k < 6; ++k) {
                    size_t loudest = 0;
                    double peak = -1.0;
                    for (size_t i = k * spacing - spacing / 2; i < k * spacing + spacing / 2; ++i) {
                        if (std::fabs(output.samples[2 * i]) > peak) {
                            peak = std::fabs(output.samples[2 * i]);
                            loudest = i;
                        }
                    }
                    EXPECT_EQ(static_cast<long>(loudest) - static_cast<long>(k * spacing), 0) << where << ", click " << k;
                }
                if (!process && !(fat && rate <= 100000.0)) {
                    // Bypassed at the host rate: the input itself, delayed exactly.
                    EXPECT_LE(maxDifference(input, output), 1e-9) << where;
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(BothBuilds, ProcessingTest, ::testing::Values(&kAmbrel2, &kAmbrel1), parameterTestName);

} // namespace
