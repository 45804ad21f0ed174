// The per-user settings file: its layout on disk, defensive reads, failures
// and concurrent writers.
#include "platform/linux/FileSettingsStore.h"

#include "../../presets/PresetTestSupport.h"
#include "presets/FileAccess.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

using namespace presettest;

namespace {

std::string text(const std::string& path)
{
    const auto bytes = readFileBytes(path, 1 << 20).value_or(std::vector<uint8_t>{});
    return std::string(bytes.begin(), bytes.end());
}

void setText(const std::string& path, const std::string& contents)
{
    ASSERT_TRUE(writeFileAtomically(path, std::vector<uint8_t>(contents.begin(), contents.end())));
}

} // namespace

TEST(FileSettingsStore, KeepsTheKeyPathNamesAndBinaryFormatsUnderTheConfigDirectory)
{
    ScratchDir home;
    const std::string previous = std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "";
    ::setenv("XDG_CONFIG_HOME", home.path().c_str(), 1);
    std::unique_ptr<SettingsStore> store = makeSettingsStore();
    ::setenv("XDG_CONFIG_HOME", previous.c_str(), 1);
    ASSERT_EQ(store->writeFloat("", "vuintegration", 0.5f), 0);
    ASSERT_EQ(store->write("MemoA", {{"param  7", SettingsStore::binaryFloat(0.25f)},
                                     {"name", SettingsStore::string("Mix Finalize 1")}}),
              0);
    ASSERT_EQ(store->writeFloat("MemoA", "param  7", 0.75f), 0); // replaces, keeps the name
    EXPECT_EQ(text(home.file("Nurwerk/Ambrel20/values")), "NurwerkSettings 1\nbinary\tvuintegration\t0000003f\n");
    EXPECT_EQ(text(home.file("Nurwerk/Ambrel20/MemoA/values")),
              "NurwerkSettings 1\nbinary\tparam  7\t0000403f\nstring\tname\t4d69782046696e616c697a652031\n");
    EXPECT_EQ(store->readFloat("MemoA", "param  7"), 0.75f);
    EXPECT_FALSE(store->read("MemoB", {"name"}));
}

TEST(FileSettingsStore, DamagedFilesReadAsMissingValues)
{
    ScratchDir home;
    FileSettingsStore store(home.path().string());
    const std::string path = home.file("Nurwerk/Ambrel20/values");
    ASSERT_EQ(store.writeFloat("", "overcounter", 0.5f), 0);
    setText(path, "NurwerkSettings 1\nbinary\tvuintegration\t00zz803e\nnonsense\nbinary\tppmreturn\t0000\n"
                  "binary\tvureference\t0000403f\nbinary\tknobmode\t000080");
    EXPECT_FALSE(store.readFloat("", "vuintegration")); // not hexadecimal
    EXPECT_FALSE(store.readFloat("", "ppmreturn"));     // wrong size
    EXPECT_FALSE(store.readFloat("", "knobmode"));      // cut short
    EXPECT_EQ(store.readFloat("", "vureference"), 0.75f);

    std::string garbage(3000, '\0');
    for (size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<char>(i * 7919);
    setText(path, garbage);
    EXPECT_FALSE(store.read("", {"vureference"}));
    ASSERT_EQ(store.writeFloat("", "overcounter", 0.5f), 0); // the next write repairs the file
    EXPECT_EQ(store.readFloat("", "overcounter"), 0.5f);
}

TEST(FileSettingsStore, FailedWritesReportAnErrorAndKeepWhatWasStored)
{
    ScratchDir dir;
    FileSettingsStore store(dir.path().string());
    EXPECT_NE(FileSettingsStore("").writeFloat("", "knobmode", 0.0f), 0); // no home directory known
    EXPECT_NE(store.writeFloat("../escape", "x", 0.0f), 0);
    ASSERT_EQ(store.writeFloat("", "knobmode", 0.5f), 0);
    std::filesystem::create_directories(dir.file("Nurwerk/Ambrel20/MemoA/values")); // a directory where the file goes
    EXPECT_NE(store.writeFloat("MemoA", "param  0", 0.25f), 0);
    EXPECT_EQ(store.readFloat("", "knobmode"), 0.5f);
}

TEST(FileSettingsStore, ConcurrentWritersNeitherTearTheFileNorLoseValues)
{
    ScratchDir home;
    constexpr int kWriters = 4, kRounds = 40;
    const auto name = [](int writer, int k) {
        char text[16];
        std::snprintf(text, sizeof(text), "w%dv%d", writer, k);
        return std::string(text);
    };
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
                    values.emplace_back(name(w, k), SettingsStore::binaryFloat(static_cast<float>(r)));
                failures += store.write("MemoA", values) != 0;
            }
            ::_exit(failures);
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
            EXPECT_EQ(store.readFloat("MemoA", name(w, k)), static_cast<float>(kRounds - 1));
    using Files = std::filesystem::directory_iterator;
    EXPECT_EQ(std::distance(Files(home.file("Nurwerk/Ambrel20/MemoA")), Files()), 1); // no temporary left
}
