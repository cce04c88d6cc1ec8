#include "config/ini_file.h"

#include "platform/files.h"
#include "platform/text.h"
#include "platform/trace.h"

namespace vantor {

namespace {

char FoldC(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool NamesEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldC(a[i]) != FoldC(b[i])) return false;
  }
  return true;
}

bool IsPrintable(unsigned char c) { return c >= 0x20 && c <= 0x7E; }

bool IsCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

}  // namespace

std::int32_t ConvertIntAutoBase(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsCSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < text.size() && text[i] == '0') {
    if (i + 2 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        DigitValue(text[i + 2]) < 16) {
      base = 16;
      i += 2;
    } else {
      base = 8;
    }
  }
  // A magnitude beyond 32 bits saturates to 0xFFFFFFFF, sign or not, as an unsigned
  // 32-bit conversion reports it out of range; it never wraps to a small number.
  constexpr std::uint64_t kMax = 0xFFFFFFFFu;
  std::uint64_t value = 0;
  bool outOfRange = false;
  for (; i < text.size(); ++i) {
    int digit = DigitValue(text[i]);
    if (digit >= base) break;
    value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
    if (value > kMax) {
      outOfRange = true;
      value = kMax;
    }
  }
  if (outOfRange) return -1;
  if (negative) value = 0 - value;
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

CIniFile::CIniFile(std::wstring path) : path_(std::move(path)) {}

bool CIniFile::LoadFile() {
  // A small text: a file that is none (a directory, a device, a FIFO) or is far too big
  // for one is not read.
  std::string bytes;
  if (platform::ReadRegularFile(platform::ToUtf8(path_), platform::kMaxTextFileBytes, bytes) !=
      platform::FileReadResult::kOk) {
    return false;
  }
  // Read as a text-mode stream reads: each CR LF pair arrives as a line feed, so a line
  // ending in CR CR LF keeps no carriage return once the line rules drop one.
  std::string text;
  text.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
    text += bytes[i];
  }
  return LoadText(std::string_view(text));
}

bool CIniFile::LoadText(std::wstring_view text) {
  std::string bytes = platform::ToAnsi(text);
  return LoadText(std::string_view(bytes));
}

bool CIniFile::LoadText(std::string_view text) {
  std::string currentSection;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    if (!LoadLine(line, currentSection)) break;
  }
  return !sections_.empty();
}

bool CIniFile::LoadLine(std::string_view line, std::string& currentSection) {
  auto first = static_cast<unsigned char>(line.front());
  if (!IsPrintable(first)) {
    DebugPrint("Failing on char %d\n", static_cast<int>(first));
    return false;
  }
  std::size_t mark = line.find_first_of(";#[=");
  if (mark == std::string_view::npos) {
    SetString(currentSection, line, "", true);
  } else if (line[mark] == ';' || line[mark] == '#') {
    std::string_view comment = line.substr(mark + 1);
    if (sections_.empty()) {
      headerComments_.emplace_back(comment);
    } else {
      sections_.back().comments.emplace_back(comment);
    }
  } else if (line[mark] == '[') {
    std::size_t close = line.find(']');
    if (close != std::string_view::npos && close > mark) {
      currentSection = std::string(line.substr(mark + 1, close - mark - 1));
      AddSection(currentSection);
    }
  } else {
    SetString(currentSection, line.substr(0, mark), line.substr(mark + 1), true);
  }
  return true;
}

int CIniFile::FindSection(std::string_view section) const {
  for (std::size_t i = 0; i < sectionNames_.size(); ++i) {
    if (caseInsensitive_ ? NamesEqual(sectionNames_[i], section) : sectionNames_[i] == section) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

int CIniFile::FindEntry(int sectionIndex, std::string_view key) const {
  if (sectionIndex < 0 || sectionIndex >= SectionCount()) return -1;
  const auto& keys = sections_[static_cast<std::size_t>(sectionIndex)].keys;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (caseInsensitive_ ? NamesEqual(keys[i], key) : keys[i] == key) return static_cast<int>(i);
  }
  return -1;
}

int CIniFile::AddSection(std::string_view section) {
  sections_.emplace_back();
  sectionNames_.emplace_back(section);
  return SectionCount() - 1;
}

bool CIniFile::SetString(std::string_view section, std::string_view key, std::string_view value,
                         bool create) {
  int index = FindSection(section);
  if (index < 0) {
    if (!create) return false;
    index = AddSection(section);
  }
  Section& sec = sections_[static_cast<std::size_t>(index)];
  int entry = allowDuplicateKeys_ ? -1 : FindEntry(index, key);
  if (entry >= 0) {
    sec.values[static_cast<std::size_t>(entry)] = std::string(value);
    return true;
  }
  if (!create) return false;
  sec.keys.emplace_back(key);
  sec.values.emplace_back(value);
  return true;
}

bool CIniFile::SetInt(std::string_view section, std::string_view key, std::int32_t value) {
  return SetString(section, key, std::to_string(value), true);
}

std::string CIniFile::GetString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const {
  return GetStringAt(FindSection(section), key, defaultValue);
}

std::int32_t CIniFile::GetInt(std::int32_t defaultValue, std::string_view section,
                              std::string_view key) const {
  return GetIntAt(FindSection(section), key, defaultValue);
}

std::string CIniFile::GetStringAt(int sectionIndex, std::string_view key,
                                  std::string_view defaultValue) const {
  int entry = FindEntry(sectionIndex, key);
  if (entry < 0) return std::string(defaultValue);
  return sections_[static_cast<std::size_t>(sectionIndex)].values[static_cast<std::size_t>(entry)];
}

std::int32_t CIniFile::GetIntAt(int sectionIndex, std::string_view key,
                                std::int32_t defaultValue) const {
  return ConvertIntAutoBase(GetStringAt(sectionIndex, key, std::to_string(defaultValue)));
}

bool CIniFile::AddComment(int sectionIndex, std::string_view comment) {
  if (sectionIndex < 0 || sectionIndex >= SectionCount()) return false;
  sections_[static_cast<std::size_t>(sectionIndex)].comments.emplace_back(comment);
  return true;
}

void CIniFile::Clear() {
  sections_.clear();
  sectionNames_.clear();
  headerComments_.clear();
}

}  // namespace vantor
