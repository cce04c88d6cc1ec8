// The vendor commands of CExtUnitBase (slots 0 to 60, 67, 68): for each, its command
// block, its data phase and the labels its failures are reported under.
#include <algorithm>
#include <cstring>

#include "device/ext_unit_base.h"
#include "device/ext_unit_base_detail.h"
#include "platform/trace.h"

namespace vantor {

namespace {

using ext_unit_detail::AddressLabel;
using ext_unit_detail::CmdLabel;
using ext_unit_detail::DataLabel;
using ext_unit_detail::FixedLabel;
using ext_unit_detail::Hi;
using ext_unit_detail::kNoCmdStatus;
using ext_unit_detail::Lo;

constexpr std::uint32_t kI2CLongPiece = 64;
constexpr std::uint32_t kStatusPage = 8;

}  // namespace

// ---- Status and resets -----------------------------------------------------------------

HResult CExtUnitBase::GetDevStatus(std::uint32_t first, std::uint8_t* buf, std::uint32_t n) {
  bool failed = false;
  CSyncOperate guard(CommandLock(), &failed, "CExtUnitBase::GetDevStatus", CommandLockWaitMs());
  if (failed) return kLockNotObtained;
  const std::string cmdLabel = CmdLabel("GetDevStatus");
  const DataLabel dataLabel = FixedLabel("GetDevStatus GetData");
  const std::uint32_t pages = n / kStatusPage;
  const std::uint32_t rest = n % kStatusPage;
  for (std::uint32_t k = 0; k < pages + (rest != 0 ? 1 : 0); ++k) {
    HResult result = SendCmd(cmd::kGetDevStatus.With(Lo(first + k)), 1, cmdLabel);
    if (result != kSOk) return result;
    result = ReadSingle(buf + kStatusPage * k, k < pages ? kStatusPage : rest, dataLabel);
    if (result != kSOk) return result;
  }
  return kSOk;
}

HResult CExtUnitBase::ResetToUpdateFW(std::uint32_t arg) {
  return SimpleCommand("CExtUnitBase::ResetToUpdateFW", cmd::kResetToUpdateFW.With(Lo(arg)), 1,
                       CmdLabel("ResetToUpdateFW"));
}

HResult CExtUnitBase::ResetToNewCode(std::uint32_t arg) {
  return SimpleCommand("CExtUnitBase::ResetToNewCode", cmd::kResetToNewCode.With(Lo(arg)), 1,
                       CmdLabel("ResetToNewCode"));
}

HResult CExtUnitBase::ResetToRom() {
  return SimpleCommand("CExtUnitBase::ResetToRom", cmd::kResetToRom, 0, CmdLabel("ResetToRom"));
}

// ---- Controller memories ---------------------------------------------------------------

HResult CExtUnitBase::ReadIMem(std::uint32_t addr, std::uint32_t len, std::uint8_t* buf,
                               ProgressFn fn, void* ctx) {
  return SplitTransfer("CExtUnitBase::ReadIMem", cmd::kReadIMem, false, CmdLabel("ReadIMem"),
                       "ReadIMem", addr, len, buf, nullptr, fn, ctx);
}

HResult CExtUnitBase::ReadMem(std::uint32_t addr, std::uint32_t len, std::uint8_t* buf,
                              ProgressFn fn, void* ctx) {
  return SplitTransfer("CExtUnitBase::ReadMem", cmd::kReadMem, false, CmdLabel("ReadMem"),
                       "ReadMem", addr, len, buf, nullptr, fn, ctx);
}

HResult CExtUnitBase::WriteMem(std::uint32_t addr, std::uint32_t len, const std::uint8_t* buf,
                               ProgressFn fn, void* ctx) {
  return SplitTransfer("CExtUnitBase::WriteMem", cmd::kWriteMem, false, CmdLabel("WriteMem"),
                       "WriteMem", addr, len, nullptr, buf, fn, ctx);
}

HResult CExtUnitBase::ReadCode(std::uint32_t addr, std::uint32_t len, std::uint8_t* buf,
                               ProgressFn fn, void* ctx) {
  return SplitTransfer("CExtUnitBase::ReadCode", cmd::kReadCode, false, CmdLabel("ReadCode"),
                       "ReadCode", addr, len, buf, nullptr, fn, ctx);
}

// One command and one single transfer per byte; the data buffer is cleared once.
HResult CExtUnitBase::ReadPhy(std::uint32_t addr, std::uint32_t len, std::uint8_t* buf) {
  if (len == 0) return kSOk;
  bool failed = false;
  CSyncOperate guard(CommandLock(), &failed, "CExtUnitBase::ReadPhy", CommandLockWaitMs());
  if (failed) return kLockNotObtained;
  const std::string cmdLabel = CmdLabel("ReadPhy");
  std::memset(DataBuffer(), 0, DataControlSize());
  for (std::uint32_t i = 0; i < len; ++i) {
    HResult result = SendCmd(cmd::kReadPhy.With(Lo(addr + i)), 1, cmdLabel);
    if (result != kSOk) return result;
    result = GetData(DataBuffer());
    if (result != kSOk) {
      ReportCmdError(AddressLabel("ReadPhy", false, addr + i).Make(0), result);
      return result;
    }
    buf[i] = DataBuffer()[0];
  }
  return kSOk;
}

HResult CExtUnitBase::WritePhy(std::uint32_t addr, std::uint32_t len, const std::uint8_t* buf) {
  if (len == 0) return kSOk;
  bool failed = false;
  CSyncOperate guard(CommandLock(), &failed, "CExtUnitBase::WritePhy", CommandLockWaitMs());
  if (failed) return kLockNotObtained;
  const std::string cmdLabel = CmdLabel("WritePhy");
  std::memset(DataBuffer(), 0, DataControlSize());
  for (std::uint32_t i = 0; i < len; ++i) {
    HResult result = SendCmd(cmd::kWritePhy.With(Lo(addr + i)), 1, cmdLabel);
    if (result != kSOk) return result;
    DataBuffer()[0] = buf[i];
    result = SetData(DataBuffer());
    if (result != kSOk) {
      ReportCmdError(AddressLabel("WritePhy", true, addr + i).Make(0), result);
      return result;
    }
  }
  return kSOk;
}

// ---- NOR flash ---------------------------------------------------------------------------

HResult CExtUnitBase::NorFlash_Erase() {
  return SimpleCommand("CExtUnitBase::NorFlash_Erase", cmd::kNorFlashErase, 0, "EraseFlash SetCmd");
}

HResult CExtUnitBase::NorFlash_Read(std::uint32_t addr, std::uint32_t len, std::uint8_t* buf,
                                    ProgressFn fn, void* ctx) {
  return SplitTransfer("CExtUnitBase::NorFlash_Read", cmd::kNorFlashRead, false,
                       CmdLabel("NorFlash_Read"), "NorFlash_Read", addr, len, buf, nullptr, fn,
                       ctx);
}

HResult CExtUnitBase::NorFlash_Write(std::uint32_t addr, std::uint32_t len, const std::uint8_t* buf,
                                     ProgressFn fn, void* ctx) {
  return SplitTransfer("CExtUnitBase::NorFlash_Write", cmd::kNorFlashWrite, false,
                       "WriteFlash SetCmd", "NorFlash_Write", addr, len, nullptr, buf, fn, ctx);
}

HResult CExtUnitBase::NorFlash_WriteTag() {
  return SimpleCommand("CExtUnitBase::NorFlash_WriteTag", cmd::kNorFlashWriteTag, 0,
                       CmdLabel("NorFlash_WriteTag"));
}

// ---- SPI flash ---------------------------------------------------------------------------

HResult CExtUnitBase::SPI_SF_ReadID(std::uint8_t* id8) {
  return SingleCommand("CExtUnitBase::SPI_SF_ReadID", cmd::kSpiReadId, 0,
                       "SPI_SF_ReadID SetCmd failed", id8, nullptr, 8,
                       FixedLabel("SPI_SF_ReadID GetData"));
}

HResult CExtUnitBase::SPI_SF_Read(std::uint32_t addr, std::uint32_t len, std::uint8_t* buf,
                                  std::uint8_t /*readMode*/, ProgressFn fn, void* ctx) {
  return SplitTransfer("CExtUnitBase::SPI_SF_Read", cmd::kSpiRead, true, CmdLabel("SPI_SF_Read"),
                       "SPI_SF_Read", addr, len, buf, nullptr, fn, ctx);
}

HResult CExtUnitBase::SPI_SF_Write(std::uint32_t addr, std::uint32_t len, const std::uint8_t* buf,
                                   ProgressFn fn, void* ctx) {
  return SplitTransfer("CExtUnitBase::SPI_SF_Write", cmd::kSpiWrite, true, CmdLabel("SPI_SF_Write"),
                       "SPI_SF_Write", addr, len, nullptr, buf, fn, ctx);
}

HResult CExtUnitBase::SPI_SF_ReadSr(std::uint8_t* status) {
  return SingleCommand("CExtUnitBase::SPI_SF_ReadSr", cmd::kSpiReadSr, 0, CmdLabel("SPI_SF_ReadSr"),
                       status, nullptr, 1, FixedLabel("SPI_SF_ReadSr GetData"));
}

HResult CExtUnitBase::SPI_SF_WriteSr(std::uint8_t value) {
  return SingleCommand("CExtUnitBase::SPI_SF_WriteSr", cmd::kSpiWriteSr, 0,
                       CmdLabel("SPI_SF_WriteSr"), nullptr, &value, 1,
                       FixedLabel("SPI_SF_WriteSr SetData"));
}

HResult CExtUnitBase::SPI_SF_EraseChip(std::uint32_t /*timeoutMs*/) {
  return SimpleCommand("CExtUnitBase::SPI_SF_EraseChip", cmd::kSpiEraseChip, 0,
                       CmdLabel("SPI_SF_EraseChip"));
}

HResult CExtUnitBase::SPI_SF_EraseSector(std::uint32_t addr, std::uint32_t sectorSize) {
  // A sector address must be a multiple of the sector size; checked before the lock.
  if (sectorSize == 0 || addr % sectorSize != 0) return kEInvalidArg;
  return SimpleCommand("CExtUnitBase::SPI_SF_EraseSector",
                       cmd::kSpiEraseSector.With(Lo(addr), 0, Hi(addr)), 3,
                       CmdLabel("SPI_SF_EraseSector"));
}

HResult CExtUnitBase::SPI_SF_WriteTag() {
  return SimpleCommand("CExtUnitBase::SPI_SF_WriteTag", cmd::kSpiWriteTag, 0,
                       CmdLabel("SPI_SF_WriteTag"));
}

// ---- I2C EEPROM --------------------------------------------------------------------------

HResult CExtUnitBase::I2C_EEP8_Erase(std::uint32_t size) {
  return EraseEeprom("CExtUnitBase::I2C_EEP8_Erase", cmd::kEep8Write, "I2C_EEP8_Write", size);
}

HResult CExtUnitBase::I2C_EEP8_Read(std::uint32_t addr, std::uint32_t len, std::uint8_t* buf,
                                    ProgressFn fn, void* ctx) {
  return SplitTransfer("CExtUnitBase::I2C_EEP8_Read", cmd::kEep8Read, true,
                       CmdLabel("I2C_EEP8_Read"), "I2C_EEP8_Read", addr, len, buf, nullptr, fn,
                       ctx);
}

HResult CExtUnitBase::I2C_EEP8_Write(std::uint32_t addr, std::uint32_t len, const std::uint8_t* buf,
                                     ProgressFn fn, void* ctx) {
  return SplitTransfer("CExtUnitBase::I2C_EEP8_Write", cmd::kEep8Write, true,
                       CmdLabel("I2C_EEP8_Write"), "I2C_EEP8_Write", addr, len, nullptr, buf, fn,
                       ctx);
}

HResult CExtUnitBase::I2C_EEP8_WriteTag() { return WriteEep8Tag(); }

HResult CExtUnitBase::I2C_EEP16_Erase(std::uint32_t size) {
  return EraseEeprom("CExtUnitBase::I2C_EEP16_Erase", cmd::kEep16Write, "I2C_EEP16_Write", size);
}

HResult CExtUnitBase::I2C_EEP16_Read(std::uint32_t addr, std::uint32_t len, std::uint8_t* buf,
                                     ProgressFn fn, void* ctx) {
  return SplitTransfer("CExtUnitBase::I2C_EEP16_Read", cmd::kEep16Read, true,
                       CmdLabel("I2C_EEP16_Read"), "I2C_EEP16_Read", addr, len, buf, nullptr, fn,
                       ctx);
}

HResult CExtUnitBase::I2C_EEP16_Write(std::uint32_t addr, std::uint32_t len,
                                      const std::uint8_t* buf, ProgressFn fn, void* ctx) {
  return SplitTransfer("CExtUnitBase::I2C_EEP16_Write", cmd::kEep16Write, true,
                       CmdLabel("I2C_EEP16_Write"), "I2C_EEP16_Write", addr, len, nullptr, buf, fn,
                       ctx);
}

HResult CExtUnitBase::I2C_EEP16_WriteTag() { return WriteEep16Tag(); }

// ---- Auxiliary memory and reserved slots: not carried by command blocks ----------------

HResult CExtUnitBase::Aux_Erase(std::uint32_t) { return kENotImpl; }
HResult CExtUnitBase::Aux_Read(std::uint32_t, std::uint32_t, std::uint8_t*, std::uint8_t,
                               ProgressFn, void*) {
  return kENotImpl;
}
HResult CExtUnitBase::Aux_Write(std::uint32_t, std::uint32_t, const std::uint8_t*, std::uint8_t,
                                ProgressFn, void*) {
  return kENotImpl;
}
HResult CExtUnitBase::Aux_WriteTag() { return kENotImpl; }
HResult CExtUnitBase::Reserved38(std::uint32_t, std::uint32_t, std::uint32_t) { return kENotImpl; }
HResult CExtUnitBase::Reserved39(std::uint32_t, std::uint32_t, std::uint32_t) { return kENotImpl; }
HResult CExtUnitBase::Reserved40(std::uint32_t) { return kENotImpl; }
HResult CExtUnitBase::Reserved41(std::uint32_t) { return kENotImpl; }
HResult CExtUnitBase::Reserved42(std::uint32_t) { return kENotImpl; }
HResult CExtUnitBase::Reserved43(std::uint32_t) { return kENotImpl; }
HResult CExtUnitBase::Reserved44(std::uint32_t) { return kENotImpl; }
HResult CExtUnitBase::Reserved45(std::uint32_t) { return kENotImpl; }
HResult CExtUnitBase::Reserved46(std::uint32_t) { return kENotImpl; }
HResult CExtUnitBase::Reserved47(std::uint32_t) { return kENotImpl; }
HResult CExtUnitBase::Reserved64(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                                 std::uint32_t) {
  return kENotImpl;
}
HResult CExtUnitBase::Reserved65(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                                 std::uint32_t) {
  return kENotImpl;
}

// ---- I2C ---------------------------------------------------------------------------------

HResult CExtUnitBase::I2CRead(std::uint8_t slave, std::uint32_t len, std::uint8_t* buf) {
  if (len > DataControlSize()) return kEInvalidArg;
  return SingleCommand("CExtUnitBase::I2CRead", cmd::kI2CRead.With(slave, Lo(len)), 2,
                       CmdLabel("I2CRead"), buf, nullptr, len,
                       {"I2CRead GetData SlaveAddr=0x%02X", slave, false});
}

HResult CExtUnitBase::I2CRead(std::uint32_t width, std::uint32_t reg, std::uint16_t* value) {
  std::uint8_t bytes[2] = {};
  HResult result =
      BlockCommand("CExtUnitBase::I2CRead", cmd::kI2CRegRead.With(Lo(reg), 2, Hi(reg)), 3,
                   CmdLabel("I2CRead"), bytes, nullptr, 2, AddressLabel("I2CRead", false, reg));
  if (result != kSOk) return result;
  // A one-byte register has no high byte, whatever the device sent there.
  *value = static_cast<std::uint16_t>(bytes[0] | (width == 1 ? 0 : bytes[1] << 8));
  return kSOk;
}

HResult CExtUnitBase::I2CWrite(std::uint8_t slave, std::uint32_t len, const std::uint8_t* buf) {
  if (len > DataControlSize()) return kEInvalidArg;
  return SingleCommand("CExtUnitBase::I2CWrite", cmd::kI2CWrite.With(slave, Lo(len)), 2,
                       CmdLabel("I2CWrite"), nullptr, buf, len,
                       {"I2CWrite SetData SlaveAddr=0x%02X", slave, false});
}

HResult CExtUnitBase::I2CWrite(std::uint32_t width, std::uint32_t reg, std::uint16_t value) {
  if (width == 1) value &= 0xFF;
  const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(value & 0xFF),
                                 static_cast<std::uint8_t>(value >> 8)};
  return BlockCommand("CExtUnitBase::I2CWrite", cmd::kI2CRegWrite.With(Lo(reg), 2, Hi(reg)), 3,
                      CmdLabel("I2CWrite"), nullptr, bytes, 2, AddressLabel("I2CWrite", true, reg));
}

