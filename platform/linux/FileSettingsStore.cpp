#include "platform/linux/FileSettingsStore.h"

#include "platform/FileAccess.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
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

bool validValueName(std::string_view name)
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

// One `type<TAB>name<TAB>hex` line split into its fields, the data not yet
// decoded; false when it is not such a line.
struct Line {
    SettingsStore::Type type;
    std::string_view name;
    std::string_view hex;
};

bool splitLine(std::string_view line, Line& out)
{
    const size_t tab1 = line.find('\t');
    if (tab1 == std::string_view::npos)
        return false;
    const size_t tab2 = line.find('\t', tab1 + 1);
    if (tab2 == std::string_view::npos || line.find('\t', tab2 + 1) != std::string_view::npos)
        return false;
    const std::string_view type = line.substr(0, tab1);
    if (type == "binary")
        out.type = SettingsStore::Type::Binary;
    else if (type == "string")
        out.type = SettingsStore::Type::String;
    else
        return false;
    out.name = line.substr(tab1 + 1, tab2 - tab1 - 1);
    out.hex = line.substr(tab2 + 1);
    return validValueName(out.name) && out.hex.size() % 2 == 0;
}

bool decodeHex(std::string_view hex, std::vector<uint8_t>& data)
{
    data.resize(hex.size() / 2);
    for (size_t i = 0; i < data.size(); ++i) {
        const int hi = hexDigit(hex[2 * i]);
        const int lo = hexDigit(hex[2 * i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        data[i] = static_cast<uint8_t>(hi * 16 + lo);
    }
    return true;
}

// Values in file order with an index by name, so that each line costs one
// look-up however many values the file holds.
class KeyValues {
public:
    // Replaces the value of that name, or adds it at the end.
    void set(std::string_view name, SettingsStore::Value value)
    {
        auto [it, added] = index_.try_emplace(std::string(name), values_.size());
        if (added)
            values_.emplace_back(it->first, std::move(value));
        else
            values_[it->second].second = std::move(value);
    }
    SettingsStore::Values take() { return std::move(values_); }

private:
    SettingsStore::Values values_;
    std::unordered_map<std::string, size_t> index_;
};

enum class KeyFileState { Read, Missing, Unreadable };

// Reads a key file. Missing when it does not exist; Unreadable when it
// exists but cannot be read, is not a regular file or is larger than any
// key file, with the reason in `error`.
KeyFileState readKeyFile(const std::string& path, std::vector<uint8_t>& bytes, int& error)
{
    FileRead read = readRegularFile(path, kMaxKeyFile + 1);
    error = read.error;
    if (read.status == FileReadStatus::Missing)
        return KeyFileState::Missing;
    if (read.status == FileReadStatus::NotRegular)
        error = EINVAL;
    if (read.status != FileReadStatus::Ok)
        return KeyFileState::Unreadable;
    if (read.bytes.size() > kMaxKeyFile) {
        error = EFBIG;
        return KeyFileState::Unreadable;
    }
    bytes = std::move(read.bytes);
    return KeyFileState::Read;
}

// Adds the values of a key file's text to `values`; false when the text is
// not a key file (no header line). With `only`, lines of other names are
// skipped before their data is decoded.
bool parseInto(std::string_view text, const std::vector<std::string>* only, KeyValues& values)
{
    size_t pos = text.find('\n');
    if (pos == std::string_view::npos || text.substr(0, pos) != FileSettingsStore::kHeader)
        return false;
    std::unordered_set<std::string_view> wanted;
    if (only)
        wanted.insert(only->begin(), only->end());
    while (pos < text.size()) {
        const size_t start = pos + 1;
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size(); // a last line cut short still parses or is skipped
        pos = end;
        Line line;
        if (!splitLine(text.substr(start, end - start), line) || (only && !wanted.count(line.name)))
            continue;
        SettingsStore::Value value;
        value.type = line.type;
        if (decodeHex(line.hex, value.data))
            values.set(line.name, std::move(value));
    }
    return true;
}

std::string_view textOf(const std::vector<uint8_t>& bytes)
{
    return std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
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

std::optional<SettingsStore::Values> FileSettingsStore::parse(std::string_view text,
                                                              const std::vector<std::string>* only)
{
    KeyValues values;
    if (!parseInto(text, only, values))
        return std::nullopt;
    return values.take();
}

std::string FileSettingsStore::serialise(const Values& values)
{
    static const char* digits = "0123456789abcdef";
    std::string text = kHeader;
    text += '\n';
    for (const auto& [name, value] : values) {
        text += value.type == Type::Binary ? "binary" : "string";
        text += '\t';
        text += name;
        text += '\t';
        for (uint8_t b : value.data) {
            text += digits[b >> 4];
            text += digits[b & 15];
        }
        text += '\n';
    }
    return text;
}

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
    std::vector<uint8_t> bytes;
    int error = 0;
    if (readKeyFile(file, bytes, error) != KeyFileState::Read)
        return std::nullopt;
    const std::optional<Values> all = parse(textOf(bytes), &names);
    if (!all)
        return std::nullopt; // not a key file: no values at all
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

    // A file that exists but could not be read is left as it is, as after a
    // failed write: rewriting it would replace the user's values with ours.
    // One that is not a key file holds no values of ours and is replaced.
    const std::string file = keyFile(subkey);
    std::vector<uint8_t> bytes;
    int error = 0;
    if (readKeyFile(file, bytes, error) == KeyFileState::Unreadable)
        return error ? error : EACCES;
    KeyValues merged;
    parseInto(textOf(bytes), nullptr, merged);
    for (const auto& [name, value] : values)
        merged.set(name, value);
    const std::string text = serialise(merged.take());
    return writeFileAtomically(file, std::vector<uint8_t>(text.begin(), text.end())) ? 0 : EIO;
}

std::unique_ptr<SettingsStore> makeSettingsStore()
{
    return std::make_unique<FileSettingsStore>(FileSettingsStore::userConfigHome());
}
