#include "signature/signature_edit.h"

#include "model/pitch.h"
#include "model/timeline.h"

#include <algorithm>
#include <cstddef>
#include <string>

namespace pokopen {

namespace {

void setSignature(Song& song, std::uint8_t kind, std::int32_t measure, std::uint8_t value) {
    EventRow& sig = song.row(SIGNATURE_ROW);
    if (value == SIGNATURE_REMOVE) {
        for (std::int32_t i = 0; i < sig.count(); ++i) {
            if (sig.pos[static_cast<std::size_t>(i)] == measure &&
                sig.kind[static_cast<std::size_t>(i)] == kind) {
                sig.removeAt(i);
                return;
            }
        }
        return;
    }
    std::int32_t at = 0;
    while (at < sig.count() && sig.pos[static_cast<std::size_t>(at)] < measure)
        ++at;
    sig.insertAt(at, {measure, kind, value, 0});
}

// The last position of rows 0..16 (the rows are sorted, so one look per row).
std::int32_t lastTick(const Song& song) {
    std::int32_t last = 0;
    for (int r = 0; r <= TEMPO_ROW; ++r)
        if (!song.row(r).empty())
            last = std::max(last, song.row(r).pos.back());
    return last;
}

// Applies a meter edit, then takes it back if it pushes events past the song's last measure.
template <typename Edit> MeterEdit guardedMeterEdit(Song& song, Edit edit) {
    const EventRow before = song.row(SIGNATURE_ROW);
    const std::int32_t oldEnd = songEndTick(song.store);
    edit();
    const std::int32_t newEnd = songEndTick(song.store);
    if (newEnd < oldEnd && lastTick(song) > newEnd) {
        song.row(SIGNATURE_ROW) = before;
        return MeterEdit::WouldCutSong;
    }
    return MeterEdit::Changed;
}

} // namespace

int meterChoiceItem(std::uint8_t meter) {
    const int numerator = meter / 16;
    switch (meter % 16) {
    case 2:
        return numerator;
    case 3:
        return numerator + 5;
    default:
        return numerator - 2;
    }
}

std::string meterText(std::uint8_t meter) {
    return std::to_string(meter / 16) + "/" + std::to_string(1 << (meter % 16));
}

std::string keySignatureText(std::uint8_t key) {
    if (key <= 13)
        return "\u266D" + std::to_string(7 - key / 2) + "\u3064";
    if (key <= 15)
        return "\u8ABF\u53F70";
    return "\u266F" + std::to_string(key / 2 - 7) + "\u3064";
}

void setKeyChange(Song& song, std::int32_t measure, std::uint8_t key) {
    setSignature(song, KIND_KEY, measure, key);
}

void setMeterChange(Song& song, std::int32_t measure, std::uint8_t meter) {
    setSignature(song, KIND_METER, measure, meter);
}

std::int32_t mergeSignatures(Song& song, std::uint8_t kind) {
    EventRow& sig = song.row(SIGNATURE_ROW);
    std::int32_t removed = 0;
    int remembered = -1;
    for (std::int32_t i = 0; i < sig.count();) {
        const auto k = static_cast<std::size_t>(i);
        if (sig.kind[k] == kind) {
            if (sig.value[k] == remembered) {
                sig.removeAt(i);
                ++removed;
                continue;
            }
            remembered = sig.value[k];
        }
        ++i;
    }
    return removed;
}

bool changeKey(Song& song, std::int32_t measure, std::uint8_t key) {
    std::uint8_t inForce = KEY_C_MAJOR;
    const bool here = keyAt(song.store, measure, inForce);
    if (key == inForce || key >= KEY_COUNT)
        return false;
    if (here)
        setKeyChange(song, measure, SIGNATURE_REMOVE);
    setKeyChange(song, measure, key);
    mergeSignatures(song, KIND_KEY);
    return true;
}

bool deleteKey(Song& song, std::int32_t measure) {
    std::uint8_t inForce = KEY_C_MAJOR;
    if (measure <= 0 || !keyAt(song.store, measure, inForce))
        return false;
    setKeyChange(song, measure, SIGNATURE_REMOVE);
    mergeSignatures(song, KIND_KEY);
    return true;
}

MeterEdit changeMeter(Song& song, std::int32_t measure, std::uint8_t meter) {
    std::uint8_t inForce = METER_4_4;
    const bool here = meterAt(song.store, measure, inForce);
    if (meter == inForce || ticksPerMeasure(meter) <= 0)
        return MeterEdit::Unchanged;
    return guardedMeterEdit(song, [&] {
        if (here)
            setMeterChange(song, measure, SIGNATURE_REMOVE);
        setMeterChange(song, measure, meter);
        mergeSignatures(song, KIND_METER);
    });
}

MeterEdit deleteMeter(Song& song, std::int32_t measure) {
    std::uint8_t inForce = METER_4_4;
    if (measure <= 0 || !meterAt(song.store, measure, inForce))
        return MeterEdit::Unchanged;
    return guardedMeterEdit(song, [&] {
        setMeterChange(song, measure, SIGNATURE_REMOVE);
        mergeSignatures(song, KIND_METER);
    });
}

SignatureView signatureView(const EventStore& store, std::int32_t measure) {
    SignatureView v;
    v.keyHere = keyAt(store, measure, v.keyInForce);
    v.keyDeletable = v.keyHere && measure != 0;
    v.meterHere = meterAt(store, measure, v.meterInForce);
    v.meterDeletable = v.meterHere && measure != 0;
    return v;
}

KeyChoice keyChoiceOf(int key) {
    if (key <= 13)
        return {0, 7 - key / 2, key % 2};
    if (key <= 15)
        return {1, 0, key % 2};
    return {2, key / 2 - 7, key % 2};
}

int keyOfChoice(const KeyChoice& choice) {
    return 14 + 2 * (choice.signs - 1) * choice.count + choice.minor;
}

KeyChoice chooseSigns(KeyChoice current, int signs) {
    current.signs = signs;
    if (signs == 1)
        current.count = 0;
    else if (current.count == 0)
        current.count = 1;
    return current;
}

KeyChoice chooseCount(KeyChoice current, int count) {
    current.count = count;
    if (count == 0)
        current.signs = 1;
    else if (current.signs == 1)
        current.signs = 2;
    return current;
}

} // namespace pokopen
