// The editor skin as the program sees it: bitmap resource ids, the size and
// frame layout of every bitmap, and (for platforms that draw text from our
// own glyph images) the glyph atlases. The pixels are drawn at build time by
// resources/generator and compiled into each binary: in the Windows DLLs the
// 1x art as BITMAP resources and the 2x art compressed in one RCDATA
// resource (a pack, see below), in the Linux plug-ins all of it as embedded
// data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace skin {

// Resource id of an image's art drawn at twice the size: a BITMAP resource
// of that id takes precedence over the pack in the Windows layer (the
// plug-ins carry none; test programs do).
inline constexpr int kDoubleSizeIdOffset = 20000;

struct BitmapInfo {
    int id;
    int width;        // 1x pixels
    int height;
    int bitsPerPixel; // 24 or 8 (palette)
    int frames;       // images in the strip
};

// Every bitmap of the skin, 1x sizes.
const std::vector<BitmapInfo>& bitmapTable();
const BitmapInfo* findBitmapInfo(int id);

// --- Embedded data (Linux builds) -------------------------------------------

struct DecodedImage {
    int32_t width = 0;  // device pixels
    int32_t height = 0;
    std::vector<uint32_t> pixels; // row by row from the top, 0xAARRGGBB (alpha 255 for opaque art)
};

// Decodes the embedded art of bitmap `id` at scale 1 or 2 (a few tens of
// milliseconds for the largest strip, the Drive knob at 2x). False, with `out` empty, when the binary holds
// no such image (and always in the Windows builds, whose art is in their
// resources). Safe to call from any thread.
bool decodeEmbeddedImage(int id, int scale, DecodedImage& out);

// --- Packs -------------------------------------------------------------------------
// The compressed art of some images in one piece of bytes (format in
// EmbeddedSkin.h): the Windows DLLs carry their 2x art as one, in an RCDATA
// resource, and the Win32 layer decodes an image of it when a window first
// draws that image at scale 2.

// Name of the RCDATA resource holding the Windows DLLs' pack of 2x art.
inline constexpr const char* kDoubleSizePackName = "AMBREL_SKIN2X";

// Device size of bitmap `id` at `scale` in a pack. False when the pack has
// no such image or is damaged.
bool packedImageSize(const void* pack, size_t size, int id, int scale, int32_t& width, int32_t& height);

// Decodes bitmap `id` at `scale` from a pack into `pixels`, which must hold
// exactly width * height of them (packedImageSize): rows from the top, each
// pixel `alpha` | 0xRRGGBB. The whole 2x art takes some 70 ms, the two
// backgrounds and the Drive knob most of it; nothing is allocated beyond
// `pixels` but for the base of an image stored as a difference. False when
// the pack has no such image, any of its data is damaged or `count` is not
// the image's size; `pixels` may then hold anything. Reads only the pack;
// safe from any thread.
bool decodePackedImage(const void* pack, size_t size, int id, int scale, uint32_t* pixels, size_t count,
                       uint32_t alpha = 0xFF000000u);

// Glyph images of one font id (0-7, gui/Geometry.h) and face (bold 1 |
// italic 2; underline is drawn by the renderer, so other face bits are
// ignored) at one device scale, rendered at build time with FreeType from
// Liberation Sans (Arial's metrics; font 7, Symbol on Windows, from
// Liberation Serif). A font's listed height is its em size in pixels, what
// GDI gets as a negative lfHeight: font 3 at scale 2 is set at 24 pixels.
// Characters are the 8-bit codes 32-255: Latin-1, with 0x80-0x9F drawn as
// the Windows-1252 punctuation (euro sign, quotes, dashes, ...) the Windows
// builds show there. Metrics are in device pixels; coverage is 0-255 per
// pixel, linear.
struct Glyph {
    int16_t x, y;          // position in the atlas
    int16_t width, height; // size in the atlas (0 for a blank glyph)
    int16_t left;          // from the pen position to the image's left edge
    int16_t top;           // from the baseline up to the image's top edge
    int16_t advance;       // pen advance
};
struct GlyphAtlas {
    int fontId;
    int face;
    int scale;
    int ascent;     // above the baseline
    int descent;    // below the baseline, positive
    int firstChar;  // code point of glyphs[0] (32)
    int numChars;   // glyphs for firstChar .. firstChar + numChars - 1 (up to 255)
    const Glyph* glyphs;
    int atlasWidth;
    int atlasHeight;
    const uint8_t* coverage; // atlasWidth * atlasHeight bytes, 0-255
};

// Null when the binary holds no atlas for that combination (font ids
// outside 0-7, scales other than 1 and 2, the Windows builds). The atlas is
// decoded on first use and stays valid until the binary is unloaded; safe
// to call from any thread.
const GlyphAtlas* findGlyphAtlas(int fontId, int face, int scale);

} // namespace skin
