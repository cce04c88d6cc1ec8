// The extension-unit transport over the scripted proxy: its primitives as class requests
// (both kernel layouts), ChangeDataControlSize, commands of the command-block base run
// end to end to URB bytes, and the object-free functions with their failure path.
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "device/cam_dev_record.h"
#include "device/ext_unit.h"
#include "device/ext_unit_functions.h"
#include "platform/last_error.h"
#include "platform/named_mutex.h"
#include "sim/virtual_clock.h"
#include "support/cmd_recorder.h"
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

constexpr std::uint32_t kLow = 0x8A000040;
constexpr std::uint32_t kHigh = 0xFFFFC601;

// Requests to unit 6 on interface 2.
constexpr const char* kSetCmd = "21 01 v=0A00 i=0602 n=8";
constexpr const char* kGetStatus = "A1 81 v=0A00 i=0602 n=8";
constexpr const char* kGetData8 = "A1 81 v=0B00 i=0602 n=8";
constexpr const char* kSetData8 = "21 01 v=0B00 i=0602 n=8";
constexpr const char* kGetLen = "A1 85 v=0B00 i=0602 n=2";

// Holds a named mutex on another thread while the object lives.
class OtherThreadHolds {
 public:
  explicit OtherThreadHolds(const std::wstring& name) {
    std::promise<void> held;
    std::future<void> heldFuture = held.get_future();
    thread_ = std::thread([this, name, &held] {
      auto mutex = platform::CreateNamedMutex(name);
      mutex->Wait(0);
      held.set_value();
      release_.get_future().wait();
      mutex->Release();
    });
    heldFuture.wait();
  }
  ~OtherThreadHolds() {
    release_.set_value();
    thread_.join();
  }

 private:
  std::promise<void> release_;
  std::thread thread_;
};

class ExtUnitTransport : public ::testing::TestWithParam<WireLayout> {
 protected:
  ExtUnitTransport() {
    record.hKvProxyDevLow = kLow;
    record.hKvProxyDevHigh = kHigh;
    record.interfaceNumber = 2;
  }
  ~ExtUnitTransport() override { platform::RemoveNamedMutex(lockName); }

  // The blocks sent on the command control, as hex text.
  std::vector<std::vector<std::uint8_t>> Blocks() {
    std::vector<std::vector<std::uint8_t>> out;
    for (const DecodedUrb& u : proxy->urbs()) {
      if (u.Text() == kSetCmd) out.push_back(u.outData);
    }
    return out;
  }

  // Data reads (GET_CUR on the data control) answer these, in order; every other
  // request succeeds.
  void ServeReads(std::vector<std::vector<std::uint8_t>> reads) {
    auto queue =
        std::make_shared<std::deque<std::vector<std::uint8_t>>>(reads.begin(), reads.end());
    proxy->SetResponder([queue](const DecodedUrb& u) {
      if (u.Text().rfind("A1 81 v=0B00", 0) != 0 || queue->empty()) return ProxyAnswer::Data({});
      ProxyAnswer answer = ProxyAnswer::Data(queue->front());
      queue->pop_front();
      return answer;
    });
  }

  sim::ScopedVirtualClock clock;
  ScopedScriptedProxy proxy{GetParam()};
  CamDevRecord record;
  std::wstring lockName = test::UniqueLockName("xu");
  CExtUnit xu{&record, 6, lockName, 50};
};

INSTANTIATE_TEST_SUITE_P(Layouts, ExtUnitTransport,
                         ::testing::Values(WireLayout::k64, WireLayout::k32),
                         test::WireLayoutTestName());

