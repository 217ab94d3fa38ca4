#include "app/settings_dialog.h"

#include "model/text_codec.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace pokopen {

namespace {

const QString CAPTION = QStringLiteral("曲の設定");

// The first character of `text` that has no Shift-JIS form (a surrogate pair counts as one).
QString firstUnencodable(const QString& text) {
    for (const char32_t c : text.toUcs4()) {
        const QString one = QString::fromUcs4(&c, 1);
        if (!encodeSongText(one))
            return one;
    }
    return {};
}

// A song text is one line of the song file: line breaks and other control characters that a
// paste can bring into the edit box become blanks.
QString oneLine(QString text) {
    for (QChar& c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QLatin1Char(' ');
    }
    return text;
}

} // namespace

TfrmSet::TfrmSet(SongDocument& session, QWidget* parent, DialogMessages* messages)
    : QDialog(parent), session_(session), messages_(messages ? *messages : standardDialogMessages()) {
    setObjectName(QStringLiteral("frmSet"));
    setWindowTitle(CAPTION);
    setModal(true);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);

    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("pnlSet"));
    panel->setFrameShape(QFrame::StyledPanel);
    pnlSet = panel;

    lblTitle = new QLabel(QStringLiteral("曲名"), panel);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    lblCopy = new QLabel(QStringLiteral("著作権表示"), panel);
    lblCopy->setObjectName(QStringLiteral("lblCopy"));

    shownTitle_ = decodeSongText(session_.song().songTitle);
    shownCopyright_ = decodeSongText(session_.song().songCopyright);
    const auto makeEdit = [panel](const char* name, const QString& text) {
        auto* edit = new QLineEdit(panel);
        edit->setObjectName(QString::fromLatin1(name));
        // A longer text read from a file is shown whole (and kept when left alone); typing can
        // never make a text longer than the limit or than it already was.
        edit->setMaxLength(std::max<int>(MAX_TEXT_LENGTH, static_cast<int>(text.size())));
        edit->setText(text);
        edit->setMinimumWidth(260);
        return edit;
    };
    edtTitle = makeEdit("edtTitle", shownTitle_);
    edtCopy = makeEdit("edtCopy", shownCopyright_);
    lblTitle->setBuddy(edtTitle);
    lblCopy->setBuddy(edtCopy);

    auto* grid = new QGridLayout(panel);
    grid->addWidget(lblTitle, 0, 0);
    grid->addWidget(edtTitle, 0, 1);
    grid->addWidget(lblCopy, 1, 0);
    grid->addWidget(edtCopy, 1, 1);

    btnOk = new QPushButton(QStringLiteral("OK"), this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    connect(btnOk, &QPushButton::clicked, this, &TfrmSet::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(panel);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

bool TfrmSet::encodeField(QLineEdit* edit, const QString& fieldName, std::string& bytes) {
    const QString text = oneLine(edit->text());
    if (const auto encoded = encodeSongText(text)) {
        bytes = *encoded;
        return true;
    }
    messages_.showWarning(this, CAPTION,
                          QStringLiteral("%1に Shift-JIS で保存できない文字「%2」が含まれています。\n"
                                         "この文字を取り除くか、別の文字に置き換えてください。")
                              .arg(fieldName, firstUnencodable(text)));
    edit->setFocus();
    return false;
}

void TfrmSet::btnOkClick() {
    // A text left as it was keeps its stored bytes exactly, even bytes that do not decode.
    std::string title = session_.song().songTitle;
    std::string copyright = session_.song().songCopyright;
    const bool titleChanged = edtTitle->text() != shownTitle_;
    const bool copyrightChanged = edtCopy->text() != shownCopyright_;
    if (titleChanged && !encodeField(edtTitle, QStringLiteral("曲名"), title))
        return;
    if (copyrightChanged && !encodeField(edtCopy, QStringLiteral("著作権表示"), copyright))
        return;
    if (title != session_.song().songTitle || copyright != session_.song().songCopyright) {
        session_.change("曲の設定",
                        {session_.editing().currentPart, session_.editing().currentMeasure, EditPage::Score},
                        [&](Song& song) {
                            song.songTitle = std::move(title);
                            song.songCopyright = std::move(copyright);
                        });
        songChanged_ = true;
    }
    accept();
}

void TfrmSet::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (const QScreen* s = screen())
        move(s->availableGeometry().center() - rect().center());
}

bool editSongSettings(SongDocument& session, QWidget* parent, DialogMessages* messages) {
    TfrmSet dialog(session, parent, messages);
    dialog.exec();
    return dialog.songChanged();
}

} // namespace pokopen
