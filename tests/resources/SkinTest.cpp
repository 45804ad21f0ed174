#include "editor/MeterMapping.h"
#include "gui/Geometry.h"
#include "resources/Skin.h"
#include "resources/SkinIds.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

// What the generator says it drew: pixel hashes, the needle geometry and the
// dB marks it printed.
struct Manifest {
    std::map<std::pair<int, int>, std::string> hashes; // (id, scale) -> hash
    double pivotX = 0, pivotY = 0, angle0 = 0, sweep = 0, arcRadius = 0;
    struct Mark {
        int scale;
        double db;
        int frame;
        double angle;
    };
    std::vector<Mark> marks;
};

const Manifest& manifest()
{
    static const Manifest m = [] {
        Manifest out;
        std::ifstream f(AMBREL_SKIN_MANIFEST);
        std::string line;
        while (std::getline(f, line)) {
            std::istringstream in(line);
            std::string kind;
            in >> kind;
            if (kind == "image") {
                int id, scale, w, h, bpp, frames;
                std::string hash;
                in >> id >> scale >> w >> h >> bpp >> frames >> hash;
                out.hashes[{id, scale}] = hash;
            } else if (kind == "needle") {
                in >> out.pivotX >> out.pivotY >> out.angle0 >> out.sweep >> out.arcRadius;
            } else if (kind == "mark") {
                Manifest::Mark mk{};
                in >> mk.scale >> mk.db >> mk.frame >> mk.angle;
                out.marks.push_back(mk);
            }
        }
        return out;
    }();
    return m;
}

std::string pixelHash(const std::vector<uint32_t>& pixels)
{
    uint64_t h = 1469598103934665603ull;
    for (uint32_t p : pixels) {
        h ^= p;
        h *= 1099511628211ull;
    }
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
    return buf;
}

double luminance(uint32_t argb)
{
    return 0.3 * ((argb >> 16) & 0xFF) + 0.59 * ((argb >> 8) & 0xFF) + 0.11 * (argb & 0xFF);
}

} // namespace

TEST(SkinTable, ListsEveryBitmapOnceAndAnswersNothingForOtherIds)
{
    const auto& table = skin::bitmapTable();
    ASSERT_EQ(table.size(), skin::kBitmapGeometry.size());
    for (const skin::BitmapGeometry& g : skin::kBitmapGeometry) {
        const skin::BitmapInfo* info = skin::findBitmapInfo(g.id);
        ASSERT_NE(info, nullptr) << g.id;
        EXPECT_EQ(info->width, g.width);
        EXPECT_EQ(info->height, g.height);
        EXPECT_EQ(info->bitsPerPixel, g.bitsPerPixel);
        EXPECT_EQ(info->frames, g.frames);
    }
    EXPECT_EQ(skin::findBitmapInfo(19001), nullptr);
    EXPECT_EQ(skin::findBitmapInfo(skin::kBackground + skin::kDoubleSizeIdOffset), nullptr);
}

TEST(EmbeddedSkin, EveryBitmapDecodesWithItsGeometryAtBothScales)
{
    for (const skin::BitmapGeometry& g : skin::kBitmapGeometry)
        for (int scale = 1; scale <= 2; ++scale) {
            SCOPED_TRACE(testing::Message() << g.id << " at " << scale << "x");
            skin::DecodedImage img;
            ASSERT_TRUE(skin::decodeEmbeddedImage(g.id, scale, img));
            ASSERT_EQ(img.width, g.width * scale);
            ASSERT_EQ(img.height, g.height * scale);
            ASSERT_EQ(img.pixels.size(), static_cast<size_t>(img.width) * img.height);
            // The same pixels the generator drew (and wrote for Windows).
            EXPECT_EQ(pixelHash(img.pixels), manifest().hashes.at({g.id, scale}));
            for (uint32_t p : img.pixels)
                ASSERT_EQ(p >> 24, 0xFFu);

            // Frames sit at their places of the layout: the edge of every
            // frame is the same piece of page (so no frame shows a seam
            // where it meets the page), and no two neighbouring frames are
            // the same picture.
            if (g.frames < 2)
                continue;
            const int fw = g.frameWidth * scale, fh = g.frameHeight * scale, rows = g.height / g.frameHeight;
            auto at = [&](int k, int x, int y) {
                int ox = (k / rows) * fw, oy = (k % rows) * fh;
                return img.pixels[static_cast<size_t>(oy + y) * img.width + ox + x];
            };
            auto near = [](uint32_t a, uint32_t b) {
                for (int c = 0; c < 3; ++c)
                    if (std::abs(static_cast<int>((a >> (8 * c)) & 0xFF) - static_cast<int>((b >> (8 * c)) & 0xFF)) > 6)
                        return false;
                return true;
            };
            // The meter faces fill their windows and the readout cells
            // abut each other: their edges are their own.
            const bool ownEdges = g.id == skin::kMeterNormal || g.id == skin::kMeterAlternate ||
                                  g.id == skin::kReadoutGlyphs;
            for (int k = 1; k < g.frames; ++k) {
                int seams = 0;
                for (int x = 0; x < fw; ++x)
                    seams += !near(at(k, x, 0), at(0, x, 0)) + !near(at(k, x, fh - 1), at(0, x, fh - 1));
                for (int y = 0; y < fh; ++y)
                    seams += !near(at(k, 0, y), at(0, 0, y)) + !near(at(k, fw - 1, y), at(0, fw - 1, y));
                if (!ownEdges) {
                    EXPECT_EQ(seams, 0) << "frame " << k << " differs from frame 0 at its edge";
                }
                bool differs = false;
                for (int y = 0; y < fh && !differs; ++y)
                    for (int x = 0; x < fw && !differs; ++x)
                        differs = at(k, x, y) != at(k - 1, x, y);
                EXPECT_TRUE(differs) << "frame " << k << " repeats frame " << k - 1;
            }
        }
}

