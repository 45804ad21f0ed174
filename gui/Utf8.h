// UTF-8 as the toolkit and the window-system layers read it: text from
// hosts, files and the user is taken as UTF-8 where it is well formed and
// byte by byte (Latin-1) where it is not, so no input is refused or lost.
#pragma once

#include <cstddef>
#include <cstdint>

namespace VSTGUI {

// The length of the longest start of text[0, size) that has at most
// `maxBytes` bytes and does not end inside a UTF-8 sequence.
inline size_t utf8Prefix(const char* text, size_t size, size_t maxBytes)
{
    if (size <= maxBytes)
        return size;
    size_t end = maxBytes;
    // Step back over continuation bytes to the start of the cut sequence;
    // that sequence goes when it does not fit whole.
    size_t start = end;
    while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80)
        --start;
    if (start < end) {
        const unsigned char lead = static_cast<unsigned char>(text[start]);
        const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        if (start + length > end)
            end = start;
    }
    return end;
}

// The character at text[at] (at < size), with `at` moved past it. A byte
// that does not start a well-formed sequence inside text[0, size) (overlong
// forms, surrogates and values past U+10FFFF are not well formed) is one
// Latin-1 character.
inline uint32_t nextUtf8(const char* text, size_t size, size_t& at)
{
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    const unsigned char c = s[at];
    if (c >= 0xC2 && c <= 0xF4) {
        const size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
        uint32_t value = c & (0xFFu >> (length + 1));
        bool valid = at + length <= size;
        for (size_t k = 1; valid && k < length; ++k) {
            if ((s[at + k] & 0xC0) != 0x80)
                valid = false;
            else
                value = (value << 6) | (s[at + k] & 0x3Fu);
        }
        static constexpr uint32_t kMinimum[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (valid && value >= kMinimum[length] && value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF)) {
            at += length;
            return value;
        }
    }
    ++at;
    return c;
}

} // namespace VSTGUI
