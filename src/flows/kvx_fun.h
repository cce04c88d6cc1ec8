// The lowest classes of the flow chain: the device handle and the per-operation flags
// word, and thin wrappers that call the device API with both.
#pragma once

#include <cstdint>

#include "device/device_api.h"

namespace vantor {

// Bits of cmdFlags the device layer reads.
inline constexpr std::uint32_t kCmdFlagKnownConnection = kLibFlagKnownFlags;  // 0x01
inline constexpr std::uint32_t kCmdFlagExtUnit = kLibFlagExtUnit;             // 0x20
inline constexpr std::uint32_t kCmdFlagAudioList = kLibFlagAudioList;         // 0x40
// What the front end sets before each operation (0x80 for an erase of a 0x0010 chip).
inline constexpr std::uint32_t kCmdFlagsRun = 0x40;
inline constexpr std::uint32_t kCmdFlagsEraseFamily0010 = 0x80;

class CKvxLibExternalUse {
 public:
  // The open device's handle; 0 when no device is open. Replaced after every reset.
  LibHandle handle = 0;
  // Passed unchanged with every device command.
  std::uint32_t cmdFlags = 0;
};

class CStatusInfo {};
class CShowInfo {};

// Every wrapper fails (returns 0) without contacting a device when no handle is held.
class CKvxFun : public CKvxLibExternalUse, public CStatusInfo {
 public:
  int KF_GetDevStatus104(std::uint8_t* status);
  int KF_GetDevStatus(std::uint32_t firstPage, std::uint32_t count, std::uint8_t* buffer);
  int KF_ReadMem(std::uint32_t address, std::uint32_t length, std::uint8_t* buffer);
  int KF_WriteMem(std::uint32_t address, std::uint32_t length, const std::uint8_t* buffer);
  int KF_SPI_SF_Write(std::uint32_t address, std::uint32_t length, const std::uint8_t* buffer);
  int KF_SPI_SF_Read(std::uint32_t address, std::uint32_t length, std::uint8_t* buffer);
  int KF_SPI_SF_ReadSr(std::uint8_t* status);
  int KF_SPI_SF_WriteSr(std::uint8_t value);
  int KF_SPI_SF_EraseChip(std::uint32_t timeoutMs);
  int KF_I2C_EEP8_Write(std::uint32_t address, std::uint32_t length, const std::uint8_t* buffer);
  int KF_I2C_EEP8_Read(std::uint32_t address, std::uint32_t length, std::uint8_t* buffer);
  int KF_I2C_EEP8_Erase(std::uint32_t size);
  int KF_I2C_EEP16_Write(std::uint32_t address, std::uint32_t length, const std::uint8_t* buffer);
  int KF_I2C_EEP16_Read(std::uint32_t address, std::uint32_t length, std::uint8_t* buffer);
  int KF_I2C_EEP16_Erase(std::uint32_t address, std::uint32_t size);
  int KF_OTP_Read(std::uint32_t address, std::uint32_t length, std::uint8_t* buffer);
};

}  // namespace vantor
