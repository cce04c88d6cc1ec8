// The base of the configuration area's record classes, and the table-driven class of
// the records whose fields all have a fixed place.
//
// A record starts with its length (byte 0, header included) and its type (byte 1); the
// small-cache-code record uses the four-byte escape form (see image/descriptor_chain.h).
// Multi-byte fields are big-endian unless a record's table says little-endian.
//
// Records are owned by whoever asked for them (std::unique_ptr) and deleted through the
// virtual destructor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vantor {

enum class ByteOrder : std::uint8_t { kBig, kLittle };

// A field of `size` bytes (1, 2 or 4) at `offset`; 0 for every byte past the end.
std::uint32_t ReadField(std::span<const std::uint8_t> bytes, std::size_t offset, std::size_t size,
                        ByteOrder order);
// Writes a field; the caller has made sure that it fits.
void WriteField(std::span<std::uint8_t> bytes, std::size_t offset, std::size_t size,
                ByteOrder order, std::uint32_t value);

class CDescriptor {
 public:
  explicit CDescriptor(std::uint8_t recordType = 0) : type(recordType) {}
  virtual ~CDescriptor() = default;
  CDescriptor(const CDescriptor&) = default;
  CDescriptor& operator=(const CDescriptor&) = default;

  // Reads the record from its bytes: `record` starts at the record's first byte and
  // holds the record as the chain found it (header included). Fields past its end read
  // as 0. The base reads the header only. Always succeeds.
  virtual void Parse(std::span<const std::uint8_t> record);
  // Writes the record at the start of `out` and sets its length. False when there is
  // nothing to write or the record does not fit into `out` (nothing is written then).
  // The base has nothing to write.
  virtual bool Build(std::span<std::uint8_t> out);

  std::uint16_t length = 0;     // the whole record, header included
  std::uint16_t extLength = 0;  // escape form: the length the record has when written
  std::uint8_t type = 0;
  std::uint32_t payloadLength = 0;  // length minus the header

 protected:
  // Sets the length and the payload length of a record with a two-byte header.
  void SetPlainLength(std::size_t recordLength);
};

// A field of a fixed record. Fields without a name of their own (the single bytes and
// words of the QX310 interface records) have an empty name and are reached by offset.
struct RecordField {
  std::string name;
  std::uint8_t offset = 0;
  std::uint8_t size = 1;  // 1, 2 or 4 bytes
  ByteOrder order = ByteOrder::kBig;
  // Build writes the value clamped to min..max.
  std::uint32_t min = 0;
  std::uint32_t max = 0xFFFFFFFFu;
};

// A named bit group of a flag byte that is itself a field.
struct RecordFlag {
  std::string name;
  std::uint8_t offset = 0;
  std::uint8_t mask = 0;
};

// The fields of a fixed record; together they cover bytes 2 to length - 1 once each.
struct RecordLayout {
  std::uint8_t length = 0;
  std::vector<RecordField> fields;
  std::vector<RecordFlag> flags;
};

// A record of fixed length whose bytes after the header are all fields of its layout.
// Parse reads every field, Build writes them again (flag bytes are kept whole, so bits
// without a name survive a rewrite) with the record's own length.
class CDescFixed : public CDescriptor {
 public:
  CDescFixed(std::uint8_t recordType, const RecordLayout& layout);

  void Parse(std::span<const std::uint8_t> record) override;
  bool Build(std::span<std::uint8_t> out) override;

  const RecordLayout& Layout() const { return *layout_; }

  // Record editing. Fields by name (as in the IC type definitions) or by the offset of
  // their first byte; Set fails for an unknown field or a value wider than the field.
  std::optional<std::uint32_t> Field(std::string_view name) const;
  bool SetField(std::string_view name, std::uint32_t value);
  std::optional<std::uint32_t> FieldAt(std::size_t offset) const;
  bool SetFieldAt(std::size_t offset, std::uint32_t value);
  std::optional<bool> Flag(std::string_view name) const;
  bool SetFlag(std::string_view name, bool on);

 protected:
  std::uint32_t ValueAt(std::size_t offset) const { return FieldAt(offset).value_or(0); }

 private:
  const RecordLayout* layout_;
  std::vector<std::uint32_t> values_;  // one per layout field, in layout order
};

}  // namespace vantor
