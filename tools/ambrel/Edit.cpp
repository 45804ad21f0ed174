#include "tools/ambrel/Edit.h"

#include "tools/ambrel/AudioFile.h"
#include "tools/ambrel/DemoSignal.h"
#include "tools/ambrel/PngFile.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace ambrel {

namespace {

constexpr int kBlock = 512;
constexpr int kDefaultWidth = 400;
constexpr int kDefaultHeight = 300;
constexpr int kMaxSide = 8192;
constexpr double kPi = 3.14159265358979323846;

} // namespace

bool parseTestSignal(const std::string& text, TestSignal& signal)
{
    if (text == "none")
        signal = TestSignal::none;
    else if (text == "sine")
        signal = TestSignal::sine;
    else if (text == "noise")
        signal = TestSignal::noise;
    else if (text == "music")
        signal = TestSignal::music;
    else
        return false;
    return true;
}

SignalSource::SignalSource(TestSignal signal, double sampleRate)
{
    const double rate = sampleRate > 0.0 ? sampleRate : 44100.0;
    switch (signal) {
    case TestSignal::none:
        samples_.assign(2 * kBlock, 0.0f);
        break;
    case TestSignal::sine: {
        // 1 kHz at -12 dBFS; one second, so the loop point is a whole number
        // of periods at the common rates.
        const size_t frames = static_cast<size_t>(rate);
        samples_.resize(frames * 2);
        const double step = 2.0 * kPi * 1000.0 / rate;
        for (size_t i = 0; i < frames; ++i) {
            const float v = static_cast<float>(0.25 * std::sin(step * static_cast<double>(i)));
            samples_[2 * i] = samples_[2 * i + 1] = v;
        }
        break;
    }
    case TestSignal::noise: {
        // White noise peaking at -12 dBFS, two uncorrelated channels, from a
        // fixed seed so every run feeds the same samples.
        const size_t frames = static_cast<size_t>(rate) * 2;
        samples_.resize(frames * 2);
        std::uint32_t state = 0x9E3779B9u;
        for (float& v : samples_) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            v = static_cast<float>(0.25 * (static_cast<double>(state) / 2147483647.5 - 1.0));
        }
        break;
    }
    case TestSignal::music: {
        const AudioData demo = synthesizeDemo(rate);
        const size_t frames = demo.frames();
        samples_.resize(frames * 2);
        for (size_t i = 0; i < frames; ++i)
            for (size_t c = 0; c < 2; ++c)
                samples_[2 * i + c] = static_cast<float>(
                    demo.samples[i * static_cast<size_t>(demo.channels) + std::min<size_t>(c, demo.channels - 1)]);
        break;
    }
    }
    if (samples_.empty())
        samples_.assign(2 * kBlock, 0.0f);
}

void SignalSource::fill(float* left, float* right, int frames)
{
    for (int i = 0; i < frames; ++i) {
        left[i] = samples_[position_];
        right[i] = samples_[position_ + 1];
        position_ += 2;
        if (position_ >= samples_.size())
            position_ = 0;
    }
}

EditorSession::EditorSession(PluginHost& host, const EditOptions& options, std::FILE* log)
    : host_(host), options_(options), log_(log), source_(options.signal, options.sampleRate)
{
    const AEffect* effect = host.effect();
    const int inputs = effect ? std::max(effect->numInputs, 0) : 0;
    const int outputs = effect ? std::max(effect->numOutputs, 0) : 0;
    // Two channels at least, so the signal has somewhere to go.
    inputs_.assign(static_cast<size_t>(std::max(inputs, 2)), std::vector<float>(kBlock, 0.0f));
    outputs_.assign(static_cast<size_t>(std::max(outputs, 2)), std::vector<float>(kBlock, 0.0f));
    for (auto& buffer : inputs_)
        inputPointers_.push_back(buffer.data());
    for (auto& buffer : outputs_)
        outputPointers_.push_back(buffer.data());
}

EditorSession::~EditorSession()
{
    close();
}

bool EditorSession::editorRect(PluginHost& host, int& width, int& height)
{
    ERect* rect = nullptr;
    host.dispatch(effEditGetRect, 0, 0, &rect);
    width = height = 0;
    if (!rect)
        return false;
    width = rect->right - rect->left;
    height = rect->bottom - rect->top;
    return width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide;
}

