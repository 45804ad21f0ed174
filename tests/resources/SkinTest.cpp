#include "editor/MeterMapping.h"
#include "gui/Geometry.h"
#include "resources/EmbeddedSkin.h"
#include "resources/Skin.h"
#include "resources/SkinIds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
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

const std::vector<unsigned char>& packBytes()
{
    static const std::vector<unsigned char> bytes = [] {
        std::ifstream f(AMBREL_SKIN_PACK, std::ios::binary);
        return std::vector<unsigned char>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }();
    return bytes;
}

// Decodes `id` at 2x from a (possibly damaged) pack. When it answers true
// the image must have the 2x size of the geometry.
bool decodeFromPack(const std::vector<unsigned char>& pack, int id, std::vector<uint32_t>& pixels)
{
    int32_t w = 0, h = 0;
    if (!skin::packedImageSize(pack.data(), pack.size(), id, 2, w, h)) {
        EXPECT_EQ(w, 0);
        EXPECT_EQ(h, 0);
        return false;
    }
    const skin::BitmapGeometry* g = skin::findGeometry(id);
    EXPECT_TRUE(g && w == g->width * 2 && h == g->height * 2) << id;
    pixels.assign(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
    return skin::decodePackedImage(pack.data(), pack.size(), id, 2, pixels.data(), pixels.size());
}

uint32_t read32(const std::vector<unsigned char>& b, size_t at)
{
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 | static_cast<uint32_t>(b[at + 2]) << 16 |
           static_cast<uint32_t>(b[at + 3]) << 24;
}
void write32(std::vector<unsigned char>& b, size_t at, uint32_t v)
{
    for (int k = 0; k < 4; ++k)
        b[at + static_cast<size_t>(k)] = static_cast<unsigned char>(v >> (8 * k));
}

// Where record `index` of a pack starts, and its fields.
size_t recordAt(int index) { return skin::embedded::kPackHeaderSize + static_cast<size_t>(index) * skin::embedded::kPackRecordSize; }
enum Field { kId, kScale, kWidth, kHeight, kFrames, kFrameWidth, kFrameHeight, kEncoding, kBase, kPalette, kData, kSize };
int packIndexOf(const std::vector<unsigned char>& pack, int id)
{
    const uint32_t count = read32(pack, 8);
    for (uint32_t i = 0; i < count; ++i)
        if (read32(pack, recordAt(static_cast<int>(i))) == static_cast<uint32_t>(id))
            return static_cast<int>(i);
    return -1;
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

// The pack of the Windows DLLs: their 2x art, the same compressed data as
// the Linux binaries' and the same pixels.
TEST(Pack, HoldsTheGeneratorsPixelsOfEveryBitmapAtTwiceTheSize)
{
    const std::vector<unsigned char>& pack = packBytes();
    ASSERT_GT(pack.size(), 100000u);
    std::vector<uint32_t> pixels;
    for (const skin::BitmapGeometry& g : skin::kBitmapGeometry) {
        SCOPED_TRACE(testing::Message() << g.id);
        ASSERT_TRUE(decodeFromPack(pack, g.id, pixels));
        EXPECT_EQ(pixelHash(pixels), manifest().hashes.at({g.id, 2}));
        skin::DecodedImage embedded;
        ASSERT_TRUE(skin::decodeEmbeddedImage(g.id, 2, embedded));
        EXPECT_TRUE(embedded.pixels == pixels);
    }

    // The alpha byte is the caller's: GDI keeps opaque art with a zero one.
    const skin::BitmapGeometry& g = *skin::findGeometry(skin::kKnobModeSwitch);
    std::vector<uint32_t> gdi(static_cast<size_t>(g.width * 2) * static_cast<size_t>(g.height * 2));
    ASSERT_TRUE(skin::decodePackedImage(pack.data(), pack.size(), g.id, 2, gdi.data(), gdi.size(), 0));
    ASSERT_TRUE(decodeFromPack(pack, g.id, pixels));
    for (size_t i = 0; i < gdi.size(); ++i)
        ASSERT_EQ(gdi[i], pixels[i] & 0xFFFFFFu);
}

TEST(Pack, AnswersFalseForWhatItDoesNotHold)
{
    const std::vector<unsigned char>& pack = packBytes();
    int32_t w = 7, h = 7;
    EXPECT_FALSE(skin::packedImageSize(pack.data(), pack.size(), skin::kBackground, 1, w, h)); // 1x: BITMAPs
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
    EXPECT_FALSE(skin::packedImageSize(pack.data(), pack.size(), 12345, 2, w, h));
    EXPECT_FALSE(skin::packedImageSize(nullptr, 0, skin::kBackground, 2, w, h));
    std::vector<uint32_t> pixels(900 * 920);
    EXPECT_FALSE(skin::decodePackedImage(pack.data(), pack.size(), skin::kBackground, 1, pixels.data(), pixels.size()));
    // The buffer must be exactly the image's size.
    EXPECT_FALSE(skin::decodePackedImage(pack.data(), pack.size(), skin::kBackground, 2, pixels.data(), pixels.size() - 1));
    EXPECT_FALSE(skin::decodePackedImage(pack.data(), pack.size(), skin::kBackground, 2, nullptr, pixels.size()));
    EXPECT_TRUE(skin::decodePackedImage(pack.data(), pack.size(), skin::kBackground, 2, pixels.data(), pixels.size()));
}

// A damaged pack answers false (the Windows layer then draws the 1x art)
// and never reads or writes outside its buffers (AddressSanitizer in CI).
TEST(Pack, DamagedPacksAnswerFalseAndStayInsideTheirBuffers)
{
    const std::vector<unsigned char>& good = packBytes();
    const uint32_t count = read32(good, 8), blobOffset = read32(good, 12);
    ASSERT_EQ(count, skin::kBitmapGeometry.size());
    std::vector<uint32_t> pixels;

    // A pack cut short anywhere is refused whole.
    for (size_t length = 0; length < good.size(); length += length < blobOffset ? 7 : 99991) {
        std::vector<unsigned char> cut(good.begin(), good.begin() + static_cast<long>(length));
        EXPECT_FALSE(decodeFromPack(cut, skin::kKnobModeSwitch, pixels)) << length;
    }
    EXPECT_FALSE(decodeFromPack({good.begin(), good.end() - 1}, skin::kSavePreset, pixels));

    // Header fields out of range.
    for (auto [at, value] : {std::pair<size_t, uint32_t>{0, 0x41414141u}, {8, 0xFFFFFFFFu}, {8, count + 1000},
                             {12, 0}, {12, 0xFFFFFFF0u}, {16, 0xFFFFFFF0u}, {16, static_cast<uint32_t>(good.size())}}) {
        std::vector<unsigned char> bad = good;
        write32(bad, at, value);
        EXPECT_FALSE(decodeFromPack(bad, skin::kKnobModeSwitch, pixels)) << at << " = " << value;
    }

    // Every field of records of each kind (palette strip, 24-bit image on a
    // base, alias) set to values a damaged file might hold.
    // One copy, damaged and mended again for each case.
    std::vector<unsigned char> bad = good;
    for (int id : {int(skin::kKnobModeSwitch), int(skin::kBackgroundNoFat), int(skin::kProcessButtonNoFat)}) {
        const int index = packIndexOf(good, id);
        ASSERT_GE(index, 0);
        for (int field = kId; field <= kSize; ++field)
            for (uint32_t value : {0u, 1u, 3u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu, 0xFFFFFFF0u,
                                   static_cast<uint32_t>(index), read32(good, recordAt(index) + 4u * field) + 1}) {
                const size_t at = recordAt(index) + 4u * static_cast<size_t>(field);
                if (read32(good, at) == value)
                    continue;
                write32(bad, at, value);
                struct Mend {
                    std::vector<unsigned char>& bad;
                    const std::vector<unsigned char>& good;
                    size_t at;
                    ~Mend() { std::copy_n(good.begin() + static_cast<long>(at), 4, bad.begin() + static_cast<long>(at)); }
                } mend{bad, good, at};
                SCOPED_TRACE(testing::Message() << id << " field " << field << " = " << value);
                // The size and layout fields are checked against the
                // skin's geometry; the kind and the places in the blob may
                // still lead to a whole (wrong) picture.
                if (decodeFromPack(bad, id, pixels)) {
                    EXPECT_TRUE(field == kEncoding || field == kBase || field == kPalette || field == kData ||
                                field == kSize);
                }
            }
    }

    // Streams cut short or holding garbage: decoding fails or gives a whole
    // image, and stays inside the buffers.
    std::mt19937 random(7);
    for (int id : {int(skin::kKnobModeSwitch), int(skin::kSettingsBackground), int(skin::kReadoutGlyphs)}) {
        const size_t at = blobOffset + read32(good, recordAt(packIndexOf(good, id)) + 4 * kData);
        const size_t size = read32(good, recordAt(packIndexOf(good, id)) + 4 * kSize);
        write32(bad, recordAt(packIndexOf(good, id)) + 4 * kSize, static_cast<uint32_t>(size / 2));
        EXPECT_FALSE(decodeFromPack(bad, id, pixels)) << id;
        write32(bad, recordAt(packIndexOf(good, id)) + 4 * kSize, static_cast<uint32_t>(size));
        for (int trial = 0; trial < 40; ++trial) {
            const size_t from = at + random() % size, to = std::min(from + 1 + random() % 16, at + size);
            for (size_t i = from; i < to; ++i)
                bad[i] = static_cast<unsigned char>(random());
            decodeFromPack(bad, id, pixels);
            std::copy(good.begin() + static_cast<long>(from), good.begin() + static_cast<long>(to),
                      bad.begin() + static_cast<long>(from));
        }
    }
    EXPECT_TRUE(bad == good);
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
