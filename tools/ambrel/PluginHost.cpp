#include "tools/ambrel/PluginHost.h"

#include <algorithm>
#include <cstring>

namespace ambrel {

namespace {

using EntryProc = AEffect* (*)(audioMasterCallback);

// The callback receives only the effect record, and no record at all while
// the entry point is still constructing the effect. Hosts are found through
// this table; the one being created is found through `loadingHost`.
std::mutex registryMutex;
std::vector<std::pair<AEffect*, PluginHost*>> registry;
thread_local PluginHost* loadingHost = nullptr;
// Set on the thread inside a process call: the effect's callbacks from that
// thread come from the audio thread, those from other threads do not.
thread_local bool inProcessCall = false;

constexpr unsigned char kGuard = 0xA5;

void copyText(void* ptr, const char* text, size_t size)
{
    if (!ptr || size == 0)
        return;
    std::strncpy(static_cast<char*>(ptr), text, size - 1);
    static_cast<char*>(ptr)[size - 1] = 0;
}

} // namespace

std::string hostOpcodeName(VstInt32 opcode)
{
    switch (opcode) {
    case audioMasterAutomate: return "audioMasterAutomate";
    case audioMasterVersion: return "audioMasterVersion";
    case audioMasterCurrentId: return "audioMasterCurrentId";
    case audioMasterIdle: return "audioMasterIdle";
    case audioMasterPinConnected: return "audioMasterPinConnected";
    case audioMasterWantMidi: return "audioMasterWantMidi";
    case audioMasterGetTime: return "audioMasterGetTime";
    case audioMasterProcessEvents: return "audioMasterProcessEvents";
    case audioMasterIOChanged: return "audioMasterIOChanged";
    case audioMasterSizeWindow: return "audioMasterSizeWindow";
    case audioMasterGetSampleRate: return "audioMasterGetSampleRate";
    case audioMasterGetBlockSize: return "audioMasterGetBlockSize";
    case audioMasterGetInputLatency: return "audioMasterGetInputLatency";
    case audioMasterGetOutputLatency: return "audioMasterGetOutputLatency";
    case audioMasterGetCurrentProcessLevel: return "audioMasterGetCurrentProcessLevel";
    case audioMasterGetAutomationState: return "audioMasterGetAutomationState";
    case audioMasterGetVendorString: return "audioMasterGetVendorString";
    case audioMasterGetProductString: return "audioMasterGetProductString";
    case audioMasterGetVendorVersion: return "audioMasterGetVendorVersion";
    case audioMasterVendorSpecific: return "audioMasterVendorSpecific";
    case audioMasterCanDo: return "audioMasterCanDo";
    case audioMasterGetLanguage: return "audioMasterGetLanguage";
    case audioMasterGetDirectory: return "audioMasterGetDirectory";
    case audioMasterUpdateDisplay: return "audioMasterUpdateDisplay";
    case audioMasterBeginEdit: return "audioMasterBeginEdit";
    case audioMasterEndEdit: return "audioMasterEndEdit";
    case audioMasterOpenFileSelector: return "audioMasterOpenFileSelector";
    case audioMasterCloseFileSelector: return "audioMasterCloseFileSelector";
    default: return "opcode " + std::to_string(opcode);
    }
}

std::unique_ptr<PluginHost> PluginHost::load(const std::string& path, const Options& options, std::string& error,
                                             bool* effectWasNull)
{
    if (effectWasNull)
        *effectWasNull = false;
    std::unique_ptr<PluginHost> host(new PluginHost());
    host->options_ = options;

    // A bare file name means the file here, not a search through the
    // system's library directories.
    const bool bare = path.find_first_of("/\\") == std::string::npos;
    std::string reason;
    host->library_ = toolplatform::openLibrary(bare ? "./" + path : path, reason);
    if (!host->library_) {
        error = "cannot load " + path + ": " + reason;
        return nullptr;
    }

    void* entry = toolplatform::findSymbol(host->library_, "VSTPluginMain");
    void* oldEntry = toolplatform::findSymbol(host->library_, "main");
    host->entryName_ = entry ? "VSTPluginMain" : "main";
    host->entriesShareAddress_ = entry && entry == oldEntry;
    if (!entry)
        entry = oldEntry;
    if (!entry) {
        error = path + " exports neither VSTPluginMain nor main: not a VST 2.4 plug-in";
        return nullptr;
    }

    loadingHost = host.get();
    AEffect* effect = reinterpret_cast<EntryProc>(entry)(&PluginHost::callback);
    loadingHost = nullptr;
    if (!effect) {
        if (effectWasNull)
            *effectWasNull = true;
        error = path + ": the entry point returned no effect";
        return nullptr;
    }
    if (effect->magic != kEffectMagic) {
        error = path + ": the entry point returned a record without the effect magic";
        return nullptr; // not ours to close: the record is not an effect
    }
    host->effect_ = effect;
    {
        std::lock_guard<std::mutex> lock(registryMutex);
        registry.emplace_back(effect, host.get());
    }
    host->dispatch(effOpen);
    return host;
}

PluginHost::~PluginHost()
{
    if (effect_)
        close();
    toolplatform::closeLibrary(library_);
}

VstIntPtr PluginHost::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
    if (!effect_ || !effect_->dispatcher)
        return 0;
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

float PluginHost::getParameter(VstInt32 index)
{
    return effect_ && effect_->getParameter ? effect_->getParameter(effect_, index) : 0.0f;
}

void PluginHost::setParameter(VstInt32 index, float value)
{
    if (effect_ && effect_->setParameter)
        effect_->setParameter(effect_, index, value);
}

void PluginHost::setSampleRate(float rate)
{
    sampleRate_ = rate;
    dispatch(effSetSampleRate, 0, 0, nullptr, rate);
}

void PluginHost::setBlockSize(VstInt32 frames)
{
    blockSize_ = frames;
    dispatch(effSetBlockSize, 0, frames);
}

void PluginHost::resume()
{
    dispatch(effMainsChanged, 0, 1);
}

void PluginHost::suspend()
{
    dispatch(effMainsChanged, 0, 0);
}

void PluginHost::processReplacing(float** inputs, float** outputs, VstInt32 frames)
{
    if (!effect_ || !effect_->processReplacing)
        return;
    inProcessCall = true;
    effect_->processReplacing(effect_, inputs, outputs, frames);
    inProcessCall = false;
}

void PluginHost::processDoubleReplacing(double** inputs, double** outputs, VstInt32 frames)
{
    if (!effect_ || !effect_->processDoubleReplacing)
        return;
    inProcessCall = true;
    effect_->processDoubleReplacing(effect_, inputs, outputs, frames);
    inProcessCall = false;
}

TextAnswer PluginHost::readText(VstInt32 opcode, VstInt32 index, size_t bufferSize)
{
    std::vector<unsigned char> buffer(bufferSize, kGuard);
    TextAnswer result;
    result.answer = dispatch(opcode, index, 0, buffer.data());
    const auto end = std::find(buffer.begin(), buffer.end(), 0);
    result.terminated = end != buffer.end();
    result.text.assign(buffer.begin(), end);
    for (size_t i = bufferSize; i > 0; --i) {
        if (buffer[i - 1] != kGuard) {
            result.bytesWritten = i;
            break;
        }
    }
    // A buffer left untouched reads as the empty string.
    if (result.bytesWritten == 0) {
        result.text.clear();
        result.terminated = true;
    }
    return result;
}

VstIntPtr PluginHost::close()
{
    if (!effect_)
        return 0;
    AEffect* effect = effect_;
    const VstIntPtr answer = effect->dispatcher ? effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f) : 0;
    effect_ = nullptr;
    std::lock_guard<std::mutex> lock(registryMutex);
    registry.erase(std::remove_if(registry.begin(), registry.end(),
                                  [effect](const auto& entry) { return entry.first == effect; }),
                   registry.end());
    return answer;
}

