#include "device/proxy_state.h"

#include <mutex>
#include <utility>

#include "platform/last_error.h"

namespace vantor {

namespace {

std::mutex gStateMutex;
std::shared_ptr<platform::ProxyDriver> gDevice;
bool gKernel64 = KernelIs64Bit(false);

// Guards the area; held by a ProxyStagingLock for one whole request.
std::mutex gStagingMutex;
std::uint8_t* gStagingBase = nullptr;
std::size_t gStagingSize = 0;

}  // namespace

bool OpenProxyDevice(bool wow64Process) {
  {
    std::lock_guard lock(gStateMutex);
    if (gDevice) return true;
  }
  std::unique_ptr<platform::ProxyDriver> opened = platform::OpenProxyControlDevice();
  if (!opened) {
    if (platform::GetLastError() == 0) platform::SetLastError(platform::kErrorPathNotFound);
    return false;
  }
  std::lock_guard lock(gStateMutex);
  if (!gDevice) {
    gDevice = std::move(opened);
    gKernel64 = KernelIs64Bit(wow64Process);
  }
  return true;
}

void SetProxyDevice(std::shared_ptr<platform::ProxyDriver> device, bool kernel64) {
  std::lock_guard lock(gStateMutex);
  gDevice = std::move(device);
  gKernel64 = kernel64;
}

void CloseProxyDevice() {
  std::shared_ptr<platform::ProxyDriver> closing;
  {
    std::lock_guard lock(gStateMutex);
    closing = std::move(gDevice);
    gKernel64 = KernelIs64Bit(false);
  }
}

bool IsProxyDeviceOpen() {
  std::lock_guard lock(gStateMutex);
  return gDevice != nullptr;
}

bool IsKernel64() {
  std::lock_guard lock(gStateMutex);
  return gKernel64;
}

ProxyConnection CurrentProxy() {
  std::lock_guard lock(gStateMutex);
  return ProxyConnection{gDevice, gKernel64 ? ProxyLayout::k64 : ProxyLayout::k32};
}

void SetProxyStagingArea(void* base, std::size_t size) {
  std::lock_guard lock(gStagingMutex);
  gStagingBase = base == nullptr ? nullptr : static_cast<std::uint8_t*>(base);
  gStagingSize = base == nullptr ? 0 : size;
}

ProxyStagingLock::ProxyStagingLock() {
  gStagingMutex.lock();
  base_ = gStagingBase;
  size_ = gStagingSize;
}

ProxyStagingLock::~ProxyStagingLock() { gStagingMutex.unlock(); }

}  // namespace vantor
