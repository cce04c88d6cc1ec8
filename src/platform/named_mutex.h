// A named mutex shared by all processes of the user: the lock that serialises every
// device command of every instance of the tool. Like the Windows mutex object it is
// owned by a thread, recursive (the owning thread may take it again and must release it
// as often), waited on with a time-out, and *abandoned* when its owner dies while
// holding it: the next waiter then owns it and is told so.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace vantor::platform {

// Results of NamedMutex::Wait, numbered as WaitForSingleObject numbers them.
inline constexpr std::uint32_t kWaitObject0 = 0x00000000;    // signalled: now owned
inline constexpr std::uint32_t kWaitAbandoned = 0x00000080;  // owner died: now owned
inline constexpr std::uint32_t kWaitTimeout = 0x00000102;    // not owned
inline constexpr std::uint32_t kWaitFailed = 0xFFFFFFFF;     // not owned; see GetLastError

class NamedMutex {
 public:
  virtual ~NamedMutex() = default;  // closes this handle; never releases ownership

  // Waits until the calling thread owns the mutex or timeoutMs milliseconds have passed
  // (kInfinite from platform/clock.h: no limit). This is a real operating-system wait,
  // since the other party may be another process. Returns one of the kWait values
  // above; kWaitFailed sets the platform last error.
  virtual std::uint32_t Wait(std::uint32_t timeoutMs) = 0;

  // Gives up one level of ownership. False (with the platform last error set) when the
  // calling thread does not own the mutex.
  virtual bool Release() = 0;
};

// Creates the mutex, not owned, or opens it when it exists already (CreateMutexW
// semantics). Null (with the platform last error set) when the system refuses.
std::unique_ptr<NamedMutex> CreateNamedMutex(const std::wstring& name);

// Removes the name from the system so that the next CreateNamedMutex starts a fresh
// object; handles already open keep working on the old one. Needed only where named
// objects outlive their last handle (POSIX shared memory); elsewhere it does nothing.
// For tests and clean-up tools, never while other processes use the name.
void RemoveNamedMutex(const std::wstring& name);

}  // namespace vantor::platform