HResult CExtUnitBase::I2CGenRead(std::uint8_t slave, std::uint32_t len, std::uint8_t* buf) {
  return BlockCommand("CExtUnitBase::I2CGenRead", cmd::kI2CRead.With(slave, Lo(len)), 2,
                      CmdLabel("I2CGenRead"), buf, nullptr, len,
                      {"I2CGenRead GetData Addr=0x%02X", 0, true});
}

HResult CExtUnitBase::I2CGenWrite(std::uint8_t slave, std::uint32_t len, const std::uint8_t* buf) {
  return BlockCommand("CExtUnitBase::I2CGenWrite", cmd::kI2CWrite.With(slave, Lo(len)), 2,
                      "I2CGenWrite", nullptr, buf, len,
                      {"I2CGenWrite SetData Addr=0x%02X", 0, true});
}

HResult CExtUnitBase::I2CRandomRead(std::uint8_t slave, std::uint32_t len, std::uint8_t* buf) {
  if (len > DataControlSize()) return kEInvalidArg;
  return SingleCommand("CExtUnitBase::I2CRandomRead", cmd::kI2CRandomRead.With(slave, Lo(len)), 2,
                       CmdLabel("I2CRandomRead"), buf, nullptr, len,
                       {"I2CRandomRead GetData SlaveAddr=0x%02X", slave, false});
}

