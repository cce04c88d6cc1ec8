#include "support/driver_setup_rig.h"

#include <fstream>
#include <iterator>

#include "device/driver_setup.h"

namespace vantor::test {

namespace fs = std::filesystem;

DriverSetUpRig::DriverSetUpRig(platform::FileVersion imageVersion)
    : image(DriverImageBytes(imageVersion)) {
  SetDriverImageSource([this](std::uint32_t machine) {
    imageAsks.push_back(machine);
    return std::span<const std::uint8_t>(image);
  });
}

fs::path DriverSetUpRig::flagFile() { return InstanceFlagFile(*svc); }

std::vector<fs::path> DriverSetUpRig::TempFiles() {
  std::vector<fs::path> out;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(svc->TempDirectory(), ec)) {
    out.push_back(entry.path());
  }
  return out;
}

std::vector<std::uint8_t> ReadBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const fs::path& file, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

}  // namespace vantor::test
