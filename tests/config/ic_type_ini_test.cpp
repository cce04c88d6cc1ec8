#include "config/ic_type_ini.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "config/builtin_images.h"
#include "config/bus_type.h"
#include "platform/text.h"
#include "support/scoped_program_dir.h"

namespace vantor {
namespace {

// Keeps the process-wide bus type as it was.
class BusTypeGuard {
 public:
  BusTypeGuard() : saved_(GetBusType()) {}
  ~BusTypeGuard() { SetBusType(saved_); }

 private:
  BusType saved_;
};

struct BuiltInDefinition {
  unsigned resource;
  const char* icName;
  const char* defBin;
  struct Section {
    int number;
    int reg1, reg2, chipInfo;
  };
  std::vector<Section> sections;
  int configAddress, configSize, tagAddress;
};

const BuiltInDefinition kBuiltIn[] = {
    {2030, "QX310", "FFU_310", {{0, 0x00, 0x00, 17}, {1, 0x10, 0x70, 17}}, 0xAE00, 512, 0xEFFE},
    {2031, "QX330", "FFU_330", {{0, 0x10, 0xB0, 21}}, 0xF000, 4096, 0xEFFE},
    {2032, "QX330", "FFU_332", {{0, 0x10, 0xF0, 24}, {1, 0x10, 0xC0, 24}}, 0xF000, 4096, 0xEFFE},
    {2033, "QX330", "FFU_340", {{0, 0x10, 0xD0, 25}}, 0xF000, 4096, 0xEFFE},
};

TEST(ICTypeIniBuiltIn, DefinitionsHoldTheTableValues) {
  for (const BuiltInDefinition& d : kBuiltIn) {
    SCOPED_TRACE(d.resource);
    CICTypeIni ic;
    ASSERT_TRUE(ic.LoadFromResource(d.resource));
    EXPECT_EQ(ic.GetString("Vantor Config", "Bus Type", ""), "USB");
    EXPECT_EQ(ic.GetString("Vantor Config", "Ic Name", ""), d.icName);
    EXPECT_EQ(ic.GetString("Vantor Config", "Def Bin", ""), d.defBin);
    EXPECT_EQ(ic.GetVendorInt("ConfigAddress"), d.configAddress);
    EXPECT_EQ(ic.GetConfigSize(), d.configSize);
    EXPECT_EQ(ic.GetVendorInt("TagAddress"), d.tagAddress);
    int sections = 0;
    for (int n = 0; n < 0x10; ++n) {
      char name[32];
      std::snprintf(name, sizeof name, "Camera_Register_%02X", n);
      if (ic.FindSection(name) >= 0) ++sections;
    }
    EXPECT_EQ(sections, static_cast<int>(d.sections.size()));
    for (const auto& s : d.sections) {
      char name[32];
      std::snprintf(name, sizeof name, "Camera_Register_%02X", s.number);
      EXPECT_EQ(ic.GetInt(-1, name, "ICRegister1"), s.reg1) << name;
      EXPECT_EQ(ic.GetInt(-1, name, "ICRegister2"), s.reg2) << name;
      EXPECT_EQ(ic.GetInt(-1, name, "ChipInfo"), s.chipInfo) << name;
      // Each section is found by the registers it names.
      CICTypeIni match;
      match.LoadFromResource(d.resource);
      EXPECT_TRUE(
          match.MatchChip(static_cast<std::uint8_t>(s.reg1), static_cast<std::uint8_t>(s.reg2)));
      EXPECT_EQ(match.ChipInfo(), s.chipInfo);
    }
    unsigned image = 0;
    ASSERT_TRUE(ic.DefaultImageId(image));
    EXPECT_EQ(image, FindBuiltInImageId(d.defBin));
  }
}

TEST(ICTypeIniBuiltIn, ConstructionAndListOfBuiltInNames) {
  CICTypeIni ic;
  EXPECT_EQ(ic.CurrentName(), L"QX330.INI");
  EXPECT_TRUE(ic.List().empty());
  EXPECT_EQ(ic.SectionCount(), 0);
  EXPECT_EQ(ic.MatchedRegister1(), 0xFF);
  EXPECT_EQ(ic.MatchedRegister2(), 0xFF);
  ic.BuildList();
  EXPECT_EQ(ic.List(),
            (std::vector<std::wstring>{L"QX310.ini", L"QX330.ini", L"QX332.ini", L"QX340.ini"}));
}

TEST(ICTypeIniBuiltIn, SelectByNameComparesTheUpperCaseName) {
  struct Case {
    const wchar_t* current;
    const char* defBin;
  } cases[] = {
      {L"QX330.INI", "FFU_330"}, {L"QX332.INI", "FFU_332"}, {L"QX340.INI", "FFU_340"},
      {L"QX310.INI", "FFU_310"}, {L"qx330.ini", "FFU_310"},  // lower case: no match, 2030
      {L"QX330.ini", "FFU_310"}, {L"", "FFU_310"},
  };
  for (const auto& c : cases) {
    CICTypeIni ic;
    ic.SetCurrentName(c.current);
    ic.SelectByName();
    EXPECT_EQ(ic.GetString("Vantor Config", "Def Bin", ""), c.defBin)
        << platform::ToUtf8(c.current);
  }
}

TEST(ICTypeIniBuiltIn, SelectByIndexLoadsTheChipTableEntry) {
  CICTypeIni ic;
  ic.BuildList();
  ic.SelectByIndex(2);
  EXPECT_EQ(ic.GetString("Vantor Config", "Def Bin", ""), "FFU_332");
  ic.SelectByIndex(4);
  EXPECT_EQ(ic.SectionCount(), 0);
  EXPECT_EQ(ic.GetVendorInt("ConfigAddress"), 0);
  ic.SelectByIndex(-1);
  EXPECT_EQ(ic.SectionCount(), 0);
}

TEST(ICTypeIniBuiltIn, SelectAndMatchTriesTheRegisters) {
  CICTypeIni ic;
  ic.BuildList();
  // 0x10/0xC0 is the second register section of the QX332 definition.
  EXPECT_FALSE(ic.SelectAndMatch(0x10, 0xC0, 0));
  EXPECT_FALSE(ic.SelectAndMatch(0x10, 0xC0, 1));
  EXPECT_TRUE(ic.SelectAndMatch(0x10, 0xC0, 2));
  EXPECT_EQ(ic.ChipInfo(), 24);
  EXPECT_EQ(ic.MatchedRegister1(), 0x10);
  EXPECT_EQ(ic.MatchedRegister2(), 0xC0);
  // A new selection clears the chosen ChipInfo; a failed match keeps the registers.
  EXPECT_FALSE(ic.SelectAndMatch(0x10, 0xC0, 3));
  EXPECT_EQ(ic.ChipInfo(), 0);
  EXPECT_EQ(ic.MatchedRegister2(), 0xC0);
}

TEST(ICTypeIniMatch, SectionsWithGapsAndLowEightBits) {
  CICTypeIni ic;
  ASSERT_TRUE(ic.LoadText(
      std::string_view("[Camera_Register_05]\nICRegister1=0x110\nICRegister2=0x22\nChipInfo=0x109\n"
                       "[Camera_Register_0F]\nICRegister1=0x33\nICRegister2=0x44\nChipInfo=12\n"
                       "[Camera_Register_10]\nICRegister1=0x55\nICRegister2=0x66\nChipInfo=13\n")));
  EXPECT_TRUE(ic.MatchChip(0x10, 0x22));
  EXPECT_EQ(ic.ChipInfo(), 9);
  EXPECT_TRUE(ic.MatchChip(0x33, 0x44));
  EXPECT_EQ(ic.ChipInfo(), 12);
  // Section 0x10 is past the last number looked at.
  EXPECT_FALSE(ic.MatchChip(0x55, 0x66));
  EXPECT_EQ(ic.ChipInfo(), 12);
  EXPECT_EQ(ic.MatchedRegister1(), 0x33);
}

TEST(ICTypeIniMatch, FirstMatchingSectionWins) {
  CICTypeIni ic;
  ASSERT_TRUE(ic.LoadText(
      std::string_view("[Camera_Register_03]\nICRegister1=1\nICRegister2=2\nChipInfo=30\n"
                       "[Camera_Register_01]\nICRegister1=1\nICRegister2=2\nChipInfo=10\n")));
  EXPECT_TRUE(ic.MatchChip(1, 2));
  EXPECT_EQ(ic.ChipInfo(), 10);
}

TEST(ICTypeIniApply, BusTypeAndIcName) {
  BusTypeGuard guard;
  struct Case {
    const char* bus;
    BusType before, after;
  } cases[] = {
      {"MIPI", BusType::kUsb, BusType::kMipi},  {"PCIE", BusType::kUsb, BusType::kPcie},
      {"USB", BusType::kMipi, BusType::kUsb},   {"usb", BusType::kMipi, BusType::kMipi},
      {"SDIO", BusType::kPcie, BusType::kPcie}, {"", BusType::kPcie, BusType::kPcie},
  };
  for (const auto& c : cases) {
    SetBusType(c.before);
    CICTypeIni ic;
    ic.LoadText("[Vantor Config]\nBus Type=" + std::string(c.bus) + "\nIc Name=QX330\n");
    ic.ApplyDefinition();
    EXPECT_EQ(GetBusType(), c.after) << c.bus;
    EXPECT_EQ(ic.IcName(), L"QX330");
    EXPECT_TRUE(ic.IsQX330());
  }
}

TEST(ICTypeIniApply, ReadIcNameLeavesTheBusAndCutsLongNames) {
  BusTypeGuard guard;
  SetBusType(BusType::kUsb);
  CICTypeIni ic;
  ic.LoadText("[Vantor Config]\nBus Type=MIPI\nIc Name=" + std::string(300, 'N') + "\n");
  ic.ReadIcName();
  EXPECT_EQ(GetBusType(), BusType::kUsb);
  EXPECT_EQ(ic.IcName(), std::wstring(CICTypeIni::kMaxTextChars, L'N'));
  EXPECT_FALSE(ic.IsQX330());
}

TEST(ICTypeIniApply, DefaultImageNeedsTheExactName) {
  CICTypeIni ic;
  unsigned id = 77;
  ic.LoadText(std::string_view("[Vantor Config]\nDef Bin=ffu_330\n"));
  EXPECT_FALSE(ic.DefaultImageId(id));
  EXPECT_EQ(id, 77u);
  ic.LoadText(std::string_view("[Vantor Config]\nDef Bin=FFU_17AA_1046H\n"));
  EXPECT_TRUE(ic.DefaultImageId(id));
  EXPECT_EQ(id, 3021u);
}

TEST(ICTypeIniLoad, MissingResourceLeavesAnEmptyDefinition) {
  CICTypeIni ic;
  ASSERT_TRUE(ic.LoadFromResource(2031));
  EXPECT_FALSE(ic.LoadFromResource(2099));
  EXPECT_EQ(ic.SectionCount(), 0);
  EXPECT_TRUE(ic.DefinitionText().empty());
  EXPECT_EQ(ic.GetVendorInt("ConfigAddress"), 0);
  EXPECT_FALSE(ic.MatchChip(0, 0));
}

TEST(ICTypeIniLoad, DefinitionTextIsTheResourceText) {
  CICTypeIni ic;
  ASSERT_TRUE(ic.LoadFromResource(2031));
  EXPECT_NE(ic.DefinitionText().find(L"Ic Name=QX330\r\n"), std::wstring::npos);
}

// Definitions from "*.INI" files beside the program.
class ICTypeIniFiles : public ::testing::Test {
 protected:
  test::ScopedProgramDir dir;
  CICTypeIni ic{1};

