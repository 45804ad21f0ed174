#include "platform/software/SoftwareRaster.h"

#include "gui/Utf8.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace softraster {

using VSTGUI::BlendMode;

namespace {

constexpr uint32_t kOpaque = 0xFF000000u;

uint32_t pack(CColor c)
{
    return kOpaque | (uint32_t(c.red) << 16) | (uint32_t(c.green) << 8) | uint32_t(c.blue);
}

// Source over destination with coverage `a` (0-255), rounded to nearest.
inline uint32_t blend(uint32_t dst, uint32_t src, uint32_t a)
{
    if (a == 0)
        return dst;
    if (a >= 255)
        return src | kOpaque;
    const uint32_t na = 255 - a;
    const uint32_t r = (((src >> 16) & 0xFF) * a + ((dst >> 16) & 0xFF) * na + 127) / 255;
    const uint32_t g = (((src >> 8) & 0xFF) * a + ((dst >> 8) & 0xFF) * na + 127) / 255;
    const uint32_t b = ((src & 0xFF) * a + (dst & 0xFF) * na + 127) / 255;
    return kOpaque | (r << 16) | (g << 8) | b;
}

int32_t floorDiv(int32_t a, int32_t b)
{
    int32_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

Image doubled(const Image& one)
{
    Image two;
    if (one.empty())
        return two;
    two.width = one.width * 2;
    two.height = one.height * 2;
    two.pixels.resize(static_cast<size_t>(two.width) * static_cast<size_t>(two.height));
    for (int32_t y = 0; y < two.height; ++y) {
        const uint32_t* src = one.pixels.data() + static_cast<size_t>(y / 2) * static_cast<size_t>(one.width);
        uint32_t* dst = two.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(two.width);
        for (int32_t x = 0; x < two.width; ++x)
            dst[x] = src[x / 2];
    }
    return two;
}

Image fromDecoded(skin::DecodedImage&& decoded)
{
    Image image;
    if (decoded.width <= 0 || decoded.height <= 0 ||
        decoded.pixels.size() < static_cast<size_t>(decoded.width) * static_cast<size_t>(decoded.height))
        return image;
    image.width = decoded.width;
    image.height = decoded.height;
    image.pixels = std::move(decoded.pixels);
    return image;
}

} // namespace

uint32_t nextCodePoint(const char* text, size_t& at)
{
    if (text[at] == 0)
        return 0;
    // A sequence has four bytes at most; the terminating zero ends it early.
    size_t size = at + 1;
    while (size < at + 4 && text[size])
        ++size;
    return VSTGUI::nextUtf8(text, size, at);
}

// --- SoftwareBitmap ----------------------------------------------------------

std::shared_ptr<SoftwareBitmap> SoftwareBitmap::load(const SkinSource& source, int id)
{
    skin::DecodedImage decoded;
    Image one;
    if (source.decodeImage(id, 1, decoded))
        one = fromDecoded(std::move(decoded));
    Image two;
    if (one.empty()) {
        // Only the large art: its 1x size is half of it.
        skin::DecodedImage big;
        if (!source.decodeImage(id, 2, big))
            return nullptr;
        two = fromDecoded(std::move(big));
        if (two.empty() || two.width % 2 || two.height % 2)
            return nullptr;
        Image halved;
        halved.width = two.width / 2;
        halved.height = two.height / 2;
        halved.pixels.resize(static_cast<size_t>(halved.width) * static_cast<size_t>(halved.height));
        for (int32_t y = 0; y < halved.height; ++y)
            for (int32_t x = 0; x < halved.width; ++x)
                halved.pixels[static_cast<size_t>(y) * static_cast<size_t>(halved.width) + static_cast<size_t>(x)] =
                    two.pixels[static_cast<size_t>(y * 2) * static_cast<size_t>(two.width) + static_cast<size_t>(x * 2)];
        auto bitmap = std::make_shared<SoftwareBitmap>(std::move(halved), std::move(two));
        return bitmap;
    }
    auto bitmap = std::make_shared<SoftwareBitmap>(std::move(one));
    bitmap->source_ = &source;
    bitmap->id_ = id;
    return bitmap;
}

SoftwareBitmap::SoftwareBitmap(Image one, Image two) : one_(std::move(one)), two_(std::move(two))
{
    width_ = one_.width;
    height_ = one_.height;
}

const Image& SoftwareBitmap::imageForScale(int32_t scale) const
{
    if (scale != 2)
        return one_;
    std::call_once(twoMade_, [this] {
        if (two_.width == width_ * 2 && two_.height == height_ * 2)
            return;
        two_ = Image();
        skin::DecodedImage decoded;
        if (source_ && source_->decodeImage(id_, 2, decoded)) {
            Image big = fromDecoded(std::move(decoded));
            // Art of another size than twice the 1x would draw misplaced.
            if (big.width == width_ * 2 && big.height == height_ * 2) {
                two_ = std::move(big);
                return;
            }
        }
        two_ = doubled(one_);
    });
    return two_;
}

// --- SoftwareSurface ---------------------------------------------------------

struct SoftwareSurface::Font {
    const skin::GlyphAtlas* atlas = nullptr;
    int32_t factor = 1; // device pixels per atlas pixel
    bool underline = false;
    int32_t ascent = 0;  // device pixels
    int32_t descent = 0;

