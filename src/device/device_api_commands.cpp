// The device API's command forwarding: each function runs one operation of the vendor
// command set on the current device's transport and turns its result into 1 or 0.
#include <vector>

#include "device/device_api.h"
#include "device/device_api_state.h"
#include "device/ext_unit.h"
#include "platform/trace.h"

namespace vantor {

using device_api_detail::CommandTransport;
using device_api_detail::ExtUnitOnly;
using device_api_detail::State;

namespace {

int Ok(HResult rc) { return rc == kSOk ? 1 : 0; }

// Runs op(transport) on the transport the flags select; 0 without one.
template <class Op>
int Forward(std::uint32_t flags, Op op) {
  CVendorCmdCommon* cmd = CommandTransport(flags);
  return cmd != nullptr ? Ok(op(*cmd)) : 0;
}

// Runs op(extension unit) for the extension-unit-only functions; 0 without one.
template <class Op>
int ForwardExtUnit(Op op) {
  CExtUnit* xu = ExtUnitOnly();
  return xu != nullptr ? Ok(op(*xu)) : 0;
}

}  // namespace

int Lib_GetDevStatus104(LibHandle, std::uint8_t* buffer, std::uint32_t flags) {
  return Forward(flags, [&](CVendorCmdCommon& c) { return c.GetDevStatus(0, buffer, 104); });
}

int Lib_GetDevStatus(LibHandle, std::uint32_t firstPage, std::uint32_t count, std::uint8_t* buffer,
                     std::uint32_t flags) {
  return Forward(flags,
                 [&](CVendorCmdCommon& c) { return c.GetDevStatus(firstPage, buffer, count); });
}

int Lib_ReadMem(LibHandle, std::uint32_t address, std::uint32_t length, std::uint8_t* buffer,
                std::uint32_t flags) {
  return Forward(flags, [&](CVendorCmdCommon& c) {
    return c.ReadMem(address, length, buffer, nullptr, nullptr);
  });
}

int Lib_WriteMem(LibHandle, std::uint32_t address, std::uint32_t length, const std::uint8_t* buffer,
                 std::uint32_t flags) {
  return Forward(flags, [&](CVendorCmdCommon& c) {
    return c.WriteMem(address, length, buffer, nullptr, nullptr);
  });
}

int Lib_ResetToRom(LibHandle) {
  return Forward(0, [](CVendorCmdCommon& c) { return c.ResetToRom(); });
}

int Lib_NorFlash_Erase(LibHandle, std::uint32_t flags) {
  return Forward(flags, [](CVendorCmdCommon& c) { return c.NorFlash_Erase(); });
}

int Lib_NorFlash_Write(LibHandle, std::uint32_t address, std::uint32_t length,
                       const std::uint8_t* buffer, std::uint32_t flags) {
  return Forward(flags, [&](CVendorCmdCommon& c) {
    return c.NorFlash_Write(address, length, buffer, nullptr, nullptr);
  });
}

int Lib_NorFlash_WriteTag(LibHandle, std::uint32_t flags) {
  return Forward(flags, [](CVendorCmdCommon& c) { return c.NorFlash_WriteTag(); });
}

int Lib_SPI_SF_Read(LibHandle, std::uint32_t address, std::uint32_t length, std::uint8_t* buffer,
                    std::uint32_t flags, ProgressFn fn, void* ctx) {
  return Forward(flags, [&](CVendorCmdCommon& c) {
    return c.SPI_SF_Read(address, length, buffer, 0, fn, ctx);
  });
}

int Lib_SPI_SF_Write(LibHandle, std::uint32_t address, std::uint32_t length,
                     const std::uint8_t* buffer, std::uint32_t flags, ProgressFn fn, void* ctx) {
  return Forward(
      flags, [&](CVendorCmdCommon& c) { return c.SPI_SF_Write(address, length, buffer, fn, ctx); });
}

int Lib_SPI_SF_ReadSr(LibHandle, std::uint8_t* status, std::uint32_t flags) {
  return Forward(flags, [&](CVendorCmdCommon& c) { return c.SPI_SF_ReadSr(status); });
}

int Lib_SPI_SF_WriteSr(LibHandle, std::uint8_t value, std::uint32_t flags) {
  return Forward(flags, [&](CVendorCmdCommon& c) { return c.SPI_SF_WriteSr(value); });
}

int Lib_SPI_SF_EraseChip(LibHandle, std::uint32_t flags, std::uint32_t timeoutMs) {
  return Forward(flags, [&](CVendorCmdCommon& c) { return c.SPI_SF_EraseChip(timeoutMs); });
}

int Lib_SPI_SF_WriteTag(LibHandle, std::uint32_t flags) {
  return Forward(flags, [](CVendorCmdCommon& c) { return c.SPI_SF_WriteTag(); });
}

int Lib_I2C_EEP8_Erase(LibHandle, std::uint32_t size, std::uint32_t flags) {
  return Forward(flags, [&](CVendorCmdCommon& c) { return c.I2C_EEP8_Erase(size); });
}

int Lib_I2C_EEP8_Read(LibHandle, std::uint32_t address, std::uint32_t length, std::uint8_t* buffer,
                      std::uint32_t flags) {
  return Forward(flags, [&](CVendorCmdCommon& c) {
    return c.I2C_EEP8_Read(address, length, buffer, nullptr, nullptr);
  });
}

int Lib_I2C_EEP8_Write(LibHandle, std::uint32_t address, std::uint32_t length,
                       const std::uint8_t* buffer, std::uint32_t flags) {
  return Forward(flags, [&](CVendorCmdCommon& c) {
    return c.I2C_EEP8_Write(address, length, buffer, nullptr, nullptr);
  });
}

int Lib_I2C_EEP8_WriteTag(LibHandle, std::uint32_t flags) {
  return Forward(flags, [](CVendorCmdCommon& c) { return c.I2C_EEP8_WriteTag(); });
}

int Lib_I2C_EEP16_Erase(LibHandle, std::uint32_t address, std::uint32_t size, std::uint32_t) {
  if (std::uint64_t{address} + size > kEepromAddressLimit) {
    DebugPrint("Lib_I2C_EEP16_Erase: 0x%X bytes at 0x%X reach past the EEPROM's 0x%X\n", size,
               address, kEepromAddressLimit);
    return 0;
  }
  return ForwardExtUnit([&](CExtUnit& xu) {
    const std::vector<std::uint8_t> blank(size, 0xFF);
    return xu.I2C_EEP16_Write(address, size, blank.data(), nullptr, nullptr);
  });
}

int Lib_I2C_EEP16_Read(LibHandle, std::uint32_t address, std::uint32_t length, std::uint8_t* buffer,
                       std::uint32_t, ProgressFn fn, void* ctx) {
  return ForwardExtUnit(
      [&](CExtUnit& xu) { return xu.I2C_EEP16_Read(address, length, buffer, fn, ctx); });
}

int Lib_I2C_EEP16_Write(LibHandle, std::uint32_t address, std::uint32_t length,
                        const std::uint8_t* buffer, std::uint32_t, ProgressFn fn, void* ctx) {
  return ForwardExtUnit(
      [&](CExtUnit& xu) { return xu.I2C_EEP16_Write(address, length, buffer, fn, ctx); });
}

int Lib_I2C_EEP16_WriteTag(LibHandle, std::uint32_t) {
  return ForwardExtUnit([](CExtUnit& xu) { return xu.I2C_EEP16_WriteTag(); });
}

int Lib_OTP_Read(LibHandle, std::uint32_t address, std::uint32_t length, std::uint8_t* buffer,
                 std::uint32_t value1, std::uint32_t value2) {
  return ForwardExtUnit(
      [&](CExtUnit& xu) { return xu.OTP_Read(address, length, buffer, value1, value2); });
}

int Lib_OTP_ReadProgramFailAdr(LibHandle, std::uint32_t length, std::uint8_t* buffer) {
  return ForwardExtUnit([&](CExtUnit& xu) { return xu.OTP_ReadProgramFailAdr(length, buffer); });
}

int Lib_OTP_Write(LibHandle, std::uint32_t address, std::uint32_t mode, std::uint32_t length,
                  const std::uint8_t* buffer, std::uint32_t value1, std::uint32_t value2) {
  CExtUnit* xu = ExtUnitOnly();
  if (xu == nullptr) return 0;
  const HResult rc = xu->OTP_Write(address, length, mode, buffer, value1, value2);
  State().lastOtpCmdStatus = 0;
  if (State().libType == 0) State().lastOtpCmdStatus = xu->GetLastCmdStatus();
  return Ok(rc);
}

std::uint8_t Lib_GetLastOTPCmdStatus() { return State().lastOtpCmdStatus; }

int Lib_ChangeDataControlSize(LibHandle, std::uint16_t* size) {
  CExtUnit* xu = ExtUnitOnly();
  return xu != nullptr && size != nullptr && xu->ChangeDataControlSize(size) ? 1 : 0;
}

}  // namespace vantor
