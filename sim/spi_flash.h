// An SPI NOR flash as the chip's controller sees it. A program clears bits only (the data
// is ANDed into what is there) and runs page by page; sector and chip erases set 0xFF.
// Programs, erases and status writes take time on the clock, and while one runs the
// status register's busy bit is set and the flash ignores every other command but the
// status read: a program, erase or status write that arrives then changes nothing, and a
// read or id read gets no answer (the data line floats high: 0xFF). The block-protect
// bits make the flash ignore programs and erases; the status-protect bit with the
// write-protect pin low makes it ignore status writes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sim/device_config.h"

namespace vantor::sim {

class SpiFlash {
 public:
  static constexpr std::uint8_t kBusy = 0x01;
  static constexpr std::uint8_t kBlockProtect = 0x1C;
  static constexpr std::uint8_t kStatusProtect = 0x80;
  static constexpr std::uint32_t kSectorSize = 0x1000;
  static constexpr std::uint32_t kPageSize = 256;

  // `faults` (stuck bits, a flash that stays busy, a status register that ignores
  // writes) are read at every command, so they may change at any time.
  SpiFlash(std::uint8_t* data, std::size_t size, const DeviceTiming& timing,
           const DeviceFaults& faults);

  std::size_t size() const { return size_; }
  const std::uint8_t* data() const { return data_; }

  // The status register as read at `nowUs` (busy while an operation runs).
  std::uint8_t ReadStatus(std::uint64_t nowUs) const;
  bool Busy(std::uint64_t nowUs) const;
  // When the running operation ends; meaningless while `StaysBusy`.
  std::uint64_t busyUntilUs() const { return busyUntilUs_; }
  bool StaysBusy() const { return faults_.stayBusy; }

  // The stored status bits (non-volatile), and their restoration from saved state.
  std::uint8_t statusBits() const { return status_; }
  void set_statusBits(std::uint8_t value) { status_ = value & 0xFC; }
  bool Protected() const { return (status_ & kBlockProtect) != 0; }

  // The commands, at `nowUs`. Each returns false when the flash ignored it; the caller
  // has checked the range. A read that is ignored leaves 0xFF in `out`.
  bool Read(std::uint32_t address, std::uint8_t* out, std::size_t length,
            std::uint64_t nowUs) const;
  bool ReadId(const std::uint8_t id[3], std::uint8_t out[3], std::uint64_t nowUs) const;
  // One page program: the bytes must lie within one page.
  bool ProgramPage(std::uint32_t address, const std::uint8_t* in, std::size_t length,
                   std::uint64_t nowUs);
  bool EraseSector(std::uint32_t address, std::uint64_t nowUs);
  bool EraseChip(std::uint64_t nowUs);
  // `protectPinLow`: the write-protect pin is driven low (or not driven).
  bool WriteStatus(std::uint8_t value, bool protectPinLow, std::uint64_t nowUs);

 private:
  void StartBusy(std::uint64_t nowUs, std::uint64_t us);
  // Erases [start, start + length) and applies the bits that stay 0.
  void Erase(std::size_t start, std::size_t length);

  std::uint8_t* data_;
  std::size_t size_;
  const DeviceTiming& timing_;
  const DeviceFaults& faults_;
  std::uint8_t status_ = 0;
  std::uint64_t busyUntilUs_ = 0;
};

}  // namespace vantor::sim
