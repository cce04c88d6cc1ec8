#include "app/result_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "child_process.h"
#include "platform/files.h"
#include "platform/user_notice.h"
#include "support/debug_capture.h"

namespace vantor {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::ScratchDir;

TEST(TextModeBytes, EveryLineFeedBecomesCrLf) {
  EXPECT_EQ(TextModeBytes("pass"), "pass");
  EXPECT_EQ(TextModeBytes("a\nb\n"), "a\r\nb\r\n");
  EXPECT_EQ(TextModeBytes("line\r\n"), "line\r\r\n");
  EXPECT_EQ(TextModeBytes("\n\n"), "\r\n\r\n");
  EXPECT_EQ(TextModeBytes(""), "");
}

TEST(ResultTexts, ByFrontEndAndSetting) {
  struct Case {
    const char* what;
    std::string text;
    std::string expected;
  } cases[] = {
      {"cl 2 pass", CommandLineResultText(2, true), "TestResult = pass"},
      {"cl 2 fail", CommandLineResultText(2, false), "TestResult = fail"},
      {"cl 1 pass", CommandLineResultText(1, true), "pass"},
      {"cl 1 fail", CommandLineResultText(1, false), "fail"},
      {"cl 3 pass", CommandLineResultText(3, true), "pass"},
      {"cl 0", CommandLineResultText(0, true), ""},
      {"cl -1", CommandLineResultText(-1, false), ""},
      {"open fail 1", CommandLineOpenFailureText(1), "fail"},
      {"open fail 2", CommandLineOpenFailureText(2), "TestResult = fail"},
      {"open fail 3", CommandLineOpenFailureText(3), ""},
      {"open fail 0", CommandLineOpenFailureText(0), ""},
      {"win 1 pass", WindowResultText(1, true, 0x17AA, 0x1046, 0x0102), "pass"},
      {"win 1 fail", WindowResultText(1, false, 0x17AA, 0x1046, 0x0102), "fail"},
      {"win 2 pass", WindowResultText(2, true, 0x17AA, 0x1046, 0x0102),
       "After Download,TestResult = pass, VID is 0x17aa, PID is 0x1046, Rev is 0x0102\n"},
      {"win 2 fail", WindowResultText(2, false, 0x0bda, 0x4a, 0xFFFF),
       "TestResult = fail, VID is 0x0bda, PID is 0x004a, Rev is 0xffff\n"},
      {"win 3", WindowResultText(3, true, 1, 2, 3), ""},
      {"win 0", WindowResultText(0, false, 1, 2, 3), ""},
  };
  for (const Case& c : cases) EXPECT_EQ(c.text, c.expected) << c.what;
}

class ResultFileTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetProgramDirectory(dir_.path()); }
  void TearDown() override { platform::SetProgramDirectory({}); }
  ScratchDir dir_{"result_file"};
};

TEST_F(ResultFileTest, IsCreatedBesideTheProgramAndTruncated) {
  test::WriteFileBytes(dir_ / "Result.txt", "old text that is longer");
  CResultFile file;
  ASSERT_TRUE(file.Create());
  EXPECT_EQ(ReadFileBytes(dir_ / "Result.txt"), "") << "created or truncated at run start";
  ASSERT_TRUE(file.Write(WindowResultText(2, true, 0x17AA, 0x1046, 0x0001)));
  file.Close();
  EXPECT_EQ(ReadFileBytes(dir_ / "Result.txt"),
            "After Download,TestResult = pass, VID is 0x17aa, PID is 0x1046, Rev is 0x0001\r\n");
  EXPECT_FALSE(file.Write("fail")) << "closed";
}

TEST_F(ResultFileTest, CommandLineWordHasNoLineEnd) {
  CResultFile file;
  ASSERT_TRUE(file.Create());
  file.Write(CommandLineResultText(2, false));
  file.Close();
  EXPECT_EQ(ReadFileBytes(dir_ / "Result.txt"), "TestResult = fail");
}

