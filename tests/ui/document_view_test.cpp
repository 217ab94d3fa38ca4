#include "curves/curve_page.h"
#include "editor/editor_window.h"
#include "model/new_song.h"
#include "parts/all_part_dialog.h"
#include "parts/part_page.h"
#include "score/score_page.h"
#include "score/staff_paint.h"
#include "signature/signature_edit.h"
#include "signature/signature_page.h"
#include "support/recording_midi_out.h"
#include "support/song_builders.h"
#include "ui/image_view.h"

#include <QCheckBox>
#include <QCryptographicHash>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

// Pages follow the document by themselves: a change made elsewhere (another window, undo) redraws
// the page on view and, on a hidden page, when it next comes on view. No main window takes part.
namespace pokopen {
namespace {

QString imageOf(const QWidget& page, const char* name) {
    const auto* view = page.findChild<ImageView*>(QString::fromLatin1(name));
    const QImage& image = view->image();
    const QByteArray bytes(reinterpret_cast<const char*>(image.constBits()),
                           static_cast<qsizetype>(image.sizeInBytes()));
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

QString textOf(const QWidget& page, const char* name) {
    return page.findChild<QLabel*>(QString::fromLatin1(name))->text();
}

struct PageCase {
    const char* name;
    std::function<std::unique_ptr<QWidget>(SongDocument&, MidiOut&)> make;
    std::function<QString(const QWidget&)> shows;
    std::function<void(Song&)> change; // made elsewhere, at part 1 measure 1
};

TEST(DocumentView, EveryPageFollowsAChangeMadeElsewhereAndItsUndo) {
    const PageCase cases[] = {
        {"staff", [](SongDocument& d, MidiOut&) { return std::make_unique<ScorePage>(d); },
         [](const QWidget& p) { return imageOf(p, "imgScore"); },
         [](Song& s) { testing::addNote(s, 0, 0, 24, 23); }},
        {"dynamics", [](SongDocument& d, MidiOut&) { return std::make_unique<DynamicsPage>(d); },
         [](const QWidget& p) { return imageOf(p, "imgExp"); },
         [](Song& s) { editDynamicsPoint(s, 0, 48, 30, CurveMode::Input); }},
        {"tempo", [](SongDocument& d, MidiOut&) { return std::make_unique<TempoPage>(d); },
         [](const QWidget& p) { return imageOf(p, "imgTempo"); },
         [](Song& s) { editTempoPoint(s, 48, 200, CurveMode::Input); }},
        {"pan", [](SongDocument& d, MidiOut&) { return std::make_unique<PanPage>(d); },
         [](const QWidget& p) { return imageOf(p, "imgPan"); },
         [](Song& s) { editPanPoint(s, 0, 48, 10, CurveMode::Input); }},
        {"signatures", [](SongDocument& d, MidiOut&) { return std::make_unique<SignaturePage>(d); },
         [](const QWidget& p) { return textOf(p, "lblStyle1") + textOf(p, "lblRhythm"); },
         [](Song& s) { changeKey(s, 0, 16); }},
        {"part settings", [](SongDocument& d, MidiOut& out) { return std::make_unique<PartPage>(d, out); },
         [](const QWidget& p) { return textOf(p, "lblVol"); }, [](Song& s) { s.partVolume[0] = 64; }},
        {"measure editor", [](SongDocument& d, MidiOut&) { return std::make_unique<TfrmEditor>(d); },
         [](const QWidget& p) { return imageOf(p, "imgEditor"); },
         [](Song& s) { testing::addNote(s, 0, 0, 24, 23); }},
    };
    for (const PageCase& c : cases) {
        SongDocument doc;
        testing::RecordingMidiOut out;
        std::unique_ptr<QWidget> page = c.make(doc, out);
        page->show();
        const QString before = c.shows(*page);
        ASSERT_TRUE(doc.change("変更", {}, c.change)) << c.name;
        const QString after = c.shows(*page);
        EXPECT_NE(after.toStdString(), before.toStdString()) << c.name << ": redrawn after the change";
        doc.undo();
        EXPECT_EQ(c.shows(*page).toStdString(), before.toStdString()) << c.name << ": redrawn after the undo";

        // Hidden, the page waits; shown again, it shows the song as it is.
        page->hide();
        doc.redo();
        EXPECT_EQ(c.shows(*page).toStdString(), before.toStdString()) << c.name;
        page->show();
        EXPECT_EQ(c.shows(*page).toStdString(), after.toStdString())
            << c.name << ": redrawn when it came on view";
    }
}

TEST(DocumentView, TheBulkDialogsTranspositionRedrawsTheStaffsKey) {
    SongDocument doc;
    ScorePage staff(doc);
    staff.show();
    const QString concert = imageOf(staff, "imgScore");

    TfrmAllPart dialog(doc, [] { return std::make_unique<testing::RecordingMidiOut>(); });
    dialog.findChild<QCheckBox*>(QStringLiteral("chkPart1"))->setChecked(true);
    dialog.findChild<QCheckBox*>(QStringLiteral("chkTrans"))->setChecked(true);
    dialog.findChild<QWidget*>(QStringLiteral("rgrTrans"))->findChildren<QRadioButton*>()[3]->click();
    dialog.findChild<QPushButton*>(QStringLiteral("btnOk"))->click();
    ASSERT_NE(doc.song().partTransposition[0], 2);

    // The staff now shows the written key of the transposing instrument.
    EXPECT_NE(imageOf(staff, "imgScore"), concert);
    const QImage expected = renderStaff(doc.song(), doc.editing());
    EXPECT_EQ(staff.imgScore()->image(), expected);
    doc.undo();
    EXPECT_EQ(imageOf(staff, "imgScore"), concert);
}

} // namespace
} // namespace pokopen
