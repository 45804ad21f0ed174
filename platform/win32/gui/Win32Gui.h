// The Win32 window-system layer of the editor toolkit: what its parts share.
// GDI surfaces (32-bit DIB sections) for the back buffer and off-screen
// drawing, skin bitmaps from the plug-in's own resources, the frame's
// child window, the native text field and the pop-up menu.
#pragma once

#include "gui/Platform.h"

#include <windows.h>

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace VSTGUI::win32 {

// The module this code is linked into (the plug-in DLL, not the host's exe).
HMODULE moduleHandle();

// UTF-8 to UTF-16; a byte that does not start a valid UTF-8 sequence counts
// as a Latin-1 character.
std::wstring widen(const std::string& text);
std::wstring widen(const char* text);
std::string narrow(const wchar_t* text, int length = -1);

inline COLORREF colorRef(CColor c) { return RGB(c.red, c.green, c.blue); }

// Device scale for a window: AMBREL_UI_SCALE=1|2 first, else 2 when the
// window's DPI (GetDpiForWindow, or GetDpiForSystem without a window; both
// looked up at run time) is 144 or more, else 1.
int32_t scaleForWindow(HWND window);

// A font of the toolkit's font ids (gui/Geometry.h) at a device scale:
// Arial or Symbol, the listed height as the em size in device pixels.
HFONT createToolkitFont(int32_t fontId, int32_t face, int32_t scale, int32_t weight = 0);

// The two drawing functions of msimg32, looked up while a surface holds the
// library. Tests can turn them off to check the raster fallbacks.
using AlphaBlendFunction = BOOL(WINAPI*)(HDC, int, int, int, int, HDC, int, int, int, int, BLENDFUNCTION);
using TransparentBltFunction = BOOL(WINAPI*)(HDC, int, int, int, int, HDC, int, int, int, int, UINT);
void useRasterFallbacksForTesting(bool state);

// A skin bitmap as 32-bit top-down DIB sections: the 1x art from the
// module's BITMAP resource and, when the module has it, the 2x art: a
// BITMAP resource under id + 20000, else the image in the module's pack of
// compressed 2x art (resources/Skin.h). The 2x art is made when first asked
// for at scale 2 (decoding the whole skin's takes some tens of
// milliseconds), so an editor at scale 1 never spends time or memory on it;
// 2x art that is missing, damaged or not exactly twice the 1x size leaves
// the 1x art to be drawn stretched. Opaque art keeps GDI's 0x00RRGGBB
// pixels (what TransparentBlt and the mask blits compare); art with an
// alpha channel is stored premultiplied for AlphaBlend.
class GdiBitmap final : public PlatformBitmap {
public:
    // Null when the module has no such BITMAP resource. The module must stay
    // loaded while the bitmap may still be drawn at scale 2.
    static std::shared_ptr<GdiBitmap> load(HMODULE module, int32_t resourceId);
    ~GdiBitmap() override;

    int32_t width() const override { return width_; }
    int32_t height() const override { return height_; }

    struct Art {
        HBITMAP bitmap = nullptr;
        const uint32_t* bits = nullptr;
        int32_t scale = 1; // device pixels of the art per 1x pixel
    };
    // The art to draw at a device scale: the 2x art when there is one for
    // scale 2, else the 1x art (stretched by the caller). Safe from any thread.
    Art artFor(int32_t scale) const;
    bool hasAlpha() const { return hasAlpha_; }
    // Held while the art is selected into a DC to be drawn: a bitmap is
    // selected into one DC at a time, and editors on two threads may draw
    // the same shared bitmap at once.
    std::mutex& drawing() const { return drawing_; }

private:
    GdiBitmap() = default;
    void loadDoubleSize() const;

    HMODULE module_ = nullptr;
    int32_t resourceId_ = 0;
    int32_t width_ = 0;
    int32_t height_ = 0;
    Art art1x_;
    bool hasAlpha_ = false;
    mutable std::once_flag doubleSizeLoaded_;
    mutable Art art2x_;
    mutable std::mutex drawing_;
};

// A drawing surface over a 32-bit DIB section selected into a memory DC.
class GdiSurface final : public PlatformOffscreen {
public:
    // Null when the DIB section cannot be made.
    static std::unique_ptr<GdiSurface> create(int32_t width, int32_t height, int32_t scale);
    ~GdiSurface() override;

    int32_t width() const override { return width_; }
    int32_t height() const override { return height_; }
    int32_t scale() const override { return scale_; }
    void setClip(const CRect& clip) override;
    CRect getClip() const override { return clip_; }
    void fillRect(const CRect& rect, CColor color) override;
    void frameRect(const CRect& rect, CColor color) override;
    void drawLine(CPoint from, CPoint to, CColor color) override;
    void drawBitmap(const PlatformBitmap& bitmap, const CRect& dest, CPoint source, BlendMode mode,
                    CColor transparent, uint8_t alpha) override;
    void drawText(const char* text, const CRect& rect, int32_t fontId, int32_t face, CColor color,
                  int32_t align) override;
    int32_t textWidth(const char* text, int32_t fontId, int32_t face) override;
    bool readPixels(std::vector<uint32_t>& pixels, int32_t& deviceWidth, int32_t& deviceHeight) override;
    void copyTo(PlatformSurface& target, const CRect& dest, CPoint source) override;

    HDC dc() const { return dc_; }
    // Copies a rectangle of 1x pixels to another DC at the same device scale.
    void blitTo(HDC target, const CRect& area) const;

private:
    GdiSurface() = default;
    HFONT font(int32_t fontId, int32_t face);
    // Sets pixels of a 1x rectangle, already inside the clip.
    void fillDevice(const CRect& rect, uint32_t pixel);

    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t scale_ = 1;
    int32_t deviceWidth_ = 0;
    int32_t deviceHeight_ = 0;
    HDC dc_ = nullptr;
    HBITMAP dib_ = nullptr;
    HGDIOBJ oldBitmap_ = nullptr;
    HGDIOBJ oldFont_ = nullptr;
    uint32_t* bits_ = nullptr;
    CRect clip_;
    HMODULE msimg32_ = nullptr;
    AlphaBlendFunction alphaBlend_ = nullptr;
    TransparentBltFunction transparentBlt_ = nullptr;
    std::array<HFONT, kNumFonts * 8> fonts_{};
};

// The frame's child window of the host's window.
std::unique_ptr<PlatformWindow> createFrameWindow(const WindowSpec& desc, PlatformWindowListener* listener);

// Menu entries drawn by the owner-drawn menus so far (tests).
int32_t menuItemsDrawnForTesting();

// Frames open in this process (the window class lives while there are any).
int32_t openFrameCount();
// The registered class name: "Plugin" and the module handle in hex.
std::wstring frameClassName();

} // namespace VSTGUI::win32
