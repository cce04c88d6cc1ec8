// The reads after a selection (built-in image choice and version), the command-line
// actions of DEV_RunCommand with the OTP status text, and the reset options.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include "config/builtin_images.h"
#include "config/ic_type_ini.h"
#include "config/settings.h"
#include "flows/flash_info.h"
#include "flows/flow_options.h"
#include "flows/last_result.h"
#include "flows/otp_info.h"
#include "image/memory_type.h"
#include "platform/resources.h"
#include "support/device_rig.h"

namespace vantor::test {
namespace {

namespace fs = std::filesystem;

std::wstring ImageVersionText(const char* name) {
  const auto image = platform::FindResource(kBuiltInImageType, FindBuiltInImageId(name));
  std::wstring text;
  EXPECT_EQ(
      Lib_FormatVersion(image.data(), static_cast<std::uint32_t>(image.size()), &text, nullptr), 1)
      << name;
  return text;
}

class DeviceStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    definition.BuildList();
    ASSERT_TRUE(definition.LoadFromResource(2030));
    SetActiveICTypeIni(&definition);
    dir_ = fs::temp_directory_path() / ("vantor-state-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    SetActiveICTypeIni(nullptr);
    SetMemoryType(MemoryType::kFlash);
    SetConfiguredMemorySize(kDefaultConfiguredMemorySize);
    SetFlowOptions(kFlowOptionsDefault);
    DeleteSettings();
    SetLastResultCode(0);
    fs::remove_all(dir_);
  }
  std::wstring File(const char* name, std::size_t length) {
    const fs::path file = dir_ / name;
    std::ofstream(file, std::ios::binary) << std::string(length, '\x5A');
    return file.wstring();
  }

