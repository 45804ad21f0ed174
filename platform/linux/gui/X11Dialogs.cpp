#include "platform/linux/gui/X11Dialogs.h"

#include <X11/Xatom.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

extern char** environ;

namespace x11gui {

using VSTGUI::CColor;
using VSTGUI::CPoint;
using VSTGUI::CRect;

namespace {
constexpr uint32_t kModalIdleInterval = 40; // ms between the editor's idles while a dialog is open

constexpr CColor kPanelFace{238, 238, 238, 255};
constexpr CColor kPanelFrame{60, 60, 60, 255};
constexpr CColor kCaptionBar{52, 56, 64, 255};
constexpr CColor kCaptionText{255, 255, 255, 255};
constexpr CColor kBodyText{20, 20, 20, 255};
constexpr CColor kButtonFace{252, 252, 252, 255};
constexpr CColor kButtonFrame{120, 120, 120, 255};
constexpr CColor kButtonHot{0, 120, 215, 255};

constexpr int32_t kCaptionHeight = 22;
constexpr int32_t kLineHeight = 16;
constexpr int32_t kButtonHeight = 22;
constexpr int32_t kPadding = 14;
} // namespace

// --- Modal loop ----------------------------------------------------------------

ModalLoop::ModalLoop(X11Window* owner) : owner_(owner), entered_(owner), lastIdle_(ticks())
{
    if (entered_)
        entered_->enterModal();
}

ModalLoop::~ModalLoop()
{
    if (entered_ && owner_)
        entered_->leaveModal();
}

bool ModalLoop::step(int timeoutMs, const std::function<bool(XEvent&)>& take, Display* extra, int fd)
{
    auto drain = [&](Display* display, bool passive) {
        ErrorTrap trap(display);
        for (int budget = 256; budget > 0 && XPending(display) > 0; --budget) {
            XEvent event;
            XNextEvent(display, &event);
            if (XFilterEvent(&event, None))
                continue;
            if (take && take(event))
                continue;
            if (passive && owner_)
                owner_->handlePassiveEvent(event);
        }
    };
    if (owner_ && owner_->display())
        drain(owner_->display(), true);
    if (extra && (!owner_ || extra != owner_->display()))
        drain(extra, false);
    if (owner_ && !owner_->isGone())
        owner_->paintPending();
    // The editor's idle: its views, and the host through its idle.
    const uint32_t now = ticks();
    if (owner_ && now - lastIdle_ >= kModalIdleInterval) {
        lastIdle_ = now;
        X11Window* owner = owner_;
        if (!owner->callListener([owner] { owner->listener()->platformModalIdle(); }))
            owner_ = nullptr; // the editor went away meanwhile
    }

    pollfd fds[3];
    nfds_t count = 0;
    if (owner_ && owner_->display())
        fds[count++] = pollfd{ConnectionNumber(owner_->display()), POLLIN, 0};
    if (extra && (!owner_ || extra != owner_->display()))
        fds[count++] = pollfd{ConnectionNumber(extra), POLLIN, 0};
    int fdIndex = -1;
    if (fd >= 0) {
        fdIndex = static_cast<int>(count);
        fds[count++] = pollfd{fd, POLLIN, 0};
    }
    // The wait is short enough for the editor's idle to stay regular.
    const int wait = owner_ ? std::min<int>(timeoutMs, static_cast<int>(kModalIdleInterval)) : timeoutMs;
    if (poll(fds, count, wait) <= 0)
        return false;
    return fdIndex >= 0 && (fds[fdIndex].revents & (POLLIN | POLLHUP | POLLERR));
}

// --- Panel -------------------------------------------------------------------

namespace {

struct PanelLayout {
    CRect panel;
    std::vector<std::string> lines;
    std::vector<CRect> buttons;
};

std::vector<std::string> wrap(softraster::SoftwareSurface& s, const std::string& text, int32_t width)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string paragraph = text.substr(start, end - start);
        std::string line;
        size_t at = 0;
        while (at < paragraph.size()) {
            size_t space = paragraph.find(' ', at);
            if (space == std::string::npos)
                space = paragraph.size();
            std::string word = paragraph.substr(at, space - at);
            at = space + 1;
            std::string candidate = line.empty() ? word : line + " " + word;
            if (s.textWidth(candidate.c_str(), VSTGUI::kNormalFont, 0) <= width || line.empty()) {
                line = candidate;
                // A single word wider than the line is cut where it must be.
                while (s.textWidth(line.c_str(), VSTGUI::kNormalFont, 0) > width && line.size() > 1) {
                    size_t cut = line.size() - 1;
                    while (cut > 1 && s.textWidth(line.substr(0, cut).c_str(), VSTGUI::kNormalFont, 0) > width)
                        --cut;
                    while (cut > 1 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80)
                        --cut;
                    lines.push_back(line.substr(0, cut));
                    line = line.substr(cut);
                }
            } else {
                lines.push_back(line);
                line = word;
            }
        }
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

PanelLayout layoutPanel(softraster::SoftwareSurface& s, const PanelSpec& desc, int32_t areaWidth, int32_t areaHeight)
{
    PanelLayout layout;
    const int32_t captionWidth = s.textWidth(desc.caption.c_str(), VSTGUI::kSystemFont, VSTGUI::kBoldFace);
    int32_t buttonsWidth = 0;
    std::vector<int32_t> buttonWidths;
    for (const std::string& label : desc.buttons) {
        buttonWidths.push_back(std::max<int32_t>(72, s.textWidth(label.c_str(), VSTGUI::kNormalFont, 0) + 24));
        buttonsWidth += buttonWidths.back() + 8;
    }
    int32_t textWidth = 0;
    {
        size_t start = 0;
        while (start <= desc.text.size()) {
            size_t end = desc.text.find('\n', start);
            if (end == std::string::npos)
                end = desc.text.size();
            textWidth = std::max(textWidth, s.textWidth(desc.text.substr(start, end - start).c_str(), VSTGUI::kNormalFont, 0));
            start = end + 1;
        }
    }
    int32_t width = std::max({int32_t{240}, captionWidth + 2 * kPadding, std::min<int32_t>(textWidth, 380) + 2 * kPadding,
                              buttonsWidth + 2 * kPadding});
    width = std::min(width, std::max<int32_t>(120, areaWidth - 12));
    layout.lines = wrap(s, desc.text, width - 2 * kPadding);
    int32_t height = kCaptionHeight + kPadding + static_cast<int32_t>(layout.lines.size()) * kLineHeight + kPadding +
                     kButtonHeight + 12;
    height = std::min(height, std::max<int32_t>(kCaptionHeight + kButtonHeight + 8, areaHeight - 4));
    const int32_t left = (areaWidth - width) / 2, top = (areaHeight - height) / 2;
    layout.panel = CRect(left, top, left + width, top + height);
    int32_t x = layout.panel.right - 12;
    layout.buttons.resize(desc.buttons.size());
    for (size_t i = desc.buttons.size(); i-- > 0;) {
        x -= buttonWidths[i];
        layout.buttons[i] = CRect(x, layout.panel.bottom - 12 - kButtonHeight, x + buttonWidths[i], layout.panel.bottom - 12);
        x -= 8;
    }
    return layout;
}

} // namespace

void panelSize(softraster::SoftwareSurface& measure, const PanelSpec& desc, int32_t& width, int32_t& height)
{
    const PanelLayout layout = layoutPanel(measure, desc, 4000, 4000);
    width = layout.panel.width();
    height = layout.panel.height();
}

void paintPanel(softraster::SoftwareSurface& s, const PanelSpec& desc, int hot, bool dim, std::vector<CRect>& buttons)
{
    const CRect all(0, 0, s.width(), s.height());
    s.setClip(all);
    if (dim) {
        // What is under the panel, darkened to half.
        uint32_t* p = s.pixels();
        const size_t n = static_cast<size_t>(s.deviceWidth()) * static_cast<size_t>(s.deviceHeight());
        for (size_t i = 0; i < n; ++i)
            p[i] = 0xFF000000u | ((p[i] & 0xFEFEFEu) >> 1);
    }
    const PanelLayout layout = layoutPanel(s, desc, s.width(), s.height());
    const CRect panel = layout.panel;
    s.fillRect(panel, kPanelFace);
    s.fillRect(CRect(panel.left, panel.top, panel.right, panel.top + kCaptionHeight), kCaptionBar);
    s.frameRect(panel, kPanelFrame);
    CRect caption(panel.left + 10, panel.top, panel.right - 10, panel.top + kCaptionHeight);
    s.setClip(caption);
    s.drawText(desc.caption.c_str(), caption, VSTGUI::kSystemFont, VSTGUI::kBoldFace, kCaptionText, VSTGUI::kLeftText);
    const CRect body(panel.left + kPadding, panel.top + kCaptionHeight + kPadding, panel.right - kPadding,
                     panel.bottom - 12 - kButtonHeight - 4);
    s.setClip(body);
    int32_t y = body.top;
    for (const std::string& line : layout.lines) {
        s.drawText(line.c_str(), CRect(body.left, y, body.right, y + kLineHeight), VSTGUI::kNormalFont, 0, kBodyText,
                   VSTGUI::kLeftText);
        y += kLineHeight;
    }
    s.setClip(all);
    for (size_t i = 0; i < layout.buttons.size(); ++i) {
        const CRect r = layout.buttons[i];
        s.fillRect(r, kButtonFace);
        if (static_cast<int>(i) == hot) {
            s.frameRect(r, kButtonHot);
            s.frameRect(CRect(r.left + 1, r.top + 1, r.right - 1, r.bottom - 1), kButtonHot);
        } else {
            s.frameRect(r, kButtonFrame);
        }
        s.setClip(r);
        s.drawText(desc.buttons[i].c_str(), r, VSTGUI::kNormalFont, 0, kBodyText, VSTGUI::kCenterText);
        s.setClip(all);
    }
    buttons = layout.buttons;
}

namespace {

// Keys and clicks on a panel: Return takes the default button, Escape the
// cancel button, arrows and Tab move between buttons, a button's first
// letter chooses it; a click chooses the button it is released on (any
// click when there is only one button).
class PanelInput {
public:
    PanelInput(const PanelSpec& desc, int32_t scale) : hot(desc.defaultButton), spec_(desc), scale_(scale) {}

