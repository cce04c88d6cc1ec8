#include "image/descriptor_records.h"

#include <algorithm>
#include <cstdio>

namespace vantor {

namespace {

constexpr ByteOrder kBig = ByteOrder::kBig;
constexpr ByteOrder kLe = ByteOrder::kLittle;

// Lays out the fields of a fixed record in offset order.
class LayoutMaker {
 public:
  explicit LayoutMaker(std::uint8_t length) { layout_.length = length; }

  LayoutMaker& Byte(std::uint8_t at, std::string name = {}) { return Add(at, 1, kBig, name); }
  // Single unnamed bytes from `first` to `last`.
  LayoutMaker& Bytes(std::uint8_t first, std::uint8_t last) {
    for (unsigned at = first; at <= last; ++at) Byte(static_cast<std::uint8_t>(at));
    return *this;
  }
  LayoutMaker& Word(std::uint8_t at, std::string name = {}, ByteOrder order = kBig) {
    return Add(at, 2, order, name);
  }
  LayoutMaker& Dword(std::uint8_t at, std::string name = {}, ByteOrder order = kBig) {
    return Add(at, 4, order, name);
  }
  // The last field is written clamped to min..max.
  LayoutMaker& Clamp(std::uint32_t min, std::uint32_t max) {
    layout_.fields.back().min = min;
    layout_.fields.back().max = max;
    return *this;
  }
  // A named bit group of the last field (a byte).
  LayoutMaker& Flag(std::string name, std::uint8_t mask) {
    layout_.flags.push_back({std::move(name), layout_.fields.back().offset, mask});
    return *this;
  }
  RecordLayout Done() { return std::move(layout_); }

 private:
  LayoutMaker& Add(std::uint8_t at, std::uint8_t size, ByteOrder order, std::string& name) {
    RecordField field;
    field.name = std::move(name);
    field.offset = at;
    field.size = size;
    field.order = order;
    layout_.fields.push_back(std::move(field));
    return *this;
  }

