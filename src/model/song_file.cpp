#include "model/song_file.h"

#include "model/pitch.h"
#include "model/timeline.h"

#include <QByteArray>
#include <QSaveFile>
#include <QString>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <fstream>
#include <iterator>

namespace pokopen {

namespace {

// Tables of the previous generation's file, indexed by the numbers it stores.
constexpr std::array<std::uint8_t, 30> LEGACY_KEY = {14, 15, 16, 17, 18, 19, 20, 21, 22, 23,
                                                     24, 25, 26, 27, 28, 29, 12, 13, 10, 11,
                                                     8,  9,  6,  7,  4,  5,  2,  3,  0,  1};
constexpr std::array<std::uint8_t, 6> LEGACY_METER = {33, 34, 50, 66, 51, 99};
constexpr std::array<std::uint8_t, 31> LEGACY_TEMPO = {60,  64,  68,  72,  76,  80,  84,  88,  92,  96,  100,
                                                       104, 108, 112, 116, 120, 128, 136, 144, 152, 160, 168,
                                                       176, 184, 192, 200, 208, 216, 224, 232, 239};
constexpr std::array<std::int32_t, 14> LEGACY_VOLUME = {0,  10, 20, 30,  40,  50,  60,
                                                        70, 80, 90, 100, 110, 120, 127};
constexpr std::array<std::int32_t, 7> LEGACY_TRANSPOSITION = {0, 2, 3, 4, 5, 1, 6};
constexpr std::array<std::uint8_t, 26> LEGACY_DYNAMICS = {5,  10,  15,  20,  25,  30,  35,  40, 45,
                                                          50, 55,  60,  65,  70,  75,  80,  85, 90,
                                                          95, 100, 105, 110, 115, 120, 125, 127};
constexpr int LEGACY_NO_ACCIDENTAL = 3;

constexpr char KN2_MAGIC[] = "MorvelKNBv200";

struct ParseFailure {
    int line; // 1-based
    std::string message;
    std::string japanese; // the same for the windows (UTF-8)
};

// A piece of a line for a message: printable ASCII as it is; any other byte as \xNN, so that
// no control character or broken multi-byte text from the file lands in a message.
std::string shownBytes(std::string_view s) {
    static constexpr char HEX[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : s) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F) {
            out += c;
        } else {
            out += "\\x";
            out += HEX[b >> 4];
            out += HEX[b & 0x0F];
        }
    }
    return out;
}

bool printableAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

std::string range(std::int32_t lo, std::int32_t hi) {
    return std::to_string(lo) + ".." + std::to_string(hi);
}
std::string rangeJa(std::int32_t lo, std::int32_t hi) {
    return std::to_string(lo) + "～" + std::to_string(hi);
}

// Hands out the lines of a file one by one, knowing how many are left.
class LineReader {
public:
    explicit LineReader(std::string_view data) : data_(data) {
        for (std::size_t i = 0; i < data_.size(); ++i) {
            if (data_[i] == '\n' || (data_[i] == '\r' && (i + 1 >= data_.size() || data_[i + 1] != '\n')))
                ++total_;
        }
        if (!data_.empty() && data_.back() != '\n' && data_.back() != '\r')
            ++total_; // a last line without its line break
    }

    // 1-based number of the line that the next read returns.
    int nextLineNumber() const { return consumed_ + 1; }
    long remaining() const { return total_ - consumed_; }

    std::string_view text() {
        if (consumed_ >= total_)
            throw ParseFailure{nextLineNumber(), "the file ends too early", "ファイルが途中で終わっています"};
        std::size_t end = pos_;
        while (end < data_.size() && data_[end] != '\r' && data_[end] != '\n')
            ++end;
        std::string_view line = data_.substr(pos_, end - pos_);
        pos_ = end;
        if (pos_ < data_.size() && data_[pos_] == '\r')
            ++pos_;
        if (pos_ < data_.size() && data_[pos_] == '\n')
            ++pos_;
        ++consumed_;
        return line;
    }

