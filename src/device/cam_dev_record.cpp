#include "device/cam_dev_record.h"

#include <utility>

#include "device/cam_dev_info.h"
#include "device/proxy_protocol.h"

namespace vantor {

CamDevRecord::CamDevRecord() = default;
CamDevRecord::~CamDevRecord() = default;

CamDevRecord::CamDevRecord(CamDevRecord&& other) noexcept { TakeFrom(other); }

CamDevRecord& CamDevRecord::operator=(CamDevRecord&& other) noexcept {
  if (this != &other) {
    Close();
    TakeFrom(other);
  }
  return *this;
}

void CamDevRecord::TakeFrom(CamDevRecord& other) noexcept {
  magic = std::exchange(other.magic, 0);
  reserved = std::exchange(other.reserved, 0);
  hKvProxyDevLow = std::exchange(other.hKvProxyDevLow, 0);
  hKvProxyDevHigh = std::exchange(other.hKvProxyDevHigh, 0);
  devInst = std::exchange(other.devInst, 0);
  interfaceHandle = std::exchange(other.interfaceHandle, 0);
  usbGeneration = std::exchange(other.usbGeneration, 0);
  displayName = std::exchange(other.displayName, {});
  deviceKind = std::exchange(other.deviceKind, kDeviceKindAudio);
  address = std::exchange(other.address, 0);
  ancestors = std::exchange(other.ancestors, {});
  locationPath = std::exchange(other.locationPath, {});
  interfaceNumber = std::exchange(other.interfaceNumber, 0);
  ancestorCount = std::exchange(other.ancestorCount, 0);
  info = std::move(other.info);
}

bool CamDevRecord::IsValid() const {
  return magic == kCamDevRecordMagic && (hKvProxyDevLow != 0 || hKvProxyDevHigh != 0) &&
         interfaceHandle != 0;
}

void CamDevRecord::Close() {
  info.reset();
  if (interfaceHandle != 0) {
    platform::GetDeviceInventory()->CloseDeviceInterface(interfaceHandle);
    interfaceHandle = 0;
  }
  if (hKvProxyDevLow != 0 || hKvProxyDevHigh != 0) {
    ProxyDetach(hKvProxyDevLow, hKvProxyDevHigh);
    hKvProxyDevLow = 0;
    hKvProxyDevHigh = 0;
  }
  devInst = 0;
  ancestorCount = 0;
}

}  // namespace vantor
