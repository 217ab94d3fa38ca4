#include "app/main_window.h"
#include "curves/curve_page.h"
#include "editor/editor_window.h"
#include "midifile/midi_file.h"
#include "model/file_fingerprint.h"
#include "model/new_song.h"
#include "model/song_file.h"
#include "model/store_check.h"
#include "playback/scheduled_player.h"
#include "player/play_position_line.h"
#include "player/player_window.h"
#include "recovery/recovery_test_support.h"
#include "score/key_entry.h"
#include "score/palette_window.h"
#include "score/score_page.h"
#include "signature/signature_page.h"
#include "support/fake_clock.h"
#include "support/recording_midi_out.h"
#include "support/scripted_prompts.h"
#include "support/song_builders.h"
#include "ui/image_view.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QWindow>

#include "support/test_files.h"

#include <gtest/gtest.h>

#include <deque>

namespace pokopen {
namespace {

using testing::FakeClock;
using testing::RecordingMidiOut;
using testing::ScriptedPrompts;

// An edit of the song through the document, as any page makes one.
void editTheSong(TfrmMain& w) {
    w.session().change("test", {}, [](Song& song) { song.songTitle += "!"; });
}

class MainWindowTest : public ::testing::Test {
protected:
    std::unique_ptr<TfrmMain> make(const QStringList& args = {}) {
        // Test notes go nowhere, so that no test waits for a synthesizer.
        QSettings ini(path("pokopen.ini"), QSettings::IniFormat);
        ini.setValue("MIDIOUT/Device", "none");
        ini.sync();
        return std::make_unique<TfrmMain>(
            args, std::make_unique<ScriptedPrompts>(script),
            TfrmMain::Files{path("pokopen.ini"), path("knb.mid"), path("recovery")});
    }
    QString path(const QString& name) const { return dir.filePath(name); }
    void saveNote(const QString& name, int part = 0) {
        Song song = makeNewSong();
        testing::addNote(song, part, 0, 24, 23);
        ASSERT_TRUE(saveSongFile(name.toStdString(), song).ok());
    }
    static QString caption(const QString& title) { return title + QStringLiteral(" - ぽこぺんシーケンサ"); }
    // The caption as the window system shows it, with Qt's modified mark put in.
    static QString shownCaption(QWidget& w) {
        w.winId();
        return w.windowHandle()->title();
    }

    QTemporaryDir dir;
    ScriptedPrompts::Script script;
};

TEST_F(MainWindowTest, StartsWithANewUntitledSong) {
    auto w = make();
    EXPECT_EQ(shownCaption(*w), caption("Notitle"));
    EXPECT_EQ(w->session().song(), makeNewSong());
    EXPECT_TRUE(w->session().untitled());
    EXPECT_FALSE(w->mnuSave->isEnabled());
    EXPECT_FALSE(w->tolSave->isEnabled());
    EXPECT_EQ(w->lblMeas->text(), QStringLiteral("1小節目"));
    EXPECT_EQ(w->lblPart->text(), "1");
    EXPECT_TRUE(w->btnPart[0]->isChecked());
    EXPECT_EQ(w->pagMain->count(), 6);
    // The invisible text tables: the 30 key names and the 47 drum names.
    ASSERT_EQ(w->lstStyle->count(), 30);
    EXPECT_EQ(w->lstStyle->item(14)->text(), "C-dur");
    EXPECT_EQ(w->lstStyle->item(29)->text(), "ais-moll");
    ASSERT_EQ(w->lstPerc->count(), 47);
    EXPECT_EQ(w->lstPerc->item(0)->text(), QStringLiteral("開トライアングル"));
    EXPECT_EQ(w->lstPerc->item(46)->text(), QStringLiteral("バスドラム1"));
    EXPECT_FALSE(w->lstPerc->isVisibleTo(w.get()));
    EXPECT_EQ(w->pagMain->tabText(4), QStringLiteral("調性／拍子(*)"));
}

TEST_F(MainWindowTest, MenusHoldTheirItemsShortcutsAndSeparators) {
    auto w = make();
    // Each menu's entries as "caption|shortcut", separators as "-".
    auto entries = [&](const char* menuName) {
        QStringList out;
        for (QAction* a : w->findChild<QMenu*>(menuName)->actions())
            out << (a->isSeparator() ? QStringLiteral("-") : a->text() + "|" + a->shortcut().toString());
        return out;
    };
    EXPECT_EQ(
        entries("mnuFile"),
        (QStringList{QStringLiteral("新規作成(&N)|Ctrl+N"), QStringLiteral("ファイルを開く(&O)...|Ctrl+O"),
                     "-", QStringLiteral("上書き保存(&S)|Ctrl+S"), QStringLiteral("名前を付けて保存(&A)...|"),
                     QStringLiteral("MIDIファイル出力(&M)...|Ctrl+M"), QStringLiteral("MusicXML出力(&L)...|"),
                     "-", QStringLiteral("曲の設定(&T)...|"), QStringLiteral("パートの一括設定(&P)...|"),
                     QStringLiteral("MIDI出力の設定(&D)...|"), QStringLiteral("FM音源モード(&F)|"), "-",
                     QStringLiteral("ぽこぺんシーケンサの終了(&X)|")}));
    EXPECT_EQ(entries("mnuEdit"),
              (QStringList{QStringLiteral("元に戻す(&U)|Ctrl+Z"), QStringLiteral("やり直し(&R)|Ctrl+Y"), "-",
                           QStringLiteral("編集画面を開く(&W)|"), "-", QStringLiteral("３連符モード(&D)|")}));
    EXPECT_EQ(w->mnuRedo->shortcuts().value(1), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    EXPECT_EQ(entries("mnuSearch"),
              (QStringList{QStringLiteral("検索(&F)...|Ctrl+F"), QStringLiteral("次を検索(&S)|F3"),
                           QStringLiteral("曲の最終地点にジャンプ(&E)|")}));
    EXPECT_EQ(entries("mnuPlay"), (QStringList{QStringLiteral("テスト演奏(&O)|F5"),
                                               QStringLiteral("現在の小節からテスト演奏(&C)|Shift+F5"), "-",
                                               QStringLiteral("演奏位置を表示(&V)|")}));
    EXPECT_EQ(entries("mnuHelp"),
              (QStringList{QStringLiteral("ヘルプの目次(&C)|"), "-", QStringLiteral("バージョン情報(&A)|")}));
    // Every command is there to use, and every toolbar button has its hint.
    for (QAction* a : w->findChildren<QAction*>()) {
        if (!a->isSeparator() && a->objectName().startsWith("mnu") && a != w->mnuSave && a != w->mnuUndo &&
            a != w->mnuRedo) {
            EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
        }
    }
    EXPECT_EQ(w->tolJumpEnd->toolTip(), QStringLiteral("曲の最終地点にジャンプします。"));
    EXPECT_EQ(w->tolFM->toolTip(), QStringLiteral("FM音源モードのON/OFF"));
    EXPECT_EQ(w->tolMPlayFrom->toolTip(), QStringLiteral("現在の小節からテスト演奏します。"));
    EXPECT_FALSE(w->tolMPlayFrom->icon().isNull());
    // The toolbar in its order, separators as null: test play from here right after test play.
    QList<QWidget*> toolbar;
    for (QAction* a : w->tolMain->actions())
        toolbar << (a->isSeparator() ? nullptr : w->tolMain->widgetForAction(a));
    const auto play = toolbar.indexOf(w->tolMPlay);
    ASSERT_GE(play, 1);
    EXPECT_EQ(toolbar.mid(play - 1, 4), (QList<QWidget*>{nullptr, w->tolMPlay, w->tolMPlayFrom, nullptr}));
    EXPECT_TRUE(w->mnuFollow->isCheckable());
    EXPECT_TRUE(w->mnuFollow->isChecked()); // on when the INI file says nothing
}

// The letter after "&" in a caption ("&&" is a plain "&"); nothing when there is none.
QChar mnemonicOf(const QString& text) {
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != QLatin1Char('&'))
            continue;
        if (text[i + 1] != QLatin1Char('&'))
            return text[i + 1].toUpper();
        ++i;
    }
    return {};
}

// Alt+letter, then a letter, reaches exactly one item: the menu bar and each menu give every
// item a letter of its own. Alt+F, X closes the program.
TEST_F(MainWindowTest, EveryMenuGivesEachItemItsOwnLetterAndAltFXQuits) {
    auto w = make();
    QList<QWidget*> menus{w->menuBar()};
    for (QMenu* m : w->findChildren<QMenu*>())
        menus << m;
    for (QWidget* menu : menus) {
        QStringList seen;
        for (QAction* a : menu->actions()) {
            const QChar letter = mnemonicOf(a->text());
            if (letter.isNull())
                continue;
            EXPECT_FALSE(seen.contains(letter))
                << menu->objectName().toStdString() << ": " << a->text().toStdString() << " shares "
                << QString(letter).toStdString();
            seen << letter;
        }
    }

    w->show();
    QApplication::setActiveWindow(w.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    QTest::keyClick(w.get(), Qt::Key_F, Qt::AltModifier);
    auto* file = w->findChild<QMenu*>("mnuFile");
    ASSERT_TRUE(QTest::qWaitFor([&] { return file->isVisible(); }, 2000));
    QTest::keyClick(file, Qt::Key_X);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !w->isVisible(); }, 2000)) << "Alt+F, X did not quit";
}

