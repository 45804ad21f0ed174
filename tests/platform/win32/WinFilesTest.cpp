// File replacement and the file operations with Windows paths.
#include "WinTestHarness.h"
#include "effect/Ambrel.h"
#include "presets/FileAccess.h"
#include "presets/PresetFiles.h"

#include <windows.h>

namespace {
VstIntPtr VSTCALLBACK silentHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    return opcode == audioMasterVersion ? 2400 : 0;
}
} // namespace

TEST_CASE(FilesAreReplacedWholeByFullPathAndTheWorkingDirectoryStays)
{
    char temp[MAX_PATH] = {}, cwd[MAX_PATH] = {}, after[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    GetCurrentDirectoryA(MAX_PATH, cwd);
    const std::string dir = std::string(temp) + "ambrel-win-test";
    CreateDirectoryA(dir.c_str(), nullptr);
    const std::string path = dir + "\\one.nur";

    Ambrel effect(silentHost, variants::kAmbrel2);
    effect.selectPreset(9);
    CHECK(writeFileAtomically(path, {1, 2, 3}));
    CHECK(savePreset(effect, path) == FileStatus::Ok); // over an existing file
    CHECK(readFileBytes(path, 1000)->size() == 197);
    CHECK(savePreset(effect, dir + "\\missing\\x.nur") == FileStatus::WriteFailed);
    effect.selectPreset(3);
    CHECK(loadPreset(effect, path, nullptr) == FileStatus::Ok);
    CHECK(std::string(effect.programs()[3].name()) == "Mix Finalize 2");
    CHECK(loadBank(effect, path, nullptr) == FileStatus::NotABank);
    GetCurrentDirectoryA(MAX_PATH, after);
    CHECK(std::string(cwd) == after);

    DeleteFileA(path.c_str());
    CHECK(RemoveDirectoryA(dir.c_str())); // nothing else was left in it
}
