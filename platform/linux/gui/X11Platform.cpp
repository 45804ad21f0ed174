// The toolkit's platform on Linux: X11 windows on connections of our own,
// drawn with the software raster; the skin compiled into the binary.
#include "gui/Platform.h"
#include "gui/SharedBitmaps.h"
#include "platform/linux/gui/X11Dialogs.h"
#include "platform/software/SoftwareRaster.h"

#include <cerrno>
#include <cstdio>
#include <ctime>

namespace x11gui {

void showMessage(X11Window* window, const std::string& caption, const std::string& text);
std::optional<std::string> runFileDialog(X11Window* window, const VSTGUI::FileDialogSpec& desc);

namespace {

constexpr uint32_t kDefaultDoubleClickTime = 400;
constexpr uint32_t kSettingsLifetime = 250; // ms the display's settings are trusted

class X11Platform final : public VSTGUI::Platform {
public:
    std::unique_ptr<VSTGUI::PlatformWindow> createWindow(const VSTGUI::WindowSpec& desc,
                                                         VSTGUI::PlatformWindowListener* listener) override
    {
        return X11Window::create(desc, listener);
    }

    int32_t preferredScale(void*) override
    {
        if (const int forced = scaleFromEnvironment())
            return forced;
        return settings().dpi >= 144 ? 2 : 1;
    }

    std::shared_ptr<VSTGUI::PlatformBitmap> loadBitmap(int32_t resourceId) override
    {
        return bitmaps_.load(resourceId);
    }

    std::unique_ptr<VSTGUI::PlatformOffscreen> createOffscreen(int32_t width, int32_t height, int32_t scale) override
    {
        if (width <= 0 || height <= 0)
            return nullptr;
        return std::make_unique<softraster::SoftwareSurface>(width, height, scale);
    }

    uint32_t ticks() override { return x11gui::ticks(); }

    void sleep(uint32_t milliseconds) override
    {
        timespec delay{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
        while (nanosleep(&delay, &delay) != 0 && errno == EINTR) {
        }
    }

    uint32_t doubleClickTime() override
    {
        const int fromResources = settings().multiClickTime;
        return fromResources > 0 ? static_cast<uint32_t>(fromResources) : kDefaultDoubleClickTime;
    }

    void messageBox(VSTGUI::PlatformWindow* window, const std::string& caption, const std::string& text) override
    {
        showMessage(dynamic_cast<X11Window*>(window), caption, text);
    }

    std::optional<std::string> fileDialog(VSTGUI::PlatformWindow* window, const VSTGUI::FileDialogSpec& desc) override
    {
        return runFileDialog(dynamic_cast<X11Window*>(window), desc);
    }

private:
    // The display's resources, read again after a while (the user may
    // change the scale between two editors).
    const DisplayResources& settings()
    {
        const uint32_t now = x11gui::ticks();
        if (!settingsValid_ || now - settingsRead_ > kSettingsLifetime) {
            settings_ = DisplayResources();
            if (Display* display = openDisplay()) {
                settings_ = readResources(display);
                closeDisplay(display);
            }
            settingsRead_ = now;
            settingsValid_ = true;
        }
        return settings_;
    }

    VSTGUI::SharedBitmaps bitmaps_{[](int32_t id) -> std::shared_ptr<VSTGUI::PlatformBitmap> {
        return softraster::SoftwareBitmap::load(softraster::embeddedSkin(), id);
    }};
    DisplayResources settings_;
    uint32_t settingsRead_ = 0;
    bool settingsValid_ = false;
};

} // namespace
} // namespace x11gui

namespace VSTGUI {

Platform& defaultPlatform()
{
    static x11gui::X11Platform instance;
    return instance;
}

} // namespace VSTGUI
