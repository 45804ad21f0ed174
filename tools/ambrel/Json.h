// A small streaming JSON writer: two-space indentation, one member per line,
// numbers in their shortest exact form, so output is byte-identical across
// platforms and easy to compare.
#pragma once

#include <cstdio>
#include <cstdint>
#include <string>
#include <vector>

namespace ambrel {

class JsonWriter {
public:
    explicit JsonWriter(std::FILE* out) : out_(out) {}

    JsonWriter& beginObject() { return open('{'); }
    JsonWriter& endObject() { return close('}'); }
    JsonWriter& beginArray() { return open('['); }
    JsonWriter& endArray() { return close(']'); }
    JsonWriter& key(const std::string& name);
    JsonWriter& string(const std::string& value);
    JsonWriter& integer(int64_t value);
    // Non-finite values are written as strings. A float is written in the
    // shortest form that reads back as the same float.
    JsonWriter& number(double value);
    JsonWriter& number(float value);
    JsonWriter& boolean(bool value);
    JsonWriter& null();

    static std::string quote(const std::string& text);

private:
    JsonWriter& open(char bracket);
    JsonWriter& close(char bracket);
    void beforeValue();
    void newline();

    std::FILE* out_;
    struct Level {
        bool empty = true;
    };
    std::vector<Level> levels_;
    bool afterKey_ = false;
};

} // namespace ambrel
