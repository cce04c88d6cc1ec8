#include "sim/usbip_server.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/clock.h"
#include "sim/sim_directory.h"

namespace vantor::sim {

namespace fs = std::filesystem;
namespace P = platform;

namespace {

// No command carries more than a control transfer's data and its packet descriptors.
constexpr std::size_t kMaxPayload = 1u << 20;
// vhci's port status "free", and the speed of a high-speed device.
constexpr unsigned kPortFree = 4;
constexpr unsigned kSpeedHigh = 3;
// The reply to the last request reaches the kernel before the device leaves the bus.
constexpr std::uint32_t kLeaveGraceMs = 100;
constexpr std::uint32_t kPollMs = 10;
constexpr int kPortFreeWaits = 300;

std::atomic<bool> gStop{false};

void OnSignal(int) { gStop.store(true); }

// Reads exactly `length` bytes; false at the end of the stream or on an error.
bool ReadExact(int fd, std::uint8_t* data, std::size_t length) {
  std::size_t done = 0;
  while (done < length) {
    const ssize_t n = ::read(fd, data + done, length - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool WriteExact(int fd, const std::uint8_t* data, std::size_t length) {
  std::size_t done = 0;
  while (done < length) {
    const ssize_t n = ::send(fd, data + done, length - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

UsbipConnection::UsbipConnection(int fd, SimDevice& device, std::ostream* log)
    : fd_(fd), device_(device), log_(log), epoch_(device.epoch()) {}

bool UsbipConnection::Send(const UsbipHeader& header, const std::uint8_t* data,
                           std::size_t length) {
  if (!WriteExact(fd_, header.data(), header.size()) ||
      (length != 0 && !WriteExact(fd_, data, length))) {
    closed_ = true;
    return false;
  }
  return true;
}

// The standard requests a device answers on its own (all but GET_DESCRIPTOR, which the
// device model answers from its descriptors).
bool UsbipConnection::Standard(const ControlSetup& setup, std::uint8_t* data,
                               TransferResult& result) {
  if ((setup.bmRequestType & 0x60) != 0 || setup.bRequest == 0x06) return false;
  result = TransferResult{};
  switch (setup.bRequest) {
    case 0x00:  // GET_STATUS
      result.moved = std::min<std::uint32_t>(2, setup.wLength);
      std::fill(data, data + result.moved, 0);
      break;
    case 0x08:  // GET_CONFIGURATION
    case 0x0A:  // GET_INTERFACE
      result.moved = std::min<std::uint32_t>(1, setup.wLength);
      if (result.moved != 0) data[0] = setup.bRequest == 0x08 ? 1 : 0;
      break;
    case 0x01:  // CLEAR_FEATURE
    case 0x03:  // SET_FEATURE
    case 0x05:  // SET_ADDRESS
    case 0x09:  // SET_CONFIGURATION
    case 0x0B:  // SET_INTERFACE
      break;
    default:
      result.kind = TransferResult::Kind::kStall;
      break;
  }
  return true;
}

bool UsbipConnection::HandleSubmit(const UsbipCommand& c, std::vector<std::uint8_t>& payload) {
  // Only the control endpoint carries anything; streams are refused.
  if (c.ep != 0) return Send(EncodeRetSubmit(c.seqnum, kUsbipStatusStall, 0), nullptr, 0);
  const ControlSetup setup = c.controlSetup();
  const std::uint32_t length = std::min<std::uint32_t>(setup.wLength, c.transferBufferLength);
  std::vector<std::uint8_t> data(setup.wLength, 0);
  if (!setup.in())
    std::copy_n(payload.begin(), std::min<std::size_t>(length, payload.size()), data.begin());
  P::Clock& clock = P::GetClock();
  TransferResult r;
  if (!Standard(setup, data.data(), r)) r = device_.Control(setup, data.data(), clock.NowUs());
  if (r.kind == TransferResult::Kind::kTimeout) {
    parked_[c.seqnum] = true;
    if (log_ != nullptr) {
      char text[96];
      std::snprintf(text, sizeof text, "request %02x %02x %04x %04x %u left unanswered",
                    setup.bmRequestType, setup.bRequest, setup.wValue, setup.wIndex, setup.wLength);
      *log_ << text << std::endl;
    }
    return true;
  }
  clock.SleepUs(r.costUs);
  if (r.kind == TransferResult::Kind::kStall) {
    return Send(EncodeRetSubmit(c.seqnum, kUsbipStatusStall, 0), nullptr, 0);
  }
  const std::uint32_t moved = std::min(r.moved, length);
  return Send(EncodeRetSubmit(c.seqnum, 0, moved), data.data(), setup.in() ? moved : 0);
}

bool UsbipConnection::ServeOne(int waitMs) {
  if (closed_) return false;
  pollfd p{fd_, POLLIN, 0};
  const int ready = ::poll(&p, 1, waitMs);
  if (ready <= 0) return false;
  UsbipHeader header;
  UsbipCommand command;
  if (!ReadExact(fd_, header.data(), header.size()) || !DecodeUsbipCommand(header, command) ||
      command.payloadSize() > kMaxPayload) {
    closed_ = true;
    return false;
  }
  std::vector<std::uint8_t> payload(command.payloadSize());
  if (!payload.empty() && !ReadExact(fd_, payload.data(), payload.size())) {
    closed_ = true;
    return false;
  }
  if (command.command == kUsbipCmdUnlink) {
    // A parked request is given up; one already answered cannot be unlinked.
    const bool wasParked = parked_.erase(command.unlinkSeqnum) != 0;
    return Send(EncodeRetUnlink(command.seqnum, wasParked ? kUsbipStatusUnlinked : 0), nullptr, 0);
  }
  return HandleSubmit(command, payload);
}

UsbipConnection::End UsbipConnection::Serve(const std::atomic<bool>& stop) {
  for (;;) {
    if (stop.load()) return End::kStopped;
    if (device_.PresenceAt(P::GetClock().NowUs()) == SimDevice::Presence::kAbsent ||
        device_.epoch() != epoch_) {
      return End::kDeviceLeft;
    }
    ServeOne(static_cast<int>(kPollMs));
    if (closed_) return End::kClosed;
  }
}

// ---------------------------------------------------------------- attaching to vhci

namespace {

// The free high-speed ports of vhci, in order.
std::vector<unsigned> FreePorts(const fs::path& vhciDir) {
  std::ifstream status(vhciDir / "status");
  std::vector<unsigned> ports;
  std::string line;
  std::getline(status, line);  // the column names
  while (std::getline(status, line)) {
    char hub[8] = {};
    unsigned port = 0;
    unsigned state = 0;
    if (std::sscanf(line.c_str(), "%7s %u %u", hub, &port, &state) == 3 &&
        std::strcmp(hub, "hs") == 0 && state == kPortFree) {
      ports.push_back(port);
    }
  }
  return ports;
}

bool WriteControl(const fs::path& file, const std::string& text, std::string& error) {
  std::FILE* f = std::fopen(file.c_str(), "w");
  if (f == nullptr) {
    error = file.string() + ": " + std::strerror(errno);
    return false;
  }
  const bool ok = std::fputs(text.c_str(), f) >= 0 && std::fflush(f) == 0;
  const int writeErrno = errno;
  std::fclose(f);
  if (!ok) error = file.string() + " \"" + text + "\": " + std::strerror(writeErrno);
  return ok;
}

std::string Identity(const SimDevice& device) {
  char text[128];
  const DeviceConfig& c = device.config();
  std::snprintf(text, sizeof text, "%s (%04x:%04x)", c.name.c_str(), c.vid, c.pid);
  return text;
}

}  // namespace

int RunUsbip(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
             const fs::path& vhciDir) {
  if (args.size() < 2 || args.size() > 3) {
    err << "usage: vantorfw-sim usbip DIR [DEVICE]\n";
    return 2;
  }
  std::string error;
  std::shared_ptr<SimBus> bus = LoadSimDirectory(args[1], error);
  if (!bus) {
    err << "vantorfw-sim: " << error << "\n";
    return 1;
  }
  std::vector<SimDevice*> devices = bus->Devices();
  SimDevice* device =
      args.size() == 3 ? bus->FindDevice(args[2]) : (devices.empty() ? nullptr : devices.front());
  if (device == nullptr) {
    err << "vantorfw-sim: no device " << (args.size() == 3 ? "\"" + args[2] + "\" " : "") << "in "
        << args[1] << "\n";
    return 1;
  }
  if (!fs::exists(vhciDir / "attach")) {
    err << "vantorfw-sim: " << (vhciDir / "attach").string()
        << " is missing: load the virtual host controller (modprobe vhci-hcd)\n";
    return 1;
  }

  gStop.store(false);
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  P::Clock& clock = P::GetClock();
  int result = 0;
  int port = -1;
  while (!gStop.load()) {
    // Off the bus (a reset, an unplug) until the device is back and ready.
    if (device->PresenceAt(clock.NowUs()) != SimDevice::Presence::kReady) {
      clock.Sleep(kPollMs);
      continue;
    }
    std::vector<unsigned> free = FreePorts(vhciDir);
    for (int wait = 0; port >= 0 && wait < kPortFreeWaits &&
                       std::find(free.begin(), free.end(), unsigned(port)) == free.end();
         ++wait) {
      clock.Sleep(kPollMs);
      free = FreePorts(vhciDir);
    }
    if (port < 0 || std::find(free.begin(), free.end(), unsigned(port)) == free.end()) {
      if (free.empty()) {
        err << "vantorfw-sim: no free high-speed port on " << vhciDir.string() << "\n";
        result = 1;
        break;
      }
      port = static_cast<int>(free.front());
    }
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
      err << "vantorfw-sim: socketpair: " << std::strerror(errno) << "\n";
      result = 1;
      break;
    }
    const std::uint32_t devid = 1u << 16 | (device->epoch() & 0xFFFF);
    std::ostringstream attach;
    attach << port << " " << fds[1] << " " << devid << " " << kSpeedHigh;
    const bool attached = WriteControl(vhciDir / "attach", attach.str(), error);
    // The kernel holds its own reference to the socket now.
    ::close(fds[1]);
    if (!attached) {
      ::close(fds[0]);
      err << "vantorfw-sim: cannot attach: " << error << "\n";
      result = 1;
      break;
    }
    out << "attached " << Identity(*device) << " to vhci port " << port << std::endl;
    UsbipConnection connection(fds[0], *device, &out);
    const UsbipConnection::End end = connection.Serve(gStop);
    if (end == UsbipConnection::End::kDeviceLeft) clock.Sleep(kLeaveGraceMs);
    if (end != UsbipConnection::End::kClosed &&
        !WriteControl(vhciDir / "detach", std::to_string(port), error)) {
      err << "vantorfw-sim: cannot detach: " << error << "\n";
    }
    ::close(fds[0]);
    if (end == UsbipConnection::End::kDeviceLeft) {
      out << Identity(*device) << " left the bus" << std::endl;
      continue;
    }
    if (end == UsbipConnection::End::kClosed) {
      out << "vhci port " << port << " was detached" << std::endl;
    }
    break;
  }
  if (!SaveSimState(args[1], *bus, error) || !SaveSimStats(args[1], *bus, error)) {
    err << "vantorfw-sim: " << error << "\n";
    result = 1;
  }
  return result;
}

}  // namespace vantor::sim
