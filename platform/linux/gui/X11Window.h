// The editor's child window of the host's X window, on a display connection
// of its own, with a software back buffer blitted to it; the single-line text
// field and the pop-up menus that live on the same connection.
#pragma once

#include "gui/Platform.h"
#include "platform/linux/gui/X11Support.h"
#include "platform/software/SoftwareRaster.h"

#include <functional>
#include <memory>
#include <vector>

namespace x11gui {

class X11TextField;

class X11Window final : public VSTGUI::PlatformWindow {
public:
    // Null when the display cannot be opened or the parent is not a window
    // that can hold ours.
    static std::unique_ptr<X11Window> create(const VSTGUI::WindowSpec& desc, VSTGUI::PlatformWindowListener* listener);
    ~X11Window() override;

    void* nativeHandle() const override;
    int32_t scale() const override { return scale_; }
    VSTGUI::PlatformSurface& backBuffer() override { return back_; }
    void flush(const VSTGUI::CRect& area) override;
    void invalidate(const VSTGUI::CRect& area) override;
    void pumpEvents() override;
    void dispatchPendingPaint() override;
    int32_t getMouseButtons() override;
    VSTGUI::CPoint getMouseLocation() override;
    void setSize(int32_t width, int32_t height, int32_t scale) override;
    std::unique_ptr<VSTGUI::PlatformTextField> createTextField(const VSTGUI::TextFieldSpec& desc,
                                                               VSTGUI::PlatformTextFieldListener* listener) override;
    VSTGUI::MenuResult popupMenu(const VSTGUI::MenuModel& menu, VSTGUI::CPoint where) override;

    // --- For the field, the menus and the dialogs on this connection --------
    Display* display() const { return display_; }
    Window window() const { return window_; }
    Window hostParent() const { return parent_; }
    int screen() const { return screen_; }
    Visual* visual() const { return visual_; }
    int depth() const { return depth_; }
    Colormap colormap() const { return colormap_; }
    unsigned int alt() const { return altMask_; }
    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    bool isGone() const { return gone_; }
    bool usesSharedMemory() const { return blitter_ && blitter_->usesSharedMemory(); }
    softraster::SoftwareSurface& surface() { return back_; }
    VSTGUI::PlatformWindowListener* listener() const { return listener_; }

    // Handles one event of this connection that a modal loop (menu, message,
    // dialog) does not take itself: paints, the window's destruction, the
    // text field's selection traffic. Mouse buttons and keys of the editor
    // window are dropped there. `destroyed` becomes true when a listener
    // destroyed this object.
    void handlePassiveEvent(XEvent& event);
    // Draws and shows the areas waiting for a paint.
    void paintPending();
    // Copies a device rectangle of the back buffer to the screen.
    void blitDevice(int left, int top, int right, int bottom);
    // Runs a listener call; false when the call destroyed this object.
    template <typename Call>
    bool callListener(Call&& call);

    // Something drawn over the back buffer on the screen (a message
    // panel): flushes then show the back buffer with it on top. Null ends it.
    void setOverlay(std::function<void(softraster::SoftwareSurface&)> painter);
    // While a modal loop of ours runs (dialogs, messages), the pump takes no
    // input of the editor window: only paints and the window's end.
    void enterModal() { ++modalDepth_; }
    void leaveModal() { --modalDepth_; }
    bool isModal() const { return modalDepth_ > 0; }

    void addField(X11TextField* field);
    void removeField(X11TextField* field);
    X11TextField* fieldFor(Window window) const;

private:
    X11Window() = default;
    void dispatch(XEvent& event);
    void addExpose(int x, int y, int width, int height);
    VSTGUI::CPoint toUnscaled(int x, int y) const;

    Display* display_ = nullptr;
    Window parent_ = 0;
    Window window_ = 0;
    int screen_ = 0;
    Visual* visual_ = nullptr;
    int depth_ = 0;
    Colormap colormap_ = 0;
    bool ownColormap_ = false;
    GC gc_ = nullptr;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t scale_ = 1;
    unsigned int altMask_ = Mod1Mask;
    softraster::SoftwareSurface back_{0, 0, 1};
    std::unique_ptr<Blitter> blitter_;
    VSTGUI::PlatformWindowListener* listener_ = nullptr;
    VSTGUI::CRect pendingPaint_;
    bool gone_ = false;
    bool goneReported_ = false;
    bool* destroyedFlag_ = nullptr;
    // The state a button press was made with, answered to the first
    // question while the press is delivered: the idle pump may come after
    // a short click's release, and the control must still see its click.
    int32_t pressState_ = 0;
    bool pressStateValid_ = false;
    std::vector<X11TextField*> fields_;
    std::function<void(softraster::SoftwareSurface&)> overlay_;
    std::unique_ptr<softraster::SoftwareSurface> composed_;
    int modalDepth_ = 0;
};

template <typename Call>
bool X11Window::callListener(Call&& call)
{
    bool destroyed = false;
    bool* outer = destroyedFlag_;
    destroyedFlag_ = &destroyed;
    call();
    if (destroyed) {
        if (outer)
            *outer = true;
        return false;
    }
    destroyedFlag_ = outer;
    return true;
}

// Runs a pop-up menu on the window's connection; see PlatformWindow::popupMenu.
VSTGUI::MenuResult runPopupMenu(X11Window& owner, const VSTGUI::MenuModel& menu, VSTGUI::CPoint where);

std::unique_ptr<VSTGUI::PlatformTextField> makeTextField(X11Window& owner, const VSTGUI::TextFieldSpec& desc,
                                                         VSTGUI::PlatformTextFieldListener* listener);

// The text field's side of event delivery.
class X11TextField : public VSTGUI::PlatformTextField {
public:
    virtual Window window() const = 0;
    // An event for the field's window (or its selection traffic). May end
    // with the listener destroying the field.
    virtual void handleEvent(XEvent& event) = 0;
    // Called at every pump: the caret's blinking.
    virtual void tick() = 0;
    // The window is going away first: the field does nothing from now on.
    virtual void detach() = 0;
};

} // namespace x11gui
