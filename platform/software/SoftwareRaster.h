// A software raster for the toolkit's drawing surfaces: 32-bit pixels
// (0xFFRRGGBB) at a device scale of 1 or 2, skin bitmaps and glyph atlases
// as the skin provides them, clipping, copy / transparent-colour / alpha
// blits, lines, rectangles and text. It knows no window system: the X11 layer
// blits its pixels to the screen, and tests and tools draw off-screen with it.
#pragma once

#include "gui/Platform.h"
#include "resources/Skin.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace softraster {

using VSTGUI::CColor;
using VSTGUI::CPoint;
using VSTGUI::CRect;

// Where images and glyphs come from: the skin compiled into the binary, or
// synthetic data in tests.
class SkinSource {
public:
    virtual ~SkinSource() = default;
    // The image of resource `id` drawn at `scale` (1 or 2); false when there is none.
    virtual bool decodeImage(int id, int scale, skin::DecodedImage& out) const = 0;
    // Glyphs of font id 0-7 with face bits (bold 1, italic 2) at `scale`; null when there are none.
    virtual const skin::GlyphAtlas* glyphAtlas(int fontId, int face, int scale) const = 0;
};

// The skin compiled into this binary (no images and no glyphs in a build
// without one).
const SkinSource& embeddedSkin();

// Pixels of one image at device resolution, 0xAARRGGBB.
struct Image {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> pixels;
    bool empty() const { return width <= 0 || height <= 0; }
};

// A skin bitmap. Its size is that of the 1x art; the 2x art is decoded the
// first time a surface at scale 2 draws it, and made by doubling the 1x
// pixels when the skin has none.
class SoftwareBitmap final : public VSTGUI::PlatformBitmap {
public:
    // Null when the skin has no image of that id.
    static std::shared_ptr<SoftwareBitmap> load(const SkinSource& source, int id);
    // From pixels: `one` at 1x; `two` (optional) at 2x.
    SoftwareBitmap(Image one, Image two = Image());

    int32_t width() const override { return width_; }
    int32_t height() const override { return height_; }
    // The art for a device scale of 1 or 2.
    const Image& imageForScale(int32_t scale) const;

private:
    const SkinSource* source_ = nullptr;
    int id_ = 0;
    int32_t width_ = 0;
    int32_t height_ = 0;
    Image one_;
    mutable Image two_;
    mutable std::once_flag twoMade_;
};

// A drawing surface over its own pixel buffer.
class SoftwareSurface final : public VSTGUI::PlatformOffscreen {
public:
    // `width` x `height` 1x pixels at `scale` (1 or 2), filled with black.
    SoftwareSurface(int32_t width, int32_t height, int32_t scale, const SkinSource& glyphs = embeddedSkin());

    // Changes the size or the scale; the contents are cleared to black and
    // the clip covers the whole surface again.
    void resize(int32_t width, int32_t height, int32_t scale);

    int32_t width() const override { return width_; }
    int32_t height() const override { return height_; }
    int32_t scale() const override { return scale_; }
    int32_t deviceWidth() const { return width_ * scale_; }
    int32_t deviceHeight() const { return height_ * scale_; }
    // Row by row from the top, deviceWidth() pixels a row, 0xFFRRGGBB.
    const uint32_t* pixels() const { return pixels_.data(); }
    uint32_t* pixels() { return pixels_.data(); }
    uint32_t pixel(int32_t deviceX, int32_t deviceY) const
    {
        return pixels_[static_cast<size_t>(deviceY) * static_cast<size_t>(deviceWidth()) +
                       static_cast<size_t>(deviceX)];
    }

    void setClip(const CRect& clip) override;
    CRect getClip() const override { return clip_; }

    void fillRect(const CRect& rect, CColor color) override;
    void frameRect(const CRect& rect, CColor color) override;
    void drawLine(CPoint from, CPoint to, CColor color) override;
    void drawBitmap(const VSTGUI::PlatformBitmap& bitmap, const CRect& dest, CPoint source, VSTGUI::BlendMode mode,
                    CColor transparent = VSTGUI::kTransparentCColor, uint8_t alpha = 255) override;
    void drawText(const char* text, const CRect& rect, int32_t fontId, int32_t face, CColor color,
                  int32_t align) override;
    int32_t textWidth(const char* text, int32_t fontId, int32_t face) override;
    bool readPixels(std::vector<uint32_t>& pixels, int32_t& deviceWidth, int32_t& deviceHeight) override;
    void copyTo(VSTGUI::PlatformSurface& target, const CRect& dest, CPoint source) override;

    // --- Device-pixel helpers for the window layer's own drawing ------------

    // Fills a rectangle given in device pixels, within the clip.
    void fillDeviceRect(int32_t left, int32_t top, int32_t right, int32_t bottom, CColor color);
    // Text in device pixels: the baseline starts at (x, baseline); clipped
    // to the device rectangle `clip` and the surface's clip. Answers the
    // advance in device pixels.
    int32_t drawTextAt(const char* text, int32_t x, int32_t baseline, int32_t fontId, int32_t face, CColor color,
                       int32_t clipLeft, int32_t clipTop, int32_t clipRight, int32_t clipBottom);
    // Width of the text in device pixels, and the font's ascent and descent.
    int32_t deviceTextWidth(const char* text, int32_t fontId, int32_t face);
    void deviceFontMetrics(int32_t fontId, int32_t face, int32_t& ascent, int32_t& descent);
    // Device x offsets of every code point boundary of `text` (size = code
    // points + 1), and the byte offset where each code point starts.
    void caretPositions(const char* text, int32_t fontId, int32_t face, std::vector<int32_t>& x,
                        std::vector<size_t>& bytes);

private:
    struct Font;
    Font findFont(int32_t fontId, int32_t face) const;
    void deviceClip(int32_t& left, int32_t& top, int32_t& right, int32_t& bottom) const;

    const SkinSource* glyphs_;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t scale_ = 1;
    CRect clip_;
    std::vector<uint32_t> pixels_;
};

// Next code point of UTF-8 text at `at` (advanced past it); a byte that does
// not start a valid sequence counts as Latin-1. 0 at the end.
uint32_t nextCodePoint(const char* text, size_t& at);

} // namespace softraster
