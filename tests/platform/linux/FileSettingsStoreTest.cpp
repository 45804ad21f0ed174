// The per-user settings file: layout on disk, round trips, defensive reads,
// failures and concurrent writers.
#include "platform/linux/FileSettingsStore.h"

#include "../../presets/PresetTestSupport.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

using namespace presettest;

namespace {

std::string readText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeText(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

// Sets an environment variable for the scope, restoring it afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name))
            old_ = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

std::string writerValue(int writer, int k)
{
    char name[32];
    std::snprintf(name, sizeof(name), "w%dv%d", writer, k);
    return name;
}

} // namespace

TEST(FileSettingsStore, KeepsTheKeyPathNamesAndBinaryFormats)
{
    ScratchDir home;
    FileSettingsStore store(home.path().string());
    ASSERT_EQ(store.writeFloat("", "vuintegration", 0.5f), 0);
    ASSERT_EQ(store.write("MemoA", {{"param  7", SettingsStore::binaryFloat(0.25f)},
                                    {"name", SettingsStore::string("Mix Finalize 1")}}),
              0);

    const std::string root = home.file("Nurwerk/Ambrel20/values");
    EXPECT_EQ(readText(root), "NurwerkSettings 1\nbinary\tvuintegration\t0000003f\n");
    EXPECT_EQ(readText(home.file("Nurwerk/Ambrel20/MemoA/values")),
              "NurwerkSettings 1\nbinary\tparam  7\t0000803e\nstring\tname\t4d69782046696e616c697a652031\n");

    EXPECT_EQ(store.readFloat("", "vuintegration"), 0.5f);
    const auto memo = store.read("MemoA", {"param  7", "name", "param  8"});
    ASSERT_TRUE(memo);
    ASSERT_EQ(memo->size(), 2u);
    EXPECT_EQ(SettingsStore::asFloat(*SettingsStore::find(*memo, "param  7")), 0.25f);
    EXPECT_EQ(SettingsStore::asString(*SettingsStore::find(*memo, "name")), "Mix Finalize 1");
    EXPECT_FALSE(store.read("MemoB", {"name"}));

    // Writing again replaces a value and keeps the others.
    ASSERT_EQ(store.writeFloat("MemoA", "param  7", 0.75f), 0);
    EXPECT_EQ(store.readFloat("MemoA", "param  7"), 0.75f);
    EXPECT_EQ(SettingsStore::asString(*SettingsStore::find(*store.read("MemoA", {"name"}), "name")), "Mix Finalize 1");
}

TEST(FileSettingsStore, FindsTheUsersConfigurationDirectory)
{
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", "/somewhere/config");
        EXPECT_EQ(FileSettingsStore::userConfigHome(), "/somewhere/config");
    }
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", "relative/path");
        ScopedEnv home("HOME", "/home/someone");
        EXPECT_EQ(FileSettingsStore::userConfigHome(), "/home/someone/.config");
    }
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
        ScopedEnv home("HOME", "/home/other");
        EXPECT_EQ(FileSettingsStore::userConfigHome(), "/home/other/.config");
    }
    ScratchDir dir;
    ScopedEnv xdg("XDG_CONFIG_HOME", dir.path().c_str());
    ASSERT_EQ(makeSettingsStore()->writeFloat("", "knobmode", 0.0f), 0);
    EXPECT_TRUE(std::filesystem::exists(dir.file("Nurwerk/Ambrel20/values")));
}

