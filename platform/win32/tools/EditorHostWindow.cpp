#include "platform/EditorHostWindow.h"

#include <windows.h>

#include <cstdlib>

namespace toolplatform {

namespace {

const char kClassName[] = "AmbrelEditorHost";

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CLOSE:
        // The editor is closed before the window goes: note the request and
        // let the host loop end the session.
        SetPropA(window, "AmbrelClosed", reinterpret_cast<HANDLE>(1));
        return 0;
    case WM_ERASEBKGND: {
        RECT area;
        GetClientRect(window, &area);
        FillRect(reinterpret_cast<HDC>(wParam), &area, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        return 1;
    }
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

bool registerClass()
{
    static bool registered = false;
    if (registered)
        return true;
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kClassName;
    registered = RegisterClassA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    return registered;
}

// The outer size of a window whose client area is width x height.
SIZE outerSize(int width, int height)
{
    RECT rect{0, 0, width, height};
    AdjustWindowRectEx(&rect, kStyle, FALSE, 0);
    return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

class Win32EditorHostWindow final : public EditorHostWindow {
public:
    Win32EditorHostWindow(HWND window, int width, int height) : window_(window), width_(width), height_(height) {}

    ~Win32EditorHostWindow() override
    {
        RemovePropA(window_, "AmbrelClosed");
        DestroyWindow(window_);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }

    void* parentHandle() const override { return window_; }

    void resize(int width, int height) override
    {
        if (width <= 0 || height <= 0 || (width == width_ && height == height_))
            return;
        width_ = width;
        height_ = height;
        const SIZE outer = outerSize(width, height);
        SetWindowPos(window_, nullptr, 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    int width() const override { return width_; }
    int height() const override { return height_; }

    void clientOrigin(int& x, int& y) override
    {
        POINT origin{0, 0};
        ClientToScreen(window_, &origin);
        x = origin.x;
        y = origin.y;
    }

    bool processEvents() override
    {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        return IsWindow(window_) && GetPropA(window_, "AmbrelClosed") == nullptr;
    }

    bool capture(std::vector<std::uint8_t>& rgb, int& width, int& height, std::string& error) override
    {
        RECT area;
        GetClientRect(window_, &area);
        width = area.right - area.left;
        height = area.bottom - area.top;
        if (width <= 0 || height <= 0) {
            error = "the window has no client area";
            return false;
        }
        // Bring the window up and let every child paint before reading.
        SetWindowPos(window_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        processEvents();
        GdiFlush();

        // PrintWindow does not draw the children under every system (Wine),
        // so the pixels are read from the screen where the client area is.
        POINT origin{0, 0};
        ClientToScreen(window_, &origin);
        HDC screen = GetDC(nullptr);
        HDC memory = CreateCompatibleDC(screen);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height; // top-down rows
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        bool ok = false;
        if (memory && bitmap && bits) {
            HGDIOBJ old = SelectObject(memory, bitmap);
            ok = BitBlt(memory, 0, 0, width, height, screen, origin.x, origin.y, SRCCOPY | CAPTUREBLT) != 0;
            GdiFlush();
            SelectObject(memory, old);
        }
        if (ok) {
            const auto* pixels = static_cast<const std::uint8_t*>(bits);
            rgb.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
            for (std::size_t i = 0, n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height); i < n;
                 ++i) {
                rgb[3 * i] = pixels[4 * i + 2];
                rgb[3 * i + 1] = pixels[4 * i + 1];
                rgb[3 * i + 2] = pixels[4 * i];
            }
        } else {
            error = "cannot read the window's pixels (error " + std::to_string(GetLastError()) + ")";
        }
        if (bitmap)
            DeleteObject(bitmap);
        if (memory)
            DeleteDC(memory);
        ReleaseDC(nullptr, screen);
        return ok;
    }

private:
    HWND window_;
    int width_;
    int height_;
};

} // namespace

bool EditorHostWindow::windowSystemAvailable(std::string& error)
{
    if (!registerClass()) {
        error = "cannot register the host window class (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    return true;
}

std::unique_ptr<EditorHostWindow> EditorHostWindow::create(const std::string& title, int width, int height,
                                                           std::string& error, bool* noDisplay)
{
    if (noDisplay)
        *noDisplay = false;
    if (!windowSystemAvailable(error))
        return nullptr;
    const SIZE outer = outerSize(width, height);
    HWND window = CreateWindowExA(0, kClassName, title.c_str(), kStyle, 0, 0, outer.cx, outer.cy, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    if (!window) {
        error = "cannot create a window (error " + std::to_string(GetLastError()) + ")";
        return nullptr;
    }
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    SetForegroundWindow(window);
    auto host = std::make_unique<Win32EditorHostWindow>(window, width, height);
    host->processEvents();
    return host;
}

double monotonicMilliseconds()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

void sleepMilliseconds(double milliseconds)
{
    if (milliseconds <= 0.0)
        return;
    // Sleep's granularity is the system tick; round up so a wait is never
    // shorter than asked.
    Sleep(static_cast<DWORD>(milliseconds + 0.999));
}

void setEnvironment(const char* name, const std::string& value)
{
    // Both the C runtime's copy and the process's, which the plug-in's own
    // runtime (a DLL with a C runtime of its own) reads.
    _putenv_s(name, value.c_str());
    SetEnvironmentVariableA(name, value.empty() ? nullptr : value.c_str());
}

} // namespace toolplatform