  void WriteDefinition(std::string_view name, std::string_view defBin) {
    dir.Write(name, "[Vantor Config]\r\nDef Bin=" + std::string(defBin) + "\r\n");
  }
};

TEST_F(ICTypeIniFiles, ListSkipsConfigIniAndDirectoriesAndIsSorted) {
  WriteDefinition("zeta.INI", "Z");
  WriteDefinition("Alpha.ini", "A");
  WriteDefinition("beta.Ini", "B");
  WriteDefinition("config.ini", "C");
  WriteDefinition("Config.ini", "D");
  WriteDefinition("notes.txt", "E");
  WriteDefinition("ini", "F");
  std::filesystem::create_directory(dir.path() / "folder.ini");
  ic.BuildList();
  EXPECT_EQ(ic.List(),
            (std::vector<std::wstring>{L"Alpha.ini", L"beta.Ini", L"Config.ini", L"zeta.INI"}));
}

TEST_F(ICTypeIniFiles, SelectByNameKeepsAListedNameElseTakesTheFirst) {
  WriteDefinition("A.ini", "FFU_310");
  WriteDefinition("B.ini", "FFU_332");
  ic.BuildList();
  ic.SetCurrentName(L"B.ini");
  ic.SelectByName();
  EXPECT_EQ(ic.CurrentName(), L"B.ini");
  EXPECT_EQ(ic.GetString("Vantor Config", "Def Bin", ""), "FFU_332");
  ic.SetCurrentName(L"b.ini");  // not listed in that letter case
  ic.SelectByName();
  EXPECT_EQ(ic.CurrentName(), L"A.ini");
  EXPECT_EQ(ic.GetString("Vantor Config", "Def Bin", ""), "FFU_310");
  ic.SetCurrentName(L"");
  ic.SelectByName();
  EXPECT_EQ(ic.CurrentName(), L"A.ini");
}

TEST_F(ICTypeIniFiles, OneEntryBecomesCurrentAndNoEntryEmptiesTheName) {
  ic.BuildList();
  ic.SelectByName();
  EXPECT_EQ(ic.CurrentName(), L"");
  EXPECT_EQ(ic.SectionCount(), 0);

  WriteDefinition("Only.INI", "FFU_340");
  ic.SetCurrentName(L"QX330.INI");
  ic.BuildList();
  ic.SelectByName();
  EXPECT_EQ(ic.CurrentName(), L"Only.INI");
  unsigned id = 0;
  EXPECT_TRUE(ic.DefaultImageId(id));
  EXPECT_EQ(id, 3023u);
}

TEST_F(ICTypeIniFiles, SelectByIndexLoadsTheListedFile) {
  WriteDefinition("A.ini", "FFU_310");
  WriteDefinition("B.ini", "FFU_330");
  ic.BuildList();
  ic.SelectByIndex(1);
  EXPECT_EQ(ic.CurrentName(), L"B.ini");
  EXPECT_EQ(ic.GetString("Vantor Config", "Def Bin", ""), "FFU_330");
  ic.SelectByIndex(2);
  EXPECT_EQ(ic.CurrentName(), L"B.ini");
  EXPECT_EQ(ic.SectionCount(), 0);
}

TEST_F(ICTypeIniFiles, LoadFromFileReadsBesideTheProgram) {
  WriteDefinition("Mine.ini", "FFU_332");
  ic.SetCurrentName(L"Mine.ini");
  EXPECT_TRUE(ic.LoadFromFile());
  EXPECT_EQ(ic.path(), platform::FromUtf8((dir.path() / "Mine.ini").string()));
  ic.SetCurrentName(L"Missing.ini");
  EXPECT_FALSE(ic.LoadFromFile());
  EXPECT_EQ(ic.SectionCount(), 0);
}

TEST(ActiveICTypeIni, SetAndCleared) {
  CICTypeIni ic;
  EXPECT_EQ(ActiveICTypeIni(), nullptr);
  SetActiveICTypeIni(&ic);
  EXPECT_EQ(ActiveICTypeIni(), &ic);
  SetActiveICTypeIni(nullptr);
  EXPECT_EQ(ActiveICTypeIni(), nullptr);
}

}  // namespace
}  // namespace vantor
