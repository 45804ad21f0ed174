// A platform for tests of the toolkit and of the editors built on it: no
// window system, a fake clock, a pointer that follows a script, surfaces
// that record what was drawn, and a text field, pop-up menu, message box and
// file dialog whose outcomes the test decides.
//
// Use:
//
//   VSTGUI::scripted::ScriptedPlatform platform;  // installed until it goes
//   platform.addBitmap(19032, 30, 1530);         // bitmaps that "load"
//   ... open an editor on any non-null parent, e.g. reinterpret_cast<void*>(1)
//   ScriptedWindow& window = *platform.window();
//   window.drag({{{70, 200}, kLButton}, {{70, 150}, kLButton}, {{70, 150}, 0}});
//   editor.idle();
//   window.surface().frameShown(19032, knobRect, 30);  // which image shows
//
// Pointer scripts: the buttons are read (polled) by the toolkit at the
// moment of asking. A script is a list of steps; the head step is the
// current state. Every read of the buttons returns the head's buttons and
// uses up one of its `polls`; when they are used up the next step becomes
// the head. The pointer position always reads the head's position. When the
// script is used up the resting state (setPointer) holds. A control's
// tracking loop reads the buttons once before it starts (for a click
// delivered as "read the state"), then once per pass after reading the
// position; so in drag() the first step is the press and each later step is
// the position and buttons one pass sees.
#pragma once

