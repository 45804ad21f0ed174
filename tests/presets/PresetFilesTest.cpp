// Preset and bank files: byte layouts, round trips, the old and the other
// build's layouts, and every refusal leaving the program store untouched.
#include "PresetTestSupport.h"

#include "presets/FactoryPresets.h"
#include "presets/FileAccess.h"
#include "presets/PresetFiles.h"

#include <sys/stat.h>

#include <cstring>
#include <fstream>

using namespace presettest;

namespace {

std::vector<uint8_t> readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeAll(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void putFloat(std::vector<uint8_t>& out, float value)
{
    uint32_t bits = 0;
    std::memcpy(&bits, &value, 4);
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(bits >> (8 * i)));
}

float getFloat(const std::vector<uint8_t>& bytes, size_t at)
{
    uint32_t bits = 0;
    for (int i = 0; i < 4; ++i)
        bits |= static_cast<uint32_t>(bytes[at + i]) << (8 * i);
    float f = 0;
    std::memcpy(&f, &bits, 4);
    return f;
}

// A file built by hand: header, then records of `values` floats each, record r
// named name(r) with value k = valueOf(r, k).
std::vector<uint8_t> makeFile(char kind, int records, int values, const std::function<std::string(int)>& name,
                              const std::function<float(int, int)>& valueOf, const char* magic = "BARN")
{
    std::vector<uint8_t> bytes(magic, magic + 4);
    bytes.push_back(static_cast<uint8_t>(kind));
    for (int r = 0; r < records; ++r) {
        std::string n = name(r);
        n.resize(24, '\0');
        bytes.insert(bytes.end(), n.begin(), n.end());
        for (int k = 0; k < values; ++k)
            putFloat(bytes, valueOf(r, k));
    }
    return bytes;
}

} // namespace

class PresetFiles : public EffectTest {
protected:
    ScratchDir dir;
    RecordingMessages messages;
};
PRESET_TEST_BUILDS(PresetFiles);

TEST_P(PresetFiles, BankSavedAfterConstructionHasTheSpecifiedBytes)
{
    const std::string path = dir.file("factory.nub");
    ASSERT_EQ(saveBank(*effect, path), FileStatus::Ok);
    const std::vector<uint8_t> bytes = readAll(path);
    const int n = v().numParams;
    ASSERT_EQ(bytes.size(), v().hasFat ? 5957u : 6701u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 5), "BARN7");

    const FactoryPresetTable table = factoryPresets(v());
    const size_t record = 24 + 4 * static_cast<size_t>(n);
    for (int slot = 0; slot < 31; ++slot) {
        const size_t at = 5 + slot * record;
        std::string name = table[slot].name;
        name.resize(24, '\0'); // the name, then zero bytes to the end of the field
        EXPECT_EQ(std::string(bytes.begin() + at, bytes.begin() + at + 24), name) << slot;
        for (int k = 0; k < n; ++k)
            EXPECT_EQ(getFloat(bytes, at + 24 + 4 * k), table[slot].values[static_cast<size_t>(k)]) << slot;
    }
}

TEST_P(PresetFiles, BankRoundTripRestoresEverySlotIncluding24CharacterNames)
{
    const std::string path = dir.file("edited.nub");
    CProgram* programs = effect->programs();
    programs[7].setName("Exactly twenty-four chrs");
    programs[8].setName("Short");
    programs[9].setParameter(index(ParamId::Knee), 0.123f);
    ASSERT_EQ(saveBank(*effect, path), FileStatus::Ok);
    const std::vector<uint8_t> bytes = readAll(path);
    const size_t record = 24 + 4 * static_cast<size_t>(v().numParams);
    // No terminator at 24 characters: the value field follows the last letter.
    EXPECT_EQ(bytes[5 + 7 * record + 23], 's');
    const StoreSnapshot saved = snapshot(*effect);

    effect->loadFactoryPresets();
    effect->selectPreset(12);
    effect->setParameter(index(ParamId::Drive), 0.99f);
    host().calls.clear();
    display.names.clear();
    ASSERT_EQ(loadBank(*effect, path, &messages), FileStatus::Ok);

    const StoreSnapshot loaded = snapshot(*effect);
    EXPECT_EQ(loaded.names, saved.names);
    EXPECT_EQ(loaded.values, saved.values);
    EXPECT_EQ(loaded.current, 0);
    EXPECT_STREQ(programs[7].name(), "Exactly twenty-four chrs");
    EXPECT_TRUE(messages.shown.empty());
    // Slot 0 was selected: every parameter went to the host, then one display update.
    EXPECT_EQ(host().count(audioMasterBeginEdit), v().numParams);
    EXPECT_EQ(host().count(audioMasterUpdateDisplay), 1);
    EXPECT_EQ(display.namesChanged, 1);
    ASSERT_FALSE(display.names.empty());
    EXPECT_EQ(display.names.back(), "Current");
}