HResult CExtUnitBase::I2CRandomWrite(std::uint8_t slave, std::uint32_t len,
                                     const std::uint8_t* buf) {
  if (len > DataControlSize()) return kEInvalidArg;
  return SingleCommand("CExtUnitBase::I2CRandomWrite", cmd::kI2CRandomWrite.With(slave, Lo(len)), 2,
                       "I2CRandomWrite", nullptr, buf, len,
                       {"I2CRandomWrite SetData SlaveAddr=0x%02X", slave, false});
}

HResult CExtUnitBase::I2CSuperRead(std::uint8_t slave, std::uint32_t len, std::uint8_t* buf) {
  return BlockCommand("CExtUnitBase::I2CSuperRead", cmd::kI2CSuperRead.With(slave, Lo(len)), 2,
                      CmdLabel("I2CSuperRead"), buf, nullptr, len,
                      {"I2CSuperRead GetData SlaveAddr=0x%02X", slave, true});
}

HResult CExtUnitBase::I2CSuperWrite(std::uint8_t slave, std::uint32_t len,
                                    const std::uint8_t* buf) {
  return BlockCommand("CExtUnitBase::I2CSuperWrite", cmd::kI2CSuperWrite.With(slave, Lo(len)), 2,
                      "I2CSuperWrite", nullptr, buf, len,
                      {"I2CSuperWrite SetData SlaveAddr=0x%02X", slave, true});
}

