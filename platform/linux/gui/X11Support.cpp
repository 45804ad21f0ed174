#include "platform/linux/gui/X11Support.h"

#include <X11/XKBlib.h>
#include <X11/keysym.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace x11gui {

// --- Error trap --------------------------------------------------------------

namespace {

struct DisplaySlot {
    std::atomic<Display*> display{nullptr};
    std::atomic<uint64_t> errors{0};
};
constexpr int kMaxDisplays = 64;
DisplaySlot slots[kMaxDisplays];

std::atomic<int> trapDepth{0};
std::atomic<XErrorHandler> previousHandler{nullptr};

DisplaySlot* findSlot(Display* display)
{
    for (DisplaySlot& slot : slots)
        if (slot.display.load(std::memory_order_relaxed) == display)
            return &slot;
    return nullptr;
}

int trapHandler(Display* display, XErrorEvent* event)
{
    if (DisplaySlot* slot = findSlot(display)) {
        slot->errors.fetch_add(1, std::memory_order_relaxed);
        return 0;
    }
    // Not ours: the host's connection. Its handler decides.
    XErrorHandler previous = previousHandler.load(std::memory_order_relaxed);
    if (previous && previous != trapHandler)
        return previous(display, event);
    return 0;
}

uint64_t errorCount(Display* display)
{
    DisplaySlot* slot = findSlot(display);
    return slot ? slot->errors.load(std::memory_order_relaxed) : 0;
}

} // namespace

void registerDisplay(Display* display)
{
    for (DisplaySlot& slot : slots) {
        Display* expected = nullptr;
        if (slot.display.compare_exchange_strong(expected, display, std::memory_order_relaxed)) {
            slot.errors.store(0, std::memory_order_relaxed);
            return;
        }
    }
}

void unregisterDisplay(Display* display)
{
    if (DisplaySlot* slot = findSlot(display))
        slot->display.store(nullptr, std::memory_order_relaxed);
}

ErrorTrap::ErrorTrap(Display* display) : display_(display)
{
    if (trapDepth.fetch_add(1, std::memory_order_relaxed) == 0)
        previousHandler.store(XSetErrorHandler(trapHandler), std::memory_order_relaxed);
    baseline_ = errorCount(display_);
}

ErrorTrap::~ErrorTrap()
{
    // A connection closed meanwhile (the window went inside a call of
    // ours) is not touched again.
    if (display_ && findSlot(display_))
        XSync(display_, False);
    if (trapDepth.fetch_sub(1, std::memory_order_relaxed) == 1) {
        XErrorHandler previous = previousHandler.exchange(nullptr, std::memory_order_relaxed);
        XSetErrorHandler(previous);
    }
}

bool ErrorTrap::failed()
{
    if (display_ && findSlot(display_))
        XSync(display_, False);
    return errorCount(display_) != baseline_;
}

void ErrorTrap::reset() { baseline_ = errorCount(display_); }

Display* openDisplay()
{
    Display* display = XOpenDisplay(nullptr);
    if (display)
        registerDisplay(display);
    return display;
}

void closeDisplay(Display* display)
{
    if (!display)
        return;
    {
        ErrorTrap trap(display);
        XSync(display, False);
    }
    // Errors of requests still in flight would reach the trap after the
    // display is gone from the registry: XCloseDisplay syncs first.
    unregisterDisplay(display);
    XCloseDisplay(display);
}

// --- Resources ---------------------------------------------------------------

namespace {
std::string trim(const std::string& s)
{
    size_t a = 0, b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a])))
        ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1])))
        --b;
    return s.substr(a, b - a);
}

bool equalNoCase(const std::string& a, const char* b)
{
    const size_t n = std::strlen(b);
    if (a.size() != n)
        return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}
} // namespace

