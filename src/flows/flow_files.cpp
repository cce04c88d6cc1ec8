#include "flows/flow_files.h"

#include <fstream>
#include <system_error>

#include "platform/text.h"

namespace vantor {

namespace fs = std::filesystem;

fs::path ResolveOutputPath(const std::wstring& path) {
  if (path.empty()) return {};
  fs::path result = platform::ToUtf8(path);
  if (path.find(L':') != std::wstring::npos) return result;
  std::error_code ec;
  fs::path absolute = fs::absolute(result, ec);
  return ec ? result : absolute;
}

bool CreateDirectoriesFor(const fs::path& file) {
  const fs::path dir = file.parent_path();
  if (dir.empty()) return true;
  std::error_code ec;
  if (fs::is_directory(dir, ec)) return true;
  fs::create_directories(dir, ec);
  return !ec && fs::is_directory(dir, ec);
}

namespace {

bool WriteWhole(const std::wstring& path, const char* data, std::size_t length) {
  if (path.empty() || data == nullptr || length == 0) return false;
  const fs::path file = ResolveOutputPath(path);
  CreateDirectoriesFor(file);
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(data, static_cast<std::streamsize>(length));
  out.flush();
  return static_cast<bool>(out);
}

}  // namespace

bool WriteBinaryFile(const std::wstring& path, std::span<const std::uint8_t> data) {
  return WriteWhole(path, reinterpret_cast<const char*>(data.data()), data.size());
}

std::string HexText(std::span<const std::uint8_t> data) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(data.size() * 3 + data.size() / 8);
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (i != 0 && i % 16 == 0) text += "\r\n";
    text += kDigits[data[i] >> 4];
    text += kDigits[data[i] & 0x0F];
    text += ' ';
  }
  return text;
}

bool WriteHexTextFile(const std::wstring& path, std::span<const std::uint8_t> data) {
  if (data.empty()) return false;
  const std::string text = HexText(data);
  return WriteWhole(path, text.data(), text.size());
}

}  // namespace vantor
