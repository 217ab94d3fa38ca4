#include "player/player_window.h"

#include "midifile/midi_file.h"
#include "ui/fonts.h"

#include <QCheckBox>
#include <QEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <limits>

namespace pokopen {

namespace {

constexpr int WINDOW_WIDTH = 554;
constexpr int WINDOW_HEIGHT = 318;
constexpr int PRACTICE_TOP = 134; // the practice controls, below the transport row
constexpr int SEEK_INTERVAL_MS = 10;
constexpr int TITLE_CELL_HEIGHT = 24;
const QColor SILVER(0xC0, 0xC0, 0xC0);
const QColor AQUA(0x00, 0xFF, 0xFF);
const QColor TEAL(0x00, 0x80, 0x80);

const char* const BUTTON_NAMES[TfrmMPlay::BUTTON_COUNT] = {
    "btnPlay", "btnPause", "btnStop", "btnNext", "btnPrev", "btnStep", "btnBack", "btnRecord", "btnEject"};

int toBar(std::int64_t ms) {
    return static_cast<int>(std::clamp<std::int64_t>(ms, 0, std::numeric_limits<int>::max()));
}

// The release of a key with which the seek bar scrolls ends the scroll, as a mouse release does.
bool isScrollKeyRelease(QEvent* event) {
    if (event->type() != QEvent::KeyRelease)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->isAutoRepeat())
        return false;
    switch (key->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
        return true;
    default:
        return false;
    }
}

void showError(QWidget* parent, const QString& text) {
    QMessageBox::critical(parent, QStringLiteral("ぽこぺんシーケンサ"), text);
}

} // namespace

