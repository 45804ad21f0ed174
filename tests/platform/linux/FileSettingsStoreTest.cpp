// The per-user settings file: its layout on disk, defensive reads, failures
// and concurrent writers.
#include "platform/linux/FileSettingsStore.h"

#include "../../presets/PresetTestSupport.h"
#include "ChildProcess.h"
#include "effect/Ambrel.h"
#include "platform/FileAccess.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

// A key file that exists but cannot be read reads as a missing key, and a
// write leaves it untouched, so closing an instance never replaces the
// user's settings with defaults; once it is readable again, it is used.
TEST(FileSettingsStore, UnreadableFilesAreNeverOverwritten)
{
    ScratchDir home;
    const std::string path = home.file("Nurwerk/Ambrel20/values");
    const int vuRefer = variants::kAmbrel2.index(ParamId::VuRefer);
    const int knobMode = variants::kAmbrel2.index(ParamId::KnobMode);
    const std::string failed = childtest::run(
        [&] {
            int failures = 0;
            FileSettingsStore store(home.path().string());
            CHILD_CHECK(failures, store.writeFloat("", "vureference", 0.75f) == 0);
            const std::string before = text(path);
            CHILD_CHECK(failures, ::chmod(path.c_str(), 0) == 0);
            CHILD_CHECK(failures, !store.read("", {"vureference"}));
            CHILD_CHECK(failures, store.writeFloat("", "knobmode", 0.0f) == EACCES);
            ::setenv("XDG_CONFIG_HOME", home.path().c_str(), 1);
            {
                Ambrel effect(nullptr, variants::kAmbrel2); // reads defaults
                CHILD_CHECK(failures, effect.getParameter(vuRefer) == 0.5f);
                effect.setParameter(knobMode, 0.0f);
            } // and saves nothing
            CHILD_CHECK(failures, ::chmod(path.c_str(), 0644) == 0);
            CHILD_CHECK(failures, text(path) == before);
            {
                Ambrel effect(nullptr, variants::kAmbrel2);
                CHILD_CHECK(failures, effect.getParameter(vuRefer) == 0.75f);
                effect.setParameter(knobMode, 0.0f);
            }
            CHILD_CHECK(failures, store.readFloat("", "vureference") == 0.75f);
            CHILD_CHECK(failures, store.readFloat("", "knobmode") == 0.0f);
            return failures;
        },
        {.unprivilegedIn = home.path().string()});
    EXPECT_EQ(failed, "");
}

// Anything but a regular file in place of a key file (FIFO, socket,
// directory, device) reads at once as a missing key, never blocks, and is
// left as it is by a write; so is a file larger than any key file.
TEST(FileSettingsStore, NonRegularAndOversizedFilesAreRefusedWithoutBlocking)
{
    ScratchDir home;
    FileSettingsStore store(home.path().string());
    ASSERT_EQ(store.writeFloat("", "knobmode", 0.25f), 0);
    const auto keyFile = [&](const char* subkey) {
        std::filesystem::create_directories(store.keyDirectory(subkey));
        return store.keyFile(subkey);
    };
    ASSERT_EQ(::mkfifo(keyFile("Fifo").c_str(), 0600), 0);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const std::string socketPath = keyFile("Socket");
    ASSERT_LT(socketPath.size(), sizeof(address.sun_path));
    std::snprintf(address.sun_path, sizeof(address.sun_path), "%s", socketPath.c_str());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    std::filesystem::create_directories(keyFile("Directory"));
    std::filesystem::create_symlink("/dev/zero", keyFile("Zero"));
    std::filesystem::create_symlink("/dev/urandom", keyFile("Random"));
    std::string big = std::string(FileSettingsStore::kHeader) + "\n";
    big.resize((1 << 20) + 1, '\n');
    setText(keyFile("Big"), big);

    const char* const subkeys[] = {"Fifo", "Socket", "Directory", "Zero", "Random", "Big"};
    const std::string failed = childtest::run([&] {
        int failures = 0;
        for (const char* subkey : subkeys) {
            CHILD_CHECK(failures, !store.read(subkey, {"name"}));
            CHILD_CHECK(failures, store.write(subkey, {{"name", SettingsStore::string("x")}}) != 0);
        }
        return failures;
    });
    ::close(sock);
    EXPECT_EQ(failed, "");
    EXPECT_TRUE(std::filesystem::is_fifo(keyFile("Fifo")));
    EXPECT_TRUE(std::filesystem::is_socket(keyFile("Socket")));
    EXPECT_TRUE(std::filesystem::is_directory(keyFile("Directory")));
    EXPECT_TRUE(std::filesystem::is_symlink(keyFile("Zero")));
    EXPECT_EQ(std::filesystem::file_size(keyFile("Big")), big.size());
    EXPECT_EQ(store.readFloat("", "knobmode"), 0.25f); // other keys are not affected
}

