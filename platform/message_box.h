#pragma once
// The program's one user-visible message: a modal box with an OK button. By default
// the text goes to standard error as one line; a front end installs its own handler
// (the window shows a message box, tests record the text).
#include <functional>
#include <string_view>

namespace quorel::platform {

using MessageHandler = std::function<void(std::string_view utf8)>;

// Installs handler (an empty one restores the default) and returns the one it replaces.
MessageHandler setMessageHandler(MessageHandler handler);

// Shows the text and returns when the user has dismissed it.
void showMessage(std::string_view utf8);

}  // namespace quorel::platform
