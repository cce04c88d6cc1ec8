#include "platform/display.h"

#include <cstdlib>

namespace vantor::platform {

namespace {
bool IsSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}
}  // namespace

bool HasGraphicalDisplay() {
  // An X server, a Wayland compositor, or a Qt platform named explicitly (offscreen, vnc).
  return IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY") || IsSet("QT_QPA_PLATFORM");
}

}  // namespace vantor::platform
