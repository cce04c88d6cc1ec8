#include "device/ext_unit_functions.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

#include "device/cmd_block.h"
#include "device/ext_unit_requests.h"
#include "platform/device_inventory.h"
#include "platform/last_error.h"
#include "platform/named_mutex.h"
#include "platform/trace.h"

namespace vantor {

namespace {

constexpr std::uint32_t kTransfer = 8;

std::mutex gLockMutex;
std::shared_ptr<platform::NamedMutex> gLock;
std::uint32_t gLockWaitMs = kCmdLockWaitMs;

// One call: the command lock held (or not) for its whole duration, the failure path,
// and the last error of the failed request restored once the lock is given back.
class Session {
 public:
  Session(const char* label, const XuTarget& target) : target_(target) {
    {
      std::lock_guard lock(gLockMutex);
      lock_ = gLock;
      waitMs_ = gLockWaitMs;
    }
    if (!lock_) {
      // The set-up never opened the lock: commands sent now would not be serialised with
      // those of other processes, so none is sent.
      DebugPrint("%s: no command lock; nothing is sent\n", label);
      platform::SetLastError(platform::kErrorInvalidHandle);
      return;
    }
    bool failed = false;  // the functions go ahead whatever the wait gave
    guard_ = std::make_unique<CSyncOperate>(lock_.get(), &failed, label, waitMs_);
  }

  // False when there is no lock to serialise the call with (the last error says so).
  bool Usable() const { return lock_ != nullptr; }

  bool Command(const CmdBlock& block) {
    const CmdBlock::Bytes bytes = block.ToBytes();
    return XuSetCur(target_, kXuCommandControl, bytes.data(), CmdBlock::kSize);
  }
  // `length` bytes in transfers of 8, the last one the rest; reads of a rest go straight
  // into the buffer too (the transfer moves only those bytes).
  bool Read(std::uint8_t* buffer, std::uint32_t length) {
    for (std::uint32_t done = 0; done < length; done += kTransfer) {
      if (!XuGetCur(target_, kXuDataControl, buffer + done, std::min(kTransfer, length - done))) {
        return false;
      }
    }
    return true;
  }
  bool Write(const std::uint8_t* buffer, std::uint32_t length) {
    for (std::uint32_t done = 0; done < length; done += kTransfer) {
      std::uint8_t piece[kTransfer] = {};
      const std::uint32_t n = std::min(kTransfer, length - done);
      std::memcpy(piece, buffer + done, n);
      if (!XuSetCur(target_, kXuDataControl, piece, n)) return false;
    }
    return true;
  }

  // Ends the call: on failure the command status is read and the FF block sent, the lock
  // is given back, and the failed request's error is left as the last error.
  bool Finish(bool ok) {
    std::uint32_t error = 0;
    if (!ok) {
      error = platform::GetLastError();
      std::uint8_t status[CmdBlock::kSize] = {};
      XuGetCur(target_, kXuCommandControl, status, CmdBlock::kSize);
      Command(cmd::kAfterError);
    }
    guard_.reset();
    if (!ok) platform::SetLastError(error);
    return ok;
  }

