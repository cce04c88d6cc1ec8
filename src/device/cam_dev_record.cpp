#include "device/cam_dev_record.h"

#include "device/cam_dev_info.h"

namespace vantor {

CamDevRecord::CamDevRecord() = default;
CamDevRecord::~CamDevRecord() = default;

bool CamDevRecord::IsValid() const {
  return magic == kCamDevRecordMagic && (hKvProxyDevLow != 0 || hKvProxyDevHigh != 0) &&
         interfaceHandle != 0;
}

}  // namespace vantor
