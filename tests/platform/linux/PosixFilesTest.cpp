// Whole-file reads of the preset layer: only regular files are read, never
// blocking on a FIFO and never reading a device's endless data.
#include "effect/Ambrel.h"
#include "platform/FileAccess.h"
#include "presets/PresetFiles.h"

#include "../../presets/PresetTestSupport.h"
#include "ChildProcess.h"

#include <sys/stat.h>

#include <filesystem>

using namespace presettest;

TEST(PosixFiles, ReadsRegularFilesUpToTheLimitAndSaysWhyOthersAreNotRead)
{
    ScratchDir dir;
    const std::string path = dir.file("x.nur");
    ASSERT_TRUE(writeFileAtomically(path, std::vector<uint8_t>(5000, 7)));
    FileRead read = readRegularFile(path, 10000);
    EXPECT_EQ(read.status, FileReadStatus::Ok);
    EXPECT_EQ(read.bytes.size(), 5000u);
    read = readRegularFile(path, 4097);
    EXPECT_EQ(read.status, FileReadStatus::Ok);
    EXPECT_EQ(read.bytes.size(), 4097u);
    std::filesystem::create_symlink(path, dir.file("link.nur")); // links are followed
    EXPECT_EQ(readRegularFile(dir.file("link.nur"), 10000).bytes.size(), 5000u);

    read = readRegularFile(dir.file("missing.nur"), 10);
    EXPECT_EQ(read.status, FileReadStatus::Missing);
    EXPECT_EQ(read.error, ENOENT);
    EXPECT_EQ(readRegularFile(dir.file("x.nur/below"), 10).status, FileReadStatus::Missing);
    EXPECT_EQ(readRegularFile(dir.path().string(), 10).status, FileReadStatus::NotRegular);
    EXPECT_EQ(readRegularFile("/dev/null", 10).status, FileReadStatus::NotRegular);

    const std::string failed = childtest::run(
        [&] {
            int failures = 0;
            CHILD_CHECK(failures, ::chmod(path.c_str(), 0) == 0);
            const FileRead denied = readRegularFile(path, 10000);
            CHILD_CHECK(failures, denied.status == FileReadStatus::Unreadable);
            CHILD_CHECK(failures, denied.error == EACCES);
            CHILD_CHECK(failures, denied.bytes.empty());
            return failures;
        },
        {.unprivilegedIn = dir.path().string()});
    EXPECT_EQ(failed, "");
}

// A FIFO or device given as a preset or bank file is refused at once, as a
// file that cannot be opened, and leaves the program store as it was.
TEST(PosixFiles, PresetAndBankLoadsRefuseFifosAndDevicesAtOnce)
{
    ScratchDir dir;
    const std::string fifo = dir.file("pipe.nub");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", dir.file("zero.nur"));
    Ambrel effect(nullptr, variants::kAmbrel2);
    const auto before = snapshot(effect);
    const std::string failed = childtest::run([&] {
        int failures = 0;
        for (const std::string& path : {fifo, dir.file("zero.nur"), std::string("/dev/urandom"), dir.path().string()}) {
            CHILD_CHECK(failures, readRegularFile(path, 1 << 20).status == FileReadStatus::NotRegular);
            CHILD_CHECK(failures, loadPreset(effect, path, nullptr) == FileStatus::CannotOpen);
            CHILD_CHECK(failures, loadBank(effect, path, nullptr) == FileStatus::CannotOpen);
            CHILD_CHECK(failures, snapshot(effect) == before);
        }
        return failures;
    });
    EXPECT_EQ(failed, "");
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
}
