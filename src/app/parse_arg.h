// The command-line front end: one action on one device, no window. Production lines and
// scripts call
//
//   vantorfw -f ACTION FILE [-d INDEX]      ACTION: -write -verify -erase -version
//                                                   -detect -dumpotp -dumpspi
//   vantorfw -f FILE.rfw                    (write)
//
// and read the console lines, "Result.txt" beside the program, "burn_result.txt" in the
// current directory and the exit code.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/result_files.h"

namespace vantor {

class CDevFlow;

// The console line the device open prints when it fails.
inline constexpr char kGetIcInfoFailLine[] = "Get IC Info Fail\n";
inline constexpr char kLoadFileDataFailLine[] = "Load File Data Fail!\n";
// The console line when the run's line could not be appended to burn_result.txt.
inline constexpr char kBurnResultNotWrittenLine[] = "Can't Write burn_result.txt\n";
// Images shorter than this cannot stand in for a missing firmware file.
inline constexpr std::uint32_t kMinBuiltInImageLength = 0x10000;
// The flash dump reads this much.
inline constexpr std::uint32_t kSpiDumpLength = 0x10000;
// The flags word the command line gives every device command.
inline constexpr std::uint32_t kCommandLineCmdFlags = 0x40;
// Console lines are formatted into this many characters (the last one ends the text).
inline constexpr std::size_t kConsoleLineChars = 260;

class CParseArg {
 public:
  static constexpr char kNoAction = static_cast<char>(0xFF);

  CParseArg() = default;
  CParseArg(const CParseArg&) = delete;
  CParseArg& operator=(const CParseArg&) = delete;

  // Reads "SaveResultToFile", sets exeDir and parses. `args` are the program's arguments
  // as the system split them, argument 0 being the program. 1: a run is to be made.
  int Parse_Arg(const std::vector<std::wstring>& args);
  // The grammar; see the file comment. Without "-f" among the arguments Result.txt gets
  // "fail" and nothing runs; a wrong argument count (3 to 6 with the program) is traced
  // and nothing runs; any other malformed call is traced and parsed anyway.
  int Parse_Arg_Normal(const std::vector<std::wstring>& args);

  // Connects to the calling console. The prompt is printed only when the program had to
  // attach itself to its parent's console (a program without console of its own); a
  // program started from a shell already prints to it, and the shell prints its prompt.
  void AttachConsole();
  // Prints on the console (printf rules, at most 259 characters, single-byte text);
  // nothing before AttachConsole.
  void ConsolePrint(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // exeDir followed by ">", when the prompt is wanted.
  void PrintPrompt();

  // Creates Result.txt when asked to, opens the device, loads the firmware image (or the
  // device's built-in image in its place) and finds the IC type that accepts it. A file
  // that loaded goes ahead without one; a built-in image stands in only when an IC type
  // of the device accepts it. Non-zero when the device is open and the image prepared.
  int LoadICTypeIni();
  // Runs the action and writes the result files; the action's result (1 pass, 0 fail).
  int Excute_Arg();
  // The action and its console lines.
  int Excute_Arg_Normal();

  // --- state ---
  char action = kNoAction;
  std::wstring filePath;
  std::int32_t startIndex = 0;
  CResultFile resultFile;
  std::wstring exeDir;
  std::uint32_t consoleOn = 0;
  std::int32_t saveResult = 0;
  std::uint32_t logType = 0;
  CBurnResultLog burnLog;
  // Set by Excute_Arg when "LogType" asks for a burn_result.txt line and it is not there
  // (the table could not be opened or the line not written).
  bool resultRecordIncomplete = false;
  // Whether the prompt follows the tool's output (see AttachConsole).
  bool promptOn = false;
  // The location of the device last opened is kept by the device flow
  // (CDevFlow::LastLocation) while no window exists.

 private:
  void VConsolePrint(const char* format, va_list args);
  // Opens the device by the ID list or by the indices startIndex to startIndex + 2.
  int OpenDevice(CDevFlow& flow);
  // The device's built-in image (update image) also takes the place of a firmware file
  // that did not load (download image); false (reported) when it is shorter than 64 KiB.
  bool LoadBuiltInImageInstead(CDevFlow& flow);
  // No usable image: error 41530, its trace lines and "Load File Data Fail!" on the console.
  void ReportLoadFileDataFail();
  // The IC type definitions, in their order, that match the device's family and accept
  // the download image; true when one did (it stays the active definition).
  bool FindIcTypeForImage(CDevFlow& flow);
  // The open failed: result words, "Get IC Info Fail", the prompt. Returns 0.
  int FailOpen();
};

// A configuration area header at that offset that the IC type search accepts: signature
// 0xA5 and an image type code 0x55, 0x12, 0x11, 0x40 or 0x60.
bool IsValidAreaHeaderAt(const std::uint8_t* image, std::uint32_t length, std::uint32_t offset);
// The search of the IC type: at "ConfigAddress" when the image reaches it, otherwise (or
// when the header there is not valid) at the start of the image.
bool HasValidConfigArea(const std::uint8_t* image, std::uint32_t length,
                        std::uint32_t configAddress);

// Replaces the flow object by one for the current memory type and bus type, handing the
// open device and what was read from it to the new object. Null when the pair has no
// flow (the device is then closed).
CDevFlow* RecreateFlowKeepingDevice();

// The parser of the running process (null outside its lifetime); the device flow's
// console echo and the app's start-up use it.
CParseArg* CurrentParseArg();
void SetCurrentParseArg(CParseArg* parser);

// The letter of an action option ("-write" "W" ...); letter case counts. 0 when `arg` is
// none of the seven options.
char ActionLetterOf(std::wstring_view arg);

}  // namespace vantor
