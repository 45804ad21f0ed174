// Support for the Windows window tests: a host window, message pumping,
// real input from a second thread (SendInput and SetCursorPos, as a user's
// mouse and keyboard would give it), screen captures and object counts.
#pragma once

#include "gui/vstgui.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace wingui {

// A top-level window like a host's editor window, client area w x h.
class Host {
public:
    Host(int width, int height, int x = 40, int y = 40);
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;
    HWND hwnd() const { return window_; }
    // Destroys the window now (the host closing its window first).
    void destroy();

private:
    HWND window_ = nullptr;
};

// Dispatches messages and idles the frame (if any) for `ms` milliseconds.
void pump(int ms, VSTGUI::CFrame* frame = nullptr);
// The same until `done` is true or `timeoutMs` passed; false on timeout.
bool pumpUntil(const std::function<bool()>& done, int timeoutMs, VSTGUI::CFrame* frame = nullptr);

// Input given from a second thread while this one pumps messages (or sits
// in a control's mouse loop, a modal menu or a dialog).
class InputThread {
public:
    explicit InputThread(std::function<void()> script);
    ~InputThread();
    bool done() const { return done_.load(); }
    // Pumps until the script has ended; false on timeout.
    bool finish(int timeoutMs = 10000, VSTGUI::CFrame* frame = nullptr);

private:
    std::atomic<bool> done_{false};
    std::thread thread_;
};

// Used inside scripts.
void moveTo(POINT screen);
void mouseButton(DWORD flags); // MOUSEEVENTF_LEFTDOWN ...
void click(POINT screen, DWORD down = MOUSEEVENTF_LEFTDOWN, DWORD up = MOUSEEVENTF_LEFTUP);
void wheel(int delta, bool horizontal = false);
void key(WORD virtualKey, bool down);
void tapKey(WORD virtualKey);
void typeText(const std::wstring& text);
void pause(int ms);
// Waits for a visible top-level window of the class (and title, if given)
// owned by this process; null on timeout.
HWND waitForWindow(const wchar_t* className, const wchar_t* title, int timeoutMs = 5000);

// Screen point of a point in a window's client area (device pixels).
POINT screenPoint(HWND window, int x, int y);

// The pixels of a window's client area as the screen shows them, 0xFFRRGGBB.
std::vector<uint32_t> captureClient(HWND window, int& width, int& height);

// GDI objects of this process (GetGuiResources, or Wine's handle table
// where that is not implemented) and windows of this thread.
int gdiObjectCount();
int threadWindowCount();

} // namespace wingui
