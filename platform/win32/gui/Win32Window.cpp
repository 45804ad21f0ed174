// The frame's child window: the window class shared by every frame of the
// process (with GDI+ started alongside it), the window procedure, the back
// buffer, mouse state and the OLE drop target.
#include "Win32Window.h"

#include <shellapi.h>
#include <windowsx.h>

#include <atomic>
#include <cwchar>
#include <mutex>

namespace VSTGUI::win32 {

namespace {

// --- The window class, counted by frames -------------------------------------

struct GdiplusStartupInput {
    UINT32 GdiplusVersion = 1;
    void* DebugEventCallback = nullptr;
    BOOL SuppressBackgroundThread = FALSE;
    BOOL SuppressExternalCodecs = FALSE;
};
using GdiplusStartupFunction = int(WINAPI*)(ULONG_PTR*, const GdiplusStartupInput*, void*);
using GdiplusShutdownFunction = void(WINAPI*)(ULONG_PTR);

std::mutex classMutex;
int32_t frameCount = 0;
HMODULE gdiplus = nullptr;
ULONG_PTR gdiplusToken = 0;
std::atomic<bool> buttonsSwapped{false};

// Wine takes in the X server's input only while a thread looks at its
// message queue; a control polling the mouse must let it, or it never sees
// the button go up.
const bool runningUnderWine = [] {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}();

void startGdiplus()
{
    gdiplus = LoadLibraryW(L"gdiplus.dll");
    if (!gdiplus)
        return;
    auto startup = reinterpret_cast<GdiplusStartupFunction>(
        reinterpret_cast<void*>(GetProcAddress(gdiplus, "GdiplusStartup")));
    GdiplusStartupInput input;
    if (!startup || startup(&gdiplusToken, &input, nullptr) != 0) {
        gdiplusToken = 0;
        FreeLibrary(gdiplus);
        gdiplus = nullptr;
    }
}

void stopGdiplus()
{
    if (!gdiplus)
        return;
    auto shutdown = reinterpret_cast<GdiplusShutdownFunction>(
        reinterpret_cast<void*>(GetProcAddress(gdiplus, "GdiplusShutdown")));
    if (shutdown && gdiplusToken)
        shutdown(gdiplusToken);
    gdiplusToken = 0;
    FreeLibrary(gdiplus);
    gdiplus = nullptr;
}

bool acquireClass()
{
    std::lock_guard<std::mutex> lock(classMutex);
    if (frameCount == 0) {
        const std::wstring name = frameClassName();
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.style = CS_GLOBALCLASS | CS_DBLCLKS;
        windowClass.lpfnWndProc = FrameWindow::windowProc;
        windowClass.cbWndExtra = sizeof(void*);
        windowClass.hInstance = moduleHandle();
        windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        windowClass.lpszClassName = name.c_str();
        if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
            return false;
        buttonsSwapped.store(GetSystemMetrics(SM_SWAPBUTTON) != 0, std::memory_order_relaxed);
        startGdiplus();
    }
    ++frameCount;
    return true;
}

void releaseClass()
{
    std::lock_guard<std::mutex> lock(classMutex);
    if (frameCount <= 0 || --frameCount > 0)
        return;
    UnregisterClassW(frameClassName().c_str(), moduleHandle());
    stopGdiplus();
}

// How long a click's own button state may stand in for an asynchronous
// state that has not caught up yet.
constexpr DWORD kDownStateMs = 1000;

// The key state's VK_LBUTTON and VK_RBUTTON are the physical buttons; with
// swapped buttons the physical right one is the primary and reads as left.
int32_t physicalButtons(bool left, bool right, bool middle)
{
    const bool swapped = buttonsSwapped.load(std::memory_order_relaxed);
    int32_t buttons = middle ? kMButton : 0;
    if (left)
        buttons |= swapped ? kRButton : kLButton;
    if (right)
        buttons |= swapped ? kLButton : kRButton;
    return buttons;
}

// Floor division, so points left of or above the window stay outside it.
int32_t floorDiv(int32_t value, int32_t divisor)
{
    return value >= 0 ? value / divisor : -((-value + divisor - 1) / divisor);
}

} // namespace

std::wstring frameClassName()
{
    // "Plugin" and the module handle as %p prints it: upper-case hex digits,
    // as many as a pointer has.
    const auto value = reinterpret_cast<uintptr_t>(moduleHandle());
    std::wstring name = L"Plugin";
    for (int shift = static_cast<int>(sizeof(value) * 8) - 4; shift >= 0; shift -= 4)
        name.push_back(L"0123456789ABCDEF"[(value >> shift) & 0xF]);
    return name;
}

int32_t openFrameCount()
{
    std::lock_guard<std::mutex> lock(classMutex);
    return frameCount;
}

// --- OLE drop target ------------------------------------------------------------

class DropTarget final : public IDropTarget {
public:
    explicit DropTarget(FrameWindow* owner) : owner_(owner) {}
    void detach() { owner_ = nullptr; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDropTarget)) {
            *object = static_cast<IDropTarget*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) override
    {
        hasFiles_ = data && data->QueryGetData(&fileFormat()) == S_OK;
        return answer(effect);
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override { return answer(effect); }
    HRESULT STDMETHODCALLTYPE DragLeave() override
    {
        hasFiles_ = false;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD, POINTL point, DWORD* effect) override
    {
        hasFiles_ = false;
        if (effect)
            *effect = DROPEFFECT_NONE;
        if (!owner_ || !owner_->handle() || !data)
            return S_OK;
        std::vector<std::string> paths;
        STGMEDIUM medium{};
        FORMATETC format = fileFormat();
        if (data->GetData(&format, &medium) != S_OK)
            return S_OK;
        if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal) {
            auto drop = static_cast<HDROP>(medium.hGlobal);
            const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
            for (UINT i = 0; i < count; ++i) {
                const UINT length = DragQueryFileW(drop, i, nullptr, 0);
                std::wstring path(length + 1, L'\0');
                if (DragQueryFileW(drop, i, path.data(), length + 1) == length)
                    paths.push_back(narrow(path.c_str(), static_cast<int>(length)));
            }
        }
        ReleaseStgMedium(&medium);
        if (paths.empty())
            return S_OK;
        POINT client{point.x, point.y};
        ScreenToClient(owner_->handle(), &client);
        if (owner_->listener()->platformDrop(owner_->fromDevice(client.x, client.y), paths) && effect)
            *effect = DROPEFFECT_COPY;
        return S_OK;
    }

private:
    static FORMATETC& fileFormat()
    {
        static FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        return format;
    }
    HRESULT answer(DWORD* effect) const
    {
        if (effect)
            *effect = hasFiles_ && owner_ ? (*effect & DROPEFFECT_COPY) : DROPEFFECT_NONE;
        return S_OK;
    }