TfrmMPlay::TfrmMPlay(MidiFilePlayer& player, const QString& path, const QString& title,
                     const QString& copyright, QWidget* parent, ErrorBox errorBox)
    : QDialog(parent, Qt::Tool), player_(player), errorBox_(errorBox ? std::move(errorBox) : showError) {
    setObjectName(QStringLiteral("frmMPlay"));
    setWindowTitle(QStringLiteral("ぽこぺんプレイヤー"));
    setModal(true);
    QPalette windowPalette = palette();
    windowPalette.setColor(QPalette::Window, SILVER);
    setPalette(windowPalette);
    setAutoFillBackground(true);

    pnlTitle = new QFrame(this);
    pnlTitle->setObjectName(QStringLiteral("pnlTitle"));
    pnlTitle->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pnlTitle->setGeometry(8, 8, 538, 57);
    QPalette titlePalette = pnlTitle->palette();
    titlePalette.setColor(QPalette::Window, AQUA);
    titlePalette.setColor(QPalette::WindowText, TEAL);
    pnlTitle->setPalette(titlePalette);
    pnlTitle->setAutoFillBackground(true);

    lblTitle = new QLabel(title, pnlTitle);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    lblTitle->setAlignment(Qt::AlignCenter);
    lblTitle->setFont(
        fontWithCellHeight(QStringLiteral("IPAPGothic"), TITLE_CELL_HEIGHT, false, CellFit::NotAbove));
    lblTitle->setGeometry(2, 2, 534, 53);
    lblCopy = new QLabel(copyright, pnlTitle);
    lblCopy->setObjectName(QStringLiteral("lblCopy"));
    lblCopy->hide();
    pnlTitle->installEventFilter(this);
    lblTitle->installEventFilter(this);

    barSeek = new QScrollBar(Qt::Horizontal, this);
    barSeek->setObjectName(QStringLiteral("barSeek"));
    barSeek->setGeometry(8, 72, 538, 17);
    barSeek->setRange(0, 100); // the design range, kept when nothing can be opened
    barSeek->installEventFilter(this);
    connect(barSeek, &QScrollBar::actionTriggered, this, &TfrmMPlay::barSeekActionTriggered);

    mplPlayer = new QWidget(this);
    mplPlayer->setObjectName(QStringLiteral("mplPlayer"));
    mplPlayer->setGeometry(8, 96, 253, 30);
    const QStyle::StandardPixmap icons[BUTTON_COUNT] = {
        QStyle::SP_MediaPlay,         QStyle::SP_MediaPause,        QStyle::SP_MediaStop,
        QStyle::SP_MediaSkipForward,  QStyle::SP_MediaSkipBackward, QStyle::SP_MediaSeekForward,
        QStyle::SP_MediaSeekBackward, QStyle::SP_DialogYesButton,   QStyle::SP_ArrowUp};
    for (int i = 0; i < BUTTON_COUNT; ++i) {
        auto* b = new QToolButton(mplPlayer);
        b->setObjectName(QString::fromLatin1(BUTTON_NAMES[i]));
        b->setIcon(style()->standardIcon(icons[i]));
        b->setGeometry(i * 28, 0, 28, 30);
        b->setEnabled(false);
        connect(b, &QToolButton::clicked, this, [this, i] { mplPlayerClick(static_cast<Button>(i)); });
        buttons_[static_cast<std::size_t>(i)] = b;
    }
    buttons_[static_cast<std::size_t>(Button::Record)]->setText(QStringLiteral("●"));
    buttons_[static_cast<std::size_t>(Button::Record)]->setIcon({});
    buttons_[static_cast<std::size_t>(Button::Eject)]->setText(QStringLiteral("⏏"));
    buttons_[static_cast<std::size_t>(Button::Eject)]->setIcon({});

    chkRepeat = new QCheckBox(QStringLiteral("Repeat"), this);
    chkRepeat->setObjectName(QStringLiteral("chkRepeat"));
    QFont italic = chkRepeat->font();
    italic.setItalic(true);
    chkRepeat->setFont(italic);
    chkRepeat->setGeometry(280, 102, 90, 20);

    btnClose = new QPushButton(QStringLiteral("閉じる(&C)"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setGeometry(456, WINDOW_HEIGHT - 38, 90, 28);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);

    createPracticeControls();

    tmrSeek = new QTimer(this);
    tmrSeek->setObjectName(QStringLiteral("tmrSeek"));
    connect(tmrSeek, &QTimer::timeout, this, &TfrmMPlay::tmrSeekTimer);

    FormCreate(path);
}

void TfrmMPlay::createPracticeControls() {
    const auto label = [this](const QString& text, const char* name, int x, int y, int w) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QString::fromLatin1(name));
        l->setGeometry(x, y, w, 20);
        return l;
    };
    const auto check = [this](const QString& text, const char* name, int x, int y, int w) {
        auto* c = new QCheckBox(text, this);
        c->setObjectName(QString::fromLatin1(name));
        c->setGeometry(x, y, w, 20);
        connect(c, &QCheckBox::toggled, this, &TfrmMPlay::practiceChanged);
        return c;
    };
    int y = PRACTICE_TOP;
    chkLoop = check(QStringLiteral("範囲を繰り返す"), "chkLoop", 8, y, 130);
    chkLoop->setEnabled(false); // until the song's measures are known
    label(QStringLiteral("開始小節"), "lblLoopFrom", 150, y, 60);
    label(QStringLiteral("終了小節"), "lblLoopTo", 300, y, 60);
    spnLoopFrom = new QSpinBox(this);
    spnLoopFrom->setObjectName(QStringLiteral("spnLoopFrom"));
    spnLoopFrom->setGeometry(212, y - 1, 70, 22);
    spnLoopTo = new QSpinBox(this);
    spnLoopTo->setObjectName(QStringLiteral("spnLoopTo"));
    spnLoopTo->setGeometry(362, y - 1, 70, 22);
    for (QSpinBox* box : {spnLoopFrom, spnLoopTo}) {
        box->setRange(1, 1);
        box->setEnabled(false);
    }
    connect(spnLoopFrom, &QSpinBox::valueChanged, this, [this] { loopRangeChanged(true); });
    connect(spnLoopTo, &QSpinBox::valueChanged, this, [this] { loopRangeChanged(false); });

    y += 28;
    label(QStringLiteral("テンポ"), "lblTempo", 8, y, 50);
    trkTempo = new QSlider(Qt::Horizontal, this);
    trkTempo->setObjectName(QStringLiteral("trkTempo"));
    trkTempo->setRange(MIN_TEMPO_PERCENT, MAX_TEMPO_PERCENT);
    trkTempo->setValue(100);
    trkTempo->setPageStep(25);
    trkTempo->setGeometry(60, y, 300, 20);
    lblTempoValue = label(QStringLiteral("100%"), "lblTempoValue", 368, y, 60);
    connect(trkTempo, &QSlider::valueChanged, this, [this](int v) {
        lblTempoValue->setText(QString::number(v) + QLatin1Char('%'));
        practiceChanged();
    });

    y += 28;
    chkCountIn = check(QStringLiteral("カウント"), "chkCountIn", 8, y, 100);
    chkMetronome = check(QStringLiteral("メトロノーム"), "chkMetronome", 120, y, 130);

    // One row of mute and one of solo buttons, labelled with the part numbers.
    y += 28;
    for (int row = 0; row < 2; ++row) {
        label(row == 0 ? QStringLiteral("M") : QStringLiteral("S"), row == 0 ? "lblMute" : "lblSolo", 8,
              y + 1, 18);
        auto& buttons = row == 0 ? btnMute : btnSolo;
        for (int part = 0; part < 16; ++part) {
            auto* b = new QToolButton(this);
            b->setObjectName(QString::fromLatin1(row == 0 ? "btnMute" : "btnSolo") +
                             QString::number(part + 1));
            b->setText(QString::number(part + 1));
            b->setCheckable(true);
            b->setFocusPolicy(Qt::NoFocus);
            b->setGeometry(28 + part * 32, y, 30, 22);
            connect(b, &QToolButton::toggled, this, &TfrmMPlay::practiceChanged);
            buttons[static_cast<std::size_t>(part)] = b;
        }
        y += 26;
    }

    auto* space = new QShortcut(QKeySequence(Qt::Key_Space), this);
    connect(space, &QShortcut::activated, this, &TfrmMPlay::togglePause);
    auto* home = new QShortcut(QKeySequence(Qt::Key_Home), this);
    connect(home, &QShortcut::activated, this, &TfrmMPlay::backToStart);
}

