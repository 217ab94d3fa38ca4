#include "document/song_document.h"

#include "model/new_song.h"
#include "model/timeline.h"

#include <algorithm>
#include <cassert>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <utility>

namespace pokopen {

namespace {

bool sameEvent(const EventRow& a, std::int32_t i, const EventRow& b, std::int32_t j) {
    const auto x = static_cast<std::size_t>(i);
    const auto y = static_cast<std::size_t>(j);
    return a.pos[x] == b.pos[y] && a.kind[x] == b.kind[y] && a.value[x] == b.value[y] &&
           a.extra[x] == b.extra[y];
}

// Elements [from, to) of a row.
EventRow slice(const EventRow& row, std::int32_t from, std::int32_t to) {
    EventRow out;
    const auto f = static_cast<std::ptrdiff_t>(from);
    const auto t = static_cast<std::ptrdiff_t>(to);
    out.pos.assign(row.pos.begin() + f, row.pos.begin() + t);
    out.kind.assign(row.kind.begin() + f, row.kind.begin() + t);
    out.value.assign(row.value.begin() + f, row.value.begin() + t);
    out.extra.assign(row.extra.begin() + f, row.extra.begin() + t);
    return out;
}

// The column with `count` elements from `at` replaced by `with`, sized exactly.
template <class T>
void replaceRange(std::vector<T>& column, std::size_t at, std::size_t count, const std::vector<T>& with) {
    std::vector<T> out;
    out.reserve(column.size() - count + with.size());
    out.insert(out.end(), column.begin(), column.begin() + static_cast<std::ptrdiff_t>(at));
    out.insert(out.end(), with.begin(), with.end());
    out.insert(out.end(), column.begin() + static_cast<std::ptrdiff_t>(at + count), column.end());
    column = std::move(out);
}

void replaceEvents(EventRow& row, std::int32_t at, std::int32_t count, const EventRow& with) {
    const auto a = static_cast<std::size_t>(at);
    const auto n = static_cast<std::size_t>(count);
    replaceRange(row.pos, a, n, with.pos);
    replaceRange(row.kind, a, n, with.kind);
    replaceRange(row.value, a, n, with.value);
    replaceRange(row.extra, a, n, with.extra);
}

std::size_t rowBytes(const EventRow& row) {
    return static_cast<std::size_t>(row.count()) * (sizeof(std::int32_t) + 3);
}

SongDocument::Settings settingsOf(const Song& song) {
    return {song.songTitle, song.songCopyright, song.partInstrument, song.partVolume, song.partTransposition};
}

void putSettings(Song& song, const SongDocument::Settings& s) {
    song.songTitle = s.songTitle;
    song.songCopyright = s.songCopyright;
    song.partInstrument = s.partInstrument;
    song.partVolume = s.partVolume;
    song.partTransposition = s.partTransposition;
}

std::string stemOf(const std::string& path) {
    return std::filesystem::path(path).stem().string();
}

bool hasExtension(const std::string& path, std::string_view lowerExtension) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == lowerExtension;
}

} // namespace

LoadedSong loadSongOfItsFormat(const std::string& path, Song& out) {
    SongFormat format = SongFormat::Kn2;
    LoadedSong loaded;
    loaded.result = loadSongFile(path, out, &format);
    loaded.differsFromFile = format == SongFormat::Knb || loaded.result.repaired;
    return loaded;
}

SongDocument::SongDocument() {
    pokopen::newSong(song_);
    savedAt_ = 0;
}

namespace {
SongDocument::MisuseHandler misuseHandler = nullptr;
}

SongDocument::MisuseHandler SongDocument::setMisuseHandler(MisuseHandler handler) {
    return std::exchange(misuseHandler, handler);
}

bool SongDocument::expect(bool ok, const char* what) {
    if (ok)
        return true;
    if (misuseHandler) {
        misuseHandler(what);
        return false;
    }
    std::fprintf(stderr, "pokopen: refused: %s\n", what);
    assert(ok && "a misuse of the document's transactions");
    return false;
}