TEST_P(PresetFiles, PresetLoadReplacesTheCurrentSlotAndAppliesIt)
{
    const std::string path = dir.file("one.nur");
    effect->selectPreset(19);
    effect->setParameter(index(ParamId::Drive), 0.25f);
    ASSERT_EQ(savePreset(*effect, path), FileStatus::Ok);
    const std::vector<uint8_t> bytes = readAll(path);
    ASSERT_EQ(bytes.size(), v().hasFat ? 197u : 221u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 5), "BARN!");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data()) + 5), "Guitar Track");

    effect->selectPreset(7);
    const std::vector<float> slot6Before = snapshot(*effect).values[6];
    display.names.clear();
    ASSERT_EQ(loadPreset(*effect, path, &messages), FileStatus::Ok);
    EXPECT_EQ(effect->getPresetIndex(), 7);
    EXPECT_STREQ(effect->programs()[7].name(), "Guitar Track");
    EXPECT_STREQ(effect->programs()[0].name(), "Guitar Track");
    EXPECT_EQ(effect->programs()[7].getParameter(index(ParamId::Drive)), 0.25f);
    EXPECT_EQ(effect->getParameter(index(ParamId::Drive)), 0.25f);
    EXPECT_EQ(effect->getParameter(index(ParamId::Knee)), 0.75f);
    EXPECT_EQ(snapshot(*effect).values[6], slot6Before);
    ASSERT_EQ(display.names.size(), 1u);
    EXPECT_EQ(display.names[0], "Guitar Track");
}

TEST_P(PresetFiles, EitherByteOrderOfTheMagicIsRead)
{
    const int n = v().numParams;
    const int drive = index(ParamId::Drive);
    const std::vector<uint8_t> bytes = makeFile(
        '!', 1, n, [](int) { return "Swapped"; }, [&](int, int k) { return k == drive ? 0.3f : 0.5f; }, "NRAB");
    const std::string path = dir.file("swapped.nur");
    writeAll(path, bytes);
    ASSERT_EQ(loadPreset(*effect, path, &messages), FileStatus::Ok);
    EXPECT_EQ(effect->getParameter(drive), 0.3f);
    EXPECT_STREQ(effect->programs()[0].name(), "Swapped");
}

