// The proxy protocol as bytes: request records and URBs in both kernel layouts, the
// success rule of a request, the failures and their platform errors, and the process-wide
// proxy state.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "device/proxy_protocol.h"
#include "device/proxy_request.h"
#include "device/proxy_state.h"
#include "platform/last_error.h"
#include "sim/virtual_clock.h"
#include "support/scripted_proxy.h"

namespace vantor {
namespace {

using test::DecodedUrb;
using test::Hex;
using test::ProxyAnswer;
using test::ScopedScriptedProxy;
using test::WireLayout;

constexpr std::uint32_t kLow = 0x8A000010;
constexpr std::uint32_t kHigh = 0xFFFFC601;

std::vector<std::uint8_t> Bytes(std::uint64_t v, int n) {
  std::vector<std::uint8_t> out;
  for (int i = 0; i < n; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  return out;
}

// A zero-filled block of `size` bytes with the given pieces written in.
std::vector<std::uint8_t> Expected(
    std::size_t size, const std::vector<std::pair<std::size_t, std::vector<std::uint8_t>>>& at) {
  std::vector<std::uint8_t> out(size, 0);
  for (const auto& [offset, bytes] : at)
    std::copy(bytes.begin(), bytes.end(), out.begin() + offset);
  return out;
}

std::uint64_t AddressOf(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }

class ProxyWire : public ::testing::TestWithParam<WireLayout> {
 protected:
  bool k64() const { return GetParam() == WireLayout::k64; }
  sim::ScopedVirtualClock clock;
  ScopedScriptedProxy proxy{GetParam()};
};

INSTANTIATE_TEST_SUITE_P(Layouts, ProxyWire, ::testing::Values(WireLayout::k64, WireLayout::k32),
                         test::WireLayoutTestName());

TEST_P(ProxyWire, AttachAndDetachRecords) {
  proxy->SetAttach(0x12345678, 0x9ABCDEF0);
  std::uint32_t low = 0;
  std::uint32_t high = 0;
  ASSERT_TRUE(ProxyAttach(0x1A4, low, high));
  EXPECT_EQ(low, 0x12345678u);
  EXPECT_EQ(high, 0x9ABCDEF0u);
  ASSERT_TRUE(ProxyDetach(low, high));

  auto calls = proxy->calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].record.code, 0x0022004Cu);
  EXPECT_EQ(calls[1].record.code, 0x00220044u);
  if (k64()) {
    EXPECT_EQ(calls[0].record.bytes, Expected(32, {{8, Bytes(0x1A4, 8)}}));
    EXPECT_EQ(calls[0].record.outSize, 32u);
    EXPECT_EQ(calls[1].record.bytes,
              Expected(32, {{16, Bytes(0x12345678, 4)}, {20, Bytes(0x9ABCDEF0, 4)}}));
  } else {
    EXPECT_EQ(calls[0].record.bytes, Expected(24, {{4, Bytes(0x1A4, 4)}}));
    EXPECT_EQ(calls[0].record.outSize, 24u);
    EXPECT_EQ(calls[1].record.bytes,
              Expected(24, {{8, Bytes(0x12345678, 4)}, {12, Bytes(0x9ABCDEF0, 4)}}));
  }
}

TEST_P(ProxyWire, SubmitRecordCarriesUrbAddressAndTimeOut) {
  std::uint8_t page[8] = {};
  ASSERT_TRUE(SendVendorRequest(kLow, kHigh, 0xC0, 0x07, 3, 0, page, 8, true, nullptr, 60000));
  auto calls = proxy->calls();
  ASSERT_EQ(calls.size(), 1u);
  const test::DecodedRecord& r = calls[0].record;
  EXPECT_EQ(r.code, 0x00220048u);
  EXPECT_EQ(r.outSize, 0u);
  ASSERT_TRUE(calls[0].urb.has_value());
  // The record's address is where the URB the proxy decoded lies.
  EXPECT_EQ(calls[0].urb->headerLength, k64() ? 136 : 80);
  if (k64()) {
    ASSERT_EQ(r.bytes.size(), 40u);
    EXPECT_EQ(r.bytes, Expected(40, {{16, Bytes(kLow, 4)},
                                     {20, Bytes(kHigh, 4)},
                                     {24, Bytes(r.urbAddress, 8)},
                                     {32, Bytes(60000, 4)}}));
  } else {
    ASSERT_EQ(r.bytes.size(), 24u);
    EXPECT_EQ(r.bytes, Expected(24, {{8, Bytes(kLow, 4)},
                                     {12, Bytes(kHigh, 4)},
                                     {16, Bytes(r.urbAddress, 4)},
                                     {20, Bytes(60000, 4)}}));
    EXPECT_LT(r.urbAddress, 0x100000000ull);
  }
  EXPECT_NE(r.urbAddress, 0u);
}

// The URB bytes of each kind of request, field by field.
TEST_P(ProxyWire, UrbLayoutsOfEveryRequestKind) {
  const std::size_t size = k64() ? 136 : 80;
  const std::size_t flagsAt = k64() ? 32 : 20;
  const std::size_t lengthAt = k64() ? 36 : 24;
  const std::size_t bufferAt = k64() ? 40 : 28;
  const int bufferWidth = k64() ? 8 : 4;
  const std::size_t requestAt = k64() ? 128 : 72;

  std::vector<std::uint8_t> data(4096);
  std::uint8_t out[1] = {0x5A};
  std::uint8_t cmd[8] = {0x00, 0xC2, 0x34, 0x12, 0x14, 0x00, 0x00, 0x00};
  std::uint8_t descriptor[18] = {};
  std::uint8_t text[256] = {};
  ASSERT_TRUE(SendVendorRequest(kLow, kHigh, 0xC0, 0x25, 0x0001, 0x1000, data.data(), 4096, true,
                                nullptr, 5000));
  ASSERT_TRUE(SendVendorRequest(kLow, kHigh, 0x40, 0x24, 0, 0xFF92, out, 1, false, nullptr, 5000));
  ASSERT_TRUE(
      SendClassRequest(kLow, kHigh, 0x21, 0x01, 0x0A00, 0x0600, cmd, 8, false, nullptr, 5000));
  ASSERT_TRUE(
      SendClassRequest(kLow, kHigh, 0xA1, 0x85, 0x0B00, 0x0600, cmd, 2, true, nullptr, 5000));
  ASSERT_TRUE(GetDeviceDescriptor(kLow, kHigh, descriptor));
  ASSERT_TRUE(GetStringDescriptor(kLow, kHigh, text, 256, 2, 0x0409));

  struct Case {
    const char* name;
    std::uint64_t buffer;
    std::vector<std::uint8_t> head;  // length and function
    std::uint32_t flags;
    std::uint32_t length;
    std::vector<std::uint8_t> request;
  };
  std::vector<std::uint8_t> len = Bytes(size, 2);
  const Case cases[] = {
      {"vendor in",
       AddressOf(data.data()),
       {len[0], len[1], 0x17, 0x00},
       1,
       4096,
       Hex("C0 25 01 00 00 10 00 00")},
      {"vendor out",
       AddressOf(out),
       {len[0], len[1], 0x17, 0x00},
       0,
       1,
       Hex("40 24 00 00 92 FF 00 00")},
      {"class out",
       AddressOf(cmd),
       {len[0], len[1], 0x1B, 0x00},
       0,
       8,
       Hex("21 01 00 0A 00 06 00 00")},
      {"class in",
       AddressOf(cmd),
       {len[0], len[1], 0x1B, 0x00},
       1,
       2,
       Hex("A1 85 00 0B 00 06 00 00")},
      {"device descriptor",
       AddressOf(descriptor),
       {len[0], len[1], 0x0B, 0x00},
       0,
       18,
       Hex("00 00 00 01 00 00 00 00")},
      {"string descriptor",
       AddressOf(text),
       {len[0], len[1], 0x0B, 0x00},
       0,
       256,
       Hex("00 00 02 03 09 04 00 00")},
  };
  std::vector<DecodedUrb> urbs = proxy->urbs();
  ASSERT_EQ(urbs.size(), std::size(cases));
  for (std::size_t i = 0; i < urbs.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.name);
    std::vector<std::uint8_t> got = urbs[i].bytes;
    ASSERT_EQ(got.size(), size);
    // The 32-bit layout of a 64-bit process is staged below 4 GiB: the buffer address is
    // the staged copy's; the data that went out shows it points at the right bytes.
    std::uint64_t buffer = k64() ? c.buffer : urbs[i].transferBuffer;
    EXPECT_NE(buffer, 0u);
    EXPECT_EQ(got, Expected(size, {{0, c.head},
                                   {flagsAt, Bytes(c.flags, 4)},
                                   {lengthAt, Bytes(c.length, 4)},
                                   {bufferAt, Bytes(buffer, bufferWidth)},
                                   {requestAt, c.request}}));
  }
  EXPECT_EQ(urbs[1].outData, std::vector<std::uint8_t>{0x5A});
  EXPECT_EQ(urbs[2].outData, Hex("00 C2 34 12 14 00 00 00"));
  for (const auto& call : proxy->calls()) EXPECT_EQ(call.record.timeoutMs, 5000u);
}

