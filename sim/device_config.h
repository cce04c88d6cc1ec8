// What one simulated device is: identity, functions, chip, memory, location on the bus,
// timing and faults. A device is made from a profile (flash-old, flash-new, ...) whose
// values the keys of its devices.ini section may override; sim/README.md lists them all.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/ini_file.h"

namespace vantor::sim {

enum class FunctionKind { kAudio, kCamera };
enum class MemoryKind { kNone, kSpiFlash, kEeprom8, kEeprom16, kOtp };
enum class VendorRequestMode { kFull, kLegacy, kOff };
enum class RootHubKind { kUsb2, kUsb3 };

// A request that a fault applies to: a control request (type, request, optionally a
// wValue), or a command block (group, opcode) of the extension-unit transport;
// optionally only at one memory address, and only after the first `skip` matches.
struct RequestMatch {
  RequestMatch() = default;
  RequestMatch(bool command, std::uint8_t type, std::uint8_t request,
               std::optional<std::uint16_t> value = {}, std::uint32_t count = 0,
               std::optional<std::uint32_t> address = {}, std::uint32_t skip = 0)
      : command(command),
        type(type),
        request(request),
        value(value),
        count(count),
        address(address),
        skip(skip) {}

  bool command = false;
  std::uint8_t type = 0;     // bmRequestType, or the command's group
  std::uint8_t request = 0;  // bRequest, or the command's opcode
  std::optional<std::uint16_t> value;
  std::uint32_t count = 0;  // how many times it applies; 0: every time
  // The address the request names: wValue bits 8..11 and wIndex of a vendor request,
  // p3 and p1 of a command block.
  std::optional<std::uint32_t> address;
  std::uint32_t skip = 0;  // matching requests let through before it applies
};

// Bits of one SPI flash byte that a fault holds.
struct FlashCell {
  std::uint32_t address = 0;
  std::uint8_t mask = 0xFF;
};

struct WeakCell {
  std::uint16_t address = 0;
  std::uint8_t mask = 0xFF;  // bits that do not take when programmed
};

struct DeviceTiming {
  std::uint32_t transferUs = 1000;    // each control transfer
  std::uint32_t byteNs = 1000;        // each data byte on the wire
  std::uint32_t pageProgramUs = 700;  // SPI flash, per 256-byte page
  std::uint32_t sectorEraseMs = 60;   // SPI flash, 4 KiB sector
  std::uint32_t chipEraseMs = 1000;   // SPI flash, whole chip
  std::uint32_t statusWriteMs = 15;   // SPI flash status register write
  std::uint32_t eepromWriteMs = 5;    // EEPROM write cycle, per page
  std::uint32_t otpByteUs = 50;       // OTP programming, per byte
  std::uint32_t leaveMs = 0;          // reset request until the device leaves the bus
  std::uint32_t reenumMs = 1500;      // leaving until the new instance appears
  std::uint32_t fastReenumMs = 300;   // the same for reset parameters 2 and 5
  std::uint32_t notReadyMs = 400;     // new instance answering "not ready"
};

struct DeviceFaults {
  std::vector<RequestMatch> stall;
  std::vector<RequestMatch> timeout;
  std::uint32_t disconnectAfter = 0;    // transfers until the device is unplugged; 0: never
  std::uint32_t reconnectMs = 0;        // how long it stays unplugged; 0: for the whole run
  bool stayBusy = false;                // the flash status register never leaves busy
  std::uint32_t extraNotReadyMs = 0;    // added to the not-ready time after each reset
  bool wrongSignature = false;          // "KESTRAL" followed by 0x01
  bool problem = false;                 // the function's node carries the problem flag
  std::vector<FlashCell> programStuck;  // flash bits that stay 1 when programmed
  std::vector<FlashCell> eraseStuck;    // flash bits that stay 0 through an erase
  bool statusStuck = false;             // the flash ignores every status register write
  // Transfers until the host program is gone (killed): a program run with the simulator
  // ends at once; in a test every later transfer fails as "gone" while the device stays
  // as it is, until this is cleared. 0: never.
  std::uint32_t killAfter = 0;
  std::uint32_t resetLost = 0;  // the device does not come back from this reset (1: first)
  bool bootRom = false;         // every boot runs ROM code, whatever the memory holds
};

struct DeviceConfig {
  std::string name;  // devices.ini section; memory files are <name>.spi.bin and so on
  std::string profile;

