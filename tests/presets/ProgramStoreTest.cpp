// The factory table, preset selection with its host callbacks, global
// parameters, edits during a selection and renaming.
#include "PresetTestSupport.h"

#include "presets/FactoryPresets.h"

#include <cstring>

using namespace presettest;

namespace {
float at(const FactoryPreset& row, const Variant& v, ParamId id)
{
    return row.values[static_cast<size_t>(v.index(id))];
}
} // namespace

TEST(FactoryTable, BothBuildsHoldTheSameValuesByParameterExceptForTheirReleaseRange)
{
    const Variant& a2 = variants::kAmbrel2;
    const Variant& a = variants::kAmbrel;
    const FactoryPresetTable with = factoryPresets(a2);
    const FactoryPresetTable without = factoryPresets(a);
    EXPECT_STREQ(with[2].name, "Mastering First Aid");
    EXPECT_EQ(at(with[2], a2, ParamId::Drive), static_cast<float>(0.535)); // nearest float
    EXPECT_EQ(at(with[2], a2, ParamId::Output), static_cast<float>(0.4984));
    EXPECT_EQ(at(with[8], a2, ParamId::LowRel), 0.75f);
    EXPECT_EQ(at(with[8], a2, ParamId::HighRel), 0.25f);

    for (int r = 0; r < kFactoryPresetCount; ++r) {
        EXPECT_STREQ(with[r].name, without[r].name);
        for (int p = 0; p < kParamIdCount; ++p) {
            const ParamId id = static_cast<ParamId>(p);
            if (a.index(id) >= a.numParams || id == ParamId::Fat)
                continue;
            float expected = at(with[r], a2, id);
            if (r >= 8 && r <= 13 && (id == ParamId::LowRel || id == ParamId::HighRel))
                expected = id == ParamId::LowRel ? 1.0f : 0.0f;
            EXPECT_EQ(at(without[r], a, id), expected) << with[r].name << ", parameter " << p;
        }
        for (int i = 23; i < kMaxParams; ++i) { // unnamed positions and the FAT position hold 0
            const ParamId id = a.paramAt(i);
            EXPECT_TRUE((id != ParamId::None && id != ParamId::Fat) || without[r].values[i] == 0.0f) << r << "/" << i;
            EXPECT_TRUE(i < 31 || with[r].values[i] == 0.0f) << r << "/" << i;
        }
    }
    EXPECT_EQ(findFactoryPreset("snare drum track"), 27);
    EXPECT_EQ(findFactoryPreset("Snare"), -1);
}

// New programs take the parameter table's defaults; the factory table's
// first two rows must hold the same values, bit for bit.
TEST(FactoryTable, FirstTwoRowsAreTheParameterTablesDefaults)
{
    for (const Variant* v : {&variants::kAmbrel2, &variants::kAmbrel}) {
        const FactoryPresetTable table = factoryPresets(*v);
        const CProgram program(*v);
        for (int r = 0; r < 2; ++r)
            for (int i = 0; i < v->numParams; ++i)
                EXPECT_EQ(table[static_cast<size_t>(r)].values[static_cast<size_t>(i)], program.getParameter(i))
                    << v->effectName << ", row " << r << ", index " << i;
    }
}

class ProgramStore : public EffectTest {};
PRESET_TEST_BUILDS(ProgramStore);

TEST_P(ProgramStore, ShowsTheHostOneProgramNamedAfterTheWorkingProgram)
{
    AEffect* e = effect->getAeffect();
    char name[64] = "untouched";
    EXPECT_EQ(e->dispatcher(e, effGetProgramNameIndexed, 1, 0, name, 0), 0);
    EXPECT_STREQ(name, "untouched");
    EXPECT_EQ(e->dispatcher(e, effGetProgramNameIndexed, 0, 0, name, 0), 1);
    EXPECT_STREQ(name, "Current");
    EXPECT_STREQ(effect->programs()[30].name(), "Track Tape Fast");
    EXPECT_EQ(effect->programs()[0].getParameter(v().numParams), -1.0f);
}

TEST_P(ProgramStore, AFreshEffectHoldsTheFactoryTableInEverySlot)
{
    // Construction announces FAT off and applies the editor settings; neither
    // may leave a slot differing from the table.
    const FactoryPresetTable table = factoryPresets(v());
    for (int slot = 0; slot < CPresetSystemEffect::kNumSlots; ++slot) {
        const FactoryPreset& row = table[static_cast<size_t>(slot)];
        EXPECT_STREQ(effect->programs()[slot].name(), row.name) << slot;
        for (int i = 0; i < v().numParams; ++i)
            EXPECT_EQ(effect->programs()[slot].getParameter(i), row.values[static_cast<size_t>(i)]) << slot << "/" << i;
    }
}

