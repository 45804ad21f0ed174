// The native text field: a system "EDIT" control over the text display,
// subclassed so Return commits, Escape cancels and losing the keyboard focus
// commits.
#include "Win32Window.h"

#include <algorithm>

namespace VSTGUI::win32 {

namespace {
// Posted to the field when it lost the keyboard focus: closing happens
// outside the focus change, which may be part of destroying windows.
constexpr UINT kFocusLostMessage = WM_APP + 0x41;
} // namespace

EditField::EditField(FrameWindow& owner, const TextFieldSpec& desc, PlatformTextFieldListener* listener)
    : owner_(&owner), listener_(listener)
{
    const int32_t s = owner.scale();
    DWORD style = WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL;
    style |= desc.align == kCenterText ? ES_CENTER : desc.align == kRightText ? ES_RIGHT : ES_LEFT;
    std::wstring text = widen(desc.text);
    const size_t limit = std::max<size_t>(desc.maxLength, 1);
    if (text.size() > limit)
        text.resize(limit);
    const CRect& r = desc.rect;
    edit_ = CreateWindowExW(0, L"EDIT", text.c_str(), style, r.left * s, r.top * s, r.width() * s, r.height() * s,
                            owner.handle(), nullptr, moduleHandle(), nullptr);
    if (!edit_)
        return;
    text_ = colorRef(desc.textColor);
    back_ = colorRef(desc.backColor);
    brush_ = CreateSolidBrush(back_);
    font_ = createToolkitFont(desc.fontId, desc.face, s, desc.weight);
    SendMessageW(edit_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    const int margin = desc.margin * s;
    SendMessageW(edit_, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(margin, margin));
    SendMessageW(edit_, EM_SETLIMITTEXT, static_cast<WPARAM>(limit), 0);

    SetWindowLongPtrW(edit_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    editDefault_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(edit_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&EditField::editProc)));
    owner.addField(this);

    SendMessageW(edit_, EM_SETSEL, 0, -1);
    previousFocus_ = GetFocus();
    SetFocus(edit_);
}

EditField::~EditField()
{
    closing_ = true;
    if (owner_)
        owner_->removeField(this);
    if (edit_) {
        HWND edit = edit_;
        const bool focused = GetFocus() == edit;
        detach();
        if (owner_ && owner_->handle()) {
            // Give the keyboard back first, so host shortcuts work again.
            if (focused)
                SetFocus(previousFocus_ && IsWindow(previousFocus_) ? previousFocus_
                                                                     : GetAncestor(owner_->handle(), GA_ROOT));
            DestroyWindow(edit);
        }
    }
    if (font_)
        DeleteObject(font_);
    if (brush_)
        DeleteObject(brush_);
}

void EditField::ownerGone()
{
    closing_ = true;
    detach();
    owner_ = nullptr;
}

void EditField::detach()
{
    if (!edit_)
        return;
    SetWindowLongPtrW(edit_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(editDefault_));
    SetWindowLongPtrW(edit_, GWLP_USERDATA, 0);
    edit_ = nullptr;
}

std::string EditField::getText() const
{
    if (!edit_)
        return {};
    const int length = GetWindowTextLengthW(edit_);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(edit_, text.data(), length + 1);
    return narrow(text.c_str(), std::max(got, 0));
}

HBRUSH EditField::colors(HDC dc) const
{
    SetTextColor(dc, text_);
    SetBkColor(dc, back_);
    return brush_;
}

void EditField::finish(bool commit)
{
    if (closing_)
        return;
    closing_ = true;
    if (edit_ && GetFocus() == edit_ && owner_ && owner_->handle())
        SetFocus(previousFocus_ && IsWindow(previousFocus_) ? previousFocus_ : GetAncestor(owner_->handle(), GA_ROOT));
    PlatformTextFieldListener* listener = listener_;
    if (listener)
        listener->textFieldClosed(commit);
}

bool EditField::handleKey(const VstKeyCode& key, bool down)
{
    if (!edit_ || closing_)
        return false;
    // With the keyboard focus the field gets its keys from the window
    // system: a key the host also forwards is left to that, typed once.
    if (GetFocus() == edit_)
        return false;
    UINT virtualKey = 0;
    switch (key.virt) {
    case kVKeyReturn:
    case kVKeyEnter:
        if (down)
            finish(true); // may destroy this
        return true;
    case kVKeyEscape:
        if (down)
            finish(false);
        return true;
    case kVKeyBack:
        if (down)
            SendMessageW(edit_, WM_CHAR, VK_BACK, 0);
        return true;
    case kVKeyDelete: virtualKey = VK_DELETE; break;
    case kVKeyLeft: virtualKey = VK_LEFT; break;
    case kVKeyRight: virtualKey = VK_RIGHT; break;
    case kVKeyHome: virtualKey = VK_HOME; break;
    case kVKeyEnd: virtualKey = VK_END; break;
    case kVKeySpace:
    case 0:
        break;
    default:
        return false;
    }
    if (virtualKey) {
        SendMessageW(edit_, down ? WM_KEYDOWN : WM_KEYUP, virtualKey, down ? 1 : 0xC0000001);
        return true;
    }
    wchar_t c = key.virt == kVKeySpace ? L' ' : static_cast<wchar_t>(key.character);
    if (c < 0x20 || (key.modifier & (kModifierCommand | kModifierControl | kModifierAlternate)))
        return false;
    if (down) {
        if (key.modifier & kModifierShift)
            CharUpperBuffW(&c, 1);
        SendMessageW(edit_, WM_CHAR, c, 1);
    }
    return true;
}

LRESULT CALLBACK EditField::editProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<EditField*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(window, message, wParam, lParam);
    const WNDPROC base = self->editDefault_;
    switch (message) {
    case WM_GETDLGCODE:
        // Return and Escape are ours even inside a host's dialog.
        return CallWindowProcW(base, window, message, wParam, lParam) | DLGC_WANTALLKEYS;
    case WM_KEYDOWN:
        if (wParam == VK_RETURN) {
            self->finish(true); // may destroy the field
            return 0;
        }
        if (wParam == VK_ESCAPE) {
            self->finish(false);
            return 0;
        }
        break;
    case WM_CHAR:
        if (wParam == L'\r' || wParam == L'\n' || wParam == 27)
            return 0; // no beep for the keys handled above
        break;
    case WM_KILLFOCUS:
        if (!self->closing_)
            PostMessageW(window, kFocusLostMessage, 0, 0);
        break;
    case kFocusLostMessage:
        // Commit, unless the focus came back in the meantime.
        if (!self->closing_ && GetFocus() != window)
            self->finish(true);
        return 0;
    case WM_NCDESTROY:
        self->detach();
        return CallWindowProcW(base, window, message, wParam, lParam);
    default:
        break;
    }
    return CallWindowProcW(base, window, message, wParam, lParam);
}

} // namespace VSTGUI::win32
