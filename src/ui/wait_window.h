#pragma once

#include <QWidget>

namespace pokopen {

// "Please wait", shown in the middle of the screen while a song is read or written.
class TfrmWait : public QWidget {
    Q_OBJECT
public:
    explicit TfrmWait(QWidget* parent = nullptr);
};

// Shows the wait window for the lifetime of the object, painted at once.
class WaitScope {
public:
    explicit WaitScope(QWidget* owner);
    ~WaitScope();
    WaitScope(const WaitScope&) = delete;
    WaitScope& operator=(const WaitScope&) = delete;

private:
    TfrmWait* window_;
};

} // namespace pokopen
