#include "sim/otp_memory.h"

#include <cstring>

namespace vantor::sim {

OtpMemory::OtpMemory(std::uint8_t* data, const std::vector<WeakCell>& weak,
                     const DeviceTiming& timing)
    : data_(data), weak_(weak), timing_(timing) {}

void OtpMemory::Read(std::uint32_t address, std::uint8_t* out, std::size_t length) const {
  std::memcpy(out, data_ + address, length);
}

void OtpMemory::ReadEffective(std::uint32_t address, std::uint8_t* out, std::size_t length) const {
  Read(address, out, length);
  for (int i = 1; i <= 16; ++i) {
    const std::uint8_t* e = data_ + 0x3FBC + 4 * i;
    if (e[3] != 0x5A) continue;
    std::uint32_t at = std::uint32_t{e[0]} << 8 | e[1];
    if (at >= address && at < address + length) out[at - address] = e[2];
  }
}

std::uint8_t OtpMemory::WeakMask(std::uint32_t address) const {
  std::uint8_t mask = 0;
  for (const WeakCell& cell : weak_)
    if (cell.address == address) mask |= cell.mask;
  return mask;
}

void OtpMemory::BeginWrite(std::uint32_t budget) {
  budget_ = budget;
  failures_.clear();
  stopped_ = false;
  stopAddress_ = 0;
}

std::uint64_t OtpMemory::Program(std::uint32_t address, const std::uint8_t* in,
                                 std::size_t length) {
  std::uint64_t programmed = 0;
  for (std::size_t i = 0; i < length && !stopped_; ++i) {
    std::uint32_t at = address + static_cast<std::uint32_t>(i);
    std::uint8_t old = data_[at];
    std::uint8_t toSet = static_cast<std::uint8_t>(in[i] & ~old);
    if (toSet == 0) continue;
    std::uint8_t weak = WeakMask(at);
    data_[at] = static_cast<std::uint8_t>(old | (toSet & ~weak));
    ++programmed;
    if ((toSet & weak) == 0) continue;
    failures_.push_back(static_cast<std::uint16_t>(at));
    if (failures_.size() > budget_) {
      stopped_ = true;
      stopAddress_ = static_cast<std::uint16_t>(at);
    }
  }
  return programmed * timing_.otpByteUs;
}

void OtpMemory::FailureReport(std::uint8_t out[kReportSize]) const {
  std::memset(out, 0, kReportSize);
  out[0] = static_cast<std::uint8_t>(failures_.size() > 255 ? 255 : failures_.size());
  std::size_t slots = stopped_ ? 8 : 9;
  for (std::size_t k = 0; k < slots && k < failures_.size(); ++k) {
    out[1 + 2 * k] = static_cast<std::uint8_t>(failures_[k] >> 8);
    out[2 + 2 * k] = static_cast<std::uint8_t>(failures_[k]);
  }
  if (stopped_) {
    out[17] = static_cast<std::uint8_t>(stopAddress_ >> 8);
    out[18] = static_cast<std::uint8_t>(stopAddress_);
  }
}

bool OtpMemory::FindBlock(const std::uint8_t* image, std::uint8_t flag, std::uint16_t& start,
                          std::uint16_t& length) {
  for (int n = 15; n >= 0; --n) {
    std::uint32_t entry = kVdTable + 5u * static_cast<std::uint32_t>(n);
    const std::uint8_t* e = image + entry;
    if (e[4] != flag) continue;
    bool pointedInto = false;
    for (int i = 1; i <= 16; ++i) {
      const std::uint8_t* c = image + 0x3FBC + 4 * i;
      std::uint32_t at = std::uint32_t{c[0]} << 8 | c[1];
      if (at >= entry && at < entry + 5) pointedInto = true;
    }
    if (pointedInto) continue;
    std::uint16_t s = static_cast<std::uint16_t>(e[0] << 8 | e[1]);
    std::uint16_t l = static_cast<std::uint16_t>(e[2] << 8 | e[3]);
    if (l == 0 || std::uint32_t{s} + l > kDataEnd) continue;
    start = s;
    length = l;
    return true;
  }
  return false;
}

}  // namespace vantor::sim
