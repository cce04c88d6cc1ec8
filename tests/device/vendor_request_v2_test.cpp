// The vendor-request transport over the scripted proxy: every operation's requests as the
// proxy decodes them (both kernel layouts), chunking at 4096 bytes through the interface,
// the status pages, the erase time-out, and the failure codes.
#include "device/vendor_request_v2.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "device/cam_dev_record.h"
#include "platform/clock.h"
#include "sim/virtual_clock.h"
#include "support/debug_capture.h"
#include "support/scripted_proxy.h"

namespace vantor {
namespace {

using test::DecodedUrb;
using test::Hex;
using test::ProxyAnswer;
using test::ScopedScriptedProxy;
using test::WireLayout;
using Texts = std::vector<std::string>;

constexpr std::uint32_t kLow = 0x8A000030;
constexpr std::uint32_t kHigh = 0xFFFFC601;

void KeepProgress(void* ctx, std::uint32_t bytes) {
  static_cast<std::vector<std::uint32_t>*>(ctx)->push_back(bytes);
}

class VendorRequestV2 : public ::testing::TestWithParam<WireLayout> {
 protected:
  VendorRequestV2() {
    record.hKvProxyDevLow = kLow;
    record.hKvProxyDevHigh = kHigh;
  }
  sim::ScopedVirtualClock clock;
  ScopedScriptedProxy proxy{GetParam()};
  CamDevRecord record;
  CVendorRequestV2 v2{&record};
};

INSTANTIATE_TEST_SUITE_P(Layouts, VendorRequestV2,
                         ::testing::Values(WireLayout::k64, WireLayout::k32),
                         test::WireLayoutTestName());

// Every operation that sends something: its requests, and the data it sends.
TEST_P(VendorRequestV2, EveryOperationSendsItsRequests) {
  std::vector<std::uint8_t> in(64);
  const std::vector<std::uint8_t> out = Hex("11 22 33 44");
  std::uint8_t* b = in.data();
  const std::uint8_t* o = out.data();
  std::uint16_t value = 0;
  struct Case {
    Case(const char* n, std::function<HResult()> c, Texts r, std::vector<std::uint8_t> s = {})
        : name(n), call(std::move(c)), requests(std::move(r)), sent(std::move(s)) {}
    const char* name;
    std::function<HResult()> call;
    Texts requests;
    std::vector<std::uint8_t> sent;  // data of the last request, when it sends any
  };
  const Case cases[] = {
      {"GetDevStatus",
       [&] { return v2.GetDevStatus(0, b, 16); },
       {"C0 07 v=0000 i=0000 n=8", "C0 07 v=0001 i=0000 n=8"}},
      {"ResetToUpdateFW", [&] { return v2.ResetToUpdateFW(0x1234); }, {"40 20 v=0034 i=0000 n=0"}},
      {"ResetToNewCode", [&] { return v2.ResetToNewCode(5); }, {"40 21 v=0005 i=0000 n=0"}},
      {"ResetToRom", [&] { return v2.ResetToRom(); }, {"40 22 v=0000 i=0000 n=0"}},
      {"ReadIMem",
       [&] { return v2.ReadIMem(0x1234, 20, b, nullptr, nullptr); },
       {"C0 23 v=0000 i=1234 n=20"}},
      {"ReadMem",
       [&] { return v2.ReadMem(0x56789, 16, b, nullptr, nullptr); },
       {"C0 25 v=0500 i=6789 n=16"}},
      {"WriteMem",
       [&] { return v2.WriteMem(0x10, 4, o, nullptr, nullptr); },
       {"40 24 v=0000 i=0010 n=4"},
       out},
      {"ReadCode",
       [&] { return v2.ReadCode(0x20000, 1, b, nullptr, nullptr); },
       {"C0 26 v=0200 i=0000 n=1"}},
      {"ReadPhy", [&] { return v2.ReadPhy(0x40, 3, b); }, {"C0 27 v=0000 i=0040 n=3"}},
      {"WritePhy", [&] { return v2.WritePhy(0x40, 4, o); }, {"40 28 v=0000 i=0040 n=4"}, out},
      {"NorFlash_Erase", [&] { return v2.NorFlash_Erase(); }, {"40 29 v=0000 i=0000 n=0"}},
      {"NorFlash_Read",
       [&] { return v2.NorFlash_Read(0x100, 8, b, nullptr, nullptr); },
       {"C0 2B v=0000 i=0100 n=8"}},
      {"NorFlash_Write",
       [&] { return v2.NorFlash_Write(0x100, 4, o, nullptr, nullptr); },
       {"40 2A v=0000 i=0100 n=4"},
       out},
      {"NorFlash_WriteTag", [&] { return v2.NorFlash_WriteTag(); }, {"40 2C v=0000 i=0000 n=0"}},
      {"SPI_SF_ReadID", [&] { return v2.SPI_SF_ReadID(b); }, {"C0 2D v=0000 i=0000 n=8"}},
      {"SPI_SF_Read",
       [&] { return v2.SPI_SF_Read(0x0003F000, 16, b, 0x0B, nullptr, nullptr); },
       {"C0 2E v=030B i=F000 n=16"}},
      {"SPI_SF_Write",
       [&] { return v2.SPI_SF_Write(0x12345, 4, o, nullptr, nullptr); },
       {"40 2F v=0100 i=2345 n=4"},
       out},
      {"SPI_SF_ReadSr", [&] { return v2.SPI_SF_ReadSr(b); }, {"C0 30 v=0000 i=0000 n=1"}},
      {"SPI_SF_WriteSr",
       [&] { return v2.SPI_SF_WriteSr(0x1C); },
       {"40 31 v=0000 i=0000 n=1"},
       {0x1C}},
      {"SPI_SF_EraseChip", [&] { return v2.SPI_SF_EraseChip(5000); }, {"40 32 v=0000 i=0000 n=0"}},
      {"SPI_SF_EraseSector",
       [&] { return v2.SPI_SF_EraseSector(0x21000, 0x1000); },
       {"40 33 v=0200 i=1000 n=0"}},
      {"SPI_SF_WriteTag", [&] { return v2.SPI_SF_WriteTag(); }, {"40 34 v=0000 i=0000 n=0"}},
      {"I2C_EEP8_Erase",
       [&] { return v2.I2C_EEP8_Erase(5); },
       {"40 36 v=0000 i=0000 n=5"},
       Hex("FF FF FF FF FF")},
      {"I2C_EEP8_Read",
       [&] { return v2.I2C_EEP8_Read(0x10, 4, b, nullptr, nullptr); },
       {"C0 35 v=0000 i=0010 n=4"}},
      {"I2C_EEP8_Write",
       [&] { return v2.I2C_EEP8_Write(0x10, 4, o, nullptr, nullptr); },
       {"40 36 v=0000 i=0010 n=4"},
       out},
      {"I2C_EEP8_WriteTag",
       [&] { return v2.I2C_EEP8_WriteTag(); },
       {"40 36 v=0000 i=0001 n=1"},
       {0xA5}},
      {"I2C_EEP16_Erase",
       [&] { return v2.I2C_EEP16_Erase(3); },
       {"40 38 v=0000 i=0000 n=3"},
       Hex("FF FF FF")},
      {"I2C_EEP16_Read",
       [&] { return v2.I2C_EEP16_Read(0x8000, 4, b, nullptr, nullptr); },
       {"C0 37 v=0000 i=8000 n=4"}},
      {"I2C_EEP16_Write",
       [&] { return v2.I2C_EEP16_Write(0x8000, 4, o, nullptr, nullptr); },
       {"40 38 v=0000 i=8000 n=4"},
       out},
      {"I2C_EEP16_WriteTag",
       [&] { return v2.I2C_EEP16_WriteTag(); },
       {"40 38 v=0000 i=0001 n=1"},
       {0xA5}},
      {"Aux_Erase", [&] { return v2.Aux_Erase(2); }, {"40 3A v=0003 i=0000 n=2"}, Hex("FF FF")},
      {"Aux_Read",
       [&] { return v2.Aux_Read(0x10, 4, b, 5, nullptr, nullptr); },
       {"C0 39 v=0000 i=0010 n=4"}},
      {"Aux_Write",
       [&] { return v2.Aux_Write(0x10, 4, o, 5, nullptr, nullptr); },
       {"40 3A v=0005 i=0010 n=4"},
       out},
      {"Aux_WriteTag", [&] { return v2.Aux_WriteTag(); }, {"40 3A v=0003 i=0001 n=1"}, {0xA5}},
      {"I2CRead register",
       [&] { return v2.I2CRead(2u, 0x1234u, &value); },
       {"C0 50 v=0000 i=1234 n=2"}},
      {"I2CWrite register",
       [&] { return v2.I2CWrite(2u, 0x12u, static_cast<std::uint16_t>(0xABCD)); },
       {"40 51 v=0000 i=0012 n=2"},
       Hex("CD AB")},
      {"I2CGenRead", [&] { return v2.I2CGenRead(0x50, 4, b); }, {"C0 3D v=0000 i=0050 n=4"}},
      {"I2CGenWrite", [&] { return v2.I2CGenWrite(0x50, 4, o); }, {"40 3E v=0000 i=0050 n=4"}, out},
      {"I2CRandomRead", [&] { return v2.I2CRandomRead(0x51, 4, b); }, {"C0 59 v=0000 i=0051 n=4"}},
      {"I2CRandomWrite",
       [&] { return v2.I2CRandomWrite(0x51, 4, o); },
       {"40 58 v=0000 i=0051 n=4"},
       out},
      {"slot 61", [&] { return v2.ReadPingByte(b); }, {"C0 06 v=0000 i=0000 n=1"}},
      {"slot 62", [&] { return v2.SendRequest10(0x1FF); }, {"40 10 v=00FF i=0000 n=0"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    proxy->Clear();
    EXPECT_EQ(c.call(), kSOk);
    EXPECT_EQ(proxy->Texts(), c.requests);
    auto calls = proxy->calls();
    for (const auto& call : calls) {
      ASSERT_TRUE(call.urb.has_value());
      EXPECT_EQ(call.urb->function, 0x0017);
      // The direction of the data stage is the request type's.
      EXPECT_EQ(call.urb->transferFlags, (call.urb->requestType() & 0x80) != 0 ? 1u : 0u);
      EXPECT_EQ(call.record.deviceLow, kLow);
      EXPECT_EQ(call.record.deviceHigh, kHigh);
      EXPECT_EQ(call.record.timeoutMs, 5000u);
    }
    if (!c.sent.empty() && !calls.empty()) {
      EXPECT_EQ(calls.back().urb->outData, c.sent);
    }
  }
}

TEST_P(VendorRequestV2, OperationsWithoutAVendorRequestSendNothing) {
  std::uint8_t buf[8] = {};
  const std::function<HResult()> calls[] = {
      [&] { return v2.I2CRead(std::uint8_t{0x50}, 1, buf); },
      [&] { return v2.I2CWrite(std::uint8_t{0x50}, 1, buf); },
      [&] { return v2.Reserved38(0, 0, 0); },
      [&] { return v2.Reserved39(0, 0, 0); },
      [&] { return v2.Reserved40(0); },
      [&] { return v2.Reserved47(0); },
      [&] { return v2.I2CSuperRead(0x50, 1, buf); },
      [&] { return v2.I2CSuperWrite(0x50, 1, buf); },
      [&] { return v2.I2CLongRead(0x50, 0, 1, buf, 0, 0); },
      [&] { return v2.I2CLongWrite(0x50, 0, 0, 1, buf, 0, 0); },
      [&] { return v2.OTP_Write(0, 1, 0, buf, 0, 0); },
      [&] { return v2.OTP_Read(0, 1, buf, 0, 0); },
      [&] { return v2.OTP_BlankCheck(0, 1, buf, 0, 0); },
      [&] { return v2.OTP_AllBlankCheck(0, 1, buf, 0, 0); },
      [&] { return v2.OTP_ReadProgramFailAdr(1, buf); },
  };
  for (const auto& call : calls) EXPECT_EQ(call(), kENotImpl);
  EXPECT_TRUE(proxy->calls().empty());
}

TEST_P(VendorRequestV2, LongTransfersGoInRequestsOf4096) {
  // Each read request answers its wIndex's high byte in every byte.
  proxy->SetResponder([](const DecodedUrb& urb) {
    return ProxyAnswer::Data(std::vector<std::uint8_t>(
        urb.transferBufferLength, static_cast<std::uint8_t>(urb.wIndex() >> 8)));
  });
  std::vector<std::uint8_t> buf(10000);
  std::vector<std::uint32_t> progress;
  ASSERT_EQ(v2.ReadMem(0x1000, 10000, buf.data(), KeepProgress, &progress), kSOk);
  EXPECT_EQ(proxy->Texts(), (Texts{"C0 25 v=0000 i=1000 n=4096", "C0 25 v=0000 i=2000 n=4096",
                                   "C0 25 v=0000 i=3000 n=1808"}));
  EXPECT_EQ(progress, (std::vector<std::uint32_t>{4096, 4096, 1808}));
  EXPECT_EQ(buf[0], 0x10);
  EXPECT_EQ(buf[4096], 0x20);
  EXPECT_EQ(buf[9999], 0x30);

  struct Case {
    std::uint32_t length;
    Texts requests;
  };
  const Case cases[] = {
      {4096, {"40 2F v=0000 i=F000 n=4096"}},
      // The second piece starts at 0x10000: address bit 16 goes into wValue bit 8.
      {4097, {"40 2F v=0000 i=F000 n=4096", "40 2F v=0100 i=0000 n=1"}},
      {0, {}},
  };
  const std::vector<std::uint8_t> data(4097, 0x5A);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    proxy->Clear();
    EXPECT_EQ(v2.SPI_SF_Write(0xF000, c.length, data.data(), nullptr, nullptr), kSOk);
    EXPECT_EQ(proxy->Texts(), c.requests);
  }
  // The EEPROM erase writes its 0xFF bytes the same way.
  proxy->Clear();
  ASSERT_EQ(v2.I2C_EEP8_Erase(10000), kSOk);
  EXPECT_EQ(proxy->Texts(), (Texts{"40 36 v=0000 i=0000 n=4096", "40 36 v=0000 i=1000 n=4096",
                                   "40 36 v=0000 i=2000 n=1808"}));
  EXPECT_EQ(proxy->urbs()[2].outData, std::vector<std::uint8_t>(1808, 0xFF));
}

// A transport built on this one sees every piece: the pieces go through the interface.
class PieceCounter : public CVendorRequestV2 {
 public:
  using CVendorRequestV2::CVendorRequestV2;
  HResult ReadMem(std::uint32_t addr, std::uint32_t len, std::uint8_t* buf, ProgressFn fn,
                  void* ctx) override {
    seen.push_back({addr, len});
    return CVendorRequestV2::ReadMem(addr, len, buf, fn, ctx);
  }
  std::vector<std::pair<std::uint32_t, std::uint32_t>> seen;
};

TEST_P(VendorRequestV2, PiecesGoThroughTheInterface) {
  PieceCounter counter(&record);
  std::vector<std::uint8_t> buf(9000);
  ASSERT_EQ(counter.ReadMem(0, 9000, buf.data(), nullptr, nullptr), kSOk);
  EXPECT_EQ(counter.seen, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{
                              {0, 9000}, {0, 4096}, {4096, 4096}}));
  EXPECT_EQ(proxy->Texts().back(), "C0 25 v=0000 i=2000 n=808");
}

TEST_P(VendorRequestV2, FailuresStopAtTheFailingRequestWithTheirCode) {
  test::DebugCapture trace;
  struct Case {
    const char* name;
    ProxyAnswer answer;
    HResult code;
    const char* text;
  };
  const Case cases[] = {
      {"device gone", ProxyAnswer::Error(1167), kEDeviceNotConnected,
       "CVendorRequestV2 SendRequest failed: 8007048f"},
      {"not ready", ProxyAnswer::Error(21), static_cast<HResult>(0x80070015),
       "CVendorRequestV2 SendRequest failed: 80070015"},
      {"stall", ProxyAnswer::Stall(), static_cast<HResult>(0x8007001F),
       "CVendorRequestV2 SendRequest failed: 8007001f"},
      {"short data stage", ProxyAnswer::Short(4000), static_cast<HResult>(0x8007000D),
       "CVendorRequestV2 SendRequest failed: 8007000d"},
  };
  const std::vector<std::uint8_t> data(10000, 0x5A);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    proxy->Clear();
    trace.Clear();
    proxy->Queue(ProxyAnswer::Data({}));
    proxy->Queue(c.answer);
    std::vector<std::uint32_t> progress;
    EXPECT_EQ(v2.WriteMem(0, 10000, data.data(), KeepProgress, &progress), c.code);
    EXPECT_EQ(proxy->urbs().size(), 2u);
    EXPECT_EQ(progress, std::vector<std::uint32_t>{4096});
    EXPECT_TRUE(trace.Contains(c.text)) << trace.All();
  }
  // Without a device record nothing can be addressed.
  CVendorRequestV2 orphan(nullptr);
  EXPECT_EQ(orphan.ResetToRom(), static_cast<HResult>(0x80070006));
}

TEST_P(VendorRequestV2, StatusPages) {
  proxy->SetResponder([](const DecodedUrb& urb) {
    std::vector<std::uint8_t> page(8);
    for (int i = 0; i < 8; ++i) page[i] = static_cast<std::uint8_t>(urb.wValue() * 8 + i);
    return ProxyAnswer::Data(page);
  });
  std::vector<std::uint8_t> buf(11, 0xEE);
  ASSERT_EQ(v2.GetDevStatus(0, buf.data(), 10), kSOk);
  EXPECT_EQ(buf, Hex("00 01 02 03 04 05 06 07 08 09 EE"));
  EXPECT_EQ(proxy->Texts(), (Texts{"C0 07 v=0000 i=0000 n=8", "C0 07 v=0001 i=0000 n=8"}));

  proxy->Clear();
  std::vector<std::uint8_t> status(104);
  ASSERT_EQ(v2.GetDevStatus(0, status.data(), 104), kSOk);
  EXPECT_EQ(proxy->urbs().size(), 13u);
  EXPECT_EQ(status[103], 103);

  proxy->Clear();
  std::vector<std::uint8_t> extended(32);
  ASSERT_EQ(v2.GetDevStatus(128, extended.data(), 32), kSOk);
  EXPECT_EQ(proxy->Texts(), (Texts{"C0 07 v=0080 i=0000 n=8", "C0 07 v=0081 i=0000 n=8",
                                   "C0 07 v=0082 i=0000 n=8", "C0 07 v=0083 i=0000 n=8"}));
  EXPECT_EQ(extended[0], static_cast<std::uint8_t>(128 * 8));

  // A failed page ends the read with its code.
  proxy->Clear();
  proxy->Queue(ProxyAnswer::Data({}));
  proxy->Queue(ProxyAnswer::Error(21));
  EXPECT_EQ(v2.GetDevStatus(0, status.data(), 104), static_cast<HResult>(0x80070015));
  EXPECT_EQ(proxy->urbs().size(), 2u);
}

TEST_P(VendorRequestV2, EraseChipWaitsUpToItsTimeOut) {
  proxy->Queue(ProxyAnswer::Timeout());
  const std::uint64_t before = platform::GetClock().NowMs();
  EXPECT_EQ(v2.SPI_SF_EraseChip(60000), static_cast<HResult>(0x80070079));
  EXPECT_EQ(platform::GetClock().NowMs() - before, 60000u);
  EXPECT_EQ(proxy->calls()[0].record.timeoutMs, 60000u);
  // The erase descriptor is shared: it keeps the last time-out asked for.
  EXPECT_EQ(CVendorRequestV2::EraseChipTimeoutMs(), 60000u);
  CVendorRequestV2 other(&record);
  EXPECT_EQ(other.SPI_SF_EraseChip(30000), kSOk);
  EXPECT_EQ(CVendorRequestV2::EraseChipTimeoutMs(), 30000u);
  EXPECT_EQ(proxy->calls()[1].record.timeoutMs, 30000u);
  // Other requests keep 5000 ms.
  EXPECT_EQ(v2.SPI_SF_WriteTag(), kSOk);
  EXPECT_EQ(proxy->calls()[2].record.timeoutMs, 5000u);
}

TEST_P(VendorRequestV2, I2CRegisterWidths) {
  struct Case {
    std::uint32_t width;
    std::uint16_t written;
    std::vector<std::uint8_t> sent;
    std::uint16_t read;
  };
  const Case cases[] = {{1, 0x1234, Hex("34 00"), 0x0034}, {2, 0x1234, Hex("34 12"), 0x1234}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.width);
    proxy->Clear();
    ASSERT_EQ(v2.I2CWrite(c.width, 0x20u, c.written), kSOk);
    EXPECT_EQ(proxy->urbs()[0].outData, c.sent);
    proxy->Queue(ProxyAnswer::Data(Hex("34 12")));
    std::uint16_t value = 0xFFFF;
    ASSERT_EQ(v2.I2CRead(c.width, 0x20u, &value), kSOk);
    EXPECT_EQ(value, c.read);
  }
}

