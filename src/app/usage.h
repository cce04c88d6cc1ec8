// What the command line says about itself: the usage text that -h, --help and /? print,
// and the exit codes a script reads.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vantor {

// Exit codes of the command-line front end.
inline constexpr int kExitOk = 0;      // the action ran and passed ("-version": read)
inline constexpr int kExitFailed = 1;  // no device, refused, not opened, or the run failed
inline constexpr int kExitUsage = 2;   // the command line is not one the tool takes
// The action passed, but burn_result.txt did not get its line: the station's record of
// runs is incomplete (a failed run keeps 1; the console says so in both cases).
inline constexpr int kExitRecordIncomplete = 3;

// True for a program called with "-h", "--help" or "/?" alone (any letter case).
bool IsHelpRequest(const std::vector<std::wstring>& args);

// The usage: both grammars, the actions, "-d", the exit codes and the environment
// variables the tool reads.
std::string UsageText();

// The line a usage error leaves on standard error (standard output stays the run's).
inline constexpr std::string_view kUsageErrorLine =
    "vantorfw: the command line is not understood; \"vantorfw -h\" shows the usage\n";

}  // namespace vantor
