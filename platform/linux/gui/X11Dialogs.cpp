#include "platform/linux/gui/X11Window.h"

#include <cstdio>
#include <optional>

namespace x11gui {

void showMessage(X11Window*, const std::string& caption, const std::string& text)
{
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

std::optional<std::string> runFileDialog(X11Window*, const VSTGUI::FileDialogSpec&) { return std::nullopt; }

} // namespace x11gui
