#pragma once

#include "app/prompts.h"
#include "app/session_recovery.h"
#include "document/song_document.h"
#include "navigation/navigation.h"
#include "playback/practice_sequencer.h"

#include <QMainWindow>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QButtonGroup;
class QLabel;
class QListWidget;
class QScrollBar;
class QTabWidget;
class QToolBar;
class QToolButton;

namespace pokopen {

class DynamicsPage;
class MidiFilePlayer;
class PlayFollower;
class SwitchableMidiOut;
class KeyEntryController;
class NoteEntryController;
class PanPage;
class PartPage;
class ScorePage;
class SignaturePage;
class TempoPage;
class TfrmFind;
class TfrmPalette;

// The main window: owns the song session, the menu, the toolbar, the measure bar, the part
// buttons and the six tab pages, and carries out the file commands.
class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    // Where the program's own files go; empty paths: where the running program keeps them.
    struct Files {
        Files(QString ini = {}, QString playFile = {}, QString recovery = {})
            : iniPath(std::move(ini)), playFilePath(std::move(playFile)),
              recoveryFolder(std::move(recovery)) {}
        QString iniPath;
        QString playFilePath;   // the test-play MIDI file
        QString recoveryFolder; // the autosave files
    };

    // `arguments` are the command-line arguments after the program name.
    explicit TfrmMain(const QStringList& arguments = {}, std::unique_ptr<Prompts> prompts = nullptr,
                      Files files = {}, QWidget* parent = nullptr);
    ~TfrmMain() override;

    SongDocument& session() { return session_; }
    // Autosave and crash recovery.
    SessionRecovery& recovery() { return *recovery_; }

    // Makes the test player's device; tests give one on a clock of their own.
    using PlayerFactory = std::function<std::unique_ptr<MidiFilePlayer>()>;
    void setPlayerFactory(PlayerFactory factory) { playerFactory_ = std::move(factory); }

    // File commands (menu and toolbar).
    void mnuNewClick();
    void mnuOpenClick();
    void mnuSaveClick();
    void mnuSaveAsClick();
    void mnuExitClick();
    void mnuMidiOutClick();
    void mnuMusicXmlOutClick();
    void mnuSetClick();
    void mnuFMClick();
    void mnuHelpContClick();
    void mnuAboutClick();
    void mnuAllPartClick();
    void mnuMidiDeviceClick();
    void mnuMPlayClick();
    void mnuMPlayFromClick();
    void mnuFollowClick();
    void mnuEditorClick();
    void mnuFindClick();
    void mnuFindNextClick();
    void mnuJumpEndClick();
    // Opens the first dropped song file, as a drop on the window does.
    void openDroppedFiles(const QStringList& names);

    // Selections.
    void selectPart(int part); // a part button
    void barMeasChange(int position);
    void mnuDivideClick();
    void showCurrentPart();

    // Views: each redraws only while its tab is on view.
    void drawStaff();
    void drawDynamicsGraph();
    void drawTempoGraph();
    void drawPanGraph();
    void updateSignatureTab();

    // Brings one view on screen for the manual's pictures: palette, curves, signature, parts,
    // editor or player.
    void showManualView(const QString& view);

    // Edit menu: the song's history.
    void mnuUndoClick();
    void mnuRedoClick();

    TfrmPalette* frmPalette() const { return palette_; }
    TfrmFind* frmFind() const { return find_; }
    ScorePage* scorePage() const { return scorePage_; }
    KeyEntryController* keyEntry() const { return keyEntry_; }
    NoteEntryController* noteEntry() const { return noteEntry_; }
    DynamicsPage* expPage() const { return expPage_; }
    TempoPage* tempoPage() const { return tempoPage_; }
    PanPage* panPage() const { return panPage_; }
    SignaturePage* signaturePage() const { return signaturePage_; }
    PartPage* partPage() const { return partPage_; }

signals:
    // The user answered No to the unsaved-changes question: the changes are gone for good.
    void changesDiscarded();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // Keys for keyboard entry, whichever control of this window has the focus.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenu();
    void buildToolbar(QWidget* client);
    void buildSelectors(QWidget* client);
    void buildPages(QWidget* client);
    void formCreate(const QStringList& arguments);

