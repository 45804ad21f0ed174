// Whole-file reads that refuse anything but a disk file, and crash-safe file
// replacement: a temporary file in the target's directory, flushed to disk,
// then moved over the target in one step.
#include "platform/FileAccess.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <string>

namespace {

// The system's wide form of a path. Paths reach the file layer as UTF-8 (the
// editor's file dialogs hand them over so); text that is not valid UTF-8 is
// taken in the process's code page, as the narrow system calls would, so a
// path from a narrow command line still works. Plain ASCII reads the same
// either way.
std::wstring widePath(const std::string& path)
{
    if (path.empty())
        return {};
    const int size = static_cast<int>(std::min<size_t>(path.size(), 0x7fffffff));
    UINT codePage = CP_UTF8;
    int length = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, path.data(), size, nullptr, 0);
    if (length <= 0) {
        codePage = CP_ACP;
        length = MultiByteToWideChar(codePage, 0, path.data(), size, nullptr, 0);
    }
    if (length <= 0)
        return {};
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(codePage, codePage == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0, path.data(), size, wide.data(),
                        length);
    return wide;
}

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
    const std::wstring wide = widePath(path);
    constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE handle = wide.empty() ? INVALID_HANDLE_VALUE
                                 : CreateFileW(wide.c_str(), GENERIC_READ, kShare, nullptr, OPEN_EXISTING,
                                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        result.error = wide.empty() ? ENOENT : errnoOf(GetLastError());
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
    const std::wstring target = widePath(path);
    if (target.empty())
        return false;
    const size_t slash = target.find_last_of(L"\\/");
    const std::wstring directory = slash == std::wstring::npos ? std::wstring(L".") : target.substr(0, slash + 1);

    wchar_t temp[MAX_PATH + 1] = {};
    if (GetTempFileNameW(directory.c_str(), L"nur", 0, temp) == 0)
        return false;
    HANDLE file = CreateFileW(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DeleteFileW(temp);
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
    ok = ok && MoveFileExW(temp, target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok)
        DeleteFileW(temp);
    return ok;
}
