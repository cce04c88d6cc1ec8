#include "app/parse_arg.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <cwctype>

#include "config/ic_type_ini.h"
#include "config/settings.h"
#include "device/device_api.h"
#include "flows/dev_flow.h"
#include "flows/flow_factory.h"
#include "flows/flow_window.h"
#include "flows/fw_version.h"
#include "flows/last_result.h"
#include "image/memory_type.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/messages.h"
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

bool IsValidAreaHeaderAt(const std::uint8_t* image, std::uint32_t length, std::uint32_t offset) {
  if (image == nullptr || length < 2 || offset > length - 2) return false;
  const std::uint8_t type = image[offset];
  if (image[offset + 1] != 0xA5) return false;
  return type == 0x55 || type == 0x12 || type == 0x11 || type == 0x40 || type == 0x60;
}

bool HasValidConfigArea(const std::uint8_t* image, std::uint32_t length,
                        std::uint32_t configAddress) {
  if (length >= configAddress && IsValidAreaHeaderAt(image, length, configAddress)) return true;
  return IsValidAreaHeaderAt(image, length, 0);
}

CDevFlow* RecreateFlowKeepingDevice() {
  CDevFlow* old = CurrentFlow();
  if (old == nullptr) return RecreateFlow();
  // What the open read from the device; the configuration record travels by itself.
  const LibHandle handle = old->handle;
  const std::uint16_t vid = old->vid, pid = old->pid, rev = old->rev;
  const std::uint8_t familyLo = old->familyLo, familyHi = old->familyHi;
  const std::wstring devIdText = old->devIdText, shortIdText = old->shortIdText;
  const DeviceLocation location = old->location, ownLastLocation = old->ownLastLocation;
  const std::int32_t selOrdinal = old->selOrdinal;

  CDevFlow* flow = RecreateFlow();
  if (flow == nullptr) {
    if (handle != 0) Lib_CloseDevice(handle);
    return nullptr;
  }
  flow->handle = handle;
  flow->vid = vid;
  flow->pid = pid;
  flow->rev = rev;
  flow->familyLo = familyLo;
  flow->familyHi = familyHi;
  flow->devIdText = devIdText;
  flow->shortIdText = shortIdText;
  flow->location = location;
  flow->ownLastLocation = ownLastLocation;
  flow->selOrdinal = selOrdinal;
  return flow;
}

int CParseArg::OpenDevice(CDevFlow& flow) {
  if (GetSetting(Setting::CheckVidPidIni) != 0) return flow.DEV_OpenDeviceByVIDPID();
  for (std::int32_t i = 0; i < 3; ++i) {
    const std::int64_t index = static_cast<std::int64_t>(startIndex) + i;
    // An index below 0 names no device; it fails like an index past the list.
    if (index < 0 || index > UINT32_MAX) {
      PostFlowMessage(WM_FLOW_DEVICE_INFO, msg::kDetectDeviceFail);
      continue;
    }
    if (flow.DEV_OpenDeviceByICIni(static_cast<std::uint32_t>(index)) != 0) return 1;
  }
  return 0;
}

void CParseArg::ReportLoadFileDataFail() {
  TraceScope scope("CParseArg::LoadICTypeIni");
  PostFlowMessage(WM_FLOW_ERROR, msg::kLoadFileDataFail);
  TracePlain(scope, "----------------: ");
  TracePlain(scope, "Load File Data Fail!\n");
  ConsolePrint("%s", kLoadFileDataFailLine);
}

bool CParseArg::LoadBuiltInImageInstead(CDevFlow& flow) {
  flow.ChooseBuiltInImage(flow.devIdText,
                          [&flow] { return flow.ReadByte(CMpConfig::kVariantByteAddress, 0); });
  if (flow.imageBLen() < kMinBuiltInImageLength) {
    ReportLoadFileDataFail();
    return false;
  }
  // The built-in image takes the file's place: it is what the action writes or checks.
  flow.imageA = flow.imageB;
  flow.backupImage = flow.imageB;
  flow.configA = nullptr;
  return true;
}

