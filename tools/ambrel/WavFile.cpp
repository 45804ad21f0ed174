#include "tools/ambrel/WavFile.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

namespace ambrel {

namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xFFFE;
constexpr int kMaxChannels = 64;

uint16_t le16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t le32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

void put16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(static_cast<uint8_t>(v & 0xFF));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>((v >> (8 * i)) & 0xFF));
}

void putTag(std::vector<uint8_t>& out, const char* tag)
{
    out.insert(out.end(), tag, tag + 4);
}

double decodeSample(const uint8_t* p, uint16_t format, int bits)
{
    if (format == kFormatFloat) {
        if (bits == 32) {
            const uint32_t u = le32(p);
            float f;
            std::memcpy(&f, &u, sizeof(f));
            return f;
        }
        const uint64_t u = static_cast<uint64_t>(le32(p)) | (static_cast<uint64_t>(le32(p + 4)) << 32);
        double d;
        std::memcpy(&d, &u, sizeof(d));
        return d;
    }
    switch (bits) {
    case 8:
        return (static_cast<int>(p[0]) - 128) / 128.0; // 8-bit PCM is unsigned
    case 16:
        return static_cast<int16_t>(le16(p)) / 32768.0;
    case 24: {
        int32_t v = static_cast<int32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
        if (v & 0x800000)
            v -= 0x1000000;
        return v / 8388608.0;
    }
    default:
        return static_cast<int32_t>(le32(p)) / 2147483648.0;
    }
}

} // namespace

bool parseWav(const std::vector<uint8_t>& bytes, AudioData& data, std::string& error)
{
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
        error = "not a RIFF WAVE file";
        return false;
    }

    bool haveFormat = false;
    uint16_t format = 0;
    int channels = 0;
    uint32_t rate = 0;
    int bits = 0;
    size_t blockAlign = 0;
    const uint8_t* samples = nullptr;
    size_t sampleBytes = 0;

    size_t pos = 12;
    while (pos + 8 <= bytes.size()) {
        const uint8_t* chunk = bytes.data() + pos;
        const uint32_t declared = le32(chunk + 4);
        const size_t available = bytes.size() - pos - 8;
        const bool isData = std::memcmp(chunk, "data", 4) == 0;
        size_t size = declared;
        // Other streaming writers leave the data size 0: the samples then run
        // to the end of the file.
        if (isData && declared == 0)
            size = available;
        if (size > available) {
            // Writers that stream leave the size unset (all ones); any other
            // size past the end means the file was cut short.
            if (isData && declared == 0xFFFFFFFFu) {
                size = available;
            } else {
                error = std::string("the '") + std::string(reinterpret_cast<const char*>(chunk), 4) +
                        "' chunk runs past the end of the file (truncated?)";
                return false;
            }
        }
        const uint8_t* body = chunk + 8;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 16) {
                error = "format chunk too short";
                return false;
            }
            format = le16(body);
            channels = le16(body + 2);
            rate = le32(body + 4);
            blockAlign = le16(body + 12);
            bits = le16(body + 14);
            if (format == kFormatExtensible) {
                if (size < 40) {
                    error = "extensible format chunk too short";
                    return false;
                }
                format = le16(body + 24); // the first two bytes of the sub-format GUID
            }
            haveFormat = true;
        } else if (isData) {
            if (!haveFormat) {
                error = "data chunk before the format chunk";
                return false;
            }
            samples = body;
            sampleBytes = size;
            break;
        }
        pos += 8 + size + (size & 1); // chunks are padded to an even size
    }

    if (!haveFormat) {
        error = "no format chunk";
        return false;
    }
    if (format != kFormatPcm && format != kFormatFloat) {
        error = "unsupported WAV encoding " + std::to_string(format) + " (PCM or IEEE float only)";
        return false;
    }
    const bool bitsOk = format == kFormatPcm ? (bits == 8 || bits == 16 || bits == 24 || bits == 32)
                                             : (bits == 32 || bits == 64);
    if (!bitsOk) {
        error = "unsupported sample size of " + std::to_string(bits) + " bits";
        return false;
    }
    if (channels < 1 || channels > kMaxChannels) {
        error = "unsupported channel count " + std::to_string(channels);
        return false;
    }
    if (rate == 0) {
        error = "sample rate 0";
        return false;
    }
    const size_t bytesPerSample = static_cast<size_t>(bits) / 8;
    if (blockAlign != bytesPerSample * static_cast<size_t>(channels)) {
        error = "inconsistent block alignment";
        return false;
    }
    if (!samples) {
        error = "no data chunk";
        return false;
    }

    const size_t frames = sampleBytes / blockAlign;
    data.sampleRate = rate;
    data.channels = channels;
    data.samples.resize(frames * static_cast<size_t>(channels));
    for (size_t i = 0; i < data.samples.size(); ++i)
        data.samples[i] = decodeSample(samples + i * bytesPerSample, format, bits);
    return true;
}

