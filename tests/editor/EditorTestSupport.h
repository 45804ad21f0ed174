// The product editor of a real effect, open on the scripted platform, for
// both builds: a host that records its callbacks (and may say it resizes
// windows), an in-memory settings store, and helpers to find controls by
// their layout name and act on them with the fake mouse.
#pragma once

#include "PresetTestSupport.h"
#include "ScriptedPlatform.h"

#include "editor/AmbrelEditor.h"
#include "editor/Layout.h"
#include "resources/SkinIds.h"

#include <cstring>
#include <string>
#include <vector>

namespace editortest {

using namespace VSTGUI;
using VSTGUI::scripted::PointerStep;
using VSTGUI::scripted::ScriptedPlatform;
using VSTGUI::scripted::ScriptedWindow;

struct Call {
    VstInt32 opcode, index;
    VstIntPtr value;
    float opt;
};

struct Host {
    std::vector<Call> calls;
    bool canSizeWindow = false;
    static Host& get()
    {
        static Host host;
        return host;
    }
    // Calls of one kind as "opcode index" strings (automation adds the value).
    std::vector<std::string> gestures() const
    {
        std::vector<std::string> out;
        for (const Call& c : calls) {
            if (c.opcode == audioMasterBeginEdit)
                out.push_back("begin " + std::to_string(c.index));
            else if (c.opcode == audioMasterEndEdit)
                out.push_back("end " + std::to_string(c.index));
            else if (c.opcode == audioMasterAutomate)
                out.push_back("automate " + std::to_string(c.index));
        }
        return out;
    }
    std::vector<float> automated(VstInt32 index) const
    {
        std::vector<float> out;
        for (const Call& c : calls)
            if (c.opcode == audioMasterAutomate && c.index == index)
                out.push_back(c.opt);
        return out;
    }
    int count(VstInt32 opcode) const
    {
        int n = 0;
        for (const Call& c : calls)
            n += c.opcode == opcode;
        return n;
    }
};

inline VstIntPtr VSTCALLBACK host(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
    if (opcode == audioMasterVersion)
        return 2400;
    if (opcode == audioMasterCanDo)
        return Host::get().canSizeWindow && ptr && std::strcmp(static_cast<const char*>(ptr), "sizeWindow") == 0;
    Host::get().calls.push_back({opcode, index, value, opt});
    return opcode == audioMasterSizeWindow ? 1 : 0;
}

inline void* const kParent = reinterpret_cast<void*>(0x5151);

class EditorTest : public ::testing::TestWithParam<const Variant*> {
protected:
    void SetUp() override
    {
        for (const skin::BitmapGeometry& g : skin::kBitmapGeometry)
            platform.addBitmap(g.id, g.width, g.height);
        Host::get() = Host{};
        effect = std::make_unique<Ambrel>(host, v(), makeAmbrelEditor);
        auto fake = std::make_unique<presettest::MemorySettingsStore>();
        store = fake.get();
        effect->setSettingsStore(std::move(fake));
        editor = dynamic_cast<AmbrelEditor*>(effect->getEditor());
        ASSERT_NE(editor, nullptr);
        ASSERT_TRUE(editor->open(kParent));
        editor->idle();
        Host::get().calls.clear();
    }
    void TearDown() override
    {
        effect.reset();
        Host::get() = Host{};
    }

    const Variant& v() const { return *GetParam(); }
    int index(ParamId id) const { return v().index(id); }
    int tag(layout::EditorTag t) const { return layout::editorTag(v(), t); }
    ScriptedWindow& window() { return *platform.window(); }
    Host& hostLog() { return Host::get(); }

    static const layout::ControlSpec& desc(const char* name)
    {
        for (const layout::ControlSpec& s : layout::kMainPageControls)
            if (std::strcmp(s.name, name) == 0)
                return s;
        for (const layout::ControlSpec& s : layout::kSettingsPageControls)
            if (std::strcmp(s.name, name) == 0)
                return s;
        ADD_FAILURE() << name;
        return layout::kMainPageControls[0];
    }
    static CPoint centre(const CRect& r) { return CPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2); }
    static CPoint centre(const char* name) { return centre(desc(name).rect); }
    CControl* control(const char* name) { return editor->control(layout::tagOf(v(), desc(name))); }

    // A linear drag from `from` by (dx, dy) in `steps` moves, with the
    // buttons `held` throughout.
    void drag(CPoint from, int dx, int dy, int steps = 10, int32_t held = kLButton)
    {
        std::vector<PointerStep> script{{from, held}};
        for (int i = 1; i <= steps; ++i)
            script.push_back({CPoint(from.h + dx * i / steps, from.v + dy * i / steps), held});
        script.push_back({CPoint(from.h + dx, from.v + dy), 0});
        window().drag(script);
    }
    void idles(int n)
    {
        for (int i = 0; i < n; ++i)
            editor->idle();
    }

    ScriptedPlatform platform; // first in, last out
    std::unique_ptr<Ambrel> effect;
    presettest::MemorySettingsStore* store = nullptr;
    AmbrelEditor* editor = nullptr; // owned by the effect
};

#define EDITOR_TEST_BUILDS(Suite)                                                                                    \
    INSTANTIATE_TEST_SUITE_P(Builds, Suite, ::testing::Values(&variants::kAmbrel2, &variants::kAmbrel),            \
                             [](const auto& info) { return info.param->hasFat ? "Ambrel2" : "Ambrel"; })

} // namespace editortest