DisplayResources parseResources(const char* text)
{
    DisplayResources result;
    if (!text)
        return result;
    const char* p = text;
    while (*p) {
        const char* end = std::strchr(p, '\n');
        std::string line(p, end ? static_cast<size_t>(end - p) : std::strlen(p));
        p = end ? end + 1 : p + line.size();
        const size_t colon = line.find(':');
        if (colon == std::string::npos || line.empty() || line[0] == '!')
            continue;
        const std::string name = trim(line.substr(0, colon));
        const std::string value = trim(line.substr(colon + 1));
        if (name == "Xft.dpi" || name == "*Xft.dpi" || name == "*.Xft.dpi") {
            const double dpi = std::atof(value.c_str());
            if (dpi > 0 && dpi < 10000)
                result.dpi = static_cast<int>(dpi + 0.5);
            continue;
        }
        // Xt's double-click time for every program: "*multiClickTime",
        // "*.multiClickTime", or the class name; not one program's own.
        const size_t last = name.find_last_of(".*");
        const std::string prefix = last == std::string::npos ? std::string() : name.substr(0, last + 1);
        const std::string leaf = last == std::string::npos ? name : name.substr(last + 1);
        if (equalNoCase(leaf, "multiClickTime") && prefix.find_first_not_of(".*") == std::string::npos) {
            const long ms = std::strtol(value.c_str(), nullptr, 10);
            if (ms > 0 && ms <= 5000)
                result.multiClickTime = static_cast<int>(ms);
        }
    }
    return result;
}

DisplayResources readResources(Display* display)
{
    return parseResources(display ? XResourceManagerString(display) : nullptr);
}

int scaleFromEnvironment()
{
    const char* value = std::getenv("AMBREL_UI_SCALE");
    if (!value)
        return 0;
    if (std::strcmp(value, "1") == 0)
        return 1;
    if (std::strcmp(value, "2") == 0)
        return 2;
    return 0;
}

// --- Blitter -----------------------------------------------------------------

namespace {
void maskPlacement(unsigned long mask, int& shift, int& bits)
{
    shift = 0;
    bits = 0;
    if (!mask)
        return;
    while (!((mask >> shift) & 1))
        ++shift;
    while ((mask >> (shift + bits)) & 1)
        ++bits;
}
} // namespace

Blitter::Blitter(Display* display, Visual* visual, int depth, bool allowSharedMemory)
    : display_(display), visual_(visual), depth_(depth), allowShm_(allowSharedMemory)
{
    if (allowShm_) {
        const char* off = std::getenv("AMBREL_X11_NO_SHM");
        if (off && *off && std::strcmp(off, "0") != 0)
            allowShm_ = false;
    }
    if (allowShm_ && !XShmQueryExtension(display_))
        allowShm_ = false;
    if (visual_ && visual_->c_class == TrueColor) {
        maskPlacement(visual_->red_mask, redShift_, redBits_);
        maskPlacement(visual_->green_mask, greenShift_, greenBits_);
        maskPlacement(visual_->blue_mask, blueShift_, blueBits_);
    }
}

Blitter::~Blitter() { releaseImage(); }

void Blitter::releaseImage()
{
    if (!image_)
        return;
    if (shm_) {
        {
            ErrorTrap trap(display_);
            XShmDetach(display_, &shmInfo_);
        }
        image_->data = nullptr;
        XDestroyImage(image_);
        shmdt(shmInfo_.shmaddr);
        shmInfo_ = XShmSegmentInfo{};
    } else {
        XDestroyImage(image_); // frees the data it was made with
    }
    image_ = nullptr;
    shm_ = false;
    imageWidth_ = imageHeight_ = 0;
}

