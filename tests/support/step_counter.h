#pragma once

#include "document/song_document.h"

namespace pokopen::testing {

// Counts the steps the document records (edits, not undo or redo), as a window's test checks
// that an action made exactly one step or none.
class StepCounter {
public:
    explicit StepCounter(SongDocument& doc)
        : subscription_(doc.subscribe([this](const SongChange& c) {
              if (c.cause == SongChange::Cause::Edit)
                  ++count_;
          })) {}
    int count() const { return count_; }

private:
    int count_ = 0;
    Subscription subscription_;
};

} // namespace pokopen::testing
