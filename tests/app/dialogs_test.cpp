#include "app/about_dialog.h"
#include "app/fm_mode.h"
#include "app/help.h"
#include "app/prompts.h"
#include "app/settings_dialog.h"
#include "model/new_song.h"
#include "model/store_check.h"
#include "model/text_codec.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <deque>
#include <functional>

namespace pokopen {
namespace {

// Records what the dialogs would show and answers questions from a script.
class RecordingMessages : public DialogMessages {
public:
    struct Shown {
        QString kind; // "beep", "ask" or "warn"
        QString caption;
        QString text;
    };
    void beep() override { shown.push_back({QStringLiteral("beep"), {}, {}}); }
    Answer askWarning(QWidget*, const QString& caption, const QString& text) override {
        shown.push_back({QStringLiteral("ask"), caption, text});
        if (answers.empty())
            return Answer::Cancel;
        const Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    void showWarning(QWidget*, const QString& caption, const QString& text) override {
        shown.push_back({QStringLiteral("warn"), caption, text});
    }
    std::deque<Answer> answers;
    std::vector<Shown> shown;
};

class SongSettingsTest : public ::testing::Test {
protected:
    void SetUp() override { writableSong(session) = makeNewSong(); }
    std::unique_ptr<TfrmSet> open() {
        auto dialog = std::make_unique<TfrmSet>(session, nullptr, &messages);
        dialog->show();
        return dialog;
    }
    // As typing or pasting does (QTest types ASCII keys only).
    static void retype(QLineEdit* edit, const QString& text) {
        edit->clear();
        edit->insert(text);
    }

