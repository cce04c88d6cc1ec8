// The files the read-to-file operations write: the path is made absolute against the
// current directory (when it holds no drive colon) and missing directories are created.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace vantor {

// The absolute path; empty for an empty path.
std::filesystem::path ResolveOutputPath(const std::wstring& path);
// Creates the directories along the path. False when one cannot be created.
bool CreateDirectoriesFor(const std::filesystem::path& file);
// Creates or truncates the file and writes the bytes; an empty path or buffer writes
// nothing. False when nothing or not everything was written.
bool WriteBinaryFile(const std::wstring& path, std::span<const std::uint8_t> data);
// The bytes as text: two upper-case hex digits and a blank per byte, 16 bytes a line,
// lines separated by CR LF, nothing after the last blank.
std::string HexText(std::span<const std::uint8_t> data);
bool WriteHexTextFile(const std::wstring& path, std::span<const std::uint8_t> data);

}  // namespace vantor
