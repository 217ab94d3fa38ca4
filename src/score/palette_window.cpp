#include "score/palette_window.h"

#include "score/palette_icons.h"
#include "ui/app_paths.h"
#include "ui/fonts.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QSettings>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace pokopen {

namespace {

const QString SECTION = QStringLiteral("PALETTE");
const QString KEY_X = QStringLiteral("X");
const QString KEY_Y = QStringLiteral("Y");

constexpr int LENGTH_BUTTON_SIZE = 25;
constexpr int SIGN_BUTTON_WIDTH = 25;
constexpr int SIGN_BUTTON_HEIGHT = 24;
constexpr int ICON_SIZE = 18;
constexpr int SEPARATOR_WIDTH = 8;
constexpr int TOOLBAR_TOP_INDENT = 2;

// Stand-ins for the Japanese Windows fonts.
const QString P_GOTHIC = QStringLiteral("IPAPGothic");
const QString MINCHO = QStringLiteral("IPAMincho");

struct LengthButton {
    const char* name;
    NoteValue value;
    LengthSign sign;
    void (TfrmPalette::*handler)();
};

using enum NoteValue;

const std::array<LengthButton, 18> LENGTH_BUTTONS = {{
    {"tolNote1", Whole, LengthSign::None, &TfrmPalette::tolNote1Click},
    {"tolNote2", Half, LengthSign::None, &TfrmPalette::tolNote2Click},
    {"tolNote4", Quarter, LengthSign::None, &TfrmPalette::tolNote4Click},
    {"tolNote8", Eighth, LengthSign::None, &TfrmPalette::tolNote8Click},
    {"tolNote16", Sixteenth, LengthSign::None, &TfrmPalette::tolNote16Click},
    {"tolNote32", ThirtySecond, LengthSign::None, &TfrmPalette::tolNote32Click},
    {"tolNote1p", Whole, LengthSign::Plus, &TfrmPalette::tolNote1pClick},
    {"tolNote2p", Half, LengthSign::Plus, &TfrmPalette::tolNote2pClick},
    {"tolNote4p", Quarter, LengthSign::Plus, &TfrmPalette::tolNote4pClick},
    {"tolNote8p", Eighth, LengthSign::Plus, &TfrmPalette::tolNote8pClick},
    {"tolNote16p", Sixteenth, LengthSign::Plus, &TfrmPalette::tolNote16pClick},
    {"tolNote32p", ThirtySecond, LengthSign::Plus, &TfrmPalette::tolNote32pClick},
    {"tolNote1m", Whole, LengthSign::Minus, &TfrmPalette::tolNote1mClick},
    {"tolNote2m", Half, LengthSign::Minus, &TfrmPalette::tolNote2mClick},
    {"tolNote4m", Quarter, LengthSign::Minus, &TfrmPalette::tolNote4mClick},
    {"tolNote8m", Eighth, LengthSign::Minus, &TfrmPalette::tolNote8mClick},
    {"tolNote16m", Sixteenth, LengthSign::Minus, &TfrmPalette::tolNote16mClick},
    {"tolNote32m", ThirtySecond, LengthSign::Minus, &TfrmPalette::tolNote32mClick},
}};

struct SignButton {
    const char* name;
    std::int8_t accidental;
    const char* text; // UTF-8, shown in lblSign
    QRgb colour;      // lblSign's background
    void (TfrmPalette::*handler)();
};

const std::array<SignButton, 5> SIGN_BUTTONS = {{
    {"tolDFlat", -2, "ダブルフラット", 0x000080, &TfrmPalette::tolDFlatClick},
    {"tolFlat", -1, "フラット", 0x0000FF, &TfrmPalette::tolFlatClick},
    {"tolNatural", 0, "ナチュラル", 0x008000, &TfrmPalette::tolNaturalClick},
    {"tolSharp", 1, "シャープ", 0xFF0000, &TfrmPalette::tolSharpClick},
    {"tolDSharp", 2, "ダブルシャープ", 0x800000, &TfrmPalette::tolDSharpClick},
}};

QToolButton* makeButton(QWidget* bar, const QString& name, const QIcon& icon, QSize size) {
    auto* button = new QToolButton(bar);
    button->setObjectName(name);
    button->setIcon(icon);
    button->setIconSize(QSize(ICON_SIZE, ICON_SIZE));
    button->setFixedSize(size);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    bar->layout()->addWidget(button);
    return button;
}

void addSeparator(QWidget* bar) {
    auto* line = new QFrame(bar);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setFixedWidth(SEPARATOR_WIDTH);
    bar->layout()->addWidget(line);
}

// A row of tool buttons laid out without gaps, as the palette's two toolbars are.
QWidget* makeBar(QWidget* parent, const QString& name, int buttonHeight) {
    auto* bar = new QWidget(parent);
    bar->setObjectName(name);
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(0, TOOLBAR_TOP_INDENT, 0, 0);
    layout->setSpacing(0);
    bar->setFixedHeight(buttonHeight + TOOLBAR_TOP_INDENT);
    return bar;
}

} // namespace

