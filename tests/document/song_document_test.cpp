// The document's transactions, history, saved point and file commands, against a plain record of
// every state the song went through.
#include "document/song_document.h"

#include "curves/curve_edit.h"
#include "editor/measure_ops.h"
#include "model/new_song.h"
#include "model/song_file.h"
#include "model/store_check.h"
#include "model/timeline.h"
#include "parts/part_settings.h"
#include "score/note_entry.h"
#include "signature/signature_edit.h"
#include "support/song_builders.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <utility>
#include <vector>

namespace pokopen {
namespace {

int pick(std::mt19937& rng, int from, int to) {
    return std::uniform_int_distribution<>(from, to)(rng);
}

// One user action of a random kind, as the windows make them: through a named step.
void randomEdit(std::mt19937& rng, SongDocument& doc, MeasureClipboard& clip) {
    const int part = pick(rng, 0, PART_ROWS - 1);
    const std::int32_t measure = pick(rng, 0, 11);
    const std::int32_t start = measureToTick(doc.song().store, measure);
    const EditPlace place{part, measure, EditPage::Score};
    switch (pick(rng, 0, 11)) {
    case 0:
    case 1: {
        EntryTarget note;
        note.start = start + 3 * pick(rng, 0, 31);
        note.end = note.start + 3 * pick(rng, 1, 40);
        note.value =
            static_cast<std::uint8_t>(part == PERCUSSION_PART ? pick(rng, 0, 46) : pick(rng, 10, 40));
        note.extra = static_cast<std::int8_t>(pick(rng, -1, 1));
        if (!noteOverlaps(doc.song().row(part), note.start, note.end, note.value))
            doc.change(NOTE_ENTRY_STEP, place, [&](Song& s) { insertNote(s.row(part), note); });
        break;
    }
    case 2: { // the first note of the part goes
        const EventRow& row = doc.song().row(part);
        for (std::int32_t i = 0; i < row.count(); ++i) {
            if (row.at(i).kind != KIND_NOTE_ON)
                continue;
            const std::uint8_t value = row.at(i).value;
            std::int32_t off = i + 1;
            while (off < row.count() && !(row.at(off).kind == KIND_NOTE_OFF && row.at(off).value == value))
                ++off;
            doc.change(NOTE_DELETION_STEP, place, [&](Song& s) {
                s.row(part).removeAt(off);
                s.row(part).removeAt(i);
            });
            break;
        }
        break;
    }
    case 3: { // a curve stroke: several points, one step
        const int kind = pick(rng, 0, 2);
        doc.beginStep("強弱の入力", {part, measure, EditPage::Dynamics});
        for (int k = pick(rng, 1, 4); k > 0; --k) {
            const std::int32_t tick = start + 3 * pick(rng, 0, 31);
            const auto value = static_cast<std::uint8_t>(pick(rng, 0, 127));
            const CurveMode mode = pick(rng, 0, 3) == 0 ? CurveMode::Delete : CurveMode::Input;
            doc.changeInStep([&](Song& s) {
                if (kind == 0)
                    editDynamicsPoint(s, part, tick, value, mode);
                else if (kind == 1)
                    editPanPoint(s, part, tick, value, mode);
                else
                    editTempoPoint(s, tick, static_cast<std::uint8_t>(std::max<int>(value, 30)), mode);
            });
        }
        doc.endStep();
        break;
    }
    case 4:
        doc.change("調の変更", place,
                   [&](Song& s) { changeKey(s, measure, static_cast<std::uint8_t>(pick(rng, 0, 29))); });
        break;
    case 5: {
        const std::uint8_t meter = METER_CHOICES[static_cast<std::size_t>(pick(rng, 0, 17))];
        doc.change("拍子の変更", place, [&](Song& s) { changeMeter(s, measure, meter); });
        break;
    }
    case 6:
        doc.change("調の削除", place, [&](Song& s) {
            deleteKey(s, measure);
            deleteMeter(s, measure);
        });
        break;
    case 7: {
        const int value = pick(rng, 0, 127);
        doc.change("楽器の変更", place, [&](Song& s) {
            setPartInstrument(s, part, value);
            setPartVolume(s, part, 127 - value);
            setPartTransposition(s, part, value % 7);
        });
        break;
    }
    case 8: {
        BulkPartSettings bulk;
        bulk.parts[static_cast<std::size_t>(part)] = true;
        bulk.applyVolume = true;
        bulk.volume = pick(rng, 0, 127);
        doc.change("パートの一括設定", place, [&](Song& s) { applyBulkPartSettings(s, bulk); });
        break;
    }
    case 9: {
        const std::int32_t to = measure + pick(rng, 0, 3);
        copyMeasures(doc.song(), clip, part, measure, to);
        clip.clipPart = part;
        clip.clipMeasures = to - measure;
        doc.change("小節の切り抜き", place, [&](Song& s) { clearMeasures(s, part, measure, to); });
        break;
    }
    case 10:
        if (clip.filled() && (clip.clipPart == PERCUSSION_PART) == (part == PERCUSSION_PART))
            doc.change("小節の貼り付け", place,
                       [&](Song& s) { pasteMeasures(s, clip, clip.clipPart, part, measure); });
        else
            doc.change("１オクターブ上げる", place,
                       [&](Song& s) { shiftOctave(s, part, measure, measure + 2, -7); });
        break;
    default:
        doc.change("曲の設定", place, [&](Song& s) { s.songTitle = "t" + std::to_string(pick(rng, 0, 3)); });
        break;
    }
}

Song startingSong(std::mt19937& rng) {
    Song song = makeNewSong();
    for (int n = 0; n < 60; ++n) {
        const int part = pick(rng, 0, PART_ROWS - 1);
        const auto value =
            static_cast<std::uint8_t>(part == PERCUSSION_PART ? pick(rng, 0, 46) : pick(rng, 10, 40));
        const std::int32_t start = 3 * pick(rng, 0, 300);
        if (!noteOverlaps(song.row(part), start, start + 12, value))
            testing::addNote(song, part, start, 12, value);
    }
    testing::setSignature(song, KIND_METER, 3, 0x32);
    return song;
}

// Random edits, undos, redos and saves on 12 songs, each compared after every action with the
// state a plain list of song texts says it must have.
TEST(SongDocumentHistory, RandomEditsUndoAndRedoFollowThePlainRecord) {
    std::mt19937 rng(20261208);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (int round = 0; round < 12; ++round) {
        SongDocument doc;
        writableSong(doc) = startingSong(rng);
        ASSERT_EQ(checkStore(doc.song()), "");
        std::vector<std::string> states{serializeKn2(doc.song())}; // states[k]: after k steps
        std::size_t at = 0;
        std::optional<std::size_t> saved = 0; // the new document counts as saved
        MeasureClipboard clip;
        int edits = 0;
        for (int action = 0; edits < 100; ++action) {
            const int what = pick(rng, 0, 9);
            if (what < 6) {
                ++edits;
                const bool couldRedo = doc.canRedo();
                randomEdit(rng, doc, clip);
                ASSERT_EQ(checkStore(doc.song()), "") << "round " << round << " action " << action;
                std::string now = serializeKn2(doc.song());
                if (now == states[at]) {
                    // Nothing changed: no step, and what could be redone still can be.
                    EXPECT_EQ(doc.canRedo(), couldRedo);
                    EXPECT_EQ(doc.stepCount(), states.size() - 1);
                    continue;
                }
                states.resize(at + 1); // a new step drops what was undone
                if (saved && *saved > at)
                    saved.reset();
                states.push_back(std::move(now));
                ++at;
                EXPECT_FALSE(doc.canRedo());
            } else if (what < 8) {
                ASSERT_EQ(doc.undo().has_value(), at > 0);
                at -= at > 0 ? 1 : 0;
            } else if (what < 9) {
                ASSERT_EQ(doc.redo().has_value(), at + 1 < states.size());
                at += at + 1 < states.size() ? 1 : 0;
            } else {
                ASSERT_TRUE(doc.saveAs(dir.filePath("song.kn2").toStdString()).ok());
                saved = at;
            }
            ASSERT_EQ(serializeKn2(doc.song()), states[at]) << "round " << round << " action " << action;
            ASSERT_EQ(doc.isModified(), saved != at) << "round " << round << " action " << action;
            ASSERT_EQ(doc.stepCount(), states.size() - 1);
        }
        // Every step back gives the starting song byte for byte, every step forward the last one.
        while (doc.undo()) {
        }
        EXPECT_EQ(serializeKn2(doc.song()), states.front());
        while (doc.redo()) {
        }
        EXPECT_EQ(serializeKn2(doc.song()), states.back());
    }
}

TEST(SongDocumentHistory, StepsAreNamedAndChangesThatChangeNothingAreNotSteps) {
    SongDocument doc;
    EXPECT_FALSE(doc.change("曲の設定", {}, [](Song&) {}));
    EXPECT_FALSE(doc.change("曲の設定", {}, [](Song& s) { s.row(0).assign(s.row(0).events()); }));
    EXPECT_FALSE(doc.canUndo());
    EXPECT_FALSE(doc.isModified());

    std::vector<SongChange> seen;
    const Subscription subscription = doc.subscribe([&](const SongChange& c) { seen.push_back(c); });
    const EditPlace place{3, 7, EditPage::Dynamics};
    doc.beginStep("強弱の入力", place);
    doc.changeInStep([](Song& s) { editDynamicsPoint(s, 3, 96 * 7, 40, CurveMode::Input); });
    doc.changeInStep([](Song& s) { editDynamicsPoint(s, 3, 96 * 7 + 24, 60, CurveMode::Input); });
    EXPECT_TRUE(doc.endStep());
    ASSERT_EQ(seen.size(), 1U);
    EXPECT_EQ(seen[0].rows, 1U << 3);
    EXPECT_FALSE(seen[0].settings);
    EXPECT_EQ(doc.undoName(), "強弱の入力");
    EXPECT_TRUE(doc.isModified());
    EXPECT_EQ(doc.undo(), place);
    EXPECT_FALSE(doc.isModified()) << "back at the saved point";
    EXPECT_EQ(doc.redoName(), "強弱の入力");
    EXPECT_EQ(seen.back().cause, SongChange::Cause::Undo);
}

TEST(SongDocumentHistory, OldestStepsGoWhenTheHistoryHoldsTooMuch) {
    SongDocument doc;
    doc.setHistoryLimit(2000);
    for (int n = 0; n < 50; ++n)
        doc.change(NOTE_ENTRY_STEP, {}, [n](Song& s) { insertNote(s.row(0), {n * 24, n * 24 + 12, 23, 0}); });
    EXPECT_LE(doc.historyBytes(), 2000U);
    EXPECT_GT(doc.stepCount(), 1U);
    EXPECT_LT(doc.stepCount(), 50U);
    while (doc.undo()) {
    }
    // The new song can no longer be reached, so the song differs from it.
    EXPECT_GT(doc.song().row(0).count(), 0);
    EXPECT_TRUE(doc.isModified());
}

TEST(SongDocumentFiles, OpenSaveAndFailuresKeepTheHistoryAndIdentityRight) {
    QTemporaryDir dir;
    const std::string good = dir.filePath("good.kn2").toStdString();
    Song saved = makeNewSong();
    testing::addNote(saved, 0, 0, 24, 23);
    ASSERT_TRUE(saveSongFile(good, saved).ok());

    SongDocument doc;
    ASSERT_TRUE(doc.open(good).ok());
    EXPECT_EQ(doc.fileTitle(), "good");
    EXPECT_FALSE(doc.untitled());
    EXPECT_FALSE(doc.isModified());
    doc.change(NOTE_DELETION_STEP, {}, [](Song& s) { s.row(0).clear(); });

    // A failed open changes nothing at all.
    EXPECT_FALSE(doc.open(dir.filePath("missing.kn2").toStdString()).ok());
    EXPECT_EQ(doc.filePath(), good);
    EXPECT_TRUE(doc.canUndo());
    EXPECT_TRUE(doc.isModified());

    // A failed save keeps the file, the history and the modified state.
    EXPECT_FALSE(doc.saveAs(dir.filePath("no/such/folder/x.kn2").toStdString()).ok());
    EXPECT_EQ(doc.filePath(), good);
    EXPECT_EQ(doc.fileTitle(), "good");
    EXPECT_TRUE(doc.isModified());

    // A save keeps undo and redo and moves the saved point.
    ASSERT_TRUE(doc.save().ok());
    EXPECT_FALSE(doc.isModified());
    ASSERT_TRUE(doc.undo());
    EXPECT_TRUE(doc.isModified());
    ASSERT_TRUE(doc.redo());
    EXPECT_FALSE(doc.isModified());

    // A converted song differs from its file at once; the .knb is never written over.
    LoadedSong knb;
    const auto convertLoader = [&](const std::string&, Song& out) {
        out = saved;
        knb.differsFromFile = true;
        return knb;
    };
    ASSERT_TRUE(doc.open(dir.filePath("old.knb").toStdString(), convertLoader).ok());
    EXPECT_TRUE(doc.isModified());
    EXPECT_FALSE(doc.canUndo());
    ASSERT_TRUE(doc.save().ok());
    EXPECT_EQ(doc.filePath(), dir.filePath("old.kn2").toStdString());

    doc.newSong();
    EXPECT_TRUE(doc.untitled());
    EXPECT_EQ(doc.fileTitle(), "Notitle");
    EXPECT_FALSE(doc.isModified());
    EXPECT_FALSE(doc.save().ok()) << "a new song has no file to save to";
}

// Save writes the file that was opened, whatever the letter case of its name (only a .knb song
// goes to the .kn2 beside it), and notices when another program changed that file meanwhile.
TEST(SongDocumentFiles, SaveGoesToTheOpenedFileAndNoticesAnotherProgramsChange) {
    QTemporaryDir dir;
    Song saved = makeNewSong();
    testing::addNote(saved, 0, 0, 24, 23);
    const auto edit = [](SongDocument& d) {
        d.change(NOTE_DELETION_STEP, {}, [](Song& s) { testing::addNote(s, 1, 0, 24, 30); });
    };
    for (const auto& [opened, written] : std::vector<std::pair<std::string, std::string>>{
             {"A.KN2", "A.KN2"}, {"B.Kn2", "B.Kn2"}, {"C.KNB", "C.kn2"}, {"d.knb", "d.kn2"}}) {
        const std::string path = dir.filePath(QString::fromStdString(opened)).toStdString();
        ASSERT_TRUE(saveSongFile(path, saved).ok());
        SongDocument doc;
        ASSERT_TRUE(doc.open(path,
                             [&](const std::string&, Song& out) {
                                 out = saved;
                                 return LoadedSong{};
                             })
                        .ok());
        edit(doc);
        EXPECT_EQ(doc.savePath(), dir.filePath(QString::fromStdString(written)).toStdString());
        ASSERT_TRUE(doc.save().ok());
        EXPECT_EQ(doc.filePath(), doc.savePath()) << opened;
        Song read;
        ASSERT_TRUE(loadSongFile(doc.savePath(), read).ok());
        EXPECT_EQ(read, doc.song()) << opened;
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 6) << "no A.kn2 beside A.KN2";

    const std::string path = dir.filePath("shared.kn2").toStdString();
    ASSERT_TRUE(saveSongFile(path, saved).ok());
    SongDocument doc;
    ASSERT_TRUE(doc.open(path).ok());
    EXPECT_FALSE(doc.fileChangedElsewhere());
    const auto later = [&] {
        std::filesystem::last_write_time(path,
                                         std::filesystem::last_write_time(path) + std::chrono::seconds(2));
    };
    later(); // touched, the same bytes: not a change
    EXPECT_FALSE(doc.fileChangedElsewhere());
    std::string bytes;
    ASSERT_TRUE(readWholeFile(path, bytes));
    bytes[0] = bytes[0] == 'x' ? 'y' : 'x'; // other bytes of the same length
    ASSERT_TRUE(writeFileAtomically(path, bytes));
    later();
    EXPECT_TRUE(doc.fileChangedElsewhere());
    edit(doc);
    ASSERT_TRUE(doc.save().ok());
    EXPECT_FALSE(doc.fileChangedElsewhere()) << "the file as this program wrote it";
    std::filesystem::remove(path);
    EXPECT_FALSE(doc.fileChangedElsewhere()) << "a file that is gone holds nothing to lose";
}

TEST(SongDocumentFiles, TheUnsavedChangesQuestionGoesOnOnlyWhenNothingIsLost) {
    SongDocument doc;
    int asked = 0;
    auto answer = [&](SaveAnswer a) {
        return [&asked, a] {
            ++asked;
            return a;
        };
    };
    EXPECT_EQ(doc.confirmDiscard(answer(SaveAnswer::Cancel), [] { return false; }),
              DiscardOutcome::Unmodified);
    EXPECT_EQ(asked, 0);
    doc.change("曲の設定", {}, [](Song& s) { s.songTitle = "x"; });
    EXPECT_EQ(doc.confirmDiscard(answer(SaveAnswer::Yes), [] { return false; }), DiscardOutcome::Stopped);
    EXPECT_EQ(doc.confirmDiscard(answer(SaveAnswer::Yes), [] { return true; }), DiscardOutcome::Saved);
    EXPECT_EQ(doc.confirmDiscard(answer(SaveAnswer::No), [] { return false; }), DiscardOutcome::Discarded);
    EXPECT_EQ(doc.confirmDiscard(answer(SaveAnswer::Cancel), [] { return true; }), DiscardOutcome::Stopped);
    EXPECT_EQ(asked, 4);
}

// A snapshot is a copy of a few pointers that later edits never reach.
TEST(SongDocumentSnapshot, EditsCopyOnlyTheRowsTheyChangeAndNeverTouchASnapshot) {
    SongDocument doc;
    std::mt19937 rng(5);
    writableSong(doc) = startingSong(rng);
    const Song snapshot = doc.snapshot();
    const std::string before = serializeKn2(snapshot);
    doc.change(NOTE_ENTRY_STEP, {}, [](Song& s) { insertNote(s.row(4), {960, 972, 11, 0}); });
    EXPECT_EQ(serializeKn2(snapshot), before);
    for (int r = 0; r < ROW_COUNT; ++r)
        EXPECT_EQ(snapshot.store.sharesRow(doc.song().store, r), r != 4) << r;

    // A snapshot taken in the middle of a stroke (an autosave) and let go again, perhaps by the
    // writer's thread: the next write of the stroke still goes to a fresh copy of the row.
    doc.beginStep("テンポの入力", {});
    doc.changeInStep([](Song& s) { editTempoPoint(s, 96, 90, CurveMode::Input); });
    const EventRow* handedOut = &std::as_const(doc.song().store)[TEMPO_ROW];
    { const Song gone = doc.snapshot(); }
    doc.changeInStep([](Song& s) { editTempoPoint(s, 120, 80, CurveMode::Input); });
    EXPECT_NE(&std::as_const(doc.song().store)[TEMPO_ROW], handedOut);
    EXPECT_TRUE(doc.endStep());
}

} // namespace
} // namespace pokopen

