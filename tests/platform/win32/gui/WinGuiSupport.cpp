#include "WinGuiSupport.h"

#include <winternl.h>

#include <chrono>
#include <cstring>

namespace wingui {

namespace {

LRESULT CALLBACK hostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ERASEBKGND) {
        RECT area;
        GetClientRect(window, &area);
        FillRect(reinterpret_cast<HDC>(wParam), &area, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
        return 1;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

const wchar_t* hostClass()
{
    static const bool registered = [] {
        WNDCLASSW c{};
        c.lpfnWndProc = hostProc;
        c.hInstance = GetModuleHandleW(nullptr);
        c.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        c.lpszClassName = L"AmbrelGuiTestHost";
        return RegisterClassW(&c) != 0;
    }();
    return registered ? L"AmbrelGuiTestHost" : nullptr;
}

double nowMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

void send(INPUT& input)
{
    SendInput(1, &input, sizeof(input));
}

} // namespace

Host::Host(int width, int height, int x, int y)
{
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    RECT r{0, 0, width, height};
    AdjustWindowRectEx(&r, style, FALSE, 0);
    window_ = CreateWindowExW(0, hostClass(), L"Ambrel GUI test host", style, x, y, r.right - r.left,
                              r.bottom - r.top, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ShowWindow(window_, SW_SHOWNORMAL);
    UpdateWindow(window_);
    SetForegroundWindow(window_);
    SetFocus(window_);
    pump(30);
}

Host::~Host() { destroy(); }

void Host::destroy()
{
    if (window_ && IsWindow(window_))
        DestroyWindow(window_);
    window_ = nullptr;
    pump(5);
}

void pump(int ms, VSTGUI::CFrame* frame)
{
    const double end = nowMs() + ms;
    do {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (frame)
            frame->idle();
        Sleep(2);
    } while (nowMs() < end);
}

bool pumpUntil(const std::function<bool()>& done, int timeoutMs, VSTGUI::CFrame* frame)
{
    const double end = nowMs() + timeoutMs;
    while (!done()) {
        if (nowMs() > end)
            return false;
        pump(5, frame);
    }
    return true;
}

InputThread::InputThread(std::function<void()> script)
    : thread_([this, script = std::move(script)] {
          script();
          done_.store(true);
      })
{
}

InputThread::~InputThread()
{
    if (thread_.joinable())
        thread_.join();
}

bool InputThread::finish(int timeoutMs, VSTGUI::CFrame* frame)
{
    const bool ok = pumpUntil([this] { return done(); }, timeoutMs, frame);
    if (ok)
        thread_.join();
    return ok;
}

void moveTo(POINT screen)
{
    SetCursorPos(screen.x, screen.y);
    // A move through the input queue as well, so the window under the
    // pointer is known for the next button.
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = 0;
    input.mi.dy = 0;
    input.mi.dwFlags = MOUSEEVENTF_MOVE;
    send(input);
    Sleep(15);
}

void mouseButton(DWORD flags)
{
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    send(input);
    Sleep(15);
}

void click(POINT screen, DWORD down, DWORD up)
{
    moveTo(screen);
    mouseButton(down);
    Sleep(30);
    mouseButton(up);
}

void wheel(int delta, bool horizontal)
{
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = horizontal ? MOUSEEVENTF_HWHEEL : MOUSEEVENTF_WHEEL;
    input.mi.mouseData = static_cast<DWORD>(delta);
    send(input);
    Sleep(15);
}

void key(WORD virtualKey, bool down)
{
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
    send(input);
    Sleep(10);
}

void tapKey(WORD virtualKey)
{
    key(virtualKey, true);
    key(virtualKey, false);
}

void typeText(const std::wstring& text)
{
    for (wchar_t c : text) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wScan = c;
        input.ki.dwFlags = KEYEVENTF_UNICODE;
        send(input);
        input.ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
        send(input);
        Sleep(3);
    }
    Sleep(20);
}

void pause(int ms) { Sleep(static_cast<DWORD>(ms)); }

HWND waitForWindow(const wchar_t* className, const wchar_t* title, int timeoutMs)
{
    const double end = nowMs() + timeoutMs;
    while (nowMs() < end) {
        HWND found = FindWindowW(className, title);
        if (found && IsWindowVisible(found))
            return found;
        Sleep(20);
    }
    return nullptr;
}

POINT screenPoint(HWND window, int x, int y)
{
    POINT p{x, y};
    ClientToScreen(window, &p);
    return p;
}

std::vector<uint32_t> captureClient(HWND window, int& width, int& height)
{
    RECT area{};
    GetClientRect(window, &area);
    width = area.right;
    height = area.bottom;
    std::vector<uint32_t> pixels;
    if (width <= 0 || height <= 0)
        return pixels;
    GdiFlush();
    const POINT origin = screenPoint(window, 0, 0);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, origin.x, origin.y, SRCCOPY | CAPTUREBLT);
    GdiFlush();
    pixels.assign(static_cast<const uint32_t*>(bits), static_cast<const uint32_t*>(bits) + width * height);
    for (uint32_t& p : pixels)
        p |= 0xFF000000u;
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

int gdiObjectCount()
{
    const DWORD count = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (count > 0)
        return static_cast<int>(count);
    // Wine keeps its GDI handles in a per-process table that the PEB points
    // to: entries of 24 bytes, in use when their type byte is not zero.
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (!ntdll || !GetProcAddress(ntdll, "wine_get_version"))
        return -1;
    using QueryProcess = LONG(WINAPI*)(HANDLE, PROCESSINFOCLASS, void*, ULONG, ULONG*);
    auto query = reinterpret_cast<QueryProcess>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryInformationProcess")));
    PROCESS_BASIC_INFORMATION basic{};
    if (!query || query(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof(basic), nullptr) != 0)
        return -1;
    const auto* peb = reinterpret_cast<const unsigned char*>(basic.PebBaseAddress);
    const size_t tableOffset = sizeof(void*) == 8 ? 0xF8 : 0x94; // GdiSharedHandleTable
    const unsigned char* table = *reinterpret_cast<const unsigned char* const*>(peb + tableOffset);
    if (!table)
        return -1;
    int used = 0;
    for (int i = 0; i < 0x10000; ++i)
        if (table[i * 24 + 14] != 0)
            ++used;
    return used;
}

namespace {
BOOL CALLBACK countChild(HWND, LPARAM counter)
{
    ++*reinterpret_cast<int*>(counter);
    return TRUE;
}
BOOL CALLBACK countTopLevel(HWND window, LPARAM counter)
{
    ++*reinterpret_cast<int*>(counter);
    EnumChildWindows(window, countChild, counter);
    return TRUE;
}
} // namespace

int threadWindowCount()
{
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), countTopLevel, reinterpret_cast<LPARAM>(&count));
    return count;
}

} // namespace wingui
