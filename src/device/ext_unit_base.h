// The command-block transport family: every vendor command as an eight-byte command
// block, an optional data phase and, after a failure, the device's command status.
// CExtUnitBase implements the whole command set over a handful of transport primitives
// (SetCmd, GetCmdStatus, single GetData/SetData, ChangeDataControlSize); CExtUnit
// implements those as class requests to the device's extension unit.
//
// Every command holds the cross-process command lock for its whole duration; when the
// lock cannot be obtained the command sends nothing and returns kLockNotObtained (1).
// A failed transfer is explained by ReportCmdError (command status read, trace) and its
// code returned; nothing is retried at this level.
//
// Derived classes that override one GetData/SetData/SetCmd overload hide the others:
// add `using CExtUnitBase::GetData;` (and SetData, SetCmd).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "device/cmd_block.h"
#include "device/sync_operate.h"
#include "device/vendor_cmd_common.h"

namespace vantor {

namespace platform {
class NamedMutex;
}

// The record of an opened device (defined with device enumeration); transports point to
// it and never own it.
struct CamDevRecord;

namespace ext_unit_detail {
struct DataLabel;
}

class CExtUnitBase : public CVendorCmdCommon {
 public:
  static constexpr std::uint32_t kDataBufferSize = 1024;
  static constexpr std::uint32_t kInitialDataControlSize = 8;

  // Opens (or creates) the command lock by name. The name and the wait exist as
  // parameters for tests; the tool always uses kCmdLockName and kCmdLockWaitMs.
  CExtUnitBase(CamDevRecord* device, std::uint32_t unitId,
               const std::wstring& lockName = kCmdLockName,
               std::uint32_t lockWaitMs = kCmdLockWaitMs);
  // Slot 61: closes the lock handle.
  ~CExtUnitBase() override;
  CExtUnitBase(const CExtUnitBase&) = delete;
  CExtUnitBase& operator=(const CExtUnitBase&) = delete;

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
  // readMode is used only by the vendor-request transport.
  HResult SPI_SF_Read(std::uint32_t addr, std::uint32_t len, std::uint8_t* buf,
                      std::uint8_t readMode, ProgressFn fn, void* ctx) override;
  HResult SPI_SF_Write(std::uint32_t addr, std::uint32_t len, const std::uint8_t* buf,
                       ProgressFn fn, void* ctx) override;
  HResult SPI_SF_ReadSr(std::uint8_t* status) override;
  HResult SPI_SF_WriteSr(std::uint8_t value) override;
  // timeoutMs is used only by the vendor-request transport.
  HResult SPI_SF_EraseChip(std::uint32_t timeoutMs) override;
  // kEInvalidArg, before the lock, when addr is not a multiple of sectorSize (or
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
  // Single-transfer forms (slots 34, 36, 50, 51): the whole exchange is one transfer, so
  // they return kEInvalidArg when len exceeds the data control size.
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

  // ---- Slots 62 to 68 ----
  // Explains a failure: fetches the command status (unless the device is gone), sends
  // the FF block, stores the status code for GetLastCmdStatus and traces
  // "<label>Device not connected", "<label> error <code>, <status name>" or
  // "<label> error <code>, and fail to get err_code <code2>".
  virtual void ReportCmdError(const std::wstring& label, HResult code);
  // True when the device answers 00 D0 with the vendor signature.
  virtual bool DevQualify();
  virtual HResult Reserved64(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                             std::uint32_t e);
  virtual HResult Reserved65(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                             std::uint32_t e);
  // Asks the device for another data control size; *size is in/out. Implemented by the
  // transport, which must keep the size within kDataBufferSize (SetDataControlSize).
  virtual bool ChangeDataControlSize(std::uint16_t* size) = 0;
  virtual HResult OTPTestDec(std::uint32_t otpAddr, std::uint32_t len, std::uint8_t* buf);
  virtual HResult OTPWriteTest(std::uint32_t otpAddr, std::uint32_t mode, std::uint32_t len,
                               const std::uint8_t* buf);

  // ---- Slots 69 to 79: transport primitives and block transfers ----
  // Slots 69 to 72 (pure): write the given fields (p1; p1, p2; p1, p2, p3; none) into the
  // template, send the 8 bytes as the command phase. 0 or a failure code.
  virtual HResult SetCmd(const CmdBlock& tmpl, std::uint16_t p1, std::uint16_t p2,
                         std::uint16_t p3) = 0;
  virtual HResult SetCmd(const CmdBlock& tmpl, std::uint16_t p1, std::uint16_t p2) = 0;
  virtual HResult SetCmd(const CmdBlock& tmpl, std::uint16_t p1) = 0;
  virtual HResult SetCmd(const CmdBlock& tmpl) = 0;
  // Slot 73 (pure): reads the 8-byte command status into status8.
  virtual HResult GetCmdStatus(std::uint8_t* status8) = 0;
  // Slot 74: block read of len bytes: len / S transfers straight into buf, then the
  // remainder through the cleared data buffer (S = DataControlSize()). fn (if any) sees
  // S after every full transfer and the remainder after the last. On failure *done (if
  // given) is S times the full transfers completed; on success it is not written.
  virtual HResult GetData(std::uint8_t* buf, std::uint16_t len, std::uint32_t* done, ProgressFn fn,
                          void* ctx);
  // Slot 75: slot 74 without progress.
  virtual HResult GetData(std::uint8_t* buf, std::uint16_t len, std::uint32_t* done);
  // Slot 76 (pure): one data-phase transfer of exactly DataControlSize() bytes into buf.
  virtual HResult GetData(std::uint8_t* buf) = 0;
  // Slots 77, 78: block writes, as slots 74, 75; the remainder goes out zero padded.
  virtual HResult SetData(const std::uint8_t* buf, std::uint16_t len, std::uint32_t* done,
                          ProgressFn fn, void* ctx);
  virtual HResult SetData(const std::uint8_t* buf, std::uint16_t len, std::uint32_t* done);
  // Slot 79 (pure): one data-phase transfer of exactly DataControlSize() bytes from buf.
  virtual HResult SetData(const std::uint8_t* buf) = 0;

