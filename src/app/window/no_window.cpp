// A build without the window (VANTOR_WITH_WINDOW=OFF): start-up's own window mode prints
// how to get it.
#include "app/window/install_main_window.h"

namespace vantor {

void InstallMainWindow() {}

}  // namespace vantor
