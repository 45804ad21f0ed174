// The tool's own WAV reader and writer, which the Windows build uses for
// every file: the encodings it must decode, and the damaged files it must
// refuse without reading outside them.
#include "tools/ambrel/WavFile.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace ambrel;

namespace {

// A WAV image built by hand, chunk by chunk.
struct WavImage {
    std::vector<uint8_t> bytes;

    void tag(const char* t)
    {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<uint8_t>(t[i]));
    }
    void u16(uint32_t v)
    {
        bytes.push_back(static_cast<uint8_t>(v));
        bytes.push_back(static_cast<uint8_t>(v >> 8));
    }
    void u32(uint32_t v)
    {
        u16(v & 0xFFFF);
        u16(v >> 16);
    }
    void raw(std::initializer_list<uint8_t> data)
    {
        for (const uint8_t b : data)
            bytes.push_back(b);
    }

    // RIFF header; the size is patched by finish().
    static WavImage start()
    {
        WavImage w;
        w.tag("RIFF");
        w.u32(0);
        w.tag("WAVE");
        return w;
    }
    void format(uint16_t code, uint16_t channels, uint32_t rate, uint16_t bits)
    {
        tag("fmt ");
        u32(16);
        u16(code);
        u16(channels);
        u32(rate);
        u32(rate * channels * bits / 8);
        u16(static_cast<uint16_t>(channels * bits / 8));
        u16(bits);
    }
    void dataHeader(uint32_t size)
    {
        tag("data");
        u32(size);
    }
    std::vector<uint8_t> finish()
    {
        const uint32_t size = static_cast<uint32_t>(bytes.size() - 8);
        std::memcpy(bytes.data() + 4, &size, 4); // little-endian hosts only, as all our targets are
        return bytes;
    }
};

AudioData parseOk(const std::vector<uint8_t>& bytes)
{
    AudioData data;
    std::string error;
    EXPECT_TRUE(parseWav(bytes, data, error)) << error;
    return data;
}

std::string parseError(const std::vector<uint8_t>& bytes)
{
    AudioData data;
    std::string error;
    EXPECT_FALSE(parseWav(bytes, data, error));
    return error;
}

TEST(WavFile, FloatRoundTripKeepsEverySampleAndTheRate)
{
    AudioData in;
    in.sampleRate = 96000.0;
    in.channels = 2;
    in.samples = {0.0, -1.0, 1.0, 0.5, 1e-30, -0.123456789f, 2.5, -3.0}; // above full scale survives
    std::vector<uint8_t> bytes;
    std::string error;
    ASSERT_TRUE(buildFloatWav(in, bytes, error)) << error;
    const AudioData out = parseOk(bytes);
    EXPECT_EQ(out.sampleRate, 96000.0);
    EXPECT_EQ(out.channels, 2);
    ASSERT_EQ(out.samples.size(), in.samples.size());
    for (size_t i = 0; i < in.samples.size(); ++i)
        EXPECT_EQ(out.samples[i], static_cast<double>(static_cast<float>(in.samples[i]))) << i;
}

TEST(WavFile, DecodesEveryPcmWidthToFullScale)
{
    {
        WavImage w = WavImage::start();
        w.format(1, 1, 44100, 16);
        w.dataHeader(6);
        w.raw({0x00, 0x80, 0xFF, 0x7F, 0x00, 0x40}); // -32768, 32767, 16384
        const AudioData d = parseOk(w.finish());
        ASSERT_EQ(d.samples.size(), 3u);
        EXPECT_EQ(d.samples[0], -1.0);
        EXPECT_EQ(d.samples[1], 32767.0 / 32768.0);
        EXPECT_EQ(d.samples[2], 0.5);
    }
    {
        WavImage w = WavImage::start();
        w.format(1, 1, 44100, 24);
        w.dataHeader(6);
        w.raw({0x00, 0x00, 0x80, 0x00, 0x00, 0xC0}); // -8388608, -4194304
        const AudioData d = parseOk(w.finish());
        ASSERT_EQ(d.samples.size(), 2u);
        EXPECT_EQ(d.samples[0], -1.0);
        EXPECT_EQ(d.samples[1], -0.5);
    }
    {
        WavImage w = WavImage::start();
        w.format(1, 1, 44100, 32);
        w.dataHeader(4);
        w.raw({0x00, 0x00, 0x00, 0x40});
        EXPECT_EQ(parseOk(w.finish()).samples.at(0), 0.5);
    }
    {
        WavImage w = WavImage::start();
        w.format(1, 1, 8000, 8);
        w.dataHeader(2);
        w.raw({0x00, 0x80}); // unsigned: -1 and 0
        const AudioData d = parseOk(w.finish());
        EXPECT_EQ(d.samples.at(0), -1.0);
        EXPECT_EQ(d.samples.at(1), 0.0);
    }
}

TEST(WavFile, SkipsOtherChunksIncludingOddSizedOnes)
{
    WavImage w = WavImage::start();
    w.tag("LIST");
    w.u32(3);
    w.raw({'a', 'b', 'c', 0}); // three bytes and the pad byte
    w.format(1, 2, 48000, 16);
    w.tag("junk");
    w.u32(0);
    w.dataHeader(4);
    w.raw({0x00, 0x40, 0x00, 0xC0});
    const AudioData d = parseOk(w.finish());
    EXPECT_EQ(d.channels, 2);
    EXPECT_EQ(d.sampleRate, 48000.0);
    ASSERT_EQ(d.frames(), 1u);
    EXPECT_EQ(d.samples[0], 0.5);
    EXPECT_EQ(d.samples[1], -0.5);
}

