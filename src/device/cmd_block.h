// The eight-byte command block sent as the command phase of every extension-unit command,
// the fixed template of each command, and the device's command status codes.
//
//   offset 0  group   0x00 controller memories, resets, NOR flash, I2C
//                     0x02 SPI flash, I2C EEPROM, OTP
//                     0xFF only in the block that follows a failure
//   offset 1  opcode  bit 7: the command has a data phase; bit 6: device-to-host data
//   offset 2  p1      16 bits, low byte first
//   offset 4  p2      16 bits, low byte first (usually the data length)
//   offset 6  p3      16 bits, low byte first
#pragma once

#include <array>
#include <cstdint>

namespace vantor {

struct CmdBlock {
  std::uint8_t group = 0;
  std::uint8_t opcode = 0;
  std::uint16_t p1 = 0;
  std::uint16_t p2 = 0;
  std::uint16_t p3 = 0;

  static constexpr std::size_t kSize = 8;
  using Bytes = std::array<std::uint8_t, kSize>;

  constexpr Bytes ToBytes() const {
    return {group,
            opcode,
            static_cast<std::uint8_t>(p1 & 0xFF),
            static_cast<std::uint8_t>(p1 >> 8),
            static_cast<std::uint8_t>(p2 & 0xFF),
            static_cast<std::uint8_t>(p2 >> 8),
            static_cast<std::uint8_t>(p3 & 0xFF),
            static_cast<std::uint8_t>(p3 >> 8)};
  }
  static constexpr CmdBlock FromBytes(const std::uint8_t* b) {
    return {b[0], b[1], static_cast<std::uint16_t>(b[2] | (b[3] << 8)),
            static_cast<std::uint16_t>(b[4] | (b[5] << 8)),
            static_cast<std::uint16_t>(b[6] | (b[7] << 8))};
  }

  // The template with fields filled in, as the SetCmd overloads fill them.
  constexpr CmdBlock With(std::uint16_t v1) const { return {group, opcode, v1, p2, p3}; }
  constexpr CmdBlock With(std::uint16_t v1, std::uint16_t v2) const {
    return {group, opcode, v1, v2, p3};
  }
  constexpr CmdBlock With(std::uint16_t v1, std::uint16_t v2, std::uint16_t v3) const {
    return {group, opcode, v1, v2, v3};
  }

  constexpr bool HasDataPhase() const { return (opcode & 0x80) != 0; }
  constexpr bool IsDeviceToHost() const { return (opcode & 0x40) != 0; }

