// The built tool, run as a user runs it: a copy in a directory of its own (its program
// directory is where the executable lies), settings given through VANTOR_SETTINGS.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/vantor_app.h"
#include "child_process.h"

namespace vantor {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::ScratchDir;

// The window mode without a display: a build with the window says there is no display,
// one without says how to get the window.
const char* const kWindowModeLine = VANTOR_WITH_WINDOW ? kNoDisplayLine : kWindowUnavailableLine;

struct RunResult {
  int exitCode;
  std::string out;
  std::string err;
};

class VantorfwTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy_file(VANTORFW_EXE, exe_);
    test::WriteFileBytes(settings_, "[Vantor Config]\r\nDebug Log=1\r\n");
    // A simulated bus with nothing attached: no run reaches for real devices.
    fs::create_directories(bus_);
    test::WriteFileBytes(bus_ / "devices.ini", "; nothing attached\n");
  }

  // Runs the copy with VANTOR_TRACE on, so its trace lines come out on standard error.
  RunResult Run(const std::vector<std::string>& args, bool debugLog = false) {
    test::ChildOptions options;
    options.args = args;
    options.env = {"VANTOR_TRACE=1", "VANTOR_SIM=" + bus_.string(),
                   "DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="};
    if (debugLog) options.env.push_back("VANTOR_SETTINGS=" + settings_.string());
    options.workingDir = io_.path();
    options.stdoutFile = io_ / "out.txt";
    options.stderrFile = io_ / "err.txt";
    RunResult result;
    result.exitCode = test::WaitChild(test::StartChild(exe_, options));
    result.out = ReadFileBytes(io_ / "out.txt");
    result.err = ReadFileBytes(io_ / "err.txt");
    return result;
  }

  ScratchDir dir_{"vantorfw"};  // the program directory
  ScratchDir io_{"vantorfw_io"};
  fs::path exe_ = dir_ / "vantorfw";
  fs::path settings_ = io_ / "settings.ini";
  fs::path bus_ = io_ / "bus";
};

TEST_F(VantorfwTest, FrontEndChoiceAndExitCode) {
  struct Case {
    std::vector<std::string> args;
    bool window;
    int exitCode;
  } cases[] = {
      {{}, true, 0},
      {{"/forcerestart"}, true, 0},
      {{"/FORCERESTART"}, true, 0},
      {{"/ForceRestart"}, true, 0},
      // Runs that find no device (nothing is attached) and a call the parser rejects.
      {{"/forcerestart", "-f"}, false, 1},
      {{"-f", "-version"}, false, 1},
      {{"-s"}, false, 2},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const auto& a : c.args) shown += a + " ";
    SCOPED_TRACE("arguments: " + shown);
    RunResult r = Run(c.args);
    EXPECT_EQ(r.exitCode, c.exitCode);
    if (c.window) {
      EXPECT_EQ(r.out, kWindowModeLine);
      EXPECT_NE(r.err.find("Front end: window\r\n"), std::string::npos) << r.err;
    } else {
      EXPECT_EQ(r.out.find("window"), std::string::npos) << r.out;
      EXPECT_NE(r.err.find("Front end: command line\r\n"), std::string::npos) << r.err;
    }
  }
  EXPECT_FALSE(fs::exists(dir_ / "DebugLog.txt"));
  EXPECT_FALSE(fs::exists(dir_ / "Log.txt"));
}

TEST_F(VantorfwTest, DebugLogBesideTheProgramEndsWithExitDebugThread) {
  for (const auto& args :
       {std::vector<std::string>{}, std::vector<std::string>{"-f", "-version"}}) {
    RunResult r = Run(args, true);
    // With these settings the command line opens by index, and no device is attached:
    // "Detect Device Fail!" is the last result.
    EXPECT_EQ(r.exitCode, args.empty() ? 0 : 1);
    std::string log = ReadFileBytes(dir_ / "DebugLog.txt");
    EXPECT_NE(log.find("CVantorApp::InitInstance:> Front end: "), std::string::npos) << log;
    const std::string last = "\r\nExit Debug Thread\r\n";
    ASSERT_GE(log.size(), last.size()) << log;
    EXPECT_EQ(log.substr(log.size() - last.size()), last) << log;
    EXPECT_FALSE(fs::exists(io_ / "DebugLog.txt")) << "beside the program, not in the current dir";
  }
}

TEST_F(VantorfwTest, ReadOnlyProgramDirectoryStartsAndEndsNormally) {
  // The log file's name taken by a directory makes it uncreatable even for root, who may
  // write into a read-only directory.
  fs::create_directory(dir_ / "DebugLog.txt");
  fs::permissions(dir_.path(), fs::perms::owner_read | fs::perms::owner_exec,
                  fs::perm_options::replace);
  RunResult window = Run({}, true);
  EXPECT_EQ(window.exitCode, 0);
  EXPECT_EQ(window.out, kWindowModeLine);
  EXPECT_NE(window.err.find("Can't create DebugLog.txt"), std::string::npos) << window.err;
  EXPECT_NE(window.err.find("Exit Debug Thread\r\n"), std::string::npos);
  RunResult commandLine = Run({"-f", "-version"}, true);
  EXPECT_EQ(commandLine.exitCode, 1) << "no device attached";
  EXPECT_NE(commandLine.err.find("Front end: command line"), std::string::npos);
  EXPECT_TRUE(fs::is_directory(dir_ / "DebugLog.txt"));
}

}  // namespace
}  // namespace vantor
