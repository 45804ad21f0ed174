#include "editor/AmbrelEditor.h"

#include "editor/Layout.h"
#include "effect/TextConvert.h"
#include "resources/SkinIds.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

using namespace VSTGUI;
using layout::ControlKind;
using layout::DisplayKind;
using layout::EditorTag;

namespace {

// Value texts of the displays.
void latencyMsText(float v, char* text) { millisecondsText(v, text); }
void latencySamplesText(float v, char* text) { samplesText(v, text); }
void decibelDisplay(float v, char* text) { decibelText(v, text); }
void decibelFullScaleDisplay(float v, char* text) { decibelFullScaleText(v, text); }
void multiplierDisplay(float v, char* text) { multiplierText(v, text); }
void millisecondsDisplay(float v, char* text) { millisecondsText(v, text); }
void integerDisplay(float v, char* text) { integerText(v, text); }
void percentDisplay(float v, char* text) { percentText(v, text); }

CParamDisplay::StringConvert converterFor(DisplayKind kind)
{
    switch (kind) {
    case DisplayKind::LatencyMs: return latencyMsText;
    case DisplayKind::LatencySamples: return latencySamplesText;
    case DisplayKind::Decibel: return decibelDisplay;
    case DisplayKind::DecibelFullScale: return decibelFullScaleDisplay;
    case DisplayKind::Multiplier: return multiplierDisplay;
    case DisplayKind::Milliseconds: return millisecondsDisplay;
    case DisplayKind::Integer: return integerDisplay;
    case DisplayKind::Percent: return percentDisplay;
    default: return nullptr;
    }
}

// How the readout shows a main-page knob; blank for anything else.
ReadoutKind readoutKindOf(ParamId id)
{
    switch (id) {
    case ParamId::Drive:
    case ParamId::HighAdjust:
    case ParamId::LowAdjust:
    case ParamId::Ceiling:
    case ParamId::Output: return ReadoutKind::kDecibel;
    case ParamId::HighFreq:
    case ParamId::LowFreq: return ReadoutKind::kHertz;
    case ParamId::Knee:
    case ParamId::Speed:
    case ParamId::Mix: return ReadoutKind::kPercent;
    case ParamId::Release: return ReadoutKind::kPlain;
    default: return ReadoutKind::kBlank;
    }
}

bool isMainKnob(ParamId id) { return readoutKindOf(id) != ReadoutKind::kBlank; }

// Parameters the editor sets without telling the host: the meter latency
// compensation, FineTune, MeterScale and the six per-machine settings.
bool isUnautomated(ParamId id)
{
    switch (id) {
    case ParamId::MeterLatency:
    case ParamId::FineTune:
    case ParamId::MeterScale:
    case ParamId::VuIntegr:
    case ParamId::VuRefer:
    case ParamId::PpmIntegr:
    case ParamId::PpmReturn:
    case ParamId::OverIndic:
    case ParamId::KnobMode: return true;
    default: return false;
    }
}

} // namespace

AEffEditor* makeAmbrelEditor(Ambrel& effect) { return new (std::nothrow) AmbrelEditor(&effect); }

AmbrelEditor::AmbrelEditor(Ambrel* effect)
    : CPresetSystemEditor(effect), ambrel_(effect), variant_(effect->variant())
{
    rect = ERect{0, 0, static_cast<VstInt16>(layout::kWindowHeight), static_cast<VstInt16>(layout::kWindowWidth)};
    for (auto& p : pending_)
        p.store(false, std::memory_order_relaxed);
    ambrel_->setEditorOpen(false);
}

AmbrelEditor::~AmbrelEditor()
{
    if (frame)
        close();
}

// --- Opening and closing -------------------------------------------------------

CBitmap* AmbrelEditor::bitmap(int id)
{
    id = layout::bitmapFor(variant_, id);
    for (CBitmap*& b : openBitmaps_) {
        if (b && b->getResourceId() == id)
            return b;
        if (!b) {
            b = new CBitmap(id);
            return b;
        }
    }
    return nullptr; // more images than the table has room for: a fault of the layout
}

