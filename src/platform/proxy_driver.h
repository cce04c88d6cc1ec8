// The proxy driver seam: the control device of the USB proxy and its three I/O controls.
// The layers above build the byte-exact records and URBs themselves; a backend only
// carries them: the kernel proxy on Windows, a user-space proxy over libusb on Linux
// that decodes each URB and performs the control transfer, or the simulated bus.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace vantor::platform {

// I/O control codes (device type 0x22, buffered, any access).
inline constexpr std::uint32_t kIoctlProxyAttach = 0x0022004C;
inline constexpr std::uint32_t kIoctlProxySubmit = 0x00220048;
inline constexpr std::uint32_t kIoctlProxyDetach = 0x00220044;

class ProxyDriver {
 public:
  virtual ~ProxyDriver() = default;

  // One I/O control. `in`/`inSize` is the request record; `out`/`outSize` receives the
  // output record (attach only). For a submit the record names a URB in the caller's
  // memory, which the driver reads and writes back (status, bytes moved) in place.
  // False with the thread's last error set (1167 device gone, 21 not ready, 121 or
  // another code on time-out) when the call fails.
  virtual bool IoControl(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                         std::uint32_t outSize, std::uint32_t* bytesReturned) = 0;
};

using ProxyDriverOpener = std::function<std::unique_ptr<ProxyDriver>()>;

// Opens the proxy's control device through the installed opener (the simulated bus
// installs one); without one, the platform's own backend. Null, with the last error
// set, when no proxy is available.
std::unique_ptr<ProxyDriver> OpenProxyControlDevice();
// The platform's own control device (on Linux: the user-space proxy over libusb, which
// opens where the system has USB). Null, with the last error set, when there is none.
std::unique_ptr<ProxyDriver> OpenNativeProxyControlDevice();
// Installs the opener used by OpenProxyControlDevice (null restores the platform's own).
void SetProxyDriverOpener(ProxyDriverOpener opener);

}  // namespace vantor::platform
