#pragma once

#include "document/song_document.h"

#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QPushButton;

namespace pokopen {

// The "調性／拍子(*)" tab (tabAlter): the key and the meter in force at the current measure,
// whether each begins here, and buttons to start or remove a change here.
class SignaturePage : public QWidget {
    Q_OBJECT
public:
    explicit SignaturePage(SongDocument& session, QWidget* parent = nullptr);

    // Refreshes the tab for the current measure; nothing while the page is hidden.
    void updateSignatureTab();
    // The tab came into view.
    void tabAlterShow() { updateSignatureTab(); }

    void btnStlChangeClick();
    void btnStlDeleteClick();
    void btnRtmChangeClick();
    void btnRtmDeleteClick();

    // How the page asks the user. By default the modal dialogs and a warning box; tests replace
    // them so that no modal window waits for input.
    struct Prompts {
        // Key byte chosen in TfrmStyle, preselected at the given key; nothing on Cancel.
        std::function<std::optional<int>(int key)> chooseKey;
        // Item of METER_CHOICES chosen in TfrmRhythm, preselected at the given item.
        std::function<std::optional<int>(int item)> chooseMeter;
        std::function<void(const QString& text)> warn;
    };
    void setPrompts(Prompts prompts) { prompts_ = std::move(prompts); }

private:
    EditPlace place() const;

    SongDocument& session_;
    Prompts prompts_;
    QLabel* lblStyle1_;
    QLabel* lblStyle2_;
    QLabel* lblStlInfo_;
    QPushButton* btnStlChange_;
    QPushButton* btnStlDelete_;
    QLabel* lblRhythm_;
    QLabel* lblRtmInfo_;
    QPushButton* btnRtmChange_;
    QPushButton* btnRtmDelete_;
};

} // namespace pokopen
