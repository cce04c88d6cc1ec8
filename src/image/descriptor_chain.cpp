#include "image/descriptor_chain.h"

#include <algorithm>

#include "image/descriptor_records.h"

namespace vantor {

namespace {

// The hardware version words of the version record a rewritten area starts with, one per
// chip type code that has one. The high byte is the generation of the configuration-area
// layout these chips share (3), the low byte the chip type code itself, so the word
// names the chip model the area was made for. The built-in images carry the same words,
// so rewriting one of their areas keeps its version record as it was.
struct HardwareVersion {
  std::uint8_t chipType;
  std::uint16_t word;
};
constexpr HardwareVersion kHardwareVersionWords[12] = {
    {17, 0x0311}, {21, 0x0315}, {22, 0x0316}, {23, 0x0317}, {24, 0x0318}, {25, 0x0319},
    {26, 0x031A}, {27, 0x031B}, {28, 0x031C}, {29, 0x031D}, {30, 0x031E}, {31, 0x031F},
};

// The escape form (bytes 0xFF 0xE7): ten-bit length 1023 and type 39.
bool IsEscape(std::uint8_t byte0, std::uint8_t byte1) {
  const unsigned tenBitLength = ((byte1 & 0xC0u) << 2) | byte0;
  return tenBitLength == 1023 && (byte1 & 0x3F) == kRecordSmallCacheCode;
}

bool IsBankCopyChip(std::uint8_t chipType) { return chipType == 25 || chipType == 26; }

}  // namespace

std::uint16_t HardwareVersionWord(std::uint8_t chipType) {
  for (const HardwareVersion& entry : kHardwareVersionWords) {
    if (entry.chipType == chipType) return entry.word;
  }
  return 0;
}

bool ReadAreaHeader(std::span<const std::uint8_t> bytes, std::size_t offset, AreaHeader& header) {
  if (offset > bytes.size() || bytes.size() - offset < kAreaHeaderSize) return false;
  const std::uint8_t* p = bytes.data() + offset;
  header.imageType = p[0];
  header.signature = p[1];
  header.variant = p[2] & 0x07;
  header.chipType = p[2] >> 3;
  header.areaLength = static_cast<std::uint16_t>(p[3] | (p[4] << 8));
  header.recordCount = p[5];
  return true;
}

bool HasAreaAt(std::span<const std::uint8_t> bytes, std::size_t offset) {
  AreaHeader header;
  return ReadAreaHeader(bytes, offset, header) && header.HasSignature();
}

bool ReadRecordHeader(std::span<const std::uint8_t> bytes, std::size_t offset,
                      RecordHeader& header) {
  if (offset > bytes.size() || bytes.size() - offset < 2) return false;
  const std::uint8_t* p = bytes.data() + offset;
  if (!IsEscape(p[0], p[1])) {
    header.length = p[0];
    header.type = p[1];
    header.headerLength = 2;
    return true;
  }
  if (bytes.size() - offset < 4) return false;
  header.length = static_cast<std::uint16_t>(p[2] | (p[3] << 8));
  header.type = kRecordSmallCacheCode;
  header.headerLength = 4;
  return true;
}

bool DescriptorChain::Attach(std::span<const std::uint8_t> bytes) {
  const std::size_t length = std::min(bytes.size(), kChainWorkBufferSize);
  area_.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
  Reset(false);
  return ReadHead();
}

void DescriptorChain::Reset(bool writing) {
  cursor_ = kAreaHeaderSize;
  header_ = {};
  head_ = {};
  remaining_ = 0;
  versionDone_ = eepDone_ = bankCopyDone_ = forceUpdateDone_ = false;
  writing_ = writing;
  written_ = 0;
  code_.clear();
  codeOffsetAt_.reset();
}

bool DescriptorChain::ConsumeHeadRecord(bool& done, std::uint8_t type, std::size_t length) {
  if (done) {
    --remaining_;
    return false;
  }
  if (cursor_ > area_.size() || area_.size() - cursor_ < length) return false;
  if (area_[cursor_] != length || area_[cursor_ + 1] != type) return false;
  cursor_ += length;
  --remaining_;
  done = true;
  return true;
}

bool DescriptorChain::ReadHead() {
  if (!ReadAreaHeader(area_, 0, header_)) {
    remaining_ = 0;
    return false;
  }
  remaining_ = header_.recordCount;

  // The version record's second word is remembered whatever the first record is.
  const ChainRecord first{
      cursor_, {}, std::span<const std::uint8_t>(area_).subspan(std::min(cursor_, area_.size()))};
  if (!versionDone_ && cursor_ == kAreaHeaderSize) head_.versionWord2 = first.WordLeAt(4);
  if (ConsumeHeadRecord(versionDone_, kRecordHwApVersion, 6)) {
    head_.hasVersion = true;
    head_.versionWord1 = first.WordLeAt(2);
  }
  if (ConsumeHeadRecord(eepDone_, kRecordEepInfo, 3)) {
    head_.hasEepInfo = true;
    head_.eepInfo = area_[cursor_ - 1];
  }
  if (IsBankCopyChip(header_.chipType)) {
    if (ConsumeHeadRecord(bankCopyDone_, kRecordBankCopy, 3)) {
      head_.hasBankCopy = true;
      head_.bankCopy = area_[cursor_ - 1];
    }
  }
  if (ConsumeHeadRecord(forceUpdateDone_, kRecordForceUpdate, 3)) {
    head_.hasForceUpdate = true;
    head_.forceUpdate = area_[cursor_ - 1];
  }
  return true;
}

bool DescriptorChain::ReadNext(ChainRecord& record) {
  const std::size_t end = std::min<std::size_t>(area_.size(), header_.areaLength);
  if (cursor_ >= end) return false;
  RecordHeader rh;
  if (!ReadRecordHeader(area_, cursor_, rh)) return false;
  // A record shorter than its header would leave the cursor where it is; one that
  // reaches past the area belongs to no area.
  if (rh.length < rh.headerLength || rh.length > end - cursor_) return false;
  record.offset = cursor_;
  record.header = rh;
  record.bytes = std::span<const std::uint8_t>(area_).subspan(cursor_, rh.length);
  cursor_ += rh.length;
  return true;
}

bool DescriptorChain::SkipNext() {
  RecordHeader rh;
  if (cursor_ >= area_.size() || !ReadRecordHeader(area_, cursor_, rh)) return false;
  if (rh.length < rh.headerLength || rh.length > area_.size() - cursor_) return false;
  cursor_ += rh.length;
  return true;
}

template <typename Read, typename Visit>
ChainWalk DescriptorChain::WalkWith(Read read, Visit visit) {
  for (;;) {
    if (auto record = read()) {
      --remaining_;
      if (!visit(std::move(record))) return ChainWalk::kStopped;
      continue;
    }
    if (remaining_ < 1) return ChainWalk::kComplete;
    if (!SkipNext()) return ChainWalk::kBroken;
    --remaining_;
  }
}

ChainWalk DescriptorChain::Walk(const std::function<void(const ChainRecord&)>& onRecord) {
  return WalkWith(
      [this]() -> std::optional<ChainRecord> {
        ChainRecord record;
        if (!ReadNext(record)) return std::nullopt;
        return record;
      },
      [&onRecord](std::optional<ChainRecord> record) {
        if (onRecord) onRecord(*record);
        return true;
      });
}

ChainWalk DescriptorChain::WalkRecords(
    const std::function<bool(std::unique_ptr<CDescriptor>)>& onRecord) {
  return WalkWith([this] { return ReadNext(); },
                  [&onRecord](std::unique_ptr<CDescriptor> record) {
                    return !onRecord || onRecord(std::move(record));
                  });
}

std::unique_ptr<CDescriptor> DescriptorChain::ReadNext() {
  ChainRecord raw;
  if (!ReadNext(raw)) return nullptr;
  std::unique_ptr<CDescriptor> record = CreateRecord(raw.header.type, header_.chipType);
  record->Parse(raw.bytes);
  AttachBlock(*record);
  return record;
}

void DescriptorChain::AttachBlock(CDescriptor& record) const {
  const std::span<const std::uint8_t> area(area_);
  auto block = [&area](std::size_t offset, std::size_t length) {
    return offset <= area.size() && length <= area.size() - offset
               ? std::optional(area.subspan(offset, length))
               : std::nullopt;
  };
  if (auto* code = dynamic_cast<CDescCodeInfo*>(&record)) {
    if (auto bytes = block(code->codeOffset, code->codeLength)) code->SetCode(*bytes);
  } else if (auto* cache = dynamic_cast<CDescSmallCachecode*>(&record)) {
    if (auto bytes = block(cache->dataOffset, cache->dataLength)) cache->SetData(*bytes);
  }
}

bool DescriptorChain::BeginWrite(const AreaHeader& source, const ChainHeadValues& head,
                                 bool withVersion) {
  area_.assign(kMaxAreaLength, 0);
  Reset(true);
  header_.imageType = source.imageType;
  header_.signature = kAreaSignature;
  header_.variant = source.variant;
  header_.chipType = source.chipType;
  header_.areaLength = kAreaHeaderSize;

  if (withVersion) {
    CDescHWAPVersion version;
    const std::uint16_t word2 = head.hasVersion ? head.versionWord2 : 0;
    version.SetFieldAt(2, HardwareVersionWord(source.chipType));
    version.SetFieldAt(4, word2 != 0 ? word2 : kDefaultVersionWord2);
    if (!Append(version)) return false;
  }
  auto appendValue = [this](CDescFixed&& record, bool present, std::uint8_t value) {
    return !present || (record.SetFieldAt(2, value) && Append(record));
  };
  return appendValue(CDescEEPInfo(), head.hasEepInfo, head.eepInfo) &&
         appendValue(CDescBankCopyInfo(), head.hasBankCopy && IsBankCopyChip(source.chipType),
                     head.bankCopy) &&
         appendValue(CDescForceUpdateInfo(), head.hasForceUpdate, head.forceUpdate);
}

bool DescriptorChain::Append(CDescriptor& record) {
  if (!writing_ || written_ >= 0xFF || cursor_ >= kMaxAreaLength) return false;
  auto* code = dynamic_cast<CDescCodeInfo*>(&record);
  if (code && codeOffsetAt_) return false;  // one code block per area
  if (auto* cache = dynamic_cast<CDescSmallCachecode*>(&record)) {
    cache->dataOffset = static_cast<std::uint16_t>(std::min(cursor_ + 8, kMaxAreaLength));
  }
  const std::span<std::uint8_t> out =
      std::span<std::uint8_t>(area_).subspan(cursor_, kMaxAreaLength - cursor_);
  if (!record.Build(out)) return false;
  if (code) {
    code_ = code->Code();
    codeOffsetAt_ = cursor_ + 2;
  }
  cursor_ += record.length;
  ++written_;
  header_.areaLength = static_cast<std::uint16_t>(cursor_);
  header_.recordCount = static_cast<std::uint8_t>(written_);
  return true;
}

bool DescriptorChain::Finish(std::span<std::uint8_t> output) {
  if (!writing_) return false;
  const std::size_t total = cursor_ + code_.size();
  if (output.size() < total + kFinishSpare) return false;
  if (codeOffsetAt_) WriteField(area_, *codeOffsetAt_, 2, ByteOrder::kLittle, cursor_);
  CDescGlobal global;
  global.header = header_;
  global.Build(area_);
  std::copy_n(area_.begin(), cursor_, output.begin());
  std::copy(code_.begin(), code_.end(), output.begin() + static_cast<std::ptrdiff_t>(cursor_));
  return true;
}

}  // namespace vantor
