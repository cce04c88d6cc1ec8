#include "app/fw_version_compare.h"

namespace vantor {

VersionVerdict CompareFirmwareVersions(const VersionWords& image, const VersionWords& device) {
  for (std::size_t i = 0; i < image.size(); ++i) {
    if (image[i] > device[i]) return VersionVerdict::kNewer;
    if (image[i] < device[i]) break;
  }
  if (image == device) return VersionVerdict::kSame;
  return device == kPlaceholderDeviceVersion ? VersionVerdict::kOlderQuiet : VersionVerdict::kOlder;
}

}  // namespace vantor