void AmbrelEditor::forgetBitmaps()
{
    for (CBitmap*& b : openBitmaps_) {
        if (b)
            b->forget();
        b = nullptr;
    }
}

int AmbrelEditor::storedZoom()
{
    // A scale forced for the process (AMBREL_UI_SCALE, tests and screenshots)
    // wins over the user's choice.
    if (const char* forced = std::getenv("AMBREL_UI_SCALE"); forced && (!std::strcmp(forced, "1") || !std::strcmp(forced, "2")))
        return 0;
    try {
        std::optional<float> z = ambrel_->settingsStore().readFloat("", kZoomValueName);
        if (z && (*z == 1.0f || *z == 2.0f))
            return static_cast<int>(*z);
    } catch (...) {
        // An unreadable store leaves the display's own scale.
    }
    return 0;
}

bool AmbrelEditor::open(void* parentWindow)
{
    if (!AEffGUIEditor::open(parentWindow))
        return false;
    zoom_ = storedZoom();
    setScaleOverride(zoom_);

    // Values set from now on are applied at the first idle; what is set
    // before is read below.
    open_.store(true, std::memory_order_relaxed);
    for (auto& p : pending_)
        p.store(false, std::memory_order_relaxed);
    pageSwaps_.store(0, std::memory_order_relaxed);
    lightsReset_.store(false, std::memory_order_relaxed);
    latencyPending_.store(false, std::memory_order_relaxed);
    metersPending_.store(false, std::memory_order_relaxed);

    CBitmap* background = bitmap(skin::kBackground);
    auto* f = new CMyFrame(CRect(rect.left, rect.top, rect.left + layout::kWindowWidth, rect.top + layout::kWindowHeight),
                           parentWindow, this);
    if (!f->isOpen()) {
        f->forget();
        forgetBitmaps();
        open_.store(false, std::memory_order_relaxed);
        return false;
    }
    frame = f;
    myFrame_ = f;
    f->setBackground(background);
    f->backgroundMenu = [this](CPoint where) { showZoomMenu(where); };

    mainPage_ = new CViewContainer(layout::kMainPage, f, background);
    settingsPage_ = new CViewContainer(layout::kSettingsPage, f, bitmap(skin::kSettingsBackground));
    buildMainPage();
    buildSettingsPage();

    f->addView(mainPage_);
    currentPage_ = mainPage_;
    otherPage_ = settingsPage_;
    forgetBitmaps();

    CPresetSystemEditor::open(parentWindow);
    ambrel_->setEditorOpen(true);
    return true;
}