bool Blitter::ensureImage(int width, int height)
{
    if (image_ && imageWidth_ >= width && imageHeight_ >= height)
        return true;
    width = std::max(width, imageWidth_);
    height = std::max(height, imageHeight_);
    releaseImage();
    if (allowShm_) {
        XImage* image = XShmCreateImage(display_, visual_, static_cast<unsigned>(depth_), ZPixmap, nullptr,
                                        &shmInfo_, static_cast<unsigned>(width), static_cast<unsigned>(height));
        if (image) {
            const size_t bytes = static_cast<size_t>(image->bytes_per_line) * static_cast<size_t>(image->height);
            shmInfo_.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
            void* address = shmInfo_.shmid >= 0 ? shmat(shmInfo_.shmid, nullptr, 0) : reinterpret_cast<void*>(-1);
            if (address != reinterpret_cast<void*>(-1)) {
                shmInfo_.shmaddr = image->data = static_cast<char*>(address);
                shmInfo_.readOnly = False;
                bool attached = false;
                {
                    ErrorTrap trap(display_);
                    attached = XShmAttach(display_, &shmInfo_) && !trap.failed();
                }
                // Marked for removal now: it goes when the last user
                // detaches, even if this process dies.
                shmctl(shmInfo_.shmid, IPC_RMID, nullptr);
                if (attached) {
                    image_ = image;
                    shm_ = true;
                    imageWidth_ = width;
                    imageHeight_ = height;
                    return true;
                }
                // Refused (a remote display, for one): plain images from now on.
                {
                    ErrorTrap trap(display_);
                    XShmDetach(display_, &shmInfo_);
                }
                shmdt(address);
            } else if (shmInfo_.shmid >= 0) {
                shmctl(shmInfo_.shmid, IPC_RMID, nullptr);
            }
            image->data = nullptr;
            XDestroyImage(image);
            shmInfo_ = XShmSegmentInfo{};
        }
        allowShm_ = false;
    }
    XImage* image = XCreateImage(display_, visual_, static_cast<unsigned>(depth_), ZPixmap, 0, nullptr,
                                 static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0);
    if (!image)
        return false;
    image->data = static_cast<char*>(std::malloc(static_cast<size_t>(image->bytes_per_line) * static_cast<size_t>(height)));
    if (!image->data) {
        XDestroyImage(image);
        return false;
    }
    image_ = image;
    imageWidth_ = width;
    imageHeight_ = height;
    return true;
}

void Blitter::convert(const softraster::SoftwareSurface& surface, int left, int top, int width, int height)
{
    const int stride = surface.deviceWidth();
    const uint32_t* pixels = surface.pixels();
    const bool hostLittle = [] {
        const uint16_t probe = 1;
        return *reinterpret_cast<const uint8_t*>(&probe) == 1;
    }();
    const bool trueColor = visual_->c_class == TrueColor || visual_->c_class == DirectColor;
    if (trueColor && image_->bits_per_pixel == 32 && redShift_ == 16 && greenShift_ == 8 && blueShift_ == 0 &&
        redBits_ == 8 && greenBits_ == 8 && blueBits_ == 8 &&
        (image_->byte_order == LSBFirst) == hostLittle) {
        // The same layout as ours: copy rows. An alpha channel in the depth
        // (ARGB visuals) gets 0xFF from our pixels.
        for (int y = 0; y < height; ++y)
            std::memcpy(image_->data + static_cast<size_t>(y) * static_cast<size_t>(image_->bytes_per_line),
                        pixels + static_cast<size_t>(top + y) * static_cast<size_t>(stride) + static_cast<size_t>(left),
                        static_cast<size_t>(width) * 4);
        return;
    }
    auto channel = [](uint32_t value, int bits) -> unsigned long { return bits >= 8 ? value << (bits - 8) : value >> (8 - bits); };
    for (int y = 0; y < height; ++y) {
        const uint32_t* row = pixels + static_cast<size_t>(top + y) * static_cast<size_t>(stride) + static_cast<size_t>(left);
        for (int x = 0; x < width; ++x) {
            const uint32_t p = row[x];
            unsigned long value;
            if (trueColor) {
                value = (channel((p >> 16) & 0xFF, redBits_) << redShift_) |
                        (channel((p >> 8) & 0xFF, greenBits_) << greenShift_) | (channel(p & 0xFF, blueBits_) << blueShift_);
            } else {
                // Not a direct visual: the nearest of black and white keeps
                // the skin readable at least.
                const uint32_t grey = (((p >> 16) & 0xFF) * 30 + ((p >> 8) & 0xFF) * 59 + (p & 0xFF) * 11) / 100;
                value = grey >= 128 ? WhitePixel(display_, DefaultScreen(display_)) : BlackPixel(display_, DefaultScreen(display_));
            }
            XPutPixel(image_, x, y, value);
        }
    }
}

