#include "app/parse_arg.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "child_process.h"
#include "config/settings.h"
#include "image/memory_type.h"
#include "platform/text.h"
#include "support/debug_capture.h"
#include "support/scoped_program_dir.h"

namespace vantor {
namespace {

namespace fs = std::filesystem;

class ParseArgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteSettings();
    SetConfiguredMemorySize(kDefaultConfiguredMemorySize);
  }
  void TearDown() override {
    DeleteSettings();
    SetConfiguredMemorySize(kDefaultConfiguredMemorySize);
  }
  fs::path ResultFile() const { return dir_.path() / "Result.txt"; }

  test::ScopedProgramDir dir_;
};

TEST_F(ParseArgTest, GrammarTable) {
  struct Case {
    std::vector<std::wstring> args;  // after the program
    int result;
    char action;
    std::wstring file;
    std::int32_t startIndex;
    bool invalidTrace;  // "Fail --- Invalid parameter!" traced
  } cases[] = {
      {{L"-f", L"-write", L"fw.rfw"}, 1, 'W', L"fw.rfw", 0, false},
      {{L"-f", L"-verify", L"fw.rfw"}, 1, 'V', L"fw.rfw", 0, false},
      {{L"-f", L"-erase", L"x"}, 1, 'E', L"x", 0, false},
      {{L"-f", L"-version", L"x"}, 1, 'D', L"x", 0, false},
      {{L"-f", L"-detect", L"fw.rfw"}, 1, 'C', L"fw.rfw", 0, false},
      {{L"-f", L"-dumpotp", L"otp.bin"}, 1, 'Y', L"otp.bin", 0, false},
      {{L"-f", L"-dumpspi", L"spi.bin"}, 1, 'Z', L"spi.bin", 0, false},
      // Three arguments: no file, the action alone.
      {{L"-f", L"-version"}, 1, 'D', L"", 0, false},
      // The file right after "-f" is written, whatever follows.
      {{L"-f", L"fw.rfw"}, 1, 'W', L"fw.rfw", 0, false},
      {{L"-f", L"fw.rfw", L"-verify"}, 1, 'W', L"fw.rfw", 0, false},
      {{L"-f", L"FW.RFW"}, 1, 'W', L"FW.RFW", 0, false},
      // "-F" is "-f", but an upper-case option is not an option: it is the file.
      {{L"-F", L"-WRITE", L"fw.rfw"}, 1, 'W', L"-WRITE", 0, false},
      {{L"-f", L"-Version", L"x"}, 1, 'W', L"-Version", 0, false},
      // Malformed calls are traced and parsed anyway.
      {{L"-f", L"fw.bin"}, 1, 'W', L"fw.bin", 0, true},
      {{L"-ff", L"-write", L"fw.rfw"}, 1, 'W', L"fw.rfw", 0, true},
      {{L"-write", L"-f", L"fw.rfw"}, 1, 'W', L"-f", 0, true},
      // "-d" start index: any case, decimal, a missing or non-numeric value gives 0.
      {{L"-f", L"-version", L"x", L"-d", L"2"}, 1, 'D', L"x", 2, false},
      {{L"-f", L"-version", L"x", L"-D", L"12"}, 1, 'D', L"x", 12, false},
      {{L"-f", L"-version", L"x", L"-d", L"0x10"}, 1, 'D', L"x", 0, false},
      {{L"-f", L"-version", L"x", L"-d", L"abc"}, 1, 'D', L"x", 0, false},
      {{L"-f", L"-version", L"x", L"-d"}, 1, 'D', L"x", 0, false},
      {{L"-f", L"-version", L"x", L"-e", L"2"}, 1, 'D', L"x", 0, false},
      // Argument count outside 3 to 6 (with the program): traced, no run.
      {{L"-f"}, 0, CParseArg::kNoAction, L"", 0, true},
      {{L"-f", L"-version", L"x", L"-d", L"1", L"a", L"b"}, 0, CParseArg::kNoAction, L"", 0, true},
  };
  for (const Case& c : cases) {
    std::wstring joined;
    for (const auto& a : c.args) joined += a + L" ";
    SCOPED_TRACE(platform::ToUtf8(joined));
    std::vector<std::wstring> args = {L"vantorfw"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    test::DebugCapture capture;
    CParseArg parser;
    EXPECT_EQ(parser.Parse_Arg(args), c.result);
    EXPECT_EQ(parser.action, c.action);
    if (c.result == 1) {
      EXPECT_EQ(parser.filePath, c.file);
      EXPECT_EQ(parser.startIndex, c.startIndex);
    }
    const std::string trace = capture.All();
    EXPECT_EQ(trace.find("Fail --- Invalid parameter!") != std::string::npos, c.invalidTrace)
        << trace;
    if (c.invalidTrace) {
      EXPECT_NE(trace.find("----------------:\r\n"), std::string::npos) << trace;
    }
    EXPECT_FALSE(fs::exists(ResultFile())) << "only a call without -f writes Result.txt";
  }
}

TEST_F(ParseArgTest, WithoutDashFResultTxtHoldsFailWhateverTheSetting) {
  for (const char* settings : {"[Vantor Config]\n", "[Vantor Config]\nSaveResultToFile=2\n"}) {
    LoadSettingsText(settings);
    for (const auto& args : std::vector<std::vector<std::wstring>>{
             {L"vantorfw", L"-s"},
             {L"vantorfw", L"-write", L"fw.rfw", L"x"},
             // The program's own path does not count.
             {L"C:\\tools\\my-fw\\vantorfw.exe", L"-s"},
             {L"/opt/vantor-fw/vantorfw", L"-write", L"a.rfw"},
         }) {
      fs::remove(ResultFile());
      CParseArg parser;
      EXPECT_EQ(parser.Parse_Arg(args), 0);
      EXPECT_EQ(test::ReadFileBytes(ResultFile()), "fail") << platform::ToUtf8(args[0]);
      EXPECT_EQ(parser.action, CParseArg::kNoAction);
    }
  }
  // "-f" anywhere among the arguments, in any case and inside a word, takes the call.
  fs::remove(ResultFile());
  CParseArg parser;
  EXPECT_EQ(parser.Parse_Arg({L"vantorfw", L"x", L"my-FILE.rfw"}), 1);
  EXPECT_EQ(parser.action, 'W');
  EXPECT_EQ(parser.filePath, L"my-FILE.rfw");
  EXPECT_FALSE(fs::exists(ResultFile()));
}

TEST_F(ParseArgTest, SettingsAndProgramDirectory) {
  LoadSettingsText("[Vantor Config]\nSaveResultToFile=3\n");
  CParseArg parser;
  ASSERT_EQ(parser.Parse_Arg({L"vantorfw", L"-f", L"-erase", L"x"}), 1);
  EXPECT_EQ(parser.saveResult, 3);
  EXPECT_EQ(parser.exeDir, platform::FromUtf8(dir_.path().string()));
  EXPECT_NE(parser.exeDir.back(), L'/');
}

TEST_F(ParseArgTest, OnlyDumpSpiSetsTheMemorySizeTo64KiB) {
  struct Case {
    const wchar_t* option;
    std::uint32_t size;
  } cases[] = {{L"-dumpspi", 0x10000},
               {L"-dumpotp", kDefaultConfiguredMemorySize},
               {L"-write", kDefaultConfiguredMemorySize},
               {L"-DUMPSPI", kDefaultConfiguredMemorySize}};
  for (const Case& c : cases) {
    SetConfiguredMemorySize(kDefaultConfiguredMemorySize);
    CParseArg parser;
    ASSERT_EQ(parser.Parse_Arg({L"vantorfw", L"-f", c.option, L"out.bin"}), 1);
    EXPECT_EQ(ConfiguredMemorySize(), c.size) << platform::ToUtf8(c.option);
  }
}

TEST_F(ParseArgTest, ActionLettersMatchExactCase) {
  EXPECT_EQ(ActionLetterOf(L"-erase"), 'E');
  EXPECT_EQ(ActionLetterOf(L"-write"), 'W');
  EXPECT_EQ(ActionLetterOf(L"-verify"), 'V');
  EXPECT_EQ(ActionLetterOf(L"-version"), 'D');
  EXPECT_EQ(ActionLetterOf(L"-detect"), 'C');
  EXPECT_EQ(ActionLetterOf(L"-dumpotp"), 'Y');
  EXPECT_EQ(ActionLetterOf(L"-dumpspi"), 'Z');
  EXPECT_EQ(ActionLetterOf(L"-Erase"), 0);
  EXPECT_EQ(ActionLetterOf(L"-write "), 0);
  EXPECT_EQ(ActionLetterOf(L"write"), 0);
  EXPECT_EQ(ActionLetterOf(L""), 0);
}

}  // namespace
}  // namespace vantor