    // True when the event was the panel's; `changed` when it must be drawn again.
    bool handle(XEvent& event, Window window, bool& changed)
    {
        if (event.xany.window != window)
            return false;
        const int n = static_cast<int>(spec_.buttons.size());
        switch (event.type) {
        case ButtonPress:
            if (event.xbutton.button <= Button3) {
                pressed_ = true;
                pressedButton_ = hit(event.xbutton.x, event.xbutton.y);
            }
            return true;
        case ButtonRelease:
            if (event.xbutton.button <= Button3 && pressed_) {
                pressed_ = false;
                const int b = hit(event.xbutton.x, event.xbutton.y);
                if (n == 1)
                    result = 0;
                else if (b >= 0 && b == pressedButton_)
                    result = b;
            }
            return true;
        case KeyPress: {
            KeySym keysym = NoSymbol;
            char buffer[8] = {};
            XLookupString(&event.xkey, buffer, sizeof buffer - 1, &keysym, nullptr);
            switch (keysym) {
            case XK_Return: case XK_KP_Enter: case XK_space: result = hot; break;
            case XK_Escape: result = spec_.cancelButton; break;
            case XK_Left: case XK_Up: case XK_ISO_Left_Tab: hot = (hot + n - 1) % n; changed = true; break;
            case XK_Right: case XK_Down: case XK_Tab: hot = (hot + 1) % n; changed = true; break;
            default:
                for (int i = 0; i < n; ++i)
                    if (buffer[0] && !spec_.buttons[static_cast<size_t>(i)].empty() &&
                        std::tolower(static_cast<unsigned char>(spec_.buttons[static_cast<size_t>(i)][0])) ==
                            std::tolower(static_cast<unsigned char>(buffer[0])))
                        result = i;
                break;
            }
            return true;
        }
        case KeyRelease:
        case MotionNotify:
            return true;
        default:
            return false;
        }
    }

