#include "platform/trace.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <string_view>
#include <vector>

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

std::string Repeat(std::string_view unit, std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) text += unit;
  return text;
}

// The limits count characters, not bytes: a character beyond U+FFFF takes two, and
// none is split.
struct CutCase {
  const char* what;
  std::string unit;
  std::size_t keptUnits;  // of a line far over the limit
};

std::vector<CutCase> CutCases(std::size_t limit) {
  return {
      {"ASCII", "a", limit},
      {"two-byte characters", "\xC3\xA9", limit},
      {"three-byte characters", "\xE2\x82\xAC", limit},
      {"characters beyond U+FFFF", "\xF0\x9F\x8E\xB5", limit / 2},
  };
}

TEST(DebugPrint, CutsTo4093Characters) {
  for (const CutCase& c : CutCases(kDebugPrintMaxChars)) {
    SCOPED_TRACE(c.what);
    test::DebugCapture capture;
    DebugPrint("%s", Repeat(c.unit, 5000).c_str());
    ASSERT_EQ(capture.Lines().size(), 1u);
    EXPECT_EQ(capture.Lines()[0], Repeat(c.unit, c.keptUnits) + "\r\n");
  }
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
  TraceScope scope("S::T");
  for (const CutCase& c : CutCases(kTraceLineChars - 1)) {
    SCOPED_TRACE(c.what);
    test::DebugCapture capture;
    TracePlain(scope, "%s\n", Repeat(c.unit, 1000).c_str());
    ASSERT_EQ(capture.Lines().size(), 1u);
    EXPECT_EQ(capture.Lines()[0], Repeat(c.unit, c.keptUnits) + "\r\n");
  }
  // A line that fits keeps every character: 510 two-byte characters and the line feed.
  test::DebugCapture capture;
  TracePlain(scope, "%s\n", Repeat("\xC3\xA9", kTraceLineChars - 2).c_str());
  ASSERT_EQ(capture.Lines().size(), 1u);
  EXPECT_EQ(capture.Lines()[0], Repeat("\xC3\xA9", kTraceLineChars - 2) + "\r\n");
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