// A file of some 60,000 names is read and merged whole: every value is found,
// a later line replaces an earlier one, and a write keeps the order of the
// values and adds its own at the end. (The cost of such files is measured by
// bench/settings_store_bench.)
TEST(FileSettingsStore, LargeFilesAreReadAndMergedWhole)
{
    ScratchDir home;
    FileSettingsStore store(home.path().string());
    std::string contents = std::string(FileSettingsStore::kHeader) + "\nbinary\tknobmode\t0000803e\n";
    int count = 0;
    while (contents.size() < 1000000) {
        char line[64];
        std::snprintf(line, sizeof(line), "binary\tn%05d\t3f\n", count++);
        contents += line;
    }
    contents += "binary\tknobmode\t0000003f\n"; // replaces the value of the first line
    std::filesystem::create_directories(store.keyDirectory(""));
    setText(home.file("Nurwerk/Ambrel20/values"), contents);
    EXPECT_EQ(store.readFloat("", "knobmode"), 0.5f);
    const std::optional<SettingsStore::Values> some = store.read("", {"n00000", "n12345", "missing", "knobmode"});
    ASSERT_TRUE(some);
    ASSERT_EQ(some->size(), 3u);
    EXPECT_EQ((*some)[1].first, "n12345");
    EXPECT_EQ((*some)[1].second.data, std::vector<uint8_t>{0x3f});

    ASSERT_EQ(store.writeFloat("", "vureference", 0.75f), 0);
    const std::string merged = text(home.file("Nurwerk/Ambrel20/values"));
    const std::string first =
        std::string(FileSettingsStore::kHeader) + "\nbinary\tknobmode\t0000003f\nbinary\tn00000\t3f\n";
    EXPECT_EQ(merged.substr(0, first.size()), first);
    const std::string last = "binary\tvureference\t0000403f\n";
    EXPECT_EQ(merged.rfind(last), merged.size() - last.size());
    EXPECT_EQ(std::count(merged.begin(), merged.end(), '\n'), count + 3);
}

// The parser alone: only the names asked for, and the same values as a
// whole parse.
TEST(FileSettingsStore, ParsingForSomeNamesFindsWhatAWholeParseFinds)
{
    const std::string text = std::string(FileSettingsStore::kHeader) +
                             "\nbinary\ta\t01\nstring\tb\t4142\nbinary\ta\tzz\nbinary\tc\t\nbinary\ta\t02";
    const std::optional<SettingsStore::Values> all = FileSettingsStore::parse(text);
    ASSERT_TRUE(all);
    ASSERT_EQ(all->size(), 3u);
    EXPECT_EQ((*all)[0].second.data, std::vector<uint8_t>{2}); // the last good line of "a"
    EXPECT_EQ((*all)[1].second.type, SettingsStore::Type::String);
    const std::vector<std::string> names = {"c", "a"};
    const std::optional<SettingsStore::Values> some = FileSettingsStore::parse(text, &names);
    ASSERT_TRUE(some);
    ASSERT_EQ(some->size(), 2u);
    EXPECT_EQ((*some)[0].first, "a");
    EXPECT_EQ((*some)[0].second.data, std::vector<uint8_t>{2});
    EXPECT_TRUE((*some)[1].second.data.empty());
    EXPECT_FALSE(FileSettingsStore::parse("binary\ta\t01\n"));
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
