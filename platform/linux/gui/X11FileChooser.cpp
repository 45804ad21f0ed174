// Our own file chooser, for machines with neither zenity nor kdialog: a
// top-level window drawn with the software raster. Folders and the files of
// the chosen type, a typed name, the file types, Open or Save and Cancel,
// and a question before a file is replaced.
#include "platform/linux/gui/X11Dialogs.h"

#include <X11/Xatom.h>
#include <X11/keysym.h>
#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace x11gui {

using VSTGUI::CColor;
using VSTGUI::CPoint;
using VSTGUI::CRect;

bool matchesPattern(const std::string& name, const std::string& pattern)
{
    size_t start = 0;
    while (start <= pattern.size()) {
        size_t end = pattern.find_first_of("; ", start);
        if (end == std::string::npos)
            end = pattern.size();
        const std::string one = pattern.substr(start, end - start);
        if (one == "*" || one == "*.*")
            return true;
        if (!one.empty() && fnmatch(one.c_str(), name.c_str(), FNM_CASEFOLD) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

namespace {
bool lessNoCase(const DirectoryEntry& a, const DirectoryEntry& b)
{
    return std::lexicographical_compare(a.name.begin(), a.name.end(), b.name.begin(), b.name.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
    });
}
} // namespace

std::vector<DirectoryEntry> listDirectory(const std::string& directory, const std::string& pattern)
{
    std::vector<DirectoryEntry> folders, files;
    if (DIR* dir = opendir(directory.c_str())) {
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name == "." || name == ".." || name[0] == '.')
                continue;
            struct stat info{};
            const std::string full = directory + (directory.back() == '/' ? "" : "/") + name;
            if (stat(full.c_str(), &info) != 0)
                continue;
            if (S_ISDIR(info.st_mode))
                folders.push_back({name, true});
            else if (matchesPattern(name, pattern))
                files.push_back({name, false});
        }
        closedir(dir);
    }
    std::sort(folders.begin(), folders.end(), lessNoCase);
    std::sort(files.begin(), files.end(), lessNoCase);
    std::vector<DirectoryEntry> all;
    if (directory != "/")
        all.push_back({"..", true});
    all.insert(all.end(), folders.begin(), folders.end());
    all.insert(all.end(), files.begin(), files.end());
    return all;
}

