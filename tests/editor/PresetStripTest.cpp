// The preset strip over the scripted platform: its controls on the frame,
// the menu, the rocker, the name field, the memory buttons and the four file
// operations with their dialogs and messages, in both builds.
#include "PresetTestSupport.h"
#include "ScriptedPlatform.h"

#include "editor/Layout.h"
#include "gui/vstgui.h"
#include "presets/CPresetSystemEditor.h"
#include "presets/PresetStripControls.h"
#include "resources/SkinIds.h"

#include <filesystem>
#include <fstream>

using namespace presettest;
using namespace VSTGUI;
using VSTGUI::scripted::PointerStep;
using VSTGUI::scripted::ScriptedPlatform;
using VSTGUI::scripted::ScriptedWindow;

namespace {

void* const kParent = reinterpret_cast<void*>(0x4242);

// The strip on a bare frame of the window's size, opened and idled the way
// the product editor does it.
class StripEditor : public CPresetSystemEditor {
public:
    explicit StripEditor(Ambrel* effect) : CPresetSystemEditor(effect)
    {
        rect = ERect{0, 0, layout::kWindowHeight, layout::kWindowWidth};
    }
    bool open(void* parent) override
    {
        if (!AEffGUIEditor::open(parent))
            return false;
        auto* f = new CFrame(CRect(0, 0, layout::kWindowWidth, layout::kWindowHeight), parent, this);
        if (!f->isOpen()) {
            f->forget();
            return false;
        }
        frame = f;
        return CPresetSystemEditor::open(parent);
    }
    void close() override
    {
        CPresetSystemEditor::close();
        AEffGUIEditor::close();
    }
    void idle() override
    {
        AEffGUIEditor::idle();
        CPresetSystemEditor::idle();
    }
    void beginValueEntry(long) override {}
    void endValueEntry(long, const char*) override {}
};

class PresetStrip : public ::testing::TestWithParam<const Variant*> {
protected:
    void SetUp() override
    {
        for (const skin::BitmapGeometry& g : skin::kBitmapGeometry)
            platform.addBitmap(g.id, g.width, g.height);
        effect = std::make_unique<Ambrel>(recordingHost, v());
        auto fake = std::make_unique<MemorySettingsStore>();
        store = fake.get();
        effect->setSettingsStore(std::move(fake));
        // The effect may bring its own editor; the strip is tested alone.
        effect->setEditor(nullptr);
        editor = new StripEditor(effect.get());
        ASSERT_TRUE(editor->open(kParent));
        editor->idle();
        HostLog::get() = HostLog{};
    }
    void TearDown() override { HostLog::get() = HostLog{}; }

    const Variant& v() const { return *GetParam(); }
    long tag(layout::EditorTag t) const { return layout::editorTag(v(), t); }
    ScriptedWindow& window() { return *platform.window(); }
    CFrame& frame() { return *editor->getFrame(); }
    static CPoint centre(layout::EditorTag t)
    {
        for (const layout::StripControlSpec& desc : layout::kStripControls)
            if (desc.tag == t)
                return CPoint((desc.left + desc.right) / 2, (layout::kStripTop + layout::kStripBottom) / 2);
        return CPoint();
    }
    // A click on a strip control (press, a few polls held, release).
    void click(layout::EditorTag t) { window().click(centre(t)); }
    std::string menuEntry(long index) const { return editor->presetMenu()->getEntryText(index); }
    int shown(int bitmap, CControl* control, int frameHeight = 14)
    {
        return window().surface().frameShown(bitmap, control->getViewSize(), frameHeight);
    }

