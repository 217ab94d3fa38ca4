#pragma once

#include <QHBoxLayout>
#include <QPushButton>
#include <QWidget>

namespace pokopen {

// The right-aligned "OK" (the default button) and "キャンセル" of a settings dialog, named
// btnOK and btnCancel.
struct OkCancelRow {
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
    QHBoxLayout* layout = nullptr;
};

inline OkCancelRow okCancelRow(QWidget* dialog) {
    OkCancelRow row;
    row.ok = new QPushButton(QStringLiteral("OK"), dialog);
    row.ok->setObjectName(QStringLiteral("btnOK"));
    row.ok->setDefault(true);
    row.cancel = new QPushButton(QStringLiteral("キャンセル"), dialog);
    row.cancel->setObjectName(QStringLiteral("btnCancel"));
    row.layout = new QHBoxLayout;
    row.layout->addStretch();
    row.layout->addWidget(row.ok);
    row.layout->addWidget(row.cancel);
    return row;
}

} // namespace pokopen
