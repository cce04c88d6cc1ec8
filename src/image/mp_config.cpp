#include "image/mp_config.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <new>
#include <system_error>

#include "config/builtin_images.h"
#include "config/bus_type.h"
#include "config/ic_type_ini.h"
#include "image/descriptor_chain.h"
#include "image/memory_type.h"
#include "platform/files.h"
#include "platform/resources.h"
#include "platform/text.h"
#include "platform/trace.h"
#include "platform/user_notice.h"

namespace vantor {

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kFixedAreaOffset = 0xF000;
constexpr std::uint32_t kSmallImageLength = 0x4000;
constexpr std::uint32_t kLargeImageLength = 0x10000;
constexpr std::uint32_t kMipiMemorySize = 0x20000;
constexpr std::uint32_t kVersionTextMinLength = 0x1020;
constexpr const char* kConfigCorrupted = "Config file corrupted";

std::atomic<std::uint8_t> gVariantByte{0};

std::uint32_t ConfigAddress() {
  const CICTypeIni* ic = ActiveICTypeIni();
  return ic ? ic->ConfigAddress() : 0;
}

bool IsQX330() {
  const CICTypeIni* ic = ActiveICTypeIni();
  return ic && ic->IsQX330();
}

bool AllFF(std::span<const std::uint8_t> image) {
  return std::all_of(image.begin(), image.end(), [](std::uint8_t b) { return b == 0xFF; });
}

// Where the area is looked for first: "ConfigAddress", or 0 for QX330 when the
// configured memory size is 0x4000.
std::uint32_t LocateAddress() {
  if (IsQX330() && ConfiguredMemorySize() == kSmallImageLength) return 0;
  return ConfigAddress();
}

// Where the area is: at the locate address when the image is longer than that and a
// header stands there, else at the start of the image.
bool FindAreaOffset(std::span<const std::uint8_t> image, std::uint32_t& offset) {
  const std::uint32_t a = LocateAddress();
  if (image.size() > a && HasAreaAt(image, a)) {
    offset = a;
    return true;
  }
  offset = 0;
  return HasAreaAt(image, 0);
}

// The text of a string record: at most bLength - 2 bytes from byte 4, within the record,
// up to the first zero byte.
std::wstring RecordText(const ChainRecord& record) {
  const std::size_t bLength = record.ByteAt(2);
  std::size_t count = bLength >= 2 ? bLength - 2 : 0;
  count = std::min(count, record.bytes.size() > 4 ? record.bytes.size() - 4 : 0);
  std::string text;
  for (std::size_t i = 0; i < count && record.bytes[4 + i] != 0; ++i) {
    text.push_back(static_cast<char>(record.bytes[4 + i]));
  }
  return platform::FromAnsi(text);
}

template <typename... Args>
std::wstring Format(const char* format, Args... args) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, args...);
  return platform::FromAnsi(buffer);
}

void ApplyImageType(const AreaHeader& header) {
  if (auto type = MemoryTypeFromImageType(header.imageType)) SetMemoryType(*type);
}

// A broken record chain: the window shows the box; without a window the notice is a
// trace line only, the console stays the run's own.
void ReportCorrupted() {
  DebugPrint("%s\n", kConfigCorrupted);
  platform::ShowWindowMessageBox(kConfigCorrupted);
}

// Whether the area the header at `offset` announces lies within the image.
bool AreaFits(std::span<const std::uint8_t> image, std::uint32_t offset, const AreaHeader& header) {
  if (offset <= image.size() && header.areaLength <= image.size() - offset) return true;
  DebugPrint("The configuration area at 0x%X claims %u bytes; the image holds %zu from there\n",
             offset, static_cast<unsigned>(header.areaLength),
             offset <= image.size() ? image.size() - offset : 0);
  return false;
}

// Where CheckConfigArea reads the area: 0xF000, or 0 for QX330 with an OTP memory type or
// an image of 0x4000 bytes.
std::uint32_t CheckAreaOffset(std::size_t length) {
  if (IsQX330() && (GetMemoryType() == MemoryType::kOtp || length == kSmallImageLength)) return 0;
  return kFixedAreaOffset;
}

std::span<const std::uint8_t> Bytes(const std::uint8_t* image, std::uint32_t length) {
  return image ? std::span<const std::uint8_t>(image, length) : std::span<const std::uint8_t>();
}

