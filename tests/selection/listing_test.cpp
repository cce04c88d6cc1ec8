// The window's listings: which devices are listed, which one is selected by the
// acceptance rule, the re-listing after a reset and the open for the run.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "../flows/flow_test_window.h"
#include "config/ic_type_ini.h"
#include "config/settings.h"
#include "flows/flash_info.h"
#include "flows/last_result.h"
#include "image/memory_type.h"
#include "platform/files.h"
#include "support/device_rig.h"

namespace vantor::test {
namespace {

namespace fs = std::filesystem;

class ListingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    definition.BuildList();
    ASSERT_TRUE(definition.LoadFromResource(2030));
    SetActiveICTypeIni(&definition);
  }
  void TearDown() override {
    flow.DEV_CloseDevice();
    SetActiveICTypeIni(nullptr);
    DeleteSettings();
    SetLastResultCode(0);
    SetConfiguredMemorySize(0x40000);
  }
  void Settings(const char* body) {
    ASSERT_TRUE(LoadSettingsText(std::string("[Vantor Config]\n") + body));
  }
  sim::SimDevice& AddOnPort(DeviceRig& rig, const char* profile, const char* name,
                            std::uint32_t port) {
    return rig.Add(profile, name, [&](sim::DeviceConfig& config) { config.port = port; });
  }

  CICTypeIni definition;
  CSPIFlashInfo_USB flow;
};

const std::wstring kOld = L"VID_3A4B&PID_0310&REV_0100";
const std::wstring kNew = L"VID_3A4B&PID_0330&REV_0100";

TEST_F(ListingTest, DefaultDeviceWithoutChecks) {
  Settings("CheckVIDPID_INI=0\nCheckVIDPID_BIN=0\nAutoRun=1\n");
  DeviceRig rig;
  AddOnPort(rig, "flash-new", "new", 2);
  AddOnPort(rig, "flash-old", "old", 1);
  TestFlowWindow window;
  flow.DEV_GetDefaultDeviceForAllInOne();
  // Only the devices of the built-in list are listed; the first device is taken unchecked.
  EXPECT_EQ(window.entries, std::vector<std::wstring>{kOld});
  EXPECT_EQ(flow.selOrdinal, 0);
  EXPECT_EQ(flow.selListIndex, -1);
  EXPECT_EQ(window.currentDevText, kNew);  // the accepted device, though it has no entry
  EXPECT_EQ(window.lastLocation.port, 2u);
  EXPECT_EQ(window.Params(1048), std::vector<std::uintptr_t>{41906});
  EXPECT_TRUE(window.autoRunEvent.IsSet());
  // Its state was read: the built-in image's version text.
  EXPECT_EQ(flow.imageVerText.rfind(L"Update FW version:", 0), 0u);
  EXPECT_GT(flow.imageVerText.size(), 18u);
  EXPECT_TRUE(flow.imageB.empty());
  EXPECT_EQ(flow.handle, 0u);
  EXPECT_EQ(rig.OpenInterfaces(), 0u);
}

TEST_F(ListingTest, DefaultDeviceByTheBuiltInList) {
  Settings("CheckVIDPID_INI=1\nAutoRun=0\n");
  DeviceRig rig;
  AddOnPort(rig, "flash-new", "new", 2);
  AddOnPort(rig, "flash-old", "old", 1);
  TestFlowWindow window;
  flow.DEV_GetDefaultDeviceForAllInOne();
  EXPECT_EQ(flow.selOrdinal, 1);
  EXPECT_EQ(flow.selListIndex, 0);
  EXPECT_EQ(flow.idCheckOk, 1u);
  EXPECT_EQ(window.selected, 0);
  EXPECT_EQ(window.currentDevText, kOld);
  EXPECT_EQ(window.lastLocation.port, 1u);
  EXPECT_FALSE(window.autoRunEvent.IsSet());
  EXPECT_EQ(window.Params(1048), std::vector<std::uintptr_t>{41906});
}

