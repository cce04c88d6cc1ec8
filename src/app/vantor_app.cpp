#include "app/vantor_app.h"

#include <atomic>
#include <cstdio>
#include <exception>
#include <utility>

#include "app/parse_arg.h"
#include "app/tool_version.h"
#include "app/usage.h"
#include "config/ic_type_ini.h"
#include "config/settings.h"
#include "device/device_api.h"
#include "flows/dev_flow.h"
#include "flows/flow_factory.h"
#include "flows/last_result.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/trace.h"

namespace vantor {

namespace {

std::atomic<CVantorApp*> gCurrentApp{nullptr};
MainWindowRunner gWindowRunner;

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

void SetMainWindowRunner(MainWindowRunner runner) { gWindowRunner = std::move(runner); }

CVantorApp::CVantorApp() { gCurrentApp.store(this); }

CVantorApp::~CVantorApp() {
  if (CurrentParseArg() == parser_.get()) SetCurrentParseArg(nullptr);
  if (ActiveICTypeIni() == icTypes_.get()) SetActiveICTypeIni(nullptr);
  CVantorApp* self = this;
  gCurrentApp.compare_exchange_strong(self, nullptr);
}

CVantorApp* CVantorApp::Current() { return gCurrentApp.load(); }

int CVantorApp::Run(const std::vector<std::wstring>& args) {
  // Nothing thrown below may end the process on its own: the shutdown must still take
  // device access down, and the run ends with 1.
  try {
    InitInstance(args);
  } catch (const std::exception& e) {
    ReportEscaped(e.what());
  } catch (...) {
    ReportEscaped("unknown exception");
  }
  int exitCode = kExitFailed;
  try {
    exitCode = ExitInstance();
  } catch (const std::exception& e) {
    ReportEscaped(e.what());
  } catch (...) {
    ReportEscaped("unknown exception");
  }
  return escaped_ ? kExitFailed : exitCode;
}

void CVantorApp::ReportEscaped(const char* what) {
  if (CVantorApp* app = Current()) app->escaped_ = true;
  DebugPrint("vantorfw: stopped by an unexpected error: %s\n", what);
  std::fprintf(stderr, "vantorfw: stopped by an unexpected error: %s\n", what);
  std::fflush(stderr);
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
  if (IsHelpRequest(args)) {
    platform::AttachParentConsole();
    platform::ConsoleWrite(UsageText());
    commandLineEnd_ = CommandLineEnd::kUsage;
    return;
  }
  if (ParseArg(args) != 1) {
    commandLineEnd_ = CommandLineEnd::kUsageError;
    std::fwrite(kUsageErrorLine.data(), 1, kUsageErrorLine.size(), stderr);
    std::fflush(stderr);
    return;
  }
  SetCommandLineMode(true);
  AttachConsole();
  commandLineEnd_ = CommandLineEnd::kNotOpened;
  if (LoadICTypeIni() != 0) {
    ExcuteArg();
    commandLineEnd_ = CommandLineEnd::kRan;
    recordIncomplete_ = ResultRecordIncomplete();
  }
  CloseDevice();
}

void CVantorApp::CreateGlobalObjects() {
  icTypes_ = std::make_unique<CICTypeIni>(iniType_);
  icTypes_->BuildList();
  icTypes_->SelectByName();
  icTypes_->ApplyDefinition();
  SetActiveICTypeIni(icTypes_.get());
  parser_ = std::make_unique<CParseArg>();
  SetCurrentParseArg(parser_.get());
  RecreateFlow();
}

void CVantorApp::DeleteGlobalObjects() {
  DeleteCurrentFlow();
  if (CurrentParseArg() == parser_.get()) SetCurrentParseArg(nullptr);
  parser_.reset();
  if (ActiveICTypeIni() == icTypes_.get()) SetActiveICTypeIni(nullptr);
  icTypes_.reset();
}

void CVantorApp::LibInit(std::int32_t libType) { Lib_Init(0, libType); }

void CVantorApp::LibUninit(std::int32_t /*libType*/) { Lib_Uninit(); }

int CVantorApp::ParseArg(const std::vector<std::wstring>& args) {
  if (!parser_) return 0;
  return parser_->Parse_Arg(args);
}

void CVantorApp::AttachConsole() {
  if (parser_) {
    parser_->AttachConsole();
    parser_->ConsolePrint("\n");
    return;
  }
  platform::AttachParentConsole();
  platform::ConsoleWrite("\n");
}

int CVantorApp::LoadICTypeIni() {
  if (!parser_ || parser_->LoadICTypeIni() == 0) return 0;
  if (CDevFlow* flow = CurrentFlow()) flow->DEV_GetDeviceInfo();
  return 1;
}

int CVantorApp::ExcuteArg() { return parser_ ? parser_->Excute_Arg() : 0; }

bool CVantorApp::ResultRecordIncomplete() const {
  return parser_ && parser_->resultRecordIncomplete;
}

void CVantorApp::CloseDevice() {
  if (CDevFlow* flow = CurrentFlow()) flow->DEV_CloseDevice();
}

void CVantorApp::RunWindowMode() {
  SetCommandLineMode(false);
  RunMainWindow();
}

void CVantorApp::RunMainWindow() {
  if (gWindowRunner) {
    gWindowRunner(versionText_);
    return;
  }
  platform::ConsoleWrite(kWindowUnavailableLine);
}

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
  const int byResult = GetLastResultCode() != 0 ? kExitFailed : kExitOk;
  switch (commandLineEnd_) {
    case CommandLineEnd::kUsage:
      return kExitOk;
    case CommandLineEnd::kUsageError:
      return kExitUsage;
    case CommandLineEnd::kNotOpened:
      return kExitFailed;
    case CommandLineEnd::kRan:
      return byResult == kExitOk && recordIncomplete_ ? kExitRecordIncomplete : byResult;
    case CommandLineEnd::kNone:
      break;
  }
  return byResult;
}

}  // namespace vantor