bool SongDocument::change(const std::string& name, const EditPlace& where,
                          const std::function<void(Song&)>& change) {
    if (!expect(!busy(), "a change while the document is notifying, undoing or redoing") ||
        !expect(!pending_, "a change while a step is open (use changeInStep)"))
        return false;
    beginStep(name, where);
    changeInStep(change);
    return endStep();
}

void SongDocument::beginStep(const std::string& name, const EditPlace& where) {
    if (!expect(!busy(), "a step begun while the document is notifying, undoing or redoing") ||
        !expect(!pending_, "a step begun while another is open"))
        return;
    pending_ = Pending{name, where, song_};
}

bool SongDocument::changeInStep(const std::function<void(Song&)>& change) {
    if (!expect(!busy(), "a change while the document is notifying, undoing or redoing") ||
        !expect(pending_.has_value(), "changeInStep with no step open"))
        return false;
    change(song_);
    ++revision_;
    return true;
}

bool SongDocument::endStep() {
    if (!pending_ || !expect(!busy(), "a step ended while the document is notifying"))
        return false;
    Pending pending = std::move(*pending_);
    pending_.reset();
    Step step;
    step.name = std::move(pending.name);
    step.place = pending.place;
    for (int r = 0; r < ROW_COUNT; ++r) {
        if (song_.store.sharesRow(pending.before.store, r))
            continue;
        const EventRow& before = pending.before.store[r];
        const EventRow& after = std::as_const(song_.store)[r];
        const std::int32_t nb = before.count();
        const std::int32_t na = after.count();
        std::int32_t p = 0;
        while (p < nb && p < na && sameEvent(before, p, after, p))
            ++p;
        if (p == nb && p == na) {
            // Written but not changed: share the row again rather than keep two copies.
            song_.store.shareRow(pending.before.store, r);
            continue;
        }
        std::int32_t s = 0;
        while (s < nb - p && s < na - p && sameEvent(before, nb - 1 - s, after, na - 1 - s))
            ++s;
        RowDiff diff{r, p, s, slice(before, p, nb - s), slice(after, p, na - s)};
        step.bytes += rowBytes(diff.before) + rowBytes(diff.after) + sizeof(RowDiff);
        step.rows.push_back(std::move(diff));
    }
    Settings before = settingsOf(pending.before);
    Settings after = settingsOf(song_);
    if (before != after) {
        step.bytes += 2 * sizeof(Settings) + before.songTitle.size() + before.songCopyright.size() +
                      after.songTitle.size() + after.songCopyright.size();
        step.settingsBefore = std::move(before);
        step.settingsAfter = std::move(after);
    }
    if (step.rows.empty() && !step.settingsBefore)
        return false; // nothing changed: no step, nothing enabled
    step.bytes += sizeof(Step) + step.name.size();
    SongChange change{SongChange::Cause::Edit, 0, step.settingsBefore.has_value(), step.place};
    for (const RowDiff& d : step.rows)
        change.rows |= 1U << d.row;
    record(std::move(step));
    notify(change);
    notifyStatus();
    return true;
}

void SongDocument::record(Step step) {
    // A new step drops the steps that were undone; the saved point goes with them if it was there.
    while (steps_.size() > cursor_) {
        historyBytes_ -= steps_.back().bytes;
        steps_.pop_back();
    }
    if (savedAt_ && *savedAt_ > position())
        savedAt_.reset();
    historyBytes_ += step.bytes;
    steps_.push_back(std::move(step));
    ++cursor_;
    // The oldest steps go once the history holds too much; the newest always stays.
    while (historyBytes_ > historyLimit_ && steps_.size() > 1) {
        historyBytes_ -= steps_.front().bytes;
        steps_.pop_front();
        --cursor_;
        ++dropped_;
    }
    if (savedAt_ && *savedAt_ < dropped_)
        savedAt_.reset(); // the state of the file can no longer be reached
}

void SongDocument::setHistoryLimit(std::size_t bytes) {
    historyLimit_ = bytes;
}

