#include "config/ic_type_ini.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "config/builtin_images.h"
#include "config/bus_type.h"
#include "platform/files.h"
#include "platform/resources.h"
#include "platform/text.h"

namespace vantor {

namespace fs = std::filesystem;

const std::array<CICTypeIni::Chip, 4> CICTypeIni::kChipTable = {{
    {L"QX310", 2030},
    {L"QX330", 2031},
    {L"QX332", 2032},
    {L"QX340", 2033},
}};

namespace {

std::atomic<CICTypeIni*> gActive{nullptr};

wchar_t FoldAscii(wchar_t c) { return (c >= L'A' && c <= L'Z') ? c - L'A' + L'a' : c; }

// Orders names without regard to letter case; names that differ only in case keep a
// fixed order among themselves.
bool NameLess(const std::wstring& a, const std::wstring& b) {
  auto folded = [](wchar_t x, wchar_t y) { return FoldAscii(x) < FoldAscii(y); };
  if (std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), folded)) return true;
  if (std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), folded)) return false;
  return a < b;
}

bool EndsWithIni(const std::wstring& name) {
  static constexpr std::wstring_view kExt = L".ini";
  if (name.size() < kExt.size()) return false;
  for (std::size_t i = 0; i < kExt.size(); ++i) {
    if (FoldAscii(name[name.size() - kExt.size() + i]) != kExt[i]) return false;
  }
  return true;
}

std::wstring ToUpperAscii(std::wstring text) {
  for (wchar_t& c : text) {
    if (c >= L'a' && c <= L'z') c = c - L'a' + L'A';
  }
  return text;
}

std::wstring LimitedWide(std::string_view text) {
  std::wstring wide = platform::FromAnsi(text);
  if (wide.size() > CICTypeIni::kMaxTextChars) wide.resize(CICTypeIni::kMaxTextChars);
  return wide;
}

}  // namespace

CICTypeIni::CICTypeIni(int iniType) : iniType_(iniType) {}

void CICTypeIni::BuildList() {
  list_.clear();
  if (iniType_ != 1) {
    for (const Chip& chip : kChipTable) list_.push_back(std::wstring(chip.name) + L".ini");
    return;
  }
  std::error_code ec;
  fs::directory_iterator it(platform::ProgramDirectory(), ec);
  if (ec) return;
  for (const fs::directory_entry& entry : it) {
    std::error_code typeEc;
    if (entry.is_directory(typeEc)) continue;
    std::wstring name = platform::FromUtf8(entry.path().filename().string());
    if (!EndsWithIni(name) || name == L"config.ini") continue;
    list_.push_back(std::move(name));
  }
  std::sort(list_.begin(), list_.end(), NameLess);
}

void CICTypeIni::ClearSelection() {
  Clear();
  definitionText_.clear();
  chipInfo_ = 0;
  icName_.clear();
}

void CICTypeIni::SelectByName() {
  ClearSelection();
  if (iniType_ != 1) {
    unsigned resourceId = kFallbackResourceId;
    for (const Chip& chip : kChipTable) {
      if (ToUpperAscii(std::wstring(chip.name) + L".ini") == currentName_) {
        resourceId = chip.resourceId;
        break;
      }
    }
    LoadFromResource(resourceId);
    return;
  }
  if (list_.empty()) {
    currentName_.clear();
    return;
  }
  if (list_.size() > 1 && !currentName_.empty() &&
      std::find(list_.begin(), list_.end(), currentName_) != list_.end()) {
    LoadFromFile();
    return;
  }
  currentName_ = list_.front();
  LoadFromFile();
}

void CICTypeIni::SelectByIndex(int index) {
  ClearSelection();
  if (index < 0) return;
  const auto position = static_cast<std::size_t>(index);
  if (iniType_ == 1) {
    if (position >= list_.size()) return;
    currentName_ = list_[position];
    LoadFromFile();
    return;
  }
  if (position < kChipTable.size()) LoadFromResource(kChipTable[position].resourceId);
}

bool CICTypeIni::SelectAndMatch(std::uint8_t reg1, std::uint8_t reg2, int index) {
  SelectByIndex(index);
  return MatchChip(reg1, reg2);
}

bool CICTypeIni::MatchChip(std::uint8_t reg1, std::uint8_t reg2) {
  for (int number = 0; number < kIcRegisterSectionCount; ++number) {
    char name[32];
    std::snprintf(name, sizeof name, "Camera_%s_%02X", "Register", number);
    const int section = FindSection(name);
    if (section < 0) continue;
    const auto r1 = static_cast<std::uint8_t>(GetIntAt(section, "ICRegister1", 0) & 0xFF);
    const auto r2 = static_cast<std::uint8_t>(GetIntAt(section, "ICRegister2", 0) & 0xFF);
    if (r1 != reg1 || r2 != reg2) continue;
    matchedReg1_ = reg1;
    matchedReg2_ = reg2;
    chipInfo_ = static_cast<std::uint8_t>(GetIntAt(section, "ChipInfo", 0) & 0xFF);
    return true;
  }
  return false;
}

void CICTypeIni::ApplyDefinition() {
  if (auto bus = BusTypeFromName(GetString(kIcConfigSection, "Bus Type", ""))) SetBusType(*bus);
  ReadIcName();
}

void CICTypeIni::ReadIcName() { icName_ = LimitedWide(GetString(kIcConfigSection, "Ic Name", "")); }

bool CICTypeIni::DefaultImageId(unsigned& resourceId) const {
  const unsigned id = FindBuiltInImageId(GetString(kIcConfigSection, "Def Bin", ""));
  if (id == 0) return false;
  resourceId = id;
  return true;
}

std::int32_t CICTypeIni::GetVendorInt(std::string_view key) const {
  return GetInt(0, kIcVendorSection, key);
}

std::int32_t CICTypeIni::GetConfigSize() const { return GetVendorInt("ConfigSize"); }

std::uint32_t CICTypeIni::ConfigAddress() const {
  return static_cast<std::uint32_t>(GetVendorInt("ConfigAddress"));
}

bool CICTypeIni::LoadFromResource(unsigned resourceId) {
  const std::string text = platform::ResourceText(kIcIniResourceType, resourceId);
  Clear();
  definitionText_ = platform::FromAnsi(text);
  if (text.empty()) return false;
  LoadText(std::string_view(text));
  return true;
}

bool CICTypeIni::LoadFromFile() {
  Clear();
  set_path(
      platform::FromUtf8((platform::ProgramDirectory() / platform::ToUtf8(currentName_)).string()));
  return LoadFile();
}

CICTypeIni* ActiveICTypeIni() { return gActive.load(); }
void SetActiveICTypeIni(CICTypeIni* definition) { gActive.store(definition); }

}  // namespace vantor
