// The A/B memories and the editor settings, through an in-memory store.
#include "PresetTestSupport.h"

#include <new>

using namespace presettest;

class Memories : public EffectTest {};
PRESET_TEST_BUILDS(Memories);

TEST_P(Memories, RecallBringsBackTheStoredStateWithOneAutomationPerParameter)
{
    const int drive = index(ParamId::Drive);
    const int knee = index(ParamId::Knee);
    effect->selectPreset(2);
    effect->setParameter(knee, 0.3f);
    effect->setParameter(index(ParamId::MeterType), 1.0f); // global
    ASSERT_EQ(effect->storeMemoA(), 0);
    const SettingsStore::Values& key = store->keys["MemoA"];
    EXPECT_EQ(SettingsStore::find(key, "param  4")->data.size(), 4u); // space padded, 4 bytes
    EXPECT_NE(SettingsStore::find(key, CPresetSystemEffect::memoValueName(v().numParams - 1)), nullptr);
    EXPECT_EQ(SettingsStore::find(key, CPresetSystemEffect::memoValueName(v().numParams)), nullptr);

    effect->setParameter(drive, 0.9f);
    effect->setParameter(knee, 0.8f);
    effect->setParameter(index(ParamId::MeterType), 0.0f);
    effect->selectPreset(11);
    host().calls.clear();
    EXPECT_NE(effect->recallMemoB(), 0); // never stored: nothing happens
    EXPECT_TRUE(host().calls.empty());
    ASSERT_EQ(effect->recallMemoA(), 0);

    EXPECT_EQ(effect->getParameter(drive), static_cast<float>(0.535));
    EXPECT_EQ(effect->programs()[11].getParameter(knee), 0.3f);
    EXPECT_STREQ(effect->programs()[11].name(), "Mastering First Aid");
    EXPECT_STREQ(effect->programs()[0].name(), "Mastering First Aid");
    EXPECT_EQ(display.names.back(), "Mastering First Aid");
    EXPECT_EQ(effect->getPresetIndex(), 11);
    for (int slot = 0; slot < CPresetSystemEffect::kNumSlots; ++slot)
        EXPECT_EQ(effect->programs()[slot].getParameter(index(ParamId::MeterType)), 1.0f) << slot;
    ASSERT_EQ(host().calls.size(), static_cast<size_t>(v().numParams) + 1);
    for (int i = 0; i < v().numParams; ++i)
        EXPECT_EQ(host().calls[i], (HostCall{audioMasterAutomate, i, effect->getParameter(i)}));
    EXPECT_EQ(host().calls.back().opcode, audioMasterUpdateDisplay);
}

TEST_P(Memories, MissingOrWronglySizedValuesLeaveTheirParameters)
{
    const int drive = index(ParamId::Drive), knee = index(ParamId::Knee), speed = index(ParamId::Speed);
    effect->editPresetName("Exactly twenty-four chrs");
    ASSERT_EQ(effect->storeMemoB(), 0);
    store->erase("MemoB", CPresetSystemEffect::memoValueName(drive));
    SettingsStore::Value longer = SettingsStore::binaryFloat(0.9f), shorter = longer;
    longer.data.resize(8);
    shorter.data.resize(2);
    store->write("MemoB", {{CPresetSystemEffect::memoValueName(knee), longer}});
    store->write("MemoB", {{CPresetSystemEffect::memoValueName(speed), shorter}});
    for (int i : {drive, knee, speed, index(ParamId::Mix)})
        effect->setParameter(i, 0.6f);
    effect->editPresetName("Live");
    host().calls.clear();
    effect->recallMemoB();
    for (int i : {drive, knee, speed})
        EXPECT_EQ(effect->getParameter(i), 0.6f) << i;
    EXPECT_EQ(effect->getParameter(index(ParamId::Mix)), 1.0f);
    EXPECT_EQ(host().count(audioMasterAutomate), v().numParams - 3);
    EXPECT_STREQ(effect->programs()[0].name(), "Exactly twenty-four chrs");

    store->write("MemoB", {{"name", SettingsStore::string("A name written by other means, far too long")}});
    effect->recallMemoB();
    EXPECT_STREQ(effect->programs()[0].name(), "A name written by other ");
    store->erase("MemoB", "name");
    effect->editPresetName("Kept");
    effect->recallMemoB();
    EXPECT_STREQ(effect->programs()[0].name(), "Kept");
}

