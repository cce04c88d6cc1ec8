#include "app/vantor_app.h"

#include <atomic>

#include "app/tool_version.h"
#include "config/settings.h"
#include "flows/last_result.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/trace.h"

namespace vantor {

namespace {

std::atomic<CVantorApp*> gCurrentApp{nullptr};

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    wchar_t x = a[i] >= L'A' && a[i] <= L'Z' ? a[i] - L'A' + L'a' : a[i];
    wchar_t y = b[i] >= L'A' && b[i] <= L'Z' ? b[i] - L'A' + L'a' : b[i];
    if (x != y) return false;
  }
  return true;
}

}  // namespace

CVantorApp::CVantorApp() { gCurrentApp.store(this); }

CVantorApp::~CVantorApp() {
  CVantorApp* self = this;
  gCurrentApp.compare_exchange_strong(self, nullptr);
}

CVantorApp* CVantorApp::Current() { return gCurrentApp.load(); }

int CVantorApp::Run(const std::vector<std::wstring>& args) {
  InitInstance(args);
  return ExitInstance();
}

bool CVantorApp::WantsCommandLine(const std::vector<std::wstring>& args) {
  if (args.size() <= 1) return false;
  return !(args.size() == 2 && EqualsNoCase(args[1], L"/forcerestart"));
}

bool CVantorApp::InitInstance(const std::vector<std::wstring>& args) {
  // Settings first: everything after reads them.
  LoadSettings();

  if (GetSetting(Setting::DebugLog) != 0 &&
      !capture_.Start(platform::ProgramDirectory() / kDebugLogFileName)) {
    DebugPrint("Can't create %s; the tool goes on without it\n", kDebugLogFileName);
  }

  // Trace log: every category to the debug output; its file sink "Log.txt" is never
  // written, only its read-only mark is cleared.
  platform::ClearReadOnlyBesideProgram(kTraceLogFileName);
  SetTraceCategoryMask(kTraceCategory1 | kTraceCategory2 | kTraceCategory4);
  SetTraceToDebugOutput(true);

  TraceScope scope("CVantorApp::InitInstance", true);
  versionText_ = BuildToolVersionText();
  TraceWrite(scope, "Tool version %s\n", versionText_.c_str());

  iniType_ = GetSetting(Setting::IniType);
  CreateGlobalObjects();

  libType_ = GetSetting(Setting::LibType);
  LibInit(libType_);

  if (WantsCommandLine(args)) {
    TraceWrite(scope, "Front end: command line\n");
    RunCommandLineMode(args);
  } else {
    TraceWrite(scope, "Front end: window\n");
    RunWindowMode();
  }
  return false;
}

void CVantorApp::RunCommandLineMode(const std::vector<std::wstring>& args) {
  if (ParseArg(args) != 1) return;
  SetCommandLineMode(true);
  platform::AttachParentConsole();
  platform::ConsoleWrite("\n");
  if (LoadICTypeIni() != 0) ExcuteArg();
  CloseDevice();
}

void CVantorApp::RunWindowMode() {
  SetCommandLineMode(false);
  RunMainWindow();
}

int CVantorApp::ParseArg(const std::vector<std::wstring>& /*args*/) {
  DebugPrint("CParseArg::Parse_Arg: no command-line actions in this build\n");
  return 0;
}

void CVantorApp::RunMainWindow() { platform::ConsoleWrite(kWindowUnavailableLine); }

int CVantorApp::ExitInstance() {
  DeleteGlobalObjects();
  LibUninit(libType_);

  if (GetSetting(Setting::DebugLog) != 0) {
    capture_.RequestStop();
    DebugPrint("%s", kDebugLogClosingLine);
    capture_.WaitStopped();
  }
  // The trace log has no file open and its lock lives with the process.

  DeleteSettings();
  SetCommandLineMode(false);
  return GetLastResultCode() != 0 ? 1 : 0;
}

}  // namespace vantor
