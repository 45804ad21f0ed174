#include "platform/EditorHostWindow.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

namespace toolplatform {

namespace {

// Counts the X errors seen while a request of ours is trapped, instead of
// letting libX11's default handler end the process.
int trappedErrors = 0;
int trapError(Display*, XErrorEvent*)
{
    ++trappedErrors;
    return 0;
}

unsigned channel(unsigned long pixel, unsigned long mask)
{
    if (mask == 0)
        return 0;
    int shift = 0;
    while (!((mask >> shift) & 1))
        ++shift;
    const unsigned long max = mask >> shift;
    const unsigned long value = (pixel & mask) >> shift;
    return static_cast<unsigned>((value * 255 + max / 2) / max);
}

class X11EditorHostWindow final : public EditorHostWindow {
public:
    X11EditorHostWindow(Display* display, Window window, Atom deleteAtom, int width, int height)
        : display_(display), window_(window), deleteAtom_(deleteAtom), width_(width), height_(height)
    {
    }

    ~X11EditorHostWindow() override
    {
        XDestroyWindow(display_, window_);
        XCloseDisplay(display_);
    }

    void* parentHandle() const override
    {
        return reinterpret_cast<void*>(static_cast<std::uintptr_t>(window_));
    }

    void resize(int width, int height) override
    {
        if (width <= 0 || height <= 0 || (width == width_ && height == height_))
            return;
        width_ = width;
        height_ = height;
        setSizeHints();
        XResizeWindow(display_, window_, static_cast<unsigned>(width), static_cast<unsigned>(height));
        XSync(display_, False);
    }

    int width() const override { return width_; }
    int height() const override { return height_; }

    void clientOrigin(int& x, int& y) override
    {
        Window child = 0;
        x = y = 0;
        XTranslateCoordinates(display_, window_, DefaultRootWindow(display_), 0, 0, &x, &y, &child);
    }

    bool processEvents() override
    {
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            if (event.type == ClientMessage && event.xclient.window == window_
                && static_cast<Atom>(event.xclient.data.l[0]) == deleteAtom_)
                open_ = false;
            else if (event.type == DestroyNotify && event.xdestroywindow.window == window_)
                open_ = false;
        }
        return open_;
    }

    bool capture(std::vector<std::uint8_t>& rgb, int& width, int& height, std::string& error) override
    {
        XSync(display_, False);
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display_, window_, &attributes)) {
            error = "cannot read the window's attributes";
            return false;
        }
        width = attributes.width;
        height = attributes.height;
        trappedErrors = 0;
        XErrorHandler previous = XSetErrorHandler(trapError);
        XImage* image = XGetImage(display_, window_, 0, 0, static_cast<unsigned>(width),
                                  static_cast<unsigned>(height), AllPlanes, ZPixmap);
        XSync(display_, False);
        XSetErrorHandler(previous);
        if (!image || trappedErrors) {
            if (image)
                XDestroyImage(image);
            error = "XGetImage failed (is the window on the screen?)";
            return false;
        }
        rgb.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
        std::size_t at = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const unsigned long pixel = XGetPixel(image, x, y);
                rgb[at++] = static_cast<std::uint8_t>(channel(pixel, image->red_mask));
                rgb[at++] = static_cast<std::uint8_t>(channel(pixel, image->green_mask));
                rgb[at++] = static_cast<std::uint8_t>(channel(pixel, image->blue_mask));
            }
        XDestroyImage(image);
        return true;
    }

    // A host's editor window has the editor's size; the user does not
    // resize it, the plug-in does through audioMasterSizeWindow.
    void setSizeHints()
    {
        XSizeHints* hints = XAllocSizeHints();
        if (!hints)
            return;
        hints->flags = PMinSize | PMaxSize;
        hints->min_width = hints->max_width = width_;
        hints->min_height = hints->max_height = height_;
        XSetWMNormalHints(display_, window_, hints);
        XFree(hints);
    }

    void waitUntilMapped()
    {
        // Wait for the server to map the window, so the editor's child
        // window appears at once and XGetImage finds it viewable. A window
        // manager may take a moment; give up after two seconds.
        const double until = monotonicMilliseconds() + 2000.0;
        while (monotonicMilliseconds() < until) {
            XEvent event;
            while (XCheckTypedWindowEvent(display_, window_, MapNotify, &event))
                return;
            sleepMilliseconds(5);
        }
    }

private:
    Display* display_;
    Window window_;
    Atom deleteAtom_;
    int width_;
    int height_;
    bool open_ = true;
};

} // namespace

namespace {

Display* openDisplay(std::string& error)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        const char* name = std::getenv("DISPLAY");
        error = "cannot open the X display ";
        if (name && *name) {
            error += name;
        } else {
            error += "(DISPLAY is not set)";
        }
        error += ": an editor needs an X server (run under xvfb-run for a virtual one)";
    }
    return display;
}

} // namespace

bool EditorHostWindow::windowSystemAvailable(std::string& error)
{
    Display* display = openDisplay(error);
    if (!display)
        return false;
    XCloseDisplay(display);
    return true;
}

std::unique_ptr<EditorHostWindow> EditorHostWindow::create(const std::string& title, int width, int height,
                                                           std::string& error, bool* noDisplay)
{
    if (noDisplay)
        *noDisplay = false;
    Display* display = openDisplay(error);
    if (!display) {
        if (noDisplay)
            *noDisplay = true;
        return nullptr;
    }
    const int screen = DefaultScreen(display);
    XSetWindowAttributes attributes{};
    attributes.background_pixel = BlackPixel(display, screen);
    attributes.event_mask = StructureNotifyMask;
    const Window window =
        XCreateWindow(display, RootWindow(display, screen), 0, 0, static_cast<unsigned>(width),
                      static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                      CWBackPixel | CWEventMask, &attributes);
    if (!window) {
        XCloseDisplay(display);
        error = "cannot create a window";
        return nullptr;
    }
    XStoreName(display, window, title.c_str());
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False), utf8, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(title.data()), static_cast<int>(title.size()));
    XClassHint* classHint = XAllocClassHint();
    if (classHint) {
        char name[] = "ambrel";
        char className[] = "Ambrel";
        classHint->res_name = name;
        classHint->res_class = className;
        XSetClassHint(display, window, classHint);
        XFree(classHint);
    }
    Atom deleteAtom = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, window, &deleteAtom, 1);

    auto host = std::make_unique<X11EditorHostWindow>(display, window, deleteAtom, width, height);
    host->setSizeHints();
    XMapRaised(display, window);
    XFlush(display);
    host->waitUntilMapped();
    XSync(display, False);
    return host;
}

double monotonicMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
}

void sleepMilliseconds(double milliseconds)
{
    if (milliseconds <= 0.0)
        return;
    timespec delay{};
    delay.tv_sec = static_cast<time_t>(milliseconds / 1000.0);
    delay.tv_nsec = static_cast<long>((milliseconds - static_cast<double>(delay.tv_sec) * 1000.0) * 1e6);
    while (nanosleep(&delay, &delay) != 0 && errno == EINTR) {
    }
}

void setEnvironment(const char* name, const std::string& value)
{
    if (value.empty())
        unsetenv(name);
    else
        setenv(name, value.c_str(), 1);
}

} // namespace toolplatform
