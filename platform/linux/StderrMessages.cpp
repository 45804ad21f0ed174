// Stand-in for the message box until the editor brings a window of its own:
// the message goes to the standard error stream with the box's caption.
#include "platform/ErrorMessages.h"

#include <cstdio>

namespace {

class StderrMessages : public ErrorMessages {
public:
    void showError(const std::string& text) override
    {
        std::fprintf(stderr, "%s %s\n", kCaption, text.c_str());
        std::fflush(stderr);
    }
};

} // namespace

std::unique_ptr<ErrorMessages> makeErrorMessages()
{
    return std::make_unique<StderrMessages>();
}