bool EditorSession::open(std::string& error, int& exitCode)
{
    exitCode = 1;
    AEffect* effect = host_.effect();
    if (!effect) {
        error = "no effect";
        return false;
    }
    if (!(effect->flags & effFlagsHasEditor)) {
        error = "the plug-in has no editor";
        return false;
    }
    if (!toolplatform::EditorHostWindow::windowSystemAvailable(error)) {
        exitCode = 2;
        return false;
    }
    const std::string name = host_.readText(effGetEffectName).text;

    // Hosts ask for the size before opening, to make a window that fits.
    int width = 0, height = 0;
    if (!editorRect(host_, width, height)) {
        std::fprintf(stderr, "ambrel: warning: the editor's rectangle before opening is %s; using %dx%d\n",
                     width == 0 && height == 0 ? "missing or empty" : "out of range", kDefaultWidth, kDefaultHeight);
        width = kDefaultWidth;
        height = kDefaultHeight;
    }
    bool noDisplay = false;
    window_ = toolplatform::EditorHostWindow::create(name.empty() ? "ambrel" : name, width, height, error, &noDisplay);
    if (!window_) {
        exitCode = noDisplay ? 2 : 1;
        return false;
    }
    host_.clearCalls();
    const VstIntPtr opened = host_.dispatch(effEditOpen, 0, 0, window_->parentHandle());
    if (opened == 0) {
        error = "effEditOpen answered 0: the editor did not open";
        reportCalls();
        window_.reset();
        return false;
    }
    open_ = true;
    for (const auto& [index, value] : options_.afterOpen)
        host_.setParameter(index, value);
    // Many editors know their final size only once they are open.
    int openWidth = 0, openHeight = 0;
    if (editorRect(host_, openWidth, openHeight) && (openWidth != width || openHeight != height))
        window_->resize(openWidth, openHeight);
    reportCalls();
    window_->processEvents();

    int x = 0, y = 0;
    window_->clientOrigin(x, y);
    if (log_) {
        std::fprintf(log_, "window at %d,%d size %dx%d\n", x, y, window_->width(), window_->height());
        std::fflush(log_);
    }
    startMs_ = toolplatform::monotonicMilliseconds();
    nextIdleMs_ = startMs_;
    framesDone_ = 0.0;
    return true;
}

bool EditorSession::idle()
{
    if (!window_)
        return false;
    const bool stillOpen = window_->processEvents();
    if (!stillOpen)
        return false;
    if (open_) {
        if (options_.traceIdles && log_) {
            std::fprintf(log_, "editor idle %d\n", ++idles_);
            std::fflush(log_);
        }
        host_.dispatch(effEditIdle);
    }
    processDueAudio();
    reportCalls();
    return true;
}

void EditorSession::waitForNextIdle()
{
    nextIdleMs_ += options_.idleMs;
    for (;;) {
        const double now = toolplatform::monotonicMilliseconds();
        if (now >= nextIdleMs_)
            break;
        // Wake for each block of audio that falls due before the next idle.
        const double blockMs = 1000.0 * kBlock / options_.sampleRate;
        const double nextBlockMs = startMs_ + (framesDone_ + kBlock) * 1000.0 / options_.sampleRate;
        const double until = std::min(nextIdleMs_, std::max(nextBlockMs, now + 0.5));
        toolplatform::sleepMilliseconds(std::min(until - now, blockMs));
        processDueAudio();
    }
    // A slow editor or a stopped process does not make idles pile up.
    const double now = toolplatform::monotonicMilliseconds();
    if (nextIdleMs_ < now - options_.idleMs)
        nextIdleMs_ = now;
}

void EditorSession::processDueAudio()
{
    const double now = toolplatform::monotonicMilliseconds();
    const double due = (now - startMs_) * options_.sampleRate / 1000.0;
    // After a stall of more than a second, go on from now instead of
    // rushing through the backlog.
    if (due - framesDone_ > options_.sampleRate)
        framesDone_ = std::floor(due) - kBlock;
    while (framesDone_ + kBlock <= due) {
        source_.fill(inputPointers_[0], inputPointers_[1], kBlock);
        for (size_t c = 2; c < inputs_.size(); ++c)
            std::copy(inputs_[c % 2].begin(), inputs_[c % 2].end(), inputs_[c].begin());
        host_.processReplacing(inputPointers_.data(), outputPointers_.data(), kBlock);
        framesDone_ += kBlock;
    }
}

