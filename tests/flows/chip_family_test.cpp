// The new-family test and the running-mode texts.
#include "flows/chip_family.h"

#include <gtest/gtest.h>

namespace vantor {
namespace {

struct FamilyCase {
  std::uint16_t id;
  bool newFamily;
};

TEST(ChipFamily, NewFamilyTable) {
  const FamilyCase cases[] = {
      {0xB013, true},  {0xB014, true},  {0xF012, true},  {0xC01F, true},  {0xD010, true},
      {0xD011, true},  {0xE015, true},  {0x1010, true},  {0x1A1F, true},  {0x8050, true},
      {0x8F5A, true},  {0x7010, true},  {0x7110, true},  {0x7012, true},  {0xFF56, true},
      {0x7011, false},  // fam 0x7010 with id0 0x11
      {0x7F11, false}, {0x0010, false}, {0x0000, false}, {0x3000, false}, {0xFF57, false},
      {0xA010, false}, {0x8040, false}, {0xB020, false},
  };
  for (const FamilyCase& c : cases) {
    const ChipId chip{static_cast<std::uint8_t>(c.id & 0xFF), static_cast<std::uint8_t>(c.id >> 8)};
    EXPECT_EQ(IsNewFamilyChip(chip), c.newFamily) << std::hex << c.id;
  }
}

TEST(ChipFamily, IdFamilyAndKey) {
  const ChipId chip{0x11, 0xD5};
  EXPECT_EQ(chip.id(), 0xD511);
  EXPECT_EQ(chip.fam(), 0xD010);
  EXPECT_EQ(chip.key(), 0xD011);
}

TEST(ChipFamily, ModeRegisterAddress) {
  EXPECT_EQ(ModeRegisterAddressOf(ChipId{0x10, 0x71}), 0xC2A6u);
  EXPECT_EQ(ModeRegisterAddressOf(ChipId{0x10, 0x70}), 0xC2A8u);
  EXPECT_EQ(ModeRegisterAddressOf(ChipId{0x13, 0xB0}), 0xC2A8u);
}

TEST(ChipFamily, ModeTexts) {
  EXPECT_EQ(ModeTextOf(0), L"ROM");
  EXPECT_EQ(ModeTextOf(8), L"SPI");
  EXPECT_EQ(ModeTextOf(16), L"ROM&&OTP");
  EXPECT_EQ(ModeTextOf(24), L"SPI&&OTP");
  EXPECT_EQ(ModeTextOf(32), L"ROM&&SPI");
  for (int mode : {1, 7, 9, 31, 33, 0xFF}) {
    EXPECT_EQ(ModeTextOf(static_cast<std::uint8_t>(mode)), L"Unknown") << mode;
  }
}

}  // namespace
}  // namespace vantor
