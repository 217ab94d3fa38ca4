#include "reader_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzzReader(data, size, pokopen::parseKnb);
}
