// The A/B memories and the editor settings, through an in-memory store.
#include "PresetTestSupport.h"

#include <cstring>

using namespace presettest;

class Memories : public EffectTest {};
PRESET_TEST_BUILDS(Memories);

TEST_P(Memories, ValueNamesArePaddedWithSpaces)
{
    EXPECT_EQ(CPresetSystemEffect::memoValueName(7), "param  7");
    EXPECT_EQ(CPresetSystemEffect::memoValueName(41), "param 41");
    EXPECT_EQ(CPresetSystemEffect::memoValueName(0), "param  0");
}

TEST_P(Memories, StoreThenRecallBringsBackValuesAndName)
{
    const int drive = index(ParamId::Drive);
    const int knee = index(ParamId::Knee);
    effect->selectPreset(2);
    effect->setParameter(knee, 0.3f);
    ASSERT_EQ(effect->storeMemoA(), 0);

    const SettingsStore::Values& key = store->keys["MemoA"];
    ASSERT_NE(SettingsStore::find(key, "param  4"), nullptr);
    EXPECT_EQ(SettingsStore::asFloat(*SettingsStore::find(key, "param  4")), static_cast<float>(0.535));
    EXPECT_EQ(SettingsStore::find(key, "param  4")->data.size(), 4u);
    EXPECT_EQ(SettingsStore::asString(*SettingsStore::find(key, "name")), "Mastering First Aid");
    EXPECT_EQ(SettingsStore::find(key, "name")->type, SettingsStore::Type::String);
    EXPECT_EQ(SettingsStore::find(key, CPresetSystemEffect::memoValueName(v().numParams)), nullptr);

    effect->setParameter(drive, 0.9f);
    effect->setParameter(knee, 0.8f);
    effect->editPresetName("Something else");
    host().calls.clear();
    display.names.clear();
    ASSERT_EQ(effect->recallMemoA(), 0);

    EXPECT_EQ(effect->getParameter(drive), static_cast<float>(0.535));
    EXPECT_EQ(effect->getParameter(knee), 0.3f);
    EXPECT_EQ(effect->programs()[2].getParameter(knee), 0.3f);
    EXPECT_STREQ(effect->programs()[2].name(), "Mastering First Aid");
    EXPECT_STREQ(effect->programs()[0].name(), "Mastering First Aid");
    EXPECT_EQ(effect->getPresetIndex(), 2);
    ASSERT_EQ(display.names.size(), 1u);
    EXPECT_EQ(display.names[0], "Mastering First Aid");
    // One automation per parameter, in order, no edit brackets, then one display update.
    const std::vector<HostCall> edits = host().edits();
    ASSERT_EQ(edits.size(), static_cast<size_t>(v().numParams) + 1);
    for (int i = 0; i < v().numParams; ++i) {
        EXPECT_EQ(edits[i].opcode, audioMasterAutomate);
        EXPECT_EQ(edits[i].index, i);
    }
    EXPECT_EQ(edits.back().opcode, audioMasterUpdateDisplay);
}

TEST_P(Memories, MemoriesAreIndependentAndRecallingANeverStoredOneDoesNothing)
{
    const int drive = index(ParamId::Drive);
    effect->setParameter(drive, 0.2f);
    ASSERT_EQ(effect->storeMemoA(), 0);
    effect->setParameter(drive, 0.4f);
    const StoreSnapshot before = snapshot(*effect);
    host().calls.clear();
    EXPECT_NE(effect->recallMemoB(), 0);
    EXPECT_EQ(snapshot(*effect), before);
    EXPECT_TRUE(host().calls.empty());
    EXPECT_TRUE(display.names.empty());

    ASSERT_EQ(effect->storeMemoB(), 0);
    effect->recallMemoA();
    EXPECT_EQ(effect->getParameter(drive), 0.2f);
    effect->recallMemoB();
    EXPECT_EQ(effect->getParameter(drive), 0.4f);
}

TEST_P(Memories, MissingOrWronglySizedValuesLeaveTheirParameters)
{
    const int drive = index(ParamId::Drive);
    const int knee = index(ParamId::Knee);
    const int speed = index(ParamId::Speed);
    effect->setParameter(drive, 0.2f);
    effect->setParameter(knee, 0.2f);
    effect->setParameter(speed, 0.2f);
    effect->editPresetName("Stored");
    ASSERT_EQ(effect->storeMemoA(), 0);
    store->erase("MemoA", CPresetSystemEffect::memoValueName(drive));
    SettingsStore::Value eight = SettingsStore::binaryFloat(0.9f);
    eight.data.resize(8);
    store->set("MemoA", CPresetSystemEffect::memoValueName(knee), eight);
    SettingsStore::Value two = SettingsStore::binaryFloat(0.9f);
    two.data.resize(2);
    store->set("MemoA", CPresetSystemEffect::memoValueName(speed), two);
    store->erase("MemoA", "name");

    effect->setParameter(drive, 0.6f);
    effect->setParameter(knee, 0.6f);
    effect->setParameter(speed, 0.6f);
    effect->setParameter(index(ParamId::Mix), 0.6f);
    effect->editPresetName("Live");
    host().calls.clear();
    effect->recallMemoA();
    EXPECT_EQ(effect->getParameter(drive), 0.6f);
    EXPECT_EQ(effect->getParameter(knee), 0.6f);
    EXPECT_EQ(effect->getParameter(speed), 0.6f);
    EXPECT_EQ(effect->getParameter(index(ParamId::Mix)), 1.0f); // recalled
    EXPECT_STREQ(effect->programs()[0].name(), "Live");
    EXPECT_EQ(host().count(audioMasterAutomate), v().numParams - 3);
}

