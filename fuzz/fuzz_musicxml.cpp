#include "model/song_file.h"
#include "model/store_check.h"
#include "notation/musicxml_import.h"
#include "notation/musicxml_writer.h"

#include <cstdlib>
#include <string_view>

// Any document must be refused or give a sound song whose own export imports again.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    pokopen::Song song;
    const std::string_view document(reinterpret_cast<const char*>(data), size);
    if (!pokopen::importMusicXml(document, song).ok)
        return 0;
    if (!pokopen::checkStore(song).empty())
        std::abort();
    pokopen::Song again;
    if (!pokopen::importMusicXml(pokopen::buildMusicXml(song), again).ok ||
        !pokopen::checkStore(again).empty())
        std::abort();
    return 0;
}
