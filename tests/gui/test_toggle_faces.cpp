// The toggles read at a glance: measured on the faces the window draws them
// with, in WCAG 2 relative luminance. Switched on, a toggle shows a lamp whose
// pixels stand at least 3 : 1 against the same pixels of the off face, clear
// of the caption; the captions keep at least 4.5 : 1 against the face behind
// them, on and off.

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include <algorithm>
#include <cmath>

#include "gui/GuiRig.h"

namespace rovanta {
namespace {

using test::GuiRig;

double Luminance(QRgb colour)
{
    const auto linear = [](int v) {
        const double s = v / 255.0;
        return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(qRed(colour)) + 0.7152 * linear(qGreen(colour)) + 0.0722 * linear(qBlue(colour));
}

double Contrast(QRgb a, QRgb b)
{
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QImage Rgb(const QPixmap& pixmap) { return pixmap.toImage().convertToFormat(QImage::Format_RGB32); }

TEST(ToggleFaces, OnShowsALampAtThreeToOneAndCaptionsKeepFourAndAHalfToOne)
{
    GuiRig rig;
    const QRgb ink = rig.window->Tables().textColour.rgb();
    // Switched on, then off again, each toggle's caption is drawn over both faces.
    struct Drawn {
        QImage face, buffer;
    };
    std::vector<Drawn> drawn;
    for (int id : {MainWindow::kHorizontal, MainWindow::kVertical}) {
        const int index = id == MainWindow::kHorizontal ? 0 : 1;
        for (int state : {1, 0}) {
            rig.Click(id);
            const SkinElement& e = rig.Toggle(index);
            ASSERT_EQ(e.state, state);
            drawn.push_back({Rgb(e.faces[state]), Rgb(e.backBuffer)});
        }
    }
    const QImage off = drawn[1].face, on = drawn[0].face;
    ASSERT_EQ(off.size(), on.size());
    ASSERT_NE(off, on);

    // Where a caption's ink lies: the back buffer differs from its face.
    QImage captions(off.size(), QImage::Format_Mono);
    captions.fill(0);
    for (const Drawn& d : drawn) {
        ASSERT_EQ(d.buffer.size(), d.face.size());
        int inked = 0;
        double lowest = 21;
        for (int y = 0; y < d.face.height(); ++y)
            for (int x = 0; x < d.face.width(); ++x) {
                if (d.buffer.pixel(x, y) == d.face.pixel(x, y)) continue;
                ++inked;
                captions.setPixel(x, y, 1);
                lowest = std::min(lowest, Contrast(ink, d.face.pixel(x, y)));
            }
        EXPECT_GT(inked, 100) << "a caption is drawn";
        EXPECT_GE(lowest, 4.5) << "caption against its face";
    }

    // The lamp: pixels of the on face at 3 : 1 or more against the off face,
    // none of them under a caption, and a solid area of them: what is left
    // after taking away every such pixel with a neighbour that is not one
    // (a hairline of shade along the rim leaves nothing).
    const auto lit = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < on.width() && y < on.height() && Contrast(on.pixel(x, y), off.pixel(x, y)) >= 3.0;
    };
    int lamp = 0, solid = 0, hidden = 0;
    for (int y = 0; y < on.height(); ++y)
        for (int x = 0; x < on.width(); ++x) {
            if (!lit(x, y)) continue;
            ++lamp;
            hidden += captions.pixelIndex(x, y) == 1;
            bool inside = true;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) inside = inside && lit(x + dx, y + dy);
            solid += inside;
        }
    EXPECT_GE(lamp, 150) << "on and off differ plainly";
    EXPECT_GE(solid, 50) << "a lamp, not a line";
    EXPECT_EQ(hidden, 0) << "the lamp stays clear of the captions";
}

}  // namespace
}  // namespace rovanta
