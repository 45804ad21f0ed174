// What the generator writes: BMP files of the 1x art and the pack of the 2x
// art for the Windows resource script, the blob and tables embedded in the
// Linux binaries, and a manifest the tests read back.
#pragma once

#include "Atlases.h"
#include "Common.h"
#include "Quantize.h"

#include "resources/EmbeddedSkin.h"
#include "resources/SkinIds.h"

#include <string>
#include <vector>

namespace gen {

struct BuiltImage {
    const skin::BitmapGeometry* geometry = nullptr;
    int scale = 1;
    Image rgb;       // as drawn (24-bit images: as shipped)
    Indexed indexed; // 8-bit images: as shipped
    bool eightBit() const { return geometry->bitsPerPixel == 8; }
    int id() const { return geometry->id; }
    // Takes down the shipped pixels (0xFFRRGGBB) and their hash, once the
    // art is final.
    void finish();
    const std::vector<uint32_t>& pixels() const { return shipped; }
    uint64_t hash = 0;

private:
    std::vector<uint32_t> shipped;
};

// FNV-1a over the pixels taken as 32-bit words; the tests compute the same
// over the decoded images.
uint64_t pixelHash(const std::vector<uint32_t>& pixels);

bool writeBmp(const std::string& path, const BuiltImage& image);
// The 1x BITMAP resources and the pack as an RCDATA resource.
void writeResourceScript(const std::string& path, const std::vector<BuiltImage>& images, const std::string& key);
// Compresses every image (EmbeddedSkin.h) into `blob`; one record each, in order.
std::vector<skin::embedded::ImageRecord> encodeImages(const std::vector<BuiltImage>& images, std::vector<uint8_t>& blob);
// The Linux binaries' blob and table source: the images' records and blob, the atlases added.
void writeEmbedded(const std::string& blobPath, const std::string& sourcePath,
                   const std::vector<skin::embedded::ImageRecord>& records, std::vector<uint8_t> blob,
                   const std::vector<AtlasOut>& atlases);
// A pack of the images of one scale, the same compressed data as the blob's.
void writePack(const std::string& path, const std::vector<skin::embedded::ImageRecord>& records,
               const std::vector<uint8_t>& blob, int scale);
void writeManifest(const std::string& path, const std::vector<BuiltImage>& images, const std::vector<AtlasOut>& atlases);

} // namespace gen
