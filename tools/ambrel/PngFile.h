// A PNG writer with no compression library: 8-bit RGB, one IDAT chunk of
// stored (uncompressed) deflate blocks. Files are larger than a compressed
// PNG, but every reader takes them and the Windows tool needs no zlib.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ambrel {

// Encodes `rgb` (width * height * 3 bytes, rows top to bottom) as a PNG
// file image. Returns an empty vector for a zero or mismatching size.
std::vector<std::uint8_t> encodePng(const std::vector<std::uint8_t>& rgb, int width, int height);

// Encodes and writes the file; on failure says why in `error`.
bool writePng(const std::string& path, const std::vector<std::uint8_t>& rgb, int width, int height,
              std::string& error);

// The checksums PNG and zlib use, exposed for the tests.
std::uint32_t crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0);
std::uint32_t adler32(const std::uint8_t* data, std::size_t size, std::uint32_t adler = 1);

} // namespace ambrel
