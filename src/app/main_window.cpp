#include "app/main_window.h"

#include "model/new_song.h"

#include <QTabWidget>

namespace pokopen {

TfrmMain::TfrmMain(QWidget* parent) : QMainWindow(parent) {
    setObjectName("frmMain");
    newSong(session_.song);
    pagMain_ = new QTabWidget(this);
    pagMain_->setObjectName("pagMain");
    setCentralWidget(pagMain_);
    resize(640, 452);
}

} // namespace pokopen
