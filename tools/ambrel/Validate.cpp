#include "tools/ambrel/Validate.h"

#include "platform/EditorHostWindow.h"
#include "tools/ambrel/Info.h"
#include "tools/ambrel/PluginHost.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdarg>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <numeric>
#include <random>
#include <thread>
#include <vector>

namespace ambrel {

namespace {

// Buffer sizes for the text requests: what hosts give. The standard allows
// parameter texts 8 characters, but hosts give far more room and effects use
// it; 24 bytes is the least this check assumes. The other limits are the
// standard's, which count characters, so the terminator comes on top.
constexpr size_t kParamTextSize = 24;
constexpr size_t kProgramNameSize = kVstMaxProgNameLen + 1;
constexpr size_t kEffectNameSize = kVstMaxEffectNameLen + 1;
constexpr size_t kVendorSize = kVstMaxVendorStrLen + 1;
constexpr size_t kProductSize = kVstMaxProductStrLen + 1;
// Guard bytes after every buffer the host hands over.
constexpr size_t kCanaryBytes = 64;
constexpr unsigned char kCanaryByte = 0xA5;
constexpr int kCanaryFrames = 16;

constexpr double kRates[] = {22050, 44100, 48000, 88200, 96000, 176400, 192000};
constexpr int kBlocks[] = {1, 2, 3, 16, 64, 100, 256, 512, 1000, 1024, 4096, 8192};
constexpr int kMaxChannels = 64;
constexpr size_t kMaxListed = 8;

// What a check found: failures, each kind counted and shown by its first
// occurrence, and a summary of what was done.
class Findings {
public:
    // Counts one more failure of a kind already found; false for a new kind,
    // which the caller then reports with fail() (so that details are only
    // written out for the first of a kind).
    bool again(const char* kind)
    {
        const auto it = kinds_.find(kind);
        if (it == kinds_.end())
            return false;
        ++it->second.count;
        return true;
    }
    void fail(const std::string& kind, const std::string& detail)
    {
        auto [it, added] = kinds_.try_emplace(kind, Kind{0, detail});
        ++it->second.count;
        if (added)
            order_.push_back(kind);
    }
    bool failed() const { return !order_.empty(); }
    std::vector<std::string> lines() const
    {
        std::vector<std::string> out;
        for (const std::string& kind : order_) {
            const Kind& k = kinds_.at(kind);
            std::string line = kind + ": " + k.first;
            if (k.count > 1)
                line += " (and " + std::to_string(k.count - 1) + " more)";
            out.push_back(line);
        }
        return out;
    }
    std::string summary;
    bool skipped = false;

private:
    struct Kind {
        size_t count;
        std::string first;
    };
    std::map<std::string, Kind> kinds_;
    std::vector<std::string> order_;
};

std::string format(const char* pattern, ...)
{
    char buffer[512];
    va_list args;
    va_start(args, pattern);
    std::vsnprintf(buffer, sizeof(buffer), pattern, args);
    va_end(args);
    return buffer;
}

// The test signal: two tones and some noise at about -6 dBFS, different in
// each channel, or silence.
class Signal {
public:
    explicit Signal(uint32_t seed) : rng_(seed) {}
    double sample(int channel, bool sound)
    {
        if (!sound)
            return 0.0;
        const double t = static_cast<double>(frame_) / 44100.0;
        const double tone = 0.2 * std::sin(2 * kPi * 220.0 * t + channel) + 0.15 * std::sin(2 * kPi * 1375.0 * t);
        return tone + 0.1 * (static_cast<double>(rng_() % 2001) / 1000.0 - 1.0);
    }
    void advance() { ++frame_; }

private:
    static constexpr double kPi = 3.14159265358979323846;
    std::mt19937 rng_;
    long frame_ = 0;
};

// Input and output buffers for one precision, with guard frames after each
// block and a marker in every output frame the effect has to write.
template <typename T> class AudioBuffers {
public:
    AudioBuffers(int inputs, int outputs, int maxFrames)
        : in_(static_cast<size_t>(std::max(inputs, 0))),
          out_(static_cast<size_t>(std::max(outputs, 0))), kept_(in_.size())
    {
        for (auto& channel : in_)
            channel.assign(static_cast<size_t>(maxFrames + kCanaryFrames), T(0));
        for (auto& channel : kept_)
            channel.assign(static_cast<size_t>(maxFrames + kCanaryFrames), T(0));
        for (auto& channel : out_)
            channel.assign(static_cast<size_t>(maxFrames + kCanaryFrames), T(0));
        for (auto& channel : in_)
            inPointers_.push_back(channel.data());
        for (auto& channel : out_)
            outPointers_.push_back(channel.data());
        // Never hand over an empty pointer array.
        inPointers_.push_back(nullptr);
        outPointers_.push_back(nullptr);
    }

    T** inputs() { return inPointers_.data(); }
    T** outputs() { return outPointers_.data(); }

    // Fills the first `frames` input frames from the signal and marks the
    // outputs and the guard frames after them.
    void prepare(int frames, Signal& signal, bool sound)
    {
        const size_t used = static_cast<size_t>(frames + kCanaryFrames);
        for (size_t i = 0; i < static_cast<size_t>(frames); ++i, signal.advance())
            for (size_t c = 0; c < in_.size(); ++c)
                in_[c][i] = static_cast<T>(signal.sample(static_cast<int>(c), sound));
        for (size_t c = 0; c < in_.size(); ++c) {
            std::fill(in_[c].begin() + frames, in_[c].begin() + used, kGuard);
            std::copy(in_[c].begin(), in_[c].begin() + used, kept_[c].begin());
        }
        for (auto& channel : out_) {
            std::fill(channel.begin(), channel.begin() + frames, kUnwritten);
            std::fill(channel.begin() + frames, channel.begin() + used, kGuard);
        }
    }

    // Checks what the effect made of the last `frames` frames.
    void check(int frames, const std::string& where, Findings& findings) const
    {
        for (size_t c = 0; c < out_.size(); ++c) {
            const std::vector<T>& channel = out_[c];
            for (int i = 0; i < frames; ++i) {
                const T x = channel[static_cast<size_t>(i)];
                const char* kind = x == kUnwritten ? "output frames left unwritten"
                                   : std::isnan(x) ? "NaN in the output"
                                   : std::isinf(x) ? "infinity in the output"
                                   : x != 0 && std::fabs(x) < std::numeric_limits<T>::min()
                                       ? "denormal numbers in the output"
                                       : nullptr;
                if (kind && !findings.again(kind))
                    findings.fail(kind, format("%s, output %zu, frame %d (%g)", where.c_str(), c, i,
                                               static_cast<double>(x)));
            }
            for (int i = frames; i < frames + kCanaryFrames; ++i)
                if (!sameBits(channel[static_cast<size_t>(i)], kGuard)) {
                    findings.fail("wrote past the end of an output block",
                                  format("%s, output %zu, %d frames past the block", where.c_str(), c, i - frames + 1));
                    break;
                }
        }
        const size_t used = static_cast<size_t>(frames + kCanaryFrames);
        for (size_t c = 0; c < in_.size(); ++c)
            if (!std::equal(in_[c].begin(), in_[c].begin() + used, kept_[c].begin(),
                            [](T a, T b) { return sameBits(a, b); }))
                findings.fail("changed an input block", format("%s, input %zu", where.c_str(), c));
    }

    // Each output the same buffer as the input of its number, for processing
    // in place.
    void useOutputsAsInputs()
    {
        for (size_t c = 0; c < out_.size() && c < in_.size(); ++c)
            outPointers_[c] = inPointers_[c];
    }
    const std::vector<T>& output(size_t channel) const { return out_[channel]; }
    size_t outputCount() const { return out_.size(); }

private:
    static constexpr T kUnwritten = T(8675309.25);
    static constexpr T kGuard = T(-1234567.5);
    static bool sameBits(T a, T b) { return std::memcmp(&a, &b, sizeof(T)) == 0; }

    std::vector<std::vector<T>> in_, out_, kept_;
    std::vector<T*> inPointers_, outPointers_;
};

template <typename T> void processBlock(PluginHost& host, AudioBuffers<T>& buffers, int frames);
template <> void processBlock<float>(PluginHost& host, AudioBuffers<float>& buffers, int frames)
{
    host.processReplacing(buffers.inputs(), buffers.outputs(), frames);
}
template <> void processBlock<double>(PluginHost& host, AudioBuffers<double>& buffers, int frames)
{
    host.processDoubleReplacing(buffers.inputs(), buffers.outputs(), frames);
}

// Everything a check needs: the plug-in's path, the options and a way to
// load a fresh instance of it.
struct Context {
    std::string path;
    ValidateOptions options;
    PluginHost::Options hostOptions;

