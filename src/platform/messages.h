// The message table: the numbered texts of every step, success and failure the user
// sees. The numbers travel in flow notifications and in LastResultCode.
#pragma once

#include <cstdint>
#include <string_view>

namespace vantor {

namespace msg {
inline constexpr std::uint32_t kNotSupport = 41500;               // "Not Support!"
inline constexpr std::uint32_t kDetectDeviceFail = 41511;         // "Detect Device Fail!"
inline constexpr std::uint32_t kResetDeviceFail = 41512;          // "Reset Device Fail!"
inline constexpr std::uint32_t kLoadFileDataFail = 41530;         // "Load File Data Fail!"
inline constexpr std::uint32_t kParseFwFileFail = 41531;          // "Parse FW File Fail!"
inline constexpr std::uint32_t kGetCodeSizeFail = 41702;          // "Get Code Size Fail!"
inline constexpr std::uint32_t kReadFlashFail = 41704;            // "Read Flash Fail!"
inline constexpr std::uint32_t kEraseFlashFail = 41705;           // "Erase Flash Fail!"
inline constexpr std::uint32_t kUpdateFlashFail = 41706;          // "Update Flash Fail!"
inline constexpr std::uint32_t kMallocDataFail = 41708;           // "Malloc Data Fail!"
inline constexpr std::uint32_t kCompareDataFail = 41709;          // "Compare Data Fail!"
inline constexpr std::uint32_t kDisableWriteProtectFail = 41710;  // "Disable Write Protect Fail!"
inline constexpr std::uint32_t kEnableWriteProtectFail = 41711;   // "Enable Write Protect Fail!"
inline constexpr std::uint32_t kWriteTagFail = 41712;             // "Write Tag Fail!"
inline constexpr std::uint32_t kSaveSnFail = 41713;               // "Save SN Fail!"
inline constexpr std::uint32_t kVidPidMismatch = 41714;           // "The Vid/Pid does not Match!"
inline constexpr std::uint32_t kFirmwareNotForDevice = 41715;   // "Firmware is not for the device!"
inline constexpr std::uint32_t kCheckEmptyFail = 41717;         // "Check Empty Fail!"
inline constexpr std::uint32_t kStepWaitReset = 41718;          // "Wait device to reset"
inline constexpr std::uint32_t kStepErasing = 41719;            // "Erasing"
inline constexpr std::uint32_t kStepCheckEmpty = 41720;         // "Check empty"
inline constexpr std::uint32_t kStepDownload = 41721;           // "Download"
inline constexpr std::uint32_t kStepVerify = 41722;             // "Verify"
inline constexpr std::uint32_t kStepWriteTag = 41723;           // "Write Tag"
inline constexpr std::uint32_t kStepResetToNewCode = 41724;     // "Reset to new code"
inline constexpr std::uint32_t kStepRead = 41735;               // "Read"
inline constexpr std::uint32_t kReadFlashSucceed = 41751;       // "Read Flash Code Succeed."
inline constexpr std::uint32_t kEraseFlashSucceed = 41752;      // "Erase Flash Code Succeed."
inline constexpr std::uint32_t kUpdateFlashSucceed = 41753;     // "Update Flash Code Succeed."
inline constexpr std::uint32_t kFirmwareUpdateSucceed = 41755;  // "Firmware Update Succeed."
inline constexpr std::uint32_t kReadEepromFail = 41802;         // "Read EERPOM Fail!"
inline constexpr std::uint32_t kEraseEepromFail = 41803;        // "Erase EEPROM Fail!"
inline constexpr std::uint32_t kUpdateEepromFail = 41804;       // "Update EEPROM Data Fail!"
inline constexpr std::uint32_t kReadEepromSucceed = 41851;      // "Read EEPROM Code Succeed."
inline constexpr std::uint32_t kEraseEepromSucceed = 41852;     // "Erase EEPROM Code Succeed."
inline constexpr std::uint32_t kUpdateEepromSucceed = 41853;    // "Update EEPROM Code Succeed."
inline constexpr std::uint32_t kDownloadEepromSucceed = 41854;  // "Download EEPROM Code Succeed."
inline constexpr std::uint32_t kCheckDeviceInfoSucceed = 41906;   // "Check Device Info Succeed."
inline constexpr std::uint32_t kReadMtpSucceed = 41910;           // "Read MTP Code Succeed."
inline constexpr std::uint32_t kDownloadMtpSucceed = 41913;       // "Download MTP Code Succeed."
inline constexpr std::uint32_t kWriteOtpFail = 41914;             // "Write OTP Fail!"
inline constexpr std::uint32_t kNotEnoughVdBlock = 41916;         // "Not Enough VD Block"
inline constexpr std::uint32_t kCodeExceedMaxLength = 41917;      // "Code Exceed Max Length!"
inline constexpr std::uint32_t kOtpLocked = 41918;                // "OTP Locked,Can't Program!"
inline constexpr std::uint32_t kErrorNumExceed8 = 41919;          // "Error Num Exceed 8!"
inline constexpr std::uint32_t kRedundantFail = 41922;            // "Reduant Fail!"
inline constexpr std::uint32_t kEccNumLowerThanErrorNum = 41923;  // "ECC Num lower than Error Num!"
inline constexpr std::uint32_t kNotFindVdBlock = 41924;           // "Not Find VDBlock!"
inline constexpr std::uint32_t kGetVdCodeFail = 41925;            // "Get VD Code Fail!"
inline constexpr std::uint32_t kFailAddress = 41926;              // "Fail Address!"
inline constexpr std::uint32_t kWriteBlockFail = 41927;           // "Write Block Fail!"
inline constexpr std::uint32_t kReadOtpFail = 41928;              // "Read OTP Fail!"
inline constexpr std::uint32_t kReadOtpSucceed = 41929;           // "ReadOTP Succeed."
inline constexpr std::uint32_t kUpdateOtpSucceed = 41930;         // "UpdateOTP Succeed."
inline constexpr std::uint32_t kDownloadOtpSucceed = 41931;       // "DownloadOTP Succeed."
inline constexpr std::uint32_t kOtpCodeNotExist = 41933;          // "OTP Code Not Exist!"
inline constexpr std::uint32_t kNotInCacheMode = 41935;           // "Device is not in cache mode."
inline constexpr std::uint32_t kLastOtpWriteAbnormal = 41937;     // "Last OTP Write Abnormal!"
}  // namespace msg

enum class MessageKind { Step, Success, Failure, Unknown };

// The text of a message id; empty for an id the table does not have.
std::string_view MessageText(std::uint32_t id);
MessageKind MessageKindOf(std::uint32_t id);
inline bool IsSuccessMessage(std::uint32_t id) { return MessageKindOf(id) == MessageKind::Success; }

}  // namespace vantor
