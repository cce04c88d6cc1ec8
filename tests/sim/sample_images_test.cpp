// The sample firmware files of the simulated flash devices (build/samples): each parses
// for its profile's chip the way the command line takes an image (a configuration area
// found, the IC type search of the chip's family accepting it) and, loaded into a fresh
// device of that profile, is what the device runs after a reset, with its own version.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/parse_arg.h"
#include "config/ic_type_ini.h"
#include "image/mp_config.h"
#include "sim/simulated_platform.h"
#include "test_host.h"

namespace vantor::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ReadSample(const std::string& name) {
  std::ifstream in(std::filesystem::path(VANTOR_SAMPLES_DIR) / (name + ".bin"), std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::string DottedVersion(const std::uint8_t* v) {
  char text[64];
  std::snprintf(text, sizeof text, "%01X.%01X%02X.%04X-%04X.%04X", v[0] >> 4, v[0] & 0x0F, v[1],
                v[2] << 8 | v[3], v[4] << 8 | v[5], v[6] << 8 | v[7]);
  return text;
}

struct Sample {
  const char* file;
  const char* profile;
  const wchar_t* pid;
  std::size_t length;
  std::uint8_t chipInfo;  // what the IC type search settles on
  bool definitionMatches;
  int mode;  // mode register after the reset; -1 for a chip without one
};

constexpr Sample kSamples[] = {
    {"flash-old", "flash-old", L"PID_0310", 0x10000, 17, true, -1},
    {"flash-new", "flash-new", L"PID_0330", 0x20000, 21, true, 32},
    {"flash-dual", "flash-dual", L"PID_1010", 0x20000, 0, false, 32},
    {"flash-new-otp16k", "flash-new", L"PID_0330", 0x4000, 21, true, 32},
};

// The command line's search: each definition matching the chip's family, in order, whose
// configuration area the image holds and whose chip type the image carries.
TEST(SampleImages, ParseAndAreAcceptedForTheirChip) {
  for (const Sample& s : kSamples) {
    SCOPED_TRACE(s.file);
    const Bytes image = ReadSample(s.file);
    ASSERT_EQ(image.size(), s.length);
    DeviceConfig device;
    ASSERT_TRUE(MakeProfile(s.profile, s.profile, device));
    const auto familyLo = static_cast<std::uint8_t>(device.chipId & 0xF0);
    const auto familyHi = static_cast<std::uint8_t>(device.chipId >> 8 & 0xF0);
    CICTypeIni ic(0);
    ic.BuildList();
    SetActiveICTypeIni(&ic);
    bool matched = false;
    bool accepted = false;
    for (std::size_t i = 0; i < ic.List().size() && !accepted; ++i) {
      if (!ic.SelectAndMatch(familyLo, familyHi, static_cast<int>(i))) continue;
      matched = true;
      ic.ApplyDefinition();
      if (!HasValidConfigArea(image.data(), static_cast<std::uint32_t>(image.size()),
                              ic.ConfigAddress())) {
        continue;
      }
      CMpConfig config;
      config.imageA = image;
      accepted = config.ParseImageA() && IsImageForChip(config.imageChip, ic.ChipInfo());
    }
    EXPECT_EQ(matched, s.definitionMatches);
    EXPECT_EQ(ic.ChipInfo(), s.chipInfo);
    // The write parses the image with the definition the search left active and checks
    // its chip type against that definition's "ChipInfo".
    CMpConfig config;
    config.imageA = image;
    EXPECT_TRUE(config.ParseImageA());
    EXPECT_TRUE(IsImageForChip(config.imageChip, ic.ChipInfo()));
    EXPECT_EQ(accepted, s.definitionMatches);
    SetActiveICTypeIni(nullptr);
  }
}

TEST(SampleImages, BootAfterAResetWithTheirOwnVersion) {
  for (const Sample& s : kSamples) {
    SCOPED_TRACE(s.file);
    const Bytes image = ReadSample(s.file);
    ASSERT_EQ(image.size(), s.length);
    const std::uint8_t* record = image.data() + (image.size() >= 0x10000 ? 0x100C : 0x11B);
    SimulatedPlatform sim;
    SimDevice& device = sim.AddDevice(s.profile);
    const std::string romVersion = device.VersionText();
    std::memcpy(device.memory(), image.data(), image.size());
    test::TestHost host;
    ASSERT_TRUE(host.Open(platform::kGuidDevInterfaceUsbDevice, s.pid));
    ASSERT_TRUE(host.VendorOut(0x22, 0, 0, {}).good());
    platform::Sleep(device.config().timing.reenumMs + device.config().timing.notReadyMs);
    ASSERT_TRUE(host.Open(platform::kGuidDevInterfaceUsbDevice, s.pid));
    EXPECT_EQ(device.state().run, RunState::kFirmware);
    EXPECT_EQ(device.VersionText(), DottedVersion(record));
    EXPECT_NE(device.VersionText(), romVersion);
    // Cached code in the status, the record in the dotted-format bytes 76 to 83.
    test::Reply status = host.VendorIn(0x07, 8, 0, 8);
    ASSERT_EQ(status.data.size(), 8u);
    EXPECT_EQ(status.data[0], 0x31);
    EXPECT_EQ(host.VendorIn(0x07, 9, 0, 8).data.at(7), record[0]);
    if (s.mode >= 0) {
      EXPECT_EQ(host.VendorIn(0x25, 0, 0xC2A8, 1).data.at(0), s.mode);
    }
  }
}

}  // namespace
}  // namespace vantor::sim
