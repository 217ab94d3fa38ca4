#include "navigation/find_dialog.h"

#include "ui/radio_group.h"

#include <QPushButton>

namespace pokopen {

TfrmFind::TfrmFind(SongDocument&, QWidget* parent) : QDialog(parent) {
    setObjectName("frmFind");
    setWindowTitle(QStringLiteral("検索"));
    setFixedSize(289, 201);

    kind_ = new RadioGroup(QStringLiteral("検索対象"), {QStringLiteral("転調"), QStringLiteral("変拍子")}, 1,
                           this);
    kind_->setObjectName("rgrKind");
    kind_->setGeometry(8, 8, 273, 73);
    kind_->setItemIndex(0);
    mode_ = new RadioGroup(QStringLiteral("検索開始位置"),
                           {QStringLiteral("現在の小節から"), QStringLiteral("曲の最初から")}, 1, this);
    mode_->setObjectName("rgrMode");
    mode_->setGeometry(8, 88, 273, 73);
    mode_->setItemIndex(0);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName("btnOk");
    ok->setGeometry(120, 168, 73, 25);
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("キャンセル"), this);
    cancel->setObjectName("btnCancel");
    cancel->setGeometry(208, 168, 73, 25);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

SearchKind TfrmFind::kind() const {
    return kind_->itemIndex() == 1 ? SearchKind::Meter : SearchKind::Key;
}

SearchStart TfrmFind::start() const {
    return mode_->itemIndex() == 1 ? SearchStart::FirstMeasure : SearchStart::CurrentMeasure;
}

} // namespace pokopen
