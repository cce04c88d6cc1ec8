#include "flows/kvx_fun.h"

namespace vantor {

int CKvxFun::KF_GetDevStatus104(std::uint8_t* status) {
  return handle != 0 ? Lib_GetDevStatus104(handle, status, cmdFlags) : 0;
}
int CKvxFun::KF_GetDevStatus(std::uint32_t firstPage, std::uint32_t count, std::uint8_t* buffer) {
  return handle != 0 ? Lib_GetDevStatus(handle, firstPage, count, buffer, cmdFlags) : 0;
}
int CKvxFun::KF_ReadMem(std::uint32_t address, std::uint32_t length, std::uint8_t* buffer) {
  return handle != 0 ? Lib_ReadMem(handle, address, length, buffer, cmdFlags) : 0;
}
int CKvxFun::KF_WriteMem(std::uint32_t address, std::uint32_t length, const std::uint8_t* buffer) {
  return handle != 0 ? Lib_WriteMem(handle, address, length, buffer, cmdFlags) : 0;
}
int CKvxFun::KF_SPI_SF_Write(std::uint32_t address, std::uint32_t length,
                             const std::uint8_t* buffer) {
  return handle != 0 ? Lib_SPI_SF_Write(handle, address, length, buffer, cmdFlags, nullptr, nullptr)
                     : 0;
}
int CKvxFun::KF_SPI_SF_Read(std::uint32_t address, std::uint32_t length, std::uint8_t* buffer) {
  return handle != 0 ? Lib_SPI_SF_Read(handle, address, length, buffer, cmdFlags, nullptr, nullptr)
                     : 0;
}
int CKvxFun::KF_SPI_SF_ReadSr(std::uint8_t* status) {
  return handle != 0 ? Lib_SPI_SF_ReadSr(handle, status, cmdFlags) : 0;
}
int CKvxFun::KF_SPI_SF_WriteSr(std::uint8_t value) {
  return handle != 0 ? Lib_SPI_SF_WriteSr(handle, value, cmdFlags) : 0;
}
int CKvxFun::KF_SPI_SF_EraseChip(std::uint32_t timeoutMs) {
  return handle != 0 ? Lib_SPI_SF_EraseChip(handle, cmdFlags, timeoutMs) : 0;
}
int CKvxFun::KF_I2C_EEP8_Write(std::uint32_t address, std::uint32_t length,
                               const std::uint8_t* buffer) {
  return handle != 0 ? Lib_I2C_EEP8_Write(handle, address, length, buffer, cmdFlags) : 0;
}
int CKvxFun::KF_I2C_EEP8_Read(std::uint32_t address, std::uint32_t length, std::uint8_t* buffer) {
  return handle != 0 ? Lib_I2C_EEP8_Read(handle, address, length, buffer, cmdFlags) : 0;
}
int CKvxFun::KF_I2C_EEP8_Erase(std::uint32_t size) {
  return handle != 0 ? Lib_I2C_EEP8_Erase(handle, size, cmdFlags) : 0;
}
int CKvxFun::KF_I2C_EEP16_Write(std::uint32_t address, std::uint32_t length,
                                const std::uint8_t* buffer) {
  return handle != 0
             ? Lib_I2C_EEP16_Write(handle, address, length, buffer, cmdFlags, nullptr, nullptr)
             : 0;
}
int CKvxFun::KF_I2C_EEP16_Read(std::uint32_t address, std::uint32_t length, std::uint8_t* buffer) {
  return handle != 0
             ? Lib_I2C_EEP16_Read(handle, address, length, buffer, cmdFlags, nullptr, nullptr)
             : 0;
}
int CKvxFun::KF_I2C_EEP16_Erase(std::uint32_t address, std::uint32_t size) {
  return handle != 0 ? Lib_I2C_EEP16_Erase(handle, address, size, cmdFlags) : 0;
}
int CKvxFun::KF_OTP_Read(std::uint32_t address, std::uint32_t length, std::uint8_t* buffer) {
  return handle != 0 ? Lib_OTP_Read(handle, address, length, buffer, 0, 0) : 0;
}

}  // namespace vantor