void AmbrelEditor::buildMainPage()
{
    for (const layout::ControlSpec& desc : layout::kMainPageControls) {
        if (desc.fatOnly && !variant_.hasFat)
            continue;
        const long t = layout::tagOf(variant_, desc);
        const skin::BitmapGeometry* geometry = desc.bitmap ? skin::findGeometry(desc.bitmap) : nullptr;
        const long frameHeight = geometry ? geometry->frameHeight : 0;
        CBitmap* image = desc.bitmap ? bitmap(desc.bitmap) : nullptr;
        CControl* c = nullptr;
        switch (desc.kind) {
        case ControlKind::ValueDisplay: {
            auto* d = new CParamDisplay(desc.rect, bitmap(skin::kBackground), 0);
            d->setBackOffset(desc.rect.topLeft());
            d->setFont(kNormalFontVerySmall);
            d->setTxtFace(kNormalFace);
            d->setFontColor(layout::kMainPageTextColor);
            d->setHoriAlign(kCenterText);
            const bool ms = std::strcmp(desc.name, "LatencyMs") == 0;
            d->setStringConvert(converterFor(ms ? DisplayKind::LatencyMs : DisplayKind::LatencySamples));
            d->setValue(ms ? static_cast<float>(ambrel_->getLatencyMs())
                           : static_cast<float>(ambrel_->getLatencySamples()));
            (ms ? latencyMs_ : latencySamples_) = d;
            mainPage_->addView(d);
            continue;
        }
        case ControlKind::ClickArea: c = new CClickRect(desc.rect, this, t); break;
        case ControlKind::OnOffButton: c = new CMyOnOffButton(desc.rect, this, t, image); break;
        case ControlKind::LRUDButton: c = new CMyLRUDButton(desc.rect, this, t, image); break;
        case ControlKind::VerticalSwitch:
            c = new CMyVerticalSwitch(desc.rect, this, t, desc.frames, frameHeight, desc.frames, image);
            break;
        case ControlKind::Knob:
            c = new CAnimKnob2(desc.rect, this, t, desc.frames, frameHeight, image);
            break;
        case ControlKind::DriveKnob:
            c = new CAnimKnob3(desc.rect, this, t, desc.frames, geometry ? geometry->frameWidth : 0, frameHeight,
                               image);
            break;
        case ControlKind::Meter: {
            const int channel = meters_[0] ? 1 : 0;
            auto* m = new CMovieMeter(desc.rect, this, t, desc.frames, frameHeight, image,
                                      bitmap(skin::kMeterAlternate), CPoint(), ambrel_->getMeterScale());
            meters_[static_cast<size_t>(channel)] = m;
            mainPage_->addView(m);
            continue;
        }
        case ControlKind::Readout:
            readout_ = new CCounter(desc.rect, this, t, 15.32f, ReadoutKind::kDecibel, layout::kReadoutX,
                                    layout::kReadoutY, layout::kReadoutPitch, layout::kReadoutGlyphHeight, image);
            mainPage_->addView(readout_);
            continue;
        case ControlKind::EntryField:
            entry_ = new CMyTextEdit(desc.rect, this, t, "", nullptr, 0);
            entry_->setBackColor(layout::kEntryBackColor);
            entry_->setFrameColor(layout::kEntryBackColor);
            entry_->setFontColor(layout::kEntryTextColor);
            entry_->setFont(kNormalFont);
            entry_->setTxtFace(kBoldFace);
            continue; // added only while a value is typed
        case ControlKind::OverLight: {
            const int channel = lights_[0] ? 1 : 0;
            auto* led = new CMovieLED(desc.rect, this, t, desc.frames, frameHeight, image);
            lights_[static_cast<size_t>(channel)] = led;
            mainPage_->addView(led);
            continue;
        }
        case ControlKind::PageSwitch: c = new CViewContainerSwitch(desc.rect, this, t); break;
        default: continue;
        }
        if (desc.param != ParamId::None) {
            if (desc.kind == ControlKind::Knob || desc.kind == ControlKind::DriveKnob ||
                desc.kind == ControlKind::VerticalSwitch)
                c->setDefaultValue(desc.defaultValue);
            if (desc.wheelStep > 0.0f)
                c->setWheelInc(desc.wheelStep);
            c->setValue(ambrel_->getParameter(t));
        }
        if (t >= 0 && t < kTagLimit)
            controls_[static_cast<size_t>(t)] = c;
        mainPage_->addView(c);
    }
}

