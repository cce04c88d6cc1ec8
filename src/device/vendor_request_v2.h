// The vendor-request transport: each operation of the vendor command set as USB vendor
// control requests (type 0x40 host-to-device, 0xC0 device-to-host) to the device of the
// device record, through the proxy. Long transfers go in requests of at most 4096 bytes.
// No cross-process lock is taken.
//
// Field packing of the request helpers (wLength is the data length, bits 0..15):
//   Send0          wValue 0, wIndex 0, no data, the descriptor's time-out
//   SendData       wValue = length bits 16..19 in bits 12..15; wIndex 0
//   SendAddr       wValue = length bits 16..19 in bits 12..15, address bits 16..19 in
//                  bits 8..11; wIndex = address bits 0..15
//   SendAddrParam  as SendAddr, plus the parameter byte in wValue bits 0..7
// A failed request traces "CVendorRequestV2 SendRequest failed: %08x" with its result,
// the HRESULT form of the platform error (0x8007048F: the device has gone).
#pragma once

#include <cstdint>

#include "device/vendor_cmd_common.h"

namespace vantor {

struct CamDevRecord;

// One request of the table: request type, request, and the time-out.
struct VendorReqDesc {
  std::uint8_t bmRequestType = 0;
  std::uint8_t bRequest = 0;
  std::uint8_t reserved[2] = {};
  std::uint32_t timeoutMs = 5000;

  bool in() const { return (bmRequestType & 0x80) != 0; }
};

class CVendorRequestV2 : public CVendorCmdCommon {
 public:
  static constexpr std::uint32_t kChunk = 4096;
  // The vendor requests carry 20 address bits.
  static constexpr std::uint32_t kAddressLimit = 0x100000;

  explicit CVendorRequestV2(CamDevRecord* device);
  ~CVendorRequestV2() override;
  CVendorRequestV2(const CVendorRequestV2&) = delete;
  CVendorRequestV2& operator=(const CVendorRequestV2&) = delete;

