#include <array>
#include <string>
#include <vector>

#include "config/bus_type.h"
#include "config/ic_type_ini.h"
#include "device/device_api.h"
#include "fuzz/targets/fuzz_targets.h"
#include "image/descriptor_chain.h"
#include "image/descriptor_records.h"
#include "image/memory_type.h"
#include "image/mp_config.h"
#include "image/serial_patch.h"

namespace vantor::fuzz {

namespace {

// The process state the image code reads, put back after each input.
class ImageState {
 public:
  ImageState()
      : memory_(GetMemoryType()),
        size_(ConfiguredMemorySize()),
        bus_(GetBusType()),
        active_(ActiveICTypeIni()) {}
  ~ImageState() {
    SetActiveICTypeIni(active_);
    SetMemoryType(memory_);
    SetConfiguredMemorySize(size_);
    SetBusType(bus_);
  }
  ImageState(const ImageState&) = delete;
  ImageState& operator=(const ImageState&) = delete;

 private:
  MemoryType memory_;
  std::uint32_t size_;
  BusType bus_;
  CICTypeIni* active_;
};

constexpr std::array<MemoryType, 4> kMemoryTypes = {MemoryType::kFlash, MemoryType::kEeprom8,
                                                    MemoryType::kEeprom16, MemoryType::kOtp};

}  // namespace

// Byte 0: bits 0-1 the built-in IC type definition (QX310, QX330, QX332, QX340), bit 2 a
// configured memory size of 0x4000, bits 3-4 the memory type before the parse, bit 5
// the serial record the patch targets (1 or 3); then a serial text of byte 1's length
// (at most 63); the rest is the image.
int FuzzImage(const std::uint8_t* data, std::size_t size) {
  ImageState restore;
  Input in(data, size);
  const std::uint8_t choice = in.Byte();
  const std::string_view serial = in.Bytes(in.Byte() & 0x3F);
  const std::string_view rest = in.Rest();
  std::vector<std::uint8_t> image(rest.begin(), rest.end());
  const auto length = static_cast<std::uint32_t>(image.size());

  CICTypeIni ic;
  ic.BuildList();
  ic.LoadFromResource(CICTypeIni::kChipTable[choice & 3].resourceId);
  ic.ApplyDefinition();
  SetActiveICTypeIni(&ic);
  SetConfiguredMemorySize((choice & 4) != 0 ? 0x4000 : kDefaultConfiguredMemorySize);
  SetMemoryType(kMemoryTypes[(choice >> 3) & 3]);

  CMpConfig config;
  config.LocateConfigArea(image.data(), length);
  config.ReadImageInfo(image.data(), length);
  config.CheckConfigArea(image.data(), length);
  std::uint32_t end = 0;
  config.FindSmallCacheEnd(image.data(), length, end);

  // The records as objects, from the start and from "ConfigAddress".
  for (const std::uint32_t offset : {std::uint32_t{0}, ic.ConfigAddress()}) {
    if (offset >= image.size()) continue;
    DescriptorChain chain;
    chain.Attach(std::span<const std::uint8_t>(image).subspan(offset));
    chain.WalkRecords([](std::unique_ptr<CDescriptor>) { return true; });
  }

  std::wstring text(serial.begin(), serial.end());
  PatchSerialRecord(config, image, text, (choice & 0x20) != 0 ? 3 : 1);

  std::wstring version;
  std::array<std::uint16_t, 6> fields{};
  Lib_FormatVersion(image.data(), length, &version, &fields);
  SetActiveICTypeIni(nullptr);
  return 0;
}

}  // namespace vantor::fuzz
