// The Win32 window layer in real windows: the window class and the frame's
// child window, drawing on the screen against the off-screen render, mouse
// and wheel input given as a user gives it, scale 2, drops, open/close
// cycles without leaks and a host that destroys its window first.
#include "../WinTestHarness.h"
#include "WinGuiSupport.h"

#include "platform/win32/gui/Win32Window.h"

#include <shlobj.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

using namespace VSTGUI;
using namespace wingui;

namespace {

constexpr int kStrip = 100;      // 20 x 100, five 20 x 20 frames; 2x art under 20100
constexpr int kAlphaImage = 101; // 16 x 16, 32-bit with alpha
constexpr int kPaletteImage = 102;
constexpr int kWidth = 300;
constexpr int kHeight = 200;

// Draws a bit of everything the surface can do, in fixed places.
class PaintView : public CView {
public:
    PaintView() : CView(CRect(0, 0, 150, 200)) {}
    static CRect textArea() { return CRect(5, 120, 150, 200); }

    void draw(CDrawContext* context) override
    {
        context->setFillColor(CColor{30, 60, 90, 255});
        context->fillRect(CRect(0, 0, 150, 200));
        context->setFrameColor(CColor{250, 250, 0, 255});
        context->drawRect(CRect(2, 2, 148, 118));
        context->moveTo(CPoint(5, 5));
        context->lineTo(CPoint(60, 40));
        context->moveTo(CPoint(5, 110));
        context->lineTo(CPoint(140, 110));
        CBitmap strip(kStrip), alpha(kAlphaImage), palette(kPaletteImage);
        strip.draw(context, CRect(10, 50, 30, 70), CPoint(0, 40));
        strip.drawTransparent(context, CRect(40, 50, 60, 70), CPoint(0, 20));
        alpha.drawAlphaBlend(context, CRect(70, 50, 86, 66), CPoint(), 255);
        alpha.drawAlphaBlend(context, CRect(90, 50, 106, 66), CPoint(), 128);
        palette.draw(context, CRect(110, 50, 120, 60));
        strip.drawAlphaBlend(context, CRect(120, 80, 140, 100), CPoint(0, 60), 100);
        context->setFontColor(kWhiteCColor);
        context->setFont(kSystemFont);
        context->drawString("Drive 12.5 dB", CRect(5, 120, 150, 140), false, kLeftText);
        context->setFont(kNormalFontVeryBig, 0, kItalicFace);
        context->drawString("Ambrel", CRect(5, 140, 150, 165), false, kCenterText);
        context->setFont(kSymbolFont, 0, kNormalFace);
        context->drawString("abg", CRect(5, 165, 150, 185), false, kRightText);
        setDirty(false);
    }
};

// Records what the toolkit hands a view, and tracks the mouse by polling
// as the toolkit's controls do.
class ProbeView : public CView {
public:
    struct Click {
        CPoint where;
        long buttons = 0;
        uint32_t time = 0;
        std::vector<CPoint> path;
    };
    ProbeView() : CView(CRect(150, 0, 300, 200)) {}

    void mouse(CDrawContext* context, CPoint& where, long /*buttons*/) override
    {
        Click c;
        c.where = where;
        c.buttons = context->getMouseButtons();
        c.time = GetTickCount();
        long held = c.buttons;
        const DWORD end = GetTickCount() + 5000;
        while ((held & (kLButton | kMButton | kRButton)) && GetTickCount() < end) {
            CPoint p;
            context->getMouseLocation(p);
            if (c.path.empty() || !(c.path.back() == p))
                c.path.push_back(p);
            getFrame()->doIdleStuff();
            Sleep(2);
            held = context->getMouseButtons();
        }
        clicks.push_back(c);
    }
    bool onWheel(CDrawContext*, const CPoint& where, CMouseWheelAxis axis, float distance) override
    {
        wheels.push_back({where, axis, distance});
        return true;
    }
    bool onDrop(CDrawContext*, const std::vector<std::string>& paths, const CPoint& where) override
    {
        dropped = paths;
        dropPoint = where;
        return true;
    }
    void draw(CDrawContext* context) override
    {
        context->setFillColor(CColor{200, 200, 200, 255});
        context->fillRect(getViewSize());
        setDirty(false);
    }

