#include "presets/CPresetSystemEditor.h"

#include "editor/Layout.h"
#include "gui/Utf8.h"
#include "platform/ErrorMessages.h"
#include "presets/CPresetSystemEffect.h"
#include "presets/PresetFiles.h"
#include "presets/PresetStripControls.h"
#include "resources/SkinIds.h"

#include <cstring>
#include <filesystem>
#include <system_error>

using namespace VSTGUI;

namespace {

// Menu and check style of the preset menu: it draws nothing of its own (the
// window background shows through its hot spot) and checks the current entry.
constexpr long kPresetMenuStyle = kCheckStyle | kNoDrawStyle;
constexpr long kStripImageHeight = 14;

// Messages for failures the file layer leaves to its caller.
constexpr const char* kCannotReadMessage = "Error #03: The file could not be read!";
constexpr const char* kCannotSaveMessage = "Error #04: The file could not be saved!";

// The first `maxBytes` bytes of `text`, never ending inside a UTF-8 sequence.
std::string cutName(const char* text, size_t maxBytes)
{
    std::string name = text ? text : "";
    name.resize(utf8Prefix(name.data(), name.size(), maxBytes));
    return name;
}

// Paths travel as UTF-8 between the dialogs, the editor and the file layer.
std::string currentDirectory()
{
    std::error_code error;
    const std::filesystem::path cwd = std::filesystem::current_path(error);
    if (error)
        return std::string();
    const std::u8string text = cwd.u8string();
    return std::string(text.begin(), text.end());
}

// Splits a full path at its last separator into the directory and the file
// name. A root directory keeps its separator (a slash, or "C:" and a backslash).
void splitPath(const std::string& path, std::string& directory, std::string& name)
{
    const bool backslashes = std::filesystem::path::preferred_separator == '\\';
    const size_t split = path.find_last_of(backslashes ? "\\/" : "/");
    if (split == std::string::npos) {
        directory.clear();
        name = path;
        return;
    }
    directory = path.substr(0, split);
    if (directory.empty() || (backslashes && directory.size() == 2 && directory[1] == ':'))
        directory = path.substr(0, split + 1);
    name = path.substr(split + 1);
}

// The file layer's messages, shown by the editor.
class EditorMessages final : public ErrorMessages {
public:
    explicit EditorMessages(CPresetSystemEditor& editor, void (CPresetSystemEditor::*show)(const char*))
        : editor_(editor), show_(show)
    {
    }
    void showError(const std::string& text) override { (editor_.*show_)(text.c_str()); }

private:
    CPresetSystemEditor& editor_;
    void (CPresetSystemEditor::*show_)(const char*);
};

// Strip controls in the order open() creates them, with the tags they carry.
constexpr layout::EditorTag kStripTags[CPresetSystemEditor::kStripControlCount] = {
    layout::EditorTag::NameField, layout::EditorTag::PresetMenu, layout::EditorTag::PresetRocker,
    layout::EditorTag::LoadBank,  layout::EditorTag::SaveBank,   layout::EditorTag::LoadPreset,
    layout::EditorTag::SavePreset, layout::EditorTag::RecallA,   layout::EditorTag::RecallB,
    layout::EditorTag::StoreA,    layout::EditorTag::StoreB,
};

const layout::StripControlSpec& stripSpec(layout::EditorTag tag)
{
    for (const layout::StripControlSpec& desc : layout::kStripControls)
        if (desc.tag == tag)
            return desc;
    return layout::kStripControls[0];
}

} // namespace

CPresetSystemEditor::CPresetSystemEditor(CPresetSystemEffect* effect)
    : AEffGUIEditor(effect), presetEffect_(effect), lastDirectory_(currentDirectory())
{
}

CPresetSystemEditor::~CPresetSystemEditor()
{
    // An effect that still calls this its editor is being destroyed and is
    // not to be reached any more. One that has let go of it (replaced it, or
    // frees it early in its own destructor) is alive, and must not be left
    // showing names through an editor that is gone.
    if (effect_ && effect_->getEditor() != this && presetEffect_ && presetEffect_->presetDisplay() == this)
        presetEffect_->setPresetDisplay(nullptr);
}

long CPresetSystemEditor::stripTag(int control) const
{
    if (!presetEffect_ || control < 0 || control >= kStripControlCount)
        return -1;
    return layout::editorTag(presetEffect_->variant(), kStripTags[control]);
}

