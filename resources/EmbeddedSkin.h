// How the skin is stored inside the Linux binaries. The generator writes a
// source file with the tables below and one blob of zlib streams; the
// decoder in EmbeddedSkin.cpp reads them. Nothing outside resources/ uses
// this header: platform layers go through Skin.h.
//
// Images. Each image is one zlib stream of its device pixels, row by row
// from the top, after these reversible steps:
//   8-bit palette images: one palette index per pixel. In a film strip,
//     every frame after the first holds the difference (mod 256) from the
//     same pixel of the frame before, so that what stays put between frames
//     (the knob body, the meter face) compresses to almost nothing.
//   24-bit images: per pixel (G, R - G, B - G) (mod 256), minus the same
//     of the base image when there is one (the two main-page backgrounds
//     differ in a few places only), then every row filtered as in PNG
//     (a filter byte 0-4, then the filtered bytes, 3 bytes per pixel).
// An alias record points to an identical image and holds no data.
#pragma once

#include "resources/Skin.h"

#include <cstddef>
#include <cstdint>

namespace skin::embedded {

enum class Encoding : int32_t {
    Indexed = 0, // 8-bit, palette, frame differences
    Rgb = 1,     // 24-bit, colour transform and row filters
    Alias = 2,   // same pixels as record `base`
};

struct ImageRecord {
    int32_t id;
    int32_t scale;        // 1 or 2
    int32_t width;        // device pixels
    int32_t height;
    int32_t frames;
    int32_t frameWidth;   // device pixels; frames run down a column, then on to the next
    int32_t frameHeight;
    Encoding encoding;
    int32_t base;         // record index of the base (Rgb) or the original (Alias), -1 for none
    uint32_t paletteOffset; // Indexed: 256 RGB triples in the blob
    uint32_t dataOffset;  // zlib stream in the blob
    uint32_t dataSize;
};

// Glyph atlases: one per font id (0-7), face (0-3) and scale (1, 2). The
// coverage bytes are one zlib stream each; the glyph metrics are plain.
inline constexpr int kAtlasFonts = 8;
inline constexpr int kAtlasFaces = 4;
inline constexpr int kAtlasScales = 2;
inline constexpr int kAtlasSlots = kAtlasFonts * kAtlasFaces * kAtlasScales;
constexpr int atlasSlot(int fontId, int face, int scale) { return (fontId * kAtlasFaces + face) * kAtlasScales + scale - 1; }

struct AtlasRecord {
    int32_t fontId;
    int32_t face;
    int32_t scale;
    int32_t ascent;
    int32_t descent;
    int32_t firstChar;
    int32_t numChars;
    uint32_t firstGlyph; // index of its first glyph in kGlyphs
    int32_t atlasWidth;
    int32_t atlasHeight;
    uint32_t dataOffset;
    uint32_t dataSize;
};

// Written by the generator (SkinData.cpp in the build tree).
extern const ImageRecord kImages[];
extern const int kImageCount;
extern const AtlasRecord kAtlases[];
extern const int kAtlasCount;
extern const Glyph kGlyphs[];
extern const int kGlyphCount;
const unsigned char* blobData();
size_t blobSize();

} // namespace skin::embedded