    struct Wheel {
        CPoint where;
        CMouseWheelAxis axis;
        float distance;
    };
    std::vector<Click> clicks;
    std::vector<Wheel> wheels;
    std::vector<std::string> dropped;
    CPoint dropPoint;
};

// A frame with the paint view on the left and the probe on the right.
struct TestFrame {
    explicit TestFrame(HWND parent) : frame(new CFrame(CRect(0, 0, kWidth, kHeight), parent, nullptr))
    {
        frame->addView(paint);
        frame->addView(probe);
    }
    ~TestFrame()
    {
        if (frame)
            frame->forget();
    }
    HWND child() const { return frame->getPlatformWindow() ? static_cast<HWND>(frame->getPlatformWindow()->nativeHandle()) : nullptr; }
    int scale() const { return frame->getPlatformWindow() ? frame->getPlatformWindow()->scale() : 1; }
    POINT screen(int x, int y) const { return screenPoint(child(), x * scale() + scale() / 2, y * scale() + scale() / 2); }

    CFrame* frame;
    PaintView* paint = new PaintView;
    ProbeView* probe = new ProbeView;
};

struct ScaleOverride {
    explicit ScaleOverride(const char* value) { SetEnvironmentVariableA("AMBREL_UI_SCALE", value); }
    ~ScaleOverride() { SetEnvironmentVariableA("AMBREL_UI_SCALE", nullptr); }
};

bool classRegistered()
{
    WNDCLASSEXW info{};
    info.cbSize = sizeof(info);
    return GetClassInfoExW(GetModuleHandleW(nullptr), win32::frameClassName().c_str(), &info) != 0;
}

std::wstring windowClass(HWND window)
{
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

// Pixels that differ by more than `tolerance` in a channel.
int differences(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, int width, const CRect& area,
                int tolerance)
{
    int count = 0;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x) {
            const uint32_t p = a[static_cast<size_t>(y * width + x)], q = b[static_cast<size_t>(y * width + x)];
            for (int shift = 0; shift <= 16; shift += 8)
                if (std::abs(static_cast<int>((p >> shift) & 0xFF) - static_cast<int>((q >> shift) & 0xFF)) >
                    tolerance) {
                    ++count;
                    break;
                }
        }
    return count;
}

std::vector<uint32_t> renderOffscreen(CFrame* frame, int scale)
{
    auto surface = platform().createOffscreen(kWidth, kHeight, scale);
    std::vector<uint32_t> pixels;
    int32_t w = 0, h = 0;
    if (!surface)
        return pixels;
    {
        CDrawContext context(frame, surface.get());
        frame->drawRect(&context, CRect(0, 0, kWidth, kHeight));
    }
    surface->readPixels(pixels, w, h);
    return pixels;
}

uint32_t rgb(int r, int g, int b) { return 0xFF000000u | (uint32_t(r) << 16) | (uint32_t(g) << 8) | uint32_t(b); }

// Compares the window on the screen with the off-screen render of the same
// frame: exactly outside the text, with a tolerance inside it.
void checkScreenMatchesRender(TestFrame& t, Host& host)
{
    const int s = t.scale();
    pump(150, t.frame);
    int w = 0, h = 0;
    const std::vector<uint32_t> screen = captureClient(host.hwnd(), w, h);
    const std::vector<uint32_t> render = renderOffscreen(t.frame, s);
    CHECK(w == kWidth * s && h == kHeight * s);
    CHECK(render.size() == screen.size());
    if (render.size() != screen.size() || w != kWidth * s)
        return;
    const CRect text = PaintView::textArea();
    const CRect textDevice(text.left * s, text.top * s, text.right * s, text.bottom * s);
    int outside = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (!textDevice.pointInside(CPoint(x, y)) && screen[size_t(y * w + x)] != render[size_t(y * w + x)])
                ++outside;
    CHECK(outside == 0);
    if (outside)
        std::printf("    %d pixels differ outside the text\n", outside);
    // Anti-aliased text: a few pixels may be a little off.
    CHECK(differences(screen, render, w, textDevice, 40) <= textDevice.width() * textDevice.height() / 100);

    // What the pixels must be, whatever the scale.
    auto at = [&](int x, int y) { return screen[size_t((y * s) * w + x * s)]; };
    CHECK(at(0, 0) == rgb(30, 60, 90));                    // the fill
    CHECK(at(2, 2) == rgb(250, 250, 0));                   // the frame rectangle
    CHECK(at(20, 110) == rgb(250, 250, 0));                // the horizontal line
    CHECK(at(10 + 8, 50 + 4) == rgb(120, 140, 120));       // strip frame 2, plain copy
    CHECK(at(40 + 2, 50 + 2) == rgb(30, 60, 90));          // transparent corner shows the fill
    CHECK(at(40 + 8, 50 + 15) == rgb(80, 170, 90));        // strip frame 1 elsewhere
    CHECK(at(200, 100) == rgb(200, 200, 200));             // the probe view
    // Alpha 255 at the right of the alpha image, nearly transparent at the left.
    const uint32_t opaque = at(70 + 15, 55), clear = at(70, 55);
    CHECK(((opaque >> 16) & 0xFF) >= 240 && ((opaque >> 8) & 0xFF) >= 115 && ((opaque >> 8) & 0xFF) <= 135);
    CHECK(std::abs(int((clear >> 16) & 0xFF) - 30 - (255 - 30) * 8 / 255) <= 3);
    // Some text was drawn in each line.
    for (int line : {130, 152, 175}) {
        int lit = 0;
        for (int x = 5; x < 150; ++x)
            for (int y = line - 8; y < line + 8; ++y)
                lit += at(x, y) != rgb(30, 60, 90);
        CHECK(lit > 10);
    }
}

} // namespace

