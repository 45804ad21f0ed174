// The factory table, the program slots, preset selection with its host
// callbacks, global parameters and renaming.
#include "PresetTestSupport.h"

#include "presets/FactoryPresets.h"

#include <cstring>
#include <set>

using namespace presettest;

namespace {

float at(const FactoryPreset& row, const Variant& v, ParamId id)
{
    return row.values[static_cast<size_t>(v.index(id))];
}

const ParamId kReleaseBands[] = {ParamId::LowRel, ParamId::HighRel};

} // namespace

TEST(FactoryTable, RowsOfTheBuildWithFatHoldTheTableValues)
{
    const Variant& v = variants::kAmbrel2;
    const FactoryPresetTable table = factoryPresets(v);

    std::set<std::string> names;
    for (const FactoryPreset& row : table) {
        EXPECT_LE(std::strlen(row.name), 24u) << row.name;
        names.insert(row.name);
        for (int i = 31; i < kMaxParams; ++i)
            EXPECT_EQ(row.values[static_cast<size_t>(i)], 0.0f) << row.name << " index " << i;
        EXPECT_EQ(at(row, v, ParamId::Process), 1.0f);
        EXPECT_EQ(at(row, v, ParamId::FineTune), 1.0f);
        EXPECT_EQ(at(row, v, ParamId::Brickwall), 1.0f);
        EXPECT_EQ(at(row, v, ParamId::MidRel), 0.5f);
        EXPECT_EQ(at(row, v, ParamId::Meters), 0.5f);
        EXPECT_EQ(at(row, v, ParamId::Fat), 0.0f);
    }
    EXPECT_EQ(names.size(), 31u);
    EXPECT_STREQ(table[0].name, "Current");
    EXPECT_STREQ(table[1].name, "Default");
    EXPECT_STREQ(table[30].name, "Track Tape Fast");

    // Values are the nearest float to the decimal.
    const FactoryPreset& aid = table[2];
    EXPECT_STREQ(aid.name, "Mastering First Aid");
    EXPECT_EQ(at(aid, v, ParamId::Mode), 1.0f);
    EXPECT_EQ(at(aid, v, ParamId::Drive), static_cast<float>(0.535));
    EXPECT_EQ(at(aid, v, ParamId::HighAdjust), static_cast<float>(0.54));
    EXPECT_EQ(at(aid, v, ParamId::LowAdjust), static_cast<float>(0.55));
    EXPECT_EQ(at(aid, v, ParamId::LowFreq), static_cast<float>(0.57));
    EXPECT_EQ(at(aid, v, ParamId::Output), static_cast<float>(0.4984));

    const FactoryPreset& finalize = table[8];
    EXPECT_STREQ(finalize.name, "Mix Finalize 1");
    EXPECT_EQ(at(finalize, v, ParamId::LowRel), 0.75f);
    EXPECT_EQ(at(finalize, v, ParamId::HighRel), 0.25f);
    EXPECT_EQ(at(finalize, v, ParamId::Speed), 0.4f);
    EXPECT_EQ(at(finalize, v, ParamId::Release), 0.75f);

    const FactoryPreset& drum = table[26];
    EXPECT_STREQ(drum.name, "Funky Bass Drum Trk");
    const float expected[] = {0, 0, 0.72f, 0.082f, 0.682f, 0.82f, 0.5f, 0.665f, 0.5f, 0.5f, 0.28f, 0.4984f};
    const ParamId columns[] = {ParamId::Mode,     ParamId::Link,      ParamId::Drive,      ParamId::Knee,
                               ParamId::Speed,    ParamId::Release,   ParamId::HighAdjust, ParamId::LowAdjust,
                               ParamId::HighFreq, ParamId::LowFreq,   ParamId::Ceiling,    ParamId::Output};
    for (size_t c = 0; c < std::size(columns); ++c)
        EXPECT_EQ(at(drum, v, columns[c]), expected[c]) << c;
}

