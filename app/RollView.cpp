#include "app/RollView.h"

#include <QColor>
#include <QFont>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <QPoint>
#include <QPolygon>

#include <algorithm>
#include <array>
#include <utility>

namespace rovanta {

namespace {

QColor Rgb(std::uint32_t colour) { return QColor::fromRgb(static_cast<QRgb>(colour)); }

QLine ToQLine(const RollLine& line) { return QLine(line.x0, line.y0, line.x1, line.y1); }

// Labels as tall as the plain pictures' (10 pixels of capitals).
QFont LabelFont()
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11);
    return font;
}

}  // namespace

void PaintRolls(QPainter& painter, const RollPicture& picture)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(0, 0, picture.width, picture.height, Qt::white);
    painter.setPen(Rgb(0x808080));
    for (const RollRect& frame : picture.frames) {
        painter.fillRect(frame.x, frame.y, frame.w, frame.h, Rgb(0xF4F4F0));
        painter.drawLine(frame.x, frame.y + frame.h, frame.x + frame.w, frame.y + frame.h);
    }
    painter.setPen(Rgb(0xD0D0D0));
    for (const RollLine& bar : picture.bars) painter.drawLine(ToQLine(bar));
    painter.setPen(Rgb(0x808080));
    for (const RollLine& tick : picture.seconds) painter.drawLine(ToQLine(tick));

    // Each axis dashed in its channel's colour: four pixels drawn, two left out.
    for (std::size_t i = 0; i < picture.axes.size() && i < picture.axisChannels.size(); ++i) {
        QPen pen(Rgb(ChannelColour(picture.axisChannels[i])));
        pen.setDashPattern({4.0, 2.0});
        pen.setCapStyle(Qt::FlatCap);
        painter.setPen(pen);
        painter.drawLine(ToQLine(picture.axes[i]));
    }

    // The notes in their order, so that later ones lie on top as in the
    // plain pictures; one colour object per channel.
    std::array<QColor, 16> colours;
    for (std::size_t c = 0; c < colours.size(); ++c) colours[c] = Rgb(ChannelColour(static_cast<std::int32_t>(c)));
    painter.setPen(Qt::NoPen);
    for (const RollRect& note : picture.notes) {
        const QColor& colour = colours[static_cast<std::size_t>(note.channel) & 15u];
        if (!note.drum) {
            painter.fillRect(note.x, note.y, note.w, note.h, colour);
            continue;
        }
        // A diamond in the note's rectangle.
        const int midX = note.x + note.w / 2, midY = note.y + note.h / 2;
        const QPoint corners[4] = {{midX, note.y}, {note.x + note.w, midY}, {midX, note.y + note.h}, {note.x, midY}};
        painter.setBrush(colour);
        painter.drawConvexPolygon(corners, 4);
    }

    painter.setPen(Rgb(0x303030));
    painter.setFont(LabelFont());
    for (const RollLabel& label : picture.labels)
        painter.drawText(QRect(label.x, label.y - 1, 400, 14), Qt::AlignLeft | Qt::AlignTop,
                         QString::fromStdString(label.text));
    painter.restore();
}

RollWindow::RollWindow(Source source, QWidget* owner) : QWidget(owner, Qt::Window), source_(std::move(source))
{
    setObjectName(QStringLiteral("rolls"));
    setMinimumSize(320, 200);
    resize(sizeHint());
}

void RollWindow::Refresh()
{
    stale_ = true;
    if (!isVisible()) return;
    stale_ = false;
    rolls_ = source_ ? source_() : std::nullopt;
    Place();
}

void RollWindow::Place()
{
    if (rolls_)
        picture_ = PlaceRolls(*rolls_, width(), height());
    else
        picture_.reset();
    update();
}

void RollWindow::SetPlayPosition(std::optional<double> seconds)
{
    if (seconds == position_) return;
    position_ = seconds;
    update();
}

std::optional<RollLine> RollWindow::PlayLine() const
{
    if (!picture_ || !position_) return std::nullopt;
    return PlayPositionLine(*picture_, *position_);
}

void RollWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (stale_) Refresh();
}

void RollWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (!stale_) Place();
}

void RollWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (!picture_) {
        painter.fillRect(rect(), Qt::white);
        painter.setPen(Rgb(0x303030));
        painter.drawText(rect().adjusted(24, 24, -24, -24), Qt::AlignCenter | Qt::TextWordWrap,
                         QString::fromUtf8(kHint));
        return;
    }
    PaintRolls(painter, *picture_);
    // Three pixels wide, centred on the position.
    if (const std::optional<RollLine> line = PlayLine())
        painter.fillRect(line->x0 - 1, line->y0, 3, line->y1 - line->y0 + 1, Rgb(kPlayLineColour));
}

}  // namespace rovanta