std::string SongDocument::undoName() const {
    return canUndo() ? steps_[cursor_ - 1].name : std::string();
}

std::string SongDocument::redoName() const {
    return canRedo() ? steps_[cursor_].name : std::string();
}

void SongDocument::applyStep(const Step& step, bool forward) {
    applying_ = true;
    for (const RowDiff& d : step.rows) {
        const EventRow& from = forward ? d.before : d.after;
        const EventRow& to = forward ? d.after : d.before;
        replaceEvents(song_.store[d.row], d.prefix, from.count(), to);
    }
    if (step.settingsBefore)
        putSettings(song_, forward ? *step.settingsAfter : *step.settingsBefore);
    ++revision_;
    applying_ = false;
    SongChange change{forward ? SongChange::Cause::Redo : SongChange::Cause::Undo, 0,
                      step.settingsBefore.has_value(), step.place};
    for (const RowDiff& d : step.rows)
        change.rows |= 1U << d.row;
    notify(change);
    notifyStatus();
}

std::optional<EditPlace> SongDocument::undo() {
    if (!expect(!busy(), "undo while the document is notifying, undoing or redoing"))
        return std::nullopt;
    endStep();
    if (!canUndo())
        return std::nullopt;
    --cursor_;
    applyStep(steps_[cursor_], false);
    return steps_[cursor_].place;
}

std::optional<EditPlace> SongDocument::redo() {
    if (!expect(!busy(), "redo while the document is notifying, undoing or redoing"))
        return std::nullopt;
    endStep();
    if (!canRedo())
        return std::nullopt;
    ++cursor_;
    applyStep(steps_[cursor_ - 1], true);
    return steps_[cursor_ - 1].place;
}

bool SongDocument::isModified() const {
    return !savedAt_ || *savedAt_ != position();
}

void SongDocument::resetHistory(bool modified) {
    pending_.reset();
    steps_.clear();
    cursor_ = 0;
    dropped_ = 0;
    historyBytes_ = 0;
    savedAt_.reset();
    if (!modified)
        savedAt_ = 0;
    ++revision_;
    // A new song is seen from its start: first part, first measure, middle view.
    const Editing before = editing_;
    editing_ = Editing{};
    editing_.fmMode = before.fmMode;
    notify(SongChange{SongChange::Cause::Reset, (1U << ROW_COUNT) - 1, true, {}, ALL_EDITING_FIELDS});
    notifyStatus();
}

void SongDocument::newSong() {
    if (!expect(!busy(), "a new song while the document is notifying"))
        return;
    pokopen::newSong(song_);
    fileTitle_ = "Notitle";
    filePath_.clear();
    untitled_ = true;
    fingerprint_.reset();
    resetHistory(false);
}

FileResult SongDocument::open(const std::string& path, const SongLoader& loader) {
    if (!expect(!busy(), "an open while the document is notifying"))
        return {FileError::CannotOpen, 0, "busy", false, "処理中です"};
    Song loadedSong;
    const LoadedSong loaded = loader(path, loadedSong);
    if (!loaded.result.ok())
        return loaded.result;
    song_ = std::move(loadedSong);
    fileTitle_ = stemOf(path);
    untitled_ = loaded.noFileToSaveTo;
    filePath_ = untitled_ ? std::string() : path;
    fingerprint_.reset();
    if (!untitled_ && savePath() == path)
        fingerprint_ = fingerprintOfFile(path);
    resetHistory(loaded.differsFromFile || loaded.noFileToSaveTo);
    return loaded.result;
}

void SongDocument::adopt(Song song, const std::string& path, const std::string& title,
                         std::optional<FileFingerprint> fingerprint) {
    if (!expect(!busy(), "a song adopted while the document is notifying"))
        return;
    song_ = std::move(song);
    filePath_ = path;
    fileTitle_ = title;
    untitled_ = path.empty();
    fingerprint_ = untitled_ ? std::nullopt : fingerprint;
    resetHistory(true);
}

