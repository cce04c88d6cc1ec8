#include "image/descriptor.h"

#include <algorithm>

#include "image/descriptor_chain.h"

namespace vantor {

std::uint32_t ReadField(std::span<const std::uint8_t> bytes, std::size_t offset, std::size_t size,
                        ByteOrder order) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < size; ++i) {
    const std::size_t at = offset + (order == ByteOrder::kBig ? i : size - 1 - i);
    value = (value << 8) | (at < bytes.size() ? bytes[at] : 0u);
  }
  return value;
}

void WriteField(std::span<std::uint8_t> bytes, std::size_t offset, std::size_t size,
                ByteOrder order, std::uint32_t value) {
  for (std::size_t i = 0; i < size; ++i) {
    const std::size_t at = offset + (order == ByteOrder::kLittle ? i : size - 1 - i);
    bytes[at] = static_cast<std::uint8_t>(value & 0xFF);
    value >>= 8;
  }
}

void CDescriptor::Parse(std::span<const std::uint8_t> record) {
  RecordHeader header;
  if (!ReadRecordHeader(record, 0, header)) {
    // Not even a header: an empty record of no type.
    length = 0;
    payloadLength = 0;
    return;
  }
  length = header.length;
  type = header.type;
  payloadLength = header.length > header.headerLength ? header.length - header.headerLength : 0;
}

bool CDescriptor::Build(std::span<std::uint8_t>) { return false; }

void CDescriptor::SetPlainLength(std::size_t recordLength) {
  length = static_cast<std::uint16_t>(recordLength);
  payloadLength = static_cast<std::uint32_t>(recordLength > 2 ? recordLength - 2 : 0);
}

CDescFixed::CDescFixed(std::uint8_t recordType, const RecordLayout& layout)
    : CDescriptor(recordType), layout_(&layout), values_(layout.fields.size(), 0) {
  SetPlainLength(layout.length);
}

void CDescFixed::Parse(std::span<const std::uint8_t> record) {
  CDescriptor::Parse(record);
  for (std::size_t i = 0; i < layout_->fields.size(); ++i) {
    const RecordField& f = layout_->fields[i];
    values_[i] = ReadField(record, f.offset, f.size, f.order);
  }
}

bool CDescFixed::Build(std::span<std::uint8_t> out) {
  const std::size_t recordLength = layout_->length;
  if (out.size() < recordLength) return false;
  out[0] = static_cast<std::uint8_t>(recordLength);
  out[1] = type;
  for (std::size_t i = 0; i < layout_->fields.size(); ++i) {
    const RecordField& f = layout_->fields[i];
    values_[i] = std::clamp(values_[i], f.min, f.max);
    WriteField(out, f.offset, f.size, f.order, values_[i]);
  }
  SetPlainLength(recordLength);
  return true;
}

namespace {

bool FitsField(const RecordField& f, std::uint32_t value) {
  return f.size >= 4 || value < (1u << (8 * f.size));
}

}  // namespace

std::optional<std::uint32_t> CDescFixed::Field(std::string_view name) const {
  for (std::size_t i = 0; i < layout_->fields.size(); ++i) {
    if (!name.empty() && layout_->fields[i].name == name) return values_[i];
  }
  return std::nullopt;
}

bool CDescFixed::SetField(std::string_view name, std::uint32_t value) {
  for (std::size_t i = 0; i < layout_->fields.size(); ++i) {
    const RecordField& f = layout_->fields[i];
    if (name.empty() || f.name != name) continue;
    if (!FitsField(f, value)) return false;
    values_[i] = value;
    return true;
  }
  return false;
}

std::optional<std::uint32_t> CDescFixed::FieldAt(std::size_t offset) const {
  for (std::size_t i = 0; i < layout_->fields.size(); ++i) {
    if (layout_->fields[i].offset == offset) return values_[i];
  }
  return std::nullopt;
}

bool CDescFixed::SetFieldAt(std::size_t offset, std::uint32_t value) {
  for (std::size_t i = 0; i < layout_->fields.size(); ++i) {
    const RecordField& f = layout_->fields[i];
    if (f.offset != offset) continue;
    if (!FitsField(f, value)) return false;
    values_[i] = value;
    return true;
  }
  return false;
}

std::optional<bool> CDescFixed::Flag(std::string_view name) const {
  for (const RecordFlag& flag : layout_->flags) {
    if (flag.name == name) return (ValueAt(flag.offset) & flag.mask) != 0;
  }
  return std::nullopt;
}

bool CDescFixed::SetFlag(std::string_view name, bool on) {
  for (const RecordFlag& flag : layout_->flags) {
    if (flag.name != name) continue;
    const std::uint32_t byte = ValueAt(flag.offset);
    return SetFieldAt(flag.offset, on ? (byte | flag.mask) : (byte & ~std::uint32_t{flag.mask}));
  }
  return false;
}

}  // namespace vantor