bool buildFloatWav(const AudioData& data, std::vector<uint8_t>& bytes, std::string& error)
{
    if (data.channels < 1 || data.channels > kMaxChannels || !(data.sampleRate > 0.0) ||
        data.sampleRate > std::numeric_limits<uint32_t>::max()) {
        error = "cannot write a WAV file with " + std::to_string(data.channels) + " channels at this sample rate";
        return false;
    }
    const uint64_t dataBytes = static_cast<uint64_t>(data.samples.size()) * 4;
    const uint64_t total = 4 + (8 + 18) + (8 + 4) + (8 + dataBytes);
    if (total > 0xFFFFFFFFull) {
        error = "the output exceeds the 4 GiB limit of a WAV file";
        return false;
    }
    const uint16_t channels = static_cast<uint16_t>(data.channels);
    bytes.clear();
    bytes.reserve(static_cast<size_t>(total) + 8);
    putTag(bytes, "RIFF");
    put32(bytes, static_cast<uint32_t>(total));
    putTag(bytes, "WAVE");
    // Non-PCM formats carry the extension size and a fact chunk.
    putTag(bytes, "fmt ");
    put32(bytes, 18);
    put16(bytes, kFormatFloat);
    put16(bytes, channels);
    put32(bytes, static_cast<uint32_t>(std::lround(data.sampleRate)));
    put32(bytes, static_cast<uint32_t>(std::lround(data.sampleRate)) * 4u * channels);
    put16(bytes, static_cast<uint16_t>(4 * channels));
    put16(bytes, 32);
    put16(bytes, 0);
    putTag(bytes, "fact");
    put32(bytes, 4);
    put32(bytes, static_cast<uint32_t>(data.frames()));
    putTag(bytes, "data");
    put32(bytes, static_cast<uint32_t>(dataBytes));
    for (const double s : data.samples) {
        const float f = static_cast<float>(s);
        uint32_t u;
        std::memcpy(&u, &f, sizeof(u));
        put32(bytes, u);
    }
    return true;
}

bool readWavFile(const std::string& path, AudioData& data, std::string& error)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    std::vector<uint8_t> bytes;
    uint8_t buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), file.get())) > 0)
        bytes.insert(bytes.end(), buffer, buffer + n);
    if (std::ferror(file.get())) {
        error = "cannot read " + path;
        return false;
    }
    std::string reason;
    if (!parseWav(bytes, data, reason)) {
        error = path + ": " + reason;
        return false;
    }
    return true;
}

bool writeWavFile(const std::string& path, const AudioData& data, std::string& error)
{
    std::vector<uint8_t> bytes;
    if (!buildFloatWav(data, bytes, error))
        return false;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        error = "cannot write " + path + " (disk full?)";
        std::remove(path.c_str());
        return false;
    }
    return true;
}

} // namespace ambrel
