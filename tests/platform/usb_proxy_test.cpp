// The Linux user-space proxy without a device: how libusb's results and the video
// node's errors become the statuses the transports expect, which class requests go to
// uvcvideo's extension-unit query, which claim the interface and which set the bound
// driver aside, the permission message, and the records it refuses.
#include "platform/linux/usb_proxy.h"

#include <gtest/gtest.h>
#include <libusb.h>

#include <cerrno>

#include "platform/last_error.h"

namespace vantor {
namespace {

namespace P = platform;
using P::ControlSetup;
using P::linux_usb::ClassRoute;
using P::linux_usb::TransferOutcome;
using Kind = TransferOutcome::Kind;

TEST(LinuxProxyStatus, LibusbResults) {
  struct Case {
    int result;
    bool gone;
    Kind kind;
    std::uint32_t error;
    std::uint32_t moved;
  } cases[] = {
      {18, false, Kind::kOk, 0, 18},
      {0, false, Kind::kOk, 0, 0},
      {LIBUSB_ERROR_PIPE, false, Kind::kStall, 0, 0},
      {LIBUSB_ERROR_PIPE, true, Kind::kStall, 0, 0},
      {LIBUSB_ERROR_NO_DEVICE, false, Kind::kGone, P::kErrorDeviceNotConnected, 0},
      {LIBUSB_ERROR_TIMEOUT, false, Kind::kTimeout, P::kErrorSemTimeout, 0},
      // A device unplugged under a transfer ends it with an I/O error or a time-out.
      {LIBUSB_ERROR_TIMEOUT, true, Kind::kGone, P::kErrorDeviceNotConnected, 0},
      {LIBUSB_ERROR_IO, true, Kind::kGone, P::kErrorDeviceNotConnected, 0},
      {LIBUSB_ERROR_IO, false, Kind::kFailed, P::kErrorGenFailure, 0},
      {LIBUSB_ERROR_ACCESS, false, Kind::kFailed, P::kErrorAccessDenied, 0},
      {LIBUSB_ERROR_BUSY, false, Kind::kFailed, 170, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.result << (c.gone ? " gone" : ""));
    const TransferOutcome out = P::linux_usb::MapLibusbResult(c.result, c.gone);
    EXPECT_EQ(out.kind, c.kind);
    EXPECT_EQ(out.error, c.error);
    EXPECT_EQ(out.moved, c.moved);
  }
}

TEST(LinuxProxyStatus, ExtensionUnitQueryErrors) {
  struct Case {
    int error;
    Kind kind;
  } cases[] = {
      {0, Kind::kOk},
      {EPIPE, Kind::kStall},
      {ENOENT, Kind::kStall},
      {ENOBUFS, Kind::kStall},
      {EBADRQC, Kind::kStall},
      {ENODEV, Kind::kGone},
      {ETIMEDOUT, Kind::kTimeout},
      {EIO, Kind::kFailed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    const TransferOutcome out = P::linux_usb::MapUvcQueryErrno(c.error, 8);
    EXPECT_EQ(out.kind, c.kind);
    EXPECT_EQ(out.moved, c.kind == Kind::kOk ? 8u : 0u);
  }
}

ControlSetup Request(std::uint8_t type, std::uint8_t request, std::uint16_t value,
                     std::uint16_t index, std::uint16_t length) {
  ControlSetup s;
  s.bmRequestType = type;
  s.bRequest = request;
  s.wValue = value;
  s.wIndex = index;
  s.wLength = length;
  return s;
}

TEST(LinuxProxyRoutes, ClassRequestsByTheBoundDriver) {
  // SET_CUR of control 0x0A of unit 3 on interface 0; GET_LEN of the same; a request to
  // the interface itself (no unit).
  const ControlSetup setCur = Request(0x21, 0x01, 0x0A00, 0x0300, 8);
  const ControlSetup getLen = Request(0xA1, 0x85, 0x0A00, 0x0300, 2);
  const ControlSetup toInterface = Request(0x21, 0x01, 0x0A00, 0x0000, 8);
  struct Case {
    const char* driver;
    const ControlSetup& setup;
    ClassRoute route;
  } cases[] = {
      {"", setCur, ClassRoute::kClaim},
      {"usbfs", setCur, ClassRoute::kClaim},
      {"uvcvideo", setCur, ClassRoute::kUvcQuery},
      {"uvcvideo", getLen, ClassRoute::kUvcQuery},
      {"uvcvideo", toInterface, ClassRoute::kDetachDriver},
      {"snd-usb-audio", setCur, ClassRoute::kDetachDriver},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.driver);
    EXPECT_EQ(P::linux_usb::RouteClassRequest(c.driver, c.setup), c.route);
  }
}

TEST(LinuxProxyRoutes, ExtensionUnitQueryFields) {
  P::linux_usb::UvcQuery q;
  ASSERT_TRUE(P::linux_usb::UvcQueryOf(Request(0xA1, 0x81, 0x0B00, 0x0300, 1024), q));
  EXPECT_EQ(q.unit, 3);
  EXPECT_EQ(q.selector, 0x0B);
  EXPECT_EQ(q.query, 0x81);  // GET_CUR
  EXPECT_EQ(q.size, 1024);
  ASSERT_TRUE(P::linux_usb::UvcQueryOf(Request(0x21, 0x01, 0x0A00, 0x0400, 8), q));
  EXPECT_EQ(q.query, 0x01);  // SET_CUR
  EXPECT_EQ(q.unit, 4);
  // Not extension-unit queries: a SET with a GET code, an unknown code, no unit, a
  // vendor request.
  EXPECT_FALSE(P::linux_usb::UvcQueryOf(Request(0x21, 0x81, 0x0A00, 0x0300, 8), q));
  EXPECT_FALSE(P::linux_usb::UvcQueryOf(Request(0xA1, 0x88, 0x0A00, 0x0300, 8), q));
  EXPECT_FALSE(P::linux_usb::UvcQueryOf(Request(0xA1, 0x81, 0x0A00, 0x0000, 8), q));
  EXPECT_FALSE(P::linux_usb::UvcQueryOf(Request(0xC0, 0x81, 0x0A00, 0x0300, 8), q));
}

TEST(LinuxProxy, PermissionMessageNamesTheNodeAndTheFix) {
  const std::string text = P::linux_usb::PermissionMessage("/dev/bus/usb/003/007", 0x3A4B, 0x0310);
  EXPECT_NE(text.find("/dev/bus/usb/003/007"), std::string::npos);
  EXPECT_NE(text.find("3a4b:0310"), std::string::npos);
  EXPECT_NE(text.find("70-vantorfw.rules"), std::string::npos);
  EXPECT_NE(text.find("udevadm"), std::string::npos);
}

TEST(LinuxProxy, RefusesWhatIsNotARecordOfAnAttachedDevice) {
  P::linux_usb::UsbProxy proxy(std::make_shared<P::linux_usb::UsbHost>("/nonexistent"));
  std::uint8_t record[40] = {};
  std::uint8_t answer[40] = {};
  std::uint32_t returned = 99;
  // Wrong sizes and an unknown code.
  EXPECT_FALSE(proxy.IoControl(P::kIoctlProxyAttach, record, 36, answer, 36, &returned));
  EXPECT_EQ(P::GetLastError(), P::kErrorInvalidParameter);
  EXPECT_EQ(returned, 0u);
  EXPECT_FALSE(proxy.IoControl(P::kIoctlProxySubmit, record, 32, nullptr, 0, nullptr));
  EXPECT_EQ(P::GetLastError(), P::kErrorInvalidParameter);
  EXPECT_FALSE(proxy.IoControl(0x00220040, record, 32, nullptr, 0, nullptr));
  // An interface handle nobody opened, a device handle nobody attached.
  record[8] = 0x34;
  EXPECT_FALSE(proxy.IoControl(P::kIoctlProxyAttach, record, 32, answer, 32, &returned));
  EXPECT_EQ(P::GetLastError(), P::kErrorInvalidHandle);
  EXPECT_FALSE(proxy.IoControl(P::kIoctlProxyDetach, record, 32, nullptr, 0, nullptr));
  EXPECT_EQ(P::GetLastError(), P::kErrorInvalidHandle);
  // A submit naming no URB.
  EXPECT_FALSE(proxy.IoControl(P::kIoctlProxySubmit, record, 40, nullptr, 0, nullptr));
  EXPECT_EQ(P::GetLastError(), 998u);
}

}  // namespace
}  // namespace vantor
