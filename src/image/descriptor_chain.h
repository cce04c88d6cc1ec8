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
// DescriptorChain reads one area from a private copy of its bytes. The image is
// untrusted: every read is checked against the bytes that are there, and a record that
// is shorter than its own header can be neither read nor skipped, so no walk can stand
// still.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace vantor {

inline constexpr std::uint8_t kAreaSignature = 0xA5;
inline constexpr std::size_t kAreaHeaderSize = 6;
// At most this much of an image is taken as the area and what follows it.
inline constexpr std::size_t kChainWorkBufferSize = 0x200000;

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
};

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

  // Reads records until none can be read, counting down the remaining count for every
  // record read or skipped; once no record can be read, records still counted are
  // skipped. `onRecord` sees every record read.
  ChainWalk Walk(const std::function<void(const ChainRecord&)>& onRecord);

  const AreaHeader& header() const { return header_; }
  const ChainHeadValues& head() const { return head_; }
  int remaining() const { return remaining_; }
  std::size_t cursor() const { return cursor_; }
  // The bytes of the private copy (the area and whatever follows it).
  std::span<const std::uint8_t> bytes() const { return area_; }

 private:
  // Consumes a head record of that type and length at the cursor when one stands there.
  bool ConsumeHeadRecord(bool& done, std::uint8_t type, std::size_t length);

  std::vector<std::uint8_t> area_;
  std::size_t cursor_ = kAreaHeaderSize;
  AreaHeader header_;
  ChainHeadValues head_;
  int remaining_ = 0;
  bool versionDone_ = false;
  bool eepDone_ = false;
  bool bankCopyDone_ = false;
  bool forceUpdateDone_ = false;
};

}  // namespace vantor
