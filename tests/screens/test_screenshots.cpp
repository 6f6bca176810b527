// Screenshots of the real main window on a real X server (Xvfb in CI): what
// the server shows must be exactly the skin's back buffers, at the layout's
// rectangles, after start and while playing with both reversals on.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QImage>
#include <QMessageBox>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <filesystem>
#include <initializer_list>

#include "app/Dialogs.h"
#include "gui/GuiRig.h"

namespace rovanta::test {
namespace {

QImage Grab(QWidget& window)
{
    QTest::qWait(300);  // let the server finish drawing
    return window.screen()->grabWindow(window.winId()).toImage().convertToFormat(QImage::Format_RGB32);
}

void Save(const QImage& shot, const char* name)
{
    const QString dir = QString::fromUtf8(ROVANTA_SCREENSHOT_DIR);
    QDir().mkpath(dir);
    ASSERT_TRUE(shot.save(dir + QLatin1Char('/') + QLatin1String(name)));
}

// Every skinned button on screen is its back buffer, pixel for pixel.
void ExpectSkinShown(const GuiRig& rig, const QImage& shot)
{
    ASSERT_EQ(shot.size(), rig.window->size());
    auto check = [&](const SkinElement& e) {
        const QRect where = e.control->geometry();
        EXPECT_EQ(shot.copy(where), e.backBuffer.toImage().convertToFormat(QImage::Format_RGB32))
            << "element " << e.control->objectName().toStdString();
    };
    for (const SkinElement& e : rig.window->Tables().pushes.elements) check(e);
    for (const SkinElement& e : rig.window->Tables().toggles.elements) check(e);
    // The panel shows between the buttons, from its top-left corner.
    const QImage panel = LoadSkinBitmap(MainWindow::kPanel).toImage().convertToFormat(QImage::Format_RGB32);
    for (QPoint p : {QPoint(2, 2), QPoint(15, 60), QPoint(200, 160), QPoint(380, 175)})
        EXPECT_EQ(shot.pixel(p), panel.pixel(p)) << p.x() << "," << p.y();
    // The tick texts are drawn over the panel.
    for (int id : {MainWindow::kTickLabel, MainWindow::kTickDisplay}) {
        const QRect where = rig.window->Control(id)->geometry();
        EXPECT_NE(shot.copy(where), panel.copy(where)) << id;
    }
}

TEST(Screenshots, AfterStartAndWhilePlayingBothReversed)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY")) GTEST_SKIP() << "needs an X server (run under xvfb-run)";
    GuiRig rig;
    const QImage start = Grab(*rig.window);
    Save(start, "screenshot-start.png");
    ExpectSkinShown(rig, start);

    rig.chooser.answers.push_back(TestFile("mma--rec1.mid"));
    rig.Click(MainWindow::kLoad);
    rig.Click(MainWindow::kHorizontal);
    rig.Click(MainWindow::kVertical);
    rig.Click(MainWindow::kPlay);
    ASSERT_TRUE(rig.WaitFor([&] { return rig.TickText() != "---" && rig.TickText() != "0"; }));
    const QImage playing = Grab(*rig.window);
    Save(playing, "screenshot-playing.png");
    EXPECT_EQ(rig.Toggle(0).state, 1);
    EXPECT_EQ(rig.Toggle(1).state, 1);
    EXPECT_EQ(rig.Push(3).caption, "      Stop");
    ExpectSkinShown(rig, playing);
    // Only the toggles, the Play button and the tick changed.
    const QRect load = rig.window->Skin(MainWindow::kLoad)->geometry();
    EXPECT_EQ(start.copy(load), playing.copy(load));
    for (int id : {MainWindow::kHorizontal, MainWindow::kVertical, MainWindow::kPlay}) {
        const QRect where = rig.window->Skin(id)->geometry();
        EXPECT_NE(start.copy(where), playing.copy(where)) << id;
    }
    rig.Click(MainWindow::kPlay);
}

// The dialogs and a Japanese report, for a look: each must show more than
// its background.
TEST(Screenshots, DialogsAndAJapaneseReport)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY")) GTEST_SKIP() << "needs an X server (run under xvfb-run)";
    auto shoot = [](QWidget& widget, const char* name) {
        widget.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&widget));
        const QImage shot = Grab(widget);
        Save(shot, name);
        const QRgb background = shot.pixel(1, 1);
        int other = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x) other += shot.pixel(x, y) != background;
        EXPECT_GT(other, 200) << name;
        return shot;
    };
    AboutDialog about;
    shoot(about, "dialog-about.png");
    SettingsDialog settings;
    const QImage plain = shoot(settings, "dialog-settings.png");
    // Every musical option on, and an axis that names no note typed in.
    SettingsDialog chosen;
    chosen.options.controls = ControlMirroring::kCurves;
    chosen.options.twiceAxis = 129;
    chosen.options.diatonic = true;
    chosen.options.key = MusicalKey{9, true};
    chosen.options.trim = true;
    chosen.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&chosen));
    chosen.AxisBox()->setCurrentText(QStringLiteral("H4"));
    const QImage options = shoot(chosen, "dialog-settings-options.png");
    ASSERT_EQ(options.size(), plain.size());
    // The screen shows each of them changed: the boxes ticked, the axis and
    // the key filled in, the hint in red and OK greyed out.
    for (QWidget* control : std::initializer_list<QWidget*>{chosen.CurvesBox(), chosen.AxisBox(), chosen.AxisHint(),
                                                            chosen.DiatonicBox(), chosen.KeyBox(), chosen.TrimBox(),
                                                            chosen.OkButton()}) {
        const QRect where = control->geometry();
        EXPECT_NE(plain.copy(where), options.copy(where)) << control->objectName().toStdString();
    }
    QMessageBox box(QMessageBox::Warning, QString::fromUtf8(kAppName),
                    QStringLiteral("MDTK0D00000B サイズが大きすぎるイベントが含まれています。"), QMessageBox::Ok);
    box.setFont(DialogFont());
    shoot(box, "report-japanese.png");
}

}  // namespace
}  // namespace rovanta::test

int main(int argc, char** argv)
{
    // The window reads its kept options: from a scratch folder, never the user's.
    QTemporaryDir settings;
    if (!settings.isValid()) return 1;
    rovanta::test::KeepSettingsIn(settings.path());
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(rovanta::kAppName));
    QApplication::setFont(rovanta::DialogFont());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