void AmbrelEditor::buildSettingsPage()
{
    CBitmap* knobStrip = bitmap(skin::kSettingsKnob);
    CBitmap* pageBackground = bitmap(skin::kSettingsBackground);
    for (const layout::SettingsKnobSpec& desc : layout::kSettingsKnobs) {
        const long t = variant_.index(desc.param);
        CAnimKnob* knob = desc.toolkitKnob2
                              ? new CAnimKnob2(desc.knob, this, t, layout::kSettingsKnobFrames,
                                               layout::kSettingsKnobFrameHeight, knobStrip)
                              : new CAnimKnob(desc.knob, this, t, layout::kSettingsKnobFrames,
                                              layout::kSettingsKnobFrameHeight, knobStrip);
        knob->setDefaultValue(desc.defaultValue);
        knob->setValue(ambrel_->getParameter(t));
        settingsPage_->addView(knob);

        auto* d = new CParamDisplay(desc.display, pageBackground, 0);
        d->setBackOffset(desc.display.topLeft());
        d->setFont(kNormalFontVerySmall);
        d->setTxtFace(kNormalFace);
        d->setFontColor(layout::kSettingsPageTextColor);
        d->setHoriAlign(kCenterText);
        d->setStringConvert(converterFor(desc.displayKind));
        d->setValue(static_cast<float>(ambrel_->getEngineValue(t)));
        settingsPage_->addView(d);
        if (t >= 0 && t < kTagLimit) {
            controls_[static_cast<size_t>(t)] = knob;
            displays_[static_cast<size_t>(t)] = d;
        }
    }
    for (const layout::ControlSpec& desc : layout::kSettingsPageControls) {
        const long t = layout::tagOf(variant_, desc);
        CControl* c = nullptr;
        if (desc.kind == ControlKind::VerticalSwitch) {
            const skin::BitmapGeometry* g = skin::findGeometry(desc.bitmap);
            c = new CVerticalSwitch(desc.rect, this, t, desc.frames, g ? g->frameHeight : 0, desc.frames,
                                    bitmap(desc.bitmap));
            c->setDefaultValue(desc.defaultValue);
            c->setValue(ambrel_->getParameter(t));
        } else if (desc.kind == ControlKind::Label) {
            settingsPage_->addView(new CLabel2(desc.rect, layout::kVersionText));
            continue;
        } else if (desc.kind == ControlKind::PageSwitch) {
            c = new CViewContainerSwitch(desc.rect, this, t);
        } else {
            continue;
        }
        if (t >= 0 && t < kTagLimit)
            controls_[static_cast<size_t>(t)] = c;
        settingsPage_->addView(c);
    }
}

void AmbrelEditor::close()
{
    if (!frame) {
        AEffGUIEditor::close();
        return;
    }
    // A value being typed is committed while everything is still there.
    if (entry_ && entry_->getEntryTag() >= 0)
        entry_->looseFocus(nullptr);

    open_.store(false, std::memory_order_relaxed);
    ambrel_->setEditorOpen(false);
    blankCounter_ = 0;
    CPresetSystemEditor::close();

    if (myFrame_)
        myFrame_->setPendingFocusView(nullptr);
    if (entry_) {
        if (mainPage_ && mainPage_->isChild(entry_))
            mainPage_->removeView(entry_, false);
        entry_->forget();
    }
    controls_.fill(nullptr);
    displays_.fill(nullptr);
    meters_.fill(nullptr);
    lights_.fill(nullptr);
    readout_ = nullptr;
    entry_ = nullptr;
    latencyMs_ = nullptr;
    latencySamples_ = nullptr;
    lastHovered_ = nullptr;

    if (otherPage_)
        otherPage_->forget();
    otherPage_ = nullptr;
    currentPage_ = nullptr;
    mainPage_ = nullptr;
    settingsPage_ = nullptr;
    myFrame_ = nullptr;
    AEffGUIEditor::close(); // destroys the frame, the page shown and the strip
}

CControl* AmbrelEditor::control(int t) const
{
    if (t == variant_.index(ParamId::MeterScale))
        return meters_[0];
    if (t == tag(EditorTag::Readout))
        return readout_;
    if (t == tag(EditorTag::EntryField))
        return entry_;
    if (t == tag(EditorTag::OverLeft))
        return lights_[0];
    if (t == tag(EditorTag::OverRight))
        return lights_[1];
    return t >= 0 && t < kTagLimit ? controls_[static_cast<size_t>(t)] : nullptr;
}

