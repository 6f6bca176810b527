// The piano roll window: opened by Show notes, a hint while nothing is
// loaded, the rolls the core lays out for the toggles and options as they
// stand, painted in the channels' colours, and the play position's line.

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QImage>
#include <QMenu>

#include <tuple>
#include <vector>

#include "app/RollView.h"
#include "gui/GuiRig.h"

namespace rovanta {
namespace {

using namespace std::chrono_literals;
using test::GuiRig;
using test::OnNextModal;
using test::TestFile;

using Rect = std::tuple<int, int, int, int, int, bool>;

std::vector<Rect> Rects(const std::vector<RollRect>& notes)
{
    std::vector<Rect> out;
    for (const RollRect& n : notes) out.emplace_back(n.x, n.y, n.w, n.h, n.channel, n.drum);
    return out;
}

// What the core places for the loaded song with these settings at the window's size.
std::vector<Rect> Expected(const GuiRig& rig, const MirrorSettings& settings)
{
    const RollWindow& rolls = *rig.window->Rolls();
    return Rects(PlaceRolls(LayOutRolls(*rig.window->Logic().LoadedSong(), settings), rolls.width(), rolls.height())
                     .notes);
}

TEST(RollWindowTest, ShowNotesOpensItFromTheMenuOrCtrlNWithAHintUntilASongIsLoaded)
{
    GuiRig rig;
    std::unique_ptr<QMenu> menu = rig.window->MakeWindowMenu();
    const QList<QAction*> actions = menu->actions();
    ASSERT_GE(actions.size(), 3);
    EXPECT_EQ(actions[0]->text(), "Show &notes");
    EXPECT_EQ(actions[0]->shortcut(), QKeySequence(QStringLiteral("Ctrl+N")));
    EXPECT_EQ(actions[1]->text(), "&Export audio…");
    EXPECT_TRUE(actions[2]->isSeparator());

    EXPECT_EQ(rig.window->Rolls(), nullptr);
    QTest::keyClick(rig.window.get(), Qt::Key_N, Qt::ControlModifier);
    RollWindow* rolls = rig.window->Rolls();
    ASSERT_NE(rolls, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(rolls));
    EXPECT_TRUE(rolls->isWindow());
    EXPECT_FALSE(rolls->Picture().has_value());
    const QImage hint = rolls->grab().toImage();
    int dark = 0;
    for (int y = 0; y < hint.height(); ++y)
        for (int x = 0; x < hint.width(); ++x) dark += qGray(hint.pixel(x, y)) < 128;
    EXPECT_GT(dark, 100) << "the hint is written";

    rig.chooser.answers.push_back(TestFile("mma--rec1.mid"));
    rig.Click(MainWindow::kLoad);
    ASSERT_TRUE(rolls->Picture().has_value()) << "a Load shows its song at once";
    EXPECT_EQ(Rects(rolls->Picture()->notes), Expected(rig, {}));
    EXPECT_EQ(rolls->windowTitle(), "Notes — mma--rec1.mid — Rovanta");
    // The menu entry brings the same window back.
    rolls->hide();
    actions[0]->trigger();
    EXPECT_EQ(rig.window->Rolls(), rolls);
    EXPECT_TRUE(rolls->isVisible());
}

TEST(RollWindowTest, FollowsTheTogglesAndTheOptionsAndItsSizeAndPaintsTheChannelsColours)
{
    GuiRig rig;
    rig.chooser.answers.push_back(TestFile("mma--twinkle-kar.kar"));
    rig.Click(MainWindow::kLoad);
    rig.window->ShowRolls();
    RollWindow& rolls = *rig.window->Rolls();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&rolls));

    auto octaveOff = [&] {
        OnNextModal([](QWidget* modal) {
            modal->findChild<QCheckBox*>(QStringLiteral("1016"))->setChecked(false);
            QTest::keyClick(modal, Qt::Key_Return);
        });
        rig.Click(MainWindow::kConfig);
    };
    const struct {
        const char* name;
        std::function<void()> act;
        MirrorSettings now;
    } steps[] = {
        {"Horizontal on", [&] { rig.Click(MainWindow::kHorizontal); }, {true, false, 1, {}}},
        {"Vertical on", [&] { rig.Click(MainWindow::kVertical); }, {true, true, 1, {}}},
        {"the octave option off", octaveOff, {true, true, 0, {}}},
        {"Horizontal off", [&] { rig.Click(MainWindow::kHorizontal); }, {false, true, 0, {}}},
        {"a larger window", [&] { rolls.resize(1100, 700); }, {false, true, 0, {}}},
        {"Vertical off", [&] { rig.Click(MainWindow::kVertical); }, {false, false, 0, {}}},
    };
    std::vector<Rect> before = Rects(rolls.Picture()->notes);
    for (const auto& step : steps) {
        step.act();
        ASSERT_TRUE(rolls.Picture().has_value()) << step.name;
        const std::vector<Rect> now = Rects(rolls.Picture()->notes);
        EXPECT_EQ(now, Expected(rig, step.now)) << step.name;
        EXPECT_NE(now, before) << step.name << " changed nothing on the roll";
        EXPECT_EQ(rolls.Picture()->width, rolls.width()) << step.name;
        before = now;

        // On the window: each note that lies on top shows its channel's colour.
        const QImage shown = rolls.grab().toImage().convertToFormat(QImage::Format_RGB32);
        const std::vector<RollRect> visible = test::NotesOnTop(*rolls.Picture());
        ASSERT_GT(visible.size(), 20u) << step.name;
        int wrong = 0;
        for (const RollRect& n : visible)
            wrong += (shown.pixel(n.x + n.w / 2, n.y + n.h / 2) & 0xFFFFFF) != ChannelColour(n.channel);
        EXPECT_EQ(wrong, 0) << step.name;
    }
}

TEST(RollWindowTest, ALineFollowsThePlaybackOnTheLowerRollAndGoesWithStop)
{
    GuiRig rig;
    rig.chooser.answers.push_back(TestFile("mma--rec1.mid"));
    rig.Click(MainWindow::kLoad);
    rig.window->ShowRolls();
    RollWindow& rolls = *rig.window->Rolls();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&rolls));
    EXPECT_FALSE(rolls.PlayLine().has_value());

    rig.Click(MainWindow::kPlay);
    ASSERT_TRUE(rig.WaitFor([&] { return rolls.PlayLine().has_value(); }, 5s));
    const RollLine first = *rolls.PlayLine();
    ASSERT_TRUE(rig.WaitFor([&] { return rolls.PlayLine() && rolls.PlayLine()->x0 > first.x0 + 2; }, 10s));
    const RollLine later = *rolls.PlayLine();
    const RollRect lower = rolls.Picture()->frames[1];
    EXPECT_EQ(later.y0, lower.y);
    EXPECT_EQ(later.y1, lower.y + lower.h);
    EXPECT_GE(later.x0, lower.x);
    EXPECT_LE(later.x0, lower.x + lower.w);
    const QImage shown = rolls.grab().toImage();
    const QRgb line = shown.pixel(rolls.PlayLine()->x0, lower.y + lower.h / 2);
    EXPECT_EQ(line & 0xFFFFFF, kPlayLineColour);

    rig.Click(MainWindow::kPlay);  // Stop
    EXPECT_FALSE(rolls.PlayLine().has_value());
}

}  // namespace
}  // namespace rovanta
