#include "document/song_document.h"

#include "model/new_song.h"

#include <algorithm>
#include <cctype>
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

bool SongDocument::change(const std::string& name, const EditPlace& where,
                          const std::function<void(Song&)>& change) {
    if (pending_) { // part of a step already under way
        changeInStep(change);
        return true;
    }
    beginStep(name, where);
    changeInStep(change);
    return endStep();
}

void SongDocument::beginStep(const std::string& name, const EditPlace& where) {
    if (pending_)
        endStep();
    pending_ = Pending{name, where, song_};
}

void SongDocument::changeInStep(const std::function<void(Song&)>& change) {
    change(song_);
    ++revision_;
}

bool SongDocument::endStep() {
    if (!pending_)
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
    for (const RowDiff& d : step.rows) {
        const EventRow& from = forward ? d.before : d.after;
        const EventRow& to = forward ? d.after : d.before;
        replaceEvents(song_.store[d.row], d.prefix, from.count(), to);
    }
    if (step.settingsBefore)
        putSettings(song_, forward ? *step.settingsAfter : *step.settingsBefore);
    ++revision_;
    SongChange change{forward ? SongChange::Cause::Redo : SongChange::Cause::Undo, 0,
                      step.settingsBefore.has_value(), step.place};
    for (const RowDiff& d : step.rows)
        change.rows |= 1U << d.row;
    notify(change);
    notifyStatus();
}

std::optional<EditPlace> SongDocument::undo() {
    endStep();
    if (!canUndo())
        return std::nullopt;
    --cursor_;
    applyStep(steps_[cursor_], false);
    return steps_[cursor_].place;
}

std::optional<EditPlace> SongDocument::redo() {
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
    state.searchFrom = 0;
    notify(SongChange{SongChange::Cause::Reset, (1U << ROW_COUNT) - 1, true, {}});
    notifyStatus();
}

void SongDocument::newSong() {
    pokopen::newSong(song_);
    fileTitle_ = "Notitle";
    filePath_.clear();
    untitled_ = true;
    fingerprint_.reset();
    resetHistory(false);
}

FileResult SongDocument::open(const std::string& path, const SongLoader& loader) {
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

void SongDocument::notify(const SongChange& change) {
    for (std::size_t i = 0; i < listeners_.size(); ++i) // a listener may add another
        listeners_[i](change);
}

void SongDocument::notifyStatus() {
    for (std::size_t i = 0; i < statusListeners_.size(); ++i)
        statusListeners_[i]();
}

} // namespace pokopen
