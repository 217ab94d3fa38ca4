#include "score/palette_window.h"

#include <QCloseEvent>
#include <QFile>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace pokopen {
namespace {

class PaletteWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        iniPath = dir.filePath("pokopen.ini");
    }

    TfrmPalette& open() {
        palette = std::make_unique<TfrmPalette>(session, iniPath);
        return *palette;
    }

    void writeIni(const QByteArray& text) const {
        QFile file(iniPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    QToolButton* button(const char* name) const {
        auto* b = palette->findChild<QToolButton*>(name);
        EXPECT_NE(b, nullptr) << name;
        return b;
    }
    QLabel* label(const char* name) const {
        auto* l = palette->findChild<QLabel*>(name);
        EXPECT_NE(l, nullptr) << name;
        return l;
    }
    void click(const char* name) const { QTest::mouseClick(button(name), Qt::LeftButton); }

    QString noteLenText() const { return label("lblNoteLen")->text(); }
    QString signText() const { return label("lblSign")->text(); }
    // The colour lblSign shows at its corner, away from the text.
    QRgb signColour() const { return label("lblSign")->grab().toImage().pixel(2, 2) & 0xFFFFFF; }
    QStringList checkedSigns() const {
        QStringList names;
        for (const char* name : {"tolDFlat", "tolFlat", "tolNatural", "tolSharp", "tolDSharp"}) {
            if (button(name)->isChecked())
                names << name;
        }
        return names;
    }

    static QRgb buttonFace() { return QGuiApplication::palette().color(QPalette::Button).rgb() & 0xFFFFFF; }

    QTemporaryDir dir;
    QString iniPath;
    SongDocument session;
    std::unique_ptr<TfrmPalette> palette;
};

TEST_F(PaletteWindowTest, StartsAsQuarterNoteWithoutAccidental) {
    // Whatever the session held before, the palette starts afresh every run.
    session.palette.noteLength = 9;
    session.palette.accidentalSet = true;
    TfrmPalette& p = open();
    EXPECT_EQ(p.windowTitle(), QStringLiteral("ぽこぺんパレット"));
    EXPECT_TRUE(p.windowFlags().testFlag(Qt::Tool));
    EXPECT_TRUE(p.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(session.palette.noteLength, 24);
    EXPECT_EQ(session.palette.noteLengthTerms, 1);
    EXPECT_FALSE(session.palette.accidentalSet);
    EXPECT_EQ(noteLenText(), QStringLiteral("４"));
    EXPECT_EQ(signText(), QString());
    EXPECT_EQ(signColour(), buttonFace());
    EXPECT_TRUE(checkedSigns().isEmpty());
}

TEST_F(PaletteWindowTest, ToolbarsHoldTheButtonsInOrderWithSeparators) {
    TfrmPalette& p = open();
    p.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&p));
    // ToolBar1: set, add and subtract groups of six 25 x 25 buttons, an 8-pixel separator
    // between the groups.
    const char* lengthNames[] = {"tolNote1",   "tolNote2",   "tolNote4",  "tolNote8",  "tolNote16",
                                 "tolNote32",  "tolNote1p",  "tolNote2p", "tolNote4p", "tolNote8p",
                                 "tolNote16p", "tolNote32p", "tolNote1m", "tolNote2m", "tolNote4m",
                                 "tolNote8m",  "tolNote16m", "tolNote32m"};
    for (int i = 0; i < 18; ++i) {
        QToolButton* b = button(lengthNames[i]);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->parentWidget()->objectName(), "ToolBar1");
        EXPECT_EQ(b->geometry(), QRect(25 * i + 8 * (i / 6), 2, 25, 25)) << lengthNames[i];
        EXPECT_EQ(b->iconSize(), QSize(18, 18));
    }
    // ToolBar2: five accidentals, separator, cancel, separator, lblSign.
    const char* signNames[] = {"tolDFlat", "tolFlat", "tolNatural", "tolSharp", "tolDSharp"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(button(signNames[i])->parentWidget()->objectName(), "ToolBar2");
        EXPECT_EQ(button(signNames[i])->geometry(), QRect(25 * i, 2, 25, 24)) << signNames[i];
        EXPECT_TRUE(button(signNames[i])->isCheckable());
    }
    EXPECT_EQ(button("tolCancel")->geometry(), QRect(133, 2, 25, 24));
    EXPECT_FALSE(button("tolCancel")->isCheckable());
    EXPECT_EQ(label("lblSign")->geometry(), QRect(166, 2, 299, 24));
    EXPECT_EQ(label("lblNoteLen")->height(), 25);
}

