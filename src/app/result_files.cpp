#include "app/result_files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/files.h"
#include "platform/local_time.h"
#include "platform/text.h"
#include "platform/trace.h"
#include "platform/user_notice.h"

namespace vantor {

std::string TextModeBytes(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

std::string CommandLineResultText(std::int32_t saveResult, bool pass) {
  if (saveResult == 2) return pass ? "TestResult = pass" : "TestResult = fail";
  if (saveResult > 0) return pass ? "pass" : "fail";
  return {};
}

std::string CommandLineOpenFailureText(std::int32_t saveResult) {
  if (saveResult == 1) return "fail";
  if (saveResult == 2) return "TestResult = fail";
  return {};
}

std::string WindowResultText(std::int32_t saveResult, bool pass, std::uint16_t vid,
                             std::uint16_t pid, std::uint16_t rev) {
  if (saveResult == 1) return pass ? "pass" : "fail";
  if (saveResult != 2) return {};
  char text[128];
  std::snprintf(text, sizeof text,
                pass ? "After Download,TestResult = pass, VID is 0x%04x, PID is 0x%04x, Rev is "
                       "0x%04x\n"
                     : "TestResult = fail, VID is 0x%04x, PID is 0x%04x, Rev is 0x%04x\n",
                vid, pid, rev);
  return text;
}

std::filesystem::path CResultFile::Path() { return platform::ProgramDirectory() / kResultFileName; }

bool CResultFile::Create() {
  Close();
  std::filesystem::path path = Path();
  errno = 0;
  file_.open(path, std::ios::binary | std::ios::trunc);
  if (!file_.is_open()) {
    DebugPrint("Can't create %s: %s\n", path.string().c_str(), std::strerror(errno));
    return false;
  }
  return true;
}

bool CResultFile::Write(std::string_view text) {
  if (!file_.is_open()) {
    DebugPrint("%s is not open; \"%.*s\" is not recorded\n", kResultFileName,
               static_cast<int>(text.size()), text.data());
    return false;
  }
  std::string bytes = TextModeBytes(text);
  errno = 0;
  file_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  file_.flush();
  if (!file_) {
    file_.clear();
    DebugPrint("Can't write %s: %s\n", kResultFileName, std::strerror(errno));
    return false;
  }
  return true;
}

void CResultFile::Close() {
  if (file_.is_open()) file_.close();
  file_.clear();
}

std::string BurnResultHeader() {
  return "Update date       Update Time       Serial number              Result   ErrCode\r\n"
         "================  ================  =========================  =======  =======\r\n";
}

std::string BurnResultLine(const std::tm& time, std::wstring_view manufacturerText, bool pass,
                           std::int32_t resultCode) {
  char stamp[64];
  std::size_t n = std::strftime(stamp, sizeof stamp, "%Y-%m-%d,       %H:%M:%S,         ", &time);
  std::string line(stamp, n);
  std::string serial = platform::ToAnsi(manufacturerText) + ",";
  if (serial.size() < 27) serial.resize(27, ' ');
  line += serial;
  line += pass ? "Pass,    " : "Fail,    ";
  line += std::to_string(resultCode);
  line += ":\r\n";
  return line;
}

CBurnResultLog::CBurnResultLog(std::filesystem::path path) : path_(std::move(path)) {}

bool CBurnResultLog::Open() {
  if (!file_.Open(path_)) {
    DebugPrint("Can't Open %s: %s\n", path_.string().c_str(), file_.LastErrorText().c_str());
    platform::ShowMessageBox("Can't Open burn_result.txt");
    return false;
  }
  // Under the file's lock: whichever process finds the file empty writes the header.
  if (!file_.Append(TextModeBytes(BurnResultHeader()), true)) {
    DebugPrint("Can't write %s: %s\n", path_.string().c_str(), file_.LastErrorText().c_str());
  }
  return true;
}

bool CBurnResultLog::AppendResult(std::wstring_view manufacturerText, bool pass,
                                  std::int32_t resultCode) {
  std::string line =
      TextModeBytes(BurnResultLine(platform::LocalTimeNow(), manufacturerText, pass, resultCode));
  if (!file_.Append(line)) {
    DebugPrint("Can't write %s: %s\n", path_.string().c_str(), file_.LastErrorText().c_str());
    return false;
  }
  return true;
}

bool CBurnResultLog::AppendOnce(std::wstring_view manufacturerText, bool pass,
                                std::int32_t resultCode, const std::filesystem::path& path) {
  CBurnResultLog log(path);
  if (!log.Open()) return false;
  bool written = log.AppendResult(manufacturerText, pass, resultCode);
  log.Close();
  return written;
}

}  // namespace vantor
