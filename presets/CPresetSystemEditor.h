// The editor base of the plug-in's window: the preset strip along the bottom
// edge (name field, preset menu, previous/next rocker, bank and preset file
// buttons, A/B memory buttons) and the listener every control of the window
// reports to.
//
// The product editor derives from CPresetSystemEditor. Its open() calls
// AEffGUIEditor::open, builds the frame and its pages, and then calls
// CPresetSystemEditor::open last, which adds the strip to the frame itself
// (above the pages, so it shows on every page). Its close() calls
// CPresetSystemEditor::close first (the strip forgets its controls) and then
// destroys the frame. Its idle() ends with CPresetSystemEditor::idle (the
// strip's hover highlight), and its valueChanged() passes every event to
// CPresetSystemEditor::valueChanged before handling its own tags.
#pragma once

#include "gui/AEffGUIEditor.h"
#include "gui/CControl.h"
#include "presets/PresetDisplay.h"

#include <array>
#include <optional>
#include <string>

class CPresetSystemEffect;
class CSaveLoadButton;
class CPSOnOffButton;
class CPSRockerSwitch;
struct Variant;

// What the window's controls report to: value changes (CControlListener),
// the strip's file buttons and rocker, and the typed value entry of the
// product editor's knobs.
class CPresetSystemListener : public VSTGUI::CControlListener {
public:
    // The four file operations, each through a file dialog.
    virtual void loadBank() = 0;
    virtual void saveBank() = 0;
    virtual void loadPreset() = 0;
    virtual void savePreset() = 0;
    // The previous (false) or next (true) preset, clamped to the slots.
    virtual void stepPreset(bool up) = 0;
    // Typed value entry: a knob was double-clicked; the entry field closed
    // with `text`. Implemented by the product editor.
    virtual void beginValueEntry(long tag) = 0;
    virtual void endValueEntry(long tag, const char* text) = 0;
};

class CPresetSystemEditor : public VSTGUI::AEffGUIEditor, public CPresetSystemListener, public PresetDisplay {
public:
    static constexpr int kStripControlCount = 11;
    // Preset menu: entry 0 the working program, a separator, slots 1 .. 30;
    // the list is laid out in columns of this many entries.
    static constexpr long kMenuItemsPerColumn = 16;

    explicit CPresetSystemEditor(CPresetSystemEffect* effect);
    ~CPresetSystemEditor() override;

    // Adds the eleven strip controls to the frame the product editor has
    // built; false (and nothing created) without a frame or an effect.
    bool open(void* window) override;
    // Forgets the strip controls (the frame destroys them) and stops
    // showing the effect's preset name; the frame is left to the caller.
    void close() override;
    // The hover highlight of the strip's buttons and rocker.
    void idle() override;

    // Shows a name in the field, the current menu entry and menu entry 0.
    void showPresetName(const char* name) override;
    // A bank replaced every slot's name: the menu reads them again.
    void presetNamesChanged() override;
    // The name field was edited: its first 24 characters name the current
    // preset and the working program.
    virtual void presetNameEdited(const char* name);
    // A slot was chosen in the preset menu.
    virtual void presetChosen(int index, const char* name);

    // CControlListener: the strip's own tags; every other tag is ignored.
    void valueChanged(VSTGUI::CDrawContext* context, VSTGUI::CControl* control) override;

    // CPresetSystemListener
    void loadBank() override;
    void saveBank() override;
    void loadPreset() override;
    void savePreset() override;
    void stepPreset(bool up) override;

    CPresetSystemEffect* getPresetEffect() const { return presetEffect_; }

    // The state the file dialogs start from: the directory of the last file
    // chosen (the working directory at first) and the last names.
    const std::string& lastDirectory() const { return lastDirectory_; }
    const std::string& bankFileName() const { return bankFileName_; }
    const std::string& presetFileName() const { return presetFileName_; }
    void setLastDirectory(const std::string& directory) { lastDirectory_ = directory; }

    // The strip's controls while the window is open (null otherwise).
    VSTGUI::CTextEdit* nameField() const { return nameField_; }
    VSTGUI::COptionMenu* presetMenu() const { return presetMenu_; }
    CPSRockerSwitch* rocker() const { return rocker_; }
    CSaveLoadButton* saveBankButton() const { return saveBankButton_; }
    CSaveLoadButton* loadBankButton() const { return loadBankButton_; }
    CSaveLoadButton* savePresetButton() const { return savePresetButton_; }
    CSaveLoadButton* loadPresetButton() const { return loadPresetButton_; }
    CPSOnOffButton* recallAButton() const { return recallAButton_; }
    CPSOnOffButton* recallBButton() const { return recallBButton_; }
    CPSOnOffButton* storeAButton() const { return storeAButton_; }
    CPSOnOffButton* storeBButton() const { return storeBButton_; }

protected:
    // Tag of a strip control in this build.
    long stripTag(int control) const;
    // Runs a file dialog of the kind asked for and remembers where it
    // pointed; the full path, or nullopt when cancelled.
    std::optional<std::string> runFileDialog(bool bank, bool save);
    // Shows a message captioned "Error..." in (or over) the editor window.
    void showError(const char* text);
    // The menu entry (separator counted) that shows slot `slot`.
    static long menuEntryOfSlot(int slot);
    // Fills the menu with the store's names and marks the current slot.
    void fillPresetMenu();
    // Marks the menu entry of the current slot.
    void markCurrentEntry(int slot);
    void setMenuEntryText(long entry, const char* name);

    CPresetSystemEffect* presetEffect_;

    std::string lastDirectory_;
    std::string bankFileName_;
    std::string presetFileName_;

    VSTGUI::CTextEdit* nameField_ = nullptr;
    VSTGUI::COptionMenu* presetMenu_ = nullptr;
    CPSRockerSwitch* rocker_ = nullptr;
    CSaveLoadButton* saveBankButton_ = nullptr;
    CSaveLoadButton* loadBankButton_ = nullptr;
    CSaveLoadButton* savePresetButton_ = nullptr;
    CSaveLoadButton* loadPresetButton_ = nullptr;
    CPSOnOffButton* recallAButton_ = nullptr;
    CPSOnOffButton* recallBButton_ = nullptr;
    CPSOnOffButton* storeAButton_ = nullptr;
    CPSOnOffButton* storeBButton_ = nullptr;
};
