// CMpFlow: the part of every flow object that opens, identifies and resets the device,
// builds its version texts and wraps the memory commands in retries. Its configuration
// record (CMpConfig) holds the firmware images.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "flows/chip_family.h"
#include "flows/kvx_fun.h"
#include "image/mp_config.h"

namespace vantor {

// Reset kinds the flows ask for.
inline constexpr std::uint8_t kResetToUpdate = 7;
inline constexpr std::uint8_t kResetToRom = 9;
inline constexpr std::uint8_t kResetToRomVendor = 10;

inline constexpr std::uint32_t kRetryAttempts = 8;
inline constexpr std::uint32_t kEraseAttempts = 3;
inline constexpr std::uint32_t kEraseRetryPauseMs = 128;
inline constexpr std::uint32_t kOpenFailPauseMs = 128;
// Progress posted after a whole-memory erase (the SPI flash erase posts 5).
inline constexpr std::uint32_t kEraseDoneProgress = 30;

class CMpFlow : public CKvxFun, public CShowInfo, public CMpConfig {
 public:
  CMpFlow() = default;
  CMpFlow(const CMpFlow&) = delete;
  CMpFlow& operator=(const CMpFlow&) = delete;

  // --- flow state ---
  std::wstring productName;
  std::wstring connText;  // "USB Audio Connected" or "No USB Audio"
  std::wstring fwVersion = L"N/A";
  std::uint16_t ver0 = 0, ver1 = 0, ver2 = 0, ver3 = 0, ver4 = 0, ver5 = 0;
  std::uint8_t familyLo = 0;  // id0 AND 0xF0
  std::uint8_t familyHi = 0;  // id1 AND 0xF0
  std::uint16_t vid = 0, pid = 0, rev = 0;
  std::uint8_t inRom = 0;
  std::uint32_t family0010 = 0;
  std::uint32_t newFamily = 0;
  std::wstring modeText;
  std::array<std::uint32_t, 2> fwRecord{};
  std::uint8_t resetParam = 0;  // 6, or 5 with "Normal Reset" 0; 0 before the first run

  // --- operations (1 success, 0 failure) ---

  // Stop check; closes any open handle; opens device number `index`.
  int MP_OpenDevice(std::uint32_t index);
  // Reads the chip identification into familyLo/familyHi (0 without a device).
  int MP_ReadChipID();
  // cacheMode: 1 when the device runs code from its RAM cache, else 0.
  int MP_IsCacheMode(std::uint8_t& cacheMode);
  // format: 1 two-byte, 2 dotted, 0 otherwise. Returns the status read's result.
  int MP_GetVersionFormat(std::uint8_t& format);
  int MP_ReadDeviceInfo();
  int MP_RefreshFwVersion();
  int MP_GetFwVersion();
  // Kinds 7, 9, 10; the parameter is used by kind 7. 0 without a handle (nothing is sent).
  int MP_ResetDevice(std::uint8_t kind, std::uint8_t parameter);
  int MP_ReadReg(std::uint16_t address, std::uint32_t length, std::uint8_t* buffer);
  int MP_WriteReg(std::uint16_t address, const std::uint8_t* buffer);

  // The two identification bytes; `initial` stands for both when there is no device or
  // the read fails.
  ChipId ReadChipIdBytes(std::uint8_t initial);
  // One byte of device memory; `initial` when there is no device or the read fails.
  std::uint8_t ReadByte(std::uint32_t address, std::uint8_t initial);

  // The stop check: true when the registered window asks the run to stop.
  static bool StopRequested();

  // --- retrying wrappers: stop check then the command, up to 8 attempts ---
  int MP_SPI_SF_Write(std::uint32_t address, std::uint32_t length, const std::uint8_t* buffer);
  int MP_SPI_SF_Read(std::uint32_t address, std::uint32_t length, std::uint8_t* buffer);
  int MP_I2C_EEP16_Write(std::uint32_t address, std::uint32_t length, const std::uint8_t* buffer);
  int MP_I2C_EEP16_Read(std::uint32_t address, std::uint32_t length, std::uint8_t* buffer);
  int MP_I2C_EEP8_Write(std::uint32_t address, std::uint32_t length, const std::uint8_t* buffer);
  int MP_I2C_EEP8_Read(std::uint32_t address, std::uint32_t length, std::uint8_t* buffer);

  // --- whole-memory erases: up to 3 attempts, 128 ms after a failure, then progress ---
  int MP_I2C_EEP8_EraseRetry(std::uint32_t size);
  int MP_I2C_EEP16_FillRetry(std::uint32_t address, std::uint32_t size);
  // The SPI flash erase posts progress 5 afterwards.
  int MP_SPI_SF_EraseChipRetry(std::uint32_t timeoutMs);

  // The patterns themselves, for any command.
  static int RetryCommand(const std::function<int()>& command);
  static int RetryErase(const std::function<int()>& command, std::uint32_t progressAfter);

  // Builds fwVersion (and the ver fields when withIds is false); the mode byte
  // stands as `modeInitial` when it cannot be read.
  void BuildVersionText(std::uint8_t modeInitial, bool withIds);
  // The family tests and mode text of MP_ReadDeviceInfo steps 4 and 5.
  void RefreshFamilyAndMode();
  // fwRecord from the device status (after a download).
  int MP_ReadFwRecord();
};

}  // namespace vantor
