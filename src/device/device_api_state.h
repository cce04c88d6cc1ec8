// The device API's process-wide state, shared by its source files (not for callers of
// the API: they use device/device_api.h).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "device/cam_dev.h"
#include "device/device_api.h"

namespace vantor {

class CExtUnit;

namespace device_api_detail {

struct ApiState {
  // The current device. The worker thread that runs the device operations reads it
  // freely; it is replaced or dropped only under `mutex`, which another thread takes to
  // signal the arrival event.
  std::unique_ptr<CCamDev> device;
  std::mutex mutex;
  LibHandle handle = 0;
  std::atomic<std::int32_t> libType{0};
  std::uint8_t lastOtpCmdStatus = 0;
};

ApiState& State();

// Replaces the current device (null drops it: its record's handles are released).
void SetCurrentDevice(std::unique_ptr<CCamDev> device);
// The transport of a forwarding function: with flag 0x20 the extension unit, else the
// preferred one; null without a device or transport.
CVendorCmdCommon* CommandTransport(std::uint32_t flags);
// The transport of the extension-unit-only functions: the extension unit when the lib
// type is 0 and the device has its information block and the transport; else null.
CExtUnit* ExtUnitOnly();

}  // namespace device_api_detail
}  // namespace vantor