    // The unsaved-changes question; false when the command must stop.
    bool confirmDiscard();
    void setCaption();
    // Caption, Save and the Edit menu's history items from the document.
    void showDocumentStatus();
    void newSongCommand();
    void resetView();
    // The selectors (part buttons, measure bar, triplet and FM items) from the editing state.
    void showEditing(const SongChange& change);
    // Opens `path` through the document; on failure says so and leaves everything as it was.
    bool loadSong(const QString& path);
    // Says when a save failed; true when it succeeded.
    bool reportSave(const FileResult& result, const QString& path);
    // Turns to where an undone or redone step was made.
    void showEditPlace(const EditPlace& place);
    // Brings a page on view, or redraws it when it already is.
    void showPage(EditPage page);
    // The Save As dialog and the save; true when the song was written.
    bool saveAs();
    void tabChanged();
    void formClose();
    // Moves the measure bar (and with it every view) to 0-based measure m.
    void showMeasure(std::int32_t m);
    // True when a key pressed in `watched` is for keyboard entry: the staff page is on view and
    // no dialog, menu or player is open.
    bool takesEntryKeys(QObject* watched) const;
    void showSearchResult(std::optional<std::int32_t> found);
    // Test play, from the start or from 0-based measure `from`.
    void testPlay(std::optional<std::int32_t> from);

    SongDocument session_;
    std::unique_ptr<Prompts> prompts_;
    QString iniPath_;
    QString playFilePath_;
    // The test player's practice choices (tempo, parts, range, count-in, metronome): kept while
    // the program runs, not part of the song.
    PracticeSettings practice_;
    TfrmPalette* palette_ = nullptr;
    TfrmFind* find_ = nullptr;
    std::unique_ptr<SwitchableMidiOut> midiOut_;
    NoteEntryController* noteEntry_ = nullptr;
    KeyEntryController* keyEntry_ = nullptr;
    ScorePage* scorePage_ = nullptr;
    DynamicsPage* expPage_ = nullptr;
    TempoPage* tempoPage_ = nullptr;
    PanPage* panPage_ = nullptr;
    SignaturePage* signaturePage_ = nullptr;
    PartPage* partPage_ = nullptr;
    PlayFollower* follower_ = nullptr;
    PlayerFactory playerFactory_;
    int shownTab_ = 0;
    std::unique_ptr<SessionRecovery> recovery_;
    LastJump lastJump_; // the row and kind the jump to the song's end went to last
    Subscription statusSubscription_;
    Subscription editingSubscription_;

public:
    // Controls, named as the program's design names them (objectName too).
    QTabWidget* pagMain = nullptr;
    QWidget* tabScore = nullptr;
    QWidget* tabExp = nullptr;
    QWidget* tabTempo = nullptr;
    QWidget* tabPan = nullptr;
    QWidget* tabAlter = nullptr;
    QWidget* tabPart = nullptr;
    QLabel* lblMeas = nullptr;
    QScrollBar* barMeas = nullptr;
    QLabel* lblPart = nullptr;
    std::array<QToolButton*, 16> btnPart{};
    QButtonGroup* partGroup = nullptr;
    QListWidget* lstStyle = nullptr;
    QListWidget* lstPerc = nullptr;
    QToolBar* tolMain = nullptr;

    QAction* mnuNew = nullptr;
    QAction* mnuOpen = nullptr;
    QAction* mnuSave = nullptr;
    QAction* mnuSaveAs = nullptr;
    QAction* mnuMidiOut = nullptr;
    QAction* mnuMusicXmlOut = nullptr;
    QAction* mnuSet = nullptr;
    QAction* mnuAllPart = nullptr;
    QAction* mnuFM = nullptr;
    QAction* mnuMidiDevice = nullptr;
    QAction* mnuExit = nullptr;
    QAction* mnuUndo = nullptr;
    QAction* mnuRedo = nullptr;
    QAction* mnuEditor = nullptr;
    QAction* mnuDivide = nullptr;
    QAction* mnuFind = nullptr;
    QAction* mnuFindNext = nullptr;
    QAction* mnuJumpEnd = nullptr;
    QAction* mnuMPlay = nullptr;
    QAction* mnuMPlayFrom = nullptr;
    QAction* mnuFollow = nullptr;
    QAction* mnuHelpCont = nullptr;
    QAction* mnuAbout = nullptr;

    QToolButton* tolNew = nullptr;
    QToolButton* tolOpen = nullptr;
    QToolButton* tolSave = nullptr;
    QToolButton* tolMidiOut = nullptr;
    QToolButton* tolSet = nullptr;
    QToolButton* tolFM = nullptr;
    QToolButton* tolEditor = nullptr;
    QToolButton* tolDivide = nullptr;
    QToolButton* tolFind = nullptr;
    QToolButton* tolJumpEnd = nullptr;
    QToolButton* tolMPlay = nullptr;
    QToolButton* tolMPlayFrom = nullptr;
    QToolButton* tolHelp = nullptr;
    QToolButton* tolExit = nullptr;
};

} // namespace pokopen
