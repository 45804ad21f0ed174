#include "tests/integration/WindowTestSupport.h"

// Before Xlib, whose macros (None) clash with its names.
#include "editor/Layout.h"

#include <X11/Xlib.h>

#include "tools/ambrel/PngFile.h"

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb/stb_image.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <sys/wait.h>
#include <unistd.h>

namespace ambrel::testing {

namespace fs = std::filesystem;
using VSTGUI::CRect;

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

bool waitFor(const std::function<bool()>& condition, int timeoutMs, int pollMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        sleepMs(pollMs);
    }
}

CRect controlRect(const char* name)
{
    for (const layout::ControlSpec& s : layout::kMainPageControls)
        if (!std::strcmp(s.name, name))
            return s.rect;
    throw std::runtime_error(std::string("no control ") + name);
}

// --- Pictures -------------------------------------------------------------------

Image Image::crop(const CRect& r) const
{
    Image out;
    out.width = r.width();
    out.height = r.height();
    out.px.resize(static_cast<size_t>(out.width) * static_cast<size_t>(out.height));
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x)
            out.px[static_cast<size_t>(y) * static_cast<size_t>(out.width) + x] = at(r.left + x, r.top + y);
    return out;
}

bool loadPng(const fs::path& path, Image& image)
{
    int channels = 0;
    stbi_uc* data = stbi_load(path.string().c_str(), &image.width, &image.height, &channels, 3);
    if (!data)
        return false;
    image.px.resize(static_cast<size_t>(image.width) * static_cast<size_t>(image.height));
    for (size_t i = 0; i < image.px.size(); ++i)
        image.px[i] = uint32_t(data[3 * i]) << 16 | uint32_t(data[3 * i + 1]) << 8 | data[3 * i + 2];
    stbi_image_free(data);
    return true;
}

void savePng(const fs::path& path, const Image& image)
{
    std::vector<std::uint8_t> rgb(image.px.size() * 3);
    for (size_t i = 0; i < image.px.size(); ++i) {
        rgb[3 * i] = static_cast<std::uint8_t>(image.px[i] >> 16);
        rgb[3 * i + 1] = static_cast<std::uint8_t>(image.px[i] >> 8);
        rgb[3 * i + 2] = static_cast<std::uint8_t>(image.px[i]);
    }
    std::string error;
    writePng(path.string(), rgb, image.width, image.height, error);
}

std::string Difference::describe() const
{
    std::ostringstream s;
    if (pixels < 0)
        return "the sizes differ";
    s << pixels << " pixels differ";
    if (pixels)
        s << " within (" << box.left << ", " << box.top << ", " << box.right << ", " << box.bottom << "), by up to "
          << largest;
    if (largestLoose)
        s << "; text areas differ by up to " << largestLoose;
    return s.str();
}

Difference compareImages(const Image& a, const Image& b, const std::vector<CRect>& loose, int looseLimit)
{
    Difference d;
    if (a.width != b.width || a.height != b.height) {
        d.pixels = -1;
        return d;
    }
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) {
            const uint32_t p = a.at(x, y), q = b.at(x, y);
            if (p == q)
                continue;
            int largest = 0;
            for (int shift = 0; shift <= 16; shift += 8)
                largest = std::max(largest, std::abs(int((p >> shift) & 255) - int((q >> shift) & 255)));
            const bool inLoose = std::any_of(loose.begin(), loose.end(), [&](const CRect& r) {
                return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
            });
            if (inLoose) {
                d.largestLoose = std::max(d.largestLoose, largest);
                if (largest <= looseLimit)
                    continue;
            }
            d.largest = std::max(d.largest, largest);
            if (d.pixels++ == 0)
                d.box = CRect(x, y, x + 1, y + 1);
            else
                d.box.unite(CRect(x, y, x + 1, y + 1));
        }
    return d;
}

Image differenceImage(const Image& a, const Image& b)
{
    Image out = a;
    for (size_t i = 0; i < out.px.size() && i < b.px.size(); ++i)
        out.px[i] = a.px[i] == b.px[i] ? (a.px[i] >> 2) & 0x3F3F3F : 0xFF00FF;
    return out;
}

// --- The X server ----------------------------------------------------------------

namespace {

XErrorHandler defaultXErrorHandler = nullptr;

// Windows of other programs come and go while the tests walk the tree: one
// listed by XQueryTree may be gone when its attributes or name are asked.
// That is not a failure of the test; any other error still is.
int ignoreVanishedWindows(Display* display, XErrorEvent* error)
{
    if (error->error_code == BadWindow || error->error_code == BadDrawable)
        return 0;
    return defaultXErrorHandler ? defaultXErrorHandler(display, error) : 0;
}

} // namespace

Desktop::Desktop()
{
    defaultXErrorHandler = XSetErrorHandler(ignoreVanishedWindows);
    display_ = XOpenDisplay(nullptr);
    int event = 0, error = 0, major = 0, minor = 0;
    if (display_ && !XTestQueryExtension(display_, &event, &error, &major, &minor)) {
        XCloseDisplay(display_);
        display_ = nullptr;
    }
}

