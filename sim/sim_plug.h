// Plugging and unplugging simulated devices while the tool runs, and the arrivals and
// removals the tool hears.
//
// A directory's plug file, <dir>/unplugged.txt, names the devices that are unplugged, one
// name a line (`vantorfw-sim plug DIR N` and `unplug DIR N` edit it). A program that
// loads the directory starts with those devices off the bus, and while the tool listens
// for device changes it rereads the file every 50 ms and plugs and unplugs to match.
//
// The device-change source polls the bus's audio and video interfaces at the same pace
// and reports what went away and what appeared (a reset's re-enumeration too, as a
// removal and an arrival), as the platform's notifications would.
#pragma once

#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/device_notifications.h"
#include "sim/sim_bus.h"

namespace vantor::sim {

inline constexpr char kUnpluggedFileName[] = "unplugged.txt";
// How often (real time) the plug file and the bus are looked at.
inline constexpr std::uint32_t kDeviceWatchIntervalMs = 50;

// The names in the plug file (none when it is missing).
std::set<std::string> ReadUnplugged(const std::filesystem::path& dir);
// Makes the bus follow the names: those devices unplugged, every other one plugged in.
void ApplyUnplugged(SimBus& bus, const std::set<std::string>& names);

// `vantorfw-sim plug` / `unplug`: `device` is a device's name, or its 1-based position in
// devices.ini. False with a one-line reason when the directory or the device is unknown.
bool SetPluggedInDirectory(const std::filesystem::path& dir, const std::string& device,
                           bool plugged, std::string& name, std::string& error);

// The device-change source of a bus; with `dir` not empty it also follows the plug file.
platform::DeviceChangeSource MakeSimDeviceChangeSource(std::weak_ptr<SimBus> bus,
                                                       std::filesystem::path dir);

}  // namespace vantor::sim
