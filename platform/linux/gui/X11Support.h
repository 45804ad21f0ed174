// Pieces the X11 layer's windows share: trapping the X errors our own
// requests cause, blitting software pixels to a window, reading the
// display's resources, and translating keys.
#pragma once

#include "gui/Geometry.h"
#include "host/vst2abi.h"
#include "platform/software/SoftwareRaster.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include <cstdint>
#include <string>

namespace x11gui {

// The connections this layer opened. An X error on one of them is counted
// instead of reaching the process's error handler; errors on any other
// connection (the host's) go on to the handler that was installed before.
void registerDisplay(Display* display);
void unregisterDisplay(Display* display);

// Installs the error trap for the lifetime of the object (nested traps
// share one installation) and restores the previous handler when the
// outermost one ends, after a round trip so every error our requests
// caused has arrived.
class ErrorTrap {
public:
    explicit ErrorTrap(Display* display);
    ~ErrorTrap();
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

    // Waits for the server and tells whether any error arrived on our
    // connection since the trap was made (or since the last reset).
    bool failed();
    void reset();

private:
    Display* display_;
    uint64_t baseline_;
};

// Opens our own connection to the display named by $DISPLAY, registered for
// the trap; null when there is none.
Display* openDisplay();
void closeDisplay(Display* display);

// What the display's resources ask for (RESOURCE_MANAGER).
struct DisplayResources {
    int dpi = 0;               // Xft.dpi, 0 when not set
    int multiClickTime = 0;    // Xt's multiClickTime in ms, 0 when not set
};
DisplayResources readResources(Display* display);
// Parses a resource string (tests).
DisplayResources parseResources(const char* text);
// AMBREL_UI_SCALE=1|2, or 0 when not set (or anything else).
int scaleFromEnvironment();

// Writes device pixels of a software surface into a window: through a
// shared-memory image when the server offers MIT-SHM for our connection,
// else with XPutImage. Converts to the window's visual (TrueColor at any
// depth; other visuals pixel by pixel).
class Blitter {
public:
    Blitter(Display* display, Visual* visual, int depth, bool allowSharedMemory);
    ~Blitter();
    Blitter(const Blitter&) = delete;
    Blitter& operator=(const Blitter&) = delete;

    // Copies the device rectangle of `surface` to the same place in
    // `window` (offset by dx, dy). False when the server refused it.
    bool put(Drawable window, GC gc, const softraster::SoftwareSurface& surface, int left, int top, int right,
             int bottom, int dx = 0, int dy = 0);
    bool usesSharedMemory() const { return shm_; }

private:
    bool ensureImage(int width, int height);
    void releaseImage();
    void convert(const softraster::SoftwareSurface& surface, int left, int top, int width, int height);

    Display* display_;
    Visual* visual_;
    int depth_;
    bool allowShm_;
    bool shm_ = false;
    XImage* image_ = nullptr;
    XShmSegmentInfo shmInfo_{};
    int imageWidth_ = 0;
    int imageHeight_ = 0;
    // TrueColor channel placement.
    int redShift_ = 16, greenShift_ = 8, blueShift_ = 0;
    int redBits_ = 8, greenBits_ = 8, blueBits_ = 8;
};

// The modifier bit that carries Alt on this display (Mod1Mask on nearly all).
unsigned int altMask(Display* display);
// A key event's keysym and state as a VstKeyCode.
VstKeyCode keyCodeFor(KeySym keysym, unsigned int state, unsigned int alt);
// Unicode character of a keysym (0 when it has none).
uint32_t keysymToUnicode(KeySym keysym);
// Appends a code point as UTF-8.
void appendUtf8(std::string& text, uint32_t cp);

// CButton bits for a pointer mask.
int32_t buttonsFromMask(unsigned int mask, unsigned int alt);

// Atoms by name, cached per connection by the server anyway.
Atom atom(Display* display, const char* name);

// Monotonic milliseconds.
uint32_t ticks();

} // namespace x11gui
