// Preset and bank files: byte layout, round trips, the old and the other
// build's layouts, and refusals that leave the program store untouched.
#include "PresetTestSupport.h"

#include "platform/FileAccess.h"
#include "presets/FactoryPresets.h"
#include "presets/PresetFiles.h"

#include <cstring>

using namespace presettest;

namespace {

std::vector<uint8_t> bytesOf(const std::string& path)
{
    return readFileBytes(path, 1 << 20).value_or(std::vector<uint8_t>{});
}

// A file made by hand: header, then `records` records of `values` floats;
// record r is named name(r) and holds value(r, k) at position k.
std::vector<uint8_t> makeFile(char kind, int records, int values, const std::function<std::string(int)>& name,
                              const std::function<float(int, int)>& value, const char* magic = "BARN")
{
    std::vector<uint8_t> bytes(magic, magic + 4);
    bytes.push_back(static_cast<uint8_t>(kind));
    for (int r = 0; r < records; ++r) {
        std::string n = name(r);
        n.resize(24, '\0');
        bytes.insert(bytes.end(), n.begin(), n.end());
        for (int k = 0; k < values; ++k) {
            const float f = value(r, k);
            uint8_t le[4];
            std::memcpy(le, &f, 4); // the test machines are little-endian like the format
            bytes.insert(bytes.end(), le, le + 4);
        }
    }
    return bytes;
}

// A value that tells which parameter it belongs to.
float tag(ParamId id)
{
    return static_cast<float>(static_cast<int>(id) + 1) / 64.0f;
}

} // namespace

class PresetFiles : public EffectTest {
protected:
    std::string write(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        const std::string path = dir.file(name);
        EXPECT_TRUE(writeFileAtomically(path, bytes));
        return path;
    }
    ScratchDir dir;
    RecordingMessages messages;
};
PRESET_TEST_BUILDS(PresetFiles);

TEST_P(PresetFiles, BankHasTheSpecifiedBytesAndRestoresEverySlot)
{
    const std::string path = dir.file("bank.nub");
    effect->programs()[7].setName("Exactly twenty-four chrs");
    ASSERT_EQ(saveBank(*effect, path), FileStatus::Ok);
    const std::vector<uint8_t> bytes = bytesOf(path);
    const size_t record = 24 + 4 * static_cast<size_t>(v().numParams);
    ASSERT_EQ(bytes.size(), v().hasFat ? 5957u : 6701u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 5 + 24), std::string("BARN7Current", 12) + std::string(17, '\0'));
    EXPECT_EQ(std::string(bytes.begin() + 5 + record, bytes.begin() + 5 + record + 8), std::string("Default\0", 8));
    EXPECT_EQ(bytes[5 + 7 * record + 23], 's'); // no terminator at 24 characters
    const auto saved = snapshot(*effect);
    effect->programs()[7].setName("changed");
    effect->selectPreset(12);
    effect->setParameter(index(ParamId::Drive), 0.99f);
    host().calls.clear();
    ASSERT_EQ(loadBank(*effect, path, &messages), FileStatus::Ok);
    EXPECT_EQ(snapshot(*effect), saved);
    EXPECT_EQ(host().count(audioMasterBeginEdit), v().numParams); // slot 0 selected
    EXPECT_EQ(host().count(audioMasterUpdateDisplay), 1);
    EXPECT_EQ(display.names.back(), "Current");
    EXPECT_TRUE(messages.shown.empty());
}

TEST_P(PresetFiles, PresetReplacesTheCurrentSlotAndEitherMagicIsRead)
{
    effect->selectPreset(19);
    effect->setParameter(index(ParamId::Drive), 0.25f);
    const std::string path = dir.file("one.nur");
    ASSERT_EQ(savePreset(*effect, path), FileStatus::Ok);
    std::vector<uint8_t> bytes = bytesOf(path);
    ASSERT_EQ(bytes.size(), v().hasFat ? 197u : 221u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data())), "BARN!Guitar Track");

    effect->selectPreset(7);
    const CProgram slot6 = effect->programs()[6];
    std::memcpy(bytes.data(), "NRAB", 4);
    ASSERT_EQ(loadPreset(*effect, write("swapped.nur", bytes), &messages), FileStatus::Ok);
    EXPECT_EQ(effect->getPresetIndex(), 7);
    EXPECT_STREQ(effect->programs()[7].name(), "Guitar Track");
    EXPECT_STREQ(effect->programs()[0].name(), "Guitar Track");
    EXPECT_EQ(effect->getParameter(index(ParamId::Drive)), 0.25f);
    EXPECT_EQ(serialisePreset(effect->programs()[6], v()), serialisePreset(slot6, v()));
    EXPECT_EQ(display.names.back(), "Guitar Track");
}