TEST(WavFile, ReadsStreamedDataChunksToTheEndOfTheFile)
{
    // Writers that cannot seek back leave the data size 0 or all ones.
    for (const uint32_t unset : {0u, 0xFFFFFFFFu}) {
        WavImage w = WavImage::start();
        w.format(1, 2, 44100, 16);
        w.dataHeader(unset);
        w.raw({0x00, 0x40, 0x00, 0xC0, 0x00, 0x20, 0x00, 0xE0});
        const AudioData d = parseOk(w.finish());
        ASSERT_EQ(d.frames(), 2u) << "data size " << unset;
        EXPECT_EQ(d.samples[0], 0.5);
        EXPECT_EQ(d.samples[3], -0.25);
    }
}

TEST(WavFile, ReadsTheExtensibleFormat)
{
    WavImage w = WavImage::start();
    w.tag("fmt ");
    w.u32(40);
    w.u16(0xFFFE);
    w.u16(1);
    w.u32(44100);
    w.u32(44100 * 4);
    w.u16(4);
    w.u16(32);
    w.u16(22);                 // extension size
    w.u16(32);                 // valid bits
    w.u32(4);                  // channel mask
    w.u16(3);                  // sub-format: IEEE float
    for (int i = 0; i < 14; ++i) // rest of the GUID
        w.raw({0});
    w.dataHeader(4);
    const float f = 0.25f;
    uint8_t b[4];
    std::memcpy(b, &f, 4);
    w.raw({b[0], b[1], b[2], b[3]});
    EXPECT_EQ(parseOk(w.finish()).samples.at(0), 0.25);
}

TEST(WavFile, RefusesDamagedFiles)
{
    EXPECT_NE(parseError({}).find("not a RIFF WAVE"), std::string::npos);
    EXPECT_NE(parseError({'R', 'I', 'F', 'F', 0, 0, 0, 0, 'A', 'V', 'I', ' '}).find("not a RIFF WAVE"),
              std::string::npos);
    {
        WavImage w = WavImage::start();
        w.format(1, 2, 44100, 16);
        w.dataHeader(1000); // promises more than the file holds
        w.raw({1, 2, 3, 4});
        EXPECT_NE(parseError(w.finish()).find("truncated"), std::string::npos);
    }
    {
        WavImage w = WavImage::start();
        w.format(1, 2, 44100, 16);
        w.tag("LIST");
        w.u32(0xFFFFFFF0u); // a size that would wrap a 32-bit offset
        EXPECT_NE(parseError(w.finish()).find("past the end"), std::string::npos);
    }
    {
        WavImage w = WavImage::start();
        w.dataHeader(2);
        w.raw({0, 0});
        w.format(1, 1, 44100, 16);
        EXPECT_NE(parseError(w.finish()).find("before the format"), std::string::npos);
    }
    {
        WavImage w = WavImage::start();
        w.format(1, 0, 44100, 16);
        w.dataHeader(0);
        EXPECT_NE(parseError(w.finish()).find("channel"), std::string::npos);
    }
    {
        WavImage w = WavImage::start();
        w.format(1, 1, 0, 16);
        w.dataHeader(0);
        EXPECT_NE(parseError(w.finish()).find("sample rate"), std::string::npos);
    }
    {
        WavImage w = WavImage::start();
        w.format(1, 1, 44100, 12);
        w.dataHeader(0);
        EXPECT_NE(parseError(w.finish()).find("12 bits"), std::string::npos);
    }
    {
        WavImage w = WavImage::start();
        w.format(2, 1, 44100, 4); // ADPCM
        w.dataHeader(0);
        EXPECT_NE(parseError(w.finish()).find("unsupported WAV encoding"), std::string::npos);
    }
    {
        WavImage w = WavImage::start();
        w.tag("fmt ");
        w.u32(16);
        w.u16(1);
        w.u16(2);
        w.u32(44100);
        w.u32(44100 * 4);
        w.u16(3); // block alignment that does not match two 16-bit channels
        w.u16(16);
        w.dataHeader(4);
        w.raw({0, 0, 0, 0});
        EXPECT_NE(parseError(w.finish()).find("alignment"), std::string::npos);
    }
    {
        WavImage w = WavImage::start();
        w.format(1, 1, 44100, 16);
        EXPECT_NE(parseError(w.finish()).find("no data"), std::string::npos);
    }
}

TEST(WavFile, MissingFileAndUnwritablePathAreErrors)
{
    AudioData data;
    std::string error;
    EXPECT_FALSE(readWavFile("/nonexistent/ambrel/in.wav", data, error));
    EXPECT_NE(error.find("cannot open"), std::string::npos);
    data.sampleRate = 44100.0;
    data.channels = 2;
    data.samples = {0.0, 0.0};
    EXPECT_FALSE(writeWavFile("/nonexistent/ambrel/out.wav", data, error));
    EXPECT_NE(error.find("cannot create"), std::string::npos);
    data.channels = 0;
    std::vector<uint8_t> bytes;
    EXPECT_FALSE(buildFloatWav(data, bytes, error));
}

} // namespace
