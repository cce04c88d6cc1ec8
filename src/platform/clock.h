// Time: every sleep, time-out and clock read of the system goes through the process-wide
// clock, so that the simulated devices can run on a virtual clock where the 5 s settle
// times and 15 s reset budgets cost no real time.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace vantor::platform {

inline constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

// A manual- or auto-reset event, waited on through a clock.
class Event {
 public:
  explicit Event(bool manualReset = true, bool initiallySet = false);
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  void Reset();
  bool IsSet() const;

  // Takes the signal when the event is set (an auto-reset event is reset by this).
  bool TryTake();
  // Waits in real time; timeoutMs kInfinite waits without limit. True when taken.
  bool WaitReal(std::uint32_t timeoutMs);

 private:
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  bool manualReset_;
  bool set_;
};

class Clock {
 public:
  virtual ~Clock() = default;

  // Milliseconds since an arbitrary start; never goes back.
  virtual std::uint64_t NowMs() = 0;
  // High-resolution counter in microseconds.
  virtual std::uint64_t NowUs() = 0;
  virtual void Sleep(std::uint32_t ms) = 0;
  virtual void SleepUs(std::uint64_t us) = 0;
  // Waits for the event up to timeoutMs (kInfinite: no limit). True when signalled.
  virtual bool Wait(Event& event, std::uint32_t timeoutMs) = 0;

  // The 32-bit millisecond tick count (wraps after 49.7 days).
  std::uint32_t TickCount() { return static_cast<std::uint32_t>(NowMs()); }
};

// The process-wide clock; the real one unless another was installed.
Clock& GetClock();
// Installs a clock (null restores the real one); returns the one it replaces, or null
// when that was the real clock.
Clock* SetClock(Clock* clock);

// Convenience forms of the process-wide clock.
inline std::uint32_t TickCount() { return GetClock().TickCount(); }
inline void Sleep(std::uint32_t ms) { GetClock().Sleep(ms); }

}  // namespace vantor::platform
