#include "device/kvx_cam.h"

#include <array>

#include "device/ext_unit.h"
#include "device/vendor_request_v2.h"
#include "platform/last_error.h"
#include "platform/trace.h"

namespace vantor {

namespace P = platform;

namespace {

// Registers of the flash write-protect and pin-mode helpers.
constexpr std::uint32_t kWpEnable = 0xFEA0;
constexpr std::uint32_t kWpLevel = 0xFEA6;
constexpr std::uint32_t kPinEnable1 = 0xFEA1;
constexpr std::uint32_t kPinLevel1 = 0xFEA7;
constexpr std::uint8_t kFlashStatusProtect = 0x8C;
constexpr std::uint8_t kFlashStatusBusy = 0x01;

// The SPI engine.
constexpr std::uint32_t kSpiControl = 0xFCE0;
constexpr std::uint8_t kSpiStart = 0x82;
constexpr std::uint8_t kSpiAbort = 0x04;
constexpr std::uint8_t kSpiDone = 0x40;
constexpr std::uint8_t kSpiError = 0x08;

// A wait that ran out while the device kept busy.
constexpr HResult kBusyTimeout = HresultFromWin32(P::kErrorTimeout);

}  // namespace

CKvxCam::CKvxCam(CamDevRecord&& source) : CCamDev(std::move(source)) { CreateTransports(); }

CKvxCam::~CKvxCam() {
  m_pExtUnit.reset();
  m_pVendorRequest.reset();
}

void CKvxCam::CreateTransports() {
  if (!m_pInfo) return;
  if (m_pInfo->extensionUnit != 0) {
    m_pExtUnit = std::make_unique<CExtUnit>(&m_Record, m_pInfo->unitId);
  }
  if (m_pInfo->vendorRequests != 0) {
    m_pVendorRequest = std::make_unique<CVendorRequestV2>(&m_Record);
  }
}

void CKvxCam::RebuildTransports() {
  m_pExtUnit.reset();
  m_pVendorRequest.reset();
  CreateTransports();
}

CVendorCmdCommon* CKvxCam::GetCmd() {
  if (!m_pInfo) return nullptr;
  if (m_pInfo->vendorRequests != 0 && m_pVendorRequest) return m_pVendorRequest.get();
  if (m_pInfo->extensionUnit != 0 && m_pExtUnit) return m_pExtUnit.get();
  return nullptr;
}

CExtUnit* CKvxCam::GetExtUnit() {
  return m_pInfo && m_pInfo->extensionUnit != 0 ? m_pExtUnit.get() : nullptr;
}

CVendorRequestV2* CKvxCam::GetVendorRequest(bool force) {
  if (!m_pVendorRequest && force) m_pVendorRequest = std::make_unique<CVendorRequestV2>(&m_Record);
  return m_pVendorRequest.get();
}

void CKvxCam::SignalDeviceArrival() { m_ArrivalEvent.Set(); }

HResult CKvxCam::ReadReg(std::uint32_t address, std::uint8_t& value) {
  CVendorCmdCommon* cmd = GetCmd();
  if (cmd == nullptr) return kEFail;
  return cmd->ReadMem(address, 1, &value, nullptr, nullptr);
}

HResult CKvxCam::WriteReg(std::uint32_t address, std::uint8_t value) {
  CVendorCmdCommon* cmd = GetCmd();
  if (cmd == nullptr) return kEFail;
  return cmd->WriteMem(address, 1, &value, nullptr, nullptr);
}

int CKvxCam::GetStorageKind() {
  CVendorCmdCommon* cmd = GetCmd();
  std::array<std::uint8_t, kDeviceStatusBytes> status{};
  if (cmd == nullptr || cmd->GetDevStatus(0, status.data(), kDeviceStatusBytes) != kSOk) {
    return kStorageUnknown;
  }
  const unsigned bits = (status[4] | status[5] << 8) >> 14;
  switch (status[64]) {
    case 0x00:
      return bits == 0 ? kStorageSpiFlash : bits == 2 ? kStorageEeprom : kStorageUnknown;
    case 0x11:
      return bits == 1 ? kStorageOtp : kStorageUnknown;
    case 0x12:
      return kStorageKind2;
    default:
      return kStorageUnknown;
  }
}

HResult CKvxCam::WriteProtect(bool protect) {
  std::uint8_t enable = 0;
  std::uint8_t level = 0;
  HResult rc = ReadReg(kWpEnable, enable);
  if (rc == kSOk) rc = ReadReg(kWpLevel, level);
  if (rc != kSOk) return rc;
  enable |= 0x01;
  level =
      protect ? static_cast<std::uint8_t>(level & ~0x01) : static_cast<std::uint8_t>(level | 0x01);
  rc = WriteReg(kWpEnable, enable);
  if (rc == kSOk) rc = WriteReg(kWpLevel, level);
  if (rc != kSOk) return rc;

  CVendorCmdCommon* cmd = GetCmd();
  std::uint8_t status = 0;
  rc = cmd->SPI_SF_WriteSr(protect ? kFlashStatusProtect : 0x00);
  if (rc == kSOk) rc = cmd->SPI_SF_ReadSr(&status);
  for (std::uint32_t poll = 0; rc == kSOk && (status & kFlashStatusBusy) != 0; ++poll) {
    if (poll == kFlashStatusPolls) return kBusyTimeout;
    DebugPrint("Waiting for SPI_SF_WriteSr\n");
    P::Sleep(kFlashStatusPollMs);
    rc = cmd->SPI_SF_ReadSr(&status);
  }
  if (rc != kSOk) DebugPrint("Waiting for failed\n");
  return rc;
}

HResult CKvxCam::SetFlashWriteProtect() { return WriteProtect(true); }
HResult CKvxCam::ClearFlashWriteProtect() { return WriteProtect(false); }

HResult CKvxCam::SetPinMode0() {
  std::uint8_t r[4] = {};
  const std::uint32_t regs[4] = {kWpEnable, kWpLevel, kPinEnable1, kPinLevel1};
  for (int i = 0; i < 4; ++i) {
    if (const HResult rc = ReadReg(regs[i], r[i]); rc != kSOk) return rc;
  }
  r[0] = static_cast<std::uint8_t>(r[0] & ~0x20);
  r[1] = static_cast<std::uint8_t>(r[1] | 0x01);
  r[2] = static_cast<std::uint8_t>(r[2] & ~0x02);
  r[3] = static_cast<std::uint8_t>(r[3] | 0x01);
  for (int i = 0; i < 4; ++i) {
    if (const HResult rc = WriteReg(regs[i], r[i]); rc != kSOk) return rc;
  }
  return kSOk;
}

HResult CKvxCam::SetPinMode1() {
  std::uint8_t r[4] = {};
  const std::uint32_t regs[4] = {kWpEnable, kWpLevel, kPinEnable1, kPinLevel1};
  for (int i = 0; i < 4; ++i) {
    if (const HResult rc = ReadReg(regs[i], r[i]); rc != kSOk) return rc;
  }
  r[0] = static_cast<std::uint8_t>(r[0] | 0x20);
  r[1] = static_cast<std::uint8_t>(r[1] & ~0x20);
  r[2] = static_cast<std::uint8_t>(r[2] | 0x02);
  r[3] = static_cast<std::uint8_t>(r[3] & ~0x02);
  for (int i = 0; i < 4; ++i) {
    if (const HResult rc = WriteReg(regs[i], r[i]); rc != kSOk) return rc;
  }
  return kSOk;
}

HResult CKvxCam::HwFlashCommand(std::uint8_t command, std::uint32_t address) {
  const std::pair<std::uint32_t, std::uint8_t> setup[] = {
      {0xFCE2, 6},
      {0xFCE1, 0},
      {0xFCE8, command},
      {0xFCE9, static_cast<std::uint8_t>(address & 0xFF)},
      {0xFCEA, static_cast<std::uint8_t>((address >> 8) & 0xFF)},
      {0xFCEB, static_cast<std::uint8_t>((address >> 16) & 0xFF)},
      {0xFCE7, 1},
      {0xFCEE, 5},
      {0xFCED, 6},
      {0xFCFC, 0},
      {0xFCFB, 0xFF},
      {kSpiControl, kSpiStart},
  };
  HResult rc = kSOk;
  for (const auto& [reg, value] : setup) {
    rc = WriteReg(reg, value);
    if (rc != kSOk) break;
  }
  std::uint8_t control = 0;
  if (rc == kSOk) {
    for (std::uint32_t poll = 0;; ++poll) {
      rc = ReadReg(kSpiControl, control);
      if (rc != kSOk || (control & kSpiDone) != 0) break;
      if (poll + 1 == kSpiEnginePolls) {
        rc = kBusyTimeout;
        break;
      }
      P::Sleep(kSpiEnginePollMs);
    }
  }
  if (rc == kSOk) rc = ReadReg(kSpiControl, control);
  if (rc == kSOk && (control & kSpiError) != 0) rc = kEFail;
  if (rc == kSOk) return ClearFlashWriteProtect();
  WriteReg(kSpiControl, kSpiAbort);
  ClearFlashWriteProtect();
  return rc;
}

}  // namespace vantor
