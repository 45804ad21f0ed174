// Decoding of the skin embedded in the Linux binaries (format in
// EmbeddedSkin.h). Every size is checked against the skin's geometry before
// anything is read, every zlib stream must fill its buffer exactly, and a
// failure answers false with an empty image, so a damaged build shows a
// missing bitmap rather than garbage.
#include "resources/EmbeddedSkin.h"
#include "resources/SkinIds.h"

#include <climits>
#include <cstring>
#include <mutex>
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

namespace {

using namespace embedded;

// Inflates a stream of the blob into exactly `size` bytes.
bool inflateExact(uint32_t offset, uint32_t length, uint8_t* out, size_t size)
{
    const size_t total = blobSize();
    if (offset > total || length > total - offset || length > INT_MAX || size > INT_MAX)
        return false;
    int n = stbi_zlib_decode_buffer(reinterpret_cast<char*>(out), static_cast<int>(size),
                                    reinterpret_cast<const char*>(blobData()) + offset, static_cast<int>(length));
    return n >= 0 && static_cast<size_t>(n) == size;
}

// The record's size and frame layout must be the skin's own at that scale.
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

const ImageRecord* findRecord(int id, int scale, int* indexOut = nullptr)
{
    for (int i = 0; i < kImageCount; ++i)
        if (kImages[i].id == id && kImages[i].scale == scale) {
            if (indexOut)
                *indexOut = i;
            return &kImages[i];
        }
    return nullptr;
}

void frameOrigin(const ImageRecord& r, int k, int& x, int& y)
{
    const int rows = r.height / r.frameHeight;
    x = (k / rows) * r.frameWidth;
    y = (k % rows) * r.frameHeight;
}

bool decodeIndexed(const ImageRecord& r, std::vector<uint32_t>& pixels)
{
    const size_t count = static_cast<size_t>(r.width) * r.height;
    if (r.paletteOffset > blobSize() || blobSize() - r.paletteOffset < 768)
        return false;
    std::vector<uint8_t> idx(count);
    if (!inflateExact(r.dataOffset, r.dataSize, idx.data(), count))
        return false;
    // Undo the frame differences, first frame to last.
    for (int k = 1; k < r.frames; ++k) {
        int x1, y1, x0, y0;
        frameOrigin(r, k, x1, y1);
        frameOrigin(r, k - 1, x0, y0);
        for (int y = 0; y < r.frameHeight; ++y) {
            uint8_t* dst = &idx[static_cast<size_t>(y1 + y) * r.width + x1];
            const uint8_t* src = &idx[static_cast<size_t>(y0 + y) * r.width + x0];
            for (int x = 0; x < r.frameWidth; ++x)
                dst[x] = static_cast<uint8_t>(dst[x] + src[x]);
        }
    }
    uint32_t palette[256];
    const uint8_t* p = blobData() + r.paletteOffset;
    for (int i = 0; i < 256; ++i)
        palette[i] = 0xFF000000u | static_cast<uint32_t>(p[3 * i]) << 16 | static_cast<uint32_t>(p[3 * i + 1]) << 8 |
                     p[3 * i + 2];
    pixels.resize(count);
    for (size_t i = 0; i < count; ++i)
        pixels[i] = palette[idx[i]];
    return true;
}

uint8_t paeth(int a, int b, int c)
{
    int p = a + b - c, pa = p > a ? p - a : a - p, pb = p > b ? p - b : b - p, pc = p > c ? p - c : c - p;
    if (pa <= pb && pa <= pc)
        return static_cast<uint8_t>(a);
    return static_cast<uint8_t>(pb <= pc ? b : c);
}

// The (G, R - G, B - G) planes of a 24-bit record, its base added.
bool decodeRgbPlanes(int index, std::vector<uint8_t>& planes, int depth)
{
    const ImageRecord& r = kImages[index];
    if (depth > 2 || r.encoding != Encoding::Rgb || !recordMatchesGeometry(r))
        return false;
    const size_t stride = static_cast<size_t>(r.width) * 3;
    std::vector<uint8_t> raw((stride + 1) * r.height);
    if (!inflateExact(r.dataOffset, r.dataSize, raw.data(), raw.size()))
        return false;
    planes.assign(stride * r.height, 0);
    for (int y = 0; y < r.height; ++y) {
        const uint8_t type = raw[y * (stride + 1)];
        const uint8_t* in = &raw[y * (stride + 1) + 1];
        uint8_t* cur = &planes[y * stride];
        const uint8_t* up = y > 0 ? &planes[(y - 1) * stride] : nullptr;
        for (size_t i = 0; i < stride; ++i) {
            int a = i >= 3 ? cur[i - 3] : 0, b = up ? up[i] : 0, c = (up && i >= 3) ? up[i - 3] : 0;
            int pred;
            switch (type) {
            case 0:
                pred = 0;
                break;
            case 1:
                pred = a;
                break;
            case 2:
                pred = b;
                break;
            case 3:
                pred = (a + b) / 2;
                break;
            case 4:
                pred = paeth(a, b, c);
                break;
            default:
                return false;
            }
            cur[i] = static_cast<uint8_t>(in[i] + pred);
        }
    }
    if (r.base >= 0) {
        if (r.base >= kImageCount || r.base == index || kImages[r.base].width != r.width ||
            kImages[r.base].height != r.height)
            return false;
        std::vector<uint8_t> base;
        if (!decodeRgbPlanes(r.base, base, depth + 1))
            return false;
        for (size_t i = 0; i < planes.size(); ++i)
            planes[i] = static_cast<uint8_t>(planes[i] + base[i]);
    }
    return true;
}

bool decodeRecord(int index, std::vector<uint32_t>& pixels, int depth)
{
    const ImageRecord& r = kImages[index];
    if (depth > 2 || !recordMatchesGeometry(r))
        return false;
    switch (r.encoding) {
    case Encoding::Indexed:
        return decodeIndexed(r, pixels);
    case Encoding::Rgb: {
        std::vector<uint8_t> t;
        if (!decodeRgbPlanes(index, t, depth))
            return false;
        pixels.resize(static_cast<size_t>(r.width) * r.height);
        for (size_t i = 0; i < pixels.size(); ++i) {
            uint8_t g = t[3 * i];
            uint8_t red = static_cast<uint8_t>(t[3 * i + 1] + g), blue = static_cast<uint8_t>(t[3 * i + 2] + g);
            pixels[i] = 0xFF000000u | static_cast<uint32_t>(red) << 16 | static_cast<uint32_t>(g) << 8 | blue;
        }
        return true;
    }
    case Encoding::Alias:
        if (r.base < 0 || r.base >= kImageCount || r.base == index || kImages[r.base].width != r.width ||
            kImages[r.base].height != r.height)
            return false;
        return decodeRecord(r.base, pixels, depth + 1);
    }
    return false;
}

// --- Atlases --------------------------------------------------------------------

struct AtlasSlot {
    std::once_flag once;
    bool valid = false;
    GlyphAtlas atlas{};
    std::vector<uint8_t> coverage;
};

AtlasSlot& slot(int index)
{
    static AtlasSlot slots[kAtlasSlots];
    return slots[index];
}

bool loadAtlas(int fontId, int face, int scale, AtlasSlot& s)
{
    for (int i = 0; i < kAtlasCount; ++i) {
        const AtlasRecord& a = kAtlases[i];
        if (a.fontId != fontId || a.face != face || a.scale != scale)
            continue;
        if (a.atlasWidth <= 0 || a.atlasHeight <= 0 || a.atlasWidth > 8192 || a.atlasHeight > 8192 ||
            a.numChars <= 0 || a.numChars > 256 || a.firstGlyph > static_cast<uint32_t>(kGlyphCount) ||
            static_cast<uint32_t>(a.numChars) > static_cast<uint32_t>(kGlyphCount) - a.firstGlyph)
            return false;
        const Glyph* glyphs = &kGlyphs[a.firstGlyph];
        for (int g = 0; g < a.numChars; ++g) {
            const Glyph& gl = glyphs[g];
            if (gl.width < 0 || gl.height < 0 || gl.x < 0 || gl.y < 0 || gl.x + gl.width > a.atlasWidth ||
                gl.y + gl.height > a.atlasHeight)
                return false;
        }
        s.coverage.resize(static_cast<size_t>(a.atlasWidth) * a.atlasHeight);
        if (!inflateExact(a.dataOffset, a.dataSize, s.coverage.data(), s.coverage.size()))
            return false;
        s.atlas = {a.fontId,     a.face,         a.scale,     a.ascent,      a.descent,
                   a.firstChar,  a.numChars,     glyphs,      a.atlasWidth,  a.atlasHeight,
                   s.coverage.data()};
        return true;
    }
    return false;
}

} // namespace