  RecordLayout layout_;
};

// "EP", the endpoint letter, then the rest of the name.
std::string Named(char endpoint, std::string_view rest) {
  std::string name = "EP";
  name += endpoint;
  name += rest;
  return name;
}

// One byte value at byte 2.
const RecordLayout& ByteValueLayout() {
  static const RecordLayout layout = LayoutMaker(3).Byte(2).Done();
  return layout;
}

const RecordLayout& VidPidLayout() {
  static const RecordLayout layout =
      LayoutMaker(8).Word(2, {}, kLe).Word(4, {}, kLe).Word(6, {}, kLe).Done();
  return layout;
}

const RecordLayout& VersionLayout() {
  static const RecordLayout layout = LayoutMaker(6).Word(2, {}, kLe).Word(4, {}, kLe).Done();
  return layout;
}

// A 16-bit word at byte 2, then single bytes to the end.
template <std::uint8_t Length>
const RecordLayout& WordThenBytesLayout() {
  static const RecordLayout layout = LayoutMaker(Length).Word(2).Bytes(4, Length - 1).Done();
  return layout;
}

template <std::uint8_t Length>
const RecordLayout& BytesLayout() {
  static const RecordLayout layout = LayoutMaker(Length).Bytes(2, Length - 1).Done();
  return layout;
}

// Bytes 2-5, `Entries` entries of a word and a byte from byte 6, then a word.
template <std::uint8_t Entries>
const RecordLayout& CodecSettingLayout() {
  static const RecordLayout layout = [] {
    constexpr std::uint8_t kLength = 6 + 3 * Entries + 2;
    LayoutMaker maker(kLength);
    maker.Bytes(2, 5);
    for (unsigned i = 0; i < Entries; ++i) {
      const auto at = static_cast<std::uint8_t>(6 + 3 * i);
      maker.Word(at).Byte(static_cast<std::uint8_t>(at + 2));
    }
    return maker.Word(kLength - 2).Done();
  }();
  return layout;
}

const RecordLayout& EndPointTypeLayout() {
  static const RecordLayout layout = [] {
    LayoutMaker maker(18);
    for (std::uint8_t at = 2; at < 18; at += 2) maker.Word(at);
    return maker.Done();
  }();
  return layout;
}

// Read, write and mask registers of L0 and R0 (and of L1 and R1 when Wide), then the
// maximum, minimum and resolution words.
template <char Endpoint, bool Wide>
const RecordLayout& VolumeLayout() {
  static const RecordLayout layout = [] {
    const char* sides[] = {"L0", "R0", "L1", "R1"};
    const char* registers[] = {"RegRd", "RegWr", "RegMask"};
    const unsigned sideCount = Wide ? 4 : 2;
    LayoutMaker maker(static_cast<std::uint8_t>(2 + 12 * sideCount + 6));
    std::uint8_t at = 2;
    for (unsigned s = 0; s < sideCount; ++s) {
      for (const char* reg : registers) {
        maker.Dword(at, Named(Endpoint, std::string(sides[s]) + reg));
        at += 4;
      }
    }
    for (const char* word : {"VolumeMax(db)", "VolumeMin(db)", "VolumeRes(db)"}) {
      maker.Word(at, Named(Endpoint, word));
      at += 2;
    }
    return maker.Done();
  }();
  return layout;
}

// Mute read, write and mask registers of each endpoint in turn.
template <char... Endpoints>
const RecordLayout& MuteLayout() {
  static const RecordLayout layout = [] {
    LayoutMaker maker(static_cast<std::uint8_t>(2 + 12 * sizeof...(Endpoints)));
    std::uint8_t at = 2;
    for (char endpoint : {Endpoints...}) {
      for (const char* reg : {"MuteRegRd", "MuteRegWr", "MuteRegMask"}) {
        maker.Dword(at, Named(endpoint, reg));
        at += 4;
      }
    }
    return maker.Done();
  }();
  return layout;
}

const RecordLayout& SlbLayout() {
  static const RecordLayout layout = LayoutMaker(15)
                                         .Byte(2)
                                         .Flag("HS SLB test", 0x01)
                                         .Flag("FS SLB test", 0x02)
                                         .Byte(3, "bFSTstCnt")
                                         .Dword(4, "dwHSTstCnt", kLe)
                                         .Word(8, "wHSFailTh", kLe)
                                         .Byte(10, "bFixPattern")
                                         .Byte(11, "bSeed")
                                         .Byte(12, "bFSFailTh")
                                         .Word(13, "wHSDlyTime", kLe)
                                         .Done();
  return layout;
}

const RecordLayout& UacTopLayout() {
  static const RecordLayout layout = LayoutMaker(18)
                                         .Word(2, "wUAVVersion")
                                         .Byte(4, "byUSBSpeedMode")
                                         .Byte(5, "byHIDEnable")
                                         .Byte(6, "byUAC2INInterval")
                                         .Byte(7, "byUAC2OUTInterval")
                                         .Byte(8, "byU2PhySensitivity")
                                         .Clamp(1, 15)
                                         .Byte(9)   // jack-detect flags
                                         .Byte(10)  // remote wake-up flags
                                         .Byte(11)  // endpoint enable flags
                                         .Word(12, "wVID")
                                         .Word(14, "wPID")
                                         .Word(16, "wRevID")
                                         .Done();
  return layout;
}

// Endpoints A to C carry "bySupportLoudness" in byte 16; G to I end before it.
template <bool Loudness>
const RecordLayout& EpInfoLayout() {
  static const RecordLayout layout = [] {
    LayoutMaker maker(Loudness ? 17 : 16);
    maker.Byte(2, "byConnectType")
        .Word(3, "wSampleRate")
        .Byte(5, "byBitResolution")
        .Word(6, "wChLocation")
        .Word(8, "wTerminalType")
        .Word(10, "wVolumeMin(db)")
        .Word(12, "wVolumeMax(db)")
        .Word(14, "wVolumeRes(db)");
    if (Loudness) maker.Byte(16, "bySupportLoudness");
    return maker.Done();
  }();
  return layout;
}

const RecordLayout& InterCodecLayout() {
  static const RecordLayout layout = LayoutMaker(14)
                                         .Byte(2, "bySSCSelect")
                                         .Byte(3, "byJD1ConnectEP")
                                         .Byte(4, "byJD2ConnectEP")
                                         .Byte(5, "byADStereoConType")
                                         .Byte(6, "byADMonoConType")
                                         .Byte(7)  // button interrupt enables, bits 0-3
                                         .Byte(8, "byGBtnDetectWinCtl")
                                         .Clamp(2, 127)
                                         .Byte(9, "byGBtnClkDiv")
                                         .Byte(10, "byGBtnDeglitchClkDiv")
                                         .Byte(11, "byJD3Ttime(unit:0.64ms)")
                                         .Byte(12, "byJD3Duty(unit:0.64ms)")
                                         .Byte(13, "byJD3DetectCnt")
                                         .Done();
  return layout;
}

const RecordLayout& InterSpdifLayout() {
  static const RecordLayout layout = LayoutMaker(8)
                                         .Byte(2, "bySSCSelect")
                                         .Byte(3, "byDataFmt")
                                         .Byte(4, "byEmphasisofPro")
                                         .Byte(5)  // consumer copy permission
                                         .Byte(6, "byLevelofConsumer")
                                         .Byte(7, "byCategoryCodeofConsumer")
                                         .Done();
  return layout;
}

const RecordLayout& InterUartLayout() {
  static const RecordLayout layout = LayoutMaker(10)
                                         .Byte(2, "bySSCSelect")
                                         .Byte(3, "byStopBitNum")
                                         .Byte(4, "byDataLen")
                                         .Byte(5)
                                         .Flag("byParityEn", 0x08)
                                         .Flag("ParityCheck", 0x10)
                                         .Dword(6, "dwBaudRate")
                                         .Done();
  return layout;
}

const RecordLayout& GpioDrivingLayout() {
  static const RecordLayout layout = [] {
    LayoutMaker maker(12);
    for (int i = 0; i < 10; ++i) {
      char name[24];
      std::snprintf(name, sizeof name, "byGPIO%dDriving", i);
      maker.Byte(static_cast<std::uint8_t>(2 + i), name);
    }
    return maker.Done();
  }();
  return layout;
}

}  // namespace

// --- area header ---

void CDescGlobal::Parse(std::span<const std::uint8_t> record) {
  header = {};
  ReadAreaHeader(record, 0, header);
  SetPlainLength(kAreaHeaderSize);
}

bool CDescGlobal::Build(std::span<std::uint8_t> out) {
  if (out.size() < kAreaHeaderSize) return false;
  out[0] = header.imageType;
  out[1] = header.signature;
  out[2] = static_cast<std::uint8_t>(((header.chipType & 0x1F) << 3) | (header.variant & 0x07));
  WriteField(out, 3, 2, kLe, header.areaLength);
  out[5] = header.recordCount;
  SetPlainLength(kAreaHeaderSize);
  return true;
}

// --- unknown records ---

void CDescDummy::Parse(std::span<const std::uint8_t> record) {
  CDescriptor::Parse(record);
  bytes_.assign(record.begin(), record.end());
}

bool CDescDummy::Build(std::span<std::uint8_t> out) {
  if (bytes_.empty() || out.size() < bytes_.size()) return false;
  std::copy(bytes_.begin(), bytes_.end(), out.begin());
  return true;
}

// --- strings ---

CDescString::CDescString(std::uint8_t recordType) : CDescriptor(recordType) { SetPlainLength(4); }

void CDescString::Parse(std::span<const std::uint8_t> record) {
  CDescriptor::Parse(record);
  bLength = static_cast<std::uint8_t>(ReadField(record, 2, 1, kBig));
  descriptorType = static_cast<std::uint8_t>(ReadField(record, 3, 1, kBig));
  const std::size_t wanted = bLength >= 2 ? bLength - 2u : 0u;
  const std::size_t present = record.size() > 4 ? record.size() - 4 : 0;
  const std::size_t count = std::min(wanted, present);
  text_.clear();
  if (count) text_.assign(reinterpret_cast<const char*>(record.data()) + 4, count);
}

bool CDescString::Build(std::span<std::uint8_t> out) {
  const std::size_t recordLength = bLength + 2u;
  if (recordLength > 0xFF || out.size() < recordLength) return false;
  const std::uint8_t head[4] = {static_cast<std::uint8_t>(recordLength), type, bLength,
                                descriptorType};
  for (std::size_t i = 0; i < recordLength; ++i) {
    if (i < 4) {
      out[i] = head[i];
    } else {
      out[i] = i - 4 < text_.size() ? static_cast<std::uint8_t>(text_[i - 4]) : 0;
    }
  }
  SetPlainLength(recordLength);
  return true;
}

std::string_view CDescString::DisplayText() const {
  const std::string_view text(text_);
  return text.substr(0, text.find('\0'));
}

bool CDescString::SetString(std::string_view text) {
  if (text.size() > kMaxStringBytes) return false;
  text_.assign(text);
  return true;
}

// --- records of every chip type ---

CDescVIDPID::CDescVIDPID() : CDescFixed(kRecordVidPid, VidPidLayout()) {}

void CDescCodeInfo::Parse(std::span<const std::uint8_t> record) {
  CDescriptor::Parse(record);
  codeOffset = static_cast<std::uint16_t>(ReadField(record, 2, 2, kLe));
  codeLength = static_cast<std::uint16_t>(ReadField(record, 4, 2, kLe));
  hasCode_ = false;
  code_.clear();
}

bool CDescCodeInfo::Build(std::span<std::uint8_t> out) {
  if (!hasCode_ || out.size() < 6) return false;
  out[0] = 6;
  out[1] = type;
  WriteField(out, 2, 2, kLe, codeOffset);
  WriteField(out, 4, 2, kLe, codeLength);
  SetPlainLength(6);
  return true;
}

bool CDescCodeInfo::SetCode(std::span<const std::uint8_t> code) {
  if (code.size() > 0xFFFF) return false;
  code_.assign(code.begin(), code.end());
  codeLength = static_cast<std::uint16_t>(code.size());
  hasCode_ = true;
  return true;
}

// --- head records ---

CDescHWAPVersion::CDescHWAPVersion() : CDescFixed(kRecordHwApVersion, VersionLayout()) {}
CDescEEPInfo::CDescEEPInfo() : CDescFixed(kRecordEepInfo, ByteValueLayout()) {}
CDescBankCopyInfo::CDescBankCopyInfo() : CDescFixed(kRecordBankCopy, ByteValueLayout()) {}
CDescForceUpdateInfo::CDescForceUpdateInfo() : CDescFixed(kRecordForceUpdate, ByteValueLayout()) {}

// --- QX310 ---

CDescI2S0_310::CDescI2S0_310() : CDescFixed(8, WordThenBytesLayout<29>()) {}
CDescI2S0Channel::CDescI2S0Channel() : CDescFixed(9, BytesLayout<10>()) {}
CDescI2S1_310::CDescI2S1_310() : CDescFixed(10, WordThenBytesLayout<17>()) {}
CDescI2S1Channel::CDescI2S1Channel() : CDescFixed(11, BytesLayout<6>()) {}
CDescI2SCodec0Setting::CDescI2SCodec0Setting() : CDescFixed(12, CodecSettingLayout<14>()) {}
CDescI2SCodec1Setting::CDescI2SCodec1Setting() : CDescFixed(16, CodecSettingLayout<6>()) {}
CDescEndPointType::CDescEndPointType() : CDescFixed(47, EndPointTypeLayout()) {}

CDescCodecSequence::CDescCodecSequence(std::uint8_t recordType) : CDescriptor(recordType) {
  SetPlainLength(4);
}

void CDescCodecSequence::Parse(std::span<const std::uint8_t> record) {
  CDescriptor::Parse(record);
  payload.clear();
  if (record.size() < 2) return;
  const std::size_t tenBitLength = ((record[1] & 0xC0u) << 2) | record[0];
  type = record[1] & 0x3F;
  length = static_cast<std::uint16_t>(tenBitLength);
  const std::size_t present = std::min(tenBitLength, record.size());
  if (present >= 4) {
    payload.assign(record.begin() + 2, record.begin() + static_cast<std::ptrdiff_t>(present - 2));
    word = static_cast<std::uint16_t>(ReadField(record, present - 2, 2, kBig));
  }
  payloadLength = static_cast<std::uint32_t>(payload.size() + 2);
}

bool CDescCodecSequence::Build(std::span<std::uint8_t> out) {
  const std::size_t recordLength = payload.size() + 4;
  if (recordLength > 1023 || out.size() < recordLength) return false;
  out[0] = static_cast<std::uint8_t>(recordLength & 0xFF);
  out[1] = static_cast<std::uint8_t>(((recordLength >> 2) & 0xC0) | (type & 0x3F));
  std::copy(payload.begin(), payload.end(), out.begin() + 2);
  WriteField(out, recordLength - 2, 2, kBig, word);
  SetPlainLength(recordLength);
  return true;
}

CDescI2SEPAVolumeSetting::CDescI2SEPAVolumeSetting() : CDescFixed(48, VolumeLayout<'A', true>()) {}
CDescI2SEPBVolumeSetting::CDescI2SEPBVolumeSetting() : CDescFixed(49, VolumeLayout<'B', false>()) {}
CDescI2SEPCVolumeSetting::CDescI2SEPCVolumeSetting() : CDescFixed(50, VolumeLayout<'C', false>()) {}
CDescI2SEPDVolumeSetting::CDescI2SEPDVolumeSetting() : CDescFixed(51, VolumeLayout<'D', false>()) {}
CDescI2SEPGVolumeSetting::CDescI2SEPGVolumeSetting() : CDescFixed(52, VolumeLayout<'G', true>()) {}
CDescI2SEPHVolumeSetting::CDescI2SEPHVolumeSetting() : CDescFixed(53, VolumeLayout<'H', false>()) {}
CDescI2SEPIVolumeSetting::CDescI2SEPIVolumeSetting() : CDescFixed(54, VolumeLayout<'I', false>()) {}
CDescI2SEPJVolumeSetting::CDescI2SEPJVolumeSetting() : CDescFixed(55, VolumeLayout<'J', false>()) {}
CDescI2SCodec0InMuteSetting::CDescI2SCodec0InMuteSetting()
    : CDescFixed(56, MuteLayout<'A', 'B', 'C'>()) {}
CDescI2SCodec0OutMuteSetting::CDescI2SCodec0OutMuteSetting()
    : CDescFixed(57, MuteLayout<'G', 'H', 'I'>()) {}
CDescI2SCodec1MuteSetting::CDescI2SCodec1MuteSetting() : CDescFixed(58, MuteLayout<'D', 'J'>()) {}

// --- QX330 and QX332 ---

CDescSLB::CDescSLB() : CDescFixed(14, SlbLayout()) {}

void CDescSmallCachecode::Parse(std::span<const std::uint8_t> record) {
  CDescriptor::Parse(record);
  dataOffset = static_cast<std::uint16_t>(ReadField(record, 4, 2, kLe));
  dataLength = static_cast<std::uint16_t>(ReadField(record, 6, 2, kLe));
  hasData_ = false;
  data_.clear();
}

bool CDescSmallCachecode::Build(std::span<std::uint8_t> out) {
  const std::size_t recordLength = data_.size() + 8;
  if (!hasData_ || recordLength > 0xFFFF || out.size() < recordLength) return false;
  out[0] = 0xFF;
  out[1] = 0xE7;
  WriteField(out, 2, 2, kLe, static_cast<std::uint32_t>(recordLength));
  WriteField(out, 4, 2, kLe, dataOffset);
  WriteField(out, 6, 2, kLe, dataLength);
  std::copy(data_.begin(), data_.end(), out.begin() + 8);
  length = extLength = static_cast<std::uint16_t>(recordLength);
  payloadLength = static_cast<std::uint32_t>(recordLength - 4);
  return true;
}

bool CDescSmallCachecode::SetData(std::span<const std::uint8_t> data) {
  if (data.size() > 0xFFFF - 8) return false;
  data_.assign(data.begin(), data.end());
  dataLength = static_cast<std::uint16_t>(data.size());
  extLength = static_cast<std::uint16_t>(data.size() + 8);
  hasData_ = true;
  return true;
}

CDescUACTop::CDescUACTop() : CDescFixed(64, UacTopLayout()) {}
CDescEPAInfo::CDescEPAInfo() : CDescFixed(65, EpInfoLayout<true>()) {}
CDescEPBInfo::CDescEPBInfo() : CDescFixed(66, EpInfoLayout<true>()) {}
CDescEPCInfo::CDescEPCInfo() : CDescFixed(67, EpInfoLayout<true>()) {}
CDescEPGInfo::CDescEPGInfo() : CDescFixed(68, EpInfoLayout<false>()) {}
CDescEPHInfo::CDescEPHInfo() : CDescFixed(69, EpInfoLayout<false>()) {}
CDescEPIInfo::CDescEPIInfo() : CDescFixed(70, EpInfoLayout<false>()) {}
CDescInterCodecInfo::CDescInterCodecInfo() : CDescFixed(71, InterCodecLayout()) {}
CDescInterSPDIFInfo::CDescInterSPDIFInfo() : CDescFixed(72, InterSpdifLayout()) {}
CDescInterUartInfo::CDescInterUartInfo() : CDescFixed(73, InterUartLayout()) {}
CDescGPIODrivingInfo::CDescGPIODrivingInfo() : CDescFixed(74, GpioDrivingLayout()) {}

// --- choice of the class ---

namespace {

std::unique_ptr<CDescriptor> CreateCommon(std::uint8_t type) {
  switch (type) {
    case 1:
      return std::make_unique<CDescStringManu>();
    case 2:
      return std::make_unique<CDescStringProd>();
    case 3:
      return std::make_unique<CDescStringSN>();
    case 4:
      return std::make_unique<CDescVIDPID>();
    case 6:
      return std::make_unique<CDescStringUBistName>();
    case 7:
      return std::make_unique<CDescStringIAD>();
    case 15:
      return std::make_unique<CDescCodeInfo>();
    default:
      return nullptr;
  }
}

std::unique_ptr<CDescriptor> CreateQX310(std::uint8_t type) {
  switch (type) {
    case 8:
      return std::make_unique<CDescI2S0_310>();
    case 9:
      return std::make_unique<CDescI2S0Channel>();
    case 10:
      return std::make_unique<CDescI2S1_310>();
    case 11:
      return std::make_unique<CDescI2S1Channel>();
    case 12:
      return std::make_unique<CDescI2SCodec0Setting>();
    case 16:
      return std::make_unique<CDescI2SCodec1Setting>();
    case 27:
      return std::make_unique<CDescI2SCodecCommonSetting>();
    case 28:
      return std::make_unique<CDescI2SCodecStartInSetting>();
    case 29:
      return std::make_unique<CDescI2SCodecCloseInSetting>();
    case 30:
      return std::make_unique<CDescI2SCodecStartOutSetting>();
    case 31:
      return std::make_unique<CDescI2SCodecCloseOutSetting>();
    case 32:
      return std::make_unique<CDescI2SCodecCloseAllSetting>();
    case 33:
      return std::make_unique<CDescI2SCodecSuspendSetting>();
    case 47:
      return std::make_unique<CDescEndPointType>();
    case 48:
      return std::make_unique<CDescI2SEPAVolumeSetting>();
    case 49:
      return std::make_unique<CDescI2SEPBVolumeSetting>();
    case 50:
      return std::make_unique<CDescI2SEPCVolumeSetting>();
    case 51:
      return std::make_unique<CDescI2SEPDVolumeSetting>();
    case 52:
      return std::make_unique<CDescI2SEPGVolumeSetting>();
    case 53:
      return std::make_unique<CDescI2SEPHVolumeSetting>();
    case 54:
      return std::make_unique<CDescI2SEPIVolumeSetting>();
    case 55:
      return std::make_unique<CDescI2SEPJVolumeSetting>();
    case 56:
      return std::make_unique<CDescI2SCodec0InMuteSetting>();
    case 57:
      return std::make_unique<CDescI2SCodec0OutMuteSetting>();
    case 58:
      return std::make_unique<CDescI2SCodec1MuteSetting>();
    default:
      return nullptr;
  }
}

std::unique_ptr<CDescriptor> CreateQX330(std::uint8_t type) {
  switch (type) {
    case 14:
      return std::make_unique<CDescSLB>();
    case 39:
      return std::make_unique<CDescSmallCachecode>();
    case 64:
      return std::make_unique<CDescUACTop>();
    case 65:
      return std::make_unique<CDescEPAInfo>();
    case 66:
      return std::make_unique<CDescEPBInfo>();
    case 67:
      return std::make_unique<CDescEPCInfo>();
    case 68:
      return std::make_unique<CDescEPGInfo>();
    case 69:
      return std::make_unique<CDescEPHInfo>();
    case 70:
      return std::make_unique<CDescEPIInfo>();
    case 71:
      return std::make_unique<CDescInterCodecInfo>();
    case 72:
      return std::make_unique<CDescInterSPDIFInfo>();
    case 73:
      return std::make_unique<CDescInterUartInfo>();
    case 74:
      return std::make_unique<CDescGPIODrivingInfo>();
    default:
      return nullptr;
  }
}

}  // namespace

std::unique_ptr<CDescriptor> CreateRecord(std::uint8_t type, std::uint8_t chipType) {
  std::unique_ptr<CDescriptor> record = CreateCommon(type);
  if (!record && chipType == 17) record = CreateQX310(type);
  if (!record && (chipType == 21 || chipType == 24)) record = CreateQX330(type);
  if (!record) {
    record = std::make_unique<CDescDummy>();
    record->type = type;
  }
  return record;
}

}  // namespace vantor