// Pieces of at most 64 bytes, each through a 64-byte local buffer; the register advances
// with the pieces.
HResult CExtUnitBase::I2CLongRead(std::uint32_t slave, std::uint32_t reg, std::uint32_t len,
                                  std::uint8_t* buf, std::uint32_t, std::uint32_t) {
  bool failed = false;
  CSyncOperate guard(CommandLock(), &failed, "CExtUnitBase::I2CLongRead", CommandLockWaitMs());
  if (failed) return kLockNotObtained;
  do {
    const std::uint32_t piece = std::min(len, kI2CLongPiece);
    std::uint8_t local[kI2CLongPiece] = {};
    HResult result = CommandWithBlock(cmd::kI2CLongRead.With(Lo(reg), Lo(piece), Lo(slave)), 3,
                                      "I2CLongRead", local, nullptr, piece, nullptr, nullptr,
                                      {"I2CLongRead GetData 0x%x", Lo(reg), true});
    if (result != kSOk) return result;
    std::memcpy(buf, local, piece);
    reg += piece;
    buf += piece;
    len -= piece;
  } while (len > 0);
  return kSOk;
}

// The register field carries the register's low 16 bits, as I2CLongRead sends it.
HResult CExtUnitBase::I2CLongWrite(std::uint32_t slave, std::uint32_t reg, std::uint32_t,
                                   std::uint32_t len, const std::uint8_t* buf, std::uint32_t,
                                   std::uint32_t) {
  bool failed = false;
  CSyncOperate guard(CommandLock(), &failed, "CExtUnitBase::I2CLongWrite", CommandLockWaitMs());
  if (failed) return kLockNotObtained;
  do {
    const std::uint32_t piece = std::min(len, kI2CLongPiece);
    std::uint8_t local[kI2CLongPiece] = {};
    if (piece != 0) std::memcpy(local, buf, piece);
    HResult result = CommandWithBlock(cmd::kI2CLongWrite.With(Lo(reg), Lo(piece), Lo(slave)), 3,
                                      "I2CLongWrite", nullptr, local, piece, nullptr, nullptr,
                                      {"I2CLongWrite SetData 0x%x", Lo(reg), true});
    if (result != kSOk) return result;
    reg += piece;
    buf += piece;
    len -= piece;
  } while (len > 0);
  return kSOk;
}

