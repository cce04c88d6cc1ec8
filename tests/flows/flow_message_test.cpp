// PostFlowMessage and LastResultCode, the stop check and the retrying wrappers.
#include <gtest/gtest.h>

#include <functional>

#include "flow_test_window.h"
#include "flows/flash_info.h"
#include "flows/flow_window.h"
#include "flows/last_result.h"
#include "platform/clock.h"
#include "support/device_rig.h"

namespace vantor::test {
namespace {

class FlowMessageTest : public ::testing::Test {
 protected:
  void SetUp() override { SetLastResultCode(0); }
  void TearDown() override { SetLastResultCode(0); }
};

TEST_F(FlowMessageTest, WithoutWindowLastResultCodeStillFollows) {
  ASSERT_EQ(RegisteredFlowWindow(), nullptr);
  PostFlowMessage(WM_FLOW_PROGRESS, 100);
  EXPECT_EQ(GetLastResultCode(), 100);
  PostFlowMessage(WM_FLOW_STATUS, 41721);
  EXPECT_EQ(GetLastResultCode(), 41721);
  PostFlowMessage(WM_FLOW_FINISHED, 7);  // leaves it
  EXPECT_EQ(GetLastResultCode(), 41721);
  PostFlowMessage(WM_FLOW_SUCCESS, 41755);
  EXPECT_EQ(GetLastResultCode(), 0);
  PostFlowMessage(WM_FLOW_ERROR, 41512);
  EXPECT_EQ(GetLastResultCode(), 41512);
  PostFlowMessage(WM_FLOW_STATUS, 0);
  EXPECT_EQ(GetLastResultCode(), 0);
}

TEST_F(FlowMessageTest, SuccessIdsClearAndOthersStay) {
  for (int id : {41751, 41755, 41851, 41854, 41910, 41913, 41931}) {
    PostFlowMessage(WM_FLOW_PROGRESS, 50);
    PostFlowMessage(WM_FLOW_SUCCESS, id);
    EXPECT_EQ(GetLastResultCode(), 0) << id;
  }
  // Success texts that are not in the list keep their id (so do failures).
  for (int id : {41752, 41753, 41853, 41929, 41930, 41906, 41500}) {
    PostFlowMessage(WM_FLOW_SUCCESS, id);
    EXPECT_EQ(GetLastResultCode(), id) << id;
  }
}

TEST_F(FlowMessageTest, RegisteredWindowReceivesEveryPost) {
  {
    TestFlowWindow window;
    EXPECT_EQ(RegisteredFlowWindow(), &window);
    PostFlowMessage(WM_FLOW_STATUS, 41718);
    PostFlowMessage(WM_FLOW_PROGRESS, 30);
    PostFlowMessage(WM_FLOW_DEVICE_INFO, 41906, 1);
    PostFlowMessage(WM_FLOW_FINISHED, 0);
    const std::vector<PostedMessage> expected = {
        {1047, 41718, 0}, {1043, 30, 0}, {1048, 41906, 1}, {1042, 0, 0}};
    EXPECT_EQ(window.posted, expected);
    EXPECT_EQ(GetLastResultCode(), 41906);
  }
  EXPECT_EQ(RegisteredFlowWindow(), nullptr);
}

TEST_F(FlowMessageTest, StopRequestIsReadUnderTheWindowLock) {
  EXPECT_FALSE(FlowStopRequested());
  TestFlowWindow window;
  EXPECT_FALSE(FlowStopRequested());
  window.SetStopRequest(1);
  EXPECT_TRUE(FlowStopRequested());
  window.SetStopRequest(0);
  EXPECT_FALSE(FlowStopRequested());
}

TEST_F(FlowMessageTest, StoppedRunOpensNothingAndSendsNoCommand) {
  DeviceRig rig;
  sim::SimDevice& device = rig.Add("flash-old");
  TestFlowWindow window;
  window.SetStopRequest(1);
  CSPIFlashInfo_USB flow;
  EXPECT_EQ(flow.MP_OpenDevice(0), 0);
  EXPECT_EQ(flow.handle, 0u);
  EXPECT_EQ(Lib_GetHandle(), 0u);

  window.SetStopRequest(0);
  ASSERT_EQ(flow.MP_OpenDevice(0), 1);
  window.SetStopRequest(1);
  const std::uint64_t before = device.counters().vendorTransfers + device.counters().classTransfers;
  std::uint8_t byte = 0;
  EXPECT_EQ(flow.MP_SPI_SF_Read(0, 1, &byte), 0);
  EXPECT_EQ(flow.MP_ResetDevice(kResetToUpdate, 2), 0);
  EXPECT_EQ(flow.MP_SPI_SF_EraseChipRetry(1000), 0);
  EXPECT_EQ(device.counters().vendorTransfers + device.counters().classTransfers, before);
  EXPECT_EQ(device.counters().resets, 0u);
  window.SetStopRequest(0);
  Lib_CloseDevice(flow.handle);
}

// A flow object without a handle of its own (a fresh object while another holds the
// device) sends nothing, not even a reset, to the device the device layer holds.
TEST_F(FlowMessageTest, FlowWithoutHandleLeavesTheOpenDeviceAlone) {
  DeviceRig rig;
  sim::SimDevice& device = rig.Add("flash-old");
  CSPIFlashInfo_USB owner;
  ASSERT_EQ(owner.MP_OpenDevice(0), 1);
  CSPIFlashInfo_USB fresh;
  fresh.cmdFlags = kCmdFlagsRun;
  ASSERT_EQ(fresh.handle, 0u);
  std::uint8_t buffer[2] = {0, 0};
  const struct {
    const char* name;
    std::function<int()> command;
  } commands[] = {
      {"read register", [&] { return fresh.MP_ReadReg(0xFE21, 2, buffer); }},
      {"write register", [&] { return fresh.MP_WriteReg(0xC2A8, buffer); }},
      {"flash write", [&] { return fresh.MP_SPI_SF_Write(0, 1, buffer); }},
      {"reset kind 7", [&] { return fresh.MP_ResetDevice(kResetToUpdate, 2); }},
      {"reset kind 9", [&] { return fresh.MP_ResetDevice(kResetToRom, 0); }},
      {"reset kind 10", [&] { return fresh.MP_ResetDevice(kResetToRomVendor, 0); }},
  };
  for (const auto& c : commands) {
    SCOPED_TRACE(c.name);
    const std::uint64_t before =
        device.counters().vendorTransfers + device.counters().classTransfers;
    EXPECT_EQ(c.command(), 0);
    EXPECT_EQ(device.counters().vendorTransfers + device.counters().classTransfers, before);
    EXPECT_EQ(device.counters().resets, 0u);
    EXPECT_EQ(fresh.handle, 0u);
  }
  EXPECT_EQ(Lib_GetHandle(), owner.handle);
  Lib_CloseDevice(owner.handle);
}

TEST_F(FlowMessageTest, RetryCommandMakesUpToEightAttempts) {
  int calls = 0;
  EXPECT_EQ(CMpFlow::RetryCommand([&] { return ++calls, 0; }), 0);
  EXPECT_EQ(calls, 8);
  calls = 0;
  EXPECT_EQ(CMpFlow::RetryCommand([&] { return ++calls == 3 ? 1 : 0; }), 1);
  EXPECT_EQ(calls, 3);
  // After the eighth failure the last result is passed on.
  calls = 0;
  EXPECT_EQ(CMpFlow::RetryCommand([&] { return ++calls == 8 ? -4 : 0; }), -4);
}

TEST_F(FlowMessageTest, RetryEraseThreeAttemptsWithPausesThenProgress) {
  sim::SimulatedPlatform sim;  // virtual clock
  TestFlowWindow window;
  int calls = 0;
  const std::uint64_t start = platform::GetClock().NowMs();
  EXPECT_EQ(CMpFlow::RetryErase([&] { return ++calls, 0; }, 30), 0);
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(platform::GetClock().NowMs() - start, 3 * kEraseRetryPauseMs);
  EXPECT_EQ(window.Params(WM_FLOW_PROGRESS), std::vector<std::uintptr_t>{30});

  calls = 0;
  window.posted.clear();
  EXPECT_EQ(CMpFlow::RetryErase([&] { return ++calls == 2 ? 1 : 0; }, 5), 1);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(window.Params(WM_FLOW_PROGRESS), std::vector<std::uintptr_t>{5});

  // A stop ends the attempts with 0; the progress is posted all the same.
  calls = 0;
  window.posted.clear();
  EXPECT_EQ(CMpFlow::RetryErase(
                [&] {
                  window.SetStopRequest(1);
                  return ++calls, 0;
                },
                30),
            0);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(window.Params(WM_FLOW_PROGRESS), std::vector<std::uintptr_t>{30});
}

TEST_F(FlowMessageTest, CommandsWithoutDeviceFailWithoutContactingOne) {
  CSPIFlashInfo_USB flow;
  std::uint8_t buffer[4] = {1, 2, 3, 4};
  EXPECT_EQ(flow.MP_ReadReg(0xFE21, 2, buffer), 0);
  EXPECT_EQ(flow.MP_WriteReg(0xFE21, buffer), 0);
  EXPECT_EQ(flow.MP_SPI_SF_Write(0, 4, buffer), 0);
  EXPECT_EQ(flow.MP_I2C_EEP8_Read(0, 4, buffer), 0);
  EXPECT_EQ(flow.MP_ReadChipID(), 1);
  EXPECT_EQ(flow.familyLo, 0);
  EXPECT_EQ(flow.familyHi, 0);
  EXPECT_EQ(flow.MP_ReadDeviceInfo(), 1);
  EXPECT_EQ(flow.connText, L"No USB Audio");
  EXPECT_EQ(flow.fwVersion, L"N/A");
  EXPECT_EQ(flow.productName, L"N/A");
  flow.fwVersion = L"kept";
  EXPECT_EQ(flow.MP_RefreshFwVersion(), 1);
  EXPECT_EQ(flow.fwVersion, L"kept");
  EXPECT_EQ(flow.MP_ResetDevice(11, 0), 0);
}

}  // namespace
}  // namespace vantor::test
