// A simulated-device directory (VANTOR_SIM=<dir>): devices.ini describes the devices,
// <device>.spi.bin / .eeprom.bin / .otp.bin hold their memories (mapped, so every
// completed write is in the file at once), state.ini keeps what each device runs between
// runs, and stats.ini the last run's counters.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "sim/sim_bus.h"

namespace vantor::sim {

// Builds a bus from the directory. Null with a one-line reason for a missing directory,
// a missing or broken devices.ini, or a memory file of the wrong size. Missing memory
// files are created blank. The bus keeps state.ini up to date from then on.
std::shared_ptr<SimBus> LoadSimDirectory(const std::filesystem::path& dir, std::string& error);

// Creates the directory (when missing) with one device per profile (flash-old when none
// is given): devices.ini and blank memory files. Fails when devices.ini exists already.
bool InitSimDirectory(const std::filesystem::path& dir, const std::vector<std::string>& profiles,
                      std::string& error);

bool SaveSimState(const std::filesystem::path& dir, SimBus& bus, std::string& error);
bool SaveSimStats(const std::filesystem::path& dir, SimBus& bus, std::string& error);

// Small file helpers of the directory: the whole file as text (false when it cannot be
// read); a text written to a temporary file first and then renamed over the file.
bool ReadText(const std::filesystem::path& file, std::string& text);
bool WriteFileAtomically(const std::filesystem::path& file, const std::string& text,
                         std::string& error);

// The memory file of a device ("" for a device without memory).
std::filesystem::path MemoryFilePath(const std::filesystem::path& dir, const DeviceConfig& config);

}  // namespace vantor::sim
