#include <array>

#include "device/config_descriptor.h"
#include "device/vendor_ids.h"
#include "fuzz/targets/fuzz_targets.h"

namespace vantor::fuzz {

// Byte 0: the interface number the searches look for; bytes 1-18: a device descriptor;
// the rest: a configuration descriptor as the device sent it.
int FuzzUsbDescriptors(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  const std::uint8_t interfaceNumber = in.Byte() & 0x0F;
  const std::string_view device = in.Bytes(18);
  const std::string_view rest = in.Rest();
  const ByteSpan deviceDescriptor(reinterpret_cast<const std::uint8_t*>(device.data()),
                                  device.size());
  const ByteSpan config(reinterpret_cast<const std::uint8_t*>(rest.data()), rest.size());

  ConfigTotalLength(config);
  IsWellFormedConfigDescriptor(config);
  DescriptorWalker walker(config);
  for (ByteSpan descriptor; walker.Next(descriptor);) {
  }
  FindCameraUnits(config, interfaceNumber);
  FindAudioExtensionUnit(config, kMakerVendorId);
  std::array<std::uint8_t, kVideoFunctionBytes> function{};
  ParseVideoFunction(deviceDescriptor, config, interfaceNumber, function);
  return 0;
}

}  // namespace vantor::fuzz
