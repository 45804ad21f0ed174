// Everything the toolkit needs from a window system, behind one narrow
// interface. gui/ talks only to these classes; each platform layer under
// platform/<name>/gui/ implements them, and the tests run the toolkit on a
// scripted implementation with a fake mouse and clock.
//
// Units: every coordinate and size here is in the editor's own pixels (1x),
// relative to the top-left corner of the editor window or surface. A platform
// may draw at a device scale of 1 or 2; it multiplies coordinates itself and
// uses the 2x art for bitmaps and text, and maps the mouse back to 1x pixels.
//
// Threads: all of it is used on the window's (host's user-interface) thread.
#pragma once

#include "gui/Geometry.h"
#include "host/vst2abi.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace VSTGUI {

// An image loaded from the program's skin. Its size is in 1x pixels whatever
// the device scale; a bitmap that could not be loaded is never handed out
// (loadBitmap answers null and the toolkit treats that as 0 x 0).
class PlatformBitmap {
public:
    virtual ~PlatformBitmap() = default;
    virtual int32_t width() const = 0;
    virtual int32_t height() const = 0;
};

enum class BlendMode {
    kCopy,        // plain copy of the source rectangle
    kTransparent, // pixels of the transparent colour are left out
    kAlpha,       // the image's alpha, times a constant alpha, over the target
};

// A drawing target: a window's back buffer or an off-screen surface.
// Coordinates are surface coordinates in 1x pixels. Every operation is
// limited to the clip rectangle (the whole surface after creation).
class PlatformSurface {
public:
    virtual ~PlatformSurface() = default;

    virtual int32_t width() const = 0;  // 1x pixels
    virtual int32_t height() const = 0; // 1x pixels
    virtual int32_t scale() const = 0;  // device pixels per 1x pixel: 1 or 2

    virtual void setClip(const CRect& clip) = 0;
    virtual CRect getClip() const = 0;

    virtual void fillRect(const CRect& rect, CColor color) = 0;
    // A one-pixel outline just inside the rectangle.
    virtual void frameRect(const CRect& rect, CColor color) = 0;
    // A one-pixel line from `from` to `to`, both ends included.
    virtual void drawLine(CPoint from, CPoint to, CColor color) = 0;

    // Draws the bitmap's rectangle that starts at `source` and has the size
    // of `dest` into `dest`. `transparent` is used by kTransparent, `alpha`
    // (0-255) by kAlpha.
    virtual void drawBitmap(const PlatformBitmap& bitmap, const CRect& dest, CPoint source, BlendMode mode,
                            CColor transparent = kTransparentCColor, uint8_t alpha = 255) = 0;

    // Draws one line of UTF-8 text (bytes that are not valid UTF-8 count as
    // Latin-1) in font id 0-7 (others as 0) with face flags (CTxtFace),
    // vertically centred in `rect`, aligned horizontally by `align`
    // (CHoriTxtAlign), clipped to `rect` and the clip rectangle.
    virtual void drawText(const char* text, const CRect& rect, int32_t fontId, int32_t face, CColor color,
                          int32_t align) = 0;
    // Width in 1x pixels that drawText would take for the text.
    virtual int32_t textWidth(const char* text, int32_t fontId, int32_t face) = 0;

    // The surface's pixels at device resolution, row by row from the top,
    // as 0xFFRRGGBB. Used for screenshots and tests.
    virtual bool readPixels(std::vector<uint32_t>& pixels, int32_t& deviceWidth, int32_t& deviceHeight) = 0;
};

// An off-screen surface that can be copied into another surface.
class PlatformOffscreen : public PlatformSurface {
public:
    // Copies the area of this surface starting at `source`, of the size of
    // `dest`, into `dest` of the target.
    virtual void copyTo(PlatformSurface& target, const CRect& dest, CPoint source) = 0;
};

// Appearance and limits of a native single-line text field.
struct TextFieldSpec {
    CRect rect;                // in window coordinates
    std::string text;          // initial text, all of it selected
    int32_t fontId = kNormalFont;
    int32_t face = kNormalFace;
    int32_t weight = 600;      // font weight (400 normal, 700 bold)
    CColor textColor = kBlackCColor;
    CColor backColor = kWhiteCColor;
    int32_t align = kLeftText; // CHoriTxtAlign
    int32_t margin = 3;        // pixels between the edges and the text
    size_t maxLength = 255;    // characters
};

class PlatformTextFieldListener {
public:
    virtual ~PlatformTextFieldListener() = default;
    // The field closed itself: commit true for Return or lost keyboard focus,
    // false for Escape. The owner reads the text and destroys the field.
    virtual void textFieldClosed(bool commit) = 0;
};

class PlatformTextField {
public:
    virtual ~PlatformTextField() = default; // closes the field without telling the listener
    virtual std::string getText() const = 0;
    // A key the host forwarded (effEditKeyDown / effEditKeyUp); true when the
    // field used it. A key the field already received from the window system
    // is not typed a second time.
    virtual bool handleKey(const VstKeyCode& key, bool down) = 0;
};

// Pop-up menu model. Items are drawn in order; kColumnBreak starts a new
// column with the item that carries it.
struct MenuModel;
struct MenuItem {
    enum Flags : uint32_t {
        kSeparator = 1,
        kDisabled = 2, // greyed, cannot be chosen
        kTitle = 4,    // a disabled title entry, drawn as a heading
        kChecked = 8,
        kColumnBreak = 16,
    };
    std::string title;
    uint32_t flags = 0;
    const MenuModel* submenu = nullptr; // opens a submenu; the item itself cannot be chosen
};
struct MenuModel {
    std::vector<MenuItem> items;
};
struct MenuResult {
    const MenuModel* menu = nullptr; // the menu or submenu whose item was chosen; null when cancelled
    int32_t index = -1;              // index in that menu's items
};

