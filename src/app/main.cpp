// The tool's entry point: one program with two front ends. This is the one place that
// knows about the simulated devices: with VANTOR_SIM=<dir> the program talks to the
// devices described in that directory instead of real USB devices.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "app/vantor_app.h"
#include "app/window/install_main_window.h"
#include "platform/text.h"
#include "sim/simulated_platform.h"

namespace {

int RunTool(int argc, char** argv) {
  std::vector<std::wstring> args;
  args.reserve(static_cast<std::size_t>(argc));
  for (int i = 0; i < argc; ++i) args.push_back(vantor::platform::FromUtf8(argv[i]));

  const char* simDir = std::getenv("VANTOR_SIM");
  if (simDir != nullptr && *simDir != '\0') {
    std::string error = vantor::sim::InstallSimulatedPlatform(simDir);
    if (!error.empty()) {
      std::fprintf(stderr, "vantorfw: simulated devices in %s: %s\n", simDir, error.c_str());
      return 1;
    }
  }
  vantor::InstallMainWindow();
  int exitCode;
  {
    vantor::CVantorApp app;
    exitCode = app.Run(args);
  }
  if (simDir != nullptr && *simDir != '\0') vantor::sim::UninstallSimulatedPlatform();
  return exitCode;
}

void ReportEscaped(const char* what) {
  std::fprintf(stderr, "vantorfw: stopped by an unexpected error: %s\n", what);
}

}  // namespace

// Whatever a step throws ends the run with a line saying so and exit code 1, never with
// the runtime's abort.
int main(int argc, char** argv) {
  try {
    return RunTool(argc, argv);
  } catch (const std::exception& e) {
    ReportEscaped(e.what());
  } catch (...) {
    ReportEscaped("unknown exception");
  }
  return 1;
}
