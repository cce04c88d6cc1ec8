#include "sim/simulated_platform.h"

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <mutex>

#include "platform/device_inventory.h"
#include "platform/proxy_driver.h"
#include "sim/sim_directory.h"
#include "sim/sim_inventory.h"
#include "sim/sim_plug.h"

namespace vantor::sim {

namespace {
std::mutex gInstalledMutex;
std::unique_ptr<SimulatedPlatform> gInstalled;
}  // namespace

SimulatedPlatform::SimulatedPlatform() : clock_(std::make_unique<VirtualClock>()) {
  previousClock_ = platform::SetClock(clock_.get());
  bus_ = std::make_shared<SimBus>();
  Install();
}

SimulatedPlatform::SimulatedPlatform(std::shared_ptr<SimBus> bus,
                                     std::unique_ptr<VirtualClock> clock)
    : clock_(std::move(clock)), bus_(std::move(bus)) {}

void SimulatedPlatform::Install() {
  std::weak_ptr<SimBus> weak = bus_;
  platform::SetProxyDriverOpener([weak]() -> std::unique_ptr<platform::ProxyDriver> {
    if (auto bus = weak.lock()) return bus->OpenControlDevice();
    return nullptr;
  });
  platform::SetDeviceInventory(MakeSimInventory(bus_));
  platform::SetDeviceChangeSource(MakeSimDeviceChangeSource(bus_, dir_));
}

std::unique_ptr<SimulatedPlatform> SimulatedPlatform::FromDirectory(
    const std::filesystem::path& dir, const std::filesystem::path& logFile, std::string& error) {
  auto clock = std::make_unique<VirtualClock>();
  platform::Clock* previous = platform::SetClock(clock.get());
  std::shared_ptr<SimBus> bus = LoadSimDirectory(dir, error);
  if (bus != nullptr && !logFile.empty() && !bus->SetTransferLog(logFile, error)) bus.reset();
  if (bus == nullptr) {
    platform::SetClock(previous);
    return nullptr;
  }
  ApplyUnplugged(*bus, ReadUnplugged(dir));
  std::unique_ptr<SimulatedPlatform> p(new SimulatedPlatform(std::move(bus), std::move(clock)));
  p->previousClock_ = previous;
  p->dir_ = dir;
  p->Install();
  return p;
}

SimulatedPlatform::~SimulatedPlatform() {
  if (!dir_.empty()) {
    // A reset still under way when the program ends has finished by the next run.
    for (SimDevice* device : bus_->Devices())
      device->PresenceAt(std::numeric_limits<std::uint64_t>::max());
    std::string ignored;
    Save(ignored);
  }
  platform::SetProxyDriverOpener(nullptr);
  platform::SetDeviceInventory(nullptr);
  platform::SetDeviceChangeSource(nullptr);
  platform::SetClock(previousClock_);
}

SimDevice& SimulatedPlatform::AddDevice(std::string_view profile, std::string_view name) {
  DeviceConfig config;
  if (!MakeProfile(profile, name, config)) {
    std::fprintf(stderr, "unknown simulated-device profile \"%.*s\"\n",
                 static_cast<int>(profile.size()), profile.data());
    std::abort();
  }
  return AddDevice(std::move(config));
}

SimDevice& SimulatedPlatform::AddDevice(DeviceConfig config) {
  return bus_->AddDevice(std::move(config));
}

bool SimulatedPlatform::Save(std::string& error) {
  if (dir_.empty()) return true;
  return SaveSimState(dir_, *bus_, error) && SaveSimStats(dir_, *bus_, error);
}

std::string InstallSimulatedPlatform(const std::filesystem::path& dir) {
  std::lock_guard lock(gInstalledMutex);
  gInstalled.reset();
  const char* log = std::getenv("VANTOR_SIM_LOG");
  std::string error;
  gInstalled = SimulatedPlatform::FromDirectory(dir, log != nullptr ? log : "", error);
  if (!gInstalled) return error;
  SimulatedPlatform* platform = gInstalled.get();
  platform->bus().set_hostGone([platform] {
    // The kill fault: the program ends here as if killed. The devices go on: a reset
    // under way finishes, and what they run is kept for the next run (the memory files
    // hold every completed write already). The counters of a killed run are not saved.
    for (SimDevice* device : platform->bus().Devices())
      device->PresenceAt(std::numeric_limits<std::uint64_t>::max());
    std::string ignored;
    SaveSimState(platform->directory(), platform->bus(), ignored);
    std::_Exit(kKilledExitCode);
  });
  return {};
}

void UninstallSimulatedPlatform() {
  std::lock_guard lock(gInstalledMutex);
  gInstalled.reset();
}

SimulatedPlatform* InstalledSimulatedPlatform() {
  std::lock_guard lock(gInstalledMutex);
  return gInstalled.get();
}

}  // namespace vantor::sim
