#include "platform/user_notice.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace vantor::platform {

namespace {
std::mutex gHandlerMutex;
MessageBoxHandler gHandler;

MessageBoxHandler CurrentHandler() {
  std::lock_guard lock(gHandlerMutex);
  return gHandler;
}

}  // namespace

void ShowWindowMessageBox(std::string_view text) {
  if (MessageBoxHandler handler = CurrentHandler()) handler(text);
}

void ShowMessageBox(std::string_view text) {
  MessageBoxHandler handler = CurrentHandler();
  if (handler) {
    handler(text);
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  std::lock_guard lock(gHandlerMutex);
  return std::exchange(gHandler, std::move(handler));
}

}  // namespace vantor::platform