TEST(FactoryTable, BuildWithoutFatHasTheSameValuesByParameterExceptItsReleaseRange)
{
    const Variant& a2 = variants::kAmbrel2;
    const Variant& a = variants::kAmbrel;
    const FactoryPresetTable with = factoryPresets(a2);
    const FactoryPresetTable without = factoryPresets(a);
    for (int r = 0; r < kFactoryPresetCount; ++r) {
        EXPECT_STREQ(with[r].name, without[r].name);
        for (int p = 0; p < kParamIdCount; ++p) {
            const ParamId id = static_cast<ParamId>(p);
            if (a.index(id) >= a.numParams || id == ParamId::Fat)
                continue;
            const bool finalizeOrTape = r >= 8 && r <= 13;
            float expected = at(with[r], a2, id);
            if (finalizeOrTape && id == ParamId::LowRel)
                expected = 1.0f;
            else if (finalizeOrTape && id == ParamId::HighRel)
                expected = 0.0f;
            EXPECT_EQ(at(without[r], a, id), expected) << with[r].name << " parameter " << p;
        }
        // The unnamed positions, the FAT position included, hold 0.
        for (int i = 0; i < kMaxParams; ++i) {
            const ParamId id = a.paramAt(i);
            if (id == ParamId::None || id == ParamId::Fat) {
                EXPECT_EQ(without[r].values[static_cast<size_t>(i)], 0.0f) << r << " index " << i;
            }
        }
    }
    EXPECT_EQ(without[1].values[28], 1.0f); // FineTune
    EXPECT_EQ(without[1].values[34], 1.0f); // Brickwall
}

TEST(FactoryTable, FindsPresetsByName)
{
    EXPECT_EQ(findFactoryPreset("Snare Drum Track"), 27);
    EXPECT_EQ(findFactoryPreset("snare drum track"), 27);
    EXPECT_EQ(findFactoryPreset("Snare"), -1);
}

TEST(Program, StartsAsInitWithTheDefaultsAndClampsWhatItStores)
{
    CProgram program(variants::kAmbrel2);
    EXPECT_STREQ(program.name(), "init");
    const FactoryPresetTable table = factoryPresets(variants::kAmbrel2);
    for (int i = 0; i < 42; ++i)
        EXPECT_EQ(program.getParameter(i), table[1].values[static_cast<size_t>(i)]) << i;

    program.setParameter(3, 1.5f);
    EXPECT_EQ(program.getParameter(3), 1.0f);
    program.setParameter(3, -0.2f);
    EXPECT_EQ(program.getParameter(3), 0.0f);
    program.setParameter(3, std::nanf(""));
    EXPECT_EQ(program.getParameter(3), 0.0f);
    program.setParameter(42, 0.5f);
    program.setParameter(-1, 0.5f);
    EXPECT_EQ(program.getParameter(42), -1.0f);
    EXPECT_EQ(program.getParameter(-1), -1.0f);
    EXPECT_EQ(CProgram(variants::kAmbrel).getParameter(47), 0.0f);

    program.setName("A name of more than twenty-four characters");
    char out[64];
    std::memset(out, 'x', sizeof(out));
    program.getName(out);
    EXPECT_STREQ(out, "A name of more than twen");
    program.setName(program.name()); // renaming to its own name keeps it
    EXPECT_STREQ(program.name(), "A name of more than twen");
}

class ProgramStore : public EffectTest {};
PRESET_TEST_BUILDS(ProgramStore);

TEST_P(ProgramStore, StartsWithTheFactoryTableAndAnswersProgramNameRequests)
{
    const FactoryPresetTable table = factoryPresets(v());
    const CProgram* programs = effect->programs();
    for (int slot = 0; slot < CPresetSystemEffect::kNumSlots; ++slot) {
        EXPECT_STREQ(programs[slot].name(), table[slot].name);
        for (int i = 0; i < v().numParams; ++i)
            EXPECT_EQ(programs[slot].getParameter(i), table[slot].values[static_cast<size_t>(i)]) << slot << "/" << i;
    }
    EXPECT_EQ(effect->getPresetIndex(), 0);

    AEffect* record = effect->getAeffect();
    char name[64] = {};
    record->dispatcher(record, effGetProgramName, 0, 0, name, 0);
    EXPECT_STREQ(name, "Current");
    std::memset(name, 0, sizeof(name));
    EXPECT_EQ(record->dispatcher(record, effGetProgramNameIndexed, 0, 0, name, 0), 1);
    EXPECT_STREQ(name, "Current");
    std::strcpy(name, "untouched");
    EXPECT_EQ(record->dispatcher(record, effGetProgramNameIndexed, 1, 0, name, 0), 0);
    EXPECT_STREQ(name, "untouched");
    EXPECT_EQ(record->dispatcher(record, effGetProgram, 0, 0, nullptr, 0), 0);
}