Desktop::~Desktop()
{
    if (display_)
        XCloseDisplay(display_);
}

void Desktop::move(int x, int y)
{
    XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
    XSync(display_, False);
}

void Desktop::button(bool down, unsigned button)
{
    XTestFakeButtonEvent(display_, button, down, CurrentTime);
    XSync(display_, False);
}

void Desktop::key(XKeySym symbol, bool down)
{
    XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, symbol), down, CurrentTime);
    XSync(display_, False);
}

void Desktop::tap(XKeySym symbol)
{
    key(symbol, true);
    sleepMs(20);
    key(symbol, false);
    sleepMs(20);
}

Image Desktop::grab(int x, int y, int width, int height)
{
    Image out;
    XImage* image = XGetImage(display_, DefaultRootWindow(display_), x, y, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (!image)
        return out;
    out.width = width;
    out.height = height;
    out.px.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int row = 0; row < height; ++row)
        for (int col = 0; col < width; ++col)
            out.px[static_cast<size_t>(row) * static_cast<size_t>(width) + col] =
                static_cast<uint32_t>(XGetPixel(image, col, row)) & 0xFFFFFF;
    XDestroyImage(image);
    return out;
}

namespace {

// Depth-first search of the window tree for the first window `match` takes.
template <typename Match>
Window searchTree(Display* display, Window window, const Match& match, int depth)
{
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count))
        return 0;
    Window found = 0;
    for (unsigned i = 0; i < count && !found; ++i) {
        XWindowAttributes attributes{};
        if (!XGetWindowAttributes(display, children[i], &attributes) || attributes.map_state != IsViewable)
            continue;
        if (match(children[i], attributes, depth))
            found = children[i];
        else
            found = searchTree(display, children[i], match, depth + 1);
    }
    if (children)
        XFree(children);
    return found;
}

void rootPosition(Display* display, Window window, int& x, int& y)
{
    Window child = 0;
    x = y = 0;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child);
}

} // namespace

XWindowId Desktop::findWindowOfSize(int width, int height, int& rootX, int& rootY)
{
    const Window found = searchTree(
        display_, DefaultRootWindow(display_),
        [&](Window, const XWindowAttributes& a, int) { return a.width == width && a.height == height; }, 0);
    if (found)
        rootPosition(display_, found, rootX, rootY);
    return found;
}

XWindowId Desktop::findWindowNamed(const std::string& text, int& rootX, int& rootY, int& width, int& height)
{
    const Window found = searchTree(
        display_, DefaultRootWindow(display_),
        [&](Window w, const XWindowAttributes& a, int depth) {
            if (depth > 0)
                return false;
            char* name = nullptr;
            bool match = false;
            if (XFetchName(display_, w, &name) && name) {
                match = std::string(name).find(text) != std::string::npos;
                XFree(name);
            }
            if (match) {
                width = a.width;
                height = a.height;
            }
            return match;
        },
        0);
    if (found)
        rootPosition(display_, found, rootX, rootY);
    return found;
}

Desktop& desktop()
{
    static Desktop instance;
    return instance;
}

// --- Programs in the background -----------------------------------------------------

bool ChildProcess::start(const std::vector<std::string>& argv,
                         const std::vector<std::pair<std::string, std::string>>& env, const fs::path& log)
{
    log_ = log;
    exitStatus_ = -1;
    pid_ = ::fork();
    if (pid_ < 0)
        return false;
    if (pid_ == 0) {
        ::setpgid(0, 0);
        const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) {
            ::dup2(fd, 1);
            ::dup2(fd, 2);
            ::close(fd);
        }
        const int null = ::open("/dev/null", O_RDONLY);
        if (null >= 0) {
            ::dup2(null, 0);
            ::close(null);
        }
        for (const auto& [name, value] : env)
            ::setenv(name.c_str(), value.c_str(), 1);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        std::_Exit(127);
    }
    // Also here, so a stop() right away reaches the group.
    ::setpgid(pid_, pid_);
    return true;
}

std::vector<std::string> ChildProcess::lines() const
{
    std::ifstream in(log_, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = text.substr(start, end - start);
        line.erase(std::remove(line.begin(), line.end(), '\r'), line.end());
        out.push_back(line);
    }
    return out;
}

std::string ChildProcess::text() const
{
    std::string all;
    for (const std::string& line : lines())
        all += line + "\n";
    return all;
}

bool ChildProcess::running()
{
    if (pid_ <= 0)
        return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        pid_ = -1;
        return false;
    }
    return true;
}

void ChildProcess::stop(int graceMs)
{
    if (pid_ <= 0)
        return;
    const pid_t group = pid_;
    ::kill(-group, SIGTERM);
    for (int waited = 0; waited < graceMs && running(); waited += 50)
        sleepMs(50);
    if (pid_ > 0) {
        ::kill(-group, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        exitStatus_ = 128 + SIGKILL;
        pid_ = -1;
    }
}

} // namespace ambrel::testing
