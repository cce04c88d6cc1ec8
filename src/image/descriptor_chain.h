// The configuration area of a firmware image and its record chain.
//
// An area starts with a six-byte header (image type code, signature 0xA5, variant and
// chip type code, area length, record count) and continues with records. Every record
// starts with its length (byte 0, header included) and its type (byte 1); the escape
// bytes 0xFF 0xE7 announce a four-byte header of type 39 whose length is the
// little-endian word at bytes 2-3 (the small-cache-code record, the only one that may
// be longer than 255 bytes). A few head records (version, EEPROM, bank-copy and
// force-update) may open the chain; they are counted in the record count.
//
// DescriptorChain reads one area from a private copy of its bytes, or writes a new one.
// The image is untrusted: every read is checked against the bytes that are there, and a
// record that is shorter than its own header can be neither read nor skipped, so no walk
// can stand still.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace vantor {

class CDescriptor;

inline constexpr std::uint8_t kAreaSignature = 0xA5;
inline constexpr std::size_t kAreaHeaderSize = 6;
// At most this much of an image is taken as the area and what follows it.
inline constexpr std::size_t kChainWorkBufferSize = 0x200000;
// The area length is a 16-bit field: a written area ends before this.
inline constexpr std::size_t kMaxAreaLength = 0xFFFF;
// Finish needs this many bytes spare after the area and its code block.
inline constexpr std::size_t kFinishSpare = 128;
// The second version word a new version record gets when the source has none.
inline constexpr std::uint16_t kDefaultVersionWord2 = 0x1060;

// Record types the image code needs by number.
inline constexpr std::uint8_t kRecordManufacturer = 1;
inline constexpr std::uint8_t kRecordProduct = 2;
inline constexpr std::uint8_t kRecordSerial = 3;
inline constexpr std::uint8_t kRecordVidPid = 4;
inline constexpr std::uint8_t kRecordIad = 7;
inline constexpr std::uint8_t kRecordEepInfo = 8;
inline constexpr std::uint8_t kRecordCodeInfo = 15;
inline constexpr std::uint8_t kRecordBankCopy = 20;
inline constexpr std::uint8_t kRecordForceUpdate = 21;
inline constexpr std::uint8_t kRecordSmallCacheCode = 39;
inline constexpr std::uint8_t kRecordHwApVersion = 47;

// The bank-copy value that switches the alternative pin multiplexing on.
inline constexpr std::uint8_t kBankCopyAltPinMux = 0x5A;

struct AreaHeader {
  std::uint8_t imageType = 0;
  std::uint8_t signature = 0;
  std::uint8_t variant = 0;      // bits 0 to 2 of byte 2
  std::uint8_t chipType = 0;     // bits 3 to 7 of byte 2
  std::uint16_t areaLength = 0;  // bytes 3-4, little-endian: header and records
  std::uint8_t recordCount = 0;

  bool HasSignature() const { return signature == kAreaSignature; }
};

// Reads the header at `offset`; false when fewer than six bytes are there.
bool ReadAreaHeader(std::span<const std::uint8_t> bytes, std::size_t offset, AreaHeader& header);
// True when a whole header with the signature stands at `offset`.
bool HasAreaAt(std::span<const std::uint8_t> bytes, std::size_t offset);

struct RecordHeader {
  std::uint16_t length = 0;  // the whole record, header included
  std::uint8_t type = 0;
  std::uint8_t headerLength = 2;  // 4 for the escape form
};

// Reads the record header at `offset`; false when its bytes are not all there.
bool ReadRecordHeader(std::span<const std::uint8_t> bytes, std::size_t offset,
                      RecordHeader& header);

// A record found by the walk: where it starts (from the area start), its header and
// its bytes (the whole record).
struct ChainRecord {
  std::size_t offset = 0;
  RecordHeader header;
  std::span<const std::uint8_t> bytes;

  // Byte `index` of the record; 0 past its end.
  std::uint8_t ByteAt(std::size_t index) const { return index < bytes.size() ? bytes[index] : 0; }
  std::uint16_t WordLeAt(std::size_t index) const {
    return static_cast<std::uint16_t>(ByteAt(index) | (ByteAt(index + 1) << 8));
  }
};

// Presence and values of the head records.
struct ChainHeadValues {
  bool hasVersion = false;
  std::uint16_t versionWord1 = 0;
  // Bytes 4-5 (little-endian) of the first record, version record or not.
  std::uint16_t versionWord2 = 0;
  bool hasEepInfo = false;
  std::uint8_t eepInfo = 0;
  bool hasBankCopy = false;
  std::uint8_t bankCopy = 0;
  bool hasForceUpdate = false;
  std::uint8_t forceUpdate = 0;
};

