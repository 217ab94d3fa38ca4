#include "app/main_window.h"

#include "app/about_dialog.h"
#include "app/any_song_file.h"
#include "app/fm_mode.h"
#include "app/help.h"
#include "app/musicxml_export.h"
#include "app/settings_dialog.h"
#include "app/song_folder.h"
#include "app/toolbar_icons.h"
#include "curves/curve_page.h"
#include "editor/editor_window.h"
#include "midifile/midi_file.h"
#include "model/new_song.h"
#include "model/percussion.h"
#include "model/song_file.h"
#include "model/text_codec.h"
#include "model/timeline.h"
#include "navigation/find_dialog.h"
#include "navigation/navigation.h"
#include "parts/all_part_dialog.h"
#include "parts/part_page.h"
#include "playback/midi_out.h"
#include "playback/midi_out_settings.h"
#include "playback/play_timeline.h"
#include "playback/rtmidi_port_out.h"
#include "player/midi_out_dialog.h"
#include "player/play_follower.h"
#include "player/player_window.h"
#include "score/key_entry.h"
#include "score/key_entry_controller.h"
#include "score/note_entry_controller.h"
#include "score/palette_window.h"
#include "score/score_page.h"
#include "score/staff_layout.h"
#include "signature/signature_edit.h"
#include "signature/signature_page.h"
#include "ui/app_paths.h"
#include "ui/fonts.h"
#include "ui/image_view.h"
#include "ui/wait_window.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>

namespace pokopen {

namespace {

// Size of the client area below the menu bar.
constexpr int CLIENT_WIDTH = 632;
constexpr int CLIENT_HEIGHT = 405;

bool isSongExtension(const QString& suffixLower) {
    return isSongFileSuffix(suffixLower.toStdString()); // kn2, knb, mid, midi, musicxml, xml, mxl
}

QString toQ(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

TfrmMain::TfrmMain(const QStringList& arguments, std::unique_ptr<Prompts> prompts, Files files,
                   QWidget* parent)
    : QMainWindow(parent), prompts_(prompts ? std::move(prompts) : std::make_unique<DialogPrompts>()),
      iniPath_(files.iniPath.isEmpty() ? AppPaths::forRunningProgram().iniPath() : files.iniPath),
      playFilePath_(files.playFilePath) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowIcon(toolIcon(ToolIcon::Play));
    QFont uiFont(QStringLiteral("MS UI Gothic"));
    uiFont.setPixelSize(12);
    setFont(uiFont);

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(CLIENT_WIDTH, CLIENT_HEIGHT);
    setCentralWidget(client);
    {
        // Test notes go to the device chosen in the settings; the synthesizer loads its
        // SoundFont in the background so that start-up does not wait for it.
        QSettings ini(iniPath_, QSettings::IniFormat);
        midiOut_ = std::make_unique<SwitchableMidiOut>(makeMidiOut(readMidiOutSettings(ini)));
        midiOut_->prepare();
    }
    buildMenu();
    buildToolbar(client);
    buildSelectors(client);
    buildPages(client);
    setFixedSize(CLIENT_WIDTH, CLIENT_HEIGHT + menuBar()->sizeHint().height());
    // The window starts in the middle of the screen, as the dialogs and the player do.
    if (const QScreen* s = screen())
        move(s->availableGeometry().center() - rect().center());
    // The palette lives as long as the main window and shows while the staff page is on view.
    palette_ = new TfrmPalette(session_, iniPath_, this);
    find_ = new TfrmFind(session_, this);
    // While test play plays, the measure shown and a line on the staff and the graphs follow it.
    follower_ = new PlayFollower(
        {[this] { return session_.editing().currentMeasure; }, [this](std::int32_t m) { showMeasure(m); }},
        this);
    follower_->addPage(scorePage_->imgScore(), tickX);
    for (QWidget* page : {static_cast<QWidget*>(expPage_), static_cast<QWidget*>(tempoPage_),
                          static_cast<QWidget*>(panPage_)})
        follower_->addPage(page->findChild<ImageView*>(), [](std::int32_t t) { return 3 * t; });
    {
        QSettings ini(iniPath_, QSettings::IniFormat);
        mnuFollow->setChecked(PlayFollower::readSetting(ini));
        follower_->setEnabled(mnuFollow->isChecked());
    }
    setAcceptDrops(true);
    {
        const QSettings ini(iniPath_, QSettings::IniFormat);
        recovery_ = std::make_unique<SessionRecovery>(session_, *prompts_, this,
                                                      files.recoveryFolder.isEmpty() ? defaultRecoveryFolder()
                                                                                     : files.recoveryFolder,
                                                      autosaveIntervalSeconds(ini));
    }
    // Changes let go at the unsaved-changes question leave nothing to recover.
    connect(this, &TfrmMain::changesDiscarded, this, [this] { recovery_->songSavedOrDiscarded(); });
    formCreate(arguments);
}

TfrmMain::~TfrmMain() {
    // The note entry controller and the part page keep a reference to midiOut_ in their test-note
    // players, and a note still marked as sounding is silenced when they go. Qt would delete
    // them only after the members, midiOut_ among them: delete them while the device lives
    // (quietly: the page leaving the tabs is no tab change to show).
    const QSignalBlocker quiet(pagMain);
    delete noteEntry_;
    delete partPage_;
}

void TfrmMain::buildMenu() {
    auto add = [this](QMenu* menu, QAction*& action, const char* name, const QString& caption,
                      const QKeySequence& shortcut, void (TfrmMain::*handler)()) {
        action = menu->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        if (!shortcut.isEmpty())
            action->setShortcut(shortcut);
        if (handler)
            connect(action, &QAction::triggered, this, handler);
        else
            action->setEnabled(false); // a command that is not there yet
    };
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("mnuMain"));
    QMenu* file = bar->addMenu(QStringLiteral("ファイル(&F)"));
    file->setObjectName(QStringLiteral("mnuFile"));
    add(file, mnuNew, "mnuNew", QStringLiteral("新規作成(&N)"), QKeySequence(Qt::CTRL | Qt::Key_N),
        &TfrmMain::mnuNewClick);
    add(file, mnuOpen, "mnuOpen", QStringLiteral("ファイルを開く(&O)..."), QKeySequence(Qt::CTRL | Qt::Key_O),
        &TfrmMain::mnuOpenClick);
    file->addSeparator();
    add(file, mnuSave, "mnuSave", QStringLiteral("上書き保存(&S)"), QKeySequence(Qt::CTRL | Qt::Key_S),
        &TfrmMain::mnuSaveClick);
    add(file, mnuSaveAs, "mnuSaveAs", QStringLiteral("名前を付けて保存(&A)..."), {},
        &TfrmMain::mnuSaveAsClick);
    add(file, mnuMidiOut, "mnuMidiOut", QStringLiteral("MIDIファイル出力(&M)..."),
        QKeySequence(Qt::CTRL | Qt::Key_M), &TfrmMain::mnuMidiOutClick);
    add(file, mnuMusicXmlOut, "mnuMusicXmlOut", QStringLiteral("MusicXML出力(&L)..."), {},
        &TfrmMain::mnuMusicXmlOutClick);
    file->addSeparator();
    add(file, mnuSet, "mnuSet", QStringLiteral("曲の設定(&T)..."), {}, &TfrmMain::mnuSetClick);
    add(file, mnuAllPart, "mnuAllPart", QStringLiteral("パートの一括設定(&P)..."), {},
        &TfrmMain::mnuAllPartClick);
    // The MIDI output settings sit with the other settings, before FM mode and its separator.
    add(file, mnuMidiDevice, "mnuMidiDevice", QStringLiteral("MIDI出力の設定(&D)..."), {},
        &TfrmMain::mnuMidiDeviceClick);
    add(file, mnuFM, "mnuFM", QStringLiteral("FM音源モード(&F)"), {}, &TfrmMain::mnuFMClick);
    mnuFM->setCheckable(true);
    file->addSeparator();
    add(file, mnuExit, "mnuExit", QStringLiteral("ぽこぺんシーケンサの終了(&X)"), {},
        &TfrmMain::mnuExitClick);

