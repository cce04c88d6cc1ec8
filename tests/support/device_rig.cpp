#include "support/device_rig.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <fstream>

#include "device/device_api.h"
#include "device/device_enum.h"
#include "device/ext_unit_functions.h"
#include "platform/clock.h"
#include "platform/named_mutex.h"

namespace vantor::test {

DeviceRig::DeviceRig(WireLayout layout) : proxy(layout) {
  EXPECT_TRUE(proxy.ok());
  SetLocationPathsInUse(true);
  SetCompanionPort(0, 0);
  startMs_ = platform::GetClock().NowMs();
}

DeviceRig::~DeviceRig() {
  Lib_CloseDevice(0);
  EXPECT_EQ(OpenInterfaces(), 0u) << "an interface was left open";
  EXPECT_EQ(Attached(), 0u) << "a proxy device handle was left attached";
  if (!log_.empty()) {
    std::string error;
    sim.bus().SetTransferLog({}, error);
    std::error_code ec;
    std::filesystem::remove(log_, ec);
  }
}

sim::DeviceConfig DeviceRig::Profile(const char* profile, const char* name) {
  sim::DeviceConfig config;
  EXPECT_TRUE(sim::MakeProfile(profile, name != nullptr ? name : profile, config)) << profile;
  return config;
}

sim::SimDevice& DeviceRig::Add(const char* profile, const char* name) {
  return sim.AddDevice(Profile(profile, name));
}

std::uint32_t DeviceRig::Open(CamDevRecord& record, std::uint32_t list, std::uint32_t index) {
  return KvCam_OpenDevice(&record, index, list);
}

void DeviceRig::StartLog() {
  static std::atomic<int> counter{0};
  log_ =
      std::filesystem::temp_directory_path() / ("vantor-device-rig-" + std::to_string(::getpid()) +
                                                "-" + std::to_string(counter++) + ".log");
  std::filesystem::remove(log_);
  std::string error;
  EXPECT_TRUE(sim.bus().SetTransferLog(log_, error)) << error;
}

std::vector<std::string> DeviceRig::LogLines() {
  std::ifstream in(log_);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::size_t DeviceRig::CountLog(const std::string& prefix) {
  std::size_t n = 0;
  for (const std::string& line : LogLines()) n += line.rfind(prefix, 0) == 0 ? 1 : 0;
  return n;
}

std::uint64_t DeviceRig::ElapsedMs() { return platform::GetClock().NowMs() - startMs_; }

ScopedFunctionLock::ScopedFunctionLock()
    : name_(L"vantor-test-function-lock-" + std::to_wstring(::getpid())) {
  EXPECT_TRUE(OpenExtUnitFunctionLock(name_));
}

ScopedFunctionLock::~ScopedFunctionLock() {
  CloseExtUnitFunctionLock();
  platform::RemoveNamedMutex(name_);
}

}  // namespace vantor::test
