#include "navigation/find_dialog.h"
#include "ui/radio_group.h"

#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace pokopen {
namespace {

TEST(FindDialogTest, ChoicesPersistAfterCancel) {
    SongDocument session;
    TfrmFind dialog(session);
    EXPECT_EQ(dialog.windowTitle(), "検索");
    EXPECT_EQ(dialog.kind(), SearchKind::Key);
    EXPECT_EQ(dialog.start(), SearchStart::CurrentMeasure);

    QTimer::singleShot(0, &dialog, [&] {
        // Click on the radio indicator: the rest of a wide item does not take clicks.
        const auto clickItem = [](RadioGroup* group, int i) {
            QRadioButton* b = group->item(i);
            QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(8, b->height() / 2));
        };
        clickItem(dialog.rgrKind(), 1);
        clickItem(dialog.rgrMode(), 1);
        QTest::mouseClick(dialog.findChild<QPushButton*>("btnCancel"), Qt::LeftButton);
    });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_EQ(dialog.kind(), SearchKind::Meter);
    EXPECT_EQ(dialog.start(), SearchStart::FirstMeasure);
}

} // namespace
} // namespace pokopen
