// The tool's settings: one process-wide INI document holding section "[Vantor Config]",
// loaded once at start-up from the built-in settings text. Every key the tool knows, with
// its default, is in the one table of settings.cpp; callers read through the key names
// below, so a key missing from the text takes its default.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace vantor {

inline constexpr char kSettingsSection[] = "Vantor Config";

// Resource that carries the built-in settings text.
inline constexpr char kSettingsResourceType[] = "ICINI";
inline constexpr unsigned kSettingsResourceId = 3032;

// Environment variable naming a file whose text replaces the built-in settings text.
inline constexpr char kSettingsOverrideVariable[] = "VANTOR_SETTINGS";

enum class Setting {
  DebugLog,          // "Debug Log"
  IniType,           // "Ini Type"
  LibType,           // "Lib Type"
  AutoRun,           // "AutoRun"
  AutoRunDelay,      // "AutoRunDelay"
  CheckVidPidIni,    // "CheckVIDPID_INI"
  CheckVidPidBin,    // "CheckVIDPID_BIN"
  LockPort,          // "LockPort"
  PortNo,            // "PortNo"
  ResetToCache,      // "ResetToCache"
  NormalReset,       // "Normal Reset"
  EraseTimeOut,      // "EraseTimeOut"
  EraseCommandTime,  // "EraseCommandTime"
  WaitTime,          // "Wait Time"
  SaveSn,            // "SaveSN"
  SnAddress,         // "SN Address"
  SnFunction,        // "SN Function"
  OtpPassword,       // "OTP Password" (text)
  SaveResultToFile,  // "SaveResultToFile"
  LogType,           // "LogType"
  LoopTest,          // "Loop Test"
  Rtd3,              // "RTD3"
  BcdType,           // "BCDType"
};

struct SettingDef {
  Setting id;
  const char* key;
  std::int32_t defaultValue;  // integer keys
  bool isText;                // text keys default to an empty text
};

// Every settings key, in the order of the enumeration.
std::span<const SettingDef> SettingDefs();
const SettingDef& SettingDefOf(Setting id);

// Start-up load: creates the store when there is none, clears the read-only mark of
// "config.ini" beside the program (the file is not read), then loads the built-in settings
// text, or, when VANTOR_SETTINGS names a file, that file's text in its place.
void LoadSettings();
// The same with the replacement file given directly (empty: the built-in text).
void LoadSettingsFrom(const std::filesystem::path& overrideFile);
// Replaces the store's content by a settings text (the INI line rules apply). Traces and
// returns false when the text holds no settings section; the defaults hold then.
bool LoadSettingsText(std::string_view text);
// Shutdown: deletes the store; reads give the defaults again.
void DeleteSettings();

// The integer value of a key (automatic base), or its default when the store lacks it.
std::int32_t GetSetting(Setting id);
// The text value of a key ("OTP Password"), or its default.
std::string GetSettingText(Setting id);
// Stores an integer in the store, in memory only (the port of the first accepted device
// for "PortNo"); nothing is written back to a file.
void SetSetting(Setting id, std::int32_t value);

}  // namespace vantor
