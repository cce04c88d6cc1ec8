// vantorfw-sim, the simulator's command line: init, show, dump, load.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace vantor::sim {

// Runs one command (`args` without the program name); prints to `out`, errors as one
// line to `err`. Returns the exit code: 0 success, 1 failure, 2 a usage error.
int RunSimTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace vantor::sim