TEST_P(VendorRequestV2, ArgumentsTheRequestsCannotCarryAreRefused) {
  std::vector<std::uint8_t> buf(0x200);
  struct Case {
    const char* name;
    std::function<HResult()> call;
  };
  const Case cases[] = {
      {"misaligned sector", [&] { return v2.SPI_SF_EraseSector(0x1001, 0x1000); }},
      {"sector size 0", [&] { return v2.SPI_SF_EraseSector(0, 0); }},
      // The requests carry 20 address bits: nothing beyond 1 MiB, not even in part.
      {"past 1 MiB", [&] { return v2.SPI_SF_Read(0x100000, 1, buf.data(), 3, nullptr, nullptr); }},
      {"across 1 MiB", [&] { return v2.ReadMem(0xFFF00, 0x200, buf.data(), nullptr, nullptr); }},
      {"register past 1 MiB", [&] { return v2.I2CRead(2u, 0x100000u, nullptr); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.call(), kEInvalidArg);
  }
  EXPECT_TRUE(proxy->calls().empty());
  // Up to the last byte below 1 MiB is fine.
  EXPECT_EQ(v2.ReadMem(0xFFE00, 0x200, buf.data(), nullptr, nullptr), kSOk);
  EXPECT_EQ(proxy->Texts(), Texts{"C0 25 v=0F00 i=FE00 n=512"});
}

}  // namespace
}  // namespace vantor
