#include "sim/i2c_eeprom.h"

namespace vantor::sim {

I2cEeprom::I2cEeprom(std::uint8_t* data, std::size_t size, std::uint32_t pageSize,
                     std::uint32_t writeCycleMs)
    : data_(data),
      size_(size),
      pageSize_(pageSize == 0 ? 1 : pageSize),
      writeCycleMs_(writeCycleMs) {}

void I2cEeprom::Read(std::uint32_t address, std::uint8_t* out, std::size_t length) const {
  for (std::size_t i = 0; i < length; ++i) out[i] = data_[(address + i) % size_];
}

std::uint64_t I2cEeprom::Write(std::uint32_t address, const std::uint8_t* in, std::size_t length,
                               bool writeProtected) {
  std::uint64_t pages = 0;
  std::uint64_t lastPage = ~std::uint64_t{0};
  for (std::size_t i = 0; i < length; ++i) {
    std::size_t at = (address + i) % size_;
    if (at / pageSize_ != lastPage) {
      lastPage = at / pageSize_;
      ++pages;
    }
    if (!writeProtected) data_[at] = in[i];
  }
  return pages * writeCycleMs_ * 1000;
}

}  // namespace vantor::sim
