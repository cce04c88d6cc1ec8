// The EEPROM flows: CEepromInfo with the concrete classes for 8-bit and 16-bit
// addressed EEPROMs on USB.
#pragma once

#include "flows/eeprom_config_info.h"

namespace vantor {

class CEepromInfo : public CEepromConfigInfo {};

class CEepromInfo8_USB : public CEepromInfo {};

class CEepromInfo16_USB : public CEepromInfo {};

}  // namespace vantor
