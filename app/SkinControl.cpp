#include "app/SkinControl.h"

#include <QMouseEvent>
#include <QPainter>

#include <utility>

namespace rovanta {

SkinControl::SkinControl(QWidget* parent) : QLabel(parent)
{
    // A frame always fills the control; the window's default background must
    // not show through between presents.
    setAttribute(Qt::WA_NoSystemBackground);
}

void SkinControl::SetHandlers(Handler press, Handler release)
{
    press_ = std::move(press);
    release_ = std::move(release);
}

void SkinControl::ShowFrame(const QPixmap& frame)
{
    // Presenting an unchanged back buffer must not start another paint: the
    // window presents every element each time it paints.
    if (frame.cacheKey() == frame_.cacheKey()) return;
    frame_ = frame;
    update();
}

void SkinControl::paintEvent(QPaintEvent*)
{
    if (frame_.isNull()) return;
    QPainter painter(this);
    painter.drawPixmap(0, 0, frame_);
}

void SkinControl::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QLabel::mousePressEvent(event);
        return;
    }
    pressed_ = true;
    const QPoint at = event->position().toPoint();
    if (press_) press_(at.x(), at.y(), index_);
}

void SkinControl::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QLabel::mouseReleaseEvent(event);
        return;
    }
    // Qt hands the release to the control that took the press even when the
    // mouse is elsewhere; a release away from the control is not its own.
    const QPoint at = event->position().toPoint();
    if (!rect().contains(at)) {
        if (pressed_) LeaveWhilePressed();
        return;
    }
    pressed_ = false;
    if (release_) release_(at.x(), at.y(), index_);
}

void SkinControl::mouseMoveEvent(QMouseEvent* event)
{
    // While the button is held Qt keeps sending moves here instead of a leave,
    // so dragging off the control is noticed on the first move outside it.
    if (pressed_ && !rect().contains(event->position().toPoint())) LeaveWhilePressed();
}

void SkinControl::mouseDoubleClickEvent(QMouseEvent*)
{
    // The second press of a double-click is not a press: the command runs once.
}

void SkinControl::leaveEvent(QEvent*)
{
    if (pressed_) LeaveWhilePressed();
}

void SkinControl::LeaveWhilePressed()
{
    pressed_ = false;
    if (release_) release_(-1, -1, index_);
}

}  // namespace rovanta