void TfrmMPlay::setTimeline(const PlayTimeline& timeline, std::int64_t startMs) {
    timeline_ = timeline;
    const std::int64_t length = player_.lengthMs();
    const int last = length > 0 ? timeline.pointAtMs(length - 1).measure + 1 : 1;
    const int start = std::clamp(timeline.pointAtMs(startMs).measure + 1, 1, last);
    {
        const QSignalBlocker fromBlocker(spnLoopFrom);
        const QSignalBlocker toBlocker(spnLoopTo);
        for (QSpinBox* box : {spnLoopFrom, spnLoopTo}) {
            box->setRange(1, last);
            box->setValue(start);
            box->setEnabled(true);
        }
    }
    chkLoop->setEnabled(true);
    practiceChanged();
}

void TfrmMPlay::loopRangeChanged(bool fromChanged) {
    // The range never runs backwards: the other end follows the one moved.
    if (spnLoopFrom->value() > spnLoopTo->value()) {
        const QSignalBlocker blocker(fromChanged ? spnLoopTo : spnLoopFrom);
        (fromChanged ? spnLoopTo : spnLoopFrom)
            ->setValue(fromChanged ? spnLoopFrom->value() : spnLoopTo->value());
    }
    practiceChanged();
}

PracticeSettings TfrmMPlay::practice() const {
    PracticeSettings s;
    s.tempoPercent = trkTempo->value();
    for (int part = 0; part < 16; ++part) {
        const auto bit = static_cast<std::uint16_t>(1u << part);
        if (btnMute[static_cast<std::size_t>(part)]->isChecked())
            s.muted = static_cast<std::uint16_t>(s.muted | bit);
        if (btnSolo[static_cast<std::size_t>(part)]->isChecked())
            s.soloed = static_cast<std::uint16_t>(s.soloed | bit);
    }
    s.countIn = chkCountIn->isChecked();
    s.metronome = chkMetronome->isChecked();
    s.clicksFromTick = LEAD_IN; // the play file's lead-in has no beats
    s.loop = chkLoop->isChecked();
    if (timeline_) {
        s.loopFromUs = timeline_->tickToUs(timeline_->measureStartTick(spnLoopFrom->value() - 1));
        s.loopToUs = timeline_->tickToUs(timeline_->measureStartTick(spnLoopTo->value()));
    } else {
        s.loop = false;
    }
    return s;
}

