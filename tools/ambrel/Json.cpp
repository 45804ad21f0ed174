#include "tools/ambrel/Json.h"

#include <charconv>
#include <cmath>

namespace ambrel {

std::string JsonWriter::quote(const std::string& text)
{
    std::string q = "\"";
    for (const unsigned char c : text) {
        switch (c) {
        case '"': q += "\\\""; break;
        case '\\': q += "\\\\"; break;
        case '\n': q += "\\n"; break;
        case '\r': q += "\\r"; break;
        case '\t': q += "\\t"; break;
        default:
            if (c < 0x20 || c >= 0x7F) {
                // Effects write 8-bit text of unknown encoding: keep each byte.
                char buffer[8];
                std::snprintf(buffer, sizeof(buffer), "\\u%04x", c);
                q += buffer;
            } else {
                q += static_cast<char>(c);
            }
        }
    }
    return q + "\"";
}

void JsonWriter::newline()
{
    std::fputc('\n', out_);
    for (size_t i = 0; i < levels_.size(); ++i)
        std::fputs("  ", out_);
}

void JsonWriter::beforeValue()
{
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!levels_.empty()) {
        if (!levels_.back().empty)
            std::fputc(',', out_);
        levels_.back().empty = false;
        newline();
    }
}

JsonWriter& JsonWriter::open(char bracket)
{
    beforeValue();
    std::fputc(bracket, out_);
    levels_.push_back({});
    return *this;
}

JsonWriter& JsonWriter::close(char bracket)
{
    const bool empty = levels_.back().empty;
    levels_.pop_back();
    if (!empty)
        newline();
    std::fputc(bracket, out_);
    return *this;
}

JsonWriter& JsonWriter::key(const std::string& name)
{
    beforeValue();
    std::fputs(quote(name).c_str(), out_);
    std::fputs(": ", out_);
    afterKey_ = true;
    return *this;
}

JsonWriter& JsonWriter::string(const std::string& value)
{
    beforeValue();
    std::fputs(quote(value).c_str(), out_);
    return *this;
}

JsonWriter& JsonWriter::integer(int64_t value)
{
    beforeValue();
    std::fputs(std::to_string(value).c_str(), out_);
    return *this;
}

JsonWriter& JsonWriter::number(double value)
{
    if (!std::isfinite(value))
        return string(std::isnan(value) ? "nan" : (value > 0 ? "inf" : "-inf"));
    beforeValue();
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
    std::fwrite(buffer, 1, static_cast<size_t>(result.ptr - buffer), out_);
    return *this;
}

JsonWriter& JsonWriter::number(float value)
{
    if (!std::isfinite(value))
        return number(static_cast<double>(value));
    beforeValue();
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
    std::fwrite(buffer, 1, static_cast<size_t>(result.ptr - buffer), out_);
    return *this;
}

JsonWriter& JsonWriter::boolean(bool value)
{
    beforeValue();
    std::fputs(value ? "true" : "false", out_);
    return *this;
}

JsonWriter& JsonWriter::null()
{
    beforeValue();
    std::fputs("null", out_);
    return *this;
}

} // namespace ambrel
