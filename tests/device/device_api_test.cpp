// The device API against the simulated device: opening list entries into the current
// device, identity, the transport each function takes (preferred, flag 0x20, extension
// unit only), the OTP command status, the data control size, the arrival signal, and
// the version text of an image.
#include "device/device_api.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device/cam_dev.h"
#include "device/device_api_state.h"
#include "device/device_enum.h"
#include "platform/device_inventory.h"
#include "support/device_rig.h"

namespace vantor {
namespace {

using test::DeviceRig;

// The lib type for the life of the object (the proxy is open already, so Lib_Init only
// stores it).
class ScopedLibType {
 public:
  explicit ScopedLibType(std::int32_t libType) { EXPECT_EQ(Lib_Init(0, libType), 1); }
  ~ScopedLibType() { Lib_Init(0, 0); }
};

// Makes a device object of the first entry of a list the current device, bypassing the
// open's qualification (for devices Lib_OpenDevice would not keep).
bool InstallCurrent(DeviceRig& rig, std::uint32_t list) {
  CamDevRecord record;
  if (rig.Open(record, list) != 0) return false;
  std::unique_ptr<CCamDev> device = CreateCamDev(std::move(record));
  if (!device) return false;
  device_api_detail::SetCurrentDevice(std::move(device));
  return true;
}

// ---------------------------------------------------------------- open

TEST(DeviceApiOpen, IndexBeyondTheListOpensNothing) {
  DeviceRig rig;
  rig.Add("flash-old");
  rig.Add("eeprom8");
  rig.Add("otp");
  EXPECT_EQ(Lib_GetDeviceCount(), 3u);
  for (const std::uint32_t index : {3u, 5u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(index);
    EXPECT_EQ(Lib_OpenDevice(index), 0u);
    EXPECT_EQ(Lib_GetHandle(), 0u);
    EXPECT_EQ(Lib_GetCurrentDevice(), nullptr);
    EXPECT_EQ(rig.OpenInterfaces(), 0u);
  }
  // Every entry opens, each under its own handle.
  std::vector<LibHandle> handles;
  for (std::uint32_t i = 0; i < 3; ++i) {
    const LibHandle h = Lib_OpenDevice(i);
    EXPECT_NE(h, 0u);
    EXPECT_EQ(Lib_GetHandle(), h);
    for (const LibHandle other : handles) EXPECT_NE(h, other);
    handles.push_back(h);
    EXPECT_EQ(Lib_CloseDevice(h), 1);
    EXPECT_EQ(rig.OpenInterfaces(), 0u);
  }
}

TEST(DeviceApiOpen, OpenWhileOpenReturnsTheSameHandleWithoutOpeningAnother) {
  DeviceRig rig;
  rig.Add("flash-old");
  rig.Add("eeprom8");
  const LibHandle first = Lib_OpenDevice(0);
  ASSERT_NE(first, 0u);
  const CCamDev* device = Lib_GetCurrentDevice();
  EXPECT_EQ(Lib_OpenDevice(1), first);
  EXPECT_EQ(Lib_OpenDevice(7), first);
  EXPECT_EQ(Lib_GetCurrentDevice(), device);
  EXPECT_EQ(rig.OpenInterfaces(), 1u);
  EXPECT_EQ(rig.Attached(), 1u);

  EXPECT_EQ(Lib_CloseDevice(first), 1);
  EXPECT_EQ(Lib_GetHandle(), 0u);
  EXPECT_EQ(rig.OpenInterfaces(), 0u);
  EXPECT_EQ(rig.Attached(), 0u);
  EXPECT_EQ(Lib_CloseDevice(first), 1);  // closing again is harmless
}

TEST(DeviceApiOpen, WithoutADeviceEveryFunctionFails) {
  DeviceRig rig;
  rig.Add("flash-old");
  std::array<std::uint8_t, 104> buffer{};
  std::uint16_t vid = 0, pid = 0, size = 64;
  std::wstring text;
  LibHandle out = 5;
  const std::vector<std::pair<const char*, std::function<int()>>> calls = {
      {"GetDevStatus104", [&] { return Lib_GetDevStatus104(1, buffer.data(), 0); }},
      {"ReadMem", [&] { return Lib_ReadMem(1, 0xFE21, 2, buffer.data(), 0); }},
      {"ReadMem 0x20", [&] { return Lib_ReadMem(1, 0xFE21, 2, buffer.data(), kLibFlagExtUnit); }},
      {"SPI_SF_ReadSr", [&] { return Lib_SPI_SF_ReadSr(1, buffer.data(), 0); }},
      {"I2C_EEP16_Read", [&] { return Lib_I2C_EEP16_Read(1, 0, 8, buffer.data(), 0, {}, {}); }},
      {"OTP_Read", [&] { return Lib_OTP_Read(1, 0, 8, buffer.data(), 0, 0); }},
      {"ChangeDataControlSize", [&] { return Lib_ChangeDataControlSize(1, &size); }},
      {"DevQualify", [&] { return Lib_DevQualify(1); }},
      {"GetIds", [&] { return Lib_GetIds(1, &vid, &pid, nullptr); }},
      {"GetSerialString", [&] { return Lib_GetSerialString(1, &text); }},
      {"GetDeviceName", [&] { return Lib_GetDeviceName(1, &text); }},
      {"SignalDeviceArrival", [&] { return Lib_SignalDeviceArrival(); }},
      {"Reset7", [&] { return Lib_Reset7(&out, 0, 0, 0); }},
      {"Reset9", [&] { return Lib_Reset9(&out, 0x40, 0); }},
  };
  rig.StartLog();
  for (const auto& [name, call] : calls) EXPECT_EQ(call(), 0) << name;
  EXPECT_EQ(out, 0u);
  EXPECT_TRUE(rig.LogLines().empty()) << "nothing reaches the bus";
  EXPECT_EQ(rig.OpenInterfaces(), 0u);
}

struct RefusedCase {
  const char* label;
  const char* profile;
  void (*edit)(sim::DeviceConfig&);
  std::int32_t libType;
};

const RefusedCase kRefused[] = {
    {"unit answering a wrong signature", "flash-old",
     [](sim::DeviceConfig& c) { c.faults.wrongSignature = true; }, 0},
    {"no extension unit", "flash-old", [](sim::DeviceConfig& c) { c.extensionUnit = false; }, 0},
    {"a camera's microphone", "camera", [](sim::DeviceConfig&) {}, 0},
    {"non-zero lib type", "flash-old", [](sim::DeviceConfig&) {}, 1},
};

TEST(DeviceApiOpen, DeviceWhoseExtensionUnitDoesNotQualifyIsNotKept) {
  for (const RefusedCase& c : kRefused) {
    SCOPED_TRACE(c.label);
    DeviceRig rig;
    rig.Add(c.profile, nullptr, c.edit);
    ScopedLibType libType(c.libType);
    ASSERT_EQ(Lib_GetDeviceCount(), 1u);
    EXPECT_EQ(Lib_OpenDevice(0), 0u);
    EXPECT_EQ(Lib_GetCurrentDevice(), nullptr);
    EXPECT_EQ(Lib_GetHandle(), 0u);
    EXPECT_EQ(rig.OpenInterfaces(), 0u);
    EXPECT_EQ(rig.Attached(), 0u);
  }
}

// ---------------------------------------------------------------- transports

enum class Dev { kBoth, kVendorOnly, kExtUnitOnly };
enum class Fn { kReadMem, kChangeSize, kEep16Read };
enum class Via { kVendor, kExtUnit, kNothing };

struct TransportCase {
  Dev device;
  Fn fn;
  std::uint32_t flags;
  std::int32_t libType;
  int result;
  Via via;
};

const char* Name(Dev d) {
  return d == Dev::kBoth ? "both" : d == Dev::kVendorOnly ? "vendor requests only" : "unit only";
}
const char* Name(Fn f) {
  return f == Fn::kReadMem      ? "ReadMem"
         : f == Fn::kChangeSize ? "ChangeDataControlSize"
                                : "I2C_EEP16_Read";
}

const TransportCase kTransports[] = {
    // Preferred: vendor requests when the device answers them; 0x20: the unit.
    {Dev::kBoth, Fn::kReadMem, 0, 0, 1, Via::kVendor},
    {Dev::kBoth, Fn::kReadMem, kLibFlagExtUnit, 0, 1, Via::kExtUnit},
    {Dev::kBoth, Fn::kReadMem, kLibFlagExtUnit, 1, 1, Via::kExtUnit},
    {Dev::kVendorOnly, Fn::kReadMem, 0, 0, 1, Via::kVendor},
    {Dev::kVendorOnly, Fn::kReadMem, kLibFlagExtUnit, 0, 0, Via::kNothing},
    {Dev::kExtUnitOnly, Fn::kReadMem, 0, 0, 1, Via::kExtUnit},
    {Dev::kExtUnitOnly, Fn::kReadMem, kLibFlagExtUnit, 0, 1, Via::kExtUnit},
    // Extension unit only, whatever the flags; never with a non-zero lib type.
    {Dev::kBoth, Fn::kChangeSize, 0, 0, 1, Via::kExtUnit},
    {Dev::kBoth, Fn::kChangeSize, 0, 1, 0, Via::kNothing},
    {Dev::kVendorOnly, Fn::kChangeSize, 0, 0, 0, Via::kNothing},
    {Dev::kExtUnitOnly, Fn::kChangeSize, 0, 0, 1, Via::kExtUnit},
    {Dev::kBoth, Fn::kEep16Read, 0, 0, 1, Via::kExtUnit},
    {Dev::kBoth, Fn::kEep16Read, kLibFlagExtUnit, 1, 0, Via::kNothing},
    {Dev::kVendorOnly, Fn::kEep16Read, kLibFlagExtUnit, 0, 0, Via::kNothing},
};

TEST(DeviceApiTransport, EachFunctionTakesTheTransportItsRuleChooses) {
  for (const TransportCase& c : kTransports) {
    SCOPED_TRACE(std::string(Name(c.device)) + ", " + Name(c.fn) + ", flags " +
                 std::to_string(c.flags) + ", lib type " + std::to_string(c.libType));
    DeviceRig rig;
    switch (c.device) {
      case Dev::kBoth:
        rig.Add("eeprom16");
        ASSERT_NE(Lib_OpenDevice(0), 0u);
        break;
      case Dev::kVendorOnly:
        // A camera answering vendor requests whose command unit does not qualify.
        rig.Add("camera", nullptr, [](sim::DeviceConfig& config) {
          config.vendorRequests = sim::VendorRequestMode::kFull;
          sim::RequestMatch qualify;
          qualify.command = true;
          qualify.type = 0x00;
          qualify.request = 0xD0;
          config.faults.stall.push_back(qualify);
        });
        ASSERT_TRUE(InstallCurrent(rig, kListCamera));
        ASSERT_EQ(Lib_GetCurrentDevice()->GetExtUnit(), nullptr);
        ASSERT_NE(Lib_GetCurrentDevice()->GetCmd(), nullptr);
        break;
      case Dev::kExtUnitOnly:
        rig.Add("camera");
        ASSERT_TRUE(InstallCurrent(rig, kListCamera));
        break;
    }
    ScopedLibType libType(c.libType);
    const LibHandle h = 1;
    std::array<std::uint8_t, 16> buffer{};
    std::uint16_t size = 64;
    rig.StartLog();
    int result = -1;
    switch (c.fn) {
      case Fn::kReadMem:
        result = Lib_ReadMem(h, 0xFE21, 2, buffer.data(), c.flags);
        break;
      case Fn::kChangeSize:
        result = Lib_ChangeDataControlSize(h, &size);
        break;
      case Fn::kEep16Read:
        result = Lib_I2C_EEP16_Read(h, 0, 16, buffer.data(), c.flags, nullptr, nullptr);
        break;
    }
    EXPECT_EQ(result, c.result);
    const std::size_t vendor = rig.CountLog("c0 ") + rig.CountLog("40 ");
    const std::size_t unit = rig.CountLog("21 ") + rig.CountLog("a1 ");
    EXPECT_EQ(vendor > 0, c.via == Via::kVendor);
    EXPECT_EQ(unit > 0, c.via == Via::kExtUnit);
    if (c.fn == Fn::kChangeSize && c.result == 1) {
      EXPECT_EQ(size, 64);
    }
  }
}

// The 16-bit EEPROM fill covers at most what an I2C EEPROM behind the chip can hold (its
// 20 address bits); beyond that it fails at once, sending and allocating nothing.
TEST(DeviceApiTransport, Eeprom16FillIsBoundedByTheEepromAddressSpace) {
  DeviceRig rig;
  rig.Add("eeprom16");
  const LibHandle h = Lib_OpenDevice(0);
  ASSERT_NE(h, 0u);
  rig.StartLog();
  ASSERT_EQ(Lib_I2C_EEP16_Erase(h, 0x100, 0x40, 0), 1);
  EXPECT_EQ(rig.CountLog("21 01 0a00 0600 8 ok 0291000140000000"), 1u);

  struct Case {
    std::uint32_t address;
    std::uint32_t size;
  };
  const Case beyond[] = {
      {0, kEepromAddressLimit + 1},
      {kEepromAddressLimit / 2, kEepromAddressLimit / 2 + 1},
      {kEepromAddressLimit, 1},
      {0xFFFFFFFF, 2},
      {0, 0xFFFFFFFF},
  };
  for (const Case& c : beyond) {
    SCOPED_TRACE(std::to_string(c.address) + " + " + std::to_string(c.size));
    rig.StartLog();
    EXPECT_EQ(Lib_I2C_EEP16_Erase(h, c.address, c.size, 0), 0);
    ASSERT_EQ(rig.LogLines().size(), 0u) << "nothing is sent";
  }
}

TEST(DeviceApiTransport, DataControlSizeChangesAndStaysInForce) {
  DeviceRig rig;
  sim::SimDevice& device = rig.Add("flash-old");
  ASSERT_NE(Lib_OpenDevice(0), 0u);
  std::uint16_t size = 64;
  ASSERT_EQ(Lib_ChangeDataControlSize(1, &size), 1);
  EXPECT_EQ(size, 64);
  EXPECT_EQ(device.dataControlSize(), 64);
  // A 200-byte read through the unit moves 64-byte pieces.
  rig.StartLog();
  std::array<std::uint8_t, 200> buffer{};
  ASSERT_EQ(Lib_ReadMem(1, 0x0000, 200, buffer.data(), kLibFlagExtUnit), 1);
  EXPECT_EQ(rig.CountLog("a1 81 0b00 0600 64 ok"), 4u);
  EXPECT_EQ(rig.CountLog("a1 81 0b00 0600 8 "), 0u);
  // Zero is not a size: refused, the size in force reported back.
  size = 0;
  EXPECT_EQ(Lib_ChangeDataControlSize(1, &size), 0);
  EXPECT_EQ(size, 64);

  // A reset brings the device back at 8 bytes; the rebuilt transport moves 8 again.
  LibHandle after = 0;
  ASSERT_EQ(Lib_Reset7(&after, 0, 0, 1000), 1);
  EXPECT_EQ(device.dataControlSize(), 8);
  rig.StartLog();
  ASSERT_EQ(Lib_ReadMem(after, 0x0000, 200, buffer.data(), kLibFlagExtUnit), 1);
  EXPECT_EQ(rig.CountLog("a1 81 0b00 0600 8 ok"), 25u);
  EXPECT_EQ(rig.CountLog("a1 81 0b00 0600 64 "), 0u);
}

// ---------------------------------------------------------------- OTP

TEST(DeviceApiOtp, WriteLeavesTheCommandStatusOfTheDevice) {
  struct Case {
    const char* label;
    bool locked;
    int result;
    std::uint8_t status;
  };
  const Case cases[] = {
      {"written", false, 1, 0x00},
      {"locked: the device reports a hardware error", true, 0, 0x09},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    DeviceRig rig;
    rig.Add("otp", nullptr, [&](sim::DeviceConfig& config) { config.otpLocked = c.locked; });
    const LibHandle h = Lib_OpenDevice(0);
    ASSERT_NE(h, 0u);
    const std::array<std::uint8_t, 8> data = {0x55, 0xA5, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
    EXPECT_EQ(Lib_OTP_Write(h, 0x100, 0x40, 8, data.data(), 0, 0), c.result);
    EXPECT_EQ(Lib_GetLastOTPCmdStatus(), c.status);
    std::array<std::uint8_t, 8> back{};
    ASSERT_EQ(Lib_OTP_Read(h, 0x100, 8, back.data(), 0, 0), 1);
    if (c.result == 1) {
      EXPECT_EQ(back, data);
    } else {
      EXPECT_EQ(back, (std::array<std::uint8_t, 8>{}));  // still blank
    }
  }
}

TEST(DeviceApiOtp, StatusOfAFailedWriteIsReplacedByTheNextWrite) {
  DeviceRig rig;
  rig.Add("otp");
  const LibHandle h = Lib_OpenDevice(0);
  ASSERT_NE(h, 0u);
  const std::uint8_t data[4] = {1, 2, 3, 4};
  // Beyond the OTP: the device refuses the address.
  EXPECT_EQ(Lib_OTP_Write(h, 0x3FFE, 0x40, 4, data, 0, 0), 0);
  EXPECT_EQ(Lib_GetLastOTPCmdStatus(), 0x07);
  EXPECT_EQ(Lib_OTP_Write(h, 0x10, 0x40, 4, data, 0, 0), 1);
  EXPECT_EQ(Lib_GetLastOTPCmdStatus(), 0x00);
}

// ---------------------------------------------------------------- identity

TEST(DeviceApiIdentity, IdsAndStringsOfTheCurrentDevice) {
  DeviceRig rig;
  sim::SimDevice& device = rig.Add("flash-old");
  const LibHandle h = Lib_OpenDevice(0);
  ASSERT_NE(h, 0u);
  std::uint16_t vid = 0, pid = 0, bcd = 0;
  ASSERT_EQ(Lib_GetIds(h, &vid, &pid, &bcd), 1);
  EXPECT_EQ(vid, device.config().vid);
  EXPECT_EQ(pid, device.config().pid);
  EXPECT_EQ(bcd, device.config().release);
  std::wstring manufacturer;
  vid = pid = 0;
  ASSERT_EQ(Lib_GetDevInfo(h, &vid, &pid, nullptr, &manufacturer), 1);
  EXPECT_EQ(pid, 0x0310);
  EXPECT_EQ(manufacturer, L"KV0310-000001");
  std::wstring serial;
  ASSERT_EQ(Lib_GetSerialString(h, &serial), 1);
  EXPECT_EQ(serial, L"0310000001");
  std::wstring name;
  ASSERT_EQ(Lib_GetDeviceName(h, &name), 1);
  EXPECT_FALSE(name.empty());
  EXPECT_EQ(name, Lib_GetCurrentDevice()->Record().displayName);

  // Missing outputs or handle.
  EXPECT_EQ(Lib_GetIds(h, nullptr, &pid, nullptr), 0);
  EXPECT_EQ(Lib_GetIds(h, &vid, nullptr, nullptr), 0);
  EXPECT_EQ(Lib_GetIds(0, &vid, &pid, nullptr), 0);
  EXPECT_EQ(Lib_GetDevInfo(0, &vid, &pid, nullptr, &manufacturer), 0);

  // The manufacturer string of its own device only while none is open.
  EXPECT_EQ(Lib_GetManufacturerString(&manufacturer), 0);
  Lib_CloseDevice(h);
  manufacturer.clear();
  EXPECT_EQ(Lib_GetManufacturerString(&manufacturer), 1);
  EXPECT_EQ(manufacturer, L"KV0310-000001");
  EXPECT_EQ(Lib_GetCurrentDevice(), nullptr);
  EXPECT_EQ(rig.OpenInterfaces(), 0u);
}

TEST(DeviceApiIdentity, NonZeroLibTypeAnswersFromTheHubs) {
  DeviceRig rig;
  sim::SimDevice& device = rig.Add("eeprom8");
  std::vector<DeviceListEntry> list;
  std::uint32_t count = 0;
  ASSERT_EQ(EnumerateDevices(&list, &count, kListAudio), 0u);
  ASSERT_EQ(count, 1u);
  const LibHandle usbDevice = list[0].devInst;

  ScopedLibType libType(1);
  EXPECT_EQ(Lib_GetLibType(), 1);
  EXPECT_EQ(Lib_OpenDevice(0), 0u);
  std::uint16_t vid = 0, pid = 0, bcd = 0;
  ASSERT_EQ(Lib_GetIds(usbDevice, &vid, &pid, &bcd), 1);
  EXPECT_EQ(vid, device.config().vid);
  EXPECT_EQ(pid, device.config().pid);
  EXPECT_EQ(bcd, device.config().release);
  std::wstring text;
  ASSERT_EQ(Lib_GetSerialString(usbDevice, &text), 1);
  EXPECT_EQ(text, L"0311000001");
  ASSERT_EQ(Lib_GetManufacturerString(&text), 1);
  EXPECT_EQ(text, L"KV0311-000001");
  // A device instance no hub leads to.
  EXPECT_EQ(Lib_GetIds(0x7FFFFFF0, &vid, &pid, &bcd), 0);
  EXPECT_EQ(rig.OpenInterfaces(), 0u);
}

TEST(DeviceApiIdentity, PortInfoGivesTheAddressAndTheHubAboveTheUsbDevice) {
  DeviceRig rig;
  rig.Add("flash-old", nullptr, [](sim::DeviceConfig& config) { config.port = 4; });
  std::vector<DeviceListEntry> list;
  std::uint32_t count = 0;
  ASSERT_EQ(EnumerateDevices(&list, &count, kListAudio), 0u);
  ASSERT_EQ(count, 1u);
  auto inventory = platform::GetDeviceInventory();
  const platform::DevInst usbDevice = list[0].devInst;
  platform::DevInst hub = 0, function = 0;
  ASSERT_EQ(inventory->GetParent(usbDevice, hub), 0u);
  ASSERT_EQ(inventory->GetFirstChild(usbDevice, function), 0u);

  std::uint32_t address = 99;
  platform::DevInst found = 0;
  ASSERT_EQ(Lib_GetPortInfo(usbDevice, &address, &found), 1);
  EXPECT_EQ(address, 4u);
  EXPECT_EQ(found, hub);
  // The function ("MI_00" in its ID): the hub is its parent's parent.
  ASSERT_EQ(Lib_GetPortInfo(function, &address, &found), 1);
  EXPECT_EQ(found, hub);

  EXPECT_EQ(Lib_GetPortInfo(0, &address, &found), 0);
  EXPECT_EQ(Lib_GetPortInfo(usbDevice, nullptr, &found), 0);
  EXPECT_EQ(Lib_GetPortInfo(usbDevice, &address, nullptr), 0);
}

TEST(DeviceApiArrival, SignalSetsTheCurrentDevicesEventWithLibTypeZeroOnly) {
  DeviceRig rig;
  rig.Add("flash-old");
  EXPECT_EQ(Lib_SignalDeviceArrival(), 0);
  ASSERT_NE(Lib_OpenDevice(0), 0u);
  platform::Event* event = Lib_GetCurrentDevice()->ArrivalEvent();
  ASSERT_NE(event, nullptr);
  EXPECT_FALSE(event->IsSet());
  {
    ScopedLibType libType(1);
    EXPECT_EQ(Lib_SignalDeviceArrival(), 0);
    EXPECT_FALSE(event->IsSet());
  }
  EXPECT_EQ(Lib_SignalDeviceArrival(), 1);
  EXPECT_TRUE(event->IsSet());
}

// ---------------------------------------------------------------- version text

TEST(DeviceApiVersion, FormatVersionReadsTheRecordWhereTheImageSizeSaysItIs) {
  struct Case {
    std::uint32_t length;
    std::uint32_t at;  // where the record is put
    int result;
  };
  const Case cases[] = {
      {300, 283, 1},       // a small image: offset 283
      {291, 283, 1},       // exactly room for the record
      {290, 283, 0},       // one byte short
      {0xFFFF, 283, 1},    // still small
      {0x10000, 4108, 1},  // 64 KiB and up: offset 4108
      {0x40000, 4108, 1},
  };
  const std::uint8_t record[8] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    std::vector<std::uint8_t> image(c.length, 0xEE);
    for (std::uint32_t i = 0; i < 8 && c.at + i < c.length; ++i) image[c.at + i] = record[i];
    std::wstring text = L"unchanged";
    std::array<std::uint16_t, 6> fields{};
    EXPECT_EQ(Lib_FormatVersion(image.data(), c.length, &text, &fields), c.result);
    if (c.result == 1) {
      EXPECT_EQ(text, L"1.234.5678-9ABC.DEF0");
      EXPECT_EQ(fields, (std::array<std::uint16_t, 6>{0x1, 0x2, 0x34, 0x5678, 0x9ABC, 0xDEF0}));
    } else {
      EXPECT_EQ(text, L"unchanged");
    }
  }
  EXPECT_EQ(Lib_FormatVersion(nullptr, 300, nullptr, nullptr), 0);
  // Leading zeros: one digit, then two, then four.
  std::vector<std::uint8_t> image(300, 0);
  image[283] = 0x01;
  image[284] = 0x02;
  image[290] = 0x03;
  std::wstring text;
  ASSERT_EQ(Lib_FormatVersion(image.data(), 300, &text, nullptr), 1);
  EXPECT_EQ(text, L"0.102.0000-0000.0003");
}

}  // namespace
}  // namespace vantor