// The manual's table lists every menu and every item with its keys, as the menus hold them.
TEST_F(MainWindowTest, TheManualListsEveryMenuItemWithItsKeys) {
    QFile file(QStringLiteral(POKOPEN_MANUAL));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString manual = QString::fromUtf8(file.readAll());
    const auto plain = [](QString caption) {
        return caption.remove(QRegularExpression(QStringLiteral("\\(&.\\)"))).remove(QStringLiteral("..."));
    };
    auto w = make();
    for (QAction* top : w->menuBar()->actions()) {
        QMenu* menu = top->menu();
        ASSERT_NE(menu, nullptr);
        EXPECT_TRUE(manual.contains(QStringLiteral("<td>") + plain(menu->title())))
            << menu->title().toStdString();
        for (QAction* a : menu->actions()) {
            if (a->isSeparator())
                continue;
            QStringList keys;
            for (const QKeySequence& k : a->shortcuts())
                keys << k.toString();
            const QString row = "<td>" + plain(a->text()) + "</td><td>" + keys.join(" / ") + "</td>";
            EXPECT_TRUE(manual.contains(row)) << "the manual has no row " << row.toStdString();
        }
    }
}

TEST_F(MainWindowTest, CommandLineJoinsArgumentsWithBlanks) {
    const QString spaced = path("my song.kn2");
    saveNote(spaced);
    auto w = make({path("my"), "song.kn2"});
    EXPECT_EQ(shownCaption(*w), caption("my song"));
    EXPECT_EQ(w->session().song().row(0).count(), 4);
    EXPECT_FALSE(w->session().isModified());
    EXPECT_FALSE(w->session().untitled());

    // An existing file of another kind gives a new song, without a word.
    QFile text(path("notes.txt"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("hello");
    text.close();
    auto w2 = make({path("notes.txt")});
    EXPECT_EQ(shownCaption(*w2), caption("Notitle"));
    EXPECT_TRUE(script.errors.isEmpty());
}

TEST_F(MainWindowTest, NewResetsSelectionsAfterEditing) {
    auto w = make();
    w->btnPart[4]->click();
    w->barMeas->setValue(300);
    w->mnuDivide->trigger();
    ASSERT_TRUE(w->tolDivide->isChecked());
    editTheSong(*w);
    script.answers = {Prompts::Answer::No};
    w->mnuNew->trigger();
    EXPECT_EQ(script.questions, 1);
    EXPECT_EQ(w->session().editing().currentPart, 0);
    EXPECT_EQ(w->session().editing().currentMeasure, 0);
    EXPECT_EQ(w->barMeas->value(), 1);
    EXPECT_EQ(w->session().editing().scoreView, 1);
    EXPECT_FALSE(w->session().editing().tripletMode);
    EXPECT_FALSE(w->mnuDivide->isChecked());
    EXPECT_FALSE(w->tolDivide->isChecked());
    EXPECT_FALSE(w->session().isModified());
}

TEST_F(MainWindowTest, CancelledQuestionStopsTheCommand) {
    auto w = make();
    testing::addNote(writableSong(w->session()), 0, 0, 24, 23);
    editTheSong(*w);
    script.answers = {Prompts::Answer::Cancel};
    w->mnuNew->trigger();
    EXPECT_EQ(w->session().song().row(0).count(), 4);
    EXPECT_TRUE(w->session().isModified());
}

TEST_F(MainWindowTest, YesThenCancelledOrFailedSaveAsKeepsTheUnsavedSong) {
    saveNote(path("a.kn2"), 2);
    auto w = make();
    testing::addNote(writableSong(w->session()), 5, 0, 24, 23);
    editTheSong(*w);
    const Song unsaved = w->session().song();
    // Yes, then the Save As dialog is cancelled: Open, New, a drop and closing all stop.
    script.answers = {Prompts::Answer::Yes, Prompts::Answer::Yes, Prompts::Answer::Yes, Prompts::Answer::Yes};
    script.saveNames = {QString(), QString(), QString(), QString()};
    script.openNames = {path("a.kn2")};
    w->mnuOpen->trigger();
    w->mnuNew->trigger();
    w->openDroppedFiles({path("a.kn2")});
    w->show();
    EXPECT_FALSE(w->close());
    EXPECT_EQ(w->session().song(), unsaved);
    EXPECT_EQ(shownCaption(*w), caption("Notitle*"));
    EXPECT_TRUE(w->session().isModified());

    // Yes, then a save that fails: the song stays too.
    script.answers = {Prompts::Answer::Yes};
    script.saveNames = {path("no/such/folder/x.kn2")};
    w->mnuNew->trigger();
    EXPECT_EQ(w->session().song(), unsaved);
    EXPECT_EQ(script.errors.size(), 1);

    // Yes, then a good save: the command goes on.
    script.answers = {Prompts::Answer::Yes};
    script.saveNames = {path("kept.kn2")};
    script.openNames = {path("a.kn2")};
    w->mnuOpen->trigger();
    EXPECT_EQ(shownCaption(*w), caption("a"));
    Song kept;
    ASSERT_TRUE(loadSongFile(path("kept.kn2").toStdString(), kept).ok());
    EXPECT_EQ(kept, unsaved);
}

TEST_F(MainWindowTest, DroppedKnbSongIsConvertedAndMarkedModified) {
    QFile legacy(path("dropped.knb"));
    ASSERT_TRUE(legacy.open(QIODevice::WriteOnly));
    legacy.write("t\r\nc\r\n0\r\n3\r\n15\r\n0\r\n0\r\n0\r\n0\r\n");
    for (int p = 0; p < 16; ++p)
        legacy.write("0\r\n10\r\n1\r\n");
    legacy.write("2\r\n0\r\n1\r\n23\r\n3\r\n24\r\n2\r\n23\r\n3\r\n");
    for (int p = 1; p < 16; ++p)
        legacy.write("0\r\n");
    legacy.close();
    auto w = make();
    w->openDroppedFiles({path("dropped.knb")});
    EXPECT_EQ(shownCaption(*w), caption("dropped*"));
    EXPECT_EQ(w->session().song().row(0).count(), 4);
    EXPECT_TRUE(w->session().isModified());
    EXPECT_TRUE(w->tolSave->isEnabled());
    EXPECT_FALSE(w->session().untitled());
}

TEST_F(MainWindowTest, MidiFilesOpenAsNewSongsNamedAfterTheFile) {
    Song song = makeNewSong();
    testing::addNote(song, 0, 0, 24, 23);
    const std::vector<std::uint8_t> bytes = buildMidiFile(song, false);
    QFile mid(path("Tune.MID"));
    ASSERT_TRUE(mid.open(QIODevice::WriteOnly));
    mid.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    mid.close();
    auto w = make();
    script.openNames = {path("Tune.MID")};
    w->mnuOpen->trigger();
    // The dialog's MIDI entry takes any letter case; an exact import shows no box.
    EXPECT_EQ(shownCaption(*w), caption("Tune*"));
    EXPECT_EQ(w->session().song(), song);
    EXPECT_TRUE(w->session().isModified());
    EXPECT_TRUE(w->mnuSave->isEnabled());
    EXPECT_TRUE(w->session().filePath().empty());
    EXPECT_TRUE(script.warnings.isEmpty());
    // Save goes to Save As with NAME.kn2 proposed; a MIDI file named there is not written over.
    script.saveNames = {path("Tune.MID"), path("Tune.kn2")};
    w->mnuSave->trigger();
    EXPECT_EQ(script.proposedNames.value(0), "Tune.kn2");
    ASSERT_EQ(script.errors.size(), 1);
    EXPECT_TRUE(w->session().isModified());
    script.errors.clear();
    w->mnuSave->trigger();
    Song saved;
    ASSERT_TRUE(loadSongFile(path("Tune.kn2").toStdString(), saved).ok());
    EXPECT_EQ(saved, song);
    ASSERT_TRUE(mid.open(QIODevice::ReadOnly));
    EXPECT_EQ(mid.readAll(),
              QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size())));
    mid.close();

    // A file from elsewhere, dropped: what was adapted is listed.
    QFile other(path("other.midi"));
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.write(
        QByteArray("MThd\0\0\0\x06\0\0\0\x01\0\x18MTrk\0\0\0\x0f\0\xE0\0\x40\0\x90\x3C\x64\x18\x3C\0\0", 34) +
        QByteArray("\xFF\x2F\0", 3));
    other.close();
    w->openDroppedFiles({path("other.midi")});
    EXPECT_EQ(shownCaption(*w), caption("other*"));
    EXPECT_EQ(script.warnings, QStringList{QStringLiteral("MIDIファイルの読み込み|除いたピッチベンド: 1個")});
    EXPECT_EQ(w->session().song().row(0).count(), 2);

    // A damaged one is refused with the byte where it breaks; the song stays.
    QFile bad(path("bad.mid"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write(QByteArray("MThd\0\0\0\x06\0\0\0\x01\0\x18MTrk\0\0\0\x40", 22));
    bad.close();
    const Song before = w->session().song();
    script.answers = {Prompts::Answer::No}; // the imported song is unsaved: not kept
    w->openDroppedFiles({path("bad.mid")});
    ASSERT_EQ(script.errors.size(), 1);
    EXPECT_TRUE(script.errors[0].contains(QStringLiteral("18バイト目"))) << script.errors[0].toStdString();
    EXPECT_EQ(w->session().song(), before);
    EXPECT_EQ(shownCaption(*w), caption("other*"));
}

TEST_F(MainWindowTest, FailedStartUpLoadLeavesANewSong) {
    QFile bad(path("broken.kn2"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("MorvelKNBv200\r\nt\r\n");
    bad.close();
    auto w = make({path("broken.kn2")});
    EXPECT_EQ(script.errors.size(), 1);
    EXPECT_EQ(w->session().song(), makeNewSong());
    EXPECT_EQ(shownCaption(*w), caption("Notitle"));
    EXPECT_EQ(checkStore(w->session().song()), "");
}

TEST_F(MainWindowTest, OpenDialogTakesTheExtensionAsTyped) {
    saveNote(path("upper.KN2"));
    auto w = make();
    script.openNames = {path("upper.KN2")};
    w->mnuOpen->trigger();
    EXPECT_EQ(shownCaption(*w), caption("Notitle"));
    EXPECT_EQ(w->session().song(), makeNewSong());
    // Dropped, the same file opens: drops compare in lower case.
    w->openDroppedFiles({path("upper.KN2")});
    EXPECT_EQ(shownCaption(*w), caption("upper"));
}

TEST_F(MainWindowTest, FailedOpenRestoresTitleStateAndPath) {
    saveNote(path("good.kn2"));
    QFile bad(path("bad.kn2"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("MorvelKNBv200\r\nt\r\nc\r\nnot a number\r\n");
    bad.close();
    auto w = make({path("good.kn2")});
    testing::addNote(writableSong(w->session()), 1, 0, 24, 23);
    editTheSong(*w);
    const Song before = w->session().song();
    script.answers = {Prompts::Answer::No};
    script.openNames = {path("bad.kn2")};
    w->mnuOpen->trigger();
    ASSERT_EQ(script.errors.size(), 1);
    EXPECT_TRUE(script.errors[0].startsWith(QStringLiteral("ﾌｧｲﾙ ")));
    EXPECT_TRUE(script.errors[0].contains(QStringLiteral("bad.kn2 は開けません")));
    EXPECT_TRUE(script.errors[0].contains(QStringLiteral("4行目")));
    EXPECT_EQ(shownCaption(*w), caption("good*"));
    EXPECT_EQ(w->session().song(), before);
    EXPECT_TRUE(w->session().isModified());
    EXPECT_TRUE(w->mnuSave->isEnabled());
    // Saving now writes the song back to the file it came from, not over the one that failed.
    w->mnuSave->trigger();
    Song reread;
    ASSERT_TRUE(loadSongFile(path("good.kn2").toStdString(), reread).ok());
    EXPECT_EQ(reread, before);
    QFile check(path("bad.kn2"));
    ASSERT_TRUE(check.open(QIODevice::ReadOnly));
    EXPECT_TRUE(check.readAll().contains("not a number"));
}

TEST_F(MainWindowTest, SaveOfKnbWritesKn2BesideAndSaveOfKn2WaitsForAnEdit) {
    QFile legacy(path("old.knb"));
    ASSERT_TRUE(legacy.open(QIODevice::WriteOnly));
    legacy.write("t\r\nc\r\n0\r\n3\r\n15\r\n0\r\n0\r\n0\r\n0\r\n");
    for (int p = 0; p < 16; ++p)
        legacy.write("0\r\n10\r\n1\r\n");
    for (int p = 0; p < 16; ++p)
        legacy.write("0\r\n");
    legacy.close();
    auto w = make({path("old.knb")});
    EXPECT_TRUE(w->session().isModified());
    EXPECT_TRUE(w->mnuSave->isEnabled());
    w->mnuSave->trigger();
    EXPECT_TRUE(QFile::exists(path("old.kn2")));
    EXPECT_FALSE(w->session().isModified());
    EXPECT_FALSE(w->mnuSave->isEnabled());

    QFile::remove(path("old.kn2"));
    w->mnuSave->trigger(); // not modified: nothing is written
    EXPECT_FALSE(QFile::exists(path("old.kn2")));
}

TEST_F(MainWindowTest, FailedSaveKeepsTheSongModifiedAndTheOldName) {
    auto w = make();
    editTheSong(*w);
    script.saveNames = {path("no/such/folder/x.kn2")};
    w->mnuSave->trigger(); // untitled: Save acts as Save As
    ASSERT_EQ(script.errors.size(), 1);
    EXPECT_TRUE(script.errors[0].endsWith(QStringLiteral("x.kn2 を作成できません")));
    EXPECT_EQ(shownCaption(*w), caption("Notitle*"));
    EXPECT_TRUE(w->session().isModified());
    EXPECT_TRUE(w->session().untitled());
    EXPECT_EQ(script.proposedNames.value(0), "Notitle.kn2");
}

TEST_F(MainWindowTest, ClosingAsksOnlyWhenModified) {
    auto w = make();
    w->show();
    EXPECT_TRUE(w->close());
    EXPECT_EQ(script.questions, 0);

    auto w2 = make();
    w2->show();
    editTheSong(*w2);
    script.answers = {Prompts::Answer::Cancel};
    EXPECT_FALSE(w2->close());
    // Yes asks for a file name even when the song already has one.
    script.answers = {Prompts::Answer::Yes};
    script.saveNames = {path("closing.kn2")};
    EXPECT_TRUE(w2->close());
    EXPECT_TRUE(QFile::exists(path("closing.kn2")));
}

TEST_F(MainWindowTest, DropsOpenTheFirstSongFile) {
    saveNote(path("x y.kn2"));
    auto w = make();
    w->openDroppedFiles({path("readme.txt"), path("x y.kn2")});
    EXPECT_EQ(shownCaption(*w), caption("Notitle"));
    w->openDroppedFiles({path("x"), "y.kn2"});
    EXPECT_EQ(shownCaption(*w), caption("x y"));
}

TEST_F(MainWindowTest, PartMeasureAndTripletSelections) {
    auto w = make();
    w->btnPart[9]->click();
    EXPECT_EQ(w->session().editing().currentPart, 9);
    EXPECT_EQ(w->lblPart->text(), "R");
    EXPECT_TRUE(w->lblPart->styleSheet().contains("#FF00FF"));
    w->btnPart[10]->click();
    EXPECT_EQ(w->lblPart->text(), "11");
    EXPECT_TRUE(w->lblPart->styleSheet().contains("#00FFFF"));
    w->barMeas->setValue(1000);
    EXPECT_EQ(w->lblMeas->text(), QStringLiteral("1000小節目"));
    EXPECT_EQ(w->session().editing().currentMeasure, 999);
    w->tolDivide->click();
    EXPECT_TRUE(w->mnuDivide->isChecked());
    EXPECT_TRUE(w->session().editing().tripletMode);
    w->mnuDivide->trigger();
    EXPECT_FALSE(w->tolDivide->isChecked());
    EXPECT_FALSE(w->session().editing().tripletMode);
}

TEST_F(MainWindowTest, MidiExportWritesTheFileOrSaysItCannot) {
    saveNote(path("tune.kn2"));
    auto w = make({path("tune.kn2")});
    script.midiNames = {path("tune.mid")};
    ASSERT_TRUE(w->tolMidiOut->isEnabled());
    w->tolMidiOut->click();
    EXPECT_EQ(script.proposedNames.value(0), "tune.mid");
    QFile mid(path("tune.mid"));
    ASSERT_TRUE(mid.open(QIODevice::ReadOnly));
    EXPECT_TRUE(mid.read(4) == "MThd");
    EXPECT_FALSE(w->session().isModified());

    script.midiNames = {path("missing/folder/tune.mid")};
    w->mnuMidiOut->trigger();
    ASSERT_EQ(script.errors.size(), 1);
    EXPECT_TRUE(script.errors[0].contains(QStringLiteral("tune.mid を作成できません")));
}

TEST_F(MainWindowTest, MusicXmlExportWritesTheScoreOrSaysItCannot) {
    saveNote(path("tune.kn2"));
    auto w = make({path("tune.kn2")});
    script.musicXmlNames = {path("tune.musicxml")};
    w->mnuMusicXmlOut->trigger();
    EXPECT_EQ(script.proposedNames.value(0), "tune.musicxml");
    QFile xml(path("tune.musicxml"));
    ASSERT_TRUE(xml.open(QIODevice::ReadOnly));
    const QByteArray text = xml.readAll();
    EXPECT_TRUE(text.startsWith("<?xml"));
    EXPECT_TRUE(text.contains("<score-partwise version=\"4.0\">"));
    EXPECT_TRUE(script.errors.isEmpty());

    script.musicXmlNames = {path("missing/folder/tune.musicxml")};
    w->mnuMusicXmlOut->trigger();
    ASSERT_EQ(script.errors.size(), 1);
    EXPECT_TRUE(script.errors[0].contains(QStringLiteral("tune.musicxml を作成できません")));
    EXPECT_FALSE(QFile::exists(path("missing/folder/tune.musicxml")));
}

TEST_F(MainWindowTest, FmModeAsksOnlyToSwitchOnAndSurvivesNewAndOpen) {
    saveNote(path("fm.kn2"));
    auto w = make();
    script.warningAnswers = {Prompts::Answer::No};
    w->tolFM->click();
    EXPECT_EQ(script.beeps, 1);
    ASSERT_EQ(script.warnings.size(), 1);
    EXPECT_TRUE(script.warnings[0].startsWith(QStringLiteral("警告|FM音源モードにすると、")));
    EXPECT_FALSE(w->session().editing().fmMode);
    EXPECT_FALSE(w->tolFM->isChecked());
    EXPECT_FALSE(w->mnuFM->isChecked());

    script.warningAnswers = {Prompts::Answer::Yes};
    w->mnuFM->trigger();
    EXPECT_TRUE(w->session().editing().fmMode);
    EXPECT_TRUE(w->tolFM->isChecked());
    EXPECT_TRUE(w->mnuFM->isChecked());
    EXPECT_FALSE(w->session().isModified());

    w->mnuNew->trigger();
    script.openNames = {path("fm.kn2")};
    w->mnuOpen->trigger();
    EXPECT_EQ(shownCaption(*w), caption("fm"));
    EXPECT_TRUE(w->session().editing().fmMode);

    w->tolFM->click(); // off at once, no question
    EXPECT_FALSE(w->session().editing().fmMode);
    EXPECT_FALSE(w->tolFM->isChecked());
    EXPECT_EQ(script.warnings.size(), 2);
}

TEST_F(MainWindowTest, HelpWithoutTheManualSaysWhereItShouldBe) {
    auto w = make();
    w->tolHelp->click();
    ASSERT_EQ(script.warnings.size(), 1);
    EXPECT_TRUE(script.warnings[0].contains("index.html")) << script.warnings[0].toStdString();
}

TEST_F(MainWindowTest, ClickOnTheStaffEntersANoteAndEnablesSave) {
    auto w = make();
    w->show();
    ImageView* staff = w->scorePage()->imgScore();
    // Middle view: row 16 (y 144..152) is C4; x 118..126 is the column of tick 12.
    QTest::mouseMove(staff, QPoint(120, 148));
    QTest::mouseClick(staff, Qt::LeftButton, {}, QPoint(120, 148));
    const EventRow& row = w->session().song().row(0);
    ASSERT_EQ(row.count(), 4);
    EXPECT_EQ(row.at(2), (Event{12, KIND_NOTE_ON, 23, 0}));
    EXPECT_EQ(row.at(3), (Event{36, KIND_NOTE_OFF, 23, 0}));
    EXPECT_EQ(checkStore(w->session().song()), "");
    EXPECT_TRUE(w->session().isModified());
    EXPECT_TRUE(w->tolSave->isEnabled());
    // The staff shows it: the note's bar is lime right of its start box.
    const QImage picture = staff->grab().toImage();
    EXPECT_EQ(picture.pixelColor(130, 148), QColor(0x00, 0xFF, 0x00));
}

TEST_F(MainWindowTest, DoubleClickOnANoteDeletesItWithoutEnteringItAgain) {
    auto w = make();
    w->show();
    ImageView* staff = w->scorePage()->imgScore();
    QTest::mouseMove(staff, QPoint(120, 148));
    QTest::mouseClick(staff, Qt::LeftButton, {}, QPoint(120, 148));
    ASSERT_EQ(w->session().song().row(0).count(), 4);
    // A double click as the mouse delivers it: press, release, double-click, release.
    QTest::mouseDClick(staff, Qt::LeftButton, {}, QPoint(120, 148));
    EXPECT_EQ(w->session().song().row(0).count(), 2);
    EXPECT_EQ(checkStore(w->session().song()), "");
}

TEST_F(MainWindowTest, JumpToTheEndShowsThePartAndTabOfTheLatestEvent) {
    auto w = make();
    EventRow& dynamics = writableSong(w->session()).row(2);
    dynamics.insertAt(2, {96 * 40, KIND_DYNAMICS, 50, 0});
    w->tolJumpEnd->click();
    EXPECT_EQ(w->session().editing().currentMeasure, 40);
    EXPECT_EQ(w->barMeas->value(), 41);
    EXPECT_EQ(w->lblMeas->text(), QStringLiteral("41小節目"));
    EXPECT_EQ(w->session().editing().currentPart, 2);
    EXPECT_TRUE(w->btnPart[2]->isChecked());
    EXPECT_EQ(w->pagMain->currentWidget(), w->tabExp);
}

TEST_F(MainWindowTest, SearchNextFindsKeyChangesAndSaysWhenThereAreNoMore) {
    auto w = make();
    testing::setSignature(writableSong(w->session()), KIND_KEY, 4, 16);
    w->barMeas->setValue(3);
    w->mnuFindNext->trigger(); // the kind is "転調" until the dialog says otherwise
    EXPECT_EQ(w->session().editing().currentMeasure, 4);
    EXPECT_EQ(w->pagMain->currentWidget(), w->tabAlter);
    EXPECT_TRUE(script.infos.isEmpty());
    w->mnuFindNext->trigger();
    ASSERT_EQ(script.infos.size(), 1);
    EXPECT_EQ(script.infos[0], QStringLiteral("検索対象は見つかりませんでした。"));
    EXPECT_EQ(w->session().editing().currentMeasure, 4);
}

TEST_F(MainWindowTest, ClosingTheMeasureEditorShowsItsPointer) {
    auto w = make();
    w->btnPart[6]->click();
    w->barMeas->setValue(13);
    w->pagMain->setCurrentWidget(w->tabPan);
    // Close the modal editor as soon as it is up.
    QTimer::singleShot(0, [] {
        if (QWidget* editor = QApplication::activeModalWidget())
            editor->close();
    });
    w->tolEditor->click();
    EXPECT_EQ(w->session().editing().currentPart, 6);
    EXPECT_EQ(w->session().editing().currentMeasure, 12);
    EXPECT_EQ(w->pagMain->currentWidget(), w->tabScore);
    EXPECT_FALSE(w->session().isModified());
}

TEST_F(MainWindowTest, TestPlayWritesThePlayFileAndLeavesTheSongAlone) {
    auto w = make();
    testing::addNote(writableSong(w->session()), 0, 0, 24, 23);
    // Close every modal window (the player, and the box saying no device could be opened).
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    closer.start(20);
    w->tolMPlay->click();
    closer.stop();
    QFile played(path("knb.mid"));
    ASSERT_TRUE(played.open(QIODevice::ReadOnly));
    const QByteArray bytes = played.readAll();
    const std::vector<std::uint8_t> expected = buildMidiFile(w->session().song(), false);
    EXPECT_EQ(bytes, QByteArray(reinterpret_cast<const char*>(expected.data()),
                                static_cast<qsizetype>(expected.size())));
    EXPECT_FALSE(w->session().isModified());
    EXPECT_TRUE(script.errors.isEmpty());
}

TEST_F(MainWindowTest, TestPlaySaysWhenThePlayFileCannotBeWritten) {
    auto w = std::make_unique<TfrmMain>(
        QStringList{}, std::make_unique<ScriptedPrompts>(script),
        TfrmMain::Files{path("pokopen.ini"), path("no/folder/knb.mid"), path("recovery")});
    w->mnuMPlay->trigger(); // no player opens: the error is told instead
    ASSERT_EQ(script.errors.size(), 1);
    EXPECT_TRUE(script.errors[0].contains(QStringLiteral("knb.mid を作成できません")));
}

// Test play on a player the test drives: a scheduled player on a clock the test moves.
class FollowTest : public MainWindowTest {
protected:
    std::unique_ptr<TfrmMain> makeWithPlayer() {
        auto w = make();
        for (int m = 0; m < 12; ++m)
            testing::addNote(writableSong(w->session()), 0, m * 96, 96, 23); // 2 s a measure at 120 bpm
        w->setPlayerFactory([this] {
            auto p = std::make_unique<ScheduledPlayer>(std::make_unique<RecordingMidiOut>(), clock,
                                                       ScheduledPlayer::Mode::Manual);
            player = p.get();
            return p;
        });
        return w;
    }
    // Runs `whilePlaying` once the player window is up, then closes it.
    void withPlayer(QAction* command, const std::function<void(TfrmMPlay&)>& whilePlaying) {
        // The please-wait window lets events through before the player is up: look until it is.
        QTimer look;
        QObject::connect(&look, &QTimer::timeout, [&] {
            if (auto* dialog = qobject_cast<TfrmMPlay*>(QApplication::activeModalWidget())) {
                look.stop();
                whilePlaying(*dialog);
                dialog->reject();
            }
        });
        look.start(5);
        command->trigger();
        EXPECT_FALSE(look.isActive()) << "the player never came up";
    }
    void advance(TfrmMPlay& dialog, std::int64_t ms) {
        clock.now += ms * 1000;
        player->pump();
        dialog.tmrSeekTimer();
    }
    // The columns of an image view that show the position line.
    static std::vector<int> lineColumns(QWidget* view) {
        const QImage image = view->grab().toImage();
        std::vector<int> columns;
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, image.height() / 2) == PlayPositionLine::COLOUR)
                columns.push_back(x);
        return columns;
    }

    FakeClock clock;
    ScheduledPlayer* player = nullptr;
};

TEST_F(FollowTest, PlayingFromTheCurrentMeasureFollowsTheMusicOnTheStaffAndTheGraphs) {
    auto w = makeWithPlayer();
    w->barMeas->setValue(5);
    ImageView* staff = w->scorePage()->imgScore();
    withPlayer(w->mnuMPlayFrom, [&](TfrmMPlay& dialog) {
        // The player starts at measure 5: 250 ms of lead-in and four measures of 2 s.
        EXPECT_EQ(dialog.findChild<QScrollBar*>("barSeek")->value(), 8250);
        EXPECT_EQ(player->state(), MidiFilePlayer::State::Playing);
        EXPECT_EQ(lineColumns(staff), std::vector<int>{82});
        advance(dialog, 500); // a quarter note on: tick 24, 3 pixels a tick
        EXPECT_EQ(lineColumns(staff), std::vector<int>{82 + 72});
        advance(dialog, 1500);
        EXPECT_EQ(w->lblMeas->text(), QStringLiteral("6小節目"));
        EXPECT_EQ(w->barMeas->value(), 6);
        EXPECT_EQ(lineColumns(staff), std::vector<int>{82});
        // The graphs show the same point, from their left edge.
        w->pagMain->setCurrentWidget(w->tabExp);
        advance(dialog, 250);
        EXPECT_EQ(lineColumns(w->expPage()->findChild<ImageView*>()), std::vector<int>{36});
    });
    // Closing the player takes the line away; the window stays where the music was.
    EXPECT_TRUE(lineColumns(w->expPage()->findChild<ImageView*>()).empty());
    EXPECT_EQ(w->lblMeas->text(), QStringLiteral("6小節目"));
    EXPECT_FALSE(w->session().isModified());
    EXPECT_FALSE(w->mnuSave->isEnabled());
}

TEST_F(FollowTest, SwitchedOffNothingMovesAndTheChoiceIsKept) {
    auto w = makeWithPlayer();
    w->mnuFollow->trigger();
    EXPECT_FALSE(w->mnuFollow->isChecked());
    EXPECT_EQ(QSettings(path("pokopen.ini"), QSettings::IniFormat).value("PLAY/Follow").toInt(), 0);
    w->barMeas->setValue(5);
    withPlayer(w->mnuMPlayFrom, [&](TfrmMPlay& dialog) {
        EXPECT_NE(dialog.findChild<QScrollBar*>("barSeek")->value(), 0);
        advance(dialog, 4500);
        EXPECT_EQ(w->lblMeas->text(), QStringLiteral("5小節目"));
        EXPECT_TRUE(lineColumns(w->scorePage()->imgScore()).empty());
    });
    EXPECT_EQ(w->session().editing().currentMeasure, 4);
    // The next start of the program keeps it off.
    auto again = make();
    EXPECT_FALSE(again->mnuFollow->isChecked());
}

TEST_F(FollowTest, PlainTestPlayFollowsFromTheFirstMeasureOncePlaying) {
    auto w = makeWithPlayer();
    w->barMeas->setValue(9);
    withPlayer(w->mnuMPlay, [&](TfrmMPlay& dialog) {
        EXPECT_EQ(dialog.findChild<QScrollBar*>("barSeek")->value(), 0); // F5 waits for play
        EXPECT_EQ(w->lblMeas->text(), QStringLiteral("9小節目"));
        dialog.mplPlayerClick(TfrmMPlay::Button::Play);
        advance(dialog, 2300);
        EXPECT_EQ(w->lblMeas->text(), QStringLiteral("2小節目"));
        // Moving the measure bar by hand stops following, until playing stops and starts again.
        w->barMeas->setValue(7);
        EXPECT_TRUE(lineColumns(w->scorePage()->imgScore()).empty());
        advance(dialog, 2000);
        EXPECT_EQ(w->lblMeas->text(), QStringLiteral("7小節目"));
        dialog.mplPlayerClick(TfrmMPlay::Button::Pause);
        dialog.mplPlayerClick(TfrmMPlay::Button::Pause);
        EXPECT_EQ(w->lblMeas->text(), QStringLiteral("3小節目"));
        EXPECT_EQ(lineColumns(w->scorePage()->imgScore()).size(), 1u);
    });
    EXPECT_FALSE(w->session().isModified());
}

TEST_F(MainWindowTest, PaletteShowsWithTheStaffPageAndKeepsItsPlace) {
    auto w = make();
    w->show();
    EXPECT_TRUE(w->frmPalette()->isVisible());
    w->pagMain->setCurrentWidget(w->tabExp);
    EXPECT_FALSE(w->frmPalette()->isVisible());
    w->pagMain->setCurrentWidget(w->tabScore);
    EXPECT_TRUE(w->frmPalette()->isVisible());
    w->frmPalette()->move(321, 123);
    EXPECT_TRUE(w->close());
    EXPECT_FALSE(w->frmPalette()->isVisible());
    QSettings ini(path("pokopen.ini"), QSettings::IniFormat);
    EXPECT_EQ(ini.value("PALETTE/X").toInt(), 321);
    EXPECT_EQ(ini.value("PALETTE/Y").toInt(), 123);
}

// --- Autosave and recovery ---

// An autosave left by a program that was killed: `song` as the file at `songPath` had it changed.
void leaveCrashedAutosave(const QString& folder, const Song& song, const std::string& songPath,
                          const QDateTime& time, std::optional<FileFingerprint> fingerprint = std::nullopt) {
    auto store = std::make_unique<RecoveryStore>(
        folder, [time] { return time; }, 31337);
    const RecoveryInfo info{songPath,
                            QFileInfo(QString::fromStdString(songPath)).completeBaseName().toStdString(),
                            time, fingerprint};
    ASSERT_EQ(store->writeOwn(serializeRecovery(info, song), store->generation()),
              RecoveryStore::WriteResult::Written);
    const QString lock = QString(store->ownRecoveryPath()).replace(".recovery", ".lock");
    store.reset();
    testing::leaveLockOfDeadProcess(lock);
}

QStringList autosaveFiles(const QString& folder) {
    return QDir(folder).entryList({"*.recovery"}, QDir::Files);
}

TEST_F(MainWindowTest, RestoredSongTakesThePlaceOfTheCommandLineSongAndIsSavedToItsFile) {
    saveNote(path("tune.kn2"), 0);
    saveNote(path("other.kn2"), 3);
    Song edited = makeNewSong();
    testing::addNote(edited, 0, 0, 24, 23);
    testing::addNote(edited, 5, 96, 48, 30);
    const QDateTime time = testing::utc("2026-12-08T09:30:15Z");
    leaveCrashedAutosave(path("recovery"), edited, path("tune.kn2").toStdString(), time);

    script.recoveryChoices = {RecoveryChoice::Restore};
    auto w = make({path("other.kn2")});
    EXPECT_EQ(script.recoveryQuestions, QStringList{"tune.kn2|" + time.toLocalTime().toString(Qt::ISODate)});
    EXPECT_EQ(w->session().song(), edited);
    EXPECT_EQ(shownCaption(*w), caption("tune*"));
    EXPECT_TRUE(w->tolSave->isEnabled());
    EXPECT_EQ(autosaveFiles(path("recovery")).size(), 1) << "kept until the song is saved";

    w->mnuSaveClick(); // Ctrl+S writes the file the song came from, and the autosave goes
    Song saved;
    ASSERT_TRUE(loadSongFile(path("tune.kn2").toStdString(), saved).ok());
    EXPECT_EQ(saved, edited);
    EXPECT_FALSE(w->tolSave->isEnabled());
    EXPECT_TRUE(autosaveFiles(path("recovery")).isEmpty());
    EXPECT_TRUE(script.saveNames.empty() && script.proposedNames.isEmpty()) << "no Save As dialog";
}

TEST_F(MainWindowTest, AutosaveStaysThroughAFailedSaveAndGoesWithNoAtThePrompt) {
    auto w = make();
    w->session().change("note", {}, [](Song& song) { testing::addNote(song, 0, 0, 24, 23); });
    w->recovery().autosaver().autosaveNow();
    ASSERT_TRUE(w->recovery().autosaver().waitForWriter(5000));
    ASSERT_EQ(autosaveFiles(path("recovery")).size(), 1);

    script.saveNames = {path("no/folder/song.kn2")}; // Save As to a folder that is not there
    w->mnuSaveAsClick();
    ASSERT_EQ(script.errors.size(), 1);
    EXPECT_EQ(autosaveFiles(path("recovery")).size(), 1);

    script.answers = {Prompts::Answer::No}; // New, and the changes let go
    w->mnuNewClick();
    EXPECT_TRUE(autosaveFiles(path("recovery")).isEmpty());
    w->recovery().autosaver().autosaveNow(); // a new song is its own file: nothing to autosave
    ASSERT_TRUE(w->recovery().autosaver().waitForWriter(5000));
    EXPECT_TRUE(autosaveFiles(path("recovery")).isEmpty());
}

TEST_F(MainWindowTest, AutosaveThatCannotBeWrittenIsToldOnceNamingTheFolder) {
    QFile blocker(path("recovery")); // a file where the folder should be
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    auto w = make();
    for (int edit = 0; edit < 3; ++edit) {
        w->session().change("note", {}, [edit](Song& song) { testing::addNote(song, 0, 96 * edit, 24, 23); });
        w->recovery().autosaver().autosaveNow();
        ASSERT_TRUE(w->recovery().autosaver().waitForWriter(5000));
    }
    EXPECT_EQ(script.autosaveFailures, QStringList{path("recovery")});
    EXPECT_EQ(w->session().song().row(0).count(), 8) << "editing goes on";
}

// The real recovery box: its caption, the song and time it names, its three buttons with
// 復元する the default, and the confirmation of 破棄する.
TEST(RecoveryBox, NamesTheSongAndTimeAndRestoresByDefault) {
    DialogPrompts prompts;
    const QDateTime time(QDate(2026, 12, 8), QTime(9, 30, 15));
    QString caption, text, defaultButton;
    QStringList buttons;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        caption = box->windowTitle();
        text = box->text();
        for (QAbstractButton* button : box->buttons())
            buttons << button->text();
        defaultButton = box->defaultButton() ? box->defaultButton()->text() : QString();
        QTest::keyClick(box, Qt::Key_Return);
    });
    EXPECT_EQ(prompts.askRecovery(nullptr, "tune.kn2", time), RecoveryChoice::Restore);
    EXPECT_EQ(caption, QStringLiteral("自動保存からの復元"));
    EXPECT_TRUE(text.contains("tune.kn2")) << text.toStdString();
    EXPECT_TRUE(text.contains("2026/12/08 09:30:15")) << text.toStdString();
    buttons.sort();
    QStringList expected{QStringLiteral("復元する"), QStringLiteral("破棄する"), QStringLiteral("後で")};
    expected.sort();
    EXPECT_EQ(buttons, expected);
    EXPECT_EQ(defaultButton, QStringLiteral("復元する"));

    // Escape decides nothing: later. The confirmation's Enter does not delete.
    QTimer::singleShot(0, [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape); });
    EXPECT_EQ(prompts.askRecovery(nullptr, "Notitle", time), RecoveryChoice::Later);
    QString question;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        question = box->text();
        QTest::keyClick(box, Qt::Key_Return);
    });
    EXPECT_EQ(prompts.askDiscardRecovery(nullptr), Prompts::Answer::No);
    EXPECT_EQ(question, QStringLiteral("自動保存された内容を削除します。よろしいですか？"));
}

