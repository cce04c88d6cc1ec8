// The images built into the program: each one is there under its number, is found by
// its name, and parses with the definition of its chip family into the identity its
// name promises.
#include "config/builtin_images.h"

#include <gtest/gtest.h>

#include <array>
#include <set>

#include "image/descriptor_chain.h"
#include "image/image_fixture.h"
#include "image/image_version.h"
#include "platform/resources.h"

namespace vantor {
namespace {

using test::ImageTest;

struct Expected {
  const char* name;
  unsigned resource;
  unsigned definition;  // built-in IC type definition of the chip family
  std::uint8_t chip;
  const wchar_t* vidPid;
  std::uint32_t length;
  std::uint32_t areaOffset;
  std::uint32_t altPinMux;
};

const Expected kImages[] = {
    {"FFU_310", 3012, 2030, 17, L"VID_3A4B&PID_0310", 0x10000, 0xAE00, 0},
    {"FFU_330", 3018, 2031, 21, L"VID_3A4B&PID_0330", 0x20000, 0xF000, 0},
    {"FFU_332", 3020, 2032, 24, L"VID_3A4B&PID_0332", 0x20000, 0xF000, 0},
    {"FFU_340", 3023, 2033, 25, L"VID_3A4B&PID_0340", 0x20000, 0xF000, 0},
    {"FFU_17AA_1046H", 3021, 2032, 24, L"VID_17AA&PID_1046", 0x20000, 0xF000, 0},
    {"FFU_17AA_1046L", 3022, 2032, 24, L"VID_17AA&PID_1046", 0x20000, 0xF000, 0},
    {"FFU_2E5C_0101", 3036, 2031, 21, L"VID_2E5C&PID_0101", 0x20000, 0xF000, 0},
    {"FFU_35B2_0A30", 3037, 2030, 17, L"VID_35B2&PID_0A30", 0x10000, 0xAE00, 0},
    {"FFU_3C14_0208", 3038, 2033, 25, L"VID_3C14&PID_0208", 0x20000, 0xF000, 1},
    {"FFU_3E91_1162", 3039, 2032, 24, L"VID_3E91&PID_1162", 0x20000, 0xF000, 0},
};

TEST(BuiltInImageTable, NamesAndNumbers) {
  ASSERT_EQ(BuiltInImages().size(), std::size(kImages));
  std::set<unsigned> numbers;
  for (const Expected& e : kImages) {
    EXPECT_EQ(FindBuiltInImageId(e.name), e.resource) << e.name;
    numbers.insert(e.resource);
  }
  EXPECT_EQ(numbers,
            (std::set<unsigned>{3012, 3018, 3020, 3021, 3022, 3023, 3036, 3037, 3038, 3039}));
}

class BuiltInImageContent : public ImageTest {};

TEST_F(BuiltInImageContent, EachParsesWithItsChipFamily) {
  for (const Expected& e : kImages) {
    SCOPED_TRACE(e.name);
    const auto resource = platform::FindResource(kBuiltInImageType, e.resource);
    ASSERT_EQ(resource.size(), e.length);

    CICTypeIni family;
    family.BuildList();
    family.LoadFromResource(e.definition);
    family.ApplyDefinition();
    SetActiveICTypeIni(&family);
    cfg.LoadBuiltInImage(e.resource);
    EXPECT_EQ(ConfiguredMemorySize(), e.length);
    cfg.altPinMux = 0;
    ASSERT_TRUE(cfg.ParseImageB());
    EXPECT_EQ(cfg.configB, cfg.imageB.data() + 0xF000);
    EXPECT_EQ(cfg.noTag, 0u);
    EXPECT_EQ(cfg.imageChip, e.chip);
    const int section = family.FindSection("Camera_Register_00");
    EXPECT_TRUE(IsImageForChip(cfg.imageChip,
                               static_cast<std::uint8_t>(family.GetIntAt(section, "ChipInfo", 0))));
    EXPECT_EQ(GetMemoryType(), MemoryType::kFlash);
    EXPECT_EQ(cfg.vidPidText, e.vidPid);
    EXPECT_FALSE(cfg.imageManufacturerText.empty());
    EXPECT_FALSE(cfg.imageSerialText.empty());
    EXPECT_EQ(cfg.imageVersionText.size(), 12u);
    EXPECT_EQ(cfg.altPinMux, e.altPinMux);

    // The area: header with the chip code, complete chain, room for the serial patch.
    AreaHeader header;
    ASSERT_TRUE(ReadAreaHeader(cfg.imageB, e.areaOffset, header));
    EXPECT_TRUE(header.HasSignature());
    // 0x55: the flash type code the command line's IC type search accepts.
    EXPECT_EQ(header.imageType, 0x55);
    EXPECT_EQ(header.chipType, e.chip);
    EXPECT_LE(header.areaLength + 128u, static_cast<unsigned>(family.GetConfigSize()));
    DescriptorChain chain;
    chain.Attach(std::span(cfg.imageB).subspan(e.areaOffset));
    EXPECT_TRUE(chain.head().hasVersion);
    std::set<int> types;
    EXPECT_EQ(chain.Walk([&](const ChainRecord& r) { types.insert(r.header.type); }),
              ChainWalk::kComplete);
    EXPECT_EQ(chain.remaining(), 0);
    for (int type : {1, 2, 3, 4, 15}) EXPECT_TRUE(types.count(type)) << type;

    std::array<std::uint16_t, 6> version{};
    EXPECT_TRUE(DecodeImageVersion(cfg.imageB, version));
    EXPECT_NE(version[4], 0);
    // The code never looks like an area at the start of the image.
    EXPECT_FALSE(HasAreaAt(cfg.imageB, 0));
  }
  EXPECT_TRUE(boxes.empty());
}

TEST(ImageVersionRecord, OffsetAndValues) {
  EXPECT_EQ(ImageVersionOffset(0xFFFF), 0x11Bu);
  EXPECT_EQ(ImageVersionOffset(0x10000), 0x100Cu);
  std::vector<std::uint8_t> small(0x200, 0xFF);
  const std::uint8_t record[] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};
  std::copy(std::begin(record), std::end(record), small.begin() + 0x11B);
  std::array<std::uint16_t, 6> values{};
  ASSERT_TRUE(DecodeImageVersion(small, values));
  EXPECT_EQ(values, (std::array<std::uint16_t, 6>{1, 2, 0x34, 0x5678, 0x9ABC, 0xDEF0}));
  std::vector<std::uint8_t> large(0x10000, 0);
  std::copy(std::begin(record), std::end(record), large.begin() + 0x100C);
  ASSERT_TRUE(DecodeImageVersion(large, values));
  EXPECT_EQ(values[3], 0x5678);
  EXPECT_FALSE(DecodeImageVersion(std::span(small).first(0x122), values));
  EXPECT_TRUE(DecodeImageVersion(std::span(small).first(0x123), values));
}

}  // namespace
}  // namespace vantor
