// One-time-programmable memory: 16 KiB, blank 0x00. Programming only sets bits; a weak
// cell does not take some of its bits. Each write runs under an error budget (the mode
// value of the write command): bytes whose requested bits did not take are failures;
// when the failures exceed the budget the write stops there. The failure report holds
// the count and the failed addresses (high byte first), and, after a stop, the address
// where the write stopped in bytes 17 and 18.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/device_config.h"

namespace vantor::sim {

class OtpMemory {
 public:
  static constexpr std::size_t kSize = 0x4000;
  static constexpr std::size_t kReportSize = 19;
  static constexpr std::uint16_t kVdTable = 0x3F70;
  static constexpr std::uint16_t kEccTable = 0x3FC0;
  static constexpr std::uint16_t kDataEnd = 0x3F60;

  OtpMemory(std::uint8_t* data, const std::vector<WeakCell>& weak, const DeviceTiming& timing);

  const std::uint8_t* data() const { return data_; }

  void Read(std::uint32_t address, std::uint8_t* out, std::size_t length) const;
  // The content as the chip uses it: every in-use substitution entry's value at its
  // address (a later entry wins).
  void ReadEffective(std::uint32_t address, std::uint8_t* out, std::size_t length) const;

  // Starts a write with the given budget; the failure report starts empty.
  void BeginWrite(std::uint32_t budget);
  // Programs the bytes at address; returns the programming time in microseconds.
  std::uint64_t Program(std::uint32_t address, const std::uint8_t* in, std::size_t length);
  void FailureReport(std::uint8_t out[kReportSize]) const;

  // The valid block of the given flag (0x55 code, 0xAA configuration) that the chip
  // runs: the highest entry of the block table with that flag that no substitution
  // entry points into, whose block lies in the data area. False when there is none.
  // `image` is 16 KiB in this layout (the OTP itself, or a flash that stands in for it).
  static bool FindBlock(const std::uint8_t* image, std::uint8_t flag, std::uint16_t& start,
                        std::uint16_t& length);

 private:
  std::uint8_t WeakMask(std::uint32_t address) const;

  std::uint8_t* data_;
  const std::vector<WeakCell>& weak_;
  const DeviceTiming& timing_;
  std::uint32_t budget_ = 0;
  std::vector<std::uint16_t> failures_;
  bool stopped_ = false;
  std::uint16_t stopAddress_ = 0;
};

}  // namespace vantor::sim
