#include "sim/virtual_clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace vantor::sim {
namespace {

TEST(VirtualClock, SleepsAndTimeOutsCostNoRealTime) {
  ScopedVirtualClock scoped;
  auto& clock = platform::GetClock();
  ASSERT_EQ(&clock, &scoped.clock());
  auto realStart = std::chrono::steady_clock::now();
  std::uint32_t t0 = platform::TickCount();
  platform::Sleep(15000);
  EXPECT_EQ(platform::TickCount() - t0, 15000u);
  platform::Event never;
  EXPECT_FALSE(clock.Wait(never, 5000));
  EXPECT_EQ(platform::TickCount() - t0, 20000u);
  clock.SleepUs(1500);
  EXPECT_EQ(clock.NowUs() % 1000, 500u);
  EXPECT_LT(std::chrono::steady_clock::now() - realStart, std::chrono::seconds(2));
}

TEST(VirtualClock, SignalledEventReturnsWithoutAdvancing) {
  ScopedVirtualClock scoped;
  platform::Event event(false, true);
  std::uint64_t before = scoped.clock().NowMs();
  EXPECT_TRUE(scoped.clock().Wait(event, 5000));
  EXPECT_EQ(scoped.clock().NowMs(), before);
  EXPECT_FALSE(event.IsSet()) << "auto-reset event is taken";
}

TEST(VirtualClock, InfiniteWaitEndsOnAnotherThreadsSignal) {
  ScopedVirtualClock scoped;
  platform::Event event;
  std::thread t([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    event.Set();
  });
  EXPECT_TRUE(scoped.clock().Wait(event, platform::kInfinite));
  t.join();
}

TEST(VirtualClock, RestoresThePreviousClock) {
  platform::Clock* before = &platform::GetClock();
  {
    ScopedVirtualClock scoped;
    EXPECT_NE(&platform::GetClock(), before);
  }
  EXPECT_EQ(&platform::GetClock(), before);
}

}  // namespace
}  // namespace vantor::sim
