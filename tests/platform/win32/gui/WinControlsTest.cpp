// Toolkit controls on the Win32 layer with real input: the native text
// field, the pop-up menu, a knob; the editor's open, idle and close as a
// host drives them; the message box and the file dialogs.
#include "../WinTestHarness.h"
#include "WinGuiSupport.h"

#include "platform/win32/gui/Win32Gui.h"

#include <commdlg.h>

#include <cstdio>
#include <fstream>

using namespace VSTGUI;
using namespace wingui;

namespace {

constexpr int kStrip = 100;

struct Listener : CControlListener {
    void valueChanged(CDrawContext*, CControl* control) override
    {
        ++changes;
        last = control;
    }
    int changes = 0;
    CControl* last = nullptr;
};

struct ControlsFrame {
    explicit ControlsFrame(HWND parent) : frame(new CFrame(CRect(0, 0, 300, 200), parent, nullptr))
    {
        frame->setBackgroundColor(CColor{60, 60, 60, 255});
        text = new CTextEdit(CRect(10, 20, 160, 40), &listener, 1, "Warm");
        text->setFont(kNormalFont);
        text->setFontColor(CColor{10, 20, 30, 255});
        text->setBackColor(CColor{240, 230, 200, 255});
        frame->addView(text);
        menu = new COptionMenu(CRect(10, 60, 160, 80), &listener, 2, nullptr, nullptr, kCheckStyle);
        for (const char* entry : {"One", "Two", "-", "-TTitle", "-GGrey", "Three"})
            menu->addEntry(entry);
        auto* sub = new COptionMenu(CRect(0, 0, 10, 10), &listener, 3);
        sub->addEntry("Sub A");
        sub->addEntry("Sub B");
        menu->addEntry(sub, "More");
        sub->forget();
        menu->setNbItemsPerColumn(4);
        menu->setCurrent(1);
        frame->addView(menu);
        auto* strip = new CBitmap(kStrip);
        knob = new CAnimKnob(CRect(200, 20, 220, 40), &listener, 4, 5, 20, strip);
        strip->forget();
        knob->setValue(0.5f);
        frame->addView(knob);
    }
    ~ControlsFrame() { frame->forget(); }
    HWND child() const { return static_cast<HWND>(frame->getPlatformWindow()->nativeHandle()); }
    POINT screen(int x, int y) const { return screenPoint(child(), x, y); }
    HWND edit() const { return FindWindowExW(child(), nullptr, L"Edit", nullptr); }

