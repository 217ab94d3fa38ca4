#include "document/palette_state.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace pokopen {
namespace {

enum class Op { Set, Add, Subtract };

struct Press {
    Op op;
    NoteValue value;
};

// Presses the buttons in order; returns how many were accepted.
int press(PaletteState& palette, const std::vector<Press>& presses) {
    int accepted = 0;
    for (const Press& p : presses) {
        switch (p.op) {
        case Op::Set:
            setNoteLength(palette, p.value);
            ++accepted;
            break;
        case Op::Add:
            accepted += addNoteLength(palette, p.value) ? 1 : 0;
            break;
        case Op::Subtract:
            accepted += subtractNoteLength(palette, p.value) ? 1 : 0;
            break;
        }
    }
    return accepted;
}

constexpr Press set(NoteValue v) {
    return {Op::Set, v};
}
constexpr Press add(NoteValue v) {
    return {Op::Add, v};
}
constexpr Press sub(NoteValue v) {
    return {Op::Subtract, v};
}

using enum NoteValue;

struct LengthCase {
    const char* name;
    std::vector<Press> presses;
    int accepted;
    std::int32_t ticks;
    std::int32_t terms;
    std::string text; // UTF-8
};

class NoteLengthArithmetic : public ::testing::TestWithParam<LengthCase> {};

TEST_P(NoteLengthArithmetic, GivesLengthTermsAndLabel) {
    const LengthCase& c = GetParam();
    PaletteState palette;
    EXPECT_EQ(press(palette, c.presses), c.accepted);
    EXPECT_EQ(palette.noteLength, c.ticks);
    EXPECT_EQ(palette.noteLengthTerms, c.terms);
    EXPECT_EQ(palette.noteLengthText, c.text);
}

const std::vector<Press> WHOLE_PLUS_SEVEN_WHOLES = {set(Whole), add(Whole), add(Whole), add(Whole),
                                                    add(Whole), add(Whole), add(Whole), add(Whole)};

std::vector<Press> withExtra(std::vector<Press> presses, Press extra) {
    presses.push_back(extra);
    return presses;
}

INSTANTIATE_TEST_SUITE_P(
    Examples, NoteLengthArithmetic,
    ::testing::Values(
        // Each set button on its own, with its label text.
        LengthCase{"Whole", {set(Whole)}, 1, 96, 1, "全"}, LengthCase{"Half", {set(Half)}, 1, 48, 1, "２"},
        LengthCase{"Quarter", {set(Quarter)}, 1, 24, 1, "４"},
        LengthCase{"Eighth", {set(Eighth)}, 1, 12, 1, "８"},
        LengthCase{"Sixteenth", {set(Sixteenth)}, 1, 6, 1, "16"},
        LengthCase{"ThirtySecond", {set(ThirtySecond)}, 1, 3, 1, "32"},
        // Combinations of everyday lengths.
        LengthCase{"DottedQuarter", {set(Quarter), add(Eighth)}, 2, 36, 2, "４+８"},
        LengthCase{"DoubleDottedHalf", {set(Half), add(Quarter), add(Eighth)}, 3, 84, 3, "２+４+８"},
        LengthCase{"HalfTiedToSixteenth", {set(Half), add(Sixteenth)}, 2, 54, 2, "２+16"},
        LengthCase{"WholeLessA32nd", {set(Whole), sub(ThirtySecond)}, 2, 93, 2, "全-32"},
        LengthCase{"EighthLessA32nd", {set(Eighth), sub(ThirtySecond)}, 2, 9, 2, "８-32"},
        // A set starts afresh whatever came before.
        LengthCase{"SetRestarts", {set(Whole), add(Half), add(Eighth), set(Sixteenth)}, 4, 6, 1, "16"},
        // Subtractions that would leave nothing are ignored and use up no term.
        LengthCase{"ThirtySecondLessItself", {set(ThirtySecond), sub(ThirtySecond)}, 1, 3, 1, "32"},
        LengthCase{"HalfLessWhole", {set(Half), sub(Whole)}, 1, 48, 1, "２"},
        LengthCase{"HalfLessHalf", {set(Half), sub(Half), sub(Quarter)}, 2, 24, 2, "２-４"},
        // The eighth term is the last one.
        LengthCase{"EightWholes", WHOLE_PLUS_SEVEN_WHOLES, 8, 768, 8, "全+全+全+全+全+全+全+全"},
        LengthCase{"NinthAddIgnored", withExtra(WHOLE_PLUS_SEVEN_WHOLES, add(ThirtySecond)), 8, 768, 8,
                   "全+全+全+全+全+全+全+全"},
        LengthCase{"NinthSubtractIgnored", withExtra(WHOLE_PLUS_SEVEN_WHOLES, sub(ThirtySecond)), 8, 768, 8,
                   "全+全+全+全+全+全+全+全"},
        LengthCase{"MixedEightTerms",
                   {set(Whole), sub(ThirtySecond), add(Sixteenth), sub(Eighth), add(Quarter), sub(Half),
                    add(ThirtySecond), sub(Sixteenth), add(Whole)},
                   8,
                   60,
                   8,
                   "全-32+16-８+４-２+32-16"}),
    [](const ::testing::TestParamInfo<LengthCase>& param) { return std::string(param.param.name); });

TEST(NoteLength, RefusedPressLeavesStateUntouched) {
    PaletteState palette;
    setNoteLength(palette, Sixteenth);
    const PaletteState before = palette;
    EXPECT_FALSE(subtractNoteLength(palette, Eighth));
    EXPECT_EQ(palette.noteLength, before.noteLength);
    EXPECT_EQ(palette.noteLengthTerms, before.noteLengthTerms);
    EXPECT_EQ(palette.noteLengthText, before.noteLengthText);
}

TEST(NoteLength, RandomPressesStayWithinLimits) {
    // Whatever is pressed, the length stays a positive multiple of 3 of at most eight whole
    // notes, the terms stay within 1..8 and the label has one text per term.
    const unsigned seed = 20240613;
    SCOPED_TRACE(::testing::Message() << "seed " << seed);
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> pickOp(0, 6);
    std::uniform_int_distribution<int> pickValue(0, 5);
    PaletteState palette;
    for (int i = 0; i < 20000; ++i) {
        const auto value = static_cast<NoteValue>(pickValue(random));
        const int op = pickOp(random);
        if (op == 0)
            setNoteLength(palette, value);
        else if (op <= 3)
            addNoteLength(palette, value);
        else
            subtractNoteLength(palette, value);
        ASSERT_GE(palette.noteLength, 3);
        ASSERT_LE(palette.noteLength, 8 * 96);
        ASSERT_EQ(palette.noteLength % 3, 0);
        ASSERT_GE(palette.noteLengthTerms, 1);
        ASSERT_LE(palette.noteLengthTerms, MAX_NOTE_LENGTH_TERMS);
        int signs = 0;
        for (char ch : palette.noteLengthText)
            signs += (ch == '+' || ch == '-') ? 1 : 0;
        ASSERT_EQ(signs + 1, palette.noteLengthTerms) << palette.noteLengthText;
    }
}

TEST(Accidental, ChooseCancelAndChooseAgain) {
    PaletteState palette;
    EXPECT_FALSE(palette.accidentalSet);

    EXPECT_TRUE(chooseAccidental(palette, 2));
    EXPECT_TRUE(chooseAccidental(palette, -1));
    EXPECT_TRUE(palette.accidentalSet);
    EXPECT_EQ(palette.accidental, -1);

    cancelAccidental(palette);
    EXPECT_FALSE(palette.accidentalSet);
    EXPECT_EQ(palette.accidental, -1); // kept, but not in force

    EXPECT_TRUE(chooseAccidental(palette, 0)); // natural is a choice, not the absence of one
    EXPECT_TRUE(palette.accidentalSet);
    EXPECT_EQ(palette.accidental, 0);
}

TEST(Accidental, OutOfRangeRefused) {
    PaletteState palette;
    chooseAccidental(palette, 1);
    for (std::int8_t bad : {std::int8_t{-3}, std::int8_t{3}, std::int8_t{127}}) {
        EXPECT_FALSE(chooseAccidental(palette, bad));
        EXPECT_TRUE(palette.accidentalSet);
        EXPECT_EQ(palette.accidental, 1);
    }
}

} // namespace
} // namespace pokopen
