#include "platform/linux/FileSettingsStore.h"

#include "presets/FileAccess.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A key file is a few kilobytes; anything far larger is not ours.
constexpr size_t kMaxKeyFile = 1 << 20;

bool plainName(const std::string& s)
{
    if (s.empty() || s.size() > 64)
        return false;
    for (char c : s) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
        if (!ok)
            return false;
    }
    return true;
}

bool validValueName(const std::string& name)
{
    if (name.empty())
        return false;
    for (char c : name)
        if (c == '\t' || c == '\n' || c == '\r' || c == 0)
            return false;
    return true;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool parseLine(const std::string& line, std::string& name, SettingsStore::Value& value)
{
    const size_t tab1 = line.find('\t');
    if (tab1 == std::string::npos)
        return false;
    const size_t tab2 = line.find('\t', tab1 + 1);
    if (tab2 == std::string::npos || line.find('\t', tab2 + 1) != std::string::npos)
        return false;
    const std::string type = line.substr(0, tab1);
    if (type == "binary")
        value.type = SettingsStore::Type::Binary;
    else if (type == "string")
        value.type = SettingsStore::Type::String;
    else
        return false;
    name = line.substr(tab1 + 1, tab2 - tab1 - 1);
    const std::string hex = line.substr(tab2 + 1);
    if (!validValueName(name) || hex.size() % 2 != 0)
        return false;
    value.data.clear();
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int hi = hexDigit(hex[i]);
        const int lo = hexDigit(hex[i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        value.data.push_back(static_cast<uint8_t>(hi * 16 + lo));
    }
    return true;
}

// Replaces the value of that name, or adds it at the end.
void setValue(SettingsStore::Values& values, const std::string& name, const SettingsStore::Value& value)
{
    for (auto& [n, v] : values)
        if (n == name) {
            v = value;
            return;
        }
    values.emplace_back(name, value);
}

// All values of a key file; nullopt when the file does not exist or is not a
// store file at all.
std::optional<SettingsStore::Values> loadKeyFile(const std::string& path)
{
    const std::optional<std::vector<uint8_t>> bytes = readFileBytes(path, kMaxKeyFile + 1);
    if (!bytes || bytes->size() > kMaxKeyFile)
        return std::nullopt;
    const std::string text(bytes->begin(), bytes->end());
    size_t pos = text.find('\n');
    if (pos == std::string::npos || text.compare(0, pos, FileSettingsStore::kHeader) != 0)
        return std::nullopt;
    SettingsStore::Values values;
    while (pos < text.size()) {
        const size_t start = pos + 1;
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size(); // a last line cut short still parses or is skipped
        std::string name;
        SettingsStore::Value value;
        if (parseLine(text.substr(start, end - start), name, value))
            setValue(values, name, value);
        pos = end;
    }
    return values;
}

std::vector<uint8_t> serialise(const SettingsStore::Values& values)
{
    static const char* digits = "0123456789abcdef";
    std::string text = FileSettingsStore::kHeader;
    text += '\n';
    for (const auto& [name, value] : values) {
        text += value.type == SettingsStore::Type::Binary ? "binary" : "string";
        text += '\t';
        text += name;
        text += '\t';
        for (uint8_t b : value.data) {
            text += digits[b >> 4];
            text += digits[b & 15];
        }
        text += '\n';
    }
    return std::vector<uint8_t>(text.begin(), text.end());
}

// Creates every missing directory of `path`; true when it exists afterwards.
bool makeDirectories(const std::string& path)
{
    for (size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos < path.size() && path[pos] != '/')
            continue;
        const std::string part = path.substr(0, pos);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Exclusive lock over the whole store, released on destruction.
class StoreLock {
public:
    explicit StoreLock(const std::string& root)
    {
        fd_ = ::open((root + "/.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ >= 0) {
            while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~StoreLock()
    {
        if (fd_ >= 0)
            ::close(fd_); // closing releases the lock
    }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

} // namespace

FileSettingsStore::FileSettingsStore(std::string configHome)
{
    if (!configHome.empty())
        root_ = configHome + "/Nurwerk/Ambrel20";
}

std::string FileSettingsStore::userConfigHome()
{
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/')
        return xdg;
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return std::string(home) + "/.config";
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/')
        return std::string(pw->pw_dir) + "/.config";
    return {};
}

std::string FileSettingsStore::keyDirectory(const std::string& subkey) const
{
    if (root_.empty())
        return {};
    if (subkey.empty())
        return root_;
    return plainName(subkey) ? root_ + "/" + subkey : std::string();
}

std::string FileSettingsStore::keyFile(const std::string& subkey) const
{
    const std::string dir = keyDirectory(subkey);
    return dir.empty() ? dir : dir + "/values";
}

std::optional<SettingsStore::Values> FileSettingsStore::read(const std::string& subkey,
                                                             const std::vector<std::string>& names)
{
    const std::string file = keyFile(subkey);
    if (file.empty())
        return std::nullopt;
    // The file is replaced as a whole, so reading needs no lock.
    const std::optional<Values> all = loadKeyFile(file);
    if (!all)
        return std::nullopt;
    Values found;
    for (const std::string& name : names)
        if (const Value* v = find(*all, name))
            found.emplace_back(name, *v);
    return found;
}

long FileSettingsStore::write(const std::string& subkey, const Values& values)
{
    const std::string dir = keyDirectory(subkey);
    if (dir.empty())
        return EINVAL;
    for (const auto& [name, value] : values)
        if (!validValueName(name))
            return EINVAL;
    if (!makeDirectories(dir))
        return errno ? errno : EACCES;
    StoreLock lock(root_);
    if (!lock.held())
        return errno ? errno : EACCES;

    const std::string file = keyFile(subkey);
    Values merged = loadKeyFile(file).value_or(Values{});
    for (const auto& [name, value] : values)
        setValue(merged, name, value);
    return writeFileAtomically(file, serialise(merged)) ? 0 : EIO;
}

std::unique_ptr<SettingsStore> makeSettingsStore()
{
    return std::make_unique<FileSettingsStore>(FileSettingsStore::userConfigHome());
}
