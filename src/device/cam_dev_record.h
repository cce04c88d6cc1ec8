// The record of an opened device: its proxy device handle, the opened interface, where
// it sits on the bus and what kind of device it is. Transports read the proxy handle
// pair and the interface number from it; they never own it.
//
// The record owns its interface handle, its proxy device handle and its information
// block: Close releases them. Destroying a record does not release them (its owner
// closes it); moving a record hands them over and leaves the source empty.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/device_inventory.h"

namespace vantor {

struct CamDevInfo;  // device/cam_dev_info.h

// "KVCD" as a little-endian 32-bit value (bytes 4B 56 43 44).
inline constexpr std::uint32_t kCamDevRecordMagic = 0x4443564Bu;
inline constexpr std::size_t kMaxAncestors = 31;

// Device kinds.
inline constexpr std::uint32_t kDeviceKindAudio = 0;
inline constexpr std::uint32_t kDeviceKindCamera = 1;
inline constexpr std::uint32_t kDeviceKindUsb = 2;

struct CamDevRecord {
  CamDevRecord();
  ~CamDevRecord();
  CamDevRecord(const CamDevRecord&) = delete;
  CamDevRecord& operator=(const CamDevRecord&) = delete;
  // Takes every field of `other`, which is left as a new, empty record.
  CamDevRecord(CamDevRecord&& other) noexcept;
  // Closes this record, then takes every field of `other` as above.
  CamDevRecord& operator=(CamDevRecord&& other) noexcept;

  std::uint32_t magic = 0;
  std::uint32_t reserved = 0;
  std::uint32_t hKvProxyDevLow = 0;   // proxy device handle, low half
  std::uint32_t hKvProxyDevHigh = 0;  // proxy device handle, high half
  platform::DevInst devInst = 0;
  platform::InterfaceHandle interfaceHandle = 0;  // 0: none open
  std::uint32_t usbGeneration = 0;                // 3, 2 or 1 from the root hub above the device
  std::wstring displayName;
  std::uint32_t deviceKind = kDeviceKindAudio;
  std::uint32_t address = 0;
  std::array<platform::DevInst, kMaxAncestors> ancestors{};
  std::wstring locationPath;
  std::uint32_t interfaceNumber = 0;
  std::uint32_t ancestorCount = 0;   // 1 plus the number of stored ancestors
  std::unique_ptr<CamDevInfo> info;  // owned

  // Magic set, proxy device handle nonzero and an interface open.
  bool IsValid() const;

  // Frees the information block, closes the interface handle and detaches the proxy
  // device handle, then clears both handles, the device instance and the ancestor
  // count. Closing a closed record does nothing.
  void Close();

 private:
  void TakeFrom(CamDevRecord& other) noexcept;
};

}  // namespace vantor