TEST_P(PresetFiles, RefusedFilesShowTheirMessageAndChangeNothing)
{
    const int n = v().numParams;
    const auto named = [](int r) { return "Slot " + std::to_string(r); };
    const auto quarter = [](int, int) { return 0.25f; };
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        bool asBank;
        FileStatus status;
        const char* message;
    };
    std::vector<uint8_t> wave = {'R', 'I', 'F', 'F', 0x24, 0, 0, 0, 'W', 'A', 'V', 'E'};
    wave.resize(6000, 0);
    std::vector<uint8_t> truncatedBank = makeFile('7', 31, n, named, quarter);
    truncatedBank.resize(truncatedBank.size() - 100);
    std::vector<uint8_t> longPreset = makeFile('!', 1, n, named, quarter);
    longPreset.push_back(0);
    const std::vector<uint8_t> hugeBank = makeFile('7', 40, n, named, quarter);
    const std::vector<Case> cases = {
        {"preset given as bank", makeFile('!', 1, n, named, quarter), true, FileStatus::NotABank, "Not a bank file!"},
        {"bank given as preset", makeFile('7', 31, n, named, quarter), false, FileStatus::NotAPreset,
         "Error #02: Not a preset file!"},
        {"sound file as bank", wave, true, FileStatus::InvalidFile, "Error #01: Invalid preset file!"},
        {"sound file as preset", wave, false, FileStatus::InvalidFile, "Error #01: Invalid preset file!"},
        {"text as preset", {'h', 'e', 'l', 'l', 'o', '\n'}, false, FileStatus::InvalidFile,
         "Error #01: Invalid preset file!"},
        {"header only", {'B', 'A', 'R', 'N'}, true, FileStatus::InvalidFile, "Error #01: Invalid preset file!"},
        {"empty", {}, false, FileStatus::InvalidFile, "Error #01: Invalid preset file!"},
        {"truncated bank", truncatedBank, true, FileStatus::InvalidFile, "Error #01: Invalid preset file!"},
        {"preset one byte long", longPreset, false, FileStatus::InvalidFile, "Error #01: Invalid preset file!"},
        {"bank with too many records", hugeBank, true, FileStatus::InvalidFile, "Error #01: Invalid preset file!"},
        {"header of a bank alone", {'B', 'A', 'R', 'N', '7'}, true, FileStatus::InvalidFile,
         "Error #01: Invalid preset file!"},
    };
    effect->selectPreset(4);
    effect->setParameter(index(ParamId::Knee), 0.6f);
    const StoreSnapshot before = snapshot(*effect);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = dir.file("refused");
        writeAll(path, c.bytes);
        messages.shown.clear();
        host().calls.clear();
        const FileStatus status = c.asBank ? loadBank(*effect, path, &messages) : loadPreset(*effect, path, &messages);
        EXPECT_EQ(status, c.status);
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0], c.message);
        EXPECT_EQ(snapshot(*effect), before);
        EXPECT_TRUE(host().calls.empty());
    }

    // A file that is not there, or a directory, fails silently.
    messages.shown.clear();
    EXPECT_EQ(loadBank(*effect, dir.file("missing.nub"), &messages), FileStatus::CannotOpen);
    EXPECT_EQ(loadPreset(*effect, dir.path().string(), &messages), FileStatus::CannotOpen);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(snapshot(*effect), before);
}

TEST_P(PresetFiles, ReadOnlyFilesLoadAndTheWorkingDirectoryStays)
{
    const std::string path = dir.file("readonly.nub");
    ASSERT_EQ(saveBank(*effect, path), FileStatus::Ok);
    ::chmod(path.c_str(), 0444);
    const std::filesystem::path cwd = std::filesystem::current_path();
    effect->programs()[3].setName("changed");
    EXPECT_EQ(loadBank(*effect, path, &messages), FileStatus::Ok);
    EXPECT_STREQ(effect->programs()[3].name(), "Mix First Aid 1");
    EXPECT_EQ(readAll(path).size(), v().hasFat ? 5957u : 6701u);
    EXPECT_EQ(std::filesystem::current_path(), cwd);
}

TEST_P(PresetFiles, AFailedSaveReportsItAndKeepsTheOldFile)
{
    const std::string path = dir.file("keep.nur");
    ASSERT_EQ(savePreset(*effect, path), FileStatus::Ok);
    const std::vector<uint8_t> old = readAll(path);
    // Saving into a directory that does not exist, or over a directory, fails.
    EXPECT_EQ(savePreset(*effect, dir.file("no/such/dir/x.nur")), FileStatus::WriteFailed);
    EXPECT_EQ(saveBank(*effect, dir.path().string()), FileStatus::WriteFailed);
    std::filesystem::create_directory(dir.file("occupied.nub"));
    EXPECT_EQ(saveBank(*effect, dir.file("occupied.nub")), FileStatus::WriteFailed);
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("occupied.nub")));

    // Overwriting replaces the contents and leaves no temporary file behind.
    effect->editPresetName("Second");
    ASSERT_EQ(savePreset(*effect, path), FileStatus::Ok);
    EXPECT_NE(readAll(path), old);
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        files += entry.is_regular_file();
    EXPECT_EQ(files, 1);
}