TEST_P(ProxyWire, AnswersReachTheCallerBuffer) {
  proxy->Queue(ProxyAnswer::Data(Hex("4B 45 53 54 52 41 4C 00")));
  proxy->Queue(ProxyAnswer::Short(3, Hex("01 02 03 04")));
  std::uint8_t page[8] = {};
  std::uint32_t moved = 99;
  ASSERT_TRUE(SendVendorRequest(kLow, kHigh, 0xC0, 0x07, 3, 0, page, 8, true, &moved, 5000));
  EXPECT_EQ(moved, 8u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(page), 8), std::string("KESTRAL\0", 8));
  // A vendor request may move fewer bytes than asked: it still succeeds, with the count.
  std::uint8_t small[8] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  ASSERT_TRUE(SendVendorRequest(kLow, kHigh, 0xC0, 0x25, 0, 0x10, small, 8, true, &moved, 5000));
  EXPECT_EQ(moved, 3u);
  EXPECT_EQ(small[2], 0x03);
  EXPECT_EQ(small[3], 0xEE);
}

struct FailureCase {
  const char* name;
  ProxyAnswer answer;
  std::uint32_t error;
};

TEST_P(ProxyWire, FailuresLeaveTheirPlatformError) {
  const FailureCase cases[] = {
      // The I/O control succeeds but the device stalled: a failure with an error of its own.
      {"stall", ProxyAnswer::Stall(), platform::kErrorGenFailure},
      {"device gone", ProxyAnswer::Error(1167), 1167},
      {"not ready", ProxyAnswer::Error(21), 21},
      // A control device that fails without saying why still leaves an error.
      {"no error given", ProxyAnswer::Error(0), platform::kErrorGenFailure},
      {"time-out", ProxyAnswer::Timeout(), platform::kErrorSemTimeout},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    proxy->Queue(c.answer);
    std::uint8_t byte = 0;
    std::uint32_t moved = 77;
    platform::SetLastError(0);
    EXPECT_FALSE(SendVendorRequest(kLow, kHigh, 0x40, 0x06, 0, 0, &byte, 1, true, &moved, 5000));
    EXPECT_EQ(platform::GetLastError(), c.error);
    EXPECT_EQ(moved, 0u);
  }
}

