#include "ui/dialog_messages.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace pokopen {

void BoxDialogMessages::beep() {
    QApplication::beep();
}

DialogMessages::Answer BoxDialogMessages::askWarning(QWidget* parent, const QString& caption,
                                                     const QString& text) {
    return askYesNoCancel(parent, QMessageBox::Warning, caption, text);
}

DialogMessages::Answer askYesNoCancel(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                                      const QString& text) {
    using Answer = DialogMessages::Answer;
    QMessageBox box(icon, caption, text, QMessageBox::NoButton, parent);
    QPushButton* yes = box.addButton(QStringLiteral("はい(&Y)"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("いいえ(&N)"), QMessageBox::NoRole);
    QPushButton* cancel = box.addButton(QStringLiteral("ｷｬﾝｾﾙ"), QMessageBox::RejectRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == yes)
        return Answer::Yes;
    if (box.clickedButton() == no)
        return Answer::No;
    return Answer::Cancel;
}

void BoxDialogMessages::showWarning(QWidget* parent, const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::NoButton, parent);
    box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.exec();
}

DialogMessages& standardDialogMessages() {
    static BoxDialogMessages messages;
    return messages;
}

} // namespace pokopen
