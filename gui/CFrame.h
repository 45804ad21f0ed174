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
    // window, and the frame should be forgotten. The frame always sits at
    // (0, 0) of its window: only the size of `size` counts.
    CFrame(const CRect& size, void* systemWindow, AEffGUIEditor* editor);
    ~CFrame() override;

    bool isOpen() const { return window_ != nullptr; }
    PlatformWindow* getPlatformWindow() const { return window_.get(); }
    AEffGUIEditor* getEditor() const { return editor_; }
    void* getSystemWindow() const { return systemWindow_; }

    // Pumps the window's events (not while a control tracks the mouse),
    // then draws the dirty views into the back buffer and shows what was
    // drawn with one flush.
    virtual void idle();
    // Redraws the whole window now (into the back buffer, shown at once).
    void redraw();
    // Back-buffer area drawn and not yet shown (window coordinates).
    void addPendingFlush(const CRect& surfaceArea) { pendingFlush_.unite(surfaceArea); }
    // Shows the pending area now.
    void flushPending();

    // The pointer in frame coordinates, at the moment of asking; false (and
    // (0, 0)) without a window.
    bool getCurrentLocation(CPoint& where);
    // Button and modifier bits at the moment of asking; 0 without a window.
    long getMouseButtons();

    // The old focus view is told looseFocus. Only a view inside this frame
    // (or null) is taken.
    virtual void setFocusView(CView* view);
    CView* getFocusView() const { return focusView_; }
    // Clears the focus view without telling it, when it is `view` (a view
    // that is closing its own editing).
    void releaseFocus(CView* view);
    // A modal view takes every click and wheel event while set. False when
    // another modal view is set.
    virtual bool setModalView(CView* view);
    CView* getModalView() const { return modalView_; }

    void beginEdit(long tag);
    void endEdit(long tag);
    long getKnobMode() const;
    uint32_t getTicks() const;
    // The editor's idle pump (see AEffGUIEditor::doIdleStuff); shows what
    // the mouse handlers drew first.
    void doIdleStuff();

    void setSize(int32_t width, int32_t height);
    // A new device scale (1 or 2) for the open window, redrawn at once; the
    // size in the toolkit's own pixels stays.
    void setScale(int32_t scale);

    // Clears the focus view, then gives the click to the modal view or the
    // child under it.
    void mouse(CDrawContext* context, CPoint& where, long buttons = -1) override;
    using CViewContainer::onWheel;
    // The modal view or the child at the point; a context is made when none is given.
    bool onWheel(CDrawContext* context, const CPoint& where, CMouseWheelAxis axis, float distance) override;
    // The focus view, then the modal view: 1 when used, -1 when not.
    long onKeyDown(VstKeyCode& keyCode) override;
    long onKeyUp(VstKeyCode& keyCode) override;
    bool isTypeOf(const char* className) const override;

    // A context over the window's back buffer, or null without a window.
    // The caller forgets it.
    CDrawContext* createDrawContext();

    // Called by containers: `view` leaves the tree (the focus view inside it
    // is told looseFocus, a modal view inside it is cleared), or is destroyed
    // (both are cleared silently).
    void viewRemoved(CView* view);
    void viewDestroyed(CView* view);

    // PlatformWindowListener
    void platformMouseDown(CPoint where) override;
    void platformWheel(CPoint where, float distance, int32_t axis) override;
    void platformDraw(PlatformSurface& surface, const CRect& area) override;
    bool platformKey(const VstKeyCode& key, bool down) override;
    bool platformDrop(CPoint where, const std::vector<std::string>& paths) override;
    void platformWindowGone() override;
    void platformModalIdle() override;

    // How deep the frame is inside mouse and wheel handlers. While a
    // control tracks the mouse, events are not pumped and a second click
    // does not start a nested tracking loop.
    int32_t mouseDepth() const { return mouseDepth_; }

protected:
    AEffGUIEditor* editor_;
    void* systemWindow_;
    std::unique_ptr<PlatformWindow> window_;
    // A window the host destroyed under us: kept until no call of it can be
    // on the stack any more (the next idle from the top, or the frame's end).
    std::unique_ptr<PlatformWindow> goneWindow_;
    CView* focusView_ = nullptr;
    CView* modalView_ = nullptr;
    CRect pendingFlush_;
    int32_t mouseDepth_ = 0;
};

} // namespace VSTGUI