TEST_CASE(FrameWindowAndClass)
{
    CHECK(!classRegistered());
    Host host(kWidth, kHeight);
    {
        TestFrame t(host.hwnd());
        CHECK(t.frame->isOpen());
        HWND child = t.child();
        CHECK(child && GetParent(child) == host.hwnd());
        CHECK(GetWindow(host.hwnd(), GW_CHILD) == child);
        CHECK(windowClass(child) == win32::frameClassName());
        wchar_t expected[64];
        std::swprintf(expected, 64, L"Plugin%0*llX", int(sizeof(void*) * 2),
                      static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr))));
        CHECK(win32::frameClassName() == expected);
        wchar_t title[32] = {};
        GetWindowTextW(child, title, 32);
        CHECK(std::wstring(title) == L"Window");
        const LONG style = GetWindowLongW(child, GWL_STYLE);
        const LONG wanted = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
        CHECK((style & wanted) == wanted);
        RECT r{};
        GetWindowRect(child, &r);
        MapWindowPoints(nullptr, host.hwnd(), reinterpret_cast<POINT*>(&r), 2);
        CHECK(r.left == 0 && r.top == 0 && r.right == kWidth && r.bottom == kHeight);
        CHECK(GetWindowLongPtrW(child, GWLP_USERDATA) ==
              reinterpret_cast<LONG_PTR>(static_cast<PlatformWindowListener*>(t.frame)));

        WNDCLASSEXW info{};
        info.cbSize = sizeof(info);
        CHECK(GetClassInfoExW(GetModuleHandleW(nullptr), win32::frameClassName().c_str(), &info));
        CHECK((info.style & (CS_GLOBALCLASS | CS_DBLCLKS)) == (CS_GLOBALCLASS | CS_DBLCLKS));
        CHECK(info.hCursor == LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)));
        CHECK(info.hbrBackground == GetSysColorBrush(COLOR_BTNFACE));
        CHECK(GetModuleHandleW(L"gdiplus.dll") != nullptr);

        // The window takes OLE drops: a second registration is refused.
        CHECK(win32::dropTargetOf(child) != nullptr);
        CHECK(RegisterDragDrop(child, win32::dropTargetOf(child)) == DRAGDROP_E_ALREADYREGISTERED);

        // A second editor at the same time: one class, two frames.
        Host host2(kWidth, kHeight, 400, 40);
        {
            TestFrame t2(host2.hwnd());
            CHECK(t2.frame->isOpen() && t2.child() != child);
            CHECK(win32::openFrameCount() == 2);
            pump(50, t2.frame);
        }
        CHECK(win32::openFrameCount() == 1);
        CHECK(classRegistered());
    }
    CHECK(win32::openFrameCount() == 0);
    CHECK(!classRegistered());
    CHECK(GetModuleHandleW(L"gdiplus.dll") == nullptr);
}

