// Shared pieces of the toolkit tests: an effect that records what reaches
// the host, an editor that opens a frame holding the views a test builds,
// and a listener that records what the controls tell it. Host callbacks and
// listener calls go into one log, so their order can be checked.
#pragma once

#include "ScriptedPlatform.h"

#include "gui/vstgui.h"
#include "host/AudioEffect.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace toolkit_test {

using namespace VSTGUI;
using VSTGUI::scripted::PointerStep;
using VSTGUI::scripted::ScriptedPlatform;
using VSTGUI::scripted::ScriptedWindow;

inline std::vector<std::string>* activeLog = nullptr;
// Called by the host callback on audioMasterIdle (a host that idles the
// editor from inside its own idle, for instance).
inline std::function<void()> onHostIdle;

inline VstIntPtr VSTCALLBACK recordingHost(AEffect* /*effect*/, VstInt32 opcode, VstInt32 index, VstIntPtr /*value*/,
                                           void* /*ptr*/, float /*opt*/)
{
    if (opcode == audioMasterVersion)
        return 2400;
    if (!activeLog)
        return 0;
    switch (opcode) {
    case audioMasterBeginEdit:
        activeLog->push_back("host begin " + std::to_string(index));
        break;
    case audioMasterEndEdit:
        activeLog->push_back("host end " + std::to_string(index));
        break;
    case audioMasterIdle:
        activeLog->push_back("host idle");
        if (onHostIdle)
            onHostIdle();
        break;
    default:
        break;
    }
    return 0;
}

class TestEffect : public AudioEffectX {
public:
    explicit TestEffect(VstInt32 params = 42) : AudioEffectX(recordingHost, 1, params) {}
    void processReplacing(float**, float**, VstInt32) override {}
    void processDoubleReplacing(double**, double**, VstInt32) override {}
};

// Opens a frame of the editor's size and lets the test fill it.
class TestEditor : public AEffGUIEditor {
public:
    TestEditor(AudioEffect* effect, int16_t width, int16_t height) : AEffGUIEditor(effect)
    {
        rect = ERect{0, 0, height, width};
    }

    std::function<void(CFrame&)> build;
    int opens = 0;
    int closes = 0;

    bool open(void* parent) override
    {
        if (!AEffGUIEditor::open(parent))
            return false;
        auto* f = new CFrame(CRect(0, 0, rect.right, rect.bottom), parent, this);
        if (!f->isOpen()) {
            f->forget();
            return false;
        }
        frame = f;
        ++opens;
        if (build)
            build(*frame);
        return true;
    }
    void close() override
    {
        if (frame)
            ++closes;
        AEffGUIEditor::close();
    }
};

class RecordingListener : public CControlListener {
public:
    explicit RecordingListener(std::vector<std::string>& log) : log_(log) {}
    void valueChanged(CDrawContext* /*context*/, CControl* control) override
    {
        values.push_back(control->getValue());
        log_.push_back("changed " + std::to_string(control->getTag()));
        if (onValueChanged)
            onValueChanged(control);
    }
    long controlModifierClicked(CDrawContext*, CControl* control, long buttons) override
    {
        log_.push_back("modifier " + std::to_string(control->getTag()) + " " + std::to_string(buttons));
        return modifierAnswer;
    }
    std::vector<float> values;
    long modifierAnswer = 0;
    std::function<void(CControl*)> onValueChanged;

private:
    std::vector<std::string>& log_;
};

// A bitmap reference for the length of a scope: views that take it remember it.
class Bitmap {
public:
    explicit Bitmap(long id) : bitmap_(new CBitmap(id)) {}
    ~Bitmap() { bitmap_->forget(); }
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;
    operator CBitmap*() const { return bitmap_; }
    CBitmap* operator->() const { return bitmap_; }

private:
    CBitmap* bitmap_;
};

inline void* const kParent = reinterpret_cast<void*>(0x1234);

// An open editor of 200 x 100 pixels on a scripted platform.
class Toolkit : public ::testing::Test {
protected:
    Toolkit()
    {
        activeLog = &log;
        effect = new TestEffect();
        editor = new TestEditor(effect, 200, 100);
    }
    ~Toolkit() override
    {
        delete effect; // deletes the editor, which forgets its frame
        activeLog = nullptr;
        onHostIdle = nullptr;
    }

    // Opens the editor with `build` filling the frame.
    void open(std::function<void(CFrame&)> build = nullptr)
    {
        editor->build = std::move(build);
        ASSERT_TRUE(editor->open(kParent));
        editor->idle(); // everything drawn once
        window().surface().clearOps();
        window().flushes.clear();
        log.clear();
    }
    ScriptedWindow& window() { return *platform.window(); }
    CFrame& frame() { return *editor->getFrame(); }

    // Adds a new view to `parent`, as editors do: the container takes the
    // creator's reference with its own and releases both when it goes.
    template <class T>
    T* add(CViewContainer& parent, T* view)
    {
        parent.addView(view);
        return view;
    }

    ScriptedPlatform platform;
    std::vector<std::string> log;
    RecordingListener listener{log};
    TestEffect* effect = nullptr;
    TestEditor* editor = nullptr;
};

} // namespace toolkit_test
