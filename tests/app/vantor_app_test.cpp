#include "app/vantor_app.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/tool_version.h"
#include "app/usage.h"
#include "child_process.h"
#include "config/settings.h"
#include "flows/last_result.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/trace.h"
#include "support/debug_capture.h"

namespace vantor {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::ScratchDir;
using test::WriteFileBytes;

TEST(ToolVersionText, KeepsMajorMinorAndRevision) {
  struct Case {
    const char* fileVersion;
    const char* text;
  } cases[] = {
      {"2.61.9600.53", "2.61.53"}, {"1.0.0.0", "1.0.0"},       {"10.200.3000.4000", "10.200.4000"},
      {"2.61.9600.", "2.61."},     {"2.61.9600", "2.61.9600"}, {"", ""},
      {"1.2.3.4.5", "1.2.4.5"},
  };
  for (const Case& c : cases) EXPECT_EQ(ToolVersionText(c.fileVersion), c.text) << c.fileVersion;
  EXPECT_EQ(BuildToolVersionText(), ToolVersionText(VANTOR_VERSION_TEXT));
  const std::string built = BuildToolVersionText();
  EXPECT_EQ(std::count(built.begin(), built.end(), '.'), 2) << built;
}

TEST(FrontEndChoice, ForceRestartAloneInAnyCaseOpensTheWindow) {
  struct Case {
    std::vector<std::wstring> args;
    bool commandLine;
  } cases[] = {
      {{L"vantorfw"}, false},
      {{L"vantorfw", L"/forcerestart"}, false},
      {{L"vantorfw", L"/FORCERESTART"}, false},
      {{L"vantorfw", L"/ForceRestart"}, false},
      {{L"vantorfw", L"/forcerestart", L"-f"}, true},
      {{L"vantorfw", L"/forcerestartx"}, true},
      {{L"vantorfw", L"forcerestart"}, true},
      {{L"vantorfw", L"-f", L"-version", L"x"}, true},
      {{L"vantorfw", L"-s"}, true},
      {{L"vantorfw", L""}, true},
  };
  for (const Case& c : cases) {
    std::wstring joined;
    for (const auto& a : c.args) joined += a + L" ";
    EXPECT_EQ(CVantorApp::WantsCommandLine(c.args), c.commandLine)
        << platform::ToUtf8(joined).c_str();
  }
}

// Records the extension points in the order start-up and shutdown call them.
class RecordingApp : public CVantorApp {
 public:
  std::vector<std::string> calls;
  int parseResult = 1;
  int loadResult = 1;
  std::int32_t codeAfterAction = 0;
  bool recordIncomplete = false;
  bool throwInLoad = false;

 protected:
  void Note(const std::string& what) {
    calls.push_back(what + (IsCommandLineMode() ? " [cl]" : ""));
    DebugPrint("extension point %s", what.c_str());
  }
  void CreateGlobalObjects() override { Note("CreateGlobalObjects"); }
  void DeleteGlobalObjects() override { Note("DeleteGlobalObjects"); }
  void LibInit(std::int32_t libType) override { Note("LibInit " + std::to_string(libType)); }
  void LibUninit(std::int32_t libType) override { Note("LibUninit " + std::to_string(libType)); }
  int ParseArg(const std::vector<std::wstring>& args) override {
    Note("ParseArg " + std::to_string(args.size()));
    return parseResult;
  }
  int LoadICTypeIni() override {
    Note("LoadICTypeIni");
    if (throwInLoad) throw std::runtime_error("a fault nobody caught");
    return loadResult;
  }
  int ExcuteArg() override {
    Note("ExcuteArg");
    SetLastResultCode(codeAfterAction);
    return codeAfterAction == 0;
  }
  bool ResultRecordIncomplete() const override { return recordIncomplete; }
  void CloseDevice() override { Note("CloseDevice"); }
  void RunMainWindow() override { Note("RunMainWindow"); }
};

// The application in a scratch program directory with its own settings file.
class VantorAppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetProgramDirectory(dir_.path());
    SetLastResultCode(0);
    UseSettings("[Vantor Config]\n");
  }
  void TearDown() override {
    ::unsetenv(kSettingsOverrideVariable);
    platform::SetProgramDirectory({});
    DeleteSettings();
    SetLastResultCode(0);
  }
  void UseSettings(const std::string& text) {
    WriteFileBytes(settings_, text);
    ::setenv(kSettingsOverrideVariable, settings_.c_str(), 1);
  }

  ScratchDir dir_{"app"};
  fs::path settings_ = dir_ / "settings.ini";
};