TEST_F(ListingTest, DefaultDeviceByTheListFile) {
  const fs::path dir = fs::temp_directory_path() / ("vantor-listing-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / "VidPidList.ini") << "VID_3A4B&PID_0330&REV_0100\n";
  platform::SetProgramDirectory(dir);
  Settings("CheckVIDPID_INI=2\n");
  DeviceRig rig;
  AddOnPort(rig, "flash-old", "old", 1);
  AddOnPort(rig, "flash-new", "new", 2);
  TestFlowWindow window;
  flow.DEV_GetDefaultDeviceForAllInOne();
  EXPECT_EQ(window.entries, std::vector<std::wstring>{kOld});
  EXPECT_EQ(flow.selOrdinal, 1);
  EXPECT_EQ(window.currentDevText, kNew);
  EXPECT_EQ(window.lastLocation.port, 2u);
  platform::SetProgramDirectory({});
  fs::remove_all(dir);
}

TEST_F(ListingTest, DefaultDeviceByTheImagesVidPid) {
  struct Case {
    const wchar_t* imageVidPid;
    std::int32_t selOrdinal;
    std::uintptr_t notification;
  };
  const Case cases[] = {
      {L"VID_3A4B&PID_0330", 0, 41906},
      {L"vid_3a4b&pid_0330", -1, 41511},  // letter case counts
      {L"", -1, 41511},
  };
  Settings("CheckVIDPID_BIN=1\n");
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.imageVidPid)));
    DeviceRig rig;
    rig.Add("flash-new");
    TestFlowWindow window;
    flow.vidPidText = c.imageVidPid;
    flow.DEV_GetDefaultDeviceForAllInOne();
    EXPECT_EQ(flow.selOrdinal, c.selOrdinal);
    EXPECT_EQ(window.Params(1048), std::vector<std::uintptr_t>{c.notification});
  }
}

TEST_F(ListingTest, NoDeviceIsReported) {
  DeviceRig rig;
  TestFlowWindow window;
  flow.DEV_GetDefaultDeviceForAllInOne();
  EXPECT_EQ(flow.selOrdinal, -1);
  EXPECT_EQ(window.Params(1048), std::vector<std::uintptr_t>{41511});
  EXPECT_EQ(GetLastResultCode(), 41511);
}

TEST_F(ListingTest, ListingWithoutTheLastLocationTakesTheFirstAccepted) {
  Settings("CheckVIDPID_INI=1\nAutoRun=0\n");
  DeviceRig rig;
  AddOnPort(rig, "flash-new", "unlisted", 2);
  AddOnPort(rig, "flash-old", "a", 1);
  AddOnPort(rig, "flash-old", "b", 3);
  TestFlowWindow window;
  window.lastLocation.port = 99;  // not occupied
  flow.DEV_GetDeviceListForAllInOne(1);
  EXPECT_EQ(window.entries, (std::vector<std::wstring>{kOld, kOld}));
  EXPECT_EQ(flow.selOrdinal, 1);
  EXPECT_EQ(flow.selListIndex, 0);
  EXPECT_EQ(window.lastLocation.port, 1u);
  EXPECT_EQ(window.currentDevText, kOld);
  EXPECT_EQ(window.posted.back(), (PostedMessage{1048, 41906, 1}));
  EXPECT_EQ(rig.OpenInterfaces(), 0u);
}

TEST_F(ListingTest, ListingWithNothingAcceptedReportsDetectFail) {
  Settings("CheckVIDPID_INI=1\n");
  DeviceRig rig;
  rig.Add("flash-new");
  TestFlowWindow window;
  flow.DEV_GetDeviceListForAllInOne(0);
  EXPECT_EQ(flow.selOrdinal, -1);
  EXPECT_EQ(window.Params(1048), std::vector<std::uintptr_t>{41511});
}

TEST_F(ListingTest, ListingSelectsTheDeviceAtTheLastLocation) {
  Settings("CheckVIDPID_INI=1\nAutoRun=1\n");
  DeviceRig rig;
  AddOnPort(rig, "flash-old", "a", 1);
  AddOnPort(rig, "flash-old", "b", 3);
  TestFlowWindow window;
  // The first listing selects device a and records its full location.
  flow.DEV_GetDeviceListForAllInOne(0);
  ASSERT_EQ(window.lastLocation.port, 1u);
  DeviceLocation b = window.lastLocation;
  b.port = 3;  // same hub, the other port
  window.lastLocation = b;
  window.posted.clear();
  flow.DEV_GetDeviceListForAllInOne(0);
  EXPECT_EQ(flow.selOrdinal, 1);
  EXPECT_EQ(flow.selListIndex, 1);
  EXPECT_EQ(window.selected, 1);
  EXPECT_EQ(window.lastLocation, b);
  EXPECT_TRUE(window.autoRunEvent.IsSet());
  EXPECT_EQ(window.Params(1048), std::vector<std::uintptr_t>{41906});

  // The run opens the selected device by its location.
  ASSERT_EQ(flow.Dev_OpenDeviceForMultiCamera(), 1);
  EXPECT_EQ(flow.location, b);
  EXPECT_EQ(rig.OpenInterfaces(), 1u);
  flow.DEV_CloseDevice();

  // After a reset the device is found again by its ID text.
  window.posted.clear();
  EXPECT_EQ(flow.DEV_GetDeviceListAfterReset(), 1);
  EXPECT_EQ(flow.selOrdinal, 0);  // the first device with that text
  EXPECT_EQ(window.Params(1048), std::vector<std::uintptr_t>{41906});
  EXPECT_EQ(rig.OpenInterfaces(), 0u);
}

