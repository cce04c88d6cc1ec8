// The command-line open: the acceptance by the built-in ID list, the port lock with
// "PortNo" kept in memory, the notifications and the console echoes.
#include <gtest/gtest.h>

#include "../flows/flow_test_window.h"
#include "config/settings.h"
#include "flows/flash_info.h"
#include "flows/last_result.h"
#include "support/device_rig.h"

namespace vantor::test {
namespace {

class OpenByVidPidTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetLastResultCode(0);
    SetCommandLineMode(true);
  }
  void TearDown() override {
    flow.DEV_CloseDevice();
    SetCommandLineMode(false);
    DeleteSettings();
    SetLastResultCode(0);
  }
  // Runs the open with the console captured.
  int Open() {
    ::testing::internal::CaptureStdout();
    const int result = flow.DEV_OpenDeviceByVIDPID();
    console = ::testing::internal::GetCapturedStdout();
    return result;
  }
  sim::SimDevice& AddOnPort(DeviceRig& rig, const char* profile, const char* name,
                            std::uint32_t port) {
    return rig.Add(profile, name, [&](sim::DeviceConfig& config) { config.port = port; });
  }

  CSPIFlashInfo_USB flow;
  std::string console;
};

TEST_F(OpenByVidPidTest, NoDeviceEchoesAndLeavesResultZero) {
  DeviceRig rig;
  TestFlowWindow window;
  EXPECT_EQ(Open(), 0);
  EXPECT_EQ(console, "Cannot find Korvane USB Audio!\n");
  EXPECT_EQ(GetLastResultCode(), 0);
  const std::vector<PostedMessage> expected = {{1048, 41511, 0}, {1055, 0, 0}};
  EXPECT_EQ(window.posted, expected);
}

TEST_F(OpenByVidPidTest, EchoOnlyInCommandLineMode) {
  DeviceRig rig;
  SetCommandLineMode(false);
  EXPECT_EQ(Open(), 0);
  EXPECT_EQ(console, "");
}

TEST_F(OpenByVidPidTest, AcceptsTheFirstListedDevice) {
  DeviceRig rig;
  AddOnPort(rig, "flash-new", "other", 2);  // not in the built-in list
  AddOnPort(rig, "flash-old", "listed", 1);
  TestFlowWindow window;
  SetLastResultCode(99);
  EXPECT_EQ(Open(), 1);
  EXPECT_EQ(console, "");
  EXPECT_NE(flow.handle, 0u);
  EXPECT_EQ(flow.devIdText, L"VID_3A4B&PID_0310&REV_0100");
  EXPECT_EQ(flow.shortIdText, L"VID_3A4B&PID_0310");
  EXPECT_EQ(flow.manufacturerText, L"KV0310-000001");
  EXPECT_EQ(flow.familyLo, 0x10);
  EXPECT_EQ(flow.familyHi, 0x70);
  EXPECT_EQ(window.lastLocation.port, 1u);
  EXPECT_EQ(GetLastResultCode(), 0);
  EXPECT_EQ(window.Params(1055), std::vector<std::uintptr_t>{0});
  EXPECT_EQ(rig.OpenInterfaces(), 1u);  // the rejected device was closed
  // An open device is kept: a second call returns at once.
  EXPECT_EQ(flow.DEV_OpenDeviceByVIDPID(), 1);
}

TEST_F(OpenByVidPidTest, NoListedDeviceIsAMismatch) {
  DeviceRig rig;
  rig.Add("flash-new");
  rig.Add("otp");
  TestFlowWindow window;
  EXPECT_EQ(Open(), 0);
  EXPECT_EQ(console, "Check VID/PID Mismatch!\n");
  EXPECT_EQ(GetLastResultCode(), 41714);
  EXPECT_EQ(window.Params(1044), std::vector<std::uintptr_t>{41714});
  EXPECT_EQ(flow.handle, 0u);
  EXPECT_EQ(rig.OpenInterfaces(), 0u);
}

TEST_F(OpenByVidPidTest, PortLockTable) {
  struct Case {
    const char* name;
    const char* settings;
    std::uint32_t port;
    int result;
    std::int32_t portNoAfter;
  };
  const Case cases[] = {
      {"no lock", "[Vantor Config]\nLockPort=0\nPortNo=7\n", 3, 1, 7},
      {"locked to this port", "[Vantor Config]\nLockPort=1\nPortNo=3\n", 3, 1, 3},
      {"locked to another port", "[Vantor Config]\nLockPort=1\nPortNo=4\n", 3, 0, 4},
      {"first device locks the port", "[Vantor Config]\nLockPort=1\nPortNo=0\n", 5, 1, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(LoadSettingsText(c.settings));
    DeviceRig rig;
    AddOnPort(rig, "flash-old", "dev", c.port);
    EXPECT_EQ(Open(), c.result);
    EXPECT_EQ(GetSetting(Setting::PortNo), c.portNoAfter);
    flow.DEV_CloseDevice();
  }
}

TEST_F(OpenByVidPidTest, LockedPortHoldsForTheRestOfTheProcessOnly) {
  ASSERT_TRUE(LoadSettingsText("[Vantor Config]\nLockPort=1\n"));
  {
    DeviceRig rig;
    AddOnPort(rig, "flash-old", "dev", 2);
    EXPECT_EQ(Open(), 1);
    EXPECT_EQ(GetSetting(Setting::PortNo), 2);
    flow.DEV_CloseDevice();
  }
  {
    DeviceRig rig;
    AddOnPort(rig, "flash-old", "dev", 6);
    EXPECT_EQ(Open(), 0);
    EXPECT_EQ(console, "Check VID/PID Mismatch!\n");
    EXPECT_EQ(GetLastResultCode(), 41714);
  }
  // The settings text itself was not changed: a fresh load starts unlocked again.
  ASSERT_TRUE(LoadSettingsText("[Vantor Config]\nLockPort=1\n"));
  EXPECT_EQ(GetSetting(Setting::PortNo), 0);
  // A rejected device never locks the port.
  {
    DeviceRig rig;
    AddOnPort(rig, "flash-new", "unlisted", 4);
    EXPECT_EQ(Open(), 0);
    EXPECT_EQ(GetSetting(Setting::PortNo), 0);
  }
}

}  // namespace
}  // namespace vantor::test
