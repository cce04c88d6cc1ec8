#include "app/window/password_dialog.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QVBoxLayout>

#include "app/window/control_ids.h"

namespace vantor::window {

CPasswordDlg::CPasswordDlg(const QString& caption, QWidget* parent) : QDialog(parent) {
  setObjectName(DialogName(kIddPassword));
  setWindowTitle(caption);
  edit_ = new QLineEdit(this);
  edit_->setObjectName(ControlName(kIdcPassword));
  edit_->setEchoMode(QLineEdit::Normal);  // the typed characters are shown
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(edit_);
  layout->addWidget(buttons);
  setMinimumWidth(320);
}

QString CPasswordDlg::text() const { return edit_->text(); }

}  // namespace vantor::window
