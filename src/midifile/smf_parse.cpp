#include "midifile/smf_parse.h"

#include <cstring>

namespace pokopen {

namespace {

// Ticks beyond this refuse the file: no song or player needs them, and sums stay far from overflow.
constexpr std::uint64_t MAX_TICK = 0x7FFFFFFF;

std::uint32_t be32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

int dataBytesOf(std::uint8_t status) {
    const int high = status & 0xF0;
    return (high == 0xC0 || high == 0xD0) ? 1 : 2;
}

} // namespace

bool readSmfHeader(const std::uint8_t* data, std::size_t size, SmfHeader& header, SmfError& error) {
    if (size < 14 || std::memcmp(data, "MThd", 4) != 0) {
        error = {0, "MIDIファイルではありません。", "not a MIDI file"};
        return false;
    }
    const std::uint32_t length = be32(data + 4);
    if (length < 6 || length > size - 8) {
        error = {4, "MIDIファイルのヘッダが壊れています。", "the MIDI header is damaged"};
        return false;
    }
    header.format = (data[8] << 8) | data[9];
    header.trackCount = (data[10] << 8) | data[11];
    header.division = (data[12] << 8) | data[13];
    header.firstChunk = 8 + std::size_t{length};
    return true;
}

bool nextSmfChunk(const std::uint8_t* data, std::size_t size, std::size_t& at, SmfChunk& chunk,
                  SmfError& error) {
    if (at >= size)
        return false;
    if (size - at < 8) {
        error = {at, "MIDIファイルのチャンクが途中で切れています。", "a chunk is cut off"};
        return false;
    }
    const std::uint32_t length = be32(data + at + 4);
    if (length > size - at - 8) {
        error = {at + 4, "MIDIファイルのトラックが途中で切れています。", "a track is cut off"};
        return false;
    }
    chunk.isTrack = std::memcmp(data + at, "MTrk", 4) == 0;
    chunk.begin = at + 8;
    chunk.length = length;
    at += 8 + std::size_t{length};
    return true;
}

bool SmfTrackReader::fail(std::size_t offset, const char* message, const char* english) {
    error_ = {offset, message, english};
    at_ = end_;
    return false;
}

bool SmfTrackReader::varLen(std::uint32_t& v) {
    v = 0;
    for (int i = 0; i < 4; ++i) {
        if (at_ >= end_)
            return false;
        const std::uint8_t b = data_[at_++];
        v = (v << 7) | (b & 0x7Fu);
        if ((b & 0x80) == 0)
            return true;
    }
    return false; // more than four bytes
}

bool SmfTrackReader::next(SmfTrackEvent& e) {
    if (ended_ || at_ >= end_)
        return false;
    e.offset = at_;
    std::uint32_t delta = 0;
    if (!varLen(delta))
        return fail(e.offset, "MIDIファイルのデルタタイムが壊れています。", "a delta time is damaged");
    tick_ += delta;
    if (tick_ > MAX_TICK)
        return fail(e.offset, "MIDIファイルが長すぎます。", "the file is too long");
    e.tick = static_cast<std::uint32_t>(tick_);
    if (at_ >= end_)
        return fail(at_, "MIDIファイルのイベントが途中で切れています。", "an event is cut off");
    const std::uint8_t first = data_[at_];
    if (first == 0xFF) {
        const std::size_t start = at_++;
        if (at_ >= end_)
            return fail(start, "MIDIファイルのメタイベントが壊れています。", "a meta event is damaged");
        e.status = 0xFF;
        e.metaType = data_[at_++];
        if (!varLen(e.length) || e.length > end_ - at_)
            return fail(start, "MIDIファイルのメタイベントが壊れています。", "a meta event is damaged");
        e.payload = at_;
        at_ += e.length;
        if (e.metaType == 0x2F)
            ended_ = true;
        return true;
    }
    if (first == 0xF0 || first == 0xF7) {
        const std::size_t start = at_++;
        e.status = first;
        if (!varLen(e.length) || e.length > end_ - at_)
            return fail(start, "MIDIファイルのシステムエクスクルーシブが壊れています。",
                        "a system exclusive message is damaged");
        e.payload = at_;
        at_ += e.length;
        running_ = 0; // system messages cancel running status
        return true;
    }
    std::uint8_t status = running_;
    if (first & 0x80) {
        if (first > 0xF0)
            return fail(at_, "MIDIファイルに不明なイベントがあります。", "an unknown event");
        status = first;
        running_ = first;
        ++at_;
    } else if (running_ == 0) {
        return fail(at_, "MIDIファイルのランニングステータスが正しくありません。",
                    "data without a running status");
    }
    e.status = status;
    e.metaType = 0;
    e.length = 0;
    const int n = dataBytesOf(status);
    if (end_ - at_ < static_cast<std::size_t>(n))
        return fail(at_, "MIDIファイルのイベントが途中で切れています。", "an event is cut off");
    e.data1 = data_[at_];
    e.data2 = n == 2 ? data_[at_ + 1] : 0;
    if ((e.data1 | e.data2) & 0x80)
        return fail(at_, "MIDIファイルのデータバイトが正しくありません。",
                    "a status byte where a data byte belongs");
    at_ += static_cast<std::size_t>(n);
    return true;
}

} // namespace pokopen
