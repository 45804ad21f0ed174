// The top-level window the command-line host opens a plug-in's editor in,
// as a digital audio workstation does: a window of the editor's size whose
// native handle (an X window id on Linux, an HWND on Windows) is handed to
// effEditOpen as the parent. One implementation per platform, compiled into
// the tools only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace toolplatform {

class EditorHostWindow {
public:
    // Opens the window system (on Linux the display named by $DISPLAY) and
    // creates a visible window with a client area of `width` x `height`
    // pixels. Returns null and says why in `error` when there is no display
    // or the window cannot be made; `noDisplay` tells that case apart.
    static std::unique_ptr<EditorHostWindow> create(const std::string& title, int width, int height,
                                                    std::string& error, bool* noDisplay = nullptr);

    // Whether a window can be made at all (on Linux: whether the display
    // opens). Hosts check this before they ask the plug-in anything about
    // its editor: some editors build their window system state as soon as
    // they are asked for the rectangle and do not survive a missing display.
    static bool windowSystemAvailable(std::string& error);

    virtual ~EditorHostWindow() = default;

    // The value a host passes as effEditOpen's pointer.
    virtual void* parentHandle() const = 0;

    // Changes the client area's size.
    virtual void resize(int width, int height) = 0;
    virtual int width() const = 0;
    virtual int height() const = 0;

    // The client area's top-left corner in screen (root window) coordinates.
    virtual void clientOrigin(int& x, int& y) = 0;

    // Handles the events waiting for this window. Returns false once the
    // user has asked to close it; the window stays until it is destroyed, so
    // the editor can be closed first.
    virtual bool processEvents() = 0;

    // Reads the pixels of the client area, child windows included, as 8-bit
    // RGB rows from the top.
    virtual bool capture(std::vector<std::uint8_t>& rgb, int& width, int& height, std::string& error) = 0;
};

// A monotonic clock in milliseconds and a sleep, for pacing idle and audio.
double monotonicMilliseconds();
void sleepMilliseconds(double milliseconds);

// Sets (or with an empty value removes) a variable in the process's
// environment, so a plug-in loaded afterwards sees it.
void setEnvironment(const char* name, const std::string& value);

} // namespace toolplatform
