// Pop-up menus: override-redirect windows of our own on the editor's
// connection, drawn with the software raster, with the pointer and the
// keyboard grabbed while the menu is open. Columns, check marks, separators,
// greyed and title entries, submenus, kept on the screen, keyboard
// navigation.
#include "platform/linux/gui/X11Window.h"

#include <X11/Xatom.h>
#include <X11/keysym.h>
#include <poll.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace x11gui {

using VSTGUI::CColor;
using VSTGUI::CPoint;
using VSTGUI::CRect;
using VSTGUI::MenuItem;
using VSTGUI::MenuModel;

namespace {

// Metrics in 1x pixels.
constexpr int32_t kItemHeight = 19;
constexpr int32_t kSeparatorHeight = 7;
constexpr int32_t kCheckColumn = 22;
constexpr int32_t kArrowColumn = 18;
constexpr int32_t kRightPadding = 10;
constexpr int32_t kBorder = 3;   // frame line and padding around the items
constexpr int32_t kFont = VSTGUI::kNormalFont;
constexpr uint32_t kClickGrace = 250; // ms: a release this soon after opening, unmoved, does not choose

constexpr CColor kBack{242, 242, 242, 255};
constexpr CColor kFrame{128, 128, 128, 255};
constexpr CColor kText{0, 0, 0, 255};
constexpr CColor kGreyText{128, 128, 128, 255};
constexpr CColor kTitleText{40, 40, 40, 255};
constexpr CColor kSeparatorLine{200, 200, 200, 255};
constexpr CColor kHot{0, 120, 215, 255};
constexpr CColor kHotText{255, 255, 255, 255};

bool selectable(const MenuItem& item)
{
    return !(item.flags & (MenuItem::kSeparator | MenuItem::kDisabled | MenuItem::kTitle));
}

struct MenuWindow {
    const MenuModel* model = nullptr;
    Window window = 0;
    int rootX = 0, rootY = 0; // device pixels
    int32_t width = 0, height = 0; // 1x
    std::vector<CRect> itemRects;  // 1x, window coordinates
    int hot = -1;
    int openedFrom = -1; // the item of the parent that opened this menu
    std::unique_ptr<softraster::SoftwareSurface> surface;
    std::unique_ptr<Blitter> blitter;
    GC gc = nullptr;
};

class MenuSession {
public:
    MenuSession(X11Window& owner) : owner_(owner), display_(owner.display()), scale_(owner.scale()) {}
    ~MenuSession();
    VSTGUI::MenuResult run(const MenuModel& menu, CPoint where);

private:
    bool open(const MenuModel* model, int rootX, int rootY, int openedFrom, int avoidLeft);
    void closeAbove(size_t level);
    void layout(MenuWindow& m, softraster::SoftwareSurface& measure);
    void draw(MenuWindow& m);
    void handle(XEvent& event);
    // The menu level and item under a root position; level -1 when outside.
    int hit(int rootX, int rootY, int& item) const;
    void setHot(size_t level, int item, bool openSubmenu);
    void openSubmenu(size_t level, bool selectFirst);
    void moveHot(int direction);
    void moveColumn(int direction);
    void choose(size_t level, int item);
    void keyPress(XKeyEvent& event);
    void screenArea(int& left, int& top, int& right, int& bottom) const;

