#include "support/device_rig.h"

#include <gtest/gtest.h>

#include "device/device_api.h"
#include "device/device_enum.h"
#include "platform/clock.h"

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

std::uint64_t DeviceRig::ElapsedMs() { return platform::GetClock().NowMs() - startMs_; }

}  // namespace vantor::test
