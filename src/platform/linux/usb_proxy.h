// The proxy driver of Linux: a user-space proxy over libusb (see usb_host.h).
#pragma once

#include <memory>

#include "platform/linux/usb_host.h"
#include "platform/proxy_driver.h"

namespace vantor::platform::linux_usb {

class UsbProxy final : public ProxyDriver {
 public:
  explicit UsbProxy(std::shared_ptr<UsbHost> host);
  bool IoControl(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                 std::uint32_t outSize, std::uint32_t* bytesReturned) override;

 private:
  std::shared_ptr<UsbHost> host_;
};

}  // namespace vantor::platform::linux_usb