TEST_P(PresetFiles, OldThirtyValueBankFillsThirtySlotsByParameter)
{
    // Old banks hold 30 records of the first 30 values in the order of the build with FAT.
    const Variant& old = variants::kAmbrel2;
    const auto valueOf = [&](int r, int k) {
        const ParamId id = old.paramAt(k);
        if (id == ParamId::Drive)
            return 0.01f * static_cast<float>(r);
        if (id == ParamId::FineTune)
            return 2.0f / 3.0f;
        if (id == ParamId::Brickwall)
            return 0.0f;
        return 0.5f;
    };
    const std::vector<uint8_t> bytes = makeFile(
        '7', 30, 30, [](int r) { return "Legacy " + std::to_string(r); }, valueOf);
    ASSERT_EQ(bytes.size(), 4325u);
    const std::string path = dir.file("old.nub");
    writeAll(path, bytes);

    const int lr = index(ParamId::LR);
    effect->programs()[5].setParameter(lr, 0.7f);
    const StoreSnapshot before = snapshot(*effect);
    ASSERT_EQ(loadBank(*effect, path, &messages), FileStatus::Ok);

    const CProgram* programs = effect->programs();
    for (int slot = 0; slot < 30; ++slot) {
        EXPECT_EQ(programs[slot].name(), "Legacy " + std::to_string(slot));
        EXPECT_EQ(programs[slot].getParameter(index(ParamId::Drive)), 0.01f * static_cast<float>(slot));
        EXPECT_EQ(programs[slot].getParameter(index(ParamId::FineTune)), 2.0f / 3.0f);
        EXPECT_EQ(programs[slot].getParameter(index(ParamId::Brickwall)), 0.0f);
    }
    // L R is not in the old layout; slot 30 is not either, though selecting
    // slot 0 copies its global parameters into every slot.
    EXPECT_EQ(programs[5].getParameter(lr), 0.7f);
    for (int i = 0; i < v().numParams; ++i) {
        const ParamId id = v().paramAt(i);
        const float expected = id != ParamId::None && v().isGlobal(id) ? programs[0].getParameter(i)
                                                                       : before.values[30][static_cast<size_t>(i)];
        EXPECT_EQ(programs[30].getParameter(i), expected) << i;
    }
    EXPECT_EQ(snapshot(*effect).names[30], before.names[30]);
    EXPECT_EQ(effect->getPresetIndex(), 0);
}

TEST_P(PresetFiles, OldThirtyValuePresetIsReadByParameter)
{
    const Variant& old = variants::kAmbrel2;
    const std::vector<uint8_t> bytes = makeFile(
        '!', 1, 30, [](int) { return "Old preset"; },
        [&](int, int k) { return old.paramAt(k) == ParamId::MeterScale ? 1.0f : 0.0f; });
    ASSERT_EQ(bytes.size(), 149u);
    const std::string path = dir.file("old.nur");
    writeAll(path, bytes);
    ASSERT_EQ(loadPreset(*effect, path, &messages), FileStatus::Ok);
    EXPECT_EQ(effect->getParameter(index(ParamId::MeterScale)), 1.0f);
    EXPECT_EQ(effect->getParameter(index(ParamId::FineTune)), 0.0f);
    EXPECT_EQ(effect->getParameter(index(ParamId::Brickwall)), 0.0f);
}