TEST(EmbeddedSkin, UnknownIdsAndScalesAnswerFalseWithAnEmptyImage)
{
    skin::DecodedImage img;
    img.width = 5;
    img.pixels.assign(3, 1);
    EXPECT_FALSE(skin::decodeEmbeddedImage(12345, 1, img));
    EXPECT_EQ(img.width, 0);
    EXPECT_TRUE(img.pixels.empty());
    EXPECT_FALSE(skin::decodeEmbeddedImage(skin::kBackground, 3, img));
    EXPECT_FALSE(skin::decodeEmbeddedImage(skin::kBackground, 0, img));
    EXPECT_FALSE(skin::decodeEmbeddedImage(skin::kBackground + skin::kDoubleSizeIdOffset, 1, img));
}

TEST(MeterMapping, NeedleFramesOfBothScales)
{
    using meter::Scale;
    struct Case {
        float x;
        int normal, alternate;
    } cases[] = {{0.0f, 2, 2},      {0.1f, 6, 17},     {0.5012f, 29, 43}, {1.0f, 63, 63},
                 {1.4125f, 95, 78}, {1.9953f, 100, 95}, {2.0f, 100, 95},  {-1.0f, 2, 2},
                 {NAN, 2, 2},       {1e30f, 100, 100}};
    for (const Case& c : cases) {
        EXPECT_EQ(meter::needleFrame(c.x, Scale::Normal), c.normal) << c.x;
        EXPECT_EQ(meter::needleFrame(c.x, Scale::Alternate), c.alternate) << c.x;
    }
}

TEST(MeterFaces, PrintedMarksLieUnderTheNeedleOfTheirLevel)
{
    const Manifest& m = manifest();
    ASSERT_GT(m.sweep, 0);
    int count[2] = {0, 0};
    double low[2] = {1e9, 1e9}, high[2] = {-1e9, -1e9};
    for (const Manifest::Mark& mk : m.marks) {
        auto scale = static_cast<meter::Scale>(mk.scale);
        SCOPED_TRACE(testing::Message() << "scale " << mk.scale << ", " << mk.db << " dB");
        EXPECT_EQ(mk.frame, meter::needleFrame(meter::levelToValue(mk.db), scale));
        EXPECT_NEAR(mk.angle, m.angle0 + m.sweep * mk.frame / (meter::kMeterFrames - 1), 1e-6);
        ++count[mk.scale];
        low[mk.scale] = std::min(low[mk.scale], mk.db);
        high[mk.scale] = std::max(high[mk.scale], mk.db);
    }
    EXPECT_GE(count[0], 8);
    EXPECT_GE(count[1], 8);
    EXPECT_EQ(low[0], meter::kNormalScaleLowDb);
    EXPECT_EQ(high[0], meter::kNormalScaleHighDb);
    EXPECT_EQ(low[1], meter::kAlternateScaleLowDb);
    EXPECT_EQ(high[1], meter::kAlternateScaleHighDb);

    // And in the pictures: in the frame of a mark the needle covers the
    // face just inside the scale on the mark's line; ten frames away the
    // face there is bare.
    for (int scale = 1; scale <= 2; ++scale)
        for (int id : {skin::kMeterNormal, skin::kMeterAlternate}) {
            skin::DecodedImage img;
            ASSERT_TRUE(skin::decodeEmbeddedImage(id, scale, img));
            const skin::BitmapGeometry& g = *skin::findGeometry(id);
            const int which = id == skin::kMeterNormal ? 0 : 1;
            for (const Manifest::Mark& mk : m.marks) {
                if (mk.scale != which)
                    continue;
                double a = mk.angle * M_PI / 180.0, r = m.arcRadius - 10;
                int x = static_cast<int>((m.pivotX + r * std::sin(a)) * scale);
                int y = static_cast<int>((m.pivotY - r * std::cos(a)) * scale);
                auto lum = [&](int frame) {
                    return luminance(img.pixels[static_cast<size_t>(frame * g.frameHeight * scale + y) * img.width + x]);
                };
                int away = mk.frame >= 50 ? mk.frame - 10 : mk.frame + 10;
                EXPECT_LT(lum(mk.frame), lum(away) - 40)
                    << "scale " << scale << "x, " << mk.db << " dB, frame " << mk.frame;
            }
        }
}