    std::vector<CRect> rects;
    int result = -1;
    int hot;

private:
    int hit(int x, int y) const
    {
        const CPoint p(x / scale_, y / scale_);
        for (size_t i = 0; i < rects.size(); ++i)
            if (rects[i].pointInside(p))
                return static_cast<int>(i);
        return -1;
    }
    const PanelSpec& spec_;
    int32_t scale_;
    bool pressed_ = false;
    int pressedButton_ = -1;
};

int scaleForDisplay(Display* display)
{
    if (const int forced = scaleFromEnvironment())
        return forced;
    return readResources(display).dpi >= 144 ? 2 : 1;
}

void waitForMap(Display* display, Window window)
{
    const uint32_t start = ticks();
    XEvent event;
    while (ticks() - start < 2000) {
        if (XCheckTypedWindowEvent(display, window, MapNotify, &event))
            return;
        pollfd fd{ConnectionNumber(display), POLLIN, 0};
        poll(&fd, 1, 20);
    }
}

// The panel in a small top-level window of its own.
int runPanelWindow(X11Window* owner, const PanelSpec& desc)
{
    Display* display = openDisplay();
    if (!display) {
        std::fprintf(stderr, "%s: %s\n", desc.caption.c_str(), desc.text.c_str());
        return desc.cancelButton;
    }
    const int scale = scaleForDisplay(display);
    softraster::SoftwareSurface surface(1, 1, scale);
    int32_t width = 0, height = 0;
    panelSize(surface, desc, width, height);
    surface.resize(width, height, scale);
    const int screen = DefaultScreen(display);
    int result = desc.cancelButton;
    {
        ErrorTrap trap(display);
        XSetWindowAttributes attributes{};
        attributes.background_pixel = WhitePixel(display, screen);
        attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | KeyPressMask | KeyReleaseMask |
                                StructureNotifyMask;
        const int x = (DisplayWidth(display, screen) - width * scale) / 2;
        const int y = (DisplayHeight(display, screen) - height * scale) / 2;
        const Window window = XCreateWindow(display, RootWindow(display, screen), x, y,
                                            static_cast<unsigned>(width * scale), static_cast<unsigned>(height * scale),
                                            0, CopyFromParent, InputOutput, CopyFromParent, CWBackPixel | CWEventMask,
                                            &attributes);
        XStoreName(display, window, desc.caption.c_str());
        const Atom type = atom(display, "_NET_WM_WINDOW_TYPE");
        const Atom dialog = atom(display, "_NET_WM_WINDOW_TYPE_DIALOG");
        XChangeProperty(display, window, type, XA_ATOM, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(&dialog), 1);
        Atom deleteWindow = atom(display, "WM_DELETE_WINDOW");
        XSetWMProtocols(display, window, &deleteWindow, 1);
        if (owner)
            XSetTransientForHint(display, window, hostTopLevel(display, owner->hostParent()));
        GC gc = XCreateGC(display, window, 0, nullptr);
        Blitter blitter(display, DefaultVisual(display, screen), DefaultDepth(display, screen), false);
        PanelInput input(desc, scale);
        auto show = [&] {
            paintPanel(surface, desc, input.hot, false, input.rects);
            blitter.put(window, gc, surface, 0, 0, surface.deviceWidth(), surface.deviceHeight());
        };
        XMapRaised(display, window);
        waitForMap(display, window);
        XSetInputFocus(display, window, RevertToParent, CurrentTime);
        trap.failed();
        show();
        ModalLoop loop(owner);
        bool closed = false;
        while (input.result < 0 && !closed) {
            loop.step(100, [&](XEvent& event) {
                if (event.xany.display != display)
                    return false;
                bool changed = false;
                if (input.handle(event, window, changed)) {
                    if (changed)
                        show();
                    return true;
                }
                if (event.type == Expose && event.xexpose.window == window && event.xexpose.count == 0)
                    show();
                else if (event.type == ClientMessage && static_cast<Atom>(event.xclient.data.l[0]) == deleteWindow)
                    closed = true;
                else if (event.type == DestroyNotify && event.xdestroywindow.window == window)
                    closed = true;
                return true;
            }, display);
        }
        if (input.result >= 0)
            result = input.result;
        XFreeGC(display, gc);
        XDestroyWindow(display, window);
    }
    closeDisplay(display);
    return result;
}

} // namespace

int runPanel(X11Window* owner, const PanelSpec& desc)
{
    if (desc.buttons.empty())
        return -1;
    if (!owner || owner->isGone())
        return runPanelWindow(owner, desc);
    Display* display = owner->display();
    PanelInput input(desc, owner->scale());
    auto painter = [&](softraster::SoftwareSurface& s) { paintPanel(s, desc, input.hot, true, input.rects); };
    Window previousFocus = 0;
    {
        ErrorTrap trap(display);
        int revert = 0;
        XGetInputFocus(display, &previousFocus, &revert);
        // Return and Escape come to us while the panel is up.
        XSetInputFocus(display, owner->window(), RevertToParent, CurrentTime);
    }
    owner->setOverlay(painter);
    ModalLoop loop(owner);
    while (input.result < 0) {
        if (!loop.owner()) {
            input.result = desc.cancelButton;
            break;
        }
        const Window window = owner->window();
        loop.step(100, [&](XEvent& event) {
            bool changed = false;
            if (!input.handle(event, window, changed))
                return false;
            if (changed)
                owner->setOverlay(painter);
            return true;
        });
    }
    if (loop.owner()) {
        owner->setOverlay(nullptr);
        ErrorTrap trap(display);
        Window focus = 0;
        int revert = 0;
        XGetInputFocus(display, &focus, &revert);
        if (focus == owner->window()) {
            Window target = previousFocus;
            if (target == None || target == PointerRoot || target == owner->window())
                target = owner->hostParent();
            XSetInputFocus(display, target, RevertToParent, CurrentTime);
            if (trap.failed() && target != owner->hostParent()) {
                trap.reset();
                XSetInputFocus(display, owner->hostParent(), RevertToParent, CurrentTime);
            }
        }
    }
    return input.result;
}

Window hostTopLevel(Display* display, Window window)
{
    ErrorTrap trap(display);
    const Atom wmState = atom(display, "WM_STATE");
    Window best = window, current = window;
    Window topMostWithState = 0;
    for (int depth = 0; depth < 64 && current; ++depth) {
        Atom type = 0;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display, current, wmState, 0, 0, False, AnyPropertyType, &type, &format, &items, &after,
                               &data) == Success && type != None)
            topMostWithState = current;
        if (data)
            XFree(data);
        Window root = 0, parent = 0, *children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(display, current, &root, &parent, &children, &count))
            break;
        if (children)
            XFree(children);
        if (!parent || parent == root) {
            best = current;
            break;
        }
        current = parent;
    }
    if (trap.failed())
        return window;
    return topMostWithState ? topMostWithState : best;
}

