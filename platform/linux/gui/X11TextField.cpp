// The native single-line text field: our own editor in a child window of the
// editor window, drawn with the software raster in the control's font and
// colours. It takes the keyboard focus when it opens (hosts such as REAPER
// give plug-in windows none otherwise) and hands it back when it closes.
#include "platform/linux/gui/X11Window.h"

#include <X11/Xatom.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstring>

namespace x11gui {

using VSTGUI::CColor;
using VSTGUI::CRect;

namespace {

constexpr uint32_t kCaretBlink = 530;   // ms per phase
constexpr uint32_t kEchoWindow = 300;   // ms in which the same key from the other source is an echo
constexpr CColor kHighlight{0, 120, 215, 255};
constexpr CColor kHighlightText{255, 255, 255, 255};

bool isContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The key's identity for recognising the same press from both sources.
int32_t keyIdentity(uint32_t character, unsigned char virt)
{
    if (virt)
        return 0x1000000 + virt;
    if (character >= 'A' && character <= 'Z')
        character += 'a' - 'A';
    return static_cast<int32_t>(character);
}

enum class Source { kWindow, kHost };

class TextField final : public X11TextField {
public:
    TextField(X11Window& owner, const VSTGUI::TextFieldSpec& desc, VSTGUI::PlatformTextFieldListener* listener);
    ~TextField() override;

    std::string getText() const override { return text_; }
    bool handleKey(const VstKeyCode& key, bool down) override;
    Window window() const override { return window_; }
    void handleEvent(XEvent& event) override;
    void tick() override;
    void detach() override;

    bool valid() const { return window_ != 0; }

private:
    enum class Action { kNone, kInsert, kBackspace, kDelete, kLeft, kRight, kHome, kEnd, kSelectAll, kCopy, kCut,
                        kPaste, kCommit, kCancel };
    // Applies an action; false when the field closed (and may be gone).
    bool apply(Action action, bool extend, const std::string& text);
    bool seenFromOtherSource(Source source, int32_t identity);
    void insert(const std::string& text);
    void eraseSelection();
    size_t selectionStart() const { return std::min(caret_, anchor_); }
    size_t selectionEnd() const { return std::max(caret_, anchor_); }
    size_t previousBoundary(size_t at) const;
    size_t nextBoundary(size_t at) const;
    size_t offsetAt(int deviceX);
    void requestSelection(Atom selection, Atom target);
    void receiveSelection(const XSelectionEvent& event);
    void answerSelectionRequest(const XSelectionRequestEvent& request);
    void own(Atom selection);
    void close(bool commit);
    void restoreFocus();
    void releaseWindow();
    void redraw();
    void restartCaret();

    X11Window* owner_;
    Display* display_;
    VSTGUI::TextFieldSpec spec_;
    VSTGUI::PlatformTextFieldListener* listener_;
    Window window_ = 0;
    GC gc_ = nullptr;
    XIM im_ = nullptr;
    XIC ic_ = nullptr;
    Window previousFocus_ = 0;
    std::unique_ptr<Blitter> blitter_;
    softraster::SoftwareSurface surface_;
    int32_t scale_;
    int32_t face_;

    std::string text_;
    size_t caret_ = 0;  // byte offsets, at code point boundaries
    size_t anchor_ = 0;
    int32_t scroll_ = 0; // device pixels the text is moved left by
    bool focused_ = false;
    bool closing_ = false;
    bool dragging_ = false;
    uint32_t caretSince_ = 0;
    bool caretShown_ = true;
    uint32_t lastClick_ = 0;
    bool lastClickValid_ = false;
    uint32_t doubleClickTime_ = 400;

    // Selections we offer (CLIPBOARD after a copy, PRIMARY after selecting).
    std::string clipboard_;
    std::string primary_;
    Atom pasteTarget_ = 0;
    Atom pasteSelection_ = 0;

