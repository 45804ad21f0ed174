// The software raster's primitives against known pixels, on synthetic images
// and glyphs (no skin, no window system).
#include "platform/software/SoftwareRaster.h"

#include <gtest/gtest.h>

#include <map>

using namespace softraster;
using VSTGUI::BlendMode;

namespace {

constexpr uint32_t kBlack = 0xFF000000u;
constexpr CColor kRed{255, 0, 0, 255};
constexpr CColor kGreen{0, 255, 0, 255};

// Two glyphs in a tiny atlas: 'A' a solid 2x3 block with advance 3, 'B' a
// half-covered 1x2 block with advance 2, and a blank space of advance 2.
struct FakeFont {
    skin::Glyph glyphs[35]{};
    uint8_t coverage[4 * 3]{};
    skin::GlyphAtlas atlas{};
    FakeFont(int fontId, int face, int scale, int ascent, int descent)
    {
        // atlas 4 x 3: columns 0-1 'A' (255), column 2 rows 0-1 'B' (128)
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 2; ++x)
                coverage[y * 4 + x] = 255;
        coverage[0 * 4 + 2] = 128;
        coverage[1 * 4 + 2] = 128;
        glyphs[0] = {0, 0, 0, 0, 0, 0, 2};                        // ' '
        glyphs['?' - 32] = {0, 0, 2, 3, 0, 3, 3};                // '?' like 'A'
        atlas = {fontId, face, scale, ascent, descent, 32, 35, glyphs, 4, 3, coverage};
    }
};

class FakeSkin final : public SkinSource {
public:
    std::map<std::pair<int, int>, Image> images;
    std::map<std::tuple<int, int, int>, const skin::GlyphAtlas*> atlases;

    bool decodeImage(int id, int scale, skin::DecodedImage& out) const override
    {
        auto it = images.find({id, scale});
        if (it == images.end())
            return false;
        out.width = it->second.width;
        out.height = it->second.height;
        out.pixels = it->second.pixels;
        return true;
    }
    const skin::GlyphAtlas* glyphAtlas(int fontId, int face, int scale) const override
    {
        auto it = atlases.find({fontId, face, scale});
        return it == atlases.end() ? nullptr : it->second;
    }
};

Image solid(int w, int h, uint32_t pixel)
{
    Image image;
    image.width = w;
    image.height = h;
    image.pixels.assign(static_cast<size_t>(w * h), pixel);
    return image;
}

// The device pixels of a surface as a string of characters, one per pixel:
// '.' black, 'R' red, 'G' green, '?' anything else.
std::string picture(const SoftwareSurface& s)
{
    std::string out;
    for (int y = 0; y < s.deviceHeight(); ++y) {
        for (int x = 0; x < s.deviceWidth(); ++x) {
            const uint32_t p = s.pixel(x, y);
            out += p == kBlack ? '.' : p == 0xFFFF0000u ? 'R' : p == 0xFF00FF00u ? 'G' : '?';
        }
        out += '\n';
    }
    return out;
}

} // namespace

TEST(SoftwareRaster, RectanglesFramesAndClipAtBothScales)
{
    FakeSkin skin;
    SoftwareSurface s(6, 4, 1, skin);
    s.fillRect(CRect(1, 1, 4, 3), kRed);
    s.frameRect(CRect(0, 0, 6, 4), kGreen);
    EXPECT_EQ(picture(s), "GGGGGG\n"
                          "GRRR.G\n"
                          "GRRR.G\n"
                          "GGGGGG\n");
    // The clip limits everything, and is itself limited to the surface.
    SoftwareSurface c(4, 3, 1, skin);
    c.setClip(CRect(2, 1, 10, 10));
    EXPECT_EQ(c.getClip(), CRect(2, 1, 4, 3));
    c.fillRect(CRect(0, 0, 4, 3), kRed);
    EXPECT_EQ(picture(c), "....\n"
                          "..RR\n"
                          "..RR\n");
    // At scale 2 each 1x pixel is a 2x2 block.
    SoftwareSurface d(3, 2, 2, skin);
    d.fillRect(CRect(1, 0, 2, 1), kRed);
    d.frameRect(CRect(0, 1, 3, 2), kGreen);
    EXPECT_EQ(picture(d), "..RR..\n"
                          "..RR..\n"
                          "GGGGGG\n"
                          "GGGGGG\n");
}