    SongDocument session;
    RecordingMessages messages;
};

TEST_F(SongSettingsTest, ShowsTheStoredTextsDecoded) {
    writableSong(session).songTitle = "\x82\xab\x82\xe7\x82\xab\x82\xe7\x90\xaf"; // きらきら星 in Shift-JIS
    auto d = open();
    EXPECT_EQ(d->windowTitle(), QStringLiteral("曲の設定"));
    EXPECT_EQ(d->edtTitle->text(), QStringLiteral("きらきら星"));
    EXPECT_EQ(d->edtCopy->text(), QStringLiteral("Copyright by ?"));
    EXPECT_EQ(d->edtTitle->objectName(), QStringLiteral("edtTitle"));
    EXPECT_EQ(d->edtCopy->objectName(), QStringLiteral("edtCopy"));
    EXPECT_TRUE(d->btnOk->isDefault());
}

TEST_F(SongSettingsTest, ChangingOnlyTheCopyrightChangesTheSong) {
    const Song before = session.song();
    auto d = open();
    retype(d->edtCopy, QStringLiteral("(C) 2026 ぽこ"));
    QTest::mouseClick(d->btnOk, Qt::LeftButton);

    EXPECT_EQ(d->result(), QDialog::Accepted);
    EXPECT_TRUE(d->songChanged());
    EXPECT_EQ(session.song().songTitle, before.songTitle);
    EXPECT_EQ(session.song().songCopyright, "(C) 2026 \x82\xdb\x82\xb1");
    EXPECT_EQ(session.song().store, before.store);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_TRUE(checkStore(session.song()).empty());
}

TEST_F(SongSettingsTest, OkWithoutAChangeLeavesTheSongAlone) {
    const Song before = session.song();
    auto d = open();
    // Edited and put back as it was: still no change.
    retype(d->edtTitle, QStringLiteral("別の曲"));
    retype(d->edtTitle, QStringLiteral("無題"));
    QTest::mouseClick(d->btnOk, Qt::LeftButton);
    EXPECT_EQ(d->result(), QDialog::Accepted);
    EXPECT_FALSE(d->songChanged());
    EXPECT_EQ(session.song(), before);
}

TEST_F(SongSettingsTest, CancelDiscardsTheEdits) {
    const Song before = session.song();
    auto d = open();
    retype(d->edtTitle, QStringLiteral("新しい曲"));
    QTest::mouseClick(d->btnCancel, Qt::LeftButton);
    EXPECT_EQ(d->result(), QDialog::Rejected);
    EXPECT_FALSE(d->songChanged());
    EXPECT_EQ(session.song(), before);
}

TEST_F(SongSettingsTest, NoMoreThanFortyCharactersCanBeTyped) {
    auto d = open();
    for (QLineEdit* edit : {d->edtTitle, d->edtCopy}) {
        edit->clear();
        QTest::keyClicks(edit, QString(41, QLatin1Char('a')));
        EXPECT_EQ(edit->text(), QString(40, QLatin1Char('a'))) << edit->objectName().toStdString();
        retype(edit, QString(41, QChar(0x3042))); // あ, pasted
        EXPECT_EQ(edit->text().size(), 40);
    }
    QTest::mouseClick(d->btnOk, Qt::LeftButton);
    EXPECT_EQ(session.song().songCopyright.size(), 80u); // 40 two-byte characters
}

TEST_F(SongSettingsTest, ALongerStoredTextIsShownWholeAndKept) {
    writableSong(session).songTitle = std::string(50, 'x');
    auto d = open();
    EXPECT_EQ(d->edtTitle->text().size(), 50);
    QTest::keyClick(d->edtTitle, Qt::Key_End);
    QTest::keyClicks(d->edtTitle, QStringLiteral("y"));
    EXPECT_EQ(d->edtTitle->text().size(), 50);
    d->edtTitle->setText(QString(50, QLatin1Char('x')));
    QTest::mouseClick(d->btnOk, Qt::LeftButton);
    EXPECT_FALSE(d->songChanged());
    EXPECT_EQ(session.song().songTitle, std::string(50, 'x'));
}

TEST_F(SongSettingsTest, TextsWithoutShiftJisFormAreRefused) {
    struct Case {
        const char* field;
        QString text;
        QString character;
        QString fieldName;
    };
    const Case cases[] = {
        {"edtTitle", QStringLiteral("Price €5"), QStringLiteral("€"), QStringLiteral("曲名")},
        {"edtCopy", QStringLiteral("ok 😀"), QStringLiteral("😀"), QStringLiteral("著作権表示")},
        {"edtTitle", QStringLiteral("한국"), QStringLiteral("한"), QStringLiteral("曲名")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        const Song before = session.song();
        messages.shown.clear();
        auto d = open();
        auto* edit = d->findChild<QLineEdit*>(QString::fromLatin1(c.field));
        ASSERT_NE(edit, nullptr);
        edit->setText(c.text);
        QTest::mouseClick(d->btnOk, Qt::LeftButton);

        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].kind, QStringLiteral("warn"));
        EXPECT_EQ(messages.shown[0].caption, QStringLiteral("曲の設定"));
        EXPECT_TRUE(messages.shown[0].text.contains(QStringLiteral("Shift-JIS")));
        EXPECT_TRUE(messages.shown[0].text.contains(QStringLiteral("「%1」").arg(c.character)));
        EXPECT_TRUE(messages.shown[0].text.startsWith(c.fieldName));
        EXPECT_TRUE(d->isVisible()); // still open for a correction
        EXPECT_FALSE(d->songChanged());
        EXPECT_EQ(session.song(), before);

        // Corrected, the same dialog stores it.
        edit->setText(QStringLiteral("直した"));
        QTest::mouseClick(d->btnOk, Qt::LeftButton);
        EXPECT_EQ(d->result(), QDialog::Accepted);
        EXPECT_TRUE(d->songChanged());
        EXPECT_EQ(decodeSongText(c.fieldName == QStringLiteral("曲名") ? session.song().songTitle
                                                                       : session.song().songCopyright),
                  QStringLiteral("直した"));
        writableSong(session) = makeNewSong();
    }
}

TEST_F(SongSettingsTest, UndecodableStoredBytesSurviveAnEditOfTheOtherText) {
    writableSong(session).songTitle = "A\x81"; // a lone lead byte: no Shift-JIS character
    auto d = open();
    retype(d->edtCopy, QStringLiteral("me"));
    QTest::mouseClick(d->btnOk, Qt::LeftButton);
    EXPECT_TRUE(d->songChanged());
    EXPECT_EQ(session.song().songTitle, "A\x81");
    EXPECT_EQ(session.song().songCopyright, "me");
}

TEST_F(SongSettingsTest, LineBreaksCannotBreakTheSongFile) {
    auto d = open();
    d->edtTitle->setText(QStringLiteral("one\ntwo\r\tthree"));
    QTest::mouseClick(d->btnOk, Qt::LeftButton);
    EXPECT_EQ(session.song().songTitle.find_first_of("\r\n\t"), std::string::npos);
    EXPECT_EQ(session.song().songTitle.substr(0, 3), "one");
}

TEST_F(SongSettingsTest, TheCommandRunsTheDialogModally) {
    QTimer::singleShot(0, [] {
        auto* d = qobject_cast<TfrmSet*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        d->edtTitle->setText(QStringLiteral("Song"));
        QTest::mouseClick(d->btnOk, Qt::LeftButton);
    });
    EXPECT_TRUE(editSongSettings(session, nullptr, &messages));
    EXPECT_EQ(session.song().songTitle, "Song");

    QTimer::singleShot(0, [] {
        auto* d = qobject_cast<TfrmSet*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        QTest::mouseClick(d->btnOk, Qt::LeftButton);
    });
    EXPECT_FALSE(editSongSettings(session, nullptr, &messages));
}

// The real question box shared by the warnings and the save question: each of its buttons and
// keys gives its answer.
TEST(YesNoCancelBox, ButtonsAndKeysGiveTheirAnswers) {
    using Answer = DialogMessages::Answer;
    struct Case {
        const char* what;
        std::function<void(QMessageBox*)> act;
        Answer expected;
    };
    const Case cases[] = {
        {"Enter takes the default, Yes", [](QMessageBox* b) { QTest::keyClick(b, Qt::Key_Return); },
         Answer::Yes},
        {"the No button",
         [](QMessageBox* b) {
             for (QAbstractButton* button : b->buttons())
                 if (button->text() == QStringLiteral("いいえ(&N)"))
                     QTest::mouseClick(button, Qt::LeftButton);
         },
         Answer::No},
        {"Escape is Cancel", [](QMessageBox* b) { QTest::keyClick(b, Qt::Key_Escape); }, Answer::Cancel},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QStringList texts;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            icon = box->icon();
            for (QAbstractButton* button : box->buttons())
                texts << button->text();
            c.act(box);
        });
        EXPECT_EQ(askYesNoCancel(nullptr, QMessageBox::Question, QStringLiteral("確認"), QStringLiteral("?")),
                  c.expected);
        EXPECT_EQ(icon, QMessageBox::Question);
        texts.sort();
        QStringList expectedTexts{QStringLiteral("はい(&Y)"), QStringLiteral("いいえ(&N)"),
                                  QStringLiteral("ｷｬﾝｾﾙ")};
        expectedTexts.sort();
        EXPECT_EQ(texts, expectedTexts);
    }
}

