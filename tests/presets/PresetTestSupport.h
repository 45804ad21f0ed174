// Fakes shared by the program store tests: a host recording its callbacks, an
// in-memory settings store, message and name recorders, a scratch directory,
// a snapshot of the program store and a fixture with an effect of each build.
#pragma once

#include "effect/Ambrel.h"
#include "platform/ErrorMessages.h"
#include "presets/PresetFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <random>

namespace presettest {

struct HostCall {
    VstInt32 opcode, index;
    float opt;
    bool operator==(const HostCall&) const = default;
};

// The host callback is a plain function: it records into one log, and a test
// may react to a call as a host reacting to automation would.
struct HostLog {
    std::vector<HostCall> calls;
    std::function<void(const HostCall&)> onCall;
    static HostLog& get()
    {
        static HostLog log;
        return log;
    }
    int count(VstInt32 opcode) const
    {
        return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](auto& c) { return c.opcode == opcode; }));
    }
};

inline VstIntPtr VSTCALLBACK recordingHost(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float opt)
{
    if (opcode == audioMasterVersion)
        return 2400;
    if (opcode == audioMasterPinConnected)
        return 0;
    HostLog::get().calls.push_back({opcode, index, opt});
    if (HostLog::get().onCall)
        HostLog::get().onCall(HostLog::get().calls.back());
    return 0;
}

class MemorySettingsStore : public SettingsStore {
public:
    std::map<std::string, Values> keys;

    std::optional<Values> read(const std::string& subkey, const std::vector<std::string>& names) override
    {
        if (!keys.count(subkey))
            return std::nullopt;
        Values found;
        for (const std::string& name : names)
            if (const Value* v = find(keys[subkey], name))
                found.emplace_back(name, *v);
        return found;
    }
    long write(const std::string& subkey, const Values& values) override
    {
        for (const auto& [name, value] : values) {
            erase(subkey, name);
            keys[subkey].emplace_back(name, value);
        }
        return 0;
    }
    void erase(const std::string& subkey, const std::string& name)
    {
        std::erase_if(keys[subkey], [&](const auto& entry) { return entry.first == name; });
    }
};

struct RecordingMessages : ErrorMessages {
    std::vector<std::string> shown;
    void showError(const std::string& text) override { shown.push_back(text); }
};

struct RecordingDisplay : PresetDisplay {
    std::vector<std::string> names;
    void showPresetName(const char* name) override { names.emplace_back(name); }
};

class ScratchDir {
public:
    ScratchDir() : path_(std::filesystem::temp_directory_path() / ("ambrel-test-" + std::to_string(std::random_device()())))
    {
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Everything the program store holds (all slots as a bank file's bytes), the
// live values and the current preset, for before/after comparisons.
inline std::vector<uint8_t> snapshot(CPresetSystemEffect& effect)
{
    std::vector<uint8_t> s = serialiseBank({effect.programs(), CPresetSystemEffect::kNumSlots}, effect.variant());
    for (int i = 0; i < effect.variant().numParams; ++i) {
        const float live = effect.getParameter(i);
        s.insert(s.end(), reinterpret_cast<const uint8_t*>(&live), reinterpret_cast<const uint8_t*>(&live + 1));
    }
    s.push_back(static_cast<uint8_t>(effect.getPresetIndex()));
    return s;
}

// An Ambrel of the build under test, with the recording host and fakes.
class EffectTest : public ::testing::TestWithParam<const Variant*> {
protected:
    void SetUp() override
    {
        effect = std::make_unique<Ambrel>(recordingHost, v());
        auto fake = std::make_unique<MemorySettingsStore>();
        store = fake.get();
        effect->setSettingsStore(std::move(fake));
        effect->setPresetDisplay(&display);
        host() = HostLog{};
    }
    void TearDown() override { host() = HostLog{}; }
    const Variant& v() const { return *GetParam(); }
    int index(ParamId id) const { return v().index(id); }
    static HostLog& host() { return HostLog::get(); }

    RecordingDisplay display;
    std::unique_ptr<Ambrel> effect;
    MemorySettingsStore* store = nullptr;
};

} // namespace presettest

#define PRESET_TEST_BUILDS(Suite)                                                                                    \
    INSTANTIATE_TEST_SUITE_P(Builds, Suite, ::testing::Values(&variants::kAmbrel2, &variants::kAmbrel),            \
                             [](const auto& info) { return info.param->hasFat ? "Ambrel2" : "Ambrel"; })
