// A clock whose time moves only when someone waits: a sleep or a time-out advances it at
// once, so device delays and reset budgets take no real time. Safe to use from several
// threads; time never goes back.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/clock.h"

namespace vantor::sim {

class VirtualClock final : public platform::Clock {
 public:
  explicit VirtualClock(std::uint64_t startUs = 1'000'000);

  std::uint64_t NowMs() override;
  std::uint64_t NowUs() override;
  void Sleep(std::uint32_t ms) override;
  void SleepUs(std::uint64_t us) override;
  // A signalled event returns at once; otherwise the time-out passes in virtual time.
  // Waiting without a limit waits in real time for another thread's signal.
  bool Wait(platform::Event& event, std::uint32_t timeoutMs) override;

  void Advance(std::uint64_t us);

 private:
  std::atomic<std::uint64_t> nowUs_;
};

// Installs a virtual clock as the process clock for the life of the object.
class ScopedVirtualClock {
 public:
  ScopedVirtualClock();
  ~ScopedVirtualClock();
  ScopedVirtualClock(const ScopedVirtualClock&) = delete;
  ScopedVirtualClock& operator=(const ScopedVirtualClock&) = delete;
  VirtualClock& clock() { return clock_; }

 private:
  VirtualClock clock_;
  platform::Clock* previous_;
};

}  // namespace vantor::sim