bool decodeEmbeddedImage(int id, int scale, DecodedImage& out)
{
    out = DecodedImage{};
    int index = -1;
    const embedded::ImageRecord* r = findRecord(id, scale, &index);
    if (!r)
        return false;
    try {
        std::vector<uint32_t> pixels;
        if (!decodeRecord(index, pixels, 0))
            return false;
        out.width = r->width;
        out.height = r->height;
        out.pixels = std::move(pixels);
        return true;
    } catch (const std::bad_alloc&) {
        out = DecodedImage{};
        return false;
    }
}

const GlyphAtlas* findGlyphAtlas(int fontId, int face, int scale)
{
    // Underline (4) is the renderer's; other bits mean nothing here.
    if (fontId < 0 || fontId >= embedded::kAtlasFonts || face < 0 || (scale != 1 && scale != 2))
        return nullptr;
    face &= 3;
    AtlasSlot& s = slot(embedded::atlasSlot(fontId, face, scale));
    std::call_once(s.once, [&] {
        try {
            s.valid = loadAtlas(fontId, face, scale, s);
        } catch (const std::bad_alloc&) {
            s.valid = false;
        }
        if (!s.valid)
            s.coverage = {};
    });
    return s.valid ? &s.atlas : nullptr;
}

} // namespace skin