struct FileDialogSpec {
    bool save = false;
    std::string title;
    std::vector<std::pair<std::string, std::string>> filters; // description, pattern ("*.nub")
    int32_t selectedFilter = 0;                                // index into filters
    std::string defaultExtension;                              // without the dot ("nub")
    std::string initialDirectory;
    std::string initialName;
    bool confirmOverwrite = true; // save dialogs only
};

// What the window system tells the toolkit. Called from inside the window
// system's event delivery: on Windows from the window procedure, on X11 from
// PlatformWindow::pumpEvents.
class PlatformWindowListener {
public:
    virtual ~PlatformWindowListener() = default;
    // A button went down at `where`; the toolkit reads the button state itself.
    virtual void platformMouseDown(CPoint where) = 0;
    // Wheel notches (positive away from the user) at `where`; axis 0 vertical, 1 horizontal.
    virtual void platformWheel(CPoint where, float distance, int32_t axis) = 0;
    // Part of the window must be shown again: draw `area` into `surface`
    // (the back buffer); the platform copies it to the screen afterwards.
    virtual void platformDraw(PlatformSurface& surface, const CRect& area) = 0;
    // A key pressed in the window (not through the host): true when used.
    virtual bool platformKey(const VstKeyCode& key, bool down) = 0;
    // Files dropped on the window.
    virtual bool platformDrop(CPoint where, const std::vector<std::string>& paths) = 0;
    // The parent destroyed the window before the toolkit closed it.
    virtual void platformWindowGone() = 0;
    // Called every few tens of milliseconds while the platform runs a modal
    // loop of its own (a file dialog, a message): time for the editor's
    // idle, so the window and, through the host's idle, the host go on
    // repainting.
    virtual void platformModalIdle() {}
};

struct WindowSpec {
    void* parent = nullptr; // the host's window (HWND, or X window id as a pointer)
    int32_t width = 0;      // 1x pixels
    int32_t height = 0;
    int32_t scale = 1;      // device scale, 1 or 2
};

// The editor's child window of the host's window, with a back buffer of its
// size. Destroying the object destroys the window.
class PlatformWindow {
public:
    virtual ~PlatformWindow() = default;

    virtual void* nativeHandle() const = 0;
    virtual int32_t scale() const = 0;

    // The back buffer. The toolkit draws into it and then shows an area.
    virtual PlatformSurface& backBuffer() = 0;
    // Copies `area` of the back buffer to the screen (one blit).
    virtual void flush(const CRect& area) = 0;
    // Asks for `area` to be drawn (platformDraw) on the next paint.
    virtual void invalidate(const CRect& area) = 0;

    // Delivers the window system's pending events to the listener (X11:
    // reads the editor's own connection; Windows: nothing to do, the host's
    // message loop delivers them). Called at every idle.
    virtual void pumpEvents() = 0;
    // Handles one pending paint request only, if there is one.
    virtual void dispatchPendingPaint() = 0;

    // Button and modifier state (CButton bits) at the moment of asking,
    // with swapped mouse buttons honoured (the primary button reads as left).
    virtual int32_t getMouseButtons() = 0;
    // Pointer position in window coordinates at the moment of asking.
    virtual CPoint getMouseLocation() = 0;

    // New size in 1x pixels and device scale; the back buffer follows.
    virtual void setSize(int32_t width, int32_t height, int32_t scale) = 0;

    virtual std::unique_ptr<PlatformTextField> createTextField(const TextFieldSpec& desc,
                                                               PlatformTextFieldListener* listener) = 0;
    // Shows the menu with its top-left corner at `where` and tracks it modally.
    virtual MenuResult popupMenu(const MenuModel& menu, CPoint where) = 0;
};

// Process-wide services.
class Platform {
public:
    virtual ~Platform() = default;

    // Null when there is no parent or no reachable display.
    virtual std::unique_ptr<PlatformWindow> createWindow(const WindowSpec& desc,
                                                         PlatformWindowListener* listener) = 0;
    // Device scale the display asks for (1 or 2), for a window in `parent`
    // (may be null: the default display). AMBREL_UI_SCALE=1|2 overrides it.
    virtual int32_t preferredScale(void* parent) = 0;

    // A skin bitmap by resource id, or null when there is none. The window-
    // system layers hand out one object per id to the whole process while
    // anything holds it (gui/SharedBitmaps.h).
    virtual std::shared_ptr<PlatformBitmap> loadBitmap(int32_t resourceId) = 0;
    virtual std::unique_ptr<PlatformOffscreen> createOffscreen(int32_t width, int32_t height, int32_t scale) = 0;

    virtual uint32_t ticks() = 0;            // milliseconds, monotonic
    virtual void sleep(uint32_t milliseconds) = 0;
    virtual uint32_t doubleClickTime() = 0;  // the system's, in milliseconds

    // Modal message with an OK button, owned by `window` (may be null).
    virtual void messageBox(PlatformWindow* window, const std::string& caption, const std::string& text) = 0;
    // Modal file dialog owned by `window`; the chosen full path, or nullopt
    // when cancelled.
    virtual std::optional<std::string> fileDialog(PlatformWindow* window, const FileDialogSpec& desc) = 0;
};

// The platform in use: the one a test installed, else the build's own.
Platform& platform();
// Installs a platform for the current process (tests); null restores the
// build's own.
void setPlatformForTesting(Platform* replacement);
// The build's own platform, defined by the platform layer linked in.
Platform& defaultPlatform();

} // namespace VSTGUI