// --- Messages ----------------------------------------------------------------

void showMessage(X11Window* window, const std::string& caption, const std::string& text)
{
    PanelSpec desc;
    desc.caption = caption;
    desc.text = text;
    runPanel(window, desc);
}

// --- File dialogs ------------------------------------------------------------

namespace {

std::string startPath(const VSTGUI::FileDialogSpec& desc)
{
    std::string directory = desc.initialDirectory;
    if (directory.empty()) {
        char buffer[4096];
        if (getcwd(buffer, sizeof buffer))
            directory = buffer;
    }
    if (!directory.empty() && directory.back() != '/')
        directory += '/';
    return directory + desc.initialName;
}

// The filters with the preselected one first: that is the one the
// programs start with.
std::vector<std::pair<std::string, std::string>> orderedFilters(const VSTGUI::FileDialogSpec& desc)
{
    auto filters = desc.filters;
    if (desc.selectedFilter > 0 && desc.selectedFilter < static_cast<int32_t>(filters.size()))
        std::rotate(filters.begin(), filters.begin() + desc.selectedFilter, filters.begin() + desc.selectedFilter + 1);
    return filters;
}

// "*.*" means every file where these filters come from; "*" says so here.
std::string unixPattern(const std::string& pattern)
{
    std::string result;
    size_t start = 0;
    while (start <= pattern.size()) {
        size_t end = pattern.find(';', start);
        if (end == std::string::npos)
            end = pattern.size();
        std::string one = pattern.substr(start, end - start);
        if (one == "*.*")
            one = "*";
        if (!one.empty())
            result += (result.empty() ? "" : " ") + one;
        start = end + 1;
    }
    return result.empty() ? "*" : result;
}

bool isRegularFile(const std::string& path)
{
    struct stat info{};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool exists(const std::string& path)
{
    struct stat info{};
    return stat(path.c_str(), &info) == 0;
}

} // namespace

std::vector<std::string> zenityArguments(const VSTGUI::FileDialogSpec& desc, unsigned long attachTo)
{
    std::vector<std::string> args{"zenity", "--file-selection", "--title=" + desc.title, "--filename=" + startPath(desc)};
    if (desc.save) {
        args.push_back("--save");
        if (desc.confirmOverwrite)
            args.push_back("--confirm-overwrite");
    }
    for (const auto& [description, pattern] : orderedFilters(desc))
        args.push_back("--file-filter=" + description + " | " + unixPattern(pattern));
    if (attachTo) {
        args.push_back("--modal");
        args.push_back("--attach=" + std::to_string(attachTo));
    }
    return args;
}

std::vector<std::string> kdialogArguments(const VSTGUI::FileDialogSpec& desc, unsigned long attachTo)
{
    std::string filter;
    for (const auto& [description, pattern] : orderedFilters(desc))
        filter += (filter.empty() ? "" : "\n") + description + " (" + unixPattern(pattern) + ")";
    std::vector<std::string> args{"kdialog", "--title", desc.title,
                                  desc.save ? "--getsavefilename" : "--getopenfilename", startPath(desc), filter};
    if (attachTo) {
        args.push_back("--attach");
        args.push_back(std::to_string(attachTo));
    }
    return args;
}

std::string withDefaultExtension(const std::string& path, const std::string& extension)
{
    if (extension.empty() || path.empty() || path.back() == '/')
        return path;
    const size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.find('.') != std::string::npos && name.back() != '.')
        return path;
    return path + (name.back() == '.' ? "" : ".") + extension;
}