  bool operator==(const CmdBlock&) const = default;
};

// Command templates: group, opcode and the fixed fields; the fields a command varies
// are 0 here and filled per call.
namespace cmd {
inline constexpr CmdBlock kGetDevStatus{0x00, 0xCD, 0, 8, 0};
inline constexpr CmdBlock kResetToUpdateFW{0x00, 0x07, 0, 0, 0};
inline constexpr CmdBlock kResetToNewCode{0x00, 0x08, 0, 0, 0};
inline constexpr CmdBlock kResetToRom{0x00, 0x09, 0, 0, 0};
inline constexpr CmdBlock kReadIMem{0x00, 0xC1, 0, 0, 0};
inline constexpr CmdBlock kReadMem{0x00, 0xC2, 0, 0, 0};
inline constexpr CmdBlock kWriteMem{0x00, 0x82, 0, 0, 0};
inline constexpr CmdBlock kReadCode{0x00, 0xC3, 0, 0, 0};
inline constexpr CmdBlock kReadPhy{0x00, 0xCC, 0, 1, 0};
inline constexpr CmdBlock kWritePhy{0x00, 0x8C, 0, 1, 0};
inline constexpr CmdBlock kNorFlashErase{0x00, 0x04, 0, 0, 0};
inline constexpr CmdBlock kNorFlashRead{0x00, 0xC5, 0, 0, 0};
inline constexpr CmdBlock kNorFlashWrite{0x00, 0x85, 0, 0, 0};
inline constexpr CmdBlock kNorFlashWriteTag{0x00, 0x06, 0, 0, 0};
inline constexpr CmdBlock kSpiReadId{0x02, 0xC1, 0, 8, 0};
inline constexpr CmdBlock kSpiRead{0x02, 0xC2, 0, 0, 0};
inline constexpr CmdBlock kSpiWrite{0x02, 0x82, 0, 0, 0};
inline constexpr CmdBlock kSpiReadSr{0x02, 0xC3, 0, 1, 0};
inline constexpr CmdBlock kSpiWriteSr{0x02, 0x83, 0, 1, 0};
inline constexpr CmdBlock kSpiEraseChip{0x02, 0x04, 0, 0, 0};
inline constexpr CmdBlock kSpiEraseSector{0x02, 0x05, 0, 0, 0};
inline constexpr CmdBlock kSpiWriteTag{0x02, 0x13, 0, 0, 0};
// The EEPROM erase commands are the write commands (p1 offset, p2 piece length, p3 0).
inline constexpr CmdBlock kEep8Read{0x02, 0xCB, 0, 0, 0};
inline constexpr CmdBlock kEep8Write{0x02, 0x8B, 0, 0, 0};
inline constexpr CmdBlock kEep16Read{0x02, 0xD1, 0, 0, 0};
inline constexpr CmdBlock kEep16Write{0x02, 0x91, 0, 0, 0};
inline constexpr CmdBlock kI2CRead{0x00, 0xEA, 0, 0, 0};     // slave form and I2CGenRead
inline constexpr CmdBlock kI2CRegRead{0x00, 0xCA, 0, 2, 0};  // register form
inline constexpr CmdBlock kI2CWrite{0x00, 0xAA, 0, 0, 0};    // slave form and I2CGenWrite
inline constexpr CmdBlock kI2CRegWrite{0x00, 0x8A, 0, 2, 0};
inline constexpr CmdBlock kI2CRandomRead{0x00, 0xF1, 0, 0, 0};
inline constexpr CmdBlock kI2CRandomWrite{0x00, 0xB1, 0, 0, 0};
inline constexpr CmdBlock kI2CSuperRead{0x00, 0xF2, 0, 0, 0};
inline constexpr CmdBlock kI2CSuperWrite{0x00, 0xB2, 0, 0, 0};
inline constexpr CmdBlock kI2CLongRead{0x00, 0xF0, 0, 0, 0};
inline constexpr CmdBlock kI2CLongWrite{0x00, 0xB0, 0, 0, 0};
inline constexpr CmdBlock kOtpWrite{0x02, 0x97, 0, 0, 0};
inline constexpr CmdBlock kOtpRead{0x02, 0xD7, 0, 0, 0};
inline constexpr CmdBlock kOtpBlankCheck{0x02, 0xD8, 0, 0, 0};
inline constexpr CmdBlock kOtpAllBlankCheck{0x02, 0xDF, 0, 8, 0};
inline constexpr CmdBlock kOtpReadProgramFailAdr{0x02, 0xDC, 0, 0x13, 0};
inline constexpr CmdBlock kDevQualify{0x00, 0xD0, 0, 8, 0};
inline constexpr CmdBlock kChangeDataControlSize{0x00, 0x16, 0, 0, 0};
inline constexpr CmdBlock kOtpTestDec{0x02, 0xD9, 0, 0, 0};
inline constexpr CmdBlock kOtpWriteTest{0x02, 0x9A, 0, 0, 0};
// Sent after a failure, once the command status has been fetched.
inline constexpr CmdBlock kAfterError{0xFF, 0x00, 0, 0, 0};
}  // namespace cmd

// Command status codes: byte 0 of the 8-byte command status the device reports.
inline constexpr std::uint8_t VCMD_STS_CMD = 0x00;
inline constexpr std::uint8_t VCMD_STS_DATA_IN = 0x01;
inline constexpr std::uint8_t VCMD_STS_DATA_OUT = 0x02;
inline constexpr std::uint8_t VCMD_STS_ERR_DIR = 0x03;
inline constexpr std::uint8_t VCMD_STS_NOT_FINISH = 0x04;
inline constexpr std::uint8_t VCMD_STS_ERR_LEN = 0x05;
inline constexpr std::uint8_t VCMD_STS_UNKNOWN_SCMD = 0x06;
inline constexpr std::uint8_t VCMD_STS_ERR_OUTRANGE = 0x07;
inline constexpr std::uint8_t VCMD_STS_UNKNOWN_CMD = 0x08;
inline constexpr std::uint8_t VCMD_STS_HW_ERR = 0x09;
inline constexpr std::uint8_t VCMD_STS_RET_NO_ERR = 0xFE;

// The name of a status code ("VCMD_STS_CMD" ...); any other code gives
// "Undefined ExtUnit error code\n" (with its newline).
const char* CmdStatusName(std::uint8_t code);

// The vendor signature DevQualify expects: "KESTRAL" followed by one zero byte.
inline constexpr std::array<std::uint8_t, 8> kVendorSignature{'K', 'E', 'S', 'T', 'R', 'A', 'L', 0};

}  // namespace vantor
