// The skinned window: layout, stacking, the back buffers and mouse input.

#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QTest>

#include <string>

#include "gui/GuiRig.h"

namespace rovanta {
namespace {

using test::GuiRig;

struct Expected {
    int id, left, top, right, bottom;
};
constexpr Expected kLayout[] = {
    {MainWindow::kPower, 10, 110, 70, 170},     {MainWindow::kHelp, 260, 120, 375, 152},
    {MainWindow::kLoad, 20, 70, 135, 102},      {MainWindow::kPlay, 140, 70, 255, 102},
    {MainWindow::kSave, 260, 70, 375, 102},     {MainWindow::kHorizontal, 20, 10, 135, 42},
    {MainWindow::kVertical, 140, 10, 255, 42},  {MainWindow::kConfig, 260, 10, 375, 42},
};

// Position among the window's children: later ones are drawn on top.
int StackPosition(const MainWindow& window, int id)
{
    return static_cast<int>(window.children().indexOf(window.Control(id)));
}

TEST(SkinLayout, ElementsSitOnTheirRectanglesWholeAndStackedInCreationOrder)
{
    GuiRig rig;
    MainWindow& w = *rig.window;
    EXPECT_EQ(w.windowTitle(), "Rovanta");
    EXPECT_EQ(w.minimumSize(), w.maximumSize()) << "fixed size";
    const QRect client = w.rect();
    EXPECT_EQ(w.Skin(MainWindow::kBackground)->geometry(), client);
    for (const Expected& e : kLayout) {
        const QRect r = w.Skin(e.id)->geometry();
        EXPECT_EQ(r, QRect(QPoint(e.left, e.top), QPoint(e.right - 1, e.bottom - 1))) << e.id;
        EXPECT_TRUE(client.contains(r)) << e.id << " is cut off";
    }
    // Creation order: background, Power, Help, Load, Play, Save, the toggles, Config.
    const int order[] = {MainWindow::kBackground, MainWindow::kPower, MainWindow::kHelp, MainWindow::kLoad,
                         MainWindow::kPlay,       MainWindow::kSave,  MainWindow::kHorizontal,
                         MainWindow::kVertical,   MainWindow::kConfig};
    for (std::size_t i = 1; i < std::size(order); ++i)
        EXPECT_LT(StackPosition(w, order[i - 1]), StackPosition(w, order[i])) << order[i];
    // The two text controls stay readable above the background and clear of the buttons.
    for (int id : {MainWindow::kTickLabel, MainWindow::kTickDisplay}) {
        EXPECT_GT(StackPosition(w, id), StackPosition(w, MainWindow::kBackground));
        for (const Expected& e : kLayout) EXPECT_FALSE(w.Control(id)->geometry().intersects(w.Skin(e.id)->geometry())) << id << " over " << e.id;
        EXPECT_TRUE(client.contains(w.Control(id)->geometry()));
    }
    EXPECT_EQ(w.Text(MainWindow::kTickDisplay)->text(), "---");
    EXPECT_EQ(w.Text(MainWindow::kTickLabel)->text(), "Tick");

    // Captions keep their leading blanks; groups index as the command codes.
    const auto& pushes = w.Tables().pushes.elements;
    ASSERT_EQ(pushes.size(), 6u);
    const char* captions[] = {"", "      Help", "      Load", "      Play", "      Save", "      Config"};
    for (int code = 0; code < 6; ++code) {
        EXPECT_EQ(pushes[static_cast<std::size_t>(code)].caption, captions[code]);
        EXPECT_EQ(pushes[static_cast<std::size_t>(code)].control->Index(), code);
    }
    const auto& toggles = w.Tables().toggles.elements;
    ASSERT_EQ(toggles.size(), 2u);
    EXPECT_EQ(toggles[0].caption, " Horizontal Rev.");
    EXPECT_EQ(toggles[1].caption, "  Vertical Rev.");
}

TEST(SkinPictures, BitmapsHaveTheirSizesAndNoTransparency)
{
    struct Size {
        int id, w, h;
    };
    for (Size s : {Size{129, 60, 60}, Size{130, 60, 60}, Size{131, 574, 696}, Size{132, 115, 32}, Size{133, 115, 32},
                   Size{137, 115, 32}}) {
        const QImage image(QStringLiteral(":/bitmaps/%1").arg(s.id));
        ASSERT_FALSE(image.isNull()) << s.id;
        EXPECT_EQ(image.size(), QSize(s.w, s.h)) << s.id;
        EXPECT_FALSE(image.hasAlphaChannel()) << s.id;
    }
    EXPECT_FALSE(QImage(QStringLiteral(":/icons/128")).isNull());
    // Only the low 16 bits of an id count.
    EXPECT_EQ(LoadSkinBitmap(0x10000u + 133).size(), QSize(115, 32));
    EXPECT_TRUE(LoadSkinBitmap(134).isNull());
}

TEST(SkinPushButton, CommandRunsOnceAtThePressAndTheFaceFollowsTheButtonUntilItIsLeft)
{
    GuiRig rig;
    const QPixmap normal = rig.window->Skin(MainWindow::kLoad)->Frame();
    rig.Press(MainWindow::kLoad);
    // The open dialog came up at the press, with the button shown pressed.
    EXPECT_EQ(rig.chooser.requests.size(), 1u);
    EXPECT_EQ(rig.Push(2).state, 1);
    EXPECT_NE(rig.window->Skin(MainWindow::kLoad)->Frame().cacheKey(), normal.cacheKey());
    rig.Release(MainWindow::kLoad);
    EXPECT_EQ(rig.Push(2).state, 0);
    EXPECT_EQ(rig.window->Skin(MainWindow::kLoad)->Frame().toImage(), normal.toImage());
    EXPECT_EQ(rig.chooser.requests.size(), 1u);

    // Qt delivers the second press of a double-click as a double-click event:
    // the command runs once. Other buttons and the background run nothing.
    QTest::mouseClick(rig.window->Skin(MainWindow::kLoad), Qt::LeftButton);
    QTest::mouseDClick(rig.window->Skin(MainWindow::kLoad), Qt::LeftButton);
    QTest::mouseRelease(rig.window->Skin(MainWindow::kLoad), Qt::LeftButton);
    QTest::mouseClick(rig.window->Skin(MainWindow::kLoad), Qt::RightButton);
    QTest::mouseClick(rig.window->Skin(MainWindow::kBackground), Qt::LeftButton);
    QTest::mouseClick(rig.window->Control(MainWindow::kTickDisplay), Qt::LeftButton);
    EXPECT_EQ(rig.chooser.requests.size(), 2u);
    EXPECT_EQ(rig.Push(2).state, 0);
    EXPECT_TRUE(rig.window->isVisible());

    // Dragging off restores the face without running again, and so does the
    // leave notification alone; a release away from the button is not its own.
    SkinControl* load = rig.window->Skin(MainWindow::kLoad);
    rig.Press(MainWindow::kLoad);
    ASSERT_EQ(rig.Push(2).state, 1);
    QTest::mouseMove(load, QPoint(-20, -20));
    EXPECT_EQ(rig.Push(2).state, 0);
    EXPECT_FALSE(load->Pressed());
    QTest::mouseRelease(load, Qt::LeftButton, {}, QPoint(-20, -20));
    rig.Press(MainWindow::kLoad);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(load, &leave);
    EXPECT_EQ(rig.Push(2).state, 0);
    EXPECT_EQ(rig.chooser.requests.size(), 4u);
}

TEST(SkinToggle, FlipsAtThePressOnly)
{
    GuiRig rig;
    EXPECT_EQ(rig.window->IsChecked(0), 0);
    EXPECT_EQ(rig.window->IsChecked(1), 0);
    rig.Press(MainWindow::kHorizontal);
    EXPECT_EQ(rig.window->IsChecked(0), 1);
    rig.Release(MainWindow::kHorizontal);
    EXPECT_EQ(rig.window->IsChecked(0), 1);
    // Dragging off changes nothing more; a double-click flips once.
    rig.Press(MainWindow::kVertical);
    QTest::mouseMove(rig.window->Skin(MainWindow::kVertical), QPoint(-5, -5));
    EXPECT_EQ(rig.window->IsChecked(1), 1);
    QTest::mouseClick(rig.window->Skin(MainWindow::kHorizontal), Qt::LeftButton);
    QTest::mouseDClick(rig.window->Skin(MainWindow::kHorizontal), Qt::LeftButton);
    QTest::mouseRelease(rig.window->Skin(MainWindow::kHorizontal), Qt::LeftButton);
    EXPECT_EQ(rig.window->IsChecked(0), 0);
    EXPECT_EQ(rig.window->IsChecked(7), 0);
    EXPECT_EQ(rig.window->IsChecked(-1), 0);
}

TEST(SkinBackBuffers, CaptionsReachTheScreenAtPresentAndPaintingOnlyCopies)
{
    GuiRig rig;
    MainWindow& w = *rig.window;
    QTest::qWait(50);
    std::vector<int> draws;
    for (const SkinElement& e : w.Tables().pushes.elements) draws.push_back(e.draws);

    // Unknown index: nothing changes.
    w.SetCaption(17, "      Nope");
    for (std::size_t i = 0; i < draws.size(); ++i) EXPECT_EQ(w.Tables().pushes.elements[i].draws, draws[i]);

    const QImage onScreen = w.Skin(MainWindow::kPlay)->Frame().toImage();
    w.SetCaption(3, "      Stop");
    EXPECT_EQ(rig.Push(3).caption, "      Stop");
    EXPECT_NE(rig.Push(3).backBuffer.toImage(), onScreen);
    EXPECT_EQ(w.Skin(MainWindow::kPlay)->Frame().toImage(), onScreen) << "shown before it was presented";
    w.PresentAll(WindowOps::Group::kPushButtons);
    EXPECT_EQ(w.Skin(MainWindow::kPlay)->Frame().toImage(), rig.Push(3).backBuffer.toImage());

    // Repaints copy the finished buffers: nothing is drawn again.
    const int playDraws = rig.Push(3).draws;
    for (int i = 0; i < 3; ++i) w.repaint();
    QTest::qWait(20);
    EXPECT_EQ(rig.Push(3).draws, playDraws);
    EXPECT_EQ(w.Tables().pictures.elements.at(0).draws, 1);
}

TEST(SkinBackBuffers, CaptionIsDrawnInDarkGreenOverTheFace)
{
    GuiRig rig;
    const QImage frame = rig.Push(3).backBuffer.toImage();
    const QImage face = LoadSkinBitmap(MainWindow::kButtonNormal).toImage().convertToFormat(frame.format());
    int green = 0, changed = 0;
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x) {
            const QRgb p = frame.pixel(x, y);
            if (p != face.pixel(x, y)) {
                ++changed;
                // Antialiased text blends the face into RGB(0, 100, 0): green dominates.
                if (qGreen(p) > qRed(p) + 20 && qGreen(p) > qBlue(p) + 20) ++green;
            }
        }
    EXPECT_GT(changed, 20);
    EXPECT_GT(green, changed / 2);
    // The leading blanks keep the text off the rounded left end.
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < 12; ++x) EXPECT_EQ(frame.pixel(x, y), face.pixel(x, y)) << x << "," << y;
}

}  // namespace
}  // namespace rovanta
