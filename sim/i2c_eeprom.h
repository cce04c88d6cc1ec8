// An I2C EEPROM behind the chip: sequential reads that roll over at the end of the
// memory, page writes that take a write cycle each, and a write-protect line that makes
// the EEPROM acknowledge data without storing it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantor::sim {

class I2cEeprom {
 public:
  I2cEeprom(std::uint8_t* data, std::size_t size, std::uint32_t pageSize,
            std::uint32_t writeCycleMs);

  std::size_t size() const { return size_; }
  const std::uint8_t* data() const { return data_; }

  void Read(std::uint32_t address, std::uint8_t* out, std::size_t length) const;
  // Writes page by page; with `writeProtected` nothing is stored. Returns the time the
  // write cycles take, in microseconds.
  std::uint64_t Write(std::uint32_t address, const std::uint8_t* in, std::size_t length,
                      bool writeProtected);

 private:
  std::uint8_t* data_;
  std::size_t size_;
  std::uint32_t pageSize_;
  std::uint32_t writeCycleMs_;
};

}  // namespace vantor::sim