  CICTypeIni definition;
  fs::path dir_;
};

TEST_F(DeviceStateTest, BuiltInImageOfTheDevice) {
  struct Case {
    const char* name;
    std::uint16_t vid, pid;
    std::uint8_t strap;
    const char* image;
  };
  const Case cases[] = {
      {"own image", 0x2E5C, 0x0101, 0, "FFU_2E5C_0101"},
      {"variant H", 0x17AA, 0x1046, 0x01, "FFU_17AA_1046H"},
      {"variant L", 0x17AA, 0x1046, 0xFE, "FFU_17AA_1046L"},
      {"default image", 0x3A4B, 0x0310, 0, "FFU_310"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeviceRig rig;
    rig.Add("flash-old", nullptr, [&](sim::DeviceConfig& config) {
      config.vid = c.vid;
      config.pid = c.pid;
      config.strapFec7 = c.strap;
    });
    CSPIFlashInfo_USB flow;
    ASSERT_EQ(flow.DEV_OpenDeviceByICIni(0u), 1);
    EXPECT_EQ(flow.DEV_ReadDeviceState(), 1);
    EXPECT_EQ(flow.imageVerText, L"Update FW version:" + ImageVersionText(c.image));
    EXPECT_TRUE(flow.imageB.empty());  // released again
    EXPECT_NE(flow.fwVersion, L"N/A");
    if (c.vid == 0x17AA) {
      EXPECT_EQ(DeviceVariantByte(), c.strap);
    }
    flow.DEV_CloseDevice();
  }
}

TEST_F(DeviceStateTest, OtpUsedBytesForTheOtpMemoryType) {
  DeviceRig rig;
  sim::SimDevice& device = rig.Add("otp");
  std::uint8_t* vd = device.memory() + kOtpVdTableAddress;
  const std::uint8_t entries[10] = {0x00, 0x00, 0x10, 0x00, 0x55, 0x10, 0x00, 0x02, 0x00, 0xAA};
  std::copy(std::begin(entries), std::end(entries), vd);
  SetMemoryType(MemoryType::kOtp);
  COTPInfo_USB flow;
  ASSERT_EQ(flow.DEV_OpenDeviceByICIni(0u), 1);
  EXPECT_EQ(flow.DEV_ReadDeviceState(), 1);
  EXPECT_EQ(flow.otpUsedBytes, 0x1200u);
  flow.DEV_CloseDevice();
}

TEST_F(DeviceStateTest, OpenByIndexReadsTheDevice) {
  DeviceRig rig;
  rig.Add("otp", nullptr, [](sim::DeviceConfig& config) { config.port = 5; });
  CSPIFlashInfo_USB flow;
  EXPECT_EQ(flow.DEV_OpenDeviceByICIni(1u), 0);
  EXPECT_EQ(GetLastResultCode(), 41511);
  EXPECT_EQ(flow.DEV_OpenDeviceByICIni(), 1);
  EXPECT_EQ(GetLastResultCode(), 0);
  EXPECT_EQ(flow.devIdText, L"VID_3A4B&PID_0340&REV_0100");
  EXPECT_EQ(flow.LastLocation().port, 5u);
  EXPECT_EQ(flow.familyHi, 0xD0);
  EXPECT_EQ(flow.DEV_GetDeviceInfo(), 1);
  EXPECT_EQ(flow.fwVersion, L"0x01-0001-4001");
  flow.DEV_CloseDevice();
  EXPECT_EQ(flow.handle, 0u);
  EXPECT_EQ(rig.OpenInterfaces(), 0u);
  // No device at all: every open variant reports "Detect Device Fail!".
  DeviceRig empty;
  SetLastResultCode(0);
  EXPECT_EQ(flow.DEV_OpenDevice(), 0);
  EXPECT_EQ(GetLastResultCode(), 41511);
}

struct OtpStatusCase {
  const char* name;
  std::vector<std::array<std::uint8_t, 6>> entries;  // index, start hi/lo, length hi/lo, flag
  std::size_t imageLength;
  const char* text;
};

TEST_F(DeviceStateTest, CheckOtpStatus) {
  const OtpStatusCase cases[] = {
      {"blank OTP",
       {},
       4096,
       "Used OTP Space: 0.00 KB\nFree OTP Space: 15.84 KB\nRemaining Programmable Times: 3."},
      {"two blocks",
       {{0, 0x00, 0x00, 0x12, 0x34, 0x55}, {1, 0x12, 0x34, 0x01, 0x00, 0xAA}},
       4096,
       "Used OTP Space: 4.80 KB\nFree OTP Space: 11.04 KB\nRemaining Programmable Times: 2."},
      {"limited by the free entries",
       {{14, 0x00, 0x00, 0x00, 0x10, 0x55}},
       16,
       "Used OTP Space: 0.02 KB\nFree OTP Space: 15.83 KB\nRemaining Programmable Times: 1."},
      {"table claims more than the data area",
       {{0, 0x3F, 0x00, 0x10, 0x00, 0x55}},
       16,
       "Used OTP Space: 19.75 KB\nFree OTP Space: 0.00 KB\nRemaining Programmable Times: 0."},
  };
  for (const OtpStatusCase& c : cases) {
    SCOPED_TRACE(c.name);
    DeviceRig rig;
    sim::SimDevice& device = rig.Add("otp");
    for (const auto& e : c.entries) {
      std::copy(e.begin() + 1, e.end(), device.memory() + kOtpVdTableAddress + 5 * e[0]);
    }
    COTPInfo_USB flow;
    ASSERT_EQ(flow.DEV_OpenDeviceByICIni(0u), 1);
    SetLastResultCode(5);
    EXPECT_EQ(flow.DEV_RunCommand('C', File("image.rfw", c.imageLength)), 1);
    EXPECT_EQ(flow.otpStatusText, std::wstring(c.text, c.text + std::strlen(c.text)));
    EXPECT_EQ(GetLastResultCode(), 0);
    flow.DEV_CloseDevice();
  }
}

TEST_F(DeviceStateTest, RunCommandLetters) {
  CSPIFlashInfo_USB flow;
  // A file that does not load ends "C" with 0 and "Load File Data Fail!".
  for (const std::wstring& file : {(dir_ / "missing.rfw").wstring(), dir_.wstring()}) {
    SetLastResultCode(0);
    EXPECT_EQ(flow.DEV_RunCommand('C', file), 0);
    EXPECT_EQ(GetLastResultCode(), 41530);
  }
  // The memory slots keep the defaults until the memory flows fill them.
  for (char letter : {'W', 'Y', 'Z', 'V', 'E'}) {
    SetLastResultCode(0);
    EXPECT_EQ(flow.DEV_RunCommand(letter, L"x.rfw"), 0) << letter;
    EXPECT_EQ(GetLastResultCode(), 41500) << letter;
  }
  for (char letter : {'D', 'S', 'w', '\0'}) {
    SetLastResultCode(0);
    EXPECT_EQ(flow.DEV_RunCommand(letter, L"x.rfw"), 0) << static_cast<int>(letter);
    EXPECT_EQ(GetLastResultCode(), 41500);
  }
}

// The slots a letter reaches, recorded by a flow that fills them.
class RecordingFlow : public CSPIFlashInfo_USB {
 public:
  int SilenceWriteBin(const std::wstring& p) override { return Record("W", p, 11); }
  int SilenceReadToFile(const std::wstring& p) override { return Record("R", p, 12); }
  int SilenceVerifyBin(const std::wstring& p) override { return Record("V", p, 13); }
  int SilenceErase(std::uint32_t flag) override {
    return Record("E" + std::to_string(flag), L"", 14);
  }
  int Record(const std::string& what, const std::wstring& p, int result) {
    calls.push_back(what);
    paths.push_back(p);
    return result;
  }
  std::vector<std::string> calls;
  std::vector<std::wstring> paths;
};

TEST_F(DeviceStateTest, RunCommandDispatch) {
  RecordingFlow flow;
  SetLastResultCode(7);
  EXPECT_EQ(flow.DEV_RunCommand('W', L"a"), 11);
  EXPECT_EQ(GetLastResultCode(), 0);
  EXPECT_EQ(flow.DEV_RunCommand('Y', L"b"), 12);
  EXPECT_EQ(flow.DEV_RunCommand('Z', L"c"), 12);
  EXPECT_EQ(flow.DEV_RunCommand('V', L"d"), 13);
  EXPECT_EQ(flow.DEV_RunCommand('E', L"e"), 14);
  EXPECT_EQ(flow.calls, (std::vector<std::string>{"W", "R", "R", "V", "E1"}));
  EXPECT_EQ(flow.paths, (std::vector<std::wstring>{L"a", L"b", L"c", L"d", L""}));
}

TEST_F(DeviceStateTest, ResetOptions) {
  struct Case {
    const char* settings;
    std::uint32_t options;
    std::uint8_t resetParam;
  };
  const Case cases[] = {
      {"", 0x13, 6},
      {"ResetToCache=0\n", 0x12, 6},
      {"Normal Reset=0\n", 0x17, 5},
      {"ResetToCache=0\nNormal Reset=0\n", 0x16, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.settings);
    ASSERT_TRUE(LoadSettingsText(std::string("[Vantor Config]\n") + c.settings));
    SetFlowOptions(0xFF);
    CSPIFlashInfo_USB flow;
    flow.DEV_SetResetOptions();
    EXPECT_EQ(GetFlowOptions(), c.options);
    EXPECT_EQ(flow.resetParam, c.resetParam);
  }
}

}  // namespace
}  // namespace vantor::test