void TfrmMPlay::setPractice(const PracticeSettings& settings) {
    {
        updatingControls_ = true;
        trkTempo->setValue(std::clamp(settings.tempoPercent, MIN_TEMPO_PERCENT, MAX_TEMPO_PERCENT));
        for (int part = 0; part < 16; ++part) {
            btnMute[static_cast<std::size_t>(part)]->setChecked((settings.muted >> part) & 1);
            btnSolo[static_cast<std::size_t>(part)]->setChecked((settings.soloed >> part) & 1);
        }
        chkCountIn->setChecked(settings.countIn);
        chkMetronome->setChecked(settings.metronome);
        chkLoop->setChecked(settings.loop);
        updatingControls_ = false;
    }
    practiceChanged();
}

void TfrmMPlay::practiceChanged() {
    if (updatingControls_)
        return;
    player_.setPractice(practice());
}

std::int64_t TfrmMPlay::loopStartMs() const {
    if (!chkLoop->isChecked() || !timeline_)
        return 0;
    return timeline_->measureStartMs(spnLoopFrom->value() - 1);
}

void TfrmMPlay::togglePause() {
    if (closed_ || !player_.isOpen())
        return;
    if (player_.state() == MidiFilePlayer::State::Playing)
        player_.pause();
    else
        player_.play();
    updateButtons();
    reportPosition();
}

void TfrmMPlay::backToStart() {
    if (closed_ || !player_.isOpen())
        return;
    const bool playing = player_.state() == MidiFilePlayer::State::Playing;
    player_.seek(loopStartMs());
    if (playing)
        player_.play();
    barSeek->setValue(toBar(player_.positionMs()));
    updateButtons();
    reportPosition();
}

TfrmMPlay::~TfrmMPlay() {
    FormClose();
}

void TfrmMPlay::FormCreate(const QString& path) {
    setFixedSize(WINDOW_WIDTH, WINDOW_HEIGHT);
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    if (!player_.open(path.toStdString())) {
        errorBox_(this, QString::fromStdString(player_.errorText()));
        return; // the window opens without a device; the timer stays stopped
    }
    player_.setEndCallback([this] {
        // Possibly on the player's thread: pass it on to ours.
        QMetaObject::invokeMethod(
            this, [this] { updateButtons(); }, Qt::QueuedConnection);
    });
    barSeek->setRange(0, toBar(player_.lengthMs()));
    barSeek->setValue(0);
    updateButtons();
    tmrSeek->start(SEEK_INTERVAL_MS);
}

void TfrmMPlay::FormClose() {
    if (closed_)
        return;
    closed_ = true;
    tmrSeek->stop();
    player_.setEndCallback({});
    if (player_.isOpen()) {
        player_.stop();
        player_.close();
    }
    reportPosition();
}

void TfrmMPlay::playFrom(std::int64_t ms) {
    if (closed_ || !player_.isOpen())
        return;
    player_.seek(ms);
    // Past the file's end there is nothing to hear, and play there would start the song over
    // and take the main window back to its first measure: wait at the end instead.
    if (ms < player_.lengthMs())
        player_.play();
    barSeek->setValue(toBar(player_.positionMs()));
    updateButtons();
    reportPosition();
}

void TfrmMPlay::reportPosition() {
    if (!closed_ && player_.state() == MidiFilePlayer::State::Playing) {
        reportedPlaying_ = true;
        emit playingAt(player_.heardPositionMs());
    } else if (reportedPlaying_) {
        reportedPlaying_ = false;
        emit playingStopped();
    }
}

