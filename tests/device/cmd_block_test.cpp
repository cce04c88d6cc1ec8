// Command blocks, templates, status names and result codes as the device and the callers
// see them.
#include "device/cmd_block.h"

#include <gtest/gtest.h>

#include <string>

#include "device/result_codes.h"
#include "platform/last_error.h"

namespace vantor {
namespace {

using Bytes = CmdBlock::Bytes;

TEST(CmdBlock, FieldsGoOutLittleEndianAndComeBack) {
  const CmdBlock block{0x02, 0xC2, 0x3456, 0x0100, 0x0012};
  EXPECT_EQ(block.ToBytes(), (Bytes{0x02, 0xC2, 0x56, 0x34, 0x00, 0x01, 0x12, 0x00}));
  const Bytes bytes = block.ToBytes();
  EXPECT_EQ(CmdBlock::FromBytes(bytes.data()), block);
  // Filling a template touches only the fields given.
  const CmdBlock tmpl{0x00, 0xCD, 0, 8, 0};
  EXPECT_EQ(tmpl.With(0xABCD).ToBytes(), (Bytes{0x00, 0xCD, 0xCD, 0xAB, 0x08, 0x00, 0x00, 0x00}));
  EXPECT_EQ(tmpl.With(1, 2).ToBytes(), (Bytes{0x00, 0xCD, 1, 0, 2, 0, 0, 0}));
  EXPECT_EQ(tmpl.With(1, 2, 0xFFFF).ToBytes(), (Bytes{0x00, 0xCD, 1, 0, 2, 0, 0xFF, 0xFF}));
  EXPECT_EQ(cmd::kAfterError.ToBytes(), (Bytes{0xFF, 0, 0, 0, 0, 0, 0, 0}));
}

// Bit 7 of the opcode announces a data phase, bit 6 its direction to the host; the
// templates must agree with the data phase each command runs.
TEST(CmdBlock, TemplateOpcodesAnnounceTheirDataPhase) {
  struct Case {
    const char* name;
    CmdBlock tmpl;
    std::uint8_t group;
    bool data;
    bool in;
  };
  const Case cases[] = {
      {"GetDevStatus", cmd::kGetDevStatus, 0x00, true, true},
      {"ResetToUpdateFW", cmd::kResetToUpdateFW, 0x00, false, false},
      {"ResetToNewCode", cmd::kResetToNewCode, 0x00, false, false},
      {"ResetToRom", cmd::kResetToRom, 0x00, false, false},
      {"ReadIMem", cmd::kReadIMem, 0x00, true, true},
      {"ReadMem", cmd::kReadMem, 0x00, true, true},
      {"WriteMem", cmd::kWriteMem, 0x00, true, false},
      {"ReadCode", cmd::kReadCode, 0x00, true, true},
      {"ReadPhy", cmd::kReadPhy, 0x00, true, true},
      {"WritePhy", cmd::kWritePhy, 0x00, true, false},
      {"NorFlash_Erase", cmd::kNorFlashErase, 0x00, false, false},
      {"NorFlash_Read", cmd::kNorFlashRead, 0x00, true, true},
      {"NorFlash_Write", cmd::kNorFlashWrite, 0x00, true, false},
      {"NorFlash_WriteTag", cmd::kNorFlashWriteTag, 0x00, false, false},
      {"SPI_SF_ReadID", cmd::kSpiReadId, 0x02, true, true},
      {"SPI_SF_Read", cmd::kSpiRead, 0x02, true, true},
      {"SPI_SF_Write", cmd::kSpiWrite, 0x02, true, false},
      {"SPI_SF_ReadSr", cmd::kSpiReadSr, 0x02, true, true},
      {"SPI_SF_WriteSr", cmd::kSpiWriteSr, 0x02, true, false},
      {"SPI_SF_EraseChip", cmd::kSpiEraseChip, 0x02, false, false},
      {"SPI_SF_EraseSector", cmd::kSpiEraseSector, 0x02, false, false},
      {"SPI_SF_WriteTag", cmd::kSpiWriteTag, 0x02, false, false},
      {"I2C_EEP8_Read", cmd::kEep8Read, 0x02, true, true},
      {"I2C_EEP8_Write", cmd::kEep8Write, 0x02, true, false},
      {"I2C_EEP16_Read", cmd::kEep16Read, 0x02, true, true},
      {"I2C_EEP16_Write", cmd::kEep16Write, 0x02, true, false},
      {"I2CRead", cmd::kI2CRead, 0x00, true, true},
      {"I2CRead register", cmd::kI2CRegRead, 0x00, true, true},
      {"I2CWrite", cmd::kI2CWrite, 0x00, true, false},
      {"I2CWrite register", cmd::kI2CRegWrite, 0x00, true, false},
      {"I2CRandomRead", cmd::kI2CRandomRead, 0x00, true, true},
      {"I2CRandomWrite", cmd::kI2CRandomWrite, 0x00, true, false},
      {"I2CSuperRead", cmd::kI2CSuperRead, 0x00, true, true},
      {"I2CSuperWrite", cmd::kI2CSuperWrite, 0x00, true, false},
      {"I2CLongRead", cmd::kI2CLongRead, 0x00, true, true},
      {"I2CLongWrite", cmd::kI2CLongWrite, 0x00, true, false},
      {"OTP_Write", cmd::kOtpWrite, 0x02, true, false},
      {"OTP_Read", cmd::kOtpRead, 0x02, true, true},
      {"OTP_BlankCheck", cmd::kOtpBlankCheck, 0x02, true, true},
      {"OTP_AllBlankCheck", cmd::kOtpAllBlankCheck, 0x02, true, true},
      {"OTP_ReadProgramFailAdr", cmd::kOtpReadProgramFailAdr, 0x02, true, true},
      {"DevQualify", cmd::kDevQualify, 0x00, true, true},
      {"ChangeDataControlSize", cmd::kChangeDataControlSize, 0x00, false, false},
      {"OTPTestDec", cmd::kOtpTestDec, 0x02, true, true},
      {"OTPWriteTest", cmd::kOtpWriteTest, 0x02, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.tmpl.group, c.group);
    EXPECT_EQ(c.tmpl.HasDataPhase(), c.data);
    if (c.data) {
      EXPECT_EQ(c.tmpl.IsDeviceToHost(), c.in);
    }
  }
  EXPECT_EQ(cmd::kChangeDataControlSize.ToBytes(), (Bytes{0x00, 0x16, 0, 0, 0, 0, 0, 0}));
}

TEST(CmdStatusName, EveryCodeHasItsTextAndTheRestAreUndefined) {
  const std::pair<std::uint8_t, const char*> named[] = {
      {0x00, "VCMD_STS_CMD"},          {0x01, "VCMD_STS_DATA_IN"},
      {0x02, "VCMD_STS_DATA_OUT"},     {0x03, "VCMD_STS_ERR_DIR"},
      {0x04, "VCMD_STS_NOT_FINISH"},   {0x05, "VCMD_STS_ERR_LEN"},
      {0x06, "VCMD_STS_UNKNOWN_SCMD"}, {0x07, "VCMD_STS_ERR_OUTRANGE"},
      {0x08, "VCMD_STS_UNKNOWN_CMD"},  {0x09, "VCMD_STS_HW_ERR"},
      {0xFE, "VCMD_STS_RET_NO_ERR"},
  };
  for (const auto& [code, text] : named) EXPECT_STREQ(CmdStatusName(code), text) << int(code);
  for (int code : {0x0A, 0x10, 0x7F, 0x80, 0xFD, 0xFF}) {
    EXPECT_STREQ(CmdStatusName(static_cast<std::uint8_t>(code)), "Undefined ExtUnit error code\n")
        << code;
  }
  EXPECT_EQ(VCMD_STS_HW_ERR, 0x09);
  EXPECT_EQ(VCMD_STS_RET_NO_ERR, 0xFE);
}

TEST(ResultCodes, ValuesAndThePlatformErrorRule) {
  EXPECT_EQ(static_cast<std::uint32_t>(kENotImpl), 0x80004001u);
  EXPECT_EQ(static_cast<std::uint32_t>(kEInvalidArg), 0x80070057u);
  EXPECT_EQ(static_cast<std::uint32_t>(kEFail), 0x80004005u);
  EXPECT_EQ(static_cast<std::uint32_t>(kEDeviceNotConnected), 0x8007048Fu);
  EXPECT_EQ(kSOk, 0);
  EXPECT_EQ(kLockNotObtained, 1);
  const std::pair<std::uint32_t, std::uint32_t> cases[] = {
      {0, 0},                    // no error recorded: stays 0
      {1167, 0x8007048F},        // device not connected
      {21, 0x80070015},          // not ready
      {31, 0x8007001F},          // general failure
      {0x12345, 0x80072345},     // only the low 16 bits are kept
      {0x7FFFFFFF, 0x8007FFFF},  // largest positive value
      {0x80070005, 0x80070005},  // negative: already a result code
      {0xFFFFFFFF, 0xFFFFFFFF},  // negative
  };
  for (const auto& [error, expected] : cases) {
    EXPECT_EQ(static_cast<std::uint32_t>(HresultFromWin32(error)), expected) << error;
  }
  platform::SetLastError(1167);
  EXPECT_EQ(HresultFromLastError(), kEDeviceNotConnected);
  platform::SetLastError(0);
  EXPECT_EQ(HresultFromLastError(), kSOk);
}

}  // namespace
}  // namespace vantor
