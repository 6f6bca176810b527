// Opening files the usual ways: a file named at start, a file dropped on the
// window, the Load dialog's filter; the title that names the loaded file, the
// notice after a Save, and the message boxes that say what cannot be done.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>

#include <fnmatch.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "app/QtFileChooser.h"
#include "app/StartArguments.h"
#include "gui/GuiRig.h"

namespace rovanta {
namespace {

using namespace std::chrono_literals;
using test::GuiRig;
using test::OnNextModal;
using test::TestFile;
namespace fs = std::filesystem;

QString Title(const GuiRig& rig) { return rig.window->windowTitle(); }

TEST(StartArguments, OneFileOrHelpAnythingElseIsAUsageError)
{
    const struct {
        QStringList arguments;
        QString file;
        bool help, error;
    } cases[] = {
        {{}, {}, false, false},
        {{"song.mid"}, "song.mid", false, false},
        {{"/music/Mein Lied.KAR"}, "/music/Mein Lied.KAR", false, false},
        {{"--", "-dash.mid"}, "-dash.mid", false, false},
        {{"-h"}, {}, true, false},
        {{"--help"}, {}, true, false},
        {{"--bogus"}, {}, false, true},
        {{"-platform", "offscreen", "--help"}, "offscreen", true, true},  // before Qt takes its own out
        {{"-"}, {}, false, true},
        {{"a.mid", "b.mid"}, "a.mid", false, true},
    };
    for (const auto& c : cases) {
        const StartArguments parsed = ParseStartArguments(c.arguments);
        const std::string name = c.arguments.join(' ').toStdString();
        EXPECT_EQ(parsed.file, c.file) << name;
        EXPECT_EQ(parsed.help, c.help) << name;
        EXPECT_EQ(!parsed.error.isEmpty(), c.error) << name;
    }
}

TEST(OpenAtStart, TheFileNamedAtStartLoadsAsLoadWouldWithoutADialog)
{
    QTemporaryDir dir;
    const QString notMidi = dir.filePath("notes.mid");
    QFile text(notMidi);
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("just some words");
    text.close();
    const struct {
        QString file;
        bool loads;
        QString title;
        const char* report;  // part of the report shown, when one is
    } cases[] = {
        {QString::fromStdString(TestFile("mma--rec1.mid")), true, "mma--rec1.mid — Rovanta", nullptr},
        {QString::fromStdString(TestFile("mma--twinkle-kar.kar")), true, "mma--twinkle-kar.kar — Rovanta", nullptr},
        {dir.filePath("missing.mid"), false, "Rovanta", "Midiファイルが開けませんでした。"},
        {notMidi, false, "Rovanta", "This is not a Midi file!"},
    };
    for (const auto& c : cases) {
        const std::string name = c.file.toStdString();
        GuiRig rig(nullptr, c.file);
        ASSERT_TRUE(rig.WaitFor([&] { return rig.window->Logic().LoadedSong() || !rig.reports.empty(); }, 5s))
            << name;
        EXPECT_EQ(rig.window->Logic().LoadedSong() != nullptr, c.loads) << name;
        EXPECT_EQ(Title(rig), c.title) << name;
        EXPECT_TRUE(rig.chooser.requests.empty()) << name;
        if (c.report) {
            ASSERT_FALSE(rig.reports.empty()) << name;
            EXPECT_TRUE(rig.reports.front().text.contains(QString::fromUtf8(c.report)))
                << rig.reports.front().text.toStdString();
        } else {
            EXPECT_TRUE(rig.reports.empty()) << name;
        }
    }
}

// Drags `urls` over the window's background, as a file manager would, and
// drops them if the window takes them. True when it took them.
bool DropOn(GuiRig& rig, const QList<QUrl>& urls)
{
    QMimeData mime;
    mime.setUrls(urls);
    QWidget* under = rig.window->Skin(MainWindow::kBackground);
    const QPoint at(200, 60);
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(under, &enter);
    if (!enter.isAccepted()) return false;
    QDragMoveEvent move(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(under, &move);
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(under, &drop);
    return drop.isAccepted();
}

TEST(DropOnTheWindow, AMidiFileByAnyCaseOfItsExtensionLoadsAnythingElseIsRefused)
{
    QTemporaryDir dir;
    const fs::path folder = dir.path().toStdString();
    const std::string song = TestFile("mma--rec1.mid");
    for (const char* name : {"one.mid", "TWO.MID", "Three.Midi", "four.KAR", "five.rmi", "notes.txt", "six.mid",
                             "seven.mid.bak"})
        fs::copy_file(song, folder / name);
    fs::create_directory(folder / "folder.mid");
    auto file = [&](const char* name) { return QUrl::fromLocalFile(QString::fromStdString((folder / name).string())); };

    const struct {
        const char* name;
        QList<QUrl> urls;
        bool taken;
        QString title;  // after the drop
    } cases[] = {
        {"lower case", {file("one.mid")}, true, "one.mid — Rovanta"},
        {"upper case", {file("TWO.MID")}, true, "TWO.MID — Rovanta"},
        {".midi mixed case", {file("Three.Midi")}, true, "Three.Midi — Rovanta"},
        {".kar", {file("four.KAR")}, true, "four.KAR — Rovanta"},
        {".rmi", {file("five.rmi")}, true, "five.rmi — Rovanta"},
        {"a text file", {file("notes.txt")}, false, "five.rmi — Rovanta"},
        {"a folder named like a song", {file("folder.mid")}, false, "five.rmi — Rovanta"},
        {"another extension behind", {file("seven.mid.bak")}, false, "five.rmi — Rovanta"},
        {"not a local file", {QUrl("https://example.org/song.mid")}, false, "five.rmi — Rovanta"},
        {"the first MIDI file of several", {file("notes.txt"), file("six.mid"), file("one.mid")}, true,
         "six.mid — Rovanta"},
    };
    GuiRig rig;
    for (const auto& c : cases) {
        EXPECT_EQ(DropOn(rig, c.urls), c.taken) << c.name;
        if (c.taken) {
            EXPECT_TRUE(rig.WaitFor([&] { return Title(rig) == c.title; }, 5s)) << c.name;
        }
        QTest::qWait(20);
        EXPECT_EQ(Title(rig), c.title) << c.name;
    }
    EXPECT_TRUE(rig.chooser.requests.empty());
    EXPECT_TRUE(rig.reports.empty());
}

// The names the open dialog lists under each of its filters.
TEST(LoadDialogFilter, MidiFilesInAnyLetterCaseThenAllFiles)
{
    QTemporaryDir dir;
    const std::set<QString> midi{"a.mid", "B.MID", "c.Midi", "d.kar", "E.KAR", "f.rmi", "G.RMI", "h.MiD"};
    const std::set<QString> other{"i.txt", "j.mid.txt", "k.smf", "mid"};
    for (const std::set<QString>* names : {&midi, &other})
        for (const QString& name : *names) {
            QFile f(dir.filePath(name));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        }
    std::vector<std::set<QString>> listed;
    QStringList shownFilters;
    OnNextModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        auto* view = dialog->findChild<QListView*>(QStringLiteral("listView"));
        auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        ASSERT_NE(view, nullptr);
        ASSERT_NE(types, nullptr);
        for (int i = 0; i < types->count(); ++i) shownFilters << types->itemText(i);
        for (const QString& filter : dialog->nameFilters()) {
            dialog->selectNameFilter(filter);
            std::set<QString> names;
            // The folder is read in the background: wait until the list settles.
            int steady = 0;
            for (int round = 0; round < 300 && steady < 10; ++round) {
                QTest::qWait(10);
                std::set<QString> now;
                const QModelIndex root = view->rootIndex();
                for (int row = 0; row < view->model()->rowCount(root); ++row)
                    now.insert(view->model()->index(row, 0, root).data().toString());
                steady = now == names && !now.empty() ? steady + 1 : 0;
                names = now;
            }
            listed.push_back(names);
        }
        dialog->reject();
    });
    QtFileChooser chooser;
    FileDialogRequest request;
    request.defaultExtension = kOpenDefaultExtension;
    request.filter = kOpenFilter;
    request.initialName = dir.filePath("a.mid").toStdString();
    EXPECT_FALSE(chooser.Choose(request).has_value());
    EXPECT_EQ(shownFilters, (QStringList{"MIDI files", "All files"}));
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0], midi);
    std::set<QString> all = midi;
    all.insert(other.begin(), other.end());
    EXPECT_EQ(listed[1], all);

    // A desktop's own dialog may match the patterns as they are spelled, as
    // fnmatch does: they must take every letter case themselves.
    const QString first = ToNameFilters(kOpenFilter, true).front();
    const QStringList patterns =
        first.mid(first.indexOf('(') + 1, first.lastIndexOf(')') - first.indexOf('(') - 1).split(' ');
    ASSERT_EQ(patterns.size(), 4);
    for (const QString& name : all) {
        const bool matched = std::any_of(patterns.begin(), patterns.end(), [&](const QString& pattern) {
            return fnmatch(pattern.toUtf8().constData(), name.toUtf8().constData(), 0) == 0;
        });
        EXPECT_EQ(matched, midi.count(name) == 1) << name.toStdString();
    }
}

