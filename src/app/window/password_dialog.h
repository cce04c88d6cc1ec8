// The password box of the second-burn lock: a caption, one edit (control 1137) that
// shows what is typed, OK and Cancel. It starts empty.
#pragma once

#include <QDialog>

class QLineEdit;

namespace vantor::window {

class CPasswordDlg : public QDialog {
 public:
  explicit CPasswordDlg(const QString& caption, QWidget* parent = nullptr);
  QString text() const;

 private:
  QLineEdit* edit_;
};

}  // namespace vantor::window
