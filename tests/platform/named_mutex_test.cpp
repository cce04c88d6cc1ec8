// The named mutex: recursive per thread, timed waits, shared by name between handles and
// processes, and abandoned when its owner (thread or process) dies holding it.
#include "platform/named_mutex.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/last_error.h"
#include "support/cmd_recorder.h"
#include "support/lock_holder.h"

namespace vantor::platform {
namespace {

using test::LockHolderProcess;

// A mutex of a name of its own, removed again at the end.
class NamedMutexTest : public ::testing::Test {
 protected:
  void TearDown() override { RemoveNamedMutex(name_); }

  std::unique_ptr<NamedMutex> Open() {
    auto mutex = CreateNamedMutex(name_);
    EXPECT_NE(mutex, nullptr);
    return mutex;
  }
  // What another thread of this process gets from an immediate wait (released again).
  std::uint32_t WaitFromOtherThread(std::uint32_t timeoutMs = 0) {
    std::uint32_t result = kWaitFailed;
    std::thread other([&] {
      auto mutex = CreateNamedMutex(name_);
      if (mutex == nullptr) return;
      result = mutex->Wait(timeoutMs);
      if (result == kWaitObject0 || result == kWaitAbandoned) mutex->Release();
    });
    other.join();
    return result;
  }

  std::wstring name_ = test::UniqueLockName("mutex");
};

TEST_F(NamedMutexTest, OwnerMayTakeItAgainAndMustReleaseAsOften) {
  auto mutex = Open();
  ASSERT_EQ(mutex->Wait(0), kWaitObject0);
  ASSERT_EQ(mutex->Wait(0), kWaitObject0);
  EXPECT_EQ(WaitFromOtherThread(), kWaitTimeout);
  EXPECT_TRUE(mutex->Release());
  EXPECT_EQ(WaitFromOtherThread(), kWaitTimeout) << "one level still held";
  EXPECT_TRUE(mutex->Release());
  EXPECT_EQ(WaitFromOtherThread(), kWaitObject0);
}

TEST_F(NamedMutexTest, HandlesOfOneNameShareTheMutexOtherNamesDoNot) {
  auto first = Open();
  auto second = Open();
  ASSERT_EQ(first->Wait(0), kWaitObject0);
  // The same thread through another handle: recursion, not a deadlock.
  EXPECT_EQ(second->Wait(0), kWaitObject0);
  EXPECT_TRUE(second->Release());
  EXPECT_TRUE(first->Release());

  const std::wstring otherName = test::UniqueLockName("other");
  auto other = CreateNamedMutex(otherName);
  ASSERT_NE(other, nullptr);
  ASSERT_EQ(first->Wait(0), kWaitObject0);
  std::uint32_t result = kWaitFailed;
  std::thread thread([&] {
    auto mutex = CreateNamedMutex(otherName);
    result = mutex->Wait(0);
    if (result == kWaitObject0) mutex->Release();
  });
  thread.join();
  EXPECT_EQ(result, kWaitObject0);
  EXPECT_TRUE(first->Release());
  RemoveNamedMutex(otherName);
}

TEST_F(NamedMutexTest, TimedWaitOnAHeldMutexTimesOut) {
  auto mutex = Open();
  ASSERT_EQ(mutex->Wait(0), kWaitObject0);
  EXPECT_EQ(WaitFromOtherThread(50), kWaitTimeout);
  EXPECT_TRUE(mutex->Release());
  EXPECT_EQ(WaitFromOtherThread(50), kWaitObject0);
}

TEST_F(NamedMutexTest, ReleaseWithoutOwningFailsWithNotOwner) {
  auto mutex = Open();
  SetLastError(0);
  EXPECT_FALSE(mutex->Release());
  EXPECT_EQ(GetLastError(), 288u);
  ASSERT_EQ(mutex->Wait(0), kWaitObject0);
  bool releasedElsewhere = true;
  std::thread other([&] { releasedElsewhere = CreateNamedMutex(name_)->Release(); });
  other.join();
  EXPECT_FALSE(releasedElsewhere) << "only the owning thread may release";
  EXPECT_TRUE(mutex->Release());
}

TEST_F(NamedMutexTest, ThreadEndingWhileHoldingLeavesItAbandoned) {
  std::thread holder([&] {
    auto mutex = CreateNamedMutex(name_);
    ASSERT_EQ(mutex->Wait(0), kWaitObject0);
    ASSERT_EQ(mutex->Wait(0), kWaitObject0);  // even held twice
  });
  holder.join();
  auto mutex = Open();
  EXPECT_EQ(mutex->Wait(0), kWaitAbandoned);
  // The new owner holds it once, and it is a working mutex again.
  EXPECT_EQ(WaitFromOtherThread(), kWaitTimeout);
  EXPECT_TRUE(mutex->Release());
  EXPECT_EQ(WaitFromOtherThread(), kWaitObject0);
  EXPECT_EQ(mutex->Wait(0), kWaitObject0);
  EXPECT_TRUE(mutex->Release());
}

TEST_F(NamedMutexTest, ProcessKilledWhileHoldingLeavesItAbandoned) {
  LockHolderProcess holder(name_, LockHolderProcess::Mode::kDieHolding);
  ASSERT_TRUE(holder.Holding());
  ASSERT_TRUE(holder.WaitDeath());
  auto mutex = Open();
  EXPECT_EQ(mutex->Wait(5000), kWaitAbandoned);
  EXPECT_TRUE(mutex->Release());
  EXPECT_EQ(mutex->Wait(0), kWaitObject0);
  EXPECT_TRUE(mutex->Release());
}

TEST_F(NamedMutexTest, AnotherProcessHoldingMakesTheWaitTimeOutUntilItReleases) {
  auto mutex = Open();
  LockHolderProcess holder(name_, LockHolderProcess::Mode::kHoldUntilReleased);
  ASSERT_TRUE(holder.Holding());
  EXPECT_EQ(mutex->Wait(100), kWaitTimeout);
  ASSERT_TRUE(holder.ReleaseAndWait());
  EXPECT_EQ(mutex->Wait(5000), kWaitObject0);
  EXPECT_TRUE(mutex->Release());
}

TEST_F(NamedMutexTest, ProcessWaitingForThisProcessGetsItOnRelease) {
  auto mutex = Open();
  ASSERT_EQ(mutex->Wait(0), kWaitObject0);
  // The holder process waits up to 10 s for the lock; it gets it once this process lets
  // go (whether it started waiting before or after the release).
  std::unique_ptr<LockHolderProcess> holder;
  std::thread starter([&] {
    holder =
        std::make_unique<LockHolderProcess>(name_, LockHolderProcess::Mode::kHoldUntilReleased);
  });
  Sleep(200);
  EXPECT_TRUE(mutex->Release());
  starter.join();
  ASSERT_TRUE(holder->Holding());
  EXPECT_EQ(mutex->Wait(0), kWaitTimeout);
  EXPECT_TRUE(holder->ReleaseAndWait());
}

TEST_F(NamedMutexTest, RemovedNameStartsAFreshMutex) {
  auto mutex = Open();
  ASSERT_EQ(mutex->Wait(0), kWaitObject0);
  RemoveNamedMutex(name_);
  auto fresh = Open();
  EXPECT_EQ(WaitFromOtherThread(), kWaitObject0);
  EXPECT_TRUE(mutex->Release());
}

TEST(NamedMutexNames, SlashesAndLongNamesAreUsable) {
  for (std::wstring name : {std::wstring(L"Global\\a/b/c_") + test::UniqueLockName("slash"),
                            std::wstring(400, L'x') + test::UniqueLockName("long")}) {
    auto mutex = CreateNamedMutex(name);
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(mutex->Wait(0), kWaitObject0);
    EXPECT_TRUE(mutex->Release());
    RemoveNamedMutex(name);
  }
}

}  // namespace
}  // namespace vantor::platform
