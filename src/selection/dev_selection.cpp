#include "flows/dev_flow.h"

namespace vantor {

int CDevFlow::DEV_OpenDevice() { return 0; }
int CDevFlow::DEV_OpenDeviceByICIni() { return 0; }
int CDevFlow::DEV_OpenDeviceByICIni(std::uint32_t) { return 0; }
int CDevFlow::DEV_OpenDeviceByVIDPID() { return 0; }
int CDevFlow::DEV_GetDeviceInfo() { return 0; }
int CDevFlow::DEV_GetDeviceInfoForInternalTool() { return 0; }
int CDevFlow::DEV_CloseDevice() { return 0; }
void CDevFlow::DEV_GetDefaultDeviceForAllInOne() {}
void CDevFlow::DEV_GetDeviceListForAllInOne(std::uint32_t) {}
int CDevFlow::DEV_GetDeviceListAfterReset() { return 0; }
int CDevFlow::DEV_GetDeviceListExist() { return 0; }
int CDevFlow::Dev_OpenDeviceForMultiCamera() { return 0; }
int CDevFlow::DEV_ReadDeviceState() { return 0; }
int CDevFlow::DEV_RunCommand(char, const std::wstring&) { return 0; }
void CDevFlow::DEV_SetResetOptions() {}
void CDevFlow::ReadIdentity() {}
void CDevFlow::ReadLocation() {}
bool CDevFlow::AcceptByRule() { return false; }
void CDevFlow::ApplyIcTypeSettings() {}

}  // namespace vantor