TEST_F(ResultFileTest, UncreatableFileIsTracedAndTheRunGoesOn) {
  // A directory in the file's place fails for every user; a read-only directory as well
  // for users other than root.
  fs::create_directory(dir_ / "Result.txt");
  fs::permissions(dir_.path(), fs::perms::owner_read | fs::perms::owner_exec,
                  fs::perm_options::replace);
  test::DebugCapture capture;
  CResultFile file;
  EXPECT_FALSE(file.Create());
  EXPECT_FALSE(file.IsOpen());
  EXPECT_FALSE(file.Write("pass"));
  file.Close();
  EXPECT_TRUE(capture.Contains("Can't create " + (dir_ / "Result.txt").string())) << capture.All();
  EXPECT_TRUE(capture.Contains("\"pass\" is not recorded"));
}

TEST(BurnResultLine, ColumnsAndLineEnd) {
  std::tm time{};
  time.tm_year = 2024 - 1900;
  time.tm_mon = 2;
  time.tm_mday = 7;
  time.tm_hour = 9;
  time.tm_min = 5;
  time.tm_sec = 3;
  const std::string stamp = "2024-03-07,       09:05:03,         ";
  ASSERT_EQ(stamp.size(), 36u);
  struct Case {
    std::wstring serial;
    bool pass;
    std::int32_t code;
    std::string expected;
  } cases[] = {
      {L"Quillon", true, 0, stamp + "Quillon,                   Pass,    0:\r\n"},
      {L"", false, 41706, stamp + ",                          Fail,    41706:\r\n"},
      // 25 characters and the comma: one blank before field 3.
      {std::wstring(25, L'S'), true, 0, stamp + std::string(25, 'S') + ", Pass,    0:\r\n"},
      // 26 characters and the comma fill the field exactly.
      {std::wstring(26, L'S'), false, -1, stamp + std::string(26, 'S') + ",Fail,    -1:\r\n"},
      // 30 characters push field 3 right, with no blank after the comma.
      {std::wstring(30, L'M'), false, 41714, stamp + std::string(30, 'M') + ",Fail,    41714:\r\n"},
      // Wide text is written as single-byte text.
      {L"Caf\u00E9", true, 0, stamp + "Caf\xE9," + std::string(22, ' ') + "Pass,    0:\r\n"},
  };
  for (const Case& c : cases) {
    std::string line = BurnResultLine(time, c.serial, c.pass, c.code);
    EXPECT_EQ(line, c.expected);
    if (c.serial.size() < 27) {
      EXPECT_EQ(line.substr(63, 5), c.pass ? "Pass," : "Fail,") << "field 3 starts in column 64";
    }
  }
}

class BurnResultLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = platform::SetMessageBoxHandler(
        [this](std::string_view text) { boxes_.emplace_back(text); });
  }
  void TearDown() override { platform::SetMessageBoxHandler(previous_); }

  ScratchDir dir_{"burn_result"};
  std::vector<std::string> boxes_;
  platform::MessageBoxHandler previous_;
};

const std::regex& ResultLinePattern() {
  static const std::regex pattern(
      R"(\d{4}-\d\d-\d\d,       \d\d:\d\d:\d\d,         ([^,]*), *(Pass|Fail), *(-?\d+):)");
  return pattern;
}

// Splits the bytes into lines ending in CR CR LF; a line that does not end so fails.
std::vector<std::string> SplitCrCrLf(const std::string& bytes) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    std::size_t end = bytes.find("\r\r\n", pos);
    if (end == std::string::npos) {
      ADD_FAILURE() << "unterminated tail: " << bytes.substr(pos);
      break;
    }
    lines.push_back(bytes.substr(pos, end - pos));
    pos = end + 3;
  }
  return lines;
}

