// The vendor command set: everything the tool does to a device is one of these
// operations. Two transports implement them: extension-unit command blocks
// (CExtUnitBase / CExtUnit) and USB vendor control requests (CVendorRequestV2).
//
// The operations are declared in their fixed slot order; slots 38 to 47 are reserved
// and every transport returns kENotImpl for them. Addresses and lengths are unsigned
// 32-bit; "buf" is a caller-owned buffer of at least the given length; fn/ctx are the
// optional progress callback and its context. Every operation returns a result code of
// device/result_codes.h.
#pragma once

#include <cstdint>

#include "device/result_codes.h"

namespace vantor {

// Progress of long reads and writes: called after each completed transfer with the
// number of bytes that transfer moved. A null callback is not called.
using ProgressFn = void (*)(void* ctx, std::uint32_t bytes);

class CVendorCmdCommon {
 public:
  // Transports are owned by the device object and deleted through this interface.
  virtual ~CVendorCmdCommon() = default;

  // Slot 0: n bytes of the device status, in pages of 8 starting at page `first`.
  virtual HResult GetDevStatus(std::uint32_t first, std::uint8_t* buf, std::uint32_t n) = 0;
  // Slots 1 to 3: resets (the low 16 bits of the argument travel with the command).
  virtual HResult ResetToUpdateFW(std::uint32_t arg) = 0;
  virtual HResult ResetToNewCode(std::uint32_t arg) = 0;
  virtual HResult ResetToRom() = 0;
  // Slots 4 to 7: controller memories.
  virtual HResult ReadIMem(std::uint32_t addr, std::uint32_t len, std::uint8_t* buf, ProgressFn fn,
                           void* ctx) = 0;
  virtual HResult ReadMem(std::uint32_t addr, std::uint32_t len, std::uint8_t* buf, ProgressFn fn,
                          void* ctx) = 0;
  virtual HResult WriteMem(std::uint32_t addr, std::uint32_t len, const std::uint8_t* buf,
                           ProgressFn fn, void* ctx) = 0;
  virtual HResult ReadCode(std::uint32_t addr, std::uint32_t len, std::uint8_t* buf, ProgressFn fn,
                           void* ctx) = 0;
  // Slots 8, 9: PHY registers, one byte per command.
  virtual HResult ReadPhy(std::uint32_t addr, std::uint32_t len, std::uint8_t* buf) = 0;
  virtual HResult WritePhy(std::uint32_t addr, std::uint32_t len, const std::uint8_t* buf) = 0;
  // Slots 10 to 13: NOR flash.
  virtual HResult NorFlash_Erase() = 0;
  virtual HResult NorFlash_Read(std::uint32_t addr, std::uint32_t len, std::uint8_t* buf,
                                ProgressFn fn, void* ctx) = 0;
  virtual HResult NorFlash_Write(std::uint32_t addr, std::uint32_t len, const std::uint8_t* buf,
                                 ProgressFn fn, void* ctx) = 0;
  virtual HResult NorFlash_WriteTag() = 0;
  // Slots 14 to 21: SPI flash.
  virtual HResult SPI_SF_ReadID(std::uint8_t* id8) = 0;
  virtual HResult SPI_SF_Read(std::uint32_t addr, std::uint32_t len, std::uint8_t* buf,
                              std::uint8_t readMode, ProgressFn fn, void* ctx) = 0;
  virtual HResult SPI_SF_Write(std::uint32_t addr, std::uint32_t len, const std::uint8_t* buf,
                               ProgressFn fn, void* ctx) = 0;
  virtual HResult SPI_SF_ReadSr(std::uint8_t* status) = 0;
  virtual HResult SPI_SF_WriteSr(std::uint8_t value) = 0;
  virtual HResult SPI_SF_EraseChip(std::uint32_t timeoutMs) = 0;
  virtual HResult SPI_SF_EraseSector(std::uint32_t addr, std::uint32_t sectorSize) = 0;
  virtual HResult SPI_SF_WriteTag() = 0;
  // Slots 22 to 25: I2C EEPROM with 8-bit addresses.
  virtual HResult I2C_EEP8_Erase(std::uint32_t size) = 0;
  virtual HResult I2C_EEP8_Read(std::uint32_t addr, std::uint32_t len, std::uint8_t* buf,
                                ProgressFn fn, void* ctx) = 0;
  virtual HResult I2C_EEP8_Write(std::uint32_t addr, std::uint32_t len, const std::uint8_t* buf,
                                 ProgressFn fn, void* ctx) = 0;
  virtual HResult I2C_EEP8_WriteTag() = 0;
  // Slots 26 to 29: I2C EEPROM with 16-bit addresses.
  virtual HResult I2C_EEP16_Erase(std::uint32_t size) = 0;
  virtual HResult I2C_EEP16_Read(std::uint32_t addr, std::uint32_t len, std::uint8_t* buf,
                                 ProgressFn fn, void* ctx) = 0;
  virtual HResult I2C_EEP16_Write(std::uint32_t addr, std::uint32_t len, const std::uint8_t* buf,
                                  ProgressFn fn, void* ctx) = 0;
  virtual HResult I2C_EEP16_WriteTag() = 0;
  // Slots 30 to 33: auxiliary memory.
  virtual HResult Aux_Erase(std::uint32_t size) = 0;
  virtual HResult Aux_Read(std::uint32_t addr, std::uint32_t len, std::uint8_t* buf,
                           std::uint8_t mode, ProgressFn fn, void* ctx) = 0;
  virtual HResult Aux_Write(std::uint32_t addr, std::uint32_t len, const std::uint8_t* buf,
                            std::uint8_t mode, ProgressFn fn, void* ctx) = 0;
  virtual HResult Aux_WriteTag() = 0;
  // Slot 34: I2C read from a slave (one transfer).
  virtual HResult I2CRead(std::uint8_t slave, std::uint32_t len, std::uint8_t* buf) = 0;
  // Slot 35: I2C register read; width 1 or 2 bytes.
  virtual HResult I2CRead(std::uint32_t width, std::uint32_t reg, std::uint16_t* value) = 0;
  // Slot 36: I2C write to a slave (one transfer).
  virtual HResult I2CWrite(std::uint8_t slave, std::uint32_t len, const std::uint8_t* buf) = 0;
  // Slot 37: I2C register write; width 1 or 2 bytes. (Pass the value as a typed
  // std::uint16_t: a literal 0 would also match slot 36's pointer.)
  virtual HResult I2CWrite(std::uint32_t width, std::uint32_t reg, std::uint16_t value) = 0;
  // Slots 38 to 47: reserved.
  virtual HResult Reserved38(std::uint32_t a, std::uint32_t b, std::uint32_t c) = 0;
  virtual HResult Reserved39(std::uint32_t a, std::uint32_t b, std::uint32_t c) = 0;
  virtual HResult Reserved40(std::uint32_t a) = 0;
  virtual HResult Reserved41(std::uint32_t a) = 0;
  virtual HResult Reserved42(std::uint32_t a) = 0;
  virtual HResult Reserved43(std::uint32_t a) = 0;
  virtual HResult Reserved44(std::uint32_t a) = 0;
  virtual HResult Reserved45(std::uint32_t a) = 0;
  virtual HResult Reserved46(std::uint32_t a) = 0;
  virtual HResult Reserved47(std::uint32_t a) = 0;
  // Slots 48 to 53: I2C transfers of the general, random and super kinds.
  virtual HResult I2CGenRead(std::uint8_t slave, std::uint32_t len, std::uint8_t* buf) = 0;
  virtual HResult I2CGenWrite(std::uint8_t slave, std::uint32_t len, const std::uint8_t* buf) = 0;
  virtual HResult I2CRandomRead(std::uint8_t slave, std::uint32_t len, std::uint8_t* buf) = 0;
  virtual HResult I2CRandomWrite(std::uint8_t slave, std::uint32_t len,
                                 const std::uint8_t* buf) = 0;
  virtual HResult I2CSuperRead(std::uint8_t slave, std::uint32_t len, std::uint8_t* buf) = 0;
  virtual HResult I2CSuperWrite(std::uint8_t slave, std::uint32_t len, const std::uint8_t* buf) = 0;
  // Slots 54, 55: long I2C transfers in 64-byte pieces; the trailing values are passed
  // through unused.
  virtual HResult I2CLongRead(std::uint32_t slave, std::uint32_t reg, std::uint32_t len,
                              std::uint8_t* buf, std::uint32_t unused1, std::uint32_t unused2) = 0;
  virtual HResult I2CLongWrite(std::uint32_t slave, std::uint32_t reg, std::uint32_t unused0,
                               std::uint32_t len, const std::uint8_t* buf, std::uint32_t unused1,
                               std::uint32_t unused2) = 0;
  // Slots 56 to 60: OTP memory; the trailing values are unused.
  virtual HResult OTP_Write(std::uint32_t otpAddr, std::uint32_t len, std::uint32_t mode,
                            const std::uint8_t* buf, std::uint32_t unused1,
                            std::uint32_t unused2) = 0;
  virtual HResult OTP_Read(std::uint32_t otpAddr, std::uint32_t len, std::uint8_t* buf,
                           std::uint32_t unused1, std::uint32_t unused2) = 0;
  virtual HResult OTP_BlankCheck(std::uint32_t otpAddr, std::uint32_t len, std::uint8_t* buf,
                                 std::uint32_t unused1, std::uint32_t unused2) = 0;
  virtual HResult OTP_AllBlankCheck(std::uint32_t otpAddr, std::uint32_t len, std::uint8_t* buf,
                                    std::uint32_t unused1, std::uint32_t unused2) = 0;
  virtual HResult OTP_ReadProgramFailAdr(std::uint32_t len, std::uint8_t* buf) = 0;

 protected:
  // The EEPROM tag, the same on every transport: the single byte 0xA5 at address 1,
  // written with this transport's own I2C_EEP8_Write or I2C_EEP16_Write. Transports
  // implement slots 25 and 29 with these.
  static constexpr std::uint32_t kEepromTagAddress = 1;
  static constexpr std::uint8_t kEepromTagValue = 0xA5;
  HResult WriteEep8Tag() {
    static constexpr std::uint8_t tag = kEepromTagValue;
    return I2C_EEP8_Write(kEepromTagAddress, 1, &tag, nullptr, nullptr);
  }
  HResult WriteEep16Tag() {
    static constexpr std::uint8_t tag = kEepromTagValue;
    return I2C_EEP16_Write(kEepromTagAddress, 1, &tag, nullptr, nullptr);
  }
};

}  // namespace vantor
