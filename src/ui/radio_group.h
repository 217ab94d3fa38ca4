#pragma once

#include <QGroupBox>
#include <QStringList>

class QButtonGroup;
class QRadioButton;

// A widget shared by the curve, signature and search windows.
namespace pokopen {

// A titled group of radio buttons laid out in columns, with one item index (-1 for none).
// `clicked` is emitted only when the user picks an item, not when code sets the index.
class RadioGroup : public QGroupBox {
    Q_OBJECT
public:
    RadioGroup(const QString& title, const QStringList& items, int columns, QWidget* parent = nullptr);

    int itemIndex() const;
    void setItemIndex(int index);
    QRadioButton* item(int index) const;
    int count() const;

signals:
    void clicked(int index);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutItems();

    QButtonGroup* group_;
    int columns_;
};

} // namespace pokopen
