#include "device/vendor_request_v2.h"

#include <algorithm>
#include <atomic>
#include <vector>

#include "device/cam_dev_record.h"
#include "device/proxy_protocol.h"
#include "platform/device_inventory.h"
#include "platform/last_error.h"
#include "platform/trace.h"

namespace vantor {

namespace {

constexpr std::uint32_t kTimeoutMs = 5000;
constexpr std::uint8_t kOut = 0x40;
constexpr std::uint8_t kIn = 0xC0;

// The request table.
constexpr VendorReqDesc kGetDevStatus{kIn, 0x07};
constexpr VendorReqDesc kResetToUpdateFW{kOut, 0x20};
constexpr VendorReqDesc kResetToNewCode{kOut, 0x21};
constexpr VendorReqDesc kResetToRom{kOut, 0x22};
constexpr VendorReqDesc kReadIMem{kIn, 0x23};
constexpr VendorReqDesc kWriteMem{kOut, 0x24};
constexpr VendorReqDesc kReadMem{kIn, 0x25};
constexpr VendorReqDesc kReadCode{kIn, 0x26};
constexpr VendorReqDesc kReadPhy{kIn, 0x27};
constexpr VendorReqDesc kWritePhy{kOut, 0x28};
constexpr VendorReqDesc kNorFlashErase{kOut, 0x29};
constexpr VendorReqDesc kNorFlashWrite{kOut, 0x2A};
constexpr VendorReqDesc kNorFlashRead{kIn, 0x2B};
constexpr VendorReqDesc kNorFlashWriteTag{kOut, 0x2C};
constexpr VendorReqDesc kSpiReadId{kIn, 0x2D};
constexpr VendorReqDesc kSpiRead{kIn, 0x2E};
constexpr VendorReqDesc kSpiWrite{kOut, 0x2F};
constexpr VendorReqDesc kSpiReadSr{kIn, 0x30};
constexpr VendorReqDesc kSpiWriteSr{kOut, 0x31};
constexpr VendorReqDesc kSpiEraseChip{kOut, 0x32};
constexpr VendorReqDesc kSpiEraseSector{kOut, 0x33};
constexpr VendorReqDesc kSpiWriteTag{kOut, 0x34};
constexpr VendorReqDesc kEep8Read{kIn, 0x35};
constexpr VendorReqDesc kEep8Write{kOut, 0x36};
constexpr VendorReqDesc kEep16Read{kIn, 0x37};
constexpr VendorReqDesc kEep16Write{kOut, 0x38};
constexpr VendorReqDesc kAuxRead{kIn, 0x39};
constexpr VendorReqDesc kAuxWrite{kOut, 0x3A};
constexpr VendorReqDesc kI2CGenRead{kIn, 0x3D};
constexpr VendorReqDesc kI2CGenWrite{kOut, 0x3E};
constexpr VendorReqDesc kI2CRegRead{kIn, 0x50};
constexpr VendorReqDesc kI2CRegWrite{kOut, 0x51};
constexpr VendorReqDesc kI2CRandomWrite{kOut, 0x58};
constexpr VendorReqDesc kI2CRandomRead{kIn, 0x59};
constexpr VendorReqDesc kPingByte{kIn, 0x06};
constexpr VendorReqDesc kRequest10{kOut, 0x10};

// The erase-chip descriptor's time-out is process-wide: each erase sets it.
std::atomic<std::uint32_t> gEraseChipTimeoutMs{kTimeoutMs};

constexpr std::uint8_t kAuxEraseMode = 3;
constexpr std::uint8_t kTagValue = 0xA5;
constexpr std::uint32_t kTagAddress = 1;

std::uint16_t PackValue(std::uint32_t length, std::uint32_t address, std::uint8_t param) {
  return static_cast<std::uint16_t>(((length >> 16) & 0xF) << 12 | ((address >> 16) & 0xF) << 8 |
                                    param);
}

// Pieces of 4096 bytes through `piece` (the operation itself, through the interface),
// then the rest (at most 4096) through `last`; the progress callback sees each request.
// A request beyond the 20 address bits is refused before anything is sent.
template <class Ptr, class Piece, class Last>
HResult Chunked(std::uint32_t addr, std::uint32_t len, Ptr buf, ProgressFn fn, void* ctx,
                Piece piece, Last last) {
  if (len == 0) return kSOk;
  if (std::uint64_t{addr} + len > CVendorRequestV2::kAddressLimit) return kEInvalidArg;
  while (len > CVendorRequestV2::kChunk) {
    HResult result = piece(addr, CVendorRequestV2::kChunk, buf);
    if (result != kSOk) return result;
    addr += CVendorRequestV2::kChunk;
    buf += CVendorRequestV2::kChunk;
    len -= CVendorRequestV2::kChunk;
  }
  if (len == 0) return kSOk;
  HResult result = last(addr, len, buf);
  if (result == kSOk && fn != nullptr) fn(ctx, len);
  return result;
}

}  // namespace

CVendorRequestV2::CVendorRequestV2(CamDevRecord* device) : m_pDevice(device) {}

CVendorRequestV2::~CVendorRequestV2() = default;

std::uint32_t CVendorRequestV2::EraseChipTimeoutMs() { return gEraseChipTimeoutMs.load(); }

// ---- Request helpers ----------------------------------------------------------------------

HResult CVendorRequestV2::Send(const VendorReqDesc& desc, std::uint16_t value, std::uint16_t index,
                               void* buffer, std::uint32_t length, std::uint32_t timeoutMs) {
  bool ok = false;
  if (m_pDevice == nullptr) {
    platform::SetLastError(platform::kErrorInvalidHandle);
  } else {
    std::uint32_t moved = 0;
    ok = SendVendorRequest(m_pDevice->hKvProxyDevLow, m_pDevice->hKvProxyDevHigh,
                           desc.bmRequestType, desc.bRequest, value, index, buffer, length,
                           desc.in(), &moved, timeoutMs);
    // A data stage that moved fewer bytes than asked is a failed request: a short read
    // would leave stale bytes in the caller's buffer, a short write a partial one.
    if (ok && moved != length) {
      platform::SetLastError(platform::kErrorInvalidData);
      ok = false;
    }
  }
  if (ok) return kSOk;
  const HResult code = HresultFromLastError();
  DebugPrint("CVendorRequestV2 SendRequest failed: %08x\n", static_cast<unsigned>(code));
  return code;
}

HResult CVendorRequestV2::SendAddressed(const VendorReqDesc& desc, std::uint8_t param,
                                        std::uint32_t address, std::uint32_t length, void* buffer) {
  if (address >= kAddressLimit) return kEInvalidArg;
  return Send(desc, PackValue(length, address, param), static_cast<std::uint16_t>(address), buffer,
              length, kTimeoutMs);
}

HResult CVendorRequestV2::Send0(const VendorReqDesc& desc) {
  return Send(desc, 0, 0, nullptr, 0, desc.timeoutMs);
}

HResult CVendorRequestV2::SendData(const VendorReqDesc& desc, std::uint32_t length, void* buffer) {
  return Send(desc, PackValue(length, 0, 0), 0, buffer, length, kTimeoutMs);
}

HResult CVendorRequestV2::SendAddr(const VendorReqDesc& desc, std::uint32_t address,
                                   std::uint32_t length, void* buffer) {
  return SendAddressed(desc, 0, address, length, buffer);
}

HResult CVendorRequestV2::SendAddrParam(const VendorReqDesc& desc, std::uint8_t param,
                                        std::uint32_t address, std::uint32_t length, void* buffer) {
  return SendAddressed(desc, param, address, length, buffer);
}

template <class Write>
HResult CVendorRequestV2::Erase(std::uint32_t size, Write write) {
  if (size > kAddressLimit) return kEInvalidArg;
  const std::vector<std::uint8_t> erased(size, 0xFF);
  return write(erased.data(), size);
}

// ---- Status and resets --------------------------------------------------------------------

HResult CVendorRequestV2::GetDevStatus(std::uint32_t first, std::uint8_t* buf, std::uint32_t n) {
  constexpr std::uint32_t kPage = 8;
  const std::uint32_t pages = n / kPage;
  for (std::uint32_t i = first; i < first + pages; ++i) {
    // A failure whose code reads 0 does not end the loop.
    HResult result = Send(kGetDevStatus, static_cast<std::uint16_t>(i & 0xFF), 0,
                          buf + kPage * (i - first), kPage, kTimeoutMs);
    if (result != kSOk) return result;
  }
  if (n % kPage != 0) {
    std::uint8_t page[kPage] = {};
    const std::uint32_t i = first + pages;
    HResult result =
        Send(kGetDevStatus, static_cast<std::uint16_t>(i & 0xFF), 0, page, kPage, kTimeoutMs);
    if (result != kSOk) return result;
    std::copy(page, page + n % kPage, buf + kPage * pages);
  }
  return kSOk;
}

HResult CVendorRequestV2::ResetToUpdateFW(std::uint32_t arg) {
  return Send(kResetToUpdateFW, static_cast<std::uint16_t>(arg & 0xFF), 0, nullptr, 0, kTimeoutMs);
}

HResult CVendorRequestV2::ResetToNewCode(std::uint32_t arg) {
  return Send(kResetToNewCode, static_cast<std::uint16_t>(arg & 0xFF), 0, nullptr, 0, kTimeoutMs);
}

HResult CVendorRequestV2::ResetToRom() { return Send0(kResetToRom); }

// ---- Controller memories ------------------------------------------------------------------

HResult CVendorRequestV2::ChunkedRead(ReadOp op, const VendorReqDesc& desc, std::uint32_t addr,
                                      std::uint32_t len, std::uint8_t* buf, ProgressFn fn,
                                      void* ctx) {
  return Chunked(
      addr, len, buf, fn, ctx,
      [&](std::uint32_t a, std::uint32_t n, std::uint8_t* b) {
        return (this->*op)(a, n, b, fn, ctx);
      },
      [&](std::uint32_t a, std::uint32_t n, std::uint8_t* b) { return SendAddr(desc, a, n, b); });
}

HResult CVendorRequestV2::ChunkedWrite(WriteOp op, const VendorReqDesc& desc, std::uint32_t addr,
                                       std::uint32_t len, const std::uint8_t* buf, ProgressFn fn,
                                       void* ctx) {
  return Chunked(
      addr, len, buf, fn, ctx,
      [&](std::uint32_t a, std::uint32_t n, const std::uint8_t* b) {
        return (this->*op)(a, n, b, fn, ctx);
      },
      [&](std::uint32_t a, std::uint32_t n, const std::uint8_t* b) {
        return SendAddr(desc, a, n, const_cast<std::uint8_t*>(b));
      });
}

HResult CVendorRequestV2::ReadIMem(std::uint32_t addr, std::uint32_t len, std::uint8_t* buf,
                                   ProgressFn fn, void* ctx) {
  return ChunkedRead(&CVendorCmdCommon::ReadIMem, kReadIMem, addr, len, buf, fn, ctx);
}

HResult CVendorRequestV2::ReadMem(std::uint32_t addr, std::uint32_t len, std::uint8_t* buf,
                                  ProgressFn fn, void* ctx) {
  return ChunkedRead(&CVendorCmdCommon::ReadMem, kReadMem, addr, len, buf, fn, ctx);
}

HResult CVendorRequestV2::WriteMem(std::uint32_t addr, std::uint32_t len, const std::uint8_t* buf,
                                   ProgressFn fn, void* ctx) {
  return ChunkedWrite(&CVendorCmdCommon::WriteMem, kWriteMem, addr, len, buf, fn, ctx);
}

HResult CVendorRequestV2::ReadCode(std::uint32_t addr, std::uint32_t len, std::uint8_t* buf,
                                   ProgressFn fn, void* ctx) {
  return ChunkedRead(&CVendorCmdCommon::ReadCode, kReadCode, addr, len, buf, fn, ctx);
}

HResult CVendorRequestV2::ReadPhy(std::uint32_t addr, std::uint32_t len, std::uint8_t* buf) {
  return SendAddr(kReadPhy, addr, len, buf);
}

HResult CVendorRequestV2::WritePhy(std::uint32_t addr, std::uint32_t len, const std::uint8_t* buf) {
  return SendAddr(kWritePhy, addr, len, const_cast<std::uint8_t*>(buf));
}

// ---- NOR flash ----------------------------------------------------------------------------

HResult CVendorRequestV2::NorFlash_Erase() { return Send0(kNorFlashErase); }

HResult CVendorRequestV2::NorFlash_Read(std::uint32_t addr, std::uint32_t len, std::uint8_t* buf,
                                        ProgressFn fn, void* ctx) {
  return ChunkedRead(&CVendorCmdCommon::NorFlash_Read, kNorFlashRead, addr, len, buf, fn, ctx);
}

HResult CVendorRequestV2::NorFlash_Write(std::uint32_t addr, std::uint32_t len,
                                         const std::uint8_t* buf, ProgressFn fn, void* ctx) {
  return ChunkedWrite(&CVendorCmdCommon::NorFlash_Write, kNorFlashWrite, addr, len, buf, fn, ctx);
}

HResult CVendorRequestV2::NorFlash_WriteTag() { return Send0(kNorFlashWriteTag); }

// ---- SPI flash ----------------------------------------------------------------------------

HResult CVendorRequestV2::SPI_SF_ReadID(std::uint8_t* id8) { return SendData(kSpiReadId, 8, id8); }

HResult CVendorRequestV2::SPI_SF_Read(std::uint32_t addr, std::uint32_t len, std::uint8_t* buf,
                                      std::uint8_t readMode, ProgressFn fn, void* ctx) {
  return Chunked(
      addr, len, buf, fn, ctx,
      [&](std::uint32_t a, std::uint32_t n, std::uint8_t* b) {
        return SPI_SF_Read(a, n, b, readMode, fn, ctx);
      },
      [&](std::uint32_t a, std::uint32_t n, std::uint8_t* b) {
        return SendAddrParam(kSpiRead, readMode, a, n, b);
      });
}

HResult CVendorRequestV2::SPI_SF_Write(std::uint32_t addr, std::uint32_t len,
                                       const std::uint8_t* buf, ProgressFn fn, void* ctx) {
  return ChunkedWrite(&CVendorCmdCommon::SPI_SF_Write, kSpiWrite, addr, len, buf, fn, ctx);
}

HResult CVendorRequestV2::SPI_SF_ReadSr(std::uint8_t* status) {
  return SendData(kSpiReadSr, 1, status);
}

HResult CVendorRequestV2::SPI_SF_WriteSr(std::uint8_t value) {
  return SendData(kSpiWriteSr, 1, &value);
}

HResult CVendorRequestV2::SPI_SF_EraseChip(std::uint32_t timeoutMs) {
  gEraseChipTimeoutMs.store(timeoutMs);
  VendorReqDesc desc = kSpiEraseChip;
  desc.timeoutMs = timeoutMs;
  return Send0(desc);
}

HResult CVendorRequestV2::SPI_SF_EraseSector(std::uint32_t addr, std::uint32_t sectorSize) {
  if (sectorSize == 0 || addr % sectorSize != 0) return kEInvalidArg;
  return SendAddr(kSpiEraseSector, addr, 0, nullptr);
}

HResult CVendorRequestV2::SPI_SF_WriteTag() { return Send0(kSpiWriteTag); }

// ---- I2C EEPROM ---------------------------------------------------------------------------

HResult CVendorRequestV2::I2C_EEP8_Erase(std::uint32_t size) {
  return Erase(size, [&](const std::uint8_t* ff, std::uint32_t n) {
    return I2C_EEP8_Write(0, n, ff, nullptr, nullptr);
  });
}

HResult CVendorRequestV2::I2C_EEP8_Read(std::uint32_t addr, std::uint32_t len, std::uint8_t* buf,
                                        ProgressFn fn, void* ctx) {
  return ChunkedRead(&CVendorCmdCommon::I2C_EEP8_Read, kEep8Read, addr, len, buf, fn, ctx);
}

HResult CVendorRequestV2::I2C_EEP8_Write(std::uint32_t addr, std::uint32_t len,
                                         const std::uint8_t* buf, ProgressFn fn, void* ctx) {
  return ChunkedWrite(&CVendorCmdCommon::I2C_EEP8_Write, kEep8Write, addr, len, buf, fn, ctx);
}

HResult CVendorRequestV2::I2C_EEP8_WriteTag() { return WriteEep8Tag(); }

HResult CVendorRequestV2::I2C_EEP16_Erase(std::uint32_t size) {
  return Erase(size, [&](const std::uint8_t* ff, std::uint32_t n) {
    return I2C_EEP16_Write(0, n, ff, nullptr, nullptr);
  });
}

HResult CVendorRequestV2::I2C_EEP16_Read(std::uint32_t addr, std::uint32_t len, std::uint8_t* buf,
                                         ProgressFn fn, void* ctx) {
  return ChunkedRead(&CVendorCmdCommon::I2C_EEP16_Read, kEep16Read, addr, len, buf, fn, ctx);
}

HResult CVendorRequestV2::I2C_EEP16_Write(std::uint32_t addr, std::uint32_t len,
                                          const std::uint8_t* buf, ProgressFn fn, void* ctx) {
  return ChunkedWrite(&CVendorCmdCommon::I2C_EEP16_Write, kEep16Write, addr, len, buf, fn, ctx);
}

HResult CVendorRequestV2::I2C_EEP16_WriteTag() { return WriteEep16Tag(); }

// ---- Auxiliary memory ---------------------------------------------------------------------

HResult CVendorRequestV2::Aux_Erase(std::uint32_t size) {
  return Erase(size, [&](const std::uint8_t* ff, std::uint32_t n) {
    return Aux_Write(0, n, ff, kAuxEraseMode, nullptr, nullptr);
  });
}

HResult CVendorRequestV2::Aux_Read(std::uint32_t addr, std::uint32_t len, std::uint8_t* buf,
                                   std::uint8_t mode, ProgressFn fn, void* ctx) {
  // The mode is not sent with a read.
  return Chunked(
      addr, len, buf, fn, ctx,
      [&](std::uint32_t a, std::uint32_t n, std::uint8_t* b) {
        return Aux_Read(a, n, b, mode, fn, ctx);
      },
      [&](std::uint32_t a, std::uint32_t n, std::uint8_t* b) {
        return SendAddr(kAuxRead, a, n, b);
      });
}

HResult CVendorRequestV2::Aux_Write(std::uint32_t addr, std::uint32_t len, const std::uint8_t* buf,
                                    std::uint8_t mode, ProgressFn fn, void* ctx) {
  return Chunked(
      addr, len, buf, fn, ctx,
      [&](std::uint32_t a, std::uint32_t n, const std::uint8_t* b) {
        return Aux_Write(a, n, b, mode, fn, ctx);
      },
      [&](std::uint32_t a, std::uint32_t n, const std::uint8_t* b) {
        return SendAddrParam(kAuxWrite, mode, a, n, const_cast<std::uint8_t*>(b));
      });
}

HResult CVendorRequestV2::Aux_WriteTag() {
  const std::uint8_t tag = kTagValue;
  return Aux_Write(kTagAddress, 1, &tag, kAuxEraseMode, nullptr, nullptr);
}

// ---- I2C ----------------------------------------------------------------------------------

HResult CVendorRequestV2::I2CRead(std::uint8_t, std::uint32_t, std::uint8_t*) { return kENotImpl; }

HResult CVendorRequestV2::I2CRead(std::uint32_t width, std::uint32_t reg, std::uint16_t* value) {
  if (value == nullptr) return kEInvalidArg;
  std::uint8_t bytes[2] = {};
  HResult result = SendAddr(kI2CRegRead, reg, 2, bytes);
  if (result != kSOk) return result;
  *value = static_cast<std::uint16_t>(bytes[0] | (width == 1 ? 0 : bytes[1] << 8));
  return kSOk;
}

HResult CVendorRequestV2::I2CWrite(std::uint8_t, std::uint32_t, const std::uint8_t*) {
  return kENotImpl;
}

HResult CVendorRequestV2::I2CWrite(std::uint32_t width, std::uint32_t reg, std::uint16_t value) {
  if (width == 1) value &= 0xFF;
  std::uint8_t bytes[2] = {static_cast<std::uint8_t>(value & 0xFF),
                           static_cast<std::uint8_t>(value >> 8)};
  return SendAddr(kI2CRegWrite, reg, 2, bytes);
}

HResult CVendorRequestV2::Reserved38(std::uint32_t, std::uint32_t, std::uint32_t) {
  return kENotImpl;
}
HResult CVendorRequestV2::Reserved39(std::uint32_t, std::uint32_t, std::uint32_t) {
  return kENotImpl;
}
HResult CVendorRequestV2::Reserved40(std::uint32_t) { return kENotImpl; }
HResult CVendorRequestV2::Reserved41(std::uint32_t) { return kENotImpl; }
HResult CVendorRequestV2::Reserved42(std::uint32_t) { return kENotImpl; }
HResult CVendorRequestV2::Reserved43(std::uint32_t) { return kENotImpl; }
HResult CVendorRequestV2::Reserved44(std::uint32_t) { return kENotImpl; }
HResult CVendorRequestV2::Reserved45(std::uint32_t) { return kENotImpl; }
HResult CVendorRequestV2::Reserved46(std::uint32_t) { return kENotImpl; }
HResult CVendorRequestV2::Reserved47(std::uint32_t) { return kENotImpl; }

HResult CVendorRequestV2::I2CGenRead(std::uint8_t slave, std::uint32_t len, std::uint8_t* buf) {
  return SendAddr(kI2CGenRead, slave, len, buf);
}

HResult CVendorRequestV2::I2CGenWrite(std::uint8_t slave, std::uint32_t len,
                                      const std::uint8_t* buf) {
  return SendAddr(kI2CGenWrite, slave, len, const_cast<std::uint8_t*>(buf));
}

HResult CVendorRequestV2::I2CRandomRead(std::uint8_t slave, std::uint32_t len, std::uint8_t* buf) {
  return SendAddr(kI2CRandomRead, slave, len, buf);
}

HResult CVendorRequestV2::I2CRandomWrite(std::uint8_t slave, std::uint32_t len,
                                         const std::uint8_t* buf) {
  return SendAddr(kI2CRandomWrite, slave, len, const_cast<std::uint8_t*>(buf));
}

HResult CVendorRequestV2::I2CSuperRead(std::uint8_t, std::uint32_t, std::uint8_t*) {
  return kENotImpl;
}
HResult CVendorRequestV2::I2CSuperWrite(std::uint8_t, std::uint32_t, const std::uint8_t*) {
  return kENotImpl;
}
HResult CVendorRequestV2::I2CLongRead(std::uint32_t, std::uint32_t, std::uint32_t, std::uint8_t*,
                                      std::uint32_t, std::uint32_t) {
  return kENotImpl;
}
HResult CVendorRequestV2::I2CLongWrite(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                                       const std::uint8_t*, std::uint32_t, std::uint32_t) {
  return kENotImpl;
}

// ---- OTP: not carried by vendor requests --------------------------------------------------

HResult CVendorRequestV2::OTP_Write(std::uint32_t, std::uint32_t, std::uint32_t,
                                    const std::uint8_t*, std::uint32_t, std::uint32_t) {
  return kENotImpl;
}
HResult CVendorRequestV2::OTP_Read(std::uint32_t, std::uint32_t, std::uint8_t*, std::uint32_t,
                                   std::uint32_t) {
  return kENotImpl;
}
HResult CVendorRequestV2::OTP_BlankCheck(std::uint32_t, std::uint32_t, std::uint8_t*, std::uint32_t,
                                         std::uint32_t) {
  return kENotImpl;
}
HResult CVendorRequestV2::OTP_AllBlankCheck(std::uint32_t, std::uint32_t, std::uint8_t*,
                                            std::uint32_t, std::uint32_t) {
  return kENotImpl;
}
HResult CVendorRequestV2::OTP_ReadProgramFailAdr(std::uint32_t, std::uint8_t*) { return kENotImpl; }

// ---- Slots 61, 62 -------------------------------------------------------------------------

HResult CVendorRequestV2::ReadPingByte(std::uint8_t* value) {
  return Send(kPingByte, 0, 0, value, 1, kTimeoutMs);
}

HResult CVendorRequestV2::SendRequest10(std::uint32_t arg) {
  return Send(kRequest10, static_cast<std::uint16_t>(arg & 0xFF), 0, nullptr, 0, kTimeoutMs);
}

}  // namespace vantor