    ScriptedPlatform platform; // first in, last out: the views use it to the end
    std::unique_ptr<Ambrel> effect;
    MemorySettingsStore* store = nullptr;
    StripEditor* editor = nullptr; // owned by the effect
    ScratchDir dir;
};

PRESET_TEST_BUILDS(PresetStrip);

TEST_P(PresetStrip, ElevenControlsOnTheFrameInOrderWithTheirClassesTagsRectanglesAndArt)
{
    using T = layout::EditorTag;
    struct Expected {
        T tag;
        const char* type;
        int left, right, bitmap;
    };
    const Expected expected[] = {
        {T::NameField, "CTextEdit", 176, 290, layout::bitmapFor(v(), skin::kBackground)},
        {T::PresetMenu, "COptionMenu", 293, 303, -1},
        {T::PresetRocker, "CPSRockerSwitch", 313, 344, 19997},
        {T::LoadBank, "CSaveLoadButton", 70, 82, 19993},
        {T::SaveBank, "CSaveLoadButton", 20, 32, 19994},
        {T::LoadPreset, "CSaveLoadButton", 150, 162, 19998},
        {T::SavePreset, "CSaveLoadButton", 91, 103, 19999},
        {T::RecallA, "CPSOnOffButton", 374, 386, 19991},
        {T::RecallB, "CPSOnOffButton", 417, 429, 19992},
        {T::StoreA, "CPSOnOffButton", 352, 364, 19995},
        {T::StoreB, "CPSOnOffButton", 395, 407, 19996},
    };
    ASSERT_EQ(frame().getNbViews(), 11);
    for (long i = 0; i < 11; ++i) {
        auto* control = dynamic_cast<CControl*>(frame().getView(i));
        ASSERT_NE(control, nullptr);
        const Expected& e = expected[i];
        SCOPED_TRACE(e.type);
        EXPECT_TRUE(control->isTypeOf(e.type));
        EXPECT_EQ(control->getTag(), tag(e.tag));
        EXPECT_EQ(control->getViewSize(), CRect(e.left, 444, e.right, 458));
        EXPECT_EQ(control->getListener(), static_cast<CControlListener*>(editor));
        EXPECT_EQ(control->getBackground() ? control->getBackground()->getResourceId() : -1, e.bitmap);
    }
    EXPECT_EQ(tag(T::NameField), v().hasFat ? 59 : 67);
    EXPECT_EQ(tag(T::StoreB), v().hasFat ? 69 : 77);

    CTextEdit* field = editor->nameField();
    EXPECT_EQ(field->getText(), "Current");
    EXPECT_EQ(field->getBackOffset(), CPoint(176, 444));
    EXPECT_EQ(field->getBackColor(), (CColor{207, 222, 235, 255}));
    EXPECT_EQ(field->getFontColor(), (CColor{76, 76, 72, 255}));
    EXPECT_EQ(field->getFrameColor(), (CColor{76, 76, 72, 255}));
    EXPECT_EQ(field->getFont(), kNormalFontSmall);
    EXPECT_EQ(field->getHoriAlign(), kCenterText);
    EXPECT_EQ(editor->presetMenu()->getStyle(), kCheckStyle | kNoDrawStyle);
    // Drawn: the name over its piece of the window background.
    EXPECT_EQ(window().surface().lastText(field->getViewSize()), "Current");

    editor->close();
    EXPECT_EQ(editor->nameField(), nullptr);
    EXPECT_EQ(editor->storeBButton(), nullptr);
    EXPECT_EQ(effect->presetDisplay(), nullptr);
    // Without a frame the strip is not built.
    EXPECT_FALSE(editor->CPresetSystemEditor::open(kParent));

    // An open editor that the effect replaces stops showing its names.
    ASSERT_TRUE(editor->open(kParent));
    EXPECT_EQ(effect->presetDisplay(), editor);
    effect->setEditor(nullptr);
    EXPECT_EQ(effect->presetDisplay(), nullptr);
    effect->setProgramName(const_cast<char*>("Nobody shows this"));
}

TEST_P(PresetStrip, MenuListsTheSlotsInColumnsAndChoosingOneSelectsIt)
{
    platform.chooseMenuItem({5});
    click(layout::EditorTag::PresetMenu);
    ASSERT_EQ(platform.menusShown.size(), 1u);
    const auto& items = platform.menusShown[0].items;
    ASSERT_EQ(items.size(), 32u);
    EXPECT_EQ(items[0].title, "Current");
    EXPECT_TRUE(items[0].flags & MenuItem::kChecked);
    EXPECT_TRUE(items[1].flags & MenuItem::kSeparator);
    EXPECT_EQ(items[2].title, "Default");
    EXPECT_EQ(items[31].title, "Track Tape Fast");
    for (size_t i = 1; i < items.size(); ++i)
        EXPECT_EQ((items[i].flags & MenuItem::kColumnBreak) != 0, i == 16) << i;

    // "Mix First Aid 2" is slot 4, entry 5.
    EXPECT_EQ(effect->getPresetIndex(), 4);
    EXPECT_EQ(editor->nameField()->getText(), "Mix First Aid 2");
    EXPECT_EQ(menuEntry(0), "Mix First Aid 2");
    EXPECT_STREQ(effect->programs()[0].name(), "Mix First Aid 2");
    EXPECT_EQ(effect->getParameter(v().index(ParamId::Knee)), 0.1f);
    platform.cancelMenus();
    click(layout::EditorTag::PresetMenu);
    const auto& again = platform.menusShown.back().items;
    for (size_t i = 0; i < again.size(); ++i)
        EXPECT_EQ((again[i].flags & MenuItem::kChecked) != 0, i == 5) << i;
    EXPECT_EQ(effect->getPresetIndex(), 4); // cancelled: nothing changes

    // A name that looks like a menu command is shown as it is.
    effect->setProgramName(const_cast<char*>("-"));
    click(layout::EditorTag::PresetMenu);
    EXPECT_EQ(platform.menusShown.back().items[5].title, "-");
    EXPECT_FALSE(platform.menusShown.back().items[5].flags & MenuItem::kSeparator);
}

TEST_P(PresetStrip, RockerStepsByHalvesClampsAtBothEndsAndHighlightsTheHalfUnderThePointer)
{
    CPSRockerSwitch* rocker = editor->rocker();
    EXPECT_EQ(rocker->leftHalf(), CRect(313, 444, 328, 458));
    EXPECT_EQ(rocker->rightHalf(), CRect(328, 444, 344, 458));

    window().click(CPoint(328, 450)); // the middle column is the left half
    EXPECT_EQ(effect->getPresetIndex(), 0);
    window().click(CPoint(340, 450));
    EXPECT_EQ(effect->getPresetIndex(), 1);
    EXPECT_EQ(shown(19997, rocker), 4); // pressed right, drawn before the step
    window().click(CPoint(315, 450));
    EXPECT_EQ(effect->getPresetIndex(), 0); // down from slot 1 reaches the working program
    EXPECT_EQ(editor->nameField()->getText(), "Default");
    EXPECT_EQ(editor->presetMenu()->getCurrent(), 0);

    effect->selectPreset(29);
    editor->stepPreset(true);
    EXPECT_EQ(effect->getPresetIndex(), 30);
    HostLog::get().calls.clear();
    window().click(CPoint(340, 450));
    EXPECT_EQ(effect->getPresetIndex(), 30); // clamped, and applied again
    EXPECT_EQ(HostLog::get().count(audioMasterUpdateDisplay), 1);
    EXPECT_EQ(editor->presetMenu()->getCurrent(), 31);
    EXPECT_EQ(menuEntry(0), "Track Tape Fast");
    EXPECT_EQ(rocker->getValue(), 0.0f);

    // Highlight: right half, then left half, then away.
    window().setPointer(CPoint(340, 450));
    editor->idle();
    editor->idle();
    EXPECT_EQ(shown(19997, rocker), 2);
    window().setPointer(CPoint(320, 450));
    editor->idle();
    editor->idle();
    EXPECT_EQ(shown(19997, rocker), 1);
    window().setPointer(CPoint(100, 100));
    editor->idle();
    editor->idle();
    EXPECT_EQ(shown(19997, rocker), 0);
}

TEST_P(PresetStrip, NameFieldKeepsTheFirst24CharactersEverywhere)
{
    platform.chooseMenuItem({4}); // slot 3
    click(layout::EditorTag::PresetMenu);
    ASSERT_EQ(effect->getPresetIndex(), 3);
    HostLog::get().calls.clear();
    click(layout::EditorTag::NameField);
    ASSERT_NE(platform.lastTextField(), nullptr);
    platform.lastTextField()->type("A name of thirty characters!!");
    platform.lastTextField()->pressReturn();
    const std::string cut = "A name of thirty charact";
    EXPECT_STREQ(effect->programs()[3].name(), cut.c_str());
    EXPECT_STREQ(effect->programs()[0].name(), cut.c_str());
    EXPECT_EQ(editor->nameField()->getText(), cut);
    EXPECT_EQ(menuEntry(0), cut);
    EXPECT_EQ(menuEntry(4), cut);
    EXPECT_EQ(HostLog::get().count(audioMasterUpdateDisplay), 1);

    // A cut never splits a character: 23 bytes and a two-byte "ü".
    editor->presetNameEdited("abcdefghijklmnopqrstuvw\xc3\xbc!");
    EXPECT_STREQ(effect->programs()[3].name(), "abcdefghijklmnopqrstuvw");
    // The host renames through the effect; the strip follows.
    effect->setProgramName(const_cast<char*>("From the host"));
    EXPECT_EQ(editor->nameField()->getText(), "From the host");
    EXPECT_EQ(menuEntry(4), "From the host");
}

TEST_P(PresetStrip, ValueChangedActsOnlyOnTheStripsOwnTags)
{
    const std::vector<uint8_t> before = snapshot(*effect);
    for (CControl* control : std::initializer_list<CControl*>{editor->rocker(), editor->loadBankButton(),
                                                              editor->saveBankButton(), editor->loadPresetButton(),
                                                              editor->savePresetButton()}) {
        control->setValue(1.0f);
        editor->valueChanged(nullptr, control);
    }
    CKickButton other(CRect(0, 0, 10, 10), editor, 4, 14, nullptr);
    editor->valueChanged(nullptr, &other);
    EXPECT_EQ(snapshot(*effect), before);
    EXPECT_TRUE(platform.fileDialogsShown.empty());
    EXPECT_TRUE(store->keys.empty());
    EXPECT_TRUE(HostLog::get().calls.empty());
}

TEST_P(PresetStrip, MemoryButtonsActAtThePressAndShowPressedUntilRelease)
{
    const int drive = v().index(ParamId::Drive);
    CPSOnOffButton* storeA = editor->storeAButton();
    bool storedWhenPressedShows = false;
    window().surface().onDraw = [&](const scripted::DrawOp& op) {
        if (op.bitmapId == 19995 && op.source.v == 28)
            storedWhenPressedShows = store->keys.count("MemoA") > 0;
    };
    const CPoint at = centre(layout::EditorTag::StoreA);
    window().press({{at, kLButton, 1}, {at, kLButton, 5}, {at, 0, 1}});
    window().surface().onDraw = nullptr;
    EXPECT_TRUE(storedWhenPressedShows);
    EXPECT_EQ(window().stepsLeft(), 0u); // held until the release
    EXPECT_FALSE(storeA->isPressed());
    EXPECT_EQ(storeA->getValue(), 0.0f); // not a toggle
    window().setPointer(CPoint(0, 0));
    editor->idle();
    editor->idle();
    EXPECT_EQ(shown(19995, storeA), 0);

    effect->setParameterAutomated(drive, 0.9f);
    editor->presetNameEdited("Elsewhere");
    HostLog::get().calls.clear();
    click(layout::EditorTag::RecallA);
    EXPECT_EQ(effect->getParameter(drive), 0.5f);
    EXPECT_EQ(editor->nameField()->getText(), "Current");
    EXPECT_EQ(HostLog::get().count(audioMasterAutomate), v().numParams);
    EXPECT_EQ(HostLog::get().count(audioMasterUpdateDisplay), 1);

    // B was never stored: nothing happens.
    const std::vector<uint8_t> before = snapshot(*effect);
    click(layout::EditorTag::RecallB);
    EXPECT_EQ(snapshot(*effect), before);
}

TEST_P(PresetStrip, BankSavedAfterConstructionAndTheDialogsItUses)
{
    const std::string cwd = std::filesystem::current_path().string();
    const std::string path = dir.file("first.nub");
    platform.fileDialogAnswers = {path};
    click(layout::EditorTag::SaveBank);
    ASSERT_EQ(platform.fileDialogsShown.size(), 1u);
    const FileDialogSpec& desc = platform.fileDialogsShown[0];
    EXPECT_TRUE(desc.save);
    EXPECT_TRUE(desc.confirmOverwrite);
    EXPECT_EQ(desc.title, "Save bank as...");
    ASSERT_EQ(desc.filters.size(), 2u);
    EXPECT_EQ(desc.filters[0], std::make_pair(std::string("All Files"), std::string("*.*")));
    EXPECT_EQ(desc.filters[1], std::make_pair(std::string("Nur Banks"), std::string("*.nub")));
    EXPECT_EQ(desc.selectedFilter, 1);
    EXPECT_EQ(desc.defaultExtension, "nub");
    EXPECT_EQ(desc.initialDirectory, cwd);
    EXPECT_EQ(desc.initialName, "");
    EXPECT_EQ(std::filesystem::file_size(path), v().hasFat ? 5957u : 6701u);
    EXPECT_EQ(std::filesystem::current_path().string(), cwd); // never changed
    EXPECT_TRUE(platform.messages.empty());

    // Pressed while the dialog ran, highlighted once released under the pointer.
    CSaveLoadButton* button = editor->saveBankButton();
    const auto& ops = window().surface().ops;
    EXPECT_TRUE(std::any_of(ops.begin(), ops.end(), [](const scripted::DrawOp& op) {
        return op.bitmapId == 19994 && op.source.v == 28;
    }));
    editor->idle();
    editor->idle();
    EXPECT_EQ(shown(19994, button), 1);

    // The next bank dialog starts where the last one ended; the preset
    // dialogs keep their own name.
    platform.fileDialogAnswers = {std::nullopt, std::nullopt};
    click(layout::EditorTag::LoadBank);
    click(layout::EditorTag::LoadPreset);
    const FileDialogSpec& load = platform.fileDialogsShown[1];
    EXPECT_FALSE(load.save);
    EXPECT_EQ(load.title, "Select bank to load...");
    EXPECT_EQ(load.initialDirectory, dir.path().string());
    EXPECT_EQ(load.initialName, "first.nub");
    const FileDialogSpec& preset = platform.fileDialogsShown[2];
    EXPECT_EQ(preset.title, "Select preset to load...");
    EXPECT_EQ(preset.filters[1], std::make_pair(std::string("Nur Presets"), std::string("*.nur")));
    EXPECT_EQ(preset.defaultExtension, "nur");
    EXPECT_EQ(preset.initialName, "");
}

TEST_P(PresetStrip, BankRoundTripRenamesTheMenuAndSelectsSlotZero)
{
    const std::string path = dir.file("round.nub");
    effect->selectPreset(12);
    editor->presetNameEdited("Twelve");
    platform.fileDialogAnswers = {path};
    editor->saveBank();

    effect->selectPreset(12);
    editor->presetNameEdited("Renamed");
    editor->stepPreset(true);
    platform.fileDialogAnswers = {path};
    editor->loadBank();
    EXPECT_EQ(effect->getPresetIndex(), 0);
    EXPECT_STREQ(effect->programs()[12].name(), "Twelve");
    EXPECT_EQ(menuEntry(13), "Twelve");
    EXPECT_EQ(menuEntry(0), effect->programs()[0].name());
    EXPECT_EQ(editor->nameField()->getText(), effect->programs()[0].name());
    EXPECT_EQ(editor->presetMenu()->getCurrent(), 0);
    EXPECT_TRUE(platform.messages.empty());
}

TEST_P(PresetStrip, PresetLoadReplacesTheCurrentSlotEvenFromAReadOnlyFile)
{
    const std::string path = dir.file("seven.nur");
    effect->selectPreset(2);
    platform.fileDialogAnswers = {path};
    editor->savePreset(); // "Mastering First Aid"
    std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::group_read);