namespace {

constexpr int32_t kWidth = 480;
constexpr int32_t kHeight = 320;
constexpr int32_t kRow = 18;
constexpr CRect kPathBox(70, 10, 470, 30);
constexpr CRect kList(10, 38, 470, 254);
constexpr CRect kNameBox(70, 262, 470, 282);
constexpr CRect kTypeBox(70, 290, 300, 310);
constexpr CRect kOkButton(310, 289, 385, 311);
constexpr CRect kCancelButton(395, 289, 470, 311);

constexpr CColor kFace{236, 236, 236, 255};
constexpr CColor kWhite{255, 255, 255, 255};
constexpr CColor kFrame{130, 130, 130, 255};
constexpr CColor kText{20, 20, 20, 255};
constexpr CColor kFolderText{30, 60, 140, 255};
constexpr CColor kSelected{0, 120, 215, 255};
constexpr CColor kSelectedText{255, 255, 255, 255};

bool isDirectory(const std::string& path)
{
    struct stat info{};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool isFile(const std::string& path)
{
    struct stat info{};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string canonical(const std::string& path)
{
    char buffer[PATH_MAX];
    if (realpath(path.c_str(), buffer))
        return buffer;
    return path;
}

class Chooser {
public:
    Chooser(X11Window* owner, const VSTGUI::FileDialogSpec& desc) : owner_(owner), spec_(desc)
    {
        filter_ = desc.selectedFilter >= 0 && desc.selectedFilter < static_cast<int32_t>(desc.filters.size())
                      ? desc.selectedFilter
                      : 0;
        std::string start = desc.initialDirectory;
        if (start.empty() || !isDirectory(start)) {
            char buffer[PATH_MAX];
            start = getcwd(buffer, sizeof buffer) ? buffer : "/";
        }
        directory_ = canonical(start);
        name_ = desc.initialName;
        load();
    }

    std::optional<std::string> run();

private:
    std::string pattern() const { return spec_.filters.empty() ? "*" : spec_.filters[static_cast<size_t>(filter_)].second; }
    void load()
    {
        entries_ = listDirectory(directory_, pattern());
        selected_ = -1;
        top_ = 0;
    }
    void enter(const std::string& path)
    {
        directory_ = canonical(path);
        load();
    }
    int visibleRows() const { return (kList.height() - 4) / kRow; }
    void select(int index)
    {
        if (entries_.empty())
            return;
        selected_ = std::clamp(index, 0, static_cast<int>(entries_.size()) - 1);
        if (selected_ < top_)
            top_ = selected_;
        if (selected_ >= top_ + visibleRows())
            top_ = selected_ - visibleRows() + 1;
        if (!entries_[static_cast<size_t>(selected_)].directory)
            name_ = entries_[static_cast<size_t>(selected_)].name;
    }
    void draw();
    void show();
    // Return, a double click or OK: a folder is entered, a file chosen.
    void accept();
    void keyPress(XKeyEvent& event);
    void click(int x, int y, bool doubleClick);
    int ask(const PanelSpec& desc);

    X11Window* owner_;
    const VSTGUI::FileDialogSpec& spec_;
    Display* display_ = nullptr;
    bool ownDisplay_ = false;
    Window window_ = 0;
    GC gc_ = nullptr;
    int32_t scale_ = 1;
    std::unique_ptr<softraster::SoftwareSurface> surface_;
    std::unique_ptr<Blitter> blitter_;
    ModalLoop* loop_ = nullptr;

    std::string directory_;
    std::vector<DirectoryEntry> entries_;
    int selected_ = -1;
    int top_ = 0;
    std::string name_;
    int32_t filter_ = 0;
    bool done_ = false;
    std::optional<std::string> result_;
    uint32_t lastClick_ = 0;
    int lastClickRow_ = -1;
};

void Chooser::draw()
{
    softraster::SoftwareSurface& s = *surface_;
    const CRect all(0, 0, kWidth, kHeight);
    s.setClip(all);
    s.fillRect(all, kFace);
    auto label = [&](const char* text, int32_t y) {
        s.drawText(text, CRect(10, y, 68, y + 20), VSTGUI::kNormalFont, 0, kText, VSTGUI::kLeftText);
    };
    auto box = [&](const CRect& r) {
        s.fillRect(r, kWhite);
        s.frameRect(r, kFrame);
    };
    label("Folder:", kPathBox.top);
    box(kPathBox);
    {
        // The end of a long path is the part that matters.
        std::string shown = directory_;
        const int32_t room = kPathBox.width() - 8;
        while (shown.size() > 1 && s.textWidth(shown.c_str(), VSTGUI::kNormalFont, 0) > room)
            shown = "..." + shown.substr(std::min<size_t>(shown.size(), 4));
        CRect r(kPathBox.left + 4, kPathBox.top, kPathBox.right - 4, kPathBox.bottom);
        s.setClip(r);
        s.drawText(shown.c_str(), r, VSTGUI::kNormalFont, 0, kText, VSTGUI::kLeftText);
        s.setClip(all);
    }
    box(kList);
    const CRect inner(kList.left + 2, kList.top + 2, kList.right - 10, kList.bottom - 2);
    for (int row = 0; row < visibleRows(); ++row) {
        const int index = top_ + row;
        if (index >= static_cast<int>(entries_.size()))
            break;
        const DirectoryEntry& e = entries_[static_cast<size_t>(index)];
        const CRect r(inner.left, inner.top + row * kRow, inner.right, inner.top + (row + 1) * kRow);
        CColor color = e.directory ? kFolderText : kText;
        if (index == selected_) {
            s.fillRect(r, kSelected);
            color = kSelectedText;
        }
        const std::string text = e.directory ? e.name + "/" : e.name;
        CRect t(r.left + 4, r.top, r.right - 2, r.bottom);
        s.setClip(t);
        s.drawText(text.c_str(), t, VSTGUI::kNormalFont, e.directory ? VSTGUI::kBoldFace : 0, color, VSTGUI::kLeftText);
        s.setClip(all);
    }
    // Where the visible rows are in the list.
    const int count = static_cast<int>(entries_.size());
    if (count > visibleRows()) {
        const int32_t track = kList.height() - 4;
        const int32_t thumb = std::max<int32_t>(12, track * visibleRows() / count);
        const int32_t at = (track - thumb) * top_ / std::max(1, count - visibleRows());
        s.fillRect(CRect(kList.right - 8, kList.top + 2 + at, kList.right - 3, kList.top + 2 + at + thumb), kFrame);
    }
    label("Name:", kNameBox.top);
    box(kNameBox);
    {
        CRect r(kNameBox.left + 4, kNameBox.top, kNameBox.right - 4, kNameBox.bottom);
        s.setClip(r);
        int32_t x = r.left;
        const int32_t width = s.textWidth(name_.c_str(), VSTGUI::kNormalFont, 0);
        if (width > r.width() - 2)
            x = r.right - 2 - width; // the caret end stays in view
        s.drawText(name_.c_str(), CRect(x, r.top, r.right, r.bottom), VSTGUI::kNormalFont, 0, kText, VSTGUI::kLeftText);
        s.fillRect(CRect(x + width, r.top + 4, x + width + 1, r.bottom - 4), kText);
        s.setClip(all);
    }
    label("Type:", kTypeBox.top);
    box(kTypeBox);
    if (!spec_.filters.empty()) {
        const auto& f = spec_.filters[static_cast<size_t>(filter_)];
        const std::string text = f.first + " (" + f.second + ")";
        CRect r(kTypeBox.left + 4, kTypeBox.top, kTypeBox.right - 14, kTypeBox.bottom);
        s.setClip(r);
        s.drawText(text.c_str(), r, VSTGUI::kNormalFont, 0, kText, VSTGUI::kLeftText);
        s.setClip(all);
        // A small triangle: click to change.
        const int32_t ax = kTypeBox.right - 11, ay = kTypeBox.top + 8;
        for (int32_t k = 0; k < 4; ++k)
            s.drawLine(CPoint(ax + k, ay + k), CPoint(ax + 6 - k, ay + k), kText);
    }
    auto button = [&](const CRect& r, const char* text, bool primary) {
        s.fillRect(r, kWhite);
        s.frameRect(r, primary ? kSelected : kFrame);
        if (primary)
            s.frameRect(CRect(r.left + 1, r.top + 1, r.right - 1, r.bottom - 1), kSelected);
        s.setClip(r);
        s.drawText(text, r, VSTGUI::kNormalFont, 0, kText, VSTGUI::kCenterText);
        s.setClip(all);
    };
    button(kOkButton, spec_.save ? "Save" : "Open", true);
    button(kCancelButton, "Cancel", false);
}

void Chooser::show()
{
    draw();
    ErrorTrap trap(display_);
    blitter_->put(window_, gc_, *surface_, 0, 0, surface_->deviceWidth(), surface_->deviceHeight());
}

int Chooser::ask(const PanelSpec& desc)
{
    // The question over the chooser, in its window.
    int hot = desc.defaultButton;
    std::vector<CRect> rects;
    auto paint = [&] {
        draw();
        paintPanel(*surface_, desc, hot, true, rects);
        ErrorTrap trap(display_);
        blitter_->put(window_, gc_, *surface_, 0, 0, surface_->deviceWidth(), surface_->deviceHeight());
    };
    paint();
    int result = -1;
    bool pressed = false;
    int pressedOn = -1;
    auto hit = [&](int x, int y) {
        const CPoint p(x / scale_, y / scale_);
        for (size_t i = 0; i < rects.size(); ++i)
            if (rects[i].pointInside(p))
                return static_cast<int>(i);
        return -1;
    };
    const int n = static_cast<int>(desc.buttons.size());
    while (result < 0 && !done_) {
        loop_->step(100, [&](XEvent& event) {
            if (event.xany.window != window_)
                return false;
            switch (event.type) {
            case Expose:
                if (event.xexpose.count == 0)
                    paint();
                break;
            case ButtonPress:
                pressed = true;
                pressedOn = hit(event.xbutton.x, event.xbutton.y);
                break;
            case ButtonRelease:
                if (pressed && pressedOn >= 0 && hit(event.xbutton.x, event.xbutton.y) == pressedOn)
                    result = pressedOn;
                pressed = false;
                break;
            case KeyPress: {
                KeySym keysym = NoSymbol;
                char buffer[8] = {};
                XLookupString(&event.xkey, buffer, sizeof buffer - 1, &keysym, nullptr);
                if (keysym == XK_Return || keysym == XK_KP_Enter || keysym == XK_space)
                    result = hot;
                else if (keysym == XK_Escape)
                    result = desc.cancelButton;
                else if (keysym == XK_Left || keysym == XK_Right || keysym == XK_Tab) {
                    hot = (hot + 1) % n;
                    paint();
                } else {
                    for (int i = 0; i < n; ++i)
                        if (buffer[0] && std::tolower(static_cast<unsigned char>(desc.buttons[static_cast<size_t>(i)][0])) ==
                                             std::tolower(static_cast<unsigned char>(buffer[0])))
                            result = i;
                }
                break;
            }
            case ClientMessage:
                result = desc.cancelButton;
                break;
            default:
                break;
            }
            return true;
        }, ownDisplay_ ? display_ : nullptr);
    }
    show();
    return result < 0 ? desc.cancelButton : result;
}

void Chooser::accept()
{
    std::string name = name_;
    if (name.empty()) {
        if (selected_ >= 0 && entries_[static_cast<size_t>(selected_)].directory)
            enter(directory_ + "/" + entries_[static_cast<size_t>(selected_)].name);
        return;
    }
    if (name.rfind("~/", 0) == 0 && std::getenv("HOME"))
        name = std::string(std::getenv("HOME")) + name.substr(1);
    std::string path = name[0] == '/' ? name : directory_ + (directory_ == "/" ? "" : "/") + name;
    if (isDirectory(path)) {
        enter(path);
        name_.clear();
        return;
    }
    const std::string folder = path.substr(0, path.rfind('/') == 0 ? 1 : path.rfind('/'));
    if (!isDirectory(folder)) {
        PanelSpec message;
        message.caption = spec_.title;
        message.text = "The folder " + folder + " does not exist.";
        ask(message);
        return;
    }
    if (spec_.save) {
        const std::string full = withDefaultExtension(path, spec_.defaultExtension);
        if (isDirectory(full)) {
            enter(full);
            name_.clear();
            return;
        }
        if (spec_.confirmOverwrite && access(full.c_str(), F_OK) == 0) {
            PanelSpec confirm;
            confirm.caption = spec_.title;
            confirm.text = full.substr(full.rfind('/') + 1) + " already exists.\nDo you want to replace it?";
            confirm.buttons = {"Yes", "No"};
            confirm.defaultButton = 1;
            confirm.cancelButton = 1;
            if (ask(confirm) != 0)
                return;
        }
        result_ = full;
        done_ = true;
        return;
    }
    if (!isFile(path)) {
        const std::string full = withDefaultExtension(path, spec_.defaultExtension);
        if (isFile(full))
            path = full;
    }
    if (!isFile(path)) {
        PanelSpec message;
        message.caption = spec_.title;
        message.text = path.substr(path.rfind('/') + 1) + "\nFile not found.";
        ask(message);
        return;
    }
    result_ = path;
    done_ = true;
}

void Chooser::click(int x, int y, bool doubleClick)
{
    const CPoint p(x / scale_, y / scale_);
    if (kCancelButton.pointInside(p)) {
        done_ = true;
    } else if (kOkButton.pointInside(p)) {
        accept();
    } else if (kTypeBox.pointInside(p) && !spec_.filters.empty()) {
        filter_ = (filter_ + 1) % static_cast<int32_t>(spec_.filters.size());
        load();
    } else if (kList.pointInside(p)) {
        const int index = top_ + (p.v - kList.top - 2) / kRow;
        if (index >= 0 && index < static_cast<int>(entries_.size())) {
            select(index);
            if (doubleClick) {
                if (entries_[static_cast<size_t>(index)].directory)
                    enter(directory_ + "/" + entries_[static_cast<size_t>(index)].name);
                else
                    accept();
            }
        }
    }
}

void Chooser::keyPress(XKeyEvent& event)
{
    KeySym keysym = NoSymbol;
    char buffer[32] = {};
    const int length = XLookupString(&event, buffer, sizeof buffer - 1, &keysym, nullptr);
    const bool ctrl = event.state & ControlMask;
    switch (keysym) {
    case XK_Escape: done_ = true; return;
    case XK_Return: case XK_KP_Enter: accept(); return;
    case XK_Up: case XK_KP_Up:
        if (event.state & Mod1Mask) {
            enter(directory_ + "/..");
            return;
        }
        select(selected_ < 0 ? 0 : selected_ - 1);
        return;
    case XK_Down: case XK_KP_Down: select(selected_ + 1); return;
    case XK_Page_Up: select(selected_ - visibleRows()); return;
    case XK_Page_Down: select(std::max(0, selected_) + visibleRows()); return;
    case XK_Home: select(0); return;
    case XK_End: select(static_cast<int>(entries_.size()) - 1); return;
    case XK_Tab: case XK_ISO_Left_Tab:
        if (!spec_.filters.empty()) {
            filter_ = (filter_ + 1) % static_cast<int32_t>(spec_.filters.size());
            load();
        }
        return;
    case XK_BackSpace:
        if (ctrl)
            name_.clear();
        while (!name_.empty()) {
            const unsigned char last = static_cast<unsigned char>(name_.back());
            name_.pop_back();
            if ((last & 0xC0) != 0x80)
                break;
        }
        return;
    default:
        break;
    }
    if (ctrl && (keysym == XK_u || keysym == XK_U)) {
        name_.clear();
        return;
    }
    if (!ctrl && length > 0 && name_.size() < 255) {
        // Latin-1 from the key lookup, kept as UTF-8.
        for (int i = 0; i < length; ++i) {
            const unsigned char c = static_cast<unsigned char>(buffer[i]);
            if (c >= 32 && c != 127)
                appendUtf8(name_, c);
        }
    }
}

std::optional<std::string> Chooser::run()
{
    X11Window* owner = owner_ && !owner_->isGone() ? owner_ : nullptr;
    if (owner) {
        display_ = owner->display();
    } else {
        display_ = openDisplay();
        ownDisplay_ = true;
        if (!display_)
            return std::nullopt;
    }
    if (owner) {
        scale_ = owner->scale();
    } else {
        const int forced = scaleFromEnvironment();
        scale_ = forced ? forced : (readResources(display_).dpi >= 144 ? 2 : 1);
    }
    surface_ = std::make_unique<softraster::SoftwareSurface>(kWidth, kHeight, scale_);
    const int screen = DefaultScreen(display_);
    Atom deleteWindow = 0;
    {
        ErrorTrap trap(display_);
        XSetWindowAttributes attributes{};
        attributes.background_pixel = WhitePixel(display_, screen);
        attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | KeyPressMask | StructureNotifyMask;
        const int w = kWidth * scale_, h = kHeight * scale_;
        window_ = XCreateWindow(display_, RootWindow(display_, screen), (DisplayWidth(display_, screen) - w) / 2,
                                (DisplayHeight(display_, screen) - h) / 2, static_cast<unsigned>(w),
                                static_cast<unsigned>(h), 0, CopyFromParent, InputOutput, CopyFromParent,
                                CWBackPixel | CWEventMask, &attributes);
        XStoreName(display_, window_, spec_.title.c_str());
        const Atom utf8 = atom(display_, "UTF8_STRING");
        XChangeProperty(display_, window_, atom(display_, "_NET_WM_NAME"), utf8, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(spec_.title.data()), static_cast<int>(spec_.title.size()));
        const Atom type = atom(display_, "_NET_WM_WINDOW_TYPE");
        const Atom dialog = atom(display_, "_NET_WM_WINDOW_TYPE_DIALOG");
        XChangeProperty(display_, window_, type, XA_ATOM, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(&dialog), 1);
        deleteWindow = atom(display_, "WM_DELETE_WINDOW");
        XSetWMProtocols(display_, window_, &deleteWindow, 1);
        if (owner_)
            XSetTransientForHint(display_, window_, hostTopLevel(display_, owner_->hostParent()));
        XSizeHints* hints = XAllocSizeHints();
        if (hints) {
            hints->flags = PMinSize | PMaxSize;
            hints->min_width = hints->max_width = w;
            hints->min_height = hints->max_height = h;
            XSetWMNormalHints(display_, window_, hints);
            XFree(hints);
        }
        gc_ = XCreateGC(display_, window_, 0, nullptr);
        blitter_ = std::make_unique<Blitter>(display_, DefaultVisual(display_, screen), DefaultDepth(display_, screen), false);
        XMapRaised(display_, window_);
    }
    ModalLoop loop(owner);
    loop_ = &loop;
    bool mapped = false;
    const uint32_t doubleClickTime = [&] {
        const int t = readResources(display_).multiClickTime;
        return t > 0 ? static_cast<uint32_t>(t) : 400u;
    }();
    while (!done_) {
        loop.step(100, [&](XEvent& event) {
            if (event.xany.window != window_)
                return false;
            switch (event.type) {
            case MapNotify:
                if (!mapped) {
                    mapped = true;
                    ErrorTrap trap(display_);
                    XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
                }
                break;
            case Expose:
                if (event.xexpose.count == 0)
                    show();
                break;
            case ButtonPress:
                if (event.xbutton.button == Button4 || event.xbutton.button == Button5) {
                    const int delta = event.xbutton.button == Button4 ? -3 : 3;
                    top_ = std::clamp(top_ + delta, 0, std::max(0, static_cast<int>(entries_.size()) - visibleRows()));
                } else if (event.xbutton.button == Button1) {
                    const uint32_t now = ticks();
                    const int row = top_ + (event.xbutton.y / scale_ - kList.top - 2) / kRow;
                    const bool doubleClick = row == lastClickRow_ && now - lastClick_ < doubleClickTime;
                    lastClick_ = doubleClick ? 0 : now;
                    lastClickRow_ = doubleClick ? -1 : row;
                    click(event.xbutton.x, event.xbutton.y, doubleClick);
                }
                if (!done_)
                    show();
                break;
            case KeyPress:
                keyPress(event.xkey);
                if (!done_)
                    show();
                break;
            case ClientMessage:
                if (static_cast<Atom>(event.xclient.data.l[0]) == deleteWindow)
                    done_ = true;
                break;
            case DestroyNotify:
                done_ = true;
                window_ = 0;
                break;
            default:
                break;
            }
            return true;
        }, ownDisplay_ ? display_ : nullptr);
    }
    loop_ = nullptr;
    {
        ErrorTrap trap(display_);
        blitter_.reset();
        XFreeGC(display_, gc_);
        if (window_)
            XDestroyWindow(display_, window_);
    }
    if (ownDisplay_)
        closeDisplay(display_);
    return result_;
}

} // namespace

std::optional<std::string> runFileChooser(X11Window* owner, const VSTGUI::FileDialogSpec& desc)
{
    Chooser chooser(owner, desc);
    return chooser.run();
}

} // namespace x11gui