TEST_F(ListingTest, SelectedDeviceKeepsItsOwnIdentityAfterTheListing) {
  Settings("CheckVIDPID_INI=1\nAutoRun=0\n");
  DeviceRig rig;
  auto serial = [](const char* text) {
    return [text](sim::DeviceConfig& c) { c.manufacturer = text; };
  };
  rig.Add("flash-old", "a", [&](sim::DeviceConfig& c) {
    c.port = 1;
    serial("KV-A")(c);
  });
  rig.Add("flash-old", "b", [&](sim::DeviceConfig& c) {
    c.port = 3;
    c.release = 0x0200;
    serial("KV-B")(c);
  });
  TestFlowWindow window;
  // Every device is read, the first one selected: what is shown is the first one's.
  flow.DEV_GetDefaultDeviceForAllInOne();
  ASSERT_EQ(flow.selOrdinal, 0);
  EXPECT_EQ(flow.manufacturerText, L"KV-A");
  EXPECT_EQ(flow.rev, 0x0100);
  EXPECT_EQ(flow.devIdText, L"VID_3A4B&PID_0310&REV_0100");
  flow.DEV_GetDeviceListForAllInOne(0);
  ASSERT_EQ(flow.selOrdinal, 0);
  EXPECT_EQ(flow.manufacturerText, L"KV-A");
  EXPECT_EQ(flow.devIdText, L"VID_3A4B&PID_0310&REV_0100");
}

TEST_F(ListingTest, NothingSelectedOpensNothing) {
  DeviceRig rig;
  rig.Add("flash-old");
  TestFlowWindow window;
  EXPECT_EQ(flow.Dev_OpenDeviceForMultiCamera(), 0);
  EXPECT_EQ(flow.DEV_GetDeviceListAfterReset(), 0);
  EXPECT_EQ(window.Params(1048), (std::vector<std::uintptr_t>{41511, 41511}));
  EXPECT_EQ(flow.handle, 0u);
  // A text no device has: reported, but the call itself succeeds.
  flow.selOrdinal = 0;
  window.currentDevText = L"VID_FFFF&PID_FFFF&REV_FFFF";
  EXPECT_EQ(flow.DEV_GetDeviceListAfterReset(), 1);
  EXPECT_EQ(window.Params(1048).back(), 41511u);
}

TEST_F(ListingTest, DeviceListExist) {
  struct Case {
    const char* name;
    std::vector<std::pair<const char*, std::uint16_t>> devices;
    std::uint32_t rom;
    std::uint32_t dev1010;
  };
  const Case cases[] = {
      {"none", {}, 0, 0},
      {"family 0x1010", {{"flash-dual", 0}}, 0, 1},
      {"family 0xF000", {{"flash-old", 0xF00A}}, 1, 0},
      {"both and others", {{"otp", 0}, {"flash-old", 0xF105}, {"flash-dual", 0}}, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeviceRig rig;
    int n = 0;
    for (const auto& [profile, chip] : c.devices) {
      const std::string name = std::string(profile) + std::to_string(n);
      rig.Add(profile, name.c_str(), [&](sim::DeviceConfig& config) {
        if (chip != 0) config.chipId = chip;
        config.port = static_cast<std::uint32_t>(++n);
      });
    }
    TestFlowWindow window;
    flow.romDevicePresent = flow.dev1010Present = 7;
    EXPECT_EQ(flow.DEV_GetDeviceListExist(), 1);
    EXPECT_EQ(flow.romDevicePresent, c.rom);
    EXPECT_EQ(flow.dev1010Present, c.dev1010);
    EXPECT_EQ(window.Params(1048), std::vector<std::uintptr_t>{41906});
    EXPECT_EQ(rig.OpenInterfaces(), 0u);
  }
}

}  // namespace
}  // namespace vantor::test
