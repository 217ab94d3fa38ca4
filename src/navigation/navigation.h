#pragma once

#include "document/song_document.h"

#include "model/song.h"

#include <cstdint>
#include <optional>

// Moving the view without scrolling: the search for the next key or meter change, and the jump
// to the song's latest event. Neither changes the song.
namespace pokopen {

// rgrKind of the search dialog.
enum class SearchKind { Key = 0, Meter = 1 };
// rgrMode of the search dialog.
enum class SearchStart { CurrentMeasure = 0, FirstMeasure = 1 };

// The tabs of the main window that navigation brings into view.
// The tabs are the pages edits are made on.
using MainTab = EditPage;

// First measure n in from..999 where a change of `kind` begins; nothing when there is none.
std::optional<std::int32_t> searchSignature(const EventStore& store, SearchKind kind, std::int32_t from);

// The search after OK in the dialog: from the current measure or the first, as chosen.
std::optional<std::int32_t> findFromDialog(const Song& song, std::int32_t currentMeasure, SearchKind kind,
                                           SearchStart start);
// "次を検索": searches from the measure after the current one.
std::optional<std::int32_t> findNext(const Song& song, std::int32_t currentMeasure, SearchKind kind);

struct JumpTarget {
    std::int32_t measure;    // 0-based measure to show, 0..999
    std::optional<int> part; // part to select when the latest event lies in a part row
    MainTab tab;             // tab that shows the latest event
};

// The row and kind of the event the previous jump to the song's end went to.
struct LastJump {
    int row = 0;
    std::uint8_t kind = 0;
};

// Where "曲の最終地点にジャンプ" goes: the measure of the latest event, with the part and tab
// that show it. `last` remembers that event's row and kind; a song with no event after tick 0
// reuses the row and kind of the previous jump.
JumpTarget songEndTarget(const Song& song, LastJump& last);

} // namespace pokopen
