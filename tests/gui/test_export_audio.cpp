// Export audio from the window: a save dialog for the sound file, then a
// progress window while a worker renders; cancelled, it leaves no file.

#include <gtest/gtest.h>

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>

#include <filesystem>
#include <fstream>

#include "app/ExportDialog.h"
#include "app/QtFileChooser.h"
#include "gui/GuiRig.h"
#include "playback/SynthPort.h"

namespace rovanta {
namespace {

using namespace std::chrono_literals;
using test::GuiRig;
using test::OnNextModal;
using test::TestFile;
namespace fs = std::filesystem;

std::vector<std::string> FilesIn(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(ExportAudioWindow, TheSoundFileDialogGivesATypedNameTheChosenTypesExtension)
{
    QTemporaryDir dir;
    std::vector<QString> names;
    QStringList types;
    OnNextModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setText(QStringLiteral("song.wav"));
        types = dialog->nameFilters();
        for (int type : {1, 2, 0}) {
            dialog->selectNameFilter(types[type]);
            names.push_back(name->text());
        }
        dialog->reject();
    });
    QtFileChooser chooser;
    FileDialogRequest request;
    request.save = true;
    request.filter = ctl::kAudioFilter;
    request.initialName = dir.filePath("start.wav").toStdString();
    EXPECT_FALSE(chooser.Choose(request).has_value());
    EXPECT_EQ(types, (QStringList{"WAV audio (*.wav)", "FLAC audio (*.flac)", "Ogg Vorbis audio (*.ogg)"}));
    EXPECT_EQ(names, (std::vector<QString>{"song.flac", "song.ogg", "song.wav"}));
}

TEST(ExportAudioWindow, CancelledFromTheProgressWindowLeavesNoFile)
{
    if (!FindSoundFont(SynthConfig{})) GTEST_SKIP() << "no General MIDI SoundFont to render with";
    QTemporaryDir dir;
    const fs::path folder = dir.path().toStdString();
    // Ten minutes of music: seconds of rendering, so the cancel comes first.
    test::WriteLongSong(folder / "long.mid", 10);
    const struct {
        const char* name;
        bool escape;  // else the Cancel button
    } cases[] = {{"Cancel", false}, {"Escape", true}};
    GuiRig rig;
    rig.chooser.answers.push_back((folder / "long.mid").string());
    rig.Click(MainWindow::kLoad);
    ASSERT_NE(rig.window->Logic().LoadedSong(), nullptr);
    const QString title = rig.window->windowTitle();
    for (const auto& c : cases) {
        const fs::path out = folder / (std::string(c.name) + ".flac");
        rig.chooser.answers.push_back(out.string());
        QString shownTitle, after;
        bool enabledAfter = true;
        OnNextModal([&](QWidget* modal) {
            auto* progress = dynamic_cast<ExportProgress*>(modal);
            ASSERT_NE(progress, nullptr);
            shownTitle = progress->windowTitle();
            if (c.escape)
                QTest::keyClick(progress, Qt::Key_Escape);
            else
                QTest::mouseClick(progress->CancelButton(), Qt::LeftButton);
            after = progress->Label()->text();
            enabledAfter = progress->CancelButton()->isEnabled();
        });
        rig.window->ExportAudioAction()->trigger();
        EXPECT_EQ(shownTitle, "Export audio") << c.name;
        EXPECT_EQ(after, "Cancelling…") << c.name;
        EXPECT_FALSE(enabledAfter) << c.name;
        // Back from the export: nothing written, nothing left behind, nothing said.
        EXPECT_FALSE(fs::exists(out)) << c.name;
        EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"long.mid"}) << c.name;
        EXPECT_EQ(rig.window->windowTitle(), title) << c.name;
        EXPECT_TRUE(rig.messages.empty()) << c.name;
    }
    EXPECT_TRUE(rig.reports.empty());
}

TEST(ExportAudioWindow, AFinishedExportWritesTheChosenTypeAndSaysWhere)
{
    if (!FindSoundFont(SynthConfig{})) GTEST_SKIP() << "no General MIDI SoundFont to render with";
    QTemporaryDir dir;
    const fs::path out = fs::path(dir.path().toStdString()) / "twinkle.wav";
    GuiRig rig;
    rig.chooser.answers = {TestFile("mma--twinkle-kar.kar"), out.string()};
    rig.Click(MainWindow::kLoad);
    int lastPercent = -1;
    OnNextModal([&](QWidget* modal) {
        auto* progress = dynamic_cast<ExportProgress*>(modal);
        ASSERT_NE(progress, nullptr);
        // Watched until the worker closes it.
        QObject::connect(progress->Bar(), &QProgressBar::valueChanged, [&](int value) { lastPercent = value; });
    });
    rig.window->ExportAudioAction()->trigger();
    ASSERT_EQ(rig.chooser.requests.size(), 2u);
    const FileDialogRequest& asked = rig.chooser.requests[1];
    EXPECT_TRUE(asked.save);
    EXPECT_EQ(asked.filter, "WAV audio|*.wav|FLAC audio|*.flac|Ogg Vorbis audio|*.ogg|");
    EXPECT_EQ(lastPercent, 100);
    ASSERT_TRUE(fs::exists(out));
    char magic[4] = {};
    std::ifstream(out, std::ios::binary).read(magic, 4);
    EXPECT_EQ(std::string(magic, 4), "RIFF");
    EXPECT_EQ(rig.window->windowTitle(), QString::fromStdString("Exported to " + out.string()));
    EXPECT_TRUE(rig.messages.empty());
}

}  // namespace
}  // namespace rovanta
