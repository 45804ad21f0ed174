#include "tools/ambrel/PngFile.h"

#include <gtest/gtest.h>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb/stb_image.h>

#include <cstdint>
#include <string>
#include <vector>

namespace ambrel {
namespace {

std::uint32_t bigEndian(const std::uint8_t* p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

std::vector<std::uint8_t> gradient(int width, int height)
{
    std::vector<std::uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            p[0] = static_cast<std::uint8_t>(x * 7 + y);
            p[1] = static_cast<std::uint8_t>(y * 3);
            p[2] = static_cast<std::uint8_t>((x ^ y) * 11);
        }
    return rgb;
}

TEST(PngFile, ChecksumsMatchTheirPublishedCheckValues)
{
    const std::string digits = "123456789";
    const auto* d = reinterpret_cast<const std::uint8_t*>(digits.data());
    EXPECT_EQ(crc32(d, digits.size()), 0xCBF43926u);
    // Running on in pieces gives the same as one call.
    EXPECT_EQ(crc32(d + 4, 5, crc32(d, 4)), 0xCBF43926u);
    const std::string word = "Wikipedia";
    EXPECT_EQ(adler32(reinterpret_cast<const std::uint8_t*>(word.data()), word.size()), 0x11E60398u);
    // Long runs of 0xFF exercise the deferred modulo.
    const std::vector<std::uint8_t> ones(100000, 0xFF);
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t v : ones) {
        a = (a + v) % 65521;
        b = (b + a) % 65521;
    }
    EXPECT_EQ(adler32(ones.data(), ones.size()), (b << 16) | a);
}

// Sizes below one stored block, exactly around the 65535-byte block limit
// and spanning many blocks decode back to the same pixels.
TEST(PngFile, DecodesBackToTheSamePixels)
{
    const std::pair<int, int> sizes[] = {{1, 1}, {7, 3}, {21845, 1}, {21844, 1}, {392, 372}, {1000, 700}};
    for (const auto& [width, height] : sizes) {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
        const std::vector<std::uint8_t> rgb = gradient(width, height);
        const std::vector<std::uint8_t> png = encodePng(rgb, width, height);
        ASSERT_FALSE(png.empty());
        int w = 0, h = 0, channels = 0;
        stbi_uc* pixels = stbi_load_from_memory(png.data(), static_cast<int>(png.size()), &w, &h, &channels, 3);
        ASSERT_NE(pixels, nullptr) << stbi_failure_reason();
        EXPECT_EQ(w, width);
        EXPECT_EQ(h, height);
        EXPECT_EQ(channels, 3);
        EXPECT_TRUE(std::equal(rgb.begin(), rgb.end(), pixels));
        stbi_image_free(pixels);
    }
}

// stb_image does not check the checksums, so walk the chunks here: every
// chunk's CRC and the zlib stream's Adler-32 must be right, or stricter
// readers (libpng, browsers) refuse the file.
TEST(PngFile, ChunkAndStreamChecksumsAreRight)
{
    const int width = 300, height = 250; // more than one stored block
    const std::vector<std::uint8_t> rgb = gradient(width, height);
    const std::vector<std::uint8_t> png = encodePng(rgb, width, height);
    ASSERT_GT(png.size(), 8u);
    size_t at = 8;
    std::vector<std::string> types;
    std::vector<std::uint8_t> zlib;
    while (at + 12 <= png.size()) {
        const std::uint32_t length = bigEndian(&png[at]);
        ASSERT_LE(at + 12 + length, png.size());
        const std::string type(png.begin() + at + 4, png.begin() + at + 8);
        types.push_back(type);
        EXPECT_EQ(crc32(&png[at + 4], length + 4), bigEndian(&png[at + 8 + length])) << type;
        if (type == "IDAT")
            zlib.insert(zlib.end(), png.begin() + at + 8, png.begin() + at + 8 + length);
        at += 12 + length;
    }
    EXPECT_EQ(at, png.size());
    EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
    ASSERT_GT(zlib.size(), 6u);
    EXPECT_EQ((zlib[0] * 256 + zlib[1]) % 31, 0) << "zlib header check bits";

    // Undo the stored blocks and compare the Adler-32 with the raw rows.
    std::vector<std::uint8_t> raw;
    size_t p = 2;
    bool last = false;
    while (!last) {
        ASSERT_LE(p + 5, zlib.size());
        last = zlib[p] & 1;
        const unsigned n = zlib[p + 1] | (zlib[p + 2] << 8);
        const unsigned nn = zlib[p + 3] | (zlib[p + 4] << 8);
        EXPECT_EQ(n ^ 0xFFFFu, nn);
        raw.insert(raw.end(), zlib.begin() + p + 5, zlib.begin() + p + 5 + n);
        p += 5 + n;
    }
    ASSERT_EQ(p + 4, zlib.size());
    EXPECT_EQ(raw.size(), static_cast<size_t>(width * 3 + 1) * height);
    EXPECT_EQ(adler32(raw.data(), raw.size()), bigEndian(&zlib[p]));
}

TEST(PngFile, RefusesSizesThatDoNotMatchThePixels)
{
    const std::vector<std::uint8_t> rgb = gradient(4, 4);
    EXPECT_TRUE(encodePng(rgb, 0, 4).empty());
    EXPECT_TRUE(encodePng(rgb, 4, -1).empty());
    EXPECT_TRUE(encodePng(rgb, 5, 4).empty());
    EXPECT_TRUE(encodePng(rgb, 4, 5).empty());
    std::string error;
    EXPECT_FALSE(writePng("/nonexistent-folder/x.png", rgb, 4, 4, error));
    EXPECT_NE(error.find("/nonexistent-folder/x.png"), std::string::npos);
}

} // namespace
} // namespace ambrel
