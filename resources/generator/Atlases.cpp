#include "Atlases.h"

#include "Common.h"

#include "gui/Geometry.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <stdexcept>

namespace gen {

unsigned codePointOf(unsigned char c)
{
    static const unsigned cp1252[32] = {
        0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
    };
    if (c >= 0x80 && c < 0xA0)
        return cp1252[c - 0x80];
    return c;
}

namespace {

struct Raster {
    int width = 0, height = 0, left = 0, top = 0, advance = 0;
    std::vector<uint8_t> pixels;
};

Font fontOf(int fontId, int face)
{
    bool bold = (face & 1) || VSTGUI::kFontMetrics[fontId].alwaysBold;
    bool italic = face & 2;
    if (fontId == VSTGUI::kSymbolFont)
        return bold ? (italic ? Font::SerifBoldItalic : Font::SerifBold) : (italic ? Font::SerifItalic : Font::Serif);
    return bold ? (italic ? Font::SansBoldItalic : Font::SansBold) : (italic ? Font::SansItalic : Font::Sans);
}

} // namespace

std::vector<AtlasOut> renderAtlases()
{
    FT_Library lib = nullptr;
    if (FT_Init_FreeType(&lib))
        throw std::runtime_error("FreeType does not start");
    std::vector<AtlasOut> out;
    for (int fontId = 0; fontId < VSTGUI::kNumFonts; ++fontId)
        for (int face = 0; face < 4; ++face)
            for (int scale = 1; scale <= 2; ++scale) {
                std::string path = fontFile(fontOf(fontId, face));
                FT_Face ft = nullptr;
                if (FT_New_Face(lib, path.c_str(), 0, &ft))
                    throw std::runtime_error("cannot open " + path);
                const int em = VSTGUI::kFontMetrics[fontId].height * scale;
                FT_Set_Pixel_Sizes(ft, 0, static_cast<FT_UInt>(em));

                AtlasOut a;
                a.fontId = fontId;
                a.face = face;
                a.scale = scale;
                a.ascent = static_cast<int>((ft->size->metrics.ascender + 63) >> 6);
                a.descent = static_cast<int>((-ft->size->metrics.descender + 63) >> 6);

                std::vector<Raster> rasters(kNumChars);
                long area = 0;
                for (int i = 0; i < kNumChars; ++i) {
                    unsigned cp = codePointOf(static_cast<unsigned char>(kFirstChar + i));
                    Raster& r = rasters[static_cast<size_t>(i)];
                    if (cp == 0)
                        continue;
                    FT_UInt gi = FT_Get_Char_Index(ft, cp);
                    if (gi == 0 || FT_Load_Glyph(ft, gi, FT_LOAD_DEFAULT | FT_LOAD_TARGET_NORMAL) ||
                        FT_Render_Glyph(ft->glyph, FT_RENDER_MODE_NORMAL))
                        continue;
                    FT_GlyphSlot g = ft->glyph;
                    r.advance = static_cast<int>((g->advance.x + 32) >> 6);
                    r.width = static_cast<int>(g->bitmap.width);
                    r.height = static_cast<int>(g->bitmap.rows);
                    r.left = g->bitmap_left;
                    r.top = g->bitmap_top;
                    r.pixels.resize(static_cast<size_t>(r.width) * r.height);
                    for (int y = 0; y < r.height; ++y)
                        for (int x = 0; x < r.width; ++x)
                            r.pixels[static_cast<size_t>(y) * r.width + x] =
                                g->bitmap.buffer[y * g->bitmap.pitch + x];
                    area += static_cast<long>(r.width + 1) * (r.height + 1);
                }
                FT_Done_Face(ft);

                // Shelf packing in code order, one pixel apart.
                int width = 64;
                while (static_cast<long>(width) * width < area * 13 / 10)
                    width *= 2;
                int x = 0, y = 0, shelf = 0;
                a.glyphs.resize(kNumChars);
                for (int i = 0; i < kNumChars; ++i) {
                    const Raster& r = rasters[static_cast<size_t>(i)];
                    skin::Glyph& g = a.glyphs[static_cast<size_t>(i)];
                    g = {0, 0, static_cast<int16_t>(r.width), static_cast<int16_t>(r.height),
                         static_cast<int16_t>(r.left), static_cast<int16_t>(r.top), static_cast<int16_t>(r.advance)};
                    if (r.width == 0 || r.height == 0) {
                        g.width = g.height = 0;
                        continue;
                    }
                    if (x + r.width > width) {
                        x = 0;
                        y += shelf + 1;
                        shelf = 0;
                    }
                    g.x = static_cast<int16_t>(x);
                    g.y = static_cast<int16_t>(y);
                    x += r.width + 1;
                    shelf = std::max(shelf, r.height);
                }
                a.width = width;
                a.height = std::max(1, y + shelf);
                a.coverage.assign(static_cast<size_t>(a.width) * a.height, 0);
                for (int i = 0; i < kNumChars; ++i) {
                    const Raster& r = rasters[static_cast<size_t>(i)];
                    const skin::Glyph& g = a.glyphs[static_cast<size_t>(i)];
                    for (int yy = 0; yy < g.height; ++yy)
                        std::copy_n(&r.pixels[static_cast<size_t>(yy) * r.width], r.width,
                                    &a.coverage[static_cast<size_t>(g.y + yy) * a.width + g.x]);
                }
                out.push_back(std::move(a));
            }
    FT_Done_FreeType(lib);
    return out;
}

} // namespace gen