    std::atomic<ULONG> references_{1};
    FrameWindow* owner_;
    bool hasFiles_ = false;
};

// --- FrameWindow -----------------------------------------------------------------

FrameWindow::FrameWindow(PlatformWindowListener* listener, int32_t width, int32_t height, int32_t scale)
    : listener_(listener), width_(width), height_(height), scale_(scale >= 2 ? 2 : 1)
{
}

bool FrameWindow::create(HWND parent)
{
    if (!parent || !IsWindow(parent) || width_ <= 0 || height_ <= 0)
        return false;
    back_ = GdiSurface::create(width_, height_, scale_);
    if (!back_)
        return false;
    if (!acquireClass())
        return false;
    classHeld_ = true;
    CreateWindowExW(0, frameClassName().c_str(), L"Window", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                    0, 0, width_ * scale_, height_ * scale_, parent, nullptr, moduleHandle(), this);
    if (!window_)
        return false;
    // The frame itself in the window's user data, as other code may look for it.
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(listener_));

    // OLE for the drop target, on this (the window's) thread. A thread that
    // the host already made a multi-threaded apartment gets no drop target.
    oleInitialized_ = SUCCEEDED(OleInitialize(nullptr));
    if (oleInitialized_) {
        dropTarget_ = new DropTarget(this);
        if (RegisterDragDrop(window_, dropTarget_) != S_OK) {
            dropTarget_->Release();
            dropTarget_ = nullptr;
        }
    }
    return true;
}

