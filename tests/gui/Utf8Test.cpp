// The UTF-8 reading that text fields, the preset names, the software raster
// and the Windows layer share.
#include "gui/Utf8.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using VSTGUI::nextUtf8;
using VSTGUI::utf8Prefix;

std::vector<uint32_t> decode(const std::string& text)
{
    std::vector<uint32_t> points;
    for (size_t at = 0; at < text.size();)
        points.push_back(nextUtf8(text.data(), text.size(), at));
    return points;
}

TEST(Utf8, WellFormedSequencesAreCharactersAndTheRestLatin1Bytes)
{
    EXPECT_EQ(decode("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xB5"), (std::vector<uint32_t>{'a', 0xE9, 0x20AC, 0x1F3B5}));
    // Overlong forms, a surrogate, a value past U+10FFFF, a lone
    // continuation byte: each byte stands for itself.
    EXPECT_EQ(decode("\xC0\xAF"), (std::vector<uint32_t>{0xC0, 0xAF}));
    EXPECT_EQ(decode("\xE0\x80\xAF"), (std::vector<uint32_t>{0xE0, 0x80, 0xAF}));
    EXPECT_EQ(decode("\xED\xA0\x80"), (std::vector<uint32_t>{0xED, 0xA0, 0x80}));
    EXPECT_EQ(decode("\xF4\x90\x80\x80"), (std::vector<uint32_t>{0xF4, 0x90, 0x80, 0x80}));
    EXPECT_EQ(decode("\x80x"), (std::vector<uint32_t>{0x80, 'x'}));
    // The end of the text ends a sequence; a zero byte inside is a character.
    EXPECT_EQ(decode("\xE2\x82"), (std::vector<uint32_t>{0xE2, 0x82}));
    EXPECT_EQ(decode(std::string("a\0b", 3)), (std::vector<uint32_t>{'a', 0, 'b'}));
    const char euro[] = "\xE2\x82\xAC";
    size_t at = 0;
    EXPECT_EQ(nextUtf8(euro, 2, at), 0xE2u); // only two bytes of it are the text's
    EXPECT_EQ(at, 1u);
}

TEST(Utf8, APrefixNeverEndsInsideASequence)
{
    const std::string text = "ab\xE2\x82\xAC" "c"; // a, b, euro sign, c
    EXPECT_EQ(utf8Prefix(text.data(), text.size(), 10), text.size());
    EXPECT_EQ(utf8Prefix(text.data(), text.size(), 6), 6u);
    EXPECT_EQ(utf8Prefix(text.data(), text.size(), 5), 5u); // the euro sign whole
    EXPECT_EQ(utf8Prefix(text.data(), text.size(), 4), 2u); // not a part of it
    EXPECT_EQ(utf8Prefix(text.data(), text.size(), 3), 2u);
    EXPECT_EQ(utf8Prefix(text.data(), text.size(), 2), 2u);
    EXPECT_EQ(utf8Prefix(text.data(), text.size(), 0), 0u);
    // Broken text is cut where it is asked to be.
    const std::string stray = "a\x80\x80\x80";
    EXPECT_EQ(utf8Prefix(stray.data(), stray.size(), 2), 2u);
}

} // namespace
