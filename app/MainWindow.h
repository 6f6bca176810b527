#pragma once
// The main window: a dialog with its eleven controls, the skin built over
// them, and the window operations the controller drives. Everything here runs
// on the window thread; the player's notifications reach it through
// PostToWindowThread.

#include <QDialog>
#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "pipelines/Controller.h"
#include "app/OffScreenPicture.h"
#include "pipelines/WindowOps.h"
#include "app/WindowReportSink.h"

class QAction;
class QLabel;
class QMenu;
class QTimer;

namespace rovanta {

class RollWindow;
class SkinControl;

struct MainWindowServices {
    RunContext* ctx = nullptr;
    FileChooser* chooser = nullptr;
    MidiOutSystem* ports = nullptr;
    TimerService* timers = nullptr;
    // The quit guard's message box; a message box on the window when empty.
    MessagePresenter showMessage;
    // Opens a help page in the desktop's browser, false when none could;
    // QDesktopServices when empty.
    std::function<bool(const QString& path)> openPage;
    // Where the help is searched; the executable's folder when empty.
    QString appDir;
    // A file to load once the window runs, as Load would load it; none when empty.
    QString startFile;
    // How long a notice stays in the title.
    int noticeMs = 4000;
};


class MainWindow : public QDialog, public WindowOps {
public:
    static constexpr int kBackground = 1006, kPower = 1007, kHelp = 1008, kLoad = 1009, kPlay = 1010, kSave = 1011,
                         kHorizontal = 1012, kVertical = 1013, kTickDisplay = 1014, kTickLabel = 1015,
                         kConfig = 1016;
    // Bitmap resources of the skin.
    static constexpr int kPowerPressed = 129, kPowerNormal = 130, kPanel = 131, kButtonPressed = 132,
                         kButtonNormal = 133, kToggleOn = 137;

    // The services must outlive the window.
    explicit MainWindow(MainWindowServices services);
    ~MainWindow() override;

    Controller& Logic() { return *controller_; }
    QWidget* Control(int id) const;
    SkinControl* Skin(int id) const;
    QLabel* Text(int id) const;
    const SkinTables& Tables() const { return tables_; }
    // The window menu: Show notes and Export audio, the window's own
    // entries, then the About entry after a separator. Offered as the context
    // menu, since the window manager owns the real window menu.
    std::unique_ptr<QMenu> MakeWindowMenu();
    QAction* ShowNotesAction() const { return showNotes_; }
    QAction* ExportAudioAction() const { return exportAudio_; }
    // The piano roll window; null until Show notes first opened it.
    RollWindow* Rolls() const { return rolls_; }
    void ShowRolls();

    // WindowOps
    void AppendAboutMenuEntry(int commandId, const std::string& text) override;
    void SetWindowIcon(int iconId) override;
    void BuildSkin() override;
    void DestroySkin() override;
    void SetCaption(int code, const std::string& text) override;
    void PresentAll(Group group) override;
    int IsChecked(int index) override;
    void SetTickText(const std::string& text) override;
    void SetTitle(const std::string& title) override;
    void ShowNotice(const std::string& text) override;
    void MirrorChanged() override;
    void ShowPlayPosition(std::optional<double> seconds) override;
    RenderResult RunExport(const std::string& path, ExportWork work) override;
    void ShowMessage(const std::string& text) override;
    void RunAboutDialog() override;
    SettingsChoice RunSettingsDialog(const SettingsChoice& current) override;
    // In the user's settings file (UserSettings()).
    MirrorOptions RememberedOptions() override;
    void RememberOptions(const MirrorOptions& options) override;
    void OpenHelp(const std::string& file, const std::string& topic) override;
    void EndWithAccept() override;
    void PostPaint() override;
    bool IsMinimized() override;
    void PaintMinimizedIcon(int iconId) override;
    void DefaultPaint() override;
    void InvalidateControl(int controlId) override;
    void PostToWindowThread(std::function<void()> task) override;

    // The window's destroy handling, once the modal run has ended: releases
    // the songs (stopping a playback still running, as after Escape or the
    // close button) and the skin. The destructor does it if nobody did.
    void Destroy();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateControls();
    void CreateActions();

    MainWindowServices services_;
    std::map<int, QWidget*> controls_;  // owned by the window, as its children
    SkinTables tables_;
    std::optional<SkinPicture> pictures_;
    std::optional<SkinPushButtons> pushButtons_;
    std::optional<SkinToggleButtons> toggles_;
    std::optional<std::pair<int, QString>> aboutEntry_;
    QAction* showNotes_ = nullptr;
    QAction* exportAudio_ = nullptr;
    RollWindow* rolls_ = nullptr;  // owned by the window, as its child
    QString title_;
    QTimer* noticeTimer_ = nullptr;
    bool painting_ = false;
    bool destroyed_ = false;
    // Last member, so it goes first: its player threads are joined while the
    // window they post to still exists.
    std::unique_ptr<Controller> controller_;
};

}  // namespace rovanta
