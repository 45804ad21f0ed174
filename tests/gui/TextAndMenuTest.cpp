// The text field and the option menu: what the toolkit asks of the
// platform's native field and pop-up, and what it makes of the outcome.
#include "ToolkitFixture.h"

#include <cstdio>
#include <cstring>

namespace toolkit_test {
namespace {

class TextEdit : public Toolkit {
protected:
    // A field in a page that starts 40 pixels down: window (20, 50)-(120, 64).
    void openField(long tag = 7)
    {
        open([&](CFrame& f) {
            auto* page = add(f, new CViewContainer(CRect(0, 40, 200, 100)));
            edit = add(*page, new CTextEdit(CRect(20, 10, 120, 24), &listener, tag, "Init"));
        });
        edit->setFont(kNormalFontSmall);
        edit->setTxtFace(kBoldFace);
        edit->setFontColor(CColor{76, 76, 72, 255});
        edit->setBackColor(CColor{207, 222, 235, 255});
        edit->setHoriAlign(kCenterText);
    }
    scripted::TextFieldRecord& openedField()
    {
        window().click({30, 55});
        EXPECT_TRUE(edit->isEditing());
        return *platform.lastTextField();
    }

    CTextEdit* edit = nullptr;
};

TEST_F(TextEdit, AClickOpensTheNativeFieldOverTheControlWithItsLook)
{
    openField();
    scripted::TextFieldRecord& field = openedField();
    EXPECT_EQ(field.desc.rect, CRect(20, 50, 120, 64)); // window coordinates
    EXPECT_EQ(field.desc.text, "Init");
    EXPECT_EQ(field.desc.fontId, kNormalFontSmall);
    EXPECT_EQ(field.desc.face, kBoldFace);
    EXPECT_EQ(field.desc.weight, 600);
    EXPECT_EQ(field.desc.margin, 3);
    EXPECT_EQ(field.desc.maxLength, 255u);
    EXPECT_EQ(field.desc.textColor, (CColor{76, 76, 72, 255}));
    EXPECT_EQ(field.desc.backColor, (CColor{207, 222, 235, 255}));
    EXPECT_EQ(field.desc.align, kCenterText);
    EXPECT_EQ(frame().getFocusView(), edit);
    EXPECT_EQ(log, (std::vector<std::string>{"host begin 7"}));

    // Another click on it commits the open field first, then opens anew:
    // never two fields at once.
    window().click({30, 55});
    ASSERT_EQ(platform.textFields.size(), 2u);
    EXPECT_FALSE(platform.textFields[0]->open);
    EXPECT_TRUE(platform.textFields[1]->open);
}

TEST_F(TextEdit, ReturnCommitsTheTextAndEndsTheEdit)
{
    openField();
    scripted::TextFieldRecord& field = openedField();
    log.clear();
    field.type("New name");
    field.pressReturn();
    EXPECT_FALSE(field.open);
    EXPECT_FALSE(edit->isEditing());
    EXPECT_EQ(edit->getText(), "New name");
    EXPECT_EQ(frame().getFocusView(), nullptr);
    EXPECT_EQ(log, (std::vector<std::string>{"host end 7", "changed 7"}));
    editor->idle();
    EXPECT_EQ(window().surface().lastText(CRect(20, 50, 120, 64)), "New name");

    // The same text again: no change to report.
    scripted::TextFieldRecord& again = openedField();
    log.clear();
    again.pressReturn();
    EXPECT_EQ(log, (std::vector<std::string>{"host end 7"}));
}

TEST_F(TextEdit, EscapeKeepsTheOldTextAndAClickElsewhereCommits)
{
    openField();
    scripted::TextFieldRecord& cancelled = openedField();
    cancelled.type("typed");
    log.clear();
    cancelled.pressEscape();
    EXPECT_EQ(edit->getText(), "Init");
    EXPECT_TRUE(edit->wasCancelled());
    EXPECT_EQ(log, (std::vector<std::string>{"host end 7"}));

    scripted::TextFieldRecord& committed = openedField();
    EXPECT_FALSE(edit->wasCancelled());
    committed.type("clicked away");
    window().click({180, 20});
    EXPECT_FALSE(committed.open);
    EXPECT_EQ(edit->getText(), "clicked away");

    // Losing the keyboard focus commits too.
    scripted::TextFieldRecord& lost = openedField();
    lost.type("focus lost");
    lost.loseFocus();
    EXPECT_EQ(edit->getText(), "focus lost");
}

TEST_F(TextEdit, TextIsKeptTo255BytesWithoutSplittingACharacter)
{
    openField();
    edit->setText(std::string(300, 'a').c_str());
    EXPECT_EQ(edit->getText().size(), 255u);
    std::string accents;
    for (int i = 0; i < 200; ++i)
        accents += "\xC3\xA9"; // e acute, two bytes
    edit->setText(accents.c_str());
    EXPECT_EQ(edit->getText().size(), 254u);
    char buffer[256];
    edit->getText(buffer);
    EXPECT_EQ(std::string(buffer), edit->getText());

    // A pasted line break becomes a space.
    scripted::TextFieldRecord& field = openedField();
    field.type("two\nlines");
    field.pressReturn();
    EXPECT_EQ(edit->getText(), "two lines");
}

TEST_F(TextEdit, KeysTheHostForwardsReachTheOpenField)
{
    openField();
    VstKeyCode key{'x', 0, 0};
    EXPECT_FALSE(editor->onKeyDown(key)); // no field open
    scripted::TextFieldRecord& field = openedField();
    EXPECT_TRUE(editor->onKeyDown(key));
    EXPECT_TRUE(editor->onKeyUp(key));
    ASSERT_EQ(field.keys.size(), 2u);
    EXPECT_EQ(field.keys[0].first.character, 'x');
    EXPECT_TRUE(field.keys[0].second);
    EXPECT_FALSE(field.keys[1].second);
}

TEST_F(TextEdit, AHostThatDestroysItsWindowFirstLosesNoTypedText)
{
    openField();
    scripted::TextFieldRecord& field = openedField();
    field.type("kept");
    window().hostDestroysWindow();
    EXPECT_FALSE(field.open);
    EXPECT_EQ(edit->getText(), "kept");
    EXPECT_FALSE(frame().isOpen());
    editor->idle(); // nothing left to draw into
    VstKeyCode key{'x', 0, 0};
    EXPECT_FALSE(editor->onKeyDown(key));
    editor->close();
    EXPECT_EQ(platform.liveWindows(), 0u);
}

TEST_F(TextEdit, AFieldThePlatformCannotOpenLeavesNoFocusAndABalancedGesture)
{
    openField();
    platform.failTextFields = true;
    window().click({30, 55});
    EXPECT_FALSE(edit->isEditing());
    EXPECT_EQ(frame().getFocusView(), nullptr);
    EXPECT_EQ(log, (std::vector<std::string>{"host begin 7", "host end 7"}));
}

TEST_F(TextEdit, AListenerMayDetachTheFieldWhenItReportsTheText)
{
    openField();
    // Like a typed-entry field, which its editor detaches when the value is
    // entered: the creator's reference keeps it.
    listener.onValueChanged = [&](CControl* c) { c->getParentView()->removeView(c, false); };
    scripted::TextFieldRecord& field = openedField();
    field.type("gone");
    field.pressReturn();
    EXPECT_EQ(edit->getParentView(), nullptr);
    EXPECT_EQ(edit->getText(), "gone");
    EXPECT_EQ(edit->getNbReference(), 1);
    edit->forget();
}

// --- COptionMenu ------------------------------------------------------------------

class OptionMenu : public Toolkit {
protected:
    COptionMenu* openMenu(long style = kCheckStyle)
    {
        open([&](CFrame& f) { menu = add(f, new COptionMenu(CRect(150, 80, 160, 94), &listener, 65, nullptr, nullptr, style)); });
        return menu;
    }
    COptionMenu* menu = nullptr;
};

TEST_F(OptionMenu, EntryPrefixesBecomeSeparatorsSubmenusGreyedAndTitleEntries)
{
    openMenu();
    auto* sub = new COptionMenu(CRect(), nullptr, 0);
    sub->addEntry("Inner");
    menu->addEntry("Plain");
    menu->addEntry("-");
    menu->addEntry(sub, "More");
    sub->forget(); // the menu holds it
    menu->addEntry("-GGreyed");
    menu->addEntry("-TTitle");
    menu->addEntry("-5 dB"); // a minus that is no prefix
    menu->setCurrent(5);

    MenuModel model;
    std::vector<std::unique_ptr<MenuModel>> submenus;
    menu->buildMenuModel(model, submenus);
    ASSERT_EQ(model.items.size(), 6u);
    EXPECT_EQ(model.items[0].title, "Plain");
    EXPECT_EQ(model.items[0].flags, 0u);
    EXPECT_EQ(model.items[1].flags, uint32_t(MenuItem::kSeparator));
    EXPECT_EQ(model.items[2].title, "More");
    ASSERT_NE(model.items[2].submenu, nullptr);
    EXPECT_EQ(model.items[2].submenu->items[0].title, "Inner");
    EXPECT_EQ(model.items[3].title, "Greyed");
    EXPECT_EQ(model.items[3].flags, uint32_t(MenuItem::kDisabled));
    EXPECT_EQ(model.items[4].title, "Title");
    EXPECT_EQ(model.items[4].flags, uint32_t(MenuItem::kTitle | MenuItem::kDisabled));
    EXPECT_EQ(model.items[5].title, "-5 dB");
    EXPECT_EQ(model.items[5].flags, uint32_t(MenuItem::kChecked)); // the current entry

    char text[256];
    EXPECT_TRUE(menu->getEntry(2, text));
    EXPECT_STREQ(text, "More");
    EXPECT_FALSE(menu->getEntry(6, text));
    EXPECT_EQ(menu->getRawEntry(3), "-GGreyed");
}

TEST_F(OptionMenu, NamesAUserTypedShowAsTheyAreWhenAddedPlain)
{
    openMenu();
    menu->addPlainEntry("-");
    menu->addPlainEntry("-Good take");
    menu->addEntry("x");
    menu->setPlainEntry(2, "-Mystery");
    MenuModel model;
    std::vector<std::unique_ptr<MenuModel>> submenus;
    menu->buildMenuModel(model, submenus);
    for (const auto& item : model.items)
        EXPECT_EQ(item.flags & ~uint32_t(MenuItem::kChecked), 0u) << item.title;
    EXPECT_EQ(model.items[1].title, "-Good take");
    EXPECT_EQ(menu->getEntryText(2), "-Mystery");
    EXPECT_EQ(menu->getIndex(1), 1); // a plain "-" is no separator
}

TEST_F(OptionMenu, ColumnsBreakEveryNEntriesOnlyBelow160)
{
    openMenu();
    menu->setNbItemsPerColumn(16);
    char name[16];
    for (int i = 0; i < 32; ++i) {
        std::snprintf(name, sizeof name, "P%d", i);
        menu->addEntry(name);
    }
    MenuModel model;
    std::vector<std::unique_ptr<MenuModel>> submenus;
    menu->buildMenuModel(model, submenus);
    for (size_t i = 0; i < model.items.size(); ++i)
        EXPECT_EQ((model.items[i].flags & MenuItem::kColumnBreak) != 0, i == 16) << i;

    for (int i = 32; i < 160; ++i)
        menu->addEntry("more");
    menu->buildMenuModel(model, submenus);
    for (const auto& item : model.items)
        EXPECT_EQ(item.flags & MenuItem::kColumnBreak, 0u);
}

TEST_F(OptionMenu, HoldsAtMost1024EntriesOf255Bytes)
{
    openMenu();
    for (int i = 0; i < 1024; ++i)
        ASSERT_TRUE(menu->addEntry("e"));
    EXPECT_FALSE(menu->addEntry("one too many"));
    EXPECT_EQ(menu->getNbEntries(), 1024);
    ASSERT_TRUE(menu->setEntry(0, std::string(400, 'n').c_str()));
    EXPECT_EQ(menu->getEntryText(0).size(), 255u);
    char text[256];
    menu->getEntry(0, text);
    EXPECT_EQ(std::strlen(text), 255u);
}

TEST_F(OptionMenu, SubmenuEntriesAreNumberedByThePrefixMode)
{
    openMenu();
    auto* sub = new COptionMenu(CRect(), nullptr, 0);
    menu->addEntry("first");
    menu->addEntry(sub, "Plain");
    menu->setPrefixNumbers(2);
    menu->addEntry(sub, "One");
    menu->setPrefixNumbers(3);
    menu->addEntry(sub, "Two");
    menu->setPrefixNumbers(4);
    menu->addEntry(sub, "Three");
    EXPECT_EQ(sub->getNbReference(), 5);
    sub->forget();
    EXPECT_EQ(menu->getRawEntry(1), "-MPlain");
    EXPECT_EQ(menu->getRawEntry(2), "-M3 One");
    EXPECT_EQ(menu->getRawEntry(3), "-M04 Two");
    EXPECT_EQ(menu->getRawEntry(4), "-M005 Three");
    EXPECT_EQ(menu->getNbSubMenus(), 4);
    EXPECT_FALSE(menu->addEntry(menu, "itself"));
}

TEST_F(OptionMenu, TheCurrentEntryCountsSeparatorsOrNot)
{
    openMenu();
    menu->addEntry("Working");
    menu->addEntry("-");
    char name[16];
    for (int i = 1; i <= 30; ++i) {
        std::snprintf(name, sizeof name, "Slot %d", i);
        menu->addEntry(name);
    }
    ASSERT_TRUE(menu->setCurrent(4, false));
    char text[256];
    EXPECT_EQ(menu->getCurrent(text, false), 4);
    EXPECT_STREQ(text, "Slot 4");
    EXPECT_EQ(menu->getCurrent(nullptr, true), 5);
    EXPECT_EQ(menu->getValue(), 5.0f);
    ASSERT_TRUE(menu->setCurrent(0, false));
    EXPECT_EQ(menu->getCurrent(nullptr, true), 0);
    EXPECT_FALSE(menu->setCurrent(31, false));
    EXPECT_FALSE(menu->setCurrent(-1));
    EXPECT_EQ(menu->getCurrent(), 0);
}

TEST_F(OptionMenu, AChoiceBecomesTheCurrentEntryAndIsReported)
{
    openMenu(kCheckStyle | kNoDrawStyle);
    menu->addEntry("Working");
    menu->addEntry("-");
    menu->addEntry("Slot 1");
    menu->addEntry("Slot 2");
    menu->setCurrent(0);

    platform.chooseMenuItem({3});
    window().click({152, 85});
    ASSERT_EQ(platform.menusShown.size(), 1u);
    EXPECT_EQ(platform.menusShown[0].where, CPoint(150, 80));
    EXPECT_EQ(platform.menusShown[0].items[0].flags, uint32_t(MenuItem::kChecked));
    char text[256];
    EXPECT_EQ(menu->getCurrent(text, false), 2);
    EXPECT_STREQ(text, "Slot 2");
    EXPECT_EQ(listener.values, (std::vector<float>{3.0f}));
    long indexInMenu = -1;
    EXPECT_EQ(menu->getLastItemMenu(indexInMenu), menu);
    EXPECT_EQ(indexInMenu, 3);

    // Cancelled, or a separator "chosen": nothing changes, nothing reported.
    platform.cancelMenus();
    window().click({152, 85});
    platform.chooseMenuItem({1});
    window().click({152, 85});
    EXPECT_EQ(listener.values.size(), 1u);
    EXPECT_EQ(menu->getCurrent(), 3);

    // The menu draws nothing itself in the no-draw style.
    window().surface().clearOps();
    menu->setDirty();
    editor->idle();
    EXPECT_EQ(window().surface().opsTouching(CRect(150, 80, 160, 94)), 0u);
}

TEST_F(OptionMenu, AChoiceInASubmenuIsTheSubmenusAndMultipleChecksToggle)
{
    openMenu(kMultipleCheckStyle);
    auto* sub = new COptionMenu(CRect(), nullptr, 0, nullptr, nullptr, kMultipleCheckStyle);
    sub->addEntry("a");
    sub->addEntry("b");
    menu->addEntry("top");
    menu->addEntry(sub, "Sub");
    sub->forget();
    platform.chooseMenuItem({1, 1});
    window().click({152, 85});
    long indexInMenu = -1;
    EXPECT_EQ(menu->getLastItemMenu(indexInMenu), sub);
    EXPECT_EQ(indexInMenu, 1);
    EXPECT_TRUE(sub->isCheckEntry(1));
    window().click({152, 85});
    EXPECT_FALSE(sub->isCheckEntry(1));
    EXPECT_EQ(listener.values.size(), 2u);
}

} // namespace
} // namespace toolkit_test
