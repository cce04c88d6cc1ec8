// The SPI flash flows: CMpFlow_Flash (update sequences), CFlashConfigInfo, CFlashInfo
// (download and command-line operations) and the concrete class for USB.
#pragma once

#include "flows/eeprom_config_info.h"

namespace vantor {

class CMpFlow_Flash : public CEepromConfigInfo {};

class CFlashConfigInfo : public CMpFlow_Flash {};

class CFlashInfo : public CFlashConfigInfo {};

class CSPIFlashInfo_USB : public CFlashInfo {};

}  // namespace vantor
