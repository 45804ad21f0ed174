// Rendering a sound through an effect the way a host plays it: sample rate,
// block size and parameters first, then resume, then host blocks of a fixed
// size until the input is used up.
#pragma once

#include "tools/ambrel/AudioFile.h"
#include "tools/ambrel/PluginHost.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace ambrel {

struct RenderOptions {
    int blockSize = 512;
    bool useDouble = false; // processDoubleReplacing instead of processReplacing
    // Remove the reported latency: feed that many extra frames of silence and
    // drop as many from the start of the output, so output lines up with input.
    bool compensate = false;
    std::vector<std::pair<VstInt32, float>> parameters; // set in order before resuming
    std::function<void(double fraction)> progress; // called now and then with 0..1
};

struct RenderReport {
    VstInt32 latency = 0;     // initialDelay after resuming
    size_t nonFinite = 0;     // NaN or infinite output samples
};

constexpr int kMaxBlockSize = 65536;

// Renders mono or stereo `input` (mono is fed to both inputs) into a stereo
// `output` of the same length at the same rate.
bool render(PluginHost& host, const AudioData& input, AudioData& output, const RenderOptions& options,
            RenderReport& report, std::string& error);

// Finds a parameter by index ("4") or by name, ignoring case and the spaces
// around it ("drive" finds " Drive "). Refuses names that several parameters share.
bool findParameter(PluginHost& host, const std::string& nameOrIndex, VstInt32& index, std::string& error);

// A normalized value: a finite number from 0 to 1.
bool parseNormalized(const std::string& text, float& value, std::string& error);

// "NAME=VALUE" through findParameter and parseNormalized.
bool parseParameterAssignment(PluginHost& host, const std::string& text, std::pair<VstInt32, float>& assignment,
                              std::string& error);

// Peak magnitude over all channels (linear).
double peakOf(const AudioData& data);

} // namespace ambrel
