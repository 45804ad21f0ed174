// File replacement and the preset file operations with Windows paths.
#include "WinTestHarness.h"
#include "effect/Ambrel.h"
#include "presets/FileAccess.h"
#include "presets/PresetFiles.h"

#include <windows.h>

#include <string>

namespace {

VstIntPtr VSTCALLBACK silentHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    return opcode == audioMasterVersion ? 2400 : 0;
}

std::string scratchDirectory()
{
    char base[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, base);
    std::string dir = std::string(base) + "ambrel-win-test-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

int filesIn(const std::string& dir)
{
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &data);
    int n = 0;
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    do {
        n += !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return n;
}

std::string currentDirectory()
{
    char cwd[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, cwd);
    return cwd;
}

} // namespace

TEST_CASE(FilesAreReplacedWholeAndFailuresKeepTheOldFile)
{
    const std::string dir = scratchDirectory();
    const std::string path = dir + "\\data.bin";
    CHECK(writeFileAtomically(path, {1, 2, 3}));
    CHECK(writeFileAtomically(path, {4, 5}));
    CHECK(readFileBytes(path, 100) == std::optional<std::vector<uint8_t>>(std::vector<uint8_t>{4, 5}));
    CHECK(!writeFileAtomically(dir + "\\missing\\data.bin", {1}));
    CHECK(!writeFileAtomically(dir + "\\", {1}));
    CHECK_EQ(filesIn(dir), 1);
    DeleteFileA(path.c_str());
    RemoveDirectoryA(dir.c_str());
}

TEST_CASE(BankAndPresetRoundTripByFullPathKeepsTheWorkingDirectory)
{
    const std::string dir = scratchDirectory();
    const std::string cwd = currentDirectory();
    Ambrel effect(silentHost, variants::kAmbrel2);
    effect.selectPreset(9);
    effect.setParameter(5, 0.42f);
    CHECK(saveBank(effect, dir + "\\bank.nub") == FileStatus::Ok);
    CHECK(savePreset(effect, dir + "\\one.nur") == FileStatus::Ok);
    CHECK_EQ(readFileBytes(dir + "\\bank.nub", 10000)->size(), static_cast<size_t>(5957));
    CHECK_EQ(readFileBytes(dir + "\\one.nur", 10000)->size(), static_cast<size_t>(197));

    effect.loadFactoryPresets();
    effect.selectPreset(3);
    CHECK(loadPreset(effect, dir + "\\one.nur", nullptr) == FileStatus::Ok);
    CHECK_EQ(std::string(effect.programs()[3].name()), std::string("Mix Finalize 2"));
    CHECK_EQ(effect.getParameter(5), 0.42f);
    CHECK(loadBank(effect, dir + "\\bank.nub", nullptr) == FileStatus::Ok);
    CHECK_EQ(effect.programs()[9].getParameter(5), 0.42f);
    CHECK(loadBank(effect, dir + "\\one.nur", nullptr) == FileStatus::NotABank);
    CHECK_EQ(currentDirectory(), cwd);

    DeleteFileA((dir + "\\bank.nub").c_str());
    DeleteFileA((dir + "\\one.nur").c_str());
    RemoveDirectoryA(dir.c_str());
}
