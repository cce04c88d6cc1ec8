// The bytes the proxy driver receives, as the simulated bus decodes them: the records and
// URBs of both layouts (see platform/proxy_wire.h, which every proxy but the kernel's
// shares).
#pragma once

#include "platform/proxy_wire.h"

namespace vantor::sim {

using platform::CompleteUrb;
using platform::ControlSetup;
using platform::DecodeProxyRecord;
using platform::DecodeUrb;
using platform::EncodeDeviceHandle;
using platform::KernelLayout;
using platform::ProxyRecord;
using platform::UrbRequest;

using platform::kAttachRecordSize64;
using platform::kRecordSize32;
using platform::kSubmitRecordSize64;
using platform::kTransferDirectionIn;
using platform::kUrbFunctionClassInterface;
using platform::kUrbFunctionGetDescriptorFromDevice;
using platform::kUrbFunctionVendorDevice;
using platform::kUrbSize32;
using platform::kUrbSize64;
using platform::kUsbdStatusCanceled;
using platform::kUsbdStatusDeviceGone;
using platform::kUsbdStatusDevNotResponding;
using platform::kUsbdStatusInvalidParameter;
using platform::kUsbdStatusStallPid;
using platform::kUsbdStatusSuccess;

}  // namespace vantor::sim
