#include "flows/mp_flow2.h"

#include "flows/flow_options.h"
#include "image/memory_type.h"
#include "platform/clock.h"
#include "platform/trace.h"

namespace vantor {

namespace {
constexpr std::uint8_t kStatusUnprotect = 0x00;
constexpr std::uint8_t kStatusProtect = 0x8C;
constexpr std::uint8_t kStatusBusy = 0x01;
constexpr int kBusyRereads = 20;
constexpr std::uint32_t kBusyPauseMs = 50;
}  // namespace

int CMpFlow2::ChooseWriteProtectPins(WriteProtectPin pins[2]) {
  const ChipId chip = ReadChipIdBytes(0);
  const std::uint16_t fam = chip.fam();
  if (!IsNewFamilyChip(chip)) {
    pins[0] = {0xFEA0, 0xFEA6, 0x01};
  } else if (chip.id() == 0xFF56 || fam == 0x8050) {
    pins[0] = {0x0404, 0x0406, 0x01};
  } else if (fam == 0x7010) {
    pins[0] = {0x0650, 0x0652, 0x01};
  } else if (fam == 0xE010) {
    pins[0] = {0x0505, 0x0507, 0x01};
  } else if (fam == 0x1010) {
    // The package probe: bits 6..5 of 0x050F read 01 on a dual package.
    std::uint8_t value = 0x29;
    KF_WriteMem(0x051B, 1, &value);
    platform::Sleep(5);
    const std::uint8_t probe = ReadByte(0x050F, 0);
    value = 0x15;
    KF_WriteMem(0x051B, 1, &value);
    if (((probe >> 5) & 3) == 1) {
      pins[0] = {0x050A, 0x0510, 0x80};
      pins[1] = {0x050C, 0x0512, 0x10};
      return 2;
    }
    pins[0] = {0x050C, 0x0512, 0x10};
  } else {
    pins[0] = {0xFEC0, 0xFEC6, 0x01};
  }
  return 1;
}

CMpFlow2::BusyWait CMpFlow2::WaitStatusNotBusy() {
  std::uint8_t status = 0;
  if (KF_SPI_SF_ReadSr(&status) == 0) return BusyWait::kReadFailed;
  for (int reread = 0; (status & kStatusBusy) != 0; ++reread) {
    if (reread == kBusyRereads) return BusyWait::kTimedOut;
    DebugPrint("Waiting for SPI_SF_WriteSr\n");
    platform::Sleep(kBusyPauseMs);
    if (KF_SPI_SF_ReadSr(&status) == 0) return BusyWait::kReadFailed;
  }
  return BusyWait::kReady;
}

int CMpFlow2::FinishBusyWait(BusyWait wait) {
  switch (wait) {
    case BusyWait::kTimedOut:
      DebugPrint("Waiting Time Out\n");
      DebugPrint("Waiting for failed\n");
      return 0;
    case BusyWait::kReadFailed:
      DebugPrint("Waiting for failed\n");
      return 0;
    default:
      return 1;
  }
}

int CMpFlow2::MP_SPIDisableWriteProtect() {
  WriteProtectPin pins[2];
  const int passes = ChooseWriteProtectPins(pins);
  BusyWait wait = BusyWait::kReady;
  for (int pass = 0; pass < passes; ++pass) {
    const WriteProtectPin& pin = pins[pass];
    std::uint8_t a = 0, b = 0;
    if (KF_ReadMem(pin.regA, 1, &a) == 0 || KF_ReadMem(pin.regB, 1, &b) == 0) return 0;
    a |= pin.bit;
    b |= pin.bit;
    if (KF_WriteMem(pin.regA, 1, &a) == 0 || KF_WriteMem(pin.regB, 1, &b) == 0) return 0;
    if (KF_SPI_SF_WriteSr(kStatusUnprotect) == 0) return 0;
    wait = WaitStatusNotBusy();
  }
  return FinishBusyWait(wait);
}

int CMpFlow2::MP_SPIEnableWriteProtect() {
  WriteProtectPin pins[2];
  if (ChooseWriteProtectPins(pins) == 2) return 1;
  const WriteProtectPin& pin = pins[0];
  std::uint8_t a = 0, b = 0;
  if (KF_ReadMem(pin.regA, 1, &a) == 0 || KF_ReadMem(pin.regB, 1, &b) == 0) return 0;
  a |= pin.bit;
  b &= static_cast<std::uint8_t>(~pin.bit);
  if (KF_WriteMem(pin.regA, 1, &a) == 0 || KF_WriteMem(pin.regB, 1, &b) == 0) return 0;
  if (KF_SPI_SF_WriteSr(kStatusProtect) == 0) {
    DebugPrint("Waiting for failed\n");
    return 0;
  }
  return FinishBusyWait(WaitStatusNotBusy());
}

int CMpFlow2::MP_ResetToRomCode() {
  std::uint8_t cache = 0;
  MP_IsCacheMode(cache);
  const ChipId chip = ReadChipIdBytes(0);
  if (IsNewFamilyChip(chip)) {
    if (resetParam == 0) return 1;
    inRom = 0;
    if (chip.id() == 0xB013 || chip.id() == 0xB014) {
      if (modeText == kModeRomSpi) {
        // The boot code in flash must not start again: its first byte goes.
        cmdFlags |= kCmdFlagExtUnit;
        MP_SPIDisableWriteProtect();
        const std::uint8_t zero = 0;
        KF_SPI_SF_Write(0, 1, &zero);
        cmdFlags &= ~kCmdFlagExtUnit;
        return MP_ResetDevice(kResetToRomVendor, 0);
      }
      return MP_ResetDevice(kResetToRom, 0);
    }
    return MP_ResetDevice(kResetToUpdate, resetParam);
  }
  if (cache == 0) {
    inRom = 1;
    if (ReadChipIdBytes(0).fam() != 0x3000) return 1;
  }
  inRom = 0;
  const bool param2 = (GetFlowOptions() & kFlowOptOldFamilyParam2) != 0 || resetParam == 5;
  const auto parameter = param2 ? std::uint8_t{2} : static_cast<std::uint8_t>(GetMemoryType());
  return MP_ResetDevice(kResetToUpdate, parameter);
}

}  // namespace vantor
