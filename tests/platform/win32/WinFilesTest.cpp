// File replacement and the file operations with Windows paths.
#include "WinTestHarness.h"
#include "effect/Ambrel.h"
#include "platform/FileAccess.h"
#include "presets/PresetFiles.h"

#include <windows.h>

#include <cerrno>

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

// Only disk files are read: devices, pipes and directories are refused at
// once, and a missing file is told apart from one that cannot be read.
TEST_CASE(OnlyDiskFilesAreRead)
{
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string dir = std::string(temp) + "ambrel-win-read-test";
    CreateDirectoryA(dir.c_str(), nullptr);
    const std::string path = dir + "\\x.nur";
    CHECK(writeFileAtomically(path, std::vector<uint8_t>(5000, 7)));
    CHECK(readRegularFile(path, 4097).bytes.size() == 4097);
    CHECK(readRegularFile(path, 1 << 20).status == FileReadStatus::Ok);
    CHECK(readRegularFile(path, 1 << 20).bytes.size() == 5000);
    const FileRead missing = readRegularFile(dir + "\\missing.nur", 10);
    CHECK(missing.status == FileReadStatus::Missing && missing.error == ENOENT);
    CHECK(readRegularFile(dir + "\\missing\\x.nur", 10).status == FileReadStatus::Missing);
    CHECK(readRegularFile(dir, 10).status != FileReadStatus::Ok);
    CHECK(readRegularFile("NUL", 10).status == FileReadStatus::NotRegular);
    CHECK(readRegularFile(dir + "\\nul.nur", 10).status == FileReadStatus::NotRegular);
    CHECK(readRegularFile("CONIN$", 10).status != FileReadStatus::Ok); // not even opened without a console

    // A pipe with a server waiting: connected to, then refused unread.
    const char* pipeName = "\\\\.\\pipe\\ambrel-read-test";
    HANDLE server = CreateNamedPipeA(pipeName, PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_NOWAIT, 1, 4096, 4096, 0,
                                     nullptr);
    CHECK(server != INVALID_HANDLE_VALUE);
    CHECK(readRegularFile(pipeName, 10).status == FileReadStatus::NotRegular);
    CloseHandle(server);

    Ambrel effect(silentHost, variants::kAmbrel2);
    CHECK(loadPreset(effect, "NUL", nullptr) == FileStatus::CannotOpen);
    CHECK(loadBank(effect, pipeName, nullptr) == FileStatus::CannotOpen);
    DeleteFileA(path.c_str());
    CHECK(RemoveDirectoryA(dir.c_str()));
}

// Paths come from the file dialogs as UTF-8: names beyond the code page are
// written, replaced and read back under their real names.
TEST_CASE(Utf8PathsNameTheRealFiles)
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring dir = std::wstring(temp) + L"ambrel-\u00e9t\u00e9-\u65e5";
    CreateDirectoryW(dir.c_str(), nullptr);
    const std::wstring file = dir + L"\\Pr\u00e9set \u20ac \u00fc.nur";
    char narrow[3 * MAX_PATH] = {};
    WideCharToMultiByte(CP_UTF8, 0, file.c_str(), -1, narrow, sizeof(narrow), nullptr, nullptr);
    const std::string path = narrow;

    Ambrel effect(silentHost, variants::kAmbrel2);
    effect.selectPreset(4);
    CHECK(savePreset(effect, path) == FileStatus::Ok);
    CHECK(GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES); // the very name, not a mangled one
    CHECK(savePreset(effect, path) == FileStatus::Ok);                   // replaced in place
    effect.selectPreset(2);
    CHECK(loadPreset(effect, path, nullptr) == FileStatus::Ok);
    CHECK(std::string(effect.programs()[2].name()) == "Mix First Aid 2");
    // A plain ASCII path in the narrow form reads the same.
    CHECK(readRegularFile(path, 1000).bytes.size() == 197);

    DeleteFileW(file.c_str());
    CHECK(RemoveDirectoryW(dir.c_str())); // no temporary file left behind
}
