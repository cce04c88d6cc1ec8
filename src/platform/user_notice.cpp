#include "platform/user_notice.h"

#include <cstdio>
#include <mutex>
#include <string>
#include <utility>

#include "platform/trace.h"

namespace vantor::platform {

namespace {

std::mutex gMutex;
MessageBoxHandler gHandler;
UserNotices* gNotices = nullptr;

UserNotices* Notices() {
  std::lock_guard lock(gMutex);
  return gNotices;
}

// "caption: text", or the text alone.
std::string Titled(std::string_view text, std::string_view caption) {
  std::string line;
  if (!caption.empty()) {
    line.append(caption);
    line += ": ";
  }
  line.append(text);
  return line;
}

// Without a window: standard output and the trace get the line and the answer taken.
void ConsoleNotice(const std::string& line, const char* answer) {
  std::string out = line;
  if (answer != nullptr) {
    out += " -> ";
    out += answer;
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
  DebugPrint("Message box: %s", out.c_str());
}

}  // namespace

UserNotices* SetUserNotices(UserNotices* notices) {
  std::lock_guard lock(gMutex);
  return std::exchange(gNotices, notices);
}

void ShowWindowMessageBox(std::string_view text) {
  MessageBoxHandler handler;
  {
    std::lock_guard lock(gMutex);
    handler = gHandler;
  }
  if (handler) {
    handler(text);
  } else if (UserNotices* notices = Notices()) {
    notices->ShowBox(text, {});
  }
}

void ShowMessageBox(std::string_view text) { ShowMessageBox(text, {}); }

void ShowMessageBox(std::string_view text, std::string_view caption) {
  MessageBoxHandler handler;
  {
    std::lock_guard lock(gMutex);
    handler = gHandler;
  }
  if (handler) {
    handler(text);
    return;
  }
  if (UserNotices* notices = Notices()) {
    notices->ShowBox(text, caption);
    return;
  }
  ConsoleNotice(Titled(text, caption), nullptr);
}

bool AskYesNo(std::string_view text, std::string_view caption, bool defaultYes) {
  if (UserNotices* notices = Notices()) return notices->AskYesNo(text, caption, defaultYes);
  ConsoleNotice(Titled(text, caption), defaultYes ? "Yes" : "No");
  return defaultYes;
}

std::optional<std::string> AskText(std::string_view caption) {
  if (UserNotices* notices = Notices()) return notices->AskText(caption);
  ConsoleNotice(Titled("(text box)", caption), "Cancel");
  return std::nullopt;
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  std::lock_guard lock(gMutex);
  return std::exchange(gHandler, std::move(handler));
}

}  // namespace vantor::platform
