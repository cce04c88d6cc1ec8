// The command lock: the guard's outcome table, commands holding the lock for their whole
// duration (split transfers included), and the lock shared with other processes: a
// holder that died, and one that holds past the wait.
#include "device/sync_operate.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "device/ext_unit_base.h"
#include "platform/named_mutex.h"
#include "support/cmd_recorder.h"
#include "support/debug_capture.h"
#include "support/lock_holder.h"

namespace vantor {
namespace {

using test::BlockBytes;
using test::CmdKind;
using test::CmdRecorder;
using test::LockHolderProcess;
using Bytes = CmdBlock::Bytes;

// A mutex that answers every wait with a chosen result.
class FakeMutex : public platform::NamedMutex {
 public:
  explicit FakeMutex(std::uint32_t answer) : answer_(answer) {}
  std::uint32_t Wait(std::uint32_t timeoutMs) override {
    lastTimeout = timeoutMs;
    return answer_;
  }
  bool Release() override {
    ++releases;
    return true;
  }
  std::uint32_t lastTimeout = 0;
  int releases = 0;

 private:
  std::uint32_t answer_;
};

TEST(CSyncOperate, EveryWaitOutcomeHasItsOwnershipFlagAndTrace) {
  struct Case {
    std::uint32_t wait;
    bool owns;
    bool failed;
    const char* trace;  // empty: none
  };
  const Case cases[] = {
      {platform::kWaitObject0, true, false, ""},
      {platform::kWaitAbandoned, true, true, "Op::Name : WAIT_ABANDONED\r\n"},
      {platform::kWaitTimeout, false, true, "Op::Name wait time out\r\n"},
      {platform::kWaitFailed, false, true, "Op::Name WAIT_FAILED\r\n"},
      {0x1234, false, false, "Op::Name Unknown error 0x00001234\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.wait);
    FakeMutex mutex(c.wait);
    test::DebugCapture capture;
    bool failed = !c.failed;
    {
      CSyncOperate guard(&mutex, &failed, "Op::Name");
      EXPECT_EQ(guard.OwnsLock(), c.owns);
      EXPECT_EQ(failed, c.failed);
      EXPECT_EQ(mutex.releases, 0);
    }
    EXPECT_EQ(mutex.releases, c.owns ? 1 : 0) << "released exactly when owned";
    EXPECT_EQ(mutex.lastTimeout, 10000u);
    EXPECT_EQ(capture.All(), c.trace);
  }
}

TEST(CSyncOperate, MissingLockCountsAsAFailedWait) {
  test::DebugCapture capture;
  bool failed = false;
  {
    CSyncOperate guard(nullptr, &failed, "Op::Name", 5);
    EXPECT_FALSE(guard.OwnsLock());
  }
  EXPECT_TRUE(failed);
  EXPECT_EQ(capture.All(), "Op::Name WAIT_FAILED\r\n");
}

// What another thread of this process gets from an immediate wait on the lock.
std::uint32_t WaitFromOtherThread(const std::wstring& name) {
  std::uint32_t result = platform::kWaitFailed;
  std::thread other([&] {
    auto mutex = platform::CreateNamedMutex(name);
    result = mutex->Wait(0);
    if (result == platform::kWaitObject0 || result == platform::kWaitAbandoned) mutex->Release();
  });
  other.join();
  return result;
}

TEST(CommandLock, SplitTransfersHoldTheLockThroughoutAndReleaseIt) {
  CmdRecorder rec;
  std::uint16_t size = 1024;  // fewer transfers to probe
  ASSERT_TRUE(rec.ChangeDataControlSize(&size));
  rec.CheckLockHeld(true);
  std::vector<std::uint8_t> data(0x18000, 0x11);
  ASSERT_EQ(rec.SPI_SF_Write(0x10000, 0x18000, data.data(), nullptr, nullptr), kSOk);
  ASSERT_EQ(rec.Blocks().size(), 3u);
  for (const auto& event : rec.Events()) EXPECT_TRUE(event.lockHeld);
  EXPECT_EQ(WaitFromOtherThread(rec.LockName()), platform::kWaitObject0);

  // A failing command gives the lock back too.
  rec.CheckLockHeld(false);
  rec.FailAt(CmdKind::SetData, 3, static_cast<HResult>(0x8007001Fu));
  EXPECT_NE(rec.SPI_SF_Write(0x10000, 0x18000, data.data(), nullptr, nullptr), kSOk);
  EXPECT_EQ(WaitFromOtherThread(rec.LockName()), platform::kWaitObject0);
}

TEST(CommandLock, LongTransfersSplitAt0x8000) {
  struct Case {
    const char* name;
    std::uint32_t addr;
    std::uint32_t len;
    bool spi;
    std::vector<Bytes> blocks;
  };
  const Case cases[] = {
      {"three pieces, p1 only the low half",
       0x1F000,
       0x18000,
       false,
       {BlockBytes(0, 0xC2, 0xF000, 0x8000, 0), BlockBytes(0, 0xC2, 0x7000, 0x8000, 0),
        BlockBytes(0, 0xC2, 0xF000, 0x8000, 0)}},
      {"rest below 0x10000 in one",
       0,
       0x1FFFF,
       false,
       {BlockBytes(0, 0xC2, 0, 0x8000, 0), BlockBytes(0, 0xC2, 0x8000, 0x8000, 0),
        BlockBytes(0, 0xC2, 0x0000, 0xFFFF, 0)}},
      {"exactly 0xFFFF in one", 0x10, 0xFFFF, false, {BlockBytes(0, 0xC2, 0x10, 0xFFFF, 0)}},
      {"high half follows the pieces",
       0x00FF8000,
       0x10000,
       true,
       {BlockBytes(2, 0xC2, 0x8000, 0x8000, 0x00FF), BlockBytes(2, 0xC2, 0x0000, 0x8000, 0x0100)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CmdRecorder rec;
    std::vector<std::uint8_t> buf(c.len);
    std::vector<std::uint32_t> progress;
    auto keep = [](void* ctx, std::uint32_t n) {
      static_cast<std::vector<std::uint32_t>*>(ctx)->push_back(n);
    };
    const HResult result = c.spi ? rec.SPI_SF_Read(c.addr, c.len, buf.data(), 0, keep, &progress)
                                 : rec.ReadMem(c.addr, c.len, buf.data(), keep, &progress);
    ASSERT_EQ(result, kSOk);
    EXPECT_EQ(rec.Blocks(), c.blocks);
    std::uint64_t total = 0;
    for (auto n : progress) total += n;
    EXPECT_EQ(total, c.len) << "progress covers every byte";
    // The pieces land one after the other: the device's bytes count up, and the only
    // partial transfer is the very last one.
    std::size_t mismatches = 0;
    for (std::size_t i = 0; i < buf.size(); ++i) {
      if (buf[i] != static_cast<std::uint8_t>(i)) ++mismatches;
    }
    EXPECT_EQ(mismatches, 0u);
  }
}

TEST(CommandLock, EepromEraseWritesFFInPiecesFromOffsetZero) {
  CmdRecorder rec;
  ASSERT_EQ(rec.I2C_EEP16_Erase(0x18000), kSOk);
  EXPECT_EQ(rec.Blocks(), (std::vector<Bytes>{BlockBytes(2, 0x91, 0, 0x8000, 0),
                                              BlockBytes(2, 0x91, 0x8000, 0x8000, 0),
                                              BlockBytes(2, 0x91, 0x0000, 0x8000, 0)}));
  EXPECT_EQ(rec.SentData(), std::vector<std::uint8_t>(0x18000, 0xFF));
}

// ---- Other processes -----------------------------------------------------------------

class CrossProcessLock : public ::testing::Test {
 protected:
  void TearDown() override { platform::RemoveNamedMutex(name_); }
  std::wstring name_ = test::UniqueLockName("cmdlock");
};

TEST_F(CrossProcessLock, HolderThatDiedMakesTheNextCommandFailOnceAfterTakingItOver) {
  LockHolderProcess holder(name_, LockHolderProcess::Mode::kDieHolding);
  ASSERT_TRUE(holder.Holding());
  ASSERT_TRUE(holder.WaitDeath());

  CmdRecorder rec(name_, 5000);
  test::DebugCapture capture;
  std::uint8_t buf[8];
  EXPECT_EQ(rec.ReadMem(0x10, 8, buf, nullptr, nullptr), kLockNotObtained);
  EXPECT_EQ(capture.Lines(),
            std::vector<std::string>{"CExtUnitBase::ReadMem : WAIT_ABANDONED\r\n"});
  EXPECT_TRUE(rec.Events().empty()) << "nothing sent";
  // Taken over and released: the next command runs normally.
  capture.Clear();
  EXPECT_EQ(rec.ReadMem(0x10, 8, buf, nullptr, nullptr), kSOk);
  EXPECT_EQ(rec.Blocks(), std::vector<Bytes>{BlockBytes(0, 0xC2, 0x10, 8, 0)});
  EXPECT_TRUE(capture.Lines().empty());
}

TEST_F(CrossProcessLock, HolderPastTheWaitMakesEveryCommandTimeOut) {
  LockHolderProcess holder(name_, LockHolderProcess::Mode::kHoldUntilReleased);
  ASSERT_TRUE(holder.Holding());

  CmdRecorder rec(name_, 100);
  test::DebugCapture capture;
  const std::uint8_t data[8] = {};
  EXPECT_EQ(rec.SPI_SF_EraseChip(0), kLockNotObtained);
  EXPECT_FALSE(rec.DevQualify());
  EXPECT_EQ(rec.OTP_Write(0, 8, 0, data, 0, 0), kLockNotObtained);
  EXPECT_EQ(rec.GetLastCmdStatus(), 0xFF) << "no OTP status without the lock";
  // The argument check comes before the lock.
  EXPECT_EQ(rec.SPI_SF_EraseSector(0x1001, 0x1000), kEInvalidArg);
  EXPECT_EQ(capture.Lines(), (std::vector<std::string>{
                                 "CExtUnitBase::SPI_SF_EraseChip wait time out\r\n",
                                 "CExtUnitBase::DevQualify wait time out\r\n",
                                 "CExtUnitBase::OTP_Write wait time out\r\n",
                             }));
  EXPECT_TRUE(rec.Events().empty());

  ASSERT_TRUE(holder.ReleaseAndWait());
  EXPECT_EQ(rec.SPI_SF_EraseChip(0), kSOk);
  EXPECT_EQ(rec.Blocks(), std::vector<Bytes>{BlockBytes(2, 0x04, 0, 0, 0)});
}

}  // namespace
}  // namespace vantor