namespace pokopen {
namespace {

int misuses = 0;
void countMisuse(const char*) {
    ++misuses;
}

// Misuses counted instead of stopping the test program.
struct CountedMisuses {
    SongDocument::MisuseHandler previous = SongDocument::setMisuseHandler(countMisuse);
    CountedMisuses() { misuses = 0; }
    ~CountedMisuses() { SongDocument::setMisuseHandler(previous); }
};

void addQuarter(Song& s, std::int32_t at) {
    insertNote(s.row(0), {at, at + 24, 23, 0});
}

TEST(SongDocumentSteps, EveryMisuseIsRefusedAndLeavesSongAndHistoryAgreeing) {
    struct Case {
        const char* name;
        std::function<void(SongDocument&)> misuse;
    };
    const Case cases[] = {
        {"a change in a step with no step open",
         [](SongDocument& d) { d.changeInStep([](Song& s) { addQuarter(s, 48); }); }},
        {"a step inside an open step",
         [](SongDocument& d) {
             d.beginStep("強弱の入力", {});
             d.beginStep("音符の入力", {});
             d.endStep();
         }},
        {"a change while a stroke's step is open",
         [](SongDocument& d) {
             d.beginStep("強弱の入力", {});
             d.change("音符の入力", {}, [](Song& s) { addQuarter(s, 48); });
             d.endStep();
         }},
        {"a change asked for inside a change",
         [](SongDocument& d) {
             d.change("音符の入力", {},
                      [&d](Song&) { d.change("音符の入力", {}, [](Song& s) { addQuarter(s, 48); }); });
         }},
        {"a change asked for by a subscriber",
         [](SongDocument& d) {
             bool once = false;
             const Subscription sub = d.subscribe([&](const SongChange&) {
                 if (!std::exchange(once, true))
                     d.change("音符の入力", {}, [](Song& s) { addQuarter(s, 96); });
             });
             d.change("音符の入力", {}, [](Song& s) { addQuarter(s, 48); });
         }},
        {"an undo asked for by a subscriber",
         [](SongDocument& d) {
             const Subscription sub = d.subscribe([&](const SongChange& c) {
                 if (c.cause == SongChange::Cause::Redo)
                     d.undo();
             });
             d.undo();
             d.redo();
         }},
    };
    for (const Case& c : cases) {
        const CountedMisuses counted;
        SongDocument doc;
        doc.change("音符の入力", {}, [](Song& s) { addQuarter(s, 0); });
        const std::string before = serializeKn2(doc.song());
        c.misuse(doc);
        EXPECT_GE(misuses, 1) << c.name;
        EXPECT_FALSE(doc.inStep()) << c.name;
        // Whatever the misuse let through was recorded: undoing everything gives the new song
        // back, unmodified, and redoing gives the song as it is now.
        const std::string after = serializeKn2(doc.song());
        while (doc.undo()) {
        }
        EXPECT_EQ(serializeKn2(doc.song()), serializeKn2(makeNewSong())) << c.name;
        EXPECT_FALSE(doc.isModified()) << c.name;
        while (doc.redo()) {
        }
        EXPECT_EQ(serializeKn2(doc.song()), after) << c.name;
        if (std::string_view(c.name).starts_with("a change in a step")) {
            EXPECT_EQ(after, before) << "the stray change was not made";
        }
    }
}

TEST(SongDocumentStepsDeathTest, AMisuseStopsADebugBuild) {
    SongDocument doc;
    EXPECT_DEBUG_DEATH(doc.changeInStep([](Song& s) { addQuarter(s, 0); }), "");
}

TEST(SongDocumentSubscribers, AreToldOfWhatChangedUntilTheirSubscriptionGoes) {
    auto doc = std::make_unique<SongDocument>();
    std::vector<SongChange> seen;
    Subscription sub = doc->subscribe([&](const SongChange& c) { seen.push_back(c); });
    doc->setCurrentMeasure(5);
    doc->setCurrentMeasure(5); // no change, no word
    doc->setCurrentPart(99);   // kept in range
    ASSERT_EQ(seen.size(), 2U);
    EXPECT_EQ(seen[0].cause, SongChange::Cause::Editing);
    EXPECT_TRUE(seen[0].touches(EditingField::Measure));
    EXPECT_FALSE(seen[0].touches(EditingField::Part));
    EXPECT_FALSE(seen[0].songChanged());
    EXPECT_EQ(doc->editing().currentPart, PART_ROWS - 1);
    EXPECT_FALSE(doc->isModified()) << "where the user works is not part of the song";

    doc->newSong(); // a new song is seen from its start
    EXPECT_EQ(seen.back().cause, SongChange::Cause::Reset);
    EXPECT_EQ(doc->editing().currentMeasure, 0);

    // A subscriber that leaves while being told does not disturb the others.
    int others = 0;
    Subscription leaving;
    leaving = doc->subscribe([&](const SongChange&) { leaving.reset(); });
    const Subscription other = doc->subscribe([&](const SongChange&) { ++others; });
    doc->setCaret(24);
    doc->setCaret(48);
    EXPECT_EQ(others, 2);

    sub.reset();
    const std::size_t told = seen.size();
    doc->setCaret(0);
    EXPECT_EQ(seen.size(), told);
    // A subscription may outlive its document.
    Subscription late = doc->subscribe([](const SongChange&) {});
    doc.reset();
    late.reset();
}

} // namespace
} // namespace pokopen
