#include "X11TestSupport.h"

#include <X11/Xatom.h>
#include <X11/XKBlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <dirent.h>

#include <chrono>
#include <cstdio>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace x11test {

namespace {
// On a machine shared with other X servers a connection is now and then
// refused for a moment: try again for a while.
Display* connect()
{
    for (int attempt = 0; attempt < 40; ++attempt) {
        if (Display* display = XOpenDisplay(nullptr))
            return display;
        if (!std::getenv("DISPLAY"))
            return nullptr;
        sleepMs(50);
    }
    std::fprintf(stderr, "cannot open display %s: %s\n", std::getenv("DISPLAY"), std::strerror(errno));
    return nullptr;
}
} // namespace

HostDisplay::HostDisplay() : display_(connect()) {}
HostDisplay::~HostDisplay()
{
    if (display_)
        XCloseDisplay(display_);
}

HostWindow::HostWindow(Display* display, int width, int height, int x, int y) : display_(display)
{
    XSetWindowAttributes attributes{};
    attributes.background_pixel = 0x404040;
    attributes.override_redirect = False;
    attributes.event_mask = StructureNotifyMask;
    window_ = XCreateWindow(display, DefaultRootWindow(display), x, y, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                            CWBackPixel | CWEventMask, &attributes);
    XMapRaised(display, window_);
    XEvent event;
    XWindowEvent(display, window_, StructureNotifyMask, &event);
    while (event.type != MapNotify)
        XWindowEvent(display, window_, StructureNotifyMask, &event);
    XSync(display, False);
}

HostWindow::~HostWindow() { destroy(); }

void HostWindow::destroy()
{
    if (!window_)
        return;
    XDestroyWindow(display_, window_);
    XSync(display_, False);
    window_ = 0;
}

void HostWindow::toRoot(int x, int y, int& rootX, int& rootY) const
{
    Window child = 0;
    XTranslateCoordinates(display_, window_, DefaultRootWindow(display_), x, y, &rootX, &rootY, &child);
}

std::vector<uint32_t> capture(Display* display, Window window, int x, int y, int width, int height)
{
    XSync(display, False);
    std::vector<uint32_t> pixels;
    XImage* image = XGetImage(display, window, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height),
                              AllPlanes, ZPixmap);
    if (!image)
        return pixels;
    pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int row = 0; row < height; ++row)
        for (int col = 0; col < width; ++col)
            pixels[static_cast<size_t>(row) * static_cast<size_t>(width) + static_cast<size_t>(col)] =
                0xFF000000u | (static_cast<uint32_t>(XGetPixel(image, col, row)) & 0xFFFFFFu);
    XDestroyImage(image);
    return pixels;
}

void writePpm(const std::string& path, const std::vector<uint32_t>& pixels, int width, int height)
{
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << width << " " << height << "\n255\n";
    for (size_t i = 0; i < pixels.size() && i < static_cast<size_t>(width * height); ++i) {
        const char rgb[3] = {static_cast<char>(pixels[i] >> 16), static_cast<char>(pixels[i] >> 8),
                             static_cast<char>(pixels[i])};
        out.write(rgb, 3);
    }
}

Input::Input() : display_(connect()) {}
Input::~Input()
{
    if (display_)
        XCloseDisplay(display_);
}

void Input::move(int rootX, int rootY)
{
    XTestFakeMotionEvent(display_, DefaultScreen(display_), rootX, rootY, CurrentTime);
    sync();
}

void Input::button(unsigned int button, bool down)
{
    XTestFakeButtonEvent(display_, button, down ? True : False, CurrentTime);
    sync();
}

void Input::click(unsigned int b)
{
    button(b, true);
    button(b, false);
}

void Input::key(unsigned long keysym, bool down)
{
    const KeyCode code = XKeysymToKeycode(display_, keysym);
    XTestFakeKeyEvent(display_, code, down ? True : False, CurrentTime);
    sync();
}

void Input::tap(unsigned long keysym)
{
    key(keysym, true);
    key(keysym, false);
}