  FunctionKind function = FunctionKind::kAudio;
  std::uint16_t vid = 0;
  std::uint16_t pid = 0;
  std::uint16_t release = 0;
  std::string manufacturer;            // string 1: the text the tool shows as the serial text
  std::string product;                 // string 2; also the function's friendly name
  std::string serial;                  // string 3; empty: no serial string
  bool friendlyName = true;            // the function node has a friendly name
  std::string cameraClass = "Camera";  // setup class of a camera function

  // Chip.
  std::uint16_t chipId = 0;        // 0xFE21 (low byte) and 0xFE22 (high byte)
  std::uint16_t statusChipId = 0;  // status bytes 6..7
  std::uint8_t romVersion[5] = {0x01, 0x00, 0x01, 0x00, 0x01};
  std::uint8_t strapFec7 = 0;
  bool dualPackage = false;  // family 0x1010 package probe answers "dual"
  bool bootFromSpi = false;  // new family: valid flash firmware runs as "SPI" (8)

  // Transports.
  VendorRequestMode vendorRequests = VendorRequestMode::kFull;
  bool extensionUnit = true;
  std::uint8_t unitId = 6;
  bool secondUnit = false;
  bool commandUnit = true;  // camera: the command extension unit is present
  std::uint16_t maxDataControl = 1024;

  // Memory.
  MemoryKind memory = MemoryKind::kSpiFlash;
  std::uint32_t memorySize = 0x40000;
  std::uint8_t flashId[3] = {0xEF, 0x40, 0x12};
  std::uint32_t eepromPage = 16;
  bool eepromWpPin = true;  // the EEPROM's WP line is on the chip's pins (else tied low)
  std::uint16_t configAddress = 0xF000;
  std::uint16_t tagAddress = 0xEFFE;
  std::vector<WeakCell> otpWeak;
  bool otpLocked = false;

  // Location.
  RootHubKind hub = RootHubKind::kUsb2;
  std::uint32_t port = 1;
  std::uint32_t viaHub = 0;         // root port of an external hub in between; 0: none
  std::uint32_t companionPort = 0;  // 0: none (USB 3 root hubs default to port + 16)
  bool companionSwitch = false;     // runs firmware on the companion port

  DeviceTiming timing;
  DeviceFaults faults;

  bool newFamily() const;
  // Family key: the high nibbles of both chip id bytes.
  std::uint16_t family() const { return chipId & 0xF0F0; }
  // The mode register's address (0xC2A6 for chip id 0x7110).
  std::uint16_t modeRegister() const { return chipId == 0x7110 ? 0xC2A6 : 0xC2A8; }
  // The root port the device sits on, through the hub or not.
  std::uint32_t effectiveCompanion() const;
};

// The profile names, in the order sim/README.md lists them.
const std::vector<std::string>& ProfileNames();
// A device made from a profile; false when there is no such profile.
bool MakeProfile(std::string_view profile, std::string_view name, DeviceConfig& out);

// Reads one devices.ini section: its "profile" key (default flash-old), then every other
// key over it. False with a one-line reason for an unknown profile or key, or a value
// that does not parse.
bool LoadDeviceConfig(const CIniFile& ini, int section, DeviceConfig& out, std::string& error);
// The value of `key` in a section, with blanks around keys and values ignored (the
// simulator's files are written "key = value"); `fallback` when the key is absent.
std::string IniValue(const CIniFile& ini, int section, std::string_view key,
                     std::string_view fallback);
// The devices.ini lines of a device made by `init`: its profile, identity and location.
std::string DeviceConfigText(const DeviceConfig& config);

const char* MemoryKindName(MemoryKind kind);  // "spi", "eeprom8", "eeprom16", "otp", "none"
// File suffix of the memory ("spi", "eeprom", "otp"); null for none.
const char* MemoryFileSuffix(MemoryKind kind);
// Blank value of the memory (0xFF for flash and EEPROM, 0x00 for OTP).
std::uint8_t MemoryBlank(MemoryKind kind);

}  // namespace vantor::sim
