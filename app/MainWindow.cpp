#include "app/MainWindow.h"

#include <QAction>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMetaObject>
#include <QMimeData>
#include <QPainter>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>

#include "app/Dialogs.h"
#include "app/ExportDialog.h"
#include "app/HelpPage.h"
#include "app/OptionStore.h"
#include "app/QtFileChooser.h"
#include "app/RollView.h"
#include "app/SkinControl.h"

namespace rovanta {

namespace {

// The skin reaches x = 375 and y = 170; the window keeps the same margin on
// the right and at the bottom as on the left.
constexpr int kSkinRight = 375 + 10, kSkinBottom = 170 + 10;

QString Utf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// A file name as the file system spells it.
std::string LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

// The first local file among the dropped ones that the Load dialog's MIDI
// filter takes; empty when there is none.
QString DroppedMidiFile(const QMimeData* mime)
{
    if (!mime || !mime->hasUrls()) return {};
    for (const QUrl& url : mime->urls()) {
        if (!url.isLocalFile()) continue;
        const QString path = url.toLocalFile();
        if (MatchesFilter(kOpenFilter, 1, QFileInfo(path).fileName()) && QFileInfo(path).isFile()) return path;
    }
    return {};
}

}  // namespace

MainWindow::MainWindow(MainWindowServices services) : services_(std::move(services))
{
    setWindowTitle(QString::fromUtf8(kAppName));
    setFont(DialogFont());
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    tables_.captionFont = QFont(font().families(), font().pointSize() + 1, QFont::Bold);
    title_ = windowTitle();
    setAcceptDrops(true);
    CreateControls();
    CreateActions();
    noticeTimer_ = new QTimer(this);
    noticeTimer_->setSingleShot(true);
    connect(noticeTimer_, &QTimer::timeout, this, [this] { setWindowTitle(title_); });
    controller_ = std::make_unique<Controller>(*services_.ctx, *services_.chooser, *this,
                                               PlaybackEnv{*services_.ctx, *services_.ports, *services_.timers});
    controller_->OnInit();
    // Once the window runs, so that any report shows over it.
    if (!services_.startFile.isEmpty())
        QTimer::singleShot(0, this, [this, file = services_.startFile] {
            if (!destroyed_) controller_->LoadFile(LocalPath(file));
        });
}

void MainWindow::CreateActions()
{
    showNotes_ = new QAction(QStringLiteral("Show &notes"), this);
    showNotes_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    connect(showNotes_, &QAction::triggered, this, [this] { ShowRolls(); });
    addAction(showNotes_);
    exportAudio_ = new QAction(QStringLiteral("&Export audio…"), this);
    connect(exportAudio_, &QAction::triggered, this, [this] {
        if (!destroyed_) controller_->ExportAudio();
    });
    addAction(exportAudio_);
}

void MainWindow::ShowRolls()
{
    if (!rolls_) {
        rolls_ = new RollWindow(
            [this]() -> std::optional<RollPair> {
                const MidiF0Data* song = destroyed_ ? nullptr : controller_->LoadedSong();
                if (!song) return std::nullopt;
                return LayOutRolls(*song, controller_->CurrentSettings());
            },
            this);
        rolls_->setWindowIcon(windowIcon());
    }
    rolls_->setWindowTitle(QStringLiteral("Notes — %1").arg(title_));
    // Shown, it lays out what changed while it was hidden.
    rolls_->show();
    rolls_->raise();
    rolls_->activateWindow();
}

MainWindow::~MainWindow()
{
    Destroy();
    // The controller goes first: its player threads end while the window they
    // post their notifications to is still here.
    controller_.reset();
}

void MainWindow::CreateControls()
{
    const DialogUnits du(font());

    // The dialog layout's order: Config, the two texts, then the skin controls
    // from the Vertical toggle down to the background.
    auto skin = [this](int id) {
        auto* control = new SkinControl(this);
        control->setObjectName(QString::number(id));
        controls_[id] = control;
    };
    skin(kConfig);
    auto text = [&](int id, const char* caption, Qt::Alignment align, QRect rect) {
        auto* label = new QLabel(QString::fromUtf8(caption), this);
        label->setObjectName(QString::number(id));
        label->setAlignment(align);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setAutoFillBackground(true);
        label->setGeometry(rect);
        controls_[id] = label;
    };
    text(kTickLabel, "Tick", Qt::AlignCenter, du.ToPixels(85, 85, 25, 14));
    text(kTickDisplay, "---", Qt::AlignRight | Qt::AlignVCenter, du.ToPixels(110, 85, 25, 14));
    for (int id = kVertical; id >= kBackground; --id) skin(id);

    // The skin decides the size: its rectangles with an even margin, grown
    // only if the text controls reach further in a large dialog font.
    QRect used(0, 0, kSkinRight, kSkinBottom);
    for (int id : {kTickLabel, kTickDisplay}) used |= controls_[id]->geometry().adjusted(0, 0, 10, 10);
    setFixedSize(used.size());
}

QWidget* MainWindow::Control(int id) const
{
    const auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

SkinControl* MainWindow::Skin(int id) const { return dynamic_cast<SkinControl*>(Control(id)); }
QLabel* MainWindow::Text(int id) const { return dynamic_cast<QLabel*>(Control(id)); }

// ---- Window initialization and destruction ----

void MainWindow::AppendAboutMenuEntry(int commandId, const std::string& text)
{
    if (text.empty()) return;
    aboutEntry_.emplace(commandId, Utf8(text));
}

void MainWindow::SetWindowIcon(int iconId) { setWindowIcon(QIcon(QStringLiteral(":/icons/%1").arg(iconId))); }

void MainWindow::BuildSkin()
{
    RunContext& ctx = *services_.ctx;
    auto dispatch = [this](int code) { controller_->DispatchCommand(code); };
    auto nothing = [](int) {};

    pictures_.emplace(ctx, tables_, *Skin(kBackground), SkinRect{0, 0, width(), height()}, kPanel);
    pushButtons_.emplace(ctx, tables_, dispatch, nothing, *Skin(kPower), SkinRect{10, 110, 70, 170}, QString(),
                         kPowerNormal, kPowerPressed, ctl::kQuit);
    pushButtons_->Add(*Skin(kHelp), {260, 120, 375, 152}, QStringLiteral("      Help"), kButtonNormal, kButtonPressed,
                      ctl::kHelp);
    pushButtons_->Add(*Skin(kLoad), {20, 70, 135, 102}, QStringLiteral("      Load"), kButtonNormal, kButtonPressed,
                      ctl::kLoad);
    pushButtons_->Add(*Skin(kPlay), {140, 70, 255, 102}, QString::fromUtf8(ctl::kPlayCaption), kButtonNormal,
                      kButtonPressed, ctl::kPlayStop);
    pushButtons_->Add(*Skin(kSave), {260, 70, 375, 102}, QStringLiteral("      Save"), kButtonNormal, kButtonPressed,
                      ctl::kSave);
    // A toggle changes what Play and Save would make: the piano roll follows.
    auto toggled = [this](int) { MirrorChanged(); };
    toggles_.emplace(ctx, tables_, toggled, nothing, *Skin(kHorizontal), SkinRect{20, 10, 135, 42},
                     QStringLiteral(" Horizontal Rev."), kButtonNormal, kToggleOn, 0);
    toggles_->Add(*Skin(kVertical), {140, 10, 255, 42}, QStringLiteral("  Vertical Rev."), kButtonNormal, kToggleOn, 1);
    pushButtons_->Add(*Skin(kConfig), {260, 10, 375, 42}, QStringLiteral("      Config"), kButtonNormal,
                      kButtonPressed, ctl::kSettings);

    // Every skin control was raised as it was attached, the background
    // included. Siblings are stacked strictly here, so the two text controls
    // go back on top, or the background would hide them.
    Control(kTickLabel)->raise();
    Control(kTickDisplay)->raise();
}

void MainWindow::DestroySkin()
{
    pictures_.reset();
    pushButtons_.reset();
    toggles_.reset();
}

void MainWindow::Destroy()
{
    if (destroyed_ || !controller_) return;
    destroyed_ = true;
    if (rolls_) rolls_->hide();
    controller_->OnDestroy();
}

// ---- Skin operations ----

void MainWindow::SetCaption(int code, const std::string& text)
{
    if (pushButtons_) pushButtons_->SetCaption(code, Utf8(text));
}

void MainWindow::PresentAll(Group group)
{
    switch (group) {
    case Group::kPictures: if (pictures_) pictures_->PresentAll(); break;
    case Group::kPushButtons: if (pushButtons_) pushButtons_->PresentAll(); break;
    case Group::kToggles: if (toggles_) toggles_->PresentAll(); break;
    }
}

int MainWindow::IsChecked(int index) { return toggles_ ? toggles_->IsChecked(index) : 0; }

void MainWindow::SetTickText(const std::string& text) { Text(kTickDisplay)->setText(Utf8(text)); }

void MainWindow::SetTitle(const std::string& title)
{
    title_ = Utf8(title);
    if (!noticeTimer_->isActive()) setWindowTitle(title_);
    if (rolls_) rolls_->setWindowTitle(QStringLiteral("Notes — %1").arg(title_));
}

void MainWindow::ShowNotice(const std::string& text)
{
    setWindowTitle(Utf8(text));
    noticeTimer_->start(services_.noticeMs);
}

void MainWindow::MirrorChanged()
{
    if (rolls_) rolls_->Refresh();
}

void MainWindow::ShowPlayPosition(std::optional<double> seconds)
{
    if (rolls_) rolls_->SetPlayPosition(seconds);
}

RenderResult MainWindow::RunExport(const std::string& path, ExportWork work)
{
    ExportProgress progress(Utf8(path), this);
    return progress.Run(work);
}

// ---- Dialogs, messages, help ----

void MainWindow::ShowMessage(const std::string& text)
{
    if (services_.showMessage)
        services_.showMessage(Utf8(text));
    else
        ShowMessageBox(this, Utf8(text));
}

void MainWindow::RunAboutDialog()
{
    AboutDialog about(this);
    about.exec();
}

SettingsChoice MainWindow::RunSettingsDialog(const SettingsChoice& current)
{
    SettingsDialog settings(this);
    settings.option = current.raiseOctave;
    settings.options = current.options;
    settings.exec();
    return {settings.option, settings.options};
}

MirrorOptions MainWindow::RememberedOptions()
{
    QSettings settings = UserSettings();
    return LoadOptions(settings);
}

void MainWindow::RememberOptions(const MirrorOptions& options)
{
    QSettings settings = UserSettings();
    StoreOptions(settings, options);
}

void MainWindow::OpenHelp(const std::string& file, const std::string& topic)
{
    // The help set is the bundled folder of pages; its name only says which
    // set, and there is one.
    (void)file;
    const QString appDir = services_.appDir.isEmpty() ? QCoreApplication::applicationDirPath() : services_.appDir;
    const QString page = FindHelpTopic(appDir, Utf8(topic));
    if (page.isEmpty()) {
        std::fprintf(stderr, "rovanta: help page %s not found beside %s\n", topic.c_str(), qPrintable(appDir));
        return;
    }
    const bool opened =
        services_.openPage ? services_.openPage(page) : QDesktopServices::openUrl(QUrl::fromLocalFile(page));
    // Without a browser the page can still be read: say where it is.
    if (!opened)
        ShowMessage("No web browser could be started to show the help. The help page is here:\n" +
                    QDir::toNativeSeparators(page).toStdString());
}

void MainWindow::EndWithAccept() { accept(); }

std::unique_ptr<QMenu> MainWindow::MakeWindowMenu()
{
    auto menu = std::make_unique<QMenu>(this);
    menu->addAction(showNotes_);
    menu->addAction(exportAudio_);
    menu->addSeparator();
    menu->addAction(QStringLiteral("&Minimize"), this, [this] { showMinimized(); });
    menu->addAction(QStringLiteral("&Close"), this, [this] { close(); });
    if (aboutEntry_) {
        menu->addSeparator();
        const int id = aboutEntry_->first;
        QAction* about = menu->addAction(aboutEntry_->second, this, [this, id] { controller_->OnWindowMenu(id); });
        about->setData(id);
    }
    return menu;
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event)
{
    MakeWindowMenu()->exec(event->globalPos());
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (!DroppedMidiFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void MainWindow::dragMoveEvent(QDragMoveEvent* event)
{
    if (!DroppedMidiFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event)
{
    const QString path = DroppedMidiFile(event->mimeData());
    if (path.isEmpty()) return;
    event->acceptProposedAction();
    // Loaded once the drop is over: a report box must not hold up the program
    // the file came from.
    QTimer::singleShot(0, this, [this, path] {
        if (!destroyed_) controller_->LoadFile(LocalPath(path));
    });
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    // Enter is the window's accept action: the quit request. Escape and the
    // rest keep the dialog's own handling.
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            controller_->RequestQuit();
            return;
        }
    }
    QDialog::keyPressEvent(event);
}

// ---- Painting ----

void MainWindow::PostPaint() { update(); }

bool MainWindow::IsMinimized() { return isMinimized(); }

void MainWindow::PaintMinimizedIcon(int iconId)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    const QPixmap icon = QIcon(QStringLiteral(":/icons/%1").arg(iconId)).pixmap(32, 32);
    painter.drawPixmap((width() - icon.width() + 1) / 2, (height() - icon.height() + 1) / 2, icon);
}

void MainWindow::DefaultPaint()
{
    // Qt has already taken the region as painted by calling paintEvent.
}

void MainWindow::InvalidateControl(int controlId)
{
    // Qt paints children over their parent in the same pass, so while the
    // window paints the text controls are redrawn anyway; asking again here
    // would only start another paint of the window.
    if (painting_) return;
    if (QWidget* control = Control(controlId)) control->update();
}

void MainWindow::paintEvent(QPaintEvent*)
{
    if (!controller_ || destroyed_) return;
    painting_ = true;
    controller_->OnPaint();
    painting_ = false;
}

void MainWindow::PostToWindowThread(std::function<void()> task)
{
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

}  // namespace rovanta