    for (int i = 0; i < 5; ++i)
        editor->stepPreset(true);
    ASSERT_EQ(effect->getPresetIndex(), 7);
    platform.fileDialogAnswers = {path};
    click(layout::EditorTag::LoadPreset);
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(effect->getPresetIndex(), 7);
    EXPECT_STREQ(effect->programs()[7].name(), "Mastering First Aid");
    EXPECT_STREQ(effect->programs()[0].name(), "Mastering First Aid");
    EXPECT_EQ(menuEntry(8), "Mastering First Aid");
    EXPECT_EQ(menuEntry(0), "Mastering First Aid");
    EXPECT_EQ(editor->nameField()->getText(), "Mastering First Aid");
    EXPECT_EQ(effect->getParameter(v().index(ParamId::Drive)), static_cast<float>(0.535));
}

TEST_P(PresetStrip, WrongFilesAreRefusedWithTheirMessageAndChangeNothing)
{
    const std::string bank = dir.file("b.nub"), preset = dir.file("p.nur"), text = dir.file("notes.txt");
    platform.fileDialogAnswers = {bank, preset};
    editor->saveBank();
    editor->savePreset();
    std::ofstream(text) << "Not a preset at all, just some text long enough.";
    effect->selectPreset(9);
    editor->presetNameEdited("Mine");
    const std::vector<uint8_t> before = snapshot(*effect);

    platform.fileDialogAnswers = {preset, bank, text, text};
    editor->loadBank();
    editor->loadPreset();
    editor->loadBank();
    editor->loadPreset();
    using Message = std::pair<std::string, std::string>;
    EXPECT_EQ(platform.messages, (std::vector<Message>{{"Error...", "Not a bank file!"},
                                                       {"Error...", "Error #02: Not a preset file!"},
                                                       {"Error...", "Error #01: Invalid preset file!"},
                                                       {"Error...", "Error #01: Invalid preset file!"}}));
    EXPECT_EQ(snapshot(*effect), before);
    EXPECT_EQ(editor->nameField()->getText(), "Mine");

    // A cancelled dialog changes nothing, not even where the next one starts.
    const std::string directory = editor->lastDirectory();
    platform.fileDialogAnswers = {std::nullopt};
    editor->loadBank();
    EXPECT_EQ(editor->lastDirectory(), directory);
    EXPECT_EQ(editor->bankFileName(), "notes.txt");
    EXPECT_EQ(snapshot(*effect), before);
    EXPECT_EQ(platform.messages.size(), 4u);
}

