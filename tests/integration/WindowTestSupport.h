// Shared pieces of the tests that drive editor windows from outside, in a
// private X server: pictures (PNG files, screen grabs, comparisons), real
// input through XTest, and programs started in the background with their
// output in a file.
#pragma once

#include "gui/Geometry.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <sys/types.h>

// Xlib's display, without its macros (None, Window...) in every test.
struct _XDisplay;

namespace ambrel::testing {

// X resource ids and key symbols, as Xlib defines them.
using XWindowId = unsigned long;
using XKeySym = unsigned long;

void sleepMs(int ms);
// Asks `condition` every `pollMs` until it holds (true) or `timeoutMs` have
// passed (false).
bool waitFor(const std::function<bool()>& condition, int timeoutMs = 10000, int pollMs = 5);

// The rectangle of a control of the editor's main page, by its layout name
// (throws when there is none).
VSTGUI::CRect controlRect(const char* name);

// --- Pictures -------------------------------------------------------------------

struct Image {
    int width = 0, height = 0;
    std::vector<uint32_t> px; // 0xRRGGBB, rows from the top

    bool empty() const { return width <= 0 || height <= 0; }
    uint32_t at(int x, int y) const { return px[static_cast<size_t>(y) * static_cast<size_t>(width) + x]; }
    Image crop(const VSTGUI::CRect& r) const;
    bool operator==(const Image& o) const { return width == o.width && height == o.height && px == o.px; }
};

bool loadPng(const std::filesystem::path& path, Image& image);
void savePng(const std::filesystem::path& path, const Image& image);

// Where two pictures of one size differ: the pixels beyond the tolerance,
// their bounding box and largest channel difference. Inside the `loose`
// rectangles a channel may differ by up to `looseLimit`; the largest
// difference met there is reported apart.
struct Difference {
    int pixels = 0; // -1: the sizes differ
    VSTGUI::CRect box;
    int largest = 0;
    int largestLoose = 0;
    std::string describe() const;
};
Difference compareImages(const Image& a, const Image& b, const std::vector<VSTGUI::CRect>& loose = {},
                         int looseLimit = 0);
// `a` darkened, with the pixels that differ from `b` in magenta.
Image differenceImage(const Image& a, const Image& b);

// --- The X server ----------------------------------------------------------------

// A connection of the test's own with XTest. Keep one for the whole run: an
// X server resets when its last client goes, and refuses connections for a
// moment while it does.
class Desktop {
public:
    Desktop();
    ~Desktop();
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    bool ok() const { return display_ != nullptr; }
    _XDisplay* display() const { return display_; }

    // Real input, in root coordinates; each call waits until the server has it.
    void move(int x, int y);
    void button(bool down, unsigned button = 1);
    void key(XKeySym symbol, bool down);
    void tap(XKeySym symbol);

    // Screen pixels of a rectangle in root coordinates (child windows
    // included: there is no compositor).
    Image grab(int x, int y, int width, int height);

    // A viewable window of exactly this size anywhere in the tree, and its
    // top-left corner in root coordinates; 0 when there is none.
    XWindowId findWindowOfSize(int width, int height, int& rootX, int& rootY);
    // A viewable top-level window whose name contains `text`; 0 when none.
    XWindowId findWindowNamed(const std::string& text, int& rootX, int& rootY, int& width, int& height);

private:
    _XDisplay* display_ = nullptr;
};

Desktop& desktop();

// --- Programs in the background -----------------------------------------------------

// A program started in a process group of its own, standard output and
// error into a file; stopped (the whole group) when the object goes.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess() { stop(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool start(const std::vector<std::string>& argv, const std::vector<std::pair<std::string, std::string>>& env,
               const std::filesystem::path& log);
    // Complete lines of the output so far, without carriage returns.
    std::vector<std::string> lines() const;
    std::string text() const;
    bool running();
    // The exit code, or 128 + the signal; -1 while running.
    int exitStatus() const { return exitStatus_; }
    // SIGTERM to the group, SIGKILL after `graceMs`.
    void stop(int graceMs = 5000);

private:
    std::filesystem::path log_;
    pid_t pid_ = -1;
    int exitStatus_ = -1;
};

} // namespace ambrel::testing
