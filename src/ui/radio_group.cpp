#include "ui/radio_group.h"

#include <QButtonGroup>
#include <QFontMetrics>
#include <QRadioButton>

#include <algorithm>

namespace pokopen {

RadioGroup::RadioGroup(const QString& title, const QStringList& items, int columns, QWidget* parent)
    : QGroupBox(title, parent), group_(new QButtonGroup(this)), columns_(std::max(columns, 1)) {
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], this);
        group_->addButton(button, i);
    }
    connect(group_, &QButtonGroup::idClicked, this, &RadioGroup::clicked);
}

int RadioGroup::itemIndex() const {
    return group_->checkedId();
}

void RadioGroup::setItemIndex(int index) {
    if (QAbstractButton* button = group_->button(index)) {
        button->setChecked(true);
    } else if (QAbstractButton* checked = group_->checkedButton()) {
        group_->setExclusive(false);
        checked->setChecked(false);
        group_->setExclusive(true);
    }
}

QRadioButton* RadioGroup::item(int index) const {
    return static_cast<QRadioButton*>(group_->button(index));
}

int RadioGroup::count() const {
    return static_cast<int>(group_->buttons().size());
}

void RadioGroup::resizeEvent(QResizeEvent* event) {
    QGroupBox::resizeEvent(event);
    layoutItems();
}

void RadioGroup::layoutItems() {
    // Items run down the columns, rows spread evenly below the title.
    const int n = count();
    if (n == 0)
        return;
    const int rows = (n + columns_ - 1) / columns_;
    const int top = fontMetrics().height();
    const int rowHeight = std::max((height() - top - 4) / rows, 1);
    const int columnWidth = std::max((width() - 12) / columns_, 1);
    for (int i = 0; i < n; ++i) {
        const int column = i / rows;
        const int row = i % rows;
        item(i)->setGeometry(8 + column * columnWidth, top + row * rowHeight, columnWidth, rowHeight);
    }
}

} // namespace pokopen