    X11Window& owner_;
    Display* display_;
    int32_t scale_;
    std::vector<std::unique_ptr<MenuWindow>> menus_;
    bool done_ = false;
    VSTGUI::MenuResult result_;
    uint32_t openedAt_ = 0;
    int startX_ = 0, startY_ = 0;
    bool moved_ = false;
    bool pressedInside_ = false;
    bool grabbedPointer_ = false;
    bool grabbedKeyboard_ = false;
};

MenuSession::~MenuSession()
{
    ErrorTrap trap(display_);
    if (grabbedPointer_)
        XUngrabPointer(display_, CurrentTime);
    if (grabbedKeyboard_)
        XUngrabKeyboard(display_, CurrentTime);
    closeAbove(0);
}

void MenuSession::screenArea(int& left, int& top, int& right, int& bottom) const
{
    const int screen = owner_.screen();
    left = 0;
    top = 0;
    right = DisplayWidth(display_, screen);
    bottom = DisplayHeight(display_, screen);
}

void MenuSession::layout(MenuWindow& m, softraster::SoftwareSurface& measure)
{
    const auto& items = m.model->items;
    m.itemRects.assign(items.size(), CRect());
    int screenLeft, screenTop, screenRight, screenBottom;
    screenArea(screenLeft, screenTop, screenRight, screenBottom);
    const int32_t maxColumnHeight = std::max<int32_t>(kItemHeight, (screenBottom - screenTop) / scale_ - 2 * kBorder);

    // Columns: where the model breaks them, and where one would leave the screen.
    std::vector<std::vector<size_t>> columns(1);
    int32_t columnHeight = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        const int32_t h = (items[i].flags & MenuItem::kSeparator) ? kSeparatorHeight : kItemHeight;
        if (!columns.back().empty() && ((items[i].flags & MenuItem::kColumnBreak) || columnHeight + h > maxColumnHeight)) {
            columns.emplace_back();
            columnHeight = 0;
        }
        columns.back().push_back(i);
        columnHeight += h;
    }
    int32_t x = kBorder, height = 0;
    for (const auto& column : columns) {
        int32_t textWidth = 40;
        for (size_t i : column) {
            const int32_t face = (items[i].flags & MenuItem::kTitle) ? VSTGUI::kBoldFace : VSTGUI::kNormalFace;
            textWidth = std::max(textWidth, measure.textWidth(items[i].title.c_str(), kFont, face));
        }
        const int32_t columnWidth = kCheckColumn + textWidth + kArrowColumn + kRightPadding;
        int32_t y = kBorder;
        for (size_t i : column) {
            const int32_t h = (items[i].flags & MenuItem::kSeparator) ? kSeparatorHeight : kItemHeight;
            m.itemRects[i] = CRect(x, y, x + columnWidth, y + h);
            y += h;
        }
        height = std::max(height, y);
        x += columnWidth + 1; // a line between columns
    }
    m.width = x - 1 + kBorder;
    m.height = std::max(height, kBorder + kItemHeight / 2) + kBorder;
}

bool MenuSession::open(const MenuModel* model, int rootX, int rootY, int openedFrom, int avoidLeft)
{
    auto m = std::make_unique<MenuWindow>();
    m->model = model;
    m->openedFrom = openedFrom;
    m->surface = std::make_unique<softraster::SoftwareSurface>(1, 1, scale_);
    layout(*m, *m->surface);
    m->surface->resize(m->width, m->height, scale_);

    // On the screen: moved in from the right and bottom edges; a submenu
    // that has no room on the right opens on the left of its parent.
    const int w = m->width * scale_, h = m->height * scale_;
    int left, top, right, bottom;
    screenArea(left, top, right, bottom);
    if (rootX + w > right)
        rootX = avoidLeft >= 0 ? avoidLeft - w : right - w;
    if (rootY + h > bottom)
        rootY = bottom - h;
    m->rootX = std::max(left, rootX);
    m->rootY = std::max(top, rootY);

    ErrorTrap trap(display_);
    const int screen = owner_.screen();
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.save_under = True;
    attributes.background_pixel = WhitePixel(display_, screen);
    attributes.border_pixel = 0;
    attributes.colormap = DefaultColormap(display_, screen);
    // The buttons and motion too: a click that comes before the grab below
    // is in place still reaches the menu instead of falling through.
    attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask;
    m->window = XCreateWindow(display_, RootWindow(display_, screen), m->rootX, m->rootY, static_cast<unsigned>(w),
                              static_cast<unsigned>(h), 0, DefaultDepth(display_, screen), InputOutput,
                              DefaultVisual(display_, screen),
                              CWOverrideRedirect | CWSaveUnder | CWBackPixel | CWBorderPixel | CWColormap | CWEventMask,
                              &attributes);
    if (trap.failed() || !m->window)
        return false;
    const Atom type = atom(display_, "_NET_WM_WINDOW_TYPE");
    const Atom popup = atom(display_, "_NET_WM_WINDOW_TYPE_POPUP_MENU");
    XChangeProperty(display_, m->window, type, XA_ATOM, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(&popup), 1);
    Window transientFor = owner_.hostParent();
    XSetTransientForHint(display_, m->window, transientFor);
    m->gc = XCreateGC(display_, m->window, 0, nullptr);
    m->blitter = std::make_unique<Blitter>(display_, DefaultVisual(display_, screen), DefaultDepth(display_, screen), false);
    XMapRaised(display_, m->window);
    menus_.push_back(std::move(m));
    draw(*menus_.back());
    return true;
}