TEST_P(ProxyWire, TimeOutOfTheRecordIsWhatTheRequestWaits) {
  proxy->Queue(ProxyAnswer::Timeout());
  std::uint64_t before = clock.clock().NowMs();
  EXPECT_FALSE(SendVendorRequest(kLow, kHigh, 0x40, 0x32, 0, 0, nullptr, 0, false, nullptr, 60000));
  EXPECT_EQ(clock.clock().NowMs() - before, 60000u);
}

TEST_P(ProxyWire, DescriptorReadsMustMoveEverythingAsked) {
  std::uint8_t device[18] = {};
  std::vector<std::uint8_t> config(9);
  std::uint8_t text[256] = {};
  std::uint32_t moved = 0;

  proxy->Queue(ProxyAnswer::Short(17));
  platform::SetLastError(0);
  EXPECT_FALSE(GetDeviceDescriptor(kLow, kHigh, device));
  EXPECT_EQ(platform::GetLastError(), platform::kErrorInvalidData);

  proxy->Queue(ProxyAnswer::Short(8));
  EXPECT_FALSE(GetConfigDescriptor(kLow, kHigh, config.data(), 9));
  proxy->Queue(ProxyAnswer::Data(Hex("09 02 22 00 01 01 00 80 32")));
  ASSERT_TRUE(GetConfigDescriptor(kLow, kHigh, config.data(), 9));
  EXPECT_EQ(config, Hex("09 02 22 00 01 01 00 80 32"));

  // A string descriptor is as long as the device's text.
  proxy->Queue(ProxyAnswer::Short(6, Hex("06 03 41 00 42 00")));
  ASSERT_TRUE(GetStringDescriptor(kLow, kHigh, text, 256, 1, 0x0409, &moved));
  EXPECT_EQ(moved, 6u);
  EXPECT_EQ(text[4], 0x42);

  proxy->Queue(ProxyAnswer::Stall());
  EXPECT_FALSE(GetStringDescriptor(kLow, kHigh, text, 256, 9, 0x0409, &moved));

  auto urbs = proxy->urbs();
  ASSERT_EQ(urbs.size(), 5u);
  EXPECT_EQ(urbs[1].Text(), "desc 02 i=00 lang=0000 n=9");
  EXPECT_EQ(urbs[4].Text(), "desc 03 i=09 lang=0409 n=256");
}

