// Messages the user must see when a file cannot be used: a modal message box
// captioned "Error..." on Windows, a stand-in elsewhere until the editor
// provides its own.
#pragma once

#include <memory>
#include <string>

class ErrorMessages {
public:
    static constexpr const char* kCaption = "Error...";

    virtual ~ErrorMessages() = default;
    virtual void showError(const std::string& text) = 0;
};

// The platform's message box.
std::unique_ptr<ErrorMessages> makeErrorMessages();
