#pragma once

#include "model/song.h"

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace pokopen {

// A command implemented outside the model library: it gets the arguments after its name and
// returns the exit status, or -1 for wrong usage (the usage text is then printed).
using CliCommand =
    std::function<int(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)>;

// The command-line tool: info, convert, export-midi, export-musicxml, and render when `render` is given (it
// needs the synthesizer, which the model library does not link). Returns the exit status (0 success, 1
// failure, 2 wrong usage).
int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           const CliCommand& render = {});

} // namespace pokopen
