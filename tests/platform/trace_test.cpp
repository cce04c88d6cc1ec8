#include "platform/trace.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "platform/clock.h"
#include "platform/debug_output.h"
#include "support/debug_capture.h"

namespace vantor {
namespace {

TEST(DebugPrint, TrimsTrailingWhiteSpaceAndEndsWithCrLf) {
  test::DebugCapture capture;
  DebugPrint("FW Path is %s \t\n", "/x/y.rfw");
  DebugPrint("Failing on char %d\n", 9);
  ASSERT_EQ(capture.Lines().size(), 2u);
  EXPECT_EQ(capture.Lines()[0], "FW Path is /x/y.rfw\r\n");
  EXPECT_EQ(capture.Lines()[1], "Failing on char 9\r\n");
}

TEST(DebugPrint, CutsTo4093Characters) {
  test::DebugCapture capture;
  std::string longText(5000, 'a');
  DebugPrint("%s", longText.c_str());
  ASSERT_EQ(capture.Lines().size(), 1u);
  EXPECT_EQ(capture.Lines()[0], std::string(4093, 'a') + "\r\n");
}

TEST(TraceWrite, PrefixHasThreadIdTickCountAndScopeName) {
  test::DebugCapture capture;
  TraceScope scope("CExtUnitBase::ReadMem");
  TraceWrite(scope, "ret = %d\n", -5);
  ASSERT_EQ(capture.Lines().size(), 1u);
  std::smatch m;
  std::string line = capture.Lines()[0];
  ASSERT_TRUE(std::regex_match(
      line, m, std::regex(R"(\(([0-9A-F]+)-(-?[0-9]+)\):CExtUnitBase::ReadMem:> ret = -5\r\n)")))
      << line;
  EXPECT_EQ(std::stoul(m[1].str(), nullptr, 16), platform::CurrentThreadId());
}

TEST(TraceWrite, MessageEndingInCrLfKeepsOneCrLf) {
  test::DebugCapture capture;
  TraceScope scope("A::B");
  TracePlain(scope, "done\r\n");
  TracePlain(scope, "done\n");
  TracePlain(scope, "done");
  for (const auto& line : capture.Lines()) EXPECT_EQ(line, "done\r\n");
  EXPECT_EQ(capture.Lines().size(), 3u);
}

TEST(TraceWrite, LineIsCutToTheLineBuffer) {
  test::DebugCapture capture;
  TraceScope scope("S::T");
  std::string longText(1000, 'x');
  TracePlain(scope, "%s\n", longText.c_str());
  ASSERT_EQ(capture.Lines().size(), 1u);
  EXPECT_EQ(capture.Lines()[0], std::string(kTraceLineChars - 1, 'x') + "\r\n");
}

TEST(TraceScope, MarksEntryAndExit) {
  test::DebugCapture capture;
  {
    TraceScope scope("CDevFlow::DEV_OpenDevice", true);
    TracePlain(scope, "----------------: %s\n", "Detect Device Fail!");
  }
  auto lines = capture.Lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_NE(lines[0].find("CDevFlow::DEV_OpenDevice:> START --->>>\r\n"), std::string::npos);
  EXPECT_EQ(lines[1], "----------------: Detect Device Fail!\r\n");
  EXPECT_NE(lines[2].find("CDevFlow::DEV_OpenDevice:> EXIT <<<---\r\n"), std::string::npos);
}

TEST(TraceScope, CategoryOutsideTheMaskWritesNothing) {
  test::DebugCapture capture;
  SetTraceCategoryMask(1 | 2);
  {
    TraceScope hidden("X::Y", true, kTraceCategory4);
    TraceWrite(hidden, "hidden\n");
  }
  TraceScope shown("X::Z", false, kTraceCategory2);
  TraceWrite(shown, "shown\n");
  SetTraceCategoryMask(7);
  ASSERT_EQ(capture.Lines().size(), 1u);
  EXPECT_NE(capture.Lines()[0].find("shown"), std::string::npos);
}

}  // namespace
}  // namespace vantor
