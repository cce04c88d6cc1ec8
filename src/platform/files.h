// Files and folders the system uses: the program's directory (where settings files,
// definitions, result files and logs live), the temporary directory, file attributes.
#pragma once

#include <filesystem>

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

}  // namespace vantor::platform
