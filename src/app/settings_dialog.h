#pragma once

#include "document/song_document.h"
#include "ui/dialog_messages.h"

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

namespace pokopen {

// The song settings dialog ("曲の設定"): the song's title and copyright notice. The texts are
// kept in the song as Shift-JIS bytes; a text that has no Shift-JIS form is refused on OK.
class TfrmSet : public QDialog {
    Q_OBJECT
public:
    // Each edit box accepts at most this many characters.
    static constexpr int MAX_TEXT_LENGTH = 40;

    explicit TfrmSet(SongDocument& session, QWidget* parent = nullptr, DialogMessages* messages = nullptr);

    // OK: stores the texts when one of them changed and closes the dialog; a text that cannot
    // be stored leaves it open after a message.
    void btnOkClick();
    // True after OK when the song's texts changed (the caller then marks the song modified).
    bool songChanged() const { return songChanged_; }

    QWidget* pnlSet = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblCopy = nullptr;
    QLineEdit* edtTitle = nullptr;
    QLineEdit* edtCopy = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The Shift-JIS bytes of an edit box's text, or nothing after telling the user why not.
    bool encodeField(QLineEdit* edit, const QString& fieldName, std::string& bytes);

    SongDocument& session_;
    DialogMessages& messages_;
    QString shownTitle_;
    QString shownCopyright_;
    bool songChanged_ = false;
};

// The song settings command: shows the dialog modally over `parent`; true when the song's title
// or copyright changed, in which case the caller marks the song modified.
bool editSongSettings(SongDocument& session, QWidget* parent, DialogMessages* messages = nullptr);

} // namespace pokopen
