#include "sim/virtual_clock.h"

#include <thread>

namespace vantor::sim {

VirtualClock::VirtualClock(std::uint64_t startUs) : nowUs_(startUs) {}

std::uint64_t VirtualClock::NowMs() { return nowUs_.load() / 1000; }
std::uint64_t VirtualClock::NowUs() { return nowUs_.load(); }
void VirtualClock::Sleep(std::uint32_t ms) { Advance(std::uint64_t{ms} * 1000); }
void VirtualClock::SleepUs(std::uint64_t us) { Advance(us); }
void VirtualClock::Advance(std::uint64_t us) { nowUs_.fetch_add(us); }

bool VirtualClock::Wait(platform::Event& event, std::uint32_t timeoutMs) {
  if (event.TryTake()) return true;
  if (timeoutMs == platform::kInfinite) return event.WaitReal(platform::kInfinite);
  // Give a thread that is about to signal a moment of real time, then let the
  // whole time-out pass.
  std::this_thread::yield();
  Advance(std::uint64_t{timeoutMs} * 1000);
  return event.TryTake();
}

ScopedVirtualClock::ScopedVirtualClock() : previous_(platform::SetClock(&clock_)) {}
ScopedVirtualClock::~ScopedVirtualClock() { platform::SetClock(previous_); }

}  // namespace vantor::sim
