#include "model/new_song.h"
#include "model/store_check.h"
#include "model/timeline.h"
#include "signature/signature_dialogs.h"
#include "signature/signature_edit.h"
#include "signature/signature_page.h"
#include "support/song_builders.h"
#include "support/step_counter.h"
#include "ui/radio_group.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace pokopen {
namespace {

QRgb textColour(const QWidget* w) {
    return w->palette().color(QPalette::WindowText).rgb() & 0xFFFFFF;
}

class SignaturePageTest : public ::testing::Test {
protected:
    SongDocument session;
    SignaturePage page{session};
    std::optional<int> nextKey, nextMeter;
    QString warning;

    void SetUp() override {
        newSong(writableSong(session));
        page.setPrompts({[this](int) { return nextKey; }, [this](int) { return nextMeter; },
                         [this](const QString& text) { warning = text; }});
        page.show();
    }
    QLabel* label(const char* name) { return page.findChild<QLabel*>(name); }
    QPushButton* button(const char* name) { return page.findChild<QPushButton*>(name); }
    void showMeasure(int m) {
        session.setCurrentMeasure(m);
        page.updateSignatureTab();
    }
};

TEST_F(SignaturePageTest, NewSongAtMeasuresOneAndFive) {
    showMeasure(0);
    EXPECT_EQ(label("lblStyle1")->text(), "調号0");
    EXPECT_EQ(label("lblStyle2")->text(), "C-dur");
    EXPECT_EQ(label("lblRhythm")->text(), "4/4");
    EXPECT_EQ(label("lblStlInfo")->text(), "この小節からこの調が始まります。");
    EXPECT_EQ(label("lblRtmInfo")->text(), "この小節からこの拍子が始まります。");
    EXPECT_EQ(textColour(label("lblStlInfo")), 0xFF0000u);
    EXPECT_EQ(textColour(label("lblRtmInfo")), 0xFF0000u);
    EXPECT_EQ(textColour(label("lblStyle1")), 0x000000u);
    EXPECT_FALSE(button("btnStlDelete")->isEnabled());
    EXPECT_FALSE(button("btnRtmDelete")->isEnabled());
    EXPECT_TRUE(button("btnStlChange")->isEnabled());

    showMeasure(4);
    EXPECT_EQ(label("lblStlInfo")->text(), "この調は前からの続きです。");
    EXPECT_EQ(label("lblRtmInfo")->text(), "この拍子は前からの続きです。");
    EXPECT_EQ(textColour(label("lblStlInfo")), 0x0000FFu);
    EXPECT_EQ(textColour(label("lblRtmInfo")), 0x0000FFu);
    EXPECT_EQ(textColour(label("lblStyle1")), 0xC0C0C0u);
    EXPECT_EQ(textColour(label("lblStyle2")), 0xC0C0C0u);
    EXPECT_EQ(textColour(label("lblRhythm")), 0xC0C0C0u);
    EXPECT_FALSE(button("btnStlDelete")->isEnabled());
    EXPECT_FALSE(button("btnRtmDelete")->isEnabled());
}

TEST_F(SignaturePageTest, ButtonsChangeAndRemoveSignaturesAtTheCurrentMeasure) {
    testing::StepCounter edited(session);
    showMeasure(4);
    nextKey = 8; // E-flat major
    QTest::mouseClick(button("btnStlChange"), Qt::LeftButton);
    EXPECT_EQ(label("lblStyle1")->text(), "♭3つ");
    EXPECT_EQ(label("lblStyle2")->text(), "Es-dur");
    EXPECT_TRUE(button("btnStlDelete")->isEnabled());

    nextMeter = 3; // 3/4
    QTest::mouseClick(button("btnRtmChange"), Qt::LeftButton);
    EXPECT_EQ(label("lblRhythm")->text(), "3/4");
    EXPECT_EQ(measureToTick(session.song().store, 5), 4 * 96 + 72);
    EXPECT_EQ(edited.count(), 2);

    // Cancel and the value in force change nothing.
    nextKey.reset();
    QTest::mouseClick(button("btnStlChange"), Qt::LeftButton);
    nextMeter = 3;
    QTest::mouseClick(button("btnRtmChange"), Qt::LeftButton);
    EXPECT_EQ(edited.count(), 2);

    QTest::mouseClick(button("btnRtmDelete"), Qt::LeftButton);
    QTest::mouseClick(button("btnStlDelete"), Qt::LeftButton);
    EXPECT_EQ(session.song().row(SIGNATURE_ROW).count(), 2);
    EXPECT_FALSE(button("btnStlDelete")->isEnabled());
    EXPECT_EQ(edited.count(), 4);
    EXPECT_EQ(checkStore(session.song()), "");
}

TEST_F(SignaturePageTest, MeterThatWouldCutTheSongIsRefusedWithAWarning) {
    testing::addNote(writableSong(session), 0, 999 * 96, 96, 30);
    testing::StepCounter edited(session);
    showMeasure(10);
    nextMeter = 2; // 2/4
    QTest::mouseClick(button("btnRtmChange"), Qt::LeftButton);
    EXPECT_FALSE(warning.isEmpty());
    EXPECT_EQ(edited.count(), 0);
    EXPECT_EQ(label("lblRhythm")->text(), "4/4");
}

TEST(KeyDialogTest, FourControlsShowOneKey) {
    SongDocument session;
    TfrmStyle dialog(session);
    dialog.show();
    auto* list = dialog.findChild<QListWidget*>("lstStyle");
    auto* count = dialog.findChild<RadioGroup*>("rgrStlNum");
    auto* signs = dialog.findChild<RadioGroup*>("rgrStlSF");
    auto* mode = dialog.findChild<RadioGroup*>("rgrStlDM");
    ASSERT_TRUE(list && count && signs && mode);
    EXPECT_EQ(dialog.windowTitle(), "調性の変更");
    EXPECT_EQ(list->count(), 30);
    EXPECT_EQ(dialog.key(), 14);

    QTest::mouseClick(count->item(3), Qt::LeftButton);
    EXPECT_EQ(list->currentItem()->text(), "A-dur(イ長調・Ａメジャー)");
    EXPECT_EQ(signs->itemIndex(), 2);

    QTest::mouseClick(mode->item(1), Qt::LeftButton);
    EXPECT_EQ(dialog.key(), 21);
    QTest::mouseClick(signs->item(1), Qt::LeftButton);
    EXPECT_EQ(list->currentItem()->text(), "a-moll(イ短調・Ａマイナー)");
    EXPECT_EQ(count->itemIndex(), 0);

    dialog.setKey(5); // b-moll: five flats, minor
    EXPECT_EQ(signs->itemIndex(), 0);
    EXPECT_EQ(count->itemIndex(), 5);
    EXPECT_EQ(mode->itemIndex(), 1);
}

TEST(KeyDialogTest, EveryWayOfMovingTheListShowsItsKeyInTheGroups) {
    SongDocument session;
    TfrmStyle dialog(session);
    dialog.show();
    auto* list = dialog.findChild<QListWidget*>("lstStyle");
    const auto groups = [&dialog] {
        return KeyChoice{dialog.findChild<RadioGroup*>("rgrStlSF")->itemIndex(),
                         dialog.findChild<RadioGroup*>("rgrStlNum")->itemIndex(),
                         dialog.findChild<RadioGroup*>("rgrStlDM")->itemIndex()};
    };
    list->setFocus();
    const std::vector<std::pair<Qt::Key, int>> moves = {
        {Qt::Key_Down, 15}, {Qt::Key_Up, 14}, {Qt::Key_End, 29}, {Qt::Key_Home, 0}, {Qt::Key_PageDown, -1}};
    for (const auto& [key, expected] : moves) {
        QTest::keyClick(list, key);
        if (expected >= 0) {
            EXPECT_EQ(dialog.key(), expected) << key;
        }
        EXPECT_EQ(groups(), keyChoiceOf(dialog.key())) << "after key " << key;
    }
    QTest::keyClicks(list, "a"); // typing moves to the next item that starts with the letter
    EXPECT_EQ(list->currentItem()->text().front().toLower(), u'a');
    EXPECT_EQ(groups(), keyChoiceOf(dialog.key()));
}

TEST(MeterDialogTest, EighteenMetersAndThePreselectedItem) {
    SongDocument session;
    TfrmRhythm dialog(session);
    auto* group = dialog.findChild<RadioGroup*>("rgrRhythm");
    ASSERT_TRUE(group);
    EXPECT_EQ(dialog.windowTitle(), "拍子の変更");
    ASSERT_EQ(group->count(), 18);
    EXPECT_EQ(group->item(17)->text(), "12/8");
    dialog.setItem(4);
    EXPECT_EQ(dialog.item(), 4);
}

} // namespace
} // namespace pokopen