CParamDisplay* AmbrelEditor::valueDisplay(int t) const
{
    return t >= 0 && t < kTagLimit ? displays_[static_cast<size_t>(t)] : nullptr;
}

// --- Parameter changes ---------------------------------------------------------

void AmbrelEditor::setParameter(VstInt32 index, float /*value*/)
{
    if (!open_.load(std::memory_order_relaxed) || index < 0 || index >= kTagLimit)
        return;
    // The window's thread reads the value from the effect when it applies
    // it, so only the index is remembered; page switches and light resets
    // are events and are counted.
    const EditorTag e = layout::editorTagAt(variant_, index);
    if (e == EditorTag::ToSettings || e == EditorTag::ToMain)
        pageSwaps_.fetch_add(1, std::memory_order_release);
    else if (e == EditorTag::OverLeft || e == EditorTag::OverRight)
        lightsReset_.store(true, std::memory_order_release);
    else
        pending_[static_cast<size_t>(index)].store(true, std::memory_order_release);
}

void AmbrelEditor::latencyChanged()
{
    if (open_.load(std::memory_order_relaxed))
        latencyPending_.store(true, std::memory_order_release);
}

void AmbrelEditor::metersReset()
{
    if (open_.load(std::memory_order_relaxed))
        metersPending_.store(true, std::memory_order_release);
}

void AmbrelEditor::applyPending()
{
    if (!frame)
        return;
    for (int i = 0; i < kTagLimit; ++i)
        if (pending_[static_cast<size_t>(i)].exchange(false, std::memory_order_acquire))
            apply(i);
    if (pageSwaps_.exchange(0, std::memory_order_acquire) % 2 != 0)
        swapPages();
    if (lightsReset_.exchange(false, std::memory_order_acquire))
        resetLights();
    if (latencyPending_.exchange(false, std::memory_order_acquire))
        refreshLatency();
    if (metersPending_.exchange(false, std::memory_order_acquire)) {
        for (CMovieMeter* m : meters_)
            if (m)
                m->setValue(0.0f);
        resetLights();
    }
}

void AmbrelEditor::apply(int index)
{
    const ParamId id = variant_.paramAt(index);
    auto setFromEffect = [this](int i) {
        if (CControl* c = control(i))
            c->setValue(ambrel_->getParameter(i));
    };
    switch (id) {
    case ParamId::Process:
    case ParamId::Mode:
        setFromEffect(index);
        refreshLatency();
        break;
    case ParamId::MonoStereo:
    case ParamId::LR:
    case ParamId::StereoSelector: setFromEffect(variant_.index(ParamId::StereoSelector)); break;
    case ParamId::Link:
    case ParamId::Meters:
    case ParamId::MeterType:
    case ParamId::Fat:
    case ParamId::Long:
    case ParamId::Auto:
    case ParamId::Brickwall:
    case ParamId::KnobMode: setFromEffect(index); break;
    case ParamId::Drive:
    case ParamId::Knee:
    case ParamId::Speed:
    case ParamId::Release:
    case ParamId::HighAdjust:
    case ParamId::LowAdjust:
    case ParamId::HighFreq:
    case ParamId::LowFreq:
    case ParamId::Mix:
    case ParamId::Ceiling:
    case ParamId::Output:
        setFromEffect(index);
        showOnReadout(index);
        if (id == ParamId::Speed)
            refreshLatency();
        break;
    case ParamId::LowSat:
    case ParamId::MidSat:
    case ParamId::HighSat:
    case ParamId::LowRel:
    case ParamId::MidRel:
    case ParamId::HighRel:
    case ParamId::FineTune:
    case ParamId::VuIntegr:
    case ParamId::VuRefer:
    case ParamId::PpmIntegr:
    case ParamId::PpmReturn:
    case ParamId::OverIndic:
        setFromEffect(index);
        if (CParamDisplay* d = valueDisplay(index))
            d->setValue(static_cast<float>(ambrel_->getEngineValue(index)));
        break;
    case ParamId::MeterScale: {
        const int scale = ambrel_->getMeterScale();
        for (CMovieMeter* m : meters_)
            if (m)
                m->setScale(scale);
        break;
    }
    default: break;
    }
}

