// The USB/IP wire protocol as bytes (big-endian header words, setup bytes in USB order)
// and a device served over a socket pair, the way vhci-hcd talks to it, without a kernel.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <vector>

#include "sim/simulated_platform.h"
#include "sim/usbip_server.h"
#include "sim/usbip_wire.h"

namespace vantor::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Of(const UsbipHeader& h) { return Bytes(h.begin(), h.end()); }

TEST(UsbipWire, RepliesAreBigEndianHeaders) {
  Bytes submit(48, 0);
  submit[3] = 3;  // RET_SUBMIT
  submit[4] = 0x01, submit[5] = 0x02, submit[6] = 0x03, submit[7] = 0x04;
  submit[20] = 0xFF, submit[21] = 0xFF, submit[22] = 0xFF, submit[23] = 0xE0;  // -32
  submit[24] = 0x00, submit[25] = 0x00, submit[26] = 0x01, submit[27] = 0x02;  // 258
  EXPECT_EQ(Of(EncodeRetSubmit(0x01020304, kUsbipStatusStall, 258)), submit);

  Bytes unlink(48, 0);
  unlink[3] = 4;  // RET_UNLINK
  unlink[7] = 9;
  unlink[20] = 0xFF, unlink[21] = 0xFF, unlink[22] = 0xFF, unlink[23] = 0x98;  // -104
  EXPECT_EQ(Of(EncodeRetUnlink(9, kUsbipStatusUnlinked)), unlink);
}

TEST(UsbipWire, CommandsDecodeFromTheirBytes) {
  UsbipHeader h{};
  h[3] = 1;                              // CMD_SUBMIT
  h[6] = 0x12, h[7] = 0x34;              // seqnum 0x1234
  h[9] = 0x01, h[11] = 0x05;             // devid 0x00010005
  h[15] = 1;                             // IN
  h[27] = 0x40;                          // transfer buffer length 64
  h[32] = h[33] = h[34] = h[35] = 0xFF;  // not isochronous
  const std::uint8_t setup[8] = {0x80, 0x06, 0x00, 0x01, 0x00, 0x00, 0x40, 0x00};
  std::copy(setup, setup + 8, h.begin() + 40);
  UsbipCommand c;
  ASSERT_TRUE(DecodeUsbipCommand(h, c));
  EXPECT_EQ(c.command, kUsbipCmdSubmit);
  EXPECT_EQ(c.seqnum, 0x1234u);
  EXPECT_EQ(c.devid, 0x00010005u);
  EXPECT_EQ(c.direction, kUsbipDirIn);
  EXPECT_EQ(c.transferBufferLength, 64u);
  EXPECT_EQ(c.numberOfPackets, -1);
  EXPECT_EQ(c.payloadSize(), 0u);
  const ControlSetup s = c.controlSetup();
  EXPECT_EQ(s.bmRequestType, 0x80);
  EXPECT_EQ(s.bRequest, 0x06);
  EXPECT_EQ(s.wValue, 0x0100);  // little-endian on the wire
  EXPECT_EQ(s.wLength, 64);
  EXPECT_EQ(Of(EncodeUsbipCommand(c)), Of(h));

  // OUT data and isochronous packet descriptors follow a submit.
  c.direction = kUsbipDirOut;
  c.numberOfPackets = 3;
  EXPECT_EQ(c.payloadSize(), 64u + 3 * 16);

  UsbipHeader u{};
  u[3] = 2;  // CMD_UNLINK
  u[7] = 8;
  u[23] = 7;  // unlink seqnum 7
  ASSERT_TRUE(DecodeUsbipCommand(u, c));
  EXPECT_EQ(c.command, kUsbipCmdUnlink);
  EXPECT_EQ(c.unlinkSeqnum, 7u);
  u[3] = 3;  // a reply is no command
  EXPECT_FALSE(DecodeUsbipCommand(u, c));
}

// The kernel's end of a socket pair, and the device's end served by a connection.
class Served : public ::testing::Test {
 protected:
  void SetUp() override {
    device = &sim.AddDevice("flash-old");
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    connection = std::make_unique<UsbipConnection>(fds[1], *device);
  }
  void TearDown() override {
    ::close(fds[0]);
    ::close(fds[1]);
  }