bool Blitter::put(Drawable window, GC gc, const softraster::SoftwareSurface& surface, int left, int top, int right,
                  int bottom, int dx, int dy)
{
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, surface.deviceWidth());
    bottom = std::min(bottom, surface.deviceHeight());
    if (right <= left || bottom <= top)
        return true;
    const int width = right - left, height = bottom - top;
    if (!ensureImage(width, height))
        return false;
    convert(surface, left, top, width, height);
    ErrorTrap trap(display_);
    if (shm_)
        XShmPutImage(display_, window, gc, image_, 0, 0, left + dx, top + dy, static_cast<unsigned>(width),
                     static_cast<unsigned>(height), False);
    else
        XPutImage(display_, window, gc, image_, 0, 0, left + dx, top + dy, static_cast<unsigned>(width),
                  static_cast<unsigned>(height));
    // The shared image is written again at the next blit: the server must
    // be done with it, which the trap's round trip makes sure of.
    return !trap.failed();
}

// --- Keys --------------------------------------------------------------------

unsigned int altMask(Display* display)
{
    unsigned int mask = Mod1Mask;
    XModifierKeymap* map = XGetModifierMapping(display);
    if (!map)
        return mask;
    const KeyCode altL = XKeysymToKeycode(display, XK_Alt_L);
    const KeyCode altR = XKeysymToKeycode(display, XK_Alt_R);
    for (int modifier = Mod1MapIndex; modifier <= Mod5MapIndex; ++modifier)
        for (int i = 0; i < map->max_keypermod; ++i) {
            const KeyCode code = map->modifiermap[modifier * map->max_keypermod + i];
            if (code && (code == altL || code == altR)) {
                XFreeModifiermap(map);
                return 1u << modifier;
            }
        }
    XFreeModifiermap(map);
    return mask;
}

int32_t buttonsFromMask(unsigned int mask, unsigned int alt)
{
    int32_t buttons = 0;
    if (mask & Button1Mask)
        buttons |= VSTGUI::kLButton;
    if (mask & Button2Mask)
        buttons |= VSTGUI::kMButton;
    if (mask & Button3Mask)
        buttons |= VSTGUI::kRButton;
    if (mask & ShiftMask)
        buttons |= VSTGUI::kShift;
    if (mask & ControlMask)
        buttons |= VSTGUI::kControl;
    if (mask & alt)
        buttons |= VSTGUI::kAlt;
    return buttons;
}

uint32_t keysymToUnicode(KeySym keysym)
{
    if ((keysym >= 0x20 && keysym <= 0x7E) || (keysym >= 0xA0 && keysym <= 0xFF))
        return static_cast<uint32_t>(keysym);
    if ((keysym & 0xFF000000) == 0x01000000)
        return static_cast<uint32_t>(keysym & 0x00FFFFFF);
    if (keysym >= XK_KP_0 && keysym <= XK_KP_9)
        return static_cast<uint32_t>('0' + (keysym - XK_KP_0));
    switch (keysym) {
    case XK_KP_Space: return ' ';
    case XK_KP_Multiply: return '*';
    case XK_KP_Add: return '+';
    case XK_KP_Subtract: return '-';
    case XK_KP_Decimal: return '.';
    case XK_KP_Divide: return '/';
    case XK_KP_Equal: return '=';
    case XK_EuroSign: return 0x20AC;
    default: return 0;
    }
}

