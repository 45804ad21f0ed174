#include "gui/AEffGUIEditor.h"

#include "gui/CControl.h"
#include "host/AudioEffect.h"

#include <algorithm>
#include <atomic>
#include <cstdint>

namespace VSTGUI {

namespace {
// One knob mode for every editor of the process.
std::atomic<long> knobMode{kCircularMode};

// Run the host idle at most this often while the mouse is tracked; in
// between, wait a little, and run early when the next run is this close.
constexpr uint32_t kIdleInterval = 100;
constexpr uint32_t kIdleWait = 4;
constexpr uint32_t kIdleEarly = 50;
} // namespace

AEffGUIEditor::AEffGUIEditor(AudioEffect* effect) : AEffEditor(effect)
{
    if (effect_)
        effect_->setEditor(this);
}

AEffGUIEditor::~AEffGUIEditor()
{
    if (frame) {
        CFrame* f = frame;
        frame = nullptr;
        f->forget();
    }
}

bool AEffGUIEditor::getRect(ERect** outRect)
{
    if (!outRect)
        return false;
    // The scale of the open window, else the one a window would get now.
    int32_t scale = 1;
    if (frame && frame->getPlatformWindow())
        scale = frame->getPlatformWindow()->scale();
    else
        scale = windowScale(systemWindow_);
    if (scale < 1 || scale > 2)
        scale = 1;
    auto scaled = [scale](VstInt16 v) {
        int32_t s = v * scale;
        return static_cast<VstInt16>(std::clamp<int32_t>(s, INT16_MIN, INT16_MAX));
    };
    scaledRect_.top = scaled(rect.top);
    scaledRect_.left = scaled(rect.left);
    scaledRect_.bottom = scaled(rect.bottom);
    scaledRect_.right = scaled(rect.right);
    *outRect = &scaledRect_;
    return true;
}

int32_t AEffGUIEditor::windowScale(void* parent) const
{
    if (scaleOverride_)
        return scaleOverride_;
    return platform().preferredScale(parent);
}

bool AEffGUIEditor::open(void* parentWindow)
{
    // A host that opens again without closing first gets a fresh window;
    // the old one goes through the derived editor's close.
    if (frame)
        close();
    if (!parentWindow)
        return false;
    systemWindow_ = parentWindow;
    idleTicksValid_ = false;
    return true;
}

void AEffGUIEditor::close()
{
    if (frame) {
        CFrame* f = frame;
        frame = nullptr;
        f->forget();
    }
    systemWindow_ = nullptr;
}

void AEffGUIEditor::idle()
{
    if (inIdleStuff_ || !frame)
        return;
    frame->idle();
}

bool AEffGUIEditor::onKeyDown(VstKeyCode& keyCode) { return frame && frame->onKeyDown(keyCode) == 1; }

bool AEffGUIEditor::onKeyUp(VstKeyCode& keyCode) { return frame && frame->onKeyUp(keyCode) == 1; }

bool AEffGUIEditor::setKnobMode(VstInt32 mode)
{
    knobMode.store(mode, std::memory_order_relaxed);
    return true;
}

long AEffGUIEditor::getKnobMode() { return knobMode.load(std::memory_order_relaxed); }

namespace {
// Gestures reach the host only for its own parameters: the controls that
// edit editor-only values (page switches, preset strip, combined selectors)
// carry tags beyond the host's parameter count.
AudioEffectX* gestureTarget(AudioEffect* effect, long index)
{
    auto* fx = dynamic_cast<AudioEffectX*>(effect);
    if (!fx || index < 0 || index >= fx->getAeffect()->numParams)
        return nullptr;
    return fx;
}
} // namespace

void AEffGUIEditor::beginEdit(long index)
{
    if (AudioEffectX* fx = gestureTarget(effect_, index))
        fx->beginEdit(static_cast<VstInt32>(index));
}

void AEffGUIEditor::endEdit(long index)
{
    if (AudioEffectX* fx = gestureTarget(effect_, index))
        fx->endEdit(static_cast<VstInt32>(index));
}

void AEffGUIEditor::doIdleStuff()
{
    Platform& p = platform();
    uint32_t now = p.ticks();
    if (idleTicksValid_) {
        // Signed differences keep this right across the wrap of the tick counter.
        int32_t remaining = static_cast<int32_t>(nextIdleTicks_ - now);
        if (remaining > 0) {
            p.sleep(kIdleWait);
            now += kIdleWait;
            if (static_cast<int32_t>(nextIdleTicks_ - now) >= static_cast<int32_t>(kIdleEarly))
                return;
        }
    }
    idle();
    if (frame && frame->getPlatformWindow())
        frame->getPlatformWindow()->dispatchPendingPaint();
    nextIdleTicks_ = now + kIdleInterval;
    idleTicksValid_ = true;
    inIdleStuff_ = true;
    if (effect_)
        effect_->masterIdle();
    inIdleStuff_ = false;
}

} // namespace VSTGUI
