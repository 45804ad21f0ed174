#include "platform/ToolPlatform.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace toolplatform {

LibraryHandle openLibrary(const std::string& path, std::string& error)
{
    // No "cannot load" message box for a missing or broken library: a
    // command-line tool reports the failure itself.
    const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE module = LoadLibraryA(path.c_str());
    const DWORD code = module ? 0 : GetLastError();
    SetErrorMode(oldMode);
    if (!module) {
        char text[512] = {};
        const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                       text, sizeof(text), nullptr);
        std::string reason(text, n);
        while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' '))
            reason.pop_back();
        error = "error " + std::to_string(code) + (reason.empty() ? std::string() : ": " + reason);
    }
    return reinterpret_cast<LibraryHandle>(module);
}

void* findSymbol(LibraryHandle library, const char* name)
{
    if (!library)
        return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void closeLibrary(LibraryHandle library)
{
    if (library)
        FreeLibrary(static_cast<HMODULE>(library));
}

bool isTerminal(std::FILE* stream)
{
    if (!stream)
        return false;
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

void useBinaryOutput(std::FILE* stream)
{
    if (stream)
        _setmode(_fileno(stream), _O_BINARY);
}

} // namespace toolplatform
