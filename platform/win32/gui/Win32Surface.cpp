// GDI drawing: 32-bit DIB sections as surfaces, skin bitmaps from the
// module's resources, the toolkit's fonts, and text conversion.
//
// Fills and lines are written straight into the DIB at the device scale, so
// a 1x pixel is exactly a 2 x 2 block at scale 2. Bitmaps go through GDI:
// BitBlt/StretchBlt, msimg32's TransparentBlt and AlphaBlend where present,
// a monochrome mask and raster operations otherwise. Text is GDI's.
#include "Win32Gui.h"

#include "gui/Utf8.h"
#include "resources/Skin.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace VSTGUI::win32 {

namespace {

std::atomic<bool> rasterFallbacksOnly{false};

// A memory DC with a bitmap selected, released in reverse order.
class SelectedBitmap {
public:
    SelectedBitmap(HDC compatible, HBITMAP bitmap) : dc_(CreateCompatibleDC(compatible))
    {
        if (dc_)
            old_ = SelectObject(dc_, bitmap);
    }
    ~SelectedBitmap()
    {
        if (dc_) {
            SelectObject(dc_, old_);
            DeleteDC(dc_);
        }
    }
    SelectedBitmap(const SelectedBitmap&) = delete;
    SelectedBitmap& operator=(const SelectedBitmap&) = delete;
    HDC dc() const { return dc_; }

private:
    HDC dc_;
    HGDIOBJ old_ = nullptr;
};

HBITMAP createDib(int32_t width, int32_t height, uint32_t** bits)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // rows from the top
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* memory = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &memory, nullptr, 0);
    *bits = static_cast<uint32_t*>(memory);
    return memory ? dib : (dib ? (DeleteObject(dib), nullptr) : nullptr);
}

uint32_t gdiPixel(CColor c) { return (uint32_t(c.red) << 16) | (uint32_t(c.green) << 8) | c.blue; }

// One pixel of premultiplied source (alpha `sa`) over `dst`, both 0x..RRGGBB.
uint32_t blendOver(uint32_t src, uint32_t sa, uint32_t dst)
{
    const uint32_t keep = 255 - sa;
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const uint32_t s = (src >> shift) & 0xFF;
        const uint32_t d = (dst >> shift) & 0xFF;
        out |= std::min<uint32_t>(255, s + (d * keep + 127) / 255) << shift;
    }
    return out;
}

} // namespace

HMODULE moduleHandle() { return reinterpret_cast<HMODULE>(&__ImageBase); }

std::wstring widen(const char* text) { return text ? widen(std::string(text)) : std::wstring(); }

std::wstring widen(const std::string& text)
{
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        uint32_t cp = nextUtf8(text.data(), text.size(), i);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<wchar_t>(cp));
        }
    }
    return out;
}

std::string narrow(const wchar_t* text, int length)
{
    if (!text)
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return {};
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
    if (length < 0 && !out.empty() && out.back() == '\0')
        out.pop_back();
    return out;
}

HFONT createToolkitFont(int32_t fontId, int32_t face, int32_t scale, int32_t weight)
{
    const int32_t id = validFontId(fontId);
    const FontMetric& metric = kFontMetrics[id];
    const bool symbol = id == kSymbolFont;
    LOGFONTW font{};
    font.lfHeight = -metric.height * std::max(scale, 1); // em size, not cell height
    font.lfWeight = weight > 0 ? weight : ((face & kBoldFace) || metric.alwaysBold) ? FW_BOLD : FW_NORMAL;
    font.lfItalic = (face & kItalicFace) ? TRUE : FALSE;
    font.lfUnderline = (face & kUnderlineFace) ? TRUE : FALSE;
    font.lfCharSet = symbol ? SYMBOL_CHARSET : DEFAULT_CHARSET;
    font.lfOutPrecision = OUT_TT_PRECIS;
    font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    font.lfQuality = ANTIALIASED_QUALITY;
    font.lfPitchAndFamily = symbol ? (DEFAULT_PITCH | FF_DONTCARE) : (VARIABLE_PITCH | FF_SWISS);
    std::wcscpy(font.lfFaceName, symbol ? L"Symbol" : L"Arial");
    return CreateFontIndirectW(&font);
}

void useRasterFallbacksForTesting(bool state) { rasterFallbacksOnly.store(state, std::memory_order_relaxed); }

// --- GdiBitmap -----------------------------------------------------------------

