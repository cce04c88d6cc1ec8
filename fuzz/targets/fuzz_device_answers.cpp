#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "device/cam_dev.h"
#include "device/device_api.h"
#include "device/device_api_state.h"
#include "device/device_enum.h"
#include "device/ext_unit_functions.h"
#include "device/proxy_state.h"
#include "flows/otp_info.h"
#include "fuzz/targets/fuzz_targets.h"
#include "platform/clock.h"
#include "platform/last_error.h"
#include "platform/named_mutex.h"
#include "platform/proxy_driver.h"
#include "sim/simulated_platform.h"

namespace vantor::fuzz {

namespace {

// A proxy between the device layer and the simulated devices. For each submitted
// request the input says what happens: the device's answer stands, its data is replaced
// by input bytes, it is cut short, the request stalls, fails with an error the platform
// reports, or times out. An input that has run out lets every answer stand.
class AnswerFuzzingProxy final : public platform::ProxyDriver {
 public:
  explicit AnswerFuzzingProxy(std::unique_ptr<platform::ProxyDriver> device)
      : device_(std::move(device)) {}
  void SetInput(Input* input) { input_ = input; }

  bool IoControl(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                 std::uint32_t outSize, std::uint32_t* bytesReturned) override {
    // A 64-bit submit record: the URB's address at offset 24.
    if (code != platform::kIoctlProxySubmit || input_ == nullptr || inSize != 40) {
      return device_->IoControl(code, in, inSize, out, outSize, bytesReturned);
    }
    std::uint64_t address = 0;
    std::memcpy(&address, static_cast<const std::uint8_t*>(in) + 24, sizeof address);
    auto* urb = reinterpret_cast<std::uint8_t*>(static_cast<std::uintptr_t>(address));
    switch (input_->Byte() & 7) {
      case 4:
        return Garbled(code, in, inSize, out, outSize, bytesReturned, urb);
      case 5:
        return CutShort(code, in, inSize, out, outSize, bytesReturned, urb);
      case 6:  // stall: the request fails on the bus, the I/O control succeeds
        Put32(urb + kUrbStatus, 0xC0000004);
        Put32(urb + kUrbLength, 0);
        return true;
      case 7:
        return Failed(static_cast<const std::uint8_t*>(in));
      default:
        return device_->IoControl(code, in, inSize, out, outSize, bytesReturned);
    }
  }

 private:
  // 64-bit URB fields.
  static constexpr std::size_t kUrbFunction = 2;
  static constexpr std::size_t kUrbStatus = 4;
  static constexpr std::size_t kUrbFlags = 32;
  static constexpr std::size_t kUrbLength = 36;
  static constexpr std::size_t kUrbBuffer = 40;

  static std::uint32_t Get32(const std::uint8_t* p) {
    std::uint32_t v = 0;
    std::memcpy(&v, p, sizeof v);
    return v;
  }
  static void Put32(std::uint8_t* p, std::uint32_t v) { std::memcpy(p, &v, sizeof v); }
  static bool DeviceToHost(const std::uint8_t* urb) {
    std::uint16_t function = 0;
    std::memcpy(&function, urb + kUrbFunction, sizeof function);
    return function == 0x000B || (Get32(urb + kUrbFlags) & 1) != 0;
  }

  bool Garbled(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
               std::uint32_t outSize, std::uint32_t* bytesReturned, std::uint8_t* urb) {
    if (!device_->IoControl(code, in, inSize, out, outSize, bytesReturned)) return false;
    if (!DeviceToHost(urb)) return true;
    std::uint64_t buffer = 0;
    std::memcpy(&buffer, urb + kUrbBuffer, sizeof buffer);
    auto* data = reinterpret_cast<std::uint8_t*>(static_cast<std::uintptr_t>(buffer));
    const std::string_view bytes = input_->Bytes(Get32(urb + kUrbLength));
    if (data != nullptr) std::memcpy(data, bytes.data(), bytes.size());
    return true;
  }

  bool CutShort(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                std::uint32_t outSize, std::uint32_t* bytesReturned, std::uint8_t* urb) {
    if (!device_->IoControl(code, in, inSize, out, outSize, bytesReturned)) return false;
    const std::uint32_t moved = Get32(urb + kUrbLength);
    Put32(urb + kUrbLength, moved == 0 ? 0 : input_->Byte() % moved);
    return true;
  }

  bool Failed(const std::uint8_t* record) {
    static constexpr std::uint32_t kErrors[] = {
        platform::kErrorNotReady, platform::kErrorDeviceNotConnected, platform::kErrorGenFailure,
        13, platform::kErrorSemTimeout};
    const std::uint32_t error = kErrors[input_->Byte() % std::size(kErrors)];
    if (error == platform::kErrorSemTimeout) {
      // A request left unanswered: its time-out passes first.
      std::uint32_t timeoutMs = 0;
      std::memcpy(&timeoutMs, record + 32, sizeof timeoutMs);
      platform::GetClock().Sleep(timeoutMs);
    }
    platform::SetLastError(error);
    return false;
  }

