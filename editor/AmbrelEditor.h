// The plug-in's window: a main page with the needle meters, over lights,
// every sound control and the readout, a settings page with the per-band,
// meter and knob settings, and the preset strip along the bottom edge.
//
// Threads: the host may set parameters from its audio thread while the
// window idles on its own. setParameter therefore never touches a view: it
// stores the value and marks it pending, and the window's thread applies
// what is pending at the start of every idle (and right after a change the
// user made, so the window answers at once).
#pragma once

#include "editor/CustomControls.h"
#include "editor/Layout.h"
#include "editor/Meters.h"
#include "effect/Ambrel.h"
#include "presets/CPresetSystemEditor.h"

#include <array>
#include <atomic>

class AmbrelEditor : public CPresetSystemEditor, public AmbrelEditorEvents {
public:
    // Tags beyond the last one the editor acts on in setParameter are ignored.
    static constexpr int kTagLimit = 80;
    // Hover readout: checked on every 9th idle, blanked after 11 checks
    // without a knob under the pointer.
    static constexpr int kHoverPolls = 8;
    static constexpr int kBlankChecks = 10;
    static constexpr size_t kEntryMaxText = 63;
    // The value name of the chosen zoom in the settings store (1.0 or 2.0;
    // missing: the display's own scale).
    static constexpr const char* kZoomValueName = "editorzoom";

    explicit AmbrelEditor(Ambrel* effect);
    ~AmbrelEditor() override;

    bool open(void* parentWindow) override;
    void close() override;
    void idle() override;
    // Any thread: stores the value for the window's thread.
    void setParameter(VstInt32 index, float value) override;

    // CControlListener / CPresetSystemListener
    void valueChanged(VSTGUI::CDrawContext* context, VSTGUI::CControl* control) override;
    long controlModifierClicked(VSTGUI::CDrawContext*, VSTGUI::CControl*, long) override { return 0; }
    void beginValueEntry(long tag) override;
    void endValueEntry(long tag, const char* text) override;

    // AmbrelEditorEvents (any thread)
    void latencyChanged() override;
    void metersReset() override;

    // The value a typed text gives a main-page knob: the text's number in
    // the knob's units, with FineTune's scale S for the dB knobs, limited
    // to [0, 1]. Text that is no number counts as 0.
    static float typedValue(const Variant& variant, ParamId id, const char* text, double fineScale);
    // The number at the start of a text ("6", "-3,5", " 2.5 dB"); nullopt-like
    // false when there is none. Independent of the process's locale.
    static bool parseNumber(const char* text, double& value);

    // Zoom: 0 follows the display, 1 or 2 is the user's choice.
    int getZoom() const { return zoom_; }
    // Applies a zoom now where the host resizes its window on request,
    // otherwise at the next open; keeps the choice in the settings store.
    void chooseZoom(int scale);
    // The right-click menu on a page's background.
    void showZoomMenu(VSTGUI::CPoint where);

    // State for inspection (null while closed).
    bool isOpen() const { return open_.load(std::memory_order_relaxed); }
    VSTGUI::CViewContainer* mainPage() const { return mainPage_; }
    VSTGUI::CViewContainer* settingsPage() const { return settingsPage_; }
    VSTGUI::CViewContainer* currentPage() const { return currentPage_; }
    CMyFrame* myFrame() const { return myFrame_; }
    // The control bound to a tag (parameter index or editor tag) on either
    // page; for the meter-scale tag the left meter.
    VSTGUI::CControl* control(int tag) const;
    VSTGUI::CParamDisplay* valueDisplay(int tag) const;
    CMovieMeter* meter(int channel) const { return meters_[channel & 1]; }
    CMovieLED* overLight(int channel) const { return lights_[channel & 1]; }
    CCounter* readout() const { return readout_; }
    CMyTextEdit* entryField() const { return entry_; }
    VSTGUI::CParamDisplay* latencyMsDisplay() const { return latencyMs_; }
    VSTGUI::CParamDisplay* latencySamplesDisplay() const { return latencySamples_; }
    int hoverPollCounter() const { return pollCounter_; }
    int blankCounter() const { return blankCounter_; }

private:
    // Window-thread side of setParameter.
    void apply(int index);
    void applyPending();
    void swapPages();
    void resetLights();
    void refreshLatency();
    void showOnReadout(int index);
    void hoverReadout();
    void buildMainPage();
    void buildSettingsPage();
    int tag(layout::EditorTag t) const { return layout::editorTag(variant_, t); }
    VSTGUI::CBitmap* bitmap(int id);
    void forgetBitmaps();
    int storedZoom();

    Ambrel* ambrel_;
    const Variant& variant_;
    std::atomic<bool> open_{false};

    CMyFrame* myFrame_ = nullptr;
    VSTGUI::CViewContainer* mainPage_ = nullptr;
    VSTGUI::CViewContainer* settingsPage_ = nullptr;
    VSTGUI::CViewContainer* currentPage_ = nullptr;
    VSTGUI::CViewContainer* otherPage_ = nullptr;

    std::array<VSTGUI::CControl*, kTagLimit> controls_{};
    std::array<VSTGUI::CParamDisplay*, kTagLimit> displays_{};
    std::array<CMovieMeter*, 2> meters_{};
    std::array<CMovieLED*, 2> lights_{};
    CCounter* readout_ = nullptr;
    CMyTextEdit* entry_ = nullptr;
    VSTGUI::CParamDisplay* latencyMs_ = nullptr;
    VSTGUI::CParamDisplay* latencySamples_ = nullptr;
    std::array<VSTGUI::CBitmap*, 32> openBitmaps_{};

    // Hover readout.
    int pollCounter_ = 0;
    int blankCounter_ = 0;
    VSTGUI::CView* lastHovered_ = nullptr;

    // Pending changes from setParameter and the effect's events.
    std::array<std::atomic<bool>, kTagLimit> pending_{};
    std::atomic<int> pageSwaps_{0};
    std::atomic<bool> lightsReset_{false};
    std::atomic<bool> latencyPending_{false};
    std::atomic<bool> metersPending_{false};

    int zoom_ = 0;
};

// The factory the plug-in entry hands to the effect.
AEffEditor* makeAmbrelEditor(Ambrel& effect);