    std::int32_t integer() {
        const int lineNo = nextLineNumber();
        std::string_view s = text();
        while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
            s.remove_prefix(1);
        while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
            s.remove_suffix(1);
        if (!s.empty() && s.front() == '+')
            s.remove_prefix(1);
        std::int64_t v = 0;
        const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
        if (s.empty() || ec != std::errc() || ptr != s.data() + s.size() || v < INT32_MIN || v > INT32_MAX) {
            const std::string_view found = s.substr(0, 20);
            // The line is quoted in the Japanese text only when it is plain ASCII; anything else
            // from a damaged or foreign file would show as garbage.
            throw ParseFailure{lineNo, "expected a whole number, found \"" + shownBytes(found) + "\"",
                               printableAscii(found) && !found.empty()
                                   ? "整数のはずの行が「" + std::string(found) + "」です"
                                   : std::string("整数のはずの行が整数ではありません")};
        }
        return static_cast<std::int32_t>(v);
    }

    // `what` names the value in English and in Japanese.
    std::int32_t integerIn(std::int32_t lo, std::int32_t hi, const char* what, const char* whatJa) {
        const int lineNo = nextLineNumber();
        const std::int32_t v = integer();
        if (v < lo || v > hi)
            throw ParseFailure{lineNo,
                               std::string(what) + " " + std::to_string(v) + " is outside " + range(lo, hi),
                               std::string(whatJa) + "の値 " + std::to_string(v) + " が範囲 " +
                                   rangeJa(lo, hi) + " の外です"};
        return v;
    }

    template <typename Table> auto tableEntry(const Table& table, const char* what, const char* whatJa) {
        return table[static_cast<std::size_t>(
            integerIn(0, static_cast<std::int32_t>(table.size()) - 1, what, whatJa))];
    }

    // Reads an event count and checks that the file holds that many events after it.
    std::int32_t eventCount() {
        const int lineNo = nextLineNumber();
        const std::int32_t n = integer();
        if (n < 0 || n > remaining() / 4)
            throw ParseFailure{lineNo,
                               "event count " + std::to_string(n) + " does not match the lines that follow",
                               "イベントの数 " + std::to_string(n) + " が続く行の数と合いません"};
        return n;
    }

private:
    std::string_view data_;
    std::size_t pos_ = 0;
    long total_ = 0;
    int consumed_ = 0;
};

std::uint8_t lowByte(std::int32_t v) {
    return static_cast<std::uint8_t>(v & 0xFF);
}
std::int8_t signedLowByte(std::int32_t v) {
    return static_cast<std::int8_t>(lowByte(v));
}

bool kindBelongsToRow(std::uint8_t kind, int row) {
    if (row < PART_ROWS)
        return kind >= KIND_NOTE_ON && kind <= KIND_PAN;
    if (row == TEMPO_ROW)
        return kind == KIND_TEMPO;
    return kind == KIND_KEY || kind == KIND_METER;
}

// Reads `count` events of one row; rowLine is the line of the row's count.
void readRow(LineReader& in, EventRow& row, int r) {
    const std::int32_t n = in.eventCount();
    row.clear();
    row.reserve(static_cast<std::size_t>(n));
    for (std::int32_t i = 0; i < n; ++i) {
        const int posLine = in.nextLineNumber();
        const std::int32_t pos = in.integer();
        const int kindLine = in.nextLineNumber();
        const std::uint8_t kind = lowByte(in.integer());
        const std::uint8_t value = lowByte(in.integer());
        const std::int8_t extra = signedLowByte(in.integer());
        if (!kindBelongsToRow(kind, r))
            throw ParseFailure{kindLine,
                               "event kind " + std::to_string(kind) + " cannot stand in row " +
                                   std::to_string(r + 1),
                               "イベントの種類 " + std::to_string(kind) + " は " + std::to_string(r + 1) +
                                   " 番目のイベント列には置けません"};
        if (pos < 0 || (r == SIGNATURE_ROW && pos >= MAX_MEASURES))
            throw ParseFailure{posLine, "position " + std::to_string(pos) + " is outside the song",
                               "位置 " + std::to_string(pos) + " が曲の外です"};
        row.pos.push_back(pos);
        row.kind.push_back(kind);
        row.value.push_back(value);
        row.extra.push_back(extra);
    }
}