std::mutex gSavedMutex;
CMpConfig& SavedConfig() {
  static CMpConfig saved;
  return saved;
}

}  // namespace

bool CMpConfig::LoadImageFile() {
  if (imagePath.empty()) return false;
  fs::path path = platform::ToUtf8(imagePath);
  if (imagePath.find(L':') == std::wstring::npos && imagePath.rfind(L"\\\\", 0) != 0) {
    path = platform::ProgramDirectory() / path;
  }
  // Only a file: a directory, a device or a FIFO never names an image.
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return false;
  path = fs::absolute(path, ec).lexically_normal();
  imagePath = platform::FromUtf8(path.string());

  imageA.clear();
  backupImage.clear();
  configA = nullptr;

  const platform::FileReadResult read =
      platform::ReadRegularFile(path, platform::kMaxImageFileBytes, imageA);
  if (read != platform::FileReadResult::kOk || imageA.empty()) {
    if (read != platform::FileReadResult::kOk) {
      DebugPrint("Can't load %s: %s\n", path.string().c_str(), platform::FileReadResultText(read));
    }
    imageA.clear();
    return false;
  }
  try {
    backupImage = imageA;
  } catch (const std::bad_alloc&) {
    imageA.clear();
    backupImage.clear();
    return false;
  }
  return true;
}

void CMpConfig::LoadBuiltInImage(unsigned resourceId) {
  const std::span<const std::uint8_t> resource =
      platform::FindResource(kBuiltInImageType, resourceId);
  if (resource.data() == nullptr) return;
  imageB.clear();
  configB = nullptr;
  if (GetBusType() == BusType::kMipi) SetConfiguredMemorySize(kMipiMemorySize);
  if (resource.empty()) return;
  SetConfiguredMemorySize(static_cast<std::uint32_t>(resource.size()));
  imageB.assign(resource.begin(), resource.end());
}

void CMpConfig::LoadDefaultImage() {
  const CICTypeIni* ic = ActiveICTypeIni();
  unsigned resourceId = 0;
  if (ic && !ic->List().empty() && ic->DefaultImageId(resourceId)) {
    LoadBuiltInImage(resourceId);
    return;
  }
  imageB.clear();
  configB = nullptr;
}

unsigned CMpConfig::BuiltInImageId(std::wstring_view name) {
  return FindBuiltInImageId(platform::ToAnsi(name));
}

const std::uint8_t* CMpConfig::LocateConfigArea(const std::uint8_t* image, std::uint32_t length) {
  const std::span<const std::uint8_t> bytes = Bytes(image, length);
  const std::uint32_t a = LocateAddress();
  imageChip = 0xFF;

  if (bytes.size() > a) {
    DescriptorChain chain;
    chain.Attach(bytes.subspan(a));
    if (chain.header().HasSignature()) {
      if (!AreaFits(bytes, a, chain.header())) return nullptr;
      if (chain.head().hasBankCopy && chain.head().bankCopy == kBankCopyAltPinMux) altPinMux = 1;
      noTag = a == 0 ? 1 : 0;
      imageChip = chain.header().chipType;
      if (!ReadInfoAndCheck(bytes, a)) {
        imageChip = 0xFF;
        return nullptr;
      }
      if (a != 0) {
        configPageAddress = a & ~0xFFFu;
        configPageLength = 0x1000;
        return bytes.size() >= kLargeImageLength ? image + kFixedAreaOffset : image + a;
      }
      std::uint32_t end = 0;
      if (!FindSmallCacheEnd(image, length, end)) {
        imageChip = 0xFF;
        return nullptr;
      }
      configPageAddress = end & ~0xFu;
      configPageLength = (areaLength & ~0xFu) - (end & ~0xFu) + 0x30;
      return image + end;
    }
  }

  AreaHeader header;
  if (!ReadAreaHeader(bytes, 0, header) || !header.HasSignature()) return nullptr;
  if (!AreaFits(bytes, 0, header)) return nullptr;
  imageChip = header.chipType;
  if (!ReadInfoAndCheck(bytes, 0)) {
    imageChip = 0xFF;
    return nullptr;
  }
  noTag = 1;
  return bytes.size() < kLargeImageLength ? image : image + kFixedAreaOffset;
}

