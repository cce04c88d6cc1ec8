#include "sim/spi_flash.h"

#include <algorithm>
#include <cstring>

namespace vantor::sim {

SpiFlash::SpiFlash(std::uint8_t* data, std::size_t size, const DeviceTiming& timing,
                   const DeviceFaults& faults)
    : data_(data), size_(size), timing_(timing), faults_(faults) {}

bool SpiFlash::Busy(std::uint64_t nowUs) const { return faults_.stayBusy || nowUs < busyUntilUs_; }

std::uint8_t SpiFlash::ReadStatus(std::uint64_t nowUs) const {
  return static_cast<std::uint8_t>(status_ | (Busy(nowUs) ? kBusy : 0));
}

void SpiFlash::StartBusy(std::uint64_t nowUs, std::uint64_t us) { busyUntilUs_ = nowUs + us; }

bool SpiFlash::Read(std::uint32_t address, std::uint8_t* out, std::size_t length,
                    std::uint64_t nowUs) const {
  if (Busy(nowUs)) {
    std::memset(out, 0xFF, length);
    return false;
  }
  std::memcpy(out, data_ + address, length);
  return true;
}

bool SpiFlash::ReadId(const std::uint8_t id[3], std::uint8_t out[3], std::uint64_t nowUs) const {
  if (Busy(nowUs)) {
    std::memset(out, 0xFF, 3);
    return false;
  }
  std::memcpy(out, id, 3);
  return true;
}

bool SpiFlash::ProgramPage(std::uint32_t address, const std::uint8_t* in, std::size_t length,
                           std::uint64_t nowUs) {
  if (length == 0 || Busy(nowUs) || Protected()) return false;
  for (std::size_t i = 0; i < length; ++i) {
    std::uint8_t keep = 0;  // bits that do not program
    for (const FlashCell& cell : faults_.programStuck)
      if (cell.address == address + i) keep |= cell.mask;
    data_[address + i] &= static_cast<std::uint8_t>(in[i] | keep);
  }
  // The programming time grows with the bytes of the page programmed.
  StartBusy(nowUs, std::max<std::uint64_t>(1, length * timing_.pageProgramUs / kPageSize));
  return true;
}

void SpiFlash::Erase(std::size_t start, std::size_t length) {
  std::memset(data_ + start, 0xFF, length);
  for (const FlashCell& cell : faults_.eraseStuck) {
    if (cell.address >= start && cell.address < start + length) data_[cell.address] &= ~cell.mask;
  }
}

bool SpiFlash::EraseSector(std::uint32_t address, std::uint64_t nowUs) {
  if (Busy(nowUs) || Protected()) return false;
  std::uint32_t start = address & ~(kSectorSize - 1);
  Erase(start, std::min<std::size_t>(kSectorSize, size_ - start));
  StartBusy(nowUs, std::uint64_t{timing_.sectorEraseMs} * 1000);
  return true;
}

bool SpiFlash::EraseChip(std::uint64_t nowUs) {
  // A chip erase is ignored as a whole while any block is protected.
  if (Busy(nowUs) || Protected()) return false;
  Erase(0, size_);
  StartBusy(nowUs, std::uint64_t{timing_.chipEraseMs} * 1000);
  return true;
}

bool SpiFlash::WriteStatus(std::uint8_t value, bool protectPinLow, std::uint64_t nowUs) {
  if (Busy(nowUs) || faults_.statusStuck) return false;
  if ((status_ & kStatusProtect) != 0 && protectPinLow) return false;
  status_ = value & 0xFC;
  StartBusy(nowUs, std::uint64_t{timing_.statusWriteMs} * 1000);
  return true;
}

}  // namespace vantor::sim