void MenuSession::closeAbove(size_t level)
{
    while (menus_.size() > level) {
        MenuWindow& m = *menus_.back();
        ErrorTrap trap(display_);
        m.blitter.reset();
        if (m.gc)
            XFreeGC(display_, m.gc);
        if (m.window)
            XDestroyWindow(display_, m.window);
        menus_.pop_back();
    }
}

void MenuSession::draw(MenuWindow& m)
{
    softraster::SoftwareSurface& s = *m.surface;
    const CRect all(0, 0, m.width, m.height);
    s.setClip(all);
    s.fillRect(all, kBack);
    s.frameRect(all, kFrame);
    const auto& items = m.model->items;
    for (size_t i = 0; i < items.size(); ++i) {
        const MenuItem& item = items[i];
        const CRect r = m.itemRects[i];
        if (r.left > kBorder)
            s.drawLine(CPoint(r.left - 1, kBorder), CPoint(r.left - 1, m.height - kBorder - 1), kSeparatorLine);
        if (item.flags & MenuItem::kSeparator) {
            const int32_t y = r.top + r.height() / 2;
            s.drawLine(CPoint(r.left + 4, y), CPoint(r.right - 5, y), kSeparatorLine);
            continue;
        }
        const bool hot = static_cast<int>(i) == m.hot;
        CColor text = kText;
        int32_t face = VSTGUI::kNormalFace;
        if (item.flags & MenuItem::kTitle) {
            text = kTitleText;
            face = VSTGUI::kBoldFace;
        } else if (item.flags & MenuItem::kDisabled) {
            text = kGreyText;
        }
        if (hot) {
            s.fillRect(r, kHot);
            text = kHotText;
        }
        if (item.flags & MenuItem::kChecked) {
            // A check mark, two pixels thick.
            const int32_t cx = r.left + 6, cy = r.top + r.height() / 2;
            for (int32_t d = 0; d < 2; ++d) {
                s.drawLine(CPoint(cx, cy - 1 + d), CPoint(cx + 3, cy + 2 + d), text);
                s.drawLine(CPoint(cx + 3, cy + 2 + d), CPoint(cx + 9, cy - 4 + d), text);
            }
        }
        CRect textRect(r.left + kCheckColumn, r.top, r.right - kArrowColumn, r.bottom);
        s.setClip(textRect);
        s.drawText(item.title.c_str(), textRect, kFont, face, text, VSTGUI::kLeftText);
        s.setClip(all);
        if (item.submenu) {
            // A small triangle pointing right.
            const int32_t ax = r.right - kArrowColumn + 6, ay = r.top + r.height() / 2;
            for (int32_t k = 0; k < 4; ++k)
                s.drawLine(CPoint(ax + k, ay - 3 + k), CPoint(ax + k, ay + 3 - k), text);
        }
    }
    ErrorTrap trap(display_);
    m.blitter->put(m.window, m.gc, s, 0, 0, s.deviceWidth(), s.deviceHeight());
}

