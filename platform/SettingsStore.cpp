#include "platform/SettingsStore.h"

#include <cstring>

SettingsStore::Value SettingsStore::binaryFloat(float value)
{
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof(bits));
    Value v;
    v.type = Type::Binary;
    v.data = {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8), static_cast<uint8_t>(bits >> 16),
              static_cast<uint8_t>(bits >> 24)};
    return v;
}

SettingsStore::Value SettingsStore::string(const std::string& text)
{
    Value v;
    v.type = Type::String;
    v.data.assign(text.begin(), text.end());
    return v;
}

std::optional<float> SettingsStore::asFloat(const Value& value)
{
    if (value.data.size() != 4)
        return std::nullopt;
    const uint32_t bits = static_cast<uint32_t>(value.data[0]) | (static_cast<uint32_t>(value.data[1]) << 8) |
                          (static_cast<uint32_t>(value.data[2]) << 16) | (static_cast<uint32_t>(value.data[3]) << 24);
    float f = 0.0f;
    std::memcpy(&f, &bits, sizeof(f));
    return f;
}

std::string SettingsStore::asString(const Value& value)
{
    std::string text;
    for (uint8_t c : value.data) {
        if (c == 0)
            break;
        text.push_back(static_cast<char>(c));
    }
    return text;
}

const SettingsStore::Value* SettingsStore::find(const Values& values, const std::string& name)
{
    for (const auto& [n, v] : values)
        if (n == name)
            return &v;
    return nullptr;
}

std::optional<float> SettingsStore::readFloat(const std::string& subkey, const std::string& name)
{
    const std::optional<Values> values = read(subkey, {name});
    if (!values)
        return std::nullopt;
    const Value* v = find(*values, name);
    return v ? asFloat(*v) : std::nullopt;
}

long SettingsStore::writeFloat(const std::string& subkey, const std::string& name, float value)
{
    return write(subkey, {{name, binaryFloat(value)}});
}