  std::unique_ptr<platform::ProxyDriver> device_;
  Input* input_ = nullptr;
};

// The simulated devices (an audio device and a camera) with the fuzzing proxy in front,
// and the command lock the object-free functions take; made once per process.
struct Bench {
  Bench() : lockName(L"vantor-fuzz-lock-" + std::to_wstring(::getpid())) {
    sim.AddDevice("flash-new");
    sim.AddDevice("camera");
    proxy = std::make_shared<AnswerFuzzingProxy>(platform::OpenProxyControlDevice());
    SetProxyDevice(proxy, true);
    SetLocationPathsInUse(true);
    OpenExtUnitFunctionLock(lockName, 50);
  }
  ~Bench() {
    CloseExtUnitFunctionLock();
    platform::RemoveNamedMutex(lockName);
    CloseProxyDevice();
  }
  sim::SimulatedPlatform sim;
  std::shared_ptr<AnswerFuzzingProxy> proxy;
  std::wstring lockName;
};

Bench& TheBench() {
  static Bench bench;
  return bench;
}

// Opens the camera through the camera list and makes it the current device, as the
// device API would after its open.
bool OpenCamera() {
  CamDevRecord record;
  if (KvCam_OpenDevice(&record, 0, kListCamera) != 0) return false;
  std::unique_ptr<CCamDev> camera = CreateCamDev(std::move(record));
  if (!camera) return false;
  device_api_detail::SetCurrentDevice(std::move(camera));
  return true;
}

// One device operation chosen by the input, with its arguments from the input.
void RunOperation(Input& in, LibHandle& handle) {
  const std::uint8_t op = in.Byte();
  const std::uint32_t flags = (op & 0x80) != 0 ? kLibFlagExtUnit : 0;
  const std::uint32_t address = in.Word();
  const std::uint32_t length = in.Word() & 0x3FF;
  std::vector<std::uint8_t> buffer(length);
  std::wstring text;
  std::uint16_t vid = 0, pid = 0, rev = 0;
  switch (op % 14) {
    case 0:
      buffer.resize(104);
      Lib_GetDevStatus104(handle, buffer.data(), flags);
      break;
    case 1:
      Lib_GetDevStatus(handle, 128, length & 0x3F, buffer.data(), flags);
      break;
    case 2:
      Lib_ReadMem(handle, address, length, buffer.data(), flags);
      break;
    case 3:
      Lib_SPI_SF_Read(handle, address, length, buffer.data(), flags, nullptr, nullptr);
      break;
    case 4:
      Lib_OTP_Read(handle, address, length, buffer.data(), 0, 0);
      break;
    case 5:
      Lib_I2C_EEP16_Read(handle, address, length, buffer.data(), flags, nullptr, nullptr);
      break;
    case 6: {
      std::uint16_t size = static_cast<std::uint16_t>(address);
      Lib_ChangeDataControlSize(handle, &size);
      break;
    }
    case 7:
      Lib_GetDevInfo(handle, &vid, &pid, &rev, &text);
      Lib_GetSerialString(handle, &text);
      Lib_GetProductString(handle, &text);
      break;
    case 8: {
      std::uint8_t status = 0;
      Lib_SPI_SF_ReadSr(handle, &status, flags);
      break;
    }
    case 9:
      Lib_DevQualify(handle);
      break;
    case 10: {
      COTPInfo_USB flow;
      flow.handle = handle;
      flow.MP_GetFwVersion();
      break;
    }
    case 11: {
      COTPInfo_USB flow;
      flow.handle = handle;
      if (flow.MP_OTPTableReadable()) flow.MP_OTPBlockStart(flow.MP_OTPLastBlockLen());
      break;
    }
    case 12:
      Lib_Reset7(&handle, address & 7, flags, length);
      break;
    case 13:
      Lib_Reset9(&handle, flags | kLibFlagAudioList, length);
      break;
  }
}

}  // namespace

// Byte 0: bit 0 the device (the audio device through Lib_OpenDevice, or the camera);
// byte 1: how many operations follow (at most 12), each an operation byte, a 16-bit
// address and a 16-bit length. The rest answers the requests the device layer sends,
// one byte each (and the bytes that answer needs); once it has run out the devices
// answer for themselves.
int FuzzDeviceAnswers(const std::uint8_t* data, std::size_t size) {
  Bench& bench = TheBench();
  Input in(data, size);
  const bool camera = (in.Byte() & 1) != 0;
  const std::size_t count = in.Byte() % 13;
  const std::string_view operations = in.Bytes(count * 5);
  const std::string_view answers = in.Rest();
  Input ops(reinterpret_cast<const std::uint8_t*>(operations.data()), operations.size());
  Input answerInput(reinterpret_cast<const std::uint8_t*>(answers.data()), answers.size());
  bench.proxy->SetInput(&answerInput);
  LibHandle handle = camera ? (OpenCamera() ? 1 : 0) : Lib_OpenDevice(0);
  while (handle != 0 && !ops.Empty()) RunOperation(ops, handle);
  Lib_CloseDevice(0);
  bench.proxy->SetInput(nullptr);
  return 0;
}

}  // namespace vantor::fuzz
