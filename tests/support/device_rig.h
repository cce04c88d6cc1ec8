// The device layer on the simulated bus as the program's set-up leaves it: the proxy
// opened on it, the command lock of the object-free functions open, location paths in use
// and no companion port known yet. At the end the device API's current device is
// dropped, and nothing the test opened may be left open on the bus.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "device/cam_dev_record.h"
#include "sim/simulated_platform.h"
#include "support/sim_proxy.h"

namespace vantor::test {

// The command lock of the object-free extension-unit functions (the program opens it at
// start-up), under a name of this process, for the life of the object.
class ScopedFunctionLock {
 public:
  ScopedFunctionLock();
  ~ScopedFunctionLock();
  ScopedFunctionLock(const ScopedFunctionLock&) = delete;
  ScopedFunctionLock& operator=(const ScopedFunctionLock&) = delete;

 private:
  std::wstring name_;
};

class DeviceRig {
 public:
  explicit DeviceRig(WireLayout layout = WireLayout::k64);
  ~DeviceRig();
  DeviceRig(const DeviceRig&) = delete;
  DeviceRig& operator=(const DeviceRig&) = delete;

  // A device of a profile; its section name is the profile (or `name`).
  sim::SimDevice& Add(const char* profile, const char* name = nullptr);
  // A device made from a profile and changed by `edit` before it is added.
  template <class Edit>
  sim::SimDevice& Add(const char* profile, const char* name, Edit edit) {
    sim::DeviceConfig config = Profile(profile, name);
    edit(config);
    return sim.AddDevice(std::move(config));
  }
  static sim::DeviceConfig Profile(const char* profile, const char* name = nullptr);

  // Opens the index-th device of a list (0 audio, 1 camera) into `record`; 0 or the error.
  std::uint32_t Open(CamDevRecord& record, std::uint32_t list, std::uint32_t index = 0);

  std::size_t OpenInterfaces() { return sim.bus().OpenInterfaceCount(); }
  std::size_t Attached() { return sim.bus().AttachedHandleCount(); }
  // Virtual milliseconds since the rig was made.
  std::uint64_t ElapsedMs();

  // The bus's transfer log from now on, and its lines so far
  // ("40 20 0006 0000 0 ok -", hex in lower case).
  void StartLog();
  std::vector<std::string> LogLines();
  // How many lines of the log start with `prefix`.
  std::size_t CountLog(const std::string& prefix);

  sim::SimulatedPlatform sim;
  ScopedSimProxy proxy;
  ScopedFunctionLock lock;

 private:
  std::uint64_t startMs_ = 0;
  std::filesystem::path log_;
};

}  // namespace vantor::test
