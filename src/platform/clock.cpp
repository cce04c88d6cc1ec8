#include "platform/clock.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace vantor::platform {

Event::Event(bool manualReset, bool initiallySet) : manualReset_(manualReset), set_(initiallySet) {}

void Event::Set() {
  {
    std::lock_guard lock(mutex_);
    set_ = true;
  }
  cv_.notify_all();
}

void Event::Reset() {
  std::lock_guard lock(mutex_);
  set_ = false;
}

bool Event::IsSet() const {
  std::lock_guard lock(mutex_);
  return set_;
}

bool Event::TryTake() {
  std::lock_guard lock(mutex_);
  if (!set_) return false;
  if (!manualReset_) set_ = false;
  return true;
}

bool Event::WaitReal(std::uint32_t timeoutMs) {
  std::unique_lock lock(mutex_);
  if (timeoutMs == kInfinite) {
    cv_.wait(lock, [this] { return set_; });
  } else if (!cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return set_; })) {
    return false;
  }
  if (!manualReset_) set_ = false;
  return true;
}

namespace {

class RealClock final : public Clock {
 public:
  std::uint64_t NowMs() override { return NowUs() / 1000; }
  std::uint64_t NowUs() override {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
  }
  void Sleep(std::uint32_t ms) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }
  void SleepUs(std::uint64_t us) override {
    std::this_thread::sleep_for(std::chrono::microseconds(us));
  }
  bool Wait(Event& event, std::uint32_t timeoutMs) override { return event.WaitReal(timeoutMs); }
};

RealClock gRealClock;
std::atomic<Clock*> gClock{nullptr};

}  // namespace

Clock& GetClock() {
  Clock* clock = gClock.load(std::memory_order_acquire);
  return clock != nullptr ? *clock : gRealClock;
}

Clock* SetClock(Clock* clock) { return gClock.exchange(clock, std::memory_order_acq_rel); }

}  // namespace vantor::platform
