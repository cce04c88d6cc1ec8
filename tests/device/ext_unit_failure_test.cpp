// Failures of the command-block transport: the label each command reports under, the
// explanation ReportCmdError fetches from the device, and the last command status.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "device/ext_unit_base.h"
#include "support/cmd_recorder.h"
#include "support/debug_capture.h"

namespace vantor {
namespace {

using test::BlockBytes;
using test::CmdKind;
using test::CmdRecorder;
using Bytes = CmdBlock::Bytes;

constexpr HResult kGenFailure = static_cast<HResult>(0x8007001Fu);  // platform error 31

// The trace line of a failure explained by status 9 (hardware error).
std::string Explained(const std::string& label) {
  return label + " error 8007001f, VCMD_STS_HW_ERR\r\n";
}

struct FailureCase {
  const char* label;  // the label the failure must be reported under
  CmdKind kind;       // the primitive that fails
  int skip;           // calls of that kind that succeed before it
  std::function<HResult(CmdRecorder&)> call;
};

// Each command's failure labels: the common rule, and the exceptions.
TEST(ExtUnitBaseFailures, EachFailureIsReportedUnderItsLabel) {
  std::vector<std::uint8_t> in(0x20000);
  const std::vector<std::uint8_t> out(0x20000, 0x5A);
  std::uint8_t* b = in.data();
  const std::uint8_t* o = out.data();
  std::uint16_t value = 0;
  const FailureCase cases[] = {
      {"GetDevStatus SetCmd", CmdKind::SetCmd, 1,
       [&](auto& r) { return r.GetDevStatus(0, b, 24); }},
      {"GetDevStatus GetData", CmdKind::GetData, 2,
       [&](auto& r) { return r.GetDevStatus(0, b, 24); }},
      {"ResetToUpdateFW SetCmd", CmdKind::SetCmd, 0, [&](auto& r) { return r.ResetToUpdateFW(1); }},
      {"ResetToRom SetCmd", CmdKind::SetCmd, 0, [&](auto& r) { return r.ResetToRom(); }},
      {"ReadMem SetCmd", CmdKind::SetCmd, 0,
       [&](auto& r) { return r.ReadMem(0x1000, 20, b, nullptr, nullptr); }},
      // The partial transfer after two full ones: 16 bytes done.
      {"ReadMem GetData 0x1010", CmdKind::GetData, 2,
       [&](auto& r) { return r.ReadMem(0x1000, 20, b, nullptr, nullptr); }},
      {"ReadIMem GetData 0x20", CmdKind::GetData, 0,
       [&](auto& r) { return r.ReadIMem(0x20, 8, b, nullptr, nullptr); }},
      {"ReadCode GetData 0x28", CmdKind::GetData, 1,
       [&](auto& r) { return r.ReadCode(0x20, 16, b, nullptr, nullptr); }},
      {"WriteMem SetData 0x1008", CmdKind::SetData, 1,
       [&](auto& r) { return r.WriteMem(0x1000, 20, o, nullptr, nullptr); }},
      // Second piece of a split read, its first transfer: the piece's own address.
      {"ReadMem GetData 0x8000", CmdKind::GetData, 0x1000,
       [&](auto& r) { return r.ReadMem(0, 0x18000, b, nullptr, nullptr); }},
      {"ReadPhy SetCmd", CmdKind::SetCmd, 1, [&](auto& r) { return r.ReadPhy(0x200, 3, b); }},
      {"ReadPhy GetData 0x201", CmdKind::GetData, 1,
       [&](auto& r) { return r.ReadPhy(0x200, 3, b); }},
      {"WritePhy SetData 0x202", CmdKind::SetData, 2,
       [&](auto& r) { return r.WritePhy(0x200, 3, o); }},
      {"EraseFlash SetCmd", CmdKind::SetCmd, 0, [&](auto& r) { return r.NorFlash_Erase(); }},
      {"NorFlash_Read GetData 0x38", CmdKind::GetData, 1,
       [&](auto& r) { return r.NorFlash_Read(0x30, 16, b, nullptr, nullptr); }},
      {"WriteFlash SetCmd", CmdKind::SetCmd, 0,
       [&](auto& r) { return r.NorFlash_Write(0x40, 16, o, nullptr, nullptr); }},
      {"NorFlash_Write SetData 0x48", CmdKind::SetData, 1,
       [&](auto& r) { return r.NorFlash_Write(0x40, 16, o, nullptr, nullptr); }},
      {"NorFlash_WriteTag SetCmd", CmdKind::SetCmd, 0,
       [&](auto& r) { return r.NorFlash_WriteTag(); }},
      {"SPI_SF_ReadID SetCmd failed", CmdKind::SetCmd, 0,
       [&](auto& r) { return r.SPI_SF_ReadID(b); }},
      {"SPI_SF_ReadID GetData", CmdKind::GetData, 0, [&](auto& r) { return r.SPI_SF_ReadID(b); }},
      {"SPI_SF_Read GetData 0x123466", CmdKind::GetData, 2,
       [&](auto& r) { return r.SPI_SF_Read(0x123456, 0x100, b, 0, nullptr, nullptr); }},
      {"SPI_SF_Write SetCmd", CmdKind::SetCmd, 0,
       [&](auto& r) { return r.SPI_SF_Write(0, 8, o, nullptr, nullptr); }},
      {"SPI_SF_ReadSr SetCmd", CmdKind::SetCmd, 0, [&](auto& r) { return r.SPI_SF_ReadSr(b); }},
      {"SPI_SF_ReadSr GetData", CmdKind::GetData, 0, [&](auto& r) { return r.SPI_SF_ReadSr(b); }},
      {"SPI_SF_WriteSr SetData", CmdKind::SetData, 0, [&](auto& r) { return r.SPI_SF_WriteSr(2); }},
      {"SPI_SF_EraseChip SetCmd", CmdKind::SetCmd, 0,
       [&](auto& r) { return r.SPI_SF_EraseChip(0); }},
      {"SPI_SF_EraseSector SetCmd", CmdKind::SetCmd, 0,
       [&](auto& r) { return r.SPI_SF_EraseSector(0x1000, 0x1000); }},
      {"SPI_SF_WriteTag SetCmd", CmdKind::SetCmd, 0, [&](auto& r) { return r.SPI_SF_WriteTag(); }},
      // EEPROM erase reports under the write labels, with the offset of the transfer.
      {"I2C_EEP8_Write SetCmd", CmdKind::SetCmd, 0,
       [&](auto& r) { return r.I2C_EEP8_Erase(0x20); }},
      {"I2C_EEP8_Write SetData 0x18", CmdKind::SetData, 3,
       [&](auto& r) { return r.I2C_EEP8_Erase(0x20); }},
      {"I2C_EEP16_Write SetCmd", CmdKind::SetCmd, 1,
       [&](auto& r) { return r.I2C_EEP16_Erase(0x18000); }},
      {"I2C_EEP16_Write SetData 0x8008", CmdKind::SetData, 0x1001,
       [&](auto& r) { return r.I2C_EEP16_Erase(0x18000); }},
      {"I2C_EEP8_Read GetData 0x10", CmdKind::GetData, 0,
       [&](auto& r) { return r.I2C_EEP8_Read(0x10, 4, b, nullptr, nullptr); }},
      {"I2C_EEP16_Read SetCmd", CmdKind::SetCmd, 0,
       [&](auto& r) { return r.I2C_EEP16_Read(0x10, 4, b, nullptr, nullptr); }},
      {"I2C_EEP8_Write SetData 0x1", CmdKind::SetData, 0,
       [&](auto& r) { return r.I2C_EEP8_WriteTag(); }},
      {"I2C_EEP16_Write SetData 0x1", CmdKind::SetData, 0,
       [&](auto& r) { return r.I2C_EEP16_WriteTag(); }},
      {"I2CRead SetCmd", CmdKind::SetCmd, 0,
       [&](auto& r) { return r.I2CRead(2u, 0x1234u, &value); }},
      {"I2CRead GetData 0x1234", CmdKind::GetData, 0,
       [&](auto& r) { return r.I2CRead(2u, 0x1234u, &value); }},
      {"I2CWrite SetData 0x1234", CmdKind::SetData, 0,
       [&](auto& r) { return r.I2CWrite(2u, 0x1234u, std::uint16_t{7}); }},
      {"I2CRead GetData SlaveAddr=0xA0", CmdKind::GetData, 0,
       [&](auto& r) { return r.I2CRead(std::uint8_t{0xA0}, 4, b); }},
      {"I2CWrite SetCmd", CmdKind::SetCmd, 0,
       [&](auto& r) { return r.I2CWrite(std::uint8_t{0xA2}, 4, o); }},
      {"I2CWrite SetData SlaveAddr=0xA2", CmdKind::SetData, 0,
       [&](auto& r) { return r.I2CWrite(std::uint8_t{0xA2}, 4, o); }},
      {"I2CGenRead SetCmd", CmdKind::SetCmd, 0, [&](auto& r) { return r.I2CGenRead(0x50, 20, b); }},
      {"I2CGenRead GetData Addr=0x10", CmdKind::GetData, 2,
       [&](auto& r) { return r.I2CGenRead(0x50, 20, b); }},
      {"I2CGenWrite", CmdKind::SetCmd, 0, [&](auto& r) { return r.I2CGenWrite(0x50, 20, o); }},
      {"I2CGenWrite SetData Addr=0x08", CmdKind::SetData, 1,
       [&](auto& r) { return r.I2CGenWrite(0x50, 20, o); }},
      {"I2CRandomRead GetData SlaveAddr=0x51", CmdKind::GetData, 0,
       [&](auto& r) { return r.I2CRandomRead(0x51, 5, b); }},
      {"I2CRandomWrite", CmdKind::SetCmd, 0, [&](auto& r) { return r.I2CRandomWrite(0x51, 5, o); }},
      {"I2CRandomWrite SetData SlaveAddr=0x51", CmdKind::SetData, 0,
       [&](auto& r) { return r.I2CRandomWrite(0x51, 5, o); }},
      {"I2CSuperRead GetData SlaveAddr=0x5A", CmdKind::GetData, 1,
       [&](auto& r) { return r.I2CSuperRead(0x52, 20, b); }},
      {"I2CSuperWrite", CmdKind::SetCmd, 0, [&](auto& r) { return r.I2CSuperWrite(0x52, 20, o); }},
      {"I2CSuperWrite SetData SlaveAddr=0x62", CmdKind::SetData, 2,
       [&](auto& r) { return r.I2CSuperWrite(0x52, 20, o); }},
      {"I2CLongRead", CmdKind::SetCmd, 1,
       [&](auto& r) { return r.I2CLongRead(0x60, 0x18010, 100, b, 0, 0); }},
      // Second piece (register 0x18050, low 16 bits 0x8050), second transfer.
      {"I2CLongRead GetData 0x8058", CmdKind::GetData, 9,
       [&](auto& r) { return r.I2CLongRead(0x60, 0x18010, 100, b, 0, 0); }},
      {"I2CLongWrite", CmdKind::SetCmd, 0,
       [&](auto& r) { return r.I2CLongWrite(0x61, 0x10, 0, 100, o, 0, 0); }},
      {"I2CLongWrite SetData 0x18", CmdKind::SetData, 1,
       [&](auto& r) { return r.I2CLongWrite(0x61, 0x10, 0, 100, o, 0, 0); }},
      {"OTPWrite SetCmd", CmdKind::SetCmd, 0,
       [&](auto& r) { return r.OTP_Write(0x400, 16, 1, o, 0, 0); }},
      {"OTPWrite SetData 0x8", CmdKind::SetData, 1,
       [&](auto& r) { return r.OTP_Write(0x400, 16, 1, o, 0, 0); }},
      {"OTPRead SetCmd", CmdKind::SetCmd, 0,
       [&](auto& r) { return r.OTP_Read(0x400, 16, b, 0, 0); }},
      {"OTPRead GetData 0x8", CmdKind::GetData, 1,
       [&](auto& r) { return r.OTP_Read(0x400, 16, b, 0, 0); }},
      {"OTPBlankCheck SetCmd", CmdKind::SetCmd, 0,
       [&](auto& r) { return r.OTP_BlankCheck(0x400, 16, b, 0, 0); }},
      {"OTPBlankCheck GetData 0x0", CmdKind::GetData, 0,
       [&](auto& r) { return r.OTP_BlankCheck(0x400, 16, b, 0, 0); }},
      {"OTPAllBlankCheck SetCmd", CmdKind::SetCmd, 0,
       [&](auto& r) { return r.OTP_AllBlankCheck(0, 16, b, 0, 0); }},
      {"OTPAllBlankCheck GetData 0x8", CmdKind::GetData, 1,
       [&](auto& r) { return r.OTP_AllBlankCheck(0, 16, b, 0, 0); }},
      {"OTPPrgmFailAddr SetCmd", CmdKind::SetCmd, 0,
       [&](auto& r) { return r.OTP_ReadProgramFailAdr(0x13, b); }},
      {"OTPPrgmFailAddr GetData 0x10", CmdKind::GetData, 2,
       [&](auto& r) { return r.OTP_ReadProgramFailAdr(0x13, b); }},
      {"OTPTestDec SetCmd", CmdKind::SetCmd, 0,
       [&](auto& r) { return r.OTPTestDec(0x12345, 16, b); }},
      {"OTPTestDec GetData 0x234d", CmdKind::GetData, 1,
       [&](auto& r) { return r.OTPTestDec(0x12345, 16, b); }},
      {"OTPWriteST SetCmd", CmdKind::SetCmd, 0,
       [&](auto& r) { return r.OTPWriteTest(0x12345, 1, 16, o); }},
      {"OTPWriteST SetData 0x234d", CmdKind::SetData, 1,
       [&](auto& r) { return r.OTPWriteTest(0x12345, 1, 16, o); }},
      {"DevQualify SetCmd", CmdKind::SetCmd, 0,
       [&](auto& r) { return r.DevQualify() ? kSOk : kGenFailure; }},
      {"DevQualify GetData", CmdKind::GetData, 0,
       [&](auto& r) { return r.DevQualify() ? kSOk : kGenFailure; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    CmdRecorder rec;
    rec.SetStatus(VCMD_STS_HW_ERR);
    rec.FailAt(c.kind, c.skip, kGenFailure);
    test::DebugCapture capture;
    EXPECT_EQ(c.call(rec), kGenFailure);
    EXPECT_EQ(capture.Lines(), std::vector<std::string>{Explained(c.label)});
    // The failed transfer is the last one: status read, the FF block, nothing more.
    const auto& events = rec.Events();
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events[events.size() - 3].result, kGenFailure);
    EXPECT_EQ(events[events.size() - 2].kind, CmdKind::GetCmdStatus);
    EXPECT_EQ(events.back().kind, CmdKind::SetCmd);
    EXPECT_EQ(events.back().block, cmd::kAfterError.ToBytes());
    EXPECT_EQ(rec.GetLastCmdStatus(), VCMD_STS_HW_ERR);
  }
}

TEST(ExtUnitBaseFailures, SplitTransferStopsAtTheFailingPiece) {
  CmdRecorder rec;
  std::vector<std::uint8_t> buf(0x18000);
  rec.FailAt(CmdKind::GetData, 0x1000, kGenFailure);
  EXPECT_EQ(rec.ReadMem(0x40000, 0x18000, buf.data(), nullptr, nullptr), kGenFailure);
  EXPECT_EQ(rec.Blocks(), (std::vector<Bytes>{BlockBytes(0, 0xC2, 0x0000, 0x8000, 0),
                                              BlockBytes(0, 0xC2, 0x8000, 0x8000, 0),
                                              cmd::kAfterError.ToBytes()}));
}

// ---- ReportCmdError ----------------------------------------------------------------------

TEST(ReportCmdError, DeviceGoneSkipsTheStatusRead) {
  CmdRecorder rec;
  test::DebugCapture capture;
  rec.FailAt(CmdKind::GetData, 0, kEDeviceNotConnected);
  std::uint8_t buf[8];
  EXPECT_EQ(rec.ReadMem(0x10, 8, buf, nullptr, nullptr), kEDeviceNotConnected);
  EXPECT_EQ(capture.Lines(),
            std::vector<std::string>{"ReadMem GetData 0x10Device not connected\r\n"});
  EXPECT_TRUE(rec.EventsOf(CmdKind::GetCmdStatus).empty());
  EXPECT_EQ(rec.Blocks().size(), 1u) << "no FF block either";
  EXPECT_EQ(rec.GetLastCmdStatus(), 0xFF);
}

TEST(ReportCmdError, FailedStatusReadStillSendsTheFFBlock) {
  CmdRecorder rec;
  rec.SetStatus(VCMD_STS_ERR_LEN);
  test::DebugCapture capture;
  rec.FailAt(CmdKind::SetCmd, 0, kGenFailure);
  rec.FailAt(CmdKind::GetCmdStatus, 0, static_cast<HResult>(0x80070079u));
  EXPECT_EQ(rec.SPI_SF_EraseChip(0), kGenFailure);
  EXPECT_EQ(capture.Lines(),
            std::vector<std::string>{
                "SPI_SF_EraseChip SetCmd error 8007001f, and fail to get err_code 80070079\r\n"});
  EXPECT_EQ(rec.Blocks().back(), cmd::kAfterError.ToBytes());
  EXPECT_EQ(rec.GetLastCmdStatus(), 0xFF);
}

TEST(ReportCmdError, StatusCodesAreNamedAndKept) {
  struct Case {
    std::uint8_t status;
    const char* line;
  };
  const Case cases[] = {
      {VCMD_STS_CMD, "X error 8007001f, VCMD_STS_CMD\r\n"},
      {VCMD_STS_ERR_OUTRANGE, "X error 8007001f, VCMD_STS_ERR_OUTRANGE\r\n"},
      {VCMD_STS_RET_NO_ERR, "X error 8007001f, VCMD_STS_RET_NO_ERR\r\n"},
      {0x42, "X error 8007001f, Undefined ExtUnit error code\r\n"},
  };
  for (const auto& c : cases) {
    CmdRecorder rec;
    rec.SetStatus(c.status);
    test::DebugCapture capture;
    rec.ReportCmdError(L"X", kGenFailure);
    EXPECT_EQ(capture.Lines(), std::vector<std::string>{c.line});
    EXPECT_EQ(rec.GetLastCmdStatus(), c.status);
    EXPECT_EQ(rec.Blocks(), std::vector<Bytes>{cmd::kAfterError.ToBytes()});
  }
}

TEST(ReportCmdError, OtpWriteLeavesTheDeviceStatusAndClearsItOnTheNextWrite) {
  CmdRecorder rec;
  const std::uint8_t data[8] = {};
  rec.SetStatus(VCMD_STS_HW_ERR);
  rec.FailAt(CmdKind::SetData, 0, kGenFailure);
  EXPECT_EQ(rec.OTP_Write(0x10, 8, 0, data, 0, 0), kGenFailure);
  EXPECT_EQ(rec.GetLastCmdStatus(), VCMD_STS_HW_ERR);
  EXPECT_EQ(rec.OTP_Write(0x10, 8, 0, data, 0, 0), kSOk);
  EXPECT_EQ(rec.GetLastCmdStatus(), 0);
}

}  // namespace
}  // namespace vantor