// Ctrl+Z and Ctrl+Y on the main window, as the keyboard sends them.
void pressUndo(TfrmMain& w) {
    QTest::keyClick(&w, Qt::Key_Z, Qt::ControlModifier);
}
void pressRedo(TfrmMain& w) {
    QTest::keyClick(&w, Qt::Key_Y, Qt::ControlModifier);
}
void pressSave(TfrmMain& w) {
    QApplication::setActiveWindow(&w);
    QTest::keyClick(&w, Qt::Key_S, Qt::ControlModifier);
}
Song songIn(const QString& file) {
    Song song;
    EXPECT_TRUE(loadSongFile(file.toStdString(), song).ok());
    return song;
}

TEST_F(MainWindowTest, UndoAndRedoOfNotesRestoreTheRowsThePixelsAndSave) {
    auto w = make();
    w->show();
    QApplication::setActiveWindow(w.get());
    ImageView* staff = w->scorePage()->imgScore();
    const QImage empty = staff->image().copy();
    // Three quarter notes on C4 at ticks 12, 36 and 60 (three pixels a tick).
    for (int x : {120, 192, 264}) {
        QTest::mouseMove(staff, QPoint(x, 148));
        QTest::mouseClick(staff, Qt::LeftButton, {}, QPoint(x, 148));
    }
    ASSERT_EQ(w->session().song().row(0).count(), 2 + 6);
    w->session().setCaret(0); // where redo leaves it: at the measure's start
    const QImage three = staff->image().copy();
    EXPECT_EQ(w->mnuUndo->text(), QStringLiteral("元に戻す(&U) - 音符の入力"));
    EXPECT_FALSE(w->mnuRedo->isEnabled());

    w->pagMain->setCurrentWidget(w->tabPan); // undo turns back to the staff
    pressUndo(*w);
    pressUndo(*w);
    EXPECT_EQ(w->pagMain->currentWidget(), w->tabScore);
    EXPECT_EQ(w->session().song().row(0).count(), 2 + 2);
    EXPECT_EQ(w->mnuRedo->text(), QStringLiteral("やり直し(&R) - 音符の入力"));
    EXPECT_TRUE(w->tolSave->isEnabled());
    pressUndo(*w);
    EXPECT_EQ(staff->image(), empty);
    EXPECT_FALSE(w->tolSave->isEnabled()) << "back at the new song";
    EXPECT_FALSE(w->mnuUndo->isEnabled());
    EXPECT_EQ(w->mnuUndo->text(), QStringLiteral("元に戻す(&U)"));
    for (int k = 0; k < 3; ++k)
        pressRedo(*w);
    EXPECT_EQ(staff->image(), three);
    EXPECT_TRUE(w->tolSave->isEnabled());
    EXPECT_EQ(checkStore(w->session().song()), "");
}

