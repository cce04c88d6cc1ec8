// The application object: owns the process from start-up to shutdown and runs exactly
// one front end, the silent command-line mode or the main window.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/debug_log_capture.h"

namespace vantor {

class CICTypeIni;
class CParseArg;

inline constexpr char kDebugLogFileName[] = "DebugLog.txt";
inline constexpr char kTraceLogFileName[] = "Log.txt";
inline constexpr char kDebugLogClosingLine[] = "Exit Debug Thread";
inline constexpr char kWindowUnavailableLine[] =
    "vantorfw: this build has no window; configure with -DVANTOR_WITH_WINDOW=ON (Debian "
    "package qt6-base-dev), or use the command line: vantorfw -f ACTION FILE\n";

inline constexpr char kNoDisplayLine[] =
    "vantorfw: no display to show the window on; use the command line: vantorfw -f ACTION "
    "FILE\n";

// Runs the main window modally until it closes; gets the tool version text for its title.
using MainWindowRunner = std::function<void(const std::string& versionText)>;
// Installs the window front end (null: the window mode prints kWindowUnavailableLine).
void SetMainWindowRunner(MainWindowRunner runner);

class CVantorApp {
 public:
  CVantorApp();
  virtual ~CVantorApp();
  CVantorApp(const CVantorApp&) = delete;
  CVantorApp& operator=(const CVantorApp&) = delete;

  // The whole process: InitInstance, then ExitInstance. `args` are the program's
  // arguments, argument 0 being the program. Returns the process exit code.
  int Run(const std::vector<std::wstring>& args);

  // Start-up, then the chosen front end. Returns false: no message loop follows, the
  // process goes on to the shutdown.
  bool InitInstance(const std::vector<std::wstring>& args);
  // Shutdown; returns the exit code. The window: 1 when LastResultCode is non-zero, else
  // 0. The command line (app/usage.h): 0 for the usage, 2 for a command line it does not
  // take, 1 when the device was not opened or the image not prepared, else 1 when
  // LastResultCode is non-zero, 3 when the run passed but its burn_result.txt line is
  // missing, 0 otherwise.
  int ExitInstance();

  // True when the arguments after the program select the command-line front end: there
  // are some, and they are not "/forcerestart" alone (compared without letter case).
  static bool WantsCommandLine(const std::vector<std::wstring>& args);

  // The application object of the process (null outside its lifetime).
  static CVantorApp* Current();

  const std::string& versionText() const { return versionText_; }
  std::int32_t iniType() const { return iniType_; }
  bool debugCaptureRunning() const { return capture_.IsRunning(); }

 protected:
  // Steps of start-up and shutdown that belong to other parts of the tool (tests
  // replace them to watch the order).

  // Creates the IC type definitions (list built, definition chosen by name and applied),
  // the command-line parser and the programming-flow object for the current memory type
  // and bus type.
  virtual void CreateGlobalObjects();
  virtual void DeleteGlobalObjects();
  // Device access: Lib_Init / Lib_Uninit with the "Lib Type" setting.
  virtual void LibInit(std::int32_t libType);
  virtual void LibUninit(std::int32_t libType);
  // Command line: CParseArg::Parse_Arg (1: a run is to be made), the console attachment
  // with its empty line, CParseArg::LoadICTypeIni followed by the device information read
  // (non-zero: device open and image prepared), CParseArg::Excute_Arg,
  // CDevFlow::DEV_CloseDevice.
  virtual int ParseArg(const std::vector<std::wstring>& args);
  virtual void AttachConsole();
  virtual int LoadICTypeIni();
  virtual int ExcuteArg();
  // Whether the run's line should be in burn_result.txt but is not.
  virtual bool ResultRecordIncomplete() const;
  virtual void CloseDevice();
  // The main window, run modally until it closes.
  virtual void RunMainWindow();

 private:
  // How far the command line got; decides its exit code.
  enum class CommandLineEnd { kNone, kUsage, kUsageError, kNotOpened, kRan };

  void RunCommandLineMode(const std::vector<std::wstring>& args);
  void RunWindowMode();
  // A fault that escaped a step: reported on standard error and in the trace.
  static void ReportEscaped(const char* what);

  std::unique_ptr<CICTypeIni> icTypes_;
  std::unique_ptr<CParseArg> parser_;
  platform::DebugLogCapture capture_;
  std::string versionText_;
  std::int32_t iniType_ = 0;
  std::int32_t libType_ = 0;
  CommandLineEnd commandLineEnd_ = CommandLineEnd::kNone;
  bool recordIncomplete_ = false;
  bool escaped_ = false;
};

}  // namespace vantor
