#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace pokopen {

// The command-line tool: info, convert, export-midi. Returns the exit status
// (0 success, 1 failure, 2 wrong usage).
int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace pokopen
