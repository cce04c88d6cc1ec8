// The real program's window on a real X server (Xvfb) against a simulated device: it comes
// up, shows the device, and closes cleanly through its worker on Escape.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "child_process.h"

namespace vantor::test {
namespace {

namespace fs = std::filesystem;

TEST(WindowSmoke, ComesUpUnderXvfbAndClosesCleanly) {
  ScratchDir work("vantor_window_smoke");
  ChildOptions options;
  options.args = {"smoke", fs::path(VANTORFW_EXE).parent_path().string(), (work / "run").string()};
  // The script starts its own X server; the tool must not see the test's display setting.
  options.env = {"QT_QPA_PLATFORM=", "VANTOR_SIM=",
                 "LSAN_OPTIONS=suppressions=" VANTOR_SOURCE_DIR
                 "/tests/window/lsan_suppressions.txt"};
  options.stdoutFile = work / "script-out.txt";
  options.stderrFile = work / "script-err.txt";
  const pid_t pid =
      StartChild(fs::path(VANTOR_SOURCE_DIR) / "tools" / "window_under_xvfb.sh", options);
  ASSERT_GT(pid, 0);
  const int exitCode = WaitChildFor(pid, 120000);
  const std::string trace = ReadFileBytes(work / "run" / "trace.txt");
  EXPECT_EQ(exitCode, 0) << ReadFileBytes(work / "script-err.txt") << trace;
  EXPECT_NE(trace.find("Front end: window"), std::string::npos) << trace;
  EXPECT_NE(trace.find("CDevFlow::DEV_GetDefaultDeviceForAllInOne()"), std::string::npos);
  // Closed through the worker: its last device close, then the shutdown.
  EXPECT_NE(trace.find("CDevFlow::DEV_CloseDevice()"), std::string::npos);
  EXPECT_EQ(ReadFileBytes(work / "run" / "out.txt"), "") << "nothing on the console";
}

}  // namespace
}  // namespace vantor::test
