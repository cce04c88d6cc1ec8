#include "flows/flow_factory.h"

#include "flows/eeprom_info.h"
#include "flows/flash_info.h"
#include "flows/last_result.h"
#include "flows/otp_info.h"

namespace vantor {

namespace {
std::unique_ptr<CDevFlow> gCurrentFlow;
}  // namespace

std::unique_ptr<CDevFlow> MakeFlow(std::uint32_t key) {
  switch (key) {
    case FlowKey(MemoryType::kFlash, BusType::kUsb):
      return std::make_unique<CSPIFlashInfo_USB>();
    case FlowKey(MemoryType::kEeprom8, BusType::kUsb):
      return std::make_unique<CEepromInfo8_USB>();
    case FlowKey(MemoryType::kEeprom16, BusType::kUsb):
      return std::make_unique<CEepromInfo16_USB>();
    case FlowKey(MemoryType::kOtp, BusType::kUsb):
      return std::make_unique<COTPInfo_USB>();
    default:
      return nullptr;
  }
}

CDevFlow* CurrentFlow() { return gCurrentFlow.get(); }

void DeleteCurrentFlow() {
  if (gCurrentFlow) {
    SaveConfigForReplacement(*gCurrentFlow);
    gCurrentFlow.reset();
  }
}

CDevFlow* RecreateFlow() {
  DeleteCurrentFlow();
  gCurrentFlow = MakeFlow(FlowKey(GetMemoryType(), GetBusType()));
  if (gCurrentFlow) RestoreSavedConfig(*gCurrentFlow);
  SetLastResultCode(0);
  return gCurrentFlow.get();
}

}  // namespace vantor