    struct Press {
        int32_t identity;
        Source source;
        uint32_t time;
        bool echoed;
    };
    std::vector<Press> presses_;
};

TextField::TextField(X11Window& owner, const VSTGUI::TextFieldSpec& desc, VSTGUI::PlatformTextFieldListener* listener)
    : owner_(&owner), display_(owner.display()), spec_(desc), listener_(listener),
      surface_(std::max<int32_t>(1, desc.rect.width()), std::max<int32_t>(1, desc.rect.height()), owner.scale()),
      scale_(owner.scale())
{
    face_ = spec_.face & ~VSTGUI::kUnderlineFace;
    if (spec_.weight >= 600)
        face_ |= VSTGUI::kBoldFace;
    face_ |= spec_.face & VSTGUI::kUnderlineFace;
    text_ = spec_.text;
    // Over-long or broken initial text is cut to whole characters.
    if (text_.size() > spec_.maxLength) {
        size_t cut = spec_.maxLength;
        while (cut > 0 && isContinuation(text_[cut]))
            --cut;
        text_.resize(cut);
    }
    anchor_ = 0;
    caret_ = text_.size();

    ErrorTrap trap(display_);
    XSetWindowAttributes attributes{};
    attributes.background_pixel = 0;
    attributes.border_pixel = 0;
    attributes.colormap = owner.colormap();
    attributes.cursor = None;
    long eventMask = KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask | Button1MotionMask |
                     ExposureMask | FocusChangeMask;
    attributes.event_mask = eventMask;
    const CRect r = spec_.rect;
    window_ = XCreateWindow(display_, owner.window(), r.left * scale_, r.top * scale_,
                            static_cast<unsigned>(std::max(1, r.width() * scale_)),
                            static_cast<unsigned>(std::max(1, r.height() * scale_)), 0, owner.depth(), InputOutput,
                            owner.visual(), CWBackPixel | CWBorderPixel | CWColormap | CWEventMask, &attributes);
    if (trap.failed() || !window_) {
        window_ = 0;
        return;
    }
    gc_ = XCreateGC(display_, window_, 0, nullptr);
    blitter_ = std::make_unique<Blitter>(display_, owner.visual(), owner.depth(), false);

    // An input method when the locale offers one; plain key lookup otherwise.
    im_ = XOpenIM(display_, nullptr, nullptr, nullptr);
    if (im_) {
        ic_ = XCreateIC(im_, XNInputStyle, XIMPreeditNothing | XIMStatusNothing, XNClientWindow, window_,
                        XNFocusWindow, window_, nullptr);
        if (!ic_)
            ic_ = XCreateIC(im_, XNInputStyle, XIMPreeditNone | XIMStatusNone, XNClientWindow, window_, XNFocusWindow,
                            window_, nullptr);
        if (ic_) {
            unsigned long filterMask = 0;
            if (!XGetICValues(ic_, XNFilterEvents, &filterMask, nullptr))
                XSelectInput(display_, window_, eventMask | static_cast<long>(filterMask));
        } else {
            XCloseIM(im_);
            im_ = nullptr;
        }
    }

    int revert = 0;
    XGetInputFocus(display_, &previousFocus_, &revert);
    XMapRaised(display_, window_);
    // Take the keyboard: hosts do not give it to plug-in windows.
    XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
    trap.failed();
    if (ic_)
        XSetICFocus(ic_);
    const DisplayResources resources = readResources(display_);
    if (resources.multiClickTime > 0)
        doubleClickTime_ = static_cast<uint32_t>(resources.multiClickTime);
    owner.addField(this);
    restartCaret();
    redraw();
}

TextField::~TextField()
{
    if (owner_) {
        owner_->removeField(this);
        if (!owner_->isGone()) {
            ErrorTrap trap(display_);
            restoreFocus();
        }
    }
    releaseWindow();
}

void TextField::detach()
{
    releaseWindow();
    owner_ = nullptr;
}

void TextField::releaseWindow()
{
    if (!owner_ || !display_)
        return;
    ErrorTrap trap(display_);
    if (ic_)
        XDestroyIC(ic_);
    if (im_)
        XCloseIM(im_);
    ic_ = nullptr;
    im_ = nullptr;
    blitter_.reset();
    if (gc_)
        XFreeGC(display_, gc_);
    gc_ = nullptr;
    if (window_ && !owner_->isGone())
        XDestroyWindow(display_, window_);
    window_ = 0;
}

void TextField::restoreFocus()
{
    if (!window_)
        return;
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display_, &focus, &revert);
    // Someone else took it already: leave it there.
    if (focus != window_ && focus != owner_->window())
        return;
    ErrorTrap trap(display_);
    Window target = previousFocus_;
    if (target == None || target == PointerRoot || target == window_ || target == owner_->window())
        target = owner_->hostParent();
    XSetInputFocus(display_, target, RevertToParent, CurrentTime);
    if (trap.failed() && target != owner_->hostParent()) {
        trap.reset();
        XSetInputFocus(display_, owner_->hostParent(), RevertToParent, CurrentTime);
    }
}

size_t TextField::previousBoundary(size_t at) const
{
    if (at == 0)
        return 0;
    --at;
    while (at > 0 && isContinuation(text_[at]))
        --at;
    return at;
}

size_t TextField::nextBoundary(size_t at) const
{
    if (at >= text_.size())
        return text_.size();
    ++at;
    while (at < text_.size() && isContinuation(text_[at]))
        ++at;
    return at;
}

void TextField::eraseSelection()
{
    const size_t a = selectionStart(), b = selectionEnd();
    text_.erase(a, b - a);
    caret_ = anchor_ = a;
}

void TextField::insert(const std::string& typed)
{
    // One line of printable characters: a line break ends what is taken,
    // other control characters are left out.
    std::string clean;
    size_t at = 0;
    while (at < typed.size()) {
        const size_t start = at;
        const uint32_t cp = softraster::nextCodePoint(typed.c_str(), at);
        if (cp == 0 || cp == '\n' || cp == '\r')
            break;
        if (cp < 32 || cp == 127 || (cp >= 0x80 && cp < 0xA0))
            continue;
        if (cp == static_cast<unsigned char>(typed[start]) && cp >= 0x80)
            appendUtf8(clean, cp); // a stray Latin-1 byte, made UTF-8
        else
            clean.append(typed, start, at - start);
    }
    eraseSelection();
    // At most maxLength bytes (the toolkit's buffers hold that many),
    // whole characters only.
    const size_t room = spec_.maxLength > text_.size() ? spec_.maxLength - text_.size() : 0;
    if (clean.size() > room) {
        size_t cut = room;
        while (cut > 0 && isContinuation(clean[cut]))
            --cut;
        clean.resize(cut);
    }
    text_.insert(caret_, clean);
    caret_ += clean.size();
    anchor_ = caret_;
}

bool TextField::apply(Action action, bool extend, const std::string& text)
{
    if (closing_ || !valid())
        return false;
    switch (action) {
    case Action::kNone:
        return true;
    case Action::kInsert:
        insert(text);
        break;
    case Action::kBackspace:
        if (caret_ == anchor_)
            anchor_ = previousBoundary(caret_);
        eraseSelection();
        break;
    case Action::kDelete:
        if (caret_ == anchor_)
            anchor_ = nextBoundary(caret_);
        eraseSelection();
        break;
    case Action::kLeft:
        if (!extend && caret_ != anchor_)
            caret_ = selectionStart();
        else
            caret_ = previousBoundary(caret_);
        if (!extend)
            anchor_ = caret_;
        break;
    case Action::kRight:
        if (!extend && caret_ != anchor_)
            caret_ = selectionEnd();
        else
            caret_ = nextBoundary(caret_);
        if (!extend)
            anchor_ = caret_;
        break;
    case Action::kHome:
        caret_ = 0;
        if (!extend)
            anchor_ = caret_;
        break;
    case Action::kEnd:
        caret_ = text_.size();
        if (!extend)
            anchor_ = caret_;
        break;
    case Action::kSelectAll:
        anchor_ = 0;
        caret_ = text_.size();
        primary_ = text_;
        own(XA_PRIMARY);
        break;
    case Action::kCopy:
    case Action::kCut:
        if (caret_ != anchor_) {
            clipboard_ = text_.substr(selectionStart(), selectionEnd() - selectionStart());
            own(atom(display_, "CLIPBOARD"));
            if (action == Action::kCut)
                eraseSelection();
        }
        break;
    case Action::kPaste:
        requestSelection(atom(display_, "CLIPBOARD"), atom(display_, "UTF8_STRING"));
        break;
    case Action::kCommit:
    case Action::kCancel:
        close(action == Action::kCommit);
        return false;
    }
    restartCaret();
    redraw();
    return true;
}

bool TextField::seenFromOtherSource(Source source, int32_t identity)
{
    const uint32_t now = ticks();
    presses_.erase(std::remove_if(presses_.begin(), presses_.end(),
                                  [now](const Press& p) { return now - p.time > 4 * kEchoWindow; }),
                   presses_.end());
    for (Press& p : presses_) {
        if (!p.echoed && p.source != source && p.identity == identity && now - p.time <= kEchoWindow) {
            p.echoed = true;
            return true;
        }
    }
    presses_.push_back({identity, source, now, false});
    return false;
}

bool TextField::handleKey(const VstKeyCode& key, bool down)
{
    if (closing_ || !valid())
        return false;
    const bool ctrl = (key.modifier & (kModifierControl | kModifierCommand)) != 0;
    const bool shift = (key.modifier & kModifierShift) != 0;
    Action action = Action::kNone;
    std::string text;
    switch (key.virt) {
    case kVKeyReturn: case kVKeyEnter: action = Action::kCommit; break;
    case kVKeyEscape: action = Action::kCancel; break;
    case kVKeyBack: action = Action::kBackspace; break;
    case kVKeyDelete: action = shift ? Action::kCut : Action::kDelete; break;
    case kVKeyInsert: action = shift ? Action::kPaste : (ctrl ? Action::kCopy : Action::kNone); break;
    case kVKeyLeft: action = Action::kLeft; break;
    case kVKeyRight: action = Action::kRight; break;
    case kVKeyHome: action = Action::kHome; break;
    case kVKeyEnd: action = Action::kEnd; break;
    case kVKeySpace: action = Action::kInsert; text = " "; break;
    case 0:
        if (key.character >= 32 && ctrl) {
            switch (key.character | 0x20) {
            case 'a': action = Action::kSelectAll; break;
            case 'c': action = Action::kCopy; break;
            case 'x': action = Action::kCut; break;
            case 'v': action = Action::kPaste; break;
            default: break;
            }
        } else if (key.character >= 32 && !(key.modifier & kModifierAlternate)) {
            action = Action::kInsert;
            appendUtf8(text, static_cast<uint32_t>(key.character));
        }
        break;
    default:
        // Keys a single-line field has no use for (Tab, function keys...)
        // stay with the host.
        return false;
    }
    if (action == Action::kNone)
        return false;
    if (!down)
        return true; // the release of a key the field took
    if (seenFromOtherSource(Source::kHost, keyIdentity(static_cast<uint32_t>(key.character), key.virt)))
        return true; // already typed through the window
    apply(action, shift, text);
    return true;
}

size_t TextField::offsetAt(int deviceX)
{
    std::vector<int32_t> xs;
    std::vector<size_t> bytes;
    surface_.caretPositions(text_.c_str(), spec_.fontId, face_, xs, bytes);
    const int32_t width = xs.back();
    const int32_t inner = surface_.deviceWidth() - 2 * spec_.margin * scale_;
    int32_t origin = spec_.margin * scale_ - scroll_;
    if (width <= inner) {
        if (spec_.align == VSTGUI::kCenterText)
            origin = spec_.margin * scale_ + (inner - width) / 2;
        else if (spec_.align == VSTGUI::kRightText)
            origin = spec_.margin * scale_ + inner - width;
    }
    size_t best = 0;
    int32_t bestDistance = INT32_MAX;
    for (size_t i = 0; i < xs.size(); ++i) {
        const int32_t d = std::abs(origin + xs[i] - deviceX);
        if (d < bestDistance) {
            bestDistance = d;
            best = bytes[i];
        }
    }
    return best;
}

void TextField::handleEvent(XEvent& event)
{
    if (!valid() || closing_)
        return;
    switch (event.type) {
    case Expose:
        if (event.xexpose.count == 0)
            redraw();
        break;
    case FocusIn:
        if (event.xfocus.mode == NotifyGrab || event.xfocus.detail == NotifyPointer)
            break;
        focused_ = true;
        if (ic_)
            XSetICFocus(ic_);
        restartCaret();
        redraw();
        break;
    case FocusOut:
        // A grab (our own menus, a host's) takes the focus only for a while.
        if (event.xfocus.mode == NotifyGrab || event.xfocus.mode == NotifyUngrab ||
            event.xfocus.detail == NotifyInferior || event.xfocus.detail == NotifyPointer)
            break;
        if (ic_)
            XUnsetICFocus(ic_);
        if (focused_) {
            focused_ = false;
            close(true); // losing the focus commits
        }
        break;
    case KeyPress: {
        KeySym keysym = NoSymbol;
        std::string typed;
        char buffer[256];
        if (ic_) {
            Status status = 0;
            int length = Xutf8LookupString(ic_, &event.xkey, buffer, sizeof buffer - 1, &keysym, &status);
            if (status == XBufferOverflow)
                length = 0;
            if (status == XLookupChars || status == XLookupBoth)
                typed.assign(buffer, static_cast<size_t>(std::max(0, length)));
            if (status == XLookupChars)
                keysym = NoSymbol;
        } else {
            XLookupString(&event.xkey, buffer, sizeof buffer - 1, &keysym, nullptr);
            if (const uint32_t cp = keysymToUnicode(keysym))
                appendUtf8(typed, cp);
        }
        const unsigned int state = event.xkey.state;
        const bool ctrl = state & ControlMask;
        const bool shift = state & ShiftMask;
        Action action = Action::kNone;
        switch (keysym) {
        case XK_Return: case XK_KP_Enter: action = Action::kCommit; break;
        case XK_Escape: action = Action::kCancel; break;
        case XK_BackSpace: action = Action::kBackspace; break;
        case XK_Delete: case XK_KP_Delete: action = shift ? Action::kCut : Action::kDelete; break;
        case XK_Insert: case XK_KP_Insert: action = shift ? Action::kPaste : (ctrl ? Action::kCopy : Action::kNone); break;
        case XK_Left: case XK_KP_Left: action = Action::kLeft; break;
        case XK_Right: case XK_KP_Right: action = Action::kRight; break;
        case XK_Home: case XK_KP_Home: case XK_Up: case XK_KP_Up: action = Action::kHome; break;
        case XK_End: case XK_KP_End: case XK_Down: case XK_KP_Down: action = Action::kEnd; break;
        default:
            if (ctrl) {
                switch (keysym) {
                case XK_a: case XK_A: action = Action::kSelectAll; break;
                case XK_c: case XK_C: action = Action::kCopy; break;
                case XK_x: case XK_X: action = Action::kCut; break;
                case XK_v: case XK_V: action = Action::kPaste; break;
                default: break;
                }
            } else if (!typed.empty() && !(state & owner_->alt())) {
                action = Action::kInsert;
            }
            break;
        }
        if (action == Action::kNone)
            break;
        const VstKeyCode key = keyCodeFor(keysym, state, owner_->alt());
        uint32_t character = static_cast<uint32_t>(key.character);
        if (action == Action::kInsert && !typed.empty()) {
            size_t at = 0;
            character = softraster::nextCodePoint(typed.c_str(), at);
        }
        if (seenFromOtherSource(Source::kWindow, keyIdentity(character, key.virt)))
            break; // the host forwarded this press already
        apply(action, shift, typed);
        break; // the field may be gone now
    }
    case ButtonPress: {
        if (event.xbutton.button == Button1) {
            const uint32_t now = ticks();
            const bool doubleClick = lastClickValid_ && now - lastClick_ < doubleClickTime_;
            lastClick_ = now;
            lastClickValid_ = !doubleClick;
            if (doubleClick) {
                apply(Action::kSelectAll, false, {});
                break;
            }
            caret_ = offsetAt(event.xbutton.x);
            if (!(event.xbutton.state & ShiftMask))
                anchor_ = caret_;
            dragging_ = true;
            restartCaret();
            redraw();
        } else if (event.xbutton.button == Button2) {
            caret_ = anchor_ = offsetAt(event.xbutton.x);
            requestSelection(XA_PRIMARY, atom(display_, "UTF8_STRING"));
        }
        break;
    }
    case MotionNotify:
        if (dragging_) {
            caret_ = offsetAt(event.xmotion.x);
            restartCaret();
            redraw();
        }
        break;
    case ButtonRelease:
        if (event.xbutton.button == Button1 && dragging_) {
            dragging_ = false;
            if (caret_ != anchor_) {
                primary_ = text_.substr(selectionStart(), selectionEnd() - selectionStart());
                own(XA_PRIMARY);
            }
        }
        break;
    case SelectionNotify:
        receiveSelection(event.xselection);
        break;
    case SelectionRequest:
        answerSelectionRequest(event.xselectionrequest);
        break;
    case SelectionClear:
        if (event.xselectionclear.selection == XA_PRIMARY)
            primary_.clear();
        else
            clipboard_.clear();
        break;
    default:
        break;
    }
}

void TextField::own(Atom selection)
{
    XSetSelectionOwner(display_, selection, window_, CurrentTime);
}

void TextField::requestSelection(Atom selection, Atom target)
{
    pasteSelection_ = selection;
    pasteTarget_ = target;
    XConvertSelection(display_, selection, target, atom(display_, "AMBREL_PASTE"), window_, CurrentTime);
}

void TextField::receiveSelection(const XSelectionEvent& event)
{
    if (event.property == None) {
        // No UTF-8 on offer: ask for Latin-1.
        if (event.target == atom(display_, "UTF8_STRING"))
            requestSelection(event.selection, XA_STRING);
        return;
    }
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display_, window_, event.property, 0, 4096, True, AnyPropertyType, &type, &format, &count,
                           &after, &data) != Success)
        return;
    std::string text;
    if (data && format == 8 && type != atom(display_, "INCR")) {
        if (type == XA_STRING) {
            for (unsigned long i = 0; i < count; ++i)
                appendUtf8(text, data[i]);
        } else {
            text.assign(reinterpret_cast<char*>(data), count);
        }
    }
    if (data)
        XFree(data);
    if (!text.empty())
        apply(Action::kInsert, false, text);
}

