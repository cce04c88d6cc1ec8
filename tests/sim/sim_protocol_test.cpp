// Descriptors, status pages, registers and both command transports as a host sees them.
#include <gtest/gtest.h>

#include <cstring>

#include "device/vendor_ids.h"
#include "sim/simulated_platform.h"
#include "test_host.h"

namespace vantor::sim {
namespace {

using test::Block;
using test::Reply;
using test::TestHost;

class Protocol : public ::testing::Test {
 protected:
  SimDevice& Add(const char* profile) { return sim.AddDevice(profile); }
  void Open(const wchar_t* pid, std::uint8_t unit = 6, std::uint8_t iface = 0) {
    ASSERT_TRUE(host.Open(platform::kGuidDevInterfaceUsbDevice, pid));
    host.SetUnit(unit, iface);
  }
  std::vector<std::uint8_t> Config() {
    Reply r = host.Descriptor(2, 0, 0, 9);
    EXPECT_TRUE(r.good());
    return host.Descriptor(2, 0, 0, static_cast<std::uint16_t>(r.data[2] | r.data[3] << 8)).data;
  }
  std::uint8_t XuStatus() { return host.XuGet(0x81, 0x0A, 8).data.at(0); }

  SimulatedPlatform sim;
  TestHost host;
};

// Walks a configuration descriptor: (type, subtype or 0, offset) of every descriptor.
struct Desc {
  std::uint8_t type;
  std::size_t at;
};
std::vector<Desc> Walk(const std::vector<std::uint8_t>& c) {
  std::vector<Desc> out;
  for (std::size_t i = 0; i + 1 < c.size() && c[i] != 0; i += c[i]) out.push_back({c[i + 1], i});
  return out;
}

TEST_F(Protocol, AudioConfigurationCarriesTheMakersExtensionUnit) {
  Add("flash-old");
  Open(L"PID_0310");
  std::vector<std::uint8_t> c = Config();
  bool afterControl = false;
  bool found = false;
  for (const Desc& d : Walk(c)) {
    if (d.type == 4) afterControl = c[d.at + 5] == 1 && c[d.at + 6] == 1;
    if (d.type == 0x24 && afterControl && c[d.at + 2] == 8) {
      EXPECT_EQ(c[d.at + 4] | c[d.at + 5] << 8, kMakerVendorId);
      EXPECT_EQ(c[d.at + 3], 6);
      found = true;
    }
  }
  EXPECT_TRUE(found);
  // Strings in language 0x0409; the manufacturer string is the serial text.
  EXPECT_EQ(host.Descriptor(3, 0, 0, 255).data, (std::vector<std::uint8_t>{4, 3, 0x09, 0x04}));
  Reply s = host.Descriptor(3, 1, 0x0409, 256);
  ASSERT_TRUE(s.good());
  std::string text;
  for (std::size_t i = 2; i + 1 < s.data.size(); i += 2) text += static_cast<char>(s.data[i]);
  EXPECT_EQ(text, "KV0310-000001");
  EXPECT_EQ(host.Descriptor(3, 9, 0x0409, 256).urbStatus, kUsbdStatusStallPid);
}

TEST_F(Protocol, CameraConfigurationHasTheVideoFunctionAndBothUnits) {
  Add("camera");
  Open(L"PID_0510", 3, 0);
  Reply d = host.Descriptor(1, 0, 0, 18);
  EXPECT_EQ(d.data[4], 0xEF);
  EXPECT_EQ(d.data[5], 0x02);
  EXPECT_EQ(d.data[6], 0x01);
  std::vector<std::uint8_t> c = Config();
  static const std::uint8_t kCommand[16] = {0x8C, 0xA7, 0x29, 0x12, 0xB4, 0x47, 0x94, 0x40,
                                            0xB0, 0xCE, 0xDB, 0x07, 0x38, 0x6F, 0xB9, 0x38};
  static const std::uint8_t kSecond[16] = {0x73, 0xDA, 0xB5, 0x45, 0xC1, 0x23, 0x3D, 0x4A,
                                           0xA3, 0x68, 0x61, 0x0F, 0x07, 0x8C, 0x43, 0x97};
  std::vector<Desc> all = Walk(c);
  int associations = 0;
  int commandUnit = -1;
  bool second = false;
  bool header = false;
  int streaming = 0;
  for (std::size_t k = 0; k < all.size(); ++k) {
    const Desc& x = all[k];
    if (x.type == 11 && c[x.at + 4] == 14 && c[x.at + 5] == 3) {
      ++associations;
      EXPECT_EQ(c[x.at + 2], 0);  // first interface
      EXPECT_EQ(c[x.at + 3], 2);  // interface count
    }
    if (x.type == 0x24 && c[x.at + 2] == 1 && k > 0 && all[k - 1].type == 4 &&
        c[all[k - 1].at + 5] == 14 && c[all[k - 1].at + 6] == 1) {
      header = true;
    }
    if (x.type == 0x24 && c[x.at + 2] == 6) {
      if (std::memcmp(&c[x.at + 4], kCommand, 16) == 0) {
        commandUnit = c[x.at + 3];
        EXPECT_GE(c[x.at + 20], 2);         // bNumControls
        EXPECT_GE(c[x.at + 23], 2);         // bControlSize
        EXPECT_EQ(c[x.at + 25] & 0x06, 6);  // controls 10 and 11
      }
      if (std::memcmp(&c[x.at + 4], kSecond, 16) == 0) second = true;
    }
    if (x.type == 4 && c[x.at + 5] == 14 && c[x.at + 6] == 2 && c[x.at + 3] == 0) ++streaming;
  }
  EXPECT_EQ(associations, 1);
  EXPECT_TRUE(header);
  EXPECT_EQ(commandUnit, 3);
  EXPECT_TRUE(second);
  EXPECT_EQ(streaming, 1);
  // The command unit answers on the video control interface.
  Reply r = host.XuRead(Block(0x00, 0xD0, 0, 8), 8, 8);
  ASSERT_TRUE(r.good());
  EXPECT_EQ(std::string(r.data.begin(), r.data.end()), std::string("KESTRAL\0", 8));
}

TEST_F(Protocol, StatusPagesAndRegistersAgreeOnBothTransports) {
  Add("flash-old");
  Open(L"PID_0310");
  std::vector<std::uint8_t> vendor;
  std::vector<std::uint8_t> unit;
  for (std::uint16_t page = 0; page < 13; ++page) {
    Reply v = host.VendorIn(0x07, page, 0, 8);
    ASSERT_TRUE(v.good());
    vendor.insert(vendor.end(), v.data.begin(), v.data.end());
    Reply u = host.XuRead(Block(0x00, 0xCD, page, 8), 8, 8);
    ASSERT_TRUE(u.good());
    unit.insert(unit.end(), u.data.begin(), u.data.end());
  }
  EXPECT_EQ(vendor, unit);
  EXPECT_EQ(std::string(vendor.begin() + 24, vendor.begin() + 32), std::string("KESTRAL\0", 8));
  EXPECT_EQ(vendor[6] | vendor[7] << 8, 0x7011);  // chip id
  EXPECT_EQ(vendor[64] & 0x0F, 0) << "ROM code is not cached code";
  // Chip id registers through ReadMem of both transports.
  Reply v = host.VendorIn(0x25, 0, 0xFE21, 2);
  EXPECT_EQ(v.data, (std::vector<std::uint8_t>{0x11, 0x70}));
  Reply u = host.XuRead(Block(0x00, 0xC2, 0xFE21, 2), 2, 8);
  EXPECT_EQ(u.data, (std::vector<std::uint8_t>{0x11, 0x70}));
  // Plain RAM elsewhere: a write through one transport reads back through the other.
  ASSERT_TRUE(host.XuWrite(Block(0x00, 0x82, 0x1234, 3), {1, 2, 3}, 8).good());
  EXPECT_EQ(host.VendorIn(0x25, 0, 0x1234, 3).data, (std::vector<std::uint8_t>{1, 2, 3}));
  // Chip id registers are read-only.
  ASSERT_TRUE(host.VendorOut(0x24, 0, 0xFE21, {0x00}).good());
  EXPECT_EQ(host.VendorIn(0x25, 0, 0xFE21, 1).data[0], 0x11);
}

TEST_F(Protocol, VendorRequestsPackAddressesAndLengths) {
  SimDevice& dev = Add("flash-old");
  for (int i = 0; i < 16; ++i) dev.memory()[0x3F000 + i] = static_cast<std::uint8_t>(0xA0 + i);
  Open(L"PID_0310");
  // SPI_SF_Read at 0x0003F000 with read mode 0x0B: wValue 0x030B, wIndex 0xF000.
  Reply r = host.VendorIn(0x2E, 0x030B, 0xF000, 16);
  ASSERT_TRUE(r.good());
  EXPECT_EQ(r.data[0], 0xA0);
  EXPECT_EQ(r.data[15], 0xAF);
  // Length bits 16..19 cannot travel in a control transfer: refused.
  EXPECT_EQ(host.VendorIn(0x2E, 0x1300, 0xF000, 16).urbStatus, kUsbdStatusStallPid);
  // The wrong direction for the request.
  EXPECT_EQ(host.Submit(0x17, 0x40, 0x25, 0, 0xFE21, false, {0, 0}, 0).urbStatus,
            kUsbdStatusStallPid);
  // Beyond the end of the flash.
  EXPECT_EQ(host.VendorIn(0x2E, 0x0400, 0x0000, 16).urbStatus, kUsbdStatusStallPid);
}

TEST_F(Protocol, LegacyDevicesAnswerOnlyThePing) {
  DeviceConfig c;
  ASSERT_TRUE(MakeProfile("flash-old", "legacy", c));
  c.vendorRequests = VendorRequestMode::kLegacy;
  sim.AddDevice(c);
  Open(L"PID_0310");
  EXPECT_EQ(host.VendorIn(0x07, 3, 0, 8).urbStatus, kUsbdStatusStallPid);
  Reply ping = host.Submit(0x17, 0x40, 0x06, 0, 0, true, {}, 1);  // type 0x40, flag in
  EXPECT_TRUE(ping.good());
  EXPECT_EQ(ping.moved, 1u);
}

TEST_F(Protocol, DataControlSizeChangesUpToTheDevicesMaximum) {
  DeviceConfig c;
  ASSERT_TRUE(MakeProfile("flash-old", "small", c));
  c.maxDataControl = 32;
  sim.AddDevice(c);
  Open(L"PID_0310");
  EXPECT_EQ(host.XuGet(0x85, 0x0B, 2).data, (std::vector<std::uint8_t>{8, 0}));
  EXPECT_EQ(host.XuGet(0x85, 0x0A, 2).data, (std::vector<std::uint8_t>{8, 0}));
  ASSERT_TRUE(host.XuSet(0x0A, Block(0x00, 0x16, 0, 24)).good());
  EXPECT_EQ(host.XuGet(0x85, 0x0B, 2).data, (std::vector<std::uint8_t>{24, 0}));
  ASSERT_TRUE(host.XuSet(0x0A, Block(0x00, 0x16, 0, 64)).good());
  EXPECT_EQ(host.XuGet(0x85, 0x0B, 2).data, (std::vector<std::uint8_t>{32, 0}));
  // A 32-byte read now takes one transfer; 13 bytes at a time are refused as too long
  // only when above the size.
  Reply r = host.XuRead(Block(0x00, 0xC2, 0xFE21, 2), 2, 32);
  EXPECT_EQ(r.data, (std::vector<std::uint8_t>{0x11, 0x70}));
  ASSERT_TRUE(host.XuSet(0x0A, Block(0x00, 0xC2, 0xFE21, 2)).good());
  EXPECT_EQ(host.XuGet(0x81, 0x0B, 33).urbStatus, kUsbdStatusStallPid);
  EXPECT_EQ(XuStatus(), kStsErrLen);
}

TEST_F(Protocol, CommandErrorsHoldUntilTheHostClearsThem) {
  Add("flash-old");
  Open(L"PID_0310");
  struct Case {
    std::vector<std::uint8_t> block;
    std::uint8_t status;
  } cases[] = {
      {Block(0x00, 0x7E), kStsUnknownSubCmd},
      {Block(0x05, 0xC2, 0, 8), kStsUnknownCmd},
      {Block(0x00, 0xC2, 0xFFFC, 8), kStsOutOfRange},
      {Block(0x02, 0xCB, 0, 8), kStsHwErr},  // no EEPROM on this device
  };
  for (const Case& c : cases) {
    EXPECT_EQ(host.XuSet(0x0A, c.block).urbStatus, kUsbdStatusStallPid);
    EXPECT_EQ(XuStatus(), c.status);
    // Refused until cleared.
    EXPECT_EQ(host.XuSet(0x0A, Block(0x00, 0xD0, 0, 8)).urbStatus, kUsbdStatusStallPid);
    ASSERT_TRUE(host.XuSet(0x0A, Block(0xFF, 0x00)).good());
    EXPECT_EQ(XuStatus(), kStsCmd);
  }
  // A data read without a command, and a new command before the data phase ended.
  EXPECT_EQ(host.XuGet(0x81, 0x0B, 8).urbStatus, kUsbdStatusStallPid);
  EXPECT_EQ(XuStatus(), kStsErrDir);
  ASSERT_TRUE(host.XuSet(0x0A, Block(0xFF, 0x00)).good());
  ASSERT_TRUE(host.XuSet(0x0A, Block(0x00, 0xC2, 0x1000, 16)).good());
  EXPECT_EQ(XuStatus(), kStsDataIn);
  EXPECT_EQ(host.XuSet(0x0A, Block(0x00, 0xC2, 0x1000, 16)).urbStatus, kUsbdStatusStallPid);
  EXPECT_EQ(XuStatus(), kStsNotFinish);
  // Requests to another unit or interface are not the command unit's.
  host.SetUnit(7, 0);
  EXPECT_EQ(host.XuGet(0x85, 0x0B, 2).urbStatus, kUsbdStatusStallPid);
  host.SetUnit(6, 1);
  EXPECT_EQ(host.XuGet(0x85, 0x0B, 2).urbStatus, kUsbdStatusStallPid);
}

TEST_F(Protocol, ShortLastTransferOfTheObjectFreeFunctions) {
  Add("flash-old");
  Open(L"PID_0310");
  // 13 bytes: one 8-byte read, then one read of the remaining 5 bytes.
  ASSERT_TRUE(
      host.XuWrite(Block(0x00, 0x82, 0x2000, 13), {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}, 8)
          .good());
  ASSERT_TRUE(host.XuSet(0x0A, Block(0x00, 0xC2, 0x2000, 13)).good());
  EXPECT_EQ(host.XuGet(0x81, 0x0B, 8).data.size(), 8u);
  Reply last = host.XuGet(0x81, 0x0B, 5);
  EXPECT_EQ(last.data, (std::vector<std::uint8_t>{9, 10, 11, 12, 13}));
  EXPECT_EQ(XuStatus(), kStsCmd);
}

}  // namespace
}  // namespace vantor::sim
