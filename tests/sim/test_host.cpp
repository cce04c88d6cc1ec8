#include "test_host.h"

#include <sys/mman.h>

#include <cstring>

#include "platform/last_error.h"

namespace vantor::sim::test {

namespace {

void Put16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
  Put16(p, static_cast<std::uint16_t>(v));
  Put16(p + 2, static_cast<std::uint16_t>(v >> 16));
}
void Put64(std::uint8_t* p, std::uint64_t v) {
  Put32(p, static_cast<std::uint32_t>(v));
  Put32(p + 4, static_cast<std::uint32_t>(v >> 32));
}
std::uint32_t Get32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

constexpr std::size_t kBufferAt = 256;
constexpr std::size_t kMemory = kBufferAt + 0x10000;

}  // namespace

std::vector<std::uint8_t> Block(std::uint8_t group, std::uint8_t opcode, std::uint16_t p1,
                                std::uint16_t p2, std::uint16_t p3) {
  return {group,
          opcode,
          static_cast<std::uint8_t>(p1),
          static_cast<std::uint8_t>(p1 >> 8),
          static_cast<std::uint8_t>(p2),
          static_cast<std::uint8_t>(p2 >> 8),
          static_cast<std::uint8_t>(p3),
          static_cast<std::uint8_t>(p3 >> 8)};
}

TestHost::TestHost(bool layout32) : layout32_(layout32) {
  proxy_ = platform::OpenProxyControlDevice();
  int flags = MAP_PRIVATE | MAP_ANONYMOUS | (layout32 ? MAP_32BIT : 0);
  void* p = ::mmap(nullptr, kMemory, PROT_READ | PROT_WRITE, flags, -1, 0);
  if (p != MAP_FAILED) {
    memory_ = static_cast<std::uint8_t*>(p);
    memorySize_ = kMemory;
  }
}

TestHost::~TestHost() {
  Close();
  if (memory_ != nullptr) ::munmap(memory_, memorySize_);
}

bool TestHost::Ioctl(std::uint32_t code, std::vector<std::uint8_t>& record, bool output,
                     std::uint32_t& error) {
  if (!proxy_) return false;
  std::uint32_t returned = 0;
  std::vector<std::uint8_t> out(record.size());
  platform::SetLastError(0);
  bool ok = proxy_->IoControl(code, record.data(), static_cast<std::uint32_t>(record.size()),
                              output ? out.data() : nullptr,
                              output ? static_cast<std::uint32_t>(out.size()) : 0, &returned);
  error = ok ? 0 : platform::GetLastError();
  if (ok && output) record = out;
  return ok;
}

bool TestHost::Attach(platform::InterfaceHandle handle, std::uint32_t& low, std::uint32_t& high,
                      std::uint32_t& error) {
  std::vector<std::uint8_t> record(layout32_ ? 24 : 32, 0);
  if (layout32_) {
    Put32(&record[4], handle);
  } else {
    Put64(&record[8], handle);
  }
  if (!Ioctl(platform::kIoctlProxyAttach, record, true, error)) return false;
  std::size_t at = layout32_ ? 8 : 16;
  low = Get32(&record[at]);
  high = Get32(&record[at + 4]);
  return true;
}

bool TestHost::Open(const platform::Guid& guid, const std::wstring& idPart) {
  Close();
  auto inventory = platform::GetDeviceInventory();
  std::vector<platform::DeviceInterfaceEntry> entries;
  if (inventory->ListDeviceInterfaces(guid, 0, entries) != 0) return false;
  for (const auto& entry : entries) {
    std::wstring id;
    if (inventory->GetDeviceInstanceId(entry.device, id) != 0) continue;
    if (id.find(idPart) == std::wstring::npos) continue;
    if (inventory->OpenDeviceInterface(entry.path, interface_) != 0) return false;
    device_ = entry.device;
    std::uint32_t error = 0;
    if (!Attach(interface_, low_, high_, error)) {
      Close();
      return false;
    }
    return true;
  }
  return false;
}

void TestHost::Close() {
  if (attached()) {
    std::vector<std::uint8_t> record(layout32_ ? 24 : 32, 0);
    std::size_t at = layout32_ ? 8 : 16;
    Put32(&record[at], low_);
    Put32(&record[at + 4], high_);
    std::uint32_t error = 0;
    Ioctl(platform::kIoctlProxyDetach, record, false, error);
  }
  if (interface_ != 0) platform::GetDeviceInventory()->CloseDeviceInterface(interface_);
  interface_ = 0;
  device_ = 0;
  low_ = high_ = 0;
}