TEST(FmModeQuestion, BeepsThenAsksTheWarning) {
    using Answer = DialogMessages::Answer;
    const std::pair<Answer, bool> cases[] = {
        {Answer::Yes, true}, {Answer::No, false}, {Answer::Cancel, false}};
    for (const auto& [answer, switchOn] : cases) {
        RecordingMessages messages;
        messages.answers.push_back(answer);
        EXPECT_EQ(askFmModeOn(nullptr, messages), switchOn);
        ASSERT_EQ(messages.shown.size(), 2u);
        EXPECT_EQ(messages.shown[0].kind, QStringLiteral("beep"));
        EXPECT_EQ(messages.shown[1].kind, QStringLiteral("ask"));
        EXPECT_EQ(messages.shown[1].caption, QStringLiteral("警告"));
        EXPECT_EQ(messages.shown[1].text,
                  QStringLiteral("FM音源モードにすると、\nFM音源でも強弱が有効になりますが、\n"
                                 "その代わりパートの音量の設定は無効になります。\n"
                                 "FM音源モードをONにしますか？"));
    }
}

class HelpTest : public ::testing::Test {
protected:
    UrlOpener recorder(bool succeeds = true) {
        return [this, succeeds](const QUrl& url) {
            opened.push_back(url);
            return succeeds;
        };
    }
    QString writeManual() {
        QFile f(dir.filePath(QStringLiteral("index.html")));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("<html></html>");
        return f.fileName();
    }
    QTemporaryDir dir;
    RecordingMessages messages;
    std::vector<QUrl> opened;
};

TEST_F(HelpTest, OpensThePresentManualInTheBrowser) {
    const QString page = writeManual();
    for (const QString& given : {page, dir.path()}) {
        opened.clear();
        EXPECT_TRUE(openHelp(given, nullptr, messages, recorder()));
        ASSERT_EQ(opened.size(), 1u);
        EXPECT_EQ(opened[0], QUrl::fromLocalFile(page));
    }
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(HelpTest, AMissingManualIsToldWithItsPath) {
    const QString missing = dir.filePath(QStringLiteral("manual/index.html"));
    EXPECT_FALSE(openHelp(missing, nullptr, messages, recorder()));
    EXPECT_TRUE(opened.empty());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].kind, QStringLiteral("warn"));
    EXPECT_TRUE(messages.shown[0].text.contains(QDir::toNativeSeparators(missing)));
    EXPECT_TRUE(messages.shown[0].text.contains(QStringLiteral("見つかりません")));

    // A folder without the index page is missing too.
    messages.shown.clear();
    EXPECT_FALSE(openHelp(dir.path(), nullptr, messages, recorder()));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].text.contains(QStringLiteral("index.html")));
}

