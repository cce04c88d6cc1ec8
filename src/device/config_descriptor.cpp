#include "device/config_descriptor.h"

#include <algorithm>
#include <cstring>

namespace vantor {

namespace {

constexpr std::size_t kInterfaceLength = 9;
constexpr std::size_t kAssociationLength = 8;

// Subtypes of the class-specific interface descriptors.
constexpr std::uint8_t kVcHeader = 0x01;
constexpr std::uint8_t kVcExtensionUnit = 0x06;
constexpr std::uint8_t kAcProcessingUnit = 0x08;
constexpr std::uint8_t kAcExtensionUnit = 0x09;

// Offsets of the fields of a video class extension unit.
constexpr std::size_t kXuGuid = 4;
constexpr std::size_t kXuNumControls = 20;
constexpr std::size_t kXuNrInPins = 21;
constexpr std::size_t kXuSources = 22;

struct Interface {
  std::uint8_t number = 0;
  std::uint8_t alternate = 0;
  std::uint8_t cls = 0;
  std::uint8_t subclass = 0;
};

std::optional<Interface> AsInterface(ByteSpan d) {
  if (d[1] != kDescInterface || d.size() < kInterfaceLength) return std::nullopt;
  return Interface{d[2], d[3], d[5], d[6]};
}

bool IsInterfaceBoundary(ByteSpan d) {
  return d[1] == kDescInterface || d[1] == kDescInterfaceAssociation;
}

// Calls fn(descriptor) for each class-specific interface descriptor that belongs to the
// interface the walker has just passed, until the next interface or association.
template <class Fn>
void ForEachClassSpecific(DescriptorWalker& walker, Fn fn) {
  ByteSpan d;
  while (walker.Next(d)) {
    if (IsInterfaceBoundary(d)) return;
    if (d[1] == kDescClassInterface && d.size() >= 3) fn(d);
  }
}

bool VideoUnitQualifies(ByteSpan xu) {
  const std::uint8_t numControls = xu[kXuNumControls];
  const std::size_t controlSizeAt = kXuSources + xu[kXuNrInPins];
  // bControlSize and the second bmControls byte must lie inside the descriptor.
  if (controlSizeAt + 2 >= xu.size()) return false;
  const std::uint8_t controlSize = xu[controlSizeAt];
  const std::uint8_t secondControls = xu[controlSizeAt + 2];
  return numControls >= 2 && controlSize >= 2 && (secondControls & 0x06) == 0x06;
}

}  // namespace

bool DescriptorWalker::Next(ByteSpan& descriptor) {
  if (broken_ || at_ >= bytes_.size()) return false;
  const std::size_t length = bytes_[at_];
  if (length < 2 || length > bytes_.size() - at_) {
    broken_ = true;
    return false;
  }
  descriptor = bytes_.subspan(at_, length);
  at_ += length;
  return true;
}

std::optional<std::uint16_t> ConfigTotalLength(ByteSpan header) {
  if (header.size() < kConfigHeaderLength || header[0] < kConfigHeaderLength ||
      header[1] != kDescConfiguration) {
    return std::nullopt;
  }
  return static_cast<std::uint16_t>(header[2] | header[3] << 8);
}

bool IsWellFormedConfigDescriptor(ByteSpan config) {
  const auto total = ConfigTotalLength(config);
  if (!total || *total != config.size()) return false;
  DescriptorWalker walker(config);
  ByteSpan d;
  std::size_t covered = 0;
  while (walker.Next(d)) covered += d.size();
  return !walker.broken() && covered == config.size();
}

CameraUnits FindCameraUnits(ByteSpan config, std::uint32_t interfaceNumber) {
  CameraUnits units;
  DescriptorWalker walker(config);
  ByteSpan d;
  while (walker.Next(d)) {
    const auto itf = AsInterface(d);
    if (!itf || itf->cls != kClassVideo || itf->subclass != kSubclassVideoControl ||
        itf->number != interfaceNumber || itf->alternate != 0) {
      continue;
    }
    ForEachClassSpecific(walker, [&](ByteSpan cs) {
      if (cs[2] != kVcExtensionUnit || cs.size() <= kXuSources) return;
      const auto guid = platform::Guid::FromBytes(cs.data() + kXuGuid);
      if (guid == kCommandUnitGuid && !units.commandUnit && VideoUnitQualifies(cs)) {
        units.commandUnit = cs[3];
      } else if (guid == kSecondUnitGuid) {
        units.secondUnit = true;
      }
    });
    break;
  }
  return units;
}

std::optional<std::uint8_t> FindAudioExtensionUnit(ByteSpan config, std::uint16_t vendorId) {
  DescriptorWalker walker(config);
  ByteSpan d;
  while (walker.Next(d)) {
    if (!AsInterface(d)) continue;
    std::optional<std::uint8_t> unit;
    ForEachClassSpecific(walker, [&](ByteSpan cs) {
      if (unit || cs.size() < 6) return;
      if (cs[2] != kAcProcessingUnit && cs[2] != kAcExtensionUnit) return;
      if (static_cast<std::uint16_t>(cs[4] | cs[5] << 8) == vendorId) unit = cs[3];
    });
    return unit;  // only the first interface is searched
  }
  return std::nullopt;
}

bool ParseVideoFunction(ByteSpan deviceDescriptor, ByteSpan config, std::uint32_t interfaceNumber,
                        std::array<std::uint8_t, kVideoFunctionBytes>& function) {
  if (deviceDescriptor.size() < 7 || deviceDescriptor[4] != 0xEF || deviceDescriptor[5] != 0x02 ||
      deviceDescriptor[6] != 0x01) {
    return false;
  }
  DescriptorWalker walker(config);
  ByteSpan d;
  // The association of the record's interface.
  std::uint8_t count = 0;
  bool association = false;
  while (!association && walker.Next(d)) {
    association = d[1] == kDescInterfaceAssociation && d.size() >= kAssociationLength &&
                  d[2] == interfaceNumber && d[4] == kClassVideo &&
                  d[5] == kSubclassVideoCollection;
    if (association) count = d[3];
  }
  if (!association || count == 0) return false;

  // From there on: every video interface descriptor counts; the control interface must
  // come with its header, and the streaming interfaces must follow the header.
  std::size_t videoInterfaces = 0;
  std::size_t streamingAfterHeader = 0;
  bool inControl = false;
  bool header = false;
  std::array<std::uint8_t, kVideoFunctionBytes> parsed{};
  std::size_t used = 0;
  while (walker.Next(d)) {
    if (const auto itf = AsInterface(d)) {
      inControl = false;
      if (itf->cls != kClassVideo) continue;
      ++videoInterfaces;
      if (itf->subclass == kSubclassVideoControl && itf->number == interfaceNumber &&
          itf->alternate == 0 && !header) {
        inControl = true;
      } else if (header && itf->subclass == kSubclassVideoStreaming && itf->alternate == 0 &&
                 itf->number > interfaceNumber && itf->number - interfaceNumber < count) {
        ++streamingAfterHeader;
      }
      continue;
    }
    if (!inControl || d[1] != kDescClassInterface || d.size() < 3) {
      if (d[1] == kDescInterfaceAssociation) inControl = false;
      continue;
    }
    if (!header) {
      if (d[2] != kVcHeader) return false;  // the header comes first
      header = true;
    }
    if (used + d.size() <= parsed.size()) {
      std::memcpy(parsed.data() + used, d.data(), d.size());
      used += d.size();
    }
  }
  if (walker.broken() || !header || videoInterfaces < count || streamingAfterHeader + 1 < count) {
    return false;
  }
  function = parsed;
  return true;
}

}  // namespace vantor
