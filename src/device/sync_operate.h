// The guard that serialises device commands across every process of the tool: it waits
// for the named command lock on construction and releases it on destruction when it
// owns it.
//
//   wait outcome     owns the lock  *failed  trace
//   signalled        yes            false    none
//   abandoned        yes            true     "<label> : WAIT_ABANDONED"
//   time-out         no             true     "<label> wait time out"
//   failed           no             true     "<label> WAIT_FAILED"
//   any other value  no             false    "<label> Unknown error 0x%08X"
//
// A holder that died mid-command leaves the lock abandoned: the next command takes it
// over, reports failure (the device may be half-way through the dead holder's command)
// and gives it back, so the command after that runs normally.
#pragma once

#include <cstdint>

namespace vantor {

namespace platform {
class NamedMutex;
}

// The lock every command-block transport and the driver set-up open by this name.
inline constexpr wchar_t kCmdLockName[] = L"ICOperateSync_2014_3_28";
// How long a command waits for the lock.
inline constexpr std::uint32_t kCmdLockWaitMs = 10000;

class CSyncOperate {
 public:
  // lock may be null (the lock could not be created): the wait then counts as failed.
  // label names the waiting operation in the traces ("CExtUnitBase::ReadMem").
  CSyncOperate(platform::NamedMutex* lock, bool* failed, const char* label,
               std::uint32_t waitMs = kCmdLockWaitMs);
  ~CSyncOperate();
  CSyncOperate(const CSyncOperate&) = delete;
  CSyncOperate& operator=(const CSyncOperate&) = delete;

  bool OwnsLock() const { return owns_; }
  // The raw wait result (platform::kWait...).
  std::uint32_t WaitResult() const { return waitResult_; }

 private:
  platform::NamedMutex* lock_;
  bool owns_ = false;
  std::uint32_t waitResult_ = 0;
};

}  // namespace vantor