bool CParseArg::FindIcTypeForImage(CDevFlow& flow) {
  TraceScope scope("CParseArg::FindIcTypeForImage");
  CICTypeIni* ic = ActiveICTypeIni();
  if (ic == nullptr) return false;
  const std::vector<std::uint8_t>& image = flow.imageA;
  const std::size_t count = ic->List().size();
  for (std::size_t i = 0; i < count; ++i) {
    if (!ic->SelectAndMatch(flow.familyLo, flow.familyHi, static_cast<int>(i))) continue;
    ic->ApplyDefinition();
    const std::uint32_t configAddress = ic->ConfigAddress();
    // The header is looked for within the first 2 MiB.
    const std::uint32_t examined =
        static_cast<std::uint32_t>(std::min<std::size_t>(image.size(), 0x200000));
    if (!HasValidConfigArea(image.data(), examined, configAddress)) continue;
    if (flow.PrepareImage(image.data(), static_cast<std::uint32_t>(image.size())) != 0) {
      TraceWrite(scope, "IC type %s, ChipInfo %u\n", platform::ToUtf8(ic->List()[i]).c_str(),
                 ic->ChipInfo());
      return true;
    }
  }
  return false;
}

int CParseArg::FailOpen() {
  if (saveResult != 0) {
    const std::string word = CommandLineOpenFailureText(saveResult);
    if (!word.empty()) resultFile.Write(word);
    resultFile.Close();
  }
  ConsolePrint("%s", kGetIcInfoFailLine);
  PrintPrompt();
  return 0;
}

int CParseArg::LoadICTypeIni() {
  TraceScope scope("CParseArg::LoadICTypeIni", true);
  if (saveResult != 0) resultFile.Create();

  CDevFlow* flow = CurrentFlow();
  if (flow == nullptr) {
    // The memory type of the last image has no flow (MTP, or a bus other than USB).
    SetLastResultCode(static_cast<std::int32_t>(msg::kNotSupport));
    return FailOpen();
  }
  if (OpenDevice(*flow) == 0) return FailOpen();

  switch (action) {
    case 'D':
    case 'Z':
    case 'E':
      return 1;
    case 'Y':
      SetMemoryType(MemoryType::kOtp);
      if (RecreateFlowKeepingDevice() == nullptr) {
        SetLastResultCode(static_cast<std::int32_t>(msg::kNotSupport));
        return FailOpen();
      }
      return 1;
    default:
      break;
  }

  flow->imagePath = filePath;
  const bool fileLoaded = flow->LoadImageFile();
  if (!fileLoaded) {
    TraceWrite(scope, "Can't load \"%s\"; the device's built-in image stands in\n",
               platform::ToUtf8(filePath).c_str());
    if (!LoadBuiltInImageInstead(*flow)) return FailOpen();
  }

  if (!FindIcTypeForImage(*flow)) {
    // The file the user named still runs: the flows check it themselves. A built-in image
    // that no IC type of this device accepts is no usable stand-in for a missing file: it
    // is never written, and the run fails like one without any built-in image.
    if (fileLoaded) return 1;
    TraceWrite(scope, "No IC type of the device accepts the built-in image\n");
    ReportLoadFileDataFail();
    return FailOpen();
  }

  if (GetMemoryType() != MemoryType::kFlash) {
    flow = RecreateFlowKeepingDevice();
    if (flow == nullptr) {
      SetLastResultCode(static_cast<std::int32_t>(msg::kNotSupport));
      return FailOpen();
    }
    flow->imagePath = filePath;
    flow->LoadImageFile();
  }
  return 1;
}

