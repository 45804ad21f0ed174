#include "tools/ambrel/Render.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

namespace ambrel {

namespace {

std::string trimmedLower(const std::string& text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin])))
        ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1])))
        --end;
    std::string out = text.substr(begin, end - begin);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

template <typename T>
void runBlocks(PluginHost& host, const AudioData& input, AudioData& output, const RenderOptions& options,
               size_t skip, RenderReport& report)
{
    const size_t inFrames = input.frames();
    const size_t outFrames = output.frames();
    const size_t totalFrames = outFrames + skip; // frames the effect processes
    const size_t block = static_cast<size_t>(options.blockSize);
    const int inChannels = input.channels;

    std::vector<T> in0(block), in1(block), out0(block), out1(block);
    T* inputs[2] = {in0.data(), in1.data()};
    T* outputs[2] = {out0.data(), out1.data()};

    size_t lastStep = 0;
    for (size_t start = 0; start < totalFrames; start += block) {
        const size_t n = std::min(block, totalFrames - start);
        for (size_t i = 0; i < n; ++i) {
            const size_t frame = start + i;
            if (frame < inFrames) {
                const double* s = &input.samples[frame * static_cast<size_t>(inChannels)];
                in0[i] = static_cast<T>(s[0]);
                in1[i] = static_cast<T>(inChannels > 1 ? s[1] : s[0]);
            } else {
                in0[i] = in1[i] = T(0); // the latency's worth of silence after the end
            }
        }
        // Hosts hand the effect stale output buffers; so do we, to catch an
        // effect that reads them.
        std::fill(out0.begin(), out0.begin() + static_cast<std::ptrdiff_t>(n), T(0.25));
        std::fill(out1.begin(), out1.begin() + static_cast<std::ptrdiff_t>(n), T(-0.25));
        if constexpr (std::is_same_v<T, double>)
            host.processDoubleReplacing(inputs, outputs, static_cast<VstInt32>(n));
        else
            host.processReplacing(inputs, outputs, static_cast<VstInt32>(n));
        for (size_t i = 0; i < n; ++i) {
            const size_t frame = start + i;
            if (frame < skip)
                continue;
            const double l = static_cast<double>(out0[i]);
            const double r = static_cast<double>(out1[i]);
            if (!std::isfinite(l))
                ++report.nonFinite;
            if (!std::isfinite(r))
                ++report.nonFinite;
            output.samples[(frame - skip) * 2] = l;
            output.samples[(frame - skip) * 2 + 1] = r;
        }
        if (options.progress) {
            const size_t step = (start + n) * 200 / std::max<size_t>(totalFrames, 1);
            if (step != lastStep) {
                lastStep = step;
                options.progress(static_cast<double>(start + n) / static_cast<double>(totalFrames));
            }
        }
    }
}

} // namespace

