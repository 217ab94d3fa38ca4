#pragma once

#include "app/song_session.h"

#include <QMainWindow>

class QTabWidget;

namespace pokopen {

// The main window: owns the song session, the menu, the toolbar and the six tab pages.
class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TfrmMain(QWidget* parent = nullptr);

    SongSession& session() { return session_; }

private:
    SongSession session_;
    QTabWidget* pagMain_ = nullptr;
};

} // namespace pokopen
