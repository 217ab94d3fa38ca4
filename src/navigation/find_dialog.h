#pragma once

#include "document/song_document.h"
#include "navigation/navigation.h"

#include <QDialog>
#include <QString>

namespace pokopen {

class RadioGroup;

// Shown when a search finds nothing.
inline const QString SEARCH_NOT_FOUND_TEXT = QStringLiteral("検索対象は見つかりませんでした。");

// "検索": what to search for and where to start. Made once and kept for the whole run, so its
// choices stay as the user left them, even after Cancel.
class TfrmFind : public QDialog {
    Q_OBJECT
public:
    explicit TfrmFind(SongDocument& session, QWidget* parent = nullptr);

    // rgrKind: 0 "転調" (key changes), 1 "変拍子" (meter changes).
    SearchKind kind() const;
    // rgrMode: 0 "現在の小節から", 1 "曲の最初から".
    SearchStart start() const;

    RadioGroup* rgrKind() const { return kind_; }
    RadioGroup* rgrMode() const { return mode_; }

private:
    RadioGroup* kind_;
    RadioGroup* mode_;
};

} // namespace pokopen
