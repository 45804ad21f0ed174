// The toolkit's platform on Windows: windows, surfaces and bitmaps from the
// other files here; time, message boxes and the common file dialogs.
#include "Win32Gui.h"

#include "gui/SharedBitmaps.h"

#include <commdlg.h>

#include <algorithm>
#include <vector>

namespace VSTGUI {

namespace win32 {

int32_t scaleForWindow(HWND window)
{
    char value[8] = {};
    const DWORD length = GetEnvironmentVariableA("AMBREL_UI_SCALE", value, sizeof(value));
    if (length == 1 && (value[0] == '1' || value[0] == '2'))
        return value[0] - '0';
    // Both functions are newer than some systems the plug-in runs on. A
    // process that is not DPI aware gets 96 from them and is scaled by the
    // system instead; the plug-in never changes the process's awareness.
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    UINT dpi = 0;
    if (window && IsWindow(window)) {
        using DpiForWindow = UINT(WINAPI*)(HWND);
        if (auto f = reinterpret_cast<DpiForWindow>(
                reinterpret_cast<void*>(GetProcAddress(user32, "GetDpiForWindow"))))
            dpi = f(window);
    } else {
        using DpiForSystem = UINT(WINAPI*)();
        if (auto f = reinterpret_cast<DpiForSystem>(
                reinterpret_cast<void*>(GetProcAddress(user32, "GetDpiForSystem"))))
            dpi = f();
    }
    return dpi >= 144 ? 2 : 1;
}

} // namespace win32

namespace {

using namespace win32;

// Dialogs belong to the editor's top-level window, which they disable while open.
HWND ownerOf(PlatformWindow* window)
{
    HWND handle = window ? static_cast<HWND>(window->nativeHandle()) : nullptr;
    return handle && IsWindow(handle) ? GetAncestor(handle, GA_ROOT) : nullptr;
}

class Win32Platform final : public Platform {
public:
    std::unique_ptr<PlatformWindow> createWindow(const WindowSpec& desc, PlatformWindowListener* listener) override
    {
        return createFrameWindow(desc, listener);
    }
    int32_t preferredScale(void* parent) override { return scaleForWindow(static_cast<HWND>(parent)); }
    std::shared_ptr<PlatformBitmap> loadBitmap(int32_t resourceId) override { return bitmaps_.load(resourceId); }
    std::unique_ptr<PlatformOffscreen> createOffscreen(int32_t width, int32_t height, int32_t scale) override
    {
        return GdiSurface::create(width, height, scale);
    }
    uint32_t ticks() override { return GetTickCount(); }
    void sleep(uint32_t milliseconds) override { Sleep(milliseconds); }
    uint32_t doubleClickTime() override { return GetDoubleClickTime(); }

    void messageBox(PlatformWindow* window, const std::string& caption, const std::string& text) override
    {
        HWND owner = ownerOf(window);
        MessageBoxW(owner, widen(text).c_str(), widen(caption).c_str(),
                    MB_OK | MB_ICONERROR | (owner ? MB_APPLMODAL : MB_TASKMODAL));
    }

    std::optional<std::string> fileDialog(PlatformWindow* window, const FileDialogSpec& desc) override
    {
        std::wstring filter;
        for (const auto& [description, pattern] : desc.filters) {
            filter += widen(description);
            filter.push_back(L'\0');
            filter += widen(pattern);
            filter.push_back(L'\0');
        }
        filter.push_back(L'\0');
        std::wstring directory = widen(desc.initialDirectory);
        std::replace(directory.begin(), directory.end(), L'/', L'\\');
        // Only a name prefills the field; a directory part would make the
        // dialog refuse to open.
        std::wstring name = widen(desc.initialName);
        if (const size_t slash = name.find_last_of(L"\\/"); slash != std::wstring::npos)
            name.erase(0, slash + 1);
        std::wstring extension = widen(desc.defaultExtension);
        if (!extension.empty() && extension.front() == L'.')
            extension.erase(0, 1);
        const std::wstring title = widen(desc.title);

        std::vector<wchar_t> file(32768, L'\0');
        std::copy_n(name.begin(), std::min(name.size(), file.size() - 1), file.begin());

        OPENFILENAMEW dialog{};
        dialog.lStructSize = sizeof(dialog);
        dialog.hwndOwner = ownerOf(window);
        dialog.lpstrFilter = desc.filters.empty() ? nullptr : filter.c_str();
        dialog.nFilterIndex = desc.selectedFilter >= 0 && static_cast<size_t>(desc.selectedFilter) < desc.filters.size()
                                  ? static_cast<DWORD>(desc.selectedFilter + 1)
                                  : 1;
        dialog.lpstrFile = file.data();
        dialog.nMaxFile = static_cast<DWORD>(file.size());
        dialog.lpstrInitialDir = directory.empty() ? nullptr : directory.c_str();
        dialog.lpstrTitle = title.empty() ? nullptr : title.c_str();
        dialog.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
        dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST;
        if (desc.save)
            dialog.Flags |= desc.confirmOverwrite ? OFN_OVERWRITEPROMPT : 0;
        else
            dialog.Flags |= OFN_FILEMUSTEXIST;

        // The open dialog may move the process's working directory even
        // with OFN_NOCHANGEDIR; the host's stays where it was.
        std::vector<wchar_t> workingDirectory(32768, L'\0');
        const DWORD saved = GetCurrentDirectoryW(static_cast<DWORD>(workingDirectory.size()), workingDirectory.data());
        auto run = [&] { return desc.save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog); };
        BOOL chosen = run();
        if (!chosen && CommDlgExtendedError() == FNERR_INVALIDFILENAME && file[0]) {
            file[0] = L'\0';
            chosen = run();
        }
        if (saved > 0 && saved < workingDirectory.size())
            SetCurrentDirectoryW(workingDirectory.data());
        if (!chosen || !file[0])
            return std::nullopt;
        return narrow(file.data());
    }

private:
    SharedBitmaps bitmaps_{[](int32_t id) -> std::shared_ptr<PlatformBitmap> {
        return GdiBitmap::load(moduleHandle(), id);
    }};
};

} // namespace

Platform& defaultPlatform()
{
    static Win32Platform instance;
    return instance;
}

} // namespace VSTGUI