void EditorSession::reportCalls()
{
    const std::vector<HostCall> calls = host_.calls();
    host_.clearCalls();
    for (const HostCall& call : calls) {
        if (call.opcode == audioMasterSizeWindow && window_) {
            const int width = call.index;
            const int height = static_cast<int>(call.value);
            if (width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide)
                window_->resize(width, height);
            else
                std::fprintf(stderr, "ambrel: warning: ignored a window size of %dx%d\n", width, height);
        }
        if (!options_.verbose || !log_)
            continue;
        switch (call.opcode) {
        case audioMasterAutomate:
            std::fprintf(log_, "automate %d=%.6f\n", call.index, static_cast<double>(call.opt));
            break;
        case audioMasterBeginEdit:
            std::fprintf(log_, "begin edit %d\n", call.index);
            break;
        case audioMasterEndEdit:
            std::fprintf(log_, "end edit %d\n", call.index);
            break;
        case audioMasterUpdateDisplay:
            std::fprintf(log_, "update display\n");
            break;
        case audioMasterSizeWindow:
            std::fprintf(log_, "size window %dx%d\n", call.index, static_cast<int>(call.value));
            break;
        case audioMasterIdle:
            std::fprintf(log_, "idle\n");
            break;
        default:
            break;
        }
    }
    if (options_.verbose && log_)
        std::fflush(log_);
}

void EditorSession::close()
{
    if (open_) {
        host_.dispatch(effEditClose);
        open_ = false;
        reportCalls();
    }
    window_.reset();
}

void prepareForEditing(PluginHost& host, const EditOptions& options)
{
    host.setSampleRate(static_cast<float>(options.sampleRate));
    host.setBlockSize(kBlock);
    for (const auto& [index, value] : options.parameters)
        host.setParameter(index, value);
    host.resume();
    host.dispatch(effStartProcess);
}

void finishEditing(PluginHost& host)
{
    host.dispatch(effStopProcess);
    host.suspend();
}

int runEdit(PluginHost& host, const EditOptions& options, std::FILE* out)
{
    int exitCode = 0;
    std::string error;
    prepareForEditing(host, options);
    {
        EditorSession session(host, options, out);
        if (!session.open(error, exitCode)) {
            std::fprintf(stderr, "ambrel edit: %s\n", error.c_str());
            finishEditing(host);
            host.close();
            return exitCode;
        }
        const double endMs =
            options.seconds > 0.0 ? toolplatform::monotonicMilliseconds() + options.seconds * 1000.0 : 0.0;
        bool closedByUser = false;
        for (;;) {
            if (!session.idle()) {
                closedByUser = true;
                break;
            }
            if (endMs > 0.0 && toolplatform::monotonicMilliseconds() >= endMs)
                break;
            session.waitForNextIdle();
        }
        session.close();
        if (options.verbose) {
            std::fprintf(out, "editor closed (%s)\n", closedByUser ? "window closed" : "time elapsed");
            std::fflush(out);
        }
    }
    finishEditing(host);
    host.close();
    return 0;
}

int runSnapshot(PluginHost& host, const std::string& pngPath, const EditOptions& options, std::FILE* out)
{
    int exitCode = 0;
    std::string error;
    std::vector<std::uint8_t> rgb;
    int width = 0, height = 0;
    prepareForEditing(host, options);
    {
        EditorSession session(host, options, options.verbose ? out : nullptr);
        if (!session.open(error, exitCode)) {
            std::fprintf(stderr, "ambrel snapshot: %s\n", error.c_str());
            finishEditing(host);
            host.close();
            return exitCode;
        }
        bool stillOpen = true;
        for (int i = 0; i < options.idles && stillOpen; ++i) {
            stillOpen = session.idle();
            session.waitForNextIdle();
        }
        // Let the server finish what the editor drew on its own connection.
        session.window()->processEvents();
        toolplatform::sleepMilliseconds(std::min(options.idleMs, 50.0));
        const bool captured = stillOpen && session.window()->capture(rgb, width, height, error);
        if (!stillOpen)
            error = "the window was closed before the snapshot";
        session.close();
        if (!captured) {
            std::fprintf(stderr, "ambrel snapshot: %s\n", error.c_str());
            finishEditing(host);
            host.close();
            return 1;
        }
    }
    finishEditing(host);
    host.close();
    if (!writePng(pngPath, rgb, width, height, error)) {
        std::fprintf(stderr, "ambrel snapshot: %s\n", error.c_str());
        return 1;
    }
    std::fprintf(out, "snapshot %dx%d -> %s\n", width, height, pngPath.c_str());
    return std::fflush(out) == 0 ? 0 : 1;
}

} // namespace ambrel