TEST(GlyphAtlases, EveryFontFaceAndScaleWithSaneMetrics)
{
    for (int font = 0; font < VSTGUI::kNumFonts; ++font)
        for (int face = 0; face < 4; ++face)
            for (int scale = 1; scale <= 2; ++scale) {
                SCOPED_TRACE(testing::Message() << "font " << font << " face " << face << " scale " << scale);
                const skin::GlyphAtlas* a = skin::findGlyphAtlas(font, face, scale);
                ASSERT_NE(a, nullptr);
                EXPECT_EQ(a, skin::findGlyphAtlas(font, face, scale)); // decoded once, kept
                EXPECT_EQ(a->fontId, font);
                EXPECT_EQ(a->face, face);
                EXPECT_EQ(a->scale, scale);
                ASSERT_EQ(a->firstChar, 32);
                ASSERT_EQ(a->numChars, 224);
                ASSERT_NE(a->coverage, nullptr);
                const int em = VSTGUI::kFontMetrics[font].height * scale;
                EXPECT_GE(a->ascent + a->descent, em);
                EXPECT_LE(a->ascent + a->descent, em * 3 / 2 + 2);
                EXPECT_GT(a->descent, 0);
                for (int i = 0; i < a->numChars; ++i) {
                    const skin::Glyph& g = a->glyphs[i];
                    ASSERT_TRUE(g.x >= 0 && g.y >= 0 && g.x + g.width <= a->atlasWidth &&
                                g.y + g.height <= a->atlasHeight)
                        << "glyph " << i + 32;
                }
                const skin::Glyph& space = a->glyphs[' ' - 32];
                EXPECT_EQ(space.width, 0);
                EXPECT_GT(space.advance, 0);
                const skin::Glyph& h = a->glyphs['H' - 32];
                EXPECT_NEAR(h.top, em * 0.7, 1.0 + em * 0.08); // cap height
                EXPECT_GT(h.advance, em / 2);
                EXPECT_LT(h.advance, em);
                int darkest = 0;
                for (int y = 0; y < h.height; ++y)
                    for (int x = 0; x < h.width; ++x)
                        darkest = std::max<int>(darkest, a->coverage[(h.y + y) * a->atlasWidth + h.x + x]);
                EXPECT_GE(darkest, 200);
                // Latin-1 letters are there (e with acute accent, 0xE9).
                EXPECT_GT(a->glyphs[0xE9 - 32].width, 0);
            }
    // Bold is wider; the 2x atlas is the 1x one at twice the size.
    const skin::GlyphAtlas* regular = skin::findGlyphAtlas(VSTGUI::kNormalFont, 0, 1);
    const skin::GlyphAtlas* bold = skin::findGlyphAtlas(VSTGUI::kNormalFont, VSTGUI::kBoldFace, 1);
    const skin::GlyphAtlas* twice = skin::findGlyphAtlas(VSTGUI::kNormalFont, 0, 2);
    EXPECT_GE(bold->glyphs['m' - 32].advance, regular->glyphs['m' - 32].advance);
    EXPECT_NEAR(twice->ascent, 2 * regular->ascent, 2);
    EXPECT_NEAR(twice->glyphs['m' - 32].advance, 2 * regular->glyphs['m' - 32].advance, 2);
    // Font 0 is always bold.
    EXPECT_EQ(skin::findGlyphAtlas(VSTGUI::kSystemFont, 0, 1)->glyphs['m' - 32].advance,
              skin::findGlyphAtlas(VSTGUI::kSystemFont, VSTGUI::kBoldFace, 1)->glyphs['m' - 32].advance);
}

TEST(GlyphAtlases, UnderlineIsTheRenderersAndOtherRequestsFindNothing)
{
    EXPECT_EQ(skin::findGlyphAtlas(3, VSTGUI::kUnderlineFace, 1), skin::findGlyphAtlas(3, 0, 1));
    EXPECT_EQ(skin::findGlyphAtlas(3, VSTGUI::kBoldFace | VSTGUI::kUnderlineFace, 2),
              skin::findGlyphAtlas(3, VSTGUI::kBoldFace, 2));
    EXPECT_EQ(skin::findGlyphAtlas(8, 0, 1), nullptr);
    EXPECT_EQ(skin::findGlyphAtlas(-1, 0, 1), nullptr);
    EXPECT_EQ(skin::findGlyphAtlas(0, -1, 1), nullptr);
    EXPECT_EQ(skin::findGlyphAtlas(0, 0, 0), nullptr);
    EXPECT_EQ(skin::findGlyphAtlas(0, 0, 3), nullptr);
}
