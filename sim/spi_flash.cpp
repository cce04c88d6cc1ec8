#include "sim/spi_flash.h"

#include <algorithm>
#include <cstring>

namespace vantor::sim {

SpiFlash::SpiFlash(std::uint8_t* data, std::size_t size, const DeviceTiming& timing)
    : data_(data), size_(size), timing_(timing) {}

bool SpiFlash::Busy(std::uint64_t nowUs) const { return stayBusy_ || nowUs < busyUntilUs_; }

std::uint8_t SpiFlash::ReadStatus(std::uint64_t nowUs) const {
  return static_cast<std::uint8_t>(status_ | (Busy(nowUs) ? kBusy : 0));
}

void SpiFlash::StartBusy(std::uint64_t nowUs, std::uint64_t us) {
  busyUntilUs_ = std::max(busyUntilUs_, nowUs + us);
}

void SpiFlash::Read(std::uint32_t address, std::uint8_t* out, std::size_t length) const {
  std::memcpy(out, data_ + address, length);
}

std::uint64_t SpiFlash::Program(std::uint32_t address, const std::uint8_t* in, std::size_t length,
                                std::uint64_t nowUs) {
  if (length == 0) return 0;
  // The controller fills whole pages; the time is that of the bytes programmed.
  std::uint64_t us = std::max<std::uint64_t>(1, length * timing_.pageProgramUs / kPageSize);
  if (!Protected()) {
    for (std::size_t i = 0; i < length; ++i) data_[address + i] &= in[i];
  }
  StartBusy(nowUs, us);
  return us;
}

std::uint64_t SpiFlash::EraseSector(std::uint32_t address, std::uint64_t nowUs) {
  std::uint64_t us = std::uint64_t{timing_.sectorEraseMs} * 1000;
  if (!Protected()) {
    std::uint32_t start = address & ~(kSectorSize - 1);
    std::memset(data_ + start, 0xFF, std::min<std::size_t>(kSectorSize, size_ - start));
  }
  StartBusy(nowUs, us);
  return us;
}

std::uint64_t SpiFlash::EraseChip(std::uint64_t nowUs) {
  // A chip erase is refused as a whole while any block is protected.
  if (Protected()) return 1;
  std::uint64_t us = std::uint64_t{timing_.chipEraseMs} * 1000;
  std::memset(data_, 0xFF, size_);
  StartBusy(nowUs, us);
  return us;
}

std::uint64_t SpiFlash::WriteStatus(std::uint8_t value, bool protectPinLow, std::uint64_t nowUs) {
  if ((status_ & kStatusProtect) != 0 && protectPinLow) return 0;
  status_ = value & 0xFC;
  std::uint64_t us = std::uint64_t{timing_.statusWriteMs} * 1000;
  StartBusy(nowUs, us);
  return us;
}

}  // namespace vantor::sim