TEST_P(ProgramStore, SelectingAPresetAppliesItAndTellsTheHostParameterByParameter)
{
    // A value the effect quantizes shows the read-back automation apart from the given one.
    const int fineTune = index(ParamId::FineTune);
    effect->programs()[2].setParameter(fineTune, 0.2f);

    effect->selectPreset(2);

    std::vector<HostCall> expected;
    for (int i = 0; i < v().numParams; ++i) {
        const float given = effect->programs()[2].getParameter(i);
        expected.push_back({audioMasterBeginEdit, i, 0.0f});
        expected.push_back({audioMasterAutomate, i, effect->getParameter(i)});
        expected.push_back({audioMasterAutomate, i, given});
        expected.push_back({audioMasterEndEdit, i, 0.0f});
    }
    expected.push_back({audioMasterUpdateDisplay, 0, 0.0f});
    EXPECT_EQ(host().edits(), expected);
    EXPECT_EQ(host().edits()[4 * fineTune + 1].opt, static_cast<float>(1.0 / 3.0));
    EXPECT_EQ(host().edits()[4 * fineTune + 2].opt, 0.2f);

    EXPECT_EQ(effect->getPresetIndex(), 2);
    EXPECT_EQ(effect->getParameter(index(ParamId::Mode)), 1.0f);
    EXPECT_EQ(effect->getParameter(index(ParamId::Drive)), static_cast<float>(0.535));
    EXPECT_EQ(effect->getParameter(index(ParamId::Output)), static_cast<float>(0.4984));
    EXPECT_STREQ(effect->programs()[0].name(), "Mastering First Aid");
    // The working program mirrors the slot, the slot keeps what it held.
    for (int i = 0; i < v().numParams; ++i)
        EXPECT_EQ(effect->programs()[0].getParameter(i), effect->programs()[2].getParameter(i)) << i;
    EXPECT_EQ(effect->programs()[2].getParameter(fineTune), 0.2f);
}

TEST_P(ProgramStore, EditsFollowTheCurrentPresetUntilAnotherIsSelected)
{
    const int drive = index(ParamId::Drive);
    effect->selectPreset(2);
    effect->setParameter(drive, 0.7f);
    EXPECT_EQ(effect->programs()[2].getParameter(drive), 0.7f);
    EXPECT_EQ(effect->programs()[0].getParameter(drive), 0.7f);
    EXPECT_EQ(effect->programs()[1].getParameter(drive), 0.5f);

    effect->selectPreset(3);
    EXPECT_EQ(effect->getParameter(drive), 0.55f);
    effect->selectPreset(2);
    EXPECT_EQ(effect->getParameter(drive), 0.7f);

    // Selecting slot 0 re-applies the working program.
    effect->setParameter(drive, 0.6f);
    effect->selectPreset(0);
    EXPECT_EQ(effect->getParameter(drive), 0.6f);
    EXPECT_STREQ(effect->programs()[0].name(), "Mastering First Aid");
}

