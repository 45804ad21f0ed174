#include "platform/win32/RegistrySettingsStore.h"

namespace {

// Values larger than this are not ours and read as missing.
constexpr DWORD kMaxValueSize = 4096;
constexpr REGSAM kView = KEY_WOW64_32KEY;

HKEY openForQuery(HKEY root, const std::string& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE | kView, &key) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

HKEY openForWrite(HKEY root, const std::string& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_WRITE | kView, &key) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

// Whether a key holds any values of its own (sub-keys do not count).
bool holdsValues(HKEY key)
{
    DWORD values = 0;
    return RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                            nullptr, nullptr) == ERROR_SUCCESS &&
           values > 0;
}

bool isStringType(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

} // namespace

RegistrySettingsStore::RegistrySettingsStore(HKEY machineRoot, HKEY userRoot, std::string keyPath)
    : machineRoot_(machineRoot), userRoot_(userRoot), keyPath_(std::move(keyPath))
{
}

std::string RegistrySettingsStore::pathOf(const std::string& subkey) const
{
    return subkey.empty() ? keyPath_ : keyPath_ + "\\" + subkey;
}

std::optional<SettingsStore::Values> RegistrySettingsStore::read(const std::string& subkey,
                                                                 const std::vector<std::string>& names)
{
    const std::string path = pathOf(subkey);
    HKEY key = openForQuery(userRoot_, path);
    // Storing a memory under the user creates the settings key above it
    // too, empty: that key must not hide the machine's settings.
    if (key && !holdsValues(key)) {
        RegCloseKey(key);
        key = nullptr;
    }
    if (!key)
        key = openForQuery(machineRoot_, path);
    if (!key)
        return std::nullopt;

    Values values;
    for (const std::string& name : names) {
        DWORD type = 0;
        DWORD size = 0;
        if (RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
            size > kMaxValueSize)
            continue;
        std::vector<uint8_t> data(size);
        if (RegQueryValueExA(key, name.c_str(), nullptr, &type, size ? data.data() : nullptr, &size) !=
                ERROR_SUCCESS ||
            size > data.size())
            continue;
        data.resize(size);
        Value value;
        value.type = isStringType(type) ? Type::String : Type::Binary;
        if (value.type == Type::String)
            while (!data.empty() && data.back() == 0)
                data.pop_back();
        value.data = std::move(data);
        values.emplace_back(name, std::move(value));
    }
    RegCloseKey(key);
    return values;
}

long RegistrySettingsStore::write(const std::string& subkey, const Values& values)
{
    const std::string path = pathOf(subkey);
    HKEY key = openForWrite(userRoot_, path);
    LONG status = ERROR_SUCCESS;
    if (!key)
        status = RegCreateKeyExA(machineRoot_, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE | kView,
                                 nullptr, &key, nullptr);
    if (!key || status != ERROR_SUCCESS)
        status = RegCreateKeyExA(userRoot_, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE | kView,
                                 nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS)
        return status;

    LONG result = ERROR_SUCCESS;
    for (const auto& [name, value] : values) {
        LONG s;
        if (value.type == Type::String) {
            std::vector<uint8_t> text = value.data;
            text.push_back(0);
            s = RegSetValueExA(key, name.c_str(), 0, REG_SZ, text.data(), static_cast<DWORD>(text.size()));
        } else {
            s = RegSetValueExA(key, name.c_str(), 0, REG_BINARY, value.data.data(),
                               static_cast<DWORD>(value.data.size()));
        }
        if (s != ERROR_SUCCESS && result == ERROR_SUCCESS)
            result = s;
    }
    RegCloseKey(key);
    return result;
}

std::unique_ptr<SettingsStore> makeSettingsStore()
{
    return std::make_unique<RegistrySettingsStore>();
}