std::string SongDocument::savePath() const {
    if (!hasExtension(filePath_, ".knb"))
        return filePath_; // A.KN2 is saved as A.KN2, not as a new A.kn2 beside it
    std::filesystem::path target(filePath_);
    target.replace_extension(".kn2");
    return target.string();
}

bool SongDocument::fileChangedElsewhere() const {
    return !untitled_ && fingerprint_ && fileChangedSince(savePath(), *fingerprint_);
}

FileResult SongDocument::writeTo(const std::string& path) {
    const std::string bytes = serializeKn2(song_);
    if (!writeFileAtomically(path, bytes))
        return {FileError::CannotCreate, 0, "cannot be created", false, "ファイルを作成できません"};
    fingerprint_ = fingerprintOfWritten(path, bytes);
    return {};
}

FileResult SongDocument::save() {
    if (untitled_)
        return {FileError::CannotCreate, 0, "the song has no file yet", false,
                "曲のファイルがまだありません"};
    const std::string target = savePath();
    const FileResult result = writeTo(target);
    if (result.ok()) {
        filePath_ = target;
        savedAt_ = position();
        notifyStatus();
    }
    return result;
}

FileResult SongDocument::saveAs(const std::string& path) {
    const FileResult result = writeTo(path);
    if (result.ok()) {
        filePath_ = path;
        fileTitle_ = stemOf(path);
        untitled_ = false;
        savedAt_ = position();
        notifyStatus();
    }
    return result;
}

DiscardOutcome SongDocument::confirmDiscard(const std::function<SaveAnswer()>& ask,
                                            const std::function<bool()>& saveAs) {
    endStep();
    if (!isModified())
        return DiscardOutcome::Unmodified;
    switch (ask()) {
    case SaveAnswer::Yes:
        // The command goes on only once the song is safely saved: a cancelled Save As dialog or
        // a save that fails stops it, so the unsaved song is never thrown away.
        return saveAs() ? DiscardOutcome::Saved : DiscardOutcome::Stopped;
    case SaveAnswer::No:
        return DiscardOutcome::Discarded;
    case SaveAnswer::Cancel:
        break;
    }
    return DiscardOutcome::Stopped;
}

// --- The shared editing state ---------------------------------------------------------------

void SongDocument::changeEditing(std::uint32_t fields, const std::function<void(Editing&)>& set) {
    const Editing before = editing_;
    set(editing_);
    std::uint32_t changed = 0;
    const auto mark = [&](EditingField f, bool differs) {
        if (differs)
            changed |= bit(f);
    };
    mark(EditingField::Part, before.currentPart != editing_.currentPart);
    mark(EditingField::Measure, before.currentMeasure != editing_.currentMeasure);
    mark(EditingField::View, before.scoreView != editing_.scoreView);
    mark(EditingField::Triplet, before.tripletMode != editing_.tripletMode);
    mark(EditingField::Fm, before.fmMode != editing_.fmMode);
    mark(EditingField::Caret, before.caret != editing_.caret);
    mark(EditingField::Selection, before.selection != editing_.selection);
    changed &= fields;
    if (changed != 0)
        notify(SongChange{SongChange::Cause::Editing, 0, false, {}, changed});
}

void SongDocument::setCurrentPart(std::int32_t part) {
    changeEditing(bit(EditingField::Part) | bit(EditingField::Selection), [&](Editing& e) {
        const std::int32_t p = std::clamp(part, 0, PART_ROWS - 1);
        if (p != e.currentPart)
            e.selection.clear(); // the selection names notes of the current part
        e.currentPart = p;
    });
}

void SongDocument::setCurrentMeasure(std::int32_t measure) {
    changeEditing(bit(EditingField::Measure) | bit(EditingField::Caret), [&](Editing& e) {
        e.currentMeasure = std::clamp(measure, 0, MAX_MEASURES - 1);
        e.caret = measureToTick(song_.store, e.currentMeasure);
    });
}