TEST_P(ProgramStore, GlobalParametersReachEverySlotAndSurvivePresetChanges)
{
    effect->selectPreset(5);
    for (int p = 0; p < kParamIdCount; ++p) {
        const ParamId id = static_cast<ParamId>(p);
        const int i = index(id);
        if (i >= v().numParams || !v().isGlobal(id))
            continue;
        const float value = id == ParamId::Fat && !v().hasFat ? 0.0f : 1.0f;
        effect->setParameter(i, value);
        for (int slot = 0; slot < CPresetSystemEffect::kNumSlots; ++slot)
            EXPECT_EQ(effect->programs()[slot].getParameter(i), value) << "parameter " << i << " slot " << slot;
    }
    const int meterType = index(ParamId::MeterType);
    effect->selectPreset(9);
    EXPECT_EQ(effect->getParameter(meterType), 1.0f);
    // A non-global parameter stays in its preset.
    effect->setParameter(index(ParamId::Knee), 0.9f);
    EXPECT_EQ(effect->programs()[5].getParameter(index(ParamId::Knee)), 0.0f);
}

TEST_P(ProgramStore, ParametersSetWhileSelectingReachOnlyTheEngineUnlessGlobal)
{
    const int drive = index(ParamId::Drive);
    const int highFreq = index(ParamId::HighFreq);
    const int meterType = index(ParamId::MeterType);
    // The host reacts to an automation call in the middle of the selection.
    host().onCall = [&](const HostCall& call) {
        if (call.opcode == audioMasterBeginEdit && call.index == highFreq) {
            effect->setParameter(drive, 0.9f);
            effect->setParameter(meterType, 1.0f);
        }
    };
    effect->selectPreset(2);
    host().onCall = nullptr;

    EXPECT_EQ(effect->getParameter(drive), 0.9f); // the engine took it
    EXPECT_EQ(effect->programs()[2].getParameter(drive), static_cast<float>(0.535));
    EXPECT_EQ(effect->programs()[0].getParameter(drive), static_cast<float>(0.535));
    for (int slot = 0; slot < CPresetSystemEffect::kNumSlots; ++slot)
        EXPECT_EQ(effect->programs()[slot].getParameter(meterType), 1.0f) << slot;
    EXPECT_EQ(effect->getParameter(meterType), 1.0f);
    EXPECT_FALSE(effect->isSelecting());
}

TEST_P(ProgramStore, SelectingOutsideTheSlotsChangesNothing)
{
    const StoreSnapshot before = snapshot(*effect);
    effect->selectPreset(-1);
    effect->selectPreset(31);
    EXPECT_EQ(snapshot(*effect), before);
    EXPECT_TRUE(host().edits().empty());
}

TEST_P(ProgramStore, RenamingCutsTo24CharactersAndShowsTheName)
{
    effect->selectPreset(4);
    host().calls.clear();
    char longName[] = "A thirty character long name!!";
    AEffect* record = effect->getAeffect();
    record->dispatcher(record, effSetProgramName, 0, 0, longName, 0);
    EXPECT_STREQ(effect->programs()[4].name(), "A thirty character long ");
    EXPECT_STREQ(effect->programs()[0].name(), "A thirty character long ");
    ASSERT_EQ(display.names.size(), 1u);
    EXPECT_EQ(display.names[0], "A thirty character long ");
    EXPECT_EQ(host().count(audioMasterUpdateDisplay), 0);

    // The editor's own name field: no echo to it, one display update.
    effect->editPresetName("Typed");
    EXPECT_STREQ(effect->programs()[4].name(), "Typed");
    EXPECT_STREQ(effect->programs()[0].name(), "Typed");
    EXPECT_EQ(display.names.size(), 1u);
    EXPECT_EQ(host().count(audioMasterUpdateDisplay), 1);
    EXPECT_STREQ(effect->programs()[3].name(), "Mix First Aid 1");
}

TEST_P(ProgramStore, ReloadingTheFactoryTableTellsNobody)
{
    effect->selectPreset(6);
    effect->setParameter(index(ParamId::Drive), 0.1f);
    host().calls.clear();
    effect->loadFactoryPresets();
    EXPECT_TRUE(host().calls.empty());
    EXPECT_EQ(effect->getPresetIndex(), 6);
    EXPECT_EQ(effect->programs()[6].getParameter(index(ParamId::Drive)), 0.58f);
    EXPECT_EQ(effect->getParameter(index(ParamId::Drive)), 0.1f);
}