FrameWindow::~FrameWindow()
{
    // Fields belong to the toolkit; one still open loses its window here.
    std::vector<EditField*> fields;
    fields.swap(fields_);
    for (EditField* field : fields)
        field->ownerGone();
    if (window_) {
        destroying_ = true;
        if (dropTarget_)
            RevokeDragDrop(window_);
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
        window_ = nullptr;
    }
    if (dropTarget_) {
        dropTarget_->detach();
        dropTarget_->Release();
        dropTarget_ = nullptr;
    }
    if (oleInitialized_)
        OleUninitialize();
    back_.reset();
    if (classHeld_)
        releaseClass();
}

IDropTarget* FrameWindow::dropTarget() const { return dropTarget_; }

CPoint FrameWindow::fromDevice(int x, int y) const { return CPoint(floorDiv(x, scale_), floorDiv(y, scale_)); }

void FrameWindow::removeField(EditField* field)
{
    for (auto it = fields_.begin(); it != fields_.end(); ++it)
        if (*it == field) {
            fields_.erase(it);
            return;
        }
}

void FrameWindow::flush(const CRect& area)
{
    if (!window_ || !back_)
        return;
    HDC dc = GetDC(window_);
    if (!dc)
        return;
    back_->blitTo(dc, area);
    ReleaseDC(window_, dc);
}

void FrameWindow::invalidate(const CRect& area)
{
    if (!window_ || area.isEmpty())
        return;
    RECT r{area.left * scale_, area.top * scale_, area.right * scale_, area.bottom * scale_};
    InvalidateRect(window_, &r, FALSE);
}

void FrameWindow::dispatchPendingPaint()
{
    MSG message;
    if (PeekMessageW(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE))
        DispatchMessageW(&message);
}

int32_t FrameWindow::getMouseButtons()
{
    if (runningUnderWine)
        GetQueueStatus(QS_INPUT);
    int32_t buttons = physicalButtons(GetAsyncKeyState(VK_LBUTTON) < 0, GetAsyncKeyState(VK_RBUTTON) < 0,
                                      GetAsyncKeyState(VK_MBUTTON) < 0);
    if (GetAsyncKeyState(VK_SHIFT) < 0)
        buttons |= kShift;
    if (GetAsyncKeyState(VK_CONTROL) < 0)
        buttons |= kControl;
    if (GetAsyncKeyState(VK_MENU) < 0)
        buttons |= kAlt;
    if (downState_ && downFirstRead_ && GetTickCount() - downTime_ <= kDownStateMs) {
        // Asked while the click is handled: the state as of the click.
        downFirstRead_ = false;
        return downState_;
    }
    if (downState_) {
        // Later on, the click's buttons stand until the asynchronous state
        // shows a button, the button-up is waiting in the queue, or it is
        // too old.
        constexpr int32_t kButtons = kLButton | kMButton | kRButton;
        MSG up;
        const bool released = PeekMessageW(&up, nullptr, WM_LBUTTONUP, WM_LBUTTONUP, PM_NOREMOVE | PM_NOYIELD) ||
                              PeekMessageW(&up, nullptr, WM_RBUTTONUP, WM_RBUTTONUP, PM_NOREMOVE | PM_NOYIELD) ||
                              PeekMessageW(&up, nullptr, WM_MBUTTONUP, WM_MBUTTONUP, PM_NOREMOVE | PM_NOYIELD);
        if ((buttons & kButtons) || released || GetTickCount() - downTime_ > kDownStateMs)
            downState_ = 0;
        else
            buttons |= downState_ & kButtons;
    }
    return buttons;
}

CPoint FrameWindow::getMouseLocation()
{
    POINT point{0, 0};
    if (!window_ || !GetCursorPos(&point))
        return CPoint();
    ScreenToClient(window_, &point);
    return fromDevice(point.x, point.y);
}

