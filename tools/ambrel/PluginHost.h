// A minimal VST 2.4 host: loads a plug-in library, creates the effect through
// its exported entry point and drives it only through the effect record, the
// way a digital audio workstation does. It answers the effect's callbacks and
// keeps a log of them (automation, edit brackets, display updates).
#pragma once

#include "host/vst2abi.h"
#include "platform/ToolPlatform.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace ambrel {

// One call the effect made into the host.
struct HostCall {
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    float opt;
    std::string text; // the string argument of audioMasterCanDo
};

// Name of a host-callback opcode ("audioMasterAutomate", ...), or its number.
std::string hostOpcodeName(VstInt32 opcode);

// A text answer read from the effect through a guarded buffer.
struct TextAnswer {
    VstIntPtr answer = 0;
    std::string text;
    bool terminated = true; // a terminator was found inside the buffer
    size_t bytesWritten = 0; // bytes changed, counting from the start of the buffer
};

class PluginHost {
public:
    struct Options {
        VstIntPtr hostVersion = 2400; // the answer to audioMasterVersion
        bool secondInputConnected = true;
        bool secondOutputConnected = true;
        // Answer as a host that shows the effect's editor in a window the
        // effect may resize (canDo "sizeWindow", audioMasterSizeWindow).
        bool editorWindow = false;
    };

    // Loads the library and creates the effect. On failure returns null and
    // says why in `error`; `effectWasNull` tells a null effect apart from a
    // library that could not be loaded at all.
    static std::unique_ptr<PluginHost> load(const std::string& path, const Options& options, std::string& error,
                                            bool* effectWasNull = nullptr);
    static std::unique_ptr<PluginHost> load(const std::string& path, std::string& error)
    {
        return load(path, Options{}, error);
    }

    ~PluginHost();
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    AEffect* effect() const { return effect_; }
    const std::string& entryName() const { return entryName_; }
    // Both entry names are exported at one address.
    bool entriesShareAddress() const { return entriesShareAddress_; }

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f);
    float getParameter(VstInt32 index);
    void setParameter(VstInt32 index, float value);

    // effSetSampleRate and effSetBlockSize; the host answers the effect's
    // sample-rate and block-size questions with these.
    void setSampleRate(float rate);
    void setBlockSize(VstInt32 frames);
    float sampleRate() const { return sampleRate_; }
    VstInt32 blockSize() const { return blockSize_; }

    // effMainsChanged 1 / 0.
    void resume();
    void suspend();

    void processReplacing(float** inputs, float** outputs, VstInt32 frames);
    void processDoubleReplacing(double** inputs, double** outputs, VstInt32 frames);

    // Text requests (effGetParamName, effGetEffectName, ...) through a buffer
    // of `bufferSize` bytes filled with a guard pattern beforehand.
    TextAnswer readText(VstInt32 opcode, VstInt32 index = 0, size_t bufferSize = 256);

    std::string parameterName(VstInt32 index) { return readText(effGetParamName, index).text; }
    std::string parameterLabel(VstInt32 index) { return readText(effGetParamLabel, index).text; }
    std::string parameterDisplay(VstInt32 index) { return readText(effGetParamDisplay, index).text; }

    // effClose; returns the effect's answer. The effect is gone afterwards.
    VstIntPtr close();

    std::vector<HostCall> calls() const;
    void clearCalls();

private:
    PluginHost() = default;
    static VstIntPtr VSTCALLBACK callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                          void* ptr, float opt);
    VstIntPtr answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);

    Options options_;
    toolplatform::LibraryHandle library_ = nullptr;
    AEffect* effect_ = nullptr;
    std::string entryName_;
    bool entriesShareAddress_ = false;
    float sampleRate_ = 44100.0f;
    VstInt32 blockSize_ = 512;

    mutable std::mutex callsMutex_;
    std::vector<HostCall> calls_;
};

} // namespace ambrel
