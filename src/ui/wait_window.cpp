#include "ui/wait_window.h"

#include "ui/fonts.h"

#include <QApplication>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

namespace pokopen {

TfrmWait::TfrmWait(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("frmWait"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(233, 41);
    auto* label = new QLabel(QStringLiteral("しばらくお待ち下さい"), this);
    label->setObjectName(QStringLiteral("lblWait"));
    label->setAlignment(Qt::AlignCenter);
    label->setFont(fontWithCellHeight(QStringLiteral("ＭＳ Ｐゴシック"), 24));
    label->setGeometry(0, 0, 233, 41);
    setAutoFillBackground(true);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.center() - QPoint(233 / 2, 41 / 2));
    }
}

WaitScope::WaitScope(QWidget* owner) : window_(new TfrmWait(owner)) {
    window_->show();
    window_->repaint();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

WaitScope::~WaitScope() {
    window_->close();
    delete window_;
}

} // namespace pokopen
