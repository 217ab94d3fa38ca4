#include "navigation/navigation.h"

#include "model/song_end.h"
#include "model/timeline.h"

#include <algorithm>

namespace pokopen {

std::optional<std::int32_t> searchSignature(const EventStore& store, SearchKind kind, std::int32_t from) {
    // One walk of the signature row: the first event of the kind at or after `from`.
    const std::uint8_t wanted = kind == SearchKind::Key ? KIND_KEY : KIND_METER;
    const EventRow& sig = store[SIGNATURE_ROW];
    for (std::int32_t i = 0; i < sig.count(); ++i) {
        const Event e = sig.at(i);
        if (e.kind == wanted && e.pos >= from && e.pos >= 0 && e.pos < MAX_MEASURES)
            return e.pos;
    }
    return std::nullopt;
}

std::optional<std::int32_t> findFromDialog(const Song& song, std::int32_t currentMeasure, SearchKind kind,
                                           SearchStart start) {
    return searchSignature(song.store, kind, start == SearchStart::CurrentMeasure ? currentMeasure : 0);
}

std::optional<std::int32_t> findNext(const Song& song, std::int32_t currentMeasure, SearchKind kind) {
    return searchSignature(song.store, kind, currentMeasure + 1);
}

JumpTarget songEndTarget(const Song& song, LastJump& last) {
    const SongEnd end = findSongEnd(song);
    if (end.found)
        last = {end.row, end.kind};
    // A note that runs to the very end of the song has its note-off at the start of measure
    // 1000, which is not a measure one can show: the last measure holds the end instead.
    const std::int32_t measure = std::min(end.measure, MAX_MEASURES - 1);
    if (last.row == TEMPO_ROW)
        return {measure, std::nullopt, MainTab::Tempo};
    if (last.row == SIGNATURE_ROW)
        return {measure, std::nullopt, MainTab::Signature};
    const MainTab tab = last.kind == KIND_DYNAMICS ? MainTab::Dynamics
                        : last.kind == KIND_PAN    ? MainTab::Pan
                                                   : MainTab::Score;
    return {measure, last.row, tab};
}

} // namespace pokopen