  // The status code fetched by the last ReportCmdError; 0xFF when none could be fetched.
  std::uint8_t GetLastCmdStatus() const { return m_byLastCmdStatus; }
  std::uint32_t DataControlSize() const { return m_dwDataCtrlSize; }
  std::uint32_t UnitId() const { return m_dwUnitId; }
  CamDevRecord* Device() const { return m_pDevice; }

 protected:
  // Sets the bytes one data transfer moves; false (size unchanged) when size is 0 or
  // larger than the data buffer.
  bool SetDataControlSize(std::uint32_t size);
  // The exchange area of single transfers, status reads and partial blocks.
  std::uint8_t* DataBuffer() { return m_DataBuf.data(); }
  // The command lock (null when it could not be created) and the wait for it.
  platform::NamedMutex* CommandLock() const { return m_pSyncMutex.get(); }
  std::uint32_t CommandLockWaitMs() const { return m_dwLockWaitMs; }

 private:
  using DataLabel = ext_unit_detail::DataLabel;

  // Command phase through the SetCmd overload that fills `fields` fields of the block
  // (0 to 3); a failure is reported under label and returned.
  HResult SendCmd(const CmdBlock& filled, int fields, const std::string& label);
  // The block transfer of slots 74 and 77: into `in` when it is given, else from `out`.
  HResult BlockTransfer(std::uint8_t* in, const std::uint8_t* out, std::uint16_t len,
                        std::uint32_t* done, ProgressFn fn, void* ctx);
  // Single transfers through the data buffer (count bytes copied out or in).
  HResult ReadSingle(std::uint8_t* out, std::uint32_t count, const DataLabel& label);
  HResult WriteSingle(const std::uint8_t* in, std::uint32_t count, const DataLabel& label);
  // A command block then one block transfer of len bytes: into `in` when it is given,
  // else from `out`. No lock handling.
  HResult CommandWithBlock(const CmdBlock& filled, int fields, const std::string& cmdLabel,
                           std::uint8_t* in, const std::uint8_t* out, std::uint32_t len,
                           ProgressFn fn, void* ctx, const DataLabel& label);
  // Whole operations under the lock (label `scope`):
  // a command without data phase;
  HResult SimpleCommand(const char* scope, const CmdBlock& filled, int fields,
                        const std::string& label);
  // an addressed block transfer split at 0x8000 (length 0: nothing, 0); the address
  // goes to p1 and, withHigh, its high half to p3;
  HResult SplitTransfer(const char* scope, const CmdBlock& tmpl, bool withHigh,
                        const std::string& cmdLabel, const char* name, std::uint32_t addr,
                        std::uint32_t len, std::uint8_t* in, const std::uint8_t* out, ProgressFn fn,
                        void* ctx);
  // one block transfer (kEInvalidArg above 0xFFFF bytes);
  HResult BlockCommand(const char* scope, const CmdBlock& filled, int fields,
                       const std::string& cmdLabel, std::uint8_t* in, const std::uint8_t* out,
                       std::uint32_t len, const DataLabel& label);
  // one single transfer of count bytes (at most 8, or checked against the data control
  // size by the caller);
  HResult SingleCommand(const char* scope, const CmdBlock& filled, int fields,
                        const std::string& cmdLabel, std::uint8_t* in, const std::uint8_t* out,
                        std::uint32_t count, const DataLabel& label);
  // an EEPROM erase: 0xFF written with the write command and labels of writeName.
  HResult EraseEeprom(const char* scope, const CmdBlock& writeTmpl, const char* writeName,
                      std::uint32_t size);

  std::array<std::uint8_t, kDataBufferSize> m_DataBuf{};
  std::uint32_t m_dwDataCtrlSize = kInitialDataControlSize;
  [[maybe_unused]] std::uint32_t m_dwReserved = 0;  // kept for the record layout; unused
  std::unique_ptr<platform::NamedMutex> m_pSyncMutex;
  std::uint32_t m_dwLockWaitMs;
  std::uint8_t m_byLastCmdStatus = 0;
  std::uint32_t m_dwUnitId;
  CamDevRecord* m_pDevice;
};

}  // namespace vantor
