#pragma once

#include "document/song_document.h"

#include <QDialog>

class QListWidget;

namespace pokopen {

class RadioGroup;

// "調性の変更": chooses a key with three radio groups and a list that always show the same key.
class TfrmStyle : public QDialog {
    Q_OBJECT
public:
    explicit TfrmStyle(SongDocument& session, QWidget* parent = nullptr);

    // Preselects the list and the three groups at key byte `key`.
    void setKey(int key);
    // The list's selected index: the dialog's result.
    int key() const;

    void lstStyleClick();
    void rgrStlSFClick();
    void rgrStlNumClick();
    void rgrStlDMClick();

private:
    void selectFromGroups();

    RadioGroup* signs_;
    RadioGroup* count_;
    RadioGroup* mode_;
    QListWidget* list_;
};

// "拍子の変更": one of the 18 meters the program offers.
class TfrmRhythm : public QDialog {
    Q_OBJECT
public:
    explicit TfrmRhythm(SongDocument& session, QWidget* parent = nullptr);

    void setItem(int item);
    // The chosen item of METER_CHOICES (-1 for none).
    int item() const;

private:
    RadioGroup* rhythm_;
};

} // namespace pokopen
