#include "app/fw_version_compare.h"

#include <gtest/gtest.h>

namespace vantor {
namespace {

TEST(FirmwareVersionCompare, FirstDifferentWordDecides) {
  struct Case {
    VersionWords image;
    VersionWords device;
    VersionVerdict verdict;
  } cases[] = {
      {{1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}, VersionVerdict::kSame},
      {{1, 2, 3, 4, 5, 7}, {1, 2, 3, 4, 5, 6}, VersionVerdict::kNewer},
      {{2, 0, 0, 0, 0, 0}, {1, 9, 9, 9, 9, 9}, VersionVerdict::kNewer},
      {{1, 2, 3, 4, 5, 5}, {1, 2, 3, 4, 5, 6}, VersionVerdict::kOlder},
      // A later word that is greater does not make an older major version newer.
      {{1, 9, 9, 9, 9, 9}, {2, 0, 0, 0, 0, 0}, VersionVerdict::kOlder},
      {{0, 0, 0, 0, 0, 0}, kPlaceholderDeviceVersion, VersionVerdict::kOlderQuiet},
      {{0x000B, 0x000B, 0x00BB, 0xBBBB, 0xBBBB, 0xBBBC},
       kPlaceholderDeviceVersion,
       VersionVerdict::kNewer},
      {kPlaceholderDeviceVersion, kPlaceholderDeviceVersion, VersionVerdict::kSame},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CompareFirmwareVersions(c.image, c.device), c.verdict)
        << c.image[0] << "." << c.image[1] << " vs " << c.device[0] << "." << c.device[1];
  }
}

}  // namespace
}  // namespace vantor