// Checks what the measure and key queries rely on: a key and a meter at the first measure,
// meters of non-zero length, keys 0..29, at most one of each kind a measure, in measure order.
void checkSignatureRow(const EventRow& sig, int countLine) {
    bool key0 = false, meter0 = false;
    for (std::int32_t i = 0; i < sig.count(); ++i) {
        const Event e = sig.at(i);
        const int eventLine = countLine + 1 + 4 * i;
        if (e.kind == KIND_METER && ticksPerMeasure(e.value) <= 0)
            throw ParseFailure{eventLine + 2,
                               "time signature byte " + std::to_string(e.value) + " has no length",
                               "拍子の値 " + std::to_string(e.value) + " では小節の長さがありません"};
        if (e.kind == KIND_KEY && e.value >= KEY_COUNT)
            throw ParseFailure{eventLine + 2, "key byte " + std::to_string(e.value) + " is outside 0..29",
                               "調性の値 " + std::to_string(e.value) + " が範囲 0～29 の外です"};
        if (i > 0 && sig.pos[static_cast<std::size_t>(i - 1)] > e.pos)
            throw ParseFailure{eventLine, "signatures are not in measure order",
                               "調性と拍子が小節の順に並んでいません"};
        for (std::int32_t j = i - 1; j >= 0 && sig.pos[static_cast<std::size_t>(j)] == e.pos; --j)
            if (sig.kind[static_cast<std::size_t>(j)] == e.kind)
                throw ParseFailure{eventLine, "two signatures of one kind at one measure",
                                   "一つの小節に同じ種類の調性または拍子が二つあります"};
        key0 |= e.pos == 0 && e.kind == KIND_KEY;
        meter0 |= e.pos == 0 && e.kind == KIND_METER;
    }
    if (!key0 || !meter0)
        throw ParseFailure{countLine, "the first measure has no key or no time signature",
                           "最初の小節に調性または拍子がありません"};
}

// Puts a part or tempo row into the order every reader relies on and keeps it inside the song.
// Songs whose measures were pasted over shorter ones can hold events out of order or past the
// end; such rows are repaired rather than refused. Returns true when something changed.
bool normalizeRow(EventRow& row, std::int32_t endTick) {
    bool inOrder = true;
    for (std::int32_t i = 0; i < row.count() && inOrder; ++i) {
        const auto k = static_cast<std::size_t>(i);
        if (row.pos[k] > endTick)
            inOrder = false;
        else if (k > 0 &&
                 (row.pos[k - 1] > row.pos[k] ||
                  (row.pos[k - 1] == row.pos[k] && tieOrder(row.kind[k - 1]) > tieOrder(row.kind[k]))))
            inOrder = false;
    }
    if (inOrder)
        return false;

    std::vector<Event> events = row.events();
    std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
        return a.pos != b.pos ? a.pos < b.pos : tieOrder(a.kind) < tieOrder(b.kind);
    });
    std::vector<Event> kept;
    kept.reserve(events.size());
    std::array<bool, 256> open{};
    std::array<bool, 256> skipOff{};
    for (Event e : events) {
        if (e.kind == KIND_NOTE_ON) {
            if (e.pos >= endTick) {
                skipOff[e.value] = true; // a note that would start at or after the end goes whole
                continue;
            }
            open[e.value] = true;
            skipOff[e.value] = false;
        } else if (e.kind == KIND_NOTE_OFF) {
            if (skipOff[e.value]) {
                skipOff[e.value] = false;
                continue;
            }
            if (e.pos > endTick) {
                if (!open[e.value])
                    continue;
                e.pos = endTick; // a note running past the end stops there
            }
            open[e.value] = false;
        } else if (e.pos > endTick) {
            continue;
        }
        kept.push_back(e);
    }
    row.assign(kept);
    return true;
}

bool normalizeRows(Song& song) {
    const std::int32_t endTick = songEndTick(song.store);
    bool changed = false;
    for (int r = 0; r <= TEMPO_ROW; ++r)
        changed |= normalizeRow(song.row(r), endTick);
    return changed;
}

FileResult failure(const ParseFailure& f) {
    return {FileError::Malformed, f.line, f.message, false, f.japanese};
}

} // namespace

