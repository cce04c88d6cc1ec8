// A front end for the boxes that answers from a script and records every box shown:
// message boxes, Yes/No questions and text boxes. Installed for its lifetime. A question
// the script has no answer for is a test failure (answered with the default, or Cancel).
#pragma once

#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/user_notice.h"

namespace vantor::test {

struct ShownBox {
  enum class Kind { kMessage, kYesNo, kText };
  Kind kind;
  std::string text;
  std::string caption;
  bool operator==(const ShownBox&) const = default;
};

class ScriptedNotices : public platform::UserNotices {
 public:
  ScriptedNotices();
  ~ScriptedNotices() override;
  ScriptedNotices(const ScriptedNotices&) = delete;
  ScriptedNotices& operator=(const ScriptedNotices&) = delete;

  // Answers for the next questions, in order.
  void AnswerYesNo(bool yes);
  void AnswerText(std::optional<std::string> text);

  std::vector<ShownBox> Shown() const;
  // The texts of the boxes of one kind, in order.
  std::vector<std::string> Texts(ShownBox::Kind kind) const;

  void ShowBox(std::string_view text, std::string_view caption) override;
  bool AskYesNo(std::string_view text, std::string_view caption, bool defaultYes) override;
  std::optional<std::string> AskText(std::string_view caption) override;

 private:
  mutable std::mutex mutex_;
  std::deque<bool> yesNo_;
  std::deque<std::optional<std::string>> texts_;
  std::vector<ShownBox> shown_;
  platform::UserNotices* previous_;
};

}  // namespace vantor::test