TEST_P(Memories, AMemoryOfTheOtherBuildIsCarriedByParameter)
{
    const Variant& other = v().hasFat ? variants::kAmbrel : variants::kAmbrel2;
    const auto tag = [](ParamId id) { return static_cast<float>(static_cast<int>(id) + 1) / 64.0f; };
    SettingsStore::Values values = {{"build", SettingsStore::string(other.effectName)}};
    for (int i = 0; i < other.numParams; ++i) {
        const ParamId id = other.paramAt(i);
        values.emplace_back(CPresetSystemEffect::memoValueName(i),
                            SettingsStore::binaryFloat(id == ParamId::None ? 0.9f : tag(id)));
    }
    store->write("MemoA", values);
    const float fat = effect->getParameter(index(ParamId::Fat));
    effect->recallMemoA();
    for (int i = 0; i < v().numParams; ++i) {
        const ParamId id = v().paramAt(i);
        if (id == ParamId::None || id == ParamId::Fat)
            continue;
        const float expected = id == ParamId::FineTune ? 1.0f / 3.0f : tag(id); // FineTune steps in thirds
        EXPECT_FLOAT_EQ(effect->getParameter(i), expected) << i;
    }
    EXPECT_EQ(effect->getParameter(index(ParamId::Fat)), fat);
}

TEST_P(Memories, EditorSettingsReadAsOneHalfWhenUnusableAndSaveInTheirOrder)
{
    SettingsStore::Value longer = SettingsStore::binaryFloat(0.25f);
    longer.data.push_back(0);
    store->write("", {{"ppmreturn", longer}});
    store->write("", {{"knobmode", SettingsStore::binaryFloat(std::nanf(""))}});
    store->write("", {{"vureference", SettingsStore::binaryFloat(0.25f)}});
    EXPECT_EQ(effect->readEditorSetting(ParamId::VuIntegr), 0.5f);
    EXPECT_EQ(effect->readEditorSetting(ParamId::PpmReturn), 0.5f);
    EXPECT_EQ(effect->readEditorSetting(ParamId::KnobMode), 0.5f);
    EXPECT_EQ(effect->readEditorSetting(ParamId::VuRefer), 0.25f);

    store->keys.clear();
    effect->setParameter(index(ParamId::KnobMode), 0.0f);
    ASSERT_EQ(effect->saveEditorSettings(), 0);
    std::vector<std::string> names;
    for (const auto& [name, value] : store->keys[""])
        names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"vuintegration", "vureference", "ppmintegration", "ppmreturn",
                                               "knobmode", "overcounter"}));
    EXPECT_EQ(effect->readEditorSetting(ParamId::KnobMode), 0.0f);
}

// A store that fails by throwing (as one out of memory does) fails quietly:
// nothing escapes to the host or out of the destructor, nothing changes.
TEST_P(Memories, AStoreThatThrowsFailsWithoutThrowing)
{
    struct ThrowingStore : SettingsStore {
        std::optional<Values> read(const std::string&, const std::vector<std::string>&) override
        {
            throw std::bad_alloc();
        }
        long write(const std::string&, const Values&) override { throw std::bad_alloc(); }
    };
    effect->setSettingsStore(std::make_unique<ThrowingStore>());
    const auto before = snapshot(*effect);
    EXPECT_NE(effect->storeMemoA(), 0);
    EXPECT_NE(effect->recallMemoB(), 0);
    EXPECT_EQ(effect->readEditorSetting(ParamId::PpmReturn), 0.5f);
    EXPECT_NE(effect->saveEditorSettings(), 0);
    EXPECT_EQ(snapshot(*effect), before);
    EXPECT_TRUE(host().calls.empty());
    effect.reset(); // saves the settings once more
}