std::vector<HostCall> PluginHost::calls() const
{
    std::lock_guard<std::mutex> lock(callsMutex_);
    return calls_;
}

void PluginHost::clearCalls()
{
    std::lock_guard<std::mutex> lock(callsMutex_);
    calls_.clear();
}

VstIntPtr VSTCALLBACK PluginHost::callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                           void* ptr, float opt)
{
    PluginHost* host = nullptr;
    if (effect) {
        std::lock_guard<std::mutex> lock(registryMutex);
        for (const auto& entry : registry)
            if (entry.first == effect)
                host = entry.second;
    }
    if (!host)
        host = loadingHost; // the effect is still being constructed
    if (!host)
        return opcode == audioMasterVersion ? 2400 : 0;
    return host->answer(opcode, index, value, ptr, opt);
}

VstIntPtr PluginHost::answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
    {
        HostCall call{opcode, index, value, opt, {}};
        if (opcode == audioMasterCanDo && ptr)
            call.text = static_cast<const char*>(ptr);
        std::lock_guard<std::mutex> lock(callsMutex_);
        calls_.push_back(std::move(call));
    }

    switch (opcode) {
    case audioMasterVersion:
        return options_.hostVersion;
    case audioMasterCurrentId:
        return effect_ ? effect_->uniqueID : 0;
    case audioMasterPinConnected: {
        // The answer is 0 for a connected pin. `value` 0 asks about an
        // input, 1 about an output.
        const bool connected = index == 0 || (index == 1 && (value == 0 ? options_.secondInputConnected
                                                                        : options_.secondOutputConnected));
        return connected ? 0 : 1;
    }
    case audioMasterGetSampleRate:
        return static_cast<VstIntPtr>(sampleRate_);
    case audioMasterGetBlockSize:
        return blockSize_;
    case audioMasterGetCurrentProcessLevel:
        return inProcessCall ? 2 : 1; // the realtime thread while processing, else the user thread
    case audioMasterGetAutomationState:
        return 1; // automation off
    case audioMasterGetVendorString:
        copyText(ptr, "Nurwerk", kVstMaxVendorStrLen);
        return 1;
    case audioMasterGetProductString:
        copyText(ptr, "ambrel command-line host", kVstMaxProductStrLen);
        return 1;
    case audioMasterGetVendorVersion:
        return 1;
    case audioMasterGetLanguage:
        return 1; // English
    case audioMasterCanDo: {
        if (!ptr)
            return 0;
        const std::string text = static_cast<const char*>(ptr);
        if (text == "sizeWindow")
            return options_.editorWindow ? 1 : 0;
        return (text == "startStopProcess" || text == "supplyIdle") ? 1 : 0;
    }
    case audioMasterAutomate:
    case audioMasterBeginEdit:
    case audioMasterEndEdit:
    case audioMasterUpdateDisplay:
        return 1; // noted in the log
    case audioMasterSizeWindow:
        return options_.editorWindow ? 1 : 0; // the editor host resizes from the log
    default:
        return 0;
    }
}

} // namespace ambrel
