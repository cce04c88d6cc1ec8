// Result codes of the device layer: signed 32-bit values in the HRESULT style, returned
// by every operation of every command transport. The device API turns them into truth
// values.
#pragma once

#include <cstdint>

namespace vantor {

using HResult = std::int32_t;

// Success.
inline constexpr HResult kSOk = 0;
// The command-block transport could not obtain the cross-process command lock; nothing
// was sent.
inline constexpr HResult kLockNotObtained = 1;
// The transport does not implement this operation (E_NOTIMPL).
inline constexpr HResult kENotImpl = static_cast<HResult>(0x80004001u);
// An argument check failed (E_INVALIDARG).
inline constexpr HResult kEInvalidArg = static_cast<HResult>(0x80070057u);
// Unspecified failure (E_FAIL).
inline constexpr HResult kEFail = static_cast<HResult>(0x80004005u);
// The device is gone: the HRESULT form of the platform error "device not connected"
// (1167).
inline constexpr HResult kEDeviceNotConnected = static_cast<HResult>(0x8007048Fu);

// HRESULT_FROM_WIN32: a positive platform error e becomes 0x80070000 | (e & 0xFFFF);
// zero or negative values (taken as signed 32 bits) are returned unchanged. A failed
// request whose last error reads 0 therefore yields 0.
constexpr HResult HresultFromWin32(std::uint32_t error) {
  const auto signedError = static_cast<std::int32_t>(error);
  if (signedError <= 0) return signedError;
  return static_cast<HResult>(0x80070000u | (error & 0xFFFFu));
}

// HresultFromWin32 of the calling thread's platform last error.
HResult HresultFromLastError();

}  // namespace vantor
