#include "app/window/qt_user_notices.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include "app/window/password_dialog.h"

namespace vantor::window {

namespace {
QString Q(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}
}  // namespace

QtUserNotices::QtUserNotices(QString fallbackCaption)
    : fallbackCaption_(std::move(fallbackCaption)), previous_(platform::SetUserNotices(this)) {}

QtUserNotices::~QtUserNotices() { platform::SetUserNotices(previous_); }

template <class Call>
void QtUserNotices::OnGuiThread(Call call) {
  if (QThread::currentThread() == thread()) {
    call();
    return;
  }
  QMetaObject::invokeMethod(this, call, Qt::BlockingQueuedConnection);
}

QString QtUserNotices::Caption(std::string_view caption) const {
  return caption.empty() ? fallbackCaption_ : Q(caption);
}

void QtUserNotices::ShowBox(std::string_view text, std::string_view caption) {
  OnGuiThread([&] {
    QMessageBox box(QMessageBox::Warning, Caption(caption), Q(text), QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
  });
}

bool QtUserNotices::AskYesNo(std::string_view text, std::string_view caption, bool defaultYes) {
  bool yes = defaultYes;
  OnGuiThread([&] {
    QMessageBox box(QMessageBox::Warning, Caption(caption), Q(text),
                    QMessageBox::Yes | QMessageBox::No, QApplication::activeWindow());
    box.setDefaultButton(defaultYes ? QMessageBox::Yes : QMessageBox::No);
    yes = box.exec() == QMessageBox::Yes;
  });
  return yes;
}

std::optional<std::string> QtUserNotices::AskText(std::string_view caption) {
  std::optional<std::string> typed;
  OnGuiThread([&] {
    CPasswordDlg box(Caption(caption), QApplication::activeWindow());
    if (box.exec() == QDialog::Accepted) typed = box.text().toStdString();
  });
  return typed;
}

}  // namespace vantor::window
