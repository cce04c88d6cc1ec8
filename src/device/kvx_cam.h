// The device object of the maker's devices: a CCamDev with the command transports its
// information block allows (the extension unit, vendor requests), a few register-level
// helpers built on them, and the arrival event that ends a reset's settle wait.
#pragma once

#include <cstdint>
#include <memory>

#include "device/cam_dev.h"
#include "device/result_codes.h"
#include "platform/clock.h"

namespace vantor {

// Storage kinds GetStorageKind tells.
inline constexpr int kStorageUnknown = -1;
inline constexpr int kStorageSpiFlash = 0;
inline constexpr int kStorageEeprom = 1;
inline constexpr int kStorageKind2 = 2;
inline constexpr int kStorageOtp = 3;

// Flash status polls after a status write.
inline constexpr std::uint32_t kFlashStatusPolls = 20;
inline constexpr std::uint32_t kFlashStatusPollMs = 50;
// The SPI engine's completion polls.
inline constexpr std::uint32_t kSpiEnginePolls = 11;
inline constexpr std::uint32_t kSpiEnginePollMs = 100;

class CKvxCam : public CCamDev {
 public:
  // As CCamDev; then the transports the information block allows are created on the
  // object's record, and the arrival event, not set.
  explicit CKvxCam(CamDevRecord&& source);
  // Deletes the transports, then closes the record.
  ~CKvxCam() override;

  // Slot 1: what the device stores its code in, from status byte 64 and the top two bits
  // of status bytes 4..5 (kStorage...; -1 when unknown or the status cannot be read).
  virtual int GetStorageKind();
  // Slots 2, 3: the flash write protection through registers 0xFEA0/0xFEA6 and the flash
  // status register (0x8C to protect, 0x00 to unprotect), waiting while the flash is busy.
  virtual HResult SetFlashWriteProtect();
  virtual HResult ClearFlashWriteProtect();
  // Slots 4, 5: pin modes through registers 0xFEA0, 0xFEA6, 0xFEA1, 0xFEA7.
  virtual HResult SetPinMode0();
  virtual HResult SetPinMode1();
  // Slot 6: one command of the controller's SPI engine (registers 0xFCE0..0xFCFC) with a
  // 24-bit address, then the write protection cleared.
  virtual HResult HwFlashCommand(std::uint8_t command, std::uint32_t address);
  // Slot 7.
  void SignalDeviceArrival() override;

  CVendorCmdCommon* GetCmd() override;
  CExtUnit* GetExtUnit() override;
  CVendorRequestV2* GetVendorRequest(bool force) override;
  void RebuildTransports() override;
  platform::Event* ArrivalEvent() override { return &m_ArrivalEvent; }

 private:
  void CreateTransports();
  HResult WriteProtect(bool protect);
  HResult ReadReg(std::uint32_t address, std::uint8_t& value);
  HResult WriteReg(std::uint32_t address, std::uint8_t value);

  std::unique_ptr<CExtUnit> m_pExtUnit;
  std::unique_ptr<CVendorRequestV2> m_pVendorRequest;
  platform::Event m_ArrivalEvent{true, false};
};

}  // namespace vantor