  // ---- Slots 0 to 60 (see CVendorCmdCommon) ----
  HResult GetDevStatus(std::uint32_t first, std::uint8_t* buf, std::uint32_t n) override;
  HResult ResetToUpdateFW(std::uint32_t arg) override;
  HResult ResetToNewCode(std::uint32_t arg) override;
  HResult ResetToRom() override;
  HResult ReadIMem(std::uint32_t addr, std::uint32_t len, std::uint8_t* buf, ProgressFn fn,
                   void* ctx) override;
  HResult ReadMem(std::uint32_t addr, std::uint32_t len, std::uint8_t* buf, ProgressFn fn,
                  void* ctx) override;
  HResult WriteMem(std::uint32_t addr, std::uint32_t len, const std::uint8_t* buf, ProgressFn fn,
                   void* ctx) override;
  HResult ReadCode(std::uint32_t addr, std::uint32_t len, std::uint8_t* buf, ProgressFn fn,
                   void* ctx) override;
  HResult ReadPhy(std::uint32_t addr, std::uint32_t len, std::uint8_t* buf) override;
  HResult WritePhy(std::uint32_t addr, std::uint32_t len, const std::uint8_t* buf) override;
  HResult NorFlash_Erase() override;
  HResult NorFlash_Read(std::uint32_t addr, std::uint32_t len, std::uint8_t* buf, ProgressFn fn,
                        void* ctx) override;
  HResult NorFlash_Write(std::uint32_t addr, std::uint32_t len, const std::uint8_t* buf,
                         ProgressFn fn, void* ctx) override;
  HResult NorFlash_WriteTag() override;
  HResult SPI_SF_ReadID(std::uint8_t* id8) override;
  HResult SPI_SF_Read(std::uint32_t addr, std::uint32_t len, std::uint8_t* buf,
                      std::uint8_t readMode, ProgressFn fn, void* ctx) override;
  HResult SPI_SF_Write(std::uint32_t addr, std::uint32_t len, const std::uint8_t* buf,
                       ProgressFn fn, void* ctx) override;
  HResult SPI_SF_ReadSr(std::uint8_t* status) override;
  HResult SPI_SF_WriteSr(std::uint8_t value) override;
  // The time-out becomes the process-wide erase descriptor's (EraseChipTimeoutMs) and the
  // request waits up to it.
  HResult SPI_SF_EraseChip(std::uint32_t timeoutMs) override;
  // kEInvalidArg without a request when addr is not a multiple of sectorSize (or
  // sectorSize is 0).
  HResult SPI_SF_EraseSector(std::uint32_t addr, std::uint32_t sectorSize) override;
  HResult SPI_SF_WriteTag() override;
  HResult I2C_EEP8_Erase(std::uint32_t size) override;
  HResult I2C_EEP8_Read(std::uint32_t addr, std::uint32_t len, std::uint8_t* buf, ProgressFn fn,
                        void* ctx) override;
  HResult I2C_EEP8_Write(std::uint32_t addr, std::uint32_t len, const std::uint8_t* buf,
                         ProgressFn fn, void* ctx) override;
  HResult I2C_EEP8_WriteTag() override;
  HResult I2C_EEP16_Erase(std::uint32_t size) override;
  HResult I2C_EEP16_Read(std::uint32_t addr, std::uint32_t len, std::uint8_t* buf, ProgressFn fn,
                         void* ctx) override;
  HResult I2C_EEP16_Write(std::uint32_t addr, std::uint32_t len, const std::uint8_t* buf,
                          ProgressFn fn, void* ctx) override;
  HResult I2C_EEP16_WriteTag() override;
  HResult Aux_Erase(std::uint32_t size) override;
  HResult Aux_Read(std::uint32_t addr, std::uint32_t len, std::uint8_t* buf, std::uint8_t mode,
                   ProgressFn fn, void* ctx) override;
  HResult Aux_Write(std::uint32_t addr, std::uint32_t len, const std::uint8_t* buf,
                    std::uint8_t mode, ProgressFn fn, void* ctx) override;
  HResult Aux_WriteTag() override;
  HResult I2CRead(std::uint8_t slave, std::uint32_t len, std::uint8_t* buf) override;
  HResult I2CRead(std::uint32_t width, std::uint32_t reg, std::uint16_t* value) override;
  HResult I2CWrite(std::uint8_t slave, std::uint32_t len, const std::uint8_t* buf) override;
  HResult I2CWrite(std::uint32_t width, std::uint32_t reg, std::uint16_t value) override;
  HResult Reserved38(std::uint32_t a, std::uint32_t b, std::uint32_t c) override;
  HResult Reserved39(std::uint32_t a, std::uint32_t b, std::uint32_t c) override;
  HResult Reserved40(std::uint32_t a) override;
  HResult Reserved41(std::uint32_t a) override;
  HResult Reserved42(std::uint32_t a) override;
  HResult Reserved43(std::uint32_t a) override;
  HResult Reserved44(std::uint32_t a) override;
  HResult Reserved45(std::uint32_t a) override;
  HResult Reserved46(std::uint32_t a) override;
  HResult Reserved47(std::uint32_t a) override;
  HResult I2CGenRead(std::uint8_t slave, std::uint32_t len, std::uint8_t* buf) override;
  HResult I2CGenWrite(std::uint8_t slave, std::uint32_t len, const std::uint8_t* buf) override;
  HResult I2CRandomRead(std::uint8_t slave, std::uint32_t len, std::uint8_t* buf) override;
  HResult I2CRandomWrite(std::uint8_t slave, std::uint32_t len, const std::uint8_t* buf) override;
  HResult I2CSuperRead(std::uint8_t slave, std::uint32_t len, std::uint8_t* buf) override;
  HResult I2CSuperWrite(std::uint8_t slave, std::uint32_t len, const std::uint8_t* buf) override;
  HResult I2CLongRead(std::uint32_t slave, std::uint32_t reg, std::uint32_t len, std::uint8_t* buf,
                      std::uint32_t unused1, std::uint32_t unused2) override;
  HResult I2CLongWrite(std::uint32_t slave, std::uint32_t reg, std::uint32_t unused0,
                       std::uint32_t len, const std::uint8_t* buf, std::uint32_t unused1,
                       std::uint32_t unused2) override;
  HResult OTP_Write(std::uint32_t otpAddr, std::uint32_t len, std::uint32_t mode,
                    const std::uint8_t* buf, std::uint32_t unused1, std::uint32_t unused2) override;
  HResult OTP_Read(std::uint32_t otpAddr, std::uint32_t len, std::uint8_t* buf,
                   std::uint32_t unused1, std::uint32_t unused2) override;
  HResult OTP_BlankCheck(std::uint32_t otpAddr, std::uint32_t len, std::uint8_t* buf,
                         std::uint32_t unused1, std::uint32_t unused2) override;
  HResult OTP_AllBlankCheck(std::uint32_t otpAddr, std::uint32_t len, std::uint8_t* buf,
                            std::uint32_t unused1, std::uint32_t unused2) override;
  HResult OTP_ReadProgramFailAdr(std::uint32_t len, std::uint8_t* buf) override;

