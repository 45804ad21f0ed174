// ambrel_editor_render: the editor of either build in a given state, drawn
// off-screen. The effect and its editor are made in this process, driven the
// way `ambrel edit` drives a plug-in (rate, parameters, resume, open, values
// set once open, then idles with silent audio between them), but the
// editor's window is a stand-in whose back buffer is one of the platform's
// own off-screen surfaces: the software raster on Linux, a GDI DIB section on
// Windows. No window system is involved, so the picture is what the toolkit
// and the platform's drawing make of that state, and the window tests
// compare what a real window shows after real input with it.
//
//   ambrel_editor_render ambrel2|ambrel OUT.png [--param INDEX=VALUE ...]
//       [--after-open INDEX=VALUE ...] [--idles N] [--idle-ms N]
//       [--mouse X,Y] [--scale 1|2] [--rate R]
//
// --mouse puts the pointer at X,Y of the window for the hover readout (by
// default it is outside). Exit 0 when written, 1 on failure, 2 on bad usage.
#include "editor/AmbrelEditor.h"
#include "effect/Ambrel.h"
#include "gui/Platform.h"
#include "tools/ambrel/PngFile.h"
#include "variants/Variant.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using namespace VSTGUI;

namespace {

constexpr int kBlock = 512;

// The editor's window without a window system: the platform's off-screen
// surface as back buffer, paints delivered at the next events pump as a
// window system would deliver them, a pointer that stays where it is put
// and no buttons held.
class OffscreenWindow final : public PlatformWindow {
public:
    OffscreenWindow(const WindowSpec& desc, PlatformWindowListener* listener, CPoint mouse)
        : listener_(listener), mouse_(mouse)
    {
        setSize(desc.width, desc.height, desc.scale);
    }

    bool ok() const { return back_ != nullptr; }

    void* nativeHandle() const override { return const_cast<OffscreenWindow*>(this); }
    int32_t scale() const override { return back_ ? back_->scale() : 1; }
    PlatformSurface& backBuffer() override { return *back_; }
    void flush(const CRect&) override {}
    void invalidate(const CRect& area) override { exposed_.unite(area); }
    void pumpEvents() override { dispatchPendingPaint(); }
    void dispatchPendingPaint() override
    {
        if (exposed_.isEmpty() || !back_)
            return;
        const CRect area = exposed_;
        exposed_ = CRect();
        listener_->platformDraw(*back_, area);
    }
    int32_t getMouseButtons() override { return 0; }
    CPoint getMouseLocation() override { return mouse_; }
    void setSize(int32_t width, int32_t height, int32_t scale) override
    {
        back_ = defaultPlatform().createOffscreen(width, height, scale);
        // A new window is exposed whole, as a mapped window is.
        exposed_ = CRect(0, 0, width, height);
    }
    std::unique_ptr<PlatformTextField> createTextField(const TextFieldSpec&, PlatformTextFieldListener*) override
    {
        return nullptr;
    }
    MenuResult popupMenu(const MenuModel&, CPoint) override { return {}; }

private:
    PlatformWindowListener* listener_;
    CPoint mouse_;
    std::unique_ptr<PlatformOffscreen> back_;
    CRect exposed_;
};

// The build's own platform for everything but the window.
class OffscreenPlatform final : public Platform {
public:
    OffscreenPlatform(int32_t scale, CPoint mouse) : scale_(scale), mouse_(mouse) {}

    OffscreenWindow* window() const { return window_; }

    std::unique_ptr<PlatformWindow> createWindow(const WindowSpec& desc, PlatformWindowListener* listener) override
    {
        if (!desc.parent)
            return nullptr;
        auto window = std::make_unique<OffscreenWindow>(desc, listener, mouse_);
        if (!window->ok())
            return nullptr;
        window_ = window.get();
        return window;
    }
    int32_t preferredScale(void*) override { return scale_; }
    std::shared_ptr<PlatformBitmap> loadBitmap(int32_t id) override { return base().loadBitmap(id); }
    std::unique_ptr<PlatformOffscreen> createOffscreen(int32_t width, int32_t height, int32_t scale) override
    {
        return base().createOffscreen(width, height, scale);
    }
    uint32_t ticks() override { return base().ticks(); }
    void sleep(uint32_t milliseconds) override { base().sleep(milliseconds); }
    uint32_t doubleClickTime() override { return base().doubleClickTime(); }
    void messageBox(PlatformWindow*, const std::string& caption, const std::string& text) override
    {
        std::fprintf(stderr, "ambrel_editor_render: message \"%s\": %s\n", caption.c_str(), text.c_str());
    }
    std::optional<std::string> fileDialog(PlatformWindow*, const FileDialogSpec&) override { return std::nullopt; }

private:
    static Platform& base() { return defaultPlatform(); }
    int32_t scale_;
    CPoint mouse_;
    OffscreenWindow* window_ = nullptr;
};

// The host side: a host of VST 2.4 that resizes no window.
VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    return opcode == audioMasterVersion ? 2400 : 0;
}

struct Options {
    const Variant* variant = nullptr;
    std::string out;
    std::vector<std::pair<VstInt32, float>> params, afterOpen;
    int idles = 10;
    double idleMs = 40.0;
    double rate = 44100.0;
    int scale = 1;
    CPoint mouse{-1000, -1000};
};

int usage()
{
    std::fprintf(stderr, "usage: ambrel_editor_render ambrel2|ambrel OUT.png [--param INDEX=VALUE ...]\n"
                         "           [--after-open INDEX=VALUE ...] [--idles N] [--idle-ms N] [--mouse X,Y]\n"
                         "           [--scale 1|2] [--rate R]\n");
    return 2;
}

