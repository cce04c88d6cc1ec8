// CMpFlow_Eeprom (the EEPROM update) and CEepromConfigInfo (serial number and string
// patching), the common base of the EEPROM, flash and OTP flows.
#pragma once

#include "flows/dev_flow.h"

namespace vantor {

class CMpFlow_Eeprom : public CDevFlow {};

class CEepromConfigInfo : public CMpFlow_Eeprom {};

}  // namespace vantor
