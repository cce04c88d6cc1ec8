// The bodies of the fuzz targets: each takes one input of untrusted bytes and runs a
// parser of the tool over it. libFuzzer calls them from the fuzz programs (the "fuzz"
// preset); the normal test suite replays the seed corpora and every input that once
// found a fault through the same bodies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vantor::fuzz {

// The INI reader and the settings store.
int FuzzIni(const std::uint8_t* data, std::size_t size);
// IC type definitions and device ID lists.
int FuzzIcType(const std::uint8_t* data, std::size_t size);
// A firmware image: its configuration area, records and serial patching.
int FuzzImage(const std::uint8_t* data, std::size_t size);
// USB descriptors: configuration descriptor walks and the extension-unit searches.
int FuzzUsbDescriptors(const std::uint8_t* data, std::size_t size);
// Device answers through a fake proxy: stalls, short transfers, errors and garbage in
// place of what the simulated device says.
int FuzzDeviceAnswers(const std::uint8_t* data, std::size_t size);

struct Target {
  std::string_view name;  // the program and its corpus folder: fuzz/corpus/<name>/
  int (*run)(const std::uint8_t*, std::size_t);
};
inline constexpr Target kTargets[] = {
    {"fuzz_ini", FuzzIni},
    {"fuzz_ic_type", FuzzIcType},
    {"fuzz_image", FuzzImage},
    {"fuzz_usb_descriptors", FuzzUsbDescriptors},
    {"fuzz_device_answers", FuzzDeviceAnswers},
};

// Reads a fuzz input front to back; past its end every read gives 0 (or nothing).
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::uint16_t Word() { return static_cast<std::uint16_t>(Byte() | Byte() << 8); }
  // Up to `n` bytes (fewer at the end).
  std::string_view Bytes(std::size_t n) {
    n = n < size_ - at_ ? n : size_ - at_;
    std::string_view out(reinterpret_cast<const char*>(data_ + at_), n);
    at_ += n;
    return out;
  }
  std::string_view Rest() { return Bytes(size_ - at_); }
  bool Empty() const { return at_ >= size_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

}  // namespace vantor::fuzz
