#include "sim/sim_device.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "sim/usb_descriptors.h"

namespace vantor::sim {

const char* RunStateName(RunState state) {
  switch (state) {
    case RunState::kUpdate:
      return "update";
    case RunState::kFirmware:
      return "firmware";
    case RunState::kRom:
      break;
  }
  return "rom";
}

enum class SimDevice::Op {
  kGetStatus,
  kResetUpdate,
  kResetNew,
  kResetRom,
  kLegacyReset,
  kPing,
  kReadIMem,
  kReadMem,
  kWriteMem,
  kReadCode,
  kReadPhy,
  kWritePhy,
  kNorErase,
  kNorRead,
  kNorWrite,
  kNorTag,
  kSfReadId,
  kSfRead,
  kSfWrite,
  kSfReadSr,
  kSfWriteSr,
  kSfEraseChip,
  kSfEraseSector,
  kSfTag,
  kEep8Read,
  kEep8Write,
  kEep16Read,
  kEep16Write,
  kI2cRegRead,
  kI2cRegWrite,
  kI2cSlave,
  kOtpWrite,
  kOtpRead,
  kOtpBlankCheck,
  kOtpAllBlankCheck,
  kOtpFailReport,
  kOtpTestDec,
  kDevQualify,
  kChangeSize,
};

struct SimDevice::Command {
  Op op = Op::kGetStatus;
  bool in = false;
  bool data = false;
  std::uint32_t address = 0;
  std::uint32_t length = 0;
  std::uint16_t param = 0;
};

namespace {

constexpr std::uint8_t kSignature[8] = {'K', 'E', 'S', 'T', 'R', 'A', 'L', 0};
// A command the controller never finishes (it waits for a flash that stays busy): the
// request gets no answer.
constexpr std::uint8_t kHang = 0xFF;

std::uint64_t Ms(std::uint32_t ms) { return std::uint64_t{ms} * 1000; }

}  // namespace

SimDevice::SimDevice(DeviceConfig config, std::unique_ptr<platform::MappedFile> memory,
                     std::uint64_t nowUs)
    : config_(std::move(config)),
      mapped_(std::move(memory)),
      registers_(config_),
      phy_(0x10000, 0),
      i2cRegisters_(0x10000, 0) {
  if (config_.memory == MemoryKind::kNone) config_.memorySize = 0;
  if (mapped_ != nullptr) {
    memory_ = mapped_->data();
  } else if (config_.memorySize != 0) {
    ownMemory_.assign(config_.memorySize, MemoryBlank(config_.memory));
    memory_ = ownMemory_.data();
  }
  switch (config_.memory) {
    case MemoryKind::kSpiFlash:
      flash_ =
          std::make_unique<SpiFlash>(memory_, config_.memorySize, config_.timing, config_.faults);
      break;
    case MemoryKind::kEeprom8:
    case MemoryKind::kEeprom16:
      eeprom_ = std::make_unique<I2cEeprom>(memory_, config_.memorySize, config_.eepromPage,
                                            config_.timing.eepromWriteMs);
      break;
    case MemoryKind::kOtp:
      otp_ = std::make_unique<OtpMemory>(memory_, config_.otpWeak, config_.timing);
      break;
    case MemoryKind::kNone:
      break;
  }
  deviceDescriptor_ = BuildDeviceDescriptor(config_);
  configDescriptor_ = BuildConfigDescriptor(config_);
  Boot(0);
  readyAtUs_ = nowUs;
}

SimDevice::~SimDevice() = default;

std::uint32_t SimDevice::currentPort() const {
  std::uint32_t companion = config_.effectiveCompanion();
  if (state_.onCompanion && companion != 0) return companion;
  return config_.port;
}

std::optional<std::vector<std::uint8_t>> SimDevice::StringDescriptor(std::uint8_t index) const {
  return BuildStringDescriptor(config_, index);
}

const DeviceState& SimDevice::state() const {
  state_.flashStatus = flash_ ? flash_->statusBits() : 0;
  return state_;
}

void SimDevice::RestoreState(const DeviceState& state) {
  state_ = state;
  if (flash_) flash_->set_statusBits(state.flashStatus);
  registers_.Reset(state_.mode);
}

void SimDevice::NotifyState() {
  if (stateChanged_) stateChanged_();
}

// ---------------------------------------------------------------- presence and resets

SimDevice::Presence SimDevice::PresenceAt(std::uint64_t nowUs) {
  if (pending_ && nowUs < pending_->leaveAtUs) {
    return nowUs < readyAtUs_ ? Presence::kNotReady : Presence::kReady;
  }
  if (pending_) {
    if (pending_->forever) {
      if (!pending_->poweredDown) {
        // Off the bus for good: plugged in again it starts from its memory.
        pending_->poweredDown = true;
        ++epoch_;
        Boot(0);
        NotifyState();
      }
      return Presence::kAbsent;
    }
    if (nowUs < pending_->backAtUs) return Presence::kAbsent;
    Pending done = *pending_;
    pending_.reset();
    ++epoch_;
    Boot(done.kind);
    readyAtUs_ = done.readyAtUs;
    NotifyState();
  }
  return nowUs < readyAtUs_ ? Presence::kNotReady : Presence::kReady;
}

void SimDevice::ScheduleReset(int kind, std::uint16_t param, std::uint64_t atUs) {
  bool fast = param == 2 || param == 5;
  std::uint64_t leave = atUs + Ms(config_.timing.leaveMs);
  std::uint64_t back = leave + Ms(fast ? config_.timing.fastReenumMs : config_.timing.reenumMs);
  std::uint64_t ready = back + Ms(config_.timing.notReadyMs) + Ms(config_.faults.extraNotReadyMs);
  ++counters_.resets;
  bool lost = config_.faults.resetLost != 0 && counters_.resets == config_.faults.resetLost;
  pending_ = Pending{leave, back, ready, kind, lost};
}

void SimDevice::Unplug(std::uint64_t nowUs, std::uint32_t ms) {
  pending_ =
      Pending{nowUs, nowUs + Ms(ms), nowUs + Ms(ms) + Ms(config_.timing.notReadyMs), 0, ms == 0};
}

void SimDevice::PowerCycle(std::uint64_t nowUs) {
  pending_.reset();
  ++epoch_;
  Boot(0);
  readyAtUs_ = nowUs;
  NotifyState();
}

void SimDevice::Boot(int kind) {
  xuPhase_ = XuPhase::kIdle;
  xuStatus_ = kStsCmd;
  xuCommand_.reset();
  xuInData_.clear();
  dataControlSize_ = 8;
  std::uint8_t rom[8] = {config_.romVersion[0],
                         config_.romVersion[1],
                         config_.romVersion[2],
                         config_.romVersion[3],
                         config_.romVersion[4],
                         0,
                         0,
                         0};
  std::uint8_t mode = 0;
  std::uint8_t version[8];
  bool spiOtp = false;
  if (kind != 7 && !config_.faults.bootRom && EvaluateFirmware(mode, version, spiOtp)) {
    state_.run = RunState::kFirmware;
    state_.mode = mode;
    std::memcpy(state_.version, version, 8);
    state_.onCompanion = config_.companionSwitch;
  } else {
    state_.run = kind == 7 ? RunState::kUpdate : RunState::kRom;
    state_.mode = 0;
    std::memcpy(state_.version, rom, 8);
    state_.onCompanion = false;
  }
  registers_.Reset(state_.mode);
}

bool SimDevice::EvaluateFirmware(std::uint8_t& mode, std::uint8_t version[8],
                                 bool& fromSpiOtp) const {
  const std::uint8_t* m = memory_;
  std::size_t size = config_.memorySize;
  auto versionAt = [&](const std::uint8_t* base, std::size_t available, std::size_t offset) {
    if (offset + 8 <= available) {
      std::memcpy(version, base + offset, 8);
    } else {
      std::uint8_t rom[8] = {config_.romVersion[0],
                             config_.romVersion[1],
                             config_.romVersion[2],
                             config_.romVersion[3],
                             config_.romVersion[4],
                             0,
                             0,
                             0};
      std::memcpy(version, rom, 8);
    }
  };
  fromSpiOtp = false;
  switch (config_.memory) {
    case MemoryKind::kSpiFlash: {
      std::uint16_t start = 0;
      std::uint16_t length = 0;
      if (config_.newFamily() && size >= OtpMemory::kSize &&
          std::all_of(m + 0x3F60, m + 0x3F70, [](std::uint8_t b) { return b == 0; }) &&
          OtpMemory::FindBlock(m, 0x55, start, length) && m[start + 1] == 0xA5) {
        // The flash stands in for OTP memory.
        fromSpiOtp = true;
        mode = 24;
        versionAt(m + start, length, 0x11B);
        return true;
      }
      bool small = m[1] == 0xA5 && (m[0] == 0x30 || m[0] == 0x55 || m[0] == 0x61);
      std::uint32_t tag = config_.tagAddress;
      std::uint32_t cfg = config_.configAddress;
      // A code image: code at address 0 and the configuration area's header in place.
      bool image = tag + 1 < size && cfg + 1 < size && m[0] != 0x00 && m[0] != 0xFF &&
                   m[cfg] != 0x00 && m[cfg] != 0xFF && m[cfg + 1] == 0xA5;
      bool valid = small;
      if (!valid && image) {
        // The old family runs it only under its tag; the new family unless the tag bytes
        // were cleared to stop it.
        valid = config_.newFamily() ? !(m[tag] == 0x00 && m[tag + 1] == 0x00)
                                    : m[tag] == 0x55 && m[tag + 1] == 0xAA;
      }
      if (!valid) return false;
      mode = config_.bootFromSpi ? 8 : 32;
      versionAt(m, size, small ? 0x11B : 0x100C);
      return true;
    }
    case MemoryKind::kEeprom8:
    case MemoryKind::kEeprom16:
      if (size < 2 || m[1] != 0xA5) return false;
      mode = 8;
      versionAt(m, size, 0x11B);
      return true;
    case MemoryKind::kOtp: {
      std::uint16_t start = 0;
      std::uint16_t length = 0;
      if (!OtpMemory::FindBlock(m, 0x55, start, length)) return false;
      std::vector<std::uint8_t> block(length);
      otp_->ReadEffective(start, block.data(), length);
      if (length < 2 || block[1] != 0xA5) return false;
      mode = 16;
      versionAt(block.data(), length, 0x11B);
      return true;
    }
    case MemoryKind::kNone:
      break;
  }
  return false;
}

// ---------------------------------------------------------------- status pages

std::array<std::uint8_t, 104> SimDevice::StatusArea() const {
  std::array<std::uint8_t, 104> s{};
  const std::uint8_t* rom = config_.romVersion;
  s[0] = 0x01;
  s[1] = static_cast<std::uint8_t>(state_.run);
  // ROM build number; the top two bits of byte 5 tell the storage kind.
  std::uint8_t storage = 0;
  if (config_.memory == MemoryKind::kEeprom8 || config_.memory == MemoryKind::kEeprom16) {
    storage = 0x80;
  } else if (config_.memory == MemoryKind::kOtp) {
    storage = 0x40;
  }
  s[4] = rom[4];
  s[5] = static_cast<std::uint8_t>((rom[3] & 0x3F) | storage);
  s[6] = static_cast<std::uint8_t>(config_.statusChipId);
  s[7] = static_cast<std::uint8_t>(config_.statusChipId >> 8);
  std::memcpy(&s[24], kSignature, 8);
  if (config_.faults.wrongSignature) s[31] = 0x01;
  if (state_.run == RunState::kFirmware) {
    // First version block active, dotted format, running cached code (low nibble 1).
    const std::uint8_t* v = state_.version;
    s[64] = 0x31;
    s[76] = v[3];
    s[77] = v[2];
    s[78] = v[1];
    s[79] = v[0];
    s[80] = v[7];
    s[81] = v[6];
    s[82] = v[5];
    s[83] = v[4];
  } else {
    // ROM or update code: plain format from the ROM version, not cached.
    s[64] = 0x00;
    s[67] = rom[0];
    s[70] = rom[1];
    s[71] = rom[2];
  }
  return s;
}

std::array<std::uint8_t, 32> SimDevice::ExtendedStatusArea() const {
  std::array<std::uint8_t, 32> x{};
  x[0] = state_.mode;
  x[1] = static_cast<std::uint8_t>(state_.run);
  std::memcpy(&x[12], state_.version, 8);
  return x;
}

void SimDevice::StatusPage(std::uint8_t page, std::uint8_t* out, std::size_t length) const {
  std::uint8_t bytes[8] = {};
  if (page < 13) {
    auto s = StatusArea();
    std::memcpy(bytes, &s[page * 8u], 8);
  } else if (page >= 128 && page < 132) {
    auto x = ExtendedStatusArea();
    std::memcpy(bytes, &x[(page - 128u) * 8u], 8);
  }
  std::memcpy(out, bytes, std::min<std::size_t>(length, 8));
}

std::string SimDevice::VersionText() const {
  char text[64];
  const std::uint8_t* v = state_.version;
  if (state_.run == RunState::kFirmware) {
    std::snprintf(text, sizeof text, "%01X.%01X%02X.%04X-%04X.%04X", v[0] >> 4, v[0] & 0x0F, v[1],
                  v[2] << 8 | v[3], v[4] << 8 | v[5], v[6] << 8 | v[7]);
  } else {
    auto s = StatusArea();
    std::snprintf(text, sizeof text, "0x%02X-%02X%02X-%02X%02X", s[67], s[70], s[71], s[5], s[4]);
  }
  return text;
}

std::string SimDevice::ModeText() const {
  if (!registers_.HasModeRegister()) return RunStateName(state_.run);
  switch (state_.mode) {
    case 0:
      return "ROM";
    case 8:
      return "SPI";
    case 16:
      return "ROM&&OTP";
    case 24:
      return "SPI&&OTP";
    case 32:
      return "ROM&&SPI";
    default:
      return "Unknown";
  }
}

// ---------------------------------------------------------------- control transfers

bool SimDevice::MatchFault(std::vector<RequestMatch>& rules, const ControlSetup& setup,
                           const std::uint8_t* data) {
  for (auto it = rules.begin(); it != rules.end(); ++it) {
    bool hit = false;
    std::uint32_t address = 0;
    if (it->command) {
      hit = setup.bmRequestType == 0x21 && setup.bRequest == 0x01 && (setup.wValue >> 8) == 0x0A &&
            setup.wLength == 8 && data[0] == it->type && data[1] == it->request;
      if (hit) address = std::uint32_t{data[7]} << 24 | data[6] << 16 | data[3] << 8 | data[2];
    } else {
      hit = setup.bmRequestType == it->type && setup.bRequest == it->request &&
            (!it->value || *it->value == setup.wValue);
      address = (std::uint32_t{setup.wValue} >> 8 & 0x0F) << 16 | setup.wIndex;
    }
    if (!hit || (it->address && *it->address != address)) continue;
    if (it->skip != 0) {
      --it->skip;
      continue;
    }
    if (it->count != 0 && --it->count == 0) rules.erase(it);
    return true;
  }
  return false;
}

TransferResult SimDevice::Control(const ControlSetup& setup, std::uint8_t* data,
                                  std::uint64_t nowUs) {
  std::uint8_t type = setup.bmRequestType & 0x60;
  if (type == 0x00) {
    ++counters_.descriptorTransfers;
  } else if (type == 0x40) {
    ++counters_.vendorTransfers;
  } else {
    ++counters_.classTransfers;
  }
  TransferResult r;
  std::uint64_t base = config_.timing.transferUs;
  if (MatchFault(config_.faults.timeout, setup, data)) {
    r.kind = TransferResult::Kind::kTimeout;
    r.costUs = ~std::uint64_t{0};
  } else if (MatchFault(config_.faults.stall, setup, data)) {
    r.kind = TransferResult::Kind::kStall;
    // A command the device refuses leaves its error state for the host to read.
    if (type == 0x20 && !setup.in() && (setup.wValue >> 8) == 0x0A) XuFail(kStsHwErr);
  } else if (type == 0x00) {
    r = Descriptor(setup, data);
  } else if (type == 0x40) {
    r = Vendor(setup, data, nowUs);
  } else if (type == 0x20 && (setup.bmRequestType & 0x1F) == 0x01) {
    r = ExtensionUnit(setup, data, nowUs);
  } else {
    r.kind = TransferResult::Kind::kStall;
  }
  if (r.kind != TransferResult::Kind::kTimeout) {
    r.costUs += base + std::uint64_t{r.moved} * config_.timing.byteNs / 1000;
  }
  ++transfers_;
  if (config_.faults.disconnectAfter != 0 && transfers_ == config_.faults.disconnectAfter) {
    Unplug(nowUs + (r.kind == TransferResult::Kind::kTimeout ? 0 : r.costUs),
           config_.faults.reconnectMs);
  }
  return r;
}

TransferResult SimDevice::Descriptor(const ControlSetup& setup, std::uint8_t* data) {
  TransferResult r;
  if (setup.bmRequestType != 0x80 || setup.bRequest != 0x06) {
    r.kind = TransferResult::Kind::kStall;
    return r;
  }
  std::uint8_t index = static_cast<std::uint8_t>(setup.wValue & 0xFF);
  std::optional<std::vector<std::uint8_t>> bytes;
  switch (setup.wValue >> 8) {
    case 1:
      if (index == 0) bytes = deviceDescriptor_;
      break;
    case 2:
      if (index == 0) bytes = configDescriptor_;
      break;
    case 3:
      bytes = BuildStringDescriptor(config_, index);
      break;
    default:
      break;
  }
  if (!bytes) {
    r.kind = TransferResult::Kind::kStall;
    return r;
  }
  r.moved = static_cast<std::uint32_t>(std::min<std::size_t>(bytes->size(), setup.wLength));
  std::memcpy(data, bytes->data(), r.moved);
  return r;
}

// ---------------------------------------------------------------- vendor requests

bool SimDevice::DecodeVendor(const ControlSetup& s, Command& cmd) const {
  std::uint32_t address = (std::uint32_t{s.wValue} >> 8 & 0x0F) << 16 | s.wIndex;
  cmd.length = s.wLength;
  cmd.address = address;
  cmd.data = s.wLength != 0;
  bool addrForm = true;
  switch (s.bRequest) {
    case 0x06:
      cmd.op = Op::kPing;
      cmd.in = true;
      addrForm = false;
      break;
    case 0x01:
      cmd.op = Op::kLegacyReset;
      cmd.param = s.wValue;
      cmd.address = s.wIndex;
      addrForm = false;
      break;
    case 0x07:
      cmd.op = Op::kGetStatus;
      cmd.in = true;
      cmd.address = s.wValue & 0xFF;
      addrForm = false;
      break;
    case 0x20:
    case 0x21:
    case 0x22:
      cmd.op = s.bRequest == 0x20 ? Op::kResetUpdate
                                  : (s.bRequest == 0x21 ? Op::kResetNew : Op::kResetRom);
      cmd.param = s.wValue & 0xFF;
      addrForm = false;
      break;
    case 0x23:
      cmd.op = Op::kReadIMem;
      cmd.in = true;
      break;
    case 0x25:
      cmd.op = Op::kReadMem;
      cmd.in = true;
      break;
    case 0x24:
      cmd.op = Op::kWriteMem;
      break;
    case 0x26:
      cmd.op = Op::kReadCode;
      cmd.in = true;
      break;
    case 0x27:
      cmd.op = Op::kReadPhy;
      cmd.in = true;
      break;
    case 0x28:
      cmd.op = Op::kWritePhy;
      break;
    case 0x29:
      cmd.op = Op::kNorErase;
      addrForm = false;
      break;
    case 0x2B:
      cmd.op = Op::kNorRead;
      cmd.in = true;
      break;
    case 0x2A:
      cmd.op = Op::kNorWrite;
      break;
    case 0x2C:
      cmd.op = Op::kNorTag;
      addrForm = false;
      break;
    case 0x2D:
      cmd.op = Op::kSfReadId;
      cmd.in = true;
      addrForm = false;
      break;
    case 0x2E:
      cmd.op = Op::kSfRead;
      cmd.in = true;
      cmd.param = s.wValue & 0xFF;  // the read opcode; any is served
      break;
    case 0x2F:
      cmd.op = Op::kSfWrite;
      break;
    case 0x30:
      cmd.op = Op::kSfReadSr;
      cmd.in = true;
      addrForm = false;
      break;
    case 0x31:
      cmd.op = Op::kSfWriteSr;
      addrForm = false;
      break;
    case 0x32:
      cmd.op = Op::kSfEraseChip;
      addrForm = false;
      break;
    case 0x33:
      cmd.op = Op::kSfEraseSector;
      break;
    case 0x34:
      cmd.op = Op::kSfTag;
      addrForm = false;
      break;
    case 0x35:
      cmd.op = Op::kEep8Read;
      cmd.in = true;
      break;
    case 0x36:
      cmd.op = Op::kEep8Write;
      break;
    case 0x37:
      cmd.op = Op::kEep16Read;
      cmd.in = true;
      break;
    case 0x38:
      cmd.op = Op::kEep16Write;
      break;
    case 0x50:
      cmd.op = Op::kI2cRegRead;
      cmd.in = true;
      break;
    case 0x51:
      cmd.op = Op::kI2cRegWrite;
      break;
    case 0x3D:
    case 0x59:
      cmd.op = Op::kI2cSlave;
      cmd.in = true;
      break;
    case 0x3E:
    case 0x58:
      cmd.op = Op::kI2cSlave;
      break;
    default:
      return false;
  }
  // Address forms carry length bits 16..19 in wValue bits 12..15; the data stage
  // can only carry wLength bytes, so they must be 0. The remaining low byte of wValue is
  // a parameter only where one is defined.
  if (addrForm && (s.wValue >> 12) != 0) return false;
  if (addrForm && cmd.op != Op::kSfRead && (s.wValue & 0xFF) != 0) return false;
  return true;
}

TransferResult SimDevice::Vendor(const ControlSetup& setup, std::uint8_t* data,
                                 std::uint64_t nowUs) {
  TransferResult r;
  r.kind = TransferResult::Kind::kStall;
  if (config_.vendorRequests == VendorRequestMode::kOff) return r;
  if (config_.vendorRequests == VendorRequestMode::kLegacy &&
      !(setup.bRequest == 0x06 || setup.bRequest == 0x01)) {
    return r;
  }
  Command cmd;
  if (!DecodeVendor(setup, cmd)) return r;
  if (cmd.in != setup.in()) return r;
  bool takesData = cmd.op != Op::kResetUpdate && cmd.op != Op::kResetNew &&
                   cmd.op != Op::kResetRom && cmd.op != Op::kLegacyReset &&
                   cmd.op != Op::kNorErase && cmd.op != Op::kNorTag && cmd.op != Op::kSfEraseChip &&
                   cmd.op != Op::kSfEraseSector && cmd.op != Op::kSfTag;
  if (!takesData && setup.wLength != 0) return r;
  std::vector<std::uint8_t> inData;
  std::uint64_t cost = 0;
  std::uint8_t status = StartCommand(cmd, nowUs, cost, inData);
  if (status == 0 && cmd.data && !cmd.in) {
    status = CommandData(cmd, 0, data, setup.wLength, nowUs, cost);
  }
  if (status == kHang) {
    r.kind = TransferResult::Kind::kTimeout;
    return r;
  }
  if (status != 0) return r;
  if (cmd.data && cmd.in) std::memcpy(data, inData.data(), setup.wLength);
  r.kind = TransferResult::Kind::kOk;
  r.moved = setup.wLength;
  r.costUs = cost;
  return r;
}

// ---------------------------------------------------------------- extension unit

bool SimDevice::DecodeBlock(const std::uint8_t* b, Command& cmd, std::uint8_t& status) const {
  std::uint16_t p1 = static_cast<std::uint16_t>(b[2] | b[3] << 8);
  std::uint16_t p2 = static_cast<std::uint16_t>(b[4] | b[5] << 8);
  std::uint16_t p3 = static_cast<std::uint16_t>(b[6] | b[7] << 8);
  std::uint8_t group = b[0];
  std::uint8_t opcode = b[1];
  cmd.in = (opcode & 0x40) != 0;
  cmd.data = (opcode & 0x80) != 0;
  cmd.address = p1;
  cmd.length = cmd.data ? p2 : 0;
  std::uint32_t wide = std::uint32_t{p3} << 16 | p1;
  if (group == 0x00) {
    switch (opcode) {
      case 0xCD:
        cmd.op = Op::kGetStatus;
        break;
      case 0x07:
        cmd.op = Op::kResetUpdate;
        cmd.param = p1 & 0xFF;
        break;
      case 0x08:
        cmd.op = Op::kResetNew;
        cmd.param = p1 & 0xFF;
        break;
      case 0x09:
        cmd.op = Op::kResetRom;
        break;
      case 0xC1:
        cmd.op = Op::kReadIMem;
        break;
      case 0xC2:
        cmd.op = Op::kReadMem;
        break;
      case 0x82:
        cmd.op = Op::kWriteMem;
        break;
      case 0xC3:
        cmd.op = Op::kReadCode;
        break;
      case 0xCC:
        cmd.op = Op::kReadPhy;
        break;
      case 0x8C:
        cmd.op = Op::kWritePhy;
        break;
      case 0x04:
        cmd.op = Op::kNorErase;
        break;
      case 0xC5:
        cmd.op = Op::kNorRead;
        break;
      case 0x85:
        cmd.op = Op::kNorWrite;
        break;
      case 0x06:
        cmd.op = Op::kNorTag;
        break;
      case 0xCA:
        cmd.op = Op::kI2cRegRead;
        cmd.address = wide;
        break;
      case 0x8A:
        cmd.op = Op::kI2cRegWrite;
        cmd.address = wide;
        break;
      case 0xEA:
      case 0xAA:
      case 0xF1:
      case 0xB1:
      case 0xF2:
      case 0xB2:
      case 0xF0:
      case 0xB0:
        cmd.op = Op::kI2cSlave;
        break;
      case 0xD0:
        cmd.op = Op::kDevQualify;
        break;
      case 0x16:
        cmd.op = Op::kChangeSize;
        cmd.param = p2;
        break;
      default:
        status = kStsUnknownSubCmd;
        return false;
    }
  } else if (group == 0x02) {
    switch (opcode) {
      case 0xC1:
        cmd.op = Op::kSfReadId;
        break;
      case 0xC2:
        cmd.op = Op::kSfRead;
        cmd.address = wide;
        break;
      case 0x82:
        cmd.op = Op::kSfWrite;
        cmd.address = wide;
        break;
      case 0xC3:
        cmd.op = Op::kSfReadSr;
        break;
      case 0x83:
        cmd.op = Op::kSfWriteSr;
        break;
      case 0x04:
        cmd.op = Op::kSfEraseChip;
        break;
      case 0x05:
        cmd.op = Op::kSfEraseSector;
        cmd.address = wide;
        break;
      case 0x13:
        cmd.op = Op::kSfTag;
        break;
      case 0xCB:
        cmd.op = Op::kEep8Read;
        cmd.address = wide;
        break;
      case 0x8B:
        cmd.op = Op::kEep8Write;
        cmd.address = wide;
        break;
      case 0xD1:
        cmd.op = Op::kEep16Read;
        cmd.address = wide;
        break;
      case 0x91:
        cmd.op = Op::kEep16Write;
        cmd.address = wide;
        break;
      case 0x97:
      case 0x9A:
        cmd.op = Op::kOtpWrite;
        cmd.param = p3;
        break;
      case 0xD7:
        cmd.op = Op::kOtpRead;
        break;
      case 0xD8:
        cmd.op = Op::kOtpBlankCheck;
        break;
      case 0xDF:
        cmd.op = Op::kOtpAllBlankCheck;
        cmd.length = p3;
        break;
      case 0xDC:
        cmd.op = Op::kOtpFailReport;
        break;
      case 0xD9:
        cmd.op = Op::kOtpTestDec;
        break;
      default:
        status = kStsUnknownSubCmd;
        return false;
    }
  } else {
    status = kStsUnknownCmd;
    return false;
  }
  return true;
}

void SimDevice::XuFail(std::uint8_t status) {
  xuPhase_ = XuPhase::kError;
  xuStatus_ = status;
  xuCommand_.reset();
  xuInData_.clear();
}

TransferResult SimDevice::ExtensionUnit(const ControlSetup& setup, std::uint8_t* data,
                                        std::uint64_t nowUs) {
  TransferResult r;
  r.kind = TransferResult::Kind::kStall;
  std::uint8_t selector = static_cast<std::uint8_t>(setup.wValue >> 8);
  if (!config_.extensionUnit || (setup.wValue & 0xFF) != 0 ||
      (setup.wIndex >> 8) != config_.unitId ||
      (setup.wIndex & 0xFF) != CommandUnitInterface(config_) ||
      (selector != 0x0A && selector != 0x0B)) {
    return r;
  }
  bool in = setup.in();
  switch (setup.bRequest) {
    case 0x01:  // SET_CUR
      if (in) return r;
      if (selector == 0x0A) {
        if (setup.wLength != 8) return r;
        return XuCommand(data, nowUs);
      }
      return XuData(false, data, setup.wLength, nowUs);
    case 0x81:  // GET_CUR
      if (!in) return r;
      if (selector == 0x0A) {
        if (setup.wLength > 8) return r;
        std::uint8_t block[8] = {xuStatus_, xuLastBlock_[0], xuLastBlock_[1], 0, 0, 0, 0, 0};
        if (xuCommand_) {
          std::uint32_t left = xuCommand_->length - xuDone_;
          block[3] = static_cast<std::uint8_t>(left);
          block[4] = static_cast<std::uint8_t>(left >> 8);
        }
        std::memcpy(data, block, setup.wLength);
        r.kind = TransferResult::Kind::kOk;
        r.moved = setup.wLength;
        return r;
      }
      return XuData(true, data, setup.wLength, nowUs);
    case 0x85: {  // GET_LEN
      if (!in || setup.wLength != 2) return r;
      std::uint16_t len = selector == 0x0A ? 8 : dataControlSize_;
      data[0] = static_cast<std::uint8_t>(len);
      data[1] = static_cast<std::uint8_t>(len >> 8);
      r.kind = TransferResult::Kind::kOk;
      r.moved = 2;
      return r;
    }
    case 0x86:  // GET_INFO
      if (!in || setup.wLength != 1) return r;
      data[0] = 0x03;
      r.kind = TransferResult::Kind::kOk;
      r.moved = 1;
      return r;
    default:
      return r;
  }
}

TransferResult SimDevice::XuCommand(const std::uint8_t* block, std::uint64_t nowUs) {
  TransferResult r;
  r.kind = TransferResult::Kind::kStall;
  static constexpr std::uint8_t kClear[8] = {0xFF, 0, 0, 0, 0, 0, 0, 0};
  if (std::memcmp(block, kClear, 8) == 0) {
    xuPhase_ = XuPhase::kIdle;
    xuStatus_ = kStsCmd;
    xuCommand_.reset();
    xuInData_.clear();
    r.kind = TransferResult::Kind::kOk;
    r.moved = 8;
    return r;
  }
  ++counters_.commands;
  if (xuPhase_ == XuPhase::kError) return r;  // refused until the host clears the error
  if (xuPhase_ != XuPhase::kIdle) {
    XuFail(kStsNotFinish);
    return r;
  }
  std::memcpy(xuLastBlock_, block, 8);
  auto cmd = std::make_unique<Command>();
  std::uint8_t status = 0;
  if (!DecodeBlock(block, *cmd, status)) {
    XuFail(status);
    return r;
  }
  std::uint64_t cost = 0;
  std::vector<std::uint8_t> inData;
  status = StartCommand(*cmd, nowUs, cost, inData);
  r.costUs = cost;
  if (status == kHang) {
    XuFail(kStsNotFinish);
    r.kind = TransferResult::Kind::kTimeout;
    return r;
  }
  if (status != 0) {
    XuFail(status);
    return r;
  }
  r.kind = TransferResult::Kind::kOk;
  r.moved = 8;
  if (!cmd->data || cmd->length == 0) {
    xuPhase_ = XuPhase::kIdle;
    xuStatus_ = kStsCmd;
    return r;
  }
  xuPhase_ = cmd->in ? XuPhase::kDataIn : XuPhase::kDataOut;
  xuStatus_ = cmd->in ? kStsDataIn : kStsDataOut;
  xuInData_ = std::move(inData);
  xuDone_ = 0;
  xuCommand_ = std::move(cmd);
  return r;
}

TransferResult SimDevice::XuData(bool in, std::uint8_t* data, std::uint16_t length,
                                 std::uint64_t nowUs) {
  TransferResult r;
  r.kind = TransferResult::Kind::kStall;
  if (xuPhase_ == XuPhase::kError) return r;
  XuPhase wanted = in ? XuPhase::kDataIn : XuPhase::kDataOut;
  if (xuPhase_ != wanted || !xuCommand_) {
    XuFail(kStsErrDir);
    return r;
  }
  if (length > dataControlSize_ || length == 0) {
    XuFail(kStsErrLen);
    return r;
  }
  Command& cmd = *xuCommand_;
  std::uint32_t take = std::min<std::uint32_t>(length, cmd.length - xuDone_);
  std::uint64_t cost = 0;
  if (in) {
    std::memset(data, 0, length);
    std::memcpy(data, xuInData_.data() + xuDone_, take);
  } else {
    std::uint8_t status = CommandData(cmd, xuDone_, data, take, nowUs, cost);
    if (status == kHang) {
      XuFail(kStsNotFinish);
      r.kind = TransferResult::Kind::kTimeout;
      return r;
    }
    if (status != 0) {
      XuFail(status);
      return r;
    }
  }
  xuDone_ += take;
  if (xuDone_ >= cmd.length) {
    xuPhase_ = XuPhase::kIdle;
    xuStatus_ = kStsCmd;
    xuCommand_.reset();
    xuInData_.clear();
  }
  r.kind = TransferResult::Kind::kOk;
  r.moved = length;
  r.costUs = cost;
  return r;
}

// ---------------------------------------------------------------- commands

bool SimDevice::WaitFlashReady(std::uint64_t& atUs) const {
  if (flash_->StaysBusy()) return false;
  atUs = std::max(atUs, flash_->busyUntilUs());
  return true;
}

std::uint8_t SimDevice::ProgramFlash(std::uint32_t address, const std::uint8_t* data,
                                     std::size_t length, std::uint64_t nowUs,
                                     std::uint64_t& costUs) {
  // Page by page, each followed by the wait for its end; a page that reaches a busy flash
  // is lost, and the firmware does not notice.
  std::uint64_t at = nowUs + costUs;
  while (length > 0) {
    std::size_t n =
        std::min<std::size_t>(length, SpiFlash::kPageSize - address % SpiFlash::kPageSize);
    flash_->ProgramPage(address, data, n, at);
    if (!WaitFlashReady(at)) return kHang;
    address += static_cast<std::uint32_t>(n);
    data += n;
    length -= n;
  }
  costUs = at - nowUs;
  return 0;
}

std::uint8_t SimDevice::EraseFlash(bool chip, std::uint32_t address, std::uint64_t nowUs,
                                   std::uint64_t& costUs) {
  std::uint64_t at = nowUs + costUs;
  if (chip) {
    flash_->EraseChip(at);
  } else {
    flash_->EraseSector(address, at);
  }
  if (!WaitFlashReady(at)) return kHang;
  costUs = at - nowUs;
  return 0;
}

std::uint8_t SimDevice::CodeByte(std::uint32_t address) const {
  if (state_.run == RunState::kFirmware && memory_ != nullptr && address < config_.memorySize) {
    if (otp_) {
      std::uint8_t b = 0;
      otp_->ReadEffective(address, &b, 1);
      return b;
    }
    if (flash_) return memory_[address];
  }
  return static_cast<std::uint8_t>(address * 31 + 7);  // the ROM
}

std::uint8_t SimDevice::StartCommand(Command& cmd, std::uint64_t nowUs, std::uint64_t& costUs,
                                     std::vector<std::uint8_t>& inData) {
  std::uint32_t a = cmd.address;
  std::uint32_t n = cmd.data ? cmd.length : 0;
  auto fits = [&](std::uint64_t limit) { return std::uint64_t{a} + n <= limit; };
  if (cmd.in && cmd.data) inData.assign(n, 0);
  std::uint8_t* out = inData.data();
  switch (cmd.op) {
    case Op::kGetStatus:
      if (n > 8) return kStsErrLen;
      StatusPage(static_cast<std::uint8_t>(a), out, n);
      return 0;
    case Op::kPing:
      if (n > 0) out[0] = static_cast<std::uint8_t>(state_.run);
      return 0;
    case Op::kDevQualify:
      if (n > 8) return kStsErrLen;
      {
        std::uint8_t sig[8];
        std::memcpy(sig, kSignature, 8);
        if (config_.faults.wrongSignature) sig[7] = 0x01;
        std::memcpy(out, sig, n);
      }
      return 0;
    case Op::kResetUpdate:
      ScheduleReset(7, cmd.param, nowUs);
      return 0;
    case Op::kResetNew:
      ScheduleReset(8, cmd.param, nowUs);
      return 0;
    case Op::kResetRom:
      ScheduleReset(9, cmd.param, nowUs);
      return 0;
    case Op::kLegacyReset:
      if (a < 7 || a > 9 || cmd.data) return kStsOutOfRange;
      ScheduleReset(static_cast<int>(a), cmd.param, nowUs);
      return 0;
    case Op::kChangeSize:
      if (cmd.param == 0) return kStsErrLen;
      dataControlSize_ = std::clamp<std::uint16_t>(cmd.param, 8, config_.maxDataControl);
      return 0;
    case Op::kReadIMem:
      if (!fits(imem_.size())) return kStsOutOfRange;
      std::memcpy(out, imem_.data() + a, n);
      return 0;
    case Op::kReadMem:
      if (!fits(0x10000)) return kStsOutOfRange;
      for (std::uint32_t i = 0; i < n; ++i)
        out[i] = registers_.Read(static_cast<std::uint16_t>(a + i));
      return 0;
    case Op::kReadCode:
      if (!fits(0x10000)) return kStsOutOfRange;
      for (std::uint32_t i = 0; i < n; ++i) out[i] = CodeByte(a + i);
      return 0;
    case Op::kReadPhy:
      if (!fits(phy_.size())) return kStsOutOfRange;
      std::memcpy(out, phy_.data() + a, n);
      return 0;
    case Op::kWriteMem:
    case Op::kWritePhy:
      return fits(0x10000) ? 0 : kStsOutOfRange;
    case Op::kNorRead:
    case Op::kSfRead:
      if (!flash_) return kStsHwErr;
      if (!fits(flash_->size())) return kStsOutOfRange;
      flash_->Read(a, out, n, nowUs + costUs);
      return 0;
    case Op::kNorWrite:
    case Op::kSfWrite:
      if (!flash_) return kStsHwErr;
      return fits(flash_->size()) ? 0 : kStsOutOfRange;
    case Op::kNorErase:
    case Op::kSfEraseChip:
      // The command waits for the erase; the request's time-out may end it sooner.
      if (!flash_) return kStsHwErr;
      return EraseFlash(true, 0, nowUs, costUs);
    case Op::kSfEraseSector:
      if (!flash_) return kStsHwErr;
      if (a >= flash_->size()) return kStsOutOfRange;
      return EraseFlash(false, a, nowUs, costUs);
    case Op::kNorTag:
    case Op::kSfTag: {
      if (!flash_) return kStsHwErr;
      if (config_.tagAddress + 2u > flash_->size()) return kStsOutOfRange;
      static constexpr std::uint8_t kTag[2] = {0x55, 0xAA};
      return ProgramFlash(config_.tagAddress, kTag, 2, nowUs, costUs);
    }
    case Op::kSfReadId: {
      if (!flash_) return kStsHwErr;
      if (n > 8) return kStsErrLen;
      std::uint8_t id[3];
      flash_->ReadId(config_.flashId, id, nowUs + costUs);
      std::memcpy(out, id, std::min<std::uint32_t>(n, 3));
      return 0;
    }
    case Op::kSfReadSr:
      if (!flash_) return kStsHwErr;
      if (n == 0 || n > 8) return kStsErrLen;
      out[0] = flash_->ReadStatus(nowUs);
      return 0;
    case Op::kSfWriteSr:
      if (!flash_) return kStsHwErr;
      return n == 0 || n > 8 ? kStsErrLen : 0;
    case Op::kEep8Read:
    case Op::kEep16Read:
    case Op::kEep8Write:
    case Op::kEep16Write: {
      bool eight = cmd.op == Op::kEep8Read || cmd.op == Op::kEep8Write;
      MemoryKind want = eight ? MemoryKind::kEeprom8 : MemoryKind::kEeprom16;
      if (!eeprom_ || config_.memory != want) return kStsHwErr;  // no acknowledge
      if (cmd.in) eeprom_->Read(a, out, n);
      return 0;
    }
    case Op::kI2cRegRead:
      for (std::uint32_t i = 0; i < n; ++i) {
        std::uint16_t v = i2cRegisters_[(a + i / 2) & 0xFFFF];
        out[i] = static_cast<std::uint8_t>(i % 2 == 0 ? v : v >> 8);
      }
      return 0;
    case Op::kI2cRegWrite:
      return 0;
    case Op::kI2cSlave:
      return kStsHwErr;  // no peripheral answers on the I2C bus
    case Op::kOtpWrite:
      if (!otp_) return kStsHwErr;
      if (!fits(OtpMemory::kSize)) return kStsOutOfRange;
      if (registers_.OtpLocked()) return kStsHwErr;
      otp_->BeginWrite(cmd.param);
      return 0;
    case Op::kOtpRead:
    case Op::kOtpTestDec:
      if (!otp_) return kStsHwErr;
      if (!fits(OtpMemory::kSize)) return kStsOutOfRange;
      if (cmd.op == Op::kOtpRead) {
        otp_->Read(a, out, n);
      } else {
        otp_->ReadEffective(a, out, n);
      }
      return 0;
    case Op::kOtpBlankCheck:
      if (!otp_) return kStsHwErr;
      if (!fits(OtpMemory::kSize)) return kStsOutOfRange;
      otp_->Read(a, out, n);
      for (std::uint32_t i = 0; i < n; ++i) out[i] = out[i] == 0 ? 0x00 : 0x01;
      return 0;
    case Op::kOtpAllBlankCheck: {
      if (!otp_) return kStsHwErr;
      if (!fits(OtpMemory::kSize)) return kStsOutOfRange;
      std::vector<std::uint8_t> bytes(n);
      otp_->Read(a, bytes.data(), n);
      auto it = std::find_if(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b != 0; });
      if (n > 0) out[0] = it == bytes.end() ? 1 : 0;
      std::uint32_t first =
          it == bytes.end() ? 0 : a + static_cast<std::uint32_t>(it - bytes.begin());
      if (n > 2) {
        out[1] = static_cast<std::uint8_t>(first >> 8);
        out[2] = static_cast<std::uint8_t>(first);
      }
      return 0;
    }
    case Op::kOtpFailReport: {
      if (!otp_) return kStsHwErr;
      if (n > OtpMemory::kReportSize) return kStsErrLen;
      std::uint8_t report[OtpMemory::kReportSize];
      otp_->FailureReport(report);
      std::memcpy(out, report, n);
      return 0;
    }
  }
  return kStsUnknownSubCmd;
}

