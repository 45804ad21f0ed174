// The skin embedded in the Linux binaries (format in EmbeddedSkin.h): its
// images through the decoder of SkinDecoder.cpp, and the glyph atlases.
// Every failure answers false or null with nothing half made, so a damaged
// build shows a missing bitmap or text rather than garbage.
#include "resources/EmbeddedSkin.h"

#include <climits>
#include <mutex>
#include <new>

namespace skin {

namespace {

using namespace embedded;

ImageSet embeddedSet()
{
    return ImageSet{kImages, kImageCount, blobData(), blobSize()};
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
        if (a.dataOffset > blobSize() || a.dataSize > blobSize() - a.dataOffset ||
            !inflateExact(blobData() + a.dataOffset, a.dataSize, s.coverage.data(), s.coverage.size()))
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
    const ImageSet set = embeddedSet();
    const int index = findRecord(set, id, scale);
    if (index < 0)
        return false;
    const ImageRecord& r = set.images[index];
    if (!recordMatchesGeometry(r))
        return false;
    try {
        std::vector<uint32_t> pixels(static_cast<size_t>(r.width) * static_cast<size_t>(r.height));
        if (!decodeRecord(set, index, pixels.data(), 0xFF000000u))
            return false;
        out.width = r.width;
        out.height = r.height;
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