TEST_P(PresetStrip, FailedSavesAndUnreadableFilesAreReportedAndKeepTheOldFile)
{
    const std::string path = dir.file("kept.nub");
    platform.fileDialogAnswers = {path};
    editor->saveBank();
    const auto oldSize = std::filesystem::file_size(path);

    // A directory where the file should go, and a folder that does not exist.
    std::filesystem::create_directory(dir.file("folder.nub"));
    platform.fileDialogAnswers = {dir.file("folder.nub"), dir.file("missing/x.nur")};
    editor->saveBank();
    editor->savePreset();
    ASSERT_EQ(platform.messages.size(), 2u);
    EXPECT_EQ(platform.messages[0].first, "Error...");
    EXPECT_EQ(platform.messages[0].second, "Error #04: The file could not be saved!");
    EXPECT_EQ(std::filesystem::file_size(path), oldSize);

    const std::vector<uint8_t> before = snapshot(*effect);
    platform.fileDialogAnswers = {dir.file("gone.nub"), dir.file("folder.nub")};
    editor->loadBank();
    editor->loadPreset();
    ASSERT_EQ(platform.messages.size(), 4u);
    EXPECT_EQ(platform.messages[3].second, "Error #03: The file could not be read!");
    EXPECT_EQ(snapshot(*effect), before);

    // A file in the root directory: the directory is the root itself.
    platform.fileDialogAnswers = {"/ambrel-no-such-bank.nub"};
    editor->loadBank();
    EXPECT_EQ(editor->lastDirectory(), "/");
    EXPECT_EQ(editor->bankFileName(), "ambrel-no-such-bank.nub");
    EXPECT_EQ(platform.messages.size(), 5u);
}

} // namespace