void FrameWindow::setSize(int32_t width, int32_t height, int32_t scale)
{
    scale = scale >= 2 ? 2 : 1;
    if (width <= 0 || height <= 0)
        return;
    if (width == width_ && height == height_ && scale == scale_)
        return;
    auto back = GdiSurface::create(width, height, scale);
    if (!back)
        return;
    back_ = std::move(back);
    width_ = width;
    height_ = height;
    scale_ = scale;
    if (window_) {
        SetWindowPos(window_, nullptr, 0, 0, width_ * scale_, height_ * scale_,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        InvalidateRect(window_, nullptr, FALSE);
    }
}

std::unique_ptr<PlatformTextField> FrameWindow::createTextField(const TextFieldSpec& desc,
                                                                PlatformTextFieldListener* listener)
{
    if (!window_)
        return nullptr;
    auto field = std::make_unique<EditField>(*this, desc, listener);
    if (!field->isValid())
        return nullptr;
    return field;
}

void FrameWindow::paint()
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window_, &ps);
    if (!dc)
        return;
    const CPoint topLeft = fromDevice(ps.rcPaint.left, ps.rcPaint.top);
    const CPoint bottomRight = fromDevice(ps.rcPaint.right + scale_ - 1, ps.rcPaint.bottom + scale_ - 1);
    CRect area(topLeft.h, topLeft.v, bottomRight.h, bottomRight.v);
    area.bound(CRect(0, 0, width_, height_));
    if (!area.isEmpty() && back_) {
        // Everything into the back buffer first, then one blit.
        listener_->platformDraw(*back_, area);
        back_->blitTo(dc, area);
    }
    EndPaint(window_, &ps);
}

LRESULT CALLBACK FrameWindow::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* self = static_cast<FrameWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, 0, reinterpret_cast<LONG_PTR>(self));
        self->window_ = window;
    }
    auto* self = reinterpret_cast<FrameWindow*>(GetWindowLongPtrW(window, 0));
    if (!self)
        return DefWindowProcW(window, message, wParam, lParam);
    return self->handle(message, wParam, lParam);
}

LRESULT FrameWindow::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND window = window_;
    // The listener may close the editor, and so destroy this object, inside
    // any of its calls: nothing of `this` is used after one.
    PlatformWindowListener* listener = listener_;
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDBLCLK:
    {
        // The toolkit reads the buttons itself and tracks the drag by
        // polling. Its first read gets the state as of this message: the
        // asynchronous state may already be past a quick click, or (under
        // Wine) not yet at it.
        int32_t state = physicalButtons(GetKeyState(VK_LBUTTON) < 0, GetKeyState(VK_RBUTTON) < 0,
                                        GetKeyState(VK_MBUTTON) < 0);
        if (!state)
            state = message == WM_LBUTTONDOWN || message == WM_LBUTTONDBLCLK   ? kLButton
                    : message == WM_RBUTTONDOWN || message == WM_RBUTTONDBLCLK ? kRButton
                                                                               : kMButton;
        if (wParam & MK_SHIFT)
            state |= kShift;
        if (wParam & MK_CONTROL)
            state |= kControl;
        if (GetKeyState(VK_MENU) < 0)
            state |= kAlt;
        downState_ = state;
        downFirstRead_ = true;
        downTime_ = GetTickCount();
        listener->platformMouseDown(fromDevice(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)));
        return 0;
    }

    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
        downState_ = 0; // the click is over, whoever read it
        break;

    case WM_MOUSEWHEEL:
    case WM_MOUSEHWHEEL: {
        POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        ScreenToClient(window, &point);
        const float notches = static_cast<float>(GET_WHEEL_DELTA_WPARAM(wParam)) / WHEEL_DELTA;
        listener->platformWheel(fromDevice(point.x, point.y), notches, message == WM_MOUSEHWHEEL ? 1 : 0);
        return 0;
    }

    case WM_PAINT:
        paint();
        return 0;

    case WM_ERASEBKGND:
        return 1; // the paint covers everything

    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
        for (EditField* field : fields_)
            if (field->handle() == reinterpret_cast<HWND>(lParam))
                return reinterpret_cast<LRESULT>(field->colors(reinterpret_cast<HDC>(wParam)));
        break;

    case WM_MEASUREITEM: {
        auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
        if (wParam == 0 && item && item->CtlType == ODT_MENU && menu_) {
            measureMenuItem(*menu_, *item);
            return TRUE;
        }
        break;
    }
    case WM_DRAWITEM: {
        auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        if (wParam == 0 && item && item->CtlType == ODT_MENU && menu_) {
            drawMenuItem(*menu_, *item);
            return TRUE;
        }
        break;
    }

    case WM_KEYDOWN:
    case WM_KEYUP:
        if (listener->platformKey(keyCodeFromMessage(wParam, lParam), message == WM_KEYDOWN))
            return 0;
        break;

    case WM_DESTROY:
        if (!destroying_) {
            // The host destroyed its window (and so ours) before closing the
            // editor. Let go of the window now; the object stays until the
            // frame releases it.
            if (dropTarget_)
                RevokeDragDrop(window);
            SetWindowLongPtrW(window, 0, 0);
            window_ = nullptr;
            listener->platformWindowGone();
            return 0;
        }
        break;

    case WM_NCDESTROY:
        SetWindowLongPtrW(window, 0, 0);
        window_ = nullptr;
        break;

    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