    Listener listener;
    CFrame* frame;
    CTextEdit* text;
    COptionMenu* menu;
    CAnimKnob* knob;
};

// An editor as the product's are built: a frame in open, nothing else.
class TestEditor : public AEffGUIEditor {
public:
    TestEditor() : AEffGUIEditor(nullptr) { rect = ERect{0, 0, 120, 200}; }
    bool open(void* parent) override
    {
        if (!AEffGUIEditor::open(parent))
            return false;
        frame = new CFrame(CRect(0, 0, 200, 120), parent, this);
        if (!frame->isOpen()) {
            frame->forget();
            frame = nullptr;
            return false;
        }
        frame->addView(new CTextEdit(CRect(10, 10, 100, 30), nullptr, 1, "x"));
        return true;
    }
};

std::wstring text(HWND window)
{
    wchar_t buffer[512] = {};
    GetWindowTextW(window, buffer, 512);
    return buffer;
}

// A dialog of this process with the title, shown after `after`.
HWND waitForDialog(const wchar_t* title) { return waitForWindow(L"#32770", title, 8000); }

struct TextSearch {
    const std::wstring* wanted;
    bool found;
};

BOOL CALLBACK findText(HWND child, LPARAM data)
{
    auto* search = reinterpret_cast<TextSearch*>(data);
    if (text(child) == *search->wanted)
        search->found = true;
    return TRUE;
}

bool dialogHasText(HWND dialog, const std::wstring& wanted)
{
    TextSearch search{&wanted, false};
    EnumChildWindows(dialog, findText, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

} // namespace

TEST_CASE(TextFieldOpensCommitsAndCancels)
{
    Host host(300, 200);
    ControlsFrame f(host.hwnd());
    pump(50, f.frame);

    InputThread open([&] { click(f.screen(50, 30)); });
    CHECK(open.finish(10000, f.frame));
    CHECK(pumpUntil([&] { return f.edit() != nullptr; }, 3000, f.frame));
    HWND edit = f.edit();
    if (!edit)
        return;
    CHECK(f.text->isEditing());
    CHECK(GetFocus() == edit);
    CHECK(text(edit) == L"Warm");
    CHECK(GetWindowLongW(edit, GWL_STYLE) & ES_AUTOHSCROLL);
    DWORD start = 9, end = 9;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    CHECK(start == 0 && end == 4);
    CHECK(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0) == 255);
    CHECK(SendMessageW(edit, EM_GETMARGINS, 0, 0) == MAKELONG(3, 3));
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(edit, WM_GETFONT, 0, 0)), sizeof(font), &font);
    CHECK(font.lfWeight == 600);
    CHECK(font.lfHeight == -12);
    CHECK(std::wstring(font.lfFaceName) == L"Arial");
    RECT r{};
    GetWindowRect(edit, &r);
    MapWindowPoints(nullptr, f.child(), reinterpret_cast<POINT*>(&r), 2);
    CHECK(r.left == 10 && r.top == 20 && r.right == 160 && r.bottom == 40);
    // The field's colours come from the display.
    pump(50, f.frame);
    int w = 0, h = 0;
    const std::vector<uint32_t> shot = captureClient(host.hwnd(), w, h);
    if (!shot.empty())
        CHECK(shot[size_t(38 * w + 158)] == 0xFFF0E6C8u);

    // Typed text replaces the selection; Return keeps it.
    InputThread type([&] {
        typeText(L"Bright");
        tapKey(VK_RETURN);
    });
    CHECK(type.finish(10000, f.frame));
    pump(30, f.frame);
    CHECK(!f.text->isEditing() && !IsWindow(edit));
    CHECK(f.text->getText() == "Bright");
    CHECK(f.listener.changes == 1);
    CHECK(GetFocus() == host.hwnd());

    // Escape keeps the old text.
    InputThread cancel([&] {
        click(f.screen(50, 30));
        pause(100);
        typeText(L"Zzz");
        tapKey(VK_ESCAPE);
    });
    CHECK(cancel.finish(10000, f.frame));
    pump(30, f.frame);
    CHECK(!f.text->isEditing());
    CHECK(f.text->getText() == "Bright");
    CHECK(f.listener.changes == 1);

    // At most 255 characters.
    InputThread longText([&] {
        click(f.screen(50, 30));
        pause(100);
        typeText(std::wstring(300, L'x'));
        tapKey(VK_RETURN);
    });
    CHECK(longText.finish(20000, f.frame));
    pump(30, f.frame);
    CHECK(f.text->getText() == std::string(255, 'x'));

    // Losing the keyboard focus commits; a key the host also forwards
    // while the field has the focus is not typed twice.
    InputThread again([&] {
        click(f.screen(50, 30));
        pause(100);
        typeText(L"Q");
    });
    CHECK(again.finish(10000, f.frame));
    pump(30, f.frame);
    CHECK(f.text->isEditing());
    VstKeyCode forwarded{'w', 0, 0};
    CHECK(f.frame->onKeyDown(forwarded) != 1);
    SetFocus(host.hwnd());
    pump(50, f.frame);
    CHECK(!f.text->isEditing());
    CHECK(f.text->getText() == "Q");
}

TEST_CASE(MenuIsOwnerDrawnAndChosenWithTheKeyboard)
{
    Host host(300, 200);
    ControlsFrame f(host.hwnd());
    pump(50, f.frame);
    const int drawnBefore = win32::menuItemsDrawnForTesting();
    struct Seen {
        int count = -1;
        UINT types[16] = {};
        UINT states[16] = {};
        bool submenu = false;
    } seen;
    InputThread choose([&] {
        click(f.screen(50, 70));
        HWND menuWindow = waitForWindow(L"#32768", nullptr, 5000);
        if (!menuWindow)
            return;
        pause(100);
        HMENU menu = reinterpret_cast<HMENU>(SendMessageW(menuWindow, MN_GETHMENU, 0, 0));
        seen.count = GetMenuItemCount(menu);
        for (int i = 0; i < seen.count && i < 16; ++i) {
            MENUITEMINFOW info{};
            info.cbSize = sizeof(info);
            info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_SUBMENU;
            GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
            seen.types[i] = info.fType;
            seen.states[i] = info.fState;
            if (i == 6)
                seen.submenu = info.hSubMenu != nullptr;
        }
        tapKey(VK_DOWN);
        tapKey(VK_DOWN);
        tapKey(VK_RETURN);
    });
    CHECK(choose.finish(15000, f.frame));
    pump(30, f.frame);
    CHECK(seen.count == 7);
    if (seen.count == 7) {
        CHECK(seen.types[0] & MFT_OWNERDRAW);
        CHECK(seen.states[1] & MFS_CHECKED);
        CHECK(seen.types[2] & MFT_SEPARATOR);
        CHECK(seen.states[3] & MFS_DISABLED);
        CHECK(seen.types[4] & MFT_MENUBARBREAK); // a new column after four entries
        CHECK(seen.states[4] & MFS_GRAYED);
        CHECK(seen.submenu);
    }
    CHECK(win32::menuItemsDrawnForTesting() > drawnBefore);
    CHECK(f.menu->getCurrent() == 1);
    CHECK(f.listener.changes == 1);

    // Into the submenu: up to the last entry, right, Return.
    InputThread submenu([&] {
        click(f.screen(50, 70));
        if (!waitForWindow(L"#32768", nullptr, 5000))
            return;
        pause(100);
        tapKey(VK_UP);
        tapKey(VK_RIGHT);
        pause(100);
        tapKey(VK_RETURN);
    });
    CHECK(submenu.finish(15000, f.frame));
    pump(30, f.frame);
    long index = -1;
    COptionMenu* chosen = f.menu->getLastItemMenu(index);
    CHECK(chosen && chosen != f.menu && index == 0);

    // Escape changes nothing.
    const int changes = f.listener.changes;
    InputThread cancel([&] {
        click(f.screen(50, 70));
        if (!waitForWindow(L"#32768", nullptr, 5000))
            return;
        pause(100);
        tapKey(VK_ESCAPE);
    });
    CHECK(cancel.finish(15000, f.frame));
    pump(30, f.frame);
    CHECK(f.listener.changes == changes);
    CHECK(FindWindowW(L"#32768", nullptr) == nullptr || !IsWindowVisible(FindWindowW(L"#32768", nullptr)));
}

