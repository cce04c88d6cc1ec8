#include "flows/mp_flow.h"

#include <cstring>

#include "config/settings.h"
#include "flows/flow_options.h"
#include "flows/flow_window.h"
#include "flows/fw_version.h"
#include "image/memory_type.h"
#include "platform/clock.h"
#include "platform/trace.h"

namespace vantor {

bool CMpFlow::StopRequested() { return FlowStopRequested(); }

ChipId CMpFlow::ReadChipIdBytes(std::uint8_t initial) {
  std::uint8_t bytes[2] = {initial, initial};
  std::uint8_t read[2] = {0, 0};
  if (KF_ReadMem(kChipIdAddress, 2, read) != 0) std::memcpy(bytes, read, 2);
  return ChipId{bytes[0], bytes[1]};
}

std::uint8_t CMpFlow::ReadByte(std::uint32_t address, std::uint8_t initial) {
  std::uint8_t value = 0;
  return KF_ReadMem(address, 1, &value) != 0 ? value : initial;
}

int CMpFlow::MP_OpenDevice(std::uint32_t index) {
  if (StopRequested()) return 0;
  if (handle != 0) {
    Lib_CloseDevice(handle);
    handle = 0;
  }
  handle = Lib_OpenDevice(index);
  if (handle == 0) {
    DebugPrint("----------------: ");
    DebugPrint("MP_OpenDevice Fail %d\n", static_cast<int>(index));
    platform::Sleep(kOpenFailPauseMs);
    return 0;
  }
  return 1;
}

int CMpFlow::MP_ReadChipID() {
  const ChipId chip = ReadChipIdBytes(0);
  familyLo = chip.id0 & 0xF0;
  familyHi = chip.id1 & 0xF0;
  return 1;
}

int CMpFlow::MP_IsCacheMode(std::uint8_t& cacheMode) {
  std::uint8_t s[kDevStatusSize] = {};
  KF_GetDevStatus104(s);
  const ChipId chip = ReadChipIdBytes(0);
  if (chip.fam() != 0 && chip.fam() != 0x7010) {
    cacheMode = ReadByte(kModeRegisterAddress, 0xFF) != 0 ? 1 : 0;
    return 1;
  }
  std::uint8_t nibble = s[64] & 0x0F;
  const std::uint8_t nibble72 = s[72] & 0x0F;
  if (nibble == 0 && nibble72 != 0 && nibble72 != 0x0B) nibble = nibble72;
  cacheMode = nibble == 1 ? 1 : 0;
  return 1;
}

int CMpFlow::MP_GetVersionFormat(std::uint8_t& format) {
  std::uint8_t s[kDevStatusSize] = {};
  const int result = KF_GetDevStatus104(s);
  format = VersionFormatOf(std::span<const std::uint8_t, kDevStatusSize>(s, kDevStatusSize));
  return result;
}

void CMpFlow::BuildVersionText(std::uint8_t modeInitial, bool withIds) {
  std::uint8_t s[kDevStatusSize] = {};
  std::uint8_t x[kStatusPagesSize] = {};
  KF_GetDevStatus104(s);
  const ChipId chip = ReadChipIdBytes(0xFF);
  KF_GetDevStatus(kStatusPagesFirst, kStatusPagesSize, x);
  const std::uint8_t modeEx = ReadByte(ModeRegisterAddressOf(chip), modeInitial);
  DebugPrint("modeEx is %d\n", modeEx);
  const FwVersion version =
      BuildFwVersion(std::span<const std::uint8_t, kDevStatusSize>(s, kDevStatusSize),
                     std::span<const std::uint8_t, kStatusPagesSize>(x, kStatusPagesSize), modeEx,
                     vid, pid, withIds);
  fwVersion = version.text;
  if (!withIds) {
    ver0 = version.ver[0];
    ver1 = version.ver[1];
    ver2 = version.ver[2];
    ver3 = version.ver[3];
    ver4 = version.ver[4];
    ver5 = version.ver[5];
  }
}

void CMpFlow::RefreshFamilyAndMode() {
  const ChipId chip = ReadChipIdBytes(0xFF);
  family0010 = 0;
  newFamily = 0;
  if (chip.fam() == 0x0010) {
    family0010 = 1;
  } else if (IsNewFamilyChip(chip)) {
    newFamily = 1;
    modeText = ModeTextOf(ReadByte(ModeRegisterAddressOf(chip), 0xFF));
  }
  std::uint8_t cache = 0;
  MP_IsCacheMode(cache);
  inRom = cache == 1 ? 0 : 1;
}

namespace {

void ReadIdentity(LibHandle handle, std::uint16_t& vid, std::uint16_t& pid, std::uint16_t& rev,
                  std::wstring& productName) {
  Lib_GetIds(handle, &vid, &pid, &rev);
  Lib_GetProductString(handle, &productName);
}

}  // namespace

int CMpFlow::MP_ReadDeviceInfo() {
  if (handle == 0) {
    connText = L"No USB Audio";
    fwVersion = L"N/A";
    productName = L"N/A";
    return 1;
  }
  connText = L"USB Audio Connected";
  ReadIdentity(handle, vid, pid, rev, productName);
  BuildVersionText(0, true);
  Lib_GetProductString(handle, &productName);
  RefreshFamilyAndMode();
  return 1;
}

int CMpFlow::MP_GetFwVersion() {
  if (handle == 0) {
    connText = L"No USB Audio";
    fwVersion = L"N/A";
    productName = L"N/A";
    ver0 = ver1 = ver2 = ver3 = ver4 = ver5 = 0;
    return 1;
  }
  connText = L"USB Audio Connected";
  ReadIdentity(handle, vid, pid, rev, productName);
  BuildVersionText(0, false);
  Lib_GetProductString(handle, &productName);
  RefreshFamilyAndMode();
  return 1;
}

int CMpFlow::MP_RefreshFwVersion() {
  if (handle == 0) return 1;
  BuildVersionText(0xFF, true);
  return 1;
}

int CMpFlow::MP_ReadFwRecord() {
  std::uint8_t s[kDevStatusSize] = {};
  if (KF_GetDevStatus104(s) == 0) return 0;
  const auto record =
      FwRecordFromStatus(std::span<const std::uint8_t, kDevStatusSize>(s, kDevStatusSize));
  std::memcpy(fwRecord.data(), record.data(), record.size());
  return 1;
}

int CMpFlow::MP_ResetDevice(std::uint8_t kind, std::uint8_t parameter) {
  if (StopRequested()) return 0;
  if (kind != kResetToUpdate && kind != kResetToRom && kind != kResetToRomVendor) return 0;
  // A reset is a command like any other: without a handle of its own the flow leaves
  // alone whatever device the device layer holds.
  if (handle == 0) return 0;
  const auto settleMs = static_cast<std::uint32_t>(GetSetting(Setting::WaitTime));
  LibHandle fresh = 0;
  int result = 0;
  switch (kind) {
    case kResetToUpdate:
      result = Lib_Reset7(&fresh, parameter, cmdFlags, settleMs);
      break;
    case kResetToRom:
      if (newFamily != 0 && GetMemoryType() == MemoryType::kOtp &&
          (modeText == kModeRom || modeText == kModeRomOtp)) {
        const std::uint8_t value = 0x2A;
        KF_WriteMem(0xFFC6, 1, &value);
      }
      result = Lib_Reset9(&fresh, cmdFlags, settleMs);
      break;
    default:
      result = Lib_Reset10(&fresh, cmdFlags, settleMs);
      break;
  }
  // After a failed reset the old device is gone; the device layer hands back what it
  // could open again (or 0), so the handle never names a device that left the bus.
  handle = fresh;
  return result != 0 ? 1 : 0;
}

int CMpFlow::MP_ReadReg(std::uint16_t address, std::uint32_t length, std::uint8_t* buffer) {
  if (handle == 0 || buffer == nullptr) return 0;
  return KF_ReadMem(address, length, buffer);
}

int CMpFlow::MP_WriteReg(std::uint16_t address, const std::uint8_t* buffer) {
  if (handle == 0 || buffer == nullptr) return 0;
  return KF_WriteMem(address, 1, buffer);
}

int CMpFlow::RetryCommand(const std::function<int()>& command) {
  int result = 0;
  for (std::uint32_t attempt = 0; attempt < kRetryAttempts; ++attempt) {
    if (StopRequested()) return 0;
    result = command();
    if (result == 1) return 1;
  }
  return result;
}

int CMpFlow::RetryErase(const std::function<int()>& command, std::uint32_t progressAfter) {
  int result = 0;
  for (std::uint32_t attempt = 0; attempt < kEraseAttempts; ++attempt) {
    if (StopRequested()) {
      result = 0;
      break;
    }
    result = command();
    if (result == 1) break;
    platform::Sleep(kEraseRetryPauseMs);
  }
  PostFlowMessage(WM_FLOW_PROGRESS, progressAfter);
  return result;
}

int CMpFlow::MP_SPI_SF_Write(std::uint32_t address, std::uint32_t length,
                             const std::uint8_t* buffer) {
  return RetryCommand([&] { return KF_SPI_SF_Write(address, length, buffer); });
}
int CMpFlow::MP_SPI_SF_Read(std::uint32_t address, std::uint32_t length, std::uint8_t* buffer) {
  return RetryCommand([&] { return KF_SPI_SF_Read(address, length, buffer); });
}
int CMpFlow::MP_I2C_EEP16_Write(std::uint32_t address, std::uint32_t length,
                                const std::uint8_t* buffer) {
  return RetryCommand([&] { return KF_I2C_EEP16_Write(address, length, buffer); });
}
int CMpFlow::MP_I2C_EEP16_Read(std::uint32_t address, std::uint32_t length, std::uint8_t* buffer) {
  return RetryCommand([&] { return KF_I2C_EEP16_Read(address, length, buffer); });
}
int CMpFlow::MP_I2C_EEP8_Write(std::uint32_t address, std::uint32_t length,
                               const std::uint8_t* buffer) {
  return RetryCommand([&] { return KF_I2C_EEP8_Write(address, length, buffer); });
}
int CMpFlow::MP_I2C_EEP8_Read(std::uint32_t address, std::uint32_t length, std::uint8_t* buffer) {
  return RetryCommand([&] { return KF_I2C_EEP8_Read(address, length, buffer); });
}

int CMpFlow::MP_I2C_EEP8_EraseRetry(std::uint32_t size) {
  return RetryErase([&] { return KF_I2C_EEP8_Erase(size); }, kEraseDoneProgress);
}
int CMpFlow::MP_I2C_EEP16_FillRetry(std::uint32_t address, std::uint32_t size) {
  return RetryErase([&] { return KF_I2C_EEP16_Erase(address, size); }, kEraseDoneProgress);
}
int CMpFlow::MP_SPI_SF_EraseChipRetry(std::uint32_t timeoutMs) {
  return RetryErase([&] { return KF_SPI_SF_EraseChip(timeoutMs); }, 5);
}

}  // namespace vantor