int MenuSession::hit(int rootX, int rootY, int& item) const
{
    item = -1;
    for (int level = static_cast<int>(menus_.size()) - 1; level >= 0; --level) {
        const MenuWindow& m = *menus_[static_cast<size_t>(level)];
        const int x = rootX - m.rootX, y = rootY - m.rootY;
        if (x < 0 || y < 0 || x >= m.width * scale_ || y >= m.height * scale_)
            continue;
        const CPoint p(x / scale_, y / scale_);
        for (size_t i = 0; i < m.itemRects.size(); ++i)
            if (m.itemRects[i].pointInside(p))
                item = static_cast<int>(i);
        return level;
    }
    return -1;
}

void MenuSession::setHot(size_t level, int item, bool open)
{
    MenuWindow& m = *menus_[level];
    if (item >= 0 && (m.model->items[static_cast<size_t>(item)].flags &
                      (MenuItem::kSeparator | MenuItem::kTitle | MenuItem::kDisabled)))
        item = -1;
    const bool childOpenForItem = menus_.size() > level + 1 && menus_[level + 1]->openedFrom == item && item >= 0;
    if (!childOpenForItem)
        closeAbove(level + 1);
    if (m.hot != item) {
        m.hot = item;
        draw(m);
    }
    if (open && item >= 0 && m.model->items[static_cast<size_t>(item)].submenu && !childOpenForItem)
        openSubmenu(level, false);
}

void MenuSession::openSubmenu(size_t level, bool selectFirst)
{
    MenuWindow& m = *menus_[level];
    if (m.hot < 0)
        return;
    const MenuItem& item = m.model->items[static_cast<size_t>(m.hot)];
    if (!item.submenu)
        return;
    if (menus_.size() <= level + 1 || menus_[level + 1]->openedFrom != m.hot) {
        closeAbove(level + 1);
        const CRect r = m.itemRects[static_cast<size_t>(m.hot)];
        const int x = m.rootX + (r.right + kBorder - 2) * scale_;
        const int y = m.rootY + (r.top - kBorder) * scale_;
        open(item.submenu, x, y, m.hot, m.rootX + (r.left - kBorder + 2) * scale_);
    }
    if (selectFirst && menus_.size() > level + 1) {
        MenuWindow& child = *menus_[level + 1];
        const auto& items = child.model->items;
        for (size_t i = 0; i < items.size(); ++i)
            if (selectable(items[i]) || items[i].submenu) {
                child.hot = static_cast<int>(i);
                draw(child);
                break;
            }
    }
}

void MenuSession::moveHot(int direction)
{
    MenuWindow& m = *menus_.back();
    const auto& items = m.model->items;
    const int n = static_cast<int>(items.size());
    if (n == 0)
        return;
    int i = m.hot;
    for (int step = 0; step < n; ++step) {
        i = i < 0 ? (direction > 0 ? 0 : n - 1) : (i + direction + n) % n;
        if (selectable(items[static_cast<size_t>(i)]) || items[static_cast<size_t>(i)].submenu) {
            setHot(menus_.size() - 1, i, false);
            return;
        }
    }
}

void MenuSession::moveColumn(int direction)
{
    MenuWindow& m = *menus_.back();
    if (m.hot < 0)
        return;
    const CRect current = m.itemRects[static_cast<size_t>(m.hot)];
    // The nearest item in the next column to the side, at about the same height.
    int best = -1;
    int32_t bestColumn = 0, bestDistance = INT32_MAX;
    for (size_t i = 0; i < m.itemRects.size(); ++i) {
        const CRect r = m.itemRects[i];
        const MenuItem& item = m.model->items[i];
        if (!(selectable(item) || item.submenu))
            continue;
        if (direction > 0 ? r.left <= current.left : r.left >= current.left)
            continue;
        const int32_t column = std::abs(r.left - current.left);
        const int32_t distance = std::abs(r.top - current.top);
        if (best < 0 || column < bestColumn || (column == bestColumn && distance < bestDistance)) {
            best = static_cast<int>(i);
            bestColumn = column;
            bestDistance = distance;
        }
    }
    if (best >= 0)
        setHot(menus_.size() - 1, best, false);
}

