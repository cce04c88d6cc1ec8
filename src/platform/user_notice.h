// Message boxes raised below the front ends ("Config file corrupted", "Can't Open
// burn_result.txt"): the window shows a box, the command line prints the text, tests
// record it. The front end installs the handler.
#pragma once

#include <functional>
#include <string_view>

namespace vantor::platform {

using MessageBoxHandler = std::function<void(std::string_view text)>;

// Shows a message box with a UTF-8 text through the installed handler; without one the
// text and a line break go to standard output.
void ShowMessageBox(std::string_view text);
// A box only the window shows: through the installed handler, and nowhere without one
// (the caller traces the text).
void ShowWindowMessageBox(std::string_view text);
// Installs the handler (null restores the default); returns the one it replaces.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

}  // namespace vantor::platform
