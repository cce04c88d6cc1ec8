#include "flows/mp_flow4.h"

#include "flows/flow_window.h"
#include "platform/messages.h"
#include "platform/trace.h"

namespace vantor {

namespace {
constexpr std::uint32_t kPinMuxRegister = 0xD6AD;
constexpr std::uint32_t kD010Register = 0xFED0;

// The pin-mux byte of chip 0xD011: bit 0x02 for the alternative pins, else bit 0x20.
std::uint8_t PinMuxValue(std::uint8_t value, bool alternative) {
  if (alternative) return static_cast<std::uint8_t>((value & ~0x20) | 0x02);
  return static_cast<std::uint8_t>((value & ~0x02) | 0x20);
}
}  // namespace

int CMpFlow4::MP_OpenRomDevice() {
  const ChipId chip = ReadChipIdBytes(0);
  const std::uint16_t key = chip.key();
  auto rewritePinMux = [&](bool alternative) {
    std::uint8_t value = 0;
    // A byte that could not be read is not written back.
    if (KF_ReadMem(kPinMuxRegister, 1, &value) == 0) return;
    value = PinMuxValue(value, alternative);
    KF_WriteMem(kPinMuxRegister, 1, &value);
  };

  if (newFamily != 0 && (modeText == kModeRom || modeText == kModeRomOtp)) {
    inRom = 1;
    if (key == 0xD010) {
      const std::uint8_t value = 0x1E;
      KF_WriteMem(kD010Register, 1, &value);
    } else if (key == 0xD011) {
      rewritePinMux(altPinMux != 0);
    }
    return 1;
  }

  if (newFamily != 0 && modeText == kModeSpi) {
    cmdFlags |= kCmdFlagExtUnit;
    if (key == 0xB013 || key == 0xB014) {
      MP_SPIDisableWriteProtect();
      const std::uint8_t zeros[2] = {0, 0};
      KF_SPI_SF_Write(0xF000, 1, zeros);
      KF_SPI_SF_Write(0xEFFE, 2, zeros);
      MP_SPIEnableWriteProtect();
    }
    cmdFlags &= ~kCmdFlagExtUnit;
  }

  PostFlowMessage(WM_FLOW_STATUS, msg::kStepWaitReset);
  const int result = MP_ResetToRomCode();
  if (result == 0) {
    DebugPrint("----------------: ");
    DebugPrint("Device ResetToUpdateFW Fail\n");
    PostFlowMessage(WM_FLOW_ERROR, msg::kResetDeviceFail);
    return 0;
  }
  if (key == 0xD011 && altPinMux != 0) rewritePinMux(true);
  return result;
}

}  // namespace vantor