void MenuSession::choose(size_t level, int item)
{
    result_.menu = menus_[level]->model;
    result_.index = item;
    done_ = true;
}

void MenuSession::keyPress(XKeyEvent& event)
{
    KeySym keysym = NoSymbol;
    char buffer[16] = {};
    const int length = XLookupString(&event, buffer, sizeof buffer - 1, &keysym, nullptr);
    const size_t level = menus_.size() - 1;
    MenuWindow& m = *menus_.back();
    switch (keysym) {
    case XK_Up: case XK_KP_Up: moveHot(-1); break;
    case XK_Down: case XK_KP_Down: moveHot(1); break;
    case XK_Home: case XK_KP_Home: m.hot = -1; moveHot(1); break;
    case XK_End: case XK_KP_End: m.hot = -1; moveHot(-1); break;
    case XK_Right: case XK_KP_Right:
        if (m.hot >= 0 && m.model->items[static_cast<size_t>(m.hot)].submenu)
            openSubmenu(level, true);
        else
            moveColumn(1);
        break;
    case XK_Left: case XK_KP_Left: {
        const int before = m.hot;
        moveColumn(-1);
        if (menus_.back()->hot == before && level > 0)
            closeAbove(level);
        break;
    }
    case XK_Escape:
        if (level > 0)
            closeAbove(level);
        else
            done_ = true;
        break;
    case XK_Return: case XK_KP_Enter: case XK_space:
        if (m.hot >= 0) {
            if (m.model->items[static_cast<size_t>(m.hot)].submenu)
                openSubmenu(level, true);
            else
                choose(level, m.hot);
        }
        break;
    default:
        if (length == 1 && std::isalnum(static_cast<unsigned char>(buffer[0]))) {
            // The next entry that starts with the letter.
            const auto& items = m.model->items;
            const int n = static_cast<int>(items.size());
            for (int step = 1; step <= n; ++step) {
                const int i = ((m.hot < 0 ? -1 : m.hot) + step + n) % n;
                const MenuItem& item = items[static_cast<size_t>(i)];
                if ((selectable(item) || item.submenu) && !item.title.empty() &&
                    std::tolower(static_cast<unsigned char>(item.title[0])) ==
                        std::tolower(static_cast<unsigned char>(buffer[0]))) {
                    setHot(level, i, false);
                    break;
                }
            }
        }
        break;
    }
}