namespace {

// The resource as a 32-bit top-down DIB section; `hasAlpha` when it came
// with an alpha channel, which is then premultiplied.
bool convertArt(HBITMAP loaded, GdiBitmap::Art& art, int32_t& width, int32_t& height, bool& hasAlpha)
{
    BITMAP info{};
    if (!GetObjectW(loaded, sizeof(info), &info) || info.bmWidth <= 0 || info.bmHeight == 0)
        return false;
    width = info.bmWidth;
    height = info.bmHeight < 0 ? -info.bmHeight : info.bmHeight;
    uint32_t* bits = nullptr;
    HBITMAP dib = createDib(width, height, &bits);
    if (!dib)
        return false;
    BITMAPINFO request{};
    request.bmiHeader.biSize = sizeof(request.bmiHeader);
    request.bmiHeader.biWidth = width;
    request.bmiHeader.biHeight = -height;
    request.bmiHeader.biPlanes = 1;
    request.bmiHeader.biBitCount = 32;
    request.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, loaded, 0, static_cast<UINT>(height), bits, &request, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (rows != height) {
        DeleteObject(dib);
        return false;
    }
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    hasAlpha = false;
    if (info.bmBitsPixel == 32)
        for (size_t i = 0; i < count && !hasAlpha; ++i)
            hasAlpha = (bits[i] >> 24) != 0;
    for (size_t i = 0; i < count; ++i) {
        if (!hasAlpha) {
            bits[i] &= 0xFFFFFF;
            continue;
        }
        const uint32_t a = bits[i] >> 24;
        uint32_t p = a << 24;
        for (int shift = 0; shift <= 16; shift += 8)
            p |= ((((bits[i] >> shift) & 0xFF) * a + 127) / 255) << shift;
        bits[i] = p;
    }
    art.bitmap = dib;
    art.bits = bits;
    return true;
}

// A BITMAP resource as a 32-bit top-down DIB section; false when the module
// has none of that id or it cannot be read.
bool loadBitmapResource(HMODULE module, int32_t id, GdiBitmap::Art& art, int32_t& width, int32_t& height,
                        bool& alpha)
{
    if (id <= 0 || id > 0xFFFF)
        return false;
    HANDLE loaded = LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
    if (!loaded)
        return false;
    const bool ok = convertArt(static_cast<HBITMAP>(loaded), art, width, height, alpha);
    DeleteObject(loaded);
    return ok;
}

// Image `id` at scale 2 from the module's pack, decoded straight into a DIB
// section (opaque art: 0x00RRGGBB); false when the module has no pack, the
// pack no such image, or its data is damaged.
bool loadPackedArt(HMODULE module, int32_t id, GdiBitmap::Art& art, int32_t& width, int32_t& height)
{
    HRSRC found = FindResourceW(module, widen(skin::kDoubleSizePackName).c_str(), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (!found)
        return false;
    const DWORD size = SizeofResource(module, found);
    HGLOBAL resource = LoadResource(module, found);
    const void* data = resource ? LockResource(resource) : nullptr;
    if (!data || size == 0 || !skin::packedImageSize(data, size, id, 2, width, height))
        return false;
    uint32_t* bits = nullptr;
    HBITMAP dib = createDib(width, height, &bits);
    if (!dib)
        return false;
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    if (!skin::decodePackedImage(data, size, id, 2, bits, count, 0)) {
        DeleteObject(dib);
        return false;
    }
    art.bitmap = dib;
    art.bits = bits;
    return true;
}

} // namespace

std::shared_ptr<GdiBitmap> GdiBitmap::load(HMODULE module, int32_t resourceId)
{
    if (resourceId <= 0 || resourceId > 0xFFFF)
        return nullptr;
    std::shared_ptr<GdiBitmap> bitmap(new GdiBitmap());
    if (!loadBitmapResource(module, resourceId, bitmap->art1x_, bitmap->width_, bitmap->height_, bitmap->hasAlpha_))
        return nullptr;
    bitmap->art1x_.scale = 1;
    bitmap->module_ = module;
    bitmap->resourceId_ = resourceId;
    return bitmap;
}

void GdiBitmap::loadDoubleSize() const
{
    const int32_t id = resourceId_ + skin::kDoubleSizeIdOffset;
    Art art;
    int32_t width = 0, height = 0;
    bool alpha = false;
    bool loaded = loadBitmapResource(module_, id, art, width, height, alpha);
    if (!loaded) {
        try {
            loaded = loadPackedArt(module_, resourceId_, art, width, height);
        } catch (const std::bad_alloc&) {
            loaded = false;
        }
    }
    if (!loaded)
        return;
    // The 2x art counts only when it is exactly twice the size and of the
    // same kind; anything else is drawn from the 1x art, stretched.
    if (width == 2 * width_ && height == 2 * height_ && alpha == hasAlpha_) {
        art.scale = 2;
        art2x_ = art;
    } else {
        DeleteObject(art.bitmap);
    }
}

GdiBitmap::~GdiBitmap()
{
    if (art1x_.bitmap)
        DeleteObject(art1x_.bitmap);
    if (art2x_.bitmap)
        DeleteObject(art2x_.bitmap);
}

GdiBitmap::Art GdiBitmap::artFor(int32_t scale) const
{
    if (scale < 2)
        return art1x_;
    std::call_once(doubleSizeLoaded_, [this] { loadDoubleSize(); });
    return art2x_.bitmap ? art2x_ : art1x_;
}

// --- GdiSurface ------------------------------------------------------------------

std::unique_ptr<GdiSurface> GdiSurface::create(int32_t width, int32_t height, int32_t scale)
{
    if (width < 0 || height < 0 || width > 16384 || height > 16384)
        return nullptr;
    std::unique_ptr<GdiSurface> surface(new GdiSurface());
    surface->width_ = width;
    surface->height_ = height;
    surface->scale_ = scale >= 2 ? 2 : 1;
    // An empty surface still gets one device pixel, so every call has a DC.
    surface->deviceWidth_ = std::max(1, width * surface->scale_);
    surface->deviceHeight_ = std::max(1, height * surface->scale_);
    surface->dc_ = CreateCompatibleDC(nullptr);
    if (!surface->dc_)
        return nullptr;
    surface->dib_ = createDib(surface->deviceWidth_, surface->deviceHeight_, &surface->bits_);
    if (!surface->dib_)
        return nullptr;
    surface->oldBitmap_ = SelectObject(surface->dc_, surface->dib_);
    SetBkMode(surface->dc_, TRANSPARENT);
    SetStretchBltMode(surface->dc_, COLORONCOLOR);
    surface->clip_ = CRect(0, 0, width, height);
    surface->msimg32_ = LoadLibraryW(L"msimg32.dll");
    if (surface->msimg32_) {
        surface->alphaBlend_ = reinterpret_cast<AlphaBlendFunction>(
            reinterpret_cast<void*>(GetProcAddress(surface->msimg32_, "AlphaBlend")));
        surface->transparentBlt_ = reinterpret_cast<TransparentBltFunction>(
            reinterpret_cast<void*>(GetProcAddress(surface->msimg32_, "TransparentBlt")));
    }
    return surface;
}

GdiSurface::~GdiSurface()
{
    if (dc_) {
        SelectClipRgn(dc_, nullptr);
        if (oldFont_)
            SelectObject(dc_, oldFont_);
        if (oldBitmap_)
            SelectObject(dc_, oldBitmap_);
        DeleteDC(dc_);
    }
    for (HFONT font : fonts_)
        if (font)
            DeleteObject(font);
    if (dib_)
        DeleteObject(dib_);
    if (msimg32_)
        FreeLibrary(msimg32_);
}

HFONT GdiSurface::font(int32_t fontId, int32_t face)
{
    const int32_t id = validFontId(fontId);
    if (kFontMetrics[id].alwaysBold)
        face |= kBoldFace;
    HFONT& slot = fonts_[static_cast<size_t>(id * 8 + (face & 7))];
    if (!slot)
        slot = createToolkitFont(id, face & 7, scale_);
    return slot;
}

void GdiSurface::setClip(const CRect& clip)
{
    CRect r = clip;
    r.bound(CRect(0, 0, width_, height_));
    clip_ = r;
    HRGN region = CreateRectRgn(r.left * scale_, r.top * scale_, r.right * scale_, r.bottom * scale_);
    SelectClipRgn(dc_, region);
    DeleteObject(region);
}

void GdiSurface::fillDevice(const CRect& rect, uint32_t pixel)
{
    for (int32_t y = rect.top * scale_; y < rect.bottom * scale_; ++y) {
        uint32_t* row = bits_ + static_cast<size_t>(y) * static_cast<size_t>(deviceWidth_);
        std::fill(row + rect.left * scale_, row + rect.right * scale_, pixel);
    }
}

void GdiSurface::fillRect(const CRect& rect, CColor color)
{
    CRect r = rect;
    r.bound(clip_);
    if (r.isEmpty())
        return;
    GdiFlush();
    fillDevice(r, gdiPixel(color));
}

void GdiSurface::frameRect(const CRect& rect, CColor color)
{
    if (rect.isEmpty())
        return;
    fillRect(CRect(rect.left, rect.top, rect.right, rect.top + 1), color);
    fillRect(CRect(rect.left, rect.bottom - 1, rect.right, rect.bottom), color);
    fillRect(CRect(rect.left, rect.top, rect.left + 1, rect.bottom), color);
    fillRect(CRect(rect.right - 1, rect.top, rect.right, rect.bottom), color);
}

void GdiSurface::drawLine(CPoint from, CPoint to, CColor color)
{
    GdiFlush();
    const uint32_t pixel = gdiPixel(color);
    int32_t x = from.h, y = from.v;
    const int32_t dx = std::abs(to.h - from.h), dy = -std::abs(to.v - from.v);
    const int32_t sx = from.h < to.h ? 1 : -1, sy = from.v < to.v ? 1 : -1;
    int32_t error = dx + dy;
    for (;;) {
        if (clip_.pointInside(CPoint(x, y)))
            fillDevice(CRect(x, y, x + 1, y + 1), pixel);
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

void GdiSurface::drawBitmap(const PlatformBitmap& bitmap, const CRect& dest, CPoint source, BlendMode mode,
                            CColor transparent, uint8_t alpha)
{
    const auto* image = dynamic_cast<const GdiBitmap*>(&bitmap);
    if (!image || dest.isEmpty())
        return;
    // Only the part of `dest` that the image covers, inside the clip.
    CRect d = dest;
    int32_t sx = source.h, sy = source.v;
    if (sx < 0) {
        d.left -= sx;
        sx = 0;
    }
    if (sy < 0) {
        d.top -= sy;
        sy = 0;
    }
    d.right = std::min(d.right, d.left + image->width() - sx);
    d.bottom = std::min(d.bottom, d.top + image->height() - sy);
    CRect visible = d;
    visible.bound(clip_);
    if (visible.isEmpty())
        return;
    sx += visible.left - d.left;
    sy += visible.top - d.top;
    d = visible;

    const GdiBitmap::Art art = image->artFor(scale_);
    const int32_t k = art.scale;
    const int dx = d.left * scale_, dy = d.top * scale_, dw = d.width() * scale_, dh = d.height() * scale_;
    const int ax = sx * k, ay = sy * k, aw = d.width() * k, ah = d.height() * k;
    const bool raster = rasterFallbacksOnly.load(std::memory_order_relaxed);
    std::lock_guard<std::mutex> drawing(image->drawing());
    SelectedBitmap src(dc_, art.bitmap);
    if (!src.dc())
        return;

    switch (mode) {
    case BlendMode::kCopy:
        if (aw == dw && ah == dh)
            BitBlt(dc_, dx, dy, dw, dh, src.dc(), ax, ay, SRCCOPY);
        else
            StretchBlt(dc_, dx, dy, dw, dh, src.dc(), ax, ay, aw, ah, SRCCOPY);
        break;

    case BlendMode::kTransparent: {
        const COLORREF key = colorRef(transparent);
        if (transparentBlt_ && !raster) {
            transparentBlt_(dc_, dx, dy, dw, dh, src.dc(), ax, ay, aw, ah, key);
            break;
        }
        // A monochrome mask, 1 where the art has the key colour; then
        // dest ^= art, dest &= mask, dest ^= art: the key pixels come back
        // as they were, the others become the art.
        HBITMAP maskBitmap = CreateBitmap(aw, ah, 1, 1, nullptr);
        if (!maskBitmap)
            break;
        {
            SelectedBitmap mask(dc_, maskBitmap);
            if (mask.dc()) {
                const COLORREF oldSourceBack = SetBkColor(src.dc(), key);
                BitBlt(mask.dc(), 0, 0, aw, ah, src.dc(), ax, ay, SRCCOPY);
                SetBkColor(src.dc(), oldSourceBack);
                const COLORREF oldBack = SetBkColor(dc_, RGB(255, 255, 255));
                const COLORREF oldText = SetTextColor(dc_, RGB(0, 0, 0));
                StretchBlt(dc_, dx, dy, dw, dh, src.dc(), ax, ay, aw, ah, SRCINVERT);
                StretchBlt(dc_, dx, dy, dw, dh, mask.dc(), 0, 0, aw, ah, SRCAND);
                StretchBlt(dc_, dx, dy, dw, dh, src.dc(), ax, ay, aw, ah, SRCINVERT);
                SetTextColor(dc_, oldText);
                SetBkColor(dc_, oldBack);
            }
        }
        DeleteObject(maskBitmap);
        break;
    }

    case BlendMode::kAlpha: {
        if (alphaBlend_ && !raster) {
            BLENDFUNCTION blend{AC_SRC_OVER, 0, alpha, static_cast<BYTE>(image->hasAlpha() ? AC_SRC_ALPHA : 0)};
            alphaBlend_(dc_, dx, dy, dw, dh, src.dc(), ax, ay, aw, ah, blend);
            break;
        }
        // Without msimg32: the same blend on the two DIBs' pixels.
        GdiFlush();
        const uint32_t* artBits = art.bits;
        const int32_t artWidth = image->width() * k;
        for (int y = 0; y < dh; ++y) {
            uint32_t* row = bits_ + static_cast<size_t>(dy + y) * static_cast<size_t>(deviceWidth_) + dx;
            const uint32_t* from = artBits + static_cast<size_t>(ay + y * k / scale_) * static_cast<size_t>(artWidth);
            for (int x = 0; x < dw; ++x) {
                const uint32_t p = from[ax + x * k / scale_];
                const uint32_t pa = image->hasAlpha() ? (p >> 24) : 255;
                // The constant alpha scales every channel of the source.
                uint32_t scaled = 0;
                for (int shift = 0; shift <= 16; shift += 8)
                    scaled |= ((((p >> shift) & 0xFF) * alpha + 127) / 255) << shift;
                row[x] = blendOver(scaled, (pa * alpha + 127) / 255, row[x]) & 0xFFFFFF;
            }
        }
        break;
    }
    }
}

void GdiSurface::drawText(const char* text, const CRect& rect, int32_t fontId, int32_t face, CColor color,
                          int32_t align)
{
    if (!text || !*text || rect.isEmpty())
        return;
    const std::wstring wide = widen(text);
    HGDIOBJ old = SelectObject(dc_, font(fontId, face));
    if (!oldFont_)
        oldFont_ = old;
    SetTextColor(dc_, colorRef(color));
    RECT box{rect.left * scale_, rect.top * scale_, rect.right * scale_, rect.bottom * scale_};
    UINT format = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;
    format |= align == kCenterText ? DT_CENTER : align == kRightText ? DT_RIGHT : DT_LEFT;
    DrawTextW(dc_, wide.c_str(), static_cast<int>(wide.size()), &box, format);
}

int32_t GdiSurface::textWidth(const char* text, int32_t fontId, int32_t face)
{
    if (!text || !*text)
        return 0;
    const std::wstring wide = widen(text);
    HGDIOBJ old = SelectObject(dc_, font(fontId, face));
    if (!oldFont_)
        oldFont_ = old;
    SIZE size{};
    GetTextExtentPoint32W(dc_, wide.c_str(), static_cast<int>(wide.size()), &size);
    return (size.cx + scale_ - 1) / scale_;
}

bool GdiSurface::readPixels(std::vector<uint32_t>& pixels, int32_t& deviceWidth, int32_t& deviceHeight)
{
    GdiFlush();
    deviceWidth = width_ * scale_;
    deviceHeight = height_ * scale_;
    pixels.resize(static_cast<size_t>(deviceWidth) * static_cast<size_t>(deviceHeight));
    for (int32_t y = 0; y < deviceHeight; ++y) {
        const uint32_t* row = bits_ + static_cast<size_t>(y) * static_cast<size_t>(deviceWidth_);
        for (int32_t x = 0; x < deviceWidth; ++x)
            pixels[static_cast<size_t>(y) * static_cast<size_t>(deviceWidth) + x] = 0xFF000000u | (row[x] & 0xFFFFFF);
    }
    return true;
}

void GdiSurface::copyTo(PlatformSurface& target, const CRect& dest, CPoint source)
{
    auto* to = dynamic_cast<GdiSurface*>(&target);
    if (!to || dest.isEmpty())
        return;
    const int32_t ts = to->scale_;
    if (ts == scale_)
        BitBlt(to->dc_, dest.left * ts, dest.top * ts, dest.width() * ts, dest.height() * ts, dc_,
               source.h * scale_, source.v * scale_, SRCCOPY);
    else
        StretchBlt(to->dc_, dest.left * ts, dest.top * ts, dest.width() * ts, dest.height() * ts, dc_,
                   source.h * scale_, source.v * scale_, dest.width() * scale_, dest.height() * scale_, SRCCOPY);
}

void GdiSurface::blitTo(HDC target, const CRect& area) const
{
    CRect r = area;
    r.bound(CRect(0, 0, width_, height_));
    if (r.isEmpty())
        return;
    BitBlt(target, r.left * scale_, r.top * scale_, r.width() * scale_, r.height() * scale_, dc_, r.left * scale_,
           r.top * scale_, SRCCOPY);
}

} // namespace VSTGUI::win32
