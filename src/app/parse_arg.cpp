#include "app/parse_arg.h"

#include <cstdio>
#include <cwchar>
#include <cwctype>

#include "config/settings.h"
#include "image/memory_type.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/trace.h"

namespace vantor {

namespace {

CParseArg* gCurrentParseArg = nullptr;

std::wstring Lower(std::wstring_view text) {
  std::wstring out(text);
  for (wchar_t& c : out) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return out;
}

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) { return Lower(a) == Lower(b); }

struct ActionOption {
  std::wstring_view option;
  char letter;
};
constexpr ActionOption kActionOptions[] = {
    {L"-erase", 'E'},  {L"-write", 'W'},   {L"-verify", 'V'},  {L"-version", 'D'},
    {L"-detect", 'C'}, {L"-dumpotp", 'Y'}, {L"-dumpspi", 'Z'},
};

bool IsActionOptionNoCase(std::wstring_view arg) {
  for (const ActionOption& o : kActionOptions) {
    if (EqualsNoCase(arg, o.option)) return true;
  }
  return false;
}

// The decimal value at the start of the text, as the C library reads it (0 when there is
// none; values beyond 32 bits are cut to the nearest limit).
std::int32_t DecimalValue(const std::wstring& text) {
  long long value = std::wcstoll(text.c_str(), nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(value);
}

}  // namespace

CParseArg* CurrentParseArg() { return gCurrentParseArg; }
void SetCurrentParseArg(CParseArg* parser) { gCurrentParseArg = parser; }

char ActionLetterOf(std::wstring_view arg) {
  for (const ActionOption& o : kActionOptions) {
    if (arg == o.option) return o.letter;
  }
  return 0;
}

int CParseArg::Parse_Arg(const std::vector<std::wstring>& args) {
  saveResult = GetSetting(Setting::SaveResultToFile);
  std::wstring dir = platform::FromUtf8(platform::ProgramDirectory().string());
  while (dir.size() > 1 && (dir.back() == L'/' || dir.back() == L'\\')) dir.pop_back();
  exeDir = dir;
  return Parse_Arg_Normal(args);
}

int CParseArg::Parse_Arg_Normal(const std::vector<std::wstring>& args) {
  TraceScope scope("CParseArg::Parse_Arg_Normal");

  // The search for "-f" covers the arguments only: the program's own path (a folder
  // named "my-fw", say) must not decide whether the call is taken.
  std::wstring lowered;
  for (std::size_t i = 1; i < args.size(); ++i) lowered += Lower(args[i]) + L" ";
  if (lowered.find(L"-f") == std::wstring::npos) {
    CResultFile noRun;
    if (noRun.Create()) {
      noRun.Write(kResultFailWord);
      noRun.Close();
    }
    return 0;
  }

  if (args.size() < 3 || args.size() > 6) {
    TracePlain(scope, "----------------: ");
    TracePlain(scope, "Fail --- Invalid parameter!\r\n");
    return 0;
  }

  const bool wellFormed =
      EqualsNoCase(args[1], L"-f") &&
      (IsActionOptionNoCase(args[2]) || Lower(args[2]).find(L".rfw") != std::wstring::npos);
  if (!wellFormed) {
    TracePlain(scope, "----------------: ");
    TracePlain(scope, "Fail --- Invalid parameter!\r\n");
  }

  filePath = args.size() > 3 ? args[3] : std::wstring();
  action = ActionLetterOf(args[2]);
  if (action == 'Z') SetConfiguredMemorySize(kSpiDumpLength);
  if (action == 0) {
    filePath = args[2];
    action = 'W';
  }

  startIndex = 0;
  if (args.size() > 4 && EqualsNoCase(args[4], L"-d")) {
    startIndex = args.size() > 5 ? DecimalValue(args[5]) : 0;
  }
  TraceWrite(scope, "action %c, file \"%s\", first index %d\n", action,
             platform::ToUtf8(filePath).c_str(), startIndex);
  return 1;
}

void CParseArg::AttachConsole() {
  consoleOn = 1;
  platform::AttachParentConsole();
}

void CParseArg::VConsolePrint(const char* format, va_list args) {
  if (consoleOn == 0) return;
  char line[kConsoleLineChars];
  int n = std::vsnprintf(line, sizeof line, format, args);
  if (n < 0) return;
  std::size_t length =
      static_cast<std::size_t>(n) < sizeof line ? static_cast<std::size_t>(n) : sizeof line - 1;
  platform::ConsoleWrite(std::string_view(line, length));
}

void CParseArg::ConsolePrint(const char* format, ...) {
  va_list args;
  va_start(args, format);
  VConsolePrint(format, args);
  va_end(args);
}

void CParseArg::PrintPrompt() {
  if (!promptOn) return;
  ConsolePrint("%s>", platform::ToUtf8(exeDir).c_str());
}

}  // namespace vantor