void MenuSession::handle(XEvent& event)
{
    switch (event.type) {
    case Expose:
        for (auto& m : menus_)
            if (m->window == event.xexpose.window) {
                if (event.xexpose.count == 0)
                    draw(*m);
                return;
            }
        owner_.handlePassiveEvent(event);
        return;
    case MotionNotify: {
        XEvent next;
        while (XCheckTypedEvent(display_, MotionNotify, &next))
            event = next;
        const int x = event.xmotion.x_root, y = event.xmotion.y_root;
        if (std::abs(x - startX_) > 3 * scale_ || std::abs(y - startY_) > 3 * scale_)
            moved_ = true;
        int item = -1;
        const int level = hit(x, y, item);
        if (level >= 0)
            setHot(static_cast<size_t>(level), item, true);
        return;
    }
    case ButtonPress: {
        if (event.xbutton.button > Button3)
            return; // the wheel
        int item = -1;
        if (hit(event.xbutton.x_root, event.xbutton.y_root, item) < 0)
            done_ = true; // a click outside cancels
        else
            pressedInside_ = true;
        return;
    }
    case ButtonRelease: {
        if (event.xbutton.button > Button3)
            return;
        const int x = event.xbutton.x_root, y = event.xbutton.y_root;
        if (std::abs(x - startX_) > 3 * scale_ || std::abs(y - startY_) > 3 * scale_)
            moved_ = true;
        int item = -1;
        const int level = hit(x, y, item);
        if (level < 0 || item < 0)
            return;
        // The release of the click that opened the menu chooses nothing
        // unless the pointer went somewhere first.
        if (!pressedInside_ && !moved_ && ticks() - openedAt_ < kClickGrace)
            return;
        const MenuItem& chosen = menus_[static_cast<size_t>(level)]->model->items[static_cast<size_t>(item)];
        if (chosen.submenu)
            setHot(static_cast<size_t>(level), item, true);
        else if (selectable(chosen))
            choose(static_cast<size_t>(level), item);
        return;
    }
    case KeyPress:
        keyPress(event.xkey);
        return;
    default:
        owner_.handlePassiveEvent(event);
        return;
    }
}

VSTGUI::MenuResult MenuSession::run(const MenuModel& menu, CPoint where)
{
    {
        ErrorTrap trap(display_);
        // A release of the opening click already queued belongs to the
        // click, not to the menu.
        XSync(display_, False);
        XEvent stale;
        while (XCheckTypedWindowEvent(display_, owner_.window(), ButtonRelease, &stale)) {
        }
        Window child = 0;
        int rootX = 0, rootY = 0;
        XTranslateCoordinates(display_, owner_.window(), RootWindow(display_, owner_.screen()), where.h * scale_,
                              where.v * scale_, &rootX, &rootY, &child);
        if (trap.failed())
            return {};
        if (!open(&menu, rootX, rootY, -1, -1))
            return {};
        Window pointerRoot = 0, pointerChild = 0;
        int wx = 0, wy = 0;
        unsigned int mask = 0;
        XQueryPointer(display_, owner_.window(), &pointerRoot, &pointerChild, &startX_, &startY_, &wx, &wy, &mask);
    }
    openedAt_ = ticks();
    // Another client may hold a grab for a moment: try for a while.
    const Window grabWindow = menus_.front()->window;
    for (int attempt = 0; attempt < 40 && !(grabbedPointer_ && grabbedKeyboard_); ++attempt) {
        ErrorTrap trap(display_);
        if (!grabbedPointer_)
            grabbedPointer_ = XGrabPointer(display_, grabWindow, False,
                                           ButtonPressMask | ButtonReleaseMask | PointerMotionMask, GrabModeAsync,
                                           GrabModeAsync, None, None, CurrentTime) == GrabSuccess;
        if (!grabbedKeyboard_)
            grabbedKeyboard_ = XGrabKeyboard(display_, grabWindow, False, GrabModeAsync, GrabModeAsync, CurrentTime) ==
                               GrabSuccess;
        if (!(grabbedPointer_ && grabbedKeyboard_))
            poll(nullptr, 0, 5);
    }
    while (!done_ && !menus_.empty()) {
        {
            ErrorTrap trap(display_);
            while (!done_ && XPending(display_) > 0) {
                XEvent event;
                XNextEvent(display_, &event);
                if (XFilterEvent(&event, None))
                    continue;
                handle(event);
                if (owner_.isGone())
                    done_ = true;
            }
        }
        if (done_)
            break;
        owner_.paintPending();
        pollfd fd{ConnectionNumber(display_), POLLIN, 0};
        poll(&fd, 1, 100);
    }
    return result_;
}

} // namespace

VSTGUI::MenuResult runPopupMenu(X11Window& owner, const MenuModel& menu, CPoint where)
{
    if (menu.items.empty())
        return {};
    MenuSession session(owner);
    return session.run(menu, where);
}

} // namespace x11gui
