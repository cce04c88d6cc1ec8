// CMpFlow2: memory primitives over CMpFlow. The write-protection steps of the SPI flash
// live here (the resets into ROM use them); the chunked memory steps come with the
// memory flows. CMpFlow3 adds nothing.
#pragma once

#include <cstdint>

#include "flows/mp_flow.h"

namespace vantor {

// The flash write-protect pin for a chip: output-enable register A, output-level
// register B and the bit, twice for a dual package of family 0x1010.
struct WriteProtectPin {
  std::uint32_t regA = 0;
  std::uint32_t regB = 0;
  std::uint8_t bit = 0;
};

class CMpFlow2 : public CMpFlow {
 public:
  // Raises the pin and clears the flash status register (0x00), then waits while busy.
  int MP_SPIDisableWriteProtect();
  // Lowers the pin and writes 0x8C to the status register, then waits while busy.
  int MP_SPIEnableWriteProtect();

  // Takes the device out of its running code (into ROM or update mode) when needed;
  // 1 when the device is, or already was, in ROM or update mode.
  int MP_ResetToRomCode();

  // The pin(s) of the chip; for family 0x1010 the package probe decides. Returns the
  // number of passes (2 for a dual package).
  int ChooseWriteProtectPins(WriteProtectPin pins[2]);

 private:
  enum class BusyWait { kReady, kReadFailed, kTimedOut };
  // Reads the status and, while busy, re-reads it up to 20 times, 50 ms apart.
  BusyWait WaitStatusNotBusy();
  static int FinishBusyWait(BusyWait wait);
};

class CMpFlow3 : public CMpFlow2 {};

}  // namespace vantor