namespace vantor {
namespace {

// What the routine under test writes to standard output.
class StdoutCapture {
 public:
  StdoutCapture() {
    std::fflush(stdout);
    saved_ = ::dup(1);
    int fd = ::open(file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(fd, 1);
    ::close(fd);
  }
  ~StdoutCapture() { Restore(); }
  std::string Text() {
    Restore();
    return test::ReadFileBytes(file_);
  }

 private:
  void Restore() {
    if (saved_ < 0) return;
    std::fflush(stdout);
    ::dup2(saved_, 1);
    ::close(saved_);
    saved_ = -1;
  }
  test::ScratchDir dir_{"stdout"};
  std::filesystem::path file_ = dir_ / "stdout.txt";
  int saved_ = -1;
};

TEST(ParseArgConsole, PrintsOnlyAfterAttachingAndCutsLongLines) {
  CParseArg parser;
  parser.exeDir = L"/opt/vantor";
  {
    StdoutCapture out;
    parser.ConsolePrint("before %d\n", 1);
    parser.PrintPrompt();
    EXPECT_EQ(out.Text(), "") << "nothing before the console is attached";
  }
  parser.AttachConsole();
  EXPECT_EQ(parser.consoleOn, 1u);
  {
    StdoutCapture out;
    parser.ConsolePrint("Current FW Version: %s!\r\n", "1.003.0010-0005.2024");
    parser.ConsolePrint("%s", std::string(300, 'x').c_str());
    parser.PrintPrompt();  // a shell prints its own prompt
    EXPECT_EQ(out.Text(), "Current FW Version: 1.003.0010-0005.2024!\r\n" + std::string(259, 'x'));
  }
  parser.promptOn = true;  // attached to a parent's console
  {
    StdoutCapture out;
    parser.PrintPrompt();
    EXPECT_EQ(out.Text(), "/opt/vantor>");
  }
}

}  // namespace
}  // namespace vantor

namespace vantor {
namespace {

TEST(IcTypeSearch, ValidAreaAtConfigAddressOrAtTheStart) {
  auto image = [](std::size_t length, std::size_t at, std::uint8_t type, std::uint8_t sig) {
    std::vector<std::uint8_t> bytes(length, 0xFF);
    if (at + 1 < length) {
      bytes[at] = type;
      bytes[at + 1] = sig;
    }
    return bytes;
  };
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
    std::uint32_t configAddress;
    bool valid;
  } cases[] = {
      {"flash type 0x55 at the address", image(0x10000, 0xF000, 0x55, 0xA5), 0xF000, true},
      {"EEPROM8 0x11", image(0x10000, 0xF000, 0x11, 0xA5), 0xF000, true},
      {"EEPROM16 0x12", image(0x10000, 0xF000, 0x12, 0xA5), 0xF000, true},
      {"MTP 0x40", image(0x10000, 0xF000, 0x40, 0xA5), 0xF000, true},
      {"OTP 0x60", image(0x10000, 0xF000, 0x60, 0xA5), 0xF000, true},
      // The other flash codes are not taken by the search.
      {"flash 0x30", image(0x10000, 0xF000, 0x30, 0xA5), 0xF000, false},
      {"flash 0x61", image(0x10000, 0xF000, 0x61, 0xA5), 0xF000, false},
      {"no signature", image(0x10000, 0xF000, 0x55, 0xA4), 0xF000, false},
      // Short image: the start is examined instead.
      {"short image, header at 0", image(0x1000, 0, 0x60, 0xA5), 0xF000, true},
      // Not valid at the address: the start is examined too.
      {"header at 0 of a long image", image(0x10000, 0, 0x55, 0xA5), 0xAE00, true},
      {"nothing anywhere", image(0x10000, 0x100, 0x55, 0xA5), 0xAE00, false},
      // The address at the very end: no room for the two bytes.
      {"address at the end", image(0x10000, 0, 0x00, 0x00), 0xFFFF, false},
      {"empty", {}, 0, false},
      {"one byte", {0x55}, 0, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HasValidConfigArea(c.bytes.data(), static_cast<std::uint32_t>(c.bytes.size()),
                                 c.configAddress),
              c.valid)
        << c.what;
  }
  EXPECT_FALSE(IsValidAreaHeaderAt(nullptr, 100, 0));
}

}  // namespace
}  // namespace vantor
