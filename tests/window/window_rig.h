// The program's start-up and shutdown around the real main window, on simulated devices
// held in the process: the test body drives the dialog (clicks, selections, plugs) while
// it runs, then it is closed through the worker as a user closes it. The boxes answer
// from a script; the trace is collected.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/window/control_ids.h"
#include "app/window/main_dialog.h"
#include "platform/proxy_driver.h"
#include "sim/device_config.h"
#include "sim/simulated_platform.h"
#include "support/debug_capture.h"
#include "support/scoped_program_dir.h"
#include "support/scripted_notices.h"

namespace vantor::test {

using window::CQuillon_KvproxyDlg;

// Waits (real time, at most `timeoutMs`) for the condition while the window's messages
// are handled.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 30000);

// A proxy control device of the simulated bus that can hold the I/O controls that match a
// test's condition until the test lets them go: the device operation is then caught in
// the middle.
class ProxyGate {
 public:
  using Match = std::function<bool(std::uint32_t code, std::uint64_t count)>;
  // From now on the first I/O control for which `match` (code, number of I/O controls of
  // that code so far) is true waits until Release.
  void Arm(Match match);
  // Waits until an I/O control is held.
  bool WaitHeld(int timeoutMs = 30000);
  void Release();

  // Installs itself as the proxy opener over the bus.
  void Install(sim::SimBus& bus);

 private:
  friend class GatedProxy;
  void Pass(std::uint32_t code);

  std::mutex mutex_;
  std::condition_variable changed_;
  Match match_;
  std::uint64_t counts_[3] = {};
  bool held_ = false;
  bool released_ = false;
};

// The controls of the dialog by their numbers.
struct Controls {
  explicit Controls(CQuillon_KvproxyDlg& dialog);
  QLineEdit* imageText;
  QPushButton* start;
  QLineEdit* loopCount;
  QLabel* loopLeft;
  QLabel* result;
  QLabel* serial;
  QLabel* version;
  QProgressBar* progress;
  QLabel* status;
  QComboBox* deviceList;
};

class WindowRig {
 public:
  WindowRig();
  ~WindowRig();

  // The settings text of the run (section header added).
  void Settings(const std::string& body);
  // Starts the program without arguments; `body` gets the dialog once it has opened.
  // Afterwards the window is closed (and waited for) when the body left it open. Returns
  // the process's exit code.
  int Run(const std::function<void(CQuillon_KvproxyDlg&)>& body);

  // A device of the built-in ID list (VID 3A4B, PID 0310) on its own root port with its own
  // serial text "KV0310-00000<number>" and release number; by default an old-family flash
  // chip (whose built-in image is not the tool's default image), or another profile's chip.
  sim::SimDevice& AddListedDevice(const char* name, int number, std::uint16_t release,
                                  const char* profile = "flash-old");

  // A device whose built-in image runs in it already (its version equals the image's),
  // or one with the image's version words raised (a newer firmware).
  void LoadBuiltInImageInto(sim::SimDevice& device, bool newer);

  std::string File(const char* name) const;
  bool Traced(const std::string& text) const { return trace.Contains(text); }
  std::size_t CountTraced(const std::string& text) const;
  // Trace lines that are exactly `line` (without their line end).
  std::size_t CountLines(const std::string& line) const;

  ScopedProgramDir dir;
  sim::SimulatedPlatform sim;
  ProxyGate gate;
  ScriptedNotices notices;
  DebugCapture trace;

 private:
  std::string previousDir_;
};

}  // namespace vantor::test
