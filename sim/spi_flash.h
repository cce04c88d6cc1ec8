// An SPI NOR flash as the chip's controller sees it: reads, page programs that only clear
// bits, sector and chip erases that set 0xFF and take time, and a status register with
// the busy bit, the block-protect bits and the status-register protect bit. Writes into
// protected memory, and status writes while the register is locked, change nothing, as
// a real flash ignores them.
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

  SpiFlash(std::uint8_t* data, std::size_t size, const DeviceTiming& timing);

  std::size_t size() const { return size_; }
  const std::uint8_t* data() const { return data_; }

  // The status register as read at `nowUs` (busy while an operation runs).
  std::uint8_t ReadStatus(std::uint64_t nowUs) const;
  bool Busy(std::uint64_t nowUs) const;
  // When the running operation ends (0: none).
  std::uint64_t busyUntilUs() const { return busyUntilUs_; }
  void set_stayBusy(bool on) { stayBusy_ = on; }
  bool stayBusy() const { return stayBusy_; }

  // The stored status bits (non-volatile), and their restoration from saved state.
  std::uint8_t statusBits() const { return status_; }
  void set_statusBits(std::uint8_t value) { status_ = value & 0xFC; }

  // Each returns the time the operation keeps the flash busy, in microseconds. The
  // caller has checked the range.
  void Read(std::uint32_t address, std::uint8_t* out, std::size_t length) const;
  std::uint64_t Program(std::uint32_t address, const std::uint8_t* in, std::size_t length,
                        std::uint64_t nowUs);
  std::uint64_t EraseSector(std::uint32_t address, std::uint64_t nowUs);
  std::uint64_t EraseChip(std::uint64_t nowUs);
  // `protectPinLow`: the write-protect pin is driven low.
  std::uint64_t WriteStatus(std::uint8_t value, bool protectPinLow, std::uint64_t nowUs);

  bool Protected() const { return (status_ & kBlockProtect) != 0; }

 private:
  void StartBusy(std::uint64_t nowUs, std::uint64_t us);

  std::uint8_t* data_;
  std::size_t size_;
  const DeviceTiming& timing_;
  std::uint8_t status_ = 0;
  std::uint64_t busyUntilUs_ = 0;
  bool stayBusy_ = false;
};

}  // namespace vantor::sim
