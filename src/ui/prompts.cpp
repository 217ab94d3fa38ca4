#include "ui/prompts.h"

#include "ui/fonts.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

namespace pokopen {

Prompts::Answer DialogPrompts::askSaveChanges(QWidget* parent) {
    QApplication::beep();
    return askYesNoCancel(parent, QMessageBox::Question, QStringLiteral("確認"),
                          QStringLiteral("ファイルは変更されています。\n保存しますか？"));
}

QString DialogPrompts::openFileName(QWidget* parent, const QString& folder) {
    QFileDialog dialog(parent, QStringLiteral("KNBファイルを開く"), folder,
                       QStringLiteral("KNBファイル(*.kn2 *.knb)"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(QStringLiteral("kn2"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QString DialogPrompts::saveFileName(QWidget* parent, const QString& folder, const QString& proposedName) {
    QFileDialog dialog(parent, QStringLiteral("KNBファイルの保存"), QDir(folder).filePath(proposedName),
                       QStringLiteral("KNBファイル(*.kn2)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("kn2"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QString DialogPrompts::midiFileName(QWidget* parent, const QString& folder, const QString& proposedName) {
    QFileDialog dialog(parent, QStringLiteral("MIDIファイル出力"), QDir(folder).filePath(proposedName),
                       QStringLiteral("標準MIDIファイル(*.mid)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("mid"));
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

void DialogPrompts::showError(QWidget* parent, const QString& text) {
    QMessageBox::critical(parent, PROGRAM_TITLE, text);
}

void DialogPrompts::showInformation(QWidget* parent, const QString& text) {
    QMessageBox::information(parent, PROGRAM_TITLE, text);
}

} // namespace pokopen