void TfrmMPlay::done(int result) {
    FormClose();
    QDialog::done(result);
}

void TfrmMPlay::tmrSeekTimer() {
    const std::int64_t position = player_.positionMs();
    barSeek->setValue(toBar(position));
    const bool atEnd = position == player_.lengthMs();
    if (atEnd && reportedPlaying_)
        emit playingAt(position); // the end is reached before anything stops or starts again
    // At the end, play starts again from the beginning.
    if (chkRepeat->isChecked() && atEnd)
        player_.play();
    reportPosition();
}

void TfrmMPlay::barSeekActionTriggered(int action) {
    switch (static_cast<QAbstractSlider::SliderAction>(action)) {
    case QAbstractSlider::SliderSingleStepAdd:
        barSeekScroll(ScrollCode::LineDown);
        break;
    case QAbstractSlider::SliderSingleStepSub:
        barSeekScroll(ScrollCode::LineUp);
        break;
    case QAbstractSlider::SliderPageStepAdd:
        barSeekScroll(ScrollCode::PageDown);
        break;
    case QAbstractSlider::SliderPageStepSub:
        barSeekScroll(ScrollCode::PageUp);
        break;
    case QAbstractSlider::SliderToMinimum:
        barSeekScroll(ScrollCode::Top);
        break;
    case QAbstractSlider::SliderToMaximum:
        barSeekScroll(ScrollCode::Bottom);
        break;
    case QAbstractSlider::SliderMove:
        barSeekScroll(ScrollCode::Track);
        break;
    case QAbstractSlider::SliderNoAction:
        break;
    }
}

void TfrmMPlay::barSeekScroll(ScrollCode code) {
    if (code != ScrollCode::EndScroll) {
        tmrSeek->stop(); // or the timer would pull the bar back while the user holds it
        return;
    }
    if (!player_.isOpen())
        return;
    player_.seek(barSeek->value());
    player_.play();
    tmrSeek->start(SEEK_INTERVAL_MS);
    updateButtons();
    reportPosition();
}

void TfrmMPlay::pnlTitleMouseDown() {
    const QString shown = lblTitle->text();
    lblTitle->setText(lblCopy->text());
    lblCopy->setText(shown);
}

void TfrmMPlay::mplPlayerClick(Button button) {
    switch (button) {
    case Button::Play:
        player_.play();
        break;
    case Button::Pause: // pauses, or goes on when paused
        if (player_.state() == MidiFilePlayer::State::Paused)
            player_.play();
        else
            player_.pause();
        break;
    case Button::Stop:
        player_.stop();
        break;
    case Button::Next:
        player_.seek(player_.lengthMs());
        break;
    case Button::Prev:
        player_.seek(0);
        break;
    case Button::Step:
    case Button::Back:
    case Button::Record:
    case Button::Eject:
        break; // never enabled: a MIDI file player has none of these
    }
    updateButtons();
    reportPosition();
}

void TfrmMPlay::updateButtons() {
    const MidiFilePlayer::Capabilities c = player_.capabilities();
    const bool enabled[BUTTON_COUNT] = {c.play, c.pause, c.stop,   c.seek, c.seek,
                                        c.step, c.step,  c.record, c.eject};
    for (int i = 0; i < BUTTON_COUNT; ++i)
        buttons_[static_cast<std::size_t>(i)]->setEnabled(enabled[i]);
}

bool TfrmMPlay::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    const bool mouse = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
                       type == QEvent::MouseButtonDblClick;
    if ((watched == pnlTitle || watched == lblTitle) && mouse) {
        pnlTitleMouseDown(); // down shows the copyright, up the title again
        return true;
    }
    if (watched == barSeek && (type == QEvent::MouseButtonRelease || isScrollKeyRelease(event))) {
        const bool handled = QDialog::eventFilter(watched, event);
        barSeekScroll(ScrollCode::EndScroll);
        return handled;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace pokopen
