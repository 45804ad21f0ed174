#include "platform/linux/gui/X11Window.h"

#include <algorithm>
#include <cstdint>

namespace x11gui {

using VSTGUI::CPoint;
using VSTGUI::CRect;

namespace {
int32_t floorDiv(int32_t a, int32_t b)
{
    int32_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}
} // namespace

std::unique_ptr<X11Window> X11Window::create(const VSTGUI::WindowSpec& desc, VSTGUI::PlatformWindowListener* listener)
{
    if (!desc.parent || desc.width <= 0 || desc.height <= 0)
        return nullptr;
    Display* display = openDisplay();
    if (!display)
        return nullptr;
    std::unique_ptr<X11Window> self(new X11Window());
    self->display_ = display;
    self->listener_ = listener;
    self->parent_ = static_cast<Window>(reinterpret_cast<uintptr_t>(desc.parent));
    self->scale_ = desc.scale == 2 ? 2 : 1;
    self->width_ = desc.width;
    self->height_ = desc.height;
    self->screen_ = DefaultScreen(display);

    ErrorTrap trap(display);
    // Our window takes the parent's visual and depth, so it can be its
    // child whatever the host made (a 32-bit ARGB window, say).
    XWindowAttributes parentAttributes{};
    if (!XGetWindowAttributes(display, self->parent_, &parentAttributes) || trap.failed() ||
        parentAttributes.c_class == InputOnly) {
        return nullptr; // the destructor closes the display
    }
    self->screen_ = XScreenNumberOfScreen(parentAttributes.screen);
    self->visual_ = parentAttributes.visual;
    self->depth_ = parentAttributes.depth;
    if (self->visual_ == DefaultVisual(display, self->screen_)) {
        self->colormap_ = DefaultColormap(display, self->screen_);
    } else {
        self->colormap_ = XCreateColormap(display, RootWindow(display, self->screen_), self->visual_, AllocNone);
        self->ownColormap_ = true;
    }

    XSetWindowAttributes attributes{};
    attributes.background_pixel = 0;
    attributes.border_pixel = 0;
    attributes.colormap = self->colormap_;
    attributes.bit_gravity = NorthWestGravity;
    attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | KeyPressMask | KeyReleaseMask |
                            StructureNotifyMask | FocusChangeMask;
    const int deviceWidth = self->width_ * self->scale_, deviceHeight = self->height_ * self->scale_;
    // Anchored at the parent's top-left corner: a parent of another size
    // shows the skin there and leaves the rest to the host.
    self->window_ = XCreateWindow(display, self->parent_, 0, 0, static_cast<unsigned>(deviceWidth),
                                  static_cast<unsigned>(deviceHeight), 0, self->depth_, InputOutput, self->visual_,
                                  CWBackPixel | CWBorderPixel | CWColormap | CWBitGravity | CWEventMask, &attributes);
    if (trap.failed() || !self->window_) {
        self->window_ = 0;
        return nullptr;
    }
    // XEmbed hosts look for this; the window is mapped by us.
    const long xembedInfo[2] = {0, 1};
    const Atom xembed = atom(display, "_XEMBED_INFO");
    XChangeProperty(display, self->window_, xembed, xembed, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(xembedInfo), 2);
    self->gc_ = XCreateGC(display, self->window_, 0, nullptr);
    self->altMask_ = altMask(display);
    self->back_.resize(self->width_, self->height_, self->scale_);
    self->blitter_ = std::make_unique<Blitter>(display, self->visual_, self->depth_, true);
    XMapWindow(display, self->window_);
    if (trap.failed())
        return nullptr;
    return self;
}

X11Window::~X11Window()
{
    if (destroyedFlag_)
        *destroyedFlag_ = true;
    // A field still open is left inert; its owner destroys it later.
    for (X11TextField* field : std::vector<X11TextField*>(fields_))
        field->detach();
    fields_.clear();
    if (!display_)
        return;
    {
        ErrorTrap trap(display_);
        blitter_.reset();
        if (gc_)
            XFreeGC(display_, gc_);
        // BadWindow when the host destroyed its window first: trapped.
        if (window_ && !gone_)
            XDestroyWindow(display_, window_);
        if (ownColormap_)
            XFreeColormap(display_, colormap_);
    }
    closeDisplay(display_);
}

void* X11Window::nativeHandle() const { return reinterpret_cast<void*>(static_cast<uintptr_t>(window_)); }

CPoint X11Window::toUnscaled(int x, int y) const { return CPoint(floorDiv(x, scale_), floorDiv(y, scale_)); }

void X11Window::blitDevice(int left, int top, int right, int bottom)
{
    if (gone_ || !blitter_)
        return;
    if (overlay_) {
        // The back buffer with the overlay drawn over a copy of it; the
        // overlay may cover any part, so all of it is shown.
        if (!composed_ || composed_->deviceWidth() != back_.deviceWidth() ||
            composed_->deviceHeight() != back_.deviceHeight())
            composed_ = std::make_unique<softraster::SoftwareSurface>(width_, height_, scale_);
        std::copy(back_.pixels(), back_.pixels() + static_cast<size_t>(back_.deviceWidth()) * back_.deviceHeight(),
                  composed_->pixels());
        composed_->setClip(CRect(0, 0, width_, height_));
        overlay_(*composed_);
        blitter_->put(window_, gc_, *composed_, 0, 0, composed_->deviceWidth(), composed_->deviceHeight());
        return;
    }
    blitter_->put(window_, gc_, back_, left, top, right, bottom);
}

void X11Window::setOverlay(std::function<void(softraster::SoftwareSurface&)> painter)
{
    overlay_ = std::move(painter);
    if (!overlay_)
        composed_.reset();
    if (!gone_ && display_) {
        ErrorTrap trap(display_);
        blitDevice(0, 0, back_.deviceWidth(), back_.deviceHeight());
    }
}

void X11Window::flush(const CRect& area)
{
    CRect r = area;
    r.bound(CRect(0, 0, width_, height_));
    if (r.isEmpty())
        return;
    ErrorTrap trap(display_);
    blitDevice(r.left * scale_, r.top * scale_, r.right * scale_, r.bottom * scale_);
}

void X11Window::invalidate(const CRect& area)
{
    CRect r = area;
    r.bound(CRect(0, 0, width_, height_));
    pendingPaint_.unite(r);
}

void X11Window::addExpose(int x, int y, int width, int height)
{
    // Device pixels to the 1x pixels that cover them.
    CRect r(floorDiv(x, scale_), floorDiv(y, scale_), floorDiv(x + width + scale_ - 1, scale_),
            floorDiv(y + height + scale_ - 1, scale_));
    invalidate(r);
}

void X11Window::paintPending()
{
    if (pendingPaint_.isEmpty() || gone_)
        return;
    const CRect area = pendingPaint_;
    pendingPaint_ = CRect();
    if (!callListener([&] { listener_->platformDraw(back_, area); }))
        return;
    flush(area);
}

void X11Window::handlePassiveEvent(XEvent& event)
{
    if (event.xany.window == window_) {
        switch (event.type) {
        case Expose:
            addExpose(event.xexpose.x, event.xexpose.y, event.xexpose.width, event.xexpose.height);
            break;
        case DestroyNotify:
            if (event.xdestroywindow.window == window_)
                gone_ = true;
            break;
        default:
            break;
        }
        return;
    }
    if (event.type == SelectionNotify || event.type == SelectionRequest || event.type == SelectionClear ||
        event.type == Expose || event.type == FocusIn || event.type == FocusOut) {
        if (X11TextField* field = fieldFor(event.xany.window))
            field->handleEvent(event);
    }
}

void X11Window::dispatch(XEvent& event)
{
    if (event.xany.window != window_) {
        if (X11TextField* field = fieldFor(event.xany.window))
            field->handleEvent(event);
        return;
    }
    switch (event.type) {
    case ButtonPress: {
        const CPoint where = toUnscaled(event.xbutton.x, event.xbutton.y);
        switch (event.xbutton.button) {
        case Button1:
        case Button2:
        case Button3: {
            const unsigned int bit = event.xbutton.button == Button1   ? Button1Mask
                                     : event.xbutton.button == Button2 ? Button2Mask
                                                                       : Button3Mask;
            pressState_ = buttonsFromMask(event.xbutton.state | bit, altMask_);
            pressStateValid_ = true;
            if (!callListener([&] { listener_->platformMouseDown(where); }))
                return;
            pressStateValid_ = false;
            break;
        }
        case Button4: // wheel away from the user
            callListener([&] { listener_->platformWheel(where, 1.0f, 0); });
            break;
        case Button5:
            callListener([&] { listener_->platformWheel(where, -1.0f, 0); });
            break;
        case 6: // tilted left
            callListener([&] { listener_->platformWheel(where, -1.0f, 1); });
            break;
        case 7:
            callListener([&] { listener_->platformWheel(where, 1.0f, 1); });
            break;
        default:
            break;
        }
        break;
    }
    case KeyPress:
    case KeyRelease: {
        KeySym keysym = NoSymbol;
        char buffer[16];
        XLookupString(&event.xkey, buffer, sizeof buffer, &keysym, nullptr);
        const VstKeyCode key = keyCodeFor(keysym, event.xkey.state, altMask_);
        callListener([&] { listener_->platformKey(key, event.type == KeyPress); });
        break;
    }
    default:
        handlePassiveEvent(event);
        break;
    }
}

void X11Window::pumpEvents()
{
    if (!display_)
        return;
    bool destroyed = false;
    bool* outer = destroyedFlag_;
    destroyedFlag_ = &destroyed;
    {
        ErrorTrap trap(display_);
        // A bounded number per idle, so a flood of events cannot hold the
        // host's thread.
        for (int budget = 512; budget > 0 && !gone_ && XPending(display_) > 0; --budget) {
            XEvent event;
            XNextEvent(display_, &event);
            if (XFilterEvent(&event, None))
                continue;
            // Only the last of a run of pointer motions matters.
            if (event.type == MotionNotify) {
                XEvent next;
                while (XCheckTypedWindowEvent(display_, event.xany.window, MotionNotify, &next))
                    event = next;
            }
            if (modalDepth_ > 0)
                handlePassiveEvent(event); // a modal loop of ours is on the stack
            else
                dispatch(event);
            if (destroyed)
                break;
        }
        if (!destroyed) {
            for (X11TextField* field : std::vector<X11TextField*>(fields_)) {
                if (std::find(fields_.begin(), fields_.end(), field) != fields_.end())
                    field->tick();
                if (destroyed)
                    break;
            }
        }
        if (!destroyed)
            paintPending();
    }
    if (destroyed) {
        if (outer)
            *outer = true;
        return;
    }
    destroyedFlag_ = outer;
    if (gone_ && !goneReported_) {
        goneReported_ = true;
        // The fields' windows went with ours.
        callListener([&] { listener_->platformWindowGone(); });
    }
}

void X11Window::dispatchPendingPaint()
{
    if (!display_ || gone_)
        return;
    ErrorTrap trap(display_);
    XEvent event;
    while (XCheckTypedWindowEvent(display_, window_, Expose, &event))
        addExpose(event.xexpose.x, event.xexpose.y, event.xexpose.width, event.xexpose.height);
    if (XCheckTypedWindowEvent(display_, window_, DestroyNotify, &event))
        gone_ = true; // told at the next pump
    paintPending();
}

int32_t X11Window::getMouseButtons()
{
    if (!display_ || gone_)
        return 0;
    if (pressStateValid_) {
        pressStateValid_ = false;
        return pressState_;
    }
    ErrorTrap trap(display_);
    Window root = 0, child = 0;
    int rootX = 0, rootY = 0, x = 0, y = 0;
    unsigned int mask = 0;
    XQueryPointer(display_, window_, &root, &child, &rootX, &rootY, &x, &y, &mask);
    if (trap.failed())
        return 0;
    return buttonsFromMask(mask, altMask_);
}

CPoint X11Window::getMouseLocation()
{
    if (!display_ || gone_)
        return CPoint(-1, -1);
    ErrorTrap trap(display_);
    Window root = 0, child = 0;
    int rootX = 0, rootY = 0, x = 0, y = 0;
    unsigned int mask = 0;
    const Bool sameScreen = XQueryPointer(display_, window_, &root, &child, &rootX, &rootY, &x, &y, &mask);
    if (trap.failed() || !sameScreen)
        return CPoint(-1, -1);
    return toUnscaled(x, y);
}

void X11Window::setSize(int32_t width, int32_t height, int32_t scale)
{
    if (width <= 0 || height <= 0)
        return;
    scale = scale == 2 ? 2 : 1;
    width_ = width;
    height_ = height;
    scale_ = scale;
    back_.resize(width_, height_, scale_);
    if (gone_)
        return;
    ErrorTrap trap(display_);
    XResizeWindow(display_, window_, static_cast<unsigned>(width_ * scale_), static_cast<unsigned>(height_ * scale_));
    pendingPaint_ = CRect(0, 0, width_, height_);
}

std::unique_ptr<VSTGUI::PlatformTextField> X11Window::createTextField(const VSTGUI::TextFieldSpec& desc,
                                                                      VSTGUI::PlatformTextFieldListener* listener)
{
    if (gone_)
        return nullptr;
    return makeTextField(*this, desc, listener);
}

VSTGUI::MenuResult X11Window::popupMenu(const VSTGUI::MenuModel& menu, CPoint where)
{
    if (gone_)
        return {};
    return runPopupMenu(*this, menu, where);
}

void X11Window::addField(X11TextField* field) { fields_.push_back(field); }

void X11Window::removeField(X11TextField* field)
{
    fields_.erase(std::remove(fields_.begin(), fields_.end(), field), fields_.end());
}

X11TextField* X11Window::fieldFor(Window window) const
{
    for (X11TextField* field : fields_)
        if (field->window() == window)
            return field;
    return nullptr;
}

} // namespace x11gui