TEST_P(ProxyWire, RequestsTheWireCannotCarryAreRefused) {
  std::vector<std::uint8_t> big(0x10000);
  platform::SetLastError(0);
  EXPECT_FALSE(
      SendVendorRequest(kLow, kHigh, 0xC0, 0x25, 0, 0, big.data(), 0x10000, true, nullptr, 5000));
  EXPECT_EQ(platform::GetLastError(), platform::kErrorInvalidParameter);
  EXPECT_FALSE(SendVendorRequest(kLow, kHigh, 0xC0, 0x25, 0, 0, nullptr, 4, true, nullptr, 5000));
  EXPECT_TRUE(proxy->calls().empty());
}

TEST_P(ProxyWire, AttachFailures) {
  std::uint32_t low = 1;
  std::uint32_t high = 1;
  proxy->SetAttach(0, 0, 1167);
  EXPECT_FALSE(ProxyAttach(0x1A4, low, high));
  EXPECT_EQ(platform::GetLastError(), 1167u);
  // A driver that hands back less than the record hands back no device handle.
  proxy->SetAttach(5, 6);
  proxy->SetAttachReturned(k64() ? 20 : 12);
  EXPECT_FALSE(ProxyAttach(0x1A4, low, high));
  EXPECT_EQ(platform::GetLastError(), platform::kErrorInvalidData);
  proxy->SetDetachError(6);
  EXPECT_FALSE(ProxyDetach(5, 6));
  EXPECT_EQ(platform::GetLastError(), 6u);
}

TEST(ProxyState, ClosedProxySendsNothing) {
  auto scripted = std::make_shared<test::ScriptedProxy>();
  SetProxyDevice(scripted, true);
  CloseProxyDevice();
  EXPECT_FALSE(IsProxyDeviceOpen());

  std::uint32_t low = 0;
  std::uint32_t high = 0;
  platform::SetLastError(0);
  EXPECT_FALSE(ProxyAttach(0x1A4, low, high));
  EXPECT_EQ(platform::GetLastError(), platform::kErrorPathNotFound);

  // Submit and detach keep whatever error the caller's thread holds ...
  std::uint8_t byte = 0;
  platform::SetLastError(1167);
  EXPECT_FALSE(SendVendorRequest(kLow, kHigh, 0x40, 0x06, 0, 0, &byte, 1, true, nullptr, 5000));
  EXPECT_EQ(platform::GetLastError(), 1167u);
  EXPECT_FALSE(ProxyDetach(kLow, kHigh));
  EXPECT_EQ(platform::GetLastError(), 1167u);
  // ... but never leave 0, which callers would take for success.
  platform::SetLastError(0);
  EXPECT_FALSE(SendVendorRequest(kLow, kHigh, 0x40, 0x06, 0, 0, &byte, 1, true, nullptr, 5000));
  EXPECT_EQ(platform::GetLastError(), platform::kErrorPathNotFound);
  platform::SetLastError(0);
  EXPECT_FALSE(ProxyDetach(kLow, kHigh));
  EXPECT_EQ(platform::GetLastError(), platform::kErrorPathNotFound);
  EXPECT_TRUE(scripted->calls().empty());
}

