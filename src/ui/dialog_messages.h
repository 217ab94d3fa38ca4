#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

namespace pokopen {

// The message boxes of the small dialogs and commands (song settings, FM mode, help), behind one
// interface so that tests read what would be shown instead of waiting on a modal box.
class DialogMessages {
public:
    enum class Answer { Yes, No, Cancel };

    virtual ~DialogMessages() = default;
    // The system beep that comes before a warning question.
    virtual void beep() = 0;
    // A warning (exclamation icon) with the buttons Yes, No and Cancel; closing the box is Cancel.
    virtual Answer askWarning(QWidget* parent, const QString& caption, const QString& text) = 0;
    // A warning with only OK.
    virtual void showWarning(QWidget* parent, const QString& caption, const QString& text) = 0;
};

// The real message boxes, with the Japanese button texts the program uses everywhere.
class BoxDialogMessages : public DialogMessages {
public:
    void beep() override;
    Answer askWarning(QWidget* parent, const QString& caption, const QString& text) override;
    void showWarning(QWidget* parent, const QString& caption, const QString& text) override;
};

// A modal box with `icon` and the buttons Yes, No and Cancel in the program's texts, Yes the
// default; closing the box is Cancel.
DialogMessages::Answer askYesNoCancel(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                                      const QString& text);

// One shared instance of the real boxes, for callers that do not bring their own.
DialogMessages& standardDialogMessages();

} // namespace pokopen
