// Test images and the process state around them: a definition made active for the
// test, the memory type, the configured memory size and the bus type restored
// afterwards, and every "Config file corrupted" box recorded instead of shown.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/bus_type.h"
#include "config/ic_type_ini.h"
#include "image/memory_type.h"
#include "image/mp_config.h"
#include "platform/user_notice.h"
#include "tools/image_layout.h"

namespace vantor::test {

namespace ig = vantor::imagegen;

class ImageTest : public ::testing::Test {
 protected:
  ImageTest()
      : savedMemory_(GetMemoryType()),
        savedSize_(ConfiguredMemorySize()),
        savedBus_(GetBusType()),
        savedBox_(platform::SetMessageBoxHandler(
            [this](std::string_view text) { boxes.emplace_back(text); })) {
    SetMemoryType(MemoryType::kFlash);
    SetConfiguredMemorySize(kDefaultConfiguredMemorySize);
    SetBusType(BusType::kUsb);
  }
  ~ImageTest() override {
    SetActiveICTypeIni(nullptr);
    platform::SetMessageBoxHandler(savedBox_);
    SetMemoryType(savedMemory_);
    SetConfiguredMemorySize(savedSize_);
    SetBusType(savedBus_);
  }

  // Makes a definition with that IC name, "ConfigAddress", "ConfigSize" and
  // "TagAddress" the active one.
  void UseDefinition(std::string_view icName, std::uint32_t configAddress,
                     std::uint32_t configSize = 0, std::uint32_t tagAddress = 0) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "[Vantor Config]\nIc Name=%.*s\n[Vendor Info M1]\nConfigAddress=0x%X\n"
                  "ConfigSize=0x%X\nTagAddress=0x%X\n",
                  static_cast<int>(icName.size()), icName.data(), configAddress, configSize,
                  tagAddress);
    ic.Clear();
    ic.LoadText(std::string_view(text));
    ic.ReadIcName();
    SetActiveICTypeIni(&ic);
  }
  // Makes a built-in definition the active one, with its list built.
  void UseBuiltInDefinition(unsigned resourceId) {
    ic.BuildList();
    ic.LoadFromResource(resourceId);
    ic.ApplyDefinition();
    SetActiveICTypeIni(&ic);
  }

  // Locates the area of `image`; the offset of the result from the image start, or -1.
  long Locate(const ig::Bytes& image) {
    const std::uint8_t* area =
        cfg.LocateConfigArea(image.data(), static_cast<std::uint32_t>(image.size()));
    return area ? static_cast<long>(area - image.data()) : -1;
  }

  CICTypeIni ic;
  CMpConfig cfg;
  std::vector<std::string> boxes;

 private:
  MemoryType savedMemory_;
  std::uint32_t savedSize_;
  BusType savedBus_;
  platform::MessageBoxHandler savedBox_;
};

// A plain area: the version head record, a manufacturer string and the VID/PID record.
inline ig::AreaBuilder PlainArea(std::uint8_t imageType = 0x30, std::uint8_t chip = 21) {
  ig::AreaBuilder area(imageType, chip);
  area.Add(ig::VersionRecord(0x0330, 0x1060));
  area.Add(ig::StringRecord(1, "Maker"));
  area.Add(ig::VidPidRecord(0x3A4B, 0x0330, 0x0100));
  return area;
}

// An image of `length` 0xFF bytes with the areas placed at their offsets.
inline ig::Bytes ImageWith(std::size_t length,
                           std::initializer_list<std::pair<std::size_t, ig::Bytes>> areas) {
  ig::Bytes image = ig::Filled(length);
  for (const auto& [offset, bytes] : areas) ig::Place(image, offset, bytes);
  return image;
}

}  // namespace vantor::test
