#pragma once
// A main window wired to test services: a scripted file dialog, a port that
// records what it is sent, real timers, and message boxes that record their
// text (on the window thread) instead of waiting for a click.

#include <QApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "app/MainWindow.h"
#include "app/OffScreenPicture.h"
#include "app/SkinControl.h"
#include "app/WindowReportSink.h"
#include "common/ScriptedChooser.h"
#include "pipelines/RollLayout.h"
#include "playback/PlaybackFakes.h"
#include "playback/TimerThread.h"
#include "support/RunContext.h"

// Failure messages show texts as text.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace rovanta::test {

struct Shown {
    QString text;
    bool onWindowThread;
};

class GuiRig {
public:
    // Plays on `output` when given, else on the recording port; loads
    // `startFile` as the program does for a file named at start; shows the
    // window's messages in real message boxes when asked to.
    explicit GuiRig(MidiOutSystem* output = nullptr, const QString& startFile = {}, bool realBoxes = false)
    {
        MainWindowServices services;
        services.ctx = &ctx;
        services.chooser = &chooser;
        services.ports = output ? output : &ports;
        services.timers = &timers;
        if (!realBoxes) services.showMessage = [this](const QString& text) { messages.push_back(text); };
        services.openPage = [this](const QString& path) {
            opened.push_back(path);
            return browserOpens;
        };
        services.appDir = QString::fromStdString(appDir.string());
        services.startFile = startFile;
        services.noticeMs = 300;
        window = std::make_unique<MainWindow>(services);
        window->show();
        static_cast<void>(QTest::qWaitForWindowExposed(window.get()));
    }
    ~GuiRig()
    {
        if (window) window->Destroy();
        sink.Close();
        window.reset();
    }
    GuiRig(const GuiRig&) = delete;
    GuiRig& operator=(const GuiRig&) = delete;

    // Presses and releases a skinned control in its middle.
    void Click(int id) { QTest::mouseClick(window->Skin(id), Qt::LeftButton); }
    void Press(int id) { QTest::mousePress(window->Skin(id), Qt::LeftButton); }
    void Release(int id) { QTest::mouseRelease(window->Skin(id), Qt::LeftButton); }

    const SkinElement& Push(int code) const { return window->Tables().pushes.elements.at(static_cast<std::size_t>(code)); }
    const SkinElement& Toggle(int index) const { return window->Tables().toggles.elements.at(static_cast<std::size_t>(index)); }
    QString TickText() const;

    // Lets the window thread handle its queue until `done` holds or time is up.
    bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(10));

    // The reports go through the real window sink; the box only records.
    std::vector<Shown> reports;
    std::vector<QString> messages;  // the quit guard's message box
    std::vector<QString> opened;    // help pages handed to the browser
    bool browserOpens = true;       // whether the browser starts
    WindowReportSink sink{[this](const QString& text) {
        reports.push_back({text, QThread::currentThread() == qApp->thread()});
    }};
    RunContext ctx{sink};
    RealTimerService timers;
    RecordingPorts ports{[this] { return timers.NowMicros(); }};
    ScriptedChooser chooser;
    std::filesystem::path appDir = std::filesystem::temp_directory_path() / "rovanta_gui_app";
    std::unique_ptr<MainWindow> window;
};

// The notes whose middle pixel no later note covers: there a painted roll
// must show the note's channel colour.
inline std::vector<RollRect> NotesOnTop(const RollPicture& picture)
{
    std::vector<RollRect> out;
    for (std::size_t i = 0; i < picture.notes.size(); ++i) {
        const RollRect& n = picture.notes[i];
        if (n.w < 3 || n.h < 3) continue;
        const QPoint middle(n.x + n.w / 2, n.y + n.h / 2);
        bool covered = false;
        for (std::size_t j = i + 1; j < picture.notes.size() && !covered; ++j) {
            const RollRect& m = picture.notes[j];
            covered = QRect(m.x - 1, m.y - 1, m.w + 2, m.h + 2).contains(middle);
        }
        if (!covered) out.push_back(n);
    }
    return out;
}

inline QString GuiRig::TickText() const { return window->Text(MainWindow::kTickDisplay)->text(); }

inline bool GuiRig::WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QTest::qWait(10);
    }
    return true;
}

// A file of tests/data by name.
inline std::string TestFile(const std::string& name)
{
    return (std::filesystem::path(ROVANTA_TEST_DATA) / name).string();
}

// Writes a format-0 song of `minutes` of quarter notes (a scale on channel 0,
// 96 ticks a quarter at 120 a minute): long enough to render for a while.
inline void WriteLongSong(const std::filesystem::path& path, int minutes)
{
    std::vector<unsigned char> track;
    for (int quarter = 0; quarter < minutes * 120; ++quarter) {
        const auto key = static_cast<unsigned char>(48 + quarter % 24);
        track.insert(track.end(), {0x00, 0x90, key, 0x60, 0x60, 0x80, key, 0x00});
    }
    track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});
    const auto size = static_cast<std::uint32_t>(track.size());
    std::vector<unsigned char> file{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96, 'M', 'T', 'r', 'k',
                                    static_cast<unsigned char>(size >> 24), static_cast<unsigned char>(size >> 16),
                                    static_cast<unsigned char>(size >> 8), static_cast<unsigned char>(size)};
    file.insert(file.end(), track.begin(), track.end());
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                                static_cast<std::streamsize>(file.size()));
}

// The scratch folder that holds every settings file of the test run, so that
// the user's own settings are never read or written.
QString ScratchSettingsDir();

// Puts every settings file the process opens from now on into `dir`.
inline void KeepSettingsIn(const QString& dir)
{
    QStandardPaths::setTestModeEnabled(true);
    for (auto format : {QSettings::IniFormat, QSettings::NativeFormat})
        for (auto scope : {QSettings::UserScope, QSettings::SystemScope}) QSettings::setPath(format, scope, dir);
}

// Runs `act` on the next modal dialog once it is up (within ten seconds).
inline void OnNextModal(std::function<void(QWidget*)> act)
{
    // Deletes itself once it has acted, as the dialog it waits for may be
    // run from deep inside a click; or once it has waited too long, so that a
    // dialog that never came cannot be taken for a later test's.
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, act = std::move(act), polls = 0]() mutable {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal && ++polls < 1000) return;
        poll->stop();
        poll->deleteLater();
        if (modal) act(modal);
    });
    poll->start();
}

}  // namespace rovanta::test
