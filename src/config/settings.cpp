#include "config/settings.h"

#include <array>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <shared_mutex>

#include "config/ini_file.h"
#include "platform/files.h"
#include "platform/resources.h"
#include "platform/trace.h"

namespace vantor {

namespace {

// The one table of settings keys and their defaults.
constexpr std::array<SettingDef, 23> kSettingDefs{{
    {Setting::DebugLog, "Debug Log", 0, false},
    {Setting::IniType, "Ini Type", 0, false},
    {Setting::LibType, "Lib Type", 0, false},
    {Setting::AutoRun, "AutoRun", 0, false},
    {Setting::AutoRunDelay, "AutoRunDelay", 0, false},
    {Setting::CheckVidPidIni, "CheckVIDPID_INI", 0, false},
    {Setting::CheckVidPidBin, "CheckVIDPID_BIN", 0, false},
    {Setting::LockPort, "LockPort", 0, false},
    {Setting::PortNo, "PortNo", 0, false},
    {Setting::ResetToCache, "ResetToCache", 1, false},
    {Setting::NormalReset, "Normal Reset", 1, false},
    {Setting::EraseTimeOut, "EraseTimeOut", 10000, false},
    {Setting::EraseCommandTime, "EraseCommandTime", 0, false},
    {Setting::WaitTime, "Wait Time", 5000, false},
    {Setting::SaveSn, "SaveSN", 0, false},
    {Setting::SnAddress, "SN Address", 0, false},
    {Setting::SnFunction, "SN Function", 0, false},
    {Setting::OtpPassword, "OTP Password", 0, true},
    {Setting::SaveResultToFile, "SaveResultToFile", 0, false},
    {Setting::LogType, "LogType", 0, false},
    {Setting::LoopTest, "Loop Test", 0, false},
    {Setting::Rtd3, "RTD3", 0, false},
    {Setting::BcdType, "BCDType", 0, false},
}};

constexpr bool TableFollowsEnumeration() {
  for (std::size_t i = 0; i < kSettingDefs.size(); ++i) {
    if (static_cast<std::size_t>(kSettingDefs[i].id) != i) return false;
  }
  return true;
}
static_assert(TableFollowsEnumeration(), "kSettingDefs must follow the order of Setting");

// The settings store, guarded for readers on the worker and window threads.
struct Store {
  std::shared_mutex mutex;
  std::unique_ptr<CIniFile> ini;
};

Store& TheStore() {
  static Store store;
  return store;
}

// Loads a text into the store (created when missing), replacing what it held.
bool ReplaceStoreText(std::string_view text) {
  Store& store = TheStore();
  bool hasSection;
  {
    std::unique_lock lock(store.mutex);
    if (!store.ini) store.ini = std::make_unique<CIniFile>();
    store.ini->Clear();
    store.ini->LoadText(text);
    hasSection = store.ini->FindSection(kSettingsSection) >= 0;
  }
  if (!hasSection) DebugPrint("Settings: no [%s] section; the defaults hold\n", kSettingsSection);
  return hasSection;
}

}  // namespace

std::span<const SettingDef> SettingDefs() { return kSettingDefs; }

const SettingDef& SettingDefOf(Setting id) { return kSettingDefs.at(static_cast<std::size_t>(id)); }

void LoadSettings() {
  const char* file = std::getenv(kSettingsOverrideVariable);
  LoadSettingsFrom(file != nullptr ? std::filesystem::path(file) : std::filesystem::path());
}

void LoadSettingsFrom(const std::filesystem::path& overrideFile) {
  {
    Store& store = TheStore();
    std::unique_lock lock(store.mutex);
    if (!store.ini) store.ini = std::make_unique<CIniFile>();
  }
  platform::ClearReadOnlyBesideProgram("config.ini");

  if (overrideFile.empty()) {
    // A missing or empty built-in text leaves the store empty: every key takes its default.
    ReplaceStoreText(platform::ResourceText(kSettingsResourceType, kSettingsResourceId));
    return;
  }
  std::string text;
  const platform::FileReadResult read =
      platform::ReadRegularFile(overrideFile, platform::kMaxTextFileBytes, text);
  if (read != platform::FileReadResult::kOk) {
    DebugPrint("Settings: cannot read %s (%s); the defaults hold\n", overrideFile.string().c_str(),
               platform::FileReadResultText(read));
    Store& store = TheStore();
    std::unique_lock lock(store.mutex);
    if (store.ini) store.ini->Clear();
    return;
  }
  DebugPrint("Settings: %s\n", overrideFile.string().c_str());
  ReplaceStoreText(text);
}

bool LoadSettingsText(std::string_view text) { return ReplaceStoreText(text); }

void DeleteSettings() {
  Store& store = TheStore();
  std::unique_lock lock(store.mutex);
  store.ini.reset();
}

std::int32_t GetSetting(Setting id) {
  const SettingDef& def = SettingDefOf(id);
  Store& store = TheStore();
  std::shared_lock lock(store.mutex);
  if (!store.ini) return def.defaultValue;
  return store.ini->GetInt(def.isText ? 0 : def.defaultValue, kSettingsSection, def.key);
}

std::string GetSettingText(Setting id) {
  const SettingDef& def = SettingDefOf(id);
  std::string fallback = def.isText ? std::string() : std::to_string(def.defaultValue);
  Store& store = TheStore();
  std::shared_lock lock(store.mutex);
  if (!store.ini) return fallback;
  return store.ini->GetString(kSettingsSection, def.key, fallback);
}

void SetSetting(Setting id, std::int32_t value) {
  Store& store = TheStore();
  std::unique_lock lock(store.mutex);
  if (!store.ini) store.ini = std::make_unique<CIniFile>();
  store.ini->SetInt(kSettingsSection, SettingDefOf(id).key, value);
}

}  // namespace vantor
