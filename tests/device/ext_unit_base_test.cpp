// The command-block transport over a recording of its primitives: every operation's
// command blocks as bytes, its data phase, the splitting of long transfers and the edge
// cases of the individual commands.
#include "device/ext_unit_base.h"

#include <gtest/gtest.h>

#include <functional>
#include <numeric>
#include <string>
#include <vector>

#include "support/cmd_recorder.h"
#include "support/debug_capture.h"

namespace vantor {
namespace {

using test::BlockBytes;
using test::CmdKind;
using test::CmdRecorder;
using Bytes = CmdBlock::Bytes;

std::vector<std::uint8_t> Counting(std::size_t n, std::uint8_t start = 0) {
  std::vector<std::uint8_t> v(n);
  std::iota(v.begin(), v.end(), start);
  return v;
}

// Progress callback that keeps what it was told.
void KeepProgress(void* ctx, std::uint32_t bytes) {
  static_cast<std::vector<std::uint32_t>*>(ctx)->push_back(bytes);
}

// Every operation with a command block: the blocks it sends and how many data transfers
// follow, at the initial data control size of 8.
TEST(ExtUnitBaseCommands, EveryOperationSendsItsBlocksAndTransfers) {
  std::vector<std::uint8_t> in(0x200);
  const std::vector<std::uint8_t> out(0x200, 0x5A);
  const std::uint8_t* o = out.data();
  std::uint8_t* b = in.data();
  std::uint16_t value = 0;
  struct Case {
    const char* name;
    std::function<HResult(CmdRecorder&)> call;
    std::vector<Bytes> blocks;
    std::size_t gets;
    std::size_t sets;
  };
  const Case cases[] = {
      {"GetDevStatus",
       [&](CmdRecorder& r) { return r.GetDevStatus(0, b, 16); },
       {BlockBytes(0x00, 0xCD, 0, 8, 0), BlockBytes(0x00, 0xCD, 1, 8, 0)},
       2,
       0},
      {"ResetToUpdateFW",
       [&](CmdRecorder& r) { return r.ResetToUpdateFW(0x12345); },
       {BlockBytes(0x00, 0x07, 0x2345, 0, 0)},
       0,
       0},
      {"ResetToNewCode",
       [&](CmdRecorder& r) { return r.ResetToNewCode(5); },
       {BlockBytes(0x00, 0x08, 5, 0, 0)},
       0,
       0},
      {"ResetToRom",
       [&](CmdRecorder& r) { return r.ResetToRom(); },
       {BlockBytes(0x00, 0x09, 0, 0, 0)},
       0,
       0},
      {"ReadIMem",
       [&](CmdRecorder& r) { return r.ReadIMem(0x1234, 20, b, nullptr, nullptr); },
       {BlockBytes(0x00, 0xC1, 0x1234, 20, 0)},
       3,
       0},
      {"ReadMem",
       [&](CmdRecorder& r) { return r.ReadMem(0x56789, 16, b, nullptr, nullptr); },
       {BlockBytes(0x00, 0xC2, 0x6789, 16, 0)},
       2,
       0},
      {"WriteMem",
       [&](CmdRecorder& r) { return r.WriteMem(0x10, 9, o, nullptr, nullptr); },
       {BlockBytes(0x00, 0x82, 0x10, 9, 0)},
       0,
       2},
      {"ReadCode",
       [&](CmdRecorder& r) { return r.ReadCode(0x20, 8, b, nullptr, nullptr); },
       {BlockBytes(0x00, 0xC3, 0x20, 8, 0)},
       1,
       0},
      {"ReadPhy",
       [&](CmdRecorder& r) { return r.ReadPhy(0x100, 2, b); },
       {BlockBytes(0x00, 0xCC, 0x100, 1, 0), BlockBytes(0x00, 0xCC, 0x101, 1, 0)},
       2,
       0},
      {"WritePhy",
       [&](CmdRecorder& r) { return r.WritePhy(0xFFFF, 2, o); },
       {BlockBytes(0x00, 0x8C, 0xFFFF, 1, 0), BlockBytes(0x00, 0x8C, 0x0000, 1, 0)},
       0,
       2},
      {"NorFlash_Erase",
       [&](CmdRecorder& r) { return r.NorFlash_Erase(); },
       {BlockBytes(0x00, 0x04, 0, 0, 0)},
       0,
       0},
      {"NorFlash_Read",
       [&](CmdRecorder& r) { return r.NorFlash_Read(0x30, 4, b, nullptr, nullptr); },
       {BlockBytes(0x00, 0xC5, 0x30, 4, 0)},
       1,
       0},
      {"NorFlash_Write",
       [&](CmdRecorder& r) { return r.NorFlash_Write(0x40, 4, o, nullptr, nullptr); },
       {BlockBytes(0x00, 0x85, 0x40, 4, 0)},
       0,
       1},
      {"NorFlash_WriteTag",
       [&](CmdRecorder& r) { return r.NorFlash_WriteTag(); },
       {BlockBytes(0x00, 0x06, 0, 0, 0)},
       0,
       0},
      {"SPI_SF_ReadID",
       [&](CmdRecorder& r) { return r.SPI_SF_ReadID(b); },
       {BlockBytes(0x02, 0xC1, 0, 8, 0)},
       1,
       0},
      {"SPI_SF_Read",
       [&](CmdRecorder& r) { return r.SPI_SF_Read(0x00123456, 0x100, b, 3, nullptr, nullptr); },
       {BlockBytes(0x02, 0xC2, 0x3456, 0x100, 0x0012)},
       32,
       0},
      {"SPI_SF_Write",
       [&](CmdRecorder& r) { return r.SPI_SF_Write(0x00ABCDEF, 8, o, nullptr, nullptr); },
       {BlockBytes(0x02, 0x82, 0xCDEF, 8, 0x00AB)},
       0,
       1},
      {"SPI_SF_ReadSr",
       [&](CmdRecorder& r) { return r.SPI_SF_ReadSr(b); },
       {BlockBytes(0x02, 0xC3, 0, 1, 0)},
       1,
       0},
      {"SPI_SF_WriteSr",
       [&](CmdRecorder& r) { return r.SPI_SF_WriteSr(0x9C); },
       {BlockBytes(0x02, 0x83, 0, 1, 0)},
       0,
       1},
      {"SPI_SF_EraseChip",
       [&](CmdRecorder& r) { return r.SPI_SF_EraseChip(30000); },
       {BlockBytes(0x02, 0x04, 0, 0, 0)},
       0,
       0},
      {"SPI_SF_EraseSector",
       [&](CmdRecorder& r) { return r.SPI_SF_EraseSector(0x21000, 0x1000); },
       {BlockBytes(0x02, 0x05, 0x1000, 0, 0x0002)},
       0,
       0},
      {"SPI_SF_WriteTag",
       [&](CmdRecorder& r) { return r.SPI_SF_WriteTag(); },
       {BlockBytes(0x02, 0x13, 0, 0, 0)},
       0,
       0},
      {"I2C_EEP8_Erase",
       [&](CmdRecorder& r) { return r.I2C_EEP8_Erase(0x20); },
       {BlockBytes(0x02, 0x8B, 0, 0x20, 0)},
       0,
       4},
      {"I2C_EEP8_Read",
       [&](CmdRecorder& r) { return r.I2C_EEP8_Read(0x10005, 3, b, nullptr, nullptr); },
       {BlockBytes(0x02, 0xCB, 0x0005, 3, 0x0001)},
       1,
       0},
      {"I2C_EEP8_Write",
       [&](CmdRecorder& r) { return r.I2C_EEP8_Write(0x7F, 2, o, nullptr, nullptr); },
       {BlockBytes(0x02, 0x8B, 0x7F, 2, 0)},
       0,
       1},
      {"I2C_EEP8_WriteTag",
       [&](CmdRecorder& r) { return r.I2C_EEP8_WriteTag(); },
       {BlockBytes(0x02, 0x8B, 1, 1, 0)},
       0,
       1},
      {"I2C_EEP16_Erase",
       [&](CmdRecorder& r) { return r.I2C_EEP16_Erase(0x10); },
       {BlockBytes(0x02, 0x91, 0, 0x10, 0)},
       0,
       2},
      {"I2C_EEP16_Read",
       [&](CmdRecorder& r) { return r.I2C_EEP16_Read(0x1234, 2, b, nullptr, nullptr); },
       {BlockBytes(0x02, 0xD1, 0x1234, 2, 0)},
       1,
       0},
      {"I2C_EEP16_Write",
       [&](CmdRecorder& r) { return r.I2C_EEP16_Write(0x20000, 1, o, nullptr, nullptr); },
       {BlockBytes(0x02, 0x91, 0, 1, 2)},
       0,
       1},
      {"I2C_EEP16_WriteTag",
       [&](CmdRecorder& r) { return r.I2C_EEP16_WriteTag(); },
       {BlockBytes(0x02, 0x91, 1, 1, 0)},
       0,
       1},
      {"I2CRead slave",
       [&](CmdRecorder& r) { return r.I2CRead(std::uint8_t{0xA0}, 4, b); },
       {BlockBytes(0x00, 0xEA, 0xA0, 4, 0)},
       1,
       0},
      {"I2CRead register",
       [&](CmdRecorder& r) { return r.I2CRead(2u, 0x12345u, &value); },
       {BlockBytes(0x00, 0xCA, 0x2345, 2, 0x0001)},
       1,
       0},
      {"I2CWrite slave",
       [&](CmdRecorder& r) { return r.I2CWrite(std::uint8_t{0xA2}, 3, o); },
       {BlockBytes(0x00, 0xAA, 0xA2, 3, 0)},
       0,
       1},
      {"I2CWrite register",
       [&](CmdRecorder& r) { return r.I2CWrite(2u, 0x10u, std::uint16_t{0xBEEF}); },
       {BlockBytes(0x00, 0x8A, 0x10, 2, 0)},
       0,
       1},
      {"I2CGenRead",
       [&](CmdRecorder& r) { return r.I2CGenRead(0x50, 10, b); },
       {BlockBytes(0x00, 0xEA, 0x50, 10, 0)},
       2,
       0},
      {"I2CGenWrite",
       [&](CmdRecorder& r) { return r.I2CGenWrite(0x50, 10, o); },
       {BlockBytes(0x00, 0xAA, 0x50, 10, 0)},
       0,
       2},
      {"I2CRandomRead",
       [&](CmdRecorder& r) { return r.I2CRandomRead(0x51, 5, b); },
       {BlockBytes(0x00, 0xF1, 0x51, 5, 0)},
       1,
       0},
      {"I2CRandomWrite",
       [&](CmdRecorder& r) { return r.I2CRandomWrite(0x51, 5, o); },
       {BlockBytes(0x00, 0xB1, 0x51, 5, 0)},
       0,
       1},
      {"I2CSuperRead",
       [&](CmdRecorder& r) { return r.I2CSuperRead(0x52, 9, b); },
       {BlockBytes(0x00, 0xF2, 0x52, 9, 0)},
       2,
       0},
      {"I2CSuperWrite",
       [&](CmdRecorder& r) { return r.I2CSuperWrite(0x52, 9, o); },
       {BlockBytes(0x00, 0xB2, 0x52, 9, 0)},
       0,
       2},
      {"I2CLongRead",
       [&](CmdRecorder& r) { return r.I2CLongRead(0x60, 0x8010, 100, b, 7, 9); },
       {BlockBytes(0x00, 0xF0, 0x8010, 64, 0x60), BlockBytes(0x00, 0xF0, 0x8050, 36, 0x60)},
       13,
       0},
      {"I2CLongWrite",
       [&](CmdRecorder& r) { return r.I2CLongWrite(0x61, 0x8010, 3, 64, o, 7, 9); },
       {BlockBytes(0x00, 0xB0, 0x8010, 64, 0x61)},
       0,
       8},
      {"OTP_Write",
       [&](CmdRecorder& r) { return r.OTP_Write(0x0400, 16, 2, o, 0, 0); },
       {BlockBytes(0x02, 0x97, 0x0400, 16, 2)},
       0,
       2},
      {"OTP_Read",
       [&](CmdRecorder& r) { return r.OTP_Read(0x0410, 8, b, 0, 0); },
       {BlockBytes(0x02, 0xD7, 0x0410, 8, 0)},
       1,
       0},
      {"OTP_BlankCheck",
       [&](CmdRecorder& r) { return r.OTP_BlankCheck(0x20, 8, b, 0, 0); },
       {BlockBytes(0x02, 0xD8, 0x20, 8, 0)},
       1,
       0},
      {"OTP_AllBlankCheck",
       [&](CmdRecorder& r) { return r.OTP_AllBlankCheck(0x40, 0x100, b, 0, 0); },
       {BlockBytes(0x02, 0xDF, 0x40, 8, 0x100)},
       32,
       0},
      {"OTP_ReadProgramFailAdr",
       [&](CmdRecorder& r) { return r.OTP_ReadProgramFailAdr(0x13, b); },
       {BlockBytes(0x02, 0xDC, 0, 0x13, 0)},
       3,
       0},
      {"OTPTestDec",
       [&](CmdRecorder& r) { return r.OTPTestDec(0x30, 4, b); },
       {BlockBytes(0x02, 0xD9, 0x30, 4, 0)},
       1,
       0},
      {"OTPWriteTest",
       [&](CmdRecorder& r) { return r.OTPWriteTest(0x31, 1, 4, o); },
       {BlockBytes(0x02, 0x9A, 0x31, 4, 1)},
       0,
       1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CmdRecorder rec;
    EXPECT_EQ(c.call(rec), kSOk);
    EXPECT_EQ(rec.Blocks(), c.blocks);
    EXPECT_EQ(rec.EventsOf(CmdKind::GetData).size(), c.gets);
    EXPECT_EQ(rec.EventsOf(CmdKind::SetData).size(), c.sets);
    EXPECT_TRUE(rec.EventsOf(CmdKind::GetCmdStatus).empty());
    // Each command block comes before the data transfers it announces.
    if (!rec.Events().empty()) {
      EXPECT_EQ(rec.Events().front().kind, CmdKind::SetCmd);
    }
  }
}

TEST(ExtUnitBaseCommands, ReservedAndAuxiliarySlotsAreNotImplementedAndSendNothing) {
  CmdRecorder rec;
  std::uint8_t buf[8] = {};
  const HResult results[] = {
      rec.Aux_Erase(0x1000),
      rec.Aux_Read(0, 8, buf, 0, nullptr, nullptr),
      rec.Aux_Write(0, 8, buf, 0, nullptr, nullptr),
      rec.Aux_WriteTag(),
      rec.Reserved38(1, 2, 3),
      rec.Reserved39(1, 2, 3),
      rec.Reserved40(1),
      rec.Reserved41(1),
      rec.Reserved42(1),
      rec.Reserved43(1),
      rec.Reserved44(1),
      rec.Reserved45(1),
      rec.Reserved46(1),
      rec.Reserved47(1),
      rec.Reserved64(1, 2, 3, 4, 5),
      rec.Reserved65(1, 2, 3, 4, 5),
  };
  for (HResult result : results) EXPECT_EQ(static_cast<std::uint32_t>(result), 0x80004001u);
  EXPECT_TRUE(rec.Events().empty());
}

// ---- Data phases -----------------------------------------------------------------------

TEST(ExtUnitBaseData, PartialBlockReadCopiesOnlyTheRemainderAndReportsProgress) {
  CmdRecorder rec;
  rec.QueueRead(Counting(16, 1));
  std::vector<std::uint8_t> buf(16, 0xEE);
  std::vector<std::uint32_t> progress;
  ASSERT_EQ(rec.ReadMem(0x1234, 13, buf.data(), KeepProgress, &progress), kSOk);
  const auto gets = rec.EventsOf(CmdKind::GetData);
  ASSERT_EQ(gets.size(), 2u);
  EXPECT_EQ(gets[1].data.size(), 8u) << "every transfer moves the whole data control size";
  EXPECT_EQ(std::vector<std::uint8_t>(buf.begin(), buf.begin() + 13), Counting(13, 1));
  EXPECT_EQ(std::vector<std::uint8_t>(buf.begin() + 13, buf.end()),
            std::vector<std::uint8_t>(3, 0xEE))
      << "nothing written past the length";
  EXPECT_EQ(progress, (std::vector<std::uint32_t>{8, 5}));
}

TEST(ExtUnitBaseData, PartialBlockWriteIsZeroPaddedAndReportsProgress) {
  CmdRecorder rec;
  const auto data = Counting(13, 0x41);
  std::vector<std::uint32_t> progress;
  ASSERT_EQ(rec.WriteMem(0x10, 13, data.data(), KeepProgress, &progress), kSOk);
  auto expected = data;
  expected.resize(16, 0);
  EXPECT_EQ(rec.SentData(), expected);
  EXPECT_EQ(progress, (std::vector<std::uint32_t>{8, 5}));
  // Without a callback nothing is called, and a larger data control size moves more per
  // transfer.
  std::uint16_t size = 64;
  ASSERT_TRUE(rec.ChangeDataControlSize(&size));
  rec.ClearEvents();
  const auto big = Counting(100, 0);
  ASSERT_EQ(rec.SPI_SF_Write(0, 100, big.data(), nullptr, nullptr), kSOk);
  ASSERT_EQ(rec.EventsOf(CmdKind::SetData).size(), 2u);
  expected = big;
  expected.resize(128, 0);
  EXPECT_EQ(rec.SentData(), expected);
}

TEST(ExtUnitBaseData, SingleTransfersClearTheDataBufferAndCopyWhatIsNeeded) {
  CmdRecorder rec;
  // SPI_SF_WriteSr sends the value in byte 0, the other bytes 0.
  ASSERT_EQ(rec.SPI_SF_WriteSr(0x9C), kSOk);
  EXPECT_EQ(rec.SentData(), (std::vector<std::uint8_t>{0x9C, 0, 0, 0, 0, 0, 0, 0}));
  // The EEPROM tag: 0xA5 at address 1, zero padded.
  rec.ClearEvents();
  ASSERT_EQ(rec.I2C_EEP16_WriteTag(), kSOk);
  EXPECT_EQ(rec.SentData(), (std::vector<std::uint8_t>{0xA5, 0, 0, 0, 0, 0, 0, 0}));
  // I2CWrite (slave form) sends its bytes zero padded in one transfer.
  rec.ClearEvents();
  const std::uint8_t three[] = {1, 2, 3};
  ASSERT_EQ(rec.I2CWrite(std::uint8_t{0xA2}, 3, three), kSOk);
  EXPECT_EQ(rec.SentData(), (std::vector<std::uint8_t>{1, 2, 3, 0, 0, 0, 0, 0}));

  // Reads copy exactly the bytes asked for.
  rec.QueueRead(Counting(8, 0x10));
  std::uint8_t id[9] = {};
  id[8] = 0xEE;
  ASSERT_EQ(rec.SPI_SF_ReadID(id), kSOk);
  EXPECT_EQ(std::vector<std::uint8_t>(id, id + 8), Counting(8, 0x10));
  EXPECT_EQ(id[8], 0xEE);
  rec.QueueRead({0x42, 0x99});
  std::uint8_t sr[2] = {0, 0xEE};
  ASSERT_EQ(rec.SPI_SF_ReadSr(sr), kSOk);
  EXPECT_EQ(sr[0], 0x42);
  EXPECT_EQ(sr[1], 0xEE);
}

TEST(ExtUnitBaseData, PhyRegistersMoveOneBytePerCommand) {
  CmdRecorder rec;
  rec.QueueRead({0x11, 9, 9, 9, 9, 9, 9, 9, 0x22, 9, 9, 9, 9, 9, 9, 9, 0x33});
  std::uint8_t got[3] = {};
  ASSERT_EQ(rec.ReadPhy(0x300, 3, got), kSOk);
  EXPECT_EQ(got[0], 0x11);
  EXPECT_EQ(got[1], 0x22);
  EXPECT_EQ(got[2], 0x33);
  rec.ClearEvents();
  const std::uint8_t put[2] = {0xAB, 0xCD};
  ASSERT_EQ(rec.WritePhy(0x400, 2, put), kSOk);
  const auto sets = rec.EventsOf(CmdKind::SetData);
  ASSERT_EQ(sets.size(), 2u);
  EXPECT_EQ(sets[0].data, (std::vector<std::uint8_t>{0xAB, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(sets[1].data, (std::vector<std::uint8_t>{0xCD, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(rec.Blocks(), (std::vector<Bytes>{BlockBytes(0, 0x8C, 0x400, 1, 0),
                                              BlockBytes(0, 0x8C, 0x401, 1, 0)}));
}

TEST(ExtUnitBaseData, StatusIsReadInPagesOfEight) {
  CmdRecorder rec;
  std::vector<std::uint8_t> status(104, 0xEE);
  ASSERT_EQ(rec.GetDevStatus(0, status.data(), 104), kSOk);
  std::vector<Bytes> expected;
  for (std::uint16_t page = 0; page < 13; ++page)
    expected.push_back(BlockBytes(0, 0xCD, page, 8, 0));
  EXPECT_EQ(rec.Blocks(), expected);
  EXPECT_EQ(status, Counting(104, 0)) << "8 bytes of each page in order";

  // 10 bytes: page 0 whole and 2 bytes of page 1.
  CmdRecorder partial;
  partial.QueueRead(Counting(16, 0x80));
  std::vector<std::uint8_t> ten(12, 0xEE);
  ASSERT_EQ(partial.GetDevStatus(0, ten.data(), 10), kSOk);
  EXPECT_EQ(partial.Blocks(),
            (std::vector<Bytes>{BlockBytes(0, 0xCD, 0, 8, 0), BlockBytes(0, 0xCD, 1, 8, 0)}));
  EXPECT_EQ(std::vector<std::uint8_t>(ten.begin(), ten.begin() + 10), Counting(10, 0x80));
  EXPECT_EQ(ten[10], 0xEE);

  // The flows' second area: pages 128 to 131.
  CmdRecorder upper;
  std::vector<std::uint8_t> area(32);
  ASSERT_EQ(upper.GetDevStatus(128, area.data(), 32), kSOk);
  const auto blocks = upper.Blocks();
  ASSERT_EQ(blocks.size(), 4u);
  EXPECT_EQ(blocks.front(), BlockBytes(0, 0xCD, 128, 8, 0));
  EXPECT_EQ(blocks.back(), BlockBytes(0, 0xCD, 131, 8, 0));
}

TEST(ExtUnitBaseData, RegisterFormsOfI2CUseTwoBytesAndTheWidth) {
  struct Case {
    std::uint32_t width;
    std::uint16_t expected;
  };
  for (const Case c : {Case{1, 0x0034}, Case{2, 0x1234}}) {
    SCOPED_TRACE(c.width);
    CmdRecorder rec;
    rec.QueueRead({0x34, 0x12, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77});
    std::uint16_t value = 0xFFFF;
    ASSERT_EQ(rec.I2CRead(c.width, 0x20u, &value), kSOk);
    EXPECT_EQ(value, c.expected);
  }
  struct WriteCase {
    std::uint32_t width;
    std::vector<std::uint8_t> sent;
  };
  for (const auto& c : {WriteCase{1, {0xEF, 0x00, 0, 0, 0, 0, 0, 0}},
                        WriteCase{2, {0xEF, 0xBE, 0, 0, 0, 0, 0, 0}}}) {
    SCOPED_TRACE(c.width);
    CmdRecorder rec;
    ASSERT_EQ(rec.I2CWrite(c.width, 0x20u, std::uint16_t{0xBEEF}), kSOk);
    EXPECT_EQ(rec.SentData(), c.sent);
  }
}

TEST(ExtUnitBaseData, LongI2CTransfersGoInPiecesOf64) {
  CmdRecorder rec;
  std::vector<std::uint8_t> got(100);
  ASSERT_EQ(rec.I2CLongRead(0x60, 0x10, 100, got.data(), 0, 0), kSOk);
  EXPECT_EQ(got, Counting(100, 0)) << "pieces land one after the other";

  CmdRecorder writer;
  const auto data = Counting(130, 0);
  ASSERT_EQ(writer.I2CLongWrite(0x61, 0x8000, 0, 130, data.data(), 0, 0), kSOk);
  EXPECT_EQ(writer.Blocks(), (std::vector<Bytes>{BlockBytes(0, 0xB0, 0x8000, 64, 0x61),
                                                 BlockBytes(0, 0xB0, 0x8040, 64, 0x61),
                                                 BlockBytes(0, 0xB0, 0x8080, 2, 0x61)}));
  auto expected = data;
  expected.resize(136, 0);
  EXPECT_EQ(writer.SentData(), expected);
}

TEST(ExtUnitBaseData, DevQualifyWantsTheSignatureWithItsZeroByte) {
  {
    CmdRecorder rec;
    rec.QueueRead({'K', 'E', 'S', 'T', 'R', 'A', 'L', 0});
    EXPECT_TRUE(rec.DevQualify());
    EXPECT_EQ(rec.Blocks(), (std::vector<Bytes>{BlockBytes(0, 0xD0, 0, 8, 0)}));
  }
  for (std::uint8_t last : {std::uint8_t{1}, std::uint8_t{' '}}) {
    CmdRecorder rec;
    test::DebugCapture capture;
    rec.QueueRead({'K', 'E', 'S', 'T', 'R', 'A', 'L', last});
    EXPECT_FALSE(rec.DevQualify());
    EXPECT_TRUE(capture.Contains("Not kestral device\r\n"));
  }
}

// ---- Lengths and arguments ---------------------------------------------------------------

TEST(ExtUnitBaseArguments, ZeroLengthTransfersSendNothing) {
  CmdRecorder rec;
  std::uint8_t buf[1] = {};
  EXPECT_EQ(rec.ReadMem(0x100, 0, buf, nullptr, nullptr), kSOk);
  EXPECT_EQ(rec.WriteMem(0x100, 0, buf, nullptr, nullptr), kSOk);
  EXPECT_EQ(rec.SPI_SF_Read(0x100, 0, buf, 0, nullptr, nullptr), kSOk);
  EXPECT_EQ(rec.I2C_EEP8_Erase(0), kSOk);
  EXPECT_EQ(rec.I2C_EEP16_Erase(0), kSOk);
  EXPECT_EQ(rec.ReadPhy(0x10, 0, buf), kSOk);
  EXPECT_EQ(rec.WritePhy(0x10, 0, buf), kSOk);
  EXPECT_TRUE(rec.Events().empty());
}

TEST(ExtUnitBaseArguments, MisalignedSectorEraseIsRejectedBeforeAnything) {
  CmdRecorder rec;
  EXPECT_EQ(static_cast<std::uint32_t>(rec.SPI_SF_EraseSector(0x1001, 0x1000)), 0x80070057u);
  EXPECT_EQ(static_cast<std::uint32_t>(rec.SPI_SF_EraseSector(0x1000, 0)), 0x80070057u);
  EXPECT_TRUE(rec.Events().empty());
}

TEST(ExtUnitBaseArguments, LengthsTheWireCannotCarryAreRejected) {
  CmdRecorder rec;
  std::vector<std::uint8_t> buf(0x10000);
  // Single transfers hold at most the data control size.
  EXPECT_EQ(rec.I2CRead(std::uint8_t{0x50}, 9, buf.data()), kEInvalidArg);
  EXPECT_EQ(rec.I2CWrite(std::uint8_t{0x50}, 9, buf.data()), kEInvalidArg);
  EXPECT_EQ(rec.I2CRandomRead(0x50, 9, buf.data()), kEInvalidArg);
  EXPECT_EQ(rec.I2CRandomWrite(0x50, 9, buf.data()), kEInvalidArg);
  // Commands that do not split carry at most 0xFFFF bytes.
  EXPECT_EQ(rec.I2CGenRead(0x50, 0x10000, buf.data()), kEInvalidArg);
  EXPECT_EQ(rec.OTP_Read(0, 0x10000, buf.data(), 0, 0), kEInvalidArg);
  EXPECT_EQ(rec.OTP_Write(0, 0x10000, 0, buf.data(), 0, 0), kEInvalidArg);
  EXPECT_TRUE(rec.Events().empty());
  // At the limit they go out.
  EXPECT_EQ(rec.I2CRead(std::uint8_t{0x50}, 8, buf.data()), kSOk);
  EXPECT_EQ(rec.I2CGenRead(0x50, 0xFFFF, buf.data()), kSOk);
  EXPECT_EQ(rec.Blocks().back(), BlockBytes(0, 0xEA, 0x50, 0xFFFF, 0));
}

TEST(ExtUnitBaseArguments, DataControlSizeStaysWithinTheDataBuffer) {
  CmdRecorder rec;
  EXPECT_EQ(rec.DataControlSize(), 8u);
  std::uint16_t size = 2048;
  EXPECT_FALSE(rec.ChangeDataControlSize(&size));
  EXPECT_EQ(size, 8);
  size = 0;
  EXPECT_FALSE(rec.ChangeDataControlSize(&size));
  size = 1024;
  EXPECT_TRUE(rec.ChangeDataControlSize(&size));
  EXPECT_EQ(rec.DataControlSize(), 1024u);
}

}  // namespace
}  // namespace vantor