TEST_F(HelpTest, ABrowserThatCannotStartIsTold) {
    const QString page = writeManual();
    EXPECT_FALSE(openHelp(page, nullptr, messages, recorder(false)));
    EXPECT_EQ(opened.size(), 1u);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].text.contains(QDir::toNativeSeparators(page)));
}

TEST_F(HelpTest, TheDesktopOpenerFailingAfterItStartedIsTold) {
    // Stand-ins for xdg-open: one that finds no browser (exit 3) and one that opens the page.
    const QString page = writeManual();
    QTemporaryDir bin;
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin.path()) + ":" + path);
    for (const int exitCode : {3, 0}) {
        messages.shown.clear();
        const QString done = bin.filePath(QStringLiteral("done%1").arg(exitCode));
        QFile script(bin.filePath(QStringLiteral("xdg-open")));
        ASSERT_TRUE(script.open(QIODevice::WriteOnly | QIODevice::Truncate));
        script.write(QStringLiteral("#!/bin/sh\ntouch '%1'\nexit %2\n").arg(done).arg(exitCode).toUtf8());
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        EXPECT_TRUE(openHelp(page, nullptr, messages));
        EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(done); }, 5000));
        if (exitCode == 0) {
            QTest::qWait(300); // time for the opener's end to reach the event loop
            EXPECT_TRUE(messages.shown.empty());
        } else {
            EXPECT_TRUE(QTest::qWaitFor([&] { return !messages.shown.empty(); }, 5000));
            ASSERT_EQ(messages.shown.size(), 1u);
            EXPECT_TRUE(messages.shown[0].text.contains(QDir::toNativeSeparators(page)));
        }
    }
    qputenv("PATH", path);
}

TEST(AboutBox, ShowsIconNameVersionAndCopyright) {
    TfrmAbout about;
    about.show();
    EXPECT_EQ(about.windowTitle(), QStringLiteral("バージョン情報"));
    EXPECT_EQ(about.lblName->text(), QStringLiteral("ぽこぺんシーケンサ"));
    EXPECT_EQ(about.lblVersion->text(), QString::fromUtf8("バージョン " POKOPEN_EXPECTED_VERSION));
    EXPECT_EQ(about.lblCopyright->text(), QStringLiteral("Copyright (C) 2026 Pokopen Sequencer developers"));
    EXPECT_FALSE(about.lblTerms->text().isEmpty());
    ASSERT_FALSE(about.imgIcon->pixmap().isNull());
    // The icon is the program's picture, not an empty square: its paper and its red note.
    const QImage icon = about.imgIcon->pixmap().toImage();
    EXPECT_EQ(icon.size(), QSize(64, 64));
    EXPECT_GT(qRed(icon.pixel(35, 30)), 150);
    EXPECT_LT(qGreen(icon.pixel(35, 30)), 100);
    QTest::mouseClick(about.btnOk, Qt::LeftButton);
    EXPECT_EQ(about.result(), QDialog::Accepted);
    EXPECT_FALSE(about.isVisible());
}

TEST(OpenDialog, OffersSongFilesThenStandardMidiFilesOfAnyCase) {
    QTemporaryDir dir;
    for (const char* name : {"a.kn2", "b.knb", "c.mid", "D.MIDI", "e.txt"}) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QStringList labels, filters, shownWithMidi;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        filters = dialog->nameFilters();
        if (auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo")))
            for (int i = 0; i < types->count(); ++i)
                labels << types->itemText(i);
        // Chosen as the user chooses it: in the list of file types.
        if (auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
            types->setCurrentIndex(1);
            emit types->activated(1);
        }
        QTest::qWait(300); // the folder is read in the background
        if (auto* view = dialog->findChild<QAbstractItemView*>(QStringLiteral("listView")))
            for (int i = 0; i < view->model()->rowCount(view->rootIndex()); ++i)
                shownWithMidi << view->model()->index(i, 0, view->rootIndex()).data().toString();
        dialog->reject();
    });
    DialogPrompts prompts;
    EXPECT_TRUE(prompts.openFileName(nullptr, dir.path()).isEmpty());
    EXPECT_EQ(labels, (QStringList{QStringLiteral("KNBファイル(*.kn2 *.knb)"),
                                   QStringLiteral("標準MIDIファイル(*.mid;*.midi)"),
                                   QStringLiteral("MusicXMLファイル(*.musicxml;*.xml;*.mxl)")}));
    shownWithMidi.sort();
    EXPECT_EQ(shownWithMidi, (QStringList{"D.MIDI", "c.mid"}));
}

} // namespace
} // namespace pokopen