#include "gui/Platform.h"

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace VSTGUI::scripted {

struct PointerStep {
    CPoint where;         // window coordinates
    int32_t buttons = 0;  // CButton bits, as the toolkit reads them
    int32_t polls = 1;    // reads of the buttons this step lasts
};

// One drawing operation on a scripted surface, in surface (window) pixels.
struct DrawOp {
    enum class Kind { kFill, kFrame, kLine, kBitmap, kText, kCopy };
    Kind kind = Kind::kFill;
    CRect rect;             // destination (line: the bounding box)
    CRect visible;          // destination limited to the clip at that moment
    CPoint from, to;        // line ends
    CPoint source;          // bitmap or copy source point
    int32_t bitmapId = -1;  // bitmap resource id
    BlendMode mode = BlendMode::kCopy;
    CColor color;           // fill, frame, line, text colour; transparent colour of a bitmap
    uint8_t alpha = 255;
    std::string text;
    int32_t fontId = 0;
    int32_t face = 0;
    int32_t align = 0;
};

class ScriptedBitmap final : public PlatformBitmap {
public:
    ScriptedBitmap(int32_t id, int32_t width, int32_t height) : id_(id), width_(width), height_(height) {}
    int32_t width() const override { return width_; }
    int32_t height() const override { return height_; }
    int32_t id() const { return id_; }

private:
    int32_t id_, width_, height_;
};

// Records every operation; draws no pixels (readPixels answers false).
// Text is 6 pixels wide per byte.
class ScriptedSurface final : public PlatformOffscreen {
public:
    ScriptedSurface(int32_t width, int32_t height, int32_t scale);

    std::vector<DrawOp> ops;
    void clearOps() { ops.clear(); }

    // The image index (source offset / frame height) of the last drawing of
    // bitmap `id` whose destination is `dest` and which was not clipped
    // away; -1 when there is none.
    int32_t frameShown(int32_t bitmapId, const CRect& dest, int32_t frameHeight) const;
    // The last operation drawing bitmap `id` (any destination), or null.
    const DrawOp* lastBitmap(int32_t bitmapId) const;
    // The last text drawn whose rectangle is `rect`, or nullopt.
    std::optional<std::string> lastText(const CRect& rect) const;
    // Number of operations touching (visibly) any pixel of `area`.
    size_t opsTouching(const CRect& area) const;

    // PlatformSurface
    int32_t width() const override { return width_; }
    int32_t height() const override { return height_; }
    int32_t scale() const override { return scale_; }
    void setClip(const CRect& clip) override;
    CRect getClip() const override { return clip_; }
    void fillRect(const CRect& rect, CColor color) override;
    void frameRect(const CRect& rect, CColor color) override;
    void drawLine(CPoint from, CPoint to, CColor color) override;
    void drawBitmap(const PlatformBitmap& bitmap, const CRect& dest, CPoint source, BlendMode mode,
                    CColor transparent, uint8_t alpha) override;
    void drawText(const char* text, const CRect& rect, int32_t fontId, int32_t face, CColor color,
                  int32_t align) override;
    int32_t textWidth(const char* text, int32_t fontId, int32_t face) override;
    bool readPixels(std::vector<uint32_t>& pixels, int32_t& deviceWidth, int32_t& deviceHeight) override;
    void copyTo(PlatformSurface& target, const CRect& dest, CPoint source) override;

    void resize(int32_t width, int32_t height, int32_t scale);

    // Called on every operation, after it is recorded (a test can act "while
    // the toolkit draws", for instance set a value from another thread).
    std::function<void(const DrawOp&)> onDraw;

private:
    void record(DrawOp op);
    int32_t width_, height_, scale_;
    CRect clip_;
};

// A text field the toolkit opened. It stays readable after the toolkit
// closed it; the user's actions act only while it is open.
struct TextFieldRecord {
    TextFieldSpec desc;               // as the toolkit asked for it
    std::string text;                 // the contents now
    bool open = true;
    std::vector<std::pair<VstKeyCode, bool>> keys; // keys forwarded by the host (key, down)

    // The user replaces the contents (kept to desc.maxLength bytes).
    void type(const std::string& newText);
    // Return (commit), Escape (cancel), or a click elsewhere (commit).
    void pressReturn() { close(true); }
    void pressEscape() { close(false); }
    void loseFocus() { close(true); }

    PlatformTextFieldListener* listener = nullptr; // null once closed

private:
    void close(bool commit);
};

// A pop-up menu as it was shown: a copy of the model (submenus included)
// and where it opened.
struct ShownMenu {
    struct Item {
        std::string title;
        uint32_t flags = 0;
        std::shared_ptr<ShownMenu> submenu;
    };
    std::vector<Item> items;
    CPoint where;
};

class ScriptedPlatform;

class ScriptedWindow final : public PlatformWindow {
public:
    ScriptedWindow(ScriptedPlatform& platform, const WindowSpec& desc, PlatformWindowListener* listener);
    ~ScriptedWindow() override;

    const WindowSpec& desc() const { return spec_; }
    PlatformWindowListener* listener() const { return listener_; }
    ScriptedSurface& surface() { return buffer_; }

    // Pointer.
    void setPointer(CPoint where, int32_t buttons = 0); // the resting state
    void script(std::vector<PointerStep> steps);        // replaces any script left
    size_t stepsLeft() const { return script_.size(); }
    uint32_t buttonReads() const { return buttonReads_; }
    // True when the toolkit read held buttons from the resting state so often
    // that the script must have been too short (the buttons then read 0).
    bool runaway() const { return runaway_; }

    // Input, delivered at once as the window system would.
    // A button-down at the first step's point, with the steps as the script.
    void press(std::vector<PointerStep> steps);
    // A click: press at `where` with `buttons`, then release there.
    void click(CPoint where, int32_t buttons = kLButton);
    // Press at steps[0], move through the others, as press().
    void drag(std::vector<PointerStep> steps) { press(std::move(steps)); }
    void wheel(CPoint where, float distance, int32_t axis = 0);
    bool key(const VstKeyCode& key, bool down);
    // Input that waits for the next pumpEvents (the X11 way).
    void postEvent(std::function<void()> event) { pending_.push_back(std::move(event)); }
    // The host destroys its parent window before closing the editor.
    void hostDestroysWindow();

    // What the toolkit did with the window.
    std::vector<CRect> flushes;   // areas shown, in order
    std::vector<CRect> invalidated;
    uint32_t pumps = 0;           // pumpEvents calls
    uint32_t paints = 0;          // paints dispatched
    // Areas waiting for a paint (invalidate, or a test exposing the window).
    std::vector<CRect> paintQueue;

    // PlatformWindow
    void* nativeHandle() const override { return const_cast<ScriptedWindow*>(this); }
    int32_t scale() const override { return spec_.scale; }
    PlatformSurface& backBuffer() override { return buffer_; }
    void flush(const CRect& area) override { flushes.push_back(area); }
    void invalidate(const CRect& area) override;
    void pumpEvents() override;
    void dispatchPendingPaint() override;
    int32_t getMouseButtons() override;
    CPoint getMouseLocation() override;
    void setSize(int32_t width, int32_t height, int32_t scale) override;
    std::unique_ptr<PlatformTextField> createTextField(const TextFieldSpec& desc,
                                                       PlatformTextFieldListener* listener) override;
    MenuResult popupMenu(const MenuModel& menu, CPoint where) override;

private:
    ScriptedPlatform& platform_;
    WindowSpec spec_;
    PlatformWindowListener* listener_;
    ScriptedSurface buffer_;
    PointerStep rest_;
    std::deque<PointerStep> script_;
    std::deque<std::function<void()>> pending_;
    uint32_t buttonReads_ = 0;
    uint32_t restingHeldReads_ = 0;
    bool runaway_ = false;
};

class ScriptedPlatform final : public Platform {
public:
    // Installs itself as the toolkit's platform; the destructor uninstalls it.
    ScriptedPlatform();
    ~ScriptedPlatform() override;

    // Bitmaps that load, by resource id; any other id fails to load.
    void addBitmap(int32_t id, int32_t width, int32_t height);

    // Clock: ticks() reads `now`; sleep() advances it. Each read of the
    // mouse buttons advances it by `msPerButtonRead`.
    uint32_t now = 100000;
    uint32_t msPerButtonRead = 0;
    uint32_t slept = 0;     // total milliseconds slept
    uint32_t sleeps = 0;    // sleep calls
    void advance(uint32_t milliseconds) { now += milliseconds; }

    uint32_t systemDoubleClickTime = 500;
    int32_t displayScale = 1;     // preferredScale
    bool failWindows = false;     // createWindow answers null (no display)
    bool failTextFields = false;  // createTextField answers null

    // Windows.
    ScriptedWindow* window() const { return windows_.empty() ? nullptr : windows_.back(); }
    size_t liveWindows() const { return windows_.size(); }
    uint32_t windowsCreated = 0;

    // Text fields, in the order the toolkit opened them.
    std::vector<std::shared_ptr<TextFieldRecord>> textFields;
    TextFieldRecord* lastTextField() const { return textFields.empty() ? nullptr : textFields.back().get(); }

    // Menus: every menu shown, and who answers (default: cancel).
    std::vector<ShownMenu> menusShown;
    std::function<MenuResult(const MenuModel& menu, CPoint where)> menuChooser;
    // Answers the next menus with item `index` of the top menu, or with
    // item `path.back()` of the submenu reached through the earlier indices.
    void chooseMenuItem(std::vector<int32_t> path);
    void cancelMenus() { menuChooser = nullptr; }

    // Message boxes shown (caption, text) and file dialogs: each dialog
    // takes the next answer (nullopt: cancelled; none left: cancelled).
    std::vector<std::pair<std::string, std::string>> messages;
    std::vector<FileDialogSpec> fileDialogsShown;
    std::deque<std::optional<std::string>> fileDialogAnswers;

    // Platform
    std::unique_ptr<PlatformWindow> createWindow(const WindowSpec& desc, PlatformWindowListener* listener) override;
    int32_t preferredScale(void* parent) override;
    std::shared_ptr<PlatformBitmap> loadBitmap(int32_t resourceId) override;
    std::unique_ptr<PlatformOffscreen> createOffscreen(int32_t width, int32_t height, int32_t scale) override;
    uint32_t ticks() override { return now; }
    void sleep(uint32_t milliseconds) override;
    uint32_t doubleClickTime() override { return systemDoubleClickTime; }
    void messageBox(PlatformWindow* window, const std::string& caption, const std::string& text) override;
    std::optional<std::string> fileDialog(PlatformWindow* window, const FileDialogSpec& desc) override;

private:
    friend class ScriptedWindow;
    struct NoInstall {};
    explicit ScriptedPlatform(NoInstall);
    friend Platform& VSTGUI::defaultPlatform();

    std::vector<std::pair<int32_t, std::pair<int32_t, int32_t>>> bitmaps_;
    std::vector<ScriptedWindow*> windows_;
    bool installed_ = false;
};

} // namespace VSTGUI::scripted
