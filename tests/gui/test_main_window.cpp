// The main window with its logic: quit guard, dialogs, help, the window menu,
// and whole Load, Play, Stop and Save runs on a recording port.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QKeyEvent>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/Dialogs.h"
#include "app/HelpPage.h"
#include "gui/GuiRig.h"
#include "smf/SmfBytes.h"
#include "playback/Ports.h"

namespace rovanta {
namespace {

using namespace std::chrono_literals;
using test::GuiRig;
using test::OnNextModal;
using test::TestFile;
namespace fs = std::filesystem;

TEST(MainWindowQuit, EscapeDuringPlaybackStopsItBeforeTheCopyGoes)
{
    GuiRig rig;
    rig.chooser.answers.push_back(TestFile("mma--rec1.mid"));
    rig.Click(MainWindow::kLoad);
    rig.Click(MainWindow::kPlay);
    ASSERT_TRUE(rig.WaitFor([&] { return rig.ports.Texts().size() > 2; }));
    QTest::keyClick(rig.window.get(), Qt::Key_Escape);
    EXPECT_FALSE(rig.window->isVisible());
    EXPECT_EQ(rig.window->result(), QDialog::Rejected);
    rig.window->Destroy();
    // The player let go of the port before the window went.
    EXPECT_TRUE(rig.WaitFor([&] { return std::ranges::count(rig.ports.Texts(), "close") == 1; }, 3s));
    EXPECT_EQ(rig.window->Logic().MirrorCopy(), nullptr);
    EXPECT_EQ(rig.window->Logic().LoadedSong(), nullptr);
    EXPECT_TRUE(rig.messages.empty());
}

TEST(MainWindowFlow, LoadPlayStopSaveWithBothReversalsAndQuitOnlyWhenStopped)
{
    const test::TempDir dir;
    // The message log: what a user gets from `rovanta-cli play --log`.
    const std::unique_ptr<MidiOutSystem> log = MakeLogSystem(dir.path() / "sent.log");
    GuiRig rig(log.get());
    const std::string name = "mma--rec1.mid";
    const std::string out = dir / "mirrored.mid";
    rig.chooser.answers = {TestFile(name), out};

    rig.Click(MainWindow::kLoad);
    ASSERT_NE(rig.window->Logic().LoadedSong(), nullptr);
    rig.Click(MainWindow::kHorizontal);
    rig.Click(MainWindow::kVertical);

    rig.Click(MainWindow::kPlay);
    EXPECT_EQ(rig.Push(3).caption, "      Stop");
    EXPECT_TRUE(rig.window->Logic().Playing());
    // The start tick, then later ticks, reach the display on the window thread.
    bool number = false;
    ASSERT_TRUE(rig.WaitFor([&] {
        rig.TickText().toInt(&number);
        return number;
    }));
    const int startTick = rig.TickText().toInt();
    EXPECT_TRUE(rig.WaitFor([&] { return rig.TickText().toInt() > startTick; }));
    // Neither Power nor Enter quits while playing.
    rig.Click(MainWindow::kPower);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(rig.window.get(), &enter);
    EXPECT_EQ(rig.messages, std::vector<QString>(2, "Can not quit while midi is playing!"));
    EXPECT_TRUE(rig.window->isVisible());
    EXPECT_TRUE(rig.window->Logic().Playing());
    rig.Click(MainWindow::kPlay);
    EXPECT_EQ(rig.Push(3).caption, "      Play");
    EXPECT_FALSE(rig.window->Logic().Playing());
    EXPECT_NE(rig.window->Logic().MirrorCopy(), nullptr) << "kept after Stop";
    const QString lastTick = rig.TickText();
    QTest::qWait(50);
    EXPECT_EQ(rig.TickText(), lastTick) << "the display keeps the last tick";

    // General MIDI System On first, notes after it, the port reset and closed at Stop.
    std::vector<std::string> sent;
    std::istringstream logged(test::ReadText(dir / "sent.log"));
    for (std::string line; std::getline(logged, line);) sent.push_back(line);
    ASSERT_GE(sent.size(), 4u);
    EXPECT_NE(sent.front().find("F0 7E 7F 09 01 F7"), std::string::npos) << sent.front();
    EXPECT_TRUE(std::any_of(sent.begin(), sent.end(), [](const std::string& l) { return l.find(" 9") != std::string::npos; }));
    EXPECT_NE(sent[sent.size() - 2].find("reset"), std::string::npos);
    EXPECT_NE(sent.back().find("close"), std::string::npos);

    rig.Click(MainWindow::kSave);
    ASSERT_EQ(rig.chooser.requests.size(), 2u);
    EXPECT_TRUE(rig.chooser.requests[1].save);
    EXPECT_EQ(test::ReadBytes(out), test::ReadBytes(TestFile("expected/" + name + ".HV.mid")));
    EXPECT_TRUE(rig.reports.empty());
    rig.Click(MainWindow::kPower);
    EXPECT_FALSE(rig.window->isVisible());
    EXPECT_EQ(rig.window->result(), QDialog::Accepted);
    EXPECT_EQ(rig.messages.size(), 2u);
}

TEST(MainWindowFlow, NaturalEndRelabelsPlayAndAllowsQuitting)
{
    GuiRig rig;
    rig.chooser.answers.push_back(TestFile("ardour-data--click.mid"));
    rig.Click(MainWindow::kLoad);
    rig.Click(MainWindow::kPlay);
    ASSERT_TRUE(rig.WaitFor([&] { return !rig.window->Logic().Playing(); }, 20s));
    EXPECT_EQ(rig.Push(3).caption, "      Play");
    // The end presented the push buttons: the screen shows the Play caption.
    EXPECT_EQ(rig.window->Skin(MainWindow::kPlay)->Frame().toImage(), rig.Push(3).backBuffer.toImage());
    rig.Click(MainWindow::kPower);
    EXPECT_FALSE(rig.window->isVisible());
}

TEST(MainWindowThreads, ReportFromTheTimerThreadDuringStopShowsOnTheWindowThread)
{
    GuiRig rig;
    const test::TempDir dir;
    // A note, then a program change that the timer thread sends, then another note.
    const std::string song = dir.Write("song.mid", test::Smf(0, 96, {test::Chunk("00 90 3C 64 | 60 80 3C 00 | 00 C0 05 |"
                                                                                 "60 90 3E 64 | 60 80 3E 00 | 00 FF 2F 00")}));
    rig.chooser.answers.push_back(song);
    rig.Click(MainWindow::kLoad);
    rig.ports.shortFails = true;
    rig.Click(MainWindow::kPlay);
    // The program change fails: the timer thread reports and waits for the box.
    ASSERT_TRUE(rig.WaitFor([&] { return rig.sink.Waiting() > 0; }, 5s));
    // Stop on the window thread while the box is queued: it must not wait for it.
    const auto before = std::chrono::steady_clock::now();
    rig.Click(MainWindow::kPlay);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 5s);
    EXPECT_FALSE(rig.window->Logic().Playing());
    EXPECT_TRUE(rig.reports.empty());
    // Now the queued box is shown, here, and the timer thread goes on.
    ASSERT_TRUE(rig.WaitFor([&] { return !rig.reports.empty() && rig.sink.Waiting() == 0; }, 5s));
    EXPECT_TRUE(rig.reports.front().text.startsWith("MDCT")) << rig.reports.front().text.toStdString();
    for (const auto& shown : rig.reports) EXPECT_TRUE(shown.onWindowThread);
}

TEST(WindowReports, AfterCloseWaitersAreReleasedAndNothingIsShown)
{
    std::vector<QString> shown;
    WindowReportSink sink([&](const QString& text) { shown.push_back(text); });
    std::thread reporter([&] { sink.Show("GENE01000001 first"); });
    while (sink.Waiting() == 0) std::this_thread::sleep_for(1ms);
    sink.Close();
    reporter.join();
    std::thread late([&] { sink.Show("GENE01000001 late"); });
    late.join();
    QTest::qWait(20);
    EXPECT_TRUE(shown.empty());
    // On the window thread, before closing, a report is shown at once.
    WindowReportSink open([&](const QString& text) { shown.push_back(text); });
    open.Show("OSPC00000001 描画エラー。");
    EXPECT_EQ(shown, std::vector<QString>{"OSPC00000001 描画エラー。"});
}

TEST(SettingsDialogTest, OkTakesTheBoxEscapeKeepsTheOption)
{
    struct Case {
        int given;
        bool tick;  // click the box once
        bool ok;
        int expected;
    };
    for (const Case c : {Case{1, true, true, 0}, Case{0, true, true, 1}, Case{1, false, true, 1},
                         Case{0, false, true, 0}, Case{1, true, false, 1}, Case{0, true, false, 0}}) {
        SettingsDialog dialog;
        dialog.option = c.given;
        OnNextModal([&](QWidget*) {
            EXPECT_EQ(dialog.CheckBox()->text(), "Raise octave with Vertical Reverse.");
            EXPECT_EQ(dialog.CheckBox()->isChecked(), c.given == 1);
            EXPECT_GE(dialog.CheckBox()->width(), dialog.CheckBox()->sizeHint().width()) << "caption cut off";
            if (c.tick) QTest::mouseClick(dialog.CheckBox(), Qt::LeftButton);
            if (c.ok)
                QTest::keyClick(&dialog, Qt::Key_Return);
            else
                QTest::keyClick(&dialog, Qt::Key_Escape);
        });
        dialog.exec();
        EXPECT_EQ(dialog.option, c.expected) << c.given << c.tick << c.ok;
        EXPECT_EQ(dialog.windowTitle(), "設定");
    }
}

TEST(SettingsDialogTest, ConfigButtonChangesTheOptionForTheNextPlay)
{
    GuiRig rig;
    EXPECT_EQ(rig.window->Logic().RaiseOctave(), 1);
    OnNextModal([](QWidget* modal) {
        auto* box = modal->findChild<QCheckBox*>(QStringLiteral("1016"));
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(box->isChecked()) << "checked right after start";
        box->setChecked(false);
        QTest::keyClick(modal, Qt::Key_Return);
    });
    rig.Click(MainWindow::kConfig);
    EXPECT_EQ(rig.window->Logic().RaiseOctave(), 0);
    EXPECT_EQ(rig.Push(5).state, 0);
}

TEST(MainWindowMenu, AboutEntryFollowsASeparatorAndOpensTheAboutBox)
{
    GuiRig rig;
    std::unique_ptr<QMenu> menu = rig.window->MakeWindowMenu();
    const QList<QAction*> actions = menu->actions();
    ASSERT_GE(actions.size(), 2);
    EXPECT_TRUE(actions[actions.size() - 2]->isSeparator());
    QAction* about = actions.back();
    EXPECT_EQ(about->text(), "Rovantaのﾊﾞｰｼﾞｮﾝ情報(&A)...");
    EXPECT_EQ(about->data().toInt(), 0x10);
    QString title;
    OnNextModal([&](QWidget* modal) {
        title = modal->windowTitle();
        QTest::keyClick(modal, Qt::Key_Escape);
    });
    about->trigger();
    EXPECT_EQ(title, "Rovantaのﾊﾞｰｼﾞｮﾝ情報");
}

TEST(MainWindowHelp, HelpOpensTheTopicBesideTheProgramOrInstalledAndTheRealPageIsBuilt)
{
    GuiRig rig;
    const fs::path help = rig.appDir / "help";
    fs::create_directories(help);
    std::ofstream(help / "top.htm") << "<html></html>";
    rig.Click(MainWindow::kHelp);
    ASSERT_EQ(rig.opened.size(), 1u);
    EXPECT_EQ(fs::path(rig.opened[0].toStdString()), fs::canonical(help / "top.htm"));
    fs::remove_all(rig.appDir);

    // Installed layout: share/rovanta/help beside bin.
    const test::TempDir root;
    fs::create_directories(root.path() / "bin");
    const std::string installed = root.Write("share/rovanta/help/top.htm", "<html></html>");
    const QString bin = QString::fromStdString(root / "bin");
    EXPECT_EQ(fs::path(FindHelpTopic(bin, "top.htm").toStdString()), fs::canonical(installed));
    // Topics are file names, never paths.
    EXPECT_TRUE(FindHelpTopic(bin, "../help/top.htm").isEmpty());
    EXPECT_TRUE(FindHelpTopic(bin, "missing.htm").isEmpty());

    // The real page is built beside the program.
    const QString page = FindHelpTopic(QStringLiteral(ROVANTA_APP_DIR), QStringLiteral("top.htm"));
    ASSERT_FALSE(page.isEmpty());
    const QString html = QString::fromStdString(test::ReadText(page.toStdString()));
    // The page names every option as the dialog captions it, and every flag.
    for (const char* needle :
         {"Vertical", "Horizontal", "rovanta-cli", SettingsDialog::kCheckBoxText, SettingsDialog::kCurvesText,
          SettingsDialog::kEachChannelsC, SettingsDialog::kDiatonicText, SettingsDialog::kKeyFromSong,
          SettingsDialog::kTrimText, "--controls", "--axis", "--diatonic", "--trim", "<img src=\"melody.png\"",
          "<img src=\"option-curves.png\"", "<img src=\"option-axis.png\"", "<img src=\"option-diatonic.png\"",
          "<img src=\"option-trim.png\""})
        EXPECT_TRUE(html.contains(QString::fromUtf8(needle))) << needle;
}

}  // namespace
}  // namespace rovanta