TEST_CASE(KnobDragWheelAndDefault)
{
    AEffGUIEditor modes(nullptr);
    modes.setKnobMode(kLinearMode);
    Host host(300, 200);
    ControlsFrame f(host.hwnd());
    pump(50, f.frame);
    // Up 40 pixels over a 200-pixel span.
    InputThread drag([&] {
        moveTo(f.screen(210, 30));
        mouseButton(MOUSEEVENTF_LEFTDOWN);
        for (int i = 1; i <= 8; ++i)
            moveTo(f.screen(210, 30 - 5 * i));
        pause(50);
        mouseButton(MOUSEEVENTF_LEFTUP);
    });
    CHECK(drag.finish(10000, f.frame));
    pump(30, f.frame);
    CHECK(std::abs(f.knob->getValue() - 0.7f) < 0.03f);
    const int afterDrag = f.listener.changes;
    CHECK(afterDrag >= 1);
    // One notch: a tenth more.
    const float before = f.knob->getValue();
    InputThread notch([&] {
        moveTo(f.screen(210, 30));
        wheel(WHEEL_DELTA);
    });
    CHECK(notch.finish(10000, f.frame));
    pump(30, f.frame);
    CHECK(std::abs(f.knob->getValue() - (before + 0.1f)) < 0.001f);
    // Ctrl+click: the default value.
    InputThread reset([&] {
        moveTo(f.screen(210, 30));
        key(VK_CONTROL, true);
        click(f.screen(210, 30));
        key(VK_CONTROL, false);
    });
    CHECK(reset.finish(10000, f.frame));
    pump(30, f.frame);
    CHECK(f.knob->getValue() == 0.5f);
    modes.setKnobMode(kCircularMode);
}

TEST_CASE(EditorOpenIdleCloseAsHostsDo)
{
    TestEditor editor;
    ERect* rect = nullptr;
    CHECK(editor.getRect(&rect) && rect && rect->right == 200 && rect->bottom == 120);
    // Nothing open: idle, keys and close do nothing.
    editor.idle();
    VstKeyCode key{'a', 0, 0};
    CHECK(!editor.onKeyDown(key));
    editor.close();
    CHECK(!editor.open(nullptr));
    CHECK(win32::openFrameCount() == 0);

    Host host(200, 120);
    for (int i = 0; i < 3; ++i) {
        CHECK(editor.open(host.hwnd()));
        editor.idle();
        pump(20);
        editor.idle();
        editor.close();
        editor.close();
    }
    CHECK(win32::openFrameCount() == 0);

    // Two editors at once, then one host destroying its window first.
    TestEditor second;
    Host host2(200, 120, 300, 40);
    CHECK(editor.open(host.hwnd()) && second.open(host2.hwnd()));
    CHECK(win32::openFrameCount() == 2);
    pump(30);
    host2.destroy();
    second.idle();
    editor.idle();
    second.close();
    CHECK(win32::openFrameCount() == 1);
    editor.close();
    CHECK(win32::openFrameCount() == 0);
}

