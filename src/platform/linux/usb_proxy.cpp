// The user-space proxy of Linux: it receives the same byte-exact records and URBs the
// kernel proxy receives, decodes each URB into its control transfer and performs it on
// the attached device with the record's time-out, then writes the outcome back into
// the URB: a stall is a completed call with a stall status; a device that has gone
// fails the call with 1167, a time-out with 121.
#include "platform/linux/usb_proxy.h"

#include <cstring>

#include "platform/last_error.h"
#include "platform/proxy_wire.h"

namespace vantor::platform::linux_usb {

namespace {

// ERROR_NOACCESS: the record names no URB.
constexpr std::uint32_t kErrorNoAccess = 998;

std::uint32_t UrbStatus(TransferOutcome::Kind kind) {
  switch (kind) {
    case TransferOutcome::Kind::kOk:
      return kUsbdStatusSuccess;
    case TransferOutcome::Kind::kStall:
      return kUsbdStatusStallPid;
    case TransferOutcome::Kind::kGone:
      return kUsbdStatusDeviceGone;
    case TransferOutcome::Kind::kTimeout:
      return kUsbdStatusCanceled;
    case TransferOutcome::Kind::kFailed:
      break;
  }
  return kUsbdStatusDevNotResponding;
}

}  // namespace

UsbProxy::UsbProxy(std::shared_ptr<UsbHost> host) : host_(std::move(host)) {}

bool UsbProxy::IoControl(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                         std::uint32_t outSize, std::uint32_t* bytesReturned) {
  if (bytesReturned != nullptr) *bytesReturned = 0;
  ProxyRecord record;
  const bool submit = code == kIoctlProxySubmit;
  const bool sizeOk =
      inSize == kRecordSize32 || inSize == (submit ? kSubmitRecordSize64 : kAttachRecordSize64);
  if (code != kIoctlProxyAttach && code != kIoctlProxySubmit && code != kIoctlProxyDetach) {
    SetLastError(1);  // invalid function
    return false;
  }
  if (!sizeOk || !DecodeProxyRecord(in, inSize, record)) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  if (code == kIoctlProxyAttach) {
    if (out == nullptr || outSize < inSize) {
      SetLastError(kErrorInvalidParameter);
      return false;
    }
    std::uint32_t low = 0;
    std::uint32_t high = 0;
    if (!host_->Attach(record.fileHandle, low, high)) return false;
    if (out != in) std::memcpy(out, in, inSize);
    EncodeDeviceHandle(out, record.layout, low, high);
    if (bytesReturned != nullptr) *bytesReturned = inSize;
    return true;
  }
  if (code == kIoctlProxyDetach) return host_->Detach(record.deviceLow, record.deviceHigh);

  auto* urb = reinterpret_cast<std::uint8_t*>(static_cast<std::uintptr_t>(record.urbAddress));
  if (urb == nullptr) {
    SetLastError(kErrorNoAccess);
    return false;
  }
  UrbRequest request;
  std::uint32_t status = 0;
  if (!DecodeUrb(urb, record.layout, request, status)) {
    CompleteUrb(urb, record.layout, status, 0);
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  const TransferOutcome outcome =
      host_->Transfer(record.deviceLow, record.deviceHigh, request.function, request.setup,
                      request.buffer, record.timeoutMs);
  CompleteUrb(urb, record.layout, UrbStatus(outcome.kind),
              outcome.kind == TransferOutcome::Kind::kOk ? outcome.moved : 0);
  if (outcome.kind == TransferOutcome::Kind::kOk || outcome.kind == TransferOutcome::Kind::kStall) {
    return true;
  }
  SetLastError(outcome.error != 0 ? outcome.error : kErrorGenFailure);
  return false;
}

}  // namespace vantor::platform::linux_usb
