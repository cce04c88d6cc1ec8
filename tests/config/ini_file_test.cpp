#include "config/ini_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/files.h"
#include "support/debug_capture.h"

namespace vantor {
namespace {

TEST(ConvertIntAutoBase, Table) {
  struct Case {
    const char* text;
    std::int32_t value;
  } cases[] = {
      {"", 0},
      {"10000", 10000},
      {"0x2710", 10000},
      {"0X2710", 10000},
      {"010", 8},
      {"08", 0},
      {"0", 0},
      {"0x", 0},
      {"12ab", 12},
      {"abc", 0},
      {" 5", 5},
      {"-1", -1},
      {"0xFFFFFFFF", -1},
      {"+7", 7},
      {"0x1g", 1},
      {"0777", 511},
      // Beyond 32 bits: the out-of-range value 0xFFFFFFFF, whatever the sign or base.
      {"4294967295", -1},
      {"4294967296", -1},
      {"0x100000000", -1},
      {"-4294967296", -1},
      {"99999999999999999999999", -1},
      {"040000000000", -1},
      {"-4294967295", 1},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ConvertIntAutoBase(c.text), c.value) << '"' << c.text << '"';
}

class IniTextTest : public ::testing::Test {
 protected:
  CIniFile ini;
  bool Load(std::string_view text) { return ini.LoadText(text); }
};

TEST_F(IniTextTest, SettingsLookupsFollowTheLineRules) {
  ASSERT_TRUE(
      Load("; header comment\r\n"
           "[vantor config]\r\n"
           "lib type=3\r\n"
           "AutoRun=\r\n"
           "EraseTimeOut=0x2710\r\n"
           "PortNo=010\r\n"
           "Wait Time=08\r\n"
           "Normal Reset = 0\r\n"
           "x;y=1\r\n"
           "Lonely Key\r\n"
           "SaveSN=1\r\n"
           "SaveSN=2\r\n"
           "[Vantor Config]\r\n"
           "LogType=1\r\n"));
  const char* s = "Vantor Config";
  EXPECT_EQ(ini.GetInt(0, s, "Lib Type"), 3);
  EXPECT_EQ(ini.GetInt(1, s, "AutoRun"), 0) << "a present empty value reads as 0";
  EXPECT_EQ(ini.GetInt(0, s, "EraseTimeOut"), 10000);
  EXPECT_EQ(ini.GetInt(0, s, "PortNo"), 8);
  EXPECT_EQ(ini.GetInt(5000, s, "Wait Time"), 0);
  EXPECT_EQ(ini.GetInt(1, s, "Normal Reset"), 1) << "the key name ends in a blank";
  EXPECT_EQ(ini.GetString(s, "Normal Reset ", "?"), " 0");
  EXPECT_EQ(ini.GetString(s, "x", "none"), "none") << "';' before '=' makes a comment";
  EXPECT_EQ(ini.GetString(s, "Lonely Key", "?"), "");
  EXPECT_EQ(ini.GetInt(0, s, "SaveSN"), 2) << "the last value wins";
  EXPECT_EQ(ini.GetInt(0, s, "LogType"), 1) << "a repeated section merges into the first";
  ASSERT_EQ(ini.SectionCount(), 2);
  EXPECT_EQ(ini.SectionAt(1).keys.size(), 0u);
  EXPECT_EQ(ini.FindSection("VANTOR CONFIG"), 0);
  EXPECT_EQ(ini.SectionName(0), "vantor config");
  ASSERT_EQ(ini.HeaderComments().size(), 1u);
  EXPECT_EQ(ini.HeaderComments()[0], " header comment");
  ASSERT_EQ(ini.SectionAt(0).comments.size(), 1u);
  EXPECT_EQ(ini.SectionAt(0).comments[0], "y=1");
  EXPECT_EQ(ini.GetInt(42, "Other", "Key"), 42);
  EXPECT_EQ(ini.GetInt(42, s, "Missing"), 42);
}

TEST_F(IniTextTest, SectionHeaderRules) {
  ASSERT_TRUE(Load("a=1\n\n\n]x[\n[sec]tail\n#c\nb=2\n[broken\nc=3\n"));
  EXPECT_EQ(ini.FindSection(""), 0) << "keys before the first header land in a nameless section";
  EXPECT_EQ(ini.GetString("", "a", "?"), "1");
  EXPECT_EQ(ini.GetString("sec", "b", "?"), "2");
  EXPECT_EQ(ini.GetString("sec", "c", "?"), "3") << "a header without ']' is ignored";
  EXPECT_EQ(ini.SectionCount(), 2);
  EXPECT_EQ(ini.SectionAt(1).comments.at(0), "c");
  EXPECT_EQ(ini.FindSection("]x["), -1);
}

TEST_F(IniTextTest, NonPrintableFirstByteStopsLoading) {
  test::DebugCapture capture;
  EXPECT_TRUE(Load("[S]\nA=1\n\tB=2\nC=3\n"));
  EXPECT_EQ(ini.GetString("S", "A", "?"), "1");
  EXPECT_EQ(ini.GetString("S", "C", "?"), "?");
  EXPECT_TRUE(capture.Contains("Failing on char 9\r\n"));
}

TEST_F(IniTextTest, ByteOrderMarkOrEmptyTextLeavesNoSection) {
  test::DebugCapture capture;
  EXPECT_FALSE(Load("\xEF\xBB\xBF[Vantor Config]\nAutoRun=1\n"));
  EXPECT_TRUE(capture.Contains("Failing on char 239"));
  EXPECT_EQ(ini.GetInt(0, "Vantor Config", "AutoRun"), 0);
  CIniFile empty;
  EXPECT_FALSE(empty.LoadText(std::string_view("")));
  EXPECT_FALSE(empty.LoadText(std::string_view("\r\n\n\r\n")));
}

TEST_F(IniTextTest, WideTextIsConvertedToSingleByte) {
  EXPECT_TRUE(ini.LoadText(std::wstring_view(L"[S]\nName=Caf\u00E9\n")));
  EXPECT_EQ(ini.GetString("S", "name", "?"), "Caf\xE9");
}

TEST(CIniFileEdit, SetAndGet) {
  CIniFile ini;
  EXPECT_FALSE(ini.SetString("S", "K", "v", false));
  EXPECT_TRUE(ini.SetString("S", "K", "v", true));
  EXPECT_FALSE(ini.SetString("S", "L", "w", false));
  EXPECT_TRUE(ini.SetString("s", "k", "v2", false));
  EXPECT_EQ(ini.GetString("S", "K", ""), "v2");
  EXPECT_TRUE(ini.SetInt("S", "PortNo", -3));
  EXPECT_EQ(ini.GetString("S", "PortNo", ""), "-3");
  EXPECT_EQ(ini.GetIntAt(0, "PortNo", 0), -3);
  EXPECT_EQ(ini.GetIntAt(7, "PortNo", 9), 9);
  EXPECT_EQ(ini.GetStringAt(-1, "K", "d"), "d");
  EXPECT_EQ(ini.AddSection("S"), 1);
  EXPECT_EQ(ini.FindSection("S"), 0);
  EXPECT_TRUE(ini.AddComment(1, "note"));
  EXPECT_FALSE(ini.AddComment(2, "note"));
  ini.Clear();
  EXPECT_EQ(ini.SectionCount(), 0);
  EXPECT_EQ(ini.FindSection("S"), -1);
}

TEST(CIniFileLoad, FileIsReadAsText) {
  namespace fs = std::filesystem;
  fs::path file = platform::TempDirectory() / ("vantor_ini_" + std::to_string(::getpid()) + ".ini");
  // CR LF pairs arrive as line feeds; a CR CR LF line end (a file written through a
  // text-mode stream twice) leaves no carriage return in the value; a lone CR stays.
  std::ofstream(file, std::ios::binary) << "[Vantor Config]\r\nIc Name=QX330\r\n"
                                           "Vendor=Quillon\r\r\nA=x\ry\nLast=end";
  CUserIni ini(file.wstring());
  EXPECT_TRUE(ini.LoadFile());
  EXPECT_EQ(ini.GetString("Vantor Config", "Ic Name", ""), "QX330");
  EXPECT_EQ(ini.GetString("Vantor Config", "Vendor", ""), "Quillon");
  EXPECT_EQ(ini.GetString("Vantor Config", "A", ""), "x\ry");
  EXPECT_EQ(ini.GetString("Vantor Config", "Last", ""), "end");
  fs::remove(file);
  CIniFile missing(file.wstring());
  EXPECT_FALSE(missing.LoadFile());
}

// Only a regular file of at most 1 MiB is read: a directory or a text beyond the limit
// fails like a missing file (an IC type definition is a few hundred bytes).
TEST(CIniFileLoad, OnlyABoundedRegularFileIsRead) {
  namespace fs = std::filesystem;
  const fs::path dir = platform::TempDirectory() / ("vantor_ini_dir_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "folder.ini");
  const std::string text = "[Vantor Config]\nIc Name=QX330\n";
  std::ofstream(dir / "at.ini", std::ios::binary)
      << text << std::string(platform::kMaxTextFileBytes - text.size(), '\n');
  std::ofstream(dir / "over.ini", std::ios::binary)
      << text << std::string(platform::kMaxTextFileBytes - text.size() + 1, '\n');
  struct Case {
    fs::path path;
    bool loads;
  } cases[] = {{dir / "at.ini", true}, {dir / "over.ini", false}, {dir / "folder.ini", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path.string());
    CUserIni ini(c.path.wstring());
    EXPECT_EQ(ini.LoadFile(), c.loads);
    EXPECT_EQ(ini.GetString("Vantor Config", "Ic Name", ""), c.loads ? "QX330" : "");
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace vantor
