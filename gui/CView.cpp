#include "gui/CView.h"

#include "gui/CFrame.h"

#include <algorithm>
#include <cstring>

namespace VSTGUI {

// --- CBitmap -----------------------------------------------------------------

CBitmap::CBitmap(long resourceId) : resourceId_(resourceId), image_(platform().loadBitmap(static_cast<int32_t>(resourceId)))
{
}

int32_t CBitmap::getWidth() const { return image_ ? image_->width() : 0; }
int32_t CBitmap::getHeight() const { return image_ ? image_->height() : 0; }

namespace {
void drawBitmapWith(const PlatformBitmap* image, CDrawContext* context, const CRect& rect, const CPoint& offset,
                    BlendMode mode, CColor transparent, uint8_t alpha)
{
    if (!image || !context || !context->getSurface() || rect.isEmpty())
        return;
    context->getSurface()->drawBitmap(*image, context->toSurface(rect), offset, mode, transparent, alpha);
    context->markDrawn(rect);
}
} // namespace

void CBitmap::draw(CDrawContext* context, const CRect& rect, const CPoint& offset)
{
    drawBitmapWith(image_.get(), context, rect, offset, BlendMode::kCopy, transparentColor_, 255);
}

void CBitmap::drawTransparent(CDrawContext* context, const CRect& rect, const CPoint& offset)
{
    drawBitmapWith(image_.get(), context, rect, offset, BlendMode::kTransparent, transparentColor_, 255);
}

void CBitmap::drawAlphaBlend(CDrawContext* context, const CRect& rect, const CPoint& offset, unsigned char alpha)
{
    drawBitmapWith(image_.get(), context, rect, offset, BlendMode::kAlpha, transparentColor_, alpha);
}

// --- CDrawContext ------------------------------------------------------------

CDrawContext::CDrawContext(CFrame* frame, PlatformSurface* surface) : frame_(frame), surface_(surface)
{
    if (surface_)
        baseClip_ = surface_->getClip();
    PlatformWindow* window = frame_ ? frame_->getPlatformWindow() : nullptr;
    reportsDrawing_ = window && surface_ == &window->backBuffer();
}

CDrawContext::~CDrawContext()
{
    if (surface_)
        surface_->setClip(baseClip_);
}

CRect CDrawContext::toSurface(const CRect& rect) const
{
    CRect r = rect;
    r.offset(offset_.h, offset_.v);
    return r;
}

void CDrawContext::noteDrawn(const CRect& surfaceRect)
{
    if (!reportsDrawing_ || !frame_)
        return;
    CRect r = surfaceRect;
    r.bound(surface_->getClip());
    frame_->addPendingFlush(r);
}

void CDrawContext::setClipRect(const CRect& clip)
{
    if (!surface_)
        return;
    CRect r = toSurface(clip);
    r.bound(baseClip_);
    surface_->setClip(r);
}

CRect CDrawContext::getClipRect() const
{
    if (!surface_)
        return CRect();
    CRect r = surface_->getClip();
    if (r.isEmpty())
        return CRect();
    r.offset(-offset_.h, -offset_.v);
    return r;
}

void CDrawContext::resetClipRect()
{
    if (surface_)
        surface_->setClip(baseClip_);
}

void CDrawContext::setFont(int32_t fontId, int32_t /*size*/, int32_t face)
{
    fontId_ = validFontId(fontId);
    if (face >= 0)
        face_ = face;
}

void CDrawContext::lineTo(const CPoint& point)
{
    if (surface_) {
        CPoint from = pen_, to = point;
        from.offset(offset_.h, offset_.v);
        to.offset(offset_.h, offset_.v);
        surface_->drawLine(from, to, frameColor_);
        noteDrawn(CRect(std::min(from.h, to.h), std::min(from.v, to.v), std::max(from.h, to.h) + 1,
                        std::max(from.v, to.v) + 1));
    }
    pen_ = point;
}

void CDrawContext::fillRect(const CRect& rect)
{
    if (!surface_)
        return;
    surface_->fillRect(toSurface(rect), fillColor_);
    noteDrawn(toSurface(rect));
}

void CDrawContext::drawRect(const CRect& rect)
{
    if (!surface_)
        return;
    surface_->frameRect(toSurface(rect), frameColor_);
    noteDrawn(toSurface(rect));
}

void CDrawContext::drawString(const char* text, const CRect& rect, bool opaque, int32_t align)
{
    if (!surface_ || !text)
        return;
    if (opaque)
        surface_->fillRect(toSurface(rect), fillColor_);
    int32_t face = face_;
    if (kFontMetrics[fontId_].alwaysBold)
        face |= kBoldFace;
    surface_->drawText(text, toSurface(rect), fontId_, face, fontColor_, align);
    noteDrawn(toSurface(rect));
}

int32_t CDrawContext::getStringWidth(const char* text)
{
    if (!surface_ || !text)
        return 0;
    int32_t face = face_;
    if (kFontMetrics[fontId_].alwaysBold)
        face |= kBoldFace;
    return surface_->textWidth(text, fontId_, face);
}

long CDrawContext::getMouseButtons() { return frame_ ? frame_->getMouseButtons() : 0; }

void CDrawContext::getMouseLocation(CPoint& point)
{
    CPoint where;
    if (frame_)
        frame_->getCurrentLocation(where);
    where.offset(-offset_.h, -offset_.v);
    point = where;
}

// --- COffscreenContext -------------------------------------------------------

COffscreenContext::COffscreenContext(CFrame* frame, long width, long height, const CColor& backgroundColor)
    : COffscreenContext(frame, width, height,
                        platform().createOffscreen(static_cast<int32_t>(width), static_cast<int32_t>(height),
                                                   frame && frame->getPlatformWindow()
                                                       ? frame->getPlatformWindow()->scale()
                                                       : 1),
                        backgroundColor)
{
}

COffscreenContext::COffscreenContext(CFrame* frame, long width, long height,
                                     std::unique_ptr<PlatformOffscreen> offscreen, const CColor& backgroundColor)
    : CDrawContext(frame, offscreen.get()), offscreen_(std::move(offscreen)), width_(width), height_(height)
{
    if (offscreen_)
        offscreen_->fillRect(CRect(0, 0, static_cast<int32_t>(width), static_cast<int32_t>(height)),
                             backgroundColor);
}

COffscreenContext::~COffscreenContext() = default;

void COffscreenContext::copyFrom(CDrawContext* target, const CRect& dest, const CPoint& source)
{
    if (!offscreen_ || !target || !target->getSurface())
        return;
    offscreen_->copyTo(*target->getSurface(), target->toSurface(dest), source);
    target->markDrawn(dest);
}

// --- CView -------------------------------------------------------------------

CView::CView(const CRect& size) : size_(size), mouseableArea_(size) {}

CView::~CView()
{
    // A view is only destroyed once no container holds it; a frame that
    // still names it as focus or modal view must forget it.
    if (frame_ && static_cast<CView*>(frame_) != this)
        frame_->viewDestroyed(this);
    if (background_)
        background_->forget();
}

void CView::draw(CDrawContext* /*context*/) { setDirty(false); }

void CView::drawRect(CDrawContext* context, const CRect& /*updateRect*/) { draw(context); }

void CView::mouse(CDrawContext* /*context*/, CPoint& /*where*/, long /*buttons*/) {}

bool CView::onWheel(CDrawContext* context, const CPoint& where, float distance)
{
    return onWheel(context, where, kMouseWheelAxisY, distance);
}

bool CView::onWheel(CDrawContext* /*context*/, const CPoint& /*where*/, CMouseWheelAxis /*axis*/, float /*distance*/)
{
    return false;
}

long CView::onKeyDown(VstKeyCode& /*keyCode*/) { return -1; }
long CView::onKeyUp(VstKeyCode& /*keyCode*/) { return -1; }

bool CView::onDrop(CDrawContext* /*context*/, const std::vector<std::string>& /*paths*/, const CPoint& /*where*/)
{
    return false;
}

void CView::takeFocus(CDrawContext* /*context*/) {}
void CView::looseFocus(CDrawContext* /*context*/) {}

void CView::setDirty(bool state)
{
    if (state)
        dirty_.store(true, std::memory_order_release);
    else if (!drawing_)
        dirty_.store(false, std::memory_order_relaxed);
}

bool CView::isDirty() const { return dirty_.load(std::memory_order_acquire); }

void CView::prepareDraw()
{
    drawing_ = true;
    dirty_.exchange(false, std::memory_order_acq_rel);
}

void CView::finishDraw() { drawing_ = false; }

void CView::update(CDrawContext* context)
{
    if (!context || !isDirty())
        return;
    CFrame* frame = context->getFrame();
    if (parent_ && frame && frame == frame_) {
        // Drawn in place, whatever the context's offset: over what lies
        // under it when transparent, with the views above it drawn again.
        CPoint savedOffset = context->getOffset();
        CRect savedClip = context->getClipRect();
        context->setOffset(parent_->localOriginInFrame());
        parent_->redrawChild(context, this);
        context->setOffset(savedOffset);
        context->setClipRect(savedClip);
        frame->flushPending();
        return;
    }
    CRect savedClip = context->getClipRect();
    context->setClipRect(size_);
    prepareDraw();
    drawRect(context, size_);
    finishDraw();
    context->setClipRect(savedClip);
}

void CView::getMouseLocation(CDrawContext* context, CPoint& point)
{
    if (context) {
        context->getMouseLocation(point);
    } else if (frame_) {
        CPoint where;
        frame_->getCurrentLocation(where);
        point = frameToParent(where);
    }
}

void CView::setBackground(CBitmap* background)
{
    if (background == background_)
        return;
    if (background)
        background->remember();
    if (background_)
        background_->forget();
    background_ = background;
    setDirty(true);
}

void CView::setViewSize(const CRect& size)
{
    size_ = size;
    setDirty(true);
}

bool CView::isTypeOf(const char* className) const { return className && std::strcmp(className, "CView") == 0; }

void CView::setParents(CFrame* frame, CViewContainer* parent)
{
    frame_ = frame;
    parent_ = parent;
}

CPoint CView::parentToFrame(const CPoint& point) const
{
    CPoint p = point;
    if (parent_) {
        CPoint origin = parent_->localOriginInFrame();
        p.offset(origin.h, origin.v);
    }
    return p;
}

CPoint CView::frameToParent(const CPoint& point) const
{
    CPoint p = point;
    if (parent_) {
        CPoint origin = parent_->localOriginInFrame();
        p.offset(-origin.h, -origin.v);
    }
    return p;
}

// --- CViewContainer ----------------------------------------------------------

CViewContainer::CViewContainer(const CRect& size, CFrame* /*frame*/, CBitmap* background) : CView(size)
{
    if (background)
        setBackground(background);
}

CViewContainer::~CViewContainer() { removeAll(true); }

void CViewContainer::addView(CView* view)
{
    if (!view || view == this || isChild(view) || view->getParentView())
        return;
    view->remember();
    children_.push_back(view);
    view->setParents(frame_, this);
    view->setDirty(true);
}

void CViewContainer::addView(CView* view, const CRect& mouseableArea, bool mouseEnabled)
{
    if (!view || view == this || isChild(view) || view->getParentView())
        return;
    view->setMouseableArea(mouseableArea);
    view->setMouseEnabled(mouseEnabled);
    addView(view);
}

void CViewContainer::removeView(CView* view, bool withForget)
{
    if (!isChild(view))
        return;
    // The focus view inside it is told looseFocus, which may run a listener
    // that removes the view itself: look for it again afterwards.
    if (frame_)
        frame_->viewRemoved(view);
    auto it = std::find(children_.begin(), children_.end(), view);
    if (it == children_.end()) {
        if (withForget)
            view->forget();
        return;
    }
    children_.erase(it);
    view->setParents(nullptr, nullptr);
    setDirty(true);
    view->forget();
    if (withForget)
        view->forget();
}

void CViewContainer::removeAll(bool withForget)
{
    while (!children_.empty())
        removeView(children_.back(), withForget);
}

bool CViewContainer::isChild(const CView* view) const
{
    return std::find(children_.begin(), children_.end(), view) != children_.end();
}

CView* CViewContainer::getView(long index) const
{
    return index >= 0 && index < getNbViews() ? children_[static_cast<size_t>(index)] : nullptr;
}

CView* CViewContainer::getCurrentView()
{
    if (!frame_)
        return nullptr;
    CPoint where;
    if (!frame_->getCurrentLocation(where))
        return nullptr;
    CPoint origin = localOriginInFrame();
    where.offset(-origin.h, -origin.v);
    for (auto it = children_.rbegin(); it != children_.rend(); ++it)
        if ((*it)->getMouseableArea().pointInside(where))
            return *it;
    return nullptr;
}

CView* CViewContainer::getViewAt(const CPoint& where, bool deep) const
{
    for (auto it = children_.rbegin(); it != children_.rend(); ++it) {
        CView* v = *it;
        if (!v->getMouseableArea().pointInside(where))
            continue;
        if (deep && v->isContainer()) {
            CPoint local = where;
            local.offset(-v->getViewSize().left, -v->getViewSize().top);
            if (CView* inner = static_cast<CViewContainer*>(v)->getViewAt(local, true))
                return inner;
        }
        return v;
    }
    return nullptr;
}

void CViewContainer::drawBackgroundRect(CDrawContext* context, const CRect& rect)
{
    if (background_ && background_->isLoaded()) {
        CPoint source(rect.left + backgroundOffset_.h, rect.top + backgroundOffset_.v);
        if (transparent_)
            background_->drawTransparent(context, rect, source);
        else
            background_->draw(context, rect, source);
    } else if (!transparent_) {
        CColor saved = context->getFillColor();
        context->setFillColor(backgroundColor_);
        context->fillRect(rect);
        context->setFillColor(saved);
    }
}

void CViewContainer::drawChild(CDrawContext* context, CView* child, const CRect& area)
{
    CRect r = child->getViewSize();
    r.bound(area);
    if (r.isEmpty())
        return;
    bool wasDirty = child->isDirty();
    CRect savedClip = context->getClipRect();
    CRect clip = r;
    clip.bound(savedClip); // never outside what the container may draw
    context->setClipRect(clip);
    child->prepareDraw();
    child->drawRect(context, r);
    child->finishDraw();
    context->setClipRect(savedClip);
    if (wasDirty && !(r == child->getViewSize()))
        child->setDirty(true);
}

void CViewContainer::drawArea(CDrawContext* context, const CRect& area)
{
    CRect local = area;
    local.bound(CRect(0, 0, size_.width(), size_.height()));
    if (local.isEmpty())
        return;
    CRect savedClip = context->getClipRect();
    context->setClipRect(local);
    drawBackgroundRect(context, local);
    for (size_t i = 0; i < children_.size(); ++i)
        drawChild(context, children_[i], local);
    context->setClipRect(savedClip);
}

void CViewContainer::draw(CDrawContext* context) { drawRect(context, size_); }

void CViewContainer::drawRect(CDrawContext* context, const CRect& updateRect)
{
    if (!context)
        return;
    // updateRect is in the parent's coordinates; children use ours.
    CRect local = updateRect;
    local.offset(-size_.left, -size_.top);
    CPoint saved = context->getOffset();
    context->offsetBy(size_.left, size_.top);
    drawArea(context, local);
    context->setOffset(saved);
}

void CViewContainer::redrawChild(CDrawContext* context, CView* child)
{
    auto it = std::find(children_.begin(), children_.end(), child);
    if (it == children_.end())
        return;
    CRect r = child->getViewSize();
    r.bound(CRect(0, 0, size_.width(), size_.height()));
    if (r.isEmpty()) {
        // Outside the container: nothing of it can be seen.
        child->prepareDraw();
        child->finishDraw();
        return;
    }
    CRect savedClip = context->getClipRect();
    if (child->getTransparency()) {
        // What shows through it: the background and the views under it.
        context->setClipRect(r);
        drawBackgroundRect(context, r);
        for (auto below = children_.begin(); below != it; ++below)
            drawChild(context, *below, r);
    }
    drawChild(context, child, r);
    for (auto above = it + 1; above != children_.end(); ++above)
        drawChild(context, *above, r);
    context->setClipRect(savedClip);
}

void CViewContainer::update(CDrawContext* context)
{
    if (!context)
        return;
    CFrame* frame = context->getFrame();
    if (isDirty() || !frame || frame != frame_) {
        CView::update(context);
        return;
    }
    CPoint savedOffset = context->getOffset();
    context->setOffset(parent_ ? parent_->localOriginInFrame() : CPoint());
    redrawDirtyViews(context);
    context->setOffset(savedOffset);
    frame->flushPending();
}

bool CViewContainer::hasDirtyViews() const
{
    if (isDirty())
        return true;
    for (const CView* v : children_) {
        if (v->isContainer() ? static_cast<const CViewContainer*>(v)->hasDirtyViews() : v->isDirty())
            return true;
    }
    return false;
}

void CViewContainer::redrawDirtyViews(CDrawContext* context)
{
    CRect savedClip = context->getClipRect();
    if (isDirty()) {
        prepareDraw();
        drawRect(context, size_);
        finishDraw();
        context->setClipRect(savedClip);
        return;
    }
    CPoint saved = context->getOffset();
    context->offsetBy(size_.left, size_.top);
    // Index loop: a view's drawing must not change the list, but a stale
    // iterator would be worse than a skipped view.
    for (size_t i = 0; i < children_.size(); ++i) {
        CView* v = children_[i];
        if (v->isDirty())
            redrawChild(context, v); // a whole container, too, with what lies above it
        else if (v->isContainer())
            static_cast<CViewContainer*>(v)->redrawDirtyViews(context);
    }
    context->setOffset(saved);
    context->setClipRect(savedClip);
}

CPoint CViewContainer::localOriginInFrame() const
{
    CPoint origin;
    for (const CView* v = this; v; v = v->getParentView())
        origin.offset(v->getViewSize().left, v->getViewSize().top);
    return origin;
}

void CViewContainer::mouse(CDrawContext* context, CPoint& where, long buttons)
{
    CPoint local = where;
    local.offset(-size_.left, -size_.top);
    for (auto it = children_.rbegin(); it != children_.rend(); ++it) {
        CView* v = *it;
        if (!v->getMouseEnabled() || !v->getMouseableArea().pointInside(local))
            continue;
        v->remember(); // the handler may remove the view from its container
        CPoint saved;
        if (context) {
            saved = context->getOffset();
            context->offsetBy(size_.left, size_.top);
        }
        v->mouse(context, local, buttons);
        if (context)
            context->setOffset(saved);
        v->forget();
        return;
    }
}

bool CViewContainer::onWheel(CDrawContext* context, const CPoint& where, CMouseWheelAxis axis, float distance)
{
    CPoint local = where;
    local.offset(-size_.left, -size_.top);
    for (auto it = children_.rbegin(); it != children_.rend(); ++it) {
        CView* v = *it;
        if (!v->getMouseEnabled() || !v->getMouseableArea().pointInside(local))
            continue;
        CPoint saved;
        if (context) {
            saved = context->getOffset();
            context->offsetBy(size_.left, size_.top);
        }
        v->remember();
        bool used = v->onWheel(context, local, axis, distance);
        v->forget();
        if (context)
            context->setOffset(saved);
        return used;
    }
    return false;
}

bool CViewContainer::onDrop(CDrawContext* context, const std::vector<std::string>& paths, const CPoint& where)
{
    CPoint local = where;
    local.offset(-size_.left, -size_.top);
    CView* v = getViewAt(local);
    if (!v)
        return false;
    CPoint saved;
    if (context) {
        saved = context->getOffset();
        context->offsetBy(size_.left, size_.top);
    }
    v->remember();
    bool taken = v->onDrop(context, paths, local);
    v->forget();
    if (context)
        context->setOffset(saved);
    return taken;
}

bool CViewContainer::isTypeOf(const char* className) const
{
    return (className && std::strcmp(className, "CViewContainer") == 0) || CView::isTypeOf(className);
}

void CViewContainer::setParents(CFrame* frame, CViewContainer* parent)
{
    CView::setParents(frame, parent);
    for (CView* v : children_)
        v->setParents(frame, this);
}

} // namespace VSTGUI
