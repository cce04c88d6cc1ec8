#include <string>

#include "config/ini_file.h"
#include "config/settings.h"
#include "fuzz/targets/fuzz_targets.h"

namespace vantor::fuzz {

int FuzzIni(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CIniFile ini;
  ini.LoadText(text);
  for (int s = 0; s < ini.SectionCount(); ++s) {
    ini.GetIntAt(s, "Lib Type", 7);
    ini.GetStringAt(s, "OTP Password", "none");
  }
  ini.GetInt(5, "Vantor Config", "EraseTimeOut");
  ini.SetInt("Vantor Config", "PortNo", 3);
  ini.SetString("", "", "x", true);

  // The settings store reads every key from the same text.
  LoadSettingsText(text);
  for (const SettingDef& def : SettingDefs()) {
    GetSetting(def.id);
    GetSettingText(def.id);
  }
  DeleteSettings();
  return 0;
}

}  // namespace vantor::fuzz
