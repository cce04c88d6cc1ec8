// The chip model of one simulated device: its descriptors, both command transports
// (vendor requests and the extension unit's command and data controls), status pages,
// registers, memory, resets and re-enumeration. Its state is a function of virtual time:
// a reset takes the device off the bus until the new instance appears, which then
// answers "not ready" for a while before it runs ROM code, update code, or the firmware
// it finds valid in its memory.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/mapped_file.h"
#include "sim/chip_registers.h"
#include "sim/device_config.h"
#include "sim/i2c_eeprom.h"
#include "sim/otp_memory.h"
#include "sim/spi_flash.h"
#include "sim/usb_wire.h"

namespace vantor::sim {

// Command status codes of the extension unit's command control.
inline constexpr std::uint8_t kStsCmd = 0x00;
inline constexpr std::uint8_t kStsDataIn = 0x01;
inline constexpr std::uint8_t kStsDataOut = 0x02;
inline constexpr std::uint8_t kStsErrDir = 0x03;
inline constexpr std::uint8_t kStsNotFinish = 0x04;
inline constexpr std::uint8_t kStsErrLen = 0x05;
inline constexpr std::uint8_t kStsUnknownSubCmd = 0x06;
inline constexpr std::uint8_t kStsOutOfRange = 0x07;
inline constexpr std::uint8_t kStsUnknownCmd = 0x08;
inline constexpr std::uint8_t kStsHwErr = 0x09;

enum class RunState : std::uint8_t { kRom, kUpdate, kFirmware };
const char* RunStateName(RunState state);  // "rom", "update", "firmware"

// What the device keeps between runs of the tool (it stays powered).
struct DeviceState {
  RunState run = RunState::kRom;
  std::uint8_t mode = 0;         // the running-mode register
  std::uint8_t version[8] = {};  // version record of what runs
  bool onCompanion = false;      // attached on its companion port
  std::uint8_t flashStatus = 0;  // non-volatile status bits of the SPI flash
};

struct DeviceCounters {
  std::uint64_t descriptorTransfers = 0;
  std::uint64_t vendorTransfers = 0;
  std::uint64_t classTransfers = 0;
  std::uint64_t ok = 0;
  std::uint64_t stall = 0;
  std::uint64_t gone = 0;
  std::uint64_t notReady = 0;
  std::uint64_t timeout = 0;
  std::uint64_t bytesIn = 0;
  std::uint64_t bytesOut = 0;
  std::uint64_t commands = 0;
  std::uint64_t resets = 0;
};

struct TransferResult {
  enum class Kind { kOk, kStall, kTimeout };
  Kind kind = Kind::kOk;
  std::uint32_t moved = 0;
  std::uint64_t costUs = 0;
};

class SimDevice {
 public:
  enum class Presence { kAbsent, kNotReady, kReady };

  // `memory`: the mapped memory file, or null for memory held in the process (blank).
  SimDevice(DeviceConfig config, std::unique_ptr<platform::MappedFile> memory, std::uint64_t nowUs);
  ~SimDevice();
  SimDevice(const SimDevice&) = delete;
  SimDevice& operator=(const SimDevice&) = delete;

  const DeviceConfig& config() const { return config_; }
  // Faults and timing may be changed at any time (tests).
  DeviceFaults& faults() { return config_.faults; }
  DeviceTiming& timing() { return config_.timing; }

  // Where the device is at `nowUs`; applies a re-enumeration that has finished.
  Presence PresenceAt(std::uint64_t nowUs);
  // The instance generation: it changes each time the device appears anew.
  std::uint32_t epoch() const { return epoch_; }
  // The root (or hub) port it is attached on now.
  std::uint32_t currentPort() const;

  // One control transfer of a ready device; `data` holds wLength bytes.
  TransferResult Control(const ControlSetup& setup, std::uint8_t* data, std::uint64_t nowUs);

  const std::vector<std::uint8_t>& deviceDescriptor() const { return deviceDescriptor_; }
  std::optional<std::vector<std::uint8_t>> StringDescriptor(std::uint8_t index) const;

  const DeviceState& state() const;
  void RestoreState(const DeviceState& state);
  // Power off and on: the device boots from its memory at once (after `load`).
  void PowerCycle(std::uint64_t nowUs);
  // Takes the device off the bus for good, or for `ms` (then it appears anew).
  void Unplug(std::uint64_t nowUs, std::uint32_t ms);

  // The 104 status bytes (pages 0 to 12) and the 32 bytes of pages 128 to 131.
  std::array<std::uint8_t, 104> StatusArea() const;
  std::array<std::uint8_t, 32> ExtendedStatusArea() const;
  // The version text the tool shows for what runs.
  std::string VersionText() const;
  std::string ModeText() const;

  std::uint8_t* memory() { return memory_; }
  std::size_t memorySize() const { return config_.memorySize; }
  // Called whenever the state to keep between runs has changed.
  void set_stateChanged(std::function<void()> fn) { stateChanged_ = std::move(fn); }