bool CMpConfig::ParseImageA() {
  configA = LocateConfigArea(imageA.data(), imageALen());
  return configA != nullptr;
}

bool CMpConfig::ParseImageB() {
  configB = LocateConfigArea(imageB.data(), imageBLen());
  return configB != nullptr;
}

// Both run for their effects; only a broken record chain decides the outcome, and for the
// check at the fixed place only when that is where the area was found: elsewhere its
// bytes are code that may look like a header.
bool CMpConfig::ReadInfoAndCheck(std::span<const std::uint8_t> image, std::uint32_t areaOffset) {
  if (ReadImageInfoImpl(image) == AreaRead::kCorrupted) return false;
  const bool sameArea = CheckAreaOffset(image.size()) == areaOffset;
  return CheckConfigAreaImpl(image, sameArea) != AreaRead::kCorrupted || !sameArea;
}

bool CMpConfig::ReadImageInfo(const std::uint8_t* image, std::uint32_t length) {
  return ReadImageInfoImpl(Bytes(image, length)) == AreaRead::kOk;
}

CMpConfig::AreaRead CMpConfig::ReadImageInfoImpl(std::span<const std::uint8_t> image) {
  imageManufacturerText.clear();
  imageSerialText.clear();
  imageIadText.clear();
  vidPidText.clear();
  releaseText.clear();
  imageVersionText.clear();
  if (AllFF(image)) return AreaRead::kFailed;

  std::uint32_t a = ConfigAddress();
  if (IsQX330()) {
    const MemoryType memory = GetMemoryType();
    if (image.size() == kSmallImageLength || memory == MemoryType::kOtp ||
        (memory == MemoryType::kFlash && image.size() < kSmallImageLength)) {
      a = 0;
    }
  }
  if (image.size() < a) return AreaRead::kFailed;
  const std::uint32_t offset = HasAreaAt(image, a) ? a : 0;
  if (!HasAreaAt(image, offset)) return AreaRead::kFailed;

  DescriptorChain chain;
  chain.Attach(image.subspan(offset));
  ApplyImageType(chain.header());
  areaLength = chain.header().areaLength;

  const ChainWalk walk = chain.Walk([&](const ChainRecord& record) {
    DebugPrint("Find descriptor 0x%02X\n", record.header.type);
    switch (record.header.type) {
      case kRecordManufacturer:
        imageManufacturerText = RecordText(record);
        break;
      case kRecordSerial:
        imageSerialText = RecordText(record);
        break;
      case kRecordIad:
        imageIadText = RecordText(record);
        break;
      case kRecordVidPid:
        vidPidText = Format("VID_%04X&PID_%04X", record.WordLeAt(2), record.WordLeAt(4));
        releaseText = Format("%04x", record.WordLeAt(6));
        if (image.size() > kVersionTextMinLength) {
          imageVersionText = Format("0x%02X%02X%02X%02X%02X", image[0x1003], image[0x1005],
                                    image[0x1004], image[0x1007], image[0x1006]);
        }
        break;
      default:
        break;
    }
  });
  if (walk == ChainWalk::kBroken) {
    ReportCorrupted();
    return AreaRead::kCorrupted;
  }
  return AreaRead::kOk;
}

bool CMpConfig::CheckConfigArea(const std::uint8_t* image, std::uint32_t length) {
  return CheckConfigAreaImpl(Bytes(image, length), true) == AreaRead::kOk;
}

CMpConfig::AreaRead CMpConfig::CheckConfigAreaImpl(std::span<const std::uint8_t> image,
                                                   bool report) {
  const std::uint32_t offset = CheckAreaOffset(image.size());
  if (!HasAreaAt(image, offset)) return AreaRead::kFailed;
  DescriptorChain chain;
  chain.Attach(image.subspan(offset));
  // A header whose chain is broken sets nothing: it may be code that only looks like one.
  if (chain.Walk(nullptr) == ChainWalk::kBroken) {
    if (report) {
      ReportCorrupted();
    } else {
      DebugPrint("Bytes at 0x%X look like an area header, but no record chain follows\n", offset);
    }
    return AreaRead::kCorrupted;
  }
  ApplyImageType(chain.header());
  areaLength = chain.header().areaLength;
  return AreaRead::kOk;
}

