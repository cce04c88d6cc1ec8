// vantorfw-sim: creates, shows and fills simulated-device directories, and serves a
// simulated device to the kernel over USB/IP.
#include <iostream>
#include <string>
#include <vector>

#include "sim/sim_tool.h"
#include "sim/usbip_server.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && args[0] == "usbip") return vantor::sim::RunUsbip(args, std::cout, std::cerr);
  return vantor::sim::RunSimTool(args, std::cout, std::cerr);
}