long CPresetSystemEditor::menuEntryOfSlot(int slot) { return slot <= 0 ? 0 : slot + 1; }

bool CPresetSystemEditor::open(void* /*window*/)
{
    if (!frame || !presetEffect_ || !presetEffect_->programs())
        return false;
    const Variant& variant = presetEffect_->variant();
    auto tagOf = [&](layout::EditorTag tag) { return static_cast<long>(layout::editorTag(variant, tag)); };
    auto rectOf = [](layout::EditorTag tag) { return layout::stripRect(stripSpec(tag)); };
    CPresetSystemListener* listener = this;

    // Name field: the window background under it, the current preset's name.
    {
        const layout::EditorTag tag = layout::EditorTag::NameField;
        CBitmap* back = new CBitmap(layout::bitmapFor(variant, skin::kBackground));
        char name[CProgram::kNameSize] = {};
        presetEffect_->programs()[0].getName(name);
        const CRect rect = rectOf(tag);
        nameField_ = new CTextEdit(rect, listener, tagOf(tag), name, back);
        back->forget();
        nameField_->setBackOffset(CPoint(rect.left, rect.top));
        nameField_->setBackColor(layout::kNameFieldBackColor);
        nameField_->setFontColor(layout::kNameFieldTextColor);
        nameField_->setFrameColor(layout::kNameFieldTextColor);
        nameField_->setFont(kNormalFontSmall);
        nameField_->setHoriAlign(kCenterText);
        frame->addView(nameField_);
    }
    // Preset menu: a hot spot over the window background.
    {
        const layout::EditorTag tag = layout::EditorTag::PresetMenu;
        presetMenu_ = new COptionMenu(rectOf(tag), listener, tagOf(tag), nullptr, nullptr, kPresetMenuStyle);
        presetMenu_->setNbItemsPerColumn(kMenuItemsPerColumn);
        frame->addView(presetMenu_);
        fillPresetMenu();
    }
    // Previous/next.
    {
        const layout::EditorTag tag = layout::EditorTag::PresetRocker;
        CBitmap* bitmap = new CBitmap(stripSpec(tag).bitmap);
        rocker_ = new CPSRockerSwitch(rectOf(tag), listener, tagOf(tag), kStripImageHeight, bitmap, CPoint(0, 0),
                                      kHorizontal);
        bitmap->forget();
        frame->addView(rocker_);
    }
    // File buttons.
    auto fileButton = [&](layout::EditorTag tag, int kind) {
        CBitmap* bitmap = new CBitmap(stripSpec(tag).bitmap);
        auto* button =
            new CSaveLoadButton(rectOf(tag), listener, tagOf(tag), kStripImageHeight, bitmap, CPoint(0, 0), kind);
        bitmap->forget();
        frame->addView(button);
        return button;
    };
    loadBankButton_ = fileButton(layout::EditorTag::LoadBank, CSaveLoadButton::kLoadBank);
    saveBankButton_ = fileButton(layout::EditorTag::SaveBank, CSaveLoadButton::kSaveBank);
    loadPresetButton_ = fileButton(layout::EditorTag::LoadPreset, CSaveLoadButton::kLoadPreset);
    savePresetButton_ = fileButton(layout::EditorTag::SavePreset, CSaveLoadButton::kSavePreset);
    // Memory buttons.
    auto memoButton = [&](layout::EditorTag tag) {
        CBitmap* bitmap = new CBitmap(stripSpec(tag).bitmap);
        auto* button = new CPSOnOffButton(rectOf(tag), listener, tagOf(tag), bitmap);
        bitmap->forget();
        frame->addView(button);
        return button;
    };
    recallAButton_ = memoButton(layout::EditorTag::RecallA);
    recallBButton_ = memoButton(layout::EditorTag::RecallB);
    storeAButton_ = memoButton(layout::EditorTag::StoreA);
    storeBButton_ = memoButton(layout::EditorTag::StoreB);

    presetEffect_->setPresetDisplay(this);
    return true;
}

void CPresetSystemEditor::close()
{
    if (presetEffect_ && presetEffect_->presetDisplay() == this)
        presetEffect_->setPresetDisplay(nullptr);
    nameField_ = nullptr;
    presetMenu_ = nullptr;
    rocker_ = nullptr;
    saveBankButton_ = nullptr;
    loadBankButton_ = nullptr;
    savePresetButton_ = nullptr;
    loadPresetButton_ = nullptr;
    recallAButton_ = nullptr;
    recallBButton_ = nullptr;
    storeAButton_ = nullptr;
    storeBButton_ = nullptr;
}

