// The virtual operations' defaults and the shared image preparation of CDevFlow. The
// device-selection operations (DEV_*) are in the selection layer.
#include "flows/dev_flow.h"

#include <algorithm>

#include "flows/flow_files.h"
#include "flows/last_result.h"
#include "platform/messages.h"

namespace vantor {

CDevFlow::~CDevFlow() = default;

DeviceLocation& CDevFlow::LastLocation() {
  if (CFlowWindow* window = RegisteredFlowWindow()) return window->lastLocation;
  return ownLastLocation;
}

std::wstring& CDevFlow::CurrentDevText() {
  if (CFlowWindow* window = RegisteredFlowWindow()) return window->currentDevText;
  return ownCurrentDevText;
}

int CDevFlow::PrepareImage(const std::uint8_t* image, std::uint32_t length) {
  if (image == nullptr) return 0;
  // The length never reaches past the image the pointer names.
  if (!imageB.empty() && image == imageB.data()) {
    configB = LocateConfigArea(image, std::min(length, imageBLen()));
    return configB != nullptr ? 1 : 0;
  }
  if (!imageA.empty() && image == imageA.data()) {
    configA = LocateConfigArea(image, std::min(length, imageALen()));
    return configA != nullptr ? 1 : 0;
  }
  return 0;
}

int CDevFlow::ReadMemory() { return 0; }
int CDevFlow::EraseMemory() { return 0; }
int CDevFlow::UpdateMemory() { return 0; }
int CDevFlow::Download() { return 0; }

namespace {
int NotSupported() {
  SetLastResultCode(static_cast<std::int32_t>(msg::kNotSupport));
  return 0;
}
}  // namespace

int CDevFlow::SilenceWriteBin(const std::wstring&) { return NotSupported(); }
int CDevFlow::SilenceWriteSNBin(const std::wstring&, const std::wstring&) { return NotSupported(); }
int CDevFlow::SilenceReadToFile(const std::wstring&) { return NotSupported(); }
int CDevFlow::SilenceVerifyBin(const std::wstring&) { return NotSupported(); }
int CDevFlow::SilenceReadHexFile(const std::wstring&) { return NotSupported(); }
int CDevFlow::SilenceErase(std::uint32_t) { return NotSupported(); }

int CDevFlow::SaveAfterRead(int readResult, const std::wstring& path,
                            const std::vector<std::uint8_t>& data, bool hexText) {
  if (readResult == 0) return readResult;
  if (hexText) {
    WriteHexTextFile(path, data);
  } else {
    WriteBinaryFile(path, data);
  }
  return readResult;
}

}  // namespace vantor