TEST(SoftwareRaster, LinesIncludeBothEndsAndScale)
{
    FakeSkin skin;
    SoftwareSurface s(5, 3, 1, skin);
    s.drawLine(CPoint(0, 0), CPoint(4, 2), kRed);
    EXPECT_EQ(picture(s), "R....\n"
                          ".RR..\n"
                          "...RR\n");
    SoftwareSurface d(2, 2, 2, skin);
    d.drawLine(CPoint(1, 1), CPoint(1, 1), kGreen); // a single point
    EXPECT_EQ(picture(d), "....\n"
                          "....\n"
                          "..GG\n"
                          "..GG\n");
    // Clipped lines stop at the clip.
    SoftwareSurface c(4, 1, 1, skin);
    c.setClip(CRect(1, 0, 3, 1));
    c.drawLine(CPoint(-5, 0), CPoint(10, 0), kRed);
    EXPECT_EQ(picture(c), ".RR.\n");
}

TEST(SoftwareRaster, BitmapCopyTransparentAndAlpha)
{
    FakeSkin skin;
    // 3x2 image: red, white, half-transparent green / green, red, clear.
    Image image = solid(3, 2, 0xFFFF0000u);
    image.pixels[1] = 0xFFFFFFFFu;
    image.pixels[2] = 0x8000FF00u;
    image.pixels[3] = 0xFF00FF00u;
    image.pixels[5] = 0x00000000u;
    skin.images[{7, 1}] = image;
    auto bitmap = SoftwareBitmap::load(skin, 7);
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->width(), 3);
    EXPECT_EQ(bitmap->height(), 2);
    EXPECT_FALSE(SoftwareBitmap::load(skin, 8)); // no such image

    SoftwareSurface s(4, 2, 1, skin);
    // Copy from offset (1, 0): white, green / red, clear; alpha is ignored.
    s.drawBitmap(*bitmap, CRect(0, 0, 2, 2), CPoint(1, 0), BlendMode::kCopy);
    EXPECT_EQ(s.pixel(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(s.pixel(1, 0), 0xFF00FF00u);
    EXPECT_EQ(s.pixel(0, 1), 0xFFFF0000u);
    EXPECT_EQ(s.pixel(1, 1), 0xFF000000u);
    // Where the destination runs past the image nothing is drawn.
    SoftwareSurface past(4, 1, 1, skin);
    past.fillRect(CRect(0, 0, 4, 1), kGreen);
    past.drawBitmap(*bitmap, CRect(0, 0, 4, 1), CPoint(1, 0), BlendMode::kCopy);
    EXPECT_EQ(past.pixel(2, 0), 0xFF00FF00u);
    EXPECT_EQ(past.pixel(3, 0), 0xFF00FF00u);

    // Transparent: white pixels are left out.
    SoftwareSurface t(3, 1, 1, skin);
    t.fillRect(CRect(0, 0, 3, 1), kGreen);
    t.drawBitmap(*bitmap, CRect(0, 0, 3, 1), CPoint(), BlendMode::kTransparent, VSTGUI::kTransparentCColor);
    EXPECT_EQ(t.pixel(0, 0), 0xFFFF0000u);
    EXPECT_EQ(t.pixel(1, 0), 0xFF00FF00u);
    EXPECT_EQ(t.pixel(2, 0), 0xFF00FF00u);
    // Another transparent colour.
    SoftwareSurface t2(3, 1, 1, skin);
    t2.drawBitmap(*bitmap, CRect(0, 0, 3, 1), CPoint(), BlendMode::kTransparent, CColor{255, 0, 0, 255});
    EXPECT_EQ(t2.pixel(0, 0), kBlack);
    EXPECT_EQ(t2.pixel(1, 0), 0xFFFFFFFFu);

    // Alpha: image alpha 128 of green over red, times constant 255 and 128.
    SoftwareSurface a(1, 1, 1, skin);
    a.fillRect(CRect(0, 0, 1, 1), kRed);
    a.drawBitmap(*bitmap, CRect(0, 0, 1, 1), CPoint(2, 0), BlendMode::kAlpha, VSTGUI::kTransparentCColor, 255);
    EXPECT_EQ(a.pixel(0, 0), 0xFF7F8000u); // 255*127/255, 255*128/255
    a.fillRect(CRect(0, 0, 1, 1), kRed);
    a.drawBitmap(*bitmap, CRect(0, 0, 1, 1), CPoint(2, 0), BlendMode::kAlpha, VSTGUI::kTransparentCColor, 128);
    EXPECT_EQ(a.pixel(0, 0), 0xFFBF4000u); // alpha 64
    // A fully transparent pixel leaves the target as it was.
    a.drawBitmap(*bitmap, CRect(0, 0, 1, 1), CPoint(2, 1), BlendMode::kAlpha);
    EXPECT_EQ(a.pixel(0, 0), 0xFFBF4000u);
}

TEST(SoftwareRaster, BitmapAtScaleTwoUsesLargeArtOrDoubles)
{
    FakeSkin skin;
    skin.images[{1, 1}] = solid(1, 1, 0xFFFF0000u);
    Image big = solid(2, 2, 0xFF00FF00u);
    big.pixels[3] = 0xFFFF0000u;
    skin.images[{1, 2}] = big;
    skin.images[{2, 1}] = solid(1, 1, 0xFFFF0000u); // no large art
    skin.images[{3, 1}] = solid(1, 1, 0xFFFF0000u);
    skin.images[{3, 2}] = solid(3, 3, 0xFF00FF00u); // large art of a wrong size
    SoftwareSurface s(3, 1, 2, skin);
    s.drawBitmap(*SoftwareBitmap::load(skin, 1), CRect(0, 0, 1, 1), CPoint(), BlendMode::kCopy);
    s.drawBitmap(*SoftwareBitmap::load(skin, 2), CRect(1, 0, 2, 1), CPoint(), BlendMode::kCopy);
    s.drawBitmap(*SoftwareBitmap::load(skin, 3), CRect(2, 0, 3, 1), CPoint(), BlendMode::kCopy);
    EXPECT_EQ(picture(s), "GGRRRR\n"
                          "GRRRRR\n");
    // The same bitmap still draws its 1x art on a 1x surface.
    SoftwareSurface one(1, 1, 1, skin);
    one.drawBitmap(*SoftwareBitmap::load(skin, 1), CRect(0, 0, 1, 1), CPoint(), BlendMode::kCopy);
    EXPECT_EQ(one.pixel(0, 0), 0xFFFF0000u);
}

TEST(SoftwareRaster, TextPlacementAlignmentClipAndUnderline)
{
    FakeSkin skin;
    FakeFont regular(3, 0, 1, 3, 1);
    skin.atlases[{3, 0, 1}] = &regular.atlas;
    SoftwareSurface s(8, 6, 1, skin);
    // "??" is 6 pixels wide: left at 0, centred at 1, right at 2. The line
    // (ascent 3 + descent 1) is centred in 6 rows: top 1, baseline 4.
    EXPECT_EQ(s.textWidth("??", 3, 0), 6);
    s.drawText("??", CRect(0, 0, 8, 6), 3, 0, kRed, VSTGUI::kCenterText);
    EXPECT_EQ(picture(s), "........\n"
                          ".RR.RR..\n"
                          ".RR.RR..\n"
                          ".RR.RR..\n"
                          "........\n"
                          "........\n");
    SoftwareSurface r(8, 4, 1, skin);
    r.drawText("?", CRect(0, 0, 8, 4), 3, 0, kRed, VSTGUI::kRightText);
    EXPECT_EQ(r.pixel(5, 0), 0xFFFF0000u);
    EXPECT_EQ(r.pixel(6, 2), 0xFFFF0000u);
    EXPECT_EQ(r.pixel(7, 0), kBlack); // the advance's blank column
    // Clipped to the text rectangle, and underlined below the baseline.
    SoftwareSurface u(8, 5, 1, skin);
    u.drawText("??", CRect(0, 0, 4, 5), 3, VSTGUI::kUnderlineFace, kGreen, VSTGUI::kLeftText);
    EXPECT_EQ(picture(u), "GG.G....\n"
                          "GG.G....\n"
                          "GG.G....\n"
                          "........\n"
                          "GGGG....\n");
    // Characters the atlas lacks draw as '?'; control characters take no room.
    EXPECT_EQ(u.textWidth("\xE2\x82\xAC", 3, 0), 3);
    EXPECT_EQ(u.textWidth("\x01", 3, 0), 0);
    // A font without glyphs draws nothing.
    EXPECT_EQ(u.textWidth("??", 5, 0), 0);
}

TEST(SoftwareRaster, FontFallbacks)
{
    FakeSkin skin;
    FakeFont regular(3, 0, 1, 3, 1);
    FakeFont bold(0, 1, 1, 3, 1);
    bold.coverage[0] = 200; // tell it apart
    skin.atlases[{3, 0, 1}] = &regular.atlas;
    skin.atlases[{0, 1, 1}] = &bold.atlas;
    SoftwareSurface s(3, 4, 1, skin);
    // Font 0 is always bold; italic falls back to the upright face.
    s.drawText("?", CRect(0, 0, 3, 4), 0, VSTGUI::kItalicFace, kRed, VSTGUI::kLeftText);
    EXPECT_EQ(s.pixel(0, 0), 0xFFC80000u);
    // Bold without a bold atlas: the regular glyphs.
    SoftwareSurface b(3, 4, 1, skin);
    b.drawText("?", CRect(0, 0, 3, 4), 3, VSTGUI::kBoldFace, kRed, VSTGUI::kLeftText);
    EXPECT_EQ(b.pixel(0, 0), 0xFFFF0000u);
    // At scale 2 without 2x glyphs the 1x glyphs are doubled.
    SoftwareSurface d(3, 4, 2, skin);
    EXPECT_EQ(d.textWidth("??", 3, 0), 6);
    d.drawText("?", CRect(0, 0, 3, 4), 3, 0, kRed, VSTGUI::kLeftText);
    EXPECT_EQ(d.pixel(3, 0), 0xFFFF0000u);
    EXPECT_EQ(d.pixel(4, 0), kBlack);
    EXPECT_EQ(d.pixel(0, 5), 0xFFFF0000u);
    EXPECT_EQ(d.pixel(0, 6), kBlack);
}

TEST(SoftwareRaster, Utf8DecodingTakesBrokenBytesAsLatin1)
{
    const char* text = "a\xC3\xA9\xE9\xE2\x82\xAC\xC0\xAF\xF0\x9F\x8E\xB5";
    std::vector<uint32_t> points;
    size_t at = 0;
    while (uint32_t cp = nextCodePoint(text, at))
        points.push_back(cp);
    EXPECT_EQ(points, (std::vector<uint32_t>{'a', 0xE9, 0xE9, 0x20AC, 0xC0, 0xAF, 0x1F3B5}));
}

TEST(SoftwareRaster, CopyBetweenSurfacesOfEitherScale)
{
    FakeSkin skin;
    SoftwareSurface small(2, 1, 1, skin);
    small.fillRect(CRect(1, 0, 2, 1), kRed);
    SoftwareSurface big(3, 1, 2, skin);
    small.copyTo(big, CRect(1, 0, 3, 1), CPoint(0, 0));
    EXPECT_EQ(picture(big), "....RR\n"
                            "....RR\n");
    SoftwareSurface back(3, 1, 1, skin);
    big.copyTo(back, CRect(0, 0, 3, 1), CPoint(0, 0));
    EXPECT_EQ(picture(back), "..R\n");
    // The target's clip holds.
    SoftwareSurface clipped(3, 1, 2, skin);
    clipped.setClip(CRect(0, 0, 2, 1));
    big.copyTo(clipped, CRect(0, 0, 3, 1), CPoint(0, 0));
    EXPECT_EQ(picture(clipped), "......\n"
                                "......\n");
    // A surface copied onto itself reads the pixels as they were.
    SoftwareSurface self(3, 1, 1, skin);
    self.fillRect(CRect(0, 0, 1, 1), kRed);
    self.copyTo(self, CRect(1, 0, 3, 1), CPoint(0, 0));
    EXPECT_EQ(picture(self), "RR.\n");
}