    QMenu* edit = bar->addMenu(QStringLiteral("編集(&E)"));
    edit->setObjectName(QStringLiteral("mnuEdit"));
    add(edit, mnuUndo, "mnuUndo", QStringLiteral("元に戻す(&U)"), QKeySequence(Qt::CTRL | Qt::Key_Z),
        &TfrmMain::mnuUndoClick);
    add(edit, mnuRedo, "mnuRedo", QStringLiteral("やり直し(&R)"), QKeySequence(Qt::CTRL | Qt::Key_Y),
        &TfrmMain::mnuRedoClick);
    mnuRedo->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    edit->addSeparator();
    add(edit, mnuEditor, "mnuEditor", QStringLiteral("編集画面を開く(&W)"), {}, &TfrmMain::mnuEditorClick);
    edit->addSeparator();
    add(edit, mnuDivide, "mnuDivide", QStringLiteral("３連符モード(&D)"), {}, &TfrmMain::mnuDivideClick);
    mnuDivide->setCheckable(true);

    QMenu* search = bar->addMenu(QStringLiteral("検索(&S)"));
    search->setObjectName(QStringLiteral("mnuSearch"));
    add(search, mnuFind, "mnuFind", QStringLiteral("検索(&F)..."), QKeySequence(Qt::CTRL | Qt::Key_F),
        &TfrmMain::mnuFindClick);
    add(search, mnuFindNext, "mnuFindNext", QStringLiteral("次を検索(&S)"), QKeySequence(Qt::Key_F3),
        &TfrmMain::mnuFindNextClick);
    add(search, mnuJumpEnd, "mnuJumpEnd", QStringLiteral("曲の最終地点にジャンプ(&E)"), {},
        &TfrmMain::mnuJumpEndClick);