TfrmPalette::TfrmPalette(SongDocument& session, QWidget* parent)
    : TfrmPalette(session, AppPaths::forRunningProgram().iniPath(), parent) {}

TfrmPalette::TfrmPalette(SongDocument& session, const QString& iniPath, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint), palette_(session.palette), iniPath_(iniPath) {
    setObjectName(QStringLiteral("frmPalette"));
    setWindowTitle(QStringLiteral("ぽこぺんパレット"));
    setFont(fontWithCellHeight(P_GOTHIC, 12, false, CellFit::NotAbove));
    buildControls();
    FormCreate();
}

void TfrmPalette::buildControls() {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    // The client size is fixed (FormCreate); the rows fill it exactly.
    column->setSizeConstraint(QLayout::SetNoConstraint);

    lblNoteLen_ = new QLabel(this);
    lblNoteLen_->setObjectName(QStringLiteral("lblNoteLen"));
    lblNoteLen_->setFixedHeight(25);
    lblNoteLen_->setAlignment(Qt::AlignCenter);
    lblNoteLen_->setFont(fontWithCellHeight(MINCHO, 24, true, CellFit::NotAbove));
    lblNoteLen_->setAutoFillBackground(true);
    QPalette white = lblNoteLen_->palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    lblNoteLen_->setPalette(white);
    column->addWidget(lblNoteLen_);

    QWidget* toolBar1 = makeBar(this, QStringLiteral("ToolBar1"), LENGTH_BUTTON_SIZE);
    for (std::size_t i = 0; i < LENGTH_BUTTONS.size(); ++i) {
        const LengthButton& b = LENGTH_BUTTONS[i];
        if (i == 6 || i == 12)
            addSeparator(toolBar1);
        QToolButton* button = makeButton(toolBar1, QString::fromLatin1(b.name), noteIcon(b.value, b.sign),
                                         QSize(LENGTH_BUTTON_SIZE, LENGTH_BUTTON_SIZE));
        connect(button, &QToolButton::clicked, this, b.handler);
    }
    static_cast<QHBoxLayout*>(toolBar1->layout())->addStretch();
    column->addWidget(toolBar1);

    QWidget* toolBar2 = makeBar(this, QStringLiteral("ToolBar2"), SIGN_BUTTON_HEIGHT);
    accidentalGroup_ = new QButtonGroup(this);
    accidentalGroup_->setExclusive(true);
    for (std::size_t i = 0; i < SIGN_BUTTONS.size(); ++i) {
        const SignButton& b = SIGN_BUTTONS[i];
        QToolButton* button = makeButton(toolBar2, QString::fromLatin1(b.name), accidentalIcon(b.accidental),
                                         QSize(SIGN_BUTTON_WIDTH, SIGN_BUTTON_HEIGHT));
        button->setCheckable(true);
        accidentalGroup_->addButton(button);
        accidentalButtons_[i] = button;
        connect(button, &QToolButton::clicked, this, b.handler);
    }
    addSeparator(toolBar2);
    QToolButton* cancel = makeButton(toolBar2, QStringLiteral("tolCancel"), cancelIcon(),
                                     QSize(SIGN_BUTTON_WIDTH, SIGN_BUTTON_HEIGHT));
    connect(cancel, &QToolButton::clicked, this, &TfrmPalette::tolCancelClick);
    addSeparator(toolBar2);

    lblSign_ = new QLabel(toolBar2);
    lblSign_->setObjectName(QStringLiteral("lblSign"));
    lblSign_->setFixedSize(299, SIGN_BUTTON_HEIGHT);
    lblSign_->setAlignment(Qt::AlignCenter);
    lblSign_->setFont(fontWithCellHeight(P_GOTHIC, 24, false, CellFit::NotAbove));
    lblSign_->setAutoFillBackground(true);
    toolBar2->layout()->addWidget(lblSign_);
    static_cast<QHBoxLayout*>(toolBar2->layout())->addStretch();
    column->addWidget(toolBar2);
    column->addStretch();
}

void TfrmPalette::FormCreate() {
    readPosition();
    setFixedSize(CLIENT_WIDTH, CLIENT_HEIGHT);
    palette_ = PaletteState{};
    showNoteLength();
    showSign();
}

void TfrmPalette::readPosition() {
    QSettings ini(iniPath_, QSettings::IniFormat);
    ini.beginGroup(SECTION);
    bool okX = false;
    bool okY = false;
    int x = ini.value(KEY_X).toInt(&okX);
    int y = ini.value(KEY_Y).toInt(&okY);
    if (!okX)
        x = DEFAULT_X;
    if (!okY)
        y = DEFAULT_Y;
    // A position saved on a screen that is no longer attached would leave the palette out of
    // reach for good, since it cannot be closed and reopened elsewhere.
    const QRect wanted(x, y, OUTER_WIDTH, OUTER_HEIGHT);
    const QList<QScreen*> screens = QGuiApplication::screens();
    const bool onSomeScreen =
        screens.isEmpty() || std::any_of(screens.begin(), screens.end(), [&](QScreen* s) {
            return s->availableVirtualGeometry().intersects(wanted);
        });
    if (!onSomeScreen) {
        x = DEFAULT_X;
        y = DEFAULT_Y;
    }
    move(x, y);
}

