#include "support/scripted_notices.h"

#include <gtest/gtest.h>

namespace vantor::test {

ScriptedNotices::ScriptedNotices() : previous_(platform::SetUserNotices(this)) {}

ScriptedNotices::~ScriptedNotices() { platform::SetUserNotices(previous_); }

void ScriptedNotices::AnswerYesNo(bool yes) {
  std::lock_guard lock(mutex_);
  yesNo_.push_back(yes);
}

void ScriptedNotices::AnswerText(std::optional<std::string> text) {
  std::lock_guard lock(mutex_);
  texts_.push_back(std::move(text));
}

std::vector<ShownBox> ScriptedNotices::Shown() const {
  std::lock_guard lock(mutex_);
  return shown_;
}

std::vector<std::string> ScriptedNotices::Texts(ShownBox::Kind kind) const {
  std::vector<std::string> out;
  for (const ShownBox& box : Shown()) {
    if (box.kind == kind) out.push_back(box.text);
  }
  return out;
}

void ScriptedNotices::ShowBox(std::string_view text, std::string_view caption) {
  std::lock_guard lock(mutex_);
  shown_.push_back({ShownBox::Kind::kMessage, std::string(text), std::string(caption)});
}

bool ScriptedNotices::AskYesNo(std::string_view text, std::string_view caption, bool defaultYes) {
  std::lock_guard lock(mutex_);
  shown_.push_back({ShownBox::Kind::kYesNo, std::string(text), std::string(caption)});
  if (yesNo_.empty()) {
    ADD_FAILURE() << "unexpected question: " << text;
    return defaultYes;
  }
  const bool answer = yesNo_.front();
  yesNo_.pop_front();
  return answer;
}

std::optional<std::string> ScriptedNotices::AskText(std::string_view caption) {
  std::lock_guard lock(mutex_);
  shown_.push_back({ShownBox::Kind::kText, std::string(), std::string(caption)});
  if (texts_.empty()) {
    ADD_FAILURE() << "unexpected text box: " << caption;
    return std::nullopt;
  }
  std::optional<std::string> answer = texts_.front();
  texts_.pop_front();
  return answer;
}

}  // namespace vantor::test
