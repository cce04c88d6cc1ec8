// Writes synthetic firmware images from their description: the built-in images
// (builtin_images.txt) and the sample firmware files of the simulated devices
// (sample_images.txt):
//   make_images DESCRIPTION OUTPUT_DIRECTORY
// Each image becomes OUTPUT_DIRECTORY/NAME.bin: a code block of pseudo-random bytes fixed
// by the image name, the build bytes and the version record inside it, a configuration
// area with the records of the chip type, optionally the tag, and 0xFF everywhere else.
// An image whose area lies at offset 0 holds its code inside the area instead.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "image_layout.h"

namespace {

using vantor::imagegen::AreaBuilder;
using vantor::imagegen::ByteRecord;
using vantor::imagegen::Bytes;
using vantor::imagegen::Record;
using vantor::imagegen::StringRecord;

struct ImageDescription {
  std::string name;
  unsigned resource = 0;  // 0: a sample file, no resource
  unsigned chip = 0;
  unsigned variant = 0;
  int tag = -1;  // offset of the tag bytes 55 AA; none when negative
  unsigned type = 0;
  unsigned length = 0;
  unsigned area = 0;
  unsigned page = 0;
  unsigned code = 0;
  unsigned vid = 0, pid = 0, release = 0;
  Bytes build;
  Bytes version;
  int bankCopy = -1;
  std::string manufacturer, product, serial, iad;
};

bool Fail(const std::string& text) {
  std::cerr << "make_images: " << text << '\n';
  return false;
}

bool ParseNumber(const std::string& text, unsigned& value, int base = 0) {
  try {
    std::size_t used = 0;
    const unsigned long v = std::stoul(text, &used, base);
    if (used != text.size() || v > 0xFFFFFFFFul) return false;
    value = static_cast<unsigned>(v);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

// Hexadecimal tokens of an even number of digits, two digits a byte.
bool ParseHexBytes(const std::string& text, Bytes& bytes) {
  std::istringstream in(text);
  std::string token;
  bytes.clear();
  while (in >> token) {
    if (token.size() % 2 != 0) return false;
    for (std::size_t i = 0; i < token.size(); i += 2) {
      unsigned value = 0;
      if (!ParseNumber(token.substr(i, 2), value, 16)) return false;
      bytes.push_back(static_cast<std::uint8_t>(value));
    }
  }
  return true;
}

bool SetProperty(ImageDescription& image, const std::string& key, const std::string& value) {
  auto number = [&](unsigned& field) { return ParseNumber(value, field); };
  if (key == "chip") return number(image.chip);
  if (key == "variant") return number(image.variant) && image.variant <= 7;
  if (key == "tag") {
    unsigned at = 0;
    if (!ParseNumber(value, at) || at > 0xFFFFFF) return false;
    image.tag = static_cast<int>(at);
    return true;
  }
  if (key == "type") return number(image.type);
  if (key == "length") return number(image.length);
  if (key == "area") return number(image.area);
  if (key == "page") return number(image.page);
  if (key == "code") return number(image.code);
  if (key == "build") return ParseHexBytes(value, image.build) && image.build.size() == 5;
  if (key == "version") return ParseHexBytes(value, image.version) && image.version.size() == 8;
  if (key == "bankcopy") {
    unsigned v = 0;
    if (!ParseNumber(value, v) || v > 0xFF) return false;
    image.bankCopy = static_cast<int>(v);
    return true;
  }
  if (key == "usb") {
    std::istringstream in(value);
    std::string vid, pid, release;
    return static_cast<bool>(in >> vid >> pid >> release) && ParseNumber(vid, image.vid, 16) &&
           ParseNumber(pid, image.pid, 16) && ParseNumber(release, image.release, 16);
  }
  if (key == "manufacturer")
    image.manufacturer = value;
  else if (key == "product")
    image.product = value;
  else if (key == "serial")
    image.serial = value;
  else if (key == "iad")
    image.iad = value;
  else
    return false;
  return true;
}

bool ReadDescription(const std::filesystem::path& file, std::vector<ImageDescription>& images) {
  std::ifstream in(file);
  if (!in) return Fail("cannot read " + file.string());
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const std::size_t space = line.find(' ');
    const std::string key = line.substr(0, space);
    const std::string value = space == std::string::npos ? "" : line.substr(space + 1);
    const std::string where = file.string() + ":" + std::to_string(number) + ": ";
    if (key == "image") {
      ImageDescription image;
      std::istringstream fields(value);
      std::string resource;
      if (!(fields >> image.name >> resource) || !ParseNumber(resource, image.resource)) {
        return Fail(where + "expected: image NAME RESOURCE");
      }
      images.push_back(image);
      continue;
    }
    if (key == "sample") {
      ImageDescription image;
      std::istringstream fields(value);
      std::string rest;
      if (!(fields >> image.name) || (fields >> rest)) return Fail(where + "expected: sample NAME");
      images.push_back(image);
      continue;
    }
    if (images.empty()) return Fail(where + "property before the first image");
    if (!SetProperty(images.back(), key, value)) return Fail(where + "bad line: " + line);
  }
  return true;
}

// Pseudo-random bytes fixed by the image name (FNV-1a seed, xorshift32).
class ByteSource {
 public:
  explicit ByteSource(const std::string& name) {
    for (char c : name) state_ = (state_ ^ static_cast<std::uint8_t>(c)) * 16777619u;
    if (state_ == 0) state_ = 1;
  }
  std::uint8_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return static_cast<std::uint8_t>(state_ >> 24);
  }
  Bytes Take(std::size_t count) {
    Bytes bytes(count);
    for (auto& b : bytes) b = Next();
    return bytes;
  }

 private:
  std::uint32_t state_ = 2166136261u;
};

// The product's identity: manufacturer, product and serial strings, VID/PID, IAD string.
void AddIdentityRecords(const ImageDescription& d, AreaBuilder& area) {
  area.Add(StringRecord(1, d.manufacturer));
  area.Add(StringRecord(2, d.product));
  area.Add(StringRecord(3, d.serial));
  area.Add(vantor::imagegen::VidPidRecord(static_cast<std::uint16_t>(d.vid),
                                          static_cast<std::uint16_t>(d.pid),
                                          static_cast<std::uint16_t>(d.release)));
  if (!d.iad.empty()) area.Add(StringRecord(7, d.iad));
}

// Chip-specific settings records; with `cache`, the small cache code of chip types 21 and
// 24 (an area that holds the code in that record already has its one).
void AddChipRecords(const ImageDescription& d, AreaBuilder& area, ByteSource& source, bool cache) {
  if (d.chip == 17) {
    // I2S0 channel map.
    area.Add(Record(9, {0, 1, 2, 3, 4, 5, 6, 7}));
  }
  if (d.chip == 21 || d.chip == 24) {
    // UAC top: version, speed mode, HID, intervals, PHY sensitivity, jack-detect,
    // remote wake-up and endpoint flags, then VID, PID and release big-endian.
    area.Add(Record(
        64, {0x01, 0x00, 0x01, 0x01, 0x01, 0x01, 0x08, 0x00, 0x00, 0x07,
             static_cast<std::uint8_t>(d.vid >> 8), static_cast<std::uint8_t>(d.vid),
             static_cast<std::uint8_t>(d.pid >> 8), static_cast<std::uint8_t>(d.pid),
             static_cast<std::uint8_t>(d.release >> 8), static_cast<std::uint8_t>(d.release)}));
    // SLB test settings.
    area.Add(
        Record(14, {0x03, 0x10, 0x00, 0x10, 0x00, 0x00, 0x10, 0x00, 0x5A, 0x01, 0x02, 0x64, 0x00}));
    if (cache) area.AddSmallCache(source.Take(32));
  }
}

vantor::imagegen::Bytes HeadVersionRecord(const ImageDescription& d) {
  return vantor::imagegen::VersionRecord(static_cast<std::uint16_t>(0x0300 | (d.chip & 0xFF)),
                                         0x1060);
}

// The area at offset 0 holding the code: the header and two head records (15 bytes), then
// a small-cache-code record whose data is the code block (with the version record at its
// image offset), then the other records. Images for OTP are laid out this way, and so are
// the 16 KiB images a new-family chip keeps in the simulated OTP of its flash.
bool BuildAreaFirstImage(const ImageDescription& d, Bytes& image) {
  constexpr std::uint32_t kCodeAt = 15 + 8;  // the small-cache-code record's data
  const std::uint32_t versionAt = d.length >= 0x10000 ? 0x100C : 0x11B;
  if (d.code < versionAt + 8 - kCodeAt || kCodeAt + d.code > d.length || d.page > d.length) {
    return Fail(d.name + ": code and page do not fit the length");
  }
  ByteSource source(d.name);
  Bytes code = source.Take(d.code);
  vantor::imagegen::Place(code, versionAt - kCodeAt, d.version);
  AreaBuilder area(static_cast<std::uint8_t>(d.type), static_cast<std::uint8_t>(d.chip),
                   static_cast<std::uint8_t>(d.variant));
  area.Add(HeadVersionRecord(d));
  area.Add(d.bankCopy >= 0 ? ByteRecord(20, static_cast<std::uint8_t>(d.bankCopy))
                           : ByteRecord(21, 0x00));
  area.AddSmallCache(code);
  AddIdentityRecords(d, area);
  AddChipRecords(d, area, source, false);
  const Bytes bytes = area.Build();
  if (bytes.size() + 128 > d.page) return Fail(d.name + ": the area does not fit its page");
  image = vantor::imagegen::Filled(d.length);
  vantor::imagegen::Place(image, 0, bytes);
  if (d.length >= 0x1008 && bytes.size() <= 0x1003) vantor::imagegen::Place(image, 0x1003, d.build);
  return true;
}

bool PlaceTag(const ImageDescription& d, Bytes& image) {
  if (d.tag < 0) return true;
  const auto at = static_cast<std::size_t>(d.tag);
  if (at + 2 > image.size()) return Fail(d.name + ": the tag lies beyond the image");
  for (std::size_t i = at; i < at + 2; ++i) {
    if (image[i] != 0xFF) return Fail(d.name + ": the tag overlaps the code or the area");
  }
  vantor::imagegen::Place(image, at, Bytes{0x55, 0xAA});
  return true;
}

bool BuildImage(const ImageDescription& d, Bytes& image) {
  const std::uint32_t versionAt = d.length >= 0x10000 ? 0x100C : 0x11B;
  if (d.version.size() != 8 || d.build.size() != 5)
    return Fail(d.name + ": build or version missing");
  if (d.area == 0) return BuildAreaFirstImage(d, image) && PlaceTag(d, image);
  if (d.code < 0x1014 || d.code > d.area || d.area + d.page > d.length) {
    return Fail(d.name + ": code, area and page do not fit the length");
  }
  ByteSource source(d.name);
  image = vantor::imagegen::Filled(d.length);
  vantor::imagegen::Place(image, 0, source.Take(d.code));
  // A jump at the start; never the area signature at byte 1.
  vantor::imagegen::Place(image, 0, Bytes{0x02, 0x00, 0x40});
  vantor::imagegen::Place(image, 0x1003, d.build);
  vantor::imagegen::Place(image, versionAt, d.version);

  AreaBuilder area(static_cast<std::uint8_t>(d.type), static_cast<std::uint8_t>(d.chip),
                   static_cast<std::uint8_t>(d.variant));
  area.Add(HeadVersionRecord(d));
  if (d.bankCopy >= 0) area.Add(ByteRecord(20, static_cast<std::uint8_t>(d.bankCopy)));
  AddIdentityRecords(d, area);
  AddChipRecords(d, area, source, true);
  const Bytes code = source.Take(32);
  area.AddCodeInfo(code);
  const Bytes bytes = area.Build();
  // The serial number patch rebuilds the area into the page and needs 128 bytes spare.
  if (bytes.size() + 128 > d.page) return Fail(d.name + ": the area does not fit its page");
  vantor::imagegen::Place(image, d.area, bytes);
  return PlaceTag(d, image);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: make_images DESCRIPTION OUTPUT_DIRECTORY\n";
    return 2;
  }
  std::vector<ImageDescription> images;
  if (!ReadDescription(argv[1], images)) return 1;
  const std::filesystem::path outDir = argv[2];
  std::error_code ec;
  std::filesystem::create_directories(outDir, ec);
  for (const ImageDescription& d : images) {
    Bytes image;
    if (!BuildImage(d, image)) return 1;
    const std::filesystem::path file = outDir / (d.name + ".bin");
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()),
              static_cast<std::streamsize>(image.size()));
    if (!out.flush()) {
      std::cerr << "make_images: cannot write " << file.string() << '\n';
      return 1;
    }
  }
  return 0;
}