void SongDocument::moveCaret(std::int32_t tick) {
    const std::int32_t end = measureToTick(song_.store, MAX_MEASURES);
    changeEditing(bit(EditingField::Measure) | bit(EditingField::Caret), [&](Editing& e) {
        e.caret = std::clamp(tick, 0, end);
        const bool inShown = e.caret >= measureToTick(song_.store, e.currentMeasure) &&
                             e.caret <= measureToTick(song_.store, e.currentMeasure + 1);
        if (!inShown)
            e.currentMeasure = e.caret >= end ? MAX_MEASURES - 1 : tickToMeasure(song_.store, e.caret);
    });
}

void SongDocument::setScoreView(std::int32_t view) {
    changeEditing(bit(EditingField::View), [&](Editing& e) { e.scoreView = std::clamp(view, 0, 2); });
}

void SongDocument::setTripletMode(bool on) {
    changeEditing(bit(EditingField::Triplet), [&](Editing& e) { e.tripletMode = on; });
}

void SongDocument::setFmMode(bool on) {
    changeEditing(bit(EditingField::Fm), [&](Editing& e) { e.fmMode = on; });
}

void SongDocument::setCaret(std::int32_t tick) {
    const std::int32_t end = measureToTick(song_.store, MAX_MEASURES);
    changeEditing(bit(EditingField::Caret), [&](Editing& e) { e.caret = std::clamp(tick, 0, end); });
}

void SongDocument::setSelection(std::vector<NoteRef> notes) {
    changeEditing(bit(EditingField::Selection), [&](Editing& e) { e.selection = std::move(notes); });
}

// --- Subscribers ------------------------------------------------------------------------------

Subscription::Subscription(Subscription&& other) noexcept
    : doc_(other.doc_), alive_(std::move(other.alive_)), id_(other.id_) {
    other.doc_ = nullptr;
}

Subscription& Subscription::operator=(Subscription&& other) noexcept {
    if (this != &other) {
        reset();
        doc_ = other.doc_;
        alive_ = std::move(other.alive_);
        id_ = other.id_;
        other.doc_ = nullptr;
    }
    return *this;
}

void Subscription::reset() {
    if (doc_ && !alive_.expired())
        doc_->unsubscribe(id_);
    doc_ = nullptr;
    alive_.reset();
}

Subscription SongDocument::subscribe(Listener listener) {
    const std::uint64_t id = subscribers_.nextId++;
    subscribers_.list.push_back({id, std::move(listener), {}});
    return Subscription(this, subscribers_.alive, id);
}

Subscription SongDocument::subscribeStatus(StatusListener listener) {
    const std::uint64_t id = subscribers_.nextId++;
    subscribers_.list.push_back({id, {}, std::move(listener)});
    return Subscription(this, subscribers_.alive, id);
}

void SongDocument::unsubscribe(std::uint64_t id) {
    for (Subscriber& s : subscribers_.list)
        if (s.id == id) {
            // While subscribers are being told, the entry stays (empty) so that the walk over
            // them is not disturbed; it goes once the walk is over.
            s.listener = nullptr;
            s.statusListener = nullptr;
            s.id = 0;
        }
    if (notifying_ == 0)
        dropLeftSubscribers();
}

template <class Tell> void SongDocument::tellSubscribers(Tell tell) {
    ++notifying_;
    for (std::size_t i = 0; i < subscribers_.list.size(); ++i) // a subscriber may add another
        tell(Subscriber(subscribers_.list[i]));                // a copy: the subscriber may leave while told
    if (--notifying_ == 0)
        dropLeftSubscribers();
}

void SongDocument::dropLeftSubscribers() {
    std::erase_if(subscribers_.list, [](const Subscriber& s) { return s.id == 0; });
}

void SongDocument::notify(const SongChange& change) {
    tellSubscribers([&](const Subscriber& s) {
        if (s.listener)
            s.listener(change);
    });
}

void SongDocument::notifyStatus() {
    tellSubscribers([](const Subscriber& s) {
        if (s.statusListener)
            s.statusListener();
    });
}

} // namespace pokopen
