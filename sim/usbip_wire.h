// The USB/IP wire protocol between the kernel's virtual host controller (vhci-hcd) and a
// device server: 48-byte headers whose 32-bit words are big-endian, the eight setup
// bytes of a control transfer in USB order (wValue, wIndex, wLength little-endian), OUT
// data after CMD_SUBMIT, IN data after RET_SUBMIT.
#pragma once

#include <array>
#include <cstdint>

#include "sim/usb_wire.h"

namespace vantor::sim {

inline constexpr std::uint32_t kUsbipCmdSubmit = 1;
inline constexpr std::uint32_t kUsbipCmdUnlink = 2;
inline constexpr std::uint32_t kUsbipRetSubmit = 3;
inline constexpr std::uint32_t kUsbipRetUnlink = 4;
inline constexpr std::uint32_t kUsbipDirOut = 0;
inline constexpr std::uint32_t kUsbipDirIn = 1;
inline constexpr std::size_t kUsbipHeaderSize = 48;
// Each isochronous packet descriptor after a submit's data.
inline constexpr std::size_t kUsbipIsoDescriptorSize = 16;

// Status values of the replies (negative errno, as the kernel's URB status).
inline constexpr std::int32_t kUsbipStatusStall = -32;      // -EPIPE
inline constexpr std::int32_t kUsbipStatusUnlinked = -104;  // -ECONNRESET

using UsbipHeader = std::array<std::uint8_t, kUsbipHeaderSize>;

// A command the kernel sends.
struct UsbipCommand {
  std::uint32_t command = 0;
  std::uint32_t seqnum = 0;
  std::uint32_t devid = 0;
  std::uint32_t direction = 0;
  std::uint32_t ep = 0;
  // CMD_SUBMIT
  std::uint32_t transferFlags = 0;
  std::uint32_t transferBufferLength = 0;
  std::int32_t startFrame = 0;
  std::int32_t numberOfPackets = 0;
  std::int32_t interval = 0;
  std::array<std::uint8_t, 8> setup{};
  // CMD_UNLINK
  std::uint32_t unlinkSeqnum = 0;

  // The bytes that follow the header: OUT data, then the isochronous descriptors.
  std::size_t payloadSize() const;
  ControlSetup controlSetup() const;
};

// False for a header that is no command (a reply code or an unknown one).
bool DecodeUsbipCommand(const UsbipHeader& header, UsbipCommand& out);
UsbipHeader EncodeUsbipCommand(const UsbipCommand& command);

UsbipHeader EncodeRetSubmit(std::uint32_t seqnum, std::int32_t status, std::uint32_t actualLength);
UsbipHeader EncodeRetUnlink(std::uint32_t seqnum, std::int32_t status);

// Big-endian words of a header (tests read replies with it).
std::uint32_t UsbipWord(const UsbipHeader& header, std::size_t offset);

}  // namespace vantor::sim
