// The object-free vendor requests: their requests as the proxy receives them, and the
// platform errors they return.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "device/vendor_functions.h"
#include "platform/last_error.h"
#include "sim/virtual_clock.h"
#include "support/scripted_proxy.h"

namespace vantor {
namespace {

using test::Hex;
using test::ProxyAnswer;
using test::ScopedScriptedProxy;
using test::WireLayout;

constexpr std::uint32_t kLow = 0x8A000020;
constexpr std::uint32_t kHigh = 0xFFFFC601;

class VendorFunctions : public ::testing::TestWithParam<WireLayout> {
 protected:
  sim::ScopedVirtualClock clock;
  ScopedScriptedProxy proxy{GetParam()};
};

INSTANTIATE_TEST_SUITE_P(Layouts, VendorFunctions,
                         ::testing::Values(WireLayout::k64, WireLayout::k32),
                         test::WireLayoutTestName());

TEST_P(VendorFunctions, PingIsAnInRequestWithTheOutTypeByte) {
  proxy->Queue(ProxyAnswer::Data({0x02}));
  std::uint8_t answer = 0xEE;
  EXPECT_EQ(VendorPing(kLow, kHigh, 1, &answer), 0u);
  EXPECT_EQ(answer, 2);
  proxy->Queue(ProxyAnswer::Error(1167));
  answer = 0xEE;
  EXPECT_EQ(VendorPing(kLow, kHigh, 0, &answer), 1167u);
  EXPECT_EQ(answer, 0xEE);
  auto urbs = proxy->urbs();
  ASSERT_EQ(urbs.size(), 2u);
  EXPECT_EQ(urbs[0].function, 0x0017);
  EXPECT_EQ(urbs[0].transferFlags, 1u);
  EXPECT_EQ(urbs[0].Text(), "40 06 v=0001 i=0000 n=1");
  EXPECT_EQ(proxy->calls()[0].record.deviceLow, kLow);
  EXPECT_EQ(proxy->calls()[0].record.deviceHigh, kHigh);
  EXPECT_EQ(proxy->calls()[0].record.timeoutMs, 5000u);
}

TEST_P(VendorFunctions, Resets) {
  EXPECT_EQ(VendorLegacyReset(kLow, kHigh, 5, 7), 0u);
  EXPECT_EQ(VendorReset(kLow, kHigh, 1, 7), 0u);
  EXPECT_EQ(VendorReset(kLow, kHigh, 0, 8), 0u);
  EXPECT_EQ(VendorReset(kLow, kHigh, 0x0102, 9), 0u);
  // Only kinds 7, 8 and 9 exist; another sends nothing.
  EXPECT_EQ(VendorReset(kLow, kHigh, 0, 10), 0x80070057u);
  EXPECT_EQ(proxy->Texts(),
            (std::vector<std::string>{"40 01 v=0005 i=0007 n=0", "40 20 v=0001 i=0000 n=0",
                                      "40 21 v=0000 i=0000 n=0", "40 22 v=0102 i=0000 n=0"}));
  for (const auto& urb : proxy->urbs()) EXPECT_EQ(urb.transferFlags, 0u);
  // A device that is not ready yet answers 21, which the caller retries on.
  proxy->Queue(ProxyAnswer::Error(21));
  EXPECT_EQ(VendorReset(kLow, kHigh, 1, 7), 21u);
  // A stall is a failure with an error of its own, not 0.
  proxy->Queue(ProxyAnswer::Stall());
  EXPECT_EQ(VendorLegacyReset(kLow, kHigh, 1, 9), platform::kErrorGenFailure);
}

TEST_P(VendorFunctions, StatusPages) {
  proxy->SetResponder([](const test::DecodedUrb& urb) {
    std::vector<std::uint8_t> page(8);
    for (int i = 0; i < 8; ++i) page[i] = static_cast<std::uint8_t>(urb.wValue() * 8 + i);
    return ProxyAnswer::Data(page);
  });
  std::vector<std::uint8_t> status(104, 0xEE);
  ASSERT_EQ(VendorGetDevStatus(kLow, kHigh, 0, 104, status.data()), 0u);
  for (int i = 0; i < 104; ++i) ASSERT_EQ(status[i], i) << i;
  auto urbs = proxy->urbs();
  ASSERT_EQ(urbs.size(), 13u);
  for (std::uint16_t i = 0; i < 13; ++i) {
    char want[32];
    std::snprintf(want, sizeof want, "C0 07 v=%04X i=0000 n=8", i);
    EXPECT_EQ(urbs[i].Text(), want);
  }

  // Ten bytes: a whole page and two bytes of the next one, read through a local page.
  proxy->Clear();
  std::vector<std::uint8_t> ten(10, 0xEE);
  ten.push_back(0x77);
  ASSERT_EQ(VendorGetDevStatus(kLow, kHigh, 0, 10, ten.data()), 0u);
  EXPECT_EQ(ten, Hex("00 01 02 03 04 05 06 07 08 09 77"));
  EXPECT_EQ(proxy->Texts(),
            (std::vector<std::string>{"C0 07 v=0000 i=0000 n=8", "C0 07 v=0001 i=0000 n=8"}));

  // The extended pages 128 to 131.
  proxy->Clear();
  std::vector<std::uint8_t> extended(32);
  ASSERT_EQ(VendorGetDevStatus(kLow, kHigh, 128, 32, extended.data()), 0u);
  EXPECT_EQ(proxy->Texts(),
            (std::vector<std::string>{"C0 07 v=0080 i=0000 n=8", "C0 07 v=0081 i=0000 n=8",
                                      "C0 07 v=0082 i=0000 n=8", "C0 07 v=0083 i=0000 n=8"}));
}

TEST_P(VendorFunctions, StatusFailuresStopAtTheFailingPage) {
  struct Case {
    const char* name;
    std::uint32_t count;
    std::vector<ProxyAnswer> answers;
    std::uint32_t result;
    std::size_t requests;
  };
  const Case cases[] = {
      {"not ready on page 2",
       104,
       {ProxyAnswer::Data({}), ProxyAnswer::Data({}), ProxyAnswer::Error(21)},
       21,
       3},
      {"short full page", 16, {ProxyAnswer::Short(7)}, 0x80004005, 1},
      {"last page shorter than the rest",
       10,
       {ProxyAnswer::Data({}), ProxyAnswer::Short(1)},
       0x80004005,
       2},
      {"last page as long as the rest", 10, {ProxyAnswer::Data({}), ProxyAnswer::Short(2)}, 0, 2},
      {"stall", 8, {ProxyAnswer::Stall()}, platform::kErrorGenFailure, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    proxy->Clear();
    for (const ProxyAnswer& a : c.answers) proxy->Queue(a);
    std::vector<std::uint8_t> buffer(c.count);
    EXPECT_EQ(VendorGetDevStatus(kLow, kHigh, 0, c.count, buffer.data()), c.result);
    EXPECT_EQ(proxy->urbs().size(), c.requests);
  }
}

TEST_P(VendorFunctions, MemoryAtSixteenBitAddresses) {
  proxy->Queue(ProxyAnswer::Data({0x11, 0x70}));
  std::uint8_t chip[2] = {};
  ASSERT_EQ(VendorReadMem(kLow, kHigh, 0xFE21, 2, chip), 0u);
  EXPECT_EQ(chip[0], 0x11);
  EXPECT_EQ(chip[1], 0x70);
  const std::uint8_t one = 1;
  ASSERT_EQ(VendorWriteMem(kLow, kHigh, 0xFF92, 1, &one), 0u);
  auto urbs = proxy->urbs();
  ASSERT_EQ(urbs.size(), 2u);
  EXPECT_EQ(urbs[0].Text(), "C0 25 v=0000 i=FE21 n=2");
  EXPECT_EQ(urbs[0].transferFlags, 1u);
  EXPECT_EQ(urbs[1].Text(), "40 24 v=0000 i=FF92 n=1");
  EXPECT_EQ(urbs[1].transferFlags, 0u);
  EXPECT_EQ(urbs[1].outData, std::vector<std::uint8_t>{1});

  // What the requests cannot address is refused without a request.
  proxy->Clear();
  EXPECT_EQ(VendorReadMem(kLow, kHigh, 0x10000, 2, chip), platform::kErrorInvalidParameter);
  EXPECT_EQ(VendorWriteMem(kLow, kHigh, 0, 0x10000, &one), platform::kErrorInvalidParameter);
  EXPECT_TRUE(proxy->calls().empty());

  proxy->Queue(ProxyAnswer::Error(1167));
  EXPECT_EQ(VendorReadMem(kLow, kHigh, 0xFE21, 2, chip), 1167u);
}

}  // namespace
}  // namespace vantor