TEST_F(PaletteWindowTest, ClientHoldsTheThreeRowsWithNoBandBelow) {
    // The 476 x 114 outer size of the design less its tool-window frame; the window manager
    // adds its own frame (the offscreen platform none).
    TfrmPalette& p = open();
    p.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&p));
    QTest::qWait(0);
    EXPECT_EQ(p.size(), QSize(470, 78));
    EXPECT_EQ(label("lblNoteLen")->width(), p.width());
    EXPECT_EQ(p.findChild<QWidget*>("ToolBar2")->geometry().bottom() + 1, p.height());
}

struct ClickCase {
    const char* name;
    std::vector<const char*> buttons;
    std::int32_t ticks;
    std::int32_t terms;
    const char* label; // UTF-8
};

class PaletteLengthClicks : public PaletteWindowTest, public ::testing::WithParamInterface<ClickCase> {};

TEST_P(PaletteLengthClicks, UpdateStateAndLabel) {
    const ClickCase& c = GetParam();
    open();
    for (const char* name : c.buttons)
        click(name);
    EXPECT_EQ(session.palette.noteLength, c.ticks);
    EXPECT_EQ(session.palette.noteLengthTerms, c.terms);
    EXPECT_EQ(noteLenText(), QString::fromUtf8(c.label));
    EXPECT_EQ(session.palette.noteLengthText, std::string(c.label));
}

INSTANTIATE_TEST_SUITE_P(
    Examples, PaletteLengthClicks,
    ::testing::Values(ClickCase{"DottedQuarter", {"tolNote4", "tolNote8p"}, 36, 2, "４+８"},
                      ClickCase{"EighthLessA32nd", {"tolNote8", "tolNote32m"}, 9, 2, "８-32"},
                      ClickCase{"NothingLeftIgnored", {"tolNote32", "tolNote32m"}, 3, 1, "32"},
                      ClickCase{
                          "HalfLessWholeIgnored", {"tolNote2", "tolNote1m", "tolNote16m"}, 42, 2, "２-16"},
                      ClickCase{"NinthTermIgnored",
                                {"tolNote1", "tolNote1p", "tolNote1p", "tolNote1p", "tolNote1p", "tolNote1p",
                                 "tolNote1p", "tolNote1p", "tolNote1p", "tolNote32m"},
                                768,
                                8,
                                "全+全+全+全+全+全+全+全"}),
    [](const ::testing::TestParamInfo<ClickCase>& param) { return std::string(param.param.name); });

struct SignCase {
    const char* button;
    std::int8_t accidental;
    const char* text; // UTF-8
    QRgb colour;
};

class PaletteSignClicks : public PaletteWindowTest, public ::testing::WithParamInterface<SignCase> {};

TEST_P(PaletteSignClicks, ChooseAccidentalAndColourTheSign) {
    const SignCase& c = GetParam();
    open();
    for (int pressTwice = 0; pressTwice < 2; ++pressTwice) {
        // A pressed button stays pressed when clicked again.
        click(c.button);
        EXPECT_TRUE(session.palette.accidentalSet);
        EXPECT_EQ(session.palette.accidental, c.accidental);
        EXPECT_EQ(signText(), QString::fromUtf8(c.text));
        EXPECT_EQ(signColour(), c.colour);
        EXPECT_EQ(checkedSigns(), QStringList{c.button});
    }
}

INSTANTIATE_TEST_SUITE_P(Signs, PaletteSignClicks,
                         ::testing::Values(SignCase{"tolDFlat", -2, "ダブルフラット", 0x000080},
                                           SignCase{"tolFlat", -1, "フラット", 0x0000FF},
                                           SignCase{"tolNatural", 0, "ナチュラル", 0x008000},
                                           SignCase{"tolSharp", 1, "シャープ", 0xFF0000},
                                           SignCase{"tolDSharp", 2, "ダブルシャープ", 0x800000}),
                         [](const ::testing::TestParamInfo<SignCase>& param) {
                             return std::string(param.param.button);
                         });

TEST_F(PaletteWindowTest, LaterAccidentalReplacesEarlierOne) {
    open();
    click("tolDSharp");
    click("tolFlat");
    EXPECT_EQ(session.palette.accidental, -1);
    EXPECT_EQ(signText(), QStringLiteral("フラット"));
    EXPECT_EQ(signColour(), 0x0000FFu);
    EXPECT_EQ(checkedSigns(), QStringList{"tolFlat"});
}

