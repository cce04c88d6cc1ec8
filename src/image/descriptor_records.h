// The record classes of the configuration area.
//
// Which class reads a record depends on its type and on the area's chip type code
// (CreateRecord): the string, VID/PID and code-info records exist for every chip type;
// QX310 (17) adds its interface, codec and volume records; QX330 (21) and QX332 (24)
// add the SLB, small-cache-code, UAC and interface records. Any other combination is
// read by CDescDummy. The head records (version, EEPROM, bank copy, force update) are
// recognised by the chain at the head only.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "image/descriptor.h"
#include "image/descriptor_chain.h"

namespace vantor {

// The area header as a record: six bytes, chip type code in bits 3 to 7 and the variant
// in bits 0 to 2 of byte 2, the area length little-endian.
class CDescGlobal : public CDescriptor {
 public:
  CDescGlobal() { SetPlainLength(kAreaHeaderSize); }
  void Parse(std::span<const std::uint8_t> record) override;
  bool Build(std::span<std::uint8_t> out) override;

  AreaHeader header;
};

// A type and chip type combination the tool does not know. It keeps the record's bytes
// as read and writes them back unchanged, so a rewritten area keeps the record in its
// place and length.
class CDescDummy : public CDescriptor {
 public:
  void Parse(std::span<const std::uint8_t> record) override;
  bool Build(std::span<std::uint8_t> out) override;

  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

// --- string records: length = bLength + 2; byte 2 bLength (text length + 2); byte 3
// the descriptor type (3); from byte 4 the text, one byte a character ---

inline constexpr std::uint8_t kStringDescriptorType = 3;
// The longest text SetString takes.
inline constexpr std::size_t kMaxStringBytes = 48;

class CDescString : public CDescriptor {
 public:
  explicit CDescString(std::uint8_t recordType);

  void Parse(std::span<const std::uint8_t> record) override;
  // Writes bLength + 2 bytes: the text, cut or padded with zero bytes to bLength - 2.
  // False when that length is above 255 (it would not fit the length byte).
  bool Build(std::span<std::uint8_t> out) override;

  // The text bytes as stored (bLength - 2 of them at most, zero bytes included).
  const std::string& Text() const { return text_; }
  // The text up to its first zero byte.
  std::string_view DisplayText() const;
  void ClearString() { text_.clear(); }
  // Takes the text when it has at most 48 bytes; bLength is set separately.
  bool SetString(std::string_view text);

  std::uint8_t bLength = 2;
  std::uint8_t descriptorType = kStringDescriptorType;

 private:
  std::string text_;
};

class CDescStringManu : public CDescString {
 public:
  CDescStringManu() : CDescString(1) {}
};
class CDescStringProd : public CDescString {
 public:
  CDescStringProd() : CDescString(2) {}
};
class CDescStringSN : public CDescString {
 public:
  CDescStringSN() : CDescString(3) {}
};
class CDescStringUBistName : public CDescString {
 public:
  CDescStringUBistName() : CDescString(6) {}
};
class CDescStringIAD : public CDescString {
 public:
  CDescStringIAD() : CDescString(7) {}
};

// --- records of every chip type ---

// Type 4, 8 bytes: VID, PID and release number, each little-endian.
class CDescVIDPID : public CDescFixed {
 public:
  CDescVIDPID();
  std::uint16_t Vid() const { return static_cast<std::uint16_t>(ValueAt(2)); }
  std::uint16_t Pid() const { return static_cast<std::uint16_t>(ValueAt(4)); }
  std::uint16_t Release() const { return static_cast<std::uint16_t>(ValueAt(6)); }
};

// Type 15, 6 bytes: offset of the code block from the area start and its length, both
// little-endian. The chain attaches the code block when it reads the record and places
// it after the last record when it writes the area again; without a code block the
// record builds nothing.
class CDescCodeInfo : public CDescriptor {
 public:
  CDescCodeInfo() : CDescriptor(kRecordCodeInfo) { SetPlainLength(6); }
  void Parse(std::span<const std::uint8_t> record) override;
  bool Build(std::span<std::uint8_t> out) override;

  bool HasCode() const { return hasCode_; }
  const std::vector<std::uint8_t>& Code() const { return code_; }
  // Attaches a code block (at most 0xFFFF bytes); sets the code length.
  bool SetCode(std::span<const std::uint8_t> code);

  std::uint16_t codeOffset = 0;
  std::uint16_t codeLength = 0;