ChildResult runChild(X11Window* owner, const std::vector<std::string>& argv)
{
    ChildResult result;
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
        return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // The child starts with the signals as a fresh program has them, not as
    // the host set them up.
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGCHLD);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(pipeFds[1]);
    if (spawned != 0) {
        close(pipeFds[0]);
        return result; // not installed (or not runnable)
    }
    result.started = true;
    bool open = true;
    ModalLoop loop(owner);
    // Our own window goes on painting and the editor idling while the
    // dialog is up; clicks on the editor wait.
    while (open) {
        if (loop.step(100, nullptr, nullptr, pipeFds[0])) {
            char buffer[1024];
            const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
            if (n > 0)
                result.output.append(buffer, static_cast<size_t>(n));
            else if (n == 0 || (errno != EINTR && errno != EAGAIN))
                open = false;
        }
    }
    close(pipeFds[0]);
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            break;
        }
        if (done < 0 && errno != EINTR) {
            result.exitCode = -1; // reaped by the host already
            break;
        }
        loop.step(20, nullptr);
    }
    return result;
}

std::optional<std::string> runFileDialog(X11Window* owner, const VSTGUI::FileDialogSpec& desc)
{
    const unsigned long attachTo = owner && !owner->isGone() ? hostTopLevel(owner->display(), owner->hostParent()) : 0;
    for (int program = 0; program < 2; ++program) {
        const ChildResult child =
            runChild(owner, program == 0 ? zenityArguments(desc, attachTo) : kdialogArguments(desc, attachTo));
        if (!child.started || child.exitCode == 127 || child.exitCode == 126)
            continue; // not there: the next one
        std::string path = child.output;
        while (!path.empty() && (path.back() == '\n' || path.back() == '\r'))
            path.pop_back();
        // One path only: a second line would be a second file.
        if (path.find('\n') != std::string::npos)
            path = path.substr(0, path.find('\n'));
        const bool accepted = child.exitCode == 0 || (child.exitCode == -1 && !path.empty());
        if (!accepted || path.empty())
            return std::nullopt;
        if (desc.save) {
            const std::string full = withDefaultExtension(path, desc.defaultExtension);
            // The program asked about the name it returned; a name we
            // completed is asked about here.
            if (full != path && desc.confirmOverwrite && exists(full)) {
                PanelSpec confirm;
                confirm.caption = desc.title;
                confirm.text = full.substr(full.rfind('/') + 1) + " already exists.\nDo you want to replace it?";
                confirm.buttons = {"Yes", "No"};
                confirm.defaultButton = 1;
                confirm.cancelButton = 1;
                if (runPanel(owner, confirm) != 0)
                    return std::nullopt;
            }
            return full;
        }
        if (!isRegularFile(path))
            return std::nullopt;
        return path;
    }
    return runFileChooser(owner, desc);
}

} // namespace x11gui