void appendUtf8(std::string& text, uint32_t cp)
{
    if (cp < 0x80) {
        text += static_cast<char>(cp);
    } else if (cp < 0x800) {
        text += static_cast<char>(0xC0 | (cp >> 6));
        text += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        text += static_cast<char>(0xE0 | (cp >> 12));
        text += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp <= 0x10FFFF) {
        text += static_cast<char>(0xF0 | (cp >> 18));
        text += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

VstKeyCode keyCodeFor(KeySym keysym, unsigned int state, unsigned int alt)
{
    VstKeyCode key{0, 0, 0};
    if (state & ShiftMask)
        key.modifier |= kModifierShift;
    if (state & alt)
        key.modifier |= kModifierAlternate;
    if (state & ControlMask)
        key.modifier |= kModifierControl;
    if (keysym >= XK_F1 && keysym <= XK_F12) {
        key.virt = static_cast<unsigned char>(kVKeyF1 + (keysym - XK_F1));
        return key;
    }
    if (keysym >= XK_KP_0 && keysym <= XK_KP_9) {
        key.virt = static_cast<unsigned char>(kVKeyNumpad0 + (keysym - XK_KP_0));
        return key;
    }
    switch (keysym) {
    case XK_BackSpace: key.virt = kVKeyBack; break;
    case XK_Tab: case XK_ISO_Left_Tab: key.virt = kVKeyTab; break;
    case XK_Clear: key.virt = kVKeyClear; break;
    case XK_Return: key.virt = kVKeyReturn; break;
    case XK_Pause: key.virt = kVKeyPause; break;
    case XK_Escape: key.virt = kVKeyEscape; break;
    case XK_space: key.virt = kVKeySpace; key.character = ' '; break;
    case XK_End: case XK_KP_End: key.virt = kVKeyEnd; break;
    case XK_Home: case XK_KP_Home: key.virt = kVKeyHome; break;
    case XK_Left: case XK_KP_Left: key.virt = kVKeyLeft; break;
    case XK_Up: case XK_KP_Up: key.virt = kVKeyUp; break;
    case XK_Right: case XK_KP_Right: key.virt = kVKeyRight; break;
    case XK_Down: case XK_KP_Down: key.virt = kVKeyDown; break;
    case XK_Page_Up: case XK_KP_Page_Up: key.virt = kVKeyPageUp; break;
    case XK_Page_Down: case XK_KP_Page_Down: key.virt = kVKeyPageDown; break;
    case XK_Select: key.virt = kVKeySelect; break;
    case XK_Print: key.virt = kVKeyPrint; break;
    case XK_KP_Enter: key.virt = kVKeyEnter; break;
    case XK_Insert: case XK_KP_Insert: key.virt = kVKeyInsert; break;
    case XK_Delete: case XK_KP_Delete: key.virt = kVKeyDelete; break;
    case XK_Help: key.virt = kVKeyHelp; break;
    case XK_KP_Multiply: key.virt = kVKeyMultiply; break;
    case XK_KP_Add: key.virt = kVKeyAdd; break;
    case XK_KP_Separator: key.virt = kVKeySeparator; break;
    case XK_KP_Subtract: key.virt = kVKeySubtract; break;
    case XK_KP_Decimal: key.virt = kVKeyDecimal; break;
    case XK_KP_Divide: key.virt = kVKeyDivide; break;
    case XK_Num_Lock: key.virt = kVKeyNumLock; break;
    case XK_Scroll_Lock: key.virt = kVKeyScroll; break;
    case XK_Shift_L: case XK_Shift_R: key.virt = kVKeyShift; break;
    case XK_Control_L: case XK_Control_R: key.virt = kVKeyControl; break;
    case XK_Alt_L: case XK_Alt_R: case XK_Meta_L: case XK_Meta_R: key.virt = kVKeyAlt; break;
    case XK_KP_Equal: key.virt = kVKeyEquals; break;
    default: {
        const uint32_t cp = keysymToUnicode(keysym);
        key.character = static_cast<VstInt32>(cp);
        break;
    }
    }
    return key;
}

Atom atom(Display* display, const char* name) { return XInternAtom(display, name, False); }

uint32_t ticks()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}

} // namespace x11gui
