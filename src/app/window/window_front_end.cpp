// The window front end of the program: a Qt application around the main dialog, run
// modally until the dialog closes.
#include <QApplication>

#include "app/vantor_app.h"
#include "app/window/install_main_window.h"
#include "app/window/main_dialog.h"
#include "app/window/qt_user_notices.h"
#include "platform/console.h"
#include "platform/display.h"

namespace vantor {

namespace {

void RunWindow(const std::string& versionText) {
  if (!platform::HasGraphicalDisplay()) {
    platform::ConsoleWrite(kNoDisplayLine);
    return;
  }
  static int argc = 1;
  static char name[] = "vantorfw";
  static char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  window::QtUserNotices notices(QString::fromUtf8(window::kWindowTitle));
  window::CQuillon_KvproxyDlg dialog(versionText);
  dialog.exec();
}

}  // namespace

void InstallMainWindow() { SetMainWindowRunner(RunWindow); }

}  // namespace vantor