    QMenu* play = bar->addMenu(QStringLiteral("演奏(&P)"));
    play->setObjectName(QStringLiteral("mnuPlay"));
    add(play, mnuMPlay, "mnuMPlay", QStringLiteral("テスト演奏(&O)"), QKeySequence(Qt::Key_F5),
        &TfrmMain::mnuMPlayClick);
    add(play, mnuMPlayFrom, "mnuMPlayFrom", QStringLiteral("現在の小節からテスト演奏(&C)"),
        QKeySequence(Qt::SHIFT | Qt::Key_F5), &TfrmMain::mnuMPlayFromClick);
    play->addSeparator();
    add(play, mnuFollow, "mnuFollow", QStringLiteral("演奏位置を表示(&V)"), {}, &TfrmMain::mnuFollowClick);
    mnuFollow->setCheckable(true);

    QMenu* help = bar->addMenu(QStringLiteral("ヘルプ(&H)"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    add(help, mnuHelpCont, "mnuHelpCont", QStringLiteral("ヘルプの目次(&C)"), {},
        &TfrmMain::mnuHelpContClick);
    help->addSeparator();
    add(help, mnuAbout, "mnuAbout", QStringLiteral("バージョン情報(&A)"), {}, &TfrmMain::mnuAboutClick);
}

void TfrmMain::buildToolbar(QWidget* client) {
    tolMain = new QToolBar(client);
    tolMain->setObjectName(QStringLiteral("tolMain"));
    tolMain->setGeometry(0, 0, CLIENT_WIDTH, 36);
    tolMain->setIconSize(QSize(16, 16));
    tolMain->setMovable(false);
    auto add = [this](QToolButton*& button, const char* name, ToolIcon icon, const QString& hint,
                      QAction* action, bool toggle = false) {
        button = new QToolButton(tolMain);
        button->setObjectName(QString::fromLatin1(name));
        button->setIcon(toolIcon(icon));
        button->setToolTip(hint);
        button->setAutoRaise(true);
        button->setFixedSize(23, 22);
        button->setCheckable(toggle);
        button->setEnabled(action->isEnabled());
        // The button runs the same command as its menu item.
        connect(button, &QToolButton::clicked, action, &QAction::trigger);
        connect(action, &QAction::enabledChanged, button, &QToolButton::setEnabled);
        tolMain->addWidget(button);
    };
    add(tolNew, "tolNew", ToolIcon::New, QStringLiteral("新規作成します。"), mnuNew);
    add(tolOpen, "tolOpen", ToolIcon::Open, QStringLiteral("ファイルを開きます。"), mnuOpen);
    add(tolSave, "tolSave", ToolIcon::Save, QStringLiteral("上書き保存します。"), mnuSave);
    add(tolMidiOut, "tolMidiOut", ToolIcon::MidiOut, QStringLiteral("MIDIファイルを出力します。"),
        mnuMidiOut);
    add(tolSet, "tolSet", ToolIcon::Settings, QStringLiteral("曲の設定をします。"), mnuSet);
    add(tolFM, "tolFM", ToolIcon::Fm, QStringLiteral("FM音源モードのON/OFF"), mnuFM, true);
    tolMain->addSeparator();
    add(tolEditor, "tolEditor", ToolIcon::Editor, QStringLiteral("編集画面を開きます。"), mnuEditor);
    add(tolDivide, "tolDivide", ToolIcon::Divide, QStringLiteral("３連符モードのON/OFF"), mnuDivide, true);
    tolMain->addSeparator();
    add(tolFind, "tolFind", ToolIcon::Find, QStringLiteral("いろいろなものを検索します。"), mnuFind);
    add(tolJumpEnd, "tolJumpEnd", ToolIcon::JumpEnd, QStringLiteral("曲の最終地点にジャンプします。"),
        mnuJumpEnd);
    tolMain->addSeparator();
    add(tolMPlay, "tolMPlay", ToolIcon::Play, QStringLiteral("テスト演奏します。"), mnuMPlay);
    add(tolMPlayFrom, "tolMPlayFrom", ToolIcon::PlayFrom, QStringLiteral("現在の小節からテスト演奏します。"),
        mnuMPlayFrom);
    tolMain->addSeparator();
    add(tolHelp, "tolHelp", ToolIcon::Help, QStringLiteral("ヘルプの目次を表示します。"), mnuHelpCont);
    tolMain->addSeparator();
    add(tolExit, "tolExit", ToolIcon::Exit, QStringLiteral("ぽこぺんシーケンサを終了します。"), mnuExit);
}

void TfrmMain::buildSelectors(QWidget* client) {
    lblMeas = new QLabel(client);
    lblMeas->setObjectName(QStringLiteral("lblMeas"));
    lblMeas->setGeometry(8, 40, 89, 17);
    lblMeas->setAlignment(Qt::AlignCenter);
    lblMeas->setFont(fontWithCellHeight(QStringLiteral("MS UI Gothic"), 16, true));
    lblMeas->setStyleSheet(QStringLiteral("QLabel { background: black; color: #00FF00; }"));
    lblMeas->setToolTip(QStringLiteral("現在の小節番号です。"));

    barMeas = new QScrollBar(Qt::Horizontal, client);
    barMeas->setObjectName(QStringLiteral("barMeas"));
    barMeas->setGeometry(96, 40, 529, 16);
    barMeas->setRange(1, MAX_MEASURES);
    barMeas->setSingleStep(1);
    barMeas->setPageStep(1);
    barMeas->setToolTip(QStringLiteral("このバーで小節番号を変更します。"));
    connect(barMeas, &QScrollBar::valueChanged, this, &TfrmMain::barMeasChange);

    lblPart = new QLabel(client);
    lblPart->setObjectName(QStringLiteral("lblPart"));
    lblPart->setGeometry(8, 64, 17, 17);
    lblPart->setAlignment(Qt::AlignCenter);
    lblPart->setFont(fontWithCellHeight(QStringLiteral("MS UI Gothic"), 16, true));
    lblPart->setToolTip(QStringLiteral("現在のパートです。"));

    partGroup = new QButtonGroup(this);
    partGroup->setExclusive(true);
    const QFont partFont = fontWithCellHeight(QStringLiteral("MS UI Gothic"), 12, true);
    for (int n = 1; n <= 16; ++n) {
        auto* button = new QToolButton(client);
        button->setObjectName(QStringLiteral("btnPart%1").arg(n));
        button->setGeometry(8, 88 + 16 * (n - 1), 17, 17);
        button->setCheckable(true);
        button->setFont(partFont);
        if (n == 10) {
            button->setIcon(drumPartIcon());
            button->setIconSize(QSize(12, 12));
        } else {
            button->setText(QString::number(n));
        }
        partGroup->addButton(button, n - 1);
        btnPart[static_cast<std::size_t>(n - 1)] = button;
    }
    connect(partGroup, &QButtonGroup::idClicked, this, &TfrmMain::selectPart);

    // Invisible text tables: the key names and the drum names.
    lstStyle = new QListWidget(client);
    lstStyle->setObjectName(QStringLiteral("lstStyle"));
    for (const std::string_view name : KEY_NAMES)
        lstStyle->addItem(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
    lstStyle->hide();
    lstPerc = new QListWidget(client);
    lstPerc->setObjectName(QStringLiteral("lstPerc"));
    for (const std::string_view name : PERCUSSION_NAMES)
        lstPerc->addItem(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
    lstPerc->hide();
}

void TfrmMain::buildPages(QWidget* client) {
    pagMain = new QTabWidget(client);
    pagMain->setObjectName(QStringLiteral("pagMain"));
    pagMain->setGeometry(32, 64, 593, 337);
    pagMain->tabBar()->setFont(fontWithCellHeight(QStringLiteral("MS UI Gothic"), 21));

    scorePage_ = new ScorePage(session_);
    expPage_ = new DynamicsPage(session_);
    tempoPage_ = new TempoPage(session_);
    panPage_ = new PanPage(session_);
    signaturePage_ = new SignaturePage(session_);
    partPage_ = new PartPage(session_, *midiOut_);
    tabScore = scorePage_;
    tabExp = expPage_;
    tabTempo = tempoPage_;
    tabPan = panPage_;
    tabAlter = signaturePage_;
    tabPart = partPage_;
    pagMain->addTab(tabScore, QStringLiteral("五線譜"));
    pagMain->addTab(tabExp, QStringLiteral("強弱"));
    pagMain->addTab(tabTempo, QStringLiteral("テンポ(*)"));
    pagMain->addTab(tabPan, QStringLiteral("定位"));
    pagMain->addTab(tabAlter, QStringLiteral("調性／拍子(*)"));
    pagMain->addTab(tabPart, QStringLiteral("パート設定"));
    connect(pagMain, &QTabWidget::currentChanged, this, &TfrmMain::tabChanged);

    // Each page redraws itself from the document's changes; the caption, Save and the Edit menu
    // follow the document's status, and the selectors its editing state.
    statusSubscription_ = session_.subscribeStatus([this] { showDocumentStatus(); });
    editingSubscription_ = session_.subscribe([this](const SongChange& c) {
        if (c.editing != 0)
            showEditing(c);
    });

    // Notes are entered, deleted and auditioned with the mouse on the staff image.
    noteEntry_ = new NoteEntryController(session_, *midiOut_, this);
    connect(scorePage_, &ScorePage::scoreMouseDown, noteEntry_, &NoteEntryController::imgScoreMouseDown);
    connect(scorePage_, &ScorePage::scoreMouseMove, noteEntry_,
            [this](Qt::MouseButtons, int x, int y) { noteEntry_->imgScoreMouseMove(x, y); });
    connect(scorePage_, &ScorePage::scoreMouseUp, noteEntry_, &NoteEntryController::imgScoreMouseUp);
    connect(scorePage_, &ScorePage::scoreDoubleClick, noteEntry_, &NoteEntryController::imgScoreDblClick);
    connect(noteEntry_, &NoteEntryController::staffChanged, this, &TfrmMain::drawStaff);

    // Keyboard entry: keys reach it through the application's event filter (see eventFilter).
    keyEntry_ = new KeyEntryController(session_, noteEntry_->audition(), this);
    connect(keyEntry_, &KeyEntryController::paletteChanged, this, [this] { palette_->showPaletteState(); });
    connect(keyEntry_, &KeyEntryController::measureWanted, this, &TfrmMain::showMeasure);
    connect(keyEntry_, &KeyEntryController::songEndWanted, this, &TfrmMain::mnuJumpEndClick);
    connect(scorePage_, &ScorePage::scoreWheel, this, [this](int by) {
        showMeasure(std::clamp(session_.editing().currentMeasure + by, 0, MAX_MEASURES - 1));
    });
    qApp->installEventFilter(this);
}

bool TfrmMain::takesEntryKeys(QObject* watched) const {
    const auto* widget = qobject_cast<QWidget*>(watched);
    return widget && widget->window() == this && pagMain->currentWidget() == tabScore &&
           !QApplication::activeModalWidget() && !QApplication::activePopupWidget();
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && takesEntryKeys(watched)) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (keyEntry_->keyPressed(key->key(), key->modifiers()))
            return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TfrmMain::showEditing(const SongChange& change) {
    const Editing& e = session_.editing();
    if (change.touches(EditingField::Part))
        showCurrentPart();
    if (change.touches(EditingField::Measure)) {
        lblMeas->setText(QString::number(e.currentMeasure + 1) + QStringLiteral("小節目"));
        const QSignalBlocker quiet(barMeas); // the bar shows the measure; it does not set it again
        barMeas->setValue(e.currentMeasure + 1);
        if (follower_)
            follower_->measureChanged(); // unless it was the follower's own turn, it stops following
    }
    if (change.touches(EditingField::Triplet)) {
        mnuDivide->setChecked(e.tripletMode);
        tolDivide->setChecked(e.tripletMode);
    }
    if (change.touches(EditingField::Fm)) {
        mnuFM->setChecked(e.fmMode);
        tolFM->setChecked(e.fmMode);
    }
}

void TfrmMain::formCreate(const QStringList& arguments) {
    session_.setFmMode(false);
    // Autosaves of programs that are gone come first; a restored song takes the place of the
    // command line's song.
    if (recovery_->offerAtStartUp()) {
        resetView();
        return;
    }
    // The arguments joined with blanks until they name an existing file.
    QString path;
    for (const QString& argument : arguments) {
        path += argument;
        const QFileInfo info(path);
        if (info.exists() && info.isFile()) {
            if (!isSongExtension(info.suffix().toLower()))
                break;
            if (loadSong(path))
                return;
            break; // the error was shown; start with a new song rather than nothing
        }
        path += QLatin1Char(' ');
    }
    newSongCommand();
}

void TfrmMain::setCaption() {
    // Qt's placeholder: the window shows "NAME* - …" while modified and "NAME - …" otherwise
    // ("[*][*]" shows a "[*]" that is part of the file's name).
    setWindowTitle(toQ(session_.fileTitle()).replace(QStringLiteral("[*]"), QStringLiteral("[*][*]")) +
                   QStringLiteral("[*]") + CAPTION_SUFFIX);
    setWindowModified(session_.isModified());
}

void TfrmMain::showDocumentStatus() {
    setCaption();
    // Save is enabled exactly while the song differs from its file.
    mnuSave->setEnabled(session_.isModified());
    const QString undo = QStringLiteral("元に戻す(&U)");
    const QString redo = QStringLiteral("やり直し(&R)");
    mnuUndo->setEnabled(session_.canUndo());
    mnuUndo->setText(session_.canUndo() ? undo + QStringLiteral(" - ") + toQ(session_.undoName()) : undo);
    mnuRedo->setEnabled(session_.canRedo());
    mnuRedo->setText(session_.canRedo() ? redo + QStringLiteral(" - ") + toQ(session_.redoName()) : redo);
}

bool TfrmMain::confirmDiscard() {
    const DiscardOutcome outcome = session_.confirmDiscard(
        [this] {
            switch (prompts_->askSaveChanges(this)) {
            case Prompts::Answer::Yes:
                return SaveAnswer::Yes;
            case Prompts::Answer::No:
                return SaveAnswer::No;
            case Prompts::Answer::Cancel:
                break;
            }
            return SaveAnswer::Cancel;
        },
        [this] { return saveAs(); });
    if (outcome == DiscardOutcome::Discarded)
        emit changesDiscarded();
    return proceeds(outcome);
}

void TfrmMain::newSongCommand() {
    session_.newSong();
    resetView();
}

void TfrmMain::resetView() {
    // The document has put the editing state back to the song's start (first part, first
    // measure, middle view, no triplets) and the pages follow it; what is left are the window's
    // own choices.
    pagMain->setCurrentWidget(tabScore);
    expPage_->setAllParts(false);
    panPage_->setAllParts(false);
    partPage_->barTone()->setValue(69);
}

void TfrmMain::mnuNewClick() {
    if (!confirmDiscard())
        return;
    newSongCommand();
}

void TfrmMain::mnuOpenClick() {
    if (!confirmDiscard())
        return;
    const QString path = prompts_->openFileName(this, SongFolder(iniPath_).startFolder());
    if (path.isEmpty())
        return;
    // The dialog's choice is taken with its extension exactly as typed.
    const QString suffix = QFileInfo(path).suffix();
    const SongFileKind kind = songFileKindOfPath(path.toStdString());
    if (suffix != QLatin1String("kn2") && suffix != QLatin1String("knb") && kind != SongFileKind::Midi &&
        kind != SongFileKind::MusicXml)
        return;
    loadSong(path);
}

void TfrmMain::openDroppedFiles(const QStringList& names) {
    if (!confirmDiscard())
        return;
    // Candidates as on the command line: the first name, then it and the second joined by a blank, ...
    QString candidate;
    for (const QString& name : names) {
        candidate = candidate.isEmpty() ? name.left(255) : candidate + QLatin1Char(' ') + name.left(255);
        const QFileInfo info(candidate);
        if (!info.exists() || !info.isFile() || !isSongExtension(info.suffix().toLower()))
            continue;
        loadSong(candidate);
        return;
    }
}

bool TfrmMain::loadSong(const QString& path) {
    const SongFileKind kind = songFileKindOfPath(path.toStdString());
    MidiImportOptions midi;
    if (kind == SongFileKind::Midi) {
        const std::optional<MidiImportOptions> asked = prompts_->askMidiImportOptions(this);
        if (!asked)
            return false; // cancelled: the song stays as it was
        midi = *asked;
    }
    FileResult result;
    SongLoadResult loaded;
    {
        WaitScope wait(this);
        // Song files and imported files alike open through the document; an imported file has
        // no file to save back to, so Save asks for NAME.kn2 and never writes over it.
        result = session_.open(path.toStdString(), [&loaded, &midi](const std::string& file, Song& out) {
            loaded = loadAnySongFile(file, out, midi);
            return LoadedSong{loaded.file, loaded.differsFromFile(), loaded.imported()};
        });
    }
    if (!result.ok()) {
        // The song in memory is untouched; so are the file it belongs to and its history.
        QString text = unreadableFileText(path, result);
        if (result.error == FileError::Malformed && loaded.kind == SongFileKind::Midi)
            text = QStringLiteral("ﾌｧｲﾙ %1 は開けません\n（%2バイト目: %3）")
                       .arg(QDir::toNativeSeparators(path))
                       .arg(loaded.byteOffset)
                       .arg(QString::fromStdString(result.japanese));
        else if (result.error == FileError::Malformed && result.line == 0)
            text = QStringLiteral("ﾌｧｲﾙ %1 は開けません\n（%2）")
                       .arg(QDir::toNativeSeparators(path), QString::fromStdString(result.japanese));
        prompts_->showError(this, text);
        return false;
    }
    SongFolder(iniPath_).remember(path);
    resetView();
    // What the import adapted, listed once.
    if (!loaded.report.empty()) {
        QStringList lines;
        for (const ReportLine& line : loaded.report)
            lines << QString::fromStdString(line.japanese);
        prompts_->showWarning(this,
                              kind == SongFileKind::MusicXml ? QStringLiteral("MusicXMLファイルの読み込み")
                                                             : QStringLiteral("MIDIファイルの読み込み"),
                              lines.join(QLatin1Char('\n')));
    }
    return true;
}

bool TfrmMain::reportSave(const FileResult& result, const QString& path) {
    if (result.ok()) {
        recovery_->songSavedOrDiscarded(); // a failed save keeps the autosave
        SongFolder(iniPath_).remember(toQ(session_.filePath()));
        return true;
    }
    prompts_->showError(this, QStringLiteral("ﾌｧｲﾙ %1 を作成できません").arg(QDir::toNativeSeparators(path)));
    return false;
}

void TfrmMain::mnuSaveClick() {
    if (session_.untitled()) {
        mnuSaveAsClick();
        return;
    }
    if (!session_.isModified())
        return;
    // Another program's work in the file is overwritten only when the user says so; いいえ
    // leaves the file as it is and the song modified.
    if (session_.fileChangedElsewhere() && prompts_->askOverwriteChangedFile(this) != Prompts::Answer::Yes)
        return;
    const QString target = toQ(session_.savePath());
    FileResult result;
    {
        WaitScope wait(this);
        result = session_.save();
    }
    reportSave(result, target);
}

void TfrmMain::mnuSaveAsClick() {
    saveAs();
}

bool TfrmMain::saveAs() {
    const QString path = prompts_->saveFileName(this, SongFolder(iniPath_).startFolder(),
                                                toQ(session_.fileTitle()) + QStringLiteral(".kn2"));
    if (path.isEmpty())
        return false;
    // Song text never goes over a MIDI file, not even one named in the dialog.
    if (songFileKindOfPath(path.toStdString()) == SongFileKind::Midi) {
        prompts_->showError(this,
                            QStringLiteral("ﾌｧｲﾙ %1 を作成できません").arg(QDir::toNativeSeparators(path)));
        return false;
    }
    FileResult result;
    {
        WaitScope wait(this);
        result = session_.saveAs(path.toStdString());
    }
    return reportSave(result, path);
}

void TfrmMain::mnuUndoClick() {
    if (const std::optional<EditPlace> place = session_.undo())
        showEditPlace(*place);
}

void TfrmMain::mnuRedoClick() {
    if (const std::optional<EditPlace> place = session_.redo())
        showEditPlace(*place);
}

void TfrmMain::showEditPlace(const EditPlace& place) {
    // As a jump: the part, the measure and the page of the step become current; every view
    // already shows the song as it now is.
    session_.setCurrentPart(place.part);
    session_.setCurrentMeasure(place.measure);
    showPage(place.page);
}

void TfrmMain::showPage(EditPage page) {
    QWidget* const tabs[] = {tabScore, tabExp, tabTempo, tabPan, tabAlter, tabPart};
    pagMain->setCurrentWidget(tabs[static_cast<std::size_t>(page)]);
}

void TfrmMain::mnuExitClick() {
    close();
}

void TfrmMain::mnuSetClick() {
    editSongSettings(session_, this, prompts_.get());
}

void TfrmMain::mnuFMClick() {
    // Off at once; on only after the warning is answered Yes. Not an edit of the song.
    const bool on = !session_.editing().fmMode && askFmModeOn(this, *prompts_);
    session_.setFmMode(on);
    // The menu item and the button toggle themselves when clicked: show the mode as it is.
    mnuFM->setChecked(on);
    tolFM->setChecked(on);
}

void TfrmMain::mnuHelpContClick() {
    const AppPaths paths = AppPaths::forRunningProgram();
    QString manual = paths.manualPath();
    if (manual.isEmpty())
        manual = paths.manualCandidates().value(0);
    openHelp(manual, this, *prompts_);
}

void TfrmMain::mnuAboutClick() {
    showAbout(this);
}

void TfrmMain::mnuMidiOutClick() {
    const QString path = prompts_->midiFileName(this, SongFolder(iniPath_).startFolder(),
                                                toQ(session_.fileTitle()) + QStringLiteral(".mid"));
    if (path.isEmpty())
        return;
    bool written = false;
    {
        WaitScope wait(this);
        written = writeMidiFile(path.toStdString(), session_.song(), session_.editing().fmMode);
    }
    // A file that could not be written is said so, never passed over as a success.
    if (!written)
        prompts_->showError(this,
                            QStringLiteral("ﾌｧｲﾙ %1 を作成できません").arg(QDir::toNativeSeparators(path)));
}

void TfrmMain::mnuMusicXmlOutClick() {
    exportMusicXml(this, *prompts_, SongFolder(iniPath_).startFolder(), toQ(session_.fileTitle()),
                   session_.song());
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    if (!confirmDiscard()) {
        event->ignore();
        return;
    }
    formClose();
    event->accept();
}

void TfrmMain::formClose() {
    // A test note left sounding is silenced before the settings are written.
    if (midiOut_->isOpen()) {
        midiOut_->reset();
        midiOut_->close();
    }
    palette_->savePosition();
    palette_->hide();
    recovery_->programEnds();
}

void TfrmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (pagMain->currentWidget() == tabScore)
        palette_->show();
}

void TfrmMain::hideEvent(QHideEvent* event) {
    QMainWindow::hideEvent(event);
    palette_->hide();
}

void TfrmMain::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TfrmMain::dropEvent(QDropEvent* event) {
    QStringList names;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            names << url.toLocalFile();
    event->acceptProposedAction();
    if (!names.isEmpty())
        openDroppedFiles(names);
}

void TfrmMain::selectPart(int part) {
    session_.setCurrentPart(part); // the selectors and the views follow the document's change
}

void TfrmMain::showCurrentPart() {
    const int part = session_.editing().currentPart;
    const bool drums = part == PERCUSSION_PART;
    lblPart->setText(drums ? QStringLiteral("R") : QString::number(part + 1));
    lblPart->setStyleSheet(drums ? QStringLiteral("QLabel { background: black; color: #FF00FF; }")
                                 : QStringLiteral("QLabel { background: black; color: #00FFFF; }"));
    btnPart[static_cast<std::size_t>(part)]->setChecked(true);
}

void TfrmMain::barMeasChange(int position) {
    session_.setCurrentMeasure(position - 1); // the label and the views follow the document's change
}

void TfrmMain::mnuDivideClick() {
    session_.setTripletMode(!session_.editing().tripletMode);
    // The menu item and the button toggle themselves when clicked: show the mode as it is.
    mnuDivide->setChecked(session_.editing().tripletMode);
    tolDivide->setChecked(session_.editing().tripletMode);
}

void TfrmMain::tabChanged() {
    // A page that changed while hidden redraws itself when it comes on view; the curve and
    // signature tabs also start afresh (input mode, no stroke).
    QWidget* page = pagMain->currentWidget();
    // The palette is on screen exactly while the staff page is the page on view.
    palette_->setVisible(page == tabScore && isVisible());
    if (page == tabExp)
        expPage_->tabExpShow();
    else if (page == tabTempo)
        tempoPage_->tabTempoShow();
    else if (page == tabPan)
        panPage_->tabPanShow();
    else if (page == tabAlter)
        signaturePage_->tabAlterShow();
}

void TfrmMain::drawStaff() {
    scorePage_->drawStaff();
}
void TfrmMain::drawDynamicsGraph() {
    expPage_->drawDynamicsGraph();
}
void TfrmMain::drawTempoGraph() {
    tempoPage_->drawTempoGraph();
}
void TfrmMain::drawPanGraph() {
    panPage_->drawPanGraph();
}
void TfrmMain::updateSignatureTab() {
    signaturePage_->updateSignatureTab();
}

void TfrmMain::mnuAllPartClick() {
    // The dialog auditions on the device chosen in the MIDI output settings, as test notes do.
    // The pages that show what it changed redraw from the document's changes.
    TfrmAllPart dialog(
        session_,
        [this] {
            QSettings ini(iniPath_, QSettings::IniFormat);
            return makeMidiOut(readMidiOutSettings(ini));
        },
        this);
    dialog.exec();
}

void TfrmMain::showManualView(const QString& view) {
    if (view == QLatin1String("curves"))
        pagMain->setCurrentWidget(tabExp);
    else if (view == QLatin1String("signature"))
        pagMain->setCurrentWidget(tabAlter);
    else if (view == QLatin1String("parts"))
        pagMain->setCurrentWidget(tabPart);
    else if (view == QLatin1String("editor"))
        mnuEditorClick();
    else if (view == QLatin1String("player"))
        mnuMPlayClick();
}

void TfrmMain::mnuMidiDeviceClick() {
    QSettings ini(iniPath_, QSettings::IniFormat);
    TfrmMidiOut dialog(ini, listMidiOutPorts(), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    midiOut_->replace(makeMidiOut(readMidiOutSettings(ini)));
}

void TfrmMain::mnuMPlayClick() {
    testPlay(std::nullopt);
}

void TfrmMain::mnuMPlayFromClick() {
    testPlay(session_.editing().currentMeasure);
}

void TfrmMain::mnuFollowClick() {
    follower_->setEnabled(mnuFollow->isChecked());
    QSettings ini(iniPath_, QSettings::IniFormat);
    PlayFollower::writeSetting(ini, mnuFollow->isChecked());
}

void TfrmMain::testPlay(std::optional<std::int32_t> from) {
    const QString path =
        playFilePath_.isEmpty() ? AppPaths::forRunningProgram().testPlayMidiPath() : playFilePath_;
    bool written = false;
    {
        WaitScope wait(this);
        written = writeMidiFile(path.toStdString(), session_.song(), session_.editing().fmMode);
    }
    // Playing a stale or missing file would mislead: say that the file could not be written.
    if (!written) {
        prompts_->showError(this,
                            QStringLiteral("ﾌｧｲﾙ %1 を作成できません").arg(QDir::toNativeSeparators(path)));
        return;
    }
    // A test note left open would hold the synthesizer; the player has a device of its own.
    if (midiOut_->isOpen()) {
        midiOut_->reset();
        midiOut_->close();
    }
    QSettings ini(iniPath_, QSettings::IniFormat);
    const std::unique_ptr<MidiFilePlayer> player =
        playerFactory_ ? playerFactory_() : makeMidiFilePlayer(readMidiOutSettings(ini));
    TfrmMPlay dialog(*player, path, decodeSongText(session_.song().songTitle),
                     decodeSongText(session_.song().songCopyright), this);
    const PlayTimeline timeline(session_.song());
    const std::int64_t startMs = from ? timeline.measureStartMs(*from) : 0;
    dialog.setTimeline(timeline, startMs);
    dialog.setPractice(practice_);
    follower_->follow(dialog, session_.song());
    if (from)
        dialog.playFrom(startMs);
    dialog.exec();
    practice_ = dialog.practice();
}

void TfrmMain::mnuEditorClick() {
    TfrmEditor editor(session_, this);
    editor.setWaitWindow([this, wait = std::shared_ptr<WaitScope>()](bool show) mutable {
        if (show)
            wait = std::make_shared<WaitScope>(this);
        else
            wait.reset();
    });
    editor.exec();
    // The editor's pointer becomes the current part and measure.
    session_.setCurrentPart(editor.pointerPart());
    session_.setCurrentMeasure(editor.pointerMeasure());
    pagMain->setCurrentWidget(tabScore);
}

void TfrmMain::showMeasure(std::int32_t m) {
    session_.setCurrentMeasure(m); // the bar, the label and the views follow
}

void TfrmMain::showSearchResult(std::optional<std::int32_t> found) {
    if (!found) {
        prompts_->showInformation(this, SEARCH_NOT_FOUND_TEXT);
        return;
    }
    showMeasure(*found);
    pagMain->setCurrentWidget(tabAlter);
}

void TfrmMain::mnuFindClick() {
    if (find_->exec() != QDialog::Accepted)
        return;
    showSearchResult(
        findFromDialog(session_.song(), session_.editing().currentMeasure, find_->kind(), find_->start()));
}

void TfrmMain::mnuFindNextClick() {
    showSearchResult(findNext(session_.song(), session_.editing().currentMeasure, find_->kind()));
}

void TfrmMain::mnuJumpEndClick() {
    const JumpTarget target = songEndTarget(session_.song(), lastJump_);
    showMeasure(target.measure);
    if (target.part)
        session_.setCurrentPart(*target.part);
    showPage(target.tab);
}

} // namespace pokopen
