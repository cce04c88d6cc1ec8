// The OTP flows: CMpFlow_OTP (update and error correction), COTPConfigInfo, COTPInfo
// (download, update, read) and the concrete class for USB.
#pragma once

#include "flows/eeprom_config_info.h"

namespace vantor {

class CMpFlow_OTP : public CEepromConfigInfo {};

class COTPConfigInfo : public CMpFlow_OTP {};

class COTPInfo : public COTPConfigInfo {};

class COTPInfo_USB : public COTPInfo {};

}  // namespace vantor
