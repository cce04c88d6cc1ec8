#include "sim/usb_descriptors.h"

#include "device/vendor_ids.h"
#include "platform/device_inventory.h"

namespace vantor::sim {

namespace {

constexpr platform::Guid kCommandUnitGuid{
    0x1229A78C, 0x47B4, 0x4094, {0xB0, 0xCE, 0xDB, 0x07, 0x38, 0x6F, 0xB9, 0x38}};
constexpr platform::Guid kSecondUnitGuid{
    0x45B5DA73, 0x23C1, 0x4A3D, {0xA3, 0x68, 0x61, 0x0F, 0x07, 0x8C, 0x43, 0x97}};

using Bytes = std::vector<std::uint8_t>;

void Add(Bytes& out, std::initializer_list<std::uint8_t> bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}
std::uint8_t Lo(unsigned v) { return static_cast<std::uint8_t>(v & 0xFF); }
std::uint8_t Hi(unsigned v) { return static_cast<std::uint8_t>((v >> 8) & 0xFF); }

void Interface(Bytes& out, std::uint8_t number, std::uint8_t alt, std::uint8_t endpoints,
               std::uint8_t cls, std::uint8_t sub) {
  Add(out, {9, 4, number, alt, endpoints, cls, sub, 0, 0});
}

// A USB audio class 1 function: control interface `ac` with its units, and one
// streaming interface per direction. With `maker`, an extension unit whose extension
// code is the maker's vendor ID.
void AudioFunction(Bytes& out, std::uint8_t ac, bool speaker, bool maker, std::uint8_t unitId) {
  std::uint8_t streams = speaker ? 2 : 1;
  Interface(out, ac, 0, 0, 1, 1);
  Bytes units;
  // Microphone: input terminal 1 -> output terminal 2 (USB streaming).
  Add(units, {12, 0x24, 2, 1, 0x01, 0x02, 0, 1, 0, 0, 0, 0});
  Add(units, {9, 0x24, 3, 2, 0x01, 0x01, 0, 1, 0});
  if (speaker) {
    // Playback: input terminal 3 (USB streaming) -> output terminal 4 (speaker).
    Add(units, {12, 0x24, 2, 3, 0x01, 0x01, 0, 2, 0x03, 0, 0, 0});
    Add(units, {9, 0x24, 3, 4, 0x01, 0x03, 0, 3, 0});
  }
  if (maker) {
    // Extension unit: one input pin, one channel, two control bytes.
    Add(units, {15, 0x24, 8, unitId, Lo(kMakerVendorId), Hi(kMakerVendorId), 1, 1, 1, 0, 0, 0, 1,
                0x03, 0});
  }
  unsigned total = 8u + streams + static_cast<unsigned>(units.size());
  Bytes header = {
      static_cast<std::uint8_t>(8 + streams), 0x24, 1, 0x00, 0x01, Lo(total), Hi(total), streams};
  for (std::uint8_t i = 1; i <= streams; ++i) header.push_back(static_cast<std::uint8_t>(ac + i));
  out.insert(out.end(), header.begin(), header.end());
  out.insert(out.end(), units.begin(), units.end());
  for (std::uint8_t i = 1; i <= streams; ++i) {
    std::uint8_t number = static_cast<std::uint8_t>(ac + i);
    bool in = i == 1;  // the first stream is the microphone
    Interface(out, number, 0, 0, 1, 2);
    Interface(out, number, 1, 1, 1, 2);
    Add(out, {7, 0x24, 1, static_cast<std::uint8_t>(in ? 2 : 3), 1, 0x01, 0x00});
    Add(out, {11, 0x24, 2, 1, 2, 2, 16, 1, 0x80, 0xBB, 0x00});
    Add(out, {9, 5, static_cast<std::uint8_t>(in ? 0x82 : 0x01), 0x05, 0xC0, 0x00, 1, 0, 0});
    Add(out, {7, 0x25, 1, 0, 0, 0, 0});
  }
}

void ExtensionUnit(Bytes& out, std::uint8_t id, const platform::Guid& guid, std::uint8_t source,
                   std::uint8_t controls0, std::uint8_t controls1) {
  std::uint8_t g[16];
  guid.ToBytes(g);
  Bytes u = {27, 0x24, 6, id};
  u.insert(u.end(), g, g + 16);
  Add(u, {16, 1, source, 2, controls0, controls1, 0});
  out.insert(out.end(), u.begin(), u.end());
}

void VideoFunction(Bytes& out, const DeviceConfig& c) {
  // Interface association: video control 0 and video streaming 1.
  Add(out, {8, 11, 0, 2, 14, 3, 0, 0});
  Interface(out, kVideoControlInterface, 0, 1, 14, 1);
  Bytes units;
  Add(units, {18, 0x24, 2, 1, 0x01, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0x0E, 0x00, 0x00});  // camera
  Add(units, {11, 0x24, 5, 2, 1, 0, 0, 2, 0x3F, 0x00, 0});  // processing unit
  std::uint8_t last = 2;
  if (c.commandUnit) {
    // Controls 10 and 11 present: bits 1 and 2 of the second control byte.
    ExtensionUnit(units, c.unitId, kCommandUnitGuid, last, 0x00, 0x06);
    last = c.unitId;
  }
  if (c.secondUnit) {
    std::uint8_t id = static_cast<std::uint8_t>(c.unitId + 1);
    ExtensionUnit(units, id, kSecondUnitGuid, last, 0x01, 0x00);
    last = id;
  }
  Add(units, {9, 0x24, 3, 9, 0x01, 0x01, 0, last, 0});  // output terminal, USB streaming
  unsigned total = 13u + static_cast<unsigned>(units.size());
  Add(out, {13, 0x24, 1, 0x00, 0x01, Lo(total), Hi(total), 0x00, 0x6C, 0xDC, 0x02, 1, 1});
  out.insert(out.end(), units.begin(), units.end());
  Add(out, {7, 5, 0x83, 0x03, 0x10, 0x00, 8});
  Add(out, {5, 0x25, 3, 0x10, 0x00});
  // Streaming interface 1: input header, one MJPEG format and frame, one alternate.
  Interface(out, 1, 0, 0, 14, 2);
  Add(out, {14, 0x24, 1, 1, 0x37, 0x00, 0x81, 0, 9, 0, 0, 0, 1, 0});
  Add(out, {11, 0x24, 6, 1, 1, 0, 1, 0, 0, 0, 0});
  Add(out, {30,   0x24, 7, 1,    0,    0x80, 0x02, 0xE0, 0x01, 0, 0, 0x77, 0x01, 0,    0,
            0xCA, 0x08, 0, 0x60, 0x09, 0,    0x15, 0x16, 0x05, 0, 1, 0x15, 0x16, 0x05, 0});
  Interface(out, 1, 1, 1, 14, 2);
  Add(out, {7, 5, 0x81, 0x05, 0x00, 0x14, 1});
  // The microphone: association over interfaces 2 and 3.
  Add(out, {8, 11, kCameraAudioControlInterface, 2, 1, 2, 0, 0});
  AudioFunction(out, kCameraAudioControlInterface, false, false, 0);
}

Bytes StringBytes(const std::string& text) {
  Bytes out = {static_cast<std::uint8_t>(2 + 2 * text.size()), 3};
  for (unsigned char ch : text) Add(out, {ch, 0});
  return out;
}

}  // namespace

std::uint8_t CommandUnitInterface(const DeviceConfig& config) {
  return config.function == FunctionKind::kCamera ? kVideoControlInterface : kAudioControlInterface;
}

std::vector<std::uint8_t> BuildDeviceDescriptor(const DeviceConfig& c) {
  bool camera = c.function == FunctionKind::kCamera;
  return {18,
          1,
          0x00,
          0x02,
          static_cast<std::uint8_t>(camera ? 0xEF : 0x00),
          static_cast<std::uint8_t>(camera ? 0x02 : 0x00),
          static_cast<std::uint8_t>(camera ? 0x01 : 0x00),
          64,
          Lo(c.vid),
          Hi(c.vid),
          Lo(c.pid),
          Hi(c.pid),
          Lo(c.release),
          Hi(c.release),
          static_cast<std::uint8_t>(c.manufacturer.empty() ? 0 : 1),
          static_cast<std::uint8_t>(c.product.empty() ? 0 : 2),
          static_cast<std::uint8_t>(c.serial.empty() ? 0 : 3),
          1};
}

std::vector<std::uint8_t> BuildConfigDescriptor(const DeviceConfig& c) {
  Bytes body;
  std::uint8_t interfaces = 0;
  if (c.function == FunctionKind::kCamera) {
    VideoFunction(body, c);
    interfaces = 4;
  } else {
    AudioFunction(body, kAudioControlInterface, true, c.extensionUnit, c.unitId);
    interfaces = 3;
  }
  unsigned total = 9u + static_cast<unsigned>(body.size());
  Bytes out = {9, 2, Lo(total), Hi(total), interfaces, 1, 0, 0x80, 250};
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

std::optional<std::vector<std::uint8_t>> BuildStringDescriptor(const DeviceConfig& c,
                                                               std::uint8_t index) {
  switch (index) {
    case 0:
      return Bytes{4, 3, 0x09, 0x04};
    case 1:
      if (!c.manufacturer.empty()) return StringBytes(c.manufacturer);
      break;
    case 2:
      if (!c.product.empty()) return StringBytes(c.product);
      break;
    case 3:
      if (!c.serial.empty()) return StringBytes(c.serial);
      break;
    default:
      break;
  }
  return std::nullopt;
}

}  // namespace vantor::sim
