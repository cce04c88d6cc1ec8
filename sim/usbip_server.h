// The simulated chip on a real USB bus: one simulated device served over the USB/IP wire
// protocol to the Linux kernel's virtual host controller (vhci-hcd). The server attaches
// itself through vhci's sysfs attach file with one end of a connected socket pair, so
// the kernel enumerates the device as it would silicon (the standard requests of the
// enumeration are answered from the device model's descriptors); when the chip resets it
// leaves the bus (the port is detached) and comes back with its new identity on the
// same port, as a real chip re-enumerates.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "sim/sim_device.h"
#include "sim/usbip_wire.h"

namespace vantor::sim {

// Serves one connection (one appearance of the device on the bus) of a device.
class UsbipConnection {
 public:
  enum class End { kDeviceLeft, kClosed, kStopped, kBroken };

  // `fd`: the server's end of the socket (not owned). `log` (may be null) gets a line
  // for each request the device leaves unanswered.
  UsbipConnection(int fd, SimDevice& device, std::ostream* log = nullptr);

  // Answers commands until the device leaves the bus, the kernel closes the socket, or
  // `stop` is set. A request the device leaves unanswered is parked until the kernel
  // unlinks it.
  End Serve(const std::atomic<bool>& stop);
  // Reads and answers one command, waiting up to `waitMs` for it (tests). False when
  // none came or the socket closed.
  bool ServeOne(int waitMs);
  std::size_t parked() const { return parked_.size(); }

 private:
  bool HandleSubmit(const UsbipCommand& command, std::vector<std::uint8_t>& payload);
  bool Send(const UsbipHeader& header, const std::uint8_t* data, std::size_t length);
  bool Standard(const ControlSetup& setup, std::uint8_t* data, TransferResult& result);

  int fd_;
  SimDevice& device_;
  std::ostream* log_;
  std::uint32_t epoch_;
  bool closed_ = false;
  std::map<std::uint32_t, bool> parked_;
};

// `vantorfw-sim usbip DIR [DEVICE]`: serves DEVICE of DIR (the first one when not
// named) until SIGINT or SIGTERM, or until its port is detached from outside. `vhciDir`
// is vhci-hcd's platform device. Exit code as the tool's: 0, 1 on failure, 2 usage.
int RunUsbip(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
             const std::filesystem::path& vhciDir = "/sys/devices/platform/vhci_hcd.0");

}  // namespace vantor::sim