 private:
  XuTarget target_;
  std::shared_ptr<platform::NamedMutex> lock_;
  std::uint32_t waitMs_ = kCmdLockWaitMs;
  std::unique_ptr<CSyncOperate> guard_;
};

XuTarget TargetOf(std::uint32_t devLow, std::uint32_t devHigh, std::uint8_t unitId,
                  std::uint8_t interfaceNumber) {
  return XuTarget{devLow, devHigh, unitId, interfaceNumber};
}

bool Refuse() {
  platform::SetLastError(platform::kErrorInvalidParameter);
  return false;
}

}  // namespace

bool OpenExtUnitFunctionLock(const std::wstring& name, std::uint32_t waitMs) {
  std::shared_ptr<platform::NamedMutex> lock = platform::CreateNamedMutex(name);
  if (lock == nullptr) return false;
  std::lock_guard guard(gLockMutex);
  gLock = std::move(lock);
  gLockWaitMs = waitMs;
  return true;
}

void CloseExtUnitFunctionLock() {
  std::lock_guard guard(gLockMutex);
  gLock.reset();
  gLockWaitMs = kCmdLockWaitMs;
}

platform::NamedMutex* ExtUnitFunctionLock() {
  std::lock_guard guard(gLockMutex);
  return gLock.get();
}

bool ExtUnit_DevQualify(std::uint32_t devLow, std::uint32_t devHigh, std::uint8_t unitId,
                        std::uint8_t interfaceNumber) {
  Session s("ExtUnit_DevQualify", TargetOf(devLow, devHigh, unitId, interfaceNumber));
  if (!s.Usable()) return false;
  std::uint8_t answer[kTransfer] = {};
  if (!s.Finish(s.Command(cmd::kDevQualify) && s.Read(answer, kTransfer))) return false;
  return std::memcmp(answer, kVendorSignature.data(), kVendorSignature.size()) == 0;
}

bool ExtUnit_GetDevStatus(std::uint32_t devLow, std::uint32_t devHigh, std::uint8_t unitId,
                          std::uint8_t interfaceNumber, std::uint32_t first, std::uint32_t count,
                          std::uint8_t* buffer) {
  if (count != 0 && buffer == nullptr) return Refuse();
  Session s("ExtUnit_GetDevStatus", TargetOf(devLow, devHigh, unitId, interfaceNumber));
  if (!s.Usable()) return false;
  const std::uint32_t pages = (count + kTransfer - 1) / kTransfer;
  bool ok = true;
  for (std::uint32_t i = 0; ok && i < pages; ++i) {
    std::uint8_t page[kTransfer] = {};
    const std::uint32_t n = std::min(kTransfer, count - i * kTransfer);
    ok = s.Command(cmd::kGetDevStatus.With(static_cast<std::uint16_t>(first + i))) &&
         s.Read(page, kTransfer);
    if (ok) std::memcpy(buffer + i * kTransfer, page, n);
  }
  return s.Finish(ok);
}

bool ExtUnit_ReadMem(std::uint32_t devLow, std::uint32_t devHigh, std::uint8_t unitId,
                     std::uint8_t interfaceNumber, std::uint32_t address, std::uint32_t length,
                     std::uint8_t* buffer) {
  if (address > 0xFFFF || length > 0xFFFF || (length != 0 && buffer == nullptr)) return Refuse();
  Session s("ExtUnit_ReadMem", TargetOf(devLow, devHigh, unitId, interfaceNumber));
  if (!s.Usable()) return false;
  const CmdBlock block =
      cmd::kReadMem.With(static_cast<std::uint16_t>(address), static_cast<std::uint16_t>(length));
  return s.Finish(s.Command(block) && s.Read(buffer, length));
}

bool ExtUnit_WriteMem(std::uint32_t devLow, std::uint32_t devHigh, std::uint8_t unitId,
                      std::uint8_t interfaceNumber, std::uint32_t address, std::uint32_t length,
                      const std::uint8_t* buffer) {
  if (address > 0xFFFF || length > 0xFFFF || (length != 0 && buffer == nullptr)) return Refuse();
  Session s("ExtUnit_WriteMem", TargetOf(devLow, devHigh, unitId, interfaceNumber));
  if (!s.Usable()) return false;
  const CmdBlock block =
      cmd::kWriteMem.With(static_cast<std::uint16_t>(address), static_cast<std::uint16_t>(length));
  return s.Finish(s.Command(block) && s.Write(buffer, length));
}

bool ExtUnit_Reset(std::uint32_t devLow, std::uint32_t devHigh, std::uint8_t unitId,
                   std::uint8_t interfaceNumber, std::uint8_t parameter, std::uint32_t kind) {
  CmdBlock block;
  switch (kind) {
    case 7:
      block = cmd::kResetToUpdateFW.With(parameter);
      break;
    case 8:
      block = cmd::kResetToNewCode.With(parameter);
      break;
    case 9:
      block = cmd::kResetToRom;
      break;
    default:
      return Refuse();
  }
  Session s("ExtUnit_Reset", TargetOf(devLow, devHigh, unitId, interfaceNumber));
  if (!s.Usable()) return false;
  return s.Finish(s.Command(block));
}

}  // namespace vantor