void AmbrelEditor::showOnReadout(int index)
{
    if (!readout_)
        return;
    const ReadoutKind kind = readoutKindOf(variant_.paramAt(index));
    if (kind != ReadoutKind::kBlank)
        readout_->setValueAndKind(static_cast<float>(ambrel_->getEngineValue(index)), kind);
}

void AmbrelEditor::refreshLatency()
{
    if (latencyMs_)
        latencyMs_->setValue(static_cast<float>(ambrel_->getLatencyMs()));
    if (latencySamples_)
        latencySamples_->setValue(static_cast<float>(ambrel_->getLatencySamples()));
    if (latencyMs_)
        latencyMs_->setDirty(true);
    if (latencySamples_)
        latencySamples_->setDirty(true);
}

void AmbrelEditor::resetLights()
{
    for (CMovieLED* led : lights_)
        if (led)
            led->reset();
}

void AmbrelEditor::swapPages()
{
    if (!frame || !currentPage_ || !otherPage_)
        return;
    CViewContainer* previous = currentPage_;
    currentPage_ = otherPage_;
    otherPage_ = previous;
    frame->addView(currentPage_);
    frame->removeView(previous, false); // kept for the next swap
    // The preset strip lies in the frame above the pages: bring its
    // controls back on top of the page just added.
    std::vector<CView*> strip;
    for (long i = 0; i < frame->getNbViews(); ++i)
        if (CView* v = frame->getView(i); v != currentPage_)
            strip.push_back(v);
    for (CView* v : strip) {
        v->remember();
        frame->removeView(v, false);
        frame->addView(v);
        v->forget();
    }
    frame->setDirty(true);
    lastHovered_ = nullptr;
}

// --- Events from the controls --------------------------------------------------

void AmbrelEditor::valueChanged(CDrawContext* context, CControl* c)
{
    if (!c)
        return;
    c->remember();
    CPresetSystemEditor::valueChanged(context, c);

    const long t = c->getTag();
    const float value = c->getValue();
    const ParamId id = variant_.paramAt(static_cast<int>(t));
    const EditorTag e = layout::editorTagAt(variant_, static_cast<int>(t));
    if (id == ParamId::StereoSelector) {
        // The selector sets Mono Stereo and L R; the host hears of those two.
        const VstInt32 monoStereo = variant_.index(ParamId::MonoStereo);
        const VstInt32 lr = variant_.index(ParamId::LR);
        ambrel_->setParameter(static_cast<VstInt32>(t), value);
        beginEdit(monoStereo);
        beginEdit(lr);
        ambrel_->setParameterAutomated(monoStereo, ambrel_->getParameter(monoStereo));
        ambrel_->setParameterAutomated(lr, ambrel_->getParameter(lr));
        endEdit(monoStereo);
        endEdit(lr);
    } else if (id != ParamId::None && isUnautomated(id)) {
        ambrel_->setParameter(static_cast<VstInt32>(t), value);
        c->update(context);
    } else if (t >= 0 && t < variant_.numParams) {
        ambrel_->setParameterAutomated(static_cast<VstInt32>(t), value);
        c->update(context);
    } else if (e == EditorTag::OverLeft || e == EditorTag::OverRight) {
        resetLights();
        for (CMovieLED* led : lights_)
            if (led)
                led->update(context);
        c->update(context);
    } else if (e == EditorTag::LatencyClick) {
        // The latency readout takes clicks only to keep them off the page.
    } else if (t >= variant_.numParams) {
        ambrel_->setParameter(static_cast<VstInt32>(t), value);
        c->update(context);
    }
    // Show the effect's answer now rather than at the next idle.
    applyPending();
    c->forget();
}

