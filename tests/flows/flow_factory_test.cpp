// The flow factory, the replacement of the flow object and the CDevFlow defaults.
#include "flows/flow_factory.h"

#include <gtest/gtest.h>

#include <functional>
#include <typeinfo>

#include "config/builtin_images.h"
#include "config/ic_type_ini.h"
#include "flow_test_window.h"
#include "flows/eeprom_info.h"
#include "flows/flash_info.h"
#include "flows/last_result.h"
#include "flows/otp_info.h"

namespace vantor {
namespace {

class FlowFactoryTest : public ::testing::Test {
 protected:
  void TearDown() override {
    DeleteCurrentFlow();
    SetMemoryType(MemoryType::kFlash);
    SetBusType(BusType::kUsb);
    SetLastResultCode(0);
  }
};

TEST_F(FlowFactoryTest, Keys) {
  EXPECT_EQ(FlowKey(MemoryType::kFlash, BusType::kUsb), 0x000FFu);
  EXPECT_EQ(FlowKey(MemoryType::kEeprom16, BusType::kUsb), 0x300FFu);
  EXPECT_EQ(FlowKey(MemoryType::kOtp, BusType::kMipi), 0x602FFu);
  EXPECT_EQ(FlowKey(MemoryType::kEeprom8, BusType::kPcie), 0x201FFu);
}

TEST_F(FlowFactoryTest, ClassForEachPair) {
  struct Case {
    MemoryType memory;
    BusType bus;
    const std::type_info* type;  // null: no flow object
  };
  const Case cases[] = {
      {MemoryType::kFlash, BusType::kUsb, &typeid(CSPIFlashInfo_USB)},
      {MemoryType::kEeprom8, BusType::kUsb, &typeid(CEepromInfo8_USB)},
      {MemoryType::kEeprom16, BusType::kUsb, &typeid(CEepromInfo16_USB)},
      {MemoryType::kOtp, BusType::kUsb, &typeid(COTPInfo_USB)},
      {MemoryType::kMtp, BusType::kUsb, nullptr},
      {MemoryType::kFlash, BusType::kPcie, nullptr},
      {MemoryType::kEeprom8, BusType::kMipi, nullptr},
      {MemoryType::kOtp, BusType::kPcie, nullptr},
  };
  for (const Case& c : cases) {
    std::unique_ptr<CDevFlow> flow = MakeFlow(FlowKey(c.memory, c.bus));
    if (c.type == nullptr) {
      EXPECT_EQ(flow, nullptr) << static_cast<int>(c.memory) << "/" << static_cast<int>(c.bus);
    } else {
      ASSERT_NE(flow, nullptr);
      EXPECT_EQ(typeid(*flow), *c.type);
    }
  }
}

TEST_F(FlowFactoryTest, ReplacementCarriesTheConfigurationRecord) {
  SetMemoryType(MemoryType::kEeprom8);
  CDevFlow* first = RecreateFlow();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(typeid(*first), typeid(CEepromInfo8_USB));
  EXPECT_EQ(CurrentFlow(), first);
  first->imagePath = L"/images/fw.rfw";
  first->vidPidText = L"VID_3A4B&PID_0310";
  first->imageA = {1, 2, 3};
  first->readBuf = {4, 5};
  first->handle = 77;
  SetLastResultCode(41512);

  SetMemoryType(MemoryType::kOtp);
  CDevFlow* second = RecreateFlow();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(typeid(*second), typeid(COTPInfo_USB));
  EXPECT_EQ(second->imagePath, L"/images/fw.rfw");
  EXPECT_EQ(second->vidPidText, L"VID_3A4B&PID_0310");
  EXPECT_TRUE(second->imageA.empty());
  EXPECT_TRUE(second->readBuf.empty());
  // The flow state is the new object's own.
  EXPECT_EQ(second->handle, 0u);
  EXPECT_EQ(second->resetParam, 0);
  EXPECT_EQ(GetLastResultCode(), 0);

  SetLastResultCode(5);
  SetMemoryType(MemoryType::kMtp);
  EXPECT_EQ(RecreateFlow(), nullptr);
  EXPECT_EQ(CurrentFlow(), nullptr);
  EXPECT_EQ(GetLastResultCode(), 0);

  // The record saved from the OTP object reaches the next one.
  SetMemoryType(MemoryType::kFlash);
  CDevFlow* third = RecreateFlow();
  ASSERT_NE(third, nullptr);
  EXPECT_EQ(third->imagePath, L"/images/fw.rfw");
}

TEST_F(FlowFactoryTest, DefaultSlotsReportNotSupport) {
  test::TestFlowWindow window;  // the defaults post nothing
  CSPIFlashInfo_USB flow;
  const std::function<int()> silent[] = {
      [&] { return flow.SilenceWriteBin(L"a.rfw"); },
      [&] { return flow.SilenceWriteSNBin(L"a.rfw", L"SN1"); },
      [&] { return flow.SilenceReadToFile(L"a.bin"); },
      [&] { return flow.SilenceVerifyBin(L"a.rfw"); },
      [&] { return flow.SilenceReadHexFile(L"a.txt"); },
      [&] { return flow.SilenceErase(1); },
  };
  for (const auto& slot : silent) {
    SetLastResultCode(0);
    EXPECT_EQ(slot(), 0);
    EXPECT_EQ(GetLastResultCode(), 41500);
  }
  const std::function<int()> windowSlots[] = {
      [&] { return flow.ReadMemory(); }, [&] { return flow.EraseMemory(); },
      [&] { return flow.UpdateMemory(); }, [&] { return flow.Download(); }};
  for (const auto& slot : windowSlots) {
    SetLastResultCode(123);
    EXPECT_EQ(slot(), 0);
    EXPECT_EQ(GetLastResultCode(), 123);
  }
  EXPECT_TRUE(window.posted.empty());
}

TEST_F(FlowFactoryTest, PrepareImageAcceptsOnlyTheFlowsImages) {
  CICTypeIni family;  // QX310: the area at 0xF000
  family.BuildList();
  ASSERT_TRUE(family.LoadFromResource(2030));
  SetActiveICTypeIni(&family);
  CSPIFlashInfo_USB flow;
  const unsigned id = FindBuiltInImageId("FFU_310");
  ASSERT_NE(id, 0u);
  flow.LoadBuiltInImage(id);
  ASSERT_FALSE(flow.imageB.empty());
  EXPECT_EQ(flow.PrepareImage(flow.imageB.data(), flow.imageBLen()), 1);
  EXPECT_NE(flow.configB, nullptr);
  EXPECT_EQ(flow.configA, nullptr);

  flow.imageA = flow.imageB;
  EXPECT_EQ(flow.PrepareImage(flow.imageA.data(), flow.imageALen()), 1);
  EXPECT_NE(flow.configA, nullptr);

  // A copy elsewhere is not the flow's image.
  const std::vector<std::uint8_t> copy = flow.imageB;
  EXPECT_EQ(flow.PrepareImage(copy.data(), static_cast<std::uint32_t>(copy.size())), 0);
  EXPECT_EQ(flow.PrepareImage(nullptr, 0), 0);

  // An image without a configuration area is not prepared.
  flow.imageA.assign(0x20000, 0xFF);
  EXPECT_EQ(flow.PrepareImage(flow.imageA.data(), flow.imageALen()), 0);
  EXPECT_EQ(flow.configA, nullptr);
  SetActiveICTypeIni(nullptr);
  SetConfiguredMemorySize(kDefaultConfiguredMemorySize);
}

}  // namespace
}  // namespace vantor