SongFormat formatOfPath(std::string_view path) {
    const auto slash = path.find_last_of("/\\");
    const auto dot = path.find_last_of('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return SongFormat::Knb;
    std::string ext(path.substr(dot));
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".kn2" ? SongFormat::Kn2 : SongFormat::Knb;
}

FileResult parseKn2(std::string_view bytes, Song& out) {
    try {
        LineReader in(bytes);
        Song song;
        in.text(); // the magic line is not checked
        song.songTitle = std::string(in.text());
        song.songCopyright = std::string(in.text());
        for (std::size_t p = 0; p < PART_ROWS; ++p) {
            song.partInstrument[p] = in.integerIn(0, 127, "instrument", "音色");
            song.partTransposition[p] = in.integerIn(0, TRANSPOSITION_COUNT - 1, "transposition", "移調楽器");
            song.partVolume[p] = in.integerIn(0, 127, "volume", "音量");
        }
        int tempoLine = 0, signatureLine = 0;
        for (int r = 0; r < ROW_COUNT; ++r) {
            if (r == TEMPO_ROW)
                tempoLine = in.nextLineNumber();
            if (r == SIGNATURE_ROW)
                signatureLine = in.nextLineNumber();
            readRow(in, song.row(r), r);
        }
        checkSignatureRow(song.row(SIGNATURE_ROW), signatureLine);
        const bool repaired = normalizeRows(song);
        const EventRow& tempo = song.row(TEMPO_ROW);
        if (tempo.empty() || tempo.pos[0] != 0)
            throw ParseFailure{tempoLine, "the song has no tempo at its start",
                               "曲の始めにテンポがありません"};
        out = std::move(song);
        return {FileError::None, 0, {}, repaired, {}};
    } catch (const ParseFailure& f) {
        return failure(f);
    }
}

FileResult parseKnb(std::string_view bytes, Song& out) {
    try {
        LineReader in(bytes);
        Song song;
        song.songTitle = std::string(in.text());
        song.songCopyright = std::string(in.text());
        const std::uint8_t key = in.tableEntry(LEGACY_KEY, "key number", "調性の番号");
        const std::uint8_t meter = in.tableEntry(LEGACY_METER, "time signature number", "拍子の番号");
        const std::uint8_t tempo = in.tableEntry(LEGACY_TEMPO, "tempo number", "テンポの番号");
        for (int i = 0; i < 4; ++i)
            in.text();
        for (std::size_t p = 0; p < PART_ROWS; ++p) {
            song.partInstrument[p] = in.integerIn(0, 127, "instrument", "音色");
            song.partVolume[p] = in.tableEntry(LEGACY_VOLUME, "volume number", "音量の番号");
            song.partTransposition[p] =
                in.tableEntry(LEGACY_TRANSPOSITION, "transposition number", "移調楽器の番号");
        }
        for (int p = 0; p < PART_ROWS; ++p) {
            const int t = song.partTransposition[static_cast<std::size_t>(p)];
            const std::int32_t n = in.eventCount();
            // The part's written key, respelled beyond seven accidentals as writtenKey does.
            const WrittenKey wk = writtenKey(key, t);
            std::vector<Event> events;
            events.reserve(static_cast<std::size_t>(n) + 2);
            events.push_back({0, KIND_DYNAMICS, 100, 0});
            events.push_back({0, KIND_PAN, 64, 0});
            for (std::int32_t i = 0; i < n; ++i) {
                const int posLine = in.nextLineNumber();
                const std::int32_t pos = in.integer();
                const std::uint8_t kind =
                    static_cast<std::uint8_t>(in.integerIn(1, 3, "event kind", "イベントの種類"));
                const int valueLine = in.nextLineNumber();
                const std::int32_t v = in.integer();
                const std::int32_t a = in.integerIn(-2, LEGACY_NO_ACCIDENTAL, "accidental", "臨時記号");
                if (pos < 0)
                    throw ParseFailure{posLine, "position " + std::to_string(pos) + " is outside the song",
                                       "位置 " + std::to_string(pos) + " が曲の外です"};
                Event e{pos, kind, 0, 0};
                if (kind == KIND_DYNAMICS) {
                    if (v < 0 || v >= static_cast<std::int32_t>(LEGACY_DYNAMICS.size()))
                        throw ParseFailure{valueLine,
                                           "dynamics number " + std::to_string(v) + " is outside 0..25",
                                           "強弱の番号 " + std::to_string(v) + " が範囲 0～25 の外です"};
                    e.value = LEGACY_DYNAMICS[static_cast<std::size_t>(v)];
                } else {
                    if (v < -1000 || v > 1000)
                        throw ParseFailure{valueLine,
                                           "note step " + std::to_string(v) + " is outside the staff",
                                           "音の高さ " + std::to_string(v) + " が五線の範囲の外です"};
                    int step = v + wk.shift; // the concert step: transposition plus any respelling
                    if (step < 0)
                        step += 252;
                    e.value = lowByte(step);
                    const int s = keyAlteration(wk.key, v);
                    const int alteration = a == LEGACY_NO_ACCIDENTAL ? 0 : a - s;
                    if (kind == KIND_NOTE_ON)
                        e.extra = static_cast<std::int8_t>(alteration);
                    if (p == PERCUSSION_PART) {
                        const int b = e.value;
                        e.value = lowByte(12 * (b / 7) + STEP_SEMITONES[static_cast<std::size_t>(b % 7)] -
                                          19 - alteration);
                        e.extra = 0;
                    }
                }
                events.push_back(e);
            }
            // A level of the file's own at tick 0 replaces the default one.
            const auto firstDynamics = std::find_if(events.begin() + 2, events.end(),
                                                    [](const Event& e) { return e.kind == KIND_DYNAMICS; });
            if (firstDynamics != events.end() && firstDynamics->pos == 0)
                events.erase(events.begin());
            song.row(p).assign(events);
        }
        song.row(TEMPO_ROW).assign({{0, KIND_TEMPO, tempo, 0}});
        song.row(SIGNATURE_ROW).assign({{0, KIND_KEY, key, 0}, {0, KIND_METER, meter, 0}});
        const bool repaired = normalizeRows(song);
        out = std::move(song);
        return {FileError::None, 0, {}, repaired, {}};
    } catch (const ParseFailure& f) {
        return failure(f);
    }
}

std::string serializeKn2(const Song& song) {
    std::string s;
    std::size_t events = 0;
    for (const EventRow& row : song.store.rowList())
        events += static_cast<std::size_t>(row.count());
    s.reserve(256 + events * 20);
    char buf[16];
    const auto line = [&s](std::string_view text) {
        s.append(text);
        s.append("\r\n");
    };
    const auto number = [&](std::int32_t v) {
        const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
        (void)ec;
        s.append(buf, end);
        s.append("\r\n");
    };
    line(KN2_MAGIC);
    line(song.songTitle);
    line(song.songCopyright);
    for (std::size_t p = 0; p < PART_ROWS; ++p) {
        number(song.partInstrument[p]);
        number(song.partTransposition[p]);
        number(song.partVolume[p]);
    }
    for (const EventRow& row : song.store.rowList()) {
        number(row.count());
        for (std::size_t i = 0; i < row.pos.size(); ++i) {
            number(row.pos[i]);
            number(row.kind[i]);
            number(row.value[i]);
            number(row.extra[i]);
        }
    }
    return s;
}

bool readWholeFile(const std::string& path, std::string& bytes) {
    std::ifstream f(path, std::ios::binary);
    if (!f)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return !f.bad();
}

bool writeFileAtomically(const std::string& path, std::string_view bytes) {
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size())) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

FileResult loadSongFile(const std::string& path, Song& out, SongFormat* format) {
    std::string bytes;
    if (!readWholeFile(path, bytes))
        return {FileError::CannotOpen, 0, "cannot be opened", false, "ファイルを開けません"};
    const SongFormat f = formatOfPath(path);
    if (format)
        *format = f;
    return f == SongFormat::Kn2 ? parseKn2(bytes, out) : parseKnb(bytes, out);
}

FileResult saveSongFile(const std::string& path, const Song& song) {
    if (!writeFileAtomically(path, serializeKn2(song)))
        return {FileError::CannotCreate, 0, "cannot be created", false, "ファイルを作成できません"};
    return {};
}

} // namespace pokopen
