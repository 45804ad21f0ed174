// What the window tests need of a host: a top-level window on a connection
// of the test's own, screenshots, real input through XTest, the display's
// resources, and a helper thread for the moments our layer runs a modal loop.
#pragma once

#include <X11/Xlib.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace x11test {

// A connection of the test's own (the "host's").
class HostDisplay {
public:
    HostDisplay();
    ~HostDisplay();
    Display* get() const { return display_; }
    explicit operator bool() const { return display_ != nullptr; }

private:
    Display* display_;
};

// A mapped top-level window, as a host makes for a plug-in's editor.
class HostWindow {
public:
    HostWindow(Display* display, int width, int height, int x = 0, int y = 0);
    ~HostWindow();
    Window id() const { return window_; }
    void* handle() const { return reinterpret_cast<void*>(static_cast<uintptr_t>(window_)); }
    // Root coordinates of a point of the window.
    void toRoot(int x, int y, int& rootX, int& rootY) const;
    // Destroys the window now (the host closing before effEditClose).
    void destroy();

private:
    Display* display_;
    Window window_;
};

// The pixels of a window's area, 0xFFRRGGBB, children included.
std::vector<uint32_t> capture(Display* display, Window window, int x, int y, int width, int height);
// Writes a screenshot as a binary PPM (for looking at it when a test fails).
void writePpm(const std::string& path, const std::vector<uint32_t>& pixels, int width, int height);

// Real input through XTest on a connection of its own.
class Input {
public:
    Input();
    ~Input();
    void move(int rootX, int rootY);
    void button(unsigned int button, bool down);
    void click(unsigned int button = 1);
    void key(unsigned long keysym, bool down);
    void tap(unsigned long keysym);
    // Types ASCII text key by key (Shift where needed).
    void type(const std::string& text);
    void sync();
    Display* display() const { return display_; }

private:
    Display* display_;
};

// Sets RESOURCE_MANAGER on the root window (empty text removes it).
void setResources(Display* display, const std::string& text);

// Runs `work` on a thread of its own after `ready` answered true (polled
// every 10 ms, up to `timeoutMs`); join() waits for it.
class Helper {
public:
    Helper(std::function<bool()> ready, std::function<void()> work, int timeoutMs = 5000);
    ~Helper();
    void join();
    bool ran() const { return ran_; }

private:
    std::atomic<bool> ran_{false};
    std::thread thread_;
};

// A mapped override-redirect top-level window (our menus), or 0.
Window findPopup(Display* display, Window after = 0);
// Waits up to `timeoutMs` for a popup (findPopup), then a moment more for
// the menu to take the pointer and keyboard; 0 when none showed.
Window waitForPopup(Display* display, int timeoutMs = 20000);
// Ends a menu still open after a helper's input (a click or keys that went
// astray must fail the test, not leave it waiting in the menu's loop).
void closeLeftoverMenu(Input& input);
// A viewable window with this WM_NAME anywhere under the root, or 0.
Window findWindowByName(Display* display, const std::string& name);
bool windowGeometry(Display* display, Window window, int& rootX, int& rootY, int& width, int& height);

// Open file descriptors and attached System V shared-memory segments of this process.
int openDescriptors();
int sharedMemorySegments();

// Milliseconds since an arbitrary start.
uint64_t nowMs();
void sleepMs(int ms);

} // namespace x11test
