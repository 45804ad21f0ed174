// Decoding of the compressed skin (format in EmbeddedSkin.h): the images of
// a record table and blob, the Linux binaries' own or a pack's. Every size
// is checked against the skin's geometry before anything is read, every
// zlib stream must fill its buffer exactly, and a failure answers false, so
// a damaged build shows a missing bitmap rather than garbage.
#include "resources/EmbeddedSkin.h"
#include "resources/SkinIds.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

// Only stb_image's zlib decoder is used; none of its image formats.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
#define STBI_NO_JPEG
#define STBI_NO_PNG
#define STBI_NO_BMP
#define STBI_NO_PSD
#define STBI_NO_TGA
#define STBI_NO_GIF
#define STBI_NO_HDR
#define STBI_NO_PIC
#define STBI_NO_PNM
#define STBI_SUPPORT_ZLIB
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

namespace skin {

namespace embedded {

namespace {

bool inflateRange(const ImageSet& set, uint32_t offset, uint32_t length, uint8_t* out, size_t size)
{
    if (offset > set.blobSize || length > set.blobSize - offset)
        return false;
    return inflateExact(set.blob + offset, length, out, size);
}

void frameOrigin(const ImageRecord& r, int k, int& x, int& y)
{
    const int rows = r.height / r.frameHeight;
    x = (k / rows) * r.frameWidth;
    y = (k % rows) * r.frameHeight;
}

// The indices are inflated into the last quarter of `out` and turned into
// pixels from the front: pixel i is written over bytes 4i..4i+3, which end
// at or before index i itself (at byte 3 * count + i), read just before.
// So the largest strips need no memory beyond the image itself.
bool decodeIndexed(const ImageSet& set, const ImageRecord& r, uint32_t* out, uint32_t alpha)
{
    const size_t count = static_cast<size_t>(r.width) * static_cast<size_t>(r.height);
    if (r.paletteOffset > set.blobSize || set.blobSize - r.paletteOffset < 768)
        return false;
    uint8_t* idx = reinterpret_cast<uint8_t*>(out) + 3 * count;
    if (!inflateRange(set, r.dataOffset, r.dataSize, idx, count))
        return false;
    // Undo the frame differences, first frame to last.
    for (int k = 1; k < r.frames; ++k) {
        int x1, y1, x0, y0;
        frameOrigin(r, k, x1, y1);
        frameOrigin(r, k - 1, x0, y0);
        for (int y = 0; y < r.frameHeight; ++y) {
            uint8_t* dst = idx + static_cast<size_t>(y1 + y) * r.width + x1;
            const uint8_t* src = idx + static_cast<size_t>(y0 + y) * r.width + x0;
            for (int x = 0; x < r.frameWidth; ++x)
                dst[x] = static_cast<uint8_t>(dst[x] + src[x]);
        }
    }
    uint32_t palette[256];
    const uint8_t* p = set.blob + r.paletteOffset;
    for (int i = 0; i < 256; ++i)
        palette[i] = alpha | static_cast<uint32_t>(p[3 * i]) << 16 | static_cast<uint32_t>(p[3 * i + 1]) << 8 |
                     p[3 * i + 2];
    for (size_t i = 0; i < count; ++i) {
        const uint8_t index = idx[i];
        out[i] = palette[index];
    }
    return true;
}

// PNG's Paeth predictor: of left, up and up-left, the one nearest to
// left + up - up-left, ties in that order; written without branches.
inline int paeth(int a, int b, int c)
{
    const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
    int best = a, distance = pa;
    best = pb < distance ? b : best;
    distance = pb < distance ? pb : distance;
    return pc < distance ? c : best;
}

// Undoes one PNG row filter in place, three bytes per pixel; `up` is the
// row above, already unfiltered (zeros above the first row).
bool unfilterRow(uint8_t type, uint8_t* cur, const uint8_t* up, size_t stride)
{
    switch (type) {
    case 0:
        return true;
    case 1:
        for (size_t i = 3; i < stride; ++i)
            cur[i] = static_cast<uint8_t>(cur[i] + cur[i - 3]);
        return true;
    case 2:
        for (size_t i = 0; i < stride; ++i)
            cur[i] = static_cast<uint8_t>(cur[i] + up[i]);
        return true;
    case 3:
        for (size_t i = 0; i < 3 && i < stride; ++i)
            cur[i] = static_cast<uint8_t>(cur[i] + up[i] / 2);
        for (size_t i = 3; i < stride; ++i)
            cur[i] = static_cast<uint8_t>(cur[i] + (cur[i - 3] + up[i]) / 2);
        return true;
    case 4:
        for (size_t i = 0; i < 3 && i < stride; ++i)
            cur[i] = static_cast<uint8_t>(cur[i] + up[i]); // Paeth of (0, up, 0)
        for (size_t i = 3; i < stride; ++i)
            cur[i] = static_cast<uint8_t>(cur[i] + paeth(cur[i - 3], up[i], up[i - 3]));
        return true;
    default:
        return false;
    }
}

size_t rgbRawSize(const ImageRecord& r)
{
    return (static_cast<size_t>(r.width) * 3 + 1) * static_cast<size_t>(r.height);
}

// The (G, R - G, B - G) planes of a 24-bit record, its base added, in
// `raw`: rgbRawSize bytes, each row its filter byte and then the row.
bool decodeRgbPlanes(const ImageSet& set, int index, uint8_t* raw, int depth)
{
    const ImageRecord& r = set.images[index];
    if (depth > 2 || r.encoding != Encoding::Rgb || !recordMatchesGeometry(r))
        return false;
    const size_t stride = static_cast<size_t>(r.width) * 3;
    if (!inflateRange(set, r.dataOffset, r.dataSize, raw, rgbRawSize(r)))
        return false;
    const std::vector<uint8_t> zeros(stride, 0);
    for (int y = 0; y < r.height; ++y) {
        uint8_t* row = raw + y * (stride + 1);
        if (!unfilterRow(row[0], row + 1, y > 0 ? row + 1 - (stride + 1) : zeros.data(), stride))
            return false;
    }
    if (r.base >= 0) {
        if (r.base >= set.count || r.base == index || set.images[r.base].width != r.width ||
            set.images[r.base].height != r.height)
            return false;
        std::unique_ptr<uint8_t[]> base(new uint8_t[rgbRawSize(r)]);
        if (!decodeRgbPlanes(set, r.base, base.get(), depth + 1))
            return false;
        for (int y = 0; y < r.height; ++y) {
            uint8_t* row = raw + y * (stride + 1) + 1;
            const uint8_t* add = base.get() + y * (stride + 1) + 1;
            for (size_t i = 0; i < stride; ++i)
                row[i] = static_cast<uint8_t>(row[i] + add[i]);
        }
    }
    return true;
}

// The planes are made in the last rgbRawSize bytes of `out` (at most 4
// bytes a pixel) and turned into pixels from the front; pixel i's write
// never reaches the planes of a pixel not yet read.
bool decodeRgb(const ImageSet& set, int index, uint32_t* out, uint32_t alpha, int depth)
{
    const ImageRecord& r = set.images[index];
    const size_t count = static_cast<size_t>(r.width) * static_cast<size_t>(r.height);
    const size_t stride = static_cast<size_t>(r.width) * 3;
    uint8_t* raw = reinterpret_cast<uint8_t*>(out) + (4 * count - rgbRawSize(r));
    if (!decodeRgbPlanes(set, index, raw, depth))
        return false;
    uint32_t* pixel = out;
    for (int y = 0; y < r.height; ++y) {
        const uint8_t* t = raw + y * (stride + 1) + 1;
        for (int x = 0; x < r.width; ++x, t += 3) {
            const uint8_t g = t[0];
            const uint8_t red = static_cast<uint8_t>(t[1] + g), blue = static_cast<uint8_t>(t[2] + g);
            *pixel++ = alpha | static_cast<uint32_t>(red) << 16 | static_cast<uint32_t>(g) << 8 | blue;
        }
    }
    return true;
}

bool decodeAt(const ImageSet& set, int index, uint32_t* out, uint32_t alpha, int depth)
{
    if (index < 0 || index >= set.count)
        return false;
    const ImageRecord& r = set.images[index];
    if (depth > 2 || !recordMatchesGeometry(r))
        return false;
    switch (r.encoding) {
    case Encoding::Indexed:
        return decodeIndexed(set, r, out, alpha);
    case Encoding::Rgb:
        return decodeRgb(set, index, out, alpha, depth);
    case Encoding::Alias:
        if (r.base < 0 || r.base >= set.count || r.base == index || set.images[r.base].width != r.width ||
            set.images[r.base].height != r.height)
            return false;
        return decodeAt(set, r.base, out, alpha, depth + 1);
    }
    return false;
}

uint32_t read32(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

} // namespace

bool recordMatchesGeometry(const ImageRecord& r)
{
    const BitmapGeometry* g = findGeometry(r.id);
    if (!g || (r.scale != 1 && r.scale != 2))
        return false;
    const int s = r.scale;
    return r.width == g->width * s && r.height == g->height * s && r.frames == g->frames &&
           r.frameWidth == g->frameWidth * s && r.frameHeight == g->frameHeight * s &&
           r.height % r.frameHeight == 0 &&
           (r.frames + r.height / r.frameHeight - 1) / (r.height / r.frameHeight) * r.frameWidth <= r.width;
}

bool inflateExact(const unsigned char* data, size_t length, uint8_t* out, size_t size)
{
    if (length > INT_MAX || size > INT_MAX)
        return false;
    const int n = stbi_zlib_decode_buffer(reinterpret_cast<char*>(out), static_cast<int>(size),
                                          reinterpret_cast<const char*>(data), static_cast<int>(length));
    return n >= 0 && static_cast<size_t>(n) == size;
}

int findRecord(const ImageSet& set, int id, int scale)
{
    for (int i = 0; i < set.count; ++i)
        if (set.images[i].id == id && set.images[i].scale == scale)
            return i;
    return -1;
}

bool decodeRecord(const ImageSet& set, int index, uint32_t* out, uint32_t alpha)
{
    try {
        return decodeAt(set, index, out, alpha, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool readPack(const void* data, size_t size, std::vector<ImageRecord>& records, ImageSet& set)
{
    set = ImageSet{};
    records.clear();
    const auto* bytes = static_cast<const unsigned char*>(data);
    if (!bytes || size < kPackHeaderSize || std::memcmp(bytes, kPackMagic, sizeof kPackMagic) != 0)
        return false;
    const uint32_t count = read32(bytes + 8), blobOffset = read32(bytes + 12), blobSize = read32(bytes + 16);
    const size_t recordsEnd = kPackHeaderSize + static_cast<size_t>(count) * kPackRecordSize;
    if (count > kPackMaxImages || recordsEnd > size || blobOffset < recordsEnd || blobOffset > size ||
        blobSize > size - blobOffset)
        return false;
    try {
        records.resize(count);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        const unsigned char* p = bytes + kPackHeaderSize + static_cast<size_t>(i) * kPackRecordSize;
        auto field = [p](int k) { return static_cast<int32_t>(read32(p + 4 * k)); };
        ImageRecord& r = records[i];
        r.id = field(0);
        r.scale = field(1);
        r.width = field(2);
        r.height = field(3);
        r.frames = field(4);
        r.frameWidth = field(5);
        r.frameHeight = field(6);
        r.encoding = static_cast<Encoding>(field(7));
        r.base = field(8);
        r.paletteOffset = read32(p + 36);
        r.dataOffset = read32(p + 40);
        r.dataSize = read32(p + 44);
    }
    set.images = records.data();
    set.count = static_cast<int>(count);
    set.blob = bytes + blobOffset;
    set.blobSize = blobSize;
    return true;
}

} // namespace embedded

namespace {

// The pack's record of `id` at `scale`, with its records kept in `records`.
int packedRecord(const void* pack, size_t size, int id, int scale, std::vector<embedded::ImageRecord>& records,
                 embedded::ImageSet& set)
{
    if (!embedded::readPack(pack, size, records, set))
        return -1;
    const int index = embedded::findRecord(set, id, scale);
    if (index < 0 || !embedded::recordMatchesGeometry(set.images[index]))
        return -1;
    return index;
}

} // namespace

bool packedImageSize(const void* pack, size_t size, int id, int scale, int32_t& width, int32_t& height)
{
    width = height = 0;
    std::vector<embedded::ImageRecord> records;
    embedded::ImageSet set;
    const int index = packedRecord(pack, size, id, scale, records, set);
    if (index < 0)
        return false;
    width = set.images[index].width;
    height = set.images[index].height;
    return true;
}

bool decodePackedImage(const void* pack, size_t size, int id, int scale, uint32_t* pixels, size_t count,
                       uint32_t alpha)
{
    std::vector<embedded::ImageRecord> records;
    embedded::ImageSet set;
    const int index = packedRecord(pack, size, id, scale, records, set);
    if (index < 0 || !pixels)
        return false;
    const embedded::ImageRecord& r = set.images[index];
    if (count != static_cast<size_t>(r.width) * static_cast<size_t>(r.height))
        return false;
    return embedded::decodeRecord(set, index, pixels, alpha);
}

} // namespace skin