TEST_F(MainWindowTest, UndoTakesBackACurveStrokeAndASignatureChangeOnTheirPages) {
    auto w = make();
    w->show();
    QApplication::setActiveWindow(w.get());
    w->barMeas->setValue(3);
    w->btnPart[4]->click();
    w->pagMain->setCurrentWidget(w->tabExp);
    auto* graph = w->expPage()->findChild<ImageView*>("imgExp");
    const QImage before = graph->image().copy();
    const Song songBefore = w->session().song();
    QTest::mousePress(graph, Qt::LeftButton, {}, QPoint(90, 100));
    QTest::mouseMove(graph, QPoint(99, 120));
    QTest::mouseMove(graph, QPoint(117, 200));
    QTest::mouseRelease(graph, Qt::LeftButton, {}, QPoint(117, 200));
    ASSERT_NE(graph->image(), before);
    const QImage stroke = graph->image().copy();
    EXPECT_EQ(w->mnuUndo->text(), QStringLiteral("元に戻す(&U) - 強弱の入力"));

    // A key change at measure 6, made on the signature page.
    w->signaturePage()->setPrompts({[](int) { return std::optional<int>(16); },
                                    [](int) { return std::optional<int>(); }, [](const QString&) {}});
    w->barMeas->setValue(6);
    w->pagMain->setCurrentWidget(w->tabAlter);
    w->signaturePage()->btnStlChangeClick();
    EXPECT_EQ(w->mnuUndo->text(), QStringLiteral("元に戻す(&U) - 調の変更"));

    w->btnPart[0]->click();
    w->pagMain->setCurrentWidget(w->tabScore);
    pressUndo(*w); // the key change: back on its page and measure
    EXPECT_EQ(w->pagMain->currentWidget(), w->tabAlter);
    EXPECT_EQ(w->barMeas->value(), 6);
    pressUndo(*w); // the whole stroke at once: its page, part and measure, drawn as before
    EXPECT_EQ(w->pagMain->currentWidget(), w->tabExp);
    EXPECT_EQ(w->session().editing().currentPart, 4);
    EXPECT_EQ(w->barMeas->value(), 3);
    EXPECT_EQ(w->lblMeas->text(), QStringLiteral("3小節目"));
    EXPECT_EQ(graph->image(), before);
    EXPECT_EQ(w->session().song(), songBefore);
    EXPECT_FALSE(w->tolSave->isEnabled());
    pressRedo(*w);
    EXPECT_EQ(graph->image(), stroke);
    // Ctrl+Shift+Z redoes too.
    QTest::keyClick(w.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(w->pagMain->currentWidget(), w->tabAlter);
    EXPECT_FALSE(w->mnuRedo->isEnabled());
}

// The caption carries "*" exactly while the song differs from its file.
TEST_F(MainWindowTest, CaptionMarksTheModifiedSongUntilItEqualsItsFileAgain) {
    saveNote(path("tune.kn2"));
    auto w = make({path("tune.kn2")});
    w->show();
    QApplication::setActiveWindow(w.get());
    EXPECT_EQ(shownCaption(*w), QStringLiteral("tune - ぽこぺんシーケンサ"));
    ImageView* staff = w->scorePage()->imgScore();
    QTest::mouseMove(staff, QPoint(192, 148));
    QTest::mouseClick(staff, Qt::LeftButton, {}, QPoint(192, 148));
    EXPECT_EQ(shownCaption(*w), QStringLiteral("tune* - ぽこぺんシーケンサ"));
    pressUndo(*w);
    EXPECT_EQ(shownCaption(*w), QStringLiteral("tune - ぽこぺんシーケンサ")) << "back at the file";
    pressRedo(*w);
    EXPECT_EQ(shownCaption(*w), QStringLiteral("tune* - ぽこぺんシーケンサ"));
    pressSave(*w);
    EXPECT_EQ(shownCaption(*w), QStringLiteral("tune - ぽこぺんシーケンサ"));
    EXPECT_EQ(songIn(path("tune.kn2")), w->session().song());

    saveNote(path("a[*]b.kn2")); // Qt's placeholder in a file name is shown as it is
    auto named = make({path("a[*]b.kn2")});
    EXPECT_EQ(shownCaption(*named), caption("a[*]b"));
    editTheSong(*named);
    EXPECT_EQ(shownCaption(*named), caption("a[*]b*"));
}

// Undo and redo of a paste in the measure editor turn to the part and measure pasted over,
// not to the selection that was copied.
TEST_F(MainWindowTest, UndoOfAMeasureEditorPasteShowsThePartThatChanged) {
    auto w = make();
    w->session().change("notes", {}, [](Song& song) {
        testing::addNote(song, 0, 6 * 96, 24, 23); // measures 7 and 8 of part 1
        testing::addNote(song, 0, 7 * 96, 24, 25);
    });
    w->show();
    QApplication::setActiveWindow(w.get());
    w->barMeas->setValue(7); // the editor shows measures 6, 7 and 8
    QTimer::singleShot(0, [] {
        auto* editor = qobject_cast<TfrmEditor*>(QApplication::activeModalWidget());
        ASSERT_NE(editor, nullptr);
        auto* grid = editor->findChild<QWidget*>("imgEditor");
        const auto click = [&](int column, int part) {
            const auto& x = editor->columnX();
            QTest::mouseClick(
                grid, Qt::LeftButton, {},
                QPoint((x[static_cast<std::size_t>(column)] + x[static_cast<std::size_t>(column) + 1]) / 2,
                       18 + 17 * part + 8));
        };
        const auto press = [&](const char* name) {
            QTest::mouseClick(editor->findChild<QAbstractButton*>(name), Qt::LeftButton);
        };
        press("btnSelA");
        click(1, 0);
        press("btnSelB");
        click(2, 0);
        press("btnCopy");
        press("btnPoint");
        click(1, 2);
        press("btnPaste");
        editor->accept();
    });
    w->tolEditor->click();
    ASSERT_EQ(w->session().undoName(), "小節の貼り付け");
    ASSERT_GT(w->session().song().row(2).count(), 0);

    for (const auto press : {&pressUndo, &pressRedo}) {
        w->btnPart[4]->click();
        w->barMeas->setValue(20);
        QApplication::setActiveWindow(w.get()); // back from the editor
        press(*w);
        EXPECT_EQ(w->session().editing().currentPart, 2);
        EXPECT_TRUE(w->btnPart[2]->isChecked());
        EXPECT_EQ(w->barMeas->value(), 7);
    }
}

// Two programs on one song: the second save finds the first one's work in the file and asks.
TEST_F(MainWindowTest, SaveOverAFileAnotherProgramChangedAsksFirst) {
    saveNote(path("shared.kn2"));
    auto first = make({path("shared.kn2")});
    auto second = make({path("shared.kn2")});
    first->show();
    second->show();
    editTheSong(*first);
    pressSave(*first);
    EXPECT_EQ(script.overwriteQuestions, 0) << "nobody else changed the file";
    const Song firstSong = first->session().song();
    ASSERT_EQ(songIn(path("shared.kn2")), firstSong);

    second->session().change("other", {}, [](Song& song) { testing::addNote(song, 3, 0, 24, 30); });
    pressSave(*second); // いいえ: the file keeps the first program's work
    EXPECT_EQ(script.overwriteQuestions, 1);
    EXPECT_EQ(songIn(path("shared.kn2")), firstSong);
    EXPECT_TRUE(second->session().isModified());
    EXPECT_TRUE(second->tolSave->isEnabled());
    script.overwriteAnswers = {Prompts::Answer::Yes};
    pressSave(*second);
    EXPECT_EQ(script.overwriteQuestions, 2);
    EXPECT_EQ(songIn(path("shared.kn2")), second->session().song());
    EXPECT_FALSE(second->session().isModified());

    editTheSong(*first); // now the first program finds the second one's save
    pressSave(*first);
    EXPECT_EQ(script.overwriteQuestions, 3);
    EXPECT_EQ(songIn(path("shared.kn2")), second->session().song());
    EXPECT_TRUE(first->session().isModified());
}

// A restored song still knows its file as it was before the crash: a change since then asks.
TEST_F(MainWindowTest, RestoredSongsSaveAsksWhenItsFileChangedSinceTheCrash) {
    saveNote(path("tune.kn2"), 0);
    const std::optional<FileFingerprint> before = fingerprintOfFile(path("tune.kn2").toStdString());
    ASSERT_TRUE(before);
    Song edited = makeNewSong();
    testing::addNote(edited, 5, 96, 48, 30);
    leaveCrashedAutosave(path("recovery"), edited, path("tune.kn2").toStdString(),
                         testing::utc("2026-12-08T09:30:15Z"), before);
    saveNote(path("tune.kn2"), 7); // another program's save after the crash
    const Song other = songIn(path("tune.kn2"));

    script.recoveryChoices = {RecoveryChoice::Restore};
    auto w = make();
    ASSERT_EQ(w->session().song(), edited);
    w->show();
    pressSave(*w);
    EXPECT_EQ(script.overwriteQuestions, 1);
    EXPECT_EQ(songIn(path("tune.kn2")), other);
    EXPECT_TRUE(w->session().isModified());
    EXPECT_EQ(autosaveFiles(path("recovery")).size(), 1) << "the unsaved song stays recoverable";
}

} // namespace
} // namespace pokopen