  void Send(std::uint32_t seqnum, const std::array<std::uint8_t, 8>& setup, const Bytes& out = {},
            std::uint32_t ep = 0) {
    UsbipCommand c;
    c.command = kUsbipCmdSubmit;
    c.seqnum = seqnum;
    c.ep = ep;
    c.direction = (setup[0] & 0x80) != 0 ? kUsbipDirIn : kUsbipDirOut;
    c.transferBufferLength = static_cast<std::uint32_t>(setup[6] | setup[7] << 8);
    c.numberOfPackets = -1;
    c.setup = setup;
    const UsbipHeader h = EncodeUsbipCommand(c);
    ASSERT_EQ(::write(fds[0], h.data(), h.size()), 48);
    if (!out.empty()) {
      ASSERT_EQ(::write(fds[0], out.data(), out.size()), ssize_t(out.size()));
    }
  }
  void Unlink(std::uint32_t seqnum, std::uint32_t victim) {
    UsbipCommand c;
    c.command = kUsbipCmdUnlink;
    c.seqnum = seqnum;
    c.unlinkSeqnum = victim;
    const UsbipHeader h = EncodeUsbipCommand(c);
    ASSERT_EQ(::write(fds[0], h.data(), h.size()), 48);
  }
  // Reads a reply, and with `data` the IN data that follows it.
  UsbipHeader Reply(Bytes* data = nullptr) {
    UsbipHeader h{};
    EXPECT_EQ(::read(fds[0], h.data(), h.size()), 48);
    const std::uint32_t length =
        data != nullptr && UsbipWord(h, 0) == kUsbipRetSubmit ? UsbipWord(h, 24) : 0;
    Bytes in(length);
    std::size_t done = 0;
    while (done < length) {
      const ssize_t n = ::read(fds[0], in.data() + done, length - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    if (data != nullptr) *data = in;
    return h;
  }
  static std::int32_t Status(const UsbipHeader& h) {
    return static_cast<std::int32_t>(UsbipWord(h, 20));
  }

  SimulatedPlatform sim;
  SimDevice* device = nullptr;
  int fds[2] = {-1, -1};
  std::unique_ptr<UsbipConnection> connection;
};

TEST_F(Served, EnumerationRequestsAreAnsweredFromTheDescriptors) {
  // The kernel first asks for 64 bytes of the device descriptor: 18 come back.
  Send(1, {0x80, 0x06, 0x00, 0x01, 0x00, 0x00, 0x40, 0x00});
  ASSERT_TRUE(connection->ServeOne(1000));
  Bytes data;
  UsbipHeader h = Reply(&data);
  EXPECT_EQ(UsbipWord(h, 0), kUsbipRetSubmit);
  EXPECT_EQ(UsbipWord(h, 4), 1u);
  EXPECT_EQ(Status(h), 0);
  EXPECT_EQ(data, device->deviceDescriptor());
  // The first 9 bytes of the configuration descriptor.
  Send(2, {0x80, 0x06, 0x00, 0x02, 0x00, 0x00, 0x09, 0x00});
  ASSERT_TRUE(connection->ServeOne(1000));
  h = Reply(&data);
  ASSERT_EQ(data.size(), 9u);
  EXPECT_EQ(data[1], 2);
  // SET_CONFIGURATION 1, SET_INTERFACE 1 alt 0, GET_STATUS.
  Send(3, {0x00, 0x09, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00});
  ASSERT_TRUE(connection->ServeOne(1000));
  h = Reply();
  EXPECT_EQ(Status(h), 0);
  EXPECT_EQ(UsbipWord(h, 24), 0u);
  Send(4, {0x01, 0x0B, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00});
  ASSERT_TRUE(connection->ServeOne(1000));
  EXPECT_EQ(Status(Reply()), 0);
  Send(5, {0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00});
  ASSERT_TRUE(connection->ServeOne(1000));
  h = Reply(&data);
  EXPECT_EQ(data, (Bytes{0, 0}));
  // A stream endpoint is refused.
  Send(6, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, {}, 2);
  ASSERT_TRUE(connection->ServeOne(1000));
  EXPECT_EQ(Status(Reply()), kUsbipStatusStall);
}

TEST_F(Served, VendorRequestsInOutAndStalls) {
  // Write two register bytes (OUT data follows the header), read them back.
  Send(10, {0x40, 0x24, 0x00, 0x00, 0x00, 0xC1, 0x02, 0x00}, {0xAB, 0xCD});
  ASSERT_TRUE(connection->ServeOne(1000));
  UsbipHeader h = Reply();
  EXPECT_EQ(Status(h), 0);
  EXPECT_EQ(UsbipWord(h, 24), 2u);
  Send(11, {0xC0, 0x25, 0x00, 0x00, 0x00, 0xC1, 0x02, 0x00});
  ASSERT_TRUE(connection->ServeOne(1000));
  Bytes data;
  h = Reply(&data);
  EXPECT_EQ(UsbipWord(h, 4), 11u);
  EXPECT_EQ(data, (Bytes{0xAB, 0xCD}));
  // The chip id registers, wIndex 0xFE21 little-endian in the setup bytes.
  Send(12, {0xC0, 0x25, 0x00, 0x00, 0x21, 0xFE, 0x02, 0x00});
  ASSERT_TRUE(connection->ServeOne(1000));
  Reply(&data);
  EXPECT_EQ(data, (Bytes{0x11, 0x70}));
  // A request the chip does not know stalls: -EPIPE.
  Send(13, {0xC0, 0x7F, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00});
  ASSERT_TRUE(connection->ServeOne(1000));
  h = Reply();
  EXPECT_EQ(Status(h), kUsbipStatusStall);
  EXPECT_EQ(UsbipWord(h, 24), 0u);
}

TEST_F(Served, AnUnansweredRequestIsParkedUntilTheKernelUnlinksIt) {
  device->faults().timeout.push_back(RequestMatch{false, 0xC0, 0x07, std::nullopt, 1});
  Send(20, {0xC0, 0x07, 0x00, 0x00, 0x00, 0x00, 0x08, 0x00});
  ASSERT_TRUE(connection->ServeOne(1000));
  EXPECT_EQ(connection->parked(), 1u);
  Unlink(21, 20);
  ASSERT_TRUE(connection->ServeOne(1000));
  UsbipHeader h = Reply();
  EXPECT_EQ(UsbipWord(h, 0), kUsbipRetUnlink);
  EXPECT_EQ(UsbipWord(h, 4), 21u);
  EXPECT_EQ(Status(h), kUsbipStatusUnlinked);
  EXPECT_EQ(connection->parked(), 0u);
  // An answered request cannot be unlinked any more.
  Unlink(22, 19);
  ASSERT_TRUE(connection->ServeOne(1000));
  EXPECT_EQ(Status(Reply()), 0);
  // The device goes on answering.
  Send(23, {0xC0, 0x07, 0x00, 0x00, 0x00, 0x00, 0x08, 0x00});
  ASSERT_TRUE(connection->ServeOne(1000));
  EXPECT_EQ(Status(Reply()), 0);
}

TEST_F(Served, AResetTakesTheDeviceOffTheBusAndAClosedSocketEndsTheConnection) {
  std::atomic<bool> stop{false};
  // Reset into update code: answered, then the device has left.
  Send(30, {0x40, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00});
  ASSERT_TRUE(connection->ServeOne(1000));
  EXPECT_EQ(Status(Reply()), 0);
  EXPECT_EQ(connection->Serve(stop), UsbipConnection::End::kDeviceLeft);

  // A connection for the device as it is back; the kernel closes its end.
  sim.clock().SleepUs(10'000'000);
  ASSERT_NE(device->PresenceAt(sim.clock().NowUs()), SimDevice::Presence::kAbsent);
  UsbipConnection again(fds[1], *device);
  ::shutdown(fds[0], SHUT_RDWR);
  EXPECT_EQ(again.Serve(stop), UsbipConnection::End::kClosed);
  stop.store(true);
  UsbipConnection stopped(fds[1], *device);
  EXPECT_EQ(stopped.Serve(stop), UsbipConnection::End::kStopped);
}

TEST(UsbipCommand, ArgumentsAndAMissingController) {
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(RunUsbip({"usbip"}, out, err), 2);
  EXPECT_EQ(RunUsbip({"usbip", "/nonexistent-dir"}, out, err), 1);
  EXPECT_NE(err.str().find("no such simulated-device directory"), std::string::npos) << err.str();
}

}  // namespace
}  // namespace vantor::sim
