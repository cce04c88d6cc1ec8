// IC type definitions: one INI document per chip family (bus, IC name, default built-in
// image, the register values that recognise the connected chip, the chip type code its
// images carry, where the configuration area lies). CICTypeIni keeps the list of the
// available definitions, loads the chosen one and answers questions about it.
//
// Definitions are the four built-in texts ("ICINI" 2030 to 2033) or, with "Ini Type" 1,
// the "*.INI" files in the program's directory.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/ini_file.h"

namespace vantor {

inline constexpr std::string_view kIcIniResourceType = "ICINI";

// Sections and keys of a definition.
inline constexpr std::string_view kIcConfigSection = "Vantor Config";
inline constexpr std::string_view kIcVendorSection = "Vendor Info M1";
inline constexpr int kIcRegisterSectionCount = 0x10;

// The IC name that switches on the special configuration-area rules of that family.
inline constexpr std::wstring_view kIcNameQX330 = L"QX330";

class CICTypeIni : public CUserIni {
 public:
  struct Chip {
    std::wstring_view name;
    unsigned resourceId;
  };
  // QX310 2030, QX330 2031, QX332 2032, QX340 2033.
  static const std::array<Chip, 4> kChipTable;
  // A current name that matches no built-in chip loads this one.
  static constexpr unsigned kFallbackResourceId = 2030;
  // Wide texts taken from a definition are cut to this many characters.
  static constexpr std::size_t kMaxTextChars = 259;

  // The current name starts as "QX330.INI"; nothing is loaded. `iniType` is the
  // settings value "Ini Type": 1 takes the definitions from "*.INI" files beside the
  // program, any other value from the built-in texts.
  explicit CICTypeIni(int iniType = 0);

  int IniType() const { return iniType_; }
  void SetIniType(int iniType) { iniType_ = iniType; }

  // Fills the definition list: with "Ini Type" 1 the "*.INI" files (letter case ignored)
  // in the program's directory except the exact name "config.ini", sorted by name
  // (letter case ignored) so the order does not depend on the file system; otherwise the
  // chip table names followed by ".ini".
  void BuildList();
  // Loads the definition named by the current name.
  void SelectByName();
  // Loads the definition at that list position (for built-in definitions: chip table
  // position); a position past the end loads nothing.
  void SelectByIndex(int index);
  // SelectByIndex, then MatchChip.
  bool SelectAndMatch(std::uint8_t reg1, std::uint8_t reg2, int index);
  // The first register section (numbers 0 to 0x0F, missing ones skipped) whose
  // "ICRegister1" and "ICRegister2" (low 8 bits) equal the two values: sets the chosen
  // ChipInfo and the matched registers. No match changes nothing.
  bool MatchChip(std::uint8_t reg1, std::uint8_t reg2);
  // Sets the process-wide bus type from "Bus Type" (names not in the bus map leave it as
  // it was) and the IC name from "Ic Name".
  void ApplyDefinition();
  // Sets the IC name only.
  void ReadIcName();
  // The resource number of the built-in image that "Def Bin" names.
  bool DefaultImageId(unsigned& resourceId) const;
  // An integer of "[Vendor Info M1]", default 0.
  std::int32_t GetVendorInt(std::string_view key) const;
  std::int32_t GetConfigSize() const;
  // Loads a built-in text; false when the resource is missing or empty. The text is
  // kept as the definition text whether or not it holds INI sections.
  bool LoadFromResource(unsigned resourceId);
  // Loads the file of the current name from the program's directory.
  bool LoadFromFile();

  std::uint8_t ChipInfo() const { return chipInfo_; }
  std::uint8_t MatchedRegister1() const { return matchedReg1_; }
  std::uint8_t MatchedRegister2() const { return matchedReg2_; }
  const std::wstring& CurrentName() const { return currentName_; }
  void SetCurrentName(std::wstring name) { currentName_ = std::move(name); }
  const std::vector<std::wstring>& List() const { return list_; }
  const std::wstring& IcName() const { return icName_; }
  bool IsQX330() const { return icName_ == kIcNameQX330; }
  const std::wstring& DefinitionText() const { return definitionText_; }

  // "ConfigAddress" of "[Vendor Info M1]".
  std::uint32_t ConfigAddress() const;

 private:
  // Empties the loaded definition, the chosen ChipInfo and the IC name.
  void ClearSelection();

  int iniType_;
  std::uint8_t chipInfo_ = 0;
  std::uint8_t matchedReg1_ = 0xFF;
  std::uint8_t matchedReg2_ = 0xFF;
  std::wstring currentName_ = L"QX330.INI";
  std::vector<std::wstring> list_;
  std::wstring icName_;
  std::wstring definitionText_;
};

// The definition the running operation works with (start-up's, or the one the device
// flow chose). Not owned; null when none is set, in which case every key takes its
// default ("ConfigAddress" 0, no IC name, no "Def Bin").
CICTypeIni* ActiveICTypeIni();
void SetActiveICTypeIni(CICTypeIni* definition);

}  // namespace vantor
