// The boxes without a window: nothing blocks, the text and the answer taken go to
// standard output and the trace. With a front end installed, it answers.
#include "platform/user_notice.h"

#include <gtest/gtest.h>

#include <functional>

#include "support/debug_capture.h"
#include "support/scripted_notices.h"

namespace vantor::platform {
namespace {

using test::ShownBox;

TEST(UserNoticeConsole, PrintsTextAndAnswerTakenWithoutBlocking) {
  struct Case {
    const char* what;
    std::function<void()> ask;
    const char* line;
  } cases[] = {
      {"message", [] { ShowMessageBox("Same FW version!", "Warning!!"); },
       "Warning!!: Same FW version!\n"},
      {"message without caption", [] { ShowMessageBox("Can't Open burn_result.txt"); },
       "Can't Open burn_result.txt\n"},
      {"question, default yes",
       [] { EXPECT_TRUE(AskYesNo("Older, continue?", "Warning!!", true)); },
       "Warning!!: Older, continue? -> Yes\n"},
      {"question, default no", [] { EXPECT_FALSE(AskYesNo("Go?", "", false)); }, "Go? -> No\n"},
      {"text box", [] { EXPECT_FALSE(AskText("Password").has_value()); },
       "Password: (text box) -> Cancel\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::DebugCapture trace;
    ::testing::internal::CaptureStdout();
    c.ask();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), c.line);
    std::string traced = c.line;
    traced.pop_back();
    EXPECT_TRUE(trace.Contains("Message box: " + traced)) << trace.All();
  }
}

TEST(UserNoticeFrontEnd, InstalledFrontEndAnswersAndRecords) {
  test::ScriptedNotices notices;
  notices.AnswerYesNo(false);
  notices.AnswerText(std::string("secret"));
  notices.AnswerText(std::nullopt);
  ::testing::internal::CaptureStdout();
  ShowMessageBox("Same FW version!", "Warning!!");
  EXPECT_FALSE(AskYesNo("Older?", "Warning!!", true));
  EXPECT_EQ(AskText("Password"), std::optional<std::string>("secret"));
  EXPECT_EQ(AskText("Password"), std::nullopt);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "") << "nothing on the console";
  const std::vector<ShownBox> expected = {
      {ShownBox::Kind::kMessage, "Same FW version!", "Warning!!"},
      {ShownBox::Kind::kYesNo, "Older?", "Warning!!"},
      {ShownBox::Kind::kText, "", "Password"},
      {ShownBox::Kind::kText, "", "Password"},
  };
  EXPECT_EQ(notices.Shown(), expected);
}

TEST(UserNoticeFrontEnd, MessageBoxHandlerComesFirstForMessagesOnly) {
  test::ScriptedNotices notices;
  std::vector<std::string> handled;
  MessageBoxHandler previous =
      SetMessageBoxHandler([&](std::string_view text) { handled.emplace_back(text); });
  notices.AnswerYesNo(true);
  ShowMessageBox("Config file corrupted");
  EXPECT_TRUE(AskYesNo("Q", "", false));
  SetMessageBoxHandler(previous);
  EXPECT_EQ(handled, std::vector<std::string>{"Config file corrupted"});
  EXPECT_EQ(notices.Texts(ShownBox::Kind::kMessage).size(), 0u);
  EXPECT_EQ(notices.Texts(ShownBox::Kind::kYesNo), std::vector<std::string>{"Q"});
}

}  // namespace
}  // namespace vantor::platform
