// The root of the view tree: owns the editor's child window of the host's
// window, routes the mouse, wheel and keys, keeps the focus and modal views
// and redraws dirty views when the host idles the editor.
#pragma once

#include "gui/CView.h"

#include <memory>

namespace VSTGUI {

class AEffGUIEditor;

class CFrame : public CViewContainer, public PlatformWindowListener {
public:
    // Creates the window in `systemWindow` (the host's parent). isOpen()
    // tells whether that worked: without a parent or a display there is no
    // window, and the frame should be forgotten.
    CFrame(const CRect& size, void* systemWindow, AEffGUIEditor* editor);
    ~CFrame() override;

    bool isOpen() const { return window_ != nullptr; }
    PlatformWindow* getPlatformWindow() const { return window_.get(); }
    AEffGUIEditor* getEditor() const { return editor_; }
    void* getSystemWindow() const { return systemWindow_; }

    // Pumps the window's events, then draws the dirty views into the back
    // buffer and shows them with one flush.
    virtual void idle();
    // Redraws the whole window now (into the back buffer, shown at once).
    void redraw();
    // Area of the back buffer drawn outside idle, shown at the next idle.
    void addPendingFlush(const CRect& surfaceArea) { pendingFlush_.unite(surfaceArea); }

    // The pointer in frame coordinates, at the moment of asking.
    bool getCurrentLocation(CPoint& where);
    long getMouseButtons();

    // The old focus view is told looseFocus.
    virtual void setFocusView(CView* view);
    CView* getFocusView() const { return focusView_; }
    // A modal view takes every click and wheel event while set.
    virtual bool setModalView(CView* view);
    CView* getModalView() const { return modalView_; }

    void beginEdit(long tag);
    void endEdit(long tag);
    long getKnobMode() const;
    uint32_t getTicks() const;
    // The editor's idle pump (see AEffGUIEditor::doIdleStuff).
    void doIdleStuff();

    void setSize(int32_t width, int32_t height);

    void draw(CDrawContext* context) override;
    void drawRect(CDrawContext* context, const CRect& updateRect) override;
    // Clears the focus view, then gives the click to the modal view or the child under it.
    void mouse(CDrawContext* context, CPoint& where, long buttons = -1) override;
    using CViewContainer::onWheel;
    // The modal view or the child at the point; a context is made when none is given.
    bool onWheel(CDrawContext* context, const CPoint& where, CMouseWheelAxis axis, float distance) override;
    long onKeyDown(VstKeyCode& keyCode) override;
    long onKeyUp(VstKeyCode& keyCode) override;
    bool isTypeOf(const char* className) const override;

    // A context over the window's back buffer, or null without a window.
    // The caller forgets it.
    CDrawContext* createDrawContext();

    // PlatformWindowListener
    void platformMouseDown(CPoint where) override;
    void platformWheel(CPoint where, float distance, int32_t axis) override;
    void platformDraw(PlatformSurface& surface, const CRect& area) override;
    bool platformKey(const VstKeyCode& key, bool down) override;
    bool platformDrop(CPoint where, const std::vector<std::string>& paths) override;
    void platformWindowGone() override;

    // How deep the frame is inside mouse handlers (nested event delivery
    // is held back while a control tracks the mouse).
    int32_t mouseDepth() const { return mouseDepth_; }

protected:
    void flushPending();

    AEffGUIEditor* editor_;
    void* systemWindow_;
    std::unique_ptr<PlatformWindow> window_;
    CView* focusView_ = nullptr;
    CView* modalView_ = nullptr;
    CRect pendingFlush_;
    int32_t mouseDepth_ = 0;
};

} // namespace VSTGUI
