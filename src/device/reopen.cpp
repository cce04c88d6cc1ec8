#include "device/reopen.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "device/cmd_block.h"
#include "device/device_enum.h"
#include "device/device_info.h"
#include "device/ext_unit_functions.h"
#include "device/proxy_protocol.h"
#include "device/vendor_functions.h"
#include "platform/clock.h"
#include "platform/last_error.h"
#include "platform/text.h"
#include "platform/trace.h"

namespace vantor {

namespace P = platform;

namespace {

constexpr std::uint32_t kChipIdSlowA = 0xB013;
constexpr std::uint32_t kChipIdSlowB = 0xB014;
constexpr std::uint32_t kChipIdCameraList = 0x10;
constexpr std::uint32_t kResetLatchRegister = 0xFF92;
constexpr std::uint32_t kStatusProbeBytes = 32;

// Time charged against the budget, measured on the platform clock.
class Budget {
 public:
  explicit Budget(std::uint32_t budgetMs) : budgetMs_(budgetMs) {}
  std::uint64_t Start() const { return P::GetClock().NowMs(); }
  // Charges the time since `startMs`, at least `atLeastMs`.
  void Charge(std::uint64_t startMs, std::uint32_t atLeastMs) {
    const std::uint64_t now = P::GetClock().NowMs();
    elapsedMs_ += std::max<std::uint64_t>(now > startMs ? now - startMs : 0, atLeastMs);
  }
  bool Exceeded() const { return budgetMs_ > 0 && elapsedMs_ > budgetMs_; }
  // What is left for a readiness probe (0: no limit).
  std::uint32_t RemainingMs() const {
    if (budgetMs_ == 0) return 0;
    return static_cast<std::uint32_t>(
        std::max<std::uint64_t>(budgetMs_ > elapsedMs_ ? budgetMs_ - elapsedMs_ : 0, 1));
  }