TEST_P(ProgramStore, SelectingAPresetTellsTheHostEveryParameterThenUpdatesTheDisplay)
{
    // A value the effect quantizes tells the read-back automation from the given one.
    const int fineTune = index(ParamId::FineTune);
    effect->programs()[2].setParameter(fineTune, 0.2f);
    effect->selectPreset(2);

    std::vector<HostCall> expected;
    for (int i = 0; i < v().numParams; ++i) {
        const float given = effect->programs()[2].getParameter(i);
        const float readBack = i == fineTune ? static_cast<float>(1.0 / 3.0) : given;
        expected.insert(expected.end(), {{audioMasterBeginEdit, i, 0.0f},
                                         {audioMasterAutomate, i, readBack},
                                         {audioMasterAutomate, i, given},
                                         {audioMasterEndEdit, i, 0.0f}});
    }
    expected.push_back({audioMasterUpdateDisplay, 0, 0.0f});
    EXPECT_EQ(host().calls, expected);
    EXPECT_EQ(effect->getPresetIndex(), 2);
    EXPECT_EQ(effect->getParameter(index(ParamId::Drive)), static_cast<float>(0.535));
    EXPECT_STREQ(effect->programs()[0].name(), "Mastering First Aid");
    EXPECT_EQ(effect->programs()[0].getParameter(fineTune), 0.2f);
}

TEST_P(ProgramStore, EditsFollowTheCurrentPresetAndGlobalParametersEverySlot)
{
    const int drive = index(ParamId::Drive);
    effect->selectPreset(2);
    effect->setParameter(drive, 0.7f);
    effect->selectPreset(3);
    EXPECT_EQ(effect->getParameter(drive), 0.55f);
    effect->selectPreset(2);
    EXPECT_EQ(effect->getParameter(drive), 0.7f);
    EXPECT_EQ(effect->programs()[1].getParameter(drive), 0.5f);

    for (int p = 0; p < kParamIdCount; ++p) {
        const ParamId id = static_cast<ParamId>(p);
        if (index(id) < v().numParams && v().isGlobal(id) && id != ParamId::Fat) {
            effect->setParameter(index(id), 1.0f);
            for (int slot = 0; slot < CPresetSystemEffect::kNumSlots; ++slot)
                EXPECT_EQ(effect->programs()[slot].getParameter(index(id)), 1.0f) << p << "/" << slot;
        }
    }
    effect->selectPreset(9);
    EXPECT_EQ(effect->getParameter(index(ParamId::MeterType)), 1.0f);

    // Out of range: nothing changes and the host hears nothing.
    const auto before = snapshot(*effect);
    host().calls.clear();
    effect->selectPreset(31);
    effect->selectPreset(-1);
    EXPECT_EQ(snapshot(*effect), before);
    EXPECT_TRUE(host().calls.empty());
}

TEST_P(ProgramStore, ParametersSetDuringASelectionReachOnlyTheEngineUnlessGlobal)
{
    const int drive = index(ParamId::Drive);
    const int meterType = index(ParamId::MeterType);
    host().onCall = [&](const HostCall& call) {
        if (call.opcode == audioMasterBeginEdit && call.index == index(ParamId::HighFreq)) {
            effect->setParameter(drive, 0.9f);
            effect->setParameter(meterType, 1.0f);
        }
    };
    effect->selectPreset(2);
    EXPECT_EQ(effect->getParameter(drive), 0.9f);
    EXPECT_EQ(effect->programs()[2].getParameter(drive), static_cast<float>(0.535));
    EXPECT_EQ(effect->programs()[0].getParameter(drive), static_cast<float>(0.535));
    for (int slot = 0; slot < CPresetSystemEffect::kNumSlots; ++slot)
        EXPECT_EQ(effect->programs()[slot].getParameter(meterType), 1.0f) << slot;
    EXPECT_FALSE(effect->isSelecting());
}

TEST_P(ProgramStore, RenamingCutsTo24CharactersAndShowsTheName)
{
    effect->selectPreset(4);
    char longName[] = "A thirty character long name!!";
    AEffect* e = effect->getAeffect();
    e->dispatcher(e, effSetProgramName, 0, 0, longName, 0);
    EXPECT_STREQ(effect->programs()[4].name(), "A thirty character long ");
    EXPECT_STREQ(effect->programs()[0].name(), "A thirty character long ");
    EXPECT_EQ(display.names, std::vector<std::string>{"A thirty character long "});

    effect->editPresetName("Typed"); // from the name field: no echo, one display update
    EXPECT_STREQ(effect->programs()[4].name(), "Typed");
    EXPECT_EQ(display.names.size(), 1u);
    EXPECT_EQ(host().count(audioMasterUpdateDisplay), 2); // the selection and the rename
}
