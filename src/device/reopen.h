// Resetting a device and reopening it after it has re-enumerated: the reset goes out
// through the transport the device answers, the old handles are released, and the
// device is looked for in the device list at the same place of the bus until it is back
// under a new physical device object and answers again. The caller's record then
// describes the new device.
//
// Every wait runs on the platform clock. The time budget covers the not-ready retries
// of the reset request, the whole reopen loop (each attempt and each pause, at their
// duration on the clock) and the wait for the reopened device to answer; the settle wait
// after the reset is not charged.
#pragma once

#include <cstdint>

#include "device/cam_dev_record.h"

namespace vantor {

namespace platform {
class Event;
}

// Reset kinds.
inline constexpr std::uint32_t kResetToUpdate = 7;      // into update code
inline constexpr std::uint32_t kResetToNewCode = 8;     // into the new code
inline constexpr std::uint32_t kResetToRom = 9;         // into ROM
inline constexpr std::uint32_t kResetToRomVendor = 10;  // into ROM through vendor requests only

// Pauses of the reset and reopen.
inline constexpr std::uint32_t kResetRetryMs = 300;     // reset request answered "not ready"
inline constexpr std::uint32_t kListExhaustedMs = 200;  // the list has no more entries
inline constexpr std::uint32_t kNotFoundMs = 500;       // the candidate is beyond the list
inline constexpr std::uint32_t kOpenFailedMs = 200;     // a candidate failed to open
inline constexpr std::uint32_t kReconnectPollMs = 300;  // the reopened device not answering
inline constexpr std::uint32_t kSlowDeviceExtraMs = 2000;

// Results beyond the platform errors of the reset request.
inline constexpr std::uint32_t kReopenFail = 0x80004005u;  // capabilities not determined

// Resets the device of `record` (kind 7, 8, 9 or 10) and reopens it into `record`.
//
// - argument: the reset argument (low 16 bits); 2 and 5 are fast resets (no settle wait,
//   no check that the old device has gone).
// - unitId, legacy, vendor: the device's extension unit and whether it answers only the
//   legacy requests or the vendor requests; taken as given when flagsKnown is set, else
//   determined from the device. Kind 10 always uses vendor requests.
// - preferExtUnit: send the reset through the extension unit when the device has one.
// - budgetMs: time budget (0: no limit); event: set when the old device has gone (ends
//   the settle wait; may be null); settleMs: the wait after the reset.
//
// 0 on success. 87 for a record that is not valid; kReopenFail when the device answers
// neither vendor requests nor a qualified extension unit; the platform error of a reset
// request that fails ("Reset device failed"); 1460 when the reset request stays "not
// ready", when no device at the same place is found, or when the reopened device does
// not answer (not connected, or still not ready), within the budget. Once the reset has been sent
// the old handles are released whatever follows; on a time-out in the reopen loop the old record is
// closed.
std::uint32_t ReopenKvCam(CamDevRecord* record, std::uint32_t argument, std::uint32_t resetKind,
                          std::uint32_t unitId, std::uint32_t legacy, std::uint32_t vendor,
                          bool flagsKnown, bool preferExtUnit, std::uint32_t budgetMs,
                          platform::Event* event, std::uint32_t settleMs);

}  // namespace vantor