Reply TestHost::Submit(std::uint16_t function, std::uint8_t requestType, std::uint8_t request,
                       std::uint16_t value, std::uint16_t index, bool in,
                       const std::vector<std::uint8_t>& out, std::uint16_t inLength,
                       std::uint32_t timeoutMs) {
  Reply reply;
  if (memory_ == nullptr) return reply;
  std::uint8_t* urb = memory_;
  std::uint8_t* buffer = memory_ + kBufferAt;
  std::uint32_t length = in ? inLength : static_cast<std::uint32_t>(out.size());
  std::memset(urb, 0, kBufferAt);
  std::memset(buffer, 0xCC, length);
  if (!in && !out.empty()) std::memcpy(buffer, out.data(), out.size());
  // Offsets of the two URB layouts (64-bit / 32-bit).
  std::size_t flagsAt = layout32_ ? 20 : 32;
  std::size_t lengthAt = layout32_ ? 24 : 36;
  std::size_t bufferAt = layout32_ ? 28 : 40;
  std::size_t requestAt = layout32_ ? 72 : 128;
  Put16(urb, layout32_ ? 80 : 136);
  Put16(urb + 2, function);
  Put32(urb + flagsAt, in ? 1 : 0);
  Put32(urb + lengthAt, length);
  auto address = reinterpret_cast<std::uintptr_t>(buffer);
  if (layout32_) {
    Put32(urb + bufferAt, static_cast<std::uint32_t>(address));
  } else {
    Put64(urb + bufferAt, address);
  }
  std::uint8_t* r = urb + requestAt;
  if (function == 0x000B) {
    r[2] = static_cast<std::uint8_t>(value & 0xFF);  // index
    r[3] = static_cast<std::uint8_t>(value >> 8);    // descriptor type
    Put16(r + 4, index);                             // language
  } else {
    r[0] = requestType;
    r[1] = request;
    Put16(r + 2, value);
    Put16(r + 4, index);
  }
  std::vector<std::uint8_t> record(layout32_ ? 24 : 40, 0);
  auto urbAddress = reinterpret_cast<std::uintptr_t>(urb);
  if (layout32_) {
    Put32(&record[8], low_);
    Put32(&record[12], high_);
    Put32(&record[16], static_cast<std::uint32_t>(urbAddress));
    Put32(&record[20], timeoutMs);
  } else {
    Put32(&record[16], low_);
    Put32(&record[20], high_);
    Put64(&record[24], urbAddress);
    Put32(&record[32], timeoutMs);
  }
  reply.ok = Ioctl(platform::kIoctlProxySubmit, record, false, reply.error);
  reply.urbStatus = Get32(urb + 4);
  reply.moved = Get32(urb + lengthAt);
  if (in && reply.moved <= length) reply.data.assign(buffer, buffer + reply.moved);
  lastUrb_.assign(urb, urb + (layout32_ ? 80 : 136));
  return reply;
}

Reply TestHost::VendorIn(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                         std::uint16_t length, std::uint32_t timeoutMs) {
  return Submit(0x0017, 0xC0, request, value, index, true, {}, length, timeoutMs);
}

Reply TestHost::VendorOut(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                          const std::vector<std::uint8_t>& data, std::uint32_t timeoutMs) {
  return Submit(0x0017, 0x40, request, value, index, false, data, 0, timeoutMs);
}

Reply TestHost::Descriptor(std::uint8_t type, std::uint8_t index, std::uint16_t language,
                           std::uint16_t length) {
  return Submit(0x000B, 0, 0, static_cast<std::uint16_t>(type << 8 | index), language, true, {},
                length);
}

Reply TestHost::XuSet(std::uint8_t selector, const std::vector<std::uint8_t>& data) {
  return Submit(0x001B, 0x21, 0x01, static_cast<std::uint16_t>(selector << 8),
                static_cast<std::uint16_t>(unit_ << 8 | iface_), false, data, 0);
}

Reply TestHost::XuGet(std::uint8_t request, std::uint8_t selector, std::uint16_t length) {
  return Submit(0x001B, 0xA1, request, static_cast<std::uint16_t>(selector << 8),
                static_cast<std::uint16_t>(unit_ << 8 | iface_), true, {}, length);
}

Reply TestHost::XuRead(const std::vector<std::uint8_t>& block, std::uint32_t length,
                       std::uint16_t size) {
  Reply reply = XuSet(0x0A, block);
  if (!reply.good()) return reply;
  std::vector<std::uint8_t> all;
  for (std::uint32_t done = 0; done < length; done += size) {
    reply = XuGet(0x81, 0x0B, size);
    if (!reply.good()) return reply;
    std::uint32_t take = std::min<std::uint32_t>(size, length - done);
    all.insert(all.end(), reply.data.begin(), reply.data.begin() + take);
  }
  reply.data = all;
  return reply;
}

Reply TestHost::XuWrite(const std::vector<std::uint8_t>& block,
                        const std::vector<std::uint8_t>& data, std::uint16_t size) {
  Reply reply = XuSet(0x0A, block);
  if (!reply.good()) return reply;
  for (std::size_t done = 0; done < data.size(); done += size) {
    std::vector<std::uint8_t> piece(size, 0);
    std::size_t take = std::min<std::size_t>(size, data.size() - done);
    std::memcpy(piece.data(), data.data() + done, take);
    reply = XuSet(0x0B, piece);
    if (!reply.good()) return reply;
  }
  return reply;
}

}  // namespace vantor::sim::test
