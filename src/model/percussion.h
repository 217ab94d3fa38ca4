#pragma once

#include <array>
#include <string_view>

// The drum sounds of part 10: a part-10 note's value is an index into this list, and index i
// sounds MIDI key 81 - i.
namespace pokopen {

inline constexpr int PERCUSSION_COUNT = 47;

// Names as the drum view shows them (UTF-8), index 0 to 46.
inline constexpr std::array<std::string_view, PERCUSSION_COUNT> PERCUSSION_NAMES = {
    "開トライアングル", "閉トライアングル", "開Ｃｕｉｃａ",
    "閉Ｃｕｉｃａ",     "低ウッドブロック", "高ウッドブロック",
    "Ｃｌａｖａｓ",     "長ギロ",           "短ギロ",
    "長ホイッスル",     "短ホイッスル",     "マラカス",
    "Ｃａｂａｓａ",     "低アゴゴ",         "高アゴゴ",
    "低Ｔｉｍｂａｌｅ", "高Ｔｉｍｂａｌｅ", "低コンガ",
    "開高コンガ",       "閉高コンガ",       "低ボンゴ",
    "高ボンゴ",         "ライドシンバル2",  "ビブラスラップ",
    "Crushシンバル2",   "カウベル",         "Ｓｐｌａｓｈシンバル",
    "タンバリン",       "ライドベル",       "ドラ",
    "ライドシンバル1",  "高タム",           "Crushシンバル1",
    "中高タム",         "中低タム",         "開ハイハット",
    "低タム",           "ペダルハイハット", "高フロアタム",
    "閉ハイハット",     "低フロアタム",     "スネア2",
    "ハンドクラップ",   "スネア1",          "サイドスティック",
    "バスドラム2",      "バスドラム1",
};

// Drum rows of the drum view, and the index each view shows in its top row.
inline constexpr int DRUM_ROWS = 16;
inline constexpr std::array<int, 3> FIRST_DRUM_OF_VIEW = {0, 16, 31};

// The name of drum index i; an index outside the list (a converted or damaged song may hold
// one) has no name.
constexpr std::string_view percussionName(int index) {
    if (index < 0 || index >= PERCUSSION_COUNT)
        return {};
    return PERCUSSION_NAMES[static_cast<std::size_t>(index)];
}

// Index shown in drum row 0 for scoreView 0 (high), 1 (middle), 2 (low).
constexpr int firstDrumIndex(int scoreView) {
    if (scoreView < 0)
        scoreView = 0;
    if (scoreView > 2)
        scoreView = 2;
    return FIRST_DRUM_OF_VIEW[static_cast<std::size_t>(scoreView)];
}

} // namespace pokopen
