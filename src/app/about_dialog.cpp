#include "app/about_dialog.h"

#include "app/version.h"
#include "ui/fonts.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

// The icon pictures live in a static library, so their resource must be pulled in by name (and
// from outside any namespace).
static void initProgramIconResource() {
    Q_INIT_RESOURCE(program_icon);
}

namespace pokopen {

namespace {

const QString COPYRIGHT = QStringLiteral("Copyright (C) 2026 Pokopen Sequencer developers");

const QString TERMS =
    QStringLiteral("このソフトウェアはフリーソフトウェアです。無料で使うことができ、"
                   "個人・団体・営利・非営利を問わず、自由にコピーして配布できます。"
                   "改良したものを配布することもできますが、その場合も同じ条件で使えるようにし、"
                   "上の著作権表示とこの条件を残してください。\n"
                   "このソフトウェアは「現状のまま」提供され、動作の保証はありません。"
                   "使用によって生じたいかなる損害についても、作者は責任を負いません。\n"
                   "このソフトウェアで作った曲の著作権は、曲を作ったあなたにあります。");

} // namespace

QIcon programIcon() {
    initProgramIconResource();
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/pokopen-%1.png").arg(size), QSize(size, size));
    return icon;
}

QString programVersion() {
    return QStringLiteral(POKOPEN_VERSION);
}

TfrmAbout::TfrmAbout(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("バージョン情報"));
    setModal(true);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    setWindowIcon(programIcon());

    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("pnlAbout"));
    panel->setFrameShape(QFrame::StyledPanel);

    imgIcon = new QLabel(panel);
    imgIcon->setObjectName(QStringLiteral("imgIcon"));
    imgIcon->setPixmap(programIcon().pixmap(QSize(64, 64)));
    imgIcon->setFixedSize(64, 64);

    lblName = new QLabel(PROGRAM_TITLE, panel);
    lblName->setObjectName(QStringLiteral("lblName"));
    QFont nameFont = lblName->font();
    nameFont.setPixelSize(20);
    nameFont.setBold(true);
    lblName->setFont(nameFont);

    lblVersion = new QLabel(QStringLiteral("バージョン %1").arg(programVersion()), panel);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblCopyright = new QLabel(COPYRIGHT, panel);
    lblCopyright->setObjectName(QStringLiteral("lblCopyright"));
    lblTerms = new QLabel(TERMS, panel);
    lblTerms->setObjectName(QStringLiteral("lblTerms"));
    lblTerms->setWordWrap(true);
    lblTerms->setFixedWidth(320);

    auto* texts = new QVBoxLayout;
    texts->addWidget(lblName);
    texts->addWidget(lblVersion);
    texts->addWidget(lblCopyright);
    texts->addSpacing(8);
    texts->addWidget(lblTerms);

    auto* top = new QHBoxLayout(panel);
    top->addWidget(imgIcon, 0, Qt::AlignTop);
    top->addSpacing(8);
    top->addLayout(texts);

    btnOk = new QPushButton(QStringLiteral("OK"), this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setDefault(true);
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(panel);
    layout->addWidget(btnOk, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TfrmAbout::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (const QScreen* s = screen())
        move(s->availableGeometry().center() - rect().center());
}

void showAbout(QWidget* parent) {
    TfrmAbout about(parent);
    about.exec();
}

} // namespace pokopen
