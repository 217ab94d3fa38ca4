#include "model/instruments.h"

#include <cstdio>

namespace pokopen {

std::string instrumentListEntry(int program) {
    char number[16];
    std::snprintf(number, sizeof number, "%03d.", program + 1);
    return number + std::string(INSTRUMENT_NAMES[static_cast<std::size_t>(program)]);
}

} // namespace pokopen