 private:
  std::uint32_t budgetMs_;
  std::uint64_t elapsedMs_ = 0;
};

// The transport of the reset, as the caller gave it or as the device answers.
struct Transport {
  std::uint32_t unitId = 0;
  bool legacy = false;
  bool vendor = false;
};

// What the device answers, without storing anything: the vendor signature in the status,
// else the legacy ping; and a unit that qualifies.
bool DetermineTransport(const CamDevRecord& r, Transport& t) {
  std::vector<std::uint8_t> config;
  if (ReadConfigDescriptor(r, config) != 0) return false;
  std::array<std::uint8_t, kStatusProbeBytes> status{};
  t.vendor = VendorGetDevStatus(r.hKvProxyDevLow, r.hKvProxyDevHigh, 0, kStatusProbeBytes,
                                status.data()) == 0 &&
             std::equal(kVendorSignature.begin(), kVendorSignature.end(),
                        status.begin() + kSignatureOffset);
  t.legacy = !t.vendor && VendorPing(r.hKvProxyDevLow, r.hKvProxyDevHigh, 0) == 0;
  const auto unit = FindCommandUnit(r, config);
  const bool qualified = unit && ExtUnit_DevQualify(r.hKvProxyDevLow, r.hKvProxyDevHigh, *unit,
                                                    static_cast<std::uint8_t>(r.interfaceNumber));
  t.unitId = qualified ? *unit : 0;
  return t.vendor || qualified;
}

// The platform error of a failed extension-unit request; a failure never reads as 0.
std::uint32_t ExtUnitError(bool ok) {
  if (ok) return 0;
  const std::uint32_t error = P::GetLastError();
  return error != 0 ? error : P::kErrorGenFailure;
}

// Reads the chip id registers and latches the reset register, through the transport of
// the reset. The chip id is byte 0 plus the high nibble of byte 1 in bits 12..15.
std::uint32_t ChipIdStep(const CamDevRecord& r, const Transport& t) {
  std::uint8_t id[2] = {};
  const std::uint8_t latch = 1;
  const auto itf = static_cast<std::uint8_t>(r.interfaceNumber);
  const auto unit = static_cast<std::uint8_t>(t.unitId);
  if (t.vendor) {
    VendorReadMem(r.hKvProxyDevLow, r.hKvProxyDevHigh, kChipIdRegister, 2, id);
    VendorWriteMem(r.hKvProxyDevLow, r.hKvProxyDevHigh, kResetLatchRegister, 1, &latch);
  } else {
    ExtUnit_ReadMem(r.hKvProxyDevLow, r.hKvProxyDevHigh, unit, itf, kChipIdRegister, 2, id);
    ExtUnit_WriteMem(r.hKvProxyDevLow, r.hKvProxyDevHigh, unit, itf, kResetLatchRegister, 1,
                     &latch);
  }
  return id[0] + (static_cast<std::uint32_t>(id[1] & 0xF0) << 8);
}

std::uint32_t SendReset(const CamDevRecord& r, const Transport& t, std::uint16_t parameter,
                        std::uint32_t kind) {
  const auto k = static_cast<std::uint16_t>(kind);
  if (t.vendor) return VendorReset(r.hKvProxyDevLow, r.hKvProxyDevHigh, parameter, k);
  if (t.legacy) return VendorLegacyReset(r.hKvProxyDevLow, r.hKvProxyDevHigh, parameter, k);
  return ExtUnitError(ExtUnit_Reset(
      r.hKvProxyDevLow, r.hKvProxyDevHigh, static_cast<std::uint8_t>(t.unitId),
      static_cast<std::uint8_t>(r.interfaceNumber), static_cast<std::uint8_t>(parameter), kind));
}

// Releases the old device's interface and proxy handle; the rest of the record stays
// for the location comparison.
void ReleaseHandles(CamDevRecord& r) {
  if (r.interfaceHandle != 0) {
    P::GetDeviceInventory()->CloseDeviceInterface(r.interfaceHandle);
    r.interfaceHandle = 0;
  }
  if (r.hKvProxyDevLow != 0 || r.hKvProxyDevHigh != 0) {
    ProxyDetach(r.hKvProxyDevLow, r.hKvProxyDevHigh);
    r.hKvProxyDevLow = 0;
    r.hKvProxyDevHigh = 0;
  }
}

// Whether the reopened device does not answer yet: "device not connected", or still
// "not ready" (the open's readiness probe gives up when the budget runs out, and a
// device that keeps answering 21 has not come back to work).
bool NotAnswering(std::uint32_t error) {
  return error == P::kErrorDeviceNotConnected || error == P::kErrorNotReady;
}

bool StillGone(const CamDevRecord& r, const Transport& t, std::uint16_t pingValue) {
  if (t.vendor || t.legacy) {
    return NotAnswering(VendorPing(r.hKvProxyDevLow, r.hKvProxyDevHigh, pingValue));
  }
  std::uint8_t page[8] = {};
  return !ExtUnit_GetDevStatus(
             r.hKvProxyDevLow, r.hKvProxyDevHigh, static_cast<std::uint8_t>(t.unitId),
             static_cast<std::uint8_t>(r.interfaceNumber), 0, sizeof page, page) &&
         NotAnswering(P::GetLastError());
}

std::string PdoText(const std::wstring& name) { return P::ToUtf8(name); }

}  // namespace

std::uint32_t ReopenKvCam(CamDevRecord* record, std::uint32_t argument, std::uint32_t resetKind,
                          std::uint32_t unitId, std::uint32_t legacy, std::uint32_t vendor,
                          bool flagsKnown, bool preferExtUnit, std::uint32_t budgetMs,
                          platform::Event* event, std::uint32_t settleMs) {
  // 1. The record must hold an open device.
  if (record == nullptr || !record->IsValid()) return P::kErrorInvalidParameter;
  CamDevRecord& old = *record;

  // 2. The work value: the argument's low 16 bits, 2 taken as 1.
  const auto work = static_cast<std::uint16_t>(argument & 0xFFFF);
  const std::uint16_t pingValue = work == 2 ? 1 : work;

  // 3. The transport.
  Transport t{unitId, legacy != 0, vendor != 0};
  std::uint32_t kind = resetKind;
  bool chipIdStep = true;
  if (kind == kResetToRomVendor) {
    t.vendor = true;
    t.legacy = false;
    chipIdStep = false;
    kind = kResetToRom;
  } else {
    if (!flagsKnown && !DetermineTransport(old, t)) return kReopenFail;
    if (preferExtUnit && t.unitId > 0) t.legacy = t.vendor = false;
  }

  // 4. The reset parameter: the extension unit swaps 0 and 1.
  std::uint16_t parameter = work;
  if (!t.legacy && !t.vendor && work <= 1) parameter = work == 0 ? 1 : 0;
  const bool fast = parameter == 2 || parameter == 5;

  // 5. The old device's physical device object, to tell it from the new one.
  std::wstring oldPdo;
  if (GetDevInstPdoName(old.devInst, oldPdo) != 0) oldPdo.clear();

  // 6. Chip id (slow devices) and the reset latch.
  std::uint32_t chipId = 0;
  if (chipIdStep) chipId = ChipIdStep(old, t);
  const bool slow = chipId == kChipIdSlowA || chipId == kChipIdSlowB;

  // 7. The reset, repeated while the device is not ready. The arrival event is cleared
  //    first, so that the old device's removal, however soon it comes, ends the wait.
  if (event != nullptr) event->Reset();
  Budget budget(budgetMs);
  std::uint32_t rc = 0;
  for (;;) {
    const std::uint64_t start = budget.Start();
    rc = SendReset(old, t, parameter, kind);
    if (rc != P::kErrorNotReady) break;
    P::Sleep(kResetRetryMs);
    budget.Charge(start, kResetRetryMs);
    if (budget.Exceeded()) return P::kErrorTimeout;
  }
  if (rc != 0) {
    DebugPrint("Reset device failed %d\n", static_cast<int>(rc));
    return rc;
  }

  // 8. The old handles are dead now.
  const std::uint32_t oldHandle = old.hKvProxyDevLow;
  ReleaseHandles(old);

  // 9. Settle.
  if (!fast) {
    if (event != nullptr) {
      P::GetClock().Wait(*event, settleMs);
    } else {
      P::Sleep(settleMs);
    }
  }
  if (slow) P::Sleep(kSlowDeviceExtraMs);
  if (old.deviceKind == kDeviceKindUsb) old.deviceKind = kDeviceKindAudio;

  // 10. Look for the device at the same place until it is back as a new device.
  std::uint32_t mode = kListAudio;
  if (old.deviceKind == kDeviceKindCamera) {
    mode = kListCamera;
  } else if (kind == kResetToUpdate && chipId == kChipIdCameraList) {
    mode = kListCamera;
  }
  CamDevRecord fresh;
  std::uint32_t candidate = 0;
  for (;;) {
    if (budget.Exceeded()) {
      old.Close();
      DebugPrint("Re-open device timeout, return ERROR_TIMEOUT, Old device closed \n\n");
      return P::kErrorTimeout;
    }
    const std::uint64_t start = budget.Start();
    rc = KvCam_OpenDevice(&fresh, candidate, mode, budget.RemainingMs());
    ++candidate;
    DebugPrint("KvCam_OpenDevice return %d\n", static_cast<int>(rc));
    if (rc == P::kErrorNoMoreItems) {
      candidate = 0;
      P::Sleep(kListExhaustedMs);
      budget.Charge(start, kListExhaustedMs);
      continue;
    }
    if (rc != 0) {
      DebugPrint("Error while ReopenKvCam %d\n", static_cast<int>(rc));
      std::uint32_t pause = kOpenFailedMs;
      if (rc == kOpenNotFound) {
        candidate = 0;
        pause = kNotFoundMs;
      }
      P::Sleep(pause);
      budget.Charge(start, pause);
      continue;
    }
    DebugPrint("Checking new device %d\n", static_cast<int>(candidate));
    bool accepted = false;
    if (IsSameLocation(fresh, old, argument, kind, false)) {
      DebugPrint("Is same dev location\n");
      std::wstring newPdo;
      const bool pdoRead = GetDevInstPdoName(fresh.devInst, newPdo) == 0;
      if (fast) {
        DebugPrint("Fast reset mode, not checking old device disconnect\n");
        accepted = true;
      } else if (pdoRead && newPdo != oldPdo) {
        DebugPrint("Old device %s [0x%08X] disconnected, new device %s [0x%08X]\n",
                   PdoText(oldPdo).c_str(), oldHandle, PdoText(newPdo).c_str(),
                   fresh.hKvProxyDevLow);
        accepted = true;
      } else {
        DebugPrint("Pdo device name still match, old device not completely disconnected\n");
      }
    }
    budget.Charge(start, 0);
    if (accepted) break;
    DebugPrint("Close device that is not match\n");
    fresh.Close();
  }

  // 11. Wait until the new device answers.
  DebugPrint("Old device safe to be closed \n\n");
  for (;;) {
    const std::uint64_t start = budget.Start();
    if (!StillGone(fresh, t, pingValue)) break;
    DebugPrint("Waiting for device %08X reconnect...\n", fresh.hKvProxyDevLow);
    P::Sleep(kReconnectPollMs);
    budget.Charge(start, kReconnectPollMs);
    if (budget.Exceeded()) {
      fresh.Close();
      return P::kErrorTimeout;
    }
  }

  // 12. The caller's record now describes the new device.
  DebugPrint("Device reset ok\n");
  old.Close();
  old = std::move(fresh);
  DebugPrint("New hKvProxyDev=%08X\n", old.hKvProxyDevLow);
  return 0;
}

}  // namespace vantor
