#include "tools/ambrel/PngFile.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

namespace ambrel {

namespace {

std::array<std::uint32_t, 256> makeCrcTable()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

void putBigEndian(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    out.push_back(static_cast<std::uint8_t>(v >> 24));
    out.push_back(static_cast<std::uint8_t>(v >> 16));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

void putChunk(std::vector<std::uint8_t>& out, const char type[4], const std::vector<std::uint8_t>& data)
{
    putBigEndian(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    // The CRC covers the type and the data, not the length.
    putBigEndian(out, crc32(out.data() + typeAt, out.size() - typeAt));
}

} // namespace

std::uint32_t crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc)
{
    static const std::array<std::uint32_t, 256> table = makeCrcTable();
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

std::uint32_t adler32(const std::uint8_t* data, std::size_t size, std::uint32_t adler)
{
    constexpr std::uint32_t kBase = 65521;
    std::uint32_t a = adler & 0xFFFF;
    std::uint32_t b = adler >> 16;
    // 5552 bytes is the most that can be summed before b may overflow.
    while (size > 0) {
        const std::size_t n = size < 5552 ? size : 5552;
        for (std::size_t i = 0; i < n; ++i) {
            a += data[i];
            b += a;
        }
        a %= kBase;
        b %= kBase;
        data += n;
        size -= n;
    }
    return (b << 16) | a;
}

std::vector<std::uint8_t> encodePng(const std::vector<std::uint8_t>& rgb, int width, int height)
{
    if (width <= 0 || height <= 0)
        return {};
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    if (rowBytes / 3 != static_cast<std::size_t>(width) || rgb.size() / rowBytes != static_cast<std::size_t>(height)
        || rgb.size() % rowBytes != 0)
        return {};
    // The filtered image: each row starts with filter type 0 (none).
    const std::size_t rawSize = (rowBytes + 1) * static_cast<std::size_t>(height);
    if (rawSize > std::numeric_limits<std::uint32_t>::max() / 2)
        return {};
    std::vector<std::uint8_t> raw;
    raw.reserve(rawSize);
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        const auto row = rgb.begin() + static_cast<std::ptrdiff_t>(rowBytes * static_cast<std::size_t>(y));
        raw.insert(raw.end(), row, row + static_cast<std::ptrdiff_t>(rowBytes));
    }

    // zlib stream: header (deflate, 32K window, no dictionary, level 0),
    // stored blocks of at most 65535 bytes, Adler-32 of the raw data.
    std::vector<std::uint8_t> zlib;
    zlib.reserve(rawSize + rawSize / 65535 * 5 + 16);
    zlib.push_back(0x78);
    zlib.push_back(0x01);
    std::size_t at = 0;
    do {
        const std::size_t n = rawSize - at < 65535 ? rawSize - at : 65535;
        const bool last = at + n == rawSize;
        zlib.push_back(last ? 1 : 0); // BFINAL, BTYPE 00
        zlib.push_back(static_cast<std::uint8_t>(n));
        zlib.push_back(static_cast<std::uint8_t>(n >> 8));
        zlib.push_back(static_cast<std::uint8_t>(~n));
        zlib.push_back(static_cast<std::uint8_t>(~n >> 8));
        zlib.insert(zlib.end(), raw.begin() + static_cast<std::ptrdiff_t>(at),
                    raw.begin() + static_cast<std::ptrdiff_t>(at + n));
        at += n;
    } while (at < rawSize);
    putBigEndian(zlib, adler32(raw.data(), raw.size()));

    std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> header;
    putBigEndian(header, static_cast<std::uint32_t>(width));
    putBigEndian(header, static_cast<std::uint32_t>(height));
    header.push_back(8); // bit depth
    header.push_back(2); // colour type: RGB
    header.push_back(0); // compression: deflate
    header.push_back(0); // filter method 0
    header.push_back(0); // no interlace
    putChunk(png, "IHDR", header);
    putChunk(png, "IDAT", zlib);
    putChunk(png, "IEND", {});
    return png;
}

bool writePng(const std::string& path, const std::vector<std::uint8_t>& rgb, int width, int height,
              std::string& error)
{
    const std::vector<std::uint8_t> png = encodePng(rgb, width, height);
    if (png.empty()) {
        error = "cannot encode an image of " + std::to_string(width) + "x" + std::to_string(height) + " pixels";
        return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        std::remove(path.c_str());
        return false;
    }
    return true;
}

} // namespace ambrel
