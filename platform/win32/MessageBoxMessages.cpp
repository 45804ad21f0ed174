// File errors as a modal message box without owner window.
#include "platform/ErrorMessages.h"

#include <windows.h>

namespace {

class MessageBoxMessages : public ErrorMessages {
public:
    void showError(const std::string& text) override
    {
        MessageBoxA(nullptr, text.c_str(), kCaption, MB_OK | MB_ICONERROR);
    }
};

} // namespace

std::unique_ptr<ErrorMessages> makeErrorMessages()
{
    return std::make_unique<MessageBoxMessages>();
}
