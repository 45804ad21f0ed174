#include "ScriptedPlatform.h"

#include <algorithm>
#include <cstring>

namespace VSTGUI {

// Test programs link no window system: without an installed ScriptedPlatform
// the toolkit runs on a quiet one of these.
Platform& defaultPlatform()
{
    static scripted::ScriptedPlatform fallback{scripted::ScriptedPlatform::NoInstall{}};
    return fallback;
}

} // namespace VSTGUI

namespace VSTGUI::scripted {

namespace {
// Reads of held buttons from the resting state after which a tracking loop
// is taken to be runaway (a script without its release).
constexpr uint32_t kRunawayReads = 100000;

CRect bounded(CRect rect, const CRect& clip) { return rect.bound(clip); }
} // namespace

// --- ScriptedSurface -----------------------------------------------------------

ScriptedSurface::ScriptedSurface(int32_t width, int32_t height, int32_t scale)
    : width_(width), height_(height), scale_(scale), clip_(0, 0, width, height)
{
}

void ScriptedSurface::resize(int32_t width, int32_t height, int32_t scale)
{
    width_ = width;
    height_ = height;
    scale_ = scale;
    clip_ = CRect(0, 0, width, height);
}

void ScriptedSurface::setClip(const CRect& clip) { clip_ = bounded(clip, CRect(0, 0, width_, height_)); }

void ScriptedSurface::record(DrawOp op)
{
    op.visible = bounded(op.rect, clip_);
    ops.push_back(op);
    if (onDraw)
        onDraw(ops.back());
}

void ScriptedSurface::fillRect(const CRect& rect, CColor color)
{
    DrawOp op;
    op.kind = DrawOp::Kind::kFill;
    op.rect = rect;
    op.color = color;
    record(op);
}

void ScriptedSurface::frameRect(const CRect& rect, CColor color)
{
    DrawOp op;
    op.kind = DrawOp::Kind::kFrame;
    op.rect = rect;
    op.color = color;
    record(op);
}

void ScriptedSurface::drawLine(CPoint from, CPoint to, CColor color)
{
    DrawOp op;
    op.kind = DrawOp::Kind::kLine;
    op.rect = CRect(std::min(from.h, to.h), std::min(from.v, to.v), std::max(from.h, to.h) + 1,
                    std::max(from.v, to.v) + 1);
    op.from = from;
    op.to = to;
    op.color = color;
    record(op);
}

void ScriptedSurface::drawBitmap(const PlatformBitmap& bitmap, const CRect& dest, CPoint source, BlendMode mode,
                                 CColor transparent, uint8_t alpha)
{
    DrawOp op;
    op.kind = DrawOp::Kind::kBitmap;
    op.rect = dest;
    op.source = source;
    op.bitmapId = static_cast<const ScriptedBitmap&>(bitmap).id();
    op.mode = mode;
    op.color = transparent;
    op.alpha = alpha;
    record(op);
}

void ScriptedSurface::drawText(const char* text, const CRect& rect, int32_t fontId, int32_t face, CColor color,
                               int32_t align)
{
    DrawOp op;
    op.kind = DrawOp::Kind::kText;
    op.rect = rect;
    op.text = text ? text : "";
    op.fontId = fontId;
    op.face = face;
    op.color = color;
    op.align = align;
    record(op);
}

int32_t ScriptedSurface::textWidth(const char* text, int32_t /*fontId*/, int32_t /*face*/)
{
    return text ? static_cast<int32_t>(std::strlen(text)) * 6 : 0;
}

bool ScriptedSurface::readPixels(std::vector<uint32_t>& pixels, int32_t& deviceWidth, int32_t& deviceHeight)
{
    pixels.clear();
    deviceWidth = deviceHeight = 0;
    return false;
}

void ScriptedSurface::copyTo(PlatformSurface& target, const CRect& dest, CPoint source)
{
    if (auto* scripted = dynamic_cast<ScriptedSurface*>(&target)) {
        DrawOp op;
        op.kind = DrawOp::Kind::kCopy;
        op.rect = dest;
        op.source = source;
        scripted->record(op);
    }
}

int32_t ScriptedSurface::frameShown(int32_t bitmapId, const CRect& dest, int32_t frameHeight) const
{
    for (auto it = ops.rbegin(); it != ops.rend(); ++it) {
        if (it->kind != DrawOp::Kind::kBitmap || it->bitmapId != bitmapId || !(it->rect == dest) ||
            it->visible.isEmpty())
            continue;
        return frameHeight > 0 ? it->source.v / frameHeight : it->source.v;
    }
    return -1;
}

const DrawOp* ScriptedSurface::lastBitmap(int32_t bitmapId) const
{
    for (auto it = ops.rbegin(); it != ops.rend(); ++it)
        if (it->kind == DrawOp::Kind::kBitmap && it->bitmapId == bitmapId)
            return &*it;
    return nullptr;
}

std::optional<std::string> ScriptedSurface::lastText(const CRect& rect) const
{
    for (auto it = ops.rbegin(); it != ops.rend(); ++it)
        if (it->kind == DrawOp::Kind::kText && it->rect == rect)
            return it->text;
    return std::nullopt;
}

size_t ScriptedSurface::opsTouching(const CRect& area) const
{
    return static_cast<size_t>(std::count_if(ops.begin(), ops.end(), [&](const DrawOp& op) {
        CRect r = op.visible;
        return !r.bound(area).isEmpty();
    }));
}

// --- TextFieldRecord -----------------------------------------------------------

void TextFieldRecord::type(const std::string& newText)
{
    if (!open)
        return;
    text = newText.substr(0, desc.maxLength);
}

void TextFieldRecord::close(bool commit)
{
    if (!open || !listener)
        return;
    // The toolkit destroys the field from inside this call.
    listener->textFieldClosed(commit);
}

namespace {
class ScriptedTextField final : public PlatformTextField {
public:
    explicit ScriptedTextField(std::shared_ptr<TextFieldRecord> record) : record_(std::move(record)) {}
    ~ScriptedTextField() override
    {
        record_->open = false;
        record_->listener = nullptr;
    }
    std::string getText() const override { return record_->text; }
    bool handleKey(const VstKeyCode& key, bool down) override
    {
        record_->keys.emplace_back(key, down);
        return true;
    }

private:
    std::shared_ptr<TextFieldRecord> record_;
};

std::shared_ptr<ShownMenu> copyMenu(const MenuModel& model, CPoint where)
{
    auto shown = std::make_shared<ShownMenu>();
    shown->where = where;
    for (const MenuItem& item : model.items) {
        ShownMenu::Item copy;
        copy.title = item.title;
        copy.flags = item.flags;
        if (item.submenu)
            copy.submenu = copyMenu(*item.submenu, where);
        shown->items.push_back(std::move(copy));
    }
    return shown;
}
} // namespace

// --- ScriptedWindow ------------------------------------------------------------

ScriptedWindow::ScriptedWindow(ScriptedPlatform& platform, const WindowSpec& desc, PlatformWindowListener* listener)
    : platform_(platform), spec_(desc), listener_(listener), buffer_(desc.width, desc.height, desc.scale)
{
    platform_.windows_.push_back(this);
}

ScriptedWindow::~ScriptedWindow()
{
    auto& list = platform_.windows_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

void ScriptedWindow::setPointer(CPoint where, int32_t buttons)
{
    rest_.where = where;
    rest_.buttons = buttons;
    restingHeldReads_ = 0;
    runaway_ = false;
}

void ScriptedWindow::script(std::vector<PointerStep> steps)
{
    script_.assign(steps.begin(), steps.end());
    runaway_ = false;
    restingHeldReads_ = 0;
}

int32_t ScriptedWindow::getMouseButtons()
{
    ++buttonReads_;
    platform_.now += platform_.msPerButtonRead;
    if (!script_.empty()) {
        PointerStep& head = script_.front();
        int32_t buttons = head.buttons;
        if (--head.polls <= 0) {
            // The pointer stays where the step left it once the script ends.
            rest_.where = head.where;
            script_.pop_front();
        }
        return buttons;
    }
    if (rest_.buttons != 0 && ++restingHeldReads_ > kRunawayReads) {
        runaway_ = true;
        return 0;
    }
    return rest_.buttons;
}

CPoint ScriptedWindow::getMouseLocation() { return script_.empty() ? rest_.where : script_.front().where; }

void ScriptedWindow::press(std::vector<PointerStep> steps)
{
    if (steps.empty())
        return;
    CPoint where = steps.front().where;
    script(std::move(steps));
    listener_->platformMouseDown(where);
}

void ScriptedWindow::click(CPoint where, int32_t buttons)
{
    press({{where, buttons, 1}, {where, buttons, 1}, {where, 0, 1}});
    // A loop that did not read the whole script leaves the release behind.
    script_.clear();
    rest_ = PointerStep{where, 0, 1};
}

void ScriptedWindow::wheel(CPoint where, float distance, int32_t axis)
{
    rest_.where = where;
    listener_->platformWheel(where, distance, axis);
}

bool ScriptedWindow::key(const VstKeyCode& key, bool down) { return listener_->platformKey(key, down); }

void ScriptedWindow::hostDestroysWindow() { listener_->platformWindowGone(); }

void ScriptedWindow::invalidate(const CRect& area)
{
    invalidated.push_back(area);
    paintQueue.push_back(area);
}

void ScriptedWindow::pumpEvents()
{
    ++pumps;
    // Only what was waiting when the pump began.
    size_t count = pending_.size();
    for (size_t i = 0; i < count && !pending_.empty(); ++i) {
        auto event = std::move(pending_.front());
        pending_.pop_front();
        event();
    }
}

void ScriptedWindow::dispatchPendingPaint()
{
    if (paintQueue.empty())
        return;
    CRect area = paintQueue.front();
    paintQueue.erase(paintQueue.begin());
    ++paints;
    listener_->platformDraw(buffer_, area);
    flushes.push_back(area);
}

void ScriptedWindow::setSize(int32_t width, int32_t height, int32_t scale)
{
    spec_.width = width;
    spec_.height = height;
    spec_.scale = scale;
    buffer_.resize(width, height, scale);
}

std::unique_ptr<PlatformTextField> ScriptedWindow::createTextField(const TextFieldSpec& desc,
                                                                   PlatformTextFieldListener* listener)
{
    if (platform_.failTextFields)
        return nullptr;
    auto record = std::make_shared<TextFieldRecord>();
    record->desc = desc;
    record->text = desc.text.substr(0, desc.maxLength);
    record->listener = listener;
    platform_.textFields.push_back(record);
    return std::make_unique<ScriptedTextField>(record);
}

MenuResult ScriptedWindow::popupMenu(const MenuModel& menu, CPoint where)
{
    platform_.menusShown.push_back(*copyMenu(menu, where));
    if (!platform_.menuChooser)
        return MenuResult{};
    return platform_.menuChooser(menu, where);
}

// --- ScriptedPlatform ----------------------------------------------------------

ScriptedPlatform::ScriptedPlatform() : installed_(true) { setPlatformForTesting(this); }

ScriptedPlatform::ScriptedPlatform(NoInstall) {}

ScriptedPlatform::~ScriptedPlatform()
{
    if (installed_ && &platform() == this)
        setPlatformForTesting(nullptr);
}

void ScriptedPlatform::addBitmap(int32_t id, int32_t width, int32_t height)
{
    bitmaps_.push_back({id, {width, height}});
}

std::unique_ptr<PlatformWindow> ScriptedPlatform::createWindow(const WindowSpec& desc,
                                                               PlatformWindowListener* listener)
{
    if (failWindows || !desc.parent || !listener)
        return nullptr;
    ++windowsCreated;
    return std::make_unique<ScriptedWindow>(*this, desc, listener);
}

int32_t ScriptedPlatform::preferredScale(void* /*parent*/) { return displayScale; }

std::shared_ptr<PlatformBitmap> ScriptedPlatform::loadBitmap(int32_t resourceId)
{
    for (auto it = bitmaps_.rbegin(); it != bitmaps_.rend(); ++it)
        if (it->first == resourceId)
            return std::make_shared<ScriptedBitmap>(resourceId, it->second.first, it->second.second);
    return nullptr;
}

std::unique_ptr<PlatformOffscreen> ScriptedPlatform::createOffscreen(int32_t width, int32_t height, int32_t scale)
{
    if (width <= 0 || height <= 0)
        return nullptr;
    return std::make_unique<ScriptedSurface>(width, height, scale);
}

void ScriptedPlatform::sleep(uint32_t milliseconds)
{
    now += milliseconds;
    slept += milliseconds;
    ++sleeps;
}

void ScriptedPlatform::chooseMenuItem(std::vector<int32_t> path)
{
    menuChooser = [path](const MenuModel& menu, CPoint) {
        const MenuModel* current = &menu;
        for (size_t i = 0; i + 1 < path.size(); ++i) {
            int32_t index = path[i];
            if (index < 0 || index >= static_cast<int32_t>(current->items.size()) ||
                !current->items[static_cast<size_t>(index)].submenu)
                return MenuResult{};
            current = current->items[static_cast<size_t>(index)].submenu;
        }
        if (path.empty())
            return MenuResult{};
        return MenuResult{current, path.back()};
    };
}

void ScriptedPlatform::messageBox(PlatformWindow* /*window*/, const std::string& caption, const std::string& text)
{
    messages.emplace_back(caption, text);
}

std::optional<std::string> ScriptedPlatform::fileDialog(PlatformWindow* /*window*/, const FileDialogSpec& desc)
{
    fileDialogsShown.push_back(desc);
    if (fileDialogAnswers.empty())
        return std::nullopt;
    auto answer = fileDialogAnswers.front();
    fileDialogAnswers.pop_front();
    return answer;
}

} // namespace VSTGUI::scripted