TEST_CASE(NoWindowWithoutParent)
{
    CFrame* none = new CFrame(CRect(0, 0, 100, 100), nullptr, nullptr);
    CHECK(!none->isOpen());
    none->idle();
    none->forget();
    Host host(100, 100);
    HWND gone = host.hwnd();
    host.destroy();
    CFrame* dead = new CFrame(CRect(0, 0, 100, 100), gone, nullptr);
    CHECK(!dead->isOpen());
    dead->forget();
    CHECK(win32::openFrameCount() == 0);
    CHECK(!classRegistered());
}

TEST_CASE(DpiAwarenessIsLeftAlone)
{
    using GetContext = DPI_AWARENESS_CONTEXT(WINAPI*)();
    using Equal = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT, DPI_AWARENESS_CONTEXT);
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    auto get = reinterpret_cast<GetContext>(reinterpret_cast<void*>(GetProcAddress(user32, "GetThreadDpiAwarenessContext")));
    auto equal = reinterpret_cast<Equal>(reinterpret_cast<void*>(GetProcAddress(user32, "AreDpiAwarenessContextsEqual")));
    if (!get || !equal)
        return;
    const DPI_AWARENESS_CONTEXT before = get();
    Host host(kWidth, kHeight);
    TestFrame t(host.hwnd());
    pump(20, t.frame);
    CHECK(equal(before, get()));
}

TEST_CASE(ScreenShowsTheOffscreenRender)
{
    Host host(kWidth, kHeight);
    TestFrame t(host.hwnd());
    CHECK(t.scale() == 1);
    checkScreenMatchesRender(t, host);

    // The raster fallbacks draw what msimg32 draws.
    const std::vector<uint32_t> blended = renderOffscreen(t.frame, 1);
    win32::useRasterFallbacksForTesting(true);
    const std::vector<uint32_t> raster = renderOffscreen(t.frame, 1);
    win32::useRasterFallbacksForTesting(false);
    CHECK(differences(blended, raster, kWidth, CRect(40, 50, 60, 70), 0) == 0); // transparent
    CHECK(differences(blended, raster, kWidth, CRect(70, 50, 106, 66), 2) == 0); // alpha image
    CHECK(differences(blended, raster, kWidth, CRect(120, 80, 140, 100), 2) == 0); // constant alpha

    // A repaint the system asks for shows the same.
    InvalidateRect(t.child(), nullptr, TRUE);
    checkScreenMatchesRender(t, host);
}

TEST_CASE(ScaleTwoUsesDoubleArtAndMapsTheMouseBack)
{
    ScaleOverride two("2");
    Host host(kWidth * 2, kHeight * 2);
    TestFrame t(host.hwnd());
    CHECK(t.scale() == 2);
    RECT r{};
    GetClientRect(t.child(), &r);
    CHECK(r.right == kWidth * 2 && r.bottom == kHeight * 2);
    checkScreenMatchesRender(t, host);
    int w = 0, h = 0;
    const std::vector<uint32_t> screen = captureClient(host.hwnd(), w, h);
    if (screen.size() == size_t(kWidth * 2 * kHeight * 2)) {
        // The 2x art has a checkerboard of single device pixels that the
        // stretched 1x art cannot have (strip frame 2 at 10,50).
        const uint32_t a = screen[size_t((2 * 60 + 0) * w + 2 * 18)], b = screen[size_t((2 * 60 + 0) * w + 2 * 18 + 1)];
        CHECK(a != b);
        CHECK((a == rgb(0, 0, 255) && b == rgb(0, 255, 255)) || (a == rgb(0, 255, 255) && b == rgb(0, 0, 255)));
    }
    // A click on the device pixel (2x + 1, 2y + 1) arrives at (x, y).
    InputThread input([&] { click(screenPoint(t.child(), 2 * 200 + 1, 2 * 50 + 1)); });
    CHECK(input.finish(10000, t.frame));
    pump(30, t.frame);
    CHECK(t.probe->clicks.size() == 1);
    if (!t.probe->clicks.empty())
        CHECK(t.probe->clicks[0].where == CPoint(200, 50));
}