TEST_P(PresetFiles, RefusedFilesShowTheirMessageAndChangeNothing)
{
    const int n = v().numParams;
    const auto name = [](int) { return "x"; };
    const auto value = [](int, int) { return 0.25f; };
    std::vector<uint8_t> wave = {'R', 'I', 'F', 'F'};
    wave.resize(6000);
    std::vector<uint8_t> cut = makeFile('7', 31, n, name, value);
    cut.pop_back();
    std::vector<uint8_t> longer = makeFile('!', 1, n, name, value);
    longer.push_back(0);
    const char* invalid = "Error #01: Invalid preset file!";
    const struct {
        std::vector<uint8_t> bytes;
        bool bank;
        FileStatus status;
        const char* message;
    } cases[] = {
        {makeFile('!', 1, n, name, value), true, FileStatus::NotABank, "Not a bank file!"},
        {makeFile('7', 31, n, name, value), false, FileStatus::NotAPreset, "Error #02: Not a preset file!"},
        {wave, true, FileStatus::InvalidFile, invalid},
        {wave, false, FileStatus::InvalidFile, invalid},
        {{}, false, FileStatus::InvalidFile, invalid},
        {{'B', 'A', 'R', 'N', '7'}, true, FileStatus::InvalidFile, invalid},
        {cut, true, FileStatus::InvalidFile, invalid},
        {longer, false, FileStatus::InvalidFile, invalid},
        {makeFile('7', 40, n, name, value), true, FileStatus::InvalidFile, invalid},
    };
    effect->selectPreset(4);
    const auto before = snapshot(*effect);
    host().calls.clear();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.size());
        messages.shown.clear();
        const std::string path = write("refused", c.bytes);
        EXPECT_EQ(c.bank ? loadBank(*effect, path, &messages) : loadPreset(*effect, path, &messages), c.status);
        EXPECT_EQ(messages.shown, std::vector<std::string>{c.message});
    }
    // Missing files and directories fail silently.
    messages.shown.clear();
    EXPECT_EQ(loadBank(*effect, dir.file("missing.nub"), &messages), FileStatus::CannotOpen);
    EXPECT_EQ(loadPreset(*effect, dir.path().string(), &messages), FileStatus::CannotOpen);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(snapshot(*effect), before);
    EXPECT_TRUE(host().calls.empty());
}

TEST_P(PresetFiles, SavesReportFailureAndKeepTheOldFileWhole)
{
    const std::string path = dir.file("keep.nur");
    ASSERT_EQ(savePreset(*effect, path), FileStatus::Ok);
    const std::vector<uint8_t> old = bytesOf(path);
    EXPECT_EQ(savePreset(*effect, dir.file("no/such/dir/x.nur")), FileStatus::WriteFailed);
    std::filesystem::create_directory(dir.file("occupied.nub"));
    EXPECT_EQ(saveBank(*effect, dir.file("occupied.nub")), FileStatus::WriteFailed);
    EXPECT_EQ(bytesOf(path), old);

    // A read-only file loads; the working directory stays where it was.
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    const std::filesystem::path cwd = std::filesystem::current_path();
    EXPECT_EQ(loadPreset(*effect, path, &messages), FileStatus::Ok);
    EXPECT_EQ(std::filesystem::current_path(), cwd);
    using Files = std::filesystem::directory_iterator;
    EXPECT_EQ(std::distance(Files(dir.path()), Files()), 2); // the file and the directory: no temporary left
}

TEST_P(PresetFiles, OldThirtyValueBankFillsThirtySlotsByParameter)
{
    const Variant& old = variants::kAmbrel2; // the order of the old layouts
    const std::vector<uint8_t> bytes = makeFile(
        '7', 30, 30, [](int r) { return "Old " + std::to_string(r); },
        [&](int r, int k) { return old.paramAt(k) == ParamId::Drive ? 0.01f * r : tag(old.paramAt(k)); });
    ASSERT_EQ(bytes.size(), 4325u);
    const int lr = index(ParamId::LR);
    effect->programs()[5].setParameter(lr, 0.7f);
    ASSERT_EQ(loadBank(*effect, write("old.nub", bytes), &messages), FileStatus::Ok);

    for (int slot = 0; slot < 30; ++slot) {
        EXPECT_EQ(effect->programs()[slot].name(), "Old " + std::to_string(slot));
        EXPECT_EQ(effect->programs()[slot].getParameter(index(ParamId::Drive)), 0.01f * slot);
        EXPECT_EQ(effect->programs()[slot].getParameter(index(ParamId::Long)), tag(ParamId::Long));
        EXPECT_EQ(effect->programs()[slot].getParameter(index(ParamId::MeterScale)), tag(ParamId::MeterScale));
    }
    EXPECT_EQ(effect->programs()[5].getParameter(lr), 0.7f); // L R is not in the old layout
    EXPECT_STREQ(effect->programs()[30].name(), "Track Tape Fast");
    EXPECT_EQ(effect->programs()[30].getParameter(index(ParamId::Drive)), 0.5f);
}

TEST_P(PresetFiles, TheOtherBuildsFilesAreReadByParameter)
{
    const Variant& other = v().hasFat ? variants::kAmbrel : variants::kAmbrel2;
    const auto value = [&](int, int k) { return other.paramAt(k) == ParamId::None ? 0.9f : tag(other.paramAt(k)); };
    effect->selectPreset(3);
    const CProgram before = effect->programs()[3];
    const std::vector<uint8_t> preset = makeFile('!', 1, other.numParams, [](int) { return "Other"; }, value);
    ASSERT_EQ(loadPreset(*effect, write("other.nur", preset), &messages), FileStatus::Ok);
    for (int i = 0; i < v().numParams; ++i) {
        const ParamId id = v().paramAt(i);
        const bool carried = id != ParamId::None && id != ParamId::Fat;
        EXPECT_EQ(effect->programs()[3].getParameter(i), carried ? tag(id) : before.getParameter(i)) << i;
    }
    EXPECT_EQ(effect->getParameter(index(ParamId::Long)), tag(ParamId::Long));
}
