#include "platform/console.h"

#include <cstdio>

namespace vantor::platform {

bool AttachParentConsole() { return true; }

void ConsoleWrite(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

}  // namespace vantor::platform
