#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace pokopen {

// pokopen-cli render [--soundfont SF2] [--rate HZ] [--no-normalize] [--mute PARTS] [--solo PARTS]
// [--tempo PERCENT] [--from M] [--to M] SONG OUT.wav; `args` follow the word "render". The output
// is normalized unless --no-normalize keeps the synthesizer's own level. PARTS are part numbers
// 1..16 separated by commas; --from and --to are measures (inclusive). Returns the exit status.
int runRenderCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace pokopen
