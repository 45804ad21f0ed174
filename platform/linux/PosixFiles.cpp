// Whole-file reads that refuse anything but a regular file, and crash-safe
// file replacement: a temporary file in the same directory, flushed to disk,
// then renamed over the target in one step.
#include "platform/FileAccess.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Closes a descriptor when the read ends, however it ends.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { ::close(fd_); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

private:
    int fd_;
};

} // namespace

FileRead readRegularFile(const std::string& path, size_t maxBytes)
{
    FileRead result;
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a
    // writer. Links are followed; what they lead to is checked below.
    int fd;
    do
        fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        result.error = errno;
        if (errno == ENOENT || errno == ENOTDIR)
            result.status = FileReadStatus::Missing;
        return result;
    }
    const Descriptor file(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        result.error = errno;
        return result;
    }
    if (!S_ISREG(st.st_mode)) {
        result.status = FileReadStatus::NotRegular;
        return result;
    }
    result.bytes.reserve(std::min(maxBytes, static_cast<size_t>(std::max<off_t>(st.st_size, 0))));
    uint8_t buffer[16384];
    while (result.bytes.size() < maxBytes) {
        const ssize_t n = ::read(fd, buffer, std::min(sizeof(buffer), maxBytes - result.bytes.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            result.error = errno;
            result.bytes.clear();
            return result;
        }
        if (n == 0)
            break;
        result.bytes.insert(result.bytes.end(), buffer, buffer + n);
    }
    result.status = FileReadStatus::Ok;
    return result;
}

bool writeFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes)
{
    if (path.empty() || path.back() == '/')
        return false;
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return false;

    bool ok = true;
    size_t done = 0;
    while (ok && done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            done += static_cast<size_t>(n);
    }
    // Keep the permissions of the file being replaced; a new file is readable
    // by others like any saved document (mkstemp creates it private).
    struct stat st {};
    const mode_t mode = ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
    ok = ok && ::fchmod(fd, mode) == 0;
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && std::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok)
        ::unlink(temp.c_str());
    return ok;
}
