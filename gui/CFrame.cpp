#include "gui/CFrame.h"

#include "gui/AEffGUIEditor.h"

#include <cstring>

namespace VSTGUI {

namespace {
// True when `view` is `candidate` or holds it.
bool viewHolds(const CView* view, const CView* candidate)
{
    for (const CView* v = candidate; v; v = v->getParentView())
        if (v == view)
            return true;
    return false;
}
} // namespace

CFrame::CFrame(const CRect& size, void* systemWindow, AEffGUIEditor* editor)
    : CViewContainer(CRect(0, 0, size.width(), size.height())), editor_(editor), systemWindow_(systemWindow)
{
    frame_ = this;
    if (systemWindow_ && !size_.isEmpty()) {
        WindowSpec desc;
        desc.parent = systemWindow_;
        desc.width = size_.width();
        desc.height = size_.height();
        desc.scale = editor_ ? editor_->windowScale(systemWindow_) : platform().preferredScale(systemWindow_);
        window_ = platform().createWindow(desc, this);
    }
    setDirty(true);
}

CFrame::~CFrame()
{
    // An open text field commits while its window still exists.
    if (focusView_) {
        CView* old = focusView_;
        focusView_ = nullptr;
        old->looseFocus(nullptr);
    }
    modalView_ = nullptr;
    removeAll(true);
    window_.reset();
    goneWindow_.reset();
}

CDrawContext* CFrame::createDrawContext()
{
    if (!window_)
        return nullptr;
    return new CDrawContext(this, &window_->backBuffer());
}

void CFrame::flushPending()
{
    CRect area = pendingFlush_;
    pendingFlush_ = CRect();
    area.bound(CRect(0, 0, size_.width(), size_.height()));
    if (window_ && !area.isEmpty())
        window_->flush(area);
}

void CFrame::idle()
{
    if (mouseDepth_ == 0) {
        goneWindow_.reset();
        if (window_)
            window_->pumpEvents(); // may end with the window gone
    }
    if (!window_)
        return;
    remember(); // a view's drawing must not end the frame under us
    if (hasDirtyViews()) {
        CDrawContext context(this, &window_->backBuffer());
        redrawDirtyViews(&context);
    }
    flushPending();
    forget();
}

void CFrame::redraw()
{
    if (!window_)
        return;
    {
        CDrawContext context(this, &window_->backBuffer());
        prepareDraw();
        drawRect(&context, size_);
        finishDraw();
    }
    addPendingFlush(size_);
    flushPending();
}

bool CFrame::getCurrentLocation(CPoint& where)
{
    if (!window_) {
        where = CPoint();
        return false;
    }
    where = window_->getMouseLocation();
    return true;
}

long CFrame::getMouseButtons() { return window_ ? window_->getMouseButtons() : 0; }

void CFrame::setFocusView(CView* view)
{
    if (view == focusView_)
        return;
    if (view && view->getFrame() != this)
        return;
    CView* old = focusView_;
    focusView_ = view;
    if (old)
        old->looseFocus(nullptr);
}

void CFrame::releaseFocus(CView* view)
{
    if (view && focusView_ == view)
        focusView_ = nullptr;
}

bool CFrame::setModalView(CView* view)
{
    if (view && modalView_ && view != modalView_)
        return false;
    if (view && view->getFrame() != this)
        return false;
    modalView_ = view;
    return true;
}

void CFrame::viewRemoved(CView* view)
{
    if (viewHolds(view, modalView_))
        modalView_ = nullptr;
    if (viewHolds(view, focusView_))
        setFocusView(nullptr);
}

void CFrame::viewDestroyed(CView* view)
{
    if (modalView_ == view)
        modalView_ = nullptr;
    if (focusView_ == view)
        focusView_ = nullptr;
}

void CFrame::beginEdit(long tag)
{
    if (editor_)
        editor_->beginEdit(tag);
}

void CFrame::endEdit(long tag)
{
    if (editor_)
        editor_->endEdit(tag);
}

long CFrame::getKnobMode() const { return AEffGUIEditor::getKnobMode(); }

uint32_t CFrame::getTicks() const { return platform().ticks(); }

void CFrame::doIdleStuff()
{
    flushPending();
    if (editor_)
        editor_->doIdleStuff();
    else
        idle();
}

void CFrame::setSize(int32_t width, int32_t height)
{
    if (width <= 0 || height <= 0)
        return;
    size_ = CRect(0, 0, width, height);
    mouseableArea_ = size_;
    if (window_)
        window_->setSize(width, height, window_->scale());
    setDirty(true);
}

void CFrame::setScale(int32_t scale)
{
    if (!window_ || (scale != 1 && scale != 2) || scale == window_->scale())
        return;
    window_->setSize(size_.width(), size_.height(), scale);
    setDirty(true);
    redraw();
}

void CFrame::mouse(CDrawContext* context, CPoint& where, long buttons)
{
    setFocusView(nullptr);
    if (!window_)
        return;
    ++mouseDepth_;
    remember();
    if (CView* modal = modalView_) {
        // The modal view gets the point in its parent's coordinates and a
        // context at its parent's origin.
        CPoint local = modal->frameToParent(where);
        CPoint saved;
        if (context) {
            saved = context->getOffset();
            context->setOffset(modal->parentToFrame(CPoint()));
        }
        modal->remember();
        modal->mouse(context, local, buttons);
        modal->forget();
        if (context)
            context->setOffset(saved);
    } else {
        CViewContainer::mouse(context, where, buttons);
    }
    --mouseDepth_;
    forget();
}

bool CFrame::onWheel(CDrawContext* context, const CPoint& where, CMouseWheelAxis axis, float distance)
{
    if (!window_)
        return false;
    CDrawContext* own = nullptr;
    if (!context) {
        own = createDrawContext();
        context = own;
    }
    bool used = false;
    ++mouseDepth_;
    remember();
    if (CView* modal = modalView_) {
        CPoint local = modal->frameToParent(where);
        CPoint saved = context->getOffset();
        context->setOffset(modal->parentToFrame(CPoint()));
        modal->remember();
        used = modal->onWheel(context, local, axis, distance);
        modal->forget();
        context->setOffset(saved);
    } else {
        used = CViewContainer::onWheel(context, where, axis, distance);
    }
    --mouseDepth_;
    if (own)
        own->forget();
    flushPending();
    forget();
    return used;
}

long CFrame::onKeyDown(VstKeyCode& keyCode)
{
    long result = -1;
    if (focusView_)
        result = focusView_->onKeyDown(keyCode);
    if (result == -1 && modalView_)
        result = modalView_->onKeyDown(keyCode);
    return result;
}

long CFrame::onKeyUp(VstKeyCode& keyCode)
{
    long result = -1;
    if (focusView_)
        result = focusView_->onKeyUp(keyCode);
    if (result == -1 && modalView_)
        result = modalView_->onKeyUp(keyCode);
    return result;
}

bool CFrame::isTypeOf(const char* className) const
{
    return (className && std::strcmp(className, "CFrame") == 0) || CViewContainer::isTypeOf(className);
}

void CFrame::platformMouseDown(CPoint where)
{
    // A click that reaches us while a control tracks the mouse (a host that
    // pumps messages in its idle) must not start a second tracking loop.
    if (mouseDepth_ > 0)
        return;
    CDrawContext* context = createDrawContext();
    if (!context)
        return;
    remember();
    mouse(context, where, -1);
    context->forget();
    // Whatever the handlers drew outside idle is shown now.
    flushPending();
    forget();
}

void CFrame::platformWheel(CPoint where, float distance, int32_t axis)
{
    if (mouseDepth_ > 0)
        return;
    onWheel(nullptr, where, axis == kMouseWheelAxisX ? kMouseWheelAxisX : kMouseWheelAxisY, distance);
}

void CFrame::platformDraw(PlatformSurface& surface, const CRect& area)
{
    CDrawContext context(this, &surface);
    context.setReportsDrawing(false);
    remember();
    drawArea(&context, area);
    forget();
}

bool CFrame::platformKey(const VstKeyCode& key, bool down)
{
    VstKeyCode copy = key;
    return (down ? onKeyDown(copy) : onKeyUp(copy)) == 1;
}

bool CFrame::platformDrop(CPoint where, const std::vector<std::string>& paths)
{
    CDrawContext* context = createDrawContext();
    remember();
    bool taken = CViewContainer::onDrop(context, paths, where);
    if (context)
        context->forget();
    flushPending();
    forget();
    return taken;
}

void CFrame::platformModalIdle() { doIdleStuff(); }

void CFrame::platformWindowGone()
{
    // The host destroyed its window first. Drop the window: mouse loops end
    // (no buttons), idle and drawing do nothing. The window object is kept
    // until no call of it can be on the stack, so a native field can still
    // close under it: the focus view (an open text field) commits its text.
    goneWindow_ = std::move(window_);
    if (focusView_) {
        CView* old = focusView_;
        focusView_ = nullptr;
        old->looseFocus(nullptr);
    }
}

} // namespace VSTGUI
