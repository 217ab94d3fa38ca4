#pragma once

#include <QDialog>
#include <QIcon>
#include <QString>

class QLabel;
class QPushButton;

namespace pokopen {

// The program's icon (the same pictures the desktop entry installs), for the About box and as
// the windows' icon.
QIcon programIcon();
// The program's version, "major.minor.patch" as the build was configured.
QString programVersion();

// The About box ("バージョン情報"): icon, name, version, copyright holder and terms of use.
class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget* parent = nullptr);

    QLabel* imgIcon = nullptr;
    QLabel* lblName = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblCopyright = nullptr;
    QLabel* lblTerms = nullptr;
    QPushButton* btnOk = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
};

// The About command: shows the box modally and destroys it.
void showAbout(QWidget* parent);

} // namespace pokopen
