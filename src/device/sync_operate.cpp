#include "device/sync_operate.h"

#include "platform/last_error.h"
#include "platform/named_mutex.h"
#include "platform/trace.h"

namespace vantor {

CSyncOperate::CSyncOperate(platform::NamedMutex* lock, bool* failed, const char* label,
                           std::uint32_t waitMs)
    : lock_(lock) {
  if (lock_ != nullptr) {
    waitResult_ = lock_->Wait(waitMs);
  } else {
    // No lock object: waiting on an invalid handle fails.
    platform::SetLastError(platform::kErrorInvalidParameter);
    waitResult_ = platform::kWaitFailed;
  }
  bool fail = false;
  switch (waitResult_) {
    case platform::kWaitObject0:
      owns_ = true;
      break;
    case platform::kWaitAbandoned:
      owns_ = true;
      fail = true;
      DebugPrint("%s : WAIT_ABANDONED\n", label);
      break;
    case platform::kWaitTimeout:
      fail = true;
      DebugPrint("%s wait time out\n", label);
      break;
    case platform::kWaitFailed:
      fail = true;
      DebugPrint("%s WAIT_FAILED\n", label);
      break;
    default:
      DebugPrint("%s Unknown error 0x%08X\n", label, waitResult_);
      break;
  }
  if (failed != nullptr) *failed = fail;
}

CSyncOperate::~CSyncOperate() {
  if (owns_) lock_->Release();
}

}  // namespace vantor
