// Messages the user must see when a file cannot be used, shown with the
// caption "Error...". The editor shows them in the window system's message
// box (gui/Platform.h); tests collect them.
#pragma once

#include <string>

class ErrorMessages {
public:
    static constexpr const char* kCaption = "Error...";

    virtual ~ErrorMessages() = default;
    virtual void showError(const std::string& text) = 0;
};