namespace pokopen {
namespace {

// The notes of part 1 as (start, end, value, extra).
std::vector<std::array<int, 4>> notesOfPart1(const Song& song) {
    std::vector<std::array<int, 4>> notes;
    const EventRow& row = song.row(0);
    for (std::int32_t i = 0; i < row.count(); ++i)
        if (row.kind[static_cast<std::size_t>(i)] == KIND_NOTE_ON) {
            const auto n =
                findNote(row, {row.pos[static_cast<std::size_t>(i)], row.value[static_cast<std::size_t>(i)]});
            notes.push_back({n->start, n->end, n->value, n->extra});
        }
    return notes;
}

TEST_F(MainWindowTest, TypingATuneFromTheMeasureBarEntersNotesAndFollowsTheCaret) {
    auto w = make();
    w->show();
    QApplication::setActiveWindow(w.get());
    w->barMeas->setFocus(); // any control of the window takes the keys
    for (const Qt::Key k : {Qt::Key_5, Qt::Key_C, Qt::Key_D, Qt::Key_E, Qt::Key_F, Qt::Key_G})
        QTest::keyClick(w->barMeas, k);
    EXPECT_EQ(notesOfPart1(w->session().song()),
              (std::vector<std::array<int, 4>>{
                  {0, 24, 23, 0}, {24, 48, 22, 0}, {48, 72, 21, 0}, {72, 96, 20, 0}, {96, 120, 19, 0}}));
    EXPECT_EQ(w->session().editing().currentMeasure, 1);
    EXPECT_EQ(w->lblMeas->text(), QStringLiteral("2小節目"));
    const QImage& staff = w->scorePage()->imgScore()->image();
    EXPECT_EQ(staff.pixel(82 + 72, 20), 0xFF008080U); // the caret line at the G's end
    EXPECT_EQ(staff.pixel(82 + 72, 280), 0xFF008080U);
    EXPECT_EQ(staff.pixel(82, 19 * 9 - 7 * 9), 0xFF008080U); // the G's start box, selected

    // Up, then Ctrl+Down: G sharp 4, then G sharp 3, each one step.
    QTest::keyClick(w->barMeas, Qt::Key_Up);
    QTest::keyClick(w->barMeas, Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(notesOfPart1(w->session().song()).back(), (std::array<int, 4>{96, 120, 26, 1}));
    EXPECT_EQ(w->mnuUndo->text(), QStringLiteral("元に戻す(&U) - 音符の移動"));
    EXPECT_EQ(w->barMeas->value(), 2) << "the bar kept the keys for entry";
    // Backspace takes the last note back; the caret goes to its start.
    QTest::keyClick(w->pagMain->tabBar(), Qt::Key_Backspace);
    EXPECT_EQ(notesOfPart1(w->session().song()).size(), 4U);
    EXPECT_EQ(w->session().editing().caret, 96);
    EXPECT_EQ(checkStore(w->session().song()), "");
    // Not on another page.
    w->pagMain->setCurrentWidget(w->tabPan);
    QTest::keyClick(w->barMeas, Qt::Key_C);
    EXPECT_EQ(notesOfPart1(w->session().song()).size(), 4U);
}

TEST_F(MainWindowTest, DraggingANoteMovesItAndDraggingItsEndLengthensIt) {
    auto w = make();
    w->show();
    QApplication::setActiveWindow(w.get());
    ImageView* staff = w->scorePage()->imgScore();
    // A quarter C4 from tick 12 to 36 (row 16, y 144..152).
    QTest::mouseMove(staff, QPoint(118, 148));
    QTest::mouseClick(staff, Qt::LeftButton, {}, QPoint(118, 148));
    ASSERT_EQ(notesOfPart1(w->session().song()), (std::vector<std::array<int, 4>>{{12, 36, 23, 0}}));

    // Taken in its middle, moved two columns right and one row down: B3 from tick 18.
    QTest::mousePress(staff, Qt::LeftButton, {}, QPoint(142, 148));
    QTest::mouseMove(staff, QPoint(151, 152));
    QTest::mouseMove(staff, QPoint(160, 157));
    QTest::mouseRelease(staff, Qt::LeftButton, {}, QPoint(160, 157));
    EXPECT_EQ(notesOfPart1(w->session().song()), (std::vector<std::array<int, 4>>{{18, 42, 24, 0}}));
    EXPECT_EQ(w->mnuUndo->text(), QStringLiteral("元に戻す(&U) - 音符の移動"));

    // Its bar ends at x 82 + 3 * 42 = 208; taken there and dragged three columns right.
    QTest::mousePress(staff, Qt::LeftButton, {}, QPoint(205, 157));
    QTest::mouseMove(staff, QPoint(220, 157));
    QTest::mouseMove(staff, QPoint(232, 157));
    QTest::mouseRelease(staff, Qt::LeftButton, {}, QPoint(232, 157));
    EXPECT_EQ(notesOfPart1(w->session().song()), (std::vector<std::array<int, 4>>{{18, 51, 24, 0}}));
    EXPECT_EQ(w->mnuUndo->text(), QStringLiteral("元に戻す(&U) - 音符の長さの変更"));

    // Each drag was one step.
    pressUndo(*w);
    pressUndo(*w);
    EXPECT_EQ(notesOfPart1(w->session().song()), (std::vector<std::array<int, 4>>{{12, 36, 23, 0}}));
    EXPECT_EQ(checkStore(w->session().song()), "");
}

} // namespace
} // namespace pokopen
