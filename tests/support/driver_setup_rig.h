// The driver set-up on a test machine: the simulated bus as the proxy (on the virtual
// clock), a fake service manager in a scratch directory, and a stand-in driver image of
// a chosen version that records which machine's image was asked for.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "platform/service_manager.h"
#include "sim/simulated_platform.h"
#include "support/fake_service_manager.h"

namespace vantor::test {

class DriverSetUpRig {
 public:
  explicit DriverSetUpRig(platform::FileVersion imageVersion = {1, 2, 0, 0});

  sim::SimulatedPlatform sim;
  std::vector<std::uint8_t> image;
  std::vector<std::uint32_t> imageAsks;  // the machines asked for
  ScopedFakeServiceManager svc;

  std::filesystem::path flagFile();
  // The files in the fake's temporary directory.
  std::vector<std::filesystem::path> TempFiles();
};

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& file);
void WriteBytes(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes);

}  // namespace vantor::test