TEST(MainWindowTitle, NamesTheLoadedFileAndShowsWhereASaveWroteForAWhile)
{
    QTemporaryDir dir;
    GuiRig rig;
    EXPECT_EQ(Title(rig), "Rovanta");
    const std::string out = dir.filePath("backwards.mid").toStdString();
    rig.chooser.answers = {TestFile("mma--rec1.mid"), std::nullopt, out};
    rig.Click(MainWindow::kLoad);
    EXPECT_EQ(Title(rig), "mma--rec1.mid — Rovanta");
    rig.Click(MainWindow::kLoad);  // cancelled
    EXPECT_EQ(Title(rig), "mma--rec1.mid — Rovanta");
    EXPECT_NE(rig.window->Logic().LoadedSong(), nullptr);

    rig.Click(MainWindow::kHorizontal);
    rig.Click(MainWindow::kSave);
    ASSERT_TRUE(fs::exists(out));
    EXPECT_EQ(Title(rig), QString::fromStdString("Saved to " + out));
    // No box: the notice goes by itself and the title returns.
    EXPECT_TRUE(rig.messages.empty());
    EXPECT_TRUE(rig.WaitFor([&] { return Title(rig) == "mma--rec1.mid — Rovanta"; }, 3s));
}

TEST(MainWindowMessages, PlaySaveAndExportWithNothingLoadedSaySoInOneBox)
{
    GuiRig rig(nullptr, {}, true);
    const QString nothing = "No MIDI file is loaded. Load one first.";
    const struct {
        const char* name;
        std::function<void()> act;
    } cases[] = {
        {"Play", [&] { rig.Click(MainWindow::kPlay); }},
        {"Save", [&] { rig.Click(MainWindow::kSave); }},
        {"Export audio", [&] { rig.window->ExportAudioAction()->trigger(); }},
    };
    for (const auto& c : cases) {
        int boxes = 0;
        QString text, title;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        std::function<void(QWidget*)> close = [&](QWidget* modal) {
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                ++boxes;
                text = box->text();
                title = box->windowTitle();
                icon = box->icon();
            }
            QTest::keyClick(modal, Qt::Key_Return);
        };
        OnNextModal(close);
        c.act();
        EXPECT_EQ(boxes, 1) << c.name;
        EXPECT_EQ(text, nothing) << c.name;
        EXPECT_EQ(title, "Rovanta") << c.name;
        EXPECT_EQ(icon, QMessageBox::Warning) << c.name;
        // Only the one box: no second one follows.
        QTest::qWait(50);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << c.name;
        EXPECT_FALSE(rig.window->Logic().Playing());
    }
    EXPECT_TRUE(rig.chooser.requests.empty());
}

TEST(MainWindowHelp, WithoutABrowserABoxSaysWhereTheHelpPageIs)
{
    GuiRig rig;
    const fs::path help = rig.appDir / "help";
    fs::create_directories(help);
    std::ofstream(help / "top.htm") << "<html></html>";
    const QString page = QString::fromStdString(fs::canonical(help / "top.htm").string());
    const struct {
        bool browser;
        std::vector<QString> messages;
    } cases[] = {
        {true, {}},
        {false, {"No web browser could be started to show the help. The help page is here:\n" + page}},
    };
    for (const auto& c : cases) {
        rig.browserOpens = c.browser;
        rig.messages.clear();
        rig.Click(MainWindow::kHelp);
        EXPECT_EQ(rig.opened.back(), page);
        EXPECT_EQ(rig.messages, c.messages) << c.browser;
    }
    fs::remove_all(rig.appDir);
}

}  // namespace
}  // namespace rovanta