bool CMpConfig::FindSmallCacheEnd(const std::uint8_t* image, std::uint32_t length,
                                  std::uint32_t& offset) {
  const std::span<const std::uint8_t> bytes = Bytes(image, length);
  offset = 0;
  if (AllFF(bytes)) return false;
  std::uint32_t areaOffset = 0;
  if (!FindAreaOffset(bytes, areaOffset)) return false;
  DescriptorChain chain;
  chain.Attach(bytes.subspan(areaOffset));
  std::uint32_t end = 0;
  const ChainWalk walk = chain.Walk([&end](const ChainRecord& record) {
    if (record.header.type == kRecordSmallCacheCode) {
      end = static_cast<std::uint32_t>(record.offset + record.header.length);
    }
  });
  if (walk == ChainWalk::kBroken) return false;
  offset = end;
  return true;
}

bool CMpConfig::AllocReadBack(std::uint32_t length) {
  readBuf.clear();
  readBuf.shrink_to_fit();
  try {
    readBuf.assign(length, 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool CMpConfig::SaveBufferToFile() const {
  std::ofstream out(fs::path(platform::ToUtf8(dumpPath)), std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(reinterpret_cast<const char*>(readBuf.data()),
            static_cast<std::streamsize>(readBuf.size()));
  return static_cast<bool>(out.flush());
}

std::wstring CMpConfig::BuiltInImageNameForDevice(std::wstring_view deviceIdText) {
  const std::size_t amp = deviceIdText.rfind(L'&');
  std::wstring name =
      L"FFU" +
      std::wstring(amp == std::wstring_view::npos ? deviceIdText : deviceIdText.substr(0, amp));
  for (std::wstring_view part : {std::wstring_view(L"VID"), std::wstring_view(L"&PID")}) {
    for (std::size_t at = name.find(part); at != std::wstring::npos; at = name.find(part, at)) {
      name.erase(at, part.size());
    }
  }
  return name;
}

std::wstring CMpConfig::ChooseBuiltInImage(std::wstring_view deviceIdText,
                                           const std::function<std::uint8_t()>& readVariantByte) {
  std::wstring name = BuiltInImageNameForDevice(deviceIdText);
  if (name.find(L"17AA_1046") != std::wstring::npos) {
    const std::uint8_t variant = readVariantByte ? readVariantByte() : 0;
    gVariantByte.store(variant);
    name += (variant & 0x01) ? L'H' : L'L';
  }
  if (const unsigned id = BuiltInImageId(name)) {
    LoadBuiltInImage(id);
  } else {
    LoadDefaultImage();
  }
  return name;
}

void CMpConfig::ReleaseBuffers() {
  imageA = {};
  imageB = {};
  backupImage = {};
  readBuf = {};
  configA = nullptr;
  configB = nullptr;
}

void CMpConfig::CopyFieldsFrom(const CMpConfig& other) {
  if (this == &other) return;
  imagePath = other.imagePath;
  noTag = other.noTag;
  configPageAddress = other.configPageAddress;
  configPageLength = other.configPageLength;
  imageChip = other.imageChip;
  altPinMux = other.altPinMux;
  areaLength = other.areaLength;
  imageManufacturerText = other.imageManufacturerText;
  imageSerialText = other.imageSerialText;
  imageIadText = other.imageIadText;
  manufacturerText = other.manufacturerText;
  vidPidText = other.vidPidText;
  releaseText = other.releaseText;
  imageVersionText = other.imageVersionText;
  dumpPath = other.dumpPath;
}

bool IsImageForChip(std::uint8_t imageChip, std::uint8_t chipInfo) {
  if (imageChip == chipInfo) return true;
  return (imageChip == 8 && chipInfo == 9) || (imageChip == 9 && chipInfo == 8);
}

std::uint8_t DeviceVariantByte() { return gVariantByte.load(); }

void SaveConfigForReplacement(CMpConfig& old) {
  old.ReleaseBuffers();
  std::lock_guard lock(gSavedMutex);
  SavedConfig().CopyFieldsFrom(old);
}

void RestoreSavedConfig(CMpConfig& fresh) {
  fresh.ReleaseBuffers();
  std::lock_guard lock(gSavedMutex);
  fresh.CopyFieldsFrom(SavedConfig());
}

}  // namespace vantor