    const skin::Glyph* glyph(uint32_t cp) const
    {
        if (!atlas || !atlas->glyphs)
            return nullptr;
        auto find = [this](uint32_t c) -> const skin::Glyph* {
            if (c < static_cast<uint32_t>(atlas->firstChar))
                return nullptr;
            const uint32_t index = c - static_cast<uint32_t>(atlas->firstChar);
            return index < static_cast<uint32_t>(atlas->numChars) ? &atlas->glyphs[index] : nullptr;
        };
        if (cp == '\t')
            cp = ' ';
        if (const skin::Glyph* g = find(cp))
            return g;
        if (cp < 32)
            return nullptr; // control characters take no room
        return find('?');
    }
};

SoftwareSurface::SoftwareSurface(int32_t width, int32_t height, int32_t scale, const SkinSource& glyphs)
    : glyphs_(&glyphs)
{
    resize(width, height, scale);
}

void SoftwareSurface::resize(int32_t width, int32_t height, int32_t scale)
{
    width_ = std::max<int32_t>(0, width);
    height_ = std::max<int32_t>(0, height);
    scale_ = scale == 2 ? 2 : 1;
    pixels_.assign(static_cast<size_t>(deviceWidth()) * static_cast<size_t>(deviceHeight()), kOpaque);
    clip_ = CRect(0, 0, width_, height_);
}

void SoftwareSurface::setClip(const CRect& clip)
{
    clip_ = clip;
    clip_.bound(CRect(0, 0, width_, height_));
}

void SoftwareSurface::deviceClip(int32_t& left, int32_t& top, int32_t& right, int32_t& bottom) const
{
    left = std::max(left, clip_.left * scale_);
    top = std::max(top, clip_.top * scale_);
    right = std::min(right, clip_.right * scale_);
    bottom = std::min(bottom, clip_.bottom * scale_);
}

void SoftwareSurface::fillDeviceRect(int32_t left, int32_t top, int32_t right, int32_t bottom, CColor color)
{
    deviceClip(left, top, right, bottom);
    if (right <= left || bottom <= top)
        return;
    const uint32_t value = pack(color);
    const int32_t stride = deviceWidth();
    for (int32_t y = top; y < bottom; ++y) {
        uint32_t* row = pixels_.data() + static_cast<size_t>(y) * static_cast<size_t>(stride);
        std::fill(row + left, row + right, value);
    }
}

void SoftwareSurface::fillRect(const CRect& rect, CColor color)
{
    fillDeviceRect(rect.left * scale_, rect.top * scale_, rect.right * scale_, rect.bottom * scale_, color);
}

void SoftwareSurface::frameRect(const CRect& rect, CColor color)
{
    if (rect.isEmpty())
        return;
    fillRect(CRect(rect.left, rect.top, rect.right, rect.top + 1), color);
    fillRect(CRect(rect.left, rect.bottom - 1, rect.right, rect.bottom), color);
    fillRect(CRect(rect.left, rect.top, rect.left + 1, rect.bottom), color);
    fillRect(CRect(rect.right - 1, rect.top, rect.right, rect.bottom), color);
}

void SoftwareSurface::drawLine(CPoint from, CPoint to, CColor color)
{
    // Bresenham in 1x pixels; each pixel covers scale x scale device pixels,
    // so a line at scale 2 is the 1x line made twice as large.
    int32_t x = from.h, y = from.v;
    const int32_t dx = std::abs(to.h - from.h), sx = from.h < to.h ? 1 : -1;
    const int32_t dy = -std::abs(to.v - from.v), sy = from.v < to.v ? 1 : -1;
    int32_t error = dx + dy;
    for (;;) {
        fillDeviceRect(x * scale_, y * scale_, (x + 1) * scale_, (y + 1) * scale_, color);
        if (x == to.h && y == to.v)
            break;
        const int32_t e2 = 2 * error;
        if (e2 >= dy) {
            error += dy;
            x += sx;
        }
        if (e2 <= dx) {
            error += dx;
            y += sy;
        }
    }
}

void SoftwareSurface::drawBitmap(const VSTGUI::PlatformBitmap& bitmap, const CRect& dest, CPoint source,
                                 BlendMode mode, CColor transparent, uint8_t alpha)
{
    const auto* soft = dynamic_cast<const SoftwareBitmap*>(&bitmap);
    if (!soft || dest.isEmpty())
        return;
    const Image& image = soft->imageForScale(scale_);
    if (image.empty())
        return;
    // Device rectangle of the destination, and the source pixel that lands
    // on its top-left corner.
    int32_t left = dest.left * scale_, top = dest.top * scale_;
    int32_t right = dest.right * scale_, bottom = dest.bottom * scale_;
    const int32_t originX = left - source.h * scale_;
    const int32_t originY = top - source.v * scale_;
    deviceClip(left, top, right, bottom);
    // Only the part that the image covers is drawn.
    left = std::max(left, originX);
    top = std::max(top, originY);
    right = std::min(right, originX + image.width);
    bottom = std::min(bottom, originY + image.height);
    if (right <= left || bottom <= top)
        return;
    const uint32_t key = (uint32_t(transparent.red) << 16) | (uint32_t(transparent.green) << 8) | transparent.blue;
    const int32_t stride = deviceWidth();
    for (int32_t y = top; y < bottom; ++y) {
        const uint32_t* src = image.pixels.data() + static_cast<size_t>(y - originY) * static_cast<size_t>(image.width) +
                              static_cast<size_t>(left - originX);
        uint32_t* dst = pixels_.data() + static_cast<size_t>(y) * static_cast<size_t>(stride) + static_cast<size_t>(left);
        const int32_t count = right - left;
        switch (mode) {
        case BlendMode::kCopy:
            for (int32_t i = 0; i < count; ++i)
                dst[i] = src[i] | kOpaque;
            break;
        case BlendMode::kTransparent:
            for (int32_t i = 0; i < count; ++i)
                if ((src[i] & 0xFFFFFFu) != key)
                    dst[i] = src[i] | kOpaque;
            break;
        case BlendMode::kAlpha:
            for (int32_t i = 0; i < count; ++i) {
                const uint32_t a = ((src[i] >> 24) * alpha + 127) / 255;
                dst[i] = blend(dst[i], src[i], a);
            }
            break;
        }
    }
}

SoftwareSurface::Font SoftwareSurface::findFont(int32_t fontId, int32_t face) const
{
    Font font;
    fontId = VSTGUI::validFontId(fontId);
    int32_t wanted = face & (VSTGUI::kBoldFace | VSTGUI::kItalicFace);
    if (VSTGUI::kFontMetrics[fontId].alwaysBold)
        wanted |= VSTGUI::kBoldFace;
    font.underline = (face & VSTGUI::kUnderlineFace) != 0;
    // The face asked for, then without italic, then plain; at the device
    // scale first, then the 1x glyphs made larger.
    const int32_t faces[] = {wanted, wanted & ~VSTGUI::kItalicFace, 0};
    const int32_t scales[] = {scale_, 1};
    for (int32_t atlasScale : scales) {
        if (atlasScale > scale_)
            continue;
        for (int32_t f : faces) {
            const skin::GlyphAtlas* atlas = glyphs_ ? glyphs_->glyphAtlas(fontId, f, atlasScale) : nullptr;
            if (atlas && atlas->glyphs && atlas->coverage && atlas->scale > 0 && scale_ % atlas->scale == 0) {
                font.atlas = atlas;
                font.factor = scale_ / atlas->scale;
                font.ascent = atlas->ascent * font.factor;
                font.descent = atlas->descent * font.factor;
                return font;
            }
        }
    }
    return font;
}

void SoftwareSurface::deviceFontMetrics(int32_t fontId, int32_t face, int32_t& ascent, int32_t& descent)
{
    const Font font = findFont(fontId, face);
    if (font.atlas) {
        ascent = font.ascent;
        descent = font.descent;
    } else {
        // No glyphs: the listed height, split as Arial's metrics do.
        const int32_t height = VSTGUI::kFontMetrics[VSTGUI::validFontId(fontId)].height * scale_;
        ascent = (height * 905 + 1000) / 1117;
        descent = height - ascent;
    }
}

int32_t SoftwareSurface::deviceTextWidth(const char* text, int32_t fontId, int32_t face)
{
    if (!text)
        return 0;
    const Font font = findFont(fontId, face);
    if (!font.atlas)
        return 0;
    int32_t width = 0;
    size_t at = 0;
    while (uint32_t cp = nextCodePoint(text, at))
        if (const skin::Glyph* g = font.glyph(cp))
            width += g->advance * font.factor;
    return width;
}

void SoftwareSurface::caretPositions(const char* text, int32_t fontId, int32_t face, std::vector<int32_t>& x,
                                     std::vector<size_t>& bytes)
{
    x.clear();
    bytes.clear();
    const Font font = findFont(fontId, face);
    int32_t pen = 0;
    size_t at = 0;
    x.push_back(0);
    bytes.push_back(0);
    if (!text)
        return;
    while (uint32_t cp = nextCodePoint(text, at)) {
        if (const skin::Glyph* g = font.glyph(cp))
            pen += g->advance * font.factor;
        x.push_back(pen);
        bytes.push_back(at);
    }
}

int32_t SoftwareSurface::textWidth(const char* text, int32_t fontId, int32_t face)
{
    const int32_t device = deviceTextWidth(text, fontId, face);
    return (device + scale_ - 1) / scale_;
}

int32_t SoftwareSurface::drawTextAt(const char* text, int32_t x, int32_t baseline, int32_t fontId, int32_t face,
                                    CColor color, int32_t clipLeft, int32_t clipTop, int32_t clipRight,
                                    int32_t clipBottom)
{
    if (!text)
        return 0;
    const Font font = findFont(fontId, face);
    if (!font.atlas)
        return 0;
    deviceClip(clipLeft, clipTop, clipRight, clipBottom);
    const uint32_t value = pack(color);
    const int32_t stride = deviceWidth();
    const skin::GlyphAtlas& atlas = *font.atlas;
    const int32_t k = font.factor;
    int32_t pen = x;
    size_t at = 0;
    while (uint32_t cp = nextCodePoint(text, at)) {
        const skin::Glyph* g = font.glyph(cp);
        if (!g)
            continue;
        if (g->width > 0 && g->height > 0 && clipRight > clipLeft && clipBottom > clipTop) {
            const int32_t gx = pen + g->left * k;
            const int32_t gy = baseline - g->top * k;
            const int32_t x0 = std::max(clipLeft, gx), x1 = std::min(clipRight, gx + g->width * k);
            const int32_t y0 = std::max(clipTop, gy), y1 = std::min(clipBottom, gy + g->height * k);
            for (int32_t y = y0; y < y1; ++y) {
                const int32_t ay = g->y + (y - gy) / k;
                if (ay < 0 || ay >= atlas.atlasHeight)
                    continue;
                const uint8_t* coverage = atlas.coverage + static_cast<size_t>(ay) * static_cast<size_t>(atlas.atlasWidth);
                uint32_t* dst = pixels_.data() + static_cast<size_t>(y) * static_cast<size_t>(stride);
                for (int32_t px = x0; px < x1; ++px) {
                    const int32_t ax = g->x + (px - gx) / k;
                    if (ax < 0 || ax >= atlas.atlasWidth)
                        continue;
                    dst[px] = blend(dst[px], value, coverage[ax]);
                }
            }
        }
        pen += g->advance * k;
    }
    if (font.underline && pen > x) {
        // One 1x pixel below the baseline, one 1x pixel thick.
        const int32_t y0 = std::max(clipTop, baseline + scale_);
        const int32_t y1 = std::min(clipBottom, baseline + 2 * scale_);
        const int32_t x0 = std::max(clipLeft, x), x1 = std::min(clipRight, pen);
        for (int32_t y = y0; y < y1; ++y)
            for (int32_t px = x0; px < x1; ++px)
                pixels_[static_cast<size_t>(y) * static_cast<size_t>(stride) + static_cast<size_t>(px)] = value;
    }
    return pen - x;
}

void SoftwareSurface::drawText(const char* text, const CRect& rect, int32_t fontId, int32_t face, CColor color,
                               int32_t align)
{
    if (!text || !*text || rect.isEmpty())
        return;
    int32_t ascent = 0, descent = 0;
    deviceFontMetrics(fontId, face, ascent, descent);
    const int32_t left = rect.left * scale_, top = rect.top * scale_;
    const int32_t right = rect.right * scale_, bottom = rect.bottom * scale_;
    const int32_t width = deviceTextWidth(text, fontId, face);
    int32_t x = left;
    if (align == VSTGUI::kCenterText)
        x = left + floorDiv(right - left - width, 2);
    else if (align == VSTGUI::kRightText)
        x = right - width;
    // Vertically centred as a whole line (ascent + descent), as the Windows
    // text routines centre a single line.
    const int32_t baseline = top + floorDiv(bottom - top - (ascent + descent), 2) + ascent;
    drawTextAt(text, x, baseline, fontId, face, color, left, top, right, bottom);
}

bool SoftwareSurface::readPixels(std::vector<uint32_t>& pixels, int32_t& deviceWidth_, int32_t& deviceHeight_)
{
    pixels = pixels_;
    deviceWidth_ = deviceWidth();
    deviceHeight_ = deviceHeight();
    return true;
}

void SoftwareSurface::copyTo(VSTGUI::PlatformSurface& target, const CRect& dest, CPoint source)
{
    auto* soft = dynamic_cast<SoftwareSurface*>(&target);
    if (!soft || dest.isEmpty())
        return;
    const int32_t ts = soft->scale_;
    int32_t left = dest.left * ts, top = dest.top * ts, right = dest.right * ts, bottom = dest.bottom * ts;
    soft->deviceClip(left, top, right, bottom);
    if (right <= left || bottom <= top)
        return;
    const int32_t tStride = soft->deviceWidth();
    const int32_t sw = deviceWidth(), sh = deviceHeight();
    // Target device pixel -> source device pixel, through 1x coordinates
    // when the two scales differ.
    const bool self = soft == this;
    std::vector<uint32_t> copy;
    const uint32_t* from = pixels_.data();
    if (self) {
        copy = pixels_;
        from = copy.data();
    }
    for (int32_t y = top; y < bottom; ++y) {
        const int32_t sy = (source.v * ts + (y - dest.top * ts)) * scale_ / ts;
        if (sy < 0 || sy >= sh)
            continue;
        uint32_t* dst = soft->pixels_.data() + static_cast<size_t>(y) * static_cast<size_t>(tStride);
        const uint32_t* src = from + static_cast<size_t>(sy) * static_cast<size_t>(sw);
        for (int32_t x = left; x < right; ++x) {
            const int32_t sx = (source.h * ts + (x - dest.left * ts)) * scale_ / ts;
            if (sx >= 0 && sx < sw)
                dst[x] = src[sx];
        }
    }
}

} // namespace softraster