// ---- OTP ---------------------------------------------------------------------------------

// The device API reads the last command status after every OTP write: 0 on success, the
// device's status code after a failure, 0xFF when none could be fetched.
HResult CExtUnitBase::OTP_Write(std::uint32_t otpAddr, std::uint32_t len, std::uint32_t mode,
                                const std::uint8_t* buf, std::uint32_t, std::uint32_t) {
  m_byLastCmdStatus = 0;
  if (len > 0xFFFF) return kEInvalidArg;
  bool failed = false;
  CSyncOperate guard(CommandLock(), &failed, "CExtUnitBase::OTP_Write", CommandLockWaitMs());
  if (failed) {
    m_byLastCmdStatus = kNoCmdStatus;
    return kLockNotObtained;
  }
  return CommandWithBlock(cmd::kOtpWrite.With(Lo(otpAddr), Lo(len), Lo(mode)), 3, "OTPWrite SetCmd",
                          nullptr, buf, len, nullptr, nullptr, {"OTPWrite SetData 0x%X", 0, true});
}

HResult CExtUnitBase::OTP_Read(std::uint32_t otpAddr, std::uint32_t len, std::uint8_t* buf,
                               std::uint32_t, std::uint32_t) {
  return BlockCommand("CExtUnitBase::OTP_Read", cmd::kOtpRead.With(Lo(otpAddr), Lo(len)), 2,
                      "OTPRead SetCmd", buf, nullptr, len, {"OTPRead GetData 0x%X", 0, true});
}