    std::unique_ptr<PluginHost> load(Findings& findings) const
    {
        std::string error;
        std::unique_ptr<PluginHost> host = PluginHost::load(path, hostOptions, error);
        if (!host)
            findings.fail("cannot load the plug-in", error);
        return host;
    }
};

int channelsIn(const PluginHost& host)
{
    return std::clamp(host.effect()->numInputs, 0, kMaxChannels);
}
int channelsOut(const PluginHost& host)
{
    return std::clamp(host.effect()->numOutputs, 0, kMaxChannels);
}
bool hasDouble(const PluginHost& host)
{
    return (host.effect()->flags & effFlagsCanDoubleReplacing) && host.effect()->processDoubleReplacing;
}

void start(PluginHost& host, double rate, int block)
{
    host.setSampleRate(static_cast<float>(rate));
    host.setBlockSize(block);
    host.resume();
    host.dispatch(effStartProcess);
}

void stop(PluginHost& host)
{
    host.dispatch(effStopProcess);
    host.suspend();
}

// Runs `frames` frames through the effect in blocks of `block`, sound first
// and silence for the last `silentFrames`, checking every block.
template <typename T>
long runAudio(PluginHost& host, AudioBuffers<T>& buffers, Signal& signal, long frames, int block, long silentFrames,
              const std::string& where, Findings& findings)
{
    long calls = 0;
    for (long done = 0; done < frames; done += block, ++calls) {
        const int n = static_cast<int>(std::min<long>(block, frames - done));
        buffers.prepare(n, signal, done < frames - silentFrames);
        processBlock(host, buffers, n);
        buffers.check(n, where, findings);
    }
    return calls;
}

// One text request through a buffer of `size` bytes followed by guard bytes.
void checkText(PluginHost& host, VstInt32 opcode, VstInt32 index, size_t size, const char* request,
               Findings& findings)
{
    const TextAnswer answer = host.readText(opcode, index, size + kCanaryBytes);
    const std::string where = format("%s %d", request, index);
    if (answer.bytesWritten > size)
        findings.fail("wrote past the host's buffer", format("%s wrote %zu bytes into a buffer of %zu", where.c_str(),
                                                             answer.bytesWritten, size));
    else if (answer.bytesWritten > 0 && answer.text.size() >= size)
        findings.fail("text without terminator", format("%s: no terminator within %zu bytes", where.c_str(), size));
}

// A record the effect fills in (pin or parameter properties), cleared as
// hosts clear it and followed by guard bytes; false when the effect answered
// 0 or left it alone.
template <typename Record>
bool readRecord(PluginHost& host, VstInt32 opcode, VstInt32 index, const char* request, Record& record,
                Findings& findings)
{
    std::vector<unsigned char> buffer(sizeof(Record) + kCanaryBytes, kCanaryByte);
    std::fill(buffer.begin(), buffer.begin() + sizeof(Record), 0);
    const VstIntPtr answer = host.dispatch(opcode, index, 0, buffer.data());
    if (std::any_of(buffer.begin() + sizeof(Record), buffer.end(), [](unsigned char b) { return b != kCanaryByte; }))
        findings.fail("wrote past the host's buffer", format("%s %d wrote past the record", request, index));
    std::memcpy(&record, buffer.data(), sizeof(Record));
    return answer != 0 &&
           std::any_of(buffer.begin(), buffer.begin() + sizeof(Record), [](unsigned char b) { return b != 0; });
}

void checkField(const char* field, size_t size, const std::string& where, const char* name, Findings& findings)
{
    if (!std::memchr(field, 0, size))
        findings.fail("text without terminator", format("%s: %s has no terminator within %zu bytes", where.c_str(),
                                                        name, size));
}

// ------------------------------------------------------------------ checks

void checkRecord(const Context& context, Findings& findings)
{
    std::string error;
    bool effectWasNull = false;
    std::unique_ptr<PluginHost> host = PluginHost::load(context.path, context.hostOptions, error, &effectWasNull);
    if (!host) {
        findings.fail("cannot load the plug-in", error);
        return;
    }
    const AEffect& e = *host->effect();
    if (!e.dispatcher || !e.getParameter || !e.setParameter)
        findings.fail("incomplete effect record", "the dispatcher or a parameter function is missing");
    if (!e.processReplacing || !(e.flags & effFlagsCanReplacing))
        findings.fail("incomplete effect record", "no processReplacing, which VST 2.4 hosts require");
    if ((e.flags & effFlagsCanDoubleReplacing) && !e.processDoubleReplacing)
        findings.fail("incomplete effect record", "double precision is declared but processDoubleReplacing is missing");
    if (e.numInputs < 0 || e.numInputs > kMaxChannels || e.numOutputs < 0 || e.numOutputs > kMaxChannels)
        findings.fail("implausible channel count", format("%d inputs, %d outputs", e.numInputs, e.numOutputs));
    if (e.numParams < 0 || e.numParams > 100000 || e.numPrograms < 0 || e.numPrograms > 100000)
        findings.fail("implausible count", format("%d parameters, %d programs", e.numParams, e.numPrograms));
    if (e.initialDelay < 0)
        findings.fail("negative latency", format("initialDelay %d", e.initialDelay));
    if (e.uniqueID == 0)
        findings.fail("no unique id", "hosts tell plug-ins and their saved state apart by it");

    const std::string name = host->readText(effGetEffectName, 0, 256).text;
    const std::string vendor = host->readText(effGetVendorString, 0, 256).text;
    const VstIntPtr version = host->dispatch(effGetVstVersion);
    findings.summary = format("\"%s\" by %s, id '%s', %d parameters, %d programs, %d in / %d out, %s%s, VST %ld, "
                              "entry %s",
                              name.c_str(), vendor.empty() ? "?" : vendor.c_str(), fourCharText(e.uniqueID).c_str(),
                              e.numParams, e.numPrograms, e.numInputs, e.numOutputs,
                              (e.flags & effFlagsHasEditor) ? "editor" : "no editor",
                              (e.flags & effFlagsCanDoubleReplacing) ? ", double precision" : "",
                              static_cast<long>(version), host->entryName().c_str());
}

void checkTexts(const Context& context, Findings& findings)
{
    std::unique_ptr<PluginHost> host = context.load(findings);
    if (!host)
        return;
    long requests = 0;
    const auto text = [&](VstInt32 opcode, VstInt32 index, size_t size, const char* request) {
        checkText(*host, opcode, index, size, request, findings);
        ++requests;
    };
    text(effGetEffectName, 0, kEffectNameSize, "effGetEffectName");
    text(effGetVendorString, 0, kVendorSize, "effGetVendorString");
    text(effGetProductString, 0, kProductSize, "effGetProductString");

    const AEffect& e = *host->effect();
    for (VstInt32 p = 0; p < e.numPrograms; ++p) {
        text(effGetProgramNameIndexed, p, kProgramNameSize, "effGetProgramNameIndexed");
        host->dispatch(effSetProgram, 0, p);
        text(effGetProgramName, p, kProgramNameSize, "effGetProgramName after effSetProgram");
    }
    if (e.numPrograms > 0)
        host->dispatch(effSetProgram, 0, 0);

    for (VstInt32 i = 0; i < e.numParams; ++i) {
        text(effGetParamName, i, kParamTextSize, "effGetParamName");
        text(effGetParamLabel, i, kParamTextSize, "effGetParamLabel");
        const float kept = host->getParameter(i);
        for (const float value : {0.0f, 0.25f, 0.5f, 0.75f, 1.0f, kept}) {
            host->setParameter(i, value);
            text(effGetParamDisplay, i, kParamTextSize, "effGetParamDisplay");
        }
        VstParameterProperties properties;
        if (readRecord(*host, effGetParameterProperties, i, "effGetParameterProperties", properties, findings)) {
            const std::string where = format("effGetParameterProperties %d", i);
            checkField(properties.label, sizeof(properties.label), where, "label", findings);
            checkField(properties.shortLabel, sizeof(properties.shortLabel), where, "shortLabel", findings);
            if (properties.flags & kVstParameterSupportsDisplayCategory)
                checkField(properties.categoryLabel, sizeof(properties.categoryLabel), where, "categoryLabel",
                           findings);
        }
        ++requests;
    }
    for (const bool input : {true, false}) {
        const VstInt32 count = input ? e.numInputs : e.numOutputs;
        const char* request = input ? "effGetInputProperties" : "effGetOutputProperties";
        for (VstInt32 i = 0; i < std::min(count, kMaxChannels); ++i) {
            VstPinProperties pin;
            if (readRecord(*host, input ? effGetInputProperties : effGetOutputProperties, i, request, pin,
                           findings)) {
                const std::string where = format("%s %d", request, i);
                checkField(pin.label, sizeof(pin.label), where, "label", findings);
                checkField(pin.shortLabel, sizeof(pin.shortLabel), where, "shortLabel", findings);
            }
            ++requests;
        }
    }
    findings.summary = format("%ld requests on every index with the buffers hosts give (parameter texts %zu bytes, "
                              "program names %zu, effect name %zu, vendor and product %zu) and %zu guard bytes",
                              requests, kParamTextSize, kProgramNameSize, kEffectNameSize, kProductSize,
                              kCanaryBytes);
}

template <typename T>
long processingRuns(PluginHost& host, Signal& signal, Findings& findings, const char* precision)
{
    long calls = 0;
    AudioBuffers<T> buffers(channelsIn(host), channelsOut(host), 8192 * 2);
    for (const double rate : kRates) {
        for (const int block : kBlocks) {
            start(host, rate, block);
            const long frames = std::max<long>(4L * block, static_cast<long>(rate / 20));
            const std::string where = format("%.0f Hz, blocks of %d, %s", rate, block, precision);
            calls += runAudio(host, buffers, signal, frames, block, frames / 2, where, findings);
            stop(host);
        }
    }
    // Hosts do not always keep to the block size they announced.
    for (const auto& [announced, block] : {std::pair{64, 4096}, std::pair{512, 8192}, std::pair{8192, 16384}}) {
        start(host, 44100, announced);
        const std::string where = format("44100 Hz, blocks of %d after announcing %d, %s", block, announced, precision);
        calls += runAudio(host, buffers, signal, 4L * block, block, block, where, findings);
        stop(host);
    }
    // A long silence after sound is where decaying states turn denormal.
    start(host, 44100, 512);
    calls += runAudio(host, buffers, signal, 44100L * 30, 512, 44100L * 29,
                      format("44100 Hz, 29 s of silence after sound, %s", precision), findings);
    stop(host);
    return calls;
}

void checkProcessing(const Context& context, Findings& findings)
{
    std::unique_ptr<PluginHost> host = context.load(findings);
    if (!host)
        return;
    Signal signal(context.options.seed);
    long calls = processingRuns<float>(*host, signal, findings, "float");
    if (hasDouble(*host))
        calls += processingRuns<double>(*host, signal, findings, "double");

    // Some hosts hand the same buffers in and out.
    AudioBuffers<float> shared(channelsIn(*host), channelsOut(*host), 512);
    shared.useOutputsAsInputs();
    start(*host, 44100, 512);
    for (int i = 0; i < 40; ++i, ++calls) {
        shared.prepare(512, signal, true);
        processBlock(*host, shared, 512);
    }
    stop(*host);
    findings.summary = format("%zu rates from 22050 to 192000 Hz x %zu block sizes from 1 to 8192 frames, blocks up "
                              "to 64 times the announced size, 29 s of silence, in place; %s; %ld calls",
                              std::size(kRates), std::size(kBlocks),
                              hasDouble(*host) ? "float and double" : "float (no double precision)", calls);
}

void checkAutomation(const Context& context, Findings& findings)
{
    std::unique_ptr<PluginHost> host = context.load(findings);
    if (!host)
        return;
    constexpr int kSubBlock = 32, kSteps = 16;
    Signal signal(context.options.seed);
    AudioBuffers<float> buffers(channelsIn(*host), channelsOut(*host), kSubBlock);
    start(*host, 44100, kSubBlock * kSteps);
    const VstInt32 count = host->effect()->numParams;
    for (VstInt32 i = 0; i < count; ++i) {
        const float kept = host->getParameter(i);
        for (int step = 0; step < 3 * kSteps; ++step) {
            // Up from 0 to 1, down again, then back to where it was.
            const float ramp = static_cast<float>(step % kSteps) / (kSteps - 1);
            const float value = step < kSteps ? ramp : step < 2 * kSteps ? 1.0f - ramp : kept;
            host->setParameter(i, value);
            buffers.prepare(kSubBlock, signal, true);
            processBlock(*host, buffers, kSubBlock);
            buffers.check(kSubBlock, format("parameter %d ramped, at %g", i, static_cast<double>(value)), findings);
        }
    }
    stop(*host);
    findings.summary = format("%d parameters ramped up and down in %d sub-blocks of %d frames each", count,
                              3 * kSteps, kSubBlock);
}

void checkParameterValues(const Context& context, Findings& findings)
{
    std::unique_ptr<PluginHost> host = context.load(findings);
    if (!host)
        return;
    const VstInt32 count = host->effect()->numParams;
    std::mt19937 rng(context.options.seed);
    std::uniform_real_distribution<float> uniform(0.0f, 1.0f);
    const float extremes[] = {0.0f, 1.0f, 1e-7f, std::nextafter(1.0f, 0.0f), 0.5f};
    Signal signal(context.options.seed);
    AudioBuffers<float> floats(channelsIn(*host), channelsOut(*host), 512);
    AudioBuffers<double> doubles(channelsIn(*host), channelsOut(*host), 512);
    const bool withDouble = hasDouble(*host);
    start(*host, 44100, 512);

    constexpr int kRounds = 20;
    std::vector<VstInt32> order(static_cast<size_t>(count));
    std::iota(order.begin(), order.end(), 0);
    long sets = 0;
    for (int round = 0; round < kRounds; ++round) {
        std::shuffle(order.begin(), order.end(), rng);
        for (size_t k = 0; k < order.size(); ++k) {
            const VstInt32 i = order[k];
            const float value = rng() % 3 == 0 ? extremes[rng() % std::size(extremes)] : uniform(rng);
            host->setParameter(i, value);
            ++sets;
            if (k % 4 == 3 || k + 1 == order.size()) {
                const std::string where = format("round %d, after parameter %d set to %g", round, i,
                                                 static_cast<double>(value));
                if (withDouble && round % 2)
                    runAudio(*host, doubles, signal, 64, 64, 0, where + ", double", findings);
                else
                    runAudio(*host, floats, signal, 64, 64, 0, where, findings);
            }
        }
        for (VstInt32 i = 0; i < count; ++i) {
            const float v = host->getParameter(i);
            if (!(v >= 0.0f && v <= 1.0f))
                findings.fail("getParameter outside 0 to 1",
                              format("parameter %d reads %g", i, static_cast<double>(v)));
            checkText(*host, effGetParamDisplay, i, kParamTextSize, "effGetParamDisplay", findings);
        }
    }
    // Every parameter at one end of its range together, with sound and after it.
    for (const float value : {0.0f, 1.0f}) {
        for (VstInt32 i = 0; i < count; ++i)
            host->setParameter(i, value);
        const std::string where = format("every parameter at %g", static_cast<double>(value));
        runAudio(*host, floats, signal, 44100, 512, 22050, where, findings);
        if (withDouble)
            runAudio(*host, doubles, signal, 44100, 512, 22050, where + ", double", findings);
    }
    stop(*host);
    findings.summary = format("%ld random and extreme values on %d parameters in %d rounds with processing between "
                              "them, values and displays read back; every parameter at 0 and at 1",
                              sets, count, kRounds);
}

std::vector<float> parameterValues(PluginHost& host)
{
    std::vector<float> values(static_cast<size_t>(host.effect()->numParams));
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = host.getParameter(static_cast<VstInt32>(i));
    return values;
}

void compareValues(const std::vector<float>& stored, const std::vector<float>& restored, const char* kind,
                   Findings& findings)
{
    for (size_t i = 0; i < stored.size() && i < restored.size(); ++i)
        if (!(std::fabs(stored[i] - restored[i]) <= 1e-6f))
            findings.fail(kind, format("parameter %zu: stored %g, restored %g", i, static_cast<double>(stored[i]),
                                       static_cast<double>(restored[i])));
}

void checkStateRestore(const Context& context, Findings& findings)
{
    std::unique_ptr<PluginHost> first = context.load(findings);
    std::unique_ptr<PluginHost> second = context.load(findings);
    if (!first || !second)
        return;
    // The user's session: every parameter changed a few times, in no order.
    std::mt19937 rng(context.options.seed + 1);
    std::uniform_real_distribution<float> uniform(0.0f, 1.0f);
    const VstInt32 count = first->effect()->numParams;
    std::vector<VstInt32> order(static_cast<size_t>(count));
    std::iota(order.begin(), order.end(), 0);
    for (int pass = 0; pass < 3; ++pass) {
        std::shuffle(order.begin(), order.end(), rng);
        for (const VstInt32 i : order)
            first->setParameter(i, uniform(rng));
    }
    const std::vector<float> stored = parameterValues(*first);

    // A host stores the values and sets them again in index order: on a new
    // instance when a project is opened, on the same one for undo.
    for (size_t i = 0; i < stored.size(); ++i)
        second->setParameter(static_cast<VstInt32>(i), stored[i]);
    compareValues(stored, parameterValues(*second), "a new instance restores other values", findings);

    const bool chunks = first->effect()->flags & effFlagsProgramChunks;
    if (chunks) {
        void* data = nullptr;
        const VstIntPtr size = first->dispatch(effGetChunk, 0, 0, &data);
        if (size <= 0 || !data) {
            findings.fail("no chunk", "the effect declares chunks but effGetChunk gives none");
        } else {
            const std::vector<unsigned char> chunk(static_cast<unsigned char*>(data),
                                                   static_cast<unsigned char*>(data) + size);
            second->dispatch(effSetChunk, 0, size, const_cast<unsigned char*>(chunk.data()));
            compareValues(stored, parameterValues(*second), "a chunk restores other values", findings);
        }
    }

    // None has processed anything yet: the same settings must give the same
    // sound, or part of the state lies outside the parameters. A third
    // instance restored like the second tells whether the plug-in gives the
    // same output for the same settings at all (noise, or state shared
    // between instances, would make them differ); if not, the sound proves
    // nothing either way.
    std::unique_ptr<PluginHost> third = context.load(findings);
    if (!third)
        return;
    for (size_t i = 0; i < stored.size(); ++i)
        third->setParameter(static_cast<VstInt32>(i), stored[i]);
    std::vector<std::unique_ptr<AudioBuffers<float>>> buffers;
    std::vector<Signal> signals;
    for (PluginHost* host : {first.get(), second.get(), third.get()}) {
        start(*host, 44100, 512);
        buffers.push_back(std::make_unique<AudioBuffers<float>>(channelsIn(*host), channelsOut(*host), 512));
        signals.emplace_back(context.options.seed + 2);
    }
    double restoredDiffers = 0.0, alikeDiffer = 0.0;
    for (int block = 0; block < 86; ++block) { // 1 s
        for (size_t k = 0; k < 3; ++k) {
            buffers[k]->prepare(512, signals[k], true);
            processBlock(k == 0 ? *first : k == 1 ? *second : *third, *buffers[k], 512);
        }
        for (size_t c = 0; c < buffers[0]->outputCount(); ++c)
            for (size_t f = 0; f < 512; ++f) {
                const double a = buffers[0]->output(c)[f], b = buffers[1]->output(c)[f], d = buffers[2]->output(c)[f];
                restoredDiffers = std::max(restoredDiffers, std::fabs(a - b));
                alikeDiffer = std::max(alikeDiffer, std::fabs(b - d));
            }
    }
    const bool deterministic = alikeDiffer <= 1e-6;
    if (deterministic && !(restoredDiffers <= 1e-6))
        findings.fail("the restored instance sounds different",
                      format("largest difference %g in 1 s", restoredDiffers));
    for (PluginHost* host : {first.get(), second.get(), third.get()})
        stop(*host);

    for (size_t i = 0; i < stored.size(); ++i)
        first->setParameter(static_cast<VstInt32>(i), stored[i]);
    compareValues(stored, parameterValues(*first), "setting the stored values again changes them", findings);
    findings.summary = format("%zu values set three times in random order, read back and set in index order on a "
                              "new instance%s and on the same one; %s",
                              stored.size(), chunks ? " (and through a chunk)" : "",
                              deterministic ? "the sound of the new instance compared with the first's"
                                            : "the sound is not compared: two instances set up alike sound "
                                              "different (noise, or state shared between instances)");
}

void checkLifecycle(const Context& context, Findings& findings)
{
    std::unique_ptr<PluginHost> host = context.load(findings);
    if (!host)
        return;
    Signal signal(context.options.seed);
    AudioBuffers<float> buffers(channelsIn(*host), channelsOut(*host), 1024);
    AudioBuffers<double> doubles(channelsIn(*host), channelsOut(*host), 1024);
    int steps = 0;
    const auto run = [&](const std::string& what, int block = 512) {
        runAudio(*host, buffers, signal, 4096, block, 1024, what, findings);
        if (hasDouble(*host))
            runAudio(*host, doubles, signal, 2048, block, 0, what + ", double", findings);
        const VstInt32 latency = host->effect()->initialDelay;
        if (latency < 0)
            findings.fail("negative latency", format("%s: initialDelay %d", what.c_str(), latency));
        ++steps;
    };
    start(*host, 44100, 512);
    run("started at 44100 Hz");
    host->suspend();
    host->setSampleRate(96000);
    host->resume();
    run("suspended, 96000 Hz, resumed");
    host->setSampleRate(48000);
    run("48000 Hz while resumed");
    host->resume();
    run("resumed twice");
    host->setBlockSize(1024);
    run("block size 1024 while resumed", 1024);
    host->dispatch(effStopProcess);
    host->suspend();
    host->suspend();
    host->resume();
    host->dispatch(effStartProcess);
    run("suspended twice, resumed");
    for (const double rate : {22050.0, 192000.0, 44100.0}) {
        host->dispatch(effStopProcess);
        host->suspend();
        host->setSampleRate(static_cast<float>(rate));
        host->resume();
        host->dispatch(effStartProcess);
        run(format("restarted at %.0f Hz", rate));
    }
    host->dispatch(effStopProcess);
    host->resume();
    run("processing after effStopProcess");
    stop(*host);
    findings.summary = format("%d changes of state between process calls: suspend and resume, twice in a row, "
                              "rates and block sizes changed while resumed and while suspended, "
                              "start and stop of processing",
                              steps);
}

// The editor in a window of the host's; false when it did not open.
class EditorWindow {
public:
    EditorWindow(PluginHost& host, std::string& error, bool& noWindowSystem) : host_(host)
    {
        ERect* rect = nullptr;
        host.dispatch(effEditGetRect, 0, 0, &rect);
        int width = rect ? rect->right - rect->left : 0;
        int height = rect ? rect->bottom - rect->top : 0;
        if (width <= 0 || height <= 0 || width > 8192 || height > 8192)
            width = 400, height = 300; // the rectangle may be known only after opening
        bool noDisplay = false;
        window_ = toolplatform::EditorHostWindow::create("ambrel validate", width, height, error, &noDisplay);
        noWindowSystem = !window_;
        if (!window_)
            return;
        opened_ = host.dispatch(effEditOpen, 0, 0, window_->parentHandle()) != 0;
        if (!opened_)
            error = "effEditOpen answered 0";
    }
    ~EditorWindow() { close(); }
    bool opened() const { return opened_; }
    void idle(int times, int sleepMs = 0)
    {
        for (int i = 0; i < times && window_; ++i) {
            window_->processEvents();
            host_.dispatch(effEditIdle);
            if (sleepMs)
                toolplatform::sleepMilliseconds(sleepMs);
        }
    }
    void close()
    {
        if (opened_)
            host_.dispatch(effEditClose);
        opened_ = false;
        window_.reset();
    }

private:
    PluginHost& host_;
    std::unique_ptr<toolplatform::EditorHostWindow> window_;
    bool opened_ = false;
};

void checkEditor(const Context& context, Findings& findings)
{
    std::unique_ptr<PluginHost> host = context.load(findings);
    if (!host)
        return;
    if (!(host->effect()->flags & effFlagsHasEditor)) {
        findings.skipped = true;
        findings.summary = "the plug-in has no editor";
        return;
    }
    if (!context.options.editor) {
        findings.skipped = true;
        findings.summary = "not asked for (--no-editor)";
        return;
    }
    std::string error;
    // A host's own window stays open while editors come and go (an X server
    // left without clients resets and refuses the next one for a moment). It
    // is made before the effect is asked anything about its editor: some
    // editors cannot even answer for their rectangle without a display.
    bool noDisplay = false;
    const std::unique_ptr<toolplatform::EditorHostWindow> hostWindow =
        toolplatform::EditorHostWindow::create("ambrel validate", 200, 100, error, &noDisplay);
    if (!hostWindow) {
        findings.skipped = true;
        findings.summary = "no window system (" + error + ")";
        return;
    }
    int opened = 0;
    const auto openIdleClose = [&](const std::string& when, int idles, int sleepMs) {
        bool noWindowSystem = false;
        EditorWindow editor(*host, error, noWindowSystem);
        if (noWindowSystem) {
            findings.fail("the host window could not be made", when + ": " + error);
            return;
        }
        if (!editor.opened()) {
            findings.fail("the editor did not open", when + ": " + error);
            return;
        }
        ++opened;
        editor.idle(idles, sleepMs);
        editor.close();
        hostWindow->processEvents();
        host->dispatch(effEditIdle); // hosts may idle once more after closing
    };
    // As hosts do, the effect is set up and resumed before its editor is
    // first shown; cold is the first opening of a fresh instance.
    start(*host, 44100, 512);
    openIdleClose("cold, the first opening", 10, 10);
    openIdleClose("warm, opened a second time", 10, 10);

    // The host's audio thread processes and automates while the window
    // thread opens, idles and closes the editor.
    std::atomic<bool> running{true};
    Findings audioFindings;
    std::thread audio([&] {
        Signal signal(context.options.seed);
        AudioBuffers<float> buffers(channelsIn(*host), channelsOut(*host), 512);
        const VstInt32 count = host->effect()->numParams;
        for (long block = 0; running.load(); ++block) {
            if (count > 0)
                host->setParameter(static_cast<VstInt32>(block % count),
                                   static_cast<float>(block % 17) / 16.0f);
            runAudio(*host, buffers, signal, 512, 512, 0, "while the editor was open", audioFindings);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    openIdleClose("while processing", 40, 10);
    for (int i = 0; i < 20; ++i)
        openIdleClose(format("opening %d of 20 in a row, while processing", i + 1), 3, 5);
    running = false;
    audio.join();
    stop(*host);
    for (const std::string& line : audioFindings.lines())
        findings.fail("audio while the editor was open", line);
    findings.summary =
        format("opened %d times: cold, warm, while processing and automating, 20 times in a row", opened);
}

void checkLoadCycles(const Context& context, Findings& findings)
{
    Signal signal(context.options.seed);
    VstInt32 uniqueId = 0, params = -1;
    const int cycles = context.options.loadCycles;
    const auto started = std::chrono::steady_clock::now();
    for (int cycle = 0; cycle < cycles; ++cycle) {
        std::unique_ptr<PluginHost> host = context.load(findings);
        if (!host)
            return;
        if (cycle == 0) {
            uniqueId = host->effect()->uniqueID;
            params = host->effect()->numParams;
        } else if (host->effect()->uniqueID != uniqueId || host->effect()->numParams != params) {
            findings.fail("the effect record changed between loads", format("load %d", cycle + 1));
        }
        AudioBuffers<float> buffers(channelsIn(*host), channelsOut(*host), 512);
        start(*host, 44100, 512);
        runAudio(*host, buffers, signal, 1024, 512, 0, format("load %d", cycle + 1), findings);
        stop(*host);
        const VstIntPtr closed = host->close();
        if (closed != 1 && cycle == 0)
            findings.summary = format("(effClose answers %ld) ", static_cast<long>(closed));
    } // the library is unloaded here
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    findings.summary += format("%d times loaded, started, run, stopped, closed and unloaded in %.1f s", cycles,
                               seconds);
}

// ------------------------------------------------------------------ runner

struct Check {
    const char* name;
    void (*run)(const Context&, Findings&);
};

const Check kChecks[] = {
    {"entry point and effect record", checkRecord},
    {"text requests", checkTexts},
    {"processing", checkProcessing},
    {"automation in 32-frame sub-blocks", checkAutomation},
    {"random and extreme parameter values", checkParameterValues},
    {"state restored through the parameters", checkStateRestore},
    {"suspend, resume and rate changes", checkLifecycle},
    {"editor", checkEditor},
    {"load and unload", checkLoadCycles},
};

// The check under way, for the messages of a crash or a hang.
std::atomic<const char*> currentCheck{nullptr};
std::FILE* report = nullptr;

[[maybe_unused]] void onCrash(int signal)
{
    const char* name = currentCheck.load();
    std::fprintf(report, "FAIL  %s: the plug-in crashed (signal %d)\n", name ? name : "?", signal);
    std::fflush(report);
    std::_Exit(1);
}

// While it lives, a crash of the plug-in ends the program with a line that
// names the check under way. Under a sanitizer, which reports crashes
// better, it does nothing.
class CrashReport {
public:
    CrashReport()
    {
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
        for (size_t i = 0; i < std::size(kSignals); ++i)
            previous_[i] = std::signal(kSignals[i], onCrash);
#endif
    }
    ~CrashReport()
    {
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
        for (size_t i = 0; i < std::size(kSignals); ++i)
            std::signal(kSignals[i], previous_[i]);
#endif
    }
    CrashReport(const CrashReport&) = delete;
    CrashReport& operator=(const CrashReport&) = delete;

private:
    static constexpr int kSignals[] = {SIGSEGV, SIGILL, SIGFPE, SIGABRT};
    void (*previous_[std::size(kSignals)])(int) = {};
};

// Ends the program when one check takes longer than `seconds`.
class Watchdog {
public:
    explicit Watchdog(int seconds) : seconds_(seconds), thread_([this] { watch(); }) {}
    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    void restart()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        deadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(seconds_);
    }

private:
    void watch()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        deadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(seconds_);
        while (!done_) {
            if (wake_.wait_until(lock, deadline_) == std::cv_status::timeout && !done_ &&
                std::chrono::steady_clock::now() >= deadline_) {
                const char* name = currentCheck.load();
                std::fprintf(report, "FAIL  %s: no answer for %d s (the plug-in hangs)\n", name ? name : "?",
                             seconds_);
                std::fflush(report);
                std::_Exit(1);
            }
        }
    }

    int seconds_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::chrono::steady_clock::time_point deadline_;
    bool done_ = false;
    std::thread thread_;
};

} // namespace

int runValidate(const std::string& path, const ValidateOptions& options, std::FILE* out)
{
    Context context{path, options, {}};
    context.hostOptions.editorWindow = true;
    report = out;
    const CrashReport crashReport;
    std::fprintf(out, "Validating %s\n", path.c_str());
    std::fflush(out);
    Watchdog watchdog(options.hangSeconds);
    int passed = 0, failed = 0, skipped = 0;
    bool loadable = true;
    for (const Check& check : kChecks) {
        Findings findings;
        currentCheck = check.name;
        watchdog.restart();
        const auto started = std::chrono::steady_clock::now();
        if (loadable)
            check.run(context, findings);
        else {
            findings.skipped = true;
            findings.summary = "the plug-in does not load";
        }
        const char* status = findings.failed() ? "FAIL" : findings.skipped ? "SKIP" : "PASS";
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::fprintf(out, "%s  %s (%.1f s): %s\n", status, check.name, seconds, findings.summary.c_str());
        const std::vector<std::string> lines = findings.lines();
        for (size_t i = 0; i < lines.size() && i < kMaxListed; ++i)
            std::fprintf(out, "        %s\n", lines[i].c_str());
        std::fflush(out);
        if (findings.failed())
            ++failed;
        else if (findings.skipped)
            ++skipped;
        else
            ++passed;
        if (check.run == checkRecord && findings.failed() && findings.summary.empty())
            loadable = false;
    }
    currentCheck = nullptr;
    std::fprintf(out, "%d passed, %d failed, %d skipped\n", passed, failed, skipped);
    std::fflush(out);
    return failed ? 1 : 0;
}

} // namespace ambrel
