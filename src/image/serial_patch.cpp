#include "image/serial_patch.h"

#include <algorithm>
#include <new>
#include <optional>

#include "config/ic_type_ini.h"
#include "config/settings.h"
#include "image/descriptor_chain.h"
#include "image/descriptor_records.h"
#include "image/memory_type.h"
#include "image/mp_config.h"
#include "platform/messages.h"
#include "platform/trace.h"

namespace vantor {

namespace {

constexpr std::uint8_t kPatchedImageType = 0x55;
constexpr std::uint8_t kTag[2] = {0x55, 0xAA};

// A string record of that type for an area of that chip type, or null when the type is
// not a string record.
std::unique_ptr<CDescString> NewStringRecord(std::uint8_t type, std::uint8_t chipType) {
  std::unique_ptr<CDescriptor> record = CreateRecord(type, chipType);
  if (dynamic_cast<CDescString*>(record.get()) == nullptr) return nullptr;
  return std::unique_ptr<CDescString>(static_cast<CDescString*>(record.release()));
}

// Rebuilds the chain of `reader` into `writer` with the text in every record of the
// target type; a new record of that type at the end when there was none.
bool RebuildChain(DescriptorChain& reader, DescriptorChain& writer, const std::string& text,
                  std::uint8_t targetType) {
  const int bLength = static_cast<int>(text.size()) + 2;
  const int textLength = static_cast<int>(text.size());
  bool found = false;
  const ChainWalk walk = reader.WalkRecords([&](std::unique_ptr<CDescriptor> record) {
    DebugPrint("Find descriptor 0x%02X\n", record->type);
    if (record->type == targetType) {
      auto* target = dynamic_cast<CDescString*>(record.get());
      if (target == nullptr) return false;
      target->ClearString();
      target->bLength = static_cast<std::uint8_t>(bLength);
      DebugPrint("|----- DescType length: %d\n |-----string length: %d\n", bLength, textLength);
      if (!target->SetString(text)) {
        DebugPrint("SetString failed\r\n");
        return false;
      }
      found = true;
    }
    if (!writer.Append(*record)) {
      DebugPrint("Add SN Descriptor failed\r\n");
      return false;
    }
    return true;
  });
  if (walk == ChainWalk::kStopped) return false;
  if (walk == ChainWalk::kBroken) {
    DebugPrint("Config file corrupted\r\n");
    return false;
  }
  if (found) return true;

  std::unique_ptr<CDescString> added = NewStringRecord(targetType, reader.header().chipType);
  added->descriptorType = kStringDescriptorType;
  added->bLength = static_cast<std::uint8_t>(bLength);
  DebugPrint("|----- SN length: %d\n |-----string length: %d\n", bLength, textLength);
  if (!added->SetString(text)) {
    DebugPrint("set serial number string failed\r\n");
    return false;
  }
  if (!writer.Append(*added)) {
    DebugPrint("Add SN Descriptor failed\r\n");
    return false;
  }
  return true;
}

// The patch on `image` (which keeps its length); `rebuilt` receives the rebuilt area
// length plus its code block.
bool Patch(CMpConfig& config, std::vector<std::uint8_t>& image, std::wstring_view serialText,
           std::uint8_t targetType, std::size_t& rebuilt) {
  const SerialPatchPlace place = ActiveSerialPatchPlace();
  const std::uint64_t a = place.configAddress;
  const std::uint64_t s = place.configSize;
  const std::uint64_t t = place.tagAddress;
  if (a + s > image.size()) {
    DebugPrint("Config area 0x%llX + size 0x%llX is beyond the image (0x%zX bytes)\r\n",
               static_cast<unsigned long long>(a), static_cast<unsigned long long>(s),
               image.size());
    return false;
  }
  if (a != 0 && t + sizeof kTag > image.size()) {
    DebugPrint("Tag address 0x%llX is beyond the image (0x%zX bytes)\r\n",
               static_cast<unsigned long long>(t), image.size());
    return false;
  }
  if (!NewStringRecord(targetType, 0)) {
    DebugPrint("Record type %u is not a string record\r\n", targetType);
    return false;
  }

  DescriptorChain reader;
  reader.Attach(std::span<const std::uint8_t>(image).subspan(a));
  if (!reader.header().HasSignature()) {
    DebugPrint("No config area at 0x%llX\r\n", static_cast<unsigned long long>(a));
    return false;
  }
  reader.ReadHead();
  DescriptorChain writer;
  if (!writer.BeginWrite(reader.header(), reader.head(), true)) {
    DebugPrint("Add SN Descriptor failed\r\n");
    return false;
  }
  if (!RebuildChain(reader, writer, SerialTextBytes(serialText), targetType)) return false;

  std::vector<std::uint8_t> work;
  try {
    work = image;
  } catch (const std::bad_alloc&) {
    DebugPrint("GetConfigData failed\r\n");
    return false;
  }
  const auto areaAt = static_cast<std::ptrdiff_t>(a);
  std::fill(work.begin() + areaAt, work.begin() + areaAt + static_cast<std::ptrdiff_t>(s), 0xFF);
  if (!writer.Finish(std::span<std::uint8_t>(work).subspan(a, s))) {
    DebugPrint("GetConfigData failed\r\n");
    return false;
  }
  rebuilt = writer.header().areaLength + writer.codeLength();
  if (targetType == kRecordManufacturer && rebuilt > 0xFFFF) {
    DebugPrint("Area and code of 0x%zX bytes do not fit the stored area length\r\n", rebuilt);
    return false;
  }
  if (a != 0) {
    work[a] = kPatchedImageType;
    work[t] = kTag[0];
    work[t + 1] = kTag[1];
  }
  // The image's first A + S bytes are replaced (a tag address past them leaves the
  // image's own bytes there); copied over, so pointers into the image stay valid.
  std::copy_n(work.begin(), a + s, image.begin());
  if (targetType == kRecordManufacturer) config.areaLength = static_cast<std::uint16_t>(rebuilt);
  DebugPrint("|----- DownLoad length: %d\n", static_cast<int>(image.size()));
  return true;
}

}  // namespace

std::string SerialTextBytes(std::wstring_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (wchar_t c : text) {
    const auto code = static_cast<std::uint32_t>(c);
    bytes.push_back(code < 0x80 ? static_cast<char>(code) : '?');
  }
  return bytes;
}

SerialPatchPlace ActiveSerialPatchPlace() {
  SerialPatchPlace place;
  if (const CICTypeIni* ic = ActiveICTypeIni()) {
    place.configAddress = static_cast<std::uint32_t>(ic->GetVendorInt("ConfigAddress"));
    place.configSize = static_cast<std::uint32_t>(ic->GetVendorInt("ConfigSize"));
    place.tagAddress = static_cast<std::uint32_t>(ic->GetVendorInt("TagAddress"));
  }
  return place;
}

bool PatchSerialRecord(CMpConfig& config, std::vector<std::uint8_t>& image,
                       std::wstring_view serialText, std::uint8_t targetType) {
  std::size_t rebuilt = 0;
  return Patch(config, image, serialText, targetType, rebuilt);
}

bool PreActionForAllInOne(CMpConfig& config, std::uint32_t& resultCode) {
  if (GetSetting(Setting::SaveSn) == 0) return true;
  const std::uint16_t storedAreaLength = config.areaLength;
  auto fail = [&] {
    config.areaLength = storedAreaLength;
    DebugPrint("----------------: ");
    DebugPrint("Save SN Fail\n");
    resultCode = msg::kSaveSnFail;
    return false;
  };

  const bool snAddress = GetSetting(Setting::SnAddress) != 0;
  std::wstring text = config.manufacturerText;
  if (snAddress && GetSetting(Setting::SnFunction) != 0) text.insert(text.begin(), L'\x07');
  const std::uint8_t target = snAddress ? kRecordSerial : kRecordManufacturer;
  std::size_t rebuilt = 0;

  if (GetMemoryType() != MemoryType::kOtp) {
    return Patch(config, config.imageA, text, target, rebuilt) || fail();
  }

  // OTP: the image is extended to S bytes, patched and cut to the stored area length, all
  // on a copy that replaces the image only when every step succeeded.
  const std::uint32_t s = ActiveSerialPatchPlace().configSize;
  if (config.imageA.size() > s) {
    DebugPrint("OTP image of 0x%zX bytes is longer than the config size 0x%X\r\n",
               config.imageA.size(), s);
    return fail();
  }
  std::vector<std::uint8_t> image;
  try {
    image.reserve(s);
    image = config.imageA;
    image.resize(s, 0xFF);
  } catch (const std::bad_alloc&) {
    return fail();
  }
  if (!Patch(config, image, text, target, rebuilt)) return fail();
  // A stored length shorter than the rebuilt area would cut its end off.
  const std::size_t cut = std::max<std::size_t>(config.areaLength, rebuilt);
  if (cut > image.size()) {
    DebugPrint("Stored area length 0x%zX is beyond the OTP image (0x%zX bytes)\r\n", cut,
               image.size());
    return fail();
  }
  image.resize(cut);
  // The located area keeps its offset in the new buffer; an OTP image's area is at its
  // start, which it falls back to when the image no longer reaches the old offset.
  std::optional<std::size_t> areaOffset;
  if (config.configA != nullptr) {
    const auto at = reinterpret_cast<std::uintptr_t>(config.configA);
    const auto base = reinterpret_cast<std::uintptr_t>(config.imageA.data());
    if (at >= base && at - base <= config.imageA.size()) areaOffset = at - base;
  }
  config.imageA.swap(image);
  if (areaOffset) {
    config.configA = config.imageA.data() + (*areaOffset < config.imageA.size() ? *areaOffset : 0);
  }
  return true;
}

}  // namespace vantor