enum class ChainWalk {
  kComplete,  // every counted record was read or skipped
  kBroken,    // records are still counted but the next one cannot be skipped
  kStopped,   // the caller stopped the walk
};

// The hardware version word of the version record a rewritten area starts with, by
// chip type code; 0 for chip types without one.
std::uint16_t HardwareVersionWord(std::uint8_t chipType);

class DescriptorChain {
 public:
  // Takes a private copy of at most 0x200000 bytes starting at the area, puts the cursor
  // after the header and reads the head. False when not even the header is there.
  bool Attach(std::span<const std::uint8_t> bytes);

  // Reads the header and consumes the head records at the cursor (each at most once;
  // the bank-copy record only for chip types 25 and 26). Calling it again leaves the
  // remaining count and the cursor as they are. False when the area has no header.
  bool ReadHead();

  // The record at the cursor, when the cursor lies inside the area length and the bytes
  // present, and the record is at least as long as its header and ends inside both.
  // Moves the cursor past it.
  bool ReadNext(ChainRecord& record);

  // Moves the cursor past the record there when it is at least as long as its header
  // and ends inside the bytes present (the area length does not bound a skip).
  bool SkipNext();

  // The record at the cursor as an object of its class (CreateRecord with the area's
  // chip type code), under the same rules as ReadNext(ChainRecord&); null when none can
  // be read. A code-info record gets its code block and a small-cache-code record its
  // data (offset counted from the area start), when the offset and length fields name
  // bytes that are there; otherwise the record holds none and cannot be built again.
  std::unique_ptr<CDescriptor> ReadNext();

  // Reads records until none can be read, counting down the remaining count for every
  // record read or skipped; once no record can be read, records still counted are
  // skipped. `onRecord` sees every record read.
  ChainWalk Walk(const std::function<void(const ChainRecord&)>& onRecord);
  // The same walk with the records as objects; the walk stops (kStopped) when
  // `onRecord` returns false.
  ChainWalk WalkRecords(const std::function<bool(std::unique_ptr<CDescriptor>)>& onRecord);

  // --- writing ---

  // Starts an empty area: image type code, variant and chip type code of `source`,
  // signature 0xA5, length 6, no records. With `withVersion` a version record comes
  // first (HardwareVersionWord of the chip type; the source's second version word, or
  // 0x1060 when the source has no version record or its word is 0); then the EEPROM,
  // bank-copy (chip types 25 and 26) and force-update records the source had.
  bool BeginWrite(const AreaHeader& source, const ChainHeadValues& head, bool withVersion);
  // Builds the record at the cursor and counts it. A small-cache-code record gets its
  // data offset (cursor + 8); a code-info record's code block is kept for Finish (an
  // area carries one). False when the record builds nothing, the area would pass 0xFFFF
  // bytes or 255 records, or the chain is not being written.
  bool Append(CDescriptor& record);
  // Points the code-info record at the end of the records, puts the code block there,
  // writes the header and copies area and code block to `output`. False when `output`
  // is shorter than area + code block + 128 bytes (nothing is copied then).
  bool Finish(std::span<std::uint8_t> output);
  // The code block the written area carries.
  std::size_t codeLength() const { return code_.size(); }

  const AreaHeader& header() const { return header_; }
  const ChainHeadValues& head() const { return head_; }
  int remaining() const { return remaining_; }
  std::size_t cursor() const { return cursor_; }
  // The bytes of the private copy (the area and whatever follows it).
  std::span<const std::uint8_t> bytes() const { return area_; }

 private:
  // Back to an empty chain at the cursor after the header, for reading or writing.
  void Reset(bool writing);
  // Consumes a head record of that type and length at the cursor when one stands there.
  bool ConsumeHeadRecord(bool& done, std::uint8_t type, std::size_t length);
  template <typename Read, typename Visit>
  ChainWalk WalkWith(Read read, Visit visit);
  // Takes the code block or data a record names from the area bytes.
  void AttachBlock(CDescriptor& record) const;

  std::vector<std::uint8_t> area_;
  std::size_t cursor_ = kAreaHeaderSize;
  AreaHeader header_;
  ChainHeadValues head_;
  int remaining_ = 0;
  bool versionDone_ = false;
  bool eepDone_ = false;
  bool bankCopyDone_ = false;
  bool forceUpdateDone_ = false;
  // Writing.
  bool writing_ = false;
  unsigned written_ = 0;  // records appended
  std::vector<std::uint8_t> code_;
  std::optional<std::size_t> codeOffsetAt_;  // where the code-info record's offset lies
};

}  // namespace vantor
