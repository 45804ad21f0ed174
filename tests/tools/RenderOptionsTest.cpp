// Parsing the values a user types for `ambrel render --param`, and the JSON
// text the tool's output is compared by.
#include "tools/ambrel/Json.h"
#include "tools/ambrel/Render.h"

#include <gtest/gtest.h>

using namespace ambrel;

namespace {

TEST(RenderOptions, NormalizedValuesAreFiniteNumbersFromZeroToOne)
{
    float v = -1.0f;
    std::string error;
    for (const auto& [text, expected] : std::vector<std::pair<std::string, float>>{
             {"0", 0.0f}, {"1", 1.0f}, {"0.5", 0.5f}, {"1e-3", 0.001f}, {"-0", 0.0f}, {".25", 0.25f}}) {
        EXPECT_TRUE(parseNormalized(text, v, error)) << text << ": " << error;
        EXPECT_EQ(v, expected) << text;
    }
    for (const std::string text : {"", " 0.5", "0.5 ", "1.0001", "-0.01", "nan", "inf", "-inf", "0x", "half", "1e400"})
        EXPECT_FALSE(parseNormalized(text, v, error)) << "'" << text << "'";
}

TEST(JsonText, QuotesEveryCharacterThatNeedsIt)
{
    EXPECT_EQ(JsonWriter::quote("plain"), "\"plain\"");
    EXPECT_EQ(JsonWriter::quote("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(JsonWriter::quote("tab\there\nline"), "\"tab\\there\\nline\"");
    EXPECT_EQ(JsonWriter::quote(std::string("\x01\x7f\xe9", 3)), "\"\\u0001\\u007f\\u00e9\"");
}

} // namespace