 private:
  bool hasCode_ = false;
  std::vector<std::uint8_t> code_;
};

// --- head records ---

// Type 47, 6 bytes: the hardware version word and the second version word, both
// little-endian.
class CDescHWAPVersion : public CDescFixed {
 public:
  CDescHWAPVersion();
  std::uint16_t HardwareVersion() const { return static_cast<std::uint16_t>(ValueAt(2)); }
  std::uint16_t SecondVersion() const { return static_cast<std::uint16_t>(ValueAt(4)); }
};
// Type 8, 3 bytes: the EEPROM information value.
class CDescEEPInfo : public CDescFixed {
 public:
  CDescEEPInfo();
  std::uint8_t Value() const { return static_cast<std::uint8_t>(ValueAt(2)); }
};
// Type 20, 3 bytes: the bank-copy value (chip types 25 and 26).
class CDescBankCopyInfo : public CDescFixed {
 public:
  CDescBankCopyInfo();
  std::uint8_t Value() const { return static_cast<std::uint8_t>(ValueAt(2)); }
};
// Type 21, 3 bytes: the force-update value.
class CDescForceUpdateInfo : public CDescFixed {
 public:
  CDescForceUpdateInfo();
  std::uint8_t Value() const { return static_cast<std::uint8_t>(ValueAt(2)); }
};

// --- QX310 (chip type 17) ---

class CDescI2S0_310 : public CDescFixed {  // 8, 29 bytes
 public:
  CDescI2S0_310();
};
class CDescI2S0Channel : public CDescFixed {  // 9, 10 bytes
 public:
  CDescI2S0Channel();
};
class CDescI2S1_310 : public CDescFixed {  // 10, 17 bytes
 public:
  CDescI2S1_310();
};
class CDescI2S1Channel : public CDescFixed {  // 11, 6 bytes
 public:
  CDescI2S1Channel();
};
class CDescI2SCodec0Setting : public CDescFixed {  // 12, 50 bytes
 public:
  CDescI2SCodec0Setting();
};
class CDescI2SCodec1Setting : public CDescFixed {  // 16, 26 bytes
 public:
  CDescI2SCodec1Setting();
};
class CDescEndPointType : public CDescFixed {  // 47 (not at the head), 18 bytes
 public:
  CDescEndPointType();
};

// Codec sequence records, types 27 to 33: the length is the ten-bit value of the header
// (low 8 bits in byte 0, bits 8 and 9 in bits 6 and 7 of byte 1, the type in bits 0 to
// 5); the length minus 4 bytes from byte 2 on are the payload, the last two bytes a
// big-endian word (100 in a new record).
class CDescCodecSequence : public CDescriptor {
 public:
  explicit CDescCodecSequence(std::uint8_t recordType);
  void Parse(std::span<const std::uint8_t> record) override;
  // Length = payload + 4; false when that is above 1023.
  bool Build(std::span<std::uint8_t> out) override;

