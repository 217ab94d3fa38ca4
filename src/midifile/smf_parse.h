#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The bytes of a Standard MIDI File taken apart defensively, one chunk and one event at a time,
// without allocating: every length is checked against what remains before it is used. The
// player's reader and the song import both read files through this.
namespace pokopen {

struct SmfError {
    std::size_t offset = 0; // byte offset in the file where the fault lies
    std::string message;    // empty while nothing is wrong; Japanese, for the windows
    std::string english;    // the same for the command-line tool

    bool failed() const { return !message.empty(); }
};

struct SmfHeader {
    int format = 0;
    int trackCount = 0;         // as the header announces it
    int division = 0;           // the raw field: bit 15 set means SMPTE time
    std::size_t firstChunk = 0; // offset of the first chunk after the header
};

// Reads the header chunk. False, with `error` set, when the bytes are no MIDI file.
bool readSmfHeader(const std::uint8_t* data, std::size_t size, SmfHeader& header, SmfError& error);

struct SmfChunk {
    bool isTrack = false;   // "MTrk"; other chunk types are to be skipped
    std::size_t begin = 0;  // offset of the chunk's data
    std::size_t length = 0; // the data's length, known to lie inside the file
};

// Reads the chunk whose header starts at `at` and moves `at` past the chunk. False at the end of
// the file (error unset) or when the chunk is cut off or claims more bytes than the file holds.
bool nextSmfChunk(const std::uint8_t* data, std::size_t size, std::size_t& at, SmfChunk& chunk,
                  SmfError& error);

// One event of a track.
struct SmfTrackEvent {
    std::uint32_t tick = 0;  // from the start of the track
    std::uint8_t status = 0; // 0x80..0xEF a channel message; 0xF0 or 0xF7 system exclusive; 0xFF meta
    std::uint8_t data1 = 0;  // channel messages: their one or two data bytes
    std::uint8_t data2 = 0;
    std::uint8_t metaType = 0;
    std::size_t payload = 0;  // meta and system exclusive: offset of their data in the file
    std::uint32_t length = 0; // and its length
    std::size_t offset = 0;   // offset of the event (its delta time) in the file

    bool isChannel() const { return status >= 0x80 && status < 0xF0; }
    bool isMeta() const { return status == 0xFF; }
    bool isSysex() const { return status == 0xF0 || status == 0xF7; }
};

// Reads the events of one track chunk in file order. Running status, meta events of any length
// and both forms of system exclusive are understood; a delta time of more than four bytes, data
// without a status, a status byte where a data byte belongs, anything running past the chunk
// and ticks beyond 2^31 stop the reading with an error.
class SmfTrackReader {
public:
    SmfTrackReader(const std::uint8_t* file, const SmfChunk& chunk)
        : data_(file), at_(chunk.begin), end_(chunk.begin + chunk.length) {}

    // The next event, the end-of-track meta event included. False after it, at the end of the
    // chunk and on an error.
    bool next(SmfTrackEvent& e);

    const SmfError& error() const { return error_; }
    bool failed() const { return error_.failed(); }
    // True once the end-of-track meta event has been read.
    bool ended() const { return ended_; }
    // Offset just past the chunk (where a missing end of track is reported).
    std::size_t chunkEnd() const { return end_; }

private:
    bool fail(std::size_t offset, const char* message, const char* english);
    bool varLen(std::uint32_t& v);

    const std::uint8_t* data_;
    std::size_t at_;
    std::size_t end_;
    std::uint64_t tick_ = 0;
    std::uint8_t running_ = 0;
    bool ended_ = false;
    SmfError error_;
};

} // namespace pokopen
