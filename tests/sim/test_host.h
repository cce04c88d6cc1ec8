// Test-only host side: builds proxy records and URBs byte by byte (offsets as the proxy
// protocol defines them) and sends them through the platform's proxy driver seam. It is
// deliberately small; the real transports are tested on their own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/device_inventory.h"
#include "platform/proxy_driver.h"

namespace vantor::sim::test {

struct Reply {
  bool ok = false;          // the I/O control succeeded
  std::uint32_t error = 0;  // last error when it did not
  std::uint32_t urbStatus = 0;
  std::uint32_t moved = 0;  // transfer buffer length written back
  std::vector<std::uint8_t> data;
  bool good() const { return ok && urbStatus == 0; }
};

class TestHost {
 public:
  // `layout32`: the 32-bit kernel records (24 bytes) and URBs (80 bytes), with the URB
  // and its buffer placed below 4 GiB.
  explicit TestHost(bool layout32 = false);
  ~TestHost();
  TestHost(const TestHost&) = delete;
  TestHost& operator=(const TestHost&) = delete;

  // Opens the first interface of `guid` whose instance ID contains `idPart` and attaches.
  bool Open(const platform::Guid& guid, const std::wstring& idPart);
  // Detaches and closes.
  void Close();
  bool attached() const { return low_ != 0 || high_ != 0; }
  std::uint32_t low() const { return low_; }
  std::uint32_t high() const { return high_; }
  platform::InterfaceHandle interfaceHandle() const { return interface_; }
  platform::DevInst device() const { return device_; }

  // The attach record for a file handle (the returned record's handle pair is filled).
  bool Attach(platform::InterfaceHandle handle, std::uint32_t& low, std::uint32_t& high,
              std::uint32_t& error);

  // One URB: function 0x17 (vendor), 0x1B (class) or 0x0B (descriptor).
  Reply Submit(std::uint16_t function, std::uint8_t requestType, std::uint8_t request,
               std::uint16_t value, std::uint16_t index, bool in,
               const std::vector<std::uint8_t>& out, std::uint16_t inLength,
               std::uint32_t timeoutMs = 5000);
  Reply VendorIn(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                 std::uint16_t length, std::uint32_t timeoutMs = 5000);
  Reply VendorOut(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                  const std::vector<std::uint8_t>& data, std::uint32_t timeoutMs = 5000);
  Reply Descriptor(std::uint8_t type, std::uint8_t index, std::uint16_t language,
                   std::uint16_t length);

  // Extension-unit requests to `unit` on interface `iface`.
  void SetUnit(std::uint8_t unit, std::uint8_t iface) {
    unit_ = unit;
    iface_ = iface;
  }
  Reply XuSet(std::uint8_t selector, const std::vector<std::uint8_t>& data);
  Reply XuGet(std::uint8_t request, std::uint8_t selector, std::uint16_t length);
  // A command block, then its data phase in transfers of `size` bytes: reads return the
  // data, writes send `data`. Empty optional-like result: ok false on the first failure.
  Reply XuRead(const std::vector<std::uint8_t>& block, std::uint32_t length, std::uint16_t size);
  Reply XuWrite(const std::vector<std::uint8_t>& block, const std::vector<std::uint8_t>& data,
                std::uint16_t size);

  // The URB bytes of the last Submit (for layout checks).
  std::vector<std::uint8_t> lastUrb() const { return lastUrb_; }

 private:
  bool Ioctl(std::uint32_t code, std::vector<std::uint8_t>& record, bool output,
             std::uint32_t& error);

  bool layout32_;
  std::unique_ptr<platform::ProxyDriver> proxy_;
  std::uint8_t* memory_ = nullptr;  // URB at 0, buffer at 256
  std::size_t memorySize_ = 0;
  platform::InterfaceHandle interface_ = 0;
  platform::DevInst device_ = 0;
  std::uint32_t low_ = 0;
  std::uint32_t high_ = 0;
  std::uint8_t unit_ = 6;
  std::uint8_t iface_ = 0;
  std::vector<std::uint8_t> lastUrb_;
};

// Little helpers for byte checks.
std::vector<std::uint8_t> Block(std::uint8_t group, std::uint8_t opcode, std::uint16_t p1 = 0,
                                std::uint16_t p2 = 0, std::uint16_t p3 = 0);

}  // namespace vantor::sim::test
