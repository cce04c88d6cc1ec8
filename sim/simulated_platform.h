// The simulated platform: a virtual clock, a simulated bus as the proxy driver, and its
// device inventory, installed as the process's platform services.
//
// The program calls InstallSimulatedPlatform(dir) when VANTOR_SIM=<dir> is set (with
// VANTOR_SIM_LOG=<file> the transfer log is appended to that file) and
// UninstallSimulatedPlatform() before it exits, which saves the devices' state and the
// run's counters (<dir>/stats.ini). Tests build devices in the process instead, with a
// SimulatedPlatform object.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "sim/device_config.h"
#include "sim/sim_bus.h"
#include "sim/virtual_clock.h"

namespace vantor::sim {

class SimulatedPlatform {
 public:
  // Devices held in the process: an empty bus; add devices with AddDevice.
  SimulatedPlatform();
  // The devices of a directory; null with a one-line reason in `error` when it cannot
  // be loaded. `logFile` (may be empty) receives the transfer log.
  static std::unique_ptr<SimulatedPlatform> FromDirectory(const std::filesystem::path& dir,
                                                          const std::filesystem::path& logFile,
                                                          std::string& error);
  // Restores the platform's own services; a directory's state and counters are saved.
  ~SimulatedPlatform();
  SimulatedPlatform(const SimulatedPlatform&) = delete;
  SimulatedPlatform& operator=(const SimulatedPlatform&) = delete;

  SimBus& bus() { return *bus_; }
  // The directory of a platform made by FromDirectory (empty otherwise).
  const std::filesystem::path& directory() const { return dir_; }
  VirtualClock& clock() { return *clock_; }
  // A device made from a profile (flash-old when the name is unknown to the caller's
  // test, it is a programming error: the program stops).
  SimDevice& AddDevice(std::string_view profile, std::string_view name = {});
  SimDevice& AddDevice(DeviceConfig config);
  // Saves state.ini and stats.ini now (directory form only).
  bool Save(std::string& error);

 private:
  explicit SimulatedPlatform(std::shared_ptr<SimBus> bus, std::unique_ptr<VirtualClock> clock);
  void Install();

  std::unique_ptr<VirtualClock> clock_;
  std::shared_ptr<SimBus> bus_;
  std::filesystem::path dir_;
  platform::Clock* previousClock_ = nullptr;
};

// The exit code of a program the kill fault ends (that of a process killed by SIGKILL).
inline constexpr int kKilledExitCode = 137;

// For the program: loads VANTOR_SIM's directory and installs it. Returns "" on success,
// else the one-line reason (nothing is installed then).
std::string InstallSimulatedPlatform(const std::filesystem::path& dir);
// Saves and removes what InstallSimulatedPlatform installed (nothing when it was not).
void UninstallSimulatedPlatform();
// The installed platform, or null.
SimulatedPlatform* InstalledSimulatedPlatform();

}  // namespace vantor::sim
