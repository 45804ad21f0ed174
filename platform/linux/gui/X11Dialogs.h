// Modal pieces of the X11 layer: a message panel drawn over the editor (or
// in a small window of its own), the wait loop that keeps the editor and the
// host painting while a dialog is open, the file dialog through zenity or
// kdialog, and our own file chooser when neither is installed.
#pragma once

#include "gui/Platform.h"
#include "platform/linux/gui/X11Window.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace x11gui {

// Runs while a modal dialog of ours is open: the editor window's events are
// handled passively (paints, its end; no clicks or keys), the editor gets
// its idle every few tens of milliseconds (so it and the host repaint), and
// the caller's own events are offered to it first.
class ModalLoop {
public:
    explicit ModalLoop(X11Window* owner);
    ~ModalLoop();
    ModalLoop(const ModalLoop&) = delete;
    ModalLoop& operator=(const ModalLoop&) = delete;

    // Handles what waits on the owner's connection and on `extra` (a
    // connection of the dialog's own), offering every event to `take`
    // first, then waits up to `timeoutMs` for more or for `fd` to become
    // readable. Answers whether `fd` is readable.
    bool step(int timeoutMs, const std::function<bool(XEvent&)>& take, Display* extra = nullptr, int fd = -1);
    // The editor window, while it exists and its parent does.
    X11Window* owner() const { return owner_ && !owner_->isGone() ? owner_ : nullptr; }

private:
    X11Window* owner_;
    X11Window* entered_;
    uint32_t lastIdle_;
};

struct PanelSpec {
    std::string caption;
    std::string text;
    std::vector<std::string> buttons{"OK"};
    int defaultButton = 0; // Return
    int cancelButton = 0;  // Escape, or the window going away
};

// Draws the panel centred on the surface, over a darkened copy of what is
// there when `dim`; `buttons` receives the buttons' rectangles (1x pixels).
void paintPanel(softraster::SoftwareSurface& surface, const PanelSpec& desc, int hot, bool dim,
                std::vector<VSTGUI::CRect>& buttons);
// The panel's own size for a window of its own (1x pixels).
void panelSize(softraster::SoftwareSurface& measure, const PanelSpec& desc, int32_t& width, int32_t& height);

// Shows the panel modally over the editor window (or, without one, in a
// window of its own) until a button is chosen; answers its index.
int runPanel(X11Window* owner, const PanelSpec& desc);

// Top-level window of the host's window (for dialogs to be transient for).
Window hostTopLevel(Display* display, Window window);

// --- File dialogs ------------------------------------------------------------

struct ChildResult {
    bool started = false; // false: the program is not installed
    int exitCode = -1;    // -1 when the status could not be had (a host that reaps children)
    std::string output;
};
// Runs `argv` (found through PATH, no shell) with its standard output read,
// while the modal loop keeps the editor painting.
ChildResult runChild(X11Window* owner, const std::vector<std::string>& argv);

std::vector<std::string> zenityArguments(const VSTGUI::FileDialogSpec& desc, unsigned long attachTo);
std::vector<std::string> kdialogArguments(const VSTGUI::FileDialogSpec& desc, unsigned long attachTo);

// A name matched against a filter pattern ("*.nub", "*.*", "*", or several
// separated by ';' or spaces), case-insensitively.
bool matchesPattern(const std::string& name, const std::string& pattern);

struct DirectoryEntry {
    std::string name;
    bool directory = false;
};
// The folders (".." first, unless at the root) and the files matching
// `pattern` in `directory`, each group sorted; hidden entries left out.
std::vector<DirectoryEntry> listDirectory(const std::string& directory, const std::string& pattern);

// Our own chooser, for machines with neither zenity nor kdialog.
std::optional<std::string> runFileChooser(X11Window* owner, const VSTGUI::FileDialogSpec& desc);

// The whole path for a name typed or chosen in a save dialog: the default
// extension added when the name has none.
std::string withDefaultExtension(const std::string& path, const std::string& extension);

} // namespace x11gui