TEST_CASE(MouseButtonsWheelAndDoubleClick)
{
    Host host(kWidth, kHeight);
    TestFrame t(host.hwnd());
    pump(50, t.frame);
    ProbeView& probe = *t.probe;
    // A drag, a Ctrl+click, a Shift+right click, a double click, wheel notches.
    InputThread input([&] {
        moveTo(t.screen(160, 20));
        mouseButton(MOUSEEVENTF_LEFTDOWN);
        for (int i = 1; i <= 10; ++i)
            moveTo(t.screen(160 + 4 * i, 20 + 3 * i));
        mouseButton(MOUSEEVENTF_LEFTUP);
        pause(50);
        // Modifiers go down after the pointer is in place: Wine takes the
        // modifier state from the X server again when the pointer enters a
        // window, and input given here is not the X server's.
        moveTo(t.screen(250, 150));
        key(VK_CONTROL, true);
        click(t.screen(250, 150));
        key(VK_CONTROL, false);
        pause(50);
        moveTo(t.screen(260, 160));
        key(VK_SHIFT, true);
        click(t.screen(260, 160), MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
        key(VK_SHIFT, false);
        pause(GetDoubleClickTime() + 50);
        click(t.screen(200, 100));
        click(t.screen(200, 100));
        pause(50);
        moveTo(t.screen(220, 120));
        wheel(WHEEL_DELTA);
        wheel(-2 * WHEEL_DELTA);
        wheel(WHEEL_DELTA, true);
        pause(50);
    });
    CHECK(input.finish(15000, t.frame));
    pump(50, t.frame);
    CHECK(probe.clicks.size() == 5);
    if (probe.clicks.size() == 5) {
        const auto& drag = probe.clicks[0];
        CHECK(drag.where == CPoint(160, 20));
        CHECK(drag.buttons == kLButton);
        CHECK(!drag.path.empty() && drag.path.back() == CPoint(200, 50));
        CHECK(drag.path.size() >= 3);
        if (drag.path.empty() || !(drag.path.back() == CPoint(200, 50)))
            std::printf("    drag ended after %d points at %d,%d\n", int(drag.path.size()),
                        drag.path.empty() ? -1 : drag.path.back().h, drag.path.empty() ? -1 : drag.path.back().v);
        CHECK(probe.clicks[1].buttons == (kLButton | kControl));
        CHECK(probe.clicks[1].where == CPoint(250, 150));
        CHECK(probe.clicks[2].buttons == (kRButton | kShift));
        // The second click of the pair comes as a click too, within the
        // double-click time, so the toolkit can tell.
        CHECK(probe.clicks[4].time - probe.clicks[3].time < GetDoubleClickTime());
        CHECK(probe.clicks[3].buttons == kLButton && probe.clicks[4].buttons == kLButton);
    }
    CHECK(probe.wheels.size() == 3);
    if (probe.wheels.size() == 3) {
        CHECK(probe.wheels[0].distance == 1.0f && probe.wheels[0].axis == kMouseWheelAxisY);
        CHECK(probe.wheels[0].where == CPoint(220, 120));
        CHECK(probe.wheels[1].distance == -2.0f);
        CHECK(probe.wheels[2].axis == kMouseWheelAxisX && probe.wheels[2].distance == 1.0f);
    }
}

TEST_CASE(SwappedButtonsReadThePrimaryAsLeft)
{
    SwapMouseButton(TRUE);
    {
        Host host(kWidth, kHeight);
        HWND active = GetForegroundWindow();
        TestFrame t(host.hwnd());
        CHECK(GetForegroundWindow() == active);
        pump(30, t.frame);
        // The physical right button is the primary one now.
        InputThread input([&] {
            click(t.screen(200, 60), MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
            pause(40);
            click(t.screen(200, 80), MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
        });
        CHECK(input.finish(10000, t.frame));
        pump(30, t.frame);
        CHECK(GetSystemMetrics(SM_SWAPBUTTON) != 0);
        CHECK(t.probe->clicks.size() == 2);
        if (t.probe->clicks.size() == 2) {
            CHECK(t.probe->clicks[0].buttons == kLButton);
            CHECK(t.probe->clicks[1].buttons == kRButton);
        }
    }
    SwapMouseButton(FALSE);
}

namespace {

// The smallest data object that carries files (CF_HDROP).
class FileData final : public IDataObject {
public:
    explicit FileData(const std::vector<std::wstring>& paths)
    {
        size_t chars = 1;
        for (const auto& p : paths)
            chars += p.size() + 1;
        global_ = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + chars * sizeof(wchar_t));
        auto* drop = static_cast<DROPFILES*>(GlobalLock(global_));
        drop->pFiles = sizeof(DROPFILES);
        drop->fWide = TRUE;
        auto* out = reinterpret_cast<wchar_t*>(drop + 1);
        for (const auto& p : paths) {
            std::copy(p.begin(), p.end(), out);
            out += p.size() + 1;
        }
        GlobalUnlock(global_);
    }
    ~FileData() { GlobalFree(global_); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDataObject)) {
            *object = this;
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override
    {
        if (QueryGetData(format) != S_OK)
            return DV_E_FORMATETC;
        const SIZE_T size = GlobalSize(global_);
        HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, size);
        std::memcpy(GlobalLock(copy), GlobalLock(global_), size);
        GlobalUnlock(copy);
        GlobalUnlock(global_);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = copy;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override
    {
        return format && format->cfFormat == CF_HDROP && (format->tymed & TYMED_HGLOBAL) ? S_OK : DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override
    {
        out->ptd = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

private:
    HGLOBAL global_;
};

} // namespace

namespace {

// Runs xdotool on the X server Wine draws to: input the X server itself
// gives, as a user's mouse and keyboard do. False where that cannot run
// (not under Wine, or no xdotool).
bool xdotool(const std::vector<std::string>& arguments)
{
    using Spawn = LONG(CDECL*)(char* const[], int);
    static const auto spawn = reinterpret_cast<Spawn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "__wine_unix_spawnvp")));
    if (!spawn)
        return false;
    std::vector<std::string> words{"xdotool"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    return spawn(argv.data(), 1) == 0;
}

std::string number(LONG value) { return std::to_string(value); }

} // namespace

TEST_CASE(InputFromTheXServer)
{
    if (!xdotool({"version"})) {
        std::printf("    skipped: no xdotool here\n");
        return;
    }
    Host host(kWidth, kHeight);
    TestFrame t(host.hwnd());
    pump(50, t.frame);
    const POINT from = t.screen(170, 30), to = t.screen(230, 90), ctrl = t.screen(250, 150);
    InputThread input([&] {
        xdotool({"mousemove", number(from.x), number(from.y), "sleep", "0.1", "mousedown", "1"});
        for (int i = 1; i <= 6; ++i)
            xdotool({"mousemove", number(from.x + 10 * i), number(from.y + 10 * i), "sleep", "0.03"});
        xdotool({"sleep", "0.1", "mouseup", "1", "sleep", "0.1"});
        xdotool({"mousemove", number(ctrl.x), number(ctrl.y), "keydown", "ctrl", "click", "1", "keyup", "ctrl",
                 "sleep", "0.1"});
        xdotool({"mousemove", number(ctrl.x), number(ctrl.y), "click", "3", "sleep", "0.1"});
    });
    CHECK(input.finish(15000, t.frame));
    pump(50, t.frame);
    const auto& clicks = t.probe->clicks;
    CHECK(clicks.size() == 3);
    if (clicks.size() == 3) {
        CHECK(clicks[0].where == CPoint(170, 30) && clicks[0].buttons == kLButton);
        CHECK(!clicks[0].path.empty() && clicks[0].path.back() == CPoint(to.x - from.x + 170, to.y - from.y + 30));
        CHECK(clicks[1].buttons == (kLButton | kControl));
        CHECK(clicks[2].buttons == kRButton);
    }
}

TEST_CASE(DroppedFilesReachTheViewUnderThePoint)
{
    Host host(kWidth, kHeight);
    TestFrame t(host.hwnd());
    pump(30, t.frame);
    IDropTarget* target = win32::dropTargetOf(t.child());
    CHECK(target != nullptr);
    if (!target)
        return;
    FileData data({L"C:\\presets\\Warm.nur", L"C:\\presets\\B\u00e4nke.nub"});
    const POINT p = screenPoint(t.child(), 210, 30);
    DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    CHECK(target->DragEnter(&data, MK_LBUTTON, POINTL{p.x, p.y}, &effect) == S_OK);
    CHECK(effect == DROPEFFECT_COPY);
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    CHECK(target->Drop(&data, MK_LBUTTON, POINTL{p.x, p.y}, &effect) == S_OK);
    CHECK(effect == DROPEFFECT_COPY);
    CHECK(t.probe->dropped.size() == 2);
    if (t.probe->dropped.size() == 2) {
        CHECK(t.probe->dropped[0] == "C:\\presets\\Warm.nur");
        CHECK(t.probe->dropped[1] == "C:\\presets\\B\xc3\xa4nke.nub");
    }
    CHECK(t.probe->dropPoint == CPoint(210, 30));
}

TEST_CASE(HostDestroysItsWindowFirst)
{
    {
        Host host(kWidth, kHeight);
        TestFrame t(host.hwnd());
        pump(30, t.frame);
        HWND child = t.child();
        host.destroy();
        CHECK(!IsWindow(child));
        CHECK(!t.frame->isOpen());
        t.frame->idle();
        t.frame->setDirty(true);
        t.frame->idle();
        CPoint where;
        CHECK(!t.frame->getCurrentLocation(where));
        CHECK(t.frame->getMouseButtons() == 0);
    }
    CHECK(win32::openFrameCount() == 0);
    CHECK(!classRegistered());
}

TEST_CASE(FiftyOpenCloseCyclesLeakNothing)
{
    Host host(kWidth, kHeight);
    auto cycle = [&] {
        TestFrame t(host.hwnd());
        t.frame->setDirty(true);
        pump(5, t.frame);
        InvalidateRect(t.child(), nullptr, FALSE);
        UpdateWindow(t.child());
        renderOffscreen(t.frame, 1);
        TextFieldSpec desc;
        desc.rect = CRect(10, 10, 100, 30);
        desc.text = "field";
        auto field = t.frame->getPlatformWindow()->createTextField(desc, nullptr);
        CHECK(field && field->getText() == "field");
        pump(2, t.frame);
    };
    cycle();
    pump(20);
    const int gdiBefore = gdiObjectCount();
    const int windowsBefore = threadWindowCount();
    for (int i = 0; i < 50; ++i)
        cycle();
    pump(20);
    const int gdiAfter = gdiObjectCount();
    const int windowsAfter = threadWindowCount();
    std::printf("    GDI objects %d -> %d, windows %d -> %d (GetGuiResources says %lu)\n", gdiBefore, gdiAfter,
                windowsBefore, windowsAfter, GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS));
    CHECK(gdiBefore > 0);
    CHECK(gdiAfter == gdiBefore);
    // The count sees a leak: ten brushes more are ten objects more.
    HBRUSH brushes[10];
    for (HBRUSH& b : brushes)
        b = CreateSolidBrush(RGB(1, 2, 3));
    CHECK(gdiObjectCount() == gdiAfter + 10);
    for (HBRUSH b : brushes)
        DeleteObject(b);
    CHECK(windowsAfter == windowsBefore);
    CHECK(win32::openFrameCount() == 0);
}

