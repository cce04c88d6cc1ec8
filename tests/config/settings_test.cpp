#include "config/settings.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "platform/files.h"
#include "support/debug_capture.h"

namespace vantor {
namespace {

namespace fs = std::filesystem;

// A scratch program directory and settings files inside it; the store is deleted after.
class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = platform::TempDirectory() /
           ("vantor_settings_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    platform::SetProgramDirectory(dir_);
  }
  void TearDown() override {
    DeleteSettings();
    platform::SetProgramDirectory({});
    fs::remove_all(dir_);
  }
  fs::path Write(const std::string& name, const std::string& bytes) {
    fs::path file = dir_ / name;
    std::ofstream(file, std::ios::binary) << bytes;
    return file;
  }
  // Every key except those named holds its default.
  void ExpectDefaultsExcept(std::initializer_list<Setting> changed) {
    for (const SettingDef& def : SettingDefs()) {
      if (std::find(changed.begin(), changed.end(), def.id) != changed.end()) continue;
      if (def.isText) {
        EXPECT_EQ(GetSettingText(def.id), "") << def.key;
      } else {
        EXPECT_EQ(GetSetting(def.id), def.defaultValue) << def.key;
      }
    }
  }

  fs::path dir_;
};

TEST(SettingDefs, EveryKeyWithItsDefault) {
  struct Row {
    Setting id;
    const char* key;
    std::int32_t value;
    bool isText;
  } expected[] = {
      {Setting::DebugLog, "Debug Log", 0, false},
      {Setting::IniType, "Ini Type", 0, false},
      {Setting::LibType, "Lib Type", 0, false},
      {Setting::AutoRun, "AutoRun", 0, false},
      {Setting::AutoRunDelay, "AutoRunDelay", 0, false},
      {Setting::CheckVidPidIni, "CheckVIDPID_INI", 0, false},
      {Setting::CheckVidPidBin, "CheckVIDPID_BIN", 0, false},
      {Setting::LockPort, "LockPort", 0, false},
      {Setting::PortNo, "PortNo", 0, false},
      {Setting::ResetToCache, "ResetToCache", 1, false},
      {Setting::NormalReset, "Normal Reset", 1, false},
      {Setting::EraseTimeOut, "EraseTimeOut", 10000, false},
      {Setting::EraseCommandTime, "EraseCommandTime", 0, false},
      {Setting::WaitTime, "Wait Time", 5000, false},
      {Setting::SaveSn, "SaveSN", 0, false},
      {Setting::SnAddress, "SN Address", 0, false},
      {Setting::SnFunction, "SN Function", 0, false},
      {Setting::OtpPassword, "OTP Password", 0, true},
      {Setting::SaveResultToFile, "SaveResultToFile", 0, false},
      {Setting::LogType, "LogType", 0, false},
      {Setting::LoopTest, "Loop Test", 0, false},
      {Setting::Rtd3, "RTD3", 0, false},
      {Setting::BcdType, "BCDType", 0, false},
  };
  ASSERT_EQ(SettingDefs().size(), std::size(expected));
  for (const Row& row : expected) {
    const SettingDef& def = SettingDefOf(row.id);
    EXPECT_STREQ(def.key, row.key);
    EXPECT_EQ(def.defaultValue, row.value) << row.key;
    EXPECT_EQ(def.isText, row.isText) << row.key;
  }
}

TEST_F(SettingsTest, WithoutStoreEveryKeyTakesItsDefault) {
  DeleteSettings();
  ExpectDefaultsExcept({});
}

TEST_F(SettingsTest, BuiltInTextAndConfigIniBesideTheProgram) {
  // config.ini is only made writable, never read.
  fs::path config = Write("config.ini", "[Vantor Config]\nLogType=1\nAutoRun=7\n");
  ASSERT_TRUE(platform::SetReadOnly(config));
  LoadSettingsFrom({});
  EXPECT_FALSE(platform::IsReadOnly(config));
  EXPECT_EQ(GetSetting(Setting::CheckVidPidIni), 1);
  EXPECT_EQ(GetSetting(Setting::AutoRun), 1);
  ExpectDefaultsExcept({Setting::CheckVidPidIni, Setting::AutoRun});
}

TEST_F(SettingsTest, OverrideFileReplacesTheBuiltInText) {
  fs::path file = Write("mine.ini",
                        "[Vantor Config]\r\n"
                        "Debug Log=1\r\n"
                        "EraseTimeOut=0x2710\r\n"
                        "Wait Time=0x1F4\r\n"
                        "PortNo=010\r\n"
                        "LockPort=08\r\n"
                        "Normal Reset=\r\n"
                        "OTP Password=Secret 1\r\n"
                        "savesn=3\r\n");
  LoadSettingsFrom(file);
  EXPECT_EQ(GetSetting(Setting::DebugLog), 1);
  EXPECT_EQ(GetSetting(Setting::EraseTimeOut), 10000);
  EXPECT_EQ(GetSetting(Setting::WaitTime), 500);
  EXPECT_EQ(GetSetting(Setting::PortNo), 8);
  EXPECT_EQ(GetSetting(Setting::LockPort), 0);
  EXPECT_EQ(GetSetting(Setting::NormalReset), 0) << "a present empty value wins over the default";
  EXPECT_EQ(GetSettingText(Setting::OtpPassword), "Secret 1");
  EXPECT_EQ(GetSetting(Setting::SaveSn), 3) << "key names compare without letter case";
  // Nothing of the built-in text is left.
  EXPECT_EQ(GetSetting(Setting::CheckVidPidIni), 0);
  EXPECT_EQ(GetSetting(Setting::AutoRun), 0);
}

TEST_F(SettingsTest, OverrideFromTheEnvironment) {
  fs::path file = Write("env.ini", "[Vantor Config]\nLogType=1\n");
  ::setenv(kSettingsOverrideVariable, file.c_str(), 1);
  LoadSettings();
  ::unsetenv(kSettingsOverrideVariable);
  EXPECT_EQ(GetSetting(Setting::LogType), 1);
  EXPECT_EQ(GetSetting(Setting::AutoRun), 0);
  LoadSettings();
  EXPECT_EQ(GetSetting(Setting::LogType), 0);
  EXPECT_EQ(GetSetting(Setting::AutoRun), 1) << "without the variable the built-in text rules";
}

TEST_F(SettingsTest, BadOverrideFilesLeaveDefaultsAndSayWhy) {
  struct Case {
    const char* name;
    const char* bytes;  // null: the file does not exist
    const char* trace;
  } cases[] = {
      {"missing", nullptr, "cannot read"},
      {"empty", "", "no [Vantor Config] section; the defaults hold"},
      {"bom", "\xEF\xBB\xBF[Vantor Config]\r\nLogType=1\r\n", "Failing on char 239"},
      {"tab", "\t[Vantor Config]\nLogType=1\n", "Failing on char 9"},
      {"broken header", "[Vantor Config\nLogType=1\n", "no [Vantor Config] section"},
      {"other section", "[Config]\nLogType=1\n", "no [Vantor Config] section"},
      {"binary", "\x01\x02\x03\x00\xFF", "Failing on char 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::path file = dir_ / (std::string(c.name) + ".ini");
    if (c.bytes != nullptr) Write(file.filename(), std::string(c.bytes, std::strlen(c.bytes)));
    LoadSettingsFrom({});  // the built-in text first, so a failed load must drop it
    test::DebugCapture capture;
    LoadSettingsFrom(file);
    EXPECT_TRUE(capture.Contains(c.trace)) << capture.All();
    ExpectDefaultsExcept({});
  }
}

// What cannot be a settings file is refused before it is read, with the outcome of an
// unreadable file: the defaults hold, and the trace says why.
TEST_F(SettingsTest, OnlyABoundedRegularFileIsRead) {
  const std::string text = "[Vantor Config]\nLogType=1\n";
  fs::create_directory(dir_ / "folder.ini");
  Write("at.ini", text + std::string(platform::kMaxTextFileBytes - text.size(), '\n'));
  Write("over.ini", text + std::string(platform::kMaxTextFileBytes - text.size() + 1, '\n'));
  struct Case {
    const char* name;
    fs::path file;
    const char* trace;  // null: the file loads
  } cases[] = {
      {"at the limit", dir_ / "at.ini", nullptr},
      {"over the limit", dir_ / "over.ini", "cannot read"},
      {"directory", dir_ / "folder.ini", "cannot read"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LoadSettingsFrom({});
    test::DebugCapture capture;
    LoadSettingsFrom(c.file);
    if (c.trace == nullptr) {
      ExpectDefaultsExcept({Setting::LogType});
      EXPECT_EQ(GetSetting(Setting::LogType), 1);
    } else {
      EXPECT_TRUE(capture.Contains(c.trace)) << capture.All();
      ExpectDefaultsExcept({});
    }
  }
}

TEST_F(SettingsTest, ABrokenLineKeepsTheKeysBeforeIt) {
  test::DebugCapture capture;
  fs::path file = Write("broken.ini", "[Vantor Config]\nLogType=1\n\tAutoRun=2\nSaveSN=1\n");
  LoadSettingsFrom(file);
  EXPECT_TRUE(capture.Contains("Failing on char 9\r\n"));
  EXPECT_EQ(GetSetting(Setting::LogType), 1);
  ExpectDefaultsExcept({Setting::LogType});
}

TEST_F(SettingsTest, PortNoIsStoredInMemoryOnly) {
  fs::path file = Write("port.ini", "[Vantor Config]\nLockPort=1\n");
  LoadSettingsFrom(file);
  SetSetting(Setting::PortNo, 3);
  EXPECT_EQ(GetSetting(Setting::PortNo), 3);
  EXPECT_EQ(GetSetting(Setting::LockPort), 1);
  std::ifstream in(file, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "[Vantor Config]\nLockPort=1\n");
  EXPECT_FALSE(fs::exists(dir_ / "config.ini"));
  // A fresh load starts over.
  LoadSettingsFrom(file);
  EXPECT_EQ(GetSetting(Setting::PortNo), 0);
}

TEST_F(SettingsTest, ReadersAndTheWriterMayRunOnDifferentThreads) {
  LoadSettingsText("[Vantor Config]\nWait Time=100\n");
  std::thread writer([] {
    for (int i = 1; i <= 2000; ++i) SetSetting(Setting::PortNo, i);
  });
  int seen = 0;
  for (int i = 0; i < 2000; ++i) {
    int port = GetSetting(Setting::PortNo);
    EXPECT_GE(port, seen);
    seen = port;
    EXPECT_EQ(GetSetting(Setting::WaitTime), 100);
  }
  writer.join();
  EXPECT_EQ(GetSetting(Setting::PortNo), 2000);
}

}  // namespace
}  // namespace vantor