VstKeyCode keyCodeFromMessage(WPARAM virtualKey, LPARAM /*flags*/)
{
    VstKeyCode key{0, 0, 0};
    switch (virtualKey) {
    case VK_BACK: key.virt = kVKeyBack; break;
    case VK_TAB: key.virt = kVKeyTab; break;
    case VK_CLEAR: key.virt = kVKeyClear; break;
    case VK_RETURN: key.virt = kVKeyReturn; break;
    case VK_PAUSE: key.virt = kVKeyPause; break;
    case VK_ESCAPE: key.virt = kVKeyEscape; break;
    case VK_SPACE: key.virt = kVKeySpace; key.character = ' '; break;
    case VK_END: key.virt = kVKeyEnd; break;
    case VK_HOME: key.virt = kVKeyHome; break;
    case VK_LEFT: key.virt = kVKeyLeft; break;
    case VK_UP: key.virt = kVKeyUp; break;
    case VK_RIGHT: key.virt = kVKeyRight; break;
    case VK_DOWN: key.virt = kVKeyDown; break;
    case VK_PRIOR: key.virt = kVKeyPageUp; break;
    case VK_NEXT: key.virt = kVKeyPageDown; break;
    case VK_INSERT: key.virt = kVKeyInsert; break;
    case VK_DELETE: key.virt = kVKeyDelete; break;
    case VK_SHIFT: key.virt = kVKeyShift; break;
    case VK_CONTROL: key.virt = kVKeyControl; break;
    case VK_MENU: key.virt = kVKeyAlt; break;
    default:
        if (virtualKey >= VK_NUMPAD0 && virtualKey <= VK_NUMPAD9)
            key.virt = static_cast<unsigned char>(kVKeyNumpad0 + (virtualKey - VK_NUMPAD0));
        else if (virtualKey >= VK_F1 && virtualKey <= VK_F12)
            key.virt = static_cast<unsigned char>(kVKeyF1 + (virtualKey - VK_F1));
        else if (UINT typed = MapVirtualKeyW(static_cast<UINT>(virtualKey), MAPVK_VK_TO_CHAR) & 0xFFFF) {
            wchar_t c = static_cast<wchar_t>(typed);
            CharLowerBuffW(&c, 1);
            key.character = c;
        }
        break;
    }
    if (GetKeyState(VK_SHIFT) < 0)
        key.modifier |= kModifierShift;
    if (GetKeyState(VK_MENU) < 0)
        key.modifier |= kModifierAlternate;
    if (GetKeyState(VK_CONTROL) < 0)
        key.modifier |= kModifierCommand; // Ctrl on Windows
    return key;
}

std::unique_ptr<PlatformWindow> createFrameWindow(const WindowSpec& desc, PlatformWindowListener* listener)
{
    if (!listener)
        return nullptr;
    auto window = std::make_unique<FrameWindow>(listener, desc.width, desc.height, desc.scale);
    if (!window->create(static_cast<HWND>(desc.parent)))
        return nullptr;
    return window;
}

IDropTarget* dropTargetOf(HWND frameWindow)
{
    auto* self = reinterpret_cast<FrameWindow*>(GetWindowLongPtrW(frameWindow, 0));
    return self ? self->dropTarget() : nullptr;
}

} // namespace VSTGUI::win32
