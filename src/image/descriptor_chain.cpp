#include "image/descriptor_chain.h"

#include <algorithm>

namespace vantor {

namespace {

// The escape form (bytes 0xFF 0xE7): ten-bit length 1023 and type 39.
bool IsEscape(std::uint8_t byte0, std::uint8_t byte1) {
  const unsigned tenBitLength = ((byte1 & 0xC0u) << 2) | byte0;
  return tenBitLength == 1023 && (byte1 & 0x3F) == kRecordSmallCacheCode;
}

}  // namespace

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
  cursor_ = kAreaHeaderSize;
  header_ = {};
  head_ = {};
  remaining_ = 0;
  versionDone_ = eepDone_ = bankCopyDone_ = forceUpdateDone_ = false;
  return ReadHead();
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
  if (header_.chipType == 25 || header_.chipType == 26) {
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

ChainWalk DescriptorChain::Walk(const std::function<void(const ChainRecord&)>& onRecord) {
  for (;;) {
    ChainRecord record;
    if (ReadNext(record)) {
      --remaining_;
      if (onRecord) onRecord(record);
      continue;
    }
    if (remaining_ < 1) return ChainWalk::kComplete;
    if (!SkipNext()) return ChainWalk::kBroken;
    --remaining_;
  }
}

}  // namespace vantor