bool parseAssignment(const char* text, std::pair<VstInt32, float>& out)
{
    char* end = nullptr;
    const long index = std::strtol(text, &end, 10);
    if (end == text || *end != '=' || index < 0 || index > 1000)
        return false;
    const char* value = end + 1;
    const double v = std::strtod(value, &end);
    if (end == value || *end != 0 || !(v >= 0.0 && v <= 1.0))
        return false;
    out = {static_cast<VstInt32>(index), static_cast<float>(v)};
    return true;
}

bool parseArguments(int argc, char** argv, Options& o)
{
    if (argc < 3)
        return false;
    if (!std::strcmp(argv[1], "ambrel2"))
        o.variant = &variants::kAmbrel2;
    else if (!std::strcmp(argv[1], "ambrel"))
        o.variant = &variants::kAmbrel;
    else
        return false;
    o.out = argv[2];
    for (int i = 3; i < argc; i += 2) {
        const std::string a = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (!value)
            return false;
        std::pair<VstInt32, float> assignment;
        char* end = nullptr;
        if (a == "--param" || a == "--after-open") {
            if (!parseAssignment(value, assignment))
                return false;
            (a == "--param" ? o.params : o.afterOpen).push_back(assignment);
        } else if (a == "--idles") {
            o.idles = static_cast<int>(std::strtol(value, &end, 10));
            if (*end || o.idles < 0 || o.idles > 100000)
                return false;
        } else if (a == "--idle-ms") {
            o.idleMs = std::strtod(value, &end);
            if (*end || !(o.idleMs >= 1.0 && o.idleMs <= 1000.0))
                return false;
        } else if (a == "--rate") {
            o.rate = std::strtod(value, &end);
            if (*end || !(o.rate >= 8000.0 && o.rate <= 384000.0))
                return false;
        } else if (a == "--scale") {
            o.scale = static_cast<int>(std::strtol(value, &end, 10));
            if (*end || (o.scale != 1 && o.scale != 2))
                return false;
        } else if (a == "--mouse") {
            int x = 0, y = 0;
            if (std::sscanf(value, "%d,%d", &x, &y) != 2)
                return false;
            o.mouse = CPoint(x, y);
        } else {
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    Options o;
    if (!parseArguments(argc, argv, o))
        return usage();

    OffscreenPlatform platform(o.scale, o.mouse);
    setPlatformForTesting(&platform);
    int rc = 1;
    {
        // Made as the plug-in's entry point makes it; owned by this block.
        std::unique_ptr<Ambrel> effect = std::make_unique<Ambrel>(hostCallback, *o.variant, makeAmbrelEditor);
        AEffect* fx = effect->getAeffect();
        auto dispatch = [fx](VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                             float opt = 0.0f) { return fx->dispatcher(fx, opcode, index, value, ptr, opt); };

        dispatch(effOpen);
        dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(o.rate));
        dispatch(effSetBlockSize, 0, kBlock);
        for (const auto& [index, value] : o.params)
            fx->setParameter(fx, index, value);
        dispatch(effMainsChanged, 0, 1);
        dispatch(effStartProcess);

        ERect* rect = nullptr;
        dispatch(effEditGetRect, 0, 0, &rect);
        // Any non-null parent: the stand-in window never looks at it.
        static int parent;
        if (!dispatch(effEditOpen, 0, 0, &parent) || !platform.window()) {
            std::fprintf(stderr, "ambrel_editor_render: the editor did not open\n");
        } else {
            for (const auto& [index, value] : o.afterOpen)
                fx->setParameter(fx, index, value);
            // Silent audio between the idles, as much as the host's clock
            // would have let pass, so the meters settle as in a live window.
            std::vector<float> in0(kBlock, 0.0f), in1(kBlock, 0.0f), out0(kBlock), out1(kBlock);
            float* ins[] = {in0.data(), in1.data()};
            float* outs[] = {out0.data(), out1.data()};
            double due = 0.0;
            for (int i = 0; i < o.idles; ++i) {
                dispatch(effEditIdle);
                for (due += o.idleMs * o.rate / 1000.0; due >= kBlock; due -= kBlock)
                    fx->processReplacing(fx, ins, outs, kBlock);
            }
            platform.window()->dispatchPendingPaint();

            std::vector<uint32_t> pixels;
            int32_t width = 0, height = 0;
            if (!platform.window()->backBuffer().readPixels(pixels, width, height)) {
                std::fprintf(stderr, "ambrel_editor_render: cannot read the surface\n");
            } else {
                std::vector<std::uint8_t> rgb(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
                for (size_t p = 0; p < pixels.size() && 3 * p + 2 < rgb.size(); ++p) {
                    rgb[3 * p] = static_cast<std::uint8_t>(pixels[p] >> 16);
                    rgb[3 * p + 1] = static_cast<std::uint8_t>(pixels[p] >> 8);
                    rgb[3 * p + 2] = static_cast<std::uint8_t>(pixels[p]);
                }
                std::string error;
                if (ambrel::writePng(o.out, rgb, width, height, error)) {
                    std::printf("render %dx%d -> %s\n", width, height, o.out.c_str());
                    rc = 0;
                } else {
                    std::fprintf(stderr, "ambrel_editor_render: %s\n", error.c_str());
                }
            }
            dispatch(effEditClose);
        }
        dispatch(effStopProcess);
        dispatch(effMainsChanged, 0, 0);
        // effClose would delete the effect; the unique_ptr does that here.
    }
    setPlatformForTesting(nullptr);
    return rc;
}