std::uint8_t SimDevice::CommandData(Command& cmd, std::uint32_t offset, const std::uint8_t* data,
                                    std::size_t length, std::uint64_t nowUs,
                                    std::uint64_t& costUs) {
  std::uint32_t a = cmd.address + offset;
  switch (cmd.op) {
    case Op::kWriteMem:
      for (std::size_t i = 0; i < length; ++i)
        registers_.Write(static_cast<std::uint16_t>(a + i), data[i]);
      return 0;
    case Op::kWritePhy:
      std::memcpy(phy_.data() + a, data, length);
      return 0;
    case Op::kNorWrite:
    case Op::kSfWrite:
      return ProgramFlash(a, data, length, nowUs, costUs);
    case Op::kSfWriteSr:
      // The status byte is the first byte of the data stage. The command does not wait
      // for the write: the busy bit tells when it is done.
      if (offset != 0) return 0;
      if (flash_->WriteStatus(data[0], registers_.FlashProtectPinLow(), nowUs + costUs)) {
        NotifyState();
      }
      return 0;
    case Op::kEep8Write:
    case Op::kEep16Write:
      costUs += eeprom_->Write(a, data, length, registers_.EepromWriteProtected());
      return 0;
    case Op::kI2cRegWrite:
      for (std::size_t i = 0; i < length; ++i) {
        std::uint16_t& reg = i2cRegisters_[(cmd.address + (offset + i) / 2) & 0xFFFF];
        reg = (offset + i) % 2 == 0 ? static_cast<std::uint16_t>((reg & 0xFF00) | data[i])
                                    : static_cast<std::uint16_t>((reg & 0x00FF) | data[i] << 8);
      }
      return 0;
    case Op::kOtpWrite:
      costUs += otp_->Program(a, data, length);
      return 0;
    default:
      return kStsErrDir;
  }
}

}  // namespace vantor::sim