TEST_CASE(MessageBoxIsOwnedAndDismissed)
{
    Host host(300, 200);
    ControlsFrame f(host.hwnd());
    pump(30, f.frame);
    bool owned = false, shown = false, disabled = false;
    InputThread answer([&] {
        HWND box = waitForDialog(L"Error...");
        if (!box)
            return;
        owned = GetWindow(box, GW_OWNER) == host.hwnd();
        shown = dialogHasText(box, L"Not a bank file!");
        disabled = !IsWindowEnabled(host.hwnd());
        pause(50);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    });
    platform().messageBox(f.frame->getPlatformWindow(), "Error...", "Not a bank file!");
    CHECK(answer.finish(10000, f.frame));
    CHECK(owned && shown && disabled);
    CHECK(IsWindowEnabled(host.hwnd()));
}

namespace {

// Types a name into the file dialog's name field and presses Return.
void answerFileDialog(const wchar_t* title, const std::wstring& name, bool* ownedBy, HWND owner, int* filter,
                      bool confirmOverwrite = false)
{
    HWND dialog = waitForDialog(title);
    if (!dialog)
        return;
    pause(300);
    if (ownedBy)
        *ownedBy = GetWindow(dialog, GW_OWNER) == owner;
    if (filter)
        *filter = static_cast<int>(SendDlgItemMessageW(dialog, cmb1, CB_GETCURSEL, 0, 0));
    if (name.empty()) {
        tapKey(VK_ESCAPE);
        return;
    }
    // The name field has the focus when the dialog opens.
    HWND field = GetDlgItem(dialog, cmb13) ? GetDlgItem(dialog, cmb13) : GetDlgItem(dialog, edt1);
    SetForegroundWindow(dialog);
    SendMessageW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
    typeText(name);
    tapKey(VK_RETURN);
    if (confirmOverwrite) {
        pause(300);
        // The overwrite question belongs to the file dialog.
        for (int i = 0; i < 50; ++i) {
            HWND question = FindWindowW(L"#32770", title);
            if (question && question != dialog && GetWindow(question, GW_OWNER) == dialog) {
                PostMessageW(question, WM_COMMAND, IDYES, 0);
                break;
            }
            Sleep(50);
        }
    }
}

std::string directoryForTest()
{
    char base[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, base);
    std::string dir = std::string(base) + "ambrel-dialogs";
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

} // namespace

TEST_CASE(FileDialogsTitlesFiltersExtensionsAndOwner)
{
    Host host(300, 200);
    ControlsFrame f(host.hwnd());
    pump(30, f.frame);
    const std::string dir = directoryForTest();
    DeleteFileA((dir + "\\Bank One.nub").c_str());
    char cwdBefore[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, cwdBefore);

    FileDialogSpec save;
    save.save = true;
    save.title = "Save bank as...";
    save.filters = {{"All Files", "*.*"}, {"Nur Banks", "*.nub"}};
    save.selectedFilter = 1;
    save.defaultExtension = "nub";
    save.initialDirectory = dir;
    bool owned = false;
    int filter = -1;
    std::optional<std::string> chosen;
    {
        InputThread answer([&] { answerFileDialog(L"Save bank as...", L"Bank One", &owned, host.hwnd(), &filter); });
        chosen = platform().fileDialog(f.frame->getPlatformWindow(), save);
        CHECK(answer.finish(10000, f.frame));
    }
    CHECK(owned);
    CHECK(filter == 1);
    CHECK(chosen && *chosen == dir + "\\Bank One.nub");
    std::ofstream(dir + "\\Bank One.nub") << "x";

    // Saving over it asks first.
    {
        InputThread answer([&] { answerFileDialog(L"Save bank as...", L"Bank One", nullptr, nullptr, nullptr, true); });
        chosen = platform().fileDialog(f.frame->getPlatformWindow(), save);
        CHECK(answer.finish(15000, f.frame));
    }
    CHECK(chosen && *chosen == dir + "\\Bank One.nub");

    // Loading it back; the open dialog does not move the working directory.
    FileDialogSpec load = save;
    load.save = false;
    load.title = "Select bank to load...";
    {
        InputThread answer([&] { answerFileDialog(L"Select bank to load...", L"Bank One.nub", nullptr, nullptr, nullptr); });
        chosen = platform().fileDialog(f.frame->getPlatformWindow(), load);
        CHECK(answer.finish(10000, f.frame));
    }
    CHECK(chosen && *chosen == dir + "\\Bank One.nub");
    char cwdAfter[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, cwdAfter);
    CHECK(std::string(cwdBefore) == cwdAfter);

    // Cancel.
    {
        InputThread answer([&] { answerFileDialog(L"Select bank to load...", L"", nullptr, nullptr, nullptr); });
        chosen = platform().fileDialog(f.frame->getPlatformWindow(), load);
        CHECK(answer.finish(10000, f.frame));
    }
    CHECK(!chosen);
    DeleteFileA((dir + "\\Bank One.nub").c_str());
    RemoveDirectoryA(dir.c_str());
}
