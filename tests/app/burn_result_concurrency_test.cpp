// Two production stations sharing one burn_result.txt: separate processes appending at
// the same time must leave one header and every line whole, in each process's order.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "app/result_files.h"
#include "child_process.h"
#include "platform/clock.h"

namespace vantor {
namespace {

namespace fs = std::filesystem;

constexpr char kChildVariable[] = "VANTOR_BURN_RESULT_CHILD";
constexpr int kLinesPerChild = 1500;

// In a child started by the test below (the variable holds "<file>|<go file>|<tag>"):
// wait for the go file, append the lines, end the process before the tests run.
int RunChildIfAsked() {
  const char* job = std::getenv(kChildVariable);
  if (job == nullptr) return 0;
  std::string text(job);
  std::size_t a = text.find('|');
  std::size_t b = text.find('|', a + 1);
  fs::path file = text.substr(0, a);
  fs::path go = text.substr(a + 1, b - a - 1);
  std::string tag = text.substr(b + 1);
  for (int waited = 0; !fs::exists(go) && waited < 10000; ++waited) platform::Sleep(1);
  int failures = 0;
  for (int i = 0; i < kLinesPerChild; ++i) {
    char serial[32];
    std::snprintf(serial, sizeof serial, "%s-%05d", tag.c_str(), i);
    std::wstring wide(serial, serial + std::char_traits<char>::length(serial));
    // Alternate the two ways the front ends write: a file kept open over several lines
    // and one opened around a single line.
    if (i % 2 == 0) {
      if (!CBurnResultLog::AppendOnce(wide, true, i, file)) ++failures;
    } else {
      CBurnResultLog log(file);
      if (!log.Open() || !log.AppendResult(wide, false, i)) ++failures;
    }
  }
  std::_Exit(failures == 0 ? 0 : 3);
}

const int kChildRan = RunChildIfAsked();

TEST(BurnResultConcurrency, TwoProcessesNeverInterleaveOrLoseLines) {
  ASSERT_EQ(kChildRan, 0);
  const std::regex linePattern(
      R"(\d{4}-\d\d-\d\d,       \d\d:\d\d:\d\d,         ([AB])-(\d{5}),\s+(Pass|Fail),    (\d+):)");
  const std::string header1 =
      "Update date       Update Time       Serial number              Result   ErrCode";
  const std::string header2 =
      "================  ================  =========================  =======  =======";
  // A few rounds, each on a new file, so both processes race for the header too.
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    test::ScratchDir dir("burn_concurrent");
    fs::path file = dir / "burn_result.txt";
    fs::path go = dir / "go";
    std::vector<pid_t> children;
    for (const char* tag : {"A", "B"}) {
      test::ChildOptions options;
      options.args = {"--gtest_filter=-*"};
      options.env = {std::string(kChildVariable) + "=" + file.string() + "|" + go.string() + "|" +
                     tag};
      children.push_back(test::StartChild("/proc/self/exe", options));
      ASSERT_GT(children.back(), 0);
    }
    test::WriteFileBytes(go, "");
    for (pid_t pid : children) EXPECT_EQ(test::WaitChild(pid), 0);

    std::string bytes = test::ReadFileBytes(file);
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
      std::size_t end = bytes.find("\r\r\n", pos);
      ASSERT_NE(end, std::string::npos) << "unterminated tail";
      lines.push_back(bytes.substr(pos, end - pos));
      pos = end + 3;
    }
    ASSERT_EQ(lines.size(), 2u + 2u * kLinesPerChild);
    EXPECT_EQ(lines[0], header1);
    EXPECT_EQ(lines[1], header2);
    std::map<std::string, int> next{{"A", 0}, {"B", 0}};
    for (std::size_t i = 2; i < lines.size(); ++i) {
      std::smatch m;
      ASSERT_TRUE(std::regex_match(lines[i], m, linePattern)) << "line " << i << ": " << lines[i];
      int seq = std::stoi(m[2]);
      EXPECT_EQ(seq, next[m[1]]) << "line " << i;
      EXPECT_EQ(std::stoi(m[4]), seq);
      EXPECT_EQ(m[3], seq % 2 == 0 ? "Pass" : "Fail");
      next[m[1]] = seq + 1;
    }
    EXPECT_EQ(next["A"], kLinesPerChild);
    EXPECT_EQ(next["B"], kLinesPerChild);
  }
}

}  // namespace
}  // namespace vantor
