#include "image/memory_type.h"

#include <atomic>

namespace vantor {

namespace {
std::atomic<MemoryType> gMemoryType{MemoryType::kFlash};
std::atomic<std::uint32_t> gConfiguredMemorySize{kDefaultConfiguredMemorySize};
}  // namespace

std::optional<MemoryType> MemoryTypeFromImageType(std::uint8_t imageTypeCode) {
  switch (imageTypeCode) {
    case 0x11:
      return MemoryType::kEeprom8;
    case 0x12:
      return MemoryType::kEeprom16;
    case 0x30:
    case 0x55:
    case 0x61:
      return MemoryType::kFlash;
    case 0x40:
      return MemoryType::kMtp;
    case 0x60:
      return MemoryType::kOtp;
    default:
      return std::nullopt;
  }
}

MemoryType GetMemoryType() { return gMemoryType.load(); }
void SetMemoryType(MemoryType type) { gMemoryType.store(type); }

std::uint32_t ConfiguredMemorySize() { return gConfiguredMemorySize.load(); }
void SetConfiguredMemorySize(std::uint32_t size) { gConfiguredMemorySize.store(size); }

}  // namespace vantor
