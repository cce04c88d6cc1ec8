#include "platform/messages.h"

#include <gtest/gtest.h>

namespace vantor {
namespace {

TEST(MessageTable, TextsAndKinds) {
  struct Case {
    std::uint32_t id;
    const char* text;
    MessageKind kind;
  } cases[] = {
      {41500, "Not Support!", MessageKind::Failure},
      {41511, "Detect Device Fail!", MessageKind::Failure},
      {41718, "Wait device to reset", MessageKind::Step},
      {41724, "Reset to new code", MessageKind::Step},
      {41735, "Read", MessageKind::Step},
      {41751, "Read Flash Code Succeed.", MessageKind::Success},
      {41755, "Firmware Update Succeed.", MessageKind::Success},
      {41802, "Read EERPOM Fail!", MessageKind::Failure},
      {41854, "Download EEPROM Code Succeed.", MessageKind::Success},
      {41906, "Check Device Info Succeed.", MessageKind::Success},
      {41913, "Download MTP Code Succeed.", MessageKind::Success},
      {41918, "OTP Locked,Can't Program!", MessageKind::Failure},
      {41929, "ReadOTP Succeed.", MessageKind::Success},
      {41931, "DownloadOTP Succeed.", MessageKind::Success},
      {41937, "Last OTP Write Abnormal!", MessageKind::Failure},
      {41501, "", MessageKind::Unknown},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MessageText(c.id), c.text) << c.id;
    EXPECT_EQ(MessageKindOf(c.id), c.kind) << c.id;
  }
}

TEST(MessageTable, ExitCodeSuccessIdsAreSuccesses) {
  for (std::uint32_t id : {41751u, 41755u, 41851u, 41854u, 41910u, 41913u, 41931u}) {
    EXPECT_TRUE(IsSuccessMessage(id)) << id;
  }
  EXPECT_FALSE(IsSuccessMessage(41714));
}

}  // namespace
}  // namespace vantor
