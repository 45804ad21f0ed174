// A small registry-like store for values that outlive an instance and are
// shared by every instance on the machine: the editor settings and the A/B
// memories. Keys hang below one path ("SOFTWARE\Nurwerk\Ambrel20"); a key
// holds named values, each binary data or a zero-terminated string.
//
// Windows keeps them in the registry, other platforms in a per-user file that
// mirrors the same key path, value names and data formats.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class SettingsStore {
public:
    // Key path of the store and the sub-keys used below it ("" is the key itself).
    static constexpr const char* kKeyPath = "SOFTWARE\\Nurwerk\\Ambrel20";

    enum class Type : uint8_t { String, Binary };

    struct Value {
        Type type = Type::Binary;
        // Binary data as stored, or the string's characters without terminator.
        std::vector<uint8_t> data;
    };

    // Named values in the order they are to be written.
    using Values = std::vector<std::pair<std::string, Value>>;

    virtual ~SettingsStore() = default;

    // Reads the named values of a key. nullopt when the key does not exist or
    // cannot be opened; otherwise the values found (missing names are absent).
    virtual std::optional<Values> read(const std::string& subkey, const std::vector<std::string>& names) = 0;

    // Creates the key if needed and sets the values, leaving its other values
    // as they are. Returns 0 on success, else a platform error code; on
    // failure the key keeps its previous contents.
    virtual long write(const std::string& subkey, const Values& values) = 0;

    // Helpers over read and write.
    static Value binaryFloat(float value);
    static Value string(const std::string& text);
    // The value as a little-endian 32-bit float; nullopt unless it is exactly 4 bytes.
    static std::optional<float> asFloat(const Value& value);
    // The value's characters up to the first zero byte.
    static std::string asString(const Value& value);
    static const Value* find(const Values& values, const std::string& name);

    // One float value of a key; nullopt when the key or the value is missing
    // or the value is not exactly 4 bytes.
    std::optional<float> readFloat(const std::string& subkey, const std::string& name);
    long writeFloat(const std::string& subkey, const std::string& name, float value);
};

// The platform's store (registry on Windows, a per-user file elsewhere).
std::unique_ptr<SettingsStore> makeSettingsStore();
