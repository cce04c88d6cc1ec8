// The extension-unit transport without a device object: what the device identification
// and reset logic uses before a device object exists. The first arguments name the
// device (proxy device handle halves) and the unit (unit id, interface number). Each
// function takes the process-wide command lock under its own name (ExtUnit_ReadMem, ...)
// and performs its requests whatever the wait gave (a time-out included), releasing the
// lock when it owned it. Data moves in transfers of 8 bytes, the last one only the remaining bytes.
//
// Each returns true on success. On a failure it reads the command status and sends the
// block FF 00 00 00 00 00 00 00 (both results ignored), and leaves the platform error of
// the failed request as the last error: 21 while the device is not ready, 1167 when it
// has gone.
#pragma once

#include <cstdint>
#include <string>

#include "device/sync_operate.h"

namespace vantor {

// The process-wide handle of the command lock these functions take. The driver set-up
// opens it at start-up (by kCmdLockName) and closes it at exit; without it every call
// fails at once with error 6 (invalid handle) and sends nothing, since its commands
// could interleave with another process's. The name and wait are parameters for tests.
bool OpenExtUnitFunctionLock(const std::wstring& name = kCmdLockName,
                             std::uint32_t waitMs = kCmdLockWaitMs);
void CloseExtUnitFunctionLock();
// The lock opened, or null.
platform::NamedMutex* ExtUnitFunctionLock();

// Command 00 D0 (p2 8), one 8-byte read: true when it is "KESTRAL" and a zero byte.
bool ExtUnit_DevQualify(std::uint32_t devLow, std::uint32_t devHigh, std::uint8_t unitId,
                        std::uint8_t interfaceNumber);
// Command 00 CD per status page (p1 the page, p2 8), `count` bytes from page `first`
// into `buffer`; a last partial page through a local page.
bool ExtUnit_GetDevStatus(std::uint32_t devLow, std::uint32_t devHigh, std::uint8_t unitId,
                          std::uint8_t interfaceNumber, std::uint32_t first, std::uint32_t count,
                          std::uint8_t* buffer);
// Command 00 C2 / 00 82 (p1 the 16-bit address, p2 the length, at most 0xFFFF), then
// the data. An address or length beyond 16 bits fails with error 87 and sends nothing.
bool ExtUnit_ReadMem(std::uint32_t devLow, std::uint32_t devHigh, std::uint8_t unitId,
                     std::uint8_t interfaceNumber, std::uint32_t address, std::uint32_t length,
                     std::uint8_t* buffer);
bool ExtUnit_WriteMem(std::uint32_t devLow, std::uint32_t devHigh, std::uint8_t unitId,
                      std::uint8_t interfaceNumber, std::uint32_t address, std::uint32_t length,
                      const std::uint8_t* buffer);
// Kind 7 or 8: command 00 07 or 00 08 with byte 2 the reset parameter; kind 9: command
// 00 09. Any other kind sends nothing and fails with error 87.
bool ExtUnit_Reset(std::uint32_t devLow, std::uint32_t devHigh, std::uint8_t unitId,
                   std::uint8_t interfaceNumber, std::uint8_t parameter, std::uint32_t kind);

}  // namespace vantor