TEST_P(Memories, NamesComeBackCutTo24Characters)
{
    effect->editPresetName("Exactly twenty-four chrs");
    ASSERT_EQ(effect->storeMemoB(), 0);
    effect->editPresetName("x");
    effect->recallMemoB();
    EXPECT_STREQ(effect->programs()[0].name(), "Exactly twenty-four chrs");

    store->set("MemoB", "name", SettingsStore::string("A name written by other means, far too long"));
    effect->recallMemoB();
    EXPECT_STREQ(effect->programs()[0].name(), "A name written by other ");
}

TEST_P(Memories, RecalledGlobalParametersReachEverySlot)
{
    const int meterType = index(ParamId::MeterType);
    effect->setParameter(meterType, 1.0f);
    ASSERT_EQ(effect->storeMemoA(), 0);
    effect->setParameter(meterType, 0.0f);
    effect->selectPreset(11);
    effect->recallMemoA();
    for (int slot = 0; slot < CPresetSystemEffect::kNumSlots; ++slot)
        EXPECT_EQ(effect->programs()[slot].getParameter(meterType), 1.0f) << slot;
}

TEST_P(Memories, AStoreThatCannotWriteReportsItAndChangesNothing)
{
    store->refuseWrites = true;
    EXPECT_NE(effect->storeMemoA(), 0);
    EXPECT_TRUE(store->keys.empty());
}

TEST_P(Memories, AMemoryOfTheOtherBuildIsCarriedByParameter)
{
    const Variant& other = v().hasFat ? variants::kAmbrel : variants::kAmbrel2;
    SettingsStore::Values values;
    for (int i = 0; i < other.numParams; ++i) {
        const ParamId id = other.paramAt(i);
        const float value = id == ParamId::None ? 0.9f : static_cast<float>(static_cast<int>(id) + 1) / 64.0f;
        values.emplace_back(CPresetSystemEffect::memoValueName(i), SettingsStore::binaryFloat(value));
    }
    values.emplace_back("name", SettingsStore::string("Other"));
    values.emplace_back("build", SettingsStore::string(other.effectName));
    store->write("MemoA", values);

    const int fat = index(ParamId::Fat);
    const float fatBefore = effect->getParameter(fat);
    effect->recallMemoA();
    for (int i = 0; i < v().numParams; ++i) {
        const ParamId id = v().paramAt(i);
        if (id == ParamId::None || id == ParamId::Fat)
            continue;
        float expected = static_cast<float>(static_cast<int>(id) + 1) / 64.0f;
        if (id == ParamId::FineTune)
            expected = static_cast<float>(static_cast<int>(expected * 3.0f + 0.5f) / 3.0);
        EXPECT_EQ(effect->getParameter(i), expected) << "index " << i;
    }
    EXPECT_EQ(effect->getParameter(fat), fatBefore);
    EXPECT_STREQ(effect->programs()[0].name(), "Other");
}

TEST_P(Memories, AMemoryWithoutBuildMarkIsReadByIndex)
{
    // As older versions stored them: values only, in this build's numbering.
    SettingsStore::Values values;
    for (int i = 0; i < v().numParams; ++i)
        values.emplace_back(CPresetSystemEffect::memoValueName(i), SettingsStore::binaryFloat(i == 5 ? 0.45f : 0.0f));
    store->write("MemoB", values);
    effect->recallMemoB();
    EXPECT_EQ(effect->getParameter(5), 0.45f);
    EXPECT_EQ(effect->getParameter(index(ParamId::Process)), 0.0f);
}

class EditorSettings : public EffectTest {};
PRESET_TEST_BUILDS(EditorSettings);

TEST_P(EditorSettings, MissingUnreadableOrGarbledValuesReadAsOneHalf)
{
    EXPECT_EQ(effect->readEditorSetting(ParamId::VuIntegr), 0.5f);
    store->set("", "vureference", SettingsStore::binaryFloat(0.25f));
    EXPECT_EQ(effect->readEditorSetting(ParamId::VuRefer), 0.25f);
    SettingsStore::Value longer = SettingsStore::binaryFloat(0.25f);
    longer.data.push_back(0);
    store->set("", "ppmreturn", longer);
    EXPECT_EQ(effect->readEditorSetting(ParamId::PpmReturn), 0.5f);
    store->set("", "knobmode", SettingsStore::binaryFloat(std::nanf("")));
    EXPECT_EQ(effect->readEditorSetting(ParamId::KnobMode), 0.5f);
    EXPECT_EQ(effect->readEditorSetting(ParamId::Drive), 0.5f);
}

TEST_P(EditorSettings, SaveWritesTheSixSettingsInTheirOrder)
{
    effect->setParameter(index(ParamId::KnobMode), 0.0f);
    effect->setParameter(index(ParamId::VuIntegr), 0.75f);
    ASSERT_EQ(effect->saveEditorSettings(), 0);
    const SettingsStore::Values& key = store->keys[""];
    std::vector<std::string> names;
    for (const auto& [name, value] : key) {
        names.push_back(name);
        EXPECT_EQ(value.data.size(), 4u);
        EXPECT_EQ(value.type, SettingsStore::Type::Binary);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"vuintegration", "vureference", "ppmintegration", "ppmreturn",
                                               "knobmode", "overcounter"}));
    EXPECT_EQ(SettingsStore::asFloat(*SettingsStore::find(key, "knobmode")), 0.0f);
    EXPECT_EQ(SettingsStore::asFloat(*SettingsStore::find(key, "vuintegration")), 0.75f);
    EXPECT_EQ(effect->readEditorSetting(ParamId::KnobMode), 0.0f);
}