TEST_F(VantorAppTest, StartUpAndShutdownOrderPerFrontEnd) {
  UseSettings("[Vantor Config]\nLib Type=2\nIni Type=1\n");
  const std::vector<std::string> head = {"CreateGlobalObjects", "LibInit 2"};
  struct Case {
    const char* what;
    std::vector<std::wstring> args;
    int parseResult;
    int loadResult;
    std::vector<std::string> middle;
    const char* shutdownMark;  // the command-line mode flag stays set through shutdown
    int exitCode;
  } cases[] = {
      {"window", {L"vantorfw"}, 1, 1, {"RunMainWindow"}, "", 0},
      {"forcerestart", {L"vantorfw", L"/FORCErestart"}, 1, 1, {"RunMainWindow"}, "", 0},
      {"command line",
       {L"vantorfw", L"-f", L"-write", L"fw.rfw"},
       1,
       1,
       {"ParseArg 4", "LoadICTypeIni [cl]", "ExcuteArg [cl]", "CloseDevice [cl]"},
       " [cl]",
       0},
      // A usage error: the run did not do what it was asked for.
      {"rejected arguments", {L"vantorfw", L"-s"}, 0, 1, {"ParseArg 2"}, "", 2},
      {"device not opened",
       {L"vantorfw", L"-f", L"-erase", L"x"},
       1,
       0,
       {"ParseArg 4", "LoadICTypeIni [cl]", "CloseDevice [cl]"},
       " [cl]",
       1},
      // The usage is printed; nothing is parsed and no device is opened.
      {"help", {L"vantorfw", L"-h"}, 1, 1, {}, "", 0},
      {"long help", {L"vantorfw", L"--HELP"}, 1, 1, {}, "", 0},
      {"help as on Windows", {L"vantorfw", L"/?"}, 1, 1, {}, "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingApp app;
    app.parseResult = c.parseResult;
    app.loadResult = c.loadResult;
    EXPECT_EQ(CVantorApp::Current(), &app);
    EXPECT_EQ(app.Run(c.args), c.exitCode);
    std::vector<std::string> expected = head;
    expected.insert(expected.end(), c.middle.begin(), c.middle.end());
    expected.push_back(std::string("DeleteGlobalObjects") + c.shutdownMark);
    expected.push_back(std::string("LibUninit 2") + c.shutdownMark);
    EXPECT_EQ(app.calls, expected);
    EXPECT_EQ(app.iniType(), 1);
    EXPECT_EQ(app.versionText(), ToolVersionText(VANTOR_VERSION_TEXT));
    EXPECT_FALSE(IsCommandLineMode()) << "cleared by the shutdown";
  }
  EXPECT_EQ(CVantorApp::Current(), nullptr);
}

TEST_F(VantorAppTest, ExitCodeFollowsLastResultCode) {
  struct Case {
    std::int32_t code;
    int exitCode;
  } cases[] = {{0, 0}, {41706, 1}, {41714, 1}, {41511, 1}, {100, 1}, {-1, 1}};
  for (const Case& c : cases) {
    RecordingApp app;
    app.codeAfterAction = c.code;
    EXPECT_EQ(app.Run({L"vantorfw", L"-f", L"-write", L"fw.rfw"}), c.exitCode) << c.code;
    SetLastResultCode(0);
  }
}

// The command line's exit code: a run that did not do what it was asked for never ends
// with 0, and one whose result line is missing from burn_result.txt says so.
TEST_F(VantorAppTest, CommandLineExitCodes) {
  struct Case {
    const char* what;
    int loadResult;
    std::int32_t code;
    bool recordIncomplete;
    int exitCode;
  } cases[] = {
      {"passed", 1, 0, false, kExitOk},
      {"failed", 1, 41706, false, kExitFailed},
      {"device not opened, nothing reported", 0, 0, false, kExitFailed},
      {"passed, result line missing", 1, 0, true, kExitRecordIncomplete},
      // A failure is the news that matters; the console says the line is missing too.
      {"failed, result line missing", 1, 41706, true, kExitFailed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingApp app;
    app.loadResult = c.loadResult;
    app.codeAfterAction = c.code;
    app.recordIncomplete = c.recordIncomplete;
    EXPECT_EQ(app.Run({L"vantorfw", L"-f", L"-write", L"fw.rfw"}), c.exitCode);
    SetLastResultCode(0);
  }
  EXPECT_EQ(kExitUsage, 2);
}

// A fault that throws is caught at the front end: it is reported, the shutdown still
// runs (the driver is taken down), and the run ends with 1.
TEST_F(VantorAppTest, AnExceptionEndsTheRunWithItsShutdown) {
  RecordingApp app;
  app.throwInLoad = true;
  test::DebugCapture capture;
  EXPECT_EQ(app.Run({L"vantorfw", L"-f", L"-write", L"fw.rfw"}), 1);
  ASSERT_FALSE(app.calls.empty());
  EXPECT_EQ(app.calls.back(), "LibUninit 0 [cl]");
  EXPECT_TRUE(capture.Contains("a fault nobody caught")) << capture.All();
}

TEST_F(VantorAppTest, SettingsLiveFromStartUpToShutdown) {
  UseSettings("[Vantor Config]\nWait Time=7\n");
  RecordingApp app;
  app.InitInstance({L"vantorfw"});
  EXPECT_EQ(GetSetting(Setting::WaitTime), 7);
  app.ExitInstance();
  EXPECT_EQ(GetSetting(Setting::WaitTime), 5000) << "the store is deleted at shutdown";
}

TEST_F(VantorAppTest, DebugLogHoldsTheRunAndEndsWithExitDebugThread) {
  UseSettings("[Vantor Config]\nDebug Log=1\n");
  WriteFileBytes(dir_ / "DebugLog.txt", "an older run\r\n");
  {
    RecordingApp app;
    app.InitInstance({L"vantorfw"});
    EXPECT_TRUE(app.debugCaptureRunning());
    DebugPrint("from the front end");
    EXPECT_EQ(app.ExitInstance(), 0);
    EXPECT_FALSE(app.debugCaptureRunning());
  }
  DebugPrint("after shutdown");
  std::string log = ReadFileBytes(dir_ / "DebugLog.txt");
  EXPECT_EQ(log.find("an older run"), std::string::npos) << "truncated at start-up";
  EXPECT_NE(log.find("CVantorApp::InitInstance:> Tool version " + BuildToolVersionText() + "\r\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("extension point RunMainWindow\r\n"), std::string::npos);
  EXPECT_NE(log.find("from the front end\r\n"), std::string::npos);
  const std::string last = "\r\nExit Debug Thread\r\n";
  ASSERT_GE(log.size(), last.size());
  EXPECT_EQ(log.substr(log.size() - last.size()), last) << log;
}

TEST_F(VantorAppTest, WithoutDebugLogNoFileIsMade) {
  RecordingApp app;
  test::DebugCapture capture;
  EXPECT_EQ(app.Run({L"vantorfw"}), 0);
  EXPECT_FALSE(fs::exists(dir_ / "DebugLog.txt"));
  EXPECT_FALSE(capture.Contains("Exit Debug Thread"));
}

TEST_F(VantorAppTest, UncreatableDebugLogLeavesTheToolWorking) {
  UseSettings("[Vantor Config]\nDebug Log=1\n");
  fs::create_directory(dir_ / "DebugLog.txt");
  test::DebugCapture capture;
  RecordingApp app;
  app.codeAfterAction = 41706;
  EXPECT_EQ(app.Run({L"vantorfw", L"-f", L"-write", L"fw.rfw"}), 1);
  EXPECT_FALSE(app.debugCaptureRunning());
  EXPECT_EQ(app.calls.back(), "LibUninit 0 [cl]");
  EXPECT_TRUE(capture.Contains("Can't create DebugLog.txt"));
  EXPECT_TRUE(capture.Contains("Exit Debug Thread\r\n")) << "still sent to the debug output";
}

TEST_F(VantorAppTest, LogTxtIsMadeWritableAndNeverWritten) {
  fs::path log = dir_ / "Log.txt";
  WriteFileBytes(log, "kept");
  ASSERT_TRUE(platform::SetReadOnly(log));
  fs::path config = dir_ / "config.ini";
  WriteFileBytes(config, "[Vantor Config]\nDebug Log=1\n");
  ASSERT_TRUE(platform::SetReadOnly(config));
  RecordingApp app;
  EXPECT_EQ(app.Run({L"vantorfw"}), 0);
  EXPECT_FALSE(platform::IsReadOnly(log));
  EXPECT_EQ(ReadFileBytes(log), "kept");
  EXPECT_FALSE(platform::IsReadOnly(config));
  EXPECT_FALSE(fs::exists(dir_ / "DebugLog.txt")) << "config.ini is not read";
}

}  // namespace
}  // namespace vantor