void TextField::answerSelectionRequest(const XSelectionRequestEvent& request)
{
    XSelectionEvent reply{};
    reply.type = SelectionNotify;
    reply.display = request.display;
    reply.requestor = request.requestor;
    reply.selection = request.selection;
    reply.target = request.target;
    reply.time = request.time;
    reply.property = None;
    const std::string& text = request.selection == XA_PRIMARY ? primary_ : clipboard_;
    const Atom utf8 = atom(display_, "UTF8_STRING");
    const Atom targets = atom(display_, "TARGETS");
    const Atom property = request.property != None ? request.property : request.target;
    ErrorTrap trap(display_);
    if (request.target == targets) {
        const Atom offered[] = {targets, utf8, XA_STRING, atom(display_, "TEXT")};
        XChangeProperty(display_, request.requestor, property, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(offered), 4);
        reply.property = property;
    } else if (request.target == utf8 || request.target == atom(display_, "TEXT")) {
        XChangeProperty(display_, request.requestor, property, utf8, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
        reply.property = property;
    } else if (request.target == XA_STRING) {
        std::string latin;
        size_t at = 0;
        while (uint32_t cp = softraster::nextCodePoint(text.c_str(), at))
            latin += static_cast<char>(cp < 256 ? cp : '?');
        XChangeProperty(display_, request.requestor, property, XA_STRING, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(latin.data()), static_cast<int>(latin.size()));
        reply.property = property;
    }
    XSendEvent(display_, request.requestor, False, 0, reinterpret_cast<XEvent*>(&reply));
}

void TextField::close(bool commit)
{
    if (closing_)
        return;
    closing_ = true;
    // The owner reads the text and destroys the field: nothing of this
    // object may be used after the call.
    listener_->textFieldClosed(commit);
}

void TextField::restartCaret()
{
    caretSince_ = ticks();
    caretShown_ = true;
}

void TextField::tick()
{
    if (!valid() || closing_)
        return;
    const bool shown = ((ticks() - caretSince_) / kCaretBlink) % 2 == 0;
    if (shown != caretShown_) {
        caretShown_ = shown;
        redraw();
    }
}

void TextField::redraw()
{
    if (!valid() || !owner_ || owner_->isGone())
        return;
    const int32_t s = scale_;
    const int32_t w = surface_.deviceWidth(), h = surface_.deviceHeight();
    surface_.setClip(CRect(0, 0, surface_.width(), surface_.height()));
    surface_.fillDeviceRect(0, 0, w, h, spec_.backColor);

    std::vector<int32_t> xs;
    std::vector<size_t> bytes;
    surface_.caretPositions(text_.c_str(), spec_.fontId, face_, xs, bytes);
    const int32_t textWidth = xs.back();
    const int32_t margin = spec_.margin * s;
    const int32_t inner = std::max(1, w - 2 * margin);
    auto xOf = [&](size_t offset) {
        for (size_t i = 0; i < bytes.size(); ++i)
            if (bytes[i] >= offset)
                return xs[i];
        return textWidth;
    };
    int32_t origin;
    if (textWidth <= inner) {
        scroll_ = 0;
        origin = margin;
        if (spec_.align == VSTGUI::kCenterText)
            origin = margin + (inner - textWidth) / 2;
        else if (spec_.align == VSTGUI::kRightText)
            origin = margin + inner - textWidth;
    } else {
        // Keep the caret in view.
        const int32_t caretX = xOf(caret_);
        if (caretX - scroll_ < 0)
            scroll_ = caretX;
        if (caretX - scroll_ > inner - s)
            scroll_ = caretX - inner + s;
        scroll_ = std::clamp(scroll_, 0, textWidth - inner + s);
        origin = margin - scroll_;
    }
    int32_t ascent = 0, descent = 0;
    surface_.deviceFontMetrics(spec_.fontId, face_, ascent, descent);
    const int32_t top = (h - (ascent + descent)) / 2;
    const int32_t baseline = top + ascent;
    surface_.drawTextAt(text_.c_str(), origin, baseline, spec_.fontId, face_, spec_.textColor, margin / 2, 0,
                        w - margin / 2, h);
    if (caret_ != anchor_) {
        const int32_t a = origin + xOf(selectionStart()), b = origin + xOf(selectionEnd());
        const int32_t left = std::max(a, margin / 2), right = std::min(b, w - margin / 2);
        surface_.fillDeviceRect(left, top, right, top + ascent + descent, kHighlight);
        surface_.drawTextAt(text_.c_str(), origin, baseline, spec_.fontId, face_, kHighlightText, left, top, right,
                            top + ascent + descent);
    }
    if (caretShown_) {
        const int32_t x = origin + xOf(caret_);
        surface_.fillDeviceRect(x, top, x + s, top + ascent + descent, spec_.textColor);
    }
    ErrorTrap trap(display_);
    blitter_->put(window_, gc_, surface_, 0, 0, w, h);
}

} // namespace

std::unique_ptr<VSTGUI::PlatformTextField> makeTextField(X11Window& owner, const VSTGUI::TextFieldSpec& desc,
                                                         VSTGUI::PlatformTextFieldListener* listener)
{
    auto field = std::make_unique<TextField>(owner, desc, listener);
    if (!field->valid())
        return nullptr;
    return field;
}

} // namespace x11gui
