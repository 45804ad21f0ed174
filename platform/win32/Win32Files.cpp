// Whole-file reads that refuse anything but a disk file, and crash-safe file
// replacement: a temporary file in the target's directory, flushed to disk,
// then moved over the target in one step.
#include "presets/FileAccess.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>

namespace {

// Closes a handle when the read ends, however it ends.
class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() { CloseHandle(handle_); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

private:
    HANDLE handle_;
};

// The errno value closest to a system error, for messages.
int errnoOf(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EACCES;
    default:
        return EIO;
    }
}

} // namespace

FileRead readRegularFile(const std::string& path, size_t maxBytes)
{
    FileRead result;
    // Directories cannot be opened without FILE_FLAG_BACKUP_SEMANTICS, so
    // they fail here. A pipe is connected to at once or refused when busy,
    // never waited for; it, consoles and devices are refused by type below.
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        result.error = errnoOf(GetLastError());
        if (result.error == ENOENT)
            result.status = FileReadStatus::Missing;
        return result;
    }
    const Handle file(handle);
    BY_HANDLE_FILE_INFORMATION info {};
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE))) {
        result.status = FileReadStatus::NotRegular;
        return result;
    }
    const unsigned long long size = (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    result.bytes.reserve(static_cast<size_t>(std::min<unsigned long long>(maxBytes, size)));
    uint8_t buffer[16384];
    while (result.bytes.size() < maxBytes) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min(sizeof(buffer), maxBytes - result.bytes.size()));
        if (!ReadFile(handle, buffer, want, &got, nullptr)) {
            result.error = errnoOf(GetLastError());
            result.bytes.clear();
            return result;
        }
        if (got == 0)
            break;
        result.bytes.insert(result.bytes.end(), buffer, buffer + got);
    }
    result.status = FileReadStatus::Ok;
    return result;
}

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
