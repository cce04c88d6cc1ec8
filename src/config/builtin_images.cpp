#include "config/builtin_images.h"

namespace vantor {

namespace {
constexpr BuiltInImage kImages[] = {
    {"FFU_310", 3012},        {"FFU_330", 3018},        {"FFU_332", 3020},
    {"FFU_17AA_1046H", 3021}, {"FFU_17AA_1046L", 3022}, {"FFU_340", 3023},
    {"FFU_2E5C_0101", 3036},  {"FFU_35B2_0A30", 3037},  {"FFU_3C14_0208", 3038},
    {"FFU_3E91_1162", 3039},
};
}  // namespace

std::span<const BuiltInImage> BuiltInImages() { return kImages; }

unsigned FindBuiltInImageId(std::string_view name) {
  for (const BuiltInImage& image : kImages) {
    if (image.name == name) return image.resourceId;
  }
  return 0;
}

}  // namespace vantor
