#include "sim/usbip_wire.h"

#include <algorithm>

namespace vantor::sim {

namespace {

void PutBe32(UsbipHeader& h, std::size_t at, std::uint32_t v) {
  h[at] = static_cast<std::uint8_t>(v >> 24);
  h[at + 1] = static_cast<std::uint8_t>(v >> 16);
  h[at + 2] = static_cast<std::uint8_t>(v >> 8);
  h[at + 3] = static_cast<std::uint8_t>(v);
}

UsbipHeader Reply(std::uint32_t command, std::uint32_t seqnum, std::int32_t status) {
  UsbipHeader h{};
  PutBe32(h, 0, command);
  PutBe32(h, 4, seqnum);
  PutBe32(h, 20, static_cast<std::uint32_t>(status));
  return h;
}

}  // namespace

std::uint32_t UsbipWord(const UsbipHeader& h, std::size_t at) {
  return std::uint32_t{h[at]} << 24 | std::uint32_t{h[at + 1]} << 16 |
         std::uint32_t{h[at + 2]} << 8 | h[at + 3];
}

std::size_t UsbipCommand::payloadSize() const {
  if (command != kUsbipCmdSubmit) return 0;
  std::size_t size = direction == kUsbipDirOut ? transferBufferLength : 0;
  // -1 (0xFFFFFFFF) marks a transfer that is not isochronous.
  if (numberOfPackets > 0) size += std::size_t(numberOfPackets) * kUsbipIsoDescriptorSize;
  return size;
}

ControlSetup UsbipCommand::controlSetup() const {
  ControlSetup s;
  s.bmRequestType = setup[0];
  s.bRequest = setup[1];
  s.wValue = static_cast<std::uint16_t>(setup[2] | setup[3] << 8);
  s.wIndex = static_cast<std::uint16_t>(setup[4] | setup[5] << 8);
  s.wLength = static_cast<std::uint16_t>(setup[6] | setup[7] << 8);
  return s;
}

bool DecodeUsbipCommand(const UsbipHeader& h, UsbipCommand& out) {
  out = UsbipCommand{};
  out.command = UsbipWord(h, 0);
  out.seqnum = UsbipWord(h, 4);
  out.devid = UsbipWord(h, 8);
  out.direction = UsbipWord(h, 12);
  out.ep = UsbipWord(h, 16);
  if (out.command == kUsbipCmdSubmit) {
    out.transferFlags = UsbipWord(h, 20);
    out.transferBufferLength = UsbipWord(h, 24);
    out.startFrame = static_cast<std::int32_t>(UsbipWord(h, 28));
    out.numberOfPackets = static_cast<std::int32_t>(UsbipWord(h, 32));
    out.interval = static_cast<std::int32_t>(UsbipWord(h, 36));
    std::copy(h.begin() + 40, h.begin() + 48, out.setup.begin());
    return true;
  }
  if (out.command == kUsbipCmdUnlink) {
    out.unlinkSeqnum = UsbipWord(h, 20);
    return true;
  }
  return false;
}

UsbipHeader EncodeUsbipCommand(const UsbipCommand& c) {
  UsbipHeader h{};
  PutBe32(h, 0, c.command);
  PutBe32(h, 4, c.seqnum);
  PutBe32(h, 8, c.devid);
  PutBe32(h, 12, c.direction);
  PutBe32(h, 16, c.ep);
  if (c.command == kUsbipCmdSubmit) {
    PutBe32(h, 20, c.transferFlags);
    PutBe32(h, 24, c.transferBufferLength);
    PutBe32(h, 28, static_cast<std::uint32_t>(c.startFrame));
    PutBe32(h, 32, static_cast<std::uint32_t>(c.numberOfPackets));
    PutBe32(h, 36, static_cast<std::uint32_t>(c.interval));
    std::copy(c.setup.begin(), c.setup.end(), h.begin() + 40);
  } else {
    PutBe32(h, 20, c.unlinkSeqnum);
  }
  return h;
}

UsbipHeader EncodeRetSubmit(std::uint32_t seqnum, std::int32_t status, std::uint32_t actualLength) {
  UsbipHeader h = Reply(kUsbipRetSubmit, seqnum, status);
  PutBe32(h, 24, actualLength);
  return h;
}

UsbipHeader EncodeRetUnlink(std::uint32_t seqnum, std::int32_t status) {
  return Reply(kUsbipRetUnlink, seqnum, status);
}

}  // namespace vantor::sim