TEST_P(ExtUnitTransport, PrimitivesAreClassRequestsToTheUnit) {
  std::uint8_t buf[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_EQ(xu.SetCmd(cmd::kSpiRead, 0x3456, 0x0100, 0x0012), kSOk);
  ASSERT_EQ(xu.SetCmd(cmd::kReadMem, 0x1234, 20), kSOk);
  ASSERT_EQ(xu.SetCmd(cmd::kResetToUpdateFW, 5), kSOk);
  ASSERT_EQ(xu.SetCmd(cmd::kResetToRom), kSOk);
  ASSERT_EQ(xu.SetData(buf), kSOk);
  proxy->Queue(ProxyAnswer::Data(Hex("07 C2 00 00 00 00 00 00")));
  ASSERT_EQ(xu.GetCmdStatus(buf), kSOk);
  EXPECT_EQ(buf[0], 0x07);
  proxy->Queue(ProxyAnswer::Data(Hex("A0 A1 A2 A3 A4 A5 A6 A7")));
  ASSERT_EQ(xu.GetData(buf), kSOk);
  EXPECT_EQ(buf[7], 0xA7);

  EXPECT_EQ(proxy->Texts(),
            (Texts{kSetCmd, kSetCmd, kSetCmd, kSetCmd, kSetData8, kGetStatus, kGetData8}));
  auto urbs = proxy->urbs();
  EXPECT_EQ(urbs[0].outData, Hex("02 C2 56 34 00 01 12 00"));
  EXPECT_EQ(urbs[1].outData, Hex("00 C2 34 12 14 00 00 00"));
  EXPECT_EQ(urbs[2].outData, Hex("00 07 05 00 00 00 00 00"));
  EXPECT_EQ(urbs[3].outData, Hex("00 09 00 00 00 00 00 00"));
  EXPECT_EQ(urbs[4].outData, Hex("01 02 03 04 05 06 07 08"));
  for (const DecodedUrb& u : urbs) {
    EXPECT_EQ(u.function, 0x001B);
    EXPECT_EQ(u.transferFlags, u.requestType() == 0xA1 ? 1u : 0u);
  }
  for (const auto& call : proxy->calls()) {
    EXPECT_EQ(call.record.timeoutMs, 5000u);
    EXPECT_EQ(call.record.deviceLow, kLow);
  }
}

TEST_P(ExtUnitTransport, PrimitiveFailuresTraceThePlatformError) {
  test::DebugCapture trace;
  std::uint8_t buf[8] = {};
  struct Case {
    const char* name;
    std::function<HResult()> call;
    ProxyAnswer answer;
    HResult code;
    const char* text;
  };
  const Case cases[] = {
      {"SetCmd", [&] { return xu.SetCmd(cmd::kResetToRom); }, ProxyAnswer::Error(1167),
       kEDeviceNotConnected, "SetCmd failed 1167\r\n"},
      {"GetCmdStatus", [&] { return xu.GetCmdStatus(buf); }, ProxyAnswer::Stall(),
       static_cast<HResult>(0x8007001F), "GetCmdStatus failed 31\r\n"},
      {"GetData", [&] { return xu.GetData(buf); }, ProxyAnswer::Error(21),
       static_cast<HResult>(0x80070015), "GetData failed 21\r\n"},
      {"SetData", [&] { return xu.SetData(buf); }, ProxyAnswer::Timeout(),
       static_cast<HResult>(0x80070079), "SetData failed 121\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    trace.Clear();
    proxy->Queue(c.answer);
    EXPECT_EQ(c.call(), c.code);
    EXPECT_EQ(trace.All(), c.text);
  }
  // Without a device record there is nothing to address.
  CExtUnit orphan(nullptr, 6, lockName, 50);
  EXPECT_EQ(orphan.SetCmd(cmd::kResetToRom), static_cast<HResult>(0x80070006));
}

// A transfer that moved fewer bytes than asked is a failed one, as on the vendor-request
// path: a short read would leave stale bytes in the caller's buffer.
TEST_P(ExtUnitTransport, ShortTransfersFail) {
  test::DebugCapture trace;
  std::uint8_t buf[8] = {};
  constexpr HResult kInvalidData = static_cast<HResult>(0x8007000D);
  struct Case {
    const char* name;
    std::function<HResult()> call;
    std::uint32_t moved;
    const char* text;
  };
  const Case cases[] = {
      {"GetData", [&] { return xu.GetData(buf); }, 5, "GetData failed 13\r\n"},
      {"GetCmdStatus", [&] { return xu.GetCmdStatus(buf); }, 0, "GetCmdStatus failed 13\r\n"},
      {"SetData", [&] { return xu.SetData(buf); }, 7, "SetData failed 13\r\n"},
      {"SetCmd", [&] { return xu.SetCmd(cmd::kResetToRom); }, 4, "SetCmd failed 13\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    trace.Clear();
    proxy->Queue(ProxyAnswer::Short(c.moved, Hex("A0 A1 A2 A3 A4 A5 A6 A7")));
    EXPECT_EQ(c.call(), kInvalidData);
    EXPECT_EQ(trace.All(), c.text);
  }

  // In a command: the read fails at the short transfer and is explained by the status.
  proxy->Clear();
  trace.Clear();
  proxy->Queue(ProxyAnswer::Data({}));                                  // command
  proxy->Queue(ProxyAnswer::Data(Hex("00 01 02 03 04 05 06 07")));      // bytes 0..7
  proxy->Queue(ProxyAnswer::Short(3, Hex("08 09 0A 0B 0C 0D 0E 0F")));  // bytes 8..15
  std::vector<std::uint8_t> out(16, 0xEE);
  EXPECT_EQ(xu.ReadMem(0x1000, 16, out.data(), nullptr, nullptr), kInvalidData);
  EXPECT_EQ(proxy->Texts(), (Texts{kSetCmd, kGetData8, kGetData8, kGetStatus, kSetCmd}));
  EXPECT_TRUE(trace.Contains("ReadMem GetData 0x1008")) << trace.All();
}

TEST_P(ExtUnitTransport, ChangeDataControlSize) {
  test::DebugCapture trace;
  struct Case {
    const char* name;
    std::uint16_t before;  // data control size set up first (8: none)
    std::uint16_t asked;
    std::vector<ProxyAnswer> answers;
    bool result;
    std::uint16_t size;  // in/out size and data control size afterwards
    Texts requests;
  };
  const Case cases[] = {
      {"current size", 8, 8, {}, true, 8, {}},
      {"taken",
       8,
       512,
       {ProxyAnswer::Data({}), ProxyAnswer::Data(Hex("00 02"))},
       true,
       512,
       {kSetCmd, kGetLen}},
      {"device answers another size",
       8,
       512,
       {ProxyAnswer::Data({}), ProxyAnswer::Data(Hex("40 00"))},
       false,
       64,
       {kSetCmd, kGetLen}},
      {"command fails", 8, 512, {ProxyAnswer::Stall()}, false, 8, {kSetCmd, kGetStatus, kSetCmd}},
      {"length unreadable",
       8,
       512,
       {ProxyAnswer::Data({}), ProxyAnswer::Error(21)},
       false,
       8,
       {kSetCmd, kGetLen, kGetStatus, kSetCmd}},
      {"device answers more than the buffer",
       8,
       512,
       {ProxyAnswer::Data({}), ProxyAnswer::Data(Hex("00 08"))},
       false,
       8,
       {kSetCmd, kGetLen}},
      {"larger than the data buffer", 8, 2048, {}, false, 8, {}},
      {"zero", 8, 0, {}, false, 8, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CExtUnit unit(&record, 6, lockName, 50);
    proxy->Clear();
    trace.Clear();
    for (const ProxyAnswer& a : c.answers) proxy->Queue(a);
    std::uint16_t size = c.asked;
    EXPECT_EQ(unit.ChangeDataControlSize(&size), c.result);
    EXPECT_EQ(size, c.size);
    EXPECT_EQ(unit.DataControlSize(), c.size);
    EXPECT_EQ(proxy->Texts(), c.requests);
  }
  // The command is 00 16 with the size in p2; a failure is reported under its label.
  proxy->Clear();
  trace.Clear();
  proxy->Queue(ProxyAnswer::Stall());
  proxy->Queue(ProxyAnswer::Data(Hex("06 16 00 00 00 00 00 00")));
  std::uint16_t size = 512;
  EXPECT_FALSE(xu.ChangeDataControlSize(&size));
  EXPECT_EQ(Blocks(), (std::vector<std::vector<std::uint8_t>>{Hex("00 16 00 00 00 02 00 00"),
                                                              Hex("FF 00 00 00 00 00 00 00")}));
  EXPECT_TRUE(trace.Contains("ChangeDataControlSize SetCmd error 8007001f, VCMD_STS_UNKNOWN_SCMD"))
      << trace.All();

  // Once taken, data transfers move the new size.
  proxy->Clear();
  proxy->Queue(ProxyAnswer::Data({}));
  proxy->Queue(ProxyAnswer::Data(Hex("00 02")));
  size = 512;
  ASSERT_TRUE(xu.ChangeDataControlSize(&size));
  std::vector<std::uint8_t> buf(512);
  ASSERT_EQ(xu.GetData(buf.data()), kSOk);
  EXPECT_EQ(proxy->Texts().back(), "A1 81 v=0B00 i=0602 n=512");
}

TEST_P(ExtUnitTransport, ChangeDataControlSizeWithoutTheLockChangesNothing) {
  OtherThreadHolds holder(lockName);
  test::DebugCapture trace;
  std::uint16_t size = 512;
  EXPECT_FALSE(xu.ChangeDataControlSize(&size));
  EXPECT_EQ(size, 8);
  EXPECT_EQ(xu.DataControlSize(), 8u);
  EXPECT_TRUE(proxy->calls().empty());
  EXPECT_TRUE(trace.Contains("CExtUnit::ChangeDataControlSize wait time out"));
}

// Commands of the command-block base, end to end: the URBs the proxy receives.
TEST_P(ExtUnitTransport, CommandsEndToEnd) {
  std::vector<std::uint8_t> buf(32, 0xEE);
  const std::vector<std::uint8_t> out = Hex("00 01 02 03 04 05 06 07 08 09 0A 0B 0C");
  std::uint16_t value = 0;
  struct Case {
    const char* name;
    std::function<HResult()> call;
    std::vector<std::vector<std::uint8_t>> answers;  // data reads, in order
    Texts requests;
    std::vector<std::uint8_t> block;  // the command block
    std::vector<std::uint8_t> sent;   // all data written, in order
  };
  const Case cases[] = {
      // The example of the transport: 20 bytes at 0x1234 in transfers of 8.
      {"ReadMem",
       [&] { return xu.ReadMem(0x1234, 20, buf.data(), nullptr, nullptr); },
       {Hex("10 11 12 13 14 15 16 17"), Hex("18 19 1A 1B 1C 1D 1E 1F"),
        Hex("20 21 22 23 24 25 26 27")},
       {kSetCmd, kGetData8, kGetData8, kGetData8},
       Hex("00 C2 34 12 14 00 00 00"),
       {}},
      {"WriteMem pads the last transfer",
       [&] { return xu.WriteMem(0x10, 13, out.data(), nullptr, nullptr); },
       {},
       {kSetCmd, kSetData8, kSetData8},
       Hex("00 82 10 00 0D 00 00 00"),
       Hex("00 01 02 03 04 05 06 07 08 09 0A 0B 0C 00 00 00")},
      {"GetDevStatus",
       [&] { return xu.GetDevStatus(0, buf.data(), 10); },
       {Hex("4B 45 53 54 52 41 4C 00"), Hex("AA BB CC DD EE FF 00 11")},
       {kSetCmd, kGetData8, kSetCmd, kGetData8},
       Hex("00 CD 01 00 08 00 00 00"),
       {}},
      {"SPI_SF_Read",
       [&] { return xu.SPI_SF_Read(0x00123456, 16, buf.data(), 0x0B, nullptr, nullptr); },
       {},
       {kSetCmd, kGetData8, kGetData8},
       Hex("02 C2 56 34 10 00 12 00"),
       {}},
      {"SPI_SF_EraseSector",
       [&] { return xu.SPI_SF_EraseSector(0x21000, 0x1000); },
       {},
       {kSetCmd},
       Hex("02 05 00 10 00 00 02 00"),
       {}},
      {"I2CRead register width 1",
       [&] { return xu.I2CRead(1u, 0x34u, &value); },
       {Hex("34 12 00 00 00 00 00 00")},
       {kSetCmd, kGetData8},
       Hex("00 CA 34 00 02 00 00 00"),
       {}},
      {"ResetToUpdateFW",
       [&] { return xu.ResetToUpdateFW(5); },
       {},
       {kSetCmd},
       Hex("00 07 05 00 00 00 00 00"),
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    proxy->Clear();
    ServeReads(c.answers);
    EXPECT_EQ(c.call(), kSOk);
    EXPECT_EQ(proxy->Texts(), c.requests);
    ASSERT_FALSE(Blocks().empty());
    EXPECT_EQ(Blocks().back(), c.block);
    std::vector<std::uint8_t> sent;
    for (const DecodedUrb& u : proxy->urbs()) {
      if (u.Text() == kSetData8) sent.insert(sent.end(), u.outData.begin(), u.outData.end());
    }
    EXPECT_EQ(sent, c.sent);
  }
  // What the reads delivered.
  EXPECT_EQ(value, 0x0034);
  proxy->Clear();
  ServeReads({Hex("10 11 12 13 14 15 16 17"), Hex("18 19 1A 1B 1C 1D 1E 1F"),
              Hex("20 21 22 23 24 25 26 27")});
  std::fill(buf.begin(), buf.end(), 0xEE);
  ASSERT_EQ(xu.ReadMem(0x1234, 20, buf.data(), nullptr, nullptr), kSOk);
  EXPECT_EQ(std::vector<std::uint8_t>(buf.begin(), buf.begin() + 21),
            Hex("10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F 20 21 22 23 EE"));

  // DevQualify wants the signature with its zero byte.
  proxy->Clear();
  proxy->Queue(ProxyAnswer::Data({}));
  proxy->Queue(ProxyAnswer::Data(Hex("4B 45 53 54 52 41 4C 00")));
  EXPECT_TRUE(xu.DevQualify());
  EXPECT_EQ(Blocks().back(), Hex("00 D0 00 00 08 00 00 00"));
  proxy->Queue(ProxyAnswer::Data({}));
  proxy->Queue(ProxyAnswer::Data(Hex("4B 45 53 54 52 41 4C 01")));
  EXPECT_FALSE(xu.DevQualify());
}

TEST_P(ExtUnitTransport, AFailedTransferIsExplainedByTheCommandStatus) {
  test::DebugCapture trace;
  std::vector<std::uint8_t> buf(20);
  proxy->Queue(ProxyAnswer::Data({}));      // command
  proxy->Queue(ProxyAnswer::Data({}));      // first data transfer
  proxy->Queue(ProxyAnswer::Stall());       // second data transfer
  proxy->Queue(ProxyAnswer::Data({0x07}));  // command status: out of range
  EXPECT_EQ(xu.ReadMem(0x1234, 20, buf.data(), nullptr, nullptr), static_cast<HResult>(0x8007001F));
  EXPECT_EQ(proxy->Texts(), (Texts{kSetCmd, kGetData8, kGetData8, kGetStatus, kSetCmd}));
  EXPECT_EQ(Blocks().back(), Hex("FF 00 00 00 00 00 00 00"));
  EXPECT_EQ(xu.GetLastCmdStatus(), 0x07);
  EXPECT_TRUE(trace.Contains("ReadMem GetData 0x123C error 8007001f, VCMD_STS_ERR_OUTRANGE"))
      << trace.All();

  // A device that has gone is not asked for its status.
  proxy->Clear();
  trace.Clear();
  proxy->Queue(ProxyAnswer::Error(1167));
  EXPECT_EQ(xu.ResetToRom(), kEDeviceNotConnected);
  EXPECT_EQ(proxy->Texts(), Texts{kSetCmd});
  EXPECT_TRUE(trace.Contains("ResetToRom SetCmdDevice not connected")) << trace.All();
}

// ---- The object-free functions ----

class ExtUnitFunctions : public ExtUnitTransport {
 protected:
  ExtUnitFunctions() { OpenExtUnitFunctionLock(lockName, 50); }
  ~ExtUnitFunctions() override { CloseExtUnitFunctionLock(); }
};

INSTANTIATE_TEST_SUITE_P(Layouts, ExtUnitFunctions,
                         ::testing::Values(WireLayout::k64, WireLayout::k32),
                         test::WireLayoutTestName());

constexpr const char* kGetData5 = "A1 81 v=0B00 i=0602 n=5";
constexpr const char* kSetData5 = "21 01 v=0B00 i=0602 n=5";

TEST_P(ExtUnitFunctions, RequestsOfEachFunction) {
  std::vector<std::uint8_t> buf(96);
  const std::vector<std::uint8_t> out = Hex("00 01 02 03 04 05 06 07 08 09 0A 0B 0C");
  proxy->Queue(ProxyAnswer::Data({}));
  proxy->Queue(ProxyAnswer::Data(Hex("4B 45 53 54 52 41 4C 00")));
  EXPECT_TRUE(ExtUnit_DevQualify(kLow, kHigh, 6, 2));
  EXPECT_EQ(proxy->Texts(), (Texts{kSetCmd, kGetData8}));
  EXPECT_EQ(Blocks(), (std::vector<std::vector<std::uint8_t>>{Hex("00 D0 00 00 08 00 00 00")}));

  proxy->Clear();
  proxy->SetResponder([](const DecodedUrb& u) {
    return ProxyAnswer::Data(std::vector<std::uint8_t>(u.transferBufferLength, 0x5A));
  });
  ASSERT_TRUE(ExtUnit_GetDevStatus(kLow, kHigh, 6, 2, 0, 96, buf.data()));
  auto blocks = Blocks();
  ASSERT_EQ(blocks.size(), 12u);
  EXPECT_EQ(blocks[11], Hex("00 CD 0B 00 08 00 00 00"));
  EXPECT_EQ(proxy->urbs().size(), 24u);

  // Thirteen bytes: one transfer of 8 and one of the 5 left.
  proxy->Clear();
  ASSERT_TRUE(ExtUnit_ReadMem(kLow, kHigh, 6, 2, 0xFE21, 13, buf.data()));
  EXPECT_EQ(proxy->Texts(), (Texts{kSetCmd, kGetData8, kGetData5}));
  EXPECT_EQ(Blocks(), (std::vector<std::vector<std::uint8_t>>{Hex("00 C2 21 FE 0D 00 00 00")}));

  proxy->Clear();
  ASSERT_TRUE(ExtUnit_WriteMem(kLow, kHigh, 6, 2, 0xFF92, 13, out.data()));
  EXPECT_EQ(proxy->Texts(), (Texts{kSetCmd, kSetData8, kSetData5}));
  EXPECT_EQ(Blocks(), (std::vector<std::vector<std::uint8_t>>{Hex("00 82 92 FF 0D 00 00 00")}));
  EXPECT_EQ(proxy->urbs()[2].outData, Hex("08 09 0A 0B 0C"));

  struct ResetCase {
    std::uint32_t kind;
    std::vector<std::uint8_t> block;
  };
  const ResetCase resets[] = {{7, Hex("00 07 05 00 00 00 00 00")},
                              {8, Hex("00 08 05 00 00 00 00 00")},
                              {9, Hex("00 09 00 00 00 00 00 00")}};
  for (const ResetCase& r : resets) {
    SCOPED_TRACE(r.kind);
    proxy->Clear();
    ASSERT_TRUE(ExtUnit_Reset(kLow, kHigh, 6, 2, 5, r.kind));
    EXPECT_EQ(Blocks(), std::vector<std::vector<std::uint8_t>>{r.block});
  }
  // Another kind sends nothing, and says why.
  proxy->Clear();
  platform::SetLastError(21);
  EXPECT_FALSE(ExtUnit_Reset(kLow, kHigh, 6, 2, 5, 10));
  EXPECT_EQ(platform::GetLastError(), platform::kErrorInvalidParameter);
  EXPECT_FALSE(ExtUnit_ReadMem(kLow, kHigh, 6, 2, 0x10000, 2, buf.data()));
  EXPECT_TRUE(proxy->calls().empty());
}

TEST_P(ExtUnitFunctions, StatusPagesOfAPartialCount) {
  proxy->Queue(ProxyAnswer::Data({}));
  proxy->Queue(ProxyAnswer::Data(Hex("00 01 02 03 04 05 06 07")));
  proxy->Queue(ProxyAnswer::Data({}));
  proxy->Queue(ProxyAnswer::Data(Hex("08 09 0A 0B 0C 0D 0E 0F")));
  std::vector<std::uint8_t> buf(11, 0xEE);
  ASSERT_TRUE(ExtUnit_GetDevStatus(kLow, kHigh, 6, 2, 0, 10, buf.data()));
  EXPECT_EQ(buf, Hex("00 01 02 03 04 05 06 07 08 09 EE"));
  EXPECT_EQ(Blocks().back(), Hex("00 CD 01 00 08 00 00 00"));
}

// A failed request: the status is read and the FF block sent, and the caller still finds
// the failed request's error (the later requests succeeding do not hide it).
TEST_P(ExtUnitFunctions, FailureKeepsThePlatformError) {
  struct Case {
    const char* name;
    std::uint32_t error;
  };
  const Case cases[] = {{"not ready", 21}, {"device gone", 1167}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    proxy->Clear();
    proxy->Queue(ProxyAnswer::Error(c.error));
    EXPECT_FALSE(ExtUnit_Reset(kLow, kHigh, 6, 2, 5, 7));
    EXPECT_EQ(platform::GetLastError(), c.error);
    EXPECT_EQ(proxy->Texts(), (Texts{kSetCmd, kGetStatus, kSetCmd}));
    EXPECT_EQ(Blocks().back(), Hex("FF 00 00 00 00 00 00 00"));
  }
  // A failed data transfer takes the same path.
  proxy->Clear();
  proxy->Queue(ProxyAnswer::Data({}));
  proxy->Queue(ProxyAnswer::Stall());
  std::uint8_t buf[13];
  EXPECT_FALSE(ExtUnit_ReadMem(kLow, kHigh, 6, 2, 0x10, 13, buf));
  EXPECT_EQ(platform::GetLastError(), platform::kErrorGenFailure);
  EXPECT_EQ(proxy->Texts(), (Texts{kSetCmd, kGetData8, kGetStatus, kSetCmd}));
}

TEST_P(ExtUnitFunctions, AShortReadFails) {
  proxy->Queue(ProxyAnswer::Data({}));
  proxy->Queue(ProxyAnswer::Short(1, Hex("21 00")));
  std::uint8_t buf[2] = {0xEE, 0xEE};
  EXPECT_FALSE(ExtUnit_ReadMem(kLow, kHigh, 6, 2, 0xFE21, 2, buf));
  EXPECT_EQ(platform::GetLastError(), platform::kErrorInvalidData);
  EXPECT_EQ(proxy->Texts(), (Texts{kSetCmd, "A1 81 v=0B00 i=0602 n=2", kGetStatus, kSetCmd}));
}

// Without the set-up's lock the functions refuse: sending unserialised command blocks
// could interleave them with another station's.
TEST_P(ExtUnitTransport, FunctionsWithoutTheLockSendNothing) {
  test::DebugCapture trace;
  std::uint8_t buf[8] = {};
  const std::uint8_t out[2] = {1, 2};
  struct Case {
    const char* name;
    std::function<bool()> call;
  };
  const Case cases[] = {
      {"ExtUnit_DevQualify", [] { return ExtUnit_DevQualify(kLow, kHigh, 6, 2); }},
      {"ExtUnit_GetDevStatus", [&] { return ExtUnit_GetDevStatus(kLow, kHigh, 6, 2, 0, 8, buf); }},
      {"ExtUnit_ReadMem", [&] { return ExtUnit_ReadMem(kLow, kHigh, 6, 2, 0xFE21, 2, buf); }},
      {"ExtUnit_WriteMem", [&] { return ExtUnit_WriteMem(kLow, kHigh, 6, 2, 0xFF92, 2, out); }},
      {"ExtUnit_Reset", [] { return ExtUnit_Reset(kLow, kHigh, 6, 2, 5, 7); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    trace.Clear();
    platform::SetLastError(0);
    EXPECT_FALSE(c.call());
    EXPECT_EQ(platform::GetLastError(), platform::kErrorInvalidHandle);
    EXPECT_TRUE(trace.Contains(std::string(c.name) + ": no command lock")) << trace.All();
  }
  EXPECT_TRUE(proxy->calls().empty());
}

// A lock held elsewhere past the wait: the functions go ahead, as the reset and the
// identification of a device must not hang on a lock a stuck process keeps.
TEST_P(ExtUnitFunctions, TheyGoAheadWhenTheWaitTimesOut) {
  OtherThreadHolds holder(lockName);
  test::DebugCapture trace;
  std::uint8_t buf[2] = {};
  EXPECT_TRUE(ExtUnit_ReadMem(kLow, kHigh, 6, 2, 0xFE21, 2, buf));
  EXPECT_TRUE(trace.Contains("ExtUnit_ReadMem wait time out"));
  EXPECT_EQ(proxy->urbs().size(), 2u);
}

}  // namespace
}  // namespace vantor
