// `ambrel edit` and `ambrel snapshot`: a plug-in's editor opened in a window
// of the host's, the way a digital audio workstation opens it, idled at a
// host-like rate while a test signal runs through the effect so meters move.
#pragma once

#include "platform/EditorHostWindow.h"
#include "tools/ambrel/PluginHost.h"

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace ambrel {

enum class TestSignal { none, sine, noise, music };

// Parses "none", "sine", "noise" or "music".
bool parseTestSignal(const std::string& text, TestSignal& signal);

// The sound fed to the effect's inputs while its editor is open: generated
// ahead, looped, stereo.
class SignalSource {
public:
    SignalSource(TestSignal signal, double sampleRate);
    // Fills `frames` frames of both channels.
    void fill(float* left, float* right, int frames);

private:
    std::vector<float> samples_; // interleaved stereo, looped
    size_t position_ = 0;
};

struct EditOptions {
    double idleMs = 40.0;
    TestSignal signal = TestSignal::music;
    double sampleRate = 44100.0;
    bool verbose = false;
    // edit: print "editor idle N" before the N-th effEditIdle, so a test
    // driving the window from outside can tell which idle drew what.
    bool traceIdles = false;
    double seconds = 0.0; // edit: 0 runs until the window is closed
    int idles = 10;       // snapshot: idle requests before the capture
    std::vector<std::pair<VstInt32, float>> parameters;
    // Set once the editor is open, by index and without a range check: the
    // values only an editor acts on (a page switch, for instance).
    std::vector<std::pair<VstInt32, float>> afterOpen;
};

// The editor of one loaded effect in a window of ours. The effect must be
// set up (rate, block size, resumed) by the caller; see runEdit.
class EditorSession {
public:
    EditorSession(PluginHost& host, const EditOptions& options, std::FILE* log);
    ~EditorSession();
    EditorSession(const EditorSession&) = delete;
    EditorSession& operator=(const EditorSession&) = delete;

    // Asks for the rectangle, creates the window, opens the editor in it and
    // follows a rectangle that changed on opening. On failure says why and
    // gives the exit code: 1 for the plug-in's failures, 2 without display.
    bool open(std::string& error, int& exitCode);

    // One round of the host's loop: window events, effEditIdle, the audio
    // due since the last round, the callbacks the effect made. Returns false
    // once the user closed the window.
    bool idle();

    // Sleeps until the next idle is due, processing audio on the way.
    void waitForNextIdle();

    // effEditClose (once, and only after a successful open).
    void close();

    toolplatform::EditorHostWindow* window() const { return window_.get(); }

    // The rectangle's size as the effect answers effEditGetRect now; false
    // when it gives no rectangle or one of zero size.
    static bool editorRect(PluginHost& host, int& width, int& height);

private:
    void processDueAudio();
    void reportCalls();

    PluginHost& host_;
    EditOptions options_;
    std::FILE* log_;
    std::unique_ptr<toolplatform::EditorHostWindow> window_;
    SignalSource source_;
    bool open_ = false;
    int idles_ = 0;
    double startMs_ = 0.0;
    double nextIdleMs_ = 0.0;
    double framesDone_ = 0.0;
    std::vector<std::vector<float>> inputs_, outputs_;
    std::vector<float*> inputPointers_, outputPointers_;
};

// Prepares the effect (rate, block of 512, parameters, resumed, processing)
// for an editor session and undoes it afterwards.
void prepareForEditing(PluginHost& host, const EditOptions& options);
void finishEditing(PluginHost& host);

// The two commands on a loaded effect; both close the effect before they
// return. Messages go to `out` and to stderr; the result is the exit code.
int runEdit(PluginHost& host, const EditOptions& options, std::FILE* out);
int runSnapshot(PluginHost& host, const std::string& pngPath, const EditOptions& options, std::FILE* out);

} // namespace ambrel
