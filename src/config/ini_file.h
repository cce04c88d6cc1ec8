// INI documents: sections of keys with values, and comments. Names compare without
// regard to letter case (A-Z only); the first matching section or key wins. Names,
// values and comments are kept exactly as they stand in the text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantor {

// Converts an integer text with automatic base: "0x"/"0X" hexadecimal, a leading "0"
// octal, else decimal; leading blanks and a sign are accepted; conversion stops at the
// first character that does not fit; an empty text gives 0. The result keeps the low
// 32 bits, so "0xFFFFFFFF" and "-1" both give -1; a number beyond 32 bits gives -1 too
// (0xFFFFFFFF, the out-of-range value), never a wrapped remainder.
std::int32_t ConvertIntAutoBase(std::string_view text);

class CIniFile {
 public:
  struct Section {
    std::vector<std::string> keys;
    std::vector<std::string> values;
    std::vector<std::string> comments;
  };

  explicit CIniFile(std::wstring path = {});
  virtual ~CIniFile() = default;

  // Loads the file named by the path, read as text (CR LF pairs become line feeds); false
  // when it cannot be opened or holds no section.
  bool LoadFile();
  // Loads a text (wide text is converted to single-byte text first). True when at
  // least one section exists afterwards.
  bool LoadText(std::wstring_view text);
  bool LoadText(std::string_view text);

  int FindSection(std::string_view section) const;
  int FindEntry(int sectionIndex, std::string_view key) const;
  // Always appends, even when a section of that name exists.
  int AddSection(std::string_view section);
  bool SetString(std::string_view section, std::string_view key, std::string_view value,
                 bool create);
  bool SetInt(std::string_view section, std::string_view key, std::int32_t value);
  std::string GetString(std::string_view section, std::string_view key,
                        std::string_view defaultValue) const;
  std::int32_t GetInt(std::int32_t defaultValue, std::string_view section,
                      std::string_view key) const;
  std::string GetStringAt(int sectionIndex, std::string_view key,
                          std::string_view defaultValue) const;
  std::int32_t GetIntAt(int sectionIndex, std::string_view key, std::int32_t defaultValue) const;
  bool AddComment(int sectionIndex, std::string_view comment);
  void Clear();

  const std::wstring& path() const { return path_; }
  void set_path(std::wstring path) { path_ = std::move(path); }
  int SectionCount() const { return static_cast<int>(sections_.size()); }
  const std::string& SectionName(int index) const { return sectionNames_.at(index); }
  const Section& SectionAt(int index) const { return sections_.at(index); }
  const std::vector<std::string>& HeaderComments() const { return headerComments_; }

 private:
  bool LoadLine(std::string_view line, std::string& currentSection);

  std::uint8_t allowDuplicateKeys_ = 0;
  std::uint8_t caseInsensitive_ = 1;
  std::wstring path_;
  std::vector<Section> sections_;
  std::vector<std::string> sectionNames_;
  std::vector<std::string> headerComments_;
};

// The user-level INI document; adds nothing to CIniFile.
class CUserIni : public CIniFile {
 public:
  using CIniFile::CIniFile;
};

}  // namespace vantor
