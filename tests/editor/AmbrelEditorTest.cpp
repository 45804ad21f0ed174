// The product editor on the scripted platform, in both builds: the window it
// builds, the gestures that reach the host, typed entry, the meters, lights
// and readout fed at idle, the page switch, knob mode, zoom and the rules for
// other threads and for the editor's lifetime.
#include "EditorTestSupport.h"

#include <cmath>
#include <thread>

namespace editortest {
namespace {

class Window : public EditorTest {};
EDITOR_TEST_BUILDS(Window);

TEST_P(Window, BuildsBothPagesFromTheLayoutWithTheBuildsTagsAndArt)
{
    EXPECT_EQ(effect->getAeffect()->flags & 0xFFFF, 0x1011);
    CFrame* f = editor->getFrame();
    ASSERT_NE(f, nullptr);
    ASSERT_NE(f->getBackground(), nullptr);
    EXPECT_EQ(f->getBackground()->getResourceId(), v().hasFat ? 19000 : 19100);
    EXPECT_EQ(editor->currentPage(), editor->mainPage());
    EXPECT_TRUE(f->isChild(editor->mainPage()));
    EXPECT_FALSE(f->isChild(editor->settingsPage()));
    EXPECT_EQ(editor->mainPage()->getViewSize(), CRect(0, 0, 450, 444));
    EXPECT_EQ(editor->settingsPage()->getViewSize(), CRect(0, 0, 450, 443));
    EXPECT_TRUE(effect->isEditorOpen());

    struct Expect {
        const char* name;
        const char* cls;
        int fatTag, plainTag, bitmap;
    };
    const Expect expected[] = {
        {"Process", "CMyOnOffButton", 0, 0, v().hasFat ? 19014 : 19114},
        {"Long", "CMyOnOffButton", 27, 32, 19035},
        {"Brickwall", "CMyOnOffButton", 29, 34, 19037},
        {"ChannelMode", "CMyLRUDButton", 57, 65, 19016},
        {"Meters", "CMyVerticalSwitch", 21, 21, 19005},
        {"Drive", "CAnimKnob3", 4, 4, 19009},
        {"Mix", "CAnimKnob2", 12, 12, 19008},
        {"MeterLeft", "CMovieMeter", 25, 35, 19003},
        {"Readout", "CCounter", 50, 56, 19021},
        {"OverRight", "CMovieLED", 55, 63, 19026},
        {"ToSettings", "CViewContainerSwitch", 52, 60, -1},
        {"LatencyClick", "CClickRect", 56, 64, -1},
        {"KnobMode", "CVerticalSwitch", 48, 54, 19033},
        {"ToMain", "CViewContainerSwitch", 53, 61, -1},
    };
    for (const Expect& e : expected) {
        SCOPED_TRACE(e.name);
        CControl* c = control(e.name);
        ASSERT_NE(c, nullptr);
        EXPECT_TRUE(c->isTypeOf(e.cls));
        EXPECT_EQ(c->getTag(), v().hasFat ? e.fatTag : e.plainTag);
        EXPECT_EQ(c->getViewSize(), desc(e.name).rect);
        if (e.bitmap > 0) {
            ASSERT_NE(c->getBackground(), nullptr);
            EXPECT_EQ(c->getBackground()->getResourceId(), e.bitmap);
        }
    }
    // FAT only where the build has it.
    EXPECT_EQ(editor->control(26) != nullptr, v().hasFat);
    EXPECT_EQ(editor->control(31), nullptr);

    // Defaults and wheel steps from the table; values from the effect.
    EXPECT_FLOAT_EQ(control("Mix")->getDefaultValue(), 1.0f);
    EXPECT_FLOAT_EQ(control("Drive")->getWheelInc(), 0.01302084f);
    EXPECT_FLOAT_EQ(control("Knee")->getWheelInc(), 0.03125f);
    EXPECT_FLOAT_EQ(control("Drive")->getValue(), effect->getParameter(4));
    EXPECT_FLOAT_EQ(editor->control(index(ParamId::OverIndic))->getDefaultValue(), 0.22222222f);
    EXPECT_TRUE(editor->control(index(ParamId::OverIndic))->isTypeOf("CAnimKnob2"));
    EXPECT_FALSE(editor->control(index(ParamId::LowSat))->isTypeOf("CAnimKnob2"));

    // The entry field exists but is not on the page; the readout starts at
    // +15.32 dB; the latency displays show the effect's latency.
    ASSERT_NE(editor->entryField(), nullptr);
    EXPECT_FALSE(editor->mainPage()->isChild(editor->entryField()));
    EXPECT_FLOAT_EQ(editor->readout()->getValue(), 15.32f);
    EXPECT_EQ(editor->readout()->getKind(), ReadoutKind::kDecibel);
    char text[256];
    editor->latencySamplesDisplay()->valueToText(editor->latencySamplesDisplay()->getValue(), text);
    EXPECT_STREQ(text, v().hasFat ? "639smps" : "127smps");
    // The settings displays show the engine's value through their converter.
    CParamDisplay* vu = editor->valueDisplay(index(ParamId::VuIntegr));
    ASSERT_NE(vu, nullptr);
    vu->valueToText(vu->getValue(), text);
    EXPECT_STREQ(text, "300ms");
}

TEST_P(Window, ADragReachesTheHostAsOneGestureAndFollowsTheDragLaw)
{
    CPoint drive = centre("Drive");
    drag(drive, 0, -100);
    EXPECT_NEAR(effect->getParameter(4), 0.5f + 1.0f / 3.0f, 1e-5);
    std::vector<std::string> g = hostLog().gestures();
    ASSERT_GE(g.size(), 3u);
    EXPECT_EQ(g.front(), "automate 4"); // the press tells the readout first
    EXPECT_EQ(std::count(g.begin(), g.end(), "begin 4"), 1);
    EXPECT_EQ(g.back(), "end 4");
    EXPECT_NEAR(hostLog().automated(4).back(), 0.5f + 1.0f / 3.0f, 1e-5);

    // Shift: one fifteenth per 100 pixels; to the right half as fast.
    CPoint knee = centre("Knee");
    effect->setParameter(5, 0.5f);
    editor->idle();
    platform.advance(1000);
    drag(knee, 0, -100, 10, kLButton | kShift);
    EXPECT_NEAR(effect->getParameter(5), 0.5f + 1.0f / 15.0f, 1e-5);
    platform.advance(1000);
    drag(knee, 100, 0);
    EXPECT_NEAR(effect->getParameter(5), 0.5f + 1.0f / 15.0f + 1.0f / 6.0f, 1e-5);

    // Shift pressed half way keeps the value and goes on finer.
    platform.advance(1000);
    control("Speed")->setValue(0.5f);
    window().drag({{centre("Speed"), kLButton},
                   {CPoint(centre("Speed").h, centre("Speed").v - 30), kLButton},
                   {CPoint(centre("Speed").h, centre("Speed").v - 30), kLButton | kShift},
                   {CPoint(centre("Speed").h, centre("Speed").v - 60), kLButton | kShift},
                   {CPoint(centre("Speed").h, centre("Speed").v - 60), 0}});
    EXPECT_NEAR(effect->getParameter(6), 0.5f + 0.1f + 30.0f / 1500.0f, 1e-5);
}

TEST_P(Window, CircularModeAndAltSwapTheDragKinds)
{
    // Linear mode (the default setting): Alt makes the drag circular, so a
    // press at the lowest left and a move to the top gives the middle.
    CPoint mix = centre("Mix");
    const CRect r = desc("Mix").rect;
    editor->setKnobMode(kLinearMode);
    control("Mix")->setValue(0.0f);
    window().drag({{CPoint(r.left + 2, r.bottom - 2), kLButton | kAlt},
                   {CPoint(mix.h, r.top), kLButton | kAlt},
                   {CPoint(mix.h, r.top), 0}});
    EXPECT_NEAR(effect->getParameter(12), 0.5f, 0.02f);

    // Circular mode: no wrap across the gap from the end to the start.
    effect->setParameter(index(ParamId::KnobMode), 0.0f);
    editor->idle();
    EXPECT_EQ(AEffGUIEditor::getKnobMode(), kCircularMode);
    platform.advance(1000);
    window().drag({{CPoint(r.right - 2, r.bottom - 2), kLButton},
                   {CPoint(r.right - 2, r.bottom - 1), kLButton},
                   {CPoint(r.left + 2, r.bottom - 1), kLButton},
                   {CPoint(r.left + 2, r.bottom - 1), 0}});
    EXPECT_FLOAT_EQ(effect->getParameter(12), 1.0f);
    // With Alt, circular mode drags linearly.
    platform.advance(1000);
    effect->setParameter(12, 0.2f);
    editor->idle();
    drag(mix, 0, -30, 5, kLButton | kAlt);
    EXPECT_NEAR(effect->getParameter(12), 0.3f, 1e-5);
    // A host's effSetEditKnobMode sets the same shared mode.
    effect->dispatcher(effSetEditKnobMode, 0, kLinearMode, nullptr, 0.0f);
    EXPECT_EQ(AEffGUIEditor::getKnobMode(), kLinearMode);
}

TEST_P(Window, CtrlClickRestoresTheDefaultWithoutAGesture)
{
    effect->setParameterAutomated(12, 0.25f);
    effect->setParameterAutomated(4, 0.9f);
    editor->idle();
    hostLog().calls.clear();
    window().click(centre("Mix"), kLButton | kControl);
    EXPECT_FLOAT_EQ(effect->getParameter(12), 1.0f);
    EXPECT_EQ(hostLog().gestures(), std::vector<std::string>{"automate 12"});
    window().click(centre("Drive"), kLButton | kControl);
    EXPECT_FLOAT_EQ(effect->getParameter(4), 0.5f);
    // A Ctrl+click on a button only toggles it.
    const float link = effect->getParameter(3);
    window().click(centre("Link"), kLButton | kControl);
    EXPECT_NE(effect->getParameter(3), link);
}

TEST_P(Window, DoubleClickTypesAValueThatAnyClickCommits)
{
    // Drive at 0 dB shows "0.0"; typing 6 with FineTune at 100 % sets 0.625.
    effect->setParameter(index(ParamId::FineTune), 1.0f);
    window().click(centre("Drive"));
    window().click(centre("Drive"));
    CMyTextEdit* field = editor->entryField();
    ASSERT_TRUE(editor->mainPage()->isChild(field));
    ASSERT_NE(platform.lastTextField(), nullptr);
    EXPECT_TRUE(platform.lastTextField()->open);
    EXPECT_EQ(platform.lastTextField()->text, "0.0");
    EXPECT_EQ(platform.lastTextField()->desc.rect, desc("EntryField").rect);
    platform.lastTextField()->type("6");
    hostLog().calls.clear();
    window().click(centre("LatencyClick")); // any click elsewhere commits first
    EXPECT_FALSE(platform.lastTextField()->open);
    EXPECT_FALSE(editor->mainPage()->isChild(field));
    EXPECT_FLOAT_EQ(effect->getParameter(4), 0.625f);
    EXPECT_FLOAT_EQ(control("Drive")->getValue(), 0.625f);
    EXPECT_EQ(hostLog().gestures(), (std::vector<std::string>{"begin 4", "automate 4", "end 4"}));

    // Release starts with one decimal, Knee with two; Escape keeps the value.
    effect->setParameter(5, 0.5f);
    effect->setParameter(7, 0.5f);
    editor->idle();
    platform.advance(1000);
    window().click(centre("Knee"));
    window().click(centre("Knee"));
    EXPECT_EQ(platform.lastTextField()->text, "50.00");
    platform.lastTextField()->type("80");
    platform.lastTextField()->pressEscape();
    EXPECT_FLOAT_EQ(effect->getParameter(5), 0.5f);
    EXPECT_FALSE(editor->mainPage()->isChild(field));

    // Return commits too; the typed text is cut at 63 characters.
    platform.advance(1000);
    window().click(centre("Release"));
    window().click(centre("Release"));
    EXPECT_EQ(platform.lastTextField()->text, "1.0");
    platform.lastTextField()->type("2" + std::string(100, '0'));
    platform.lastTextField()->pressReturn();
    EXPECT_FLOAT_EQ(effect->getParameter(7), 1.0f);

    // No entry on the settings page, and none from a settings knob.
    editor->setParameter(tag(layout::EditorTag::ToSettings), 1.0f);
    editor->idle();
    const size_t fields = platform.textFields.size();
    platform.advance(1000);
    const CPoint lowSat = centre(layout::kSettingsKnobs[0].knob);
    window().click(lowSat);
    window().click(lowSat);
    editor->beginValueEntry(4);
    EXPECT_EQ(platform.textFields.size(), fields);
}

TEST(TypedEntry, ConvertsEachKnobsUnitsAndLimitsTheResult)
{
    auto typed = [](ParamId id, const char* text, double s = 1.0) {
        return AmbrelEditor::typedValue(variants::kAmbrel2, id, text, s);
    };
    EXPECT_FLOAT_EQ(typed(ParamId::Drive, "6"), 0.625f);
    EXPECT_FLOAT_EQ(typed(ParamId::Drive, "-30"), 0.0f);
    EXPECT_FLOAT_EQ(typed(ParamId::Drive, "3", 0.125), (3.0f + 3.0f) / 6.0f);
    EXPECT_FLOAT_EQ(typed(ParamId::HighAdjust, "6", 0.5), (6.0f + 6.0f) / 12.0f);
    EXPECT_FLOAT_EQ(typed(ParamId::Output, "-6", 0.25), (-6.0f + 6.0f) / 12.0f);
    EXPECT_FLOAT_EQ(typed(ParamId::Release, "2"), 0.75f);
    EXPECT_FLOAT_EQ(typed(ParamId::Release, "-1"), 0.0f);
    EXPECT_FLOAT_EQ(typed(ParamId::HighFreq, "16000"), 1.0f);
    EXPECT_FLOAT_EQ(typed(ParamId::HighFreq, "4000"), 0.5f);
    EXPECT_FLOAT_EQ(typed(ParamId::LowFreq, "100"), 0.5f);
    EXPECT_FLOAT_EQ(typed(ParamId::LowFreq, "0"), 0.0f);
    EXPECT_FLOAT_EQ(typed(ParamId::Mix, "75"), 0.75f);
    EXPECT_FLOAT_EQ(typed(ParamId::Knee, "250"), 1.0f);
    // "-0" is the bottom of the range, not a negative zero the host would
    // show as -0.0.
    EXPECT_FALSE(std::signbit(typed(ParamId::Knee, "-0")));
    // Text that is no number counts as 0 (0 dB on Drive is the middle);
    // both decimal marks and a trailing unit are understood.
    EXPECT_FLOAT_EQ(typed(ParamId::Drive, "loud"), 0.5f);
    EXPECT_FLOAT_EQ(typed(ParamId::Drive, ""), 0.5f);
    EXPECT_FLOAT_EQ(typed(ParamId::Mix, "12,5"), 0.125f);
    EXPECT_FLOAT_EQ(typed(ParamId::Mix, " 12.5 %"), 0.125f);
    EXPECT_FLOAT_EQ(typed(ParamId::Mix, "1e1"), 0.1f);
    EXPECT_FLOAT_EQ(typed(ParamId::Mix, "1e999"), 1.0f);
    EXPECT_FLOAT_EQ(typed(ParamId::Fat, "1"), 0.0f);
}

TEST_P(Window, TheChannelModeButtonsFourZonesSetTheSelectorAndAutomateItsTwoParameters)
{
    const CRect r = desc("ChannelMode").rect;
    const int monoStereo = index(ParamId::MonoStereo), lr = index(ParamId::LR);
    struct Zone {
        CPoint where;
        float monoStereo, lr;
    };
    const Zone zones[] = {
        {CPoint(r.left + 2, (r.top + r.bottom) / 2), 0.0f, 0.5f},  // left: L
        {CPoint(r.right - 8, (r.top + r.bottom) / 2), 0.0f, 1.0f}, // right: R (Link covers the last pixels)
        {CPoint((r.left + r.right) / 2, r.bottom - 2), 1.0f, 0.0f}, // down: stereo
        {CPoint((r.left + r.right) / 2, r.top + 2), 0.0f, 0.0f},   // up: mono
    };
    for (const Zone& z : zones) {
        hostLog().calls.clear();
        window().click(z.where);
        EXPECT_FLOAT_EQ(effect->getParameter(monoStereo), z.monoStereo);
        EXPECT_FLOAT_EQ(effect->getParameter(lr), z.lr);
        const std::vector<std::string> g = hostLog().gestures();
        const std::vector<std::string> once{"begin " + std::to_string(monoStereo), "begin " + std::to_string(lr),
                                            "automate " + std::to_string(monoStereo),
                                            "automate " + std::to_string(lr), "end " + std::to_string(monoStereo),
                                            "end " + std::to_string(lr)};
        ASSERT_GE(g.size(), 6u);
        EXPECT_EQ(std::vector<std::string>(g.end() - 6, g.end()), once);
        EXPECT_EQ(hostLog().automated(index(ParamId::StereoSelector)).size(), 0u);
        EXPECT_EQ(CMyLRUDButton::frameForValue(control("ChannelMode")->getValue()),
                  CMyLRUDButton::frameForValue(effect->getParameter(index(ParamId::StereoSelector))));
    }
    // The top-left corner is no zone: the value stays.
    const float before = control("ChannelMode")->getValue();
    window().click(CPoint(r.left + 1, r.top + 1));
    EXPECT_FLOAT_EQ(control("ChannelMode")->getValue(), before);
}

TEST_P(Window, PageSwitchHidesTheMainPageAndKeepsTheStrip)
{
    CFrame* f = editor->getFrame();
    window().click(centre("ToSettings"));
    EXPECT_EQ(editor->currentPage(), editor->settingsPage());
    EXPECT_TRUE(f->isChild(editor->settingsPage()));
    EXPECT_FALSE(f->isChild(editor->mainPage()));
    ASSERT_NE(editor->nameField(), nullptr);
    EXPECT_TRUE(f->isChild(editor->nameField()));
    // The strip stays on top of the page.
    EXPECT_EQ(f->getView(0), editor->settingsPage());

    // Meters, lights and readout rest while the settings page shows; the
    // over flags wait in the effect.
    editor->setParameter(index(ParamId::Drive), 0.7f);
    editor->idle();
    window().click(centre("ToMain"));
    EXPECT_EQ(editor->currentPage(), editor->mainPage());
    EXPECT_EQ(f->getView(0), editor->mainPage());
    EXPECT_EQ(hostLog().count(audioMasterAutomate), 0);

    // The settings page's controls followed the effect while hidden.
    effect->setParameter(index(ParamId::LowSat), 1.0f);
    editor->idle();
    EXPECT_FLOAT_EQ(editor->control(index(ParamId::LowSat))->getValue(), 1.0f);
}

TEST_P(Window, AMeterClickFlipsBothScalesWithoutAutomation)
{
    const int scaleIndex = index(ParamId::MeterScale);
    EXPECT_EQ(editor->meter(0)->getScale(), 0);
    window().click(centre("MeterRight"));
    EXPECT_EQ(editor->meter(0)->getScale(), 1);
    EXPECT_EQ(editor->meter(1)->getScale(), 1);
    EXPECT_FLOAT_EQ(effect->getParameter(scaleIndex), 1.0f);
    EXPECT_EQ(hostLog().count(audioMasterAutomate), 0);
    EXPECT_EQ(hostLog().count(audioMasterBeginEdit), 0);
    // The next idle draws the alternate strip.
    editor->idle();
    EXPECT_NE(window().surface().lastBitmap(skin::kMeterAlternate), nullptr);
    window().click(centre("MeterLeft"));
    EXPECT_EQ(editor->meter(1)->getScale(), 0);
}

TEST_P(Window, MetersAndOverLightsFollowTheEngineOnTheMainPage)
{
    // An over at idle k: 5 then 4, 3, 2 and a hold at 2 on the next idles.
    effect->engine(); // the flags are the engine's
    editor->overLight(0)->setValue(1.0f);
    std::vector<long> frames;
    for (int i = 0; i < 6; ++i) {
        editor->idle();
        frames.push_back(editor->overLight(0)->lastFrame());
    }
    EXPECT_EQ(frames, (std::vector<long>{5, 4, 3, 2, 2, 2}));
    // A click turns it dark.
    window().click(centre("OverLeft"));
    editor->idle();
    EXPECT_EQ(editor->overLight(0)->lastFrame(), 0);
    // Index 54/55 resets both lights.
    editor->overLight(1)->setValue(1.0f);
    editor->idle();
    effect->setParameter(tag(layout::EditorTag::OverRight), 1.0f);
    editor->idle();
    editor->idle();
    EXPECT_EQ(editor->overLight(1)->lastFrame(), 0);
}

TEST_P(Window, TheHoverReadoutShowsTheKnobUnderThePointerAndBlanksWhenNoneIs)
{
    window().setPointer(centre("Knee"));
    effect->setParameter(5, 0.25f);
    editor->readout()->setValueAndKind(1.0f, ReadoutKind::kDecibel);
    int idlesTaken = 0;
    while (editor->readout()->getKind() != ReadoutKind::kPercent && idlesTaken < 20) {
        editor->idle();
        ++idlesTaken;
    }
    EXPECT_LE(idlesTaken, 9);
    EXPECT_FLOAT_EQ(editor->readout()->getValue(), 25.0f);
    editor->idle();
    EXPECT_EQ(editor->readout()->shownCells(), readoutCells(25.0f, ReadoutKind::kPercent));

    // Off every control: blank on the 11th check, not before (counted from
    // the last blanking; checks on a knob do not count).
    window().setPointer(CPoint(440, 10));
    for (int i = 0; i < 120 && editor->readout()->getKind() != ReadoutKind::kBlank; ++i)
        editor->idle();
    ASSERT_EQ(editor->readout()->getKind(), ReadoutKind::kBlank);
    window().setPointer(centre("Knee"));
    idles(9);
    ASSERT_EQ(editor->readout()->getKind(), ReadoutKind::kPercent);
    while (editor->hoverPollCounter() != 0)
        editor->idle();
    window().setPointer(CPoint(440, 10));
    for (int check = 1; check <= 10; ++check) {
        idles(9);
        EXPECT_EQ(editor->readout()->getKind(), ReadoutKind::kPercent) << check;
    }
    idles(9);
    EXPECT_EQ(editor->readout()->getKind(), ReadoutKind::kBlank);
}

TEST_P(Window, HostAutomationMovesControlsAndTheReadoutAtTheNextIdle)
{
    effect->setParameter(index(ParamId::HighFreq), 0.25f);
    editor->idle();
    effect->setParameter(index(ParamId::HighFreq), 1.0f);
    EXPECT_FLOAT_EQ(control("HighFreq")->getValue(), 0.25f); // nothing until the window's idle
    editor->idle();
    EXPECT_FLOAT_EQ(control("HighFreq")->getValue(), 1.0f);
    EXPECT_EQ(editor->readout()->getKind(), ReadoutKind::kHertz);
    EXPECT_NEAR(editor->readout()->getValue(), 16000.0f, 0.5f);
    // Mono Stereo from the host shows on the channel-mode button.
    effect->setParameter(index(ParamId::MonoStereo), 0.0f);
    editor->idle();
    EXPECT_EQ(CMyLRUDButton::frameForValue(control("ChannelMode")->getValue()), 0);
    // A host's 0.49 shows a switch off, 0.5 on.
    effect->setParameter(index(ParamId::Link), 0.49f);
    editor->idle();
    editor->idle();
    EXPECT_EQ(window().surface().frameShown(skin::kLinkButton, desc("Link").rect, 40), 0);
    effect->setParameter(index(ParamId::Link), 0.5f);
    editor->idle();
    editor->idle();
    EXPECT_EQ(window().surface().frameShown(skin::kLinkButton, desc("Link").rect, 40), 1);
    // A new latency reaches the displays.
    effect->setSampleRate(96000.0f);
    editor->idle();
    char text[256];
    editor->latencySamplesDisplay()->valueToText(editor->latencySamplesDisplay()->getValue(), text);
    EXPECT_STREQ(text, v().hasFat ? "1151smps" : "255smps");
}

TEST_P(Window, AnotherThreadOnlyStoresValuesTheWindowThreadDraws)
{
    window().surface().clearOps();
    const size_t flushes = window().flushes.size();
    std::thread audio([&] {
        for (int i = 0; i < 2000; ++i) {
            effect->setParameter(4, static_cast<float>(i % 100) / 100.0f);
            effect->setParameter(tag(layout::EditorTag::ToSettings), 1.0f);
            effect->setParameter(tag(layout::EditorTag::OverLeft), 1.0f);
        }
    });
    for (int i = 0; i < 200; ++i)
        editor->idle();
    audio.join();
    editor->idle();
    EXPECT_FLOAT_EQ(control("Drive")->getValue(), effect->getParameter(4));
    EXPECT_GT(window().flushes.size(), flushes);

    // From another thread, nothing is drawn or shown.
    window().surface().clearOps();
    const size_t before = window().flushes.size();
    std::thread([&] { effect->setParameter(4, 0.1f); }).join();
    EXPECT_TRUE(window().surface().ops.empty());
    EXPECT_EQ(window().flushes.size(), before);
}

TEST_P(Window, ZoomFromThePageBackgroundMenu)
{
    // A right click on a control is the control's; on the background it
    // opens the menu.
    window().click(centre("Drive"), kRButton);
    EXPECT_TRUE(platform.menusShown.empty());
    platform.chooseMenuItem({1});
    window().click(CPoint(20, 20), kRButton);
    ASSERT_EQ(platform.menusShown.size(), 1u);
    ASSERT_EQ(platform.menusShown[0].items.size(), 2u);
    EXPECT_EQ(platform.menusShown[0].items[0].title, "Zoom 100%");
    EXPECT_EQ(platform.menusShown[0].items[1].title, "Zoom 200%");
    EXPECT_EQ(editor->getZoom(), 2);
    // This host cannot resize: the window keeps its size until reopened.
    EXPECT_EQ(window().scale(), 1);
    EXPECT_EQ(hostLog().count(audioMasterSizeWindow), 0);
    ASSERT_TRUE(store->keys.count(""));
    const SettingsStore::Value* kept = SettingsStore::find(store->keys[""], AmbrelEditor::kZoomValueName);
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(SettingsStore::asFloat(*kept), 2.0f);
    editor->close();
    ASSERT_TRUE(editor->open(kParent));
    EXPECT_EQ(window().scale(), 2);
    ERect* r = nullptr;
    ASSERT_TRUE(editor->getRect(&r));
    EXPECT_EQ(r->right, 900);

    // A host that resizes on request gets asked at once.
    hostLog().canSizeWindow = true;
    platform.chooseMenuItem({0});
    window().click(CPoint(20, 20), kRButton);
    EXPECT_EQ(window().scale(), 1);
    ASSERT_EQ(hostLog().count(audioMasterSizeWindow), 1);
    for (const Call& c : hostLog().calls)
        if (c.opcode == audioMasterSizeWindow) {
            EXPECT_EQ(c.index, 450);
            EXPECT_EQ(c.value, 460);
        }
}

TEST_P(Window, OpenCloseAndLifetime)
{
    // Close clears the flag first; values set while closed show at open.
    editor->close();
    EXPECT_FALSE(effect->isEditorOpen());
    EXPECT_EQ(editor->getFrame(), nullptr);
    EXPECT_EQ(editor->control(4), nullptr);
    effect->setParameter(4, 0.2f);
    ASSERT_TRUE(editor->open(kParent));
    EXPECT_FLOAT_EQ(control("Drive")->getValue(), 0.2f);
    // Open again without closing, close twice, close while typing.
    ASSERT_TRUE(editor->open(kParent));
    EXPECT_EQ(platform.liveWindows(), 1u);
    window().click(centre("Mix"));
    window().click(centre("Mix"));
    platform.lastTextField()->type("40");
    editor->close();
    EXPECT_FLOAT_EQ(effect->getParameter(12), 0.4f);
    editor->close();
    EXPECT_EQ(platform.liveWindows(), 0u);

    // A second editor replaces the first (which is freed), and the effect
    // frees its editor before the engine it reads: both checked by the
    // sanitizers.
    ASSERT_TRUE(editor->open(kParent));
    auto* second = new AmbrelEditor(effect.get());
    EXPECT_EQ(effect->getEditor(), second);
    ASSERT_TRUE(second->open(kParent));
    second->idle();
    effect.reset();
    EXPECT_EQ(platform.liveWindows(), 0u);
}

TEST_P(Window, WheelGoesToTheControlUnderThePointer)
{
    effect->setParameter(5, 0.5f);
    editor->idle();
    window().wheel(centre("Knee"), 1.0f);
    EXPECT_FLOAT_EQ(effect->getParameter(5), 0.5f + 0.03125f);
    EXPECT_EQ(hostLog().gestures(), (std::vector<std::string>{"begin 5", "automate 5", "end 5"}));
    window().wheel(centre("Drive"), -2.0f);
    EXPECT_FLOAT_EQ(effect->getParameter(4), effect->getParameter(4)); // moved without a fault
    window().wheel(CPoint(440, 10), 1.0f); // nothing under the pointer: nothing happens
}

} // namespace
} // namespace editortest
