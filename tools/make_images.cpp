// Writes the built-in firmware images from their description (builtin_images.txt):
//   make_images DESCRIPTION OUTPUT_DIRECTORY
// Each image becomes OUTPUT_DIRECTORY/NAME.bin. The images are synthetic samples: a
// code block of pseudo-random bytes fixed by the image name, the build bytes and the
// version record inside it, a configuration area with the records of the chip type,
// and 0xFF everywhere else.
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
  unsigned resource = 0;
  unsigned chip = 0;
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

// Chip-specific settings records.
void AddChipRecords(const ImageDescription& d, AreaBuilder& area, ByteSource& source) {
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
    const Bytes cache = source.Take(32);
    area.AddSmallCache(cache);
  }
}

bool BuildImage(const ImageDescription& d, Bytes& image) {
  const std::uint32_t versionAt = d.length >= 0x10000 ? 0x100C : 0x11B;
  if (d.version.size() != 8 || d.build.size() != 5)
    return Fail(d.name + ": build or version missing");
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

  AreaBuilder area(static_cast<std::uint8_t>(d.type), static_cast<std::uint8_t>(d.chip));
  area.Add(vantor::imagegen::VersionRecord(static_cast<std::uint16_t>(0x0300 | (d.chip & 0xFF)),
                                           0x1060));
  if (d.bankCopy >= 0) area.Add(ByteRecord(20, static_cast<std::uint8_t>(d.bankCopy)));
  area.Add(StringRecord(1, d.manufacturer));
  area.Add(StringRecord(2, d.product));
  area.Add(StringRecord(3, d.serial));
  area.Add(vantor::imagegen::VidPidRecord(static_cast<std::uint16_t>(d.vid),
                                          static_cast<std::uint16_t>(d.pid),
                                          static_cast<std::uint16_t>(d.release)));
  if (!d.iad.empty()) area.Add(StringRecord(7, d.iad));
  AddChipRecords(d, area, source);
  const Bytes code = source.Take(32);
  area.AddCodeInfo(code);
  const Bytes bytes = area.Build();
  // The serial number patch rebuilds the area into the page and needs 128 bytes spare.
  if (bytes.size() + 128 > d.page) return Fail(d.name + ": the area does not fit its page");
  vantor::imagegen::Place(image, d.area, bytes);
  return true;
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
