// Fakes shared by the program store tests: a host that records its
// callbacks, an in-memory settings store, a message recorder, a preset name
// display, a scratch directory and a snapshot of the whole program store.
#pragma once

#include "effect/Ambrel.h"
#include "presets/CPresetSystemEffect.h"
#include "presets/ErrorMessages.h"
#include "presets/PresetDisplay.h"
#include "presets/SettingsStore.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace presettest {

struct HostCall {
    VstInt32 opcode;
    VstInt32 index;
    float opt;
    bool operator==(const HostCall&) const = default;
};

// The host callback is a plain function; it records into this one log and
// lets a test react to a call (as a host reacting to automation would).
struct HostLog {
    std::vector<HostCall> calls;
    std::function<void(const HostCall&)> onCall;

    static HostLog& instance()
    {
        static HostLog log;
        return log;
    }
    void clear()
    {
        calls.clear();
        onCall = nullptr;
    }
    // Calls other than the version and pin queries a running effect makes.
    std::vector<HostCall> edits() const
    {
        std::vector<HostCall> out;
        for (const HostCall& c : calls)
            if (c.opcode == audioMasterAutomate || c.opcode == audioMasterBeginEdit ||
                c.opcode == audioMasterEndEdit || c.opcode == audioMasterUpdateDisplay)
                out.push_back(c);
        return out;
    }
    int count(VstInt32 opcode) const
    {
        int n = 0;
        for (const HostCall& c : calls)
            n += c.opcode == opcode;
        return n;
    }
};

inline VstIntPtr VSTCALLBACK recordingHost(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float opt)
{
    HostLog& log = HostLog::instance();
    const HostCall call{opcode, index, opt};
    log.calls.push_back(call);
    if (log.onCall)
        log.onCall(call);
    return opcode == audioMasterVersion ? 2400 : 0;
}

// A registry-like store kept in memory; it can be made to refuse writes.
class MemorySettingsStore : public SettingsStore {
public:
    std::map<std::string, Values> keys;
    bool refuseWrites = false;
    int writes = 0;

    std::optional<Values> read(const std::string& subkey, const std::vector<std::string>& names) override
    {
        const auto key = keys.find(subkey);
        if (key == keys.end())
            return std::nullopt;
        Values found;
        for (const std::string& name : names)
            if (const Value* v = find(key->second, name))
                found.emplace_back(name, *v);
        return found;
    }
    long write(const std::string& subkey, const Values& values) override
    {
        if (refuseWrites)
            return 5; // access denied
        ++writes;
        Values& key = keys[subkey];
        for (const auto& [name, value] : values) {
            bool replaced = false;
            for (auto& [n, v] : key)
                if (n == name) {
                    v = value;
                    replaced = true;
                }
            if (!replaced)
                key.emplace_back(name, value);
        }
        return 0;
    }
    void erase(const std::string& subkey, const std::string& name)
    {
        Values& key = keys[subkey];
        std::erase_if(key, [&](const auto& entry) { return entry.first == name; });
    }
    void set(const std::string& subkey, const std::string& name, Value value)
    {
        erase(subkey, name);
        keys[subkey].emplace_back(name, std::move(value));
    }
};

struct RecordingMessages : ErrorMessages {
    std::vector<std::string> shown;
    void showError(const std::string& text) override { shown.push_back(text); }
};

struct RecordingDisplay : PresetDisplay {
    std::vector<std::string> names;
    int namesChanged = 0;
    void showPresetName(const char* name) override { names.emplace_back(name); }
    void presetNamesChanged() override { ++namesChanged; }
};

// A fresh directory below the system's temporary directory, removed at the end.
class ScratchDir {
public:
    ScratchDir()
    {
        std::random_device rd;
        path_ = std::filesystem::temp_directory_path() /
                ("ambrel-test-" + std::to_string(rd()) + "-" + std::to_string(rd()));
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir()
    {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                     ec);
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Everything the program store holds, for before/after comparisons.
struct StoreSnapshot {
    std::vector<std::string> names;
    std::vector<std::vector<float>> values;
    std::vector<float> live;
    int current = 0;
    bool operator==(const StoreSnapshot&) const = default;
};

inline StoreSnapshot snapshot(CPresetSystemEffect& effect)
{
    StoreSnapshot s;
    const CProgram* programs = effect.programs();
    for (int slot = 0; slot < CPresetSystemEffect::kNumSlots; ++slot) {
        s.names.emplace_back(programs[slot].name());
        std::vector<float> values;
        for (int i = 0; i < effect.variant().numParams; ++i)
            values.push_back(programs[slot].getParameter(i));
        s.values.push_back(values);
    }
    for (int i = 0; i < effect.variant().numParams; ++i)
        s.live.push_back(effect.getParameter(i));
    s.current = effect.getPresetIndex();
    return s;
}

// Fixture base: an Ambrel of the build under test with a recording host and
// an in-memory settings store.
class EffectTest : public ::testing::TestWithParam<const Variant*> {
protected:
    void SetUp() override
    {
        HostLog::instance().clear();
        effect = std::make_unique<Ambrel>(recordingHost, *GetParam());
        auto fake = std::make_unique<MemorySettingsStore>();
        store = fake.get();
        effect->setSettingsStore(std::move(fake));
        effect->setPresetDisplay(&display);
        HostLog::instance().clear();
    }
    void TearDown() override
    {
        effect.reset();
        HostLog::instance().clear();
    }
    const Variant& v() const { return *GetParam(); }
    int index(ParamId id) const { return v().index(id); }
    HostLog& host() { return HostLog::instance(); }

    RecordingDisplay display;
    std::unique_ptr<Ambrel> effect;
    MemorySettingsStore* store = nullptr;
};

inline std::string buildName(const ::testing::TestParamInfo<const Variant*>& info)
{
    return info.param->hasFat ? "Ambrel2" : "Ambrel";
}

} // namespace presettest

#define PRESET_TEST_BUILDS(Suite)                                                                                    \
    INSTANTIATE_TEST_SUITE_P(Builds, Suite, ::testing::Values(&variants::kAmbrel2, &variants::kAmbrel),            \
                             presettest::buildName)
