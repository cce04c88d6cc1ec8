// vantorfw-sim: creates, shows and fills simulated-device directories.
#include <iostream>
#include <string>
#include <vector>

#include "sim/sim_tool.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return vantor::sim::RunSimTool(args, std::cout, std::cerr);
}
