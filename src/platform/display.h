// Whether the desktop can show a window to this process (a graphical session to connect
// to), so that the window mode can say so instead of failing to open one.
#pragma once

namespace vantor::platform {

bool HasGraphicalDisplay();

}  // namespace vantor::platform
