// Files and folders the system uses: the program's directory (where settings files,
// definitions, result files and logs live), the temporary directory, file attributes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vantor::platform {

// The directory of the running executable. Paths are formed by appending file names.
std::filesystem::path ProgramDirectory();
// Replaces the program directory (tests; an empty path restores the real one).
void SetProgramDirectory(const std::filesystem::path& dir);

std::filesystem::path TempDirectory();

// Whether the file is marked read-only (on POSIX: its owner may not write it).
bool IsReadOnly(const std::filesystem::path& file);
// Clears the read-only mark of an existing file and leaves its other attributes alone.
// True when the file exists and is writable afterwards.
bool ClearReadOnly(const std::filesystem::path& file);
// Sets the read-only mark (tests and tools).
bool SetReadOnly(const std::filesystem::path& file);

// Clears the read-only mark of `name` in the program directory when that file exists.
void ClearReadOnlyBesideProgram(const char* name);

// What the tool reads whole into memory is bounded: settings, IC type definitions and
// device ID lists are small texts; firmware images fit the largest memory the tool
// programs, with room to spare.
inline constexpr std::size_t kMaxTextFileBytes = std::size_t{1} << 20;
inline constexpr std::size_t kMaxImageFileBytes = std::size_t{16} << 20;

enum class FileReadResult { kOk, kMissing, kNotRegular, kTooBig, kUnreadable };

// Reads the whole file (following links) into `out`, which holds nothing on failure. Only
// a regular file of at most maxBytes is read: a directory, a device (/dev/zero never
// ends) or a FIFO (nobody may ever write it) is refused before a byte is read, and
// nothing here blocks.
FileReadResult ReadRegularFile(const std::filesystem::path& path, std::size_t maxBytes,
                               std::string& out);
FileReadResult ReadRegularFile(const std::filesystem::path& path, std::size_t maxBytes,
                               std::vector<std::uint8_t>& out);
// "missing", "not a regular file", "too big", "unreadable" (empty for kOk).
const char* FileReadResultText(FileReadResult result);

}  // namespace vantor::platform
