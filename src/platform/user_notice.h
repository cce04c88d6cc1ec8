// The front end's boxes: message boxes ("Config file corrupted", "Can't Open
// burn_result.txt", "Same FW version!"), Yes/No questions and the password box. The window
// shows dialogs; without a window nothing may block: the text and the answer taken go to
// standard output and the trace. Tests install a front end that answers from a script.
//
// Texts are UTF-8. Any thread may ask; the front end decides where the box appears.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vantor::platform {

// A front end that shows the boxes.
class UserNotices {
 public:
  virtual ~UserNotices() = default;
  // An OK box; returns when it was closed.
  virtual void ShowBox(std::string_view text, std::string_view caption) = 0;
  // Yes/No; true for Yes. `defaultYes` is the button that Enter presses.
  virtual bool AskYesNo(std::string_view text, std::string_view caption, bool defaultYes) = 0;
  // A one-line text box with OK and Cancel; the text typed, or nothing for Cancel.
  virtual std::optional<std::string> AskText(std::string_view caption) = 0;
};

// Installs the front end (null: the console answers); returns the one it replaces. The
// front end must stay alive while installed.
UserNotices* SetUserNotices(UserNotices* notices);

// An OK box with an empty caption.
void ShowMessageBox(std::string_view text);
void ShowMessageBox(std::string_view text, std::string_view caption);
// Without a front end: `defaultYes` is the answer.
bool AskYesNo(std::string_view text, std::string_view caption, bool defaultYes);
// Without a front end: Cancel (nobody can type).
std::optional<std::string> AskText(std::string_view caption);

// Message boxes only, ahead of any front end (tests that record the texts). Null removes
// it; returns the one it replaces.
// A box only a window shows (through the handler or the front end), nowhere without one:
// the caller traces the text.
void ShowWindowMessageBox(std::string_view text);

using MessageBoxHandler = std::function<void(std::string_view text)>;
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

}  // namespace vantor::platform
