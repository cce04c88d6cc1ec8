// The command lock as the program sets it up: Lib_Init opens it for the object-free
// extension-unit functions (identification, chip id, resets), so while another process
// of the tool holds it, a reset of this one waits instead of interleaving its command
// blocks with the other's.
#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "device/device_api.h"
#include "device/driver_setup.h"
#include "device/sync_operate.h"
#include "support/driver_setup_rig.h"
#include "support/lock_holder.h"

namespace vantor {
namespace {

using test::LockHolderProcess;

TEST(CommandLockInTheSetUp, AResetWaitsWhileAnotherProcessHoldsTheLock) {
  test::DriverSetUpRig rig;
  sim::SimDevice& device = rig.sim.AddDevice("flash-old");
  ASSERT_EQ(Lib_Init(0, 0), 1);
  ASSERT_NE(CmdLockHandle(), nullptr) << "the set-up opens the lock";
  ASSERT_NE(Lib_OpenDevice(0), 0u);
  const std::uint64_t resetsBefore = device.counters().resets;

  {
    LockHolderProcess holder(kCmdLockName, LockHolderProcess::Mode::kHoldUntilReleased);
    ASSERT_TRUE(holder.Holding());
    // Through the extension unit: the reset is one of the object-free functions.
    std::future<int> reset = std::async(std::launch::async, [] {
      LibHandle after = 0;
      return Lib_Reset7(&after, 0, kLibFlagExtUnit, 100);
    });
    EXPECT_EQ(reset.wait_for(std::chrono::milliseconds(800)), std::future_status::timeout)
        << "the reset went ahead while the other process held the lock";
    EXPECT_EQ(device.counters().resets, resetsBefore);
    ASSERT_TRUE(holder.ReleaseAndWait());
    EXPECT_EQ(reset.get(), 1);
  }
  EXPECT_EQ(device.counters().resets, resetsBefore + 1);
  EXPECT_NE(Lib_GetHandle(), 0u);
  Lib_CloseDevice(0);
  EXPECT_EQ(Lib_Uninit(), 1);
  EXPECT_EQ(CmdLockHandle(), nullptr) << "the tear-down closes it";
}

}  // namespace
}  // namespace vantor