HResult CExtUnitBase::OTP_BlankCheck(std::uint32_t otpAddr, std::uint32_t len, std::uint8_t* buf,
                                     std::uint32_t, std::uint32_t) {
  return BlockCommand("CExtUnitBase::OTP_BlankCheck",
                      cmd::kOtpBlankCheck.With(Lo(otpAddr), Lo(len)), 2, "OTPBlankCheck SetCmd",
                      buf, nullptr, len, {"OTPBlankCheck GetData 0x%X", 0, true});
}

HResult CExtUnitBase::OTP_AllBlankCheck(std::uint32_t otpAddr, std::uint32_t len, std::uint8_t* buf,
                                        std::uint32_t, std::uint32_t) {
  return BlockCommand(
      "CExtUnitBase::OTP_AllBlankCheck", cmd::kOtpAllBlankCheck.With(Lo(otpAddr), 8, Lo(len)), 3,
      "OTPAllBlankCheck SetCmd", buf, nullptr, len, {"OTPAllBlankCheck GetData 0x%X", 0, true});
}

HResult CExtUnitBase::OTP_ReadProgramFailAdr(std::uint32_t len, std::uint8_t* buf) {
  return BlockCommand("CExtUnitBase::OTP_ReadProgramFailAdr", cmd::kOtpReadProgramFailAdr, 0,
                      "OTPPrgmFailAddr SetCmd", buf, nullptr, len,
                      {"OTPPrgmFailAddr GetData 0x%X", 0, true});
}

HResult CExtUnitBase::OTPTestDec(std::uint32_t otpAddr, std::uint32_t len, std::uint8_t* buf) {
  return BlockCommand("CExtUnitBase::OTPTestDec", cmd::kOtpTestDec.With(Lo(otpAddr), Lo(len)), 2,
                      CmdLabel("OTPTestDec"), buf, nullptr, len,
                      {"OTPTestDec GetData 0x%x", Lo(otpAddr), true});
}

HResult CExtUnitBase::OTPWriteTest(std::uint32_t otpAddr, std::uint32_t mode, std::uint32_t len,
                                   const std::uint8_t* buf) {
  return BlockCommand(
      "CExtUnitBase::OTPWriteTest", cmd::kOtpWriteTest.With(Lo(otpAddr), Lo(len), Lo(mode)), 3,
      "OTPWriteST SetCmd", nullptr, buf, len, {"OTPWriteST SetData 0x%x", Lo(otpAddr), true});
}

}  // namespace vantor