int CParseArg::Excute_Arg() {
  TraceScope scope("CParseArg::Excute_Arg", true);
  CDevFlow* flow = CurrentFlow();
  if (flow != nullptr) flow->DEV_SetResetOptions();

  logType = static_cast<std::uint32_t>(GetSetting(Setting::LogType));
  bool burnLogOpen = false;
  if (logType != 0) burnLogOpen = burnLog.Open();

  const int result = Excute_Arg_Normal();

  if (saveResult > 0) {
    resultFile.Write(CommandLineResultText(saveResult, result != 0));
    resultFile.Close();
  }
  if (logType != 0) {
    bool written = false;
    if (burnLogOpen) {
      flow = CurrentFlow();
      written = burnLog.AppendResult(flow != nullptr ? flow->manufacturerText : std::wstring(),
                                     result != 0, GetLastResultCode());
      burnLog.Close();
      // The operator must know the station's table lacks this run (a full disk, say).
      if (!written) ConsolePrint("%s", kBurnResultNotWrittenLine);
    }
    resultRecordIncomplete = !written;
  }
  return result;
}

int CParseArg::Excute_Arg_Normal() {
  CDevFlow* flow = CurrentFlow();
  if (flow == nullptr) {
    SetLastResultCode(static_cast<std::int32_t>(msg::kNotSupport));
    PrintPrompt();
    return 0;
  }
  flow->cmdFlags = kCommandLineCmdFlags;

  struct Lines {
    char letter;
    const char* before;
    const char* pass;
    const char* fail;
  };
  static constexpr Lines kLines[] = {
      {'W', "Begin to Write fw!\r\n", "Write fw pass!\r\n", "Write fw fail!\r\n"},
      {'V', "Begin to Verify fw!\r\n", "Verify fw pass!\r\n", "Verify fw fail!\r\n"},
      {'E', "Begin to Erase!\r\n", "Erase pass!\r\n", "Erase fail!\r\n"},
      {'Y', "Begin to Dump OTP!\r\n", "Dump OTP pass!\r\n", "Dump OTP fail!\r\n"},
      {'Z', "Begin to Dump SPI!\r\n", "Dump SPI pass!\r\n", "Dump SPI fail!\r\n"},
  };

  int result = 0;
  if (action == 'D') {
    ConsolePrint("Begin to Get FW Ver!\r\n");
    // The version is built from status reads; a device that stopped answering (unplugged
    // during the read) left nothing true in it. It then shows as "N/A", the text for no
    // device, and the run ends on "Detect Device Fail!".
    std::uint8_t status[kDevStatusSize] = {};
    std::wstring version = flow->fwVersion;
    if (flow->KF_GetDevStatus104(status) == 0) {
      TraceScope scope("CParseArg::Excute_Arg_Normal");
      TracePlain(scope, "----------------: ");
      TracePlain(scope, "The device does not answer; its version is unknown\n");
      version = L"N/A";
      SetLastResultCode(static_cast<std::int32_t>(msg::kDetectDeviceFail));
    }
    ConsolePrint("Current FW Version: %s!\r\n", platform::ToUtf8(version).c_str());
    result = 0;
  } else if (action == 'C') {
    result = flow->DEV_RunCommand('C', filePath);
    if (result != 0) {
      ConsolePrint("Begin to Check OTP Status!\r\n");
      ConsolePrint("%s\r\n", platform::ToUtf8(flow->otpStatusText).c_str());
    }
  } else {
    const Lines* lines = nullptr;
    for (const Lines& l : kLines) {
      if (l.letter == action) lines = &l;
    }
    if (lines == nullptr) {
      // No action was parsed: nothing to run.
      SetLastResultCode(static_cast<std::int32_t>(msg::kNotSupport));
    } else {
      ConsolePrint("%s", lines->before);
      result = flow->DEV_RunCommand(action, filePath);
      // The command may have replaced the flow object; `flow` is not used after it.
      ConsolePrint("%s", result != 0 ? lines->pass : lines->fail);
    }
  }
  PrintPrompt();
  return result;
}

}  // namespace vantor
