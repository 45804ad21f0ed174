// Crash-safe file replacement: a temporary file in the target's directory,
// flushed to disk, then moved over the target in one step.
#include "presets/FileAccess.h"

#include <windows.h>

#include <algorithm>

bool writeFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes)
{
    if (path.empty() || path.back() == '\\' || path.back() == '/')
        return false;
    const size_t slash = path.find_last_of("\\/");
    const std::string directory = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);

    char temp[MAX_PATH + 1] = {};
    if (GetTempFileNameA(directory.c_str(), "nur", 0, temp) == 0)
        return false;
    HANDLE file = CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DeleteFileA(temp);
        return false;
    }
    bool ok = true;
    size_t done = 0;
    while (ok && done < bytes.size()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
        ok = WriteFile(file, bytes.data() + done, chunk, &written, nullptr) && written > 0;
        done += written;
    }
    ok = ok && FlushFileBuffers(file);
    ok = CloseHandle(file) && ok;
    ok = ok && MoveFileExA(temp, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok)
        DeleteFileA(temp);
    return ok;
}
