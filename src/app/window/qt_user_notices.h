// The boxes as Qt dialogs, shown on the window's thread: a question asked from the worker
// waits there until it is answered. Installed for the object's lifetime.
#pragma once

#include <QObject>
#include <QString>

#include "platform/user_notice.h"

namespace vantor::window {

class QtUserNotices : public QObject, public platform::UserNotices {
 public:
  // `fallbackCaption` titles boxes that come without a caption. Construct on the window's
  // thread.
  explicit QtUserNotices(QString fallbackCaption);
  ~QtUserNotices() override;
  QtUserNotices(const QtUserNotices&) = delete;
  QtUserNotices& operator=(const QtUserNotices&) = delete;

  void ShowBox(std::string_view text, std::string_view caption) override;
  bool AskYesNo(std::string_view text, std::string_view caption, bool defaultYes) override;
  std::optional<std::string> AskText(std::string_view caption) override;

 private:
  // Runs `call` on the window's thread and waits for it.
  template <class Call>
  void OnGuiThread(Call call);
  QString Caption(std::string_view caption) const;

  QString fallbackCaption_;
  platform::UserNotices* previous_;
};

}  // namespace vantor::window