void CPresetSystemEditor::idle()
{
    if (!frame || !presetEffect_)
        return;
    CView* hovered = frame->getCurrentView();
    CPoint where;
    frame->getCurrentLocation(where);
    // Each control is told its new state once, so only a change redraws it.
    for (CSaveLoadButton* button : {loadBankButton_, saveBankButton_, loadPresetButton_, savePresetButton_})
        if (button)
            button->setHighlight(button == hovered);
    for (CPSOnOffButton* button : {recallAButton_, recallBButton_, storeAButton_, storeBButton_})
        if (button)
            button->setHighlight(button == hovered);
    if (rocker_)
        rocker_->setHighlight(rocker_ == hovered, where.h, where.v);
}

void CPresetSystemEditor::setMenuEntryText(long entry, const char* name)
{
    if (presetMenu_ && entry >= 0 && entry < presetMenu_->getNbEntries())
        presetMenu_->setPlainEntry(entry, name ? name : "");
}

void CPresetSystemEditor::fillPresetMenu()
{
    if (!presetMenu_ || !presetEffect_ || !presetEffect_->programs())
        return;
    const CProgram* programs = presetEffect_->programs();
    presetMenu_->removeAllEntry();
    presetMenu_->addPlainEntry(programs[0].name());
    presetMenu_->addEntry("-");
    for (int slot = 1; slot < CPresetSystemEffect::kNumSlots; ++slot)
        presetMenu_->addPlainEntry(programs[slot].name());
    markCurrentEntry(presetEffect_->getPresetIndex());
}

void CPresetSystemEditor::markCurrentEntry(int slot)
{
    if (presetMenu_)
        presetMenu_->setCurrent(slot, false);
}

void CPresetSystemEditor::showPresetName(const char* name)
{
    if (nameField_)
        nameField_->setText(name);
    if (presetMenu_) {
        setMenuEntryText(presetMenu_->getCurrent(), name);
        setMenuEntryText(0, name);
    }
}

void CPresetSystemEditor::presetNamesChanged()
{
    // A bank load: every slot's name is new, and slot 0 is selected next.
    fillPresetMenu();
    markCurrentEntry(0);
}

void CPresetSystemEditor::presetNameEdited(const char* name)
{
    if (!presetEffect_)
        return;
    const std::string cut = cutName(name, CProgram::kMaxNameLength);
    if (nameField_)
        nameField_->setText(cut.c_str());
    if (presetMenu_) {
        setMenuEntryText(presetMenu_->getCurrent(), cut.c_str());
        setMenuEntryText(0, cut.c_str());
    }
    presetEffect_->editPresetName(cut.c_str());
}

void CPresetSystemEditor::presetChosen(int index, const char* name)
{
    if (!presetEffect_ || index < 0 || index >= CPresetSystemEffect::kNumSlots)
        return;
    if (nameField_)
        nameField_->setText(name);
    setMenuEntryText(0, name);
    presetEffect_->selectPreset(index);
}

void CPresetSystemEditor::stepPreset(bool up)
{
    if (!presetEffect_ || !presetEffect_->programs())
        return;
    int index = presetEffect_->getPresetIndex() + (up ? 1 : -1);
    if (index < 0)
        index = 0;
    if (index > CPresetSystemEffect::kNumSlots - 1)
        index = CPresetSystemEffect::kNumSlots - 1;
    markCurrentEntry(index);
    const char* name = presetEffect_->programs()[index].name();
    if (nameField_)
        nameField_->setText(name);
    setMenuEntryText(0, name);
    presetEffect_->selectPreset(index);
}

