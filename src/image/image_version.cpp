#include "image/image_version.h"

namespace vantor {

bool DecodeImageVersion(std::span<const std::uint8_t> image, std::array<std::uint16_t, 6>& values) {
  const std::uint32_t offset = ImageVersionOffset(image.size());
  if (image.size() < offset + kImageVersionRecordSize) return false;
  const std::uint8_t* p = image.data() + offset;
  auto be = [p](int i) { return static_cast<std::uint16_t>((p[i] << 8) | p[i + 1]); };
  values = {static_cast<std::uint16_t>(p[0] >> 4),
            static_cast<std::uint16_t>(p[0] & 0x0F),
            p[1],
            be(2),
            be(4),
            be(6)};
  return true;
}

}  // namespace vantor