  DeviceCounters& counters() { return counters_; }
  // Control transfers that reached the device since it was made.
  std::uint64_t transferCount() const { return transfers_; }
  // The host program is gone (the kill fault has fired): nothing reaches the device.
  bool HostGone() const {
    return config_.faults.killAfter != 0 && transfers_ >= config_.faults.killAfter;
  }
  std::uint16_t dataControlSize() const { return dataControlSize_; }
  ChipRegisters& registers() { return registers_; }
  SpiFlash* flash() { return flash_.get(); }
  OtpMemory* otp() { return otp_.get(); }

 private:
  enum class Op;
  struct Command;
  struct Pending {
    std::uint64_t leaveAtUs;  // still on the bus, as it was, until then
    std::uint64_t backAtUs;
    std::uint64_t readyAtUs;
    int kind;  // 7 update code, 8 or 9 normal boot, 0 power-on
    bool forever;
    bool poweredDown = false;  // gone for good, and booted for the next time it is plugged in
  };

  TransferResult Descriptor(const ControlSetup& setup, std::uint8_t* data);
  TransferResult Vendor(const ControlSetup& setup, std::uint8_t* data, std::uint64_t nowUs);
  TransferResult ExtensionUnit(const ControlSetup& setup, std::uint8_t* data, std::uint64_t nowUs);
  TransferResult XuCommand(const std::uint8_t* block, std::uint64_t nowUs);
  TransferResult XuData(bool in, std::uint8_t* data, std::uint16_t length, std::uint64_t nowUs);
  void XuFail(std::uint8_t status);

  bool DecodeBlock(const std::uint8_t* block, Command& cmd, std::uint8_t& status) const;
  bool DecodeVendor(const ControlSetup& setup, Command& cmd) const;
  std::uint8_t StartCommand(Command& cmd, std::uint64_t nowUs, std::uint64_t& costUs,
                            std::vector<std::uint8_t>& inData);
  std::uint8_t CommandData(Command& cmd, std::uint32_t offset, const std::uint8_t* data,
                           std::size_t length, std::uint64_t nowUs, std::uint64_t& costUs);
  // The controller's firmware polls the flash's busy bit after each operation it starts:
  // `atUs` becomes the time the flash is ready. False when it never gets ready.
  bool WaitFlashReady(std::uint64_t& atUs) const;
  // The firmware's flash program (page by page) and erase, each waiting for the flash.
  std::uint8_t ProgramFlash(std::uint32_t address, const std::uint8_t* data, std::size_t length,
                            std::uint64_t nowUs, std::uint64_t& costUs);
  std::uint8_t EraseFlash(bool chip, std::uint32_t address, std::uint64_t nowUs,
                          std::uint64_t& costUs);
  void StatusPage(std::uint8_t page, std::uint8_t* out, std::size_t length) const;

  void ScheduleReset(int kind, std::uint16_t param, std::uint64_t atUs);
  void Boot(int kind);
  bool EvaluateFirmware(std::uint8_t& mode, std::uint8_t version[8], bool& fromSpiOtp) const;
  std::uint8_t CodeByte(std::uint32_t address) const;
  bool MatchFault(std::vector<RequestMatch>& rules, const ControlSetup& setup,
                  const std::uint8_t* data);
  void NotifyState();

  DeviceConfig config_;
  std::unique_ptr<platform::MappedFile> mapped_;
  std::vector<std::uint8_t> ownMemory_;
  std::uint8_t* memory_ = nullptr;
  std::unique_ptr<SpiFlash> flash_;
  std::unique_ptr<I2cEeprom> eeprom_;
  std::unique_ptr<OtpMemory> otp_;
  ChipRegisters registers_;
  std::array<std::uint8_t, 256> imem_{};
  std::vector<std::uint8_t> phy_;
  std::vector<std::uint16_t> i2cRegisters_;
  std::vector<std::uint8_t> deviceDescriptor_;
  std::vector<std::uint8_t> configDescriptor_;

  mutable DeviceState state_;
  std::uint32_t epoch_ = 1;
  std::optional<Pending> pending_;
  std::uint64_t readyAtUs_ = 0;
  std::uint64_t transfers_ = 0;

  // Extension-unit protocol.
  enum class XuPhase { kIdle, kDataIn, kDataOut, kError };
  XuPhase xuPhase_ = XuPhase::kIdle;
  std::uint8_t xuStatus_ = kStsCmd;
  std::uint8_t xuLastBlock_[8] = {};
  std::unique_ptr<Command> xuCommand_;
  std::vector<std::uint8_t> xuInData_;
  std::uint32_t xuDone_ = 0;
  std::uint16_t dataControlSize_ = 8;

  DeviceCounters counters_;
  std::function<void()> stateChanged_;
};

}  // namespace vantor::sim
