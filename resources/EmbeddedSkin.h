// How the skin is stored in compressed form: all of it inside the Linux
// binaries, the 2x art inside the Windows DLLs (one RCDATA resource, a
// "pack", beside the 1x BITMAP resources). The generator writes both; the
// decoder in SkinDecoder.cpp reads them. Nothing outside resources/ uses
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
//
// The Linux binaries carry the records as a table in a generated source
// file (SkinData.cpp) and the streams as one blob. A pack carries the same
// records and blob in one piece of little-endian bytes:
//   offset 0   kPackMagic (8 bytes)
//          8   u32 image count N (at most kPackMaxImages)
//         12   u32 blob offset from the start of the pack
//         16   u32 blob size
//         20   N records of 12 x u32/i32, the fields of ImageRecord in order
//              (offsets relative to the blob)
//   then the blob (4-byte aligned, after the records, inside the pack).
#pragma once

#include "resources/Skin.h"

#include <cstddef>
#include <cstdint>
#include <vector>

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

// A table of image records and the blob its offsets point into.
struct ImageSet {
    const ImageRecord* images = nullptr;
    int count = 0;
    const unsigned char* blob = nullptr;
    size_t blobSize = 0;
};

// True when the record's size and frame layout are the skin's own at its
// scale (SkinIds.h): what every decode checks before it reads anything.
bool recordMatchesGeometry(const ImageRecord& r);

// The index of the record of `id` at `scale`, or -1.
int findRecord(const ImageSet& set, int id, int scale);

// Decodes record `index` of `set` into `out`, which holds exactly the
// record's width * height pixels (its size is checked against the skin's
// geometry first): rows from the top, each pixel `alpha` | 0xRRGGBB.
// False when anything about the record or its data is wrong; `out` may
// then hold anything.
bool decodeRecord(const ImageSet& set, int index, uint32_t* out, uint32_t alpha);

// Inflates a zlib stream into exactly `size` bytes.
bool inflateExact(const unsigned char* data, size_t length, uint8_t* out, size_t size);

// Packs.
inline constexpr unsigned char kPackMagic[8] = {'A', 'm', 'b', 'S', 'k', 'i', 'n', '1'};
inline constexpr size_t kPackHeaderSize = 20;
inline constexpr size_t kPackRecordSize = 12 * 4;
inline constexpr uint32_t kPackMaxImages = 1024;

// Reads a pack's records into `records` and points `set` at them and at
// the pack's blob (which stays in `data`). False for anything that is not
// a well-formed pack.
bool readPack(const void* data, size_t size, std::vector<ImageRecord>& records, ImageSet& set);

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

// Written by the generator (SkinData.cpp in the build tree, Linux).
extern const ImageRecord kImages[];
extern const int kImageCount;
extern const AtlasRecord kAtlases[];
extern const int kAtlasCount;
extern const Glyph kGlyphs[];
extern const int kGlyphCount;
const unsigned char* blobData();
size_t blobSize();

} // namespace skin::embedded