bool TfrmPalette::savePosition() const {
    QSettings ini(iniPath_, QSettings::IniFormat);
    ini.beginGroup(SECTION);
    ini.setValue(KEY_X, pos().x());
    ini.setValue(KEY_Y, pos().y());
    ini.endGroup();
    ini.sync();
    return ini.status() == QSettings::NoError;
}

void TfrmPalette::closeEvent(QCloseEvent* event) {
    // The palette lives as long as the program; the staff tab shows and hides it.
    event->ignore();
}

void TfrmPalette::showNoteLength() {
    lblNoteLen_->setText(QString::fromStdString(palette_.noteLengthText));
}

void TfrmPalette::showSign() {
    QPalette colours = lblSign_->palette();
    colours.setColor(QPalette::WindowText, Qt::white);
    const SignButton* chosen = nullptr;
    if (palette_.accidentalSet) {
        for (const SignButton& b : SIGN_BUTTONS) {
            if (b.accidental == palette_.accidental)
                chosen = &b;
        }
    }
    if (chosen != nullptr) {
        lblSign_->setText(QString::fromUtf8(chosen->text));
        colours.setColor(QPalette::Window, QColor::fromRgb(chosen->colour));
    } else {
        lblSign_->setText(QString());
        colours.setColor(QPalette::Window, QGuiApplication::palette().color(QPalette::Button));
    }
    lblSign_->setPalette(colours);
}

void TfrmPalette::setLength(NoteValue value) {
    setNoteLength(palette_, value);
    showNoteLength();
}

void TfrmPalette::addLength(NoteValue value) {
    if (addNoteLength(palette_, value))
        showNoteLength();
}

void TfrmPalette::subtractLength(NoteValue value) {
    if (subtractNoteLength(palette_, value))
        showNoteLength();
}

void TfrmPalette::chooseSign(std::int8_t accidental) {
    chooseAccidental(palette_, accidental);
    for (std::size_t i = 0; i < SIGN_BUTTONS.size(); ++i) {
        if (SIGN_BUTTONS[i].accidental == accidental)
            accidentalButtons_[i]->setChecked(true); // also when chosen by a call, not a click
    }
    showSign();
}

void TfrmPalette::tolNote1Click() {
    setLength(Whole);
}
void TfrmPalette::tolNote2Click() {
    setLength(Half);
}
void TfrmPalette::tolNote4Click() {
    setLength(Quarter);
}
void TfrmPalette::tolNote8Click() {
    setLength(Eighth);
}
void TfrmPalette::tolNote16Click() {
    setLength(Sixteenth);
}
void TfrmPalette::tolNote32Click() {
    setLength(ThirtySecond);
}

void TfrmPalette::tolNote1pClick() {
    addLength(Whole);
}
void TfrmPalette::tolNote2pClick() {
    addLength(Half);
}
void TfrmPalette::tolNote4pClick() {
    addLength(Quarter);
}
void TfrmPalette::tolNote8pClick() {
    addLength(Eighth);
}
void TfrmPalette::tolNote16pClick() {
    addLength(Sixteenth);
}
void TfrmPalette::tolNote32pClick() {
    addLength(ThirtySecond);
}

void TfrmPalette::tolNote1mClick() {
    subtractLength(Whole);
}
void TfrmPalette::tolNote2mClick() {
    subtractLength(Half);
}
void TfrmPalette::tolNote4mClick() {
    subtractLength(Quarter);
}
void TfrmPalette::tolNote8mClick() {
    subtractLength(Eighth);
}
void TfrmPalette::tolNote16mClick() {
    subtractLength(Sixteenth);
}
void TfrmPalette::tolNote32mClick() {
    subtractLength(ThirtySecond);
}

void TfrmPalette::tolDFlatClick() {
    chooseSign(-2);
}
void TfrmPalette::tolFlatClick() {
    chooseSign(-1);
}
void TfrmPalette::tolNaturalClick() {
    chooseSign(0);
}
void TfrmPalette::tolSharpClick() {
    chooseSign(1);
}
void TfrmPalette::tolDSharpClick() {
    chooseSign(2);
}

void TfrmPalette::tolCancelClick() {
    cancelAccidental(palette_);
    // An exclusive group keeps one button down; lift that rule to release them all.
    accidentalGroup_->setExclusive(false);
    for (QToolButton* button : accidentalButtons_)
        button->setChecked(false);
    accidentalGroup_->setExclusive(true);
    showSign();
}

} // namespace pokopen