TEST_P(PresetFiles, TheOtherBuildsFilesAreReadByParameter)
{
    const Variant& other = v().hasFat ? variants::kAmbrel : variants::kAmbrel2;
    // Each named parameter of the writer holds a value that tells which it is.
    const auto valueOf = [&](int, int k) {
        const ParamId id = other.paramAt(k);
        if (id == ParamId::None)
            return 0.9f; // unnamed positions carry nothing
        return static_cast<float>(static_cast<int>(id) + 1) / 64.0f;
    };
    const std::vector<uint8_t> bytes = makeFile(
        '!', 1, other.numParams, [](int) { return "From the other build"; }, valueOf);
    const std::string path = dir.file("other.nur");
    writeAll(path, bytes);
    effect->selectPreset(3);
    const StoreSnapshot before = snapshot(*effect);
    ASSERT_EQ(loadPreset(*effect, path, &messages), FileStatus::Ok);
    const CProgram& slot = effect->programs()[3];
    EXPECT_STREQ(slot.name(), "From the other build");
    for (int i = 0; i < v().numParams; ++i) {
        const ParamId id = v().paramAt(i);
        const bool carried = id != ParamId::None && id != ParamId::Fat;
        const float expected = carried ? static_cast<float>(static_cast<int>(id) + 1) / 64.0f
                                       : before.values[3][static_cast<size_t>(i)];
        EXPECT_EQ(slot.getParameter(i), expected) << i;
    }

    // A whole bank of the other build: its 31 records land by parameter too.
    const std::vector<uint8_t> bank = makeFile(
        '7', 31, other.numParams, [](int r) { return "Bank " + std::to_string(r); }, valueOf);
    writeAll(path, bank);
    ASSERT_EQ(loadBank(*effect, path, &messages), FileStatus::Ok);
    EXPECT_STREQ(effect->programs()[30].name(), "Bank 30");
    const int longIndex = index(ParamId::Long);
    EXPECT_EQ(effect->programs()[30].getParameter(longIndex), static_cast<float>(int(ParamId::Long) + 1) / 64.0f);
    EXPECT_EQ(effect->getParameter(longIndex), static_cast<float>(int(ParamId::Long) + 1) / 64.0f);
}

TEST(PresetFileParsing, ParsesEitherKindForTheCommandLineHost)
{
    const Variant& v = variants::kAmbrel2;
    CProgram program(v);
    program.setName("Probe");
    program.setParameter(4, 0.625f);
    const ParsedPresetFile preset = parseProgramFile(serialisePreset(program, v), v);
    ASSERT_EQ(preset.status, FileStatus::Ok);
    EXPECT_EQ(preset.kind, PresetFileKind::Preset);
    EXPECT_EQ(preset.layout, FileLayout::ThisBuild);
    ASSERT_EQ(preset.records.size(), 1u);
    EXPECT_EQ(preset.records[0].name, "Probe");
    EXPECT_EQ(preset.records[0].values[4], 0.625f);
    EXPECT_TRUE(preset.records[0].present[41]);
    EXPECT_FALSE(preset.records[0].present[42]);

    // The same bytes read by the build without FAT: carried by parameter.
    const ParsedPresetFile other = parseProgramFile(serialisePreset(program, v), variants::kAmbrel);
    ASSERT_EQ(other.status, FileStatus::Ok);
    EXPECT_EQ(other.layout, FileLayout::OtherBuild);
    EXPECT_EQ(other.records[0].values[4], 0.625f);
    EXPECT_EQ(other.records[0].values[28], 1.0f); // FineTune moves from 24 to 28
    EXPECT_FALSE(other.records[0].present[31]);   // no FAT to carry
    EXPECT_FALSE(other.records[0].present[23]);   // unnamed

    std::vector<CProgram> slots(31, CProgram(v));
    const ParsedPresetFile bank = parseProgramFile(serialiseBank(slots, v), v);
    EXPECT_EQ(bank.kind, PresetFileKind::Bank);
    EXPECT_EQ(bank.records.size(), 31u);
    EXPECT_EQ(parseProgramFile({'B', 'A', 'R', 'N', 'x'}, v).status, FileStatus::InvalidFile);
    EXPECT_STREQ(fileStatusMessage(FileStatus::Ok), nullptr);
}
