// What a user of a Japanese Linux desktop meets first: where the windows and file dialogs open,
// the language of the standard dialogs and error boxes, and test notes on the chosen device.
#include "app/main_window.h"
#include "app/song_folder.h"
#include "midifile/test_note.h"
#include "model/new_song.h"
#include "model/song_file.h"
#include "parts/all_part_dialog.h"
#include "parts/part_page.h"
#include "support/scripted_prompts.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <random>

namespace pokopen {
namespace {

using testing::ScriptedPrompts;

class DesktopTest : public ::testing::Test {
protected:
    void TearDown() override { qunsetenv("POKOPEN_AUDIO_DRIVER"); }
    // `device`: the MIDI output choice in the INI file. "synth" plays into no sound card.
    std::unique_ptr<TfrmMain> make(const char* device = "none") {
        qputenv("POKOPEN_AUDIO_DRIVER", "file");
        QSettings ini(path("pokopen.ini"), QSettings::IniFormat);
        ini.setValue("MIDIOUT/Device", device);
        ini.sync();
        return std::make_unique<TfrmMain>(
            QStringList{}, std::make_unique<ScriptedPrompts>(record),
            TfrmMain::Files{path("pokopen.ini"), path("knb.mid"), path("recovery")});
    }
    QString path(const QString& name) const { return dir.filePath(name); }
    void writeFile(const QString& name, const QByteArray& bytes) {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    QTemporaryDir dir;
    ScriptedPrompts::Script record;
};

TEST_F(DesktopTest, TheMainWindowStartsInTheMiddleOfTheScreen) {
    auto w = make();
    const QPoint middle = w->screen()->availableGeometry().center();
    EXPECT_LE((w->geometry().center() - middle).manhattanLength(), 1) << w->geometry().x();
}

TEST_F(DesktopTest, StandardDialogsAndButtonsSpeakJapanese) {
    for (const auto mode : {QFileDialog::AcceptOpen, QFileDialog::AcceptSave}) {
        QFileDialog dialog(nullptr, QStringLiteral("KNBファイルを開く"), dir.path());
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(mode);
        dialog.show();
        auto* box = dialog.findChild<QDialogButtonBox*>();
        ASSERT_NE(box, nullptr);
        const QString accept = box->buttons().value(0)->text();
        EXPECT_EQ(accept,
                  mode == QFileDialog::AcceptOpen ? QStringLiteral("開く(&O)") : QStringLiteral("保存(&S)"));
        EXPECT_EQ(box->button(QDialogButtonBox::Cancel)->text(), QStringLiteral("キャンセル"));
    }
    QMessageBox box(QMessageBox::Question, QStringLiteral("確認"), QStringLiteral("?"),
                    QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text(), QStringLiteral("はい(&Y)"));
}

TEST_F(DesktopTest, ErrorBoxesOfDamagedFilesAreJapaneseAndReadable) {
    auto w = make();
    writeFile("short.kn2", "MorvelKNBv200\r\ntitle\r\ncopyright\r\n");
    std::mt19937 random(11);
    QByteArray noise;
    for (int i = 0; i < 400; ++i)
        noise.append(static_cast<char>(random() & 0xFF));
    writeFile("noise.kn2", "MorvelKNBv200\r\nt\r\nc\r\n" + noise);
    record.openNames = {path("short.kn2"), path("noise.kn2")};
    w->mnuOpenClick();
    w->mnuOpenClick();
    ASSERT_EQ(record.errors.size(), 2);
    EXPECT_EQ(record.errors[0],
              QStringLiteral("ﾌｧｲﾙ %1 は開けません\n（4行目: ファイルが途中で終わっています）")
                  .arg(QDir::toNativeSeparators(path("short.kn2"))));
    QString said = record.errors[1];
    said.remove(QDir::toNativeSeparators(path("noise.kn2")));
    for (const QChar c : said) {
        EXPECT_TRUE(c == u'\n' || c.isPrint()) << said.toStdString();
        EXPECT_FALSE(c.isLetter() && c.unicode() < 0x80) << said.toStdString(); // no English
    }
}

TEST_F(DesktopTest, FileDialogsStartInTheLastSongFolderElseAWritableOne) {
    // Without a remembered folder: the program's folder where songs can be written, else the
    // user's documents folder, else the program's folder after all.
    const QString program = path("bin");
    const QString documents = path("Documents");
    const QString ini = path("folders.ini");
    const auto start = [&](bool programWritable, const QString& docs) {
        return SongFolder(ini, {program, docs, [programWritable](const QString&) { return programWritable; }})
            .startFolder();
    };
    EXPECT_EQ(start(true, documents), program);
    EXPECT_EQ(start(false, documents), documents);
    EXPECT_EQ(start(false, QString()), program);
    SongFolder(ini, {program, documents, {}}).remember(path("songs/a.kn2"));
    EXPECT_EQ(start(true, documents), program) << "a remembered folder that is gone is passed over";
    QDir(dir.path()).mkpath("songs");
    EXPECT_EQ(start(true, documents), path("songs"));

    // The main window remembers the folder of the song it opened, also for its next start.
    QDir(dir.path()).mkpath("mine");
    ASSERT_TRUE(saveSongFile(path("mine/song.kn2").toStdString(), makeNewSong()).ok());
    auto w = make();
    record.openNames = {path("mine/song.kn2")};
    w->mnuOpenClick();
    ASSERT_TRUE(record.errors.isEmpty()) << record.errors.join("|").toStdString();
    w->mnuSaveAsClick();
    w.reset();
    make()->mnuMidiOutClick();
    EXPECT_EQ(record.folders.mid(1), (QStringList{path("mine"), path("mine")}));
}

TEST_F(DesktopTest, BulkPartDialogAuditionsOnTheChosenDevice) {
    auto w = make("synth");
    int beeps = -1;
    bool sounded = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<TfrmAllPart*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        beeps = 0;
        dialog->testNote().setBeep([&beeps] { ++beeps; });
        sounded = dialog->testNote().start(testNoteMessages(0, 0, 60));
        dialog->testNote().stop();
        dialog->reject();
    });
    w->mnuAllPartClick();
    EXPECT_TRUE(sounded);
    EXPECT_EQ(beeps, 0);
}

TEST_F(DesktopTest, ClosingWithATestNoteStillOpenSilencesTheLiveDevice) {
    // The button's release was lost (test play started while it was held), so the note is still
    // marked as sounding when the window goes. AddressSanitizer sees a device freed too early.
    auto w = make("synth");
    ASSERT_TRUE(w->partPage()->testNote().start(testNoteMessages(0, 0, 60)));
    w.reset();
}

} // namespace
} // namespace pokopen