TEST(FileSettingsStore, DamagedFilesReadAsMissingValues)
{
    ScratchDir home;
    FileSettingsStore store(home.path().string());
    ASSERT_EQ(store.write("", {{"vuintegration", SettingsStore::binaryFloat(0.25f)},
                               {"vureference", SettingsStore::binaryFloat(0.75f)}}),
              0);
    const std::string path = home.file("Nurwerk/Ambrel20/values");
    const std::string whole = readText(path);

    // Cut inside the last value: the first still reads, the cut one is missing.
    writeText(path, whole.substr(0, whole.size() - 4));
    EXPECT_EQ(store.readFloat("", "vuintegration"), 0.25f);
    EXPECT_FALSE(store.readFloat("", "vureference"));

    // Lines that do not parse are skipped; a value of the wrong size is missing.
    writeText(path, "NurwerkSettings 1\nbinary\tvuintegration\t00zz803e\nnonsense\nbinary\tppmreturn\t0000\n"
                    "text\tknobmode\t00000000\nbinary\tvureference\t0000403f\n");
    EXPECT_FALSE(store.readFloat("", "vuintegration"));
    EXPECT_FALSE(store.readFloat("", "ppmreturn"));
    EXPECT_FALSE(store.readFloat("", "knobmode"));
    EXPECT_EQ(store.readFloat("", "vureference"), 0.75f);

    // Not a store file at all: the key reads as missing, and the next write repairs it.
    std::string garbage(3000, '\0');
    for (size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<char>((i * 7919) & 0xFF);
    writeText(path, garbage);
    EXPECT_FALSE(store.read("", {"vuintegration"}));
    writeText(path, "");
    EXPECT_FALSE(store.read("", {"vuintegration"}));
    ASSERT_EQ(store.writeFloat("", "overcounter", 0.5f), 0);
    EXPECT_EQ(store.readFloat("", "overcounter"), 0.5f);
    EXPECT_FALSE(store.readFloat("", "vuintegration"));
}

TEST(FileSettingsStore, FailedWritesReportAnErrorAndKeepWhatWasStored)
{
    ScratchDir dir;
    // The configuration "directory" is a file: nothing can be created below it.
    writeText(dir.file("notadir"), "x");
    FileSettingsStore blocked(dir.file("notadir"));
    EXPECT_NE(blocked.writeFloat("", "knobmode", 0.0f), 0);
    EXPECT_FALSE(blocked.read("", {"knobmode"}));

    FileSettingsStore store(dir.path().string());
    EXPECT_NE(store.writeFloat("../escape", "x", 0.0f), 0);
    EXPECT_NE(store.writeFloat("", "tab\tname", 0.0f), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.file("Nurwerk/escape")));

    // A key whose file cannot be replaced (a directory sits in its place).
    ASSERT_EQ(store.writeFloat("MemoA", "param  0", 0.5f), 0);
    std::filesystem::create_directories(dir.file("Nurwerk/Ambrel20/MemoB/values"));
    EXPECT_NE(store.writeFloat("MemoB", "param  0", 0.5f), 0);
    EXPECT_EQ(store.readFloat("MemoA", "param  0"), 0.5f);

    // Without any configuration directory the store holds nothing.
    FileSettingsStore none("");
    EXPECT_NE(none.writeFloat("", "knobmode", 0.0f), 0);
    EXPECT_FALSE(none.read("", {"knobmode"}));
}

TEST(FileSettingsStore, ConcurrentWritersNeitherTearTheFileNorLoseValues)
{
    ScratchDir home;
    constexpr int kWriters = 4;
    constexpr int kRounds = 40;
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            FileSettingsStore store(home.path().string());
            int failures = 0;
            for (int r = 0; r < kRounds; ++r) {
                SettingsStore::Values values;
                for (int k = 0; k < 8; ++k)
                    values.emplace_back(writerValue(w, k),
                                        SettingsStore::binaryFloat(static_cast<float>(r)));
                failures += store.write("MemoA", values) != 0;
            }
            ::_exit(failures == 0 ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    FileSettingsStore store(home.path().string());
    for (int w = 0; w < kWriters; ++w)
        for (int k = 0; k < 8; ++k)
            EXPECT_EQ(store.readFloat("MemoA", writerValue(w, k)),
                      static_cast<float>(kRounds - 1));
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(home.file("Nurwerk/Ambrel20/MemoA")))
        files += entry.is_regular_file();
    EXPECT_EQ(files, 1); // no temporary file left behind
}

TEST(FileSettingsStore, MemoriesAndSettingsReachTheNextInstance)
{
    ScratchDir home;
    HostLog::instance().clear();
    {
        Ambrel first(recordingHost, variants::kAmbrel2);
        first.setSettingsStore(std::make_unique<FileSettingsStore>(home.path().string()));
        first.selectPreset(20);
        ASSERT_EQ(first.storeMemoB(), 0);
        first.setParameter(variants::kAmbrel2.index(ParamId::KnobMode), 0.0f);
        ASSERT_EQ(first.saveEditorSettings(), 0);
    }
    // The build without FAT shares the store.
    Ambrel second(recordingHost, variants::kAmbrel);
    second.setSettingsStore(std::make_unique<FileSettingsStore>(home.path().string()));
    EXPECT_EQ(second.readEditorSetting(ParamId::KnobMode), 0.0f);
    EXPECT_EQ(second.readEditorSetting(ParamId::PpmReturn), 0.5f);
    ASSERT_EQ(second.recallMemoB(), 0);
    EXPECT_STREQ(second.programs()[0].name(), "Clean Guitar Track");
    EXPECT_EQ(second.getParameter(variants::kAmbrel.index(ParamId::Drive)), 0.625f);
    EXPECT_EQ(second.getParameter(variants::kAmbrel.index(ParamId::FineTune)), 1.0f);
    HostLog::instance().clear();
}
