#include "app/prompts.h"

#include "app/midi_import_dialog.h"
#include "ui/fonts.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace pokopen {

Prompts::Answer DialogPrompts::askSaveChanges(QWidget* parent) {
    QApplication::beep();
    return askYesNoCancel(parent, QMessageBox::Question, QStringLiteral("確認"),
                          QStringLiteral("ファイルは変更されています。\n保存しますか？"));
}

QString DialogPrompts::openFileName(QWidget* parent, const QString& folder) {
    QFileDialog dialog(parent, QStringLiteral("KNBファイルを開く"), folder);
    // Qt separates patterns with blanks; the MIDI entry is shown with the semicolon users know.
    dialog.setNameFilters({QStringLiteral("KNBファイル(*.kn2 *.knb)"),
                           QStringLiteral("標準MIDIファイル(*.mid *.midi)"),
                           QStringLiteral("MusicXMLファイル(*.musicxml *.xml *.mxl)")});
    if (auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        types && types->count() == 3) {
        types->setItemText(1, QStringLiteral("標準MIDIファイル(*.mid;*.midi)"));
        types->setItemText(2, QStringLiteral("MusicXMLファイル(*.musicxml;*.xml;*.mxl)"));
    }
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(QStringLiteral("kn2"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

std::optional<MidiImportOptions> DialogPrompts::askMidiImportOptions(QWidget* parent) {
    return pokopen::askMidiImportOptions(parent);
}

namespace {

// A save dialog of the given caption and filter, proposing `proposedName` in `folder`.
QString askSaveFileName(QWidget* parent, const QString& caption, const QString& folder,
                        const QString& proposedName, const QString& filter, const QString& suffix,
                        bool confirmOverwrite) {
    QFileDialog dialog(parent, caption, QDir(folder).filePath(proposedName), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(suffix);
    if (!confirmOverwrite)
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace

QString DialogPrompts::saveFileName(QWidget* parent, const QString& folder, const QString& proposedName) {
    return askSaveFileName(parent, QStringLiteral("KNBファイルの保存"), folder, proposedName,
                           QStringLiteral("KNBファイル(*.kn2)"), QStringLiteral("kn2"), true);
}

QString DialogPrompts::midiFileName(QWidget* parent, const QString& folder, const QString& proposedName) {
    return askSaveFileName(parent, QStringLiteral("MIDIファイル出力"), folder, proposedName,
                           QStringLiteral("標準MIDIファイル(*.mid)"), QStringLiteral("mid"), false);
}

QString DialogPrompts::musicXmlFileName(QWidget* parent, const QString& folder, const QString& proposedName) {
    return askSaveFileName(parent, QStringLiteral("MusicXMLファイル出力"), folder, proposedName,
                           QStringLiteral("MusicXMLファイル(*.musicxml)"), QStringLiteral("musicxml"), false);
}

void DialogPrompts::showError(QWidget* parent, const QString& text) {
    QMessageBox::critical(parent, PROGRAM_TITLE, text);
}

void DialogPrompts::showInformation(QWidget* parent, const QString& text) {
    QMessageBox::information(parent, PROGRAM_TITLE, text);
}

QString recoveryQuestionText(const QString& songName, const QDateTime& time) {
    return QStringLiteral("ぽこぺんシーケンサが正常に終了しなかったため、保存されていない曲が"
                          "自動保存から見つかりました。\n\n曲: %1\n自動保存の時刻: %2\n\n"
                          "復元すると、この曲を保存されていない状態で開きます。")
        .arg(songName, time.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss")));
}

QString autosaveFailedText(const QString& folder) {
    return QStringLiteral("自動保存できませんでした。\nフォルダ %1 に書き込めません。\n\n"
                          "編集はこのまま続けられます。自動保存は次の間隔でもう一度行います。")
        .arg(QDir::toNativeSeparators(folder));
}

RecoveryChoice DialogPrompts::askRecovery(QWidget* parent, const QString& songName, const QDateTime& time) {
    QMessageBox box(QMessageBox::Question, RECOVERY_CAPTION, recoveryQuestionText(songName, time),
                    QMessageBox::NoButton, parent);
    QPushButton* restore = box.addButton(QStringLiteral("復元する"), QMessageBox::AcceptRole);
    QPushButton* discard = box.addButton(QStringLiteral("破棄する"), QMessageBox::DestructiveRole);
    QPushButton* later = box.addButton(QStringLiteral("後で"), QMessageBox::RejectRole);
    box.setDefaultButton(restore);
    box.setEscapeButton(later); // closing the box decides nothing
    box.exec();
    if (box.clickedButton() == restore)
        return RecoveryChoice::Restore;
    if (box.clickedButton() == discard)
        return RecoveryChoice::Discard;
    return RecoveryChoice::Later;
}

namespace {

// Yes or No, No the default, since Yes deletes something; closing the box is No.
Prompts::Answer askYesNo(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                         const QString& caption = RECOVERY_CAPTION) {
    QMessageBox box(icon, caption, text, QMessageBox::NoButton, parent);
    QPushButton* yes = box.addButton(QStringLiteral("はい(&Y)"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("いいえ(&N)"), QMessageBox::NoRole);
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes ? Prompts::Answer::Yes : Prompts::Answer::No;
}

} // namespace

Prompts::Answer DialogPrompts::askOverwriteChangedFile(QWidget* parent) {
    return askYesNo(parent, QMessageBox::Warning, CHANGED_FILE_TEXT, QStringLiteral("確認"));
}

Prompts::Answer DialogPrompts::askDiscardRecovery(QWidget* parent) {
    return askYesNo(parent, QMessageBox::Warning, DISCARD_RECOVERY_TEXT);
}

Prompts::Answer DialogPrompts::askDeleteDamagedRecovery(QWidget* parent, const QString& text) {
    return askYesNo(parent, QMessageBox::Critical,
                    text + QStringLiteral("\n\nこの自動保存は読めないため復元できません。削除しますか？"));
}

void DialogPrompts::showAutosaveFailed(QWidget* parent, const QString& folder) {
    QMessageBox::warning(parent, PROGRAM_TITLE, autosaveFailedText(folder));
}

} // namespace pokopen
