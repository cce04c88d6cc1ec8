// The device API: the flat functions through which the programming flows, the device
// flow and the front ends reach the device. It keeps one process-wide current device
// object (opened by Lib_OpenDevice, dropped by Lib_CloseDevice) and forwards each call
// to that object's command transport.
//
// Conventions of every device function:
// - The first argument is the caller's device handle. It does not select the device
//   (the current device is used); callers keep one handle per flow.
// - Results are truth values: 1 success, 0 failure (also when no device is open, or when
//   the transport a function needs is absent). The operations' own result codes are not
//   passed on; the transports trace them.
// - Bit kLibFlagExtUnit (0x20) of a flags word selects the extension-unit transport
//   instead of the device's preferred one (vendor requests when the device answers
//   them). Functions documented "extension unit only" use the extension-unit transport
//   when the lib type is 0, the device has its information block and the transport
//   exists; in every other case they fail.
//
// The current device is meant for one thread (the worker that runs the device
// operations); another thread may call Lib_SignalDeviceArrival at any time.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "device/vendor_cmd_common.h"
#include "platform/device_inventory.h"

namespace vantor {

class CCamDev;

// The handle Lib_OpenDevice returns: the device instance of the opened list entry.
using LibHandle = std::uint32_t;

// Bits of the flags words.
inline constexpr std::uint32_t kLibFlagKnownFlags = 0x01;  // resets: use the stored transport flags
inline constexpr std::uint32_t kLibFlagExtUnit = 0x20;     // use the extension-unit transport
inline constexpr std::uint32_t kLibFlagAudioList = 0x40;  // resets 9/10: reopen from the audio list

// The time budget of the resets with reopen.
inline constexpr std::uint32_t kLibResetBudgetMs = 15000;

// ---- Set-up, open and identity ----

// Stores the lib type ("Lib Type" setting: 0 normal; non-zero answers the identity
// functions from the hubs and disables the extension-unit-only functions) and sets up
// device access (proxy driver). Returns the set-up's result (1 when the proxy is open).
int Lib_Init(std::uint32_t unused, std::int32_t libType);
// Drops any current device and takes device access down. Returns 1.
int Lib_Uninit();
std::int32_t Lib_GetLibType();

// Number of entries of the audio device list (8-bit).
std::uint8_t Lib_GetDeviceCount();
// With a device open: its handle, without listing anything. Otherwise opens the index-th
// entry of the audio device list into the current device; 0 when the index is beyond the
// list, the open fails, or the device does not qualify (its extension unit does not
// answer with the vendor signature); nothing stays open then.
LibHandle Lib_OpenDevice(std::uint32_t index);
// Drops the current device (its record's handles are released). Returns 1.
int Lib_CloseDevice(LibHandle handle);
// The current device's device instance, or 0.
LibHandle Lib_GetHandle();
// Extension unit only: the device answers the qualify command with the vendor signature.
int Lib_DevQualify(LibHandle handle);

// idVendor, idProduct and bcdDevice of the current device's device descriptor; with a
// non-zero lib type those the hub reports for the USB device `handle`. Fails when
// idVendor, idProduct or the handle is missing. bcdDevice may be null.
int Lib_GetIds(LibHandle handle, std::uint16_t* idVendor, std::uint16_t* idProduct,
               std::uint16_t* bcdDevice);
// Lib_GetIds and the manufacturer string (string descriptor of the index the device
// descriptor names, language 0x0409, 256 bytes; empty when the device names none).
// `manufacturer` may be null.
int Lib_GetDevInfo(LibHandle handle, std::uint16_t* idVendor, std::uint16_t* idProduct,
                   std::uint16_t* bcdDevice, std::wstring* manufacturer);
// The manufacturer string without an open device: lib type 0 opens list entry 0, reads
// it and drops the device again (fails while a device is open); a non-zero lib type
// takes the first identified entry of the hub-based list.
int Lib_GetManufacturerString(std::wstring* text);
// The serial-number string of the current device (non-zero lib type: of the USB device
// `handle`, as its hub reports it).
int Lib_GetSerialString(LibHandle handle, std::wstring* text);
// The product string of the current device (string descriptor of the index the device
// descriptor names, language 0x0409).
int Lib_GetProductString(LibHandle handle, std::wstring* text);
// The current device record's display name.
int Lib_GetDeviceName(LibHandle handle, std::wstring* text);
// A device instance's address property (0 when it has none) and its hub's device
// instance: the parent, or for an interface instance ("MI_" in its ID) the parent's
// parent. Fails when the instance or its parents cannot be read.
int Lib_GetPortInfo(platform::DevInst devInst, std::uint32_t* address, platform::DevInst* hub);
// The version record of a firmware image: the eight bytes at offset 283 (4108 when the
// length is at least 0x10000) as "%01X.%01X%02X.%04X-%04X.%04X" (high and low nibble of
// the first byte, the second byte, three big-endian words), and those six numbers.
// Fails when the buffer is too short to hold the record. `text`, `fields` may be null.
int Lib_FormatVersion(const std::uint8_t* buffer, std::uint32_t length, std::wstring* text,
                      std::array<std::uint16_t, 6>* fields);

// ---- Command forwarding (preferred transport unless flag 0x20) ----

// GetDevStatus(0, buffer, 104).
int Lib_GetDevStatus104(LibHandle handle, std::uint8_t* buffer, std::uint32_t flags);
// GetDevStatus(firstPage, buffer, count) (the flows read pages 128 to 131: 128, 32).
int Lib_GetDevStatus(LibHandle handle, std::uint32_t firstPage, std::uint32_t count,
                     std::uint8_t* buffer, std::uint32_t flags);
int Lib_ReadMem(LibHandle handle, std::uint32_t address, std::uint32_t length, std::uint8_t* buffer,
                std::uint32_t flags);
int Lib_WriteMem(LibHandle handle, std::uint32_t address, std::uint32_t length,
                 const std::uint8_t* buffer, std::uint32_t flags);
// ResetToRom without a reopen.
int Lib_ResetToRom(LibHandle handle);
int Lib_NorFlash_Erase(LibHandle handle, std::uint32_t flags);
int Lib_NorFlash_Write(LibHandle handle, std::uint32_t address, std::uint32_t length,
                       const std::uint8_t* buffer, std::uint32_t flags);
int Lib_NorFlash_WriteTag(LibHandle handle, std::uint32_t flags);
// SPI_SF_Read with read mode 0.
int Lib_SPI_SF_Read(LibHandle handle, std::uint32_t address, std::uint32_t length,
                    std::uint8_t* buffer, std::uint32_t flags, ProgressFn fn, void* ctx);
int Lib_SPI_SF_Write(LibHandle handle, std::uint32_t address, std::uint32_t length,
                     const std::uint8_t* buffer, std::uint32_t flags, ProgressFn fn, void* ctx);
int Lib_SPI_SF_ReadSr(LibHandle handle, std::uint8_t* status, std::uint32_t flags);
int Lib_SPI_SF_WriteSr(LibHandle handle, std::uint8_t value, std::uint32_t flags);
int Lib_SPI_SF_EraseChip(LibHandle handle, std::uint32_t flags, std::uint32_t timeoutMs);
int Lib_SPI_SF_WriteTag(LibHandle handle, std::uint32_t flags);
int Lib_I2C_EEP8_Erase(LibHandle handle, std::uint32_t size, std::uint32_t flags);
int Lib_I2C_EEP8_Read(LibHandle handle, std::uint32_t address, std::uint32_t length,
                      std::uint8_t* buffer, std::uint32_t flags);
int Lib_I2C_EEP8_Write(LibHandle handle, std::uint32_t address, std::uint32_t length,
                       const std::uint8_t* buffer, std::uint32_t flags);
int Lib_I2C_EEP8_WriteTag(LibHandle handle, std::uint32_t flags);

// ---- Extension unit only ----

// The I2C EEPROM address space the chip reaches (20 address bits): no EEPROM behind it
// holds more.
inline constexpr std::uint32_t kEepromAddressLimit = 0x100000;

// Fills `size` bytes at `address` with 0xFF (I2C_EEP16_Write). A range reaching past
// kEepromAddressLimit fails at once (traced) and sends nothing.
int Lib_I2C_EEP16_Erase(LibHandle handle, std::uint32_t address, std::uint32_t size,
                        std::uint32_t flags);
int Lib_I2C_EEP16_Read(LibHandle handle, std::uint32_t address, std::uint32_t length,
                       std::uint8_t* buffer, std::uint32_t flags, ProgressFn fn, void* ctx);
int Lib_I2C_EEP16_Write(LibHandle handle, std::uint32_t address, std::uint32_t length,
                        const std::uint8_t* buffer, std::uint32_t flags, ProgressFn fn, void* ctx);
int Lib_I2C_EEP16_WriteTag(LibHandle handle, std::uint32_t flags);
int Lib_OTP_Read(LibHandle handle, std::uint32_t address, std::uint32_t length,
                 std::uint8_t* buffer, std::uint32_t value1, std::uint32_t value2);
int Lib_OTP_ReadProgramFailAdr(LibHandle handle, std::uint32_t length, std::uint8_t* buffer);
// OTP_Write(address, length, mode, buffer); afterwards the last OTP command status is
// the transport's last command status (lib type 0), else 0.
int Lib_OTP_Write(LibHandle handle, std::uint32_t address, std::uint32_t mode, std::uint32_t length,
                  const std::uint8_t* buffer, std::uint32_t value1, std::uint32_t value2);
// The command status byte after the last Lib_OTP_Write (VCMD_STS_...; 0 when the
// transport reported none).
std::uint8_t Lib_GetLastOTPCmdStatus();
// Asks the device for another data control size; *size is in/out (ends as the size in
// force). Fails without an extension unit.
int Lib_ChangeDataControlSize(LibHandle handle, std::uint16_t* size);

// Sets the current device's arrival event (lib type 0), which ends the settle wait of a
// running reset. Callable from any thread. Returns 1 when an event was set.
int Lib_SignalDeviceArrival();

// ---- Resets with reopen ----
// Each resets the current device, waits `settleMs` (or for the arrival event), finds the
// re-enumerated device at the same place of the bus within kLibResetBudgetMs and makes
// it the current device, rebuilding its transports. Success: *outHandle receives the
// new handle and the result is 1 (0 when the reopened device has no command transport).
// Failure: the current device is dropped, *outHandle receives Lib_OpenDevice(0) (an
// attempt to open the first listed device again) and the result is 0.

// Into update code (kind 7) with `argument` as the reset parameter; the transport is
// determined from the device; flag 0x20 prefers the extension unit.
int Lib_Reset7(LibHandle* outHandle, std::uint32_t argument, std::uint32_t flags,
               std::uint32_t settleMs);
// Into ROM (kind 9). Flag 0x40 reopens from the audio list, else from the camera list;
// flag 0x01 uses the stored transport flags; flag 0x20 prefers the extension unit.
int Lib_Reset9(LibHandle* outHandle, std::uint32_t flags, std::uint32_t settleMs);
// Into ROM through vendor requests only (kind 10); flags as Lib_Reset9.
int Lib_Reset10(LibHandle* outHandle, std::uint32_t flags, std::uint32_t settleMs);

// The current device object, or null (tests and diagnostics; the flows use the
// functions above).
CCamDev* Lib_GetCurrentDevice();

}  // namespace vantor