void AmbrelEditor::beginValueEntry(long t)
{
    if (!frame || !entry_ || currentPage_ != mainPage_)
        return;
    const ParamId id = variant_.paramAt(static_cast<int>(t));
    char text[64] = {};
    if (isMainKnob(id)) {
        const double x = ambrel_->getEngineValue(static_cast<VstInt32>(t));
        const bool oneDecimal = id == ParamId::Drive || id == ParamId::Release;
        std::snprintf(text, sizeof(text), oneDecimal ? "%.1f" : "%.2f", x);
    }
    if (!mainPage_->isChild(entry_))
        mainPage_->addView(entry_);
    entry_->setText(text);
    CDrawContext* context = frame->createDrawContext();
    entry_->beginEntry(t, context);
    if (context)
        context->forget();
    if (myFrame_ && entry_->isEditing())
        myFrame_->setPendingFocusView(entry_);
    else if (mainPage_->isChild(entry_) && !entry_->isEditing()) {
        // No native field could be made: nothing to type into.
        mainPage_->removeView(entry_, false);
    }
}

void AmbrelEditor::endValueEntry(long t, const char* text)
{
    if (myFrame_ && myFrame_->getPendingFocusView() == entry_)
        myFrame_->setPendingFocusView(nullptr);
    if (entry_ && mainPage_ && mainPage_->isChild(entry_))
        mainPage_->removeView(entry_, false);
    const bool cancelled = entry_ && entry_->wasCancelled();
    const ParamId id = variant_.paramAt(static_cast<int>(t));
    if (!cancelled && t >= 0 && t < variant_.numParams) {
        const double fineScale = ambrel_->getEngineValue(variant_.index(ParamId::FineTune));
        const float v = isMainKnob(id) ? typedValue(variant_, id, text, fineScale) : 0.0f;
        // A typed value is an edit like a drag: the host hears of it.
        const VstInt32 index = static_cast<VstInt32>(t);
        beginEdit(index);
        ambrel_->setParameterAutomated(index, v);
        endEdit(index);
    }
    applyPending();
    if (frame)
        frame->redraw();
}

bool AmbrelEditor::parseNumber(const char* text, double& value)
{
    value = 0.0;
    if (!text)
        return false;
    const char* p = text;
    while (*p == ' ' || *p == '\t')
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    double v = 0.0;
    bool digits = false;
    while (*p >= '0' && *p <= '9') {
        v = v * 10.0 + (*p - '0');
        digits = true;
        ++p;
    }
    if (*p == '.' || *p == ',') {
        ++p;
        double unit = 0.1;
        while (*p >= '0' && *p <= '9') {
            v += (*p - '0') * unit;
            unit *= 0.1;
            digits = true;
            ++p;
        }
    }
    if (!digits)
        return false;
    if ((*p == 'e' || *p == 'E') && ((p[1] >= '0' && p[1] <= '9') ||
                                     ((p[1] == '-' || p[1] == '+') && p[2] >= '0' && p[2] <= '9'))) {
        ++p;
        const bool negativeExponent = *p == '-';
        if (*p == '-' || *p == '+')
            ++p;
        int exponent = 0;
        while (*p >= '0' && *p <= '9') {
            exponent = std::min(exponent * 10 + (*p - '0'), 400);
            ++p;
        }
        v *= std::pow(10.0, negativeExponent ? -exponent : exponent);
    }
    if (!std::isfinite(v))
        v = std::numeric_limits<double>::max();
    value = negative ? -v : v;
    return true;
}

float AmbrelEditor::typedValue(const Variant& variant, ParamId id, const char* text, double s)
{
    double t = 0.0;
    if (!parseNumber(text, t))
        t = 0.0;
    if (!(s > 0.0))
        s = 1.0;
    // The main knobs take their value in the units the readout shows.
    double v = isMainKnob(id) ? variant.desc(id).user.inverse(t, s) : 0.0;
    if (!(v >= 0.0))
        v = 0.0;
    return static_cast<float>(std::min(v, 1.0));
}