bool render(PluginHost& host, const AudioData& input, AudioData& output, const RenderOptions& options,
            RenderReport& report, std::string& error)
{
    if (input.channels < 1 || input.channels > 2) {
        error = "the input has " + std::to_string(input.channels) + " channels; mono or stereo files only";
        return false;
    }
    if (!(input.sampleRate >= 1.0 && input.sampleRate <= 1.0e6)) {
        error = "unusable sample rate " + std::to_string(input.sampleRate);
        return false;
    }
    if (options.blockSize < 1 || options.blockSize > kMaxBlockSize) {
        error = "block size must be 1 to " + std::to_string(kMaxBlockSize);
        return false;
    }
    const AEffect* effect = host.effect();
    if (!effect) {
        error = "no effect";
        return false;
    }
    if (effect->numInputs < 1 || effect->numOutputs < 2) {
        error = "the effect has " + std::to_string(effect->numInputs) + " inputs and " +
                std::to_string(effect->numOutputs) + " outputs; a stereo effect is needed";
        return false;
    }
    const VstInt32 needFlag = options.useDouble ? effFlagsCanDoubleReplacing : effFlagsCanReplacing;
    if (!(effect->flags & needFlag)) {
        error = options.useDouble ? "the effect does not process in double precision"
                                  : "the effect does not offer processReplacing";
        return false;
    }

    host.setSampleRate(static_cast<float>(input.sampleRate));
    host.setBlockSize(options.blockSize);
    for (const auto& [index, value] : options.parameters)
        host.setParameter(index, value);
    host.resume();
    host.dispatch(effStartProcess);

    report = {};
    report.latency = host.effect()->initialDelay;
    if (report.latency < 0) {
        error = "the effect reports a negative latency";
        host.dispatch(effStopProcess);
        host.suspend();
        return false;
    }
    const size_t skip = options.compensate ? static_cast<size_t>(report.latency) : 0;

    output.sampleRate = input.sampleRate;
    output.channels = 2;
    output.samples.assign(input.frames() * 2, 0.0);
    if (options.useDouble)
        runBlocks<double>(host, input, output, options, skip, report);
    else
        runBlocks<float>(host, input, output, options, skip, report);

    host.dispatch(effStopProcess);
    host.suspend();
    return true;
}

bool findParameter(PluginHost& host, const std::string& nameOrIndex, VstInt32& index, std::string& error)
{
    const VstInt32 count = host.effect() ? host.effect()->numParams : 0;
    const bool numeric = !nameOrIndex.empty() && std::all_of(nameOrIndex.begin(), nameOrIndex.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
    });
    if (numeric) {
        const long value = nameOrIndex.size() > 9 ? count : std::strtol(nameOrIndex.c_str(), nullptr, 10);
        if (value >= count) {
            error = "parameter index " + nameOrIndex + " out of range (the effect has " + std::to_string(count) +
                    " parameters)";
            return false;
        }
        index = static_cast<VstInt32>(value);
        return true;
    }
    const std::string wanted = trimmedLower(nameOrIndex);
    std::vector<VstInt32> matches;
    for (VstInt32 i = 0; i < count; ++i)
        if (!wanted.empty() && trimmedLower(host.parameterName(i)) == wanted)
            matches.push_back(i);
    if (matches.empty()) {
        error = "unknown parameter '" + nameOrIndex + "' (see `ambrel info` for the names)";
        return false;
    }
    if (matches.size() > 1) {
        error = "parameter name '" + nameOrIndex + "' is shared by " + std::to_string(matches.size()) +
                " parameters; give the index instead";
        return false;
    }
    index = matches.front();
    return true;
}

bool parseNormalized(const std::string& text, float& value, std::string& error)
{
    const char* begin = text.c_str();
    char* end = nullptr;
    const double v = std::strtod(begin, &end);
    if (text.empty() || end == begin || *end != 0 || std::isspace(static_cast<unsigned char>(text[0]))) {
        error = "'" + text + "' is not a number";
        return false;
    }
    if (!std::isfinite(v) || v < 0.0 || v > 1.0) {
        error = "value " + text + " is outside the normalized range 0 to 1";
        return false;
    }
    value = static_cast<float>(v);
    return true;
}

bool parseParameterAssignment(PluginHost& host, const std::string& text, std::pair<VstInt32, float>& assignment,
                              std::string& error)
{
    const size_t eq = text.rfind('=');
    if (eq == std::string::npos) {
        error = "expected NAME=VALUE, got '" + text + "'";
        return false;
    }
    std::string reason;
    if (!findParameter(host, text.substr(0, eq), assignment.first, error))
        return false;
    if (!parseNormalized(text.substr(eq + 1), assignment.second, reason)) {
        error = "parameter '" + text.substr(0, eq) + "': " + reason;
        return false;
    }
    return true;
}

double peakOf(const AudioData& data)
{
    double peak = 0.0;
    for (const double s : data.samples)
        peak = std::max(peak, std::fabs(s));
    return peak;
}

} // namespace ambrel
