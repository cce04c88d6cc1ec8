// The result files production scripts read: "Result.txt" beside the program (one result
// word per run) and "burn_result.txt" (a running table of runs, one line each). Both are
// single-byte text written as through a text-mode stream: every line feed becomes CR LF.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "platform/locked_append_file.h"

namespace vantor {

inline constexpr char kResultFileName[] = "Result.txt";
inline constexpr char kBurnResultFileName[] = "burn_result.txt";

// The bytes a text-mode stream writes for the text: each "\n" becomes "\r\n" (so a text
// that already ends in "\r\n" ends in "\r\r\n").
std::string TextModeBytes(std::string_view text);

// Result.txt texts by front end and "SaveResultToFile" value; empty: nothing is written.
// Command line, after its action: 2 "TestResult = pass"/"TestResult = fail", any other
// positive value "pass"/"fail". No line feed follows the word.
std::string CommandLineResultText(std::int32_t saveResult, bool pass);
// Command line, when the device could not be opened or the image not prepared: 1 "fail",
// 2 "TestResult = fail", any other value nothing.
std::string CommandLineOpenFailureText(std::int32_t saveResult);
// Command line without "-f": "fail" whatever the setting says.
inline constexpr char kResultFailWord[] = "fail";
// Main window: 1 "pass"/"fail"; 2 the sentences with the programmed device's VID, PID and
// release number; any other value nothing.
std::string WindowResultText(std::int32_t saveResult, bool pass, std::uint16_t vid,
                             std::uint16_t pid, std::uint16_t rev);

// Result.txt in the program's directory: created (or truncated) when a run begins,
// written once, closed. When it cannot be created the run goes on; the failure is traced.
class CResultFile {
 public:
  CResultFile() = default;
  CResultFile(const CResultFile&) = delete;
  CResultFile& operator=(const CResultFile&) = delete;

  static std::filesystem::path Path();

  bool Create();
  bool IsOpen() const { return file_.is_open(); }
  // Writes the text (text-mode line ends); false, traced, when the file is not open or
  // the write fails.
  bool Write(std::string_view text);
  void Close();

 private:
  std::ofstream file_;
};

// The two header lines of burn_result.txt, as the program hands them to the stream.
std::string BurnResultHeader();
// One result line as handed to the stream: the time stamp "%Y-%m-%d,       %H:%M:%S,
// " (36 characters), the manufacturer text and "," padded to 27 characters (a longer text
// stays whole and pushes the rest right), "Pass," or "Fail," padded to 9, the result code
// and ":", then CR LF.
std::string BurnResultLine(const std::tm& time, std::wstring_view manufacturerText, bool pass,
                           std::int32_t resultCode);

// burn_result.txt (path relative to the current directory by default). Each line goes
// out in one write under an exclusive lock of the file, so processes appending to the
// same file never interleave or lose lines.
class CBurnResultLog {
 public:
  explicit CBurnResultLog(std::filesystem::path path = kBurnResultFileName);

  // Opens for appending; a new (empty) file first gets the header lines. When the file
  // cannot be opened: the message box "Can't Open burn_result.txt", false, and the run
  // goes on without the line.
  bool Open();
  bool IsOpen() const { return file_.IsOpen(); }
  // Appends the result line stamped with the local time now; false, traced, on failure.
  bool AppendResult(std::wstring_view manufacturerText, bool pass, std::int32_t resultCode);
  void Close() { file_.Close(); }

  // Open, append one line, close: the main window's way.
  static bool AppendOnce(std::wstring_view manufacturerText, bool pass, std::int32_t resultCode,
                         const std::filesystem::path& path = kBurnResultFileName);

 private:
  std::filesystem::path path_;
  platform::LockedAppendFile file_;
};

}  // namespace vantor
