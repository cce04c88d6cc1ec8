// Lays out firmware images: configuration areas (six-byte header and a chain of
// records) and the records themselves, byte for byte. Used by the built-in image maker
// and by the tests that build images of their own. Header-only and free of the tool's
// libraries, because the images it makes are built into those libraries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace vantor::imagegen {

using Bytes = std::vector<std::uint8_t>;

inline void PutLe16(Bytes& bytes, std::size_t at, std::uint16_t value) {
  bytes.at(at) = static_cast<std::uint8_t>(value & 0xFF);
  bytes.at(at + 1) = static_cast<std::uint8_t>(value >> 8);
}

inline void PutBe16(Bytes& bytes, std::size_t at, std::uint16_t value) {
  bytes.at(at) = static_cast<std::uint8_t>(value >> 8);
  bytes.at(at + 1) = static_cast<std::uint8_t>(value & 0xFF);
}

// A record with a two-byte header: length (header included), type, then the payload.
inline Bytes Record(std::uint8_t type, std::span<const std::uint8_t> payload) {
  Bytes record{static_cast<std::uint8_t>(payload.size() + 2), type};
  record.insert(record.end(), payload.begin(), payload.end());
  return record;
}

inline Bytes Record(std::uint8_t type, std::initializer_list<std::uint8_t> payload) {
  return Record(type, std::span<const std::uint8_t>(payload.begin(), payload.size()));
}

// A string record: length = text + 4, type, bLength = text + 2, descriptor type 3,
// then the text one byte a character.
inline Bytes StringRecord(std::uint8_t type, std::string_view text) {
  Bytes record(text.size() + 4, 0);
  record[0] = static_cast<std::uint8_t>(text.size() + 4);
  record[1] = type;
  record[2] = static_cast<std::uint8_t>(text.size() + 2);
  record[3] = 3;
  for (std::size_t i = 0; i < text.size(); ++i) record[4 + i] = static_cast<std::uint8_t>(text[i]);
  return record;
}

// Type 4: VID, PID and release number, each little-endian.
inline Bytes VidPidRecord(std::uint16_t vid, std::uint16_t pid, std::uint16_t release) {
  Bytes record(8, 0);
  record[0] = 8;
  record[1] = 4;
  PutLe16(record, 2, vid);
  PutLe16(record, 4, pid);
  PutLe16(record, 6, release);
  return record;
}

// Head record type 47: two little-endian version words.
inline Bytes VersionRecord(std::uint16_t word1, std::uint16_t word2) {
  Bytes record(6, 0);
  record[0] = 6;
  record[1] = 47;
  PutLe16(record, 2, word1);
  PutLe16(record, 4, word2);
  return record;
}

// Head records of one value byte: EEPROM information (8), bank copy (20), force
// update (21).
inline Bytes ByteRecord(std::uint8_t type, std::uint8_t value) { return {3, type, value}; }

// Builds one configuration area: the header, the records in the order added, and the
// code block of a code-info record right after the area.
class AreaBuilder {
 public:
  AreaBuilder(std::uint8_t imageType, std::uint8_t chipType, std::uint8_t variant = 0)
      : imageType_(imageType), chipType_(chipType), variant_(variant) {}

  AreaBuilder& Add(Bytes record) {
    records_.insert(records_.end(), record.begin(), record.end());
    ++count_;
    return *this;
  }

  // The small-cache-code record (escape header 0xFF 0xE7, length, data offset from the
  // area start and data length, all little-endian) with its data right after its eight
  // bytes.
  AreaBuilder& AddSmallCache(std::span<const std::uint8_t> data) {
    const std::size_t at = 6 + records_.size();
    Bytes record(8, 0);
    record[0] = 0xFF;
    record[1] = 0xE7;
    PutLe16(record, 2, static_cast<std::uint16_t>(8 + data.size()));
    PutLe16(record, 4, static_cast<std::uint16_t>(at + 8));
    PutLe16(record, 6, static_cast<std::uint16_t>(data.size()));
    record.insert(record.end(), data.begin(), data.end());
    return Add(std::move(record));
  }

  // The code-info record (type 15: code offset from the area start and code length,
  // little-endian); the code block follows the area.
  AreaBuilder& AddCodeInfo(std::span<const std::uint8_t> code) {
    codeInfoAt_ = 6 + records_.size();
    code_.assign(code.begin(), code.end());
    Bytes record(6, 0);
    record[0] = 6;
    record[1] = 15;
    PutLe16(record, 4, static_cast<std::uint16_t>(code.size()));
    return Add(std::move(record));
  }

  // Overrides for areas whose header does not tell the truth.
  AreaBuilder& SetRecordCount(std::uint8_t count) {
    countOverride_ = count;
    return *this;
  }
  AreaBuilder& SetAreaLength(std::uint16_t length) {
    lengthOverride_ = length;
    return *this;
  }

  std::uint16_t AreaLength() const { return static_cast<std::uint16_t>(6 + records_.size()); }

  Bytes Build() const {
    Bytes area{imageType_, 0xA5, static_cast<std::uint8_t>((chipType_ << 3) | (variant_ & 0x07)),
               0,          0,    countOverride_.value_or(count_)};
    PutLe16(area, 3, lengthOverride_.value_or(AreaLength()));
    area.insert(area.end(), records_.begin(), records_.end());
    if (codeInfoAt_) {
      PutLe16(area, *codeInfoAt_ + 2, AreaLength());
      area.insert(area.end(), code_.begin(), code_.end());
    }
    return area;
  }

 private:
  std::uint8_t imageType_;
  std::uint8_t chipType_;
  std::uint8_t variant_;
  Bytes records_;
  std::uint8_t count_ = 0;
  std::optional<std::size_t> codeInfoAt_;
  Bytes code_;
  std::optional<std::uint8_t> countOverride_;
  std::optional<std::uint16_t> lengthOverride_;
};

// An image of `length` bytes of `fill`.
inline Bytes Filled(std::size_t length, std::uint8_t fill = 0xFF) { return Bytes(length, fill); }

// Copies `bytes` into `image` at `offset`; the image must be long enough.
inline void Place(Bytes& image, std::size_t offset, std::span<const std::uint8_t> bytes) {
  for (std::size_t i = 0; i < bytes.size(); ++i) image.at(offset + i) = bytes[i];
}

}  // namespace vantor::imagegen