void Input::type(const std::string& text)
{
    for (char c : text) {
        const char name[2] = {c, 0};
        KeySym keysym = c == ' ' ? XK_space : XStringToKeysym(name);
        if (keysym == NoSymbol) {
            switch (c) {
            case '.': keysym = XK_period; break;
            case '-': keysym = XK_minus; break;
            case '/': keysym = XK_slash; break;
            case '_': keysym = XK_underscore; break;
            default: continue;
            }
        }
        const KeyCode code = XKeysymToKeycode(display_, keysym);
        // Shift when the keysym is the key's second level.
        const bool shift = XkbKeycodeToKeysym(display_, code, 0, 0) != keysym;
        if (shift)
            key(XK_Shift_L, true);
        tap(keysym);
        if (shift)
            key(XK_Shift_L, false);
    }
}

void Input::sync() { XSync(display_, False); }

void setResources(Display* display, const std::string& text)
{
    const Window root = DefaultRootWindow(display);
    if (text.empty())
        XDeleteProperty(display, root, XA_RESOURCE_MANAGER);
    else
        XChangeProperty(display, root, XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(text.c_str()), static_cast<int>(text.size()));
    XSync(display, False);
}

Helper::Helper(std::function<bool()> ready, std::function<void()> work, int timeoutMs)
{
    thread_ = std::thread([this, ready = std::move(ready), work = std::move(work), timeoutMs] {
        const uint64_t until = nowMs() + static_cast<uint64_t>(timeoutMs);
        while (nowMs() < until) {
            if (ready()) {
                work();
                ran_ = true;
                return;
            }
            sleepMs(10);
        }
    });
}

Helper::~Helper() { join(); }

void Helper::join()
{
    if (thread_.joinable())
        thread_.join();
}

Window findPopup(Display* display, Window after)
{
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    Window found = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
        return 0;
    // Topmost last: the newest popup is the last mapped override-redirect one.
    for (unsigned int i = 0; i < count; ++i) {
        XWindowAttributes attributes;
        if (children[i] != after && XGetWindowAttributes(display, children[i], &attributes) &&
            attributes.override_redirect && attributes.map_state == IsViewable)
            found = children[i];
    }
    if (children)
        XFree(children);
    return found;
}

Window waitForPopup(Display* display, int timeoutMs)
{
    Window popup = 0;
    for (uint64_t until = nowMs() + static_cast<uint64_t>(timeoutMs); !(popup = findPopup(display)) && nowMs() < until;)
        sleepMs(10);
    if (popup)
        sleepMs(100);
    return popup;
}

void closeLeftoverMenu(Input& input)
{
    for (int i = 0; i < 200 && findPopup(input.display()); ++i)
        sleepMs(10);
    for (int i = 0; i < 20 && findPopup(input.display()); ++i) {
        input.tap(XK_Escape);
        sleepMs(50);
    }
}

namespace {
Window searchByName(Display* display, Window window, const std::string& name, int depth)
{
    char* found = nullptr;
    if (XFetchName(display, window, &found) && found) {
        const bool same = name == found;
        XFree(found);
        XWindowAttributes attributes;
        if (same && XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable)
            return window;
    }
    if (depth > 3)
        return 0;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    Window result = 0;
    if (XQueryTree(display, window, &root, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count && !result; ++i)
            result = searchByName(display, children[i], name, depth + 1);
        if (children)
            XFree(children);
    }
    return result;
}
} // namespace

Window findWindowByName(Display* display, const std::string& name)
{
    return searchByName(display, DefaultRootWindow(display), name, 0);
}

bool windowGeometry(Display* display, Window window, int& rootX, int& rootY, int& width, int& height)
{
    XWindowAttributes attributes;
    if (!window || !XGetWindowAttributes(display, window, &attributes))
        return false;
    Window child = 0;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &rootX, &rootY, &child);
    width = attributes.width;
    height = attributes.height;
    return true;
}

int openDescriptors()
{
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.')
                ++count;
        closedir(dir);
    }
    return count;
}

int sharedMemorySegments()
{
    std::ifstream maps("/proc/self/maps");
    std::string line;
    int count = 0;
    while (std::getline(maps, line))
        if (line.find("SYSV") != std::string::npos)
            ++count;
    return count;
}

uint64_t nowMs()
{
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

} // namespace x11test