  // ---- Slots 61, 62: requests no part of the tool sends ----
  // C0 06, one byte in (wValue 0, wIndex 0).
  virtual HResult ReadPingByte(std::uint8_t* value);
  // 40 10, wValue = the argument's low byte, no data.
  virtual HResult SendRequest10(std::uint32_t arg);

  // The time-out of the process-wide SPI_SF_EraseChip descriptor: the last one asked for
  // (5000 ms until then).
  static std::uint32_t EraseChipTimeoutMs();

  CamDevRecord* Device() const { return m_pDevice; }

 protected:
  HResult Send0(const VendorReqDesc& desc);
  HResult SendData(const VendorReqDesc& desc, std::uint32_t length, void* buffer);
  HResult SendAddr(const VendorReqDesc& desc, std::uint32_t address, std::uint32_t length,
                   void* buffer);
  HResult SendAddrParam(const VendorReqDesc& desc, std::uint8_t param, std::uint32_t address,
                        std::uint32_t length, void* buffer);

 private:
  // One request; its result and the failure trace.
  HResult Send(const VendorReqDesc& desc, std::uint16_t value, std::uint16_t index, void* buffer,
               std::uint32_t length, std::uint32_t timeoutMs);
  // A request with an address: refused (kEInvalidArg) beyond the 20 address bits.
  HResult SendAddressed(const VendorReqDesc& desc, std::uint8_t param, std::uint32_t address,
                        std::uint32_t length, void* buffer);
  // The chunked operations: pieces of 4096 through `op` (the operation itself, through
  // the interface, so a derived transport's version runs), the rest with SendAddr.
  using ReadOp = HResult (CVendorCmdCommon::*)(std::uint32_t, std::uint32_t, std::uint8_t*,
                                               ProgressFn, void*);
  using WriteOp = HResult (CVendorCmdCommon::*)(std::uint32_t, std::uint32_t, const std::uint8_t*,
                                                ProgressFn, void*);
  HResult ChunkedRead(ReadOp op, const VendorReqDesc& desc, std::uint32_t addr, std::uint32_t len,
                      std::uint8_t* buf, ProgressFn fn, void* ctx);
  HResult ChunkedWrite(WriteOp op, const VendorReqDesc& desc, std::uint32_t addr, std::uint32_t len,
                       const std::uint8_t* buf, ProgressFn fn, void* ctx);
  // Size bytes of 0xFF written from address 0 through `write`.
  template <class Write>
  HResult Erase(std::uint32_t size, Write write);

  CamDevRecord* m_pDevice;
};

}  // namespace vantor