TEST(ProxyState, OpenTakesTheKernelFlagFromTheProcess) {
  auto opened = 0;
  platform::SetProxyDriverOpener([&opened]() -> std::unique_ptr<platform::ProxyDriver> {
    ++opened;
    return std::make_unique<test::ScriptedProxy>();
  });
  ASSERT_TRUE(OpenProxyDevice(false));
  EXPECT_TRUE(IsProxyDeviceOpen());
  // This program is a 64-bit process: its kernel is 64-bit whatever Wow64 says.
  EXPECT_EQ(IsKernel64(), sizeof(void*) == 8);
  // Open twice keeps the first control device.
  ASSERT_TRUE(OpenProxyDevice(true));
  EXPECT_EQ(opened, 1);
  CloseProxyDevice();
  platform::SetProxyDriverOpener(nullptr);

  // Without a control device to open, the state stays closed with the platform's error.
  platform::SetLastError(0);
  EXPECT_FALSE(OpenProxyDevice(false));
  EXPECT_NE(platform::GetLastError(), 0u);
  EXPECT_FALSE(IsProxyDeviceOpen());
}

TEST(ProxyState, KernelFlagRule) {
  struct Case {
    bool wow64;
    unsigned bits;
    bool kernel64;
  };
  const Case cases[] = {{false, 32, false}, {true, 32, true}, {false, 64, true}, {true, 64, true}};
  for (const Case& c : cases) {
    EXPECT_EQ(KernelIs64Bit(c.wow64, c.bits), c.kernel64) << c.wow64 << " " << c.bits;
  }
}

TEST(ProxyState, UrbAddressFieldOfEachProcessAndKernel) {
  struct Case {
    std::uint64_t address;
    ProxyLayout layout;
    unsigned bits;
    std::uint64_t field;
  };
  const Case cases[] = {
      // A 32-bit process on a 64-bit kernel: sign-extended.
      {0x80001000, ProxyLayout::k64, 32, 0xFFFFFFFF80001000ull},
      {0x7FFEF000, ProxyLayout::k64, 32, 0x7FFEF000},
      // A 64-bit process: as it is.
      {0x00007FFE12345678ull, ProxyLayout::k64, 64, 0x00007FFE12345678ull},
      {0x80001000, ProxyLayout::k32, 32, 0x80001000},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ProxyUrbAddressField(c.address, c.layout, c.bits), c.field) << std::hex << c.address;
  }
}

// A 64-bit process asked to use the 32-bit kernel layout without low memory to stage in
// must not hand the kernel a cut-off address.
TEST(ProxyState, ThirtyTwoBitLayoutWithoutStagingIsRefused) {
  if (sizeof(void*) != 8) GTEST_SKIP();
  auto scripted = std::make_shared<test::ScriptedProxy>();
  SetProxyDevice(scripted, false);
  std::vector<std::uint8_t> buffer(8);
  platform::SetLastError(0);
  EXPECT_FALSE(
      SendVendorRequest(kLow, kHigh, 0xC0, 0x07, 0, 0, buffer.data(), 8, true, nullptr, 5000));
  EXPECT_EQ(platform::GetLastError(), platform::kErrorInvalidParameter);
  EXPECT_TRUE(scripted->calls().empty());
  CloseProxyDevice();
}

TEST(ProxyState, SubmitOfAUrbBuiltForTheOtherLayoutIsRefused) {
  ScopedScriptedProxy proxy(WireLayout::k64);
  Urb urb(ProxyLayout::k32);
  urb.SetControlRequest(kUrbFunctionVendorDevice, 0x40, 0x06, 0, 0, false);
  EXPECT_FALSE(ProxySubmit(kLow, kHigh, urb, 5000));
  EXPECT_EQ(platform::GetLastError(), platform::kErrorInvalidParameter);
  EXPECT_TRUE(proxy->calls().empty());
}

}  // namespace
}  // namespace vantor
