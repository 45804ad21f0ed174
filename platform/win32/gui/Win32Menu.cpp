// The pop-up menu: a Win32 popup menu tree built from the toolkit's model,
// tracked modally with TrackPopupMenu and drawn by us (owner drawing):
// check marks, greyed entries, titles in bold, submenus, separators and
// column breaks.
#include "Win32Window.h"

#include <algorithm>
#include <atomic>

namespace VSTGUI::win32 {

namespace {
std::atomic<int32_t> itemsDrawn{0};
constexpr int kMaxDepth = 16; // submenus nested deeper than this are left out
} // namespace

int32_t menuItemsDrawnForTesting() { return itemsDrawn.load(std::memory_order_relaxed); }

struct MenuItemData {
    std::wstring text;
    uint32_t flags = 0;
};

struct MenuSession {
    explicit MenuSession(int32_t scale) : scale(scale)
    {
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof(metrics);
        LOGFONTW font{};
        if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0))
            font = metrics.lfMenuFont;
        else
            GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(font), &font);
        // At scale 2 the menu matches the doubled editor, unless the system
        // font is already sized for a dense screen.
        if (scale >= 2 && std::abs(font.lfHeight) < 20)
            font.lfHeight *= 2;
        normal = CreateFontIndirectW(&font);
        font.lfWeight = FW_BOLD;
        bold = CreateFontIndirectW(&font);
    }
    ~MenuSession()
    {
        if (normal)
            DeleteObject(normal);
        if (bold)
            DeleteObject(bold);
    }
    MenuSession(const MenuSession&) = delete;
    MenuSession& operator=(const MenuSession&) = delete;

    HMENU build(const MenuModel& model, int depth)
    {
        HMENU menu = CreatePopupMenu();
        if (!menu)
            return nullptr;
        for (size_t i = 0; i < model.items.size(); ++i) {
            const MenuItem& item = model.items[i];
            UINT flags = (item.flags & MenuItem::kColumnBreak) ? MF_MENUBARBREAK : 0;
            if (item.flags & MenuItem::kSeparator) {
                AppendMenuW(menu, flags | MF_SEPARATOR, 0, nullptr);
                continue;
            }
            auto data = std::make_unique<MenuItemData>();
            data->text = widen(item.title);
            data->flags = item.flags;
            flags |= MF_OWNERDRAW;
            if (item.flags & MenuItem::kChecked)
                flags |= MF_CHECKED;
            if (item.flags & MenuItem::kDisabled)
                flags |= MF_GRAYED;
            else if (item.flags & MenuItem::kTitle)
                flags |= MF_DISABLED;
            const auto* itemData = reinterpret_cast<LPCWSTR>(data.get());
            if (item.submenu) {
                HMENU submenu = depth < kMaxDepth ? build(*item.submenu, depth + 1) : nullptr;
                if (!submenu)
                    continue;
                AppendMenuW(menu, flags | MF_POPUP, reinterpret_cast<UINT_PTR>(submenu), itemData);
            } else {
                const UINT id = nextId++;
                ids.push_back({&model, static_cast<int32_t>(i)});
                AppendMenuW(menu, flags, id, itemData);
            }
            items.push_back(std::move(data));
        }
        return menu;
    }

    int32_t scale;
    HFONT normal = nullptr;
    HFONT bold = nullptr;
    std::vector<std::unique_ptr<MenuItemData>> items;
    std::vector<std::pair<const MenuModel*, int32_t>> ids; // command id - 1
    UINT nextId = 1;
};

namespace {

HFONT fontOf(const MenuSession& session, const MenuItemData& data)
{
    return (data.flags & MenuItem::kTitle) ? session.bold : session.normal;
}

// Room for the check mark at the left: as wide as a line is high.
int checkColumn(HDC dc)
{
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    return metrics.tmHeight + metrics.tmHeight / 4;
}

} // namespace

void measureMenuItem(MenuSession& session, MEASUREITEMSTRUCT& item)
{
    const auto* data = reinterpret_cast<const MenuItemData*>(item.itemData);
    if (!data)
        return;
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, fontOf(session, *data));
    SIZE size{};
    GetTextExtentPoint32W(dc, data->text.c_str(), static_cast<int>(data->text.size()), &size);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    const int check = checkColumn(dc);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    item.itemHeight = static_cast<UINT>(metrics.tmHeight + 4 * session.scale);
    item.itemWidth = static_cast<UINT>(check + size.cx + 6 * session.scale);
}

void drawMenuItem(MenuSession& session, const DRAWITEMSTRUCT& item)
{
    const auto* data = reinterpret_cast<const MenuItemData*>(item.itemData);
    if (!data)
        return;
    itemsDrawn.fetch_add(1, std::memory_order_relaxed);
    HDC dc = item.hDC;
    RECT r = item.rcItem;
    // A title is disabled but drawn as a heading, not greyed.
    const bool title = (data->flags & MenuItem::kTitle) != 0;
    const bool greyed = (data->flags & MenuItem::kDisabled) || ((item.itemState & ODS_GRAYED) && !title);
    const bool selected = (item.itemState & ODS_SELECTED) && !greyed && !title;
    FillRect(dc, &r, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_MENU));
    const COLORREF ink = GetSysColor(greyed ? COLOR_GRAYTEXT : selected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT);

    HGDIOBJ oldFont = SelectObject(dc, fontOf(session, *data));
    const int check = checkColumn(dc);
    if (item.itemState & ODS_CHECKED) {
        // A tick in the middle of the check column.
        const int size = check / 2;
        const int x = r.left + (check - size) / 2;
        const int y = (r.top + r.bottom) / 2;
        HPEN pen = CreatePen(PS_SOLID, std::max(2, session.scale * 2), ink);
        HGDIOBJ oldPen = SelectObject(dc, pen);
        POINT tick[3] = {{x, y}, {x + size / 3, y + size / 3}, {x + size, y - size / 2}};
        Polyline(dc, tick, 3);
        SelectObject(dc, oldPen);
        DeleteObject(pen);
    }
    SetBkMode(dc, TRANSPARENT);
    const COLORREF oldInk = SetTextColor(dc, ink);
    RECT text = r;
    text.left += check;
    DrawTextW(dc, data->text.c_str(), static_cast<int>(data->text.size()), &text,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_LEFT);
    SetTextColor(dc, oldInk);
    SelectObject(dc, oldFont);
}

MenuResult FrameWindow::popupMenu(const MenuModel& model, CPoint where)
{
    if (!window_ || model.items.empty())
        return {};
    MenuSession session(scale_);
    HMENU menu = session.build(model, 0);
    if (!menu)
        return {};
    POINT point{where.h * scale_, where.v * scale_};
    ClientToScreen(window_, &point);
    menu_ = &session;
    const UINT chosen = static_cast<UINT>(TrackPopupMenu(
        menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, point.x, point.y, 0,
        window_, nullptr));
    menu_ = nullptr;
    DestroyMenu(menu);
    if (chosen == 0 || chosen > session.ids.size())
        return {};
    const auto& [menuModel, index] = session.ids[chosen - 1];
    return MenuResult{menuModel, index};
}

} // namespace VSTGUI::win32