TEST_F(BurnResultLogTest, NewFileGetsTheHeaderThenOneLinePerRun) {
  fs::path path = dir_ / "burn_result.txt";
  CBurnResultLog log(path);
  ASSERT_TRUE(log.Open());
  EXPECT_TRUE(log.AppendResult(L"Quillon Audio", false, 41706));
  log.Close();
  EXPECT_TRUE(CBurnResultLog::AppendOnce(L"Quillon Audio", true, 0, path));

  std::string bytes = ReadFileBytes(path);
  const std::string header =
      "Update date       Update Time       Serial number              Result   ErrCode\r\r\n"
      "================  ================  =========================  =======  =======\r\r\n";
  ASSERT_EQ(bytes.substr(0, header.size()), header);
  std::vector<std::string> lines = SplitCrCrLf(bytes);
  ASSERT_EQ(lines.size(), 4u);
  std::smatch m;
  ASSERT_TRUE(std::regex_match(lines[2], m, ResultLinePattern())) << lines[2];
  EXPECT_EQ(m[1], "Quillon Audio");
  EXPECT_EQ(m[2], "Fail");
  EXPECT_EQ(m[3], "41706");
  EXPECT_EQ(lines[2].substr(36, 14), "Quillon Audio,");
  EXPECT_EQ(lines[2].substr(63), "Fail,    41706:");
  ASSERT_TRUE(std::regex_match(lines[3], m, ResultLinePattern())) << lines[3];
  EXPECT_EQ(m[2], "Pass");
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(BurnResultLogTest, ExistingFileIsAppendedWithoutHeader) {
  fs::path path = dir_ / "burn_result.txt";
  test::WriteFileBytes(path, "earlier runs\r\r\n");
  ASSERT_TRUE(CBurnResultLog::AppendOnce(L"X", true, 0, path));
  std::vector<std::string> lines = SplitCrCrLf(ReadFileBytes(path));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "earlier runs");
  EXPECT_TRUE(std::regex_match(lines[1], ResultLinePattern())) << lines[1];
}

TEST_F(BurnResultLogTest, LineIsStampedWithTheLocalTimeOfTheWrite) {
  // A zone far from UTC, so that a stamp in UTC cannot pass for local time.
  const char* previousZone = std::getenv("TZ");
  const std::string savedZone = previousZone != nullptr ? previousZone : "";
  ::setenv("TZ", "XST-14", 1);
  ::tzset();
  auto localStamp = [](std::time_t t) {
    std::tm local{};
    ::localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d,       %H:%M:%S", &local);
    return std::string(text);
  };
  fs::path path = dir_ / "burn_result.txt";
  const std::string before = localStamp(std::time(nullptr));
  const bool written = CBurnResultLog::AppendOnce(L"X", true, 0, path);
  const std::string after = localStamp(std::time(nullptr));
  if (previousZone != nullptr) {
    ::setenv("TZ", savedZone.c_str(), 1);
  } else {
    ::unsetenv("TZ");
  }
  ::tzset();
  ASSERT_TRUE(written);
  std::vector<std::string> lines = SplitCrCrLf(ReadFileBytes(path));
  ASSERT_EQ(lines.size(), 3u);
  const std::string stamp = lines[2].substr(0, before.size());
  EXPECT_LE(before, stamp);
  EXPECT_LE(stamp, after);
}

TEST_F(BurnResultLogTest, DefaultPathIsTheCurrentDirectory) {
  fs::path previous = fs::current_path();
  fs::current_path(dir_.path());
  bool written = CBurnResultLog::AppendOnce(L"X", false, 41511);
  fs::current_path(previous);
  EXPECT_TRUE(written);
  EXPECT_TRUE(fs::exists(dir_ / "burn_result.txt"));
}

TEST_F(BurnResultLogTest, UnopenableFileShowsTheMessageAndTheRunGoesOn) {
  fs::path path = dir_ / "burn_result.txt";
  fs::create_directory(path);  // in the file's place: no user can open it
  test::DebugCapture capture;
  CBurnResultLog log(path);
  EXPECT_FALSE(log.Open());
  EXPECT_FALSE(log.AppendResult(L"X", true, 0));
  log.Close();
  EXPECT_FALSE(CBurnResultLog::AppendOnce(L"X", true, 0, path));
  EXPECT_EQ(boxes_,
            (std::vector<std::string>{"Can't Open burn_result.txt", "Can't Open burn_result.txt"}));
  EXPECT_TRUE(capture.Contains("Can't Open " + path.string()));
}

}  // namespace
}  // namespace vantor