TEST_F(PaletteWindowTest, CancelReleasesEveryAccidental) {
    open();
    click("tolSharp");
    click("tolCancel");
    EXPECT_FALSE(session.palette.accidentalSet);
    EXPECT_EQ(session.palette.accidental, 1); // kept, not in force
    EXPECT_TRUE(checkedSigns().isEmpty());
    EXPECT_EQ(signText(), QString());
    EXPECT_EQ(signColour(), buttonFace());

    // The buttons still release one another afterwards.
    click("tolNatural");
    click("tolDFlat");
    EXPECT_EQ(checkedSigns(), QStringList{"tolDFlat"});
    EXPECT_EQ(session.palette.accidental, -2);
    EXPECT_TRUE(session.palette.accidentalSet);
}

TEST_F(PaletteWindowTest, RefusesToClose) {
    TfrmPalette& p = open();
    p.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&p));
    EXPECT_FALSE(p.close());
    EXPECT_TRUE(p.isVisible());
    QCloseEvent fromTheUser;
    QCoreApplication::sendEvent(&p, &fromTheUser);
    EXPECT_FALSE(fromTheUser.isAccepted());
    EXPECT_TRUE(p.isVisible());
}

TEST_F(PaletteWindowTest, JapaneseTextsFitTheirLabels) {
    TfrmPalette& p = open();
    EXPECT_EQ(QFontMetrics(p.font()).height(), 12);
    const QLabel* noteLen = label("lblNoteLen");
    const QLabel* sign = label("lblSign");
    EXPECT_EQ(QFontMetrics(noteLen->font()).height(), 24);
    EXPECT_TRUE(noteLen->font().bold());
    // The P Gothic stand-in has no size with a 24-pixel cell (22 pixels give 23, 23 give 25);
    // the largest that fits the 24-pixel label is taken.
    EXPECT_EQ(QFontMetrics(sign->font()).height(), 23);
    EXPECT_EQ(noteLen->palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_EQ(noteLen->palette().color(QPalette::WindowText), QColor(Qt::black));
    EXPECT_EQ(sign->palette().color(QPalette::WindowText), QColor(Qt::white));

    // The longest texts fit: eight terms of the widest value, the longest accidental name.
    EXPECT_LE(QFontMetrics(noteLen->font()).horizontalAdvance(QStringLiteral("16-16-16-16-16-16-16-16")),
              476 - 8);
    EXPECT_LE(QFontMetrics(sign->font()).horizontalAdvance(QStringLiteral("ダブルシャープ")), 299);

    // The sign's text is drawn in white over its colour.
    click("tolDSharp");
    const QImage image = label("lblSign")->grab().toImage();
    int white = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            white += (image.pixel(x, y) & 0xFFFFFF) == 0xFFFFFF ? 1 : 0;
    }
    EXPECT_GT(white, 50);
}

TEST_F(PaletteWindowTest, OpensWhereTheIniFileSays) {
    writeIni("[OTHER]\nX=1\n[PALETTE]\nX=500\nY=40\n");
    EXPECT_EQ(open().pos(), QPoint(500, 40));
}

TEST_F(PaletteWindowTest, DefaultPositionWithoutUsableIniFile) {
    struct Case {
        const char* name;
        QByteArray ini; // empty: no file at all
    };
    const Case cases[] = {
        {"no file", {}},
        {"no section", "[OTHER]\nX=500\nY=40\n"},
        {"keys missing", "[PALETTE]\n"},
        {"not numbers", "[PALETTE]\nX=left\nY=\n"},
        {"off every screen", "[PALETTE]\nX=90000\nY=-90000\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(iniPath);
        if (!c.ini.isEmpty())
            writeIni(c.ini);
        EXPECT_EQ(open().pos(), QPoint(164, 366));
    }
    writeIni("[PALETTE]\nY=40\n"); // each key stands on its own
    EXPECT_EQ(open().pos(), QPoint(164, 40));
}

TEST_F(PaletteWindowTest, SavedPositionIsWhereItReopens) {
    writeIni("[MIDI]\nOutput=synth\n");
    {
        TfrmPalette& p = open();
        p.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&p));
        p.move(500, 40);
        EXPECT_TRUE(p.savePosition());
        palette.reset();
    }
    QSettings ini(iniPath, QSettings::IniFormat);
    EXPECT_EQ(ini.value("PALETTE/X").toInt(), 500);
    EXPECT_EQ(ini.value("PALETTE/Y").toInt(), 40);
    EXPECT_EQ(ini.value("MIDI/Output").toString(), "synth"); // other settings stay

    TfrmPalette& again = open();
    again.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&again));
    EXPECT_EQ(again.pos(), QPoint(500, 40));
}

TEST_F(PaletteWindowTest, SavingToAnUnwritablePlaceReportsFailure) {
    iniPath = dir.filePath("no-such-folder/and-a-file-in-the-way");
    QFile blocker(dir.filePath("no-such-folder"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
    blocker.close();
    EXPECT_FALSE(open().savePosition());
}

} // namespace
} // namespace pokopen
