#pragma once

#include <QListWidget>

class QButtonGroup;
class QGroupBox;
class QLabel;
class QSlider;
class QWidget;

namespace pokopen {

// The instrument list: the 128 General MIDI programs ("001.Piano1" .. "128.Gunshot"), bold yellow
// on black, 19-pixel items; the item index is the program. It reports presses and releases after
// the list has handled them, so a press sees the item it has just selected.
class InstrumentList : public QListWidget {
    Q_OBJECT
public:
    explicit InstrumentList(QWidget* parent = nullptr);

signals:
    void mousePressed(Qt::MouseButton button);
    void mouseReleased(Qt::MouseButton button);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// The controls that the part settings tab and the bulk dialog share, laid out alike on `parent`:
// instrument group with test-note slider, transposing instruments, volume group.
struct PartControls {
    QGroupBox* grpInst = nullptr;
    InstrumentList* lstInst = nullptr;
    QSlider* barTone = nullptr;
    QGroupBox* rgrTrans = nullptr;
    QButtonGroup* transButtons = nullptr; // ids 0..6 = partTransposition
    QGroupBox* grpVol = nullptr;
    QLabel* lblVol = nullptr;
    QSlider* barVol = nullptr;

    int transposition() const;
    void setTransposition(int index);
};

PartControls buildPartControls(QWidget* parent);

// The height (with leading) of the controls' area, for placing what comes below it.
inline constexpr int PART_CONTROLS_HEIGHT = 280;
inline constexpr int PART_CONTROLS_WIDTH = 572;

} // namespace pokopen
