// What the device flow reads once a device is selected, the command-line actions on the
// open device and the reset options of a run.
#include <cstdio>

#include "config/settings.h"
#include "flows/dev_flow.h"
#include "flows/flow_options.h"
#include "flows/last_result.h"
#include "image/memory_type.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "platform/trace.h"
#include "selection/selection_common.h"

namespace vantor {

namespace {
// The byte of the image that selects the alternative pin multiplexing: 0x2027 counted
// from the configuration block at image offset 0xF000.
constexpr std::size_t kPinMuxImageOffset = 0xF000 + 0x2027;
constexpr std::uint8_t kPinMuxValue = 0x5A;
}  // namespace

int CDevFlow::DEV_ReadDeviceState() {
  selection::TraceName("CDevFlow::DEV_ReadDeviceState");
  MP_ReadChipID();
  MP_GetFwVersion();
  if (GetMemoryType() == MemoryType::kOtp) {
    const std::uint32_t length = MP_OTPLastBlockLen();
    otpUsedBytes = length + MP_OTPBlockStart(length);
  }

  ChooseBuiltInImage(devIdText, [this] { return ReadByte(kVariantByteAddress, 0); });

  std::wstring versionText;
  imageVer = {};
  Lib_FormatVersion(imageB.data(), imageBLen(), &versionText, &imageVer);
  imageVerText = L"Update FW version:" + versionText;

  // Only a byte the image holds counts.
  altPinMux = imageB.size() > kPinMuxImageOffset && imageB[kPinMuxImageOffset] == kPinMuxValue;

  imageB = {};
  configB = nullptr;
  return 1;
}

int CDevFlow::DEV_RunCommand(char letter, const std::wstring& file) {
  selection::TraceName("CDevFlow::DEV_RunCommand");
  SetLastResultCode(0);
  switch (letter) {
    case 'W':
      return SilenceWriteBin(file);
    case 'Y':
    case 'Z':
      return SilenceReadToFile(file);
    case 'V':
      return SilenceVerifyBin(file);
    case 'E':
      return SilenceErase(1);
    case 'C': {
      imagePath = file;
      if (!LoadImageFile()) {
        // The check has nothing to divide by: the run fails with the load's own error, so
        // its exit code and result line say so.
        PostFlowMessage(WM_FLOW_ERROR, msg::kLoadFileDataFail);
        DebugPrint("----------------: ");
        DebugPrint("Load File Data Fail!\n");
        return 0;
      }
      if (!MP_OTPTableReadable()) {
        // Without the block table there are no figures to give.
        PostFlowMessage(WM_FLOW_ERROR, msg::kReadOtpFail);
        selection::TraceAndEcho("Read OTP Fail!\n");
        return 0;
      }
      const std::uint32_t lastLength = MP_OTPLastBlockLen();
      const std::uint32_t used = lastLength + MP_OTPBlockStart(lastLength);
      otpUsedBytes = used;
      // A table whose blocks claim to end past the data area leaves no free space.
      const std::uint32_t free = used < kOtpDataAreaSize ? kOtpDataAreaSize - used : 0;
      std::uint32_t times = imageALen() != 0 ? free / imageALen() : 0;
      const std::uint32_t freeEntries = MP_OTPFreeEntries();
      if (times > freeEntries) times = freeEntries;
      char text[256];
      std::snprintf(text, sizeof text,
                    "Used OTP Space: %0.2f KB\nFree OTP Space: %0.2f KB\n"
                    "Remaining Programmable Times: %d.",
                    used / 1024.0, free / 1024.0, static_cast<int>(times));
      otpStatusText = platform::FromAnsi(text);
      return 1;
    }
    default:
      SetLastResultCode(static_cast<std::int32_t>(msg::kNotSupport));
      return 0;
  }
}

void CDevFlow::DEV_SetResetOptions() {
  selection::TraceName("CDevFlow::DEV_SetResetOptions");
  std::uint32_t options = kFlowOptionsDefault;
  if (GetSetting(Setting::ResetToCache) == 0) options &= ~kFlowOptResetAfter;
  if (GetSetting(Setting::NormalReset) == 0) {
    options |= kFlowOptOldFamilyParam2;
    resetParam = 5;
  } else {
    resetParam = 6;
  }
  SetFlowOptions(options);
}

}  // namespace vantor
