#include "app/midi_import_dialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>

namespace pokopen {
namespace {

TEST(TfrmMidiImportTest, OffersTheGridsWithAutomaticAndTidyingFirst) {
    TfrmMidiImport dlg;
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("MIDIファイルの読み込み設定"));
    auto* grid = dlg.findChild<QComboBox*>(QStringLiteral("cmbGrid"));
    auto* tidy = dlg.findChild<QCheckBox*>(QStringLiteral("chkTidy"));
    ASSERT_TRUE(grid && tidy);
    QStringList items;
    for (int i = 0; i < grid->count(); ++i)
        items << grid->itemText(i);
    EXPECT_EQ(items, (QStringList{QStringLiteral("自動"), QStringLiteral("8分"), QStringLiteral("8分3連"),
                                  QStringLiteral("16分"), QStringLiteral("16分3連"), QStringLiteral("32分"),
                                  QStringLiteral("そのまま（96分）")}));
    EXPECT_EQ(tidy->text(), QStringLiteral("演奏のずれを整える(&T)"));
    EXPECT_EQ(dlg.chosen().grid, MidiGrid::Auto);
    EXPECT_TRUE(dlg.chosen().tidyPlaying);
    // Exact times leave nothing to tidy.
    grid->setCurrentIndex(grid->count() - 1);
    EXPECT_EQ(dlg.chosen().grid, MidiGrid::Exact);
    EXPECT_FALSE(tidy->isEnabled());
    grid->setCurrentIndex(3);
    tidy->setChecked(false);
    EXPECT_EQ(dlg.chosen().grid, MidiGrid::Sixteenth);
    EXPECT_FALSE(dlg.chosen().tidyPlaying);
}

} // namespace
} // namespace pokopen
