// The frame's child window, its native text field and its pop-up menu.
#pragma once

#include "Win32Gui.h"

#include <ole2.h>

#include <map>
#include <vector>

namespace VSTGUI::win32 {

class EditField;
class DropTarget;
struct MenuSession;

// A key message's VstKeyCode (virtual key, or the character it types).
VstKeyCode keyCodeFromMessage(WPARAM virtualKey, LPARAM flags);

// The drop target registered for a frame window (tests hand it data).
IDropTarget* dropTargetOf(HWND frameWindow);

// Pop-up menus (Win32Menu.cpp): owner drawing of the tracked menu.
void measureMenuItem(MenuSession& session, MEASUREITEMSTRUCT& item);
void drawMenuItem(MenuSession& session, const DRAWITEMSTRUCT& item);

class FrameWindow final : public PlatformWindow {
public:
    FrameWindow(PlatformWindowListener* listener, int32_t width, int32_t height, int32_t scale);
    ~FrameWindow() override;
    // Creates the window in `parent`; false when that fails.
    bool create(HWND parent);

    void* nativeHandle() const override { return window_; }
    int32_t scale() const override { return scale_; }
    PlatformSurface& backBuffer() override { return *back_; }
    void flush(const CRect& area) override;
    void invalidate(const CRect& area) override;
    void pumpEvents() override {}
    void dispatchPendingPaint() override;
    int32_t getMouseButtons() override;
    CPoint getMouseLocation() override;
    void setSize(int32_t width, int32_t height, int32_t scale) override;
    std::unique_ptr<PlatformTextField> createTextField(const TextFieldSpec& desc,
                                                       PlatformTextFieldListener* listener) override;
    MenuResult popupMenu(const MenuModel& menu, CPoint where) override;

    HWND handle() const { return window_; }
    PlatformWindowListener* listener() const { return listener_; }
    IDropTarget* dropTarget() const;
    // Window (1x) coordinates of a client point in device pixels, and back.
    CPoint fromDevice(int x, int y) const;
    // The field whose colours WM_CTLCOLOREDIT asks for.
    void addField(EditField* field) { fields_.push_back(field); }
    void removeField(EditField* field);

    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void paint();

    PlatformWindowListener* listener_;
    int32_t width_;
    int32_t height_;
    int32_t scale_;
    HWND window_ = nullptr;
    std::unique_ptr<GdiSurface> back_;
    DropTarget* dropTarget_ = nullptr;
    bool oleInitialized_ = false;
    bool classHeld_ = false;
    bool destroying_ = false; // our own DestroyWindow is under way
    // The buttons and modifiers as of the last button-down message: the
    // answer to the first read while it is handled, and the buttons until
    // the asynchronous state shows them (Wine caches that state for a few
    // milliseconds, so a read right after the click may still say "up").
    int32_t downState_ = 0;
    bool downFirstRead_ = false;
    DWORD downTime_ = 0;
    std::vector<EditField*> fields_;
    MenuSession* menu_ = nullptr;
};

// The native single-line field: an "EDIT" child of the frame window,
// subclassed for Return, Escape and focus loss.
class EditField final : public PlatformTextField {
public:
    EditField(FrameWindow& owner, const TextFieldSpec& desc, PlatformTextFieldListener* listener);
    ~EditField() override;
    bool isValid() const { return edit_ != nullptr; }

    std::string getText() const override;
    bool handleKey(const VstKeyCode& key, bool down) override;

    HWND handle() const { return edit_; }
    // The frame window is going: the field lets go of it (the native field
    // goes with it).
    void ownerGone();
    // WM_CTLCOLOREDIT: the colours, and the brush of the back colour.
    HBRUSH colors(HDC dc) const;

private:
    static LRESULT CALLBACK editProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // Closes on Return (commit) or Escape: gives the keyboard back, then
    // tells the listener, which destroys the field. Nothing of `this` may be
    // touched after it.
    void finish(bool commit);
    void detach();

    FrameWindow* owner_;
    PlatformTextFieldListener* listener_;
    HWND edit_ = nullptr;
    WNDPROC editDefault_ = nullptr;
    HWND previousFocus_ = nullptr;
    HFONT font_ = nullptr;
    HBRUSH brush_ = nullptr;
    COLORREF text_ = 0;
    COLORREF back_ = 0;
    bool closing_ = false;
};

} // namespace VSTGUI::win32