  std::vector<std::uint8_t> payload;
  std::uint16_t word = 100;
};
class CDescI2SCodecCommonSetting : public CDescCodecSequence {
 public:
  CDescI2SCodecCommonSetting() : CDescCodecSequence(27) {}
};
class CDescI2SCodecStartInSetting : public CDescCodecSequence {
 public:
  CDescI2SCodecStartInSetting() : CDescCodecSequence(28) {}
};
class CDescI2SCodecCloseInSetting : public CDescCodecSequence {
 public:
  CDescI2SCodecCloseInSetting() : CDescCodecSequence(29) {}
};
class CDescI2SCodecStartOutSetting : public CDescCodecSequence {
 public:
  CDescI2SCodecStartOutSetting() : CDescCodecSequence(30) {}
};
class CDescI2SCodecCloseOutSetting : public CDescCodecSequence {
 public:
  CDescI2SCodecCloseOutSetting() : CDescCodecSequence(31) {}
};
class CDescI2SCodecCloseAllSetting : public CDescCodecSequence {
 public:
  CDescI2SCodecCloseAllSetting() : CDescCodecSequence(32) {}
};
class CDescI2SCodecSuspendSetting : public CDescCodecSequence {
 public:
  CDescI2SCodecSuspendSetting() : CDescCodecSequence(33) {}
};

// Volume registers of one endpoint: 56 bytes for endpoints A and G (L0, R0, L1 and R1
// read, write and mask registers), 32 bytes for B, C, D, H, I and J (L0 and R0), then
// the maximum, minimum and resolution words.
class CDescI2SEPAVolumeSetting : public CDescFixed {  // 48
 public:
  CDescI2SEPAVolumeSetting();
};
class CDescI2SEPBVolumeSetting : public CDescFixed {  // 49
 public:
  CDescI2SEPBVolumeSetting();
};
class CDescI2SEPCVolumeSetting : public CDescFixed {  // 50
 public:
  CDescI2SEPCVolumeSetting();
};
class CDescI2SEPDVolumeSetting : public CDescFixed {  // 51
 public:
  CDescI2SEPDVolumeSetting();
};
class CDescI2SEPGVolumeSetting : public CDescFixed {  // 52
 public:
  CDescI2SEPGVolumeSetting();
};
class CDescI2SEPHVolumeSetting : public CDescFixed {  // 53
 public:
  CDescI2SEPHVolumeSetting();
};
class CDescI2SEPIVolumeSetting : public CDescFixed {  // 54
 public:
  CDescI2SEPIVolumeSetting();
};
class CDescI2SEPJVolumeSetting : public CDescFixed {  // 55
 public:
  CDescI2SEPJVolumeSetting();
};
// Mute registers (read, write, mask) of three or two endpoints.
class CDescI2SCodec0InMuteSetting : public CDescFixed {  // 56: A, B, C
 public:
  CDescI2SCodec0InMuteSetting();
};
class CDescI2SCodec0OutMuteSetting : public CDescFixed {  // 57: G, H, I
 public:
  CDescI2SCodec0OutMuteSetting();
};
class CDescI2SCodec1MuteSetting : public CDescFixed {  // 58: D, J
 public:
  CDescI2SCodec1MuteSetting();
};

// --- QX330 and QX332 (chip types 21 and 24) ---

class CDescSLB : public CDescFixed {  // 14, 15 bytes
 public:
  CDescSLB();
};

// Type 39 in the escape form: bytes 2-3 the record length, 4-5 the data offset from the
// area start, 6-7 the data length (all little-endian), then the data when the tool
// wrote the record. The chain attaches the data when it reads the record (the extended
// length becomes data length + 8) and sets the data offset when it writes it; without
// data the record builds nothing.
class CDescSmallCachecode : public CDescriptor {
 public:
  CDescSmallCachecode() : CDescriptor(kRecordSmallCacheCode) {}
  void Parse(std::span<const std::uint8_t> record) override;
  bool Build(std::span<std::uint8_t> out) override;

  bool HasData() const { return hasData_; }
  const std::vector<std::uint8_t>& Data() const { return data_; }
  // Attaches the data (at most 0xFFFF - 8 bytes) and sets the data and extended lengths.
  bool SetData(std::span<const std::uint8_t> data);

  std::uint16_t dataOffset = 0;
  std::uint16_t dataLength = 0;

 private:
  bool hasData_ = false;
  std::vector<std::uint8_t> data_;
};

// Type 64, 18 bytes; VID, PID and release big-endian. "byU2PhySensitivity" is written
// clamped to 1..15.
class CDescUACTop : public CDescFixed {
 public:
  CDescUACTop();
};
class CDescEPAInfo : public CDescFixed {  // 65, 17 bytes
 public:
  CDescEPAInfo();
};
class CDescEPBInfo : public CDescFixed {  // 66
 public:
  CDescEPBInfo();
};
class CDescEPCInfo : public CDescFixed {  // 67
 public:
  CDescEPCInfo();
};
class CDescEPGInfo : public CDescFixed {  // 68, 16 bytes
 public:
  CDescEPGInfo();
};
class CDescEPHInfo : public CDescFixed {  // 69
 public:
  CDescEPHInfo();
};
class CDescEPIInfo : public CDescFixed {  // 70
 public:
  CDescEPIInfo();
};
// Type 71, 14 bytes; "byGBtnDetectWinCtl" is written clamped to 2..127.
class CDescInterCodecInfo : public CDescFixed {
 public:
  CDescInterCodecInfo();
};
class CDescInterSPDIFInfo : public CDescFixed {  // 72, 8 bytes
 public:
  CDescInterSPDIFInfo();
};
class CDescInterUartInfo : public CDescFixed {  // 73, 10 bytes
 public:
  CDescInterUartInfo();
};
class CDescGPIODrivingInfo : public CDescFixed {  // 74, 12 bytes
 public:
  CDescGPIODrivingInfo();
};

// A new record of the class that reads records of that type in an area of that chip
// type code.
std::unique_ptr<CDescriptor> CreateRecord(std::uint8_t type, std::uint8_t chipType);

}  // namespace vantor