void CPresetSystemEditor::valueChanged(CDrawContext* /*context*/, CControl* control)
{
    if (!presetEffect_ || !control)
        return;
    const layout::EditorTag tag = layout::editorTagAt(presetEffect_->variant(), static_cast<int>(control->getTag()));
    switch (tag) {
    case layout::EditorTag::NameField:
        if (control->isTypeOf("CTextEdit")) {
            char text[256] = {};
            static_cast<CTextEdit*>(control)->getText(text);
            presetNameEdited(text);
        }
        break;
    case layout::EditorTag::PresetMenu:
        if (control->isTypeOf("COptionMenu")) {
            char text[256] = {};
            const long index = static_cast<COptionMenu*>(control)->getCurrent(text, false);
            if (index >= 0)
                presetChosen(static_cast<int>(index), text);
        }
        break;
    case layout::EditorTag::RecallA:
        presetEffect_->recallMemoA();
        break;
    case layout::EditorTag::RecallB:
        presetEffect_->recallMemoB();
        break;
    case layout::EditorTag::StoreA:
        presetEffect_->storeMemoA();
        break;
    case layout::EditorTag::StoreB:
        presetEffect_->storeMemoB();
        break;
    default:
        // The rocker and the file buttons act through their own mouse
        // handlers; every other tag belongs to the product editor.
        break;
    }
}

void CPresetSystemEditor::showError(const char* text)
{
    PlatformWindow* window = frame ? frame->getPlatformWindow() : nullptr;
    platform().messageBox(window, ErrorMessages::kCaption, text ? text : "");
}

std::optional<std::string> CPresetSystemEditor::runFileDialog(bool bank, bool save)
{
    FileDialogSpec desc;
    desc.save = save;
    if (bank)
        desc.title = save ? "Save bank as..." : "Select bank to load...";
    else
        desc.title = save ? "Save preset as..." : "Select preset to load...";
    desc.filters = {{"All Files", "*.*"}, bank ? std::pair<std::string, std::string>{"Nur Banks", "*.nub"}
                                               : std::pair<std::string, std::string>{"Nur Presets", "*.nur"}};
    desc.selectedFilter = 1;
    desc.defaultExtension = bank ? "nub" : "nur";
    desc.initialDirectory = lastDirectory_;
    desc.initialName = bank ? bankFileName_ : presetFileName_;
    desc.confirmOverwrite = save;

    PlatformWindow* window = frame ? frame->getPlatformWindow() : nullptr;
    std::optional<std::string> chosen = platform().fileDialog(window, desc);
    if (!chosen || chosen->empty())
        return std::nullopt;

    // The directory is where the next dialog starts; the name prefills the
    // next dialog of the same kind. The working directory is left alone:
    // files are opened by their full path.
    std::string directory, name;
    splitPath(*chosen, directory, name);
    if (!directory.empty())
        lastDirectory_ = directory;
    (bank ? bankFileName_ : presetFileName_) = name;
    if (directory.empty() || name.empty())
        return std::nullopt;
    return chosen;
}

void CPresetSystemEditor::saveBank()
{
    if (!presetEffect_ || !presetEffect_->programs())
        return;
    const std::optional<std::string> path = runFileDialog(true, true);
    if (!path || !presetEffect_)
        return;
    if (::saveBank(*presetEffect_, *path) != FileStatus::Ok)
        showError(kCannotSaveMessage);
}

void CPresetSystemEditor::savePreset()
{
    if (!presetEffect_ || !presetEffect_->programs())
        return;
    const std::optional<std::string> path = runFileDialog(false, true);
    if (!path || !presetEffect_)
        return;
    if (::savePreset(*presetEffect_, *path) != FileStatus::Ok)
        showError(kCannotSaveMessage);
}

void CPresetSystemEditor::loadBank()
{
    if (!presetEffect_ || !presetEffect_->programs())
        return;
    const std::optional<std::string> path = runFileDialog(true, false);
    if (!path)
        return;
    EditorMessages messages(*this, &CPresetSystemEditor::showError);
    const FileStatus status = ::loadBank(*presetEffect_, *path, &messages);
    if (status == FileStatus::CannotOpen) {
        showError(kCannotReadMessage);
        return;
    }
    if (status != FileStatus::Ok)
        return;
    // Every name is new and slot 0 is the current preset now.
    fillPresetMenu();
    if (nameField_)
        nameField_->setText(presetEffect_->programs()[0].name());
}

void CPresetSystemEditor::loadPreset()
{
    if (!presetEffect_ || !presetEffect_->programs())
        return;
    const std::optional<std::string> path = runFileDialog(false, false);
    if (!path)
        return;
    EditorMessages messages(*this, &CPresetSystemEditor::showError);
    const FileStatus status = ::loadPreset(*presetEffect_, *path, &messages);
    if (status == FileStatus::CannotOpen)
        showError(kCannotReadMessage);
}