// --- Idle ----------------------------------------------------------------------

void AmbrelEditor::idle()
{
    if (!frame)
        return;
    applyPending();
    AEffGUIEditor::idle(); // the toolkit redraws what is dirty
    if (!frame)
        return; // the host's window went away during the events

    if (ambrel_->takeKnobModeChanged()) {
        const float mode = ambrel_->getParameter(variant_.index(ParamId::KnobMode));
        setKnobMode(mode < 0.5f ? kCircularMode : kLinearMode);
    }

    if (currentPage_ == mainPage_ && mainPage_) {
        for (int channel = 0; channel < 2; ++channel) {
            const float level = ambrel_->getMeterValue(channel);
            const bool over = ambrel_->takeOverFlag(channel);
            if (meters_[static_cast<size_t>(channel)])
                meters_[static_cast<size_t>(channel)]->setValue(level);
            if (lights_[static_cast<size_t>(channel)])
                lights_[static_cast<size_t>(channel)]->setValue(over ? 1.0f : 0.0f);
        }
        hoverReadout();
    }
    CPresetSystemEditor::idle();
}

void AmbrelEditor::hoverReadout()
{
    if (pollCounter_ < kHoverPolls) {
        ++pollCounter_;
        return;
    }
    pollCounter_ = 0;
    auto blank = [this] {
        if (++blankCounter_ > kBlankChecks) {
            if (readout_)
                readout_->setValueAndKind(0.0f, ReadoutKind::kBlank);
            blankCounter_ = 0;
        }
    };
    CView* view = mainPage_->getCurrentView();
    auto* c = dynamic_cast<CControl*>(view);
    if (!c) {
        lastHovered_ = nullptr;
        blank();
        return;
    }
    const int t = static_cast<int>(c->getTag());
    const EditorTag e = layout::editorTagAt(variant_, t);
    if (t == variant_.index(ParamId::MeterScale) || e == EditorTag::ToSettings || e == EditorTag::ToMain ||
        e == EditorTag::OverLeft || e == EditorTag::OverRight) {
        blank();
        lastHovered_ = c;
    } else if (c != lastHovered_) {
        lastHovered_ = c;
        showOnReadout(t);
    }
}

// --- Zoom ----------------------------------------------------------------------

void AmbrelEditor::showZoomMenu(CPoint where)
{
    if (!frame || !frame->getPlatformWindow())
        return;
    const int shown = frame->getPlatformWindow()->scale();
    MenuModel menu;
    menu.items.push_back(MenuItem{"Zoom 100%", shown == 1 ? uint32_t(MenuItem::kChecked) : 0u, nullptr});
    menu.items.push_back(MenuItem{"Zoom 200%", shown == 2 ? uint32_t(MenuItem::kChecked) : 0u, nullptr});
    const MenuResult result = frame->getPlatformWindow()->popupMenu(menu, where);
    if (result.menu == &menu && (result.index == 0 || result.index == 1))
        chooseZoom(result.index + 1);
}

void AmbrelEditor::chooseZoom(int scale)
{
    if (scale != 1 && scale != 2)
        return;
    zoom_ = scale;
    try {
        ambrel_->settingsStore().writeFloat("", kZoomValueName, static_cast<float>(scale));
    } catch (...) {
        // Not kept, but this window still follows the choice.
    }
    setScaleOverride(scale);
    // Resize now where the host follows a plug-in's request; elsewhere the
    // window keeps its size until it is opened again.
    if (frame && ambrel_->canHostDo("sizeWindow")) {
        frame->setScale(scale);
        ambrel_->sizeWindow(layout::kWindowWidth * scale, layout::kWindowHeight * scale);
    }
}
